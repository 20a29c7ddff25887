// Calendar arithmetic without time zones: days since 1970-01-01 to a date of the proleptic
// Gregorian calendar and back (H. Hinnant's algorithms), and milliseconds since 1970 as the UTC
// date and time they stand for.
#ifndef PACKSCOPE_RENDER_CIVIL_TIME_H_
#define PACKSCOPE_RENDER_CIVIL_TIME_H_

#include <cstdint>

namespace packscope {

// Days from 1970-01-01 to year-month-day (month 1..12, day 1..31).
constexpr std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = month > 2 ? month - 3 : month + 9;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct CivilDate {
  std::int64_t year = 1970;
  int month = 1;
  int day = 1;
};

// The date days after 1970-01-01 (before it for negative days).
constexpr CivilDate CivilFromDays(std::int64_t days) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  CivilDate d;
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.year = yoe + era * 400 + (d.month <= 2 ? 1 : 0);
  return d;
}

struct UtcTime {
  std::int64_t year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millis = 0;
};

// The UTC date and time millis milliseconds after 1970-01-01 00:00:00 (before it when negative).
constexpr UtcTime UtcFromMillis(std::int64_t millis) {
  std::int64_t days = millis / 86400000;
  std::int64_t rest = millis % 86400000;
  if (rest < 0) {
    rest += 86400000;
    --days;
  }
  const CivilDate d = CivilFromDays(days);
  UtcTime t;
  t.year = d.year;
  t.month = d.month;
  t.day = d.day;
  t.hour = static_cast<int>(rest / 3600000);
  t.minute = static_cast<int>(rest / 60000 % 60);
  t.second = static_cast<int>(rest / 1000 % 60);
  t.millis = static_cast<int>(rest % 1000);
  return t;
}

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(DaysFromCivil(2016, 1, 1) == 16801);
static_assert(CivilFromDays(16801).year == 2016 && CivilFromDays(-1).day == 31);

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_CIVIL_TIME_H_
