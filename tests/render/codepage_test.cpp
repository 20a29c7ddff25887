#include "render/codepage.h"

#include <gtest/gtest.h>

namespace packscope {
namespace {

TEST(CodePageTest, EveryByteSurvivesARoundTrip) {
  for (int b = 0; b < 256; ++b) {
    const char16_t u = Cp1252ToUnicode(static_cast<std::uint8_t>(b));
    EXPECT_EQ(UnicodeToCp1252(u), b) << b;
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(CodePageTest, WindowsLettersAndSigns) {
  EXPECT_EQ(Cp1252ToUnicode(0x80), u'\u20AC');  // euro sign
  EXPECT_EQ(Cp1252ToUnicode(0x9F), u'\u0178');
  EXPECT_EQ(Cp1252ToUnicode(0xC0), u'\u00C0');
  EXPECT_EQ(Cp1252ToUnicode(0x81), u'\u0081');  // undefined in the code page: kept as itself
  EXPECT_EQ(Cp1252ToUtf8("\xC0"), "\xC3\x80");
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(UnicodeToCp1252(U'\u202F'), '?');
  EXPECT_EQ(Utf8ToCp1252("a\xE5\x8D\x88"
                         "b"),
            "a?b");                                  // a CJK character
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80"), "?");  // outside the BMP
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC"), "\x80");   // euro sign
  EXPECT_EQ(Utf8ToCp1252("x\xC3"), "x?");            // cut off
  EXPECT_EQ(Utf8ToCp1252("\xFF"
                         "A"),
            "?A");  // not UTF-8 at all
}

}  // namespace
}  // namespace packscope
