#include "capture/timestamp.h"

#include <cmath>
#include <cstdint>
#include <string_view>

namespace packscope {
namespace {

// Days from 1970-01-01 to a civil date and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

const std::int64_t kFirstSecond = DaysFromCivil(100, 1, 1) * 86400;
const std::int64_t kLastSecond = DaysFromCivil(9999, 12, 31) * 86400 + 86399;

// The three digits of MillisPart into out.
void AppendMillis(std::string& out, double millis) {
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
  const char digits[3] = {static_cast<char>('0' + v / 100), static_cast<char>('0' + v / 10 % 10),
                          static_cast<char>('0' + v % 10)};
  out.append(digits, 3);
}

void HandleBinaryStamp(DecoderState& state, Window& window) {
  std::uint64_t value = 0;
  for (std::size_t pos = 2; pos <= 9; ++pos) value = (value << 8) | state.FrameBytes[pos];
  state.StampMillis = static_cast<double>(value);

  // "date time.mmm" once per stamp, into buffers kept between frames: a capture holds a stamp
  // before nearly every frame, and none of them should cost an allocation.
  std::string& when = state.Scratch.when;
  when.clear();
  AppendGeneralDateText(when, window, SecondsToDate(state.StampMillis / 1000.0));
  when.push_back('.');
  AppendMillis(when, state.StampMillis);

  // Log line: FrameHex without the type byte's group and without blanks, that is the digits of
  // the eight stamp bytes.
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string& line = state.Scratch.line;
  line.resize(16);
  for (int k = 0; k < 8; ++k) {
    const std::uint8_t b = state.FrameBytes[static_cast<std::size_t>(k + 2)];
    line[static_cast<std::size_t>(2 * k)] = kDigits[b >> 4];
    line[static_cast<std::size_t>(2 * k + 1)] = kDigits[b & 15];
  }
  line.append(" -> ").append(when).append("\r\n");
  window.AppendText4(line);
  state.StampText.assign(when).append(" UTC");
}

void HandleTextStamp(DecoderState& state) {
  const std::string_view frame(reinterpret_cast<const char*>(state.FrameBytes.data() + 1),
                               static_cast<std::size_t>(state.FrameLength));
  const std::size_t at = frame.find("UTC");
  if (at == std::string_view::npos) return;
  // The 24 characters in front of "UTC" and "UTC" itself; a "UTC" nearer the frame's start
  // than that takes the frame's characters from its first one.
  const std::size_t from = at >= 24 ? at - 24 : 0;
  state.StampText.assign(frame.substr(from, at + 3 - from));
}

}  // namespace

void TimestampStep(DecoderState& state, Window& window) {
  if (state.FrameLength == 9) {
    HandleBinaryStamp(state, window);
  } else {
    HandleTextStamp(state);
  }
}

CivilDateTime SecondsToDate(double seconds) {
  if (!(seconds > static_cast<double>(kFirstSecond) - 1.0) ||
      !(seconds < static_cast<double>(kLastSecond) + 1.0)) {
    return kZeroDateTime;
  }
  const auto whole = static_cast<std::int64_t>(std::trunc(seconds));
  if (whole < kFirstSecond || whole > kLastSecond) return kZeroDateTime;
  std::int64_t days = whole / 86400;
  std::int64_t rest = whole % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  CivilDateTime dt;
  CivilFromDays(days, dt.year, dt.month, dt.day);
  dt.hour = static_cast<int>(rest / 3600);
  dt.minute = static_cast<int>(rest / 60 % 60);
  dt.second = static_cast<int>(rest % 60);
  return dt;
}

std::string MillisPart(double millis) {
  std::string out;
  AppendMillis(out, millis);
  return out;
}

void AppendGeneralDateText(std::string& out, const Window& window, const CivilDateTime& dt) {
  const bool zero_date = dt.year == kZeroDateTime.year && dt.month == kZeroDateTime.month &&
                         dt.day == kZeroDateTime.day;
  if (zero_date) {
    out.append(window.LongTimeText(dt.hour, dt.minute, dt.second));
    return;
  }
  out.append(window.ShortDateText(dt.year, dt.month, dt.day));
  if (dt.hour == 0 && dt.minute == 0 && dt.second == 0) return;
  out.push_back(' ');
  out.append(window.LongTimeText(dt.hour, dt.minute, dt.second));
}

std::string GeneralDateText(const Window& window, const CivilDateTime& dt) {
  std::string out;
  AppendGeneralDateText(out, window, dt);
  return out;
}

}  // namespace packscope
