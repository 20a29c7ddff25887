// Hex and printable-character rendering: the program's one way of showing bytes as text.
//
// hex text: each byte as two upper-case hexadecimal digits followed by one blank, so n bytes
// give 3n characters ending with a blank. Group k (from 0) describes byte k.
//
//   bytes 00 41 C0      ->  "00 41 C0 "
//   HexDump             ->  "000 > 00 41 C0 \r\n"        20 groups a line, offsets 000, 020, ...
//   HexToAscii          ->  ".A\xC0"                     one character a group, 0..31 as "."
//
// All routines accept any text and treat it by position; none keeps state between calls.
#ifndef PACKSCOPE_RENDER_HEX_H_
#define PACKSCOPE_RENDER_HEX_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace packscope {

// Two upper-case hexadecimal digits: 0 -> "00", 10 -> "0A", 192 -> "C0".
std::string ByteToHex(std::uint8_t b);

// Appends the hex text of n bytes (3n characters) to out.
void AppendHexText(std::string& out, const std::uint8_t* bytes, std::size_t n);

// Numbered dump lines of 20 groups: offset (decimal, at least three digits), " > ", up to 60
// characters of s, CR LF. floor(len / 60) + 1 lines: a length that is a multiple of 60 (0
// included) ends with a line holding only the offset and " > ".
std::string HexDump(std::string_view s);
void AppendHexDump(std::string& out, std::string_view s);

// HexDump and HexToAscii of the hex text of bytes, made from the bytes themselves: the same
// characters, without the hex text read back.
void AppendByteDump(std::string& out, std::span<const std::uint8_t> bytes);
void AppendByteAscii(std::string& out, std::span<const std::uint8_t> bytes);

// What HexDump makes of a text of this length, without making it: its size in characters, its
// number of lines, and the length of its longest line without CR LF.
struct HexDumpShape {
  std::int64_t size = 0;
  std::int64_t lines = 0;
  std::int64_t longest_line = 0;
};
HexDumpShape HexDumpShapeOf(std::int64_t length);

// One character per group of s: (len + 1) / 3 groups, so a last group without its blank
// counts and a single trailing character does not. Values 32..255 give the byte itself (127
// included; 128..255 are Windows-1252), everything else ".".
std::string HexToAscii(std::string_view s);
void AppendHexToAscii(std::string& out, std::string_view s);

// Value of a hexadecimal text with optional prefix "0x" or "&H" (either case): the leading
// digits only, 0 when there are none. More digits than fit 32 bits give 0; eight digits with
// the top bit set come out negative.
std::int32_t ParseHexNumber(std::string_view s);

// Bytes 0x20..0x7E as they are, every other byte as <0xNN> (upper-case digits).
void AppendPrintable(std::string& out, std::span<const std::uint8_t> bytes);
void AppendPrintable(std::string& out, std::string_view bytes);

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_HEX_H_
