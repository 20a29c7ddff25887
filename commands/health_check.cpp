#include "commands/health_check.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "ax25/ax25_details.h"
#include "capture/errors.h"
#include "capture/frame_loop.h"
#include "commands/commands.h"
#include "commands/frame_text.h"
#include "render/hex.h"

namespace packscope {
namespace {

// 2000-01-01 00:00:00 UTC in milliseconds since 1970.
constexpr std::int64_t kYear2000Millis = 946684800000;

enum Finding {
  kSkipped,
  kRecovered,
  kBadEscape,
  kCutOff,
  kEmpty,
  kFrameType,
  kTooShort,
  kAddressEnd,
  kCallsign,
  kTimeBackwards,
  kTimeBefore2000,
  kFindingCount,
};

constexpr std::array<std::string_view, kFindingCount> kTags = {
    "skipped",  "recovered",      "bad-escape",       "cut-off",
    "empty",    "frame-type",     "too-short",        "address-end",
    "callsign", "time-backwards", "time-before-2000",
};

std::string TimeText(std::int64_t millis) {
  std::string text = IsoStampText(millis);
  return text.empty() ? std::to_string(millis) + " ms" : text;
}

class HealthCheck : public CaptureObserver {
 public:
  HealthCheck(const DecoderState& state, std::string capture, LineSink& report)
      : state_(state), capture_(std::move(capture)), report_(report) {}

  void OnSkipped(std::int64_t offset, std::int64_t count) override {
    Report(kSkipped, offset, std::to_string(count) + " bytes before the first FEND");
  }

  void OnStrayEscape(std::int64_t offset) override {
    Report(kBadEscape, offset,
           "frame " + Frame() + ": FESC not followed by TFEND or TFESC, kept as a data byte");
  }

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    const std::int64_t at = state.FrameOffset;
    if (info.recovered) {
      Report(kRecovered, at, "frame " + Frame() + " recovered behind a shared FEND or garbage");
    }
    if (info.cut_off) {
      Report(kCutOff, at, "frame " + Frame() + " is cut off by the end of the capture");
    }
    if (info.timestamp) {
      CheckStamp(state);
      return;
    }
    const std::span<const std::uint8_t> frame = KissFrame(state);
    if (frame.empty()) {
      Report(kEmpty, at, "frame " + Frame() + " is empty (two FENDs in a row)");
      return;
    }
    if (!IsDataFrame(frame)) {
      Report(kFrameType, at, "frame " + Frame() + ": " + FrameProblem(frame, Ax25Details{}));
      return;
    }
    const Ax25Details d = DescribeAx25(frame);
    switch (d.problem) {
      case Ax25Problem::kTooShort:
        Report(kTooShort, at, "frame " + Frame() + " is " + FrameProblem(frame, d));
        return;
      case Ax25Problem::kNoAddressEnd:
        Report(kAddressEnd, at, "frame " + Frame() + ": " + FrameProblem(frame, d));
        break;
      case Ax25Problem::kNone:
        break;
    }
    CheckCallsign(at, "destination", d.destination);
    CheckCallsign(at, "source", d.source);
    for (int i = 0; i < d.digipeater_count; ++i) {
      CheckCallsign(at, "digipeater " + std::to_string(i + 1),
                    d.digipeaters[static_cast<std::size_t>(i)]);
    }
  }

  std::int64_t FindingCount() const {
    std::int64_t total = 0;
    for (const std::int64_t n : counts_) total += n;
    return total;
  }

  void WriteSummary() {
    std::string line = capture_ + ": " + std::to_string(state_.FrameCount) + " frames, ";
    const std::int64_t total = FindingCount();
    if (total == 0) {
      line.append("no findings");
    } else {
      line.append(std::to_string(total) + " findings (");
      bool first = true;
      for (int k = 0; k < kFindingCount; ++k) {
        if (counts_[static_cast<std::size_t>(k)] == 0) continue;
        if (!first) line.append(", ");
        first = false;
        line.append(kTags[static_cast<std::size_t>(k)]);
        line.push_back(' ');
        line.append(std::to_string(counts_[static_cast<std::size_t>(k)]));
      }
      line.push_back(')');
    }
    line.push_back('\n');
    report_.Write(line);
  }

 private:
  std::string Frame() const { return std::to_string(state_.FrameCount); }

  void CheckStamp(const DecoderState& state) {
    if (!clock_.Update(state) || !clock_.Millis()) return;
    const std::int64_t millis = *clock_.Millis();
    if (millis < kYear2000Millis) {
      Report(kTimeBefore2000, state.FrameOffset,
             "frame " + Frame() + ": timestamp " + TimeText(millis) + " is before 2000");
    }
    if (last_millis_ && millis < *last_millis_) {
      Report(kTimeBackwards, state.FrameOffset,
             "frame " + Frame() + ": timestamp " + TimeText(millis) +
                 " is earlier than the one before it, " + TimeText(*last_millis_));
    }
    last_millis_ = millis;
  }

  void CheckCallsign(std::int64_t at, const std::string& which, const Ax25Address& address) {
    if (address.chars_valid) return;
    std::string message = "frame " + Frame() + ": " + which + " callsign \"";
    AppendPrintable(message, std::string_view(address.call));
    message.append("\" (");
    message.append(HexTextTrimmed(std::span<const std::uint8_t>(address.block.data(), 6)));
    message.append(") has characters outside A-Z, 0-9 and blank");
    Report(kCallsign, at, message);
  }

  void Report(Finding kind, std::int64_t offset, const std::string& message) {
    ++counts_[static_cast<std::size_t>(kind)];
    line_.assign(capture_);
    line_.append(": offset ");
    line_.append(std::to_string(offset));
    line_.append(": ");
    line_.append(kTags[static_cast<std::size_t>(kind)]);
    line_.append(": ");
    line_.append(message);
    line_.push_back('\n');
    report_.Write(line_);
  }

  const DecoderState& state_;
  std::string capture_;
  LineSink& report_;
  std::array<std::int64_t, kFindingCount> counts_{};
  StampClock clock_;
  std::optional<std::int64_t> last_millis_;
  std::string line_;
};

}  // namespace

int CheckCapture(DecoderState& state, Window& window, const std::string& capture,
                 LineSink& report) {
  state.CaptureFileName = capture;
  HealthCheck check(state, capture, report);
  if (!RunObservedPass(state, window, check)) return kCheckUnreadable;
  check.WriteSummary();
  return check.FindingCount() == 0 ? kCheckClean : kCheckFindings;
}

int WorseCheckStatus(int a, int b) {
  auto rank = [](int status) {
    return status == kCheckUnreadable ? 2 : status == kCheckFindings ? 1 : 0;
  };
  return rank(a) >= rank(b) ? a : b;
}

}  // namespace packscope
