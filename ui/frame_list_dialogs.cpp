#include "ui/frame_list_dialogs.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "capture/capture_input.h"

namespace packscope {
namespace {

enum RuleColumn { kName, kExpression, kColour };

// The name with the extension of layout in place of the one of any layout it ends with.
QString WithExtension(const QString& name, const Layout& layout) {
  QString base = name;
  int longest = 0;
  for (const Layout& l : kLayouts) {
    const QString ext =
        QString::fromLatin1(l.export_extension.data(), static_cast<int>(l.export_extension.size()));
    if (ext.size() > longest && base.endsWith(ext, Qt::CaseInsensitive)) longest = int(ext.size());
  }
  base.chop(longest);
  return base + QString::fromLatin1(layout.export_extension.data(),
                                    static_cast<int>(layout.export_extension.size()));
}

QColor ColourOf(std::uint32_t rgb) { return QColor(static_cast<QRgb>(rgb)); }

}  // namespace

ExportChoice AskExportFile(QWidget* parent, const QString& suggested) {
  QStringList filters;
  std::vector<const Layout*> layouts;
  for (const Layout& layout : kLayouts) {
    filters << FromUtf8(DialogFilter(layout));
    layouts.push_back(&layout);
  }
  filters << QStringLiteral("All Files (*)");
  QFileDialog dialog(parent, QStringLiteral("Export Shown Frames"), suggested);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilters(filters);
  const Layout* first = LayoutForFileName(PathBytes(suggested), nullptr);
  if (first != nullptr) dialog.selectNameFilter(FromUtf8(DialogFilter(*first)));
  dialog.selectFile(suggested);
  // The filter chosen sets the extension of the name typed.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
    const int at = static_cast<int>(filters.indexOf(filter));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (at < 0 || at >= static_cast<int>(layouts.size()) || name == nullptr) return;
    name->setText(WithExtension(name->text(), *layouts[static_cast<std::size_t>(at)]));
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const int at = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
  ExportChoice choice;
  choice.path = dialog.selectedFiles().first();
  if (at >= 0 && at < static_cast<int>(layouts.size())) {
    choice.layout = layouts[static_cast<std::size_t>(at)];
  }
  // A name typed with the extension of another layout is a file of that layout.
  const std::string typed = PathBytes(choice.path);
  if (choice.layout != nullptr && !typed.ends_with(choice.layout->export_extension) &&
      LayoutForFileName(typed, nullptr) != nullptr) {
    choice.layout = nullptr;
  }
  return choice;
}

QString AskCaptureToOpen(QWidget* parent, const QString& folder) {
  return QFileDialog::getOpenFileName(
      parent, QStringLiteral("Open Capture"), folder,
      QStringLiteral("Captures (%1);;KISS Files (*.kss);;All Files (*)")
          .arg(QString::fromLatin1(kCaptureFilePatterns.data(),
                                   static_cast<qsizetype>(kCaptureFilePatterns.size()))));
}

std::optional<std::int64_t> ParseNumber(QString text) {
  text = text.trimmed();
  bool ok = false;
  const qlonglong value = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                              ? text.mid(2).toLongLong(&ok, 16)
                              : text.toLongLong(&ok, 10);
  if (!ok || value < 0) return std::nullopt;
  return value;
}

std::optional<GoToChoice> AskGoTo(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Go to"));
  auto* form = new QFormLayout(&dialog);
  auto* frame = new QRadioButton(QStringLiteral("&Frame number"), &dialog);
  auto* offset = new QRadioButton(QStringLiteral("&Byte offset"), &dialog);
  frame->setChecked(true);
  auto* value = new QLineEdit(&dialog);
  value->setObjectName(QStringLiteral("GoToValue"));
  value->setPlaceholderText(QStringLiteral("123, or 0x7B"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(frame);
  form->addRow(offset);
  form->addRow(QStringLiteral("&Value:"), value);
  form->addRow(buttons);
  value->setFocus();
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return GoToChoice{offset->isChecked(), ParseNumber(value->text()), value->text()};
}

ExportWindow::ExportWindow(QWidget* parent) : parent_(parent) { clock_.start(); }

ExportWindow::~ExportWindow() { delete dialog_; }

bool ExportWindow::ShowProgress(std::int64_t done, std::int64_t total) {
  if (dialog_ == nullptr && clock_.elapsed() > 500) {
    dialog_ = new QProgressDialog(QStringLiteral("Exporting the frames shown..."),
                                  QStringLiteral("Cancel"), 0, 1000, parent_);
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setMinimumDuration(0);
  }
  if (dialog_ == nullptr) return true;
  if (total > 0) dialog_->setValue(static_cast<int>(1000 * done / total));
  QCoreApplication::processEvents();
  return !dialog_->wasCanceled();
}

QString ExportWindow::ErrorText() const {
  QStringList messages;
  for (const std::string& e : Errors()) messages << FromUtf8(e);
  return messages.join(QLatin1Char('\n'));
}

ColouringDialog::ColouringDialog(const std::vector<ColourRule>& rules, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ColouringDialog"));
  setWindowTitle(QStringLiteral("Colouring"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("A row takes the colour of the first rule whose filter its frame matches."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  table_ = new QTableWidget(0, 3, this);
  table_->setObjectName(QStringLiteral("ColouringRules"));
  table_->setHorizontalHeaderLabels(
      {QStringLiteral("Name"), QStringLiteral("Filter"), QStringLiteral("Colour")});
  table_->horizontalHeader()->setSectionResizeMode(kExpression, QHeaderView::Stretch);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
    if (column != kColour) return;
    QTableWidgetItem* item = table_->item(row, kColour);
    const QColor chosen = QColorDialog::getColor(item->background().color(), this);
    if (chosen.isValid()) item->setBackground(chosen);
  });
  layout->addWidget(table_, 1);
  auto* row_buttons = new QHBoxLayout();
  const auto button = [this, row_buttons](const QString& caption, auto handler) {
    auto* b = new QPushButton(caption, this);
    connect(b, &QPushButton::clicked, this, handler);
    row_buttons->addWidget(b);
  };
  button(QStringLiteral("&Add"), [this] {
    AddRow({QStringLiteral("New rule").toStdString(), "", 0xE0C040});
    table_->setCurrentCell(table_->rowCount() - 1, kExpression);
    table_->editItem(table_->currentItem());
  });
  button(QStringLiteral("&Remove"), [this] {
    if (table_->currentRow() >= 0) table_->removeRow(table_->currentRow());
  });
  button(QStringLiteral("&Up"), [this] { Move(-1); });
  button(QStringLiteral("&Down"), [this] { Move(1); });
  button(QStringLiteral("De&faults"), [this] { SetRules(DefaultColourRules()); });
  row_buttons->addStretch(1);
  layout->addLayout(row_buttons);
  error_ = new QLabel(this);
  error_->setObjectName(QStringLiteral("ColouringError"));
  error_->setWordWrap(true);
  error_->hide();
  layout->addWidget(error_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &ColouringDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  SetRules(rules);
  resize(720, 320);
}

void ColouringDialog::AddRow(const ColourRule& rule) {
  const int row = table_->rowCount();
  table_->insertRow(row);
  table_->setItem(row, kName, new QTableWidgetItem(FromUtf8(rule.name)));
  table_->setItem(row, kExpression, new QTableWidgetItem(FromUtf8(rule.expression)));
  auto* colour = new QTableWidgetItem();
  colour->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  colour->setBackground(ColourOf(rule.rgb));
  colour->setToolTip(QStringLiteral("Double-click to choose another colour"));
  table_->setItem(row, kColour, colour);
}

void ColouringDialog::SetRules(const std::vector<ColourRule>& rules) {
  table_->setRowCount(0);
  for (const ColourRule& rule : rules) AddRow(rule);
  table_->resizeColumnToContents(kName);
}

std::vector<ColourRule> ColouringDialog::Rules() const {
  std::vector<ColourRule> rules;
  for (int row = 0; row < table_->rowCount(); ++row) {
    rules.push_back({ToUtf8(table_->item(row, kName)->text()),
                     ToUtf8(table_->item(row, kExpression)->text().trimmed()),
                     static_cast<std::uint32_t>(
                         table_->item(row, kColour)->background().color().rgb() & 0xFFFFFF)});
  }
  return rules;
}

void ColouringDialog::Move(int by) {
  const int row = table_->currentRow();
  const int to = row + by;
  if (row < 0 || to < 0 || to >= table_->rowCount()) return;
  std::vector<ColourRule> rules = Rules();
  std::swap(rules[static_cast<std::size_t>(row)], rules[static_cast<std::size_t>(to)]);
  SetRules(rules);
  table_->setCurrentCell(to, kName);
}

void ColouringDialog::accept() {
  const std::vector<ColourRule> rules = Rules();
  for (std::size_t i = 0; i < rules.size(); ++i) {
    std::string error;
    if (!Colouring::Compile({rules[i]}, &error)) {
      error_->setText(FromUtf8(error));
      error_->show();
      table_->setCurrentCell(static_cast<int>(i), kExpression);
      return;
    }
  }
  QDialog::accept();
}

}  // namespace packscope
