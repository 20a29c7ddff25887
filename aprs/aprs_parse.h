// Small readers shared by the APRS decoder's parts (not part of the layer's interface).
#ifndef PACKSCOPE_APRS_APRS_PARSE_H_
#define PACKSCOPE_APRS_APRS_PARSE_H_

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "render/hex.h"
#include "render/numbers.h"

namespace packscope::aprs_parse {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
inline bool IsAlnum(char c) { return IsDigit(c) || IsUpper(c) || IsLower(c); }
// Base-91 digits of compressed fields: '!' (0) to '{' (90).
inline bool IsBase91(char c) { return c >= '!' && c <= '{'; }

// The value of n decimal digits at s[pos..], or nothing when one is not a digit.
inline std::optional<int> Digits(std::string_view s, std::size_t pos, std::size_t n) {
  if (pos + n > s.size()) return std::nullopt;
  int v = 0;
  for (std::size_t i = pos; i < pos + n; ++i) {
    if (!IsDigit(s[i])) return std::nullopt;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

// s.substr(pos, n) without its exception: a start beyond the end gives an empty view.
inline std::string_view Sub(std::string_view s, std::size_t pos,
                            std::size_t n = std::string_view::npos) {
  return pos <= s.size() ? s.substr(pos, n) : std::string_view();
}

inline std::string_view TrimRight(std::string_view s, std::string_view chars = " ") {
  while (!s.empty() && chars.find(s.back()) != std::string_view::npos) s.remove_suffix(1);
  return s;
}

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return TrimRight(s);
}

// Line ends that many stations put at the end of a field.
inline std::string_view TrimLineEnd(std::string_view s) { return TrimRight(s, "\r\n"); }

// How a text reads as a number (NumberOf).
enum class NumberForm {
  kDecimal,    // a decimal number
  kNonFinite,  // "nan", "inf", "infinity", or digits beyond what a double holds
  kExponent,   // a number in another notation: "1e308"
  kNone,       // no number at all
};

// A decimal number, as a whole text, as APRS writes numbers: a sign, digits and a point ("12",
// "-3.5", ".53", "+7"). Blanks around it are allowed. form says what the text is.
inline std::optional<double> NumberOf(std::string_view s, NumberForm& form) {
  form = NumberForm::kNone;
  s = Trim(s);
  std::string_view body = s;
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) body.remove_prefix(1);
  bool digits = false;
  bool decimal = !body.empty();
  for (std::size_t i = 0, points = 0; i < body.size(); ++i) {
    if (IsDigit(body[i])) {
      digits = true;
    } else if (body[i] == '.' && ++points == 1) {
    } else {
      decimal = false;
    }
  }
  double v = 0;
  const char* from = s.data() + (!s.empty() && s.front() == '+' ? 1 : 0);
  const auto [end, ec] = std::from_chars(from, s.data() + s.size(), v);
  const bool whole = end == s.data() + s.size() && from != end;
  if (!(decimal && digits)) {
    // What other notations read: nan and infinity, or a number with an exponent.
    if (whole && (ec != std::errc() || !std::isfinite(v))) {
      form = NumberForm::kNonFinite;
    } else if (whole) {
      form = NumberForm::kExponent;
    }
    return std::nullopt;
  }
  if (ec == std::errc::result_out_of_range && whole &&
      Sub(body, 0, body.find('.')).find_first_not_of('0') == std::string_view::npos) {
    form = NumberForm::kDecimal;  // so many zeros after the point that a double holds 0
    return 0.0;
  }
  if (ec != std::errc() || !whole || !std::isfinite(v)) {
    form = NumberForm::kNonFinite;  // more digits than a double holds
    return std::nullopt;
  }
  form = NumberForm::kDecimal;
  return v == 0.0 ? 0.0 : v;  // no -0
}

// The number a decimal text gives; nothing for "nan", "inf", "1e3" and anything else.
inline std::optional<double> Number(std::string_view s) {
  NumberForm form;
  return NumberOf(s, form);
}

// Why a text that Number refuses is none, for an error sentence: "is not a number", "is not a
// finite number" (nan, infinity, beyond a double), "is not a decimal number" (1e308).
inline std::string_view NotANumber(std::string_view s) {
  NumberForm form;
  NumberOf(s, form);
  switch (form) {
    case NumberForm::kNonFinite:
      return "is not a finite number";
    case NumberForm::kExponent:
      return "is not a decimal number";
    case NumberForm::kDecimal:
    case NumberForm::kNone:
      break;
  }
  return "is not a number";
}

// Splits off the text up to the next separator (or the end) from s.
inline std::string_view NextPart(std::string_view& s, char separator) {
  const std::size_t at = s.find(separator);
  const std::string_view part = s.substr(0, at);
  s = at == std::string_view::npos ? std::string_view() : Sub(s, at + 1);
  return part;
}

// A character as a sentence shows it: 'x', or 0xNN when it is not printable ASCII.
inline void AppendQuotedChar(std::string& out, char c) {
  const auto b = static_cast<std::uint8_t>(c);
  if (b >= 0x20 && b < 0x7F) {
    out.push_back('\'');
    out.push_back(c);
    out.push_back('\'');
  } else {
    out.append("0x");
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 15]);
  }
}

// Text of a field as a sentence quotes it: printable ASCII as it is, other bytes as <0xNN>.
inline void AppendQuotedText(std::string& out, std::string_view s) { AppendPrintable(out, s); }

inline void AppendInt(std::string& out, long long v) {
  char buf[24];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, end);
}

}  // namespace packscope::aprs_parse

#endif  // PACKSCOPE_APRS_APRS_PARSE_H_
