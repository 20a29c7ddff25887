// The tnc2 layout: one TNC2 line (ax25/tnc2_text.h) per data frame that has an address field,
// LF line ends, the frame's time in front when it is known (StampClock, UTC), and the KISS port
// in kissutil's form when it is not 0:
//
//   2016-01-01 12:34:56.789 QQ0QQ-1>CQ,RELAY*,WIDE2-1:hello
//   [1 2016-01-01 12:34:57.004] QQ1>APRS:on port 1
//
// The information field is written as bytes; only CR, LF, NUL and FEND are written as <0x0d>,
// <0x0a>, <0x00> and <0xc0>, and a "<" that would begin such a group as <0x3c>. Read back (the TNC2
// reader of capture/capture_input.h), the file gives the same frames: source, destination, path
// with its repeated marks, information field, port and time; each line becomes a UI frame with PID
// F0. Frames the form cannot carry are left out: timestamp frames (their time is in the lines),
// KISS command frames, frames without an address field, callsigns of characters other than letters
// and digits.
#include "ax25/tnc2_text.h"
#include "capture/frame_predicate.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"

namespace packscope {
namespace {

class Tnc2Writer : public FrameWriter {
 public:
  explicit Tnc2Writer(LineSink& out) : out_(out) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) {
      if (clock_.Update(state)) {
        time_.clear();
        if (clock_.Millis()) AppendIsoStampText(time_, *clock_.Millis());
      }
      return;
    }
    const std::span<const std::uint8_t> frame = KissFrame(state);
    if (!IsDataFrame(frame)) return;
    const int port = KissPort(frame[0]);
    line_.clear();
    if (port != 0) {
      line_.append("[").append(std::to_string(port));
      if (!time_.empty()) line_.append(" ").append(time_);
      line_.append("] ");
    } else if (!time_.empty()) {
      line_.append(time_).append(" ");
    }
    if (!AppendTnc2Line(line_, CurrentAx25(state, details_))) return;
    line_.push_back('\n');
    out_.Write(line_);
  }

 private:
  LineSink& out_;
  StampClock clock_;
  std::string time_;  // of the stamp in force, as written in front of a line
  std::string line_;
  Ax25Details details_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeTnc2Writer(LineSink& out) {
  return std::make_unique<Tnc2Writer>(out);
}

}  // namespace packscope
