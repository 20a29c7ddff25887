// QtWindow: the core's Window on the widgets of the main window Form1, and the window's way of
// showing captures: through a CaptureView (commands/capture_view.h), read on a worker thread.
//
// Showing a capture: the reading runs on a thread of its own (IndexWorker) while this thread lays
// out the frames read so far in slices, paints them and keeps Label1's counts up to date; the
// first screen shows as soon as it is read. As a pass, it shows the busy pointer and takes no
// input meanwhile; the window repaints from the first 100 ms on, and a reading that runs longer
// than about half a second gets a progress window, modal for Form1, whose Cancel button (or
// Escape) stops the reading with the frames read so far. The display and the timestamp log Text4
// then paint from the view: nothing of their text is kept.
//
// Following the capture on disk: while no command runs, the window's timers ask whether the
// capture shown changed since it was read to its end (CaptureChangedOnDisk) and read it on in
// the background (StartReadingOn, ReadingOnStep): the new frames appear as they are read, a
// display scrolled to the end stays at the end, and neither the busy pointer nor the progress
// window shows. A capture that shrank or was replaced is read anew. Any command stops such a
// reading first (StopReadingOn); the next look at the capture goes on with it.
//
// A pass of a write command sets the Label1 caption and the callsign boxes once per frame, up to
// millions of times. Setting a Qt label that often costs more than the pass itself, and nobody
// could see it: no events are processed during a pass. So while the busy pointer is shown, the
// window keeps the latest Label1 caption, Text2 and Text3 in members, and puts them into the
// widgets when the pass ends and at every progress update. What the user sees at the end is
// exactly what per-frame updates would have left. Outside a pass every change reaches its widget
// at once. Text4 shows the timestamp log of the capture shown, from the view: the passes of the
// write commands read the same capture and their log lines are not taken.
//
// Label2 names files whose folders can be long: a caption wider than the label loses the middle
// of its folder part to an ellipsis, so that the file name stays visible, and the whole caption
// becomes the label's tooltip.
#ifndef PACKSCOPE_UI_QT_WINDOW_H_
#define PACKSCOPE_UI_QT_WINDOW_H_

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "capture/window.h"
#include "commands/capture_view.h"
#include "qt/qt_text.h"
#include "ui/index_worker.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QWidget;

namespace packscope {

class DisplayWidget;
class LogBox;

class QtWindow : public Window, public IndexedDisplay {
 public:
  // The controls of Form1 that the core reaches; they must outlive this object.
  struct Controls {
    QWidget* form;  // parent of the progress dialog
    DisplayWidget* display;
    QLabel* label1;
    QLabel* label2;
    QLineEdit* text2;
    QLineEdit* text3;
    LogBox* text4;
    QCheckBox* check1;
    QCheckBox* check2;
  };
  // Shows a reported error to the user (the message is a whole sentence or two).
  using ErrorSink = std::function<void(const QString& message)>;

  QtWindow(const Controls& controls, ErrorSink error_sink);
  ~QtWindow() override;
  QtWindow(const QtWindow&) = delete;
  QtWindow& operator=(const QtWindow&) = delete;

  // --- Window ---
  void SetBusy(bool busy) override;
  // The display's text as shown, made whole (tests and small texts only).
  std::string DisplayText() const override;
  // A Screen pass's text goes into the display's own model, which it then shows.
  void SetDisplayText(std::string_view text) override;
  std::int64_t SelStart() const override;
  void SetSelStart(std::int64_t start) override;
  void SetSelLength(std::int64_t length) override;
  void SetSelText(std::string_view text) override;
  void SetSelColor(Color color) override;
  void SetLabel1Caption(std::string_view caption) override;
  void SetLabel2Caption(std::string_view caption) override;
  void SetText2(std::string_view text) override;
  void SetText3(std::string_view text) override;
  // Text4 shows the log of the capture shown, from the view: a pass's lines are not taken.
  void AppendText4(std::string_view text) override;
  void ClearText4() override;
  bool Check1() const override;
  bool Check2() const override;
  std::string ShortDateText(int year, int month, int day) const override;
  std::string LongTimeText(int hour, int minute, int second) const override;
  void ReportError(std::string_view message) override;
  bool ShowProgress(std::int64_t done, std::int64_t total) override;

  // --- IndexedDisplay ---
  CaptureView& View() override { return view_; }
  void ViewReset() override;
  IndexResult ReadView() override;
  const DisplaySource& DisplayShown() const override;

  // --- Following the capture on disk ---
  // The capture shown was read to its end and has changed on disk since (grown, shrunk,
  // replaced, gone).
  bool CaptureChangedOnDisk() const;
  void StartReadingOn();
  bool ReadingOn() const { return reading_on_; }
  // Lays out what the reading read so far and shows it; its result once it ended and everything
  // it read is shown. A capture that shrank or was replaced is read anew (no result yet).
  std::optional<IndexResult> ReadingOnStep();
  // Stops the reading; what it read stays shown.
  void StopReadingOn();

  // True while a pass or a reading of the view runs (from SetBusy(true) to SetBusy(false)).
  bool InPass() const { return busy_; }
  void SetErrorSink(ErrorSink sink) { error_sink_ = std::move(sink); }
  // How long a pass runs before the progress dialog appears (tests use 0).
  void SetProgressDelay(int milliseconds) { progress_delay_ms_ = milliseconds; }
  // The progress dialog while it is shown, else null.
  QProgressDialog* ProgressDialog() const;
  // Label2's caption as set, before any elision.
  const QString& Label2Caption() const { return label2_caption_; }

 private:
  // Puts what a pass has set so far into the widgets.
  void Flush();
  // The display caught up with its model, unless a pass runs.
  void DisplayChanged();
  // Lays out what the view read so far for at most milliseconds; true when all of it is.
  bool LayOut(int milliseconds);
  // The display and the log follow the view's texts.
  void ViewChanged(bool follow);
  // What the capture on disk looked like when its reading ended.
  void RememberDisk();

  Controls controls_;
  ErrorSink error_sink_;
  LocaleDateText dates_;
  CaptureView view_{*this};
  IndexWorker worker_;  // after view_: it reads the view until it is destroyed
  bool busy_ = false;
  bool reading_on_ = false;
  bool following_ = false;
  struct DiskState {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modified_ns = 0;
    bool operator==(const DiskState&) const = default;
  };
  DiskState disk_;
  // Set during a pass and not yet shown.
  std::string label1_;
  bool label1_pending_ = false;
  std::string text2_;
  bool text2_pending_ = false;
  std::string text3_;
  bool text3_pending_ = false;
  QString label2_caption_;
  bool display_pending_ = false;
  bool view_pending_ = false;
  QElapsedTimer pass_timer_;
  int progress_delay_ms_ = 500;
  QPointer<QProgressDialog> progress_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_QT_WINDOW_H_
