// Form1: the main window. Its controls keep the designer's names and fixed places (no layouts:
// nothing moves when the window is resized; a larger window uncovers Text1, the callsign row and
// the timestamp log, which lie outside the designed client area of 680 x 482 pixels).
//
// The handlers keep their designer's names and are one to three lines each: they ask the user
// (file dialog) or take the dropped data apart, then run the window's commands
// (commands/commands.h) against the QtWindow. The file dialog and the error message box sit behind
// seams that tests replace.
//
// The capture shown is followed on disk while no command runs (QtWindow): a capture that grows
// shows its new frames, one that shrinks or is replaced is read anew.
//
// File > "Record from TNC..." records a TNC into a capture (TncRecording, on a thread of its
// own) and shows that capture as File > Open does, following it as it grows: the window looks
// at it after every batch written as well. Label2 tells the recording's state ("Recording
// 127.0.0.1:8001 to /x/pass1.kss: 12 frames", with the reason while it is not connected), and
// the item becomes "Stop Recording". Closing the window or opening another capture asks first
// and then stops the recording; the frames written stay whole.
//
// Drops: files dropped anywhere on the window reach a handler. The display has its own
// (RichTextBox1_OLEDragDrop); drops over every other control reach Form_OLEDragDrop, because the
// text boxes do not take drops themselves. A drop without local files changes nothing.
#ifndef PACKSCOPE_UI_FORM1_H_
#define PACKSCOPE_UI_FORM1_H_

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/decoder_state.h"
#include "ui/tnc_recording.h"

class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QAction;
class QMimeData;
class QPlainTextEdit;
class QTimer;

namespace packscope {

class DisplayWidget;
class FrameListWindow;
class LogBox;
class QtWindow;

// The open dialog's filter list: "KISS Files (*.kss)", "Text Files (*.txt)", "All Files (*.*)",
// and "Captures (...)" of every format the readers take (capture/capture_input.h).
extern const QString kOpenFilter;
// The open dialog as File > Open shows it: modal, the first filter selected, no file name.
std::unique_ptr<QFileDialog> CreateOpenDialog(QWidget* parent);

class Form1 : public QMainWindow {
  Q_OBJECT

 public:
  // Asks for a capture; returns its path, or an empty text when the user cancels.
  using OpenDialog = std::function<QString(QWidget* parent)>;
  // Shows a command's error message.
  using ErrorReporter = std::function<void(const QString& message)>;
  // Asks what to record and where to, starting from the settings used last; nothing: cancelled.
  using RecordQuestion =
      std::function<std::optional<RecordSettings>(QWidget* parent, const RecordSettings& last)>;
  // Asks the user a yes-or-no question; true for yes.
  using Question = std::function<bool(const QString& question)>;

  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

  // --- Event handlers ---
  void MnuFileOpen_Click();
  // "Record from TNC...", or "Stop Recording" while a recording runs.
  void MnuFileRecord_Click();
  void Form_OLEDragDrop(const QMimeData& dropped);
  void RichTextBox1_OLEDragDrop(const QMimeData& dropped);
  void Check1_Click();
  void MnuExit_Click();
  void MnuInfo_Click();
  void MnuWriteHexfilecomplete_Click();
  void MnuWriteHexFilekissframe_Click();
  void MnuWriteHexfilePayload_Click();
  void MnuWriteHexfilePayloadTime_Click();
  void MnuWriteASCIIPL_Click();
  void MnuWriteLogfile_Click();
  void MnuViewFrameList_Click();

  // Paths given on the command line, opened exactly as if they were dropped on the window.
  void OpenPaths(const std::vector<std::string>& paths);

  // --- Seams and state, for main() and tests ---
  void SetOpenDialog(OpenDialog dialog) { open_dialog_ = std::move(dialog); }
  void SetErrorReporter(ErrorReporter reporter);
  void SetRecordDialog(RecordQuestion dialog) { record_dialog_ = std::move(dialog); }
  void SetQuestion(Question question) { question_ = std::move(question); }
  // The recording of the moment (also one that is stopping), or null.
  TncRecording* Recording() const { return recording_.get(); }
  DecoderState& State() { return state_; }
  // How often the window looks whether the capture shown changed on disk (tests look more often).
  void SetCaptureLookInterval(int milliseconds);
  QtWindow& Host() { return *window_; }
  // The frame list window while it is open, else null.
  FrameListWindow* FrameList() const;

 signals:
  // The window shows another capture (the bytes of its path): the frame list follows it.
  void CaptureChanged(const QByteArray& path);
  // The capture shown changed on disk and was read on to its new end (grown; or shrunk or
  // replaced, and read anew). Windows that show the same capture read it on as well.
  void CaptureFollowed();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void CreateMenus();
  void ShowError(const QString& message);
  // Runs a write command of the menu table.
  void Write(std::size_t index);
  // A command may start: none runs (the progress dialog and a drop let events through, and a
  // second command must not start inside the first).
  bool Idle() const;
  // Runs body as the one command of the moment; does nothing while another runs.
  void RunCommand(const std::function<void()>& body);
  // Opens the frame list window (or brings it up) on the capture path.
  void ShowFrameList(const std::string& path);
  // The capture shown on disk: a look every second whether it changed, and the steps of a
  // reading of it.
  void LookAtCapture();
  void ReadOnStep();
  // Recording: its start (the dialog, the capture opened), its signals, and the question
  // before something ends it; false when the user keeps it (and what was asked for is not done).
  void StartRecording();
  void RecordingWritten();
  void RecordingEnded();
  void ShowRecordingCaption();
  bool MayEndRecording(const std::string& opening);

  DecoderState state_;
  std::unique_ptr<QtWindow> window_;
  OpenDialog open_dialog_;
  ErrorReporter error_reporter_;
  RecordQuestion record_dialog_;
  Question question_;
  bool command_running_ = false;
  std::unique_ptr<TncRecording> recording_;
  RecordSettings record_settings_;  // the last ones chosen
  // A recording wrote a batch while a reading on ran: look again once it ends.
  bool look_again_ = false;
  QPointer<FrameListWindow> frame_list_;

  DisplayWidget* rich_text_box1_ = nullptr;
  QCheckBox* check1_ = nullptr;
  QCheckBox* check2_ = nullptr;
  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label3_ = nullptr;
  QLabel* label4_ = nullptr;
  QPlainTextEdit* text1_ = nullptr;
  QLineEdit* text2_ = nullptr;
  QLineEdit* text3_ = nullptr;
  LogBox* text4_ = nullptr;
  QTimer* look_timer_ = nullptr;
  QTimer* read_on_timer_ = nullptr;
  QAction* mnu_file_record_ = nullptr;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FORM1_H_
