#include "render/hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace packscope {
namespace {

TEST(ByteToHexTest, EveryByteIsTwoUpperCaseDigitsThatReadBack) {
  for (int b = 0; b < 256; ++b) {
    const std::string hex = ByteToHex(static_cast<std::uint8_t>(b));
    ASSERT_EQ(hex.size(), 2u) << b;
    for (char c : hex) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << hex;
    EXPECT_EQ(ParseHexNumber(hex), b) << hex;
  }
  EXPECT_EQ(ByteToHex(0), "00");
  EXPECT_EQ(ByteToHex(10), "0A");
  EXPECT_EQ(ByteToHex(15), "0F");
  EXPECT_EQ(ByteToHex(16), "10");
  EXPECT_EQ(ByteToHex(192), "C0");
  EXPECT_EQ(ByteToHex(255), "FF");
}

TEST(AppendHexTextTest, GroupsOfThreeEndingInABlank) {
  std::string out = "x";
  const std::uint8_t bytes[] = {0x00, 0x41, 0xC0, 0xFF};
  AppendHexText(out, bytes, 4);
  EXPECT_EQ(out, "x00 41 C0 FF ");
  AppendHexText(out, bytes, 0);
  EXPECT_EQ(out, "x00 41 C0 FF ");
}

// The fast paths (sixteen bytes at a time, four at a time, one at a time) against the byte by
// byte reading of the routine: every length up to 100 and every alignment of the text.
TEST(AppendHexTextTest, EveryLengthAndAlignmentGivesTheGroupsOfByteToHex) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> bytes(100);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  bytes[3] = 0x00;
  bytes[17] = 0xFF;
  for (std::size_t prefix = 0; prefix < 3; ++prefix) {
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
      std::string expected(prefix, 'x');
      for (std::size_t i = 0; i < n; ++i) expected += ByteToHex(bytes[i]) + " ";
      std::string out(prefix, 'x');
      AppendHexText(out, bytes.data(), n);
      ASSERT_EQ(out, expected) << "length " << n << ", prefix " << prefix;
    }
  }
}

std::string HexOfCount(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += ByteToHex(static_cast<std::uint8_t>(i)) + " ";
  return s;
}

TEST(HexDumpTest, EmptyTextIsOneLineWithOffsetOnly) { EXPECT_EQ(HexDump(""), "000 > \r\n"); }

TEST(HexDumpTest, ShortTextIsOneLine) {
  EXPECT_EQ(HexDump("C0 00 41 42 C0 "), "000 > C0 00 41 42 C0 \r\n");
}

TEST(HexDumpTest, TwentyBytesGiveAFullLineAndAnEmptyOne) {
  const std::string s = HexOfCount(20);
  ASSERT_EQ(s.size(), 60u);
  EXPECT_EQ(HexDump(s), "000 > " + s + "\r\n020 > \r\n");
}

TEST(HexDumpTest, TwentyOneBytesPutTheLastGroupOnTheSecondLine) {
  const std::string s = HexOfCount(21);
  EXPECT_EQ(HexDump(s), "000 > " + s.substr(0, 60) + "\r\n020 > 14 \r\n");
}

TEST(HexDumpTest, OffsetsGrowToFourDigitsUnshortened) {
  const std::string dump = HexDump(std::string(60 * 50 + 3, 'A'));
  // 51 lines for 50 full lines and a partial one; the 51st starts at offset 1000.
  EXPECT_NE(dump.find("\r\n980 > "), std::string::npos);
  EXPECT_NE(dump.find("\r\n1000 > AAA\r\n"), std::string::npos);
  EXPECT_EQ(dump.find("\r\n000 > ", 1), std::string::npos);
  std::size_t lines = 0;
  for (std::size_t p = dump.find("\r\n"); p != std::string::npos; p = dump.find("\r\n", p + 2)) {
    ++lines;
  }
  EXPECT_EQ(lines, 51u);
}

TEST(HexDumpTest, MultipleOfSixtyEndsWithAnOffsetOnlyLine) {
  const std::string dump = HexDump(std::string(120, 'B'));
  EXPECT_EQ(dump, "000 > " + std::string(60, 'B') + "\r\n020 > " + std::string(60, 'B') +
                      "\r\n040 > \r\n");
}

TEST(HexDumpTest, TakesAnyTextByPosition) {
  // Not hex text at all: cut by position all the same, nothing checked.
  EXPECT_EQ(HexDump("hello"), "000 > hello\r\n");
}

TEST(HexToAsciiTest, PrintableCharactersAndFullStops) {
  EXPECT_EQ(HexToAscii("48 65 6C 6C 6F 00 1F 20 "), "Hello.. ");
  EXPECT_EQ(HexToAscii("7F "), "\x7F");  // DEL stays itself
  EXPECT_EQ(HexToAscii("1F 20 "), ". ");
}

TEST(HexToAsciiTest, HighBytesPassThroughAsCodePageBytes) {
  EXPECT_EQ(HexToAscii("C0 00 41 42 C0 "), "\xC0.AB\xC0");
  EXPECT_EQ(HexToAscii("80 FF A0 "), "\x80\xFF\xA0");
}

TEST(HexToAsciiTest, GroupCountRoundsAsTheLengthGives) {
  EXPECT_EQ(HexToAscii(""), "");
  EXPECT_EQ(HexToAscii("41 42"), "AB");  // a last group without its blank counts
  EXPECT_EQ(HexToAscii("41 4"), "A");    // a single trailing character does not
  EXPECT_EQ(HexToAscii("4"), "");
  EXPECT_EQ(HexToAscii("41"), "A");
}

TEST(HexToAsciiTest, GroupsAreReadLikeParseHexNumber) {
  // "4G" reads as 4 (a control character: "."), "G4" as 0, "0x" as 0, lower case as upper.
  EXPECT_EQ(HexToAscii("4G G4 0x 6a "), "...j");
}

// Each group read as ParseHexNumber reads its two characters, for texts of any characters:
// the table behind HexToAscii must agree with that reading for every pair.
TEST(HexToAsciiTest, EveryPairOfCharactersReadsAsParseHexNumberReadsIt) {
  std::string text;
  std::string expected;
  for (int c1 = 0; c1 < 256; ++c1) {
    for (int c2 = 0; c2 < 256; ++c2) {
      const std::string group{static_cast<char>(c1), static_cast<char>(c2)};
      const std::int32_t v = ParseHexNumber(group);
      text += group + " ";
      expected.push_back(v > 31 ? static_cast<char>(v) : '.');
    }
  }
  EXPECT_EQ(HexToAscii(text), expected);
}

// The shape of a dump against the dump itself, for every length of a few lines and around the
// lengths where the offsets gain a digit (line 50: offset 1000, and so on) up to the longest
// frame's stored hex text.
TEST(HexDumpShapeTest, MatchesTheDump) {
  std::vector<std::int64_t> lengths;
  for (std::int64_t n = 0; n <= 400; ++n) lengths.push_back(n);
  for (std::int64_t line : {49, 50, 499, 500, 4999, 5000}) {
    for (std::int64_t d = -61; d <= 61; ++d) lengths.push_back(60 * line + d);
  }
  lengths.push_back(3 * (2 * 65535 + 2));
  for (std::int64_t n : lengths) {
    const std::string dump = HexDump(std::string(static_cast<std::size_t>(n), 'x'));
    std::int64_t lines = 0;
    std::int64_t longest = 0;
    for (std::size_t begin = 0; begin < dump.size(); ++lines) {
      const std::size_t end = dump.find("\r\n", begin);
      longest = std::max(longest, static_cast<std::int64_t>(end - begin));
      begin = end + 2;
    }
    const HexDumpShape shape = HexDumpShapeOf(n);
    ASSERT_EQ(shape.size, static_cast<std::int64_t>(dump.size())) << n;
    ASSERT_EQ(shape.lines, lines) << n;
    ASSERT_EQ(shape.longest_line, longest) << n;
  }
}

// The dump and the characters made from the bytes against HexDump and HexToAscii of their hex
// text: every byte value, every length of a few lines, and the lengths where the offsets gain a
// digit, behind text already in the string.
TEST(ByteDumpTest, GivesHexDumpAndHexToAsciiOfTheHexText) {
  std::vector<std::uint8_t> bytes(20 * 500 + 21);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : {999u, 1000u, 1001u, 9999u, 10000u, 10001u, 10021u}) lengths.push_back(n);
  for (const std::size_t n : lengths) {
    const std::span<const std::uint8_t> part(bytes.data(), n);
    std::string hex;
    AppendHexText(hex, part.data(), n);
    std::string dump = "x";
    AppendByteDump(dump, part);
    ASSERT_EQ(dump, "x" + HexDump(hex)) << n;
    std::string ascii = "x";
    AppendByteAscii(ascii, part);
    ASSERT_EQ(ascii, "x" + HexToAscii(hex)) << n;
  }
}

// Each boundary byte at every place of a text long enough for the sixteen-byte scan, and every
// byte in turn through texts longer than the escapes are gathered in, against a byte by byte
// reading.
TEST(AppendPrintableTest, EveryPlaceOfABoundaryByteAndEveryByte) {
  const auto expect_printable = [](const std::string& text) {
    std::string expected = "x";
    for (const char c : text) {
      const auto b = static_cast<std::uint8_t>(c);
      expected += b >= 0x20 && b <= 0x7E ? std::string(1, c) : "<0x" + ByteToHex(b) + ">";
    }
    std::string out = "x";
    AppendPrintable(out, std::string_view(text));
    EXPECT_EQ(out, expected);
  };
  for (const int special : {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF}) {
    for (std::size_t at = 0; at < 40; ++at) {
      std::string text(40, 'a');
      text[at] = static_cast<char>(special);
      SCOPED_TRACE(std::to_string(special) + " at " + std::to_string(at));
      expect_printable(text);
    }
  }
  std::string every;
  for (int round = 0; round < 3; ++round) {
    for (int b = 0; b < 256; ++b) every.push_back(static_cast<char>((b * 7 + round) & 0xFF));
    every.append(70, 'p');
  }
  for (std::size_t from = 0; from < 140; from += 13) expect_printable(every.substr(from));
}

TEST(ParseHexNumberTest, PrefixesAndLeadingDigits) {
  EXPECT_EQ(ParseHexNumber("4A"), 74);
  EXPECT_EQ(ParseHexNumber("4a"), 74);
  EXPECT_EQ(ParseHexNumber("0x4a"), 74);
  EXPECT_EQ(ParseHexNumber("0X4A"), 74);
  EXPECT_EQ(ParseHexNumber("&h4A"), 74);
  EXPECT_EQ(ParseHexNumber("&H4A"), 74);
  EXPECT_EQ(ParseHexNumber("FF"), 255);
  EXPECT_EQ(ParseHexNumber("4G"), 4);
  EXPECT_EQ(ParseHexNumber("4A "), 74);
}

TEST(ParseHexNumberTest, NoDigitsGiveZero) {
  EXPECT_EQ(ParseHexNumber("ZZ"), 0);
  EXPECT_EQ(ParseHexNumber("0x"), 0);
  EXPECT_EQ(ParseHexNumber("&H"), 0);
  EXPECT_EQ(ParseHexNumber(""), 0);
  EXPECT_EQ(ParseHexNumber(" 4A"), 0);
  EXPECT_EQ(ParseHexNumber("&"), 0);
}

TEST(ParseHexNumberTest, LongNumbers) {
  EXPECT_EQ(ParseHexNumber("7FFFFFFF"), 2147483647);
  EXPECT_EQ(ParseHexNumber("FFFFFFFF"), -1);
  EXPECT_EQ(ParseHexNumber("00000000FF"), 255);  // leading zeros do not overflow
  EXPECT_EQ(ParseHexNumber("100000000"), 0);     // more than 32 bits: an error, which gives 0
}

}  // namespace
}  // namespace packscope
