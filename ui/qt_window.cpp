#include "ui/qt_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <utility>

#include "capture/frame_loop.h"
#include "ui/display_widget.h"
#include "ui/log_box.h"

namespace packscope {
namespace {

// The progress bar counts in thousandths of the capture.
constexpr int kProgressSteps = 1000;

// A reading of the view, as the window thread sees it: it waits this long for news of the
// worker, then lays out what was read for at most kLayOutMs, in slices of kLayOutSlice frames.
constexpr auto kTick = std::chrono::milliseconds(20);
constexpr int kLayOutMs = 8;
constexpr std::int64_t kLayOutSlice = 20000;
// The window repaints (no input taken) from this time on, every kRepaintMs; once the progress
// window shows, it processes events every kEventsMs. The worker is held meanwhile, at most
// kHoldMs after it was asked to.
constexpr int kRepaintAfterMs = 100;
constexpr int kRepaintMs = 50;
constexpr int kEventsMs = 40;
constexpr auto kHoldWait = std::chrono::milliseconds(200);

// "12 MB of 100 MB read", in the progress window.
QString BytesRead(std::int64_t done, std::int64_t total) {
  const auto amount = [](std::int64_t n) {
    return n < (10 << 20) ? QStringLiteral("%1 kB").arg((n + 1023) >> 10)
                          : QStringLiteral("%1 MB").arg(n >> 20);
  };
  return total > 0 ? QStringLiteral("%1 of %2 read").arg(amount(done), amount(total))
                   : QStringLiteral("%1 read").arg(amount(done));
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

QtWindow::QtWindow(const Controls& controls, ErrorSink error_sink)
    : controls_(controls), error_sink_(std::move(error_sink)) {
  ViewReset();
}

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
    return;
  }
  delete progress_.data();
  QApplication::restoreOverrideCursor();
  // The pass ends here, also when it failed (this runs while its exception unwinds): nothing
  // may escape. Should the widgets lack memory for the texts, they keep what they showed.
  try {
    Flush();
  } catch (const std::exception&) {
  }
}

std::string QtWindow::DisplayText() const {
  const DisplaySource& text = controls_.display->Source();
  std::string out;
  text.AppendText(0, text.Size(), text.Size(), out);
  return out;
}

void QtWindow::SetDisplayText(std::string_view text) {
  DisplayWidget* display = controls_.display;
  display->OwnModel().SetText(text);
  if (!display->ShowsOwnModel()) display->SetSource(nullptr);
  display->ScrollToStart();
  DisplayChanged();
}

std::int64_t QtWindow::SelStart() const { return controls_.display->SelStart(); }

void QtWindow::SetSelStart(std::int64_t start) {
  controls_.display->OwnModel().SetSelStart(start);
  DisplayChanged();
}

void QtWindow::SetSelLength(std::int64_t length) {
  controls_.display->OwnModel().SetSelLength(length);
  DisplayChanged();
}

void QtWindow::SetSelText(std::string_view text) {
  controls_.display->OwnModel().SetSelText(text);
  DisplayChanged();
}

void QtWindow::SetSelColor(Color color) {
  controls_.display->OwnModel().SetSelColor(color);
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

void QtWindow::AppendText4(std::string_view text) { (void)text; }

void QtWindow::ClearText4() {}

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
  progress_->setLabelText(QStringLiteral("Reading the capture\n") + FromUtf8(label1_) +
                          QLatin1Char('\n') + BytesRead(done, total));
  if (!progress_->isVisible()) progress_->show();
  QCoreApplication::processEvents();
  // Cancel, Escape and closing the dialog all stop the pass.
  return !progress_->wasCanceled();
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
  if (display_pending_) {
    display_pending_ = false;
    controls_.display->ModelChanged();
  }
  if (view_pending_) {
    view_pending_ = false;
    ViewChanged(/*follow=*/false);
  }
}

void QtWindow::DisplayChanged() {
  if (busy_) {
    display_pending_ = true;
  } else {
    controls_.display->ModelChanged();
  }
}

void QtWindow::ViewReset() {
  controls_.display->SetSource(&view_.Screen());
  controls_.text4->SetSource(&view_.Log());
  following_ = false;
}

const DisplaySource& QtWindow::DisplayShown() const { return controls_.display->Source(); }

void QtWindow::ViewChanged(bool follow) {
  controls_.display->SourceChanged(follow);
  controls_.text4->SourceChanged();
}

bool QtWindow::LayOut(int milliseconds) {
  QElapsedTimer spent;
  spent.start();
  bool whole = false;
  do {
    whole = view_.Update(kLayOutSlice);
  } while (!whole && spent.elapsed() < milliseconds);
  const IndexSnapshot& shown = view_.Shown();
  if (shown.FrameCount() > 0)
    SetLabel1Caption(CountsCaption(shown.FrameCount(), shown.ByteCount()));
  if (busy_) {
    view_pending_ = true;
  } else {
    ViewChanged(/*follow=*/!reading_anew_);
  }
  return whole;
}

IndexResult QtWindow::ReadView() {
  if (reading_on_) StopReadingOn();
  if (&controls_.display->Source() != &view_.Screen()) ViewReset();
  SetBusy(true);
  // However it ends (out of memory while laying out): the reading stopped, the pointer back.
  struct Ended {
    QtWindow& w;
    ~Ended() {
      if (w.worker_.Running()) {
        w.worker_.Cancel();
        w.worker_.Join();
      }
      w.SetBusy(false);
    }
  } ended{*this};
  // Held at once when the progress window is due at once: it then shows after the first block.
  worker_.Start(view_, progress_delay_ms_ <= 0);
  QElapsedTimer since_events;
  bool events = false;
  for (;;) {
    worker_.WaitForNews(kTick);
    const bool finished = worker_.Finished();
    LayOut(kLayOutMs);
    const qint64 elapsed = pass_timer_.elapsed();
    if (elapsed >= progress_delay_ms_) {
      if (!events || finished || since_events.elapsed() >= kEventsMs) {
        // Hold the reading while events are processed, so that a Cancel clicked meanwhile stops
        // it right there.
        worker_.Hold(kHoldWait);
        LayOut(kLayOutMs);
        if (!ShowProgress(worker_.Done(), worker_.Total())) worker_.Cancel();
        worker_.Release();
        events = true;
        since_events.start();
      }
    } else if (elapsed >= kRepaintAfterMs &&
               (!since_events.isValid() || since_events.elapsed() >= kRepaintMs)) {
      Flush();
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      since_events.start();
    }
    if (finished) break;
  }
  const IndexResult result = worker_.Join();
  // The frames read last: laid out while the window goes on answering.
  while (!LayOut(kLayOutMs)) {
    if (events && since_events.elapsed() >= kEventsMs) {
      ShowProgress(worker_.Done(), worker_.Total());
      since_events.start();
    }
  }
  following_ = result.status == IndexStatus::kAtEnd && !view_.Copied();
  disk_.Remember(view_.ReadPath());
  return result;
}

bool QtWindow::CaptureChangedOnDisk() const {
  if (!following_ || reading_on_ || busy_ || view_.Path().empty()) return false;
  // A block read back differed from what was indexed: the capture was written over.
  if (view_.Screen().Stale()) return true;
  // Gone: reading on tells.
  return disk_.Changed(view_.ReadPath(), view_.Shown().CaptureSize());
}

void QtWindow::StartReadingOn() {
  if (reading_on_ || busy_) return;
  if (view_.Screen().Stale()) {
    // Written over in place: what the index holds cannot be trusted, so it is read anew.
    view_.Open(view_.Path());
    ViewReset();
    following_ = true;
    reading_anew_ = true;
  }
  worker_.Start(view_, /*held=*/false);
  reading_on_ = true;
}

std::optional<IndexResult> QtWindow::ReadingOnStep() {
  if (!reading_on_) return std::nullopt;
  const bool finished = worker_.Finished();
  if (!LayOut(kLayOutMs) || !finished) return std::nullopt;
  const IndexResult result = worker_.Join();
  reading_on_ = false;
  if (result.status == IndexStatus::kChanged) {
    // Shrunk or replaced: read anew, from the start.
    view_.Open(view_.Path());
    ViewReset();
    following_ = true;
    reading_anew_ = true;
    StartReadingOn();
    return std::nullopt;
  }
  reading_anew_ = false;
  following_ = result.status == IndexStatus::kAtEnd;
  disk_.Remember(view_.ReadPath());
  return result;
}

void QtWindow::StopReadingOn() {
  if (!reading_on_) return;
  worker_.Cancel();
  worker_.Join();
  reading_on_ = false;
  while (!view_.Update()) {
  }
  if (!busy_) ViewChanged(/*follow=*/!reading_anew_);
  reading_anew_ = false;
}

}  // namespace packscope
