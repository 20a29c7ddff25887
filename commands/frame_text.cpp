#include "commands/frame_text.h"

#include <algorithm>
#include <cstdio>

#include "aprs/aprs_fields.h"
#include "capture/timestamp.h"
#include "render/hex.h"
#include "render/numbers.h"

namespace packscope {
namespace {

constexpr int kMaxAddressBlocks = 2 + kMaxDigipeaters;

}  // namespace

std::string HexTextTrimmed(std::span<const std::uint8_t> bytes) {
  std::string out;
  AppendHexText(out, bytes.data(), bytes.size());
  if (!out.empty()) out.pop_back();
  return out;
}

void AppendIsoStampText(std::string& out, std::int64_t millis) {
  std::int64_t seconds = millis / 1000;
  std::int64_t rest = millis % 1000;
  if (rest < 0) {
    rest += 1000;
    --seconds;
  }
  const CivilDateTime dt = SecondsToDate(static_cast<double>(seconds));
  if (dt == kZeroDateTime) return;
  // Once per stamp: digits put in place rather than formatted.
  char buf[23];
  char* p = PutZeroPadded(buf, dt.year, 4);
  *p++ = '-';
  p = PutZeroPadded(p, dt.month, 2);
  *p++ = '-';
  p = PutZeroPadded(p, dt.day, 2);
  *p++ = ' ';
  p = PutZeroPadded(p, dt.hour, 2);
  *p++ = ':';
  p = PutZeroPadded(p, dt.minute, 2);
  *p++ = ':';
  p = PutZeroPadded(p, dt.second, 2);
  *p++ = '.';
  p = PutZeroPadded(p, static_cast<int>(rest), 3);
  out.append(buf, static_cast<std::size_t>(p - buf));
}

std::string IsoStampText(std::int64_t millis) {
  std::string out;
  AppendIsoStampText(out, millis);
  return out;
}

std::string IsoUtcText(std::int64_t millis) {
  std::string text;
  AppendIsoStampText(text, millis);
  if (text.empty()) return text;
  text[10] = 'T';
  text.push_back('Z');
  return text;
}

std::string FrameProblem(std::span<const std::uint8_t> kiss_frame, const Ax25Details& details) {
  if (kiss_frame.empty()) return "empty frame";
  if (!IsDataFrame(kiss_frame)) {
    const std::uint8_t type = kiss_frame[0];
    return "type byte 0x" + ByteToHex(type) + " (port " + std::to_string(KissPort(type)) +
           ", command " + std::to_string(KissCommand(type)) + ") is not a data frame";
  }
  switch (details.problem) {
    case Ax25Problem::kNone:
      return {};
    case Ax25Problem::kTooShort:
      return "too short for an AX.25 header: " + std::to_string(details.length) +
             " bytes after the type byte, " + std::to_string(details.needed) + " needed";
    case Ax25Problem::kNoAddressEnd:
      return "no address end mark within " + std::to_string(kMaxAddressBlocks) + " address blocks";
  }
  return {};
}

namespace {

std::string CallsignsAtFault(const Ax25Details& d, const FrameFindings& found) {
  std::string which;
  for (int bit = 0; bit < 2 + d.digipeater_count; ++bit) {
    if (((found.bad_callsigns >> bit) & 1) == 0) continue;
    if (!which.empty()) which.append(", ");
    which.append(bit == 0   ? std::string("destination")
                 : bit == 1 ? std::string("source")
                            : "digipeater " + std::to_string(bit - 1));
  }
  return which;
}

}  // namespace

std::string FindingWords(Finding finding, std::span<const std::uint8_t> kiss_frame,
                         const Ax25Details& details, const AprsPacket* aprs,
                         const FrameFindings& found) {
  switch (finding) {
    case Finding::kRecovered:
      return "recovered behind a shared FEND or garbage";
    case Finding::kBadEscape:
      return std::to_string(found.bad_escapes) +
             " FESC not followed by TFEND or TFESC, kept as data";
    case Finding::kCutOff:
      return "cut off by the end of the capture";
    case Finding::kFrameType:
    case Finding::kTooShort:
    case Finding::kAddressEnd:
      return FrameProblem(kiss_frame, details);
    case Finding::kCallsign:
      return "characters outside A-Z, 0-9 and blank in the callsign of the " +
             CallsignsAtFault(details, found);
    case Finding::kAprs:
      if (const AprsPacket* faulty = aprs != nullptr ? FaultyAprsPacket(*aprs) : nullptr) {
        return (faulty != aprs ? "in its third-party packet: " : "") + std::string(faulty->error);
      }
      break;
    case Finding::kSkipped:
    case Finding::kTimeBackwards:
    case Finding::kTimeBefore2000:
    case Finding::kPcapRecord:  // a reader's damage is on no frame
    case Finding::kTnc2Line:
    case Finding::kCompressed:
      break;
  }
  return std::string(FindingTag(finding));
}

std::string FindingsText(std::span<const std::uint8_t> kiss_frame, const Ax25Details& details,
                         const AprsPacket* aprs, const FrameFindings& found) {
  std::string text;
  for (int k = 0; k < kFindingCount; ++k) {
    const auto f = static_cast<Finding>(k);
    if (!found.Has(f)) continue;
    if (!text.empty()) text.push_back('\n');
    text.append(FindingKindName(KindOf(f))).append(": ").append(FindingTag(f)).append(": ");
    text.append(FindingWords(f, kiss_frame, details, aprs, found));
  }
  return text;
}

}  // namespace packscope
