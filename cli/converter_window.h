// ConverterWindow: the headless window of packscope-convert. It writes dates and times in the
// user's regional settings, sends the timestamp log (Text4) straight to the --stamp-log file
// instead of keeping it, and shows a progress line while a long pass runs.
//
// The progress line appears only when its stream is a terminal and only once a pass has run
// for about half a second; it is redrawn at most ten times a second in place ("\r", erase line)
// and erased when the pass ends, so that a short pass, or output to a file or pipe, looks
// exactly as without it.
#ifndef PACKSCOPE_CLI_CONVERTER_WINDOW_H_
#define PACKSCOPE_CLI_CONVERTER_WINDOW_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "capture/headless_window.h"
#include "capture/line_sink.h"
#include "qt/qt_text.h"

namespace packscope {

class ConverterWindow : public HeadlessWindow {
 public:
  // progress: where the progress line goes (standard error); it is shown only when that stream is
  // a terminal.
  explicit ConverterWindow(std::FILE* progress = stderr);

  // The --stamp-log file logs the stamps of the whole run: ClearText4 at the start of each pass
  // leaves it alone.
  void AppendText4(std::string_view text) override;
  void SetStampLog(LineSink* log) { stamp_log_ = log; }
  // Nobody sees the counts and callsigns while a pass runs, and only a --stamp-log file keeps
  // the stamps' lines: passes make neither.
  bool ShowsFramesAsRead() const override { return false; }
  bool KeepsStampLog() const override { return stamp_log_ != nullptr; }
  // What went wrong with the stamp log during the passes; empty when nothing did.
  const std::string& StampLogError() const { return stamp_log_error_; }

  std::string ShortDateText(int year, int month, int day) const override {
    return dates_.ShortDate(year, month, day);
  }
  std::string LongTimeText(int hour, int minute, int second) const override {
    return dates_.LongTime(hour, minute, second);
  }
  void SetBusy(bool busy) override;
  bool ShowProgress(std::int64_t done, std::int64_t total) override;
  // The capture the progress line names.
  void SetCaptureName(const std::string& name) { name_ = name; }

  // Test seams: treat the stream as a terminal or not, and how long a pass runs before the line
  // appears.
  void SetTerminalForTesting(bool terminal) { terminal_ = terminal; }
  void SetProgressDelayForTesting(std::chrono::milliseconds delay) { delay_ = delay; }

 private:
  using Clock = std::chrono::steady_clock;
  LocaleDateText dates_;
  std::FILE* progress_;
  bool terminal_;
  std::chrono::milliseconds delay_{500};
  bool progress_shown_ = false;
  Clock::time_point pass_start_;
  Clock::time_point last_shown_;
  std::string name_;
  LineSink* stamp_log_ = nullptr;
  std::string stamp_log_error_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CLI_CONVERTER_WINDOW_H_
