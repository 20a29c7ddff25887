#include "ui/record_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "live/serial_source.h"
#include "qt/qt_text.h"
#include "ui/design.h"
#include "ui/form1.h"

namespace packscope {
namespace {

constexpr int kBauds[] = {1200, 4800, 9600, 19200, 38400, 57600, 115200};

QString DefaultSaveDialog(QWidget* parent, const QString& suggested) {
  QFileDialog dialog(parent, QStringLiteral("Record into"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The capture is appended to, never overwritten: nothing to confirm.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilter(kOpenFilter);
  dialog.setDefaultSuffix(QStringLiteral("kss"));
  dialog.selectFile(suggested);
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

}  // namespace

RecordDialog::RecordDialog(QWidget* parent, const RecordSettings& initial)
    : QDialog(parent), save_dialog_(&DefaultSaveDialog) {
  setObjectName(QStringLiteral("RecordDialog"));
  setWindowTitle(QStringLiteral("Record from TNC"));

  source_ = new QComboBox(this);
  source_->setObjectName(QStringLiteral("RecordSource"));
  source_->setEditable(true);
  source_->addItem(QStringLiteral("127.0.0.1:8001"));
  for (const std::string& device : SerialDevices()) {
    source_->addItem(QFile::decodeName(QByteArray::fromStdString(device)));
  }
  source_->setEditText(QFile::decodeName(QByteArray::fromStdString(initial.source)));
  source_->setMinimumContentsLength(28);
  connect(source_, &QComboBox::editTextChanged, this, &RecordDialog::SourceEdited);

  baud_ = new QComboBox(this);
  baud_->setObjectName(QStringLiteral("RecordBaud"));
  baud_->setEditable(true);
  for (const int baud : kBauds) baud_->addItem(QString::number(baud));
  baud_->setEditText(QString::number(initial.baud));

  capture_ = new QLineEdit(QFile::decodeName(QByteArray::fromStdString(initial.capture)), this);
  capture_->setObjectName(QStringLiteral("RecordCapture"));
  capture_->setMinimumWidth(320);
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  browse->setObjectName(QStringLiteral("RecordBrowse"));
  connect(browse, &QPushButton::clicked, this, &RecordDialog::Browse);
  auto* capture_row = new QHBoxLayout;
  capture_row->addWidget(capture_);
  capture_row->addWidget(browse);

  stamps_ = new QCheckBox(QStringLiteral("Stamp every frame with its time of reception"), this);
  stamps_->setObjectName(QStringLiteral("RecordStamps"));
  stamps_->setChecked(initial.stamps);

  const auto note = [this](const QString& text) {
    auto* label = new QLabel(text, this);
    label->setWordWrap(true);
    QPalette grey = label->palette();
    grey.setColor(QPalette::WindowText, ToQColor(0x404040));
    label->setPalette(grey);
    return label;
  };

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Source:"), source_);
  form->addRow(QString(), note(QStringLiteral("A KISS port over TCP, HOST:PORT (Dire Wolf, "
                                              "QtSoundModem: 8001), or a serial KISS TNC "
                                              "(/dev/ttyUSB0)")));
  form->addRow(QStringLiteral("Speed (baud):"), baud_);
  form->addRow(QStringLiteral("Capture:"), capture_row);
  form->addRow(QString(), note(QStringLiteral("A capture that exists is appended to; nothing in "
                                              "it is overwritten.")));
  form->addRow(QString(), stamps_);

  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("RecordProblem"));
  problem_->setWordWrap(true);
  QPalette red = problem_->palette();
  red.setColor(QPalette::WindowText, ToQColor(0x0000C0));
  problem_->setPalette(red);
  problem_->hide();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  QPushButton* record = buttons->addButton(QStringLiteral("Record"), QDialogButtonBox::AcceptRole);
  record->setObjectName(QStringLiteral("RecordStart"));
  record->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &RecordDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &RecordDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(problem_);
  layout->addWidget(buttons);
  SourceEdited();
}

RecordSettings RecordDialog::Settings() const {
  RecordSettings settings;
  settings.source = QFile::encodeName(source_->currentText().trimmed()).toStdString();
  bool number = false;
  const int baud = baud_->currentText().trimmed().toInt(&number);
  settings.baud = number ? baud : 0;
  settings.capture = QFile::encodeName(capture_->text()).toStdString();
  settings.stamps = stamps_->isChecked();
  return settings;
}

void RecordDialog::Browse() {
  QString suggested = capture_->text();
  if (suggested.isEmpty()) suggested = QDir::home().filePath(QStringLiteral("tnc.kss"));
  const QString chosen = save_dialog_ ? save_dialog_(this, suggested) : QString();
  if (!chosen.isEmpty()) capture_->setText(chosen);
}

void RecordDialog::accept() {
  const std::string problem = RecordSettingsProblem(Settings());
  if (!problem.empty()) {
    problem_->setText(FromUtf8(problem));
    problem_->show();
    return;
  }
  QDialog::accept();
}

void RecordDialog::SourceEdited() {
  // The speed is a serial line's only.
  baud_->setEnabled(IsSerialDevice(source_->currentText().trimmed().toStdString()));
  problem_->hide();
}

std::optional<RecordSettings> RecordDialog::Ask(QWidget* parent, const RecordSettings& initial) {
  RecordDialog dialog(parent, initial);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Settings();
}

}  // namespace packscope
