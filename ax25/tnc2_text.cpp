#include "ax25/tnc2_text.h"

#include <array>
#include <optional>

namespace packscope {
namespace {

constexpr std::size_t kCallLength = 6;
constexpr int kMostSsid = 15;

bool IsCallChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte of a "<0xHH>" group at text[at], if one stands there.
std::optional<std::uint8_t> HexGroup(std::string_view text, std::size_t at) {
  if (at + 6 > text.size() || text[at] != '<' || text[at + 1] != '0' ||
      (text[at + 2] != 'x' && text[at + 2] != 'X') || text[at + 5] != '>') {
    return std::nullopt;
  }
  const int high = HexValue(text[at + 3]);
  const int low = HexValue(text[at + 4]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<std::uint8_t>(high * 16 + low);
}

// The callsign of a block as the form writes it ("N0CALL-7"), or false when it cannot: every
// character byte must be a shifted letter or digit (bit 0 clear), blanks only at the end.
bool AppendCall(std::string& out, const Ax25Address& address) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < kCallLength; ++i) {
    const std::uint8_t b = address.block[i];
    const char c = static_cast<char>(b >> 1);
    if ((b & 1) != 0) return false;
    if (c == ' ') continue;
    if (!IsCallChar(c) || length != i) return false;  // a blank in front of a character
    ++length;
  }
  if (length == 0) return false;
  for (std::size_t i = 0; i < length; ++i) out.push_back(static_cast<char>(address.block[i] >> 1));
  const int ssid = (address.block[6] >> 1) & 0x0F;
  if (ssid != 0) out.append("-").append(std::to_string(ssid));
  return true;
}

struct ParsedAddress {
  std::array<std::uint8_t, 7> block{};
  bool starred = false;
};

std::string Quote(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  return quoted.append(1, '"').append(text).append(1, '"');
}

// One address of the header, "CALL[-SSID][*]", into the block's six characters and its SSID
// bits; the flag bits are the caller's.
bool ParseAddress(std::string_view text, ParsedAddress& address, std::string& why) {
  const std::string_view whole = text;
  if (!text.empty() && text.back() == '*') {
    address.starred = true;
    text.remove_suffix(1);
  }
  const std::size_t dash = text.find('-');
  const std::string_view call = text.substr(0, dash);
  if (call.empty()) {
    why = "an address without a callsign";
    if (!whole.empty()) why.append(" ").append(Quote(whole));
    return false;
  }
  for (const char c : call) {
    if (!IsCallChar(c)) {
      why = "callsign " + Quote(call) + " holds characters other than letters and digits";
      return false;
    }
  }
  if (call.size() > kCallLength) {
    why = "callsign " + Quote(call) + " has more than 6 characters";
    return false;
  }
  int ssid = 0;
  if (dash != std::string_view::npos) {
    const std::string_view digits = text.substr(dash + 1);
    bool ok = !digits.empty() && digits.size() <= 2;
    for (const char c : digits) {
      ok = ok && c >= '0' && c <= '9';
      if (ok) ssid = ssid * 10 + (c - '0');
    }
    if (!ok || ssid > kMostSsid) {
      why = "SSID " + Quote(digits) + " of " + Quote(call) + " is not a number from 0 to 15";
      return false;
    }
  }
  address.block.fill(' ' << 1);
  for (std::size_t i = 0; i < call.size(); ++i) {
    address.block[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(call[i]) << 1);
  }
  address.block[6] = static_cast<std::uint8_t>(0x60 | ssid << 1);
  return true;
}

}  // namespace

void AppendTnc2Info(std::string& out, std::span<const std::uint8_t> info) {
  const std::string_view text(reinterpret_cast<const char*>(info.data()), info.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    // A FEND would let the readers take the file for KISS (a FEND and a type byte).
    if (c == '\r' || c == '\n' || c == '\0' || c == '\xC0' || (c == '<' && HexGroup(text, i))) {
      static constexpr char kDigits[] = "0123456789abcdef";
      const auto b = static_cast<std::uint8_t>(c);
      out.append("<0x").append(1, kDigits[b >> 4]).append(1, kDigits[b & 15]).append(">");
    } else {
      out.push_back(c);
    }
  }
}

bool AppendTnc2Line(std::string& out, const Ax25Details& d) {
  if (d.problem != Ax25Problem::kNone) return false;
  const std::size_t size = out.size();
  const auto fail = [&] {
    out.resize(size);
    return false;
  };
  if (!AppendCall(out, d.source)) return fail();
  out.push_back('>');
  if (!AppendCall(out, d.destination)) return fail();
  int heard = -1;  // the last digipeater that has repeated
  for (int i = 0; i < d.digipeater_count; ++i) {
    if (d.digipeaters[static_cast<std::size_t>(i)].high_bit) heard = i;
  }
  for (int i = 0; i < d.digipeater_count; ++i) {
    out.push_back(',');
    if (!AppendCall(out, d.digipeaters[static_cast<std::size_t>(i)])) return fail();
    if (i == heard) out.push_back('*');
  }
  out.push_back(':');
  AppendTnc2Info(out, d.info);
  return true;
}

bool ParseTnc2Line(std::string_view line, std::vector<std::uint8_t>& frame, std::string& why) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    why = "no \":\" in front of the information field";
    return false;
  }
  const std::string_view header = line.substr(0, colon);
  const std::size_t arrow = header.find('>');
  if (arrow == std::string_view::npos) {
    why = "no \">\" behind the source";
    return false;
  }
  ParsedAddress source;
  if (!ParseAddress(header.substr(0, arrow), source, why)) return false;
  std::vector<ParsedAddress> addresses;  // destination, then the digipeaters
  std::string_view rest = header.substr(arrow + 1);
  for (;;) {
    const std::size_t comma = rest.find(',');
    ParsedAddress address;
    if (!ParseAddress(rest.substr(0, comma), address, why)) return false;
    addresses.push_back(address);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (source.starred || addresses.front().starred) {
    why = "a \"*\" behind the source or the destination; it marks a digipeater";
    return false;
  }
  if (addresses.size() > 1 + kMaxDigipeaters) {
    why = "more than 8 digipeaters";
    return false;
  }
  std::size_t heard = 0;  // digipeaters that have repeated: through the last one starred
  for (std::size_t i = 1; i < addresses.size(); ++i) {
    if (addresses[i].starred) heard = i;
  }
  addresses.front().block[6] |= 0x80;  // a command: destination C set, source C clear
  for (std::size_t i = 1; i <= heard; ++i) addresses[i].block[6] |= 0x80;
  addresses.insert(addresses.begin() + 1, source);
  addresses.back().block[6] |= 0x01;  // the address field ends here
  for (const ParsedAddress& a : addresses)
    frame.insert(frame.end(), a.block.begin(), a.block.end());
  frame.push_back(0x03);  // UI
  frame.push_back(0xF0);  // no layer 3
  const std::string_view info = line.substr(colon + 1);
  for (std::size_t i = 0; i < info.size(); ++i) {
    if (const std::optional<std::uint8_t> b = HexGroup(info, i)) {
      frame.push_back(*b);
      i += 5;
    } else {
      frame.push_back(static_cast<std::uint8_t>(info[i]));
    }
  }
  return true;
}

}  // namespace packscope
