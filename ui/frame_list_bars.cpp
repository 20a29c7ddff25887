#include "ui/frame_list_bars.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/qt_text.h"

namespace packscope {
namespace {

constexpr int kMostFilters = 20;

bool Dark(const QWidget& w) { return w.palette().color(QPalette::Window).lightness() < 128; }

}  // namespace

FilterBar::FilterBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("FilterBar"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QHBoxLayout();
  auto* label = new QLabel(QStringLiteral("&Filter:"), this);
  box_ = new QComboBox(this);
  box_->setObjectName(QStringLiteral("FilterBox"));
  box_->setEditable(true);
  box_->setInsertPolicy(QComboBox::NoInsert);
  box_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  box_->lineEdit()->setPlaceholderText(
      QStringLiteral("src == QQ0QQ-* and type == UI    (Return applies; the help lists fields)"));
  box_->setToolTip(FromUtf8(FilterHelpText()));
  label->setBuddy(box_);
  auto* apply = new QPushButton(QStringLiteral("&Apply"), this);
  auto* clear = new QPushButton(QStringLiteral("C&lear"), this);
  connect(box_->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { emit ApplyRequested(Text()); });
  connect(box_, &QComboBox::activated, this, [this](int) { emit ApplyRequested(Text()); });
  connect(box_, &QComboBox::editTextChanged, this, &FilterBar::Update);
  connect(apply, &QPushButton::clicked, this, [this] { emit ApplyRequested(Text()); });
  connect(clear, &QPushButton::clicked, this, [this] { emit ApplyRequested(QString()); });
  bar->addWidget(label);
  bar->addWidget(box_, 1);
  bar->addWidget(apply);
  bar->addWidget(clear);
  column->addLayout(bar);
  error_ = new QLabel(this);
  error_->setObjectName(QStringLiteral("FilterError"));
  error_->setTextFormat(Qt::PlainText);
  error_->setWordWrap(true);
  error_->hide();
  column->addWidget(error_);
  setTabOrder(box_, apply);
  setTabOrder(apply, clear);
  FollowTheme();
}

QString FilterBar::Text() const { return box_->currentText(); }

void FilterBar::SetText(const QString& text) { box_->setEditText(text); }

void FilterBar::SetApplied(const QString& text) {
  applied_ = text;
  Update();
}

void FilterBar::ShowError(const FilterError& error) {
  error_->setText(QStringLiteral("Column %1: %2 (the frames shown are those of the filter before)")
                      .arg(error.column)
                      .arg(FromUtf8(error.message)));
  error_->show();
  greyed_ = true;
  emit Greyed(true);
  box_->setFocus();
  QLineEdit* line = box_->lineEdit();
  const int at = std::max(0, error.column - 1);
  if (at < line->text().size()) {
    line->setSelection(at, 1);
  } else {
    line->setCursorPosition(at);
  }
}

void FilterBar::Update() {
  const QString text = Text().trimmed();
  valid_ = text.isEmpty() || Filter::Parse(ToUtf8(text)).has_value();
  if (greyed_ && (valid_ || text == applied_)) {
    greyed_ = false;
    error_->hide();
    emit Greyed(false);
  }
  QPalette p = box_->lineEdit()->palette();
  p.setColor(QPalette::Base,
             valid_ ? palette().color(QPalette::Base)
                    : (Dark(*this) ? QColor(0x70, 0x20, 0x20) : QColor(0xFF, 0xC8, 0xC8)));
  box_->lineEdit()->setPalette(p);
  box_->lineEdit()->setProperty("filterValid", valid_);
}

void FilterBar::Remember(const QString& text) {
  const int at = box_->findText(text);
  if (at >= 0) box_->removeItem(at);
  box_->insertItem(0, text);
  while (box_->count() > kMostFilters) box_->removeItem(box_->count() - 1);
}

QStringList FilterBar::History() const {
  QStringList history;
  for (int i = 0; i < box_->count(); ++i) history << box_->itemText(i);
  return history;
}

void FilterBar::SetHistory(const QStringList& history) {
  box_->addItems(history);
  box_->setEditText(QString());
}

void FilterBar::EditText() {
  box_->setFocus();
  box_->lineEdit()->selectAll();
}

void FilterBar::FollowTheme() {
  // A red that reads on a light and on a dark background.
  QPalette p = error_->palette();
  p.setColor(QPalette::WindowText,
             Dark(*this) ? QColor(0xFF, 0x80, 0x80) : QColor(0xB0, 0x00, 0x00));
  error_->setPalette(p);
  Update();
}

void FilterBar::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) FollowTheme();
}

FindBar::FindBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("FindBar"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 2, 0, 2);
  auto* label = new QLabel(QStringLiteral("Fi&nd:"), this);
  text_ = new QLineEdit(this);
  text_->setObjectName(QStringLiteral("FindText"));
  text_->setPlaceholderText(
      QStringLiteral("text in Time, Source, Destination, Path, Type, Info; or hex bytes"));
  text_->installEventFilter(this);
  label->setBuddy(text_);
  hex_ = new QCheckBox(QStringLiteral("&Hex bytes"), this);
  hex_->setObjectName(QStringLiteral("FindHex"));
  auto* previous = new QPushButton(QStringLiteral("&Previous"), this);
  auto* next = new QPushButton(QStringLiteral("Ne&xt"), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  connect(text_, &QLineEdit::returnPressed, this, [this] {
    emit FindRequested((QApplication::keyboardModifiers() & Qt::ShiftModifier) != 0);
  });
  connect(previous, &QPushButton::clicked, this, [this] { emit FindRequested(true); });
  connect(next, &QPushButton::clicked, this, [this] { emit FindRequested(false); });
  connect(close, &QPushButton::clicked, this, [this] {
    hide();
    emit Closed();
  });
  for (QWidget* w : std::initializer_list<QWidget*>{label, text_, hex_, previous, next, close}) {
    layout->addWidget(w, w == text_ ? 1 : 0);
  }
  hide();
}

QString FindBar::Text() const { return text_->text(); }

bool FindBar::Hex() const { return hex_->isChecked(); }

void FindBar::Open() {
  show();
  text_->setFocus();
  text_->selectAll();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  // Escape in the find bar closes it (and does not cancel a task).
  if (watched == text_ &&
      (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    event->accept();
    if (event->type() == QEvent::KeyPress) {
      hide();
      emit Closed();
    }
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace packscope
