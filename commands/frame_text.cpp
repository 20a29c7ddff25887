#include "commands/frame_text.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

#include "capture/timestamp.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr int kMaxAddressBlocks = 2 + kMaxDigipeaters;

// A run of exactly n decimal digits at text[pos]; advances pos.
bool Digits(std::string_view text, std::size_t& pos, std::size_t n, int& value) {
  if (pos + n > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += n;
  return true;
}

bool Char(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

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

std::optional<std::int64_t> ParseStampText(std::string_view text) {
  std::size_t pos = 0;
  std::tm tm{};
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (!Digits(text, pos, 4, year) || !Char(text, pos, '-') || !Digits(text, pos, 2, month) ||
      !Char(text, pos, '-') || !Digits(text, pos, 2, day)) {
    return std::nullopt;
  }
  if (!Char(text, pos, ' ') && !Char(text, pos, 'T')) return std::nullopt;
  if (!Digits(text, pos, 2, hour) || !Char(text, pos, ':') || !Digits(text, pos, 2, minute) ||
      !Char(text, pos, ':') || !Digits(text, pos, 2, second)) {
    return std::nullopt;
  }
  int millis = 0;
  if (Char(text, pos, '.')) {
    int scale = 100;
    std::size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
      millis += (text[pos] - '0') * scale;
      scale /= 10;
      ++pos;
      ++digits;
    }
    if (digits == 0) return std::nullopt;
  }
  Char(text, pos, ' ');
  if (text.substr(pos) != "UTC") return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const std::time_t seconds = ::timegm(&tm);
  // timegm moves 31 April to 1 May: such a date does not exist.
  if (tm.tm_mday != day || tm.tm_mon != month - 1) return std::nullopt;
  return static_cast<std::int64_t>(seconds) * 1000 + millis;
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

bool StampClock::Update(const DecoderState& state) {
  if (state.FrameLength == 9) {
    std::uint64_t value = 0;
    for (std::size_t pos = 2; pos <= 9; ++pos) value = (value << 8) | state.FrameBytes[pos];
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      millis_ = static_cast<std::int64_t>(value);
    } else {
      millis_.reset();
    }
    last_text_ = state.StampText;
    return true;
  }
  // A text stamp changes StampText; a type-0x09 frame without "UTC" changes nothing.
  if (state.StampText == last_text_) return false;
  last_text_ = state.StampText;
  millis_ = ParseStampText(state.StampText);
  return true;
}

bool IsDataFrame(std::span<const std::uint8_t> kiss_frame) {
  return !kiss_frame.empty() && KissCommand(kiss_frame[0]) == 0;
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
