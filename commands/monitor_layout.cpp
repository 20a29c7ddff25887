// The monitor layout: one line per frame that is not a timestamp frame (AppendMonitorLine), LF
// line ends. The time in front is the frame's time in ISO form ("2016-01-01 12:34:56.789", UTC)
// when it is known (StampClock), else StampText as the window shows it, else nothing. Under an
// APRS frame (aprs/aprs_frame.h) a second line, indented by two blanks, says what its field
// means (AppendAprsWords); under a NET/ROM, IP or ARP frame (PID CF, CC, CD) the line says what it
// carries (AppendLayer3Words):
//
//   2016-01-01 12:35:45.110 QQ8RST-2>APZ002: UI pid=F0 "=4810.58N/01126.40Ey yagi to the nor"
//     Position 48°10.58'N 11°26.40'E, house with yagi, " yagi to the nor"
#include "commands/monitor_layout.h"

#include "aprs/aprs_words.h"
#include "ax25/ax25_text.h"
#include "ax25/layer3.h"
#include "capture/frame_aprs.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "render/codepage.h"
#include "render/hex.h"

namespace packscope {
namespace {

void AppendAddress(std::string& out, const Ax25Address& address) {
  AppendPrintable(out, std::string_view(address.call));
}

void AppendPollFinal(std::string& out, const Ax25Details& d) {
  if (!d.poll_final) return;
  switch (d.role) {
    case Ax25Role::kCommand:
      out.append(" P");
      break;
    case Ax25Role::kResponse:
      out.append(" F");
      break;
    case Ax25Role::kUnknown:
      out.append(" P/F");
      break;
  }
}

// A text stamp as the window shows it, but on one line: its control characters (a stamp may
// hold any byte, line breaks too) as <0xNN>, its other characters as UTF-8.
std::string PrintableStamp(std::string_view stamp) {
  std::string out;
  for (std::size_t i = 0; i < stamp.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(stamp[i]);
    if (b < 0x20 || b == 0x7F) {
      AppendPrintable(out, stamp.substr(i, 1));
    } else {
      out.append(Cp1252ToUtf8(stamp.substr(i, 1)));
    }
  }
  return out;
}

class MonitorWriter : public FrameWriter {
 public:
  explicit MonitorWriter(LineSink& out) : out_(out) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) {
      if (clock_.Update(state)) {
        time_.clear();
        if (clock_.Millis()) AppendIsoStampText(time_, *clock_.Millis());
        if (time_.empty()) time_ = PrintableStamp(state.StampText);
      }
      return;
    }
    line_.clear();
    const std::span<const std::uint8_t> frame = KissFrame(state);
    const bool data = IsDataFrame(frame);
    const Ax25Details& d = data ? CurrentAx25(state, details_) : details_;
    AppendMonitorEntry(line_, frame, time_, d, data ? CurrentAprs(state, d) : nullptr);
    out_.Write(line_);
  }

  bool ReadsAprs() const override { return true; }
  // StampText where a stamp has no time that a date shows; the frame's bytes for the rest.
  FrameTexts Reads() const override {
    FrameTexts reads = FrameTexts::None();
    reads.stamp_text = StampTexts::kUndated;
    return reads;
  }
  bool ReadsLinks() const override { return true; }

 private:
  LineSink& out_;
  StampClock clock_;
  std::string time_;
  std::string line_;
  Ax25Details details_;
};

}  // namespace

void AppendMonitorEntry(std::string& out, std::span<const std::uint8_t> kiss_frame,
                        std::string_view time, const Ax25Details& details, const AprsPacket* aprs) {
  AppendMonitorLine(out, kiss_frame, time, details);
  out.push_back('\n');
  if (aprs != nullptr) {
    out.append("  ");
    AppendAprsWords(out, *aprs);
    out.push_back('\n');
    return;
  }
  if (IsDataFrame(kiss_frame) && details.problem == Ax25Problem::kNone && details.pid) {
    const std::size_t size = out.size();
    out.append("  ");
    if (AppendLayer3Words(out, *details.pid, details.info)) {
      out.push_back('\n');
    } else {
      out.resize(size);
    }
  }
}

void AppendMonitorLine(std::string& out, std::span<const std::uint8_t> kiss_frame,
                       std::string_view time) {
  Ax25Details d;
  if (IsDataFrame(kiss_frame)) DescribeAx25(kiss_frame, d);
  AppendMonitorLine(out, kiss_frame, time, d);
}

void AppendMonitorLine(std::string& out, std::span<const std::uint8_t> kiss_frame,
                       std::string_view time, const Ax25Details& d) {
  if (!time.empty()) {
    out.append(time);
    out.push_back(' ');
  }
  const std::string problem = FrameProblem(kiss_frame, d);
  if (!problem.empty()) {
    out.push_back('(');
    out.append(problem);
    out.push_back(')');
    if (!kiss_frame.empty()) {
      out.push_back(' ');
      out.append(HexTextTrimmed(kiss_frame));
    }
    return;
  }
  const int port = KissPort(kiss_frame[0]);
  if (port != 0) {
    out.append("port=");
    out.append(std::to_string(port));
    out.push_back(' ');
  }
  AppendAddress(out, d.source);
  out.push_back('>');
  AppendAddress(out, d.destination);
  if (d.digipeater_count > 0) {
    out.push_back(',');
    AppendDigipeaterPath(out, d, CallBytes::kPrintable);
  }
  out.append(": ");
  AppendFrameTypeName(out, d);
  if (d.ns) {
    out.append(" ns=");
    out.append(std::to_string(*d.ns));
  }
  if (d.nr) {
    out.append(" nr=");
    out.append(std::to_string(*d.nr));
  }
  AppendPollFinal(out, d);
  if (d.pid) {
    out.append(" pid=");
    out.append(ByteToHex(*d.pid));
  }
  if (!d.info.empty()) {
    out.append(" \"");
    AppendPrintable(out, d.info);
    out.push_back('"');
  }
}

std::unique_ptr<FrameWriter> MakeMonitorWriter(LineSink& out) {
  return std::make_unique<MonitorWriter>(out);
}

}  // namespace packscope
