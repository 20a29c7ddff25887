// The one door between the core and the main window.
//
// The frame loop, the timestamp step, the AX.25 decoder, the frame output step and the window
// commands reach the main window Form1 only through this interface. The Qt window implements it,
// and so do the headless window of the command-line converter and the tests.
//
// Text conventions:
//  - Display text and the texts of Text2, Text3 and Text4 are bytes in Windows-1252 (codes
//    0..127 are ASCII, control characters included; NUL may occur). They come from capture
//    bytes and are written to files unchanged.
//  - Captions of Label1 and Label2 and error messages are UTF-8: they carry file paths, which
//    are the file system's bytes.
#ifndef PACKSCOPE_CAPTURE_WINDOW_H_
#define PACKSCOPE_CAPTURE_WINDOW_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "render/color.h"

namespace packscope {

// A calendar date and time of day, as the date arithmetic produces it (no time zone).
struct CivilDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const CivilDateTime&, const CivilDateTime&) = default;
};

class Window {
 public:
  virtual ~Window() = default;

  // Busy (hourglass) pointer over the main window on, or the default pointer back.
  virtual void SetBusy(bool busy) = 0;

  // The display RichTextBox1: its whole text. Setting it leaves the insertion point at 0.
  virtual std::string DisplayText() const = 0;
  virtual void SetDisplayText(std::string_view text) = 0;

  // The display's selection, in characters (bytes) from 0; CR LF counts as two. Setting the
  // start makes an empty selection there; the selected text replaces the selection and leaves
  // the insertion point behind it; the colour recolours the selected characters.
  virtual std::int64_t SelStart() const = 0;
  virtual void SetSelStart(std::int64_t start) = 0;
  virtual void SetSelLength(std::int64_t length) = 0;
  virtual void SetSelText(std::string_view text) = 0;
  virtual void SetSelColor(Color color) = 0;

  // Captions of the status labels (UTF-8).
  virtual void SetLabel1Caption(std::string_view caption) = 0;
  virtual void SetLabel2Caption(std::string_view caption) = 0;

  // Callsign boxes and the timestamp log. Every pass empties Text4 and logs its own stamps, so
  // that it holds the stamps of one reading of the capture.
  virtual void SetText2(std::string_view text) = 0;
  virtual void SetText3(std::string_view text) = 0;
  virtual void AppendText4(std::string_view text) = 0;
  virtual void ClearText4() = 0;

  // Whether the window shows the counts (Label1) and the callsigns (Text2, Text3) of the frames
  // as a pass reads them, and whether it keeps the timestamp log (Text4). A host that does not
  // (the command-line converter) spares the pass that work: Label1 then gets the pass's counts
  // once, when it ends (however it ends), and Text2, Text3 and Text4 get nothing.
  virtual bool ShowsFramesAsRead() const { return true; }
  virtual bool KeepsStampLog() const { return true; }

  // Check1 "Decode Kissframe" and Check2 "AX.25": ticked or not.
  virtual bool Check1() const = 0;
  virtual bool Check2() const = 0;

  // The user's regional settings: the short date (with a four-digit year) and the long time
  // with seconds, without any time-zone part. Windows-1252 bytes.
  virtual std::string ShortDateText(int year, int month, int day) const = 0;
  virtual std::string LongTimeText(int hour, int minute, int second) const = 0;

  // A command failed: tell the user what failed and why (UTF-8). The window stays usable.
  virtual void ReportError(std::string_view message) = 0;

  // A long pass reports how far it got, after every block read; total is the capture's size in
  // bytes, or -1 when unknown. Hosts may ignore it. False when the user asked to stop: the pass
  // then ends with PassCancelled, after the frames read so far.
  virtual bool ShowProgress(std::int64_t done, std::int64_t total) = 0;
};

// The busy pointer while a pass or a command works, the default one again however it ends.
class BusyPointer {
 public:
  explicit BusyPointer(Window& window) : window_(window) { window_.SetBusy(true); }
  ~BusyPointer() { window_.SetBusy(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  Window& window_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_WINDOW_H_
