#include "commands/frame_text.h"

#include <algorithm>
#include <cstdio>

#include "capture/timestamp.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr int kMaxAddressBlocks = 2 + kMaxDigipeaters;

}  // namespace

void AppendPrintable(std::string& out, std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto printable = [](std::uint8_t b) { return b >= 0x20 && b <= 0x7E; };
  std::size_t i = 0;
  while (i < bytes.size()) {
    // A run of printable bytes in one piece, then the bytes that are not, one by one.
    std::size_t end = i;
    while (end < bytes.size() && printable(bytes[end])) ++end;
    out.append(reinterpret_cast<const char*>(bytes.data() + i), end - i);
    for (i = end; i < bytes.size() && !printable(bytes[i]); ++i) {
      const char escaped[6] = {'<', '0', 'x', kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15], '>'};
      out.append(escaped, sizeof escaped);
    }
  }
}

void AppendPrintable(std::string& out, std::string_view bytes) {
  AppendPrintable(out, std::span<const std::uint8_t>(
                           reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::string HexTextTrimmed(std::span<const std::uint8_t> bytes) {
  std::string out;
  AppendHexText(out, bytes.data(), bytes.size());
  if (!out.empty()) out.pop_back();
  return out;
}

namespace {

// value (0..9999) as digits digits with leading zeros.
char* PutDigits(char* p, int value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return p + digits;
}

}  // namespace

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
  char* p = PutDigits(buf, dt.year, 4);
  *p++ = '-';
  p = PutDigits(p, dt.month, 2);
  *p++ = '-';
  p = PutDigits(p, dt.day, 2);
  *p++ = ' ';
  p = PutDigits(p, dt.hour, 2);
  *p++ = ':';
  p = PutDigits(p, dt.minute, 2);
  *p++ = ':';
  p = PutDigits(p, dt.second, 2);
  *p++ = '.';
  p = PutDigits(p, static_cast<int>(rest), 3);
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

}  // namespace packscope
