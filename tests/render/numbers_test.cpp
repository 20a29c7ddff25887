#include "render/numbers.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace packscope {
namespace {

std::string LibraryFixed(double v, int decimals) {
  char buf[400];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

// The integer path against the library itself: values of every size the layouts write, the
// halves and near-halves where rounding decides, signed zeros, the edges of the integer path,
// and what only the library writes.
TEST(AppendFixedDecimalsTest, WritesWhatTheLibraryWrites) {
  std::vector<double> values = {0.0,
                                -0.0,
                                0.5,
                                -0.5,
                                1.5,
                                2.5,
                                0.125,
                                0.375,
                                1.005,
                                2.675,
                                -0.004999,
                                0.0049,
                                0.005,
                                -0.005,
                                49.0583,
                                11.4400,
                                1034.849,
                                0x1p52,
                                0x1p52 - 1,
                                0x1p53,
                                1e15,
                                -1e15,
                                4503599627370495.5,
                                1e300,
                                5e-324,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN()};
  std::mt19937_64 random(3);
  for (int i = 0; i < 20000; ++i) {
    const double magnitude = std::pow(10.0, static_cast<double>(random() % 14) - 4);
    const double v = (static_cast<double>(random() % 2000001) / 1000000.0 - 1.0) * magnitude;
    values.push_back(v);
    // Near a half of the last place of 0 to 4 decimals.
    const int d = static_cast<int>(random() % 5);
    const double half = (std::floor(v * std::pow(10.0, d)) + 0.5) / std::pow(10.0, d);
    values.push_back(half);
    values.push_back(std::nextafter(half, 0.0));
    values.push_back(std::nextafter(half, 1e300));
  }
  for (const double v : values) {
    for (int decimals = 0; decimals <= 12; ++decimals) {
      std::string out = "x";
      AppendFixedDecimals(out, v, decimals);
      ASSERT_EQ(out, "x" + LibraryFixed(v, decimals)) << v << " with " << decimals;
    }
  }
}

}  // namespace
}  // namespace packscope
