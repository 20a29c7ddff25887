// Numbers as text, the few ways the program writes them: hex digits, and decimal digits with
// zeros in front (dates, times, milliseconds, column numbers).
#ifndef PACKSCOPE_RENDER_NUMBERS_H_
#define PACKSCOPE_RENDER_NUMBERS_H_

#include <cstdint>
#include <string>

namespace packscope {

// Upper-case hex digits, as the hex text writes them.
inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// value (0 or more) as exactly width decimal digits, zeros in front, from p on; returns the end.
// Digits beyond width are dropped from the front, so width must hold the value.
inline char* PutZeroPadded(char* p, std::int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return p + width;
}

// value (0 or more) as at least width decimal digits, zeros in front.
inline void AppendZeroPadded(std::string& out, std::int64_t value, int width) {
  char buf[20];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 20);
  for (int i = n; i < width; ++i) out.push_back('0');
  while (n > 0) out.push_back(buf[--n]);
}

// v with exactly decimals decimals, as std::to_chars writes it in fixed notation: correctly
// rounded, a "-" for every negative v (-0.00 included), nan and inf as the library writes them.
// The common case is formatted as an integer, the rest (halves, huge numbers, more than nine
// decimals) by the library.
void AppendFixedDecimals(std::string& out, double v, int decimals);

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_NUMBERS_H_
