// QtWindow: the core's Window on the widgets of the main window Form1.
//
// A pass over a large capture sets the Label1 caption and the callsign boxes once per frame, up
// to hundreds of thousands of times. Setting a Qt label that often costs more than the pass
// itself, and nobody could see it: no events are processed during a pass. So while the busy
// pointer is shown, the window keeps the latest Label1 caption, Text2 and Text3 and the Text4
// lines still to be appended in members, and puts them into the widgets when the pass ends and
// at every progress update. What the user sees at the end is exactly what per-frame updates
// would have left. Outside a pass every change reaches its widget at once.
//
// The display's text and colours live in the DisplayWidget's model; the window only tells the
// widget when to catch up.
//
// A pass that runs longer than about half a second gets a progress dialog, modal for Form1, whose
// Cancel button (or Escape) stops the pass after the block being read; it is the only place
// where events are processed during a pass.
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
#include <string>

#include "capture/decoder_state.h"
#include "capture/window.h"
#include "qt/qt_text.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressDialog;
class QWidget;

namespace packscope {

class DisplayWidget;

class QtWindow : public Window {
 public:
  // The controls of Form1 that the core reaches; they, and the state, must outlive this object.
  struct Controls {
    QWidget* form;  // parent of the progress dialog
    DisplayWidget* display;
    QLabel* label1;
    QLabel* label2;
    QLineEdit* text2;
    QLineEdit* text3;
    QPlainTextEdit* text4;
    QCheckBox* check1;
    QCheckBox* check2;
  };
  // Shows a reported error to the user (the message is a whole sentence or two).
  using ErrorSink = std::function<void(const QString& message)>;

  // state is read when a pass starts: a pass that shows CaptureFileName on the screen gets room
  // for the display's text at once.
  QtWindow(const Controls& controls, const DecoderState& state, ErrorSink error_sink);
  ~QtWindow() override;
  QtWindow(const QtWindow&) = delete;
  QtWindow& operator=(const QtWindow&) = delete;

  void SetBusy(bool busy) override;
  std::string DisplayText() const override;
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
  void AppendText4(std::string_view text) override;
  void ClearText4() override;
  bool Check1() const override;
  bool Check2() const override;
  std::string ShortDateText(int year, int month, int day) const override;
  std::string LongTimeText(int hour, int minute, int second) const override;
  void ReportError(std::string_view message) override;
  bool ShowProgress(std::int64_t done, std::int64_t total) override;

  // True while a pass runs (from SetBusy(true) to SetBusy(false)).
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

  // The room the display's text will need in a screen pass over the capture; 0 otherwise.
  std::int64_t ScreenPassSize() const;

  Controls controls_;
  const DecoderState& state_;
  ErrorSink error_sink_;
  LocaleDateText dates_;
  bool busy_ = false;
  // Set during a pass and not yet shown.
  std::string label1_;
  bool label1_pending_ = false;
  std::string text2_;
  bool text2_pending_ = false;
  std::string text3_;
  bool text3_pending_ = false;
  std::string text4_pending_;
  bool text4_clear_pending_ = false;
  int text4_block_lines_ = 0;  // lines in the last text block of Text4
  QString label2_caption_;
  bool display_pending_ = false;
  std::int64_t reserve_ = 0;  // room to make when the pass empties the display
  QElapsedTimer pass_timer_;
  int progress_delay_ms_ = 500;
  QPointer<QProgressDialog> progress_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_QT_WINDOW_H_
