#include "render/hex.h"

#include <array>
#include <charconv>
#include <cstring>

namespace packscope {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// "00 " .. "FF ": one group of hex text per byte value.
constexpr std::array<std::array<char, 3>, 256> MakeGroupTable() {
  std::array<std::array<char, 3>, 256> table{};
  for (int b = 0; b < 256; ++b) {
    table[static_cast<std::size_t>(b)] = {kDigits[b >> 4], kDigits[b & 15], ' '};
  }
  return table;
}
constexpr auto kGroups = MakeGroupTable();

// The groups padded to four bytes, for stores of one machine word.
constexpr std::array<std::array<char, 4>, 256> MakeGroup4Table() {
  std::array<std::array<char, 4>, 256> table{};
  for (std::size_t b = 0; b < 256; ++b) table[b] = {kGroups[b][0], kGroups[b][1], ' ', ' '};
  return table;
}
constexpr auto kGroups4 = MakeGroup4Table();

// Value of a hexadecimal digit, or -1.
constexpr int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Value of the two characters of one group, read as ParseHexNumber reads them. For two
// characters both prefixes ("0x", "&H") leave no digits and give 0, which the plain reading
// of leading digits gives as well.
inline int GroupValue(char c1, char c2) {
  const int d1 = DigitValue(c1);
  if (d1 < 0) return 0;
  const int d2 = DigitValue(c2);
  return d2 < 0 ? d1 : d1 * 16 + d2;
}

void AppendOffset(std::string& out, std::int64_t offset) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, offset);
  for (std::ptrdiff_t n = res.ptr - buf; n < 3; ++n) out.push_back('0');
  out.append(buf, res.ptr);
}

}  // namespace

std::string ByteToHex(std::uint8_t b) { return std::string(kGroups[b].data(), 2); }

void AppendHexText(std::string& out, const std::uint8_t* bytes, std::size_t n) {
  if (n == 0) return;
  const std::size_t old = out.size();
  // One spare byte lets every group go in as one four-byte store; the spare is cut off again.
  out.resize(old + 3 * n + 1);
  char* p = out.data() + old;
  for (std::size_t i = 0; i < n; ++i, p += 3) std::memcpy(p, kGroups4[bytes[i]].data(), 4);
  out.resize(old + 3 * n);
}

void AppendHexDump(std::string& out, std::string_view s) {
  const std::size_t last = s.size() / 60;
  for (std::size_t i = 0; i <= last; ++i) {
    AppendOffset(out, static_cast<std::int64_t>(20 * i));
    out.append(" > ");
    out.append(s.substr(60 * i, 60));
    out.append("\r\n");
  }
}

std::string HexDump(std::string_view s) {
  std::string out;
  AppendHexDump(out, s);
  return out;
}

void AppendHexToAscii(std::string& out, std::string_view s) {
  const std::size_t groups = (s.size() + 1) / 3;
  const std::size_t old = out.size();
  out.resize(old + groups);
  char* p = out.data() + old;
  for (std::size_t k = 0; k < groups; ++k) {
    const int v = GroupValue(s[3 * k], s[3 * k + 1]);
    p[k] = v > 31 ? static_cast<char>(v) : '.';
  }
}

std::string HexToAscii(std::string_view s) {
  std::string out;
  AppendHexToAscii(out, s);
  return out;
}

std::int32_t ParseHexNumber(std::string_view s) {
  std::string_view digits = s;
  if (s.size() >= 2) {
    const char a = s[0];
    const char b = s[1];
    if (a == '0' && (b == 'x' || b == 'X')) {
      digits = s.substr(2);
    } else if (a == '&' && (b == 'h' || b == 'H')) {
      digits = s.substr(2);
    }
  }
  std::uint64_t value = 0;
  for (char c : digits) {
    const int d = DigitValue(c);
    if (d < 0) break;
    value = value * 16 + static_cast<std::uint64_t>(d);
    if (value > 0xFFFFFFFFu) return 0;  // does not fit: an evaluation error, which gives 0
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace packscope
