#include "framelist/frame_list_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "commands/frame_text.h"
#include "render/hex.h"

namespace packscope {
namespace {

bool WordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("-+.:*_/", c) != nullptr;
}

// A regular expression that matches exactly text, in quotes: letters and digits as they are,
// other printable characters behind a backslash, any other byte as \xNN.
std::string ExactPattern(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string pattern = "\"^";
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      pattern.push_back(c);
    } else if (c == '"') {
      pattern.append("\\\"");  // a quote inside the quoted text
    } else if (b >= 0x21 && b <= 0x7E) {
      pattern.push_back('\\');
      pattern.push_back(c);
    } else {
      pattern.append("\\x").push_back(kDigits[b >> 4]);
      pattern.push_back(kDigits[b & 15]);
    }
  }
  return pattern + "$\"";
}

bool PlainCallsign(std::string_view call) {
  // CALL or CALL-SSID as the language reads callsigns.
  const std::size_t dash = call.find('-');
  const std::string_view base = call.substr(0, dash);
  bool plain = !base.empty() && base.size() <= 6;
  for (char c : base) plain = plain && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
  if (dash != std::string_view::npos) {
    const std::string_view ssid = call.substr(dash + 1);
    plain = plain && !ssid.empty() && ssid.size() <= 2 && ssid.front() != '0' &&
            std::all_of(ssid.begin(), ssid.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            std::stoi(std::string(ssid)) <= 15;
  }
  return plain;
}

bool Printable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string IsoTimeText(std::int64_t millis) {
  std::string text = IsoStampText(millis);  // 2016-01-01 12:34:56.789
  if (text.size() != 23) return {};
  text[10] = 'T';
  return text;
}

// Whether expression needs parentheses to stand as one operand of op ("and", "or", "not"): it
// holds an operator that binds less tightly outside quotes and parentheses.
bool NeedsParentheses(std::string_view expression, std::string_view op) {
  int depth = 0;
  bool quoted = false;
  std::string word;
  const auto ends_word = [&] {
    const bool loose =
        depth == 0 && ((op != "or" && word == "or") || (op == "not" && word == "and"));
    word.clear();
    return loose;
  };
  for (std::size_t i = 0; i < expression.size(); ++i) {
    const char c = expression[i];
    if (quoted) {
      if (c == '\\' && i + 1 < expression.size() && expression[i + 1] == '"') {
        ++i;
      } else if (c == '"') {
        quoted = false;
      }
      continue;
    }
    if (WordCharacter(c)) {
      word.push_back(c);
      continue;
    }
    if (ends_word()) return true;
    if (c == '"') quoted = true;
    if (c == '(') ++depth;
    if (c == ')') --depth;
  }
  return ends_word();
}

std::string Operand(std::string_view expression, std::string_view op) {
  if (!NeedsParentheses(expression, op)) return std::string(expression);
  std::string enclosed;
  enclosed.reserve(expression.size() + 2);
  return enclosed.append(1, '(').append(expression).append(1, ')');
}

}  // namespace

std::string FilterValue(std::string_view value) {
  bool word = !value.empty() && value != "and" && value != "or" && value != "not" && value != "in";
  for (char c : value) word = word && WordCharacter(c);
  if (word) return std::string(value);
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string StationFilter(std::string_view call) {
  return PlainCallsign(call) ? "src == " + std::string(call) : "src ~ " + ExactPattern(call);
}

std::string ExactNumberText(double number) {
  if (!std::isfinite(number)) return {};
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::fixed);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string FieldTest(const Field& field, std::string_view value) {
  const std::string name(field.name);
  switch (field.type) {
    case FieldType::kCallsign:
      return PlainCallsign(value) ? name + " == " + std::string(value)
                                  : name + " ~ " + ExactPattern(value);
    case FieldType::kText:
      return Printable(value) ? name + " == " + FilterValue(value)
                              : name + " ~ " + ExactPattern(value);
    case FieldType::kNumber:
    case FieldType::kTime:
    case FieldType::kName:
      break;
  }
  return name + " == " + FilterValue(value);
}

std::string FieldFilter(const Field& field, const FieldValue& value) {
  if (!value.present) return {};
  if (field.type == FieldType::kNumber || field.type == FieldType::kTime ||
      (field.type == FieldType::kName && value.has_code && value.count == 0)) {
    std::string text;
    if (field.type == FieldType::kTime) {
      text = IsoTimeText(static_cast<std::int64_t>(value.number));
    } else if (field.name == "pid" && value.number >= 0 && value.number < 256) {
      text = "0x" + ByteToHex(static_cast<std::uint8_t>(value.number));
    } else {
      text = ExactNumberText(value.number);
    }
    return text.empty() ? std::string() : FieldTest(field, text);
  }
  std::string out;
  for (int i = 0; i < value.count; ++i) {
    if (!out.empty()) out += " and ";
    out += FieldTest(field, value.Text(i));
  }
  return out;
}

std::string JoinFilter(std::string_view current, std::string_view expression, FilterJoin join) {
  const bool negated =
      join == FilterJoin::kNotSelected || join == FilterJoin::kAndNot || join == FilterJoin::kOrNot;
  const std::string test = negated ? "not " + Operand(expression, "not") : std::string(expression);
  if (join == FilterJoin::kSelected || join == FilterJoin::kNotSelected || current.empty()) {
    return test;
  }
  const std::string_view op =
      join == FilterJoin::kAnd || join == FilterJoin::kAndNot ? "and" : "or";
  return Operand(current, op) + " " + std::string(op) + " " + Operand(test, op);
}

std::string MinuteText(std::int64_t minute) {
  std::string text = IsoStampText(minute * 60000);
  if (text.size() < 16) return {};
  text[10] = 'T';
  text.resize(16);
  return text;
}

std::string TimeSpanFilter(std::int64_t first_minute, std::int64_t minutes) {
  return "time >= " + MinuteText(first_minute) + " and time < " +
         MinuteText(first_minute + minutes);
}

}  // namespace packscope
