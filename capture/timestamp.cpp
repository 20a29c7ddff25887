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
  out.append(digits, PutZeroPadded(digits, v, 3));
}

namespace {

void HandleBinaryStamp(DecoderState& state, Window& window, bool stamp_text) {
  const std::uint64_t value = BinaryStampValue(state.FrameBytes.data() + 2);
  state.StampMillis = static_cast<double>(value);
  const bool log = window.KeepsStampLog();
  if (!stamp_text && !log) return;

  // Time text and log line into buffers kept between frames: a capture holds a stamp before
  // nearly every frame, and none of them should cost an allocation.
  std::string& when = state.Scratch.when;
  when.clear();
  AppendBinaryStampTime(when, window, value);
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

void TimestampStep(DecoderState& state, Window& window, bool stamp_text) {
  if (state.FrameLength == 9) {
    HandleBinaryStamp(state, window, stamp_text);
  } else if (stamp_text) {
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

}  // namespace packscope
