#include "commands/health_check.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "aprs/aprs_fields.h"
#include "ax25/ax25_details.h"
#include "capture/errors.h"
#include "capture/frame_aprs.h"
#include "capture/frame_findings.h"
#include "capture/frame_loop.h"
#include "commands/commands.h"
#include "commands/frame_text.h"
#include "render/hex.h"

namespace packscope {
namespace {

std::string TimeText(std::int64_t millis) {
  std::string text = IsoStampText(millis);
  return text.empty() ? std::to_string(millis) + " ms" : text;
}

class HealthCheck : public CaptureObserver {
 public:
  HealthCheck(const DecoderState& state, std::string capture, LineSink& report)
      : state_(state), capture_(std::move(capture)), report_(report) {}

  void OnSkipped(std::int64_t offset, std::int64_t count) override {
    Report(Finding::kSkipped, offset, std::to_string(count) + " bytes before the first FEND");
  }

  void OnStrayEscape(std::int64_t offset) override {
    Report(Finding::kBadEscape, offset,
           "frame " + Frame() + ": FESC not followed by TFEND or TFESC, kept as a data byte");
  }

  // A reader's damage, in its own terms: a pcap packet, a TNC2 line, compressed data.
  void OnInputDamage(const InputDamage& damage) override {
    Report(FindingOf(damage.kind), damage.offset, damage.text);
  }

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    const std::int64_t at = state.FrameOffset;
    const std::span<const std::uint8_t> frame = KissFrame(state);
    const bool data = !info.timestamp && IsDataFrame(frame);
    const Ax25Details& d = data ? CurrentAx25(state, details_) : no_details_;
    const AprsPacket* aprs = data ? CurrentAprs(state, d) : nullptr;
    const FrameFindings found = FindFrameFindings(frame, info, d, aprs);
    // Bad escapes have been reported as the pass met them (OnStrayEscape).
    if (found.Has(Finding::kRecovered)) {
      Report(Finding::kRecovered, at,
             "frame " + Frame() + " recovered behind a shared FEND or garbage");
    }
    if (found.Has(Finding::kCutOff)) {
      Report(Finding::kCutOff, at, "frame " + Frame() + " is cut off by the end of the capture");
    }
    if (info.timestamp) {
      CheckStamp(state);
      return;
    }
    if (found.Has(Finding::kFrameType)) {
      Report(Finding::kFrameType, at, "frame " + Frame() + ": " + FrameProblem(frame, d));
    }
    if (found.Has(Finding::kTooShort)) {
      Report(Finding::kTooShort, at, "frame " + Frame() + " is " + FrameProblem(frame, d));
    }
    if (found.Has(Finding::kAddressEnd)) {
      Report(Finding::kAddressEnd, at, "frame " + Frame() + ": " + FrameProblem(frame, d));
    }
    if (found.Has(Finding::kCallsign)) {
      const auto bad = [&found](int bit) { return ((found.bad_callsigns >> bit) & 1) != 0; };
      if (bad(0)) ReportCallsign(at, "destination", d.destination);
      if (bad(1)) ReportCallsign(at, "source", d.source);
      for (int i = 0; i < d.digipeater_count; ++i) {
        if (bad(2 + i)) {
          ReportCallsign(at, "digipeater " + std::to_string(i + 1),
                         d.digipeaters[static_cast<std::size_t>(i)]);
        }
      }
    }
    if (found.Has(Finding::kAprs)) {
      const AprsPacket* faulty = FaultyAprsPacket(*aprs);
      std::string message = "frame " + Frame() + ": ";
      if (faulty != aprs) message.append("in its third-party packet: ");
      message.append(faulty->error);
      Report(Finding::kAprs, at, message);
    }
  }

  bool ReadsAprs() const override { return true; }

  std::int64_t FindingCount(FindingKind kind) const {
    std::int64_t total = 0;
    for (int k = 0; k < kFindingCount; ++k) {
      if (KindOf(static_cast<Finding>(k)) == kind) total += counts_[static_cast<std::size_t>(k)];
    }
    return total;
  }

  // "12 frames, damage 2 (skipped 1, recovered 1), no sender findings"; "no findings".
  void WriteSummary() {
    std::string line = capture_ + ": " + std::to_string(state_.FrameCount) + " frames, ";
    const std::int64_t damage = FindingCount(FindingKind::kDamage);
    const std::int64_t sender = FindingCount(FindingKind::kSender);
    if (damage == 0 && sender == 0) {
      line.append("no findings");
    } else {
      AppendKindSummary(line, FindingKind::kDamage, damage);
      line.append(", ");
      AppendKindSummary(line, FindingKind::kSender, sender);
    }
    line.push_back('\n');
    report_.Write(line);
  }

 private:
  std::string Frame() const { return std::to_string(state_.FrameCount); }

  void AppendKindSummary(std::string& line, FindingKind kind, std::int64_t total) const {
    if (total == 0) {
      line.append(kind == FindingKind::kDamage ? "no damage" : "no sender findings");
      return;
    }
    line.append(FindingKindName(kind)).append(" ").append(std::to_string(total)).append(" (");
    bool first = true;
    for (int k = 0; k < kFindingCount; ++k) {
      const auto f = static_cast<Finding>(k);
      if (KindOf(f) != kind || counts_[static_cast<std::size_t>(k)] == 0) continue;
      if (!first) line.append(", ");
      first = false;
      line.append(FindingTag(f)).push_back(' ');
      line.append(std::to_string(counts_[static_cast<std::size_t>(k)]));
    }
    line.push_back(')');
  }

  void CheckStamp(const DecoderState& state) {
    if (!clock_.Update(state) || !clock_.Millis()) return;
    const std::int64_t millis = *clock_.Millis();
    const StampCheck::Result r = stamps_.Check(millis);
    if (r.before_2000) {
      Report(Finding::kTimeBefore2000, state.FrameOffset,
             "frame " + Frame() + ": timestamp " + TimeText(millis) + " is before 2000");
    }
    if (r.backwards) {
      Report(Finding::kTimeBackwards, state.FrameOffset,
             "frame " + Frame() + ": timestamp " + TimeText(millis) +
                 " is earlier than the one before it, " + TimeText(*r.previous));
    }
  }

  void ReportCallsign(std::int64_t at, const std::string& which, const Ax25Address& address) {
    std::string message = "frame " + Frame() + ": " + which + " callsign \"";
    AppendPrintable(message, std::string_view(address.call));
    message.append("\" (");
    message.append(HexTextTrimmed(std::span<const std::uint8_t>(address.block.data(), 6)));
    message.append(") has characters outside A-Z, 0-9 and blank");
    Report(Finding::kCallsign, at, message);
  }

  void Report(Finding kind, std::int64_t offset, const std::string& message) {
    ++counts_[static_cast<std::size_t>(kind)];
    line_.assign(capture_);
    line_.append(": offset ");
    line_.append(std::to_string(offset));
    line_.append(": ");
    line_.append(FindingKindName(KindOf(kind)));
    line_.append(": ");
    line_.append(FindingTag(kind));
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
  StampCheck stamps_;
  std::string line_;
  Ax25Details details_;     // read only for data frames
  Ax25Details no_details_;  // for the others
};

}  // namespace

int CheckCapture(DecoderState& state, Window& window, const std::string& capture, LineSink& report,
                 bool strict) {
  state.CaptureFileName = capture;
  HealthCheck check(state, capture, report);
  if (!RunObservedPass(state, window, check)) return kCheckUnreadable;
  check.WriteSummary();
  const bool fails = check.FindingCount(FindingKind::kDamage) > 0 ||
                     (strict && check.FindingCount(FindingKind::kSender) > 0);
  return fails ? kCheckFindings : kCheckClean;
}

int WorseCheckStatus(int a, int b) {
  auto rank = [](int status) {
    return status == kCheckUnreadable ? 2 : status == kCheckFindings ? 1 : 0;
  };
  return rank(a) >= rank(b) ? a : b;
}

}  // namespace packscope
