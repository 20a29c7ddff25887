// JSON texts and numbers against nlohmann-json's dump, which wrote the program's JSON first and
// whose bytes the layouts keep; the writer's punctuation.
#include "render/json_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "render/codepage.h"
#include "render/json_writer.h"

namespace packscope {
namespace {

std::string Dumped(const nlohmann::json& j) {
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Quoted(std::string_view s) {
  std::string out;
  AppendJsonString(out, s);
  return out;
}

std::string Fraction(double v, FractionDigits digits) {
  std::string out;
  AppendJsonFraction(out, v, digits);
  return out;
}

// Every byte alone, the malformed sequences UTF-8 decoders disagree on, and random bytes
// weighted to the lead and continuation ranges.
TEST(JsonTextTest, TextsAsTheLibraryDumpsThem) {
  std::vector<std::string> texts;
  for (int b = 0; b < 256; ++b) texts.emplace_back(1, static_cast<char>(b));
  for (const char* s :
       {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xE2\x82", "\xE2\x82x", "\xF0\x9F\x98",
        "\xF0\x9F\x98\x80", "a\"b\\c\x7F\x1F\x01", "\xC3\xA9\xC3", "\x80\x80\xBF"}) {
    texts.emplace_back(s);
  }
  std::mt19937 rng(31);
  const std::uint8_t pool[] = {'a',  '"',  '\\', 0x00, 0x1F, 0x7F, 0x80, 0x9F, 0xA0, 0xBF,
                               0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  for (int i = 0; i < 20000; ++i) {
    // Short dense texts, and long plain runs broken anywhere in a word of eight.
    const bool runs = i % 2 == 1;
    std::string s(rng() % (runs ? 40 : 12), '\0');
    for (char& c : s) {
      const auto r = rng() % (runs ? 8u : 3u);
      c = static_cast<char>(r == 0            ? rng() % 256
                            : r == 1 || !runs ? pool[rng() % sizeof pool]
                                              : 'a' + r);
    }
    texts.push_back(std::move(s));
  }
  for (const std::string& s : texts) {
    ASSERT_EQ(Quoted(s), Dumped(s))
        << nlohmann::json(nlohmann::json::binary_t(std::vector<std::uint8_t>(s.begin(), s.end())));
    std::string cp1252;
    AppendJsonStringCp1252(cp1252, s);
    ASSERT_EQ(cp1252, Dumped(Cp1252ToUtf8(s)));
  }
}

// Fractions: the library's digits and layout (kJson), and the shortest digits in the same layout
// (kShortest), which read back as the value and are never longer.
TEST(JsonTextTest, FractionsAsTheLibraryDumpsThem) {
  std::vector<double> values = {
      0.0,     -0.0,    0.1,     25.0,     -71.126333, 48.154833,
      1e-4,    1e-5,    -1e-7,   1e15,     1e16,       1.5e16,
      1e20,    1e-300,  5e-324,  1.7e308,  -2.5,       123456789012345.6,
      1234567, 0.00012, 1.0 / 3, 1e21 + 1, 4.35,       9007199254740993.0};
  std::mt19937_64 rng(31);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = rng();
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    // Values rounded to a few decimals, as the fields have them.
    const double scale = std::pow(10.0, static_cast<int>(rng() % 7));
    values.push_back(std::round(static_cast<double>(rng() % 2000000) - 1e6) / scale);
  }
  for (const double v : values) {
    const std::string json = Fraction(v, FractionDigits::kJson);
    ASSERT_EQ(json, Dumped(v)) << v;
    const std::string shortest = Fraction(v, FractionDigits::kShortest);
    double back = 0;
    const auto [end, ec] =
        std::from_chars(shortest.data(), shortest.data() + shortest.size(), back);
    ASSERT_TRUE(ec == std::errc() && end == shortest.data() + shortest.size()) << shortest;
    ASSERT_EQ(back, v) << shortest;
    ASSERT_LE(shortest.size(), json.size()) << shortest << " " << json;
  }
  EXPECT_EQ(Fraction(48.154833, FractionDigits::kShortest), "48.154833");
  EXPECT_EQ(Fraction(25.0, FractionDigits::kShortest), "25.0");
  EXPECT_EQ(Fraction(-1e-7, FractionDigits::kShortest), "-1e-07");
  EXPECT_EQ(Fraction(1.5e16, FractionDigits::kShortest), "1.5e+16");
  for (const double v :
       {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(Fraction(v, FractionDigits::kJson), "null");
    EXPECT_EQ(Fraction(v, FractionDigits::kShortest), "null");
  }
}

// Commas and colons across nesting and raw values, and a fresh line after Next().
TEST(JsonTextTest, WriterPunctuatesLineAfterLine) {
  JsonWriter w;
  for (int line = 0; line < 2; ++line) {
    w.Clear();
    w.Next();
    w.StartObject();
    w.Key("frame");
    w.Int(-3);
    w.Key("list");
    w.StartArray();
    w.StartObject();
    w.EndObject();
    w.Fraction(0.5);
    w.Raw().append("7");
    w.Hex(std::vector<std::uint8_t>{0x00, 0xC0});
    w.Hex({});
    w.EndArray();
    w.TextKey("a\"b");
    w.Null();
    w.Key("t");
    w.Bool(false);
    w.Key("u");
    w.Uint(18446744073709551615u);
    w.EndObject();
    EXPECT_EQ(w.Text(), R"({"frame":-3,"list":[{},0.5,7,"00 C0",""],"a\"b":null,"t":false,)"
                        R"("u":18446744073709551615})");
  }
}

}  // namespace
}  // namespace packscope
