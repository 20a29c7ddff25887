// The TNC2 text form: lines written from frames, frames read from lines, and the round trip of
// what the form carries over generated traffic.
#include "ax25/tnc2_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ax25/ax25_details.h"
#include "support/ax25_frames.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;

std::span<const std::uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::optional<std::string> LineOf(const std::string& kiss_frame) {
  std::string line;
  if (!AppendTnc2Line(line, DescribeAx25(Span(kiss_frame)))) return std::nullopt;
  return line;
}

// The KISS frame (port 0) a line reads as, or "error: why".
std::string FrameOf(const std::string& line) {
  std::vector<std::uint8_t> frame{0x00};
  std::string why;
  if (!ParseTnc2Line(line, frame, why)) return "error: " + why;
  return std::string(frame.begin(), frame.end());
}

// A command UI frame with PID F0, as a line reads back.
std::string Ui(const Address& dest, const Address& source, const std::vector<Address>& digis,
               const std::string& info) {
  Address d = dest;
  d.high = true;
  return Ax25Frame(d, source, digis, 0x03, 0xF0, info);
}

TEST(Tnc2TextTest, WritesTheLineOfAFrame) {
  const std::string nul("\x00", 1);
  struct Case {
    std::string frame;
    std::optional<std::string> line;
  } cases[] = {
      {Ui({"APRS"}, {"N0CALL", 7}, {{"WIDE1", 1, true}, {"WIDE2", 1}}, "!4800.00N/01100.00E-"),
       "N0CALL-7>APRS,WIDE1-1*,WIDE2-1:!4800.00N/01100.00E-"},
      // The star stands behind the last digipeater that has repeated only.
      {Ui({"CQ"}, {"QQ0QQ"}, {{"RELAY", 0, true}, {"WIDE", 0, true}, {"WIDE2", 2}}, "x"),
       "QQ0QQ>CQ,RELAY,WIDE*,WIDE2-2:x"},
      // What a line cannot hold, a FEND, and a "<" that would be read as a group; the rest as
      // bytes.
      {Ui({"APRS"}, {"QQ1"}, {}, "a\rb\nc" + nul + "d<0x41>e<0x4>\xC0\xFF"),
       "QQ1>APRS:a<0x0d>b<0x0a>c<0x00>d<0x3c>0x41>e<0x4><0xc0>\xFF"},
      // Any frame with an address field: an I frame with its information, an S frame without.
      {Ax25Frame({"NODE"}, {"QQ2", 15}, {}, 0x10, 0xCF, "net"), "QQ2-15>NODE:net"},
      {Ax25Frame({"NODE"}, {"qq2"}, {}, 0x41, std::nullopt, ""), "qq2>NODE:"},
      // Callsigns the form cannot write, and frames without an address field.
      {Ax25Frame({"AB CD"}, {"QQ3"}, {}, 0x03, 0xF0, "x"), std::nullopt},
      {Ax25Frame({"A>B"}, {"QQ3"}, {}, 0x03, 0xF0, "x"), std::nullopt},
      {Ax25Frame({""}, {"QQ3"}, {}, 0x03, 0xF0, "x"), std::nullopt},
      {std::string("\x00\x82\xA0\xA4", 4), std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LineOf(c.frame), c.line) << c.line.value_or("(none)");
  }
  // A character byte whose low bit is set would lose that bit.
  std::string odd = Ui({"APRS"}, {"QQ4"}, {}, "x");
  odd[8] = static_cast<char>(odd[8] | 1);
  EXPECT_EQ(LineOf(odd), std::nullopt);
}

TEST(Tnc2TextTest, ReadsTheFrameOfALine) {
  struct Case {
    std::string line;
    std::string frame;
  } cases[] = {
      {"N0CALL-7>APRS,WIDE1-1,WIDE2-1:hi",
       Ui({"APRS"}, {"N0CALL", 7}, {{"WIDE1", 1}, {"WIDE2", 1}}, "hi")},
      // A star: that digipeater and those before it have repeated.
      {"A>B,C,D*,E:", Ui({"B"}, {"A"}, {{"C", 0, true}, {"D", 0, true}, {"E"}}, "")},
      {"A>B,C*,D*:", Ui({"B"}, {"A"}, {{"C", 0, true}, {"D", 0, true}}, "")},
      // Groups in either case; anything else stays as it is, colons included.
      {"A-0>B:<0x0D><0x0a>x<0x0g><0x41:y:z", Ui({"B"}, {"A"}, {}, "\r\nx<0x0g><0x41:y:z")},
      {"qAC>APRS,TCPIP*:x", Ui({"APRS"}, {"qAC"}, {{"TCPIP", 0, true}}, "x")},
      {"N0CALL APRS:x", "error: no \">\" behind the source"},
      {"N0CALL>APRS", "error: no \":\" in front of the information field"},
      {">APRS:x", "error: an address without a callsign"},
      {"A>B,,C:x", "error: an address without a callsign"},
      {"TOOLONG>APRS:x", "error: callsign \"TOOLONG\" has more than 6 characters"},
      {"A.B>APRS:x", "error: callsign \"A.B\" holds characters other than letters and digits"},
      {"A-16>APRS:x", "error: SSID \"16\" of \"A\" is not a number from 0 to 15"},
      {"A-1a>APRS:x", "error: SSID \"1a\" of \"A\" is not a number from 0 to 15"},
      {"A->APRS:x", "error: SSID \"\" of \"A\" is not a number from 0 to 15"},
      {"A*>APRS:x", "error: a \"*\" behind the source or the destination; it marks a digipeater"},
      {"A>B,1,2,3,4,5,6,7,8:x",
       Ui({"B"}, {"A"}, {{"1"}, {"2"}, {"3"}, {"4"}, {"5"}, {"6"}, {"7"}, {"8"}}, "x")},
      {"A>B,1,2,3,4,5,6,7,8,9:x", "error: more than 8 digipeaters"},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameOf(c.line), c.frame) << c.line;
}

// Generated frames written as lines and read back give the same line and information field:
// the form carries the addresses, the path's repeated marks and every byte of the field.
TEST(Tnc2TextTest, ARoundTripKeepsWhatTheFormCarries) {
  std::mt19937_64 random(27);
  const auto call = [&] {
    std::string c;
    const std::size_t n = 1 + random() % 6;
    for (std::size_t i = 0; i < n; ++i) c.push_back("ABCXYZ0189qz"[random() % 12]);
    return c;
  };
  for (int round = 0; round < 300; ++round) {
    std::vector<Address> digis(random() % 9);
    const std::size_t repeated = random() % (digis.size() + 1);
    for (std::size_t i = 0; i < digis.size(); ++i) {
      digis[i] = {call(), static_cast<int>(random() % 16), i < repeated};
    }
    std::string info(random() % 80, ' ');
    for (char& c : info) c = "\r\n\0<0x41>:*,ab\xC0\xFF"[random() % 16];
    const std::string frame = Ui({call(), static_cast<int>(random() % 16)},
                                 {call(), static_cast<int>(random() % 16)}, digis, info);
    const std::optional<std::string> line = LineOf(frame);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(FrameOf(*line), frame) << *line;
  }
}

}  // namespace
}  // namespace packscope
