#include "ui/log_box.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <string>

#include "qt/qt_text.h"
#include "ui/display_widget.h"

namespace packscope {
namespace {

// The log's lines per text block. A text document pays for every block it holds (a long log has
// hundreds of thousands of lines, and one block per line takes seconds to insert); the lines of a
// block are joined by line separators, which the box shows as line breaks and which its plain
// text and copies give as "\n".
constexpr int kLogLinesPerBlock = 64;

// The log's text for the box: the core's CR LF line ends become line separators, and every
// kLogLinesPerBlock-th a paragraph break. lines_in_block counts the lines of the box's last block.
QString LogText(std::string_view cp1252, int& lines_in_block) {
  const QString text = FromCp1252(cp1252);
  QString out;
  out.reserve(text.size());
  qsizetype from = 0;
  for (;;) {
    const qsizetype crlf = text.indexOf(QLatin1String("\r\n"), from);
    const QStringView line = QStringView(text).mid(from, crlf < 0 ? -1 : crlf - from);
    out.append(line);
    // A line break of another kind begins a new block in the box.
    if (line.contains(u'\n')) lines_in_block = 0;
    if (crlf < 0) break;
    if (++lines_in_block < kLogLinesPerBlock) {
      out.append(QChar(QChar::LineSeparator));
    } else {
      out.append(u'\n');
      lines_in_block = 0;
    }
    from = crlf + 2;
  }
  return out;
}

}  // namespace

LogBox::LogBox(QWidget* parent) : QPlainTextEdit(parent) {
  view_ = new DisplayWidget(this);
  view_->setObjectName(QStringLiteral("Text4View"));
  view_->setFrameShape(QFrame::NoFrame);
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Files dropped on the log reach the window, as with the box itself.
  view_->setAcceptDrops(false);
  view_->viewport()->setAcceptDrops(false);
  view_->hide();
}

void LogBox::SetSource(const DisplaySource* source) {
  source_ = source;
  view_->SetSource(source);
  Empty();
  SourceChanged();
}

bool LogBox::ShowsView() const { return !view_->isHidden(); }

void LogBox::Empty() {
  document()->clear();
  held_ = 0;
  lines_in_last_block_ = 0;
}

void LogBox::SourceChanged() {
  const std::int64_t lines = source_ != nullptr ? source_->LineCount() - 1 : 0;
  if (lines > kHeldLines) {
    if (!ShowsView()) {
      Empty();
      view_->setGeometry(viewport()->geometry());
      view_->show();
      setFocusProxy(view_);
    }
    view_->SourceChanged();
    return;
  }
  if (ShowsView()) {
    view_->hide();
    setFocusProxy(nullptr);
  }
  if (lines < held_) Empty();  // another log
  if (lines == held_) return;
  std::string text;
  source_->AppendText(source_->LineStart(held_), source_->Size(), source_->Size(), text);
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(LogText(text, lines_in_last_block_));
  held_ = lines;
}

void LogBox::resizeEvent(QResizeEvent* event) {
  QPlainTextEdit::resizeEvent(event);
  view_->setGeometry(viewport()->geometry());
}

}  // namespace packscope
