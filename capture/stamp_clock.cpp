#include "capture/stamp_clock.h"

#include <algorithm>
#include <limits>

#include "capture/timestamp.h"
#include "render/civil_time.h"

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

std::optional<std::int64_t> ReadDateTime(std::string_view text, std::size_t& pos,
                                         std::size_t most_fraction_digits) {
  std::size_t at = pos;
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (!Digits(text, at, 4, year) || !Char(text, at, '-') || !Digits(text, at, 2, month) ||
      !Char(text, at, '-') || !Digits(text, at, 2, day)) {
    return std::nullopt;
  }
  if (!Char(text, at, ' ') && !Char(text, at, 'T')) return std::nullopt;
  if (!Digits(text, at, 2, hour) || !Char(text, at, ':') || !Digits(text, at, 2, minute) ||
      !Char(text, at, ':') || !Digits(text, at, 2, second)) {
    return std::nullopt;
  }
  int millis = 0;
  if (Char(text, at, '.')) {
    int scale = 100;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' &&
           digits < most_fraction_digits) {
      millis += (text[at] - '0') * scale;
      scale /= 10;
      ++at;
      ++digits;
    }
    if (digits == 0) return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  const std::int64_t days = DaysFromCivil(year, month, day);
  // 31 April would count as 1 May: such a date does not exist.
  const CivilDate date = CivilFromDays(days);
  if (date.day != day || date.month != month) return std::nullopt;
  pos = at;
  return ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000 + millis;
}

std::optional<std::int64_t> ParseStampText(std::string_view text) {
  std::size_t pos = 0;
  const std::optional<std::int64_t> millis = ReadDateTime(text, pos, 3);
  if (!millis) return std::nullopt;
  Char(text, pos, ' ');
  if (text.substr(pos) != "UTC") return std::nullopt;
  return millis;
}

bool StampClock::Update(const DecoderState& state) {
  if (state.FrameLength == 9) {
    const std::uint64_t value = BinaryStampValue(state.FrameBytes.data() + 2);
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      millis_ = static_cast<std::int64_t>(value);
    } else {
      millis_.reset();
    }
    last_text_.clear();
    return true;
  }
  // A text stamp sets the text in front of its "UTC" (read here: a pass need not make StampText);
  // a type-0x09 frame without "UTC" sets nothing, and the same text once more changes nothing.
  const std::string_view frame(reinterpret_cast<const char*>(state.FrameBytes.data() + 1),
                               static_cast<std::size_t>(std::max(state.FrameLength, 0)));
  const std::optional<TextStampPlace> place = FindTextStamp(frame);
  if (!place) return false;
  const std::string_view text = frame.substr(place->from, place->length);
  if (text == last_text_) return false;
  last_text_.assign(text);
  millis_ = ParseStampText(text);
  return true;
}

}  // namespace packscope
