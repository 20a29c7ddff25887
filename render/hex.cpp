#include "render/hex.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#include "render/numbers.h"
#define PACKSCOPE_HEX_SSSE3 1
#endif

namespace packscope {
namespace {

// "00 " .. "FF ": one group of hex text per byte value.
constexpr std::array<std::array<char, 3>, 256> MakeGroupTable() {
  std::array<std::array<char, 3>, 256> table{};
  for (int b = 0; b < 256; ++b) {
    table[static_cast<std::size_t>(b)] = {kHexDigits[b >> 4], kHexDigits[b & 15], ' '};
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
constexpr int GroupValue(char c1, char c2) {
  const int d1 = DigitValue(c1);
  if (d1 < 0) return 0;
  const int d2 = DigitValue(c2);
  return d2 < 0 ? d1 : d1 * 16 + d2;
}

// HexToAscii's character for every pair of characters (first << 8 | second): the group's value
// when it is 32..255, else ".".
constexpr std::array<char, 65536> MakeAsciiTable() {
  std::array<char, 65536> table{};
  for (int c1 = 0; c1 < 256; ++c1) {
    for (int c2 = 0; c2 < 256; ++c2) {
      const int v = GroupValue(static_cast<char>(c1), static_cast<char>(c2));
      table[static_cast<std::size_t>(c1 << 8 | c2)] = v > 31 ? static_cast<char>(v) : '.';
    }
  }
  return table;
}
constexpr auto kAsciiOfGroup = MakeAsciiTable();

void AppendOffset(std::string& out, std::int64_t offset) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, offset);
  for (std::ptrdiff_t n = res.ptr - buf; n < 3; ++n) out.push_back('0');
  out.append(buf, res.ptr);
}

}  // namespace

std::string ByteToHex(std::uint8_t b) { return std::string(kGroups[b].data(), 2); }

namespace {

// Four groups (12 characters) from four bytes in two stores.
inline void FourGroups(char* p, const std::uint8_t* b) {
  std::uint32_t g[4];
  for (int k = 0; k < 4; ++k) std::memcpy(&g[k], kGroups4[b[k]].data(), 4);
  // Little-endian: the first character is the lowest byte of each word.
  const std::uint64_t first = std::uint64_t{g[0] & 0xFFFFFF} |
                              std::uint64_t{g[1] & 0xFFFFFF} << 24 | std::uint64_t{g[2]} << 48;
  const std::uint32_t second = (g[2] >> 16 & 0xFF) | (g[3] & 0xFFFFFF) << 8;
  std::memcpy(p, &first, 8);
  std::memcpy(p + 8, &second, 4);
}

// Groups of n bytes at p, which has room for 3n + 1 characters (the last store may write one
// character past the text).
void PortableGroups(char* p, const std::uint8_t* bytes, std::size_t n) {
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 4 <= n; i += 4, p += 12) FourGroups(p, bytes + i);
  }
  for (; i < n; ++i, p += 3) std::memcpy(p, kGroups4[bytes[i]].data(), 4);
}

#ifdef PACKSCOPE_HEX_SSSE3
// 48 characters of hex text for the 16 bytes at bytes, by table shuffle: the digits of each
// byte, then spread to groups of three.
__attribute__((target("ssse3"))) inline void Ssse3Sixteen(char* p, const std::uint8_t* bytes) {
  const __m128i digits =
      _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  const __m128i low_nibble = _mm_set1_epi8(0x0F);
  constexpr char Z = -128;  // shuffle index giving 0
  // a: digit pairs of bytes 0..7, b: of bytes 8..15. Output characters 0..47.
  const __m128i out0_a = _mm_setr_epi8(0, 1, Z, 2, 3, Z, 4, 5, Z, 6, 7, Z, 8, 9, Z, 10);
  const __m128i out1_a = _mm_setr_epi8(11, Z, 12, 13, Z, 14, 15, Z, Z, Z, Z, Z, Z, Z, Z, Z);
  const __m128i out1_b = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, 0, 1, Z, 2, 3, Z, 4, 5);
  const __m128i out2_b = _mm_setr_epi8(Z, 6, 7, Z, 8, 9, Z, 10, 11, Z, 12, 13, Z, 14, 15, Z);
  const __m128i blanks0 = _mm_setr_epi8(0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0);
  const __m128i blanks1 = _mm_setr_epi8(0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0);
  const __m128i blanks2 = _mm_setr_epi8(' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ');
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i hi = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(v, 4), low_nibble));
  const __m128i lo = _mm_shuffle_epi8(digits, _mm_and_si128(v, low_nibble));
  const __m128i a = _mm_unpacklo_epi8(hi, lo);
  const __m128i b = _mm_unpackhi_epi8(hi, lo);
  const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(a, out0_a), blanks0);
  const __m128i o1 =
      _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, out1_a), _mm_shuffle_epi8(b, out1_b)), blanks1);
  const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(b, out2_b), blanks2);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), o0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), o1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), o2);
}

// Groups of n bytes at p, which has room for 3n + 1 characters: sixteen bytes at a time, the
// rest as PortableGroups writes them, so that nothing is read beyond the bytes.
__attribute__((target("ssse3"))) void Ssse3Groups(char* p, const std::uint8_t* bytes,
                                                  std::size_t n) {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16, p += 48) Ssse3Sixteen(p, bytes + i);
  PortableGroups(p, bytes + i, n - i);
}

const bool kHaveSsse3 = __builtin_cpu_supports("ssse3");
#endif

// Groups of n bytes at p, which has room for 3n + 1 characters.
inline void Groups(char* p, const std::uint8_t* bytes, std::size_t n) {
#ifdef PACKSCOPE_HEX_SSSE3
  if (kHaveSsse3) {
    Ssse3Groups(p, bytes, n);
  } else {
    PortableGroups(p, bytes, n);
  }
#else
  PortableGroups(p, bytes, n);
#endif
}

// HexToAscii's character for every byte value: the byte itself above 31, else ".".
constexpr std::array<char, 256> MakeByteAsciiTable() {
  std::array<char, 256> table{};
  for (int b = 0; b < 256; ++b)
    table[static_cast<std::size_t>(b)] = b > 31 ? static_cast<char>(b) : '.';
  return table;
}
constexpr auto kAsciiOfByte = MakeByteAsciiTable();

}  // namespace

void AppendHexText(std::string& out, const std::uint8_t* bytes, std::size_t n) {
  if (n == 0) return;
  const std::size_t old = out.size();
  // One spare byte lets every group go in as one four-byte store; the spare is cut off again.
  out.resize(old + 3 * n + 1);
  Groups(out.data() + old, bytes, n);
  out.resize(old + 3 * n);
}

void AppendByteDump(std::string& out, std::span<const std::uint8_t> bytes) {
  const std::size_t n = bytes.size();
  const HexDumpShape shape = HexDumpShapeOf(3 * static_cast<std::int64_t>(n));
  const std::size_t old = out.size();
  // The whole dump in one piece, and a spare byte for the groups' last store.
  out.resize(old + static_cast<std::size_t>(shape.size) + 1);
  char* p = out.data() + old;
  for (std::size_t line = 0, at = 0; line < static_cast<std::size_t>(shape.lines); ++line) {
    const std::size_t offset = 20 * line;
    if (offset < 1000) {
      p[0] = static_cast<char>('0' + offset / 100);
      p[1] = static_cast<char>('0' + offset / 10 % 10);
      p[2] = static_cast<char>('0' + offset % 10);
      p += 3;
    } else {
      p = std::to_chars(p, p + 24, offset).ptr;
    }
    std::memcpy(p, " > ", 3);
    p += 3;
    const std::size_t k = std::min<std::size_t>(20, n - at);
    Groups(p, bytes.data() + at, k);
    at += k;
    p += 3 * k;
    std::memcpy(p, "\r\n", 2);
    p += 2;
  }
  out.resize(old + static_cast<std::size_t>(shape.size));
}

void AppendByteAscii(std::string& out, std::span<const std::uint8_t> bytes) {
  const std::size_t old = out.size();
  const std::size_t n = bytes.size();
  out.resize(old + n);
  char* p = out.data() + old;
  std::size_t i = 0;
#if defined(PACKSCOPE_HEX_SSSE3) && defined(__SSE2__)
  // Sixteen at a time: the bytes 0..31 (no bit of 0xE0 set) become ".".
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    const __m128i control = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xE0))),
                                           _mm_setzero_si128());
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(p + i),
        _mm_or_si128(_mm_andnot_si128(control, v), _mm_and_si128(control, _mm_set1_epi8('.'))));
  }
#endif
  for (; i < n; ++i) p[i] = kAsciiOfByte[bytes[i]];
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

namespace {

// Digits of a dump line's offset: 20 * line, at least three.
std::int64_t OffsetDigits(std::int64_t line) {
  std::int64_t digits = 3;
  for (std::int64_t limit = 1000; 20 * line >= limit; limit *= 10) ++digits;
  return digits;
}

}  // namespace

HexDumpShape HexDumpShapeOf(std::int64_t length) {
  HexDumpShape shape;
  shape.lines = length / 60 + 1;
  // Offsets of 3 digits for lines 0..49, of 4 for lines 50..499, and so on.
  std::int64_t digit_sum = 0;
  std::int64_t first = 0;
  for (std::int64_t digits = 3, past = 50; first < shape.lines; ++digits, past *= 10) {
    digit_sum += digits * (std::min(past, shape.lines) - first);
    first = past;
  }
  // Each line: offset, " > ", its characters, CR LF.
  shape.size = digit_sum + 5 * shape.lines + length;
  const std::int64_t last = shape.lines - 1;
  shape.longest_line = OffsetDigits(last) + 3 + length % 60;
  if (last > 0) shape.longest_line = std::max(shape.longest_line, OffsetDigits(last - 1) + 63);
  return shape;
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
  const auto* in = reinterpret_cast<const unsigned char*>(s.data());
  for (std::size_t k = 0; k < groups; ++k, in += 3) p[k] = kAsciiOfGroup[in[0] << 8 | in[1]];
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

namespace {

constexpr bool Printable(std::uint8_t b) { return b >= 0x20 && b <= 0x7E; }

// How many bytes at the start of bytes are printable: sixteen at a time where the machine can,
// the last sixteen of a longer text at once.
std::size_t PrintableRun(const std::uint8_t* bytes, std::size_t n) {
  std::size_t i = 0;
#if defined(PACKSCOPE_HEX_SSSE3) && defined(__SSE2__)
  if (n >= 16) {
    // Bit k set: byte k of the sixteen at p is printable (as signed bytes, those above 0x1F
    // and below 0x7F).
    const auto printable = [](const std::uint8_t* p) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
          _mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F)), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)))));
    };
    for (; i + 16 <= n; i += 16) {
      const unsigned mask = printable(bytes + i);
      if (mask != 0xFFFFu) return i + static_cast<std::size_t>(std::countr_one(mask));
    }
    if (i == n) return n;
    // The rest, as the last bits of the last sixteen bytes.
    const unsigned mask = printable(bytes + n - 16) >> (16 - (n - i));
    return i + static_cast<std::size_t>(std::countr_one(mask));
  }
#endif
  while (i < n && Printable(bytes[i])) ++i;
  return i;
}

// Each byte as AppendPrintable writes it, padded to 8 bytes, and how many of them it writes.
struct PrintableTable {
  std::array<std::array<char, 8>, 256> text{};
  std::array<std::uint8_t, 256> size{};
  constexpr PrintableTable() {
    for (int b = 0; b < 256; ++b) {
      const auto u = static_cast<std::size_t>(b);
      if (Printable(static_cast<std::uint8_t>(b))) {
        text[u][0] = static_cast<char>(b);
        size[u] = 1;
      } else {
        text[u] = {'<', '0', 'x', kHexDigits[b >> 4], kHexDigits[b & 15], '>', 0, 0};
        size[u] = 6;
      }
    }
  }
};
constexpr PrintableTable kPrintable;

}  // namespace

void AppendPrintable(std::string& out, std::span<const std::uint8_t> bytes) {
  const auto* data = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  for (;;) {
    // A run of printable bytes in one piece; then the next bytes through the table, without a
    // branch for each, as many as a buffer holds.
    const std::size_t run = PrintableRun(data + i, n - i);
    out.append(reinterpret_cast<const char*>(data + i), run);
    i += run;
    if (i == n) return;
    constexpr std::size_t kChunk = 64;
    char text[kChunk * 6 + 8];
    std::size_t used = 0;
    for (const std::size_t end = std::min(n, i + kChunk); i < end; ++i) {
      std::memcpy(text + used, kPrintable.text[data[i]].data(), 8);
      used += kPrintable.size[data[i]];
    }
    out.append(text, used);
    if (i == n) return;
  }
}

void AppendPrintable(std::string& out, std::string_view bytes) {
  AppendPrintable(out, std::span<const std::uint8_t>(
                           reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace packscope
