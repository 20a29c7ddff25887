// The digipeater path and the frame type as text, which the monitor layout, the heard list, the
// statistics and the frame list all write.
#include "ax25/ax25_text.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "support/ax25_frames.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;

Ax25Details Describe(const std::string& frame) {
  return DescribeAx25(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size()));
}

const Address kDest{"QQ1QQ", 0, true};
const Address kSource{"QQ0QQ", 1, false};

TEST(Ax25TextTest, DigipeaterPaths) {
  struct Case {
    std::vector<Address> digipeaters;
    std::string as_they_are;
    std::string printable;
  };
  const std::vector<Case> cases = {
      {{}, "", ""},
      {{{"WIDE2", 1, false}}, "WIDE2-1", "WIDE2-1"},
      {{{"QQ0DIG", 1, true}, {"WIDE2", 1, false}}, "QQ0DIG-1*,WIDE2-1", "QQ0DIG-1*,WIDE2-1"},
      {{{"A", 0, true}, {"B", 0, true}, {"C", 15, false}}, "A*,B*,C-15", "A*,B*,C-15"},
      // A call with a control character: kept for the heard list's keys, escaped in a line.
      {{{"QQ\r", 0, true}}, "QQ\r*", "QQ<0x0D>*"},
  };
  for (const Case& c : cases) {
    const Ax25Details d = Describe(Ax25Frame(kDest, kSource, c.digipeaters, 0x03, 0xF0, "x"));
    ASSERT_EQ(d.problem, Ax25Problem::kNone);
    std::string out = "<";
    AppendDigipeaterPath(out, d);
    EXPECT_EQ(out, "<" + c.as_they_are);
    out.clear();
    AppendDigipeaterPath(out, d, CallBytes::kPrintable);
    EXPECT_EQ(out, c.printable);
  }
}

TEST(Ax25TextTest, FrameTypeNames) {
  // Each kind once (the names themselves are DescribeAx25's), and unassigned U codes.
  const std::vector<std::pair<std::uint8_t, std::string>> cases = {
      {0x10, "I"},    {0x01, "RR"},       {0x13, "UI"},
      {0x2F, "SABM"}, {0x07, "U code=1"}, {0xFF, "U code=31"},
  };

  for (const auto& [control, name] : cases) {
    const Ax25Details d = Describe(Ax25Frame(kDest, kSource, {}, control, std::nullopt, ""));
    ASSERT_EQ(d.problem, Ax25Problem::kNone);
    std::string out;
    AppendFrameTypeName(out, d);
    EXPECT_EQ(out, name) << "control " << int{control};
  }
}

}  // namespace
}  // namespace packscope
