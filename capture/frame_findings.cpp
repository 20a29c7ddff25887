#include "capture/frame_findings.h"

#include <bit>

#include "aprs/aprs_fields.h"

namespace packscope {
namespace {

// 2000-01-01 00:00:00 UTC in milliseconds since 1970.
constexpr std::int64_t kYear2000Millis = 946684800000;

}  // namespace

bool FrameFindings::Any(FindingKind kind) const {
  for (int k = 0; k < kFindingCount; ++k) {
    if (Has(static_cast<Finding>(k)) && KindOf(static_cast<Finding>(k)) == kind) return true;
  }
  return false;
}

int FrameFindings::Count(Finding f) const {
  if (!Has(f)) return 0;
  if (f == Finding::kBadEscape) return bad_escapes;
  if (f == Finding::kCallsign) return std::popcount(bad_callsigns);
  return 1;
}

FrameFindings FindFrameFindings(std::span<const std::uint8_t> kiss_frame, const FrameInfo& info,
                                const Ax25Details& details, const AprsPacket* aprs) {
  FrameFindings f;
  if (info.recovered) f.Add(Finding::kRecovered);
  if (info.cut_off) f.Add(Finding::kCutOff);
  if (info.bad_escapes > 0) {
    f.Add(Finding::kBadEscape);
    f.bad_escapes = info.bad_escapes;
  }
  if (info.timestamp) return f;
  // Empty frames and KISS commands are legal KISS and hold no AX.25 frame.
  if (kiss_frame.empty() || IsKissCommandFrame(kiss_frame)) return f;
  if (!IsDataFrame(kiss_frame)) {
    f.Add(Finding::kFrameType);
    return f;
  }
  switch (details.problem) {
    case Ax25Problem::kTooShort:
      f.Add(Finding::kTooShort);
      return f;
    case Ax25Problem::kNoAddressEnd:
      f.Add(Finding::kAddressEnd);
      break;
    case Ax25Problem::kNone:
      break;
  }
  const auto check = [&f](const Ax25Address& address, int bit) {
    if (address.chars_valid) return;
    f.Add(Finding::kCallsign);
    f.bad_callsigns = static_cast<std::uint16_t>(f.bad_callsigns | (1u << bit));
  };
  check(details.destination, 0);
  check(details.source, 1);
  for (int i = 0; i < details.digipeater_count; ++i) {
    check(details.digipeaters[static_cast<std::size_t>(i)], 2 + i);
  }
  if (aprs != nullptr && FaultyAprsPacket(*aprs) != nullptr) f.Add(Finding::kAprs);
  return f;
}

StampCheck::Result StampCheck::Check(std::int64_t millis) {
  Result r;
  r.before_2000 = millis < kYear2000Millis;
  r.backwards = last_ && millis < *last_;
  r.previous = last_;
  last_ = millis;
  return r;
}

}  // namespace packscope
