#include "capture/stamp_clock.h"

#include <ctime>
#include <limits>

namespace packscope {
namespace {

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

}  // namespace packscope
