#include "framelist/frame_list_text.h"

#include <algorithm>
#include <cstring>

#include "commands/frame_text.h"

namespace packscope {
namespace {

bool WordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("-+.:*_/", c) != nullptr;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWith(std::string_view path, std::string_view suffix) {
  if (path.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (Lower(path[path.size() - suffix.size() + i]) != suffix[i]) return false;
  }
  return true;
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
  // CALL or CALL-SSID as the language reads callsigns; any other text as a regular expression
  // that matches exactly it.
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
  if (plain) return "src == " + std::string(call);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string pattern = "src ~ \"^";
  for (char c : call) {
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

const Layout* ExportLayout(std::string_view path, std::string* error) {
  std::string known;
  for (const ExportKind& kind : kExportKinds) {
    if (!known.empty()) known.append(", ");
    known.append(kind.extension);
    if (!EndsWith(path, kind.extension)) continue;
    const Layout* layout = FindLayout(kind.layout);
    if (layout == nullptr && error != nullptr) {
      *error = "This version of Packscope cannot write " + std::string(kind.description) + " (" +
               std::string(kind.extension) + "): it has no \"" + std::string(kind.layout) +
               "\" layout.";
    }
    return layout;
  }
  if (error != nullptr) {
    *error = "The file name does not say what to write: end it with one of " + known + ".";
  }
  return nullptr;
}

}  // namespace packscope
