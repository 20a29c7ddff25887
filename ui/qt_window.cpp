#include "ui/qt_window.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QTextCursor>
#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <utility>

#include "ui/display_widget.h"

namespace packscope {
namespace {

// The progress bar counts in thousandths of the capture.
constexpr int kProgressSteps = 1000;

// The timestamp log's lines per text block. A text document pays for every block it holds (a
// long pass logs hundreds of thousands of stamps, and one block per line takes seconds to
// insert); the lines of a block are joined by line separators, which the box shows as line
// breaks and which its plain text and copies give as "\n".
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

// caption as it fits into width pixels: whole when it fits; else the end of its folder part gives
// way to an ellipsis, so that the file name and what follows it stay whole; a caption without a
// folder, or a file name too long even for that, loses its middle.
QString ElideCaption(const QString& caption, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(caption) <= width) return caption;
  const QString ellipsis(QChar(0x2026));
  const qsizetype slash = caption.lastIndexOf(u'/');
  if (slash > 0) {
    const QString tail = caption.mid(slash);
    // Kerning across the joint can add a pixel or two.
    const int room = width - metrics.horizontalAdvance(tail) - 2;
    if (room > 4 * metrics.horizontalAdvance(ellipsis)) {
      return metrics.elidedText(caption.left(slash), Qt::ElideRight, room) + tail;
    }
  }
  return metrics.elidedText(caption, Qt::ElideMiddle, width);
}

}  // namespace

QtWindow::QtWindow(const Controls& controls, const DecoderState& state, ErrorSink error_sink)
    : controls_(controls), state_(state), error_sink_(std::move(error_sink)) {}

QtWindow::~QtWindow() {
  if (busy_) QApplication::restoreOverrideCursor();
  delete progress_.data();
}

void QtWindow::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    pass_timer_.start();
    reserve_ = ScreenPassSize();
    return;
  }
  reserve_ = 0;
  delete progress_.data();
  QApplication::restoreOverrideCursor();
  // The pass ends here, also when it failed (this runs while its exception unwinds): nothing
  // may escape. Should the widgets lack memory for the texts, they keep what they showed.
  try {
    Flush();
  } catch (const std::exception&) {
  }
}

std::string QtWindow::DisplayText() const { return controls_.display->Model().Text(); }

void QtWindow::SetDisplayText(std::string_view text) {
  controls_.display->Model().SetText(text);
  // The pass begins: room for the whole text at once, now that the old one is gone. Only a
  // help: without the room the text grows as it goes.
  if (reserve_ > 0) {
    try {
      controls_.display->Model().Reserve(std::exchange(reserve_, 0));
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
  }
  controls_.display->ScrollToStart();
  DisplayChanged();
}

std::int64_t QtWindow::SelStart() const { return controls_.display->Model().SelStart(); }

void QtWindow::SetSelStart(std::int64_t start) {
  controls_.display->Model().SetSelStart(start);
  DisplayChanged();
}

void QtWindow::SetSelLength(std::int64_t length) {
  controls_.display->Model().SetSelLength(length);
  DisplayChanged();
}

void QtWindow::SetSelText(std::string_view text) {
  controls_.display->Model().SetSelText(text);
  DisplayChanged();
}

void QtWindow::SetSelColor(Color color) {
  controls_.display->Model().SetSelColor(color);
  DisplayChanged();
}

void QtWindow::SetLabel1Caption(std::string_view caption) {
  label1_.assign(caption);
  label1_pending_ = true;
  if (!busy_) Flush();
}

void QtWindow::SetLabel2Caption(std::string_view caption) {
  label2_caption_ = FromUtf8(caption);
  QLabel* label = controls_.label2;
  const QString shown =
      ElideCaption(label2_caption_, label->fontMetrics(), label->contentsRect().width());
  label->setText(shown);
  label->setToolTip(shown == label2_caption_ ? QString() : label2_caption_);
}

void QtWindow::SetText2(std::string_view text) {
  text2_.assign(text);
  text2_pending_ = true;
  if (!busy_) Flush();
}

void QtWindow::SetText3(std::string_view text) {
  text3_.assign(text);
  text3_pending_ = true;
  if (!busy_) Flush();
}

void QtWindow::AppendText4(std::string_view text) {
  text4_pending_.append(text);
  if (!busy_) Flush();
}

void QtWindow::ClearText4() {
  text4_pending_.clear();
  text4_clear_pending_ = true;
  text4_block_lines_ = 0;
  if (!busy_) Flush();
}

bool QtWindow::Check1() const { return controls_.check1->isChecked(); }

bool QtWindow::Check2() const { return controls_.check2->isChecked(); }

std::string QtWindow::ShortDateText(int year, int month, int day) const {
  return dates_.ShortDate(year, month, day);
}

std::string QtWindow::LongTimeText(int hour, int minute, int second) const {
  return dates_.LongTime(hour, minute, second);
}

void QtWindow::ReportError(std::string_view message) {
  // A pass reports only after it ended; flush anyway so that the message box shows the window
  // as the command left it.
  Flush();
  if (error_sink_) error_sink_(FromUtf8(message));
}

bool QtWindow::ShowProgress(std::int64_t done, std::int64_t total) {
  if (!busy_) return true;
  if (progress_ == nullptr) {
    if (pass_timer_.elapsed() < progress_delay_ms_) return true;
    progress_ = new QProgressDialog(controls_.form);
    progress_->setObjectName(QStringLiteral("ProgressDialog"));
    progress_->setWindowTitle(QStringLiteral("Packscope+"));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setCancelButtonText(QStringLiteral("Cancel"));
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
  }
  Flush();
  if (total > 0) {
    progress_->setRange(0, kProgressSteps);
    progress_->setValue(static_cast<int>(
        std::clamp<std::int64_t>(done * kProgressSteps / total, 0, kProgressSteps)));
  } else {
    progress_->setRange(0, 0);  // size unknown: a busy bar
  }
  progress_->setLabelText(QStringLiteral("Reading the capture\n") + FromUtf8(label1_));
  if (!progress_->isVisible()) progress_->show();
  QCoreApplication::processEvents();
  // Cancel, Escape and closing the dialog all stop the pass.
  return !progress_->wasCanceled();
}

std::int64_t QtWindow::ScreenPassSize() const {
  if (state_.OutputMode != kScreen) return 0;
  const QFileInfo capture(QFile::decodeName(state_.CaptureFileName.c_str()));
  if (!capture.isFile()) return 0;
  // A screen block holds about 4.4 characters per stored byte (hex dump, offsets, printable
  // line) and some 120 per frame; captures of short frames need more and grow the text once.
  constexpr std::int64_t kCharactersPerByte = 5;
  // Never more than half the machine's memory: a text that big would not be shown anyway.
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGESIZE);
  const std::int64_t limit = pages > 0 && page_size > 0
                                 ? static_cast<std::int64_t>(pages) * page_size / 2
                                 : std::int64_t{1} << 30;
  return std::min<std::int64_t>(kCharactersPerByte * capture.size(), limit);
}

QProgressDialog* QtWindow::ProgressDialog() const { return progress_.data(); }

void QtWindow::Flush() {
  if (label1_pending_) {
    controls_.label1->setText(FromUtf8(label1_));
    label1_pending_ = false;
  }
  if (text2_pending_) {
    controls_.text2->setText(FromCp1252(text2_));
    text2_pending_ = false;
  }
  if (text3_pending_) {
    controls_.text3->setText(FromCp1252(text3_));
    text3_pending_ = false;
  }
  if (text4_clear_pending_) {
    controls_.text4->document()->clear();
    text4_clear_pending_ = false;
  }
  if (!text4_pending_.empty()) {
    QTextCursor cursor(controls_.text4->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(LogText(text4_pending_, text4_block_lines_));
    text4_pending_.clear();
  }
  if (display_pending_) {
    display_pending_ = false;
    controls_.display->ModelChanged();
  }
}

void QtWindow::DisplayChanged() {
  if (busy_) {
    display_pending_ = true;
  } else {
    controls_.display->ModelChanged();
  }
}

}  // namespace packscope
