#include "render/numbers.h"

#include <charconv>
#include <cmath>

namespace packscope {

void AppendFixedDecimals(std::string& out, double v, int decimals) {
  static constexpr double kScale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  static constexpr std::int64_t kUnits[] = {1,      10,      100,      1000,      10000,
                                            100000, 1000000, 10000000, 100000000, 1000000000};
  if (decimals >= 0 && decimals <= 9) {
    // The scaled value is exact but for the product's rounding, at most half a unit in its last
    // place. Away from a half (by a wide margin over that) it rounds to the integer the exact
    // value rounds to; the library decides the rest.
    const double a = std::abs(v * kScale[decimals]);
    if (a < 0x1p52) {  // false for NaN and infinity
      const double whole = std::floor(a);
      const double fraction = a - whole;  // exact below 2^52
      if (std::abs(fraction - 0.5) > a * 0x1p-50) {
        const auto n = static_cast<std::int64_t>(whole) + (fraction > 0.5 ? 1 : 0);
        const std::int64_t unit = kUnits[decimals];
        char buf[40];
        char* p = buf;
        if (std::signbit(v)) *p++ = '-';
        p = std::to_chars(p, buf + 24, n / unit).ptr;
        if (decimals > 0) {
          *p++ = '.';
          p = PutZeroPadded(p, n % unit, decimals);
        }
        out.append(buf, static_cast<std::size_t>(p - buf));
        return;
      }
    }
  }
  char buf[400];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (ec == std::errc()) out.append(buf, end);
}

}  // namespace packscope
