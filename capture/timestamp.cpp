#include "capture/timestamp.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "render/civil_time.h"
#include "render/numbers.h"

namespace packscope {
namespace {

const std::int64_t kFirstSecond = DaysFromCivil(100, 1, 1) * 86400;
const std::int64_t kLastSecond = DaysFromCivil(9999, 12, 31) * 86400 + 86399;

bool HasLineFeed(const std::string& text) {
  return std::memchr(text.data(), '\n', text.size()) != nullptr;
}

}  // namespace

void AppendMillisPart(std::string& out, double millis) {
  int v = 0;
  // Stamps are whole numbers below 2^64: integer arithmetic gives what fmod gives.
  if (millis >= 0 && millis < 18446744073709551616.0) {
    const auto whole = static_cast<std::uint64_t>(millis);
    if (static_cast<double>(whole) == millis) {
      v = static_cast<int>(whole % 1000);
    } else {
      v = static_cast<int>(std::fmod(millis, 1000.0));
    }
  } else {
    double r = std::fmod(millis, 1000.0);
    if (!(r >= 0)) r = r < 0 ? r + 1000.0 : 0.0;
    v = static_cast<int>(r);
  }
  char digits[3];
  PutZeroPadded(digits, v, 3);
  out.append(digits, sizeof digits);
}

namespace {

void HandleBinaryStamp(DecoderState& state, Window& window, const StampTimeTexts& times,
                       StampTexts wanted) {
  const std::uint64_t value = BinaryStampValue(state.FrameBytes.data() + 2);
  state.StampMillis = static_cast<double>(value);
  const bool log = window.KeepsStampLog();
  if (!log && wanted != StampTexts::kAll &&
      !(wanted == StampTexts::kUndated && value >= kUndatedStampMillis)) {
    // No text for this stamp: none in force either.
    if (wanted == StampTexts::kUndated) state.StampText.clear();
    return;
  }

  // Time text and log line into buffers kept between frames: a capture holds a stamp before
  // nearly every frame, and none of them should cost an allocation.
  std::string& when = state.Scratch.when;
  when.clear();
  times.Append(when, value);
  if (log) {
    std::string& line = state.Scratch.line;
    line.clear();
    AppendStampLogLine(line, value, when);
    window.AppendText4(line);
  }
  state.StampText.assign(when).append(kUtcSuffix);
}

void HandleTextStamp(DecoderState& state) {
  const std::string_view frame(reinterpret_cast<const char*>(state.FrameBytes.data() + 1),
                               static_cast<std::size_t>(state.FrameLength));
  const std::optional<TextStampPlace> place = FindTextStamp(frame);
  if (place) state.StampText.assign(frame.substr(place->from, place->length));
}

}  // namespace

void TimestampStep(DecoderState& state, Window& window, const StampTimeTexts& times,
                   StampTexts wanted) {
  if (state.FrameLength == 9) {
    HandleBinaryStamp(state, window, times, wanted);
  } else if (wanted != StampTexts::kNone) {
    HandleTextStamp(state);
  }
}

std::optional<std::int64_t> WholeSecond(double seconds) {
  if (!(seconds > static_cast<double>(kFirstSecond) - 1.0) ||
      !(seconds < static_cast<double>(kLastSecond) + 1.0)) {
    return std::nullopt;
  }
  const auto whole = static_cast<std::int64_t>(std::trunc(seconds));
  if (whole < kFirstSecond || whole > kLastSecond) return std::nullopt;
  return whole;
}

CivilDateTime DateTimeOfSecond(std::int64_t whole) {
  std::int64_t days = whole / 86400;
  std::int64_t rest = whole % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  CivilDateTime dt;
  const CivilDate date = CivilFromDays(days);
  dt.year = static_cast<int>(date.year);
  dt.month = date.month;
  dt.day = date.day;
  dt.hour = static_cast<int>(rest / 3600);
  dt.minute = static_cast<int>(rest / 60 % 60);
  dt.second = static_cast<int>(rest % 60);
  return dt;
}

CivilDateTime SecondsToDate(double seconds) {
  const std::optional<std::int64_t> whole = WholeSecond(seconds);
  return whole ? DateTimeOfSecond(*whole) : kZeroDateTime;
}

std::string MillisPart(double millis) {
  std::string out;
  AppendMillisPart(out, millis);
  return out;
}

GeneralDateParts GeneralDateTextParts(const CivilDateTime& dt) {
  if (dt.year == kZeroDateTime.year && dt.month == kZeroDateTime.month &&
      dt.day == kZeroDateTime.day) {
    return {false, true};
  }
  if (dt.hour == 0 && dt.minute == 0 && dt.second == 0) return {true, false};
  return {true, true};
}

std::string GeneralDateText(const Window& window, const CivilDateTime& dt) {
  std::string out;
  AppendGeneralDateText(out, window, dt);
  return out;
}

std::uint64_t BinaryStampValue(const std::uint8_t* eight_bytes) {
  std::uint64_t value = 0;
  for (int k = 0; k < 8; ++k) value = (value << 8) | eight_bytes[k];
  return value;
}

void AppendStampLogLine(std::string& out, std::uint64_t value, std::string_view time) {
  char head[20] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, ' ', '-', '>', ' '};
  for (int k = 0; k < 8; ++k) {
    const auto b = static_cast<std::uint8_t>(value >> (56 - 8 * k));
    head[2 * k] = kHexDigits[b >> 4];
    head[2 * k + 1] = kHexDigits[b & 15];
  }
  const std::size_t at = out.size();
  out.resize(at + sizeof head + time.size() + 2);
  char* p = out.data() + at;
  std::memcpy(p, head, sizeof head);
  std::memcpy(p + sizeof head, time.data(), time.size());
  std::memcpy(p + sizeof head + time.size(), "\r\n", 2);
}

std::optional<TextStampPlace> FindTextStamp(std::string_view frame) {
  const std::size_t at = frame.find("UTC");
  if (at == std::string_view::npos) return std::nullopt;
  const std::size_t from = at >= 24 ? at - 24 : 0;
  return TextStampPlace{from, at + 3 - from};
}

const std::string& CachedDateTexts::ShortDateText(int year, int month, int day) const {
  const std::int64_t key = (static_cast<std::int64_t>(year) * 13 + month) * 32 + day;
  if (key == last_date_key_) return *last_date_;
  auto it = dates_.find(key);
  if (it == dates_.end()) it = dates_.emplace(key, window_.ShortDateText(year, month, day)).first;
  last_date_key_ = key;
  last_date_ = &it->second;  // elements of an unordered_map stay where they are
  return it->second;
}

const std::string& CachedDateTexts::LongTimeText(int hour, int minute, int second) const {
  constexpr std::size_t kSecondsOfDay = 86400;
  if (times_.empty()) {
    if (++time_asks_ < kAsksBeforeTable) {
      last_time_ = window_.LongTimeText(hour, minute, second);
      return last_time_;
    }
    times_.resize(kSecondsOfDay);
    have_time_.resize(kSecondsOfDay);
  }
  const auto key = static_cast<std::size_t>((hour * 60 + minute) * 60 + second) % kSecondsOfDay;
  if (!have_time_[key]) {
    times_[key] = window_.LongTimeText(hour, minute, second);
    have_time_[key] = true;
  }
  return times_[key];
}

void StampTimeTexts::Append(std::string& out, std::uint64_t value) const {
  // AppendBinaryStampTime, with the date of the day worked out once a day.
  const auto millis = static_cast<double>(value);
  CivilDateTime dt = kZeroDateTime;
  if (const std::optional<std::int64_t> whole = WholeSecond(millis / 1000.0)) {
    const std::int64_t second_of_day = (*whole % 86400 + 86400) % 86400;
    const std::int64_t day_start = *whole - second_of_day;
    if (day_start != date_day_start_) {
      date_day_start_ = day_start;
      date_ = DateTimeOfSecond(day_start);
    }
    dt = date_;
    dt.hour = static_cast<int>(second_of_day / 3600);
    dt.minute = static_cast<int>(second_of_day / 60 % 60);
    dt.second = static_cast<int>(second_of_day % 60);
  }
  AppendGeneralDateText(out, texts_, dt);
  out.push_back('.');
  AppendMillisPart(out, millis);
}

bool StampTimeTexts::Size(std::uint64_t value, std::int64_t& size) const {
  const std::optional<std::int64_t> whole = WholeSecond(static_cast<double>(value) / 1000.0);
  if (!whole) {  // the zero date: the time alone
    const std::string& time = texts_.LongTimeText(0, 0, 0);
    size = static_cast<std::int64_t>(time.size()) + 4;
    return !HasLineFeed(time);
  }
  // The date of the last day asked for is kept (stamps come in order, many a day), and the
  // length of every time of day once asked for (a small table, where the texts are not).
  const std::int64_t second_of_day = (*whole % 86400 + 86400) % 86400;
  const std::int64_t day_start = *whole - second_of_day;
  if (day_start != day_start_) {
    day_start_ = day_start;
    const CivilDateTime dt = DateTimeOfSecond(day_start);
    const std::string& date = texts_.ShortDateText(dt.year, dt.month, dt.day);
    day_size_ = HasLineFeed(date) ? -1 : static_cast<std::int64_t>(date.size());
  }
  if (day_size_ < 0) return false;
  size = day_size_ + 4;                 // ".mmm"
  if (second_of_day == 0) return true;  // midnight: the date alone
  if (time_sizes_.empty()) time_sizes_.assign(86400, kUnknown);
  std::int8_t& time_size = time_sizes_[static_cast<std::size_t>(second_of_day)];
  if (time_size == kUnknown) {
    const std::string& time = texts_.LongTimeText(static_cast<int>(second_of_day / 3600),
                                                  static_cast<int>(second_of_day / 60 % 60),
                                                  static_cast<int>(second_of_day % 60));
    time_size =
        HasLineFeed(time) || time.size() > 127 ? kMeasure : static_cast<std::int8_t>(time.size());
  }
  if (time_size < 0) return false;
  size += 1 + time_size;
  return true;
}

}  // namespace packscope
