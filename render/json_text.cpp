#include "render/json_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <nlohmann/detail/conversions/to_chars.hpp>

#include "render/codepage.h"
#include "render/hex.h"
#include "render/json_writer.h"

namespace packscope {
namespace {

// Bytes copied as they are: printable ASCII but " and \, and DEL.
constexpr std::array<bool, 256> kPlain = [] {
  std::array<bool, 256> plain{};
  for (int b = 0x20; b < 0x80; ++b) plain[static_cast<std::size_t>(b)] = b != '"' && b != '\\';
  return plain;
}();

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

void AppendEscaped(std::string& out, std::uint8_t c) {
  switch (c) {
    case '"':
      out.append("\\\"");
      return;
    case '\\':
      out.append("\\\\");
      return;
    case '\b':
      out.append("\\b");
      return;
    case '\t':
      out.append("\\t");
      return;
    case '\n':
      out.append("\\n");
      return;
    case '\f':
      out.append("\\f");
      return;
    case '\r':
      out.append("\\r");
      return;
    default:
      break;
  }
  constexpr char kLowerHex[] = "0123456789abcdef";
  const char u[] = {'\\', 'u', '0', '0', kLowerHex[c >> 4], kLowerHex[c & 15]};
  out.append(u, sizeof u);
}

// The length of the well-formed UTF-8 sequence at s[i] (its lead byte at least 0x80), or, as a
// negative number, how many bytes its malformed beginning takes (at least one): the bytes that
// one U+FFFD stands for.
int Utf8Sequence(std::string_view s, std::size_t i) {
  const auto lead = static_cast<std::uint8_t>(s[i]);
  int length = 0;
  std::uint8_t low = 0x80;  // the range of the second byte; the later ones are 80..BF
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return -1;
  }
  for (int k = 1; k < length; ++k) {
    if (i + static_cast<std::size_t>(k) >= s.size()) return -k;
    const auto c = static_cast<std::uint8_t>(s[i + static_cast<std::size_t>(k)]);
    if (c < low || c > high) return -k;
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

// The layout of nlohmann's to_chars for the digits of v (len of them, v = digits * 10^exponent):
// plain up to 15 digits before the point, 0.000ddd down to four zeros, else d.ddde+NN.
char* LayOut(char* buf, int len, int exponent) {
  constexpr int kMinExp = -4;
  constexpr int kMaxExp = 15;
  const int n = len + exponent;  // where the point goes
  const auto at = [](int k) { return static_cast<std::size_t>(k); };
  if (len <= n && n <= kMaxExp) {
    std::memset(buf + len, '0', at(n - len));
    buf[n] = '.';
    buf[n + 1] = '0';
    return buf + n + 2;
  }
  if (0 < n && n <= kMaxExp) {
    std::memmove(buf + n + 1, buf + n, at(len - n));
    buf[n] = '.';
    return buf + len + 1;
  }
  if (kMinExp < n && n <= 0) {
    std::memmove(buf + 2 - n, buf, at(len));
    buf[0] = '0';
    buf[1] = '.';
    std::memset(buf + 2, '0', at(-n));
    return buf + 2 - n + len;
  }
  if (len > 1) {
    std::memmove(buf + 2, buf + 1, at(len - 1));
    buf[1] = '.';
    buf += len + 1;
  } else {
    buf += 1;
  }
  *buf++ = 'e';
  int e = n - 1;
  *buf++ = e < 0 ? '-' : '+';
  e = std::abs(e);
  if (e >= 100) *buf++ = static_cast<char>('0' + e / 100);
  *buf++ = static_cast<char>('0' + e / 10 % 10);
  *buf++ = static_cast<char>('0' + e % 10);
  return buf;
}

// The shortest digits of v (finite, not 0, positive) from the standard library, laid out as
// above.
char* ShortestChars(char* buf, double v) {
  char sci[32];
  const auto [end, ec] = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific);
  (void)ec;  // 32 characters hold every double
  int len = 0;
  const char* p = sci;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') buf[len++] = *p;
  }
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+'), end, exponent);  // sci holds no terminating NUL
  return LayOut(buf, len, exponent - (len - 1));
}

// Where the run of bytes copied as they are ends, from i on: eight at a time while all eight are
// printable ASCII but " and \\ (DEL then goes the slow way), then byte by byte.
std::size_t PlainEnd(std::string_view s, std::size_t i) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  const auto zero_byte = [](std::uint64_t x) { return (x - kOnes) & ~x & kHigh; };
  while (i + 8 <= s.size()) {
    std::uint64_t w = 0;
    std::memcpy(&w, s.data() + i, 8);
    // A byte >= 0x80, below 0x20, '"' or '\\' stops the word.
    const std::uint64_t stop = (w & kHigh) | ((w - 0x20 * kOnes) & ~w & kHigh) |
                               zero_byte(w ^ ('"' * kOnes)) | zero_byte(w ^ ('\\' * kOnes));
    if (stop != 0) break;
    i += 8;
  }
  while (i < s.size() && kPlain[static_cast<std::uint8_t>(s[i])]) ++i;
  return i;
}

}  // namespace

bool IsUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    if (static_cast<std::uint8_t>(s[i]) < 0x80) {
      i = PlainEnd(s, i + 1);  // ASCII is UTF-8; the plain runs are the quick way over it
      continue;
    }
    const int n = Utf8Sequence(s, i);
    if (n < 0) return false;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

void AppendJsonString(std::string& out, std::string_view s) {
  out.push_back('"');
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t plain = PlainEnd(s, i);
    out.append(s.data() + i, plain - i);
    i = plain;
    if (i == s.size()) break;
    const auto c = static_cast<std::uint8_t>(s[i]);
    if (c < 0x80) {
      AppendEscaped(out, c);
      ++i;
      continue;
    }
    const int n = Utf8Sequence(s, i);
    if (n > 0) {
      out.append(s.data() + i, static_cast<std::size_t>(n));
    } else {
      out.append(kReplacement);
    }
    i += static_cast<std::size_t>(std::abs(n));
  }
  out.push_back('"');
}

void AppendJsonStringCp1252(std::string& out, std::string_view bytes) {
  out.push_back('"');
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t plain = PlainEnd(bytes, i);
    out.append(bytes.data() + i, plain - i);
    i = plain;
    if (i == bytes.size()) break;
    const auto c = static_cast<std::uint8_t>(bytes[i++]);
    if (c < 0x80) {
      AppendEscaped(out, c);
    } else {
      AppendCp1252AsUtf8(out, std::string_view(reinterpret_cast<const char*>(&c), 1));
    }
  }
  out.push_back('"');
}

void AppendJsonFraction(std::string& out, double v, FractionDigits digits) {
  if (!std::isfinite(v)) {
    out.append("null");
    return;
  }
  char buf[64];
  char* end = nullptr;
  if (digits == FractionDigits::kJson || v == 0) {
    end = nlohmann::detail::to_chars(buf, buf + sizeof buf, v);
  } else {
    char* p = buf;
    if (v < 0) *p++ = '-';
    end = ShortestChars(p, std::abs(v));
  }
  out.append(buf, end);
}

void JsonWriter::Hex(std::span<const std::uint8_t> bytes) {
  std::string& out = Raw();
  out.push_back('"');
  AppendHexText(out, bytes.data(), bytes.size());
  if (!bytes.empty()) out.pop_back();
  out.push_back('"');
}

}  // namespace packscope
