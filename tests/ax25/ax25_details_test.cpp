#include "ax25/ax25_details.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "ax25/ax25_decoder.h"
#include "capture/ax25_step.h"
#include "capture/headless_window.h"
#include "render/hex.h"
#include "support/ax25_frames.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;

std::span<const std::uint8_t> Span(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

std::string InfoText(const Ax25Details& d) {
  return std::string(reinterpret_cast<const char*>(d.info.data()), d.info.size());
}

const Address kDest{"QQ1QQ", 0, true};
const Address kSource{"QQ0QQ", 1, false};

struct ControlCase {
  std::uint8_t control;
  Ax25Kind kind;
  std::string_view name;
  std::uint8_t type_code;
  std::optional<int> ns;
  std::optional<int> nr;
  bool poll_final;
  bool has_pid;
};

void PrintTo(const ControlCase& c, std::ostream* os) {
  *os << "control 0x" << ByteToHex(c.control);
}

class ControlFieldTest : public ::testing::TestWithParam<ControlCase> {};

TEST_P(ControlFieldTest, KindNameCountersAndPid) {
  const ControlCase& c = GetParam();
  const std::string frame = Ax25Frame(kDest, kSource, {}, c.control, std::nullopt, "\xF0xy");
  const Ax25Details d = DescribeAx25(Span(frame));
  ASSERT_EQ(d.problem, Ax25Problem::kNone);
  EXPECT_EQ(d.control, c.control);
  EXPECT_EQ(d.kind, c.kind);
  EXPECT_EQ(d.name, c.name);
  if (c.kind != Ax25Kind::kI) {
    EXPECT_EQ(d.type_code, c.type_code);
  }
  EXPECT_EQ(d.ns, c.ns);
  EXPECT_EQ(d.nr, c.nr);
  EXPECT_EQ(d.poll_final, c.poll_final);
  EXPECT_EQ(d.has_pid, c.has_pid);
  // The byte after the control is the PID of I and UI frames, else the first information byte.
  if (c.has_pid) {
    EXPECT_EQ(d.pid, std::optional<std::uint8_t>(0xF0));
    EXPECT_EQ(InfoText(d), "xy");
  } else {
    EXPECT_EQ(d.pid, std::nullopt);
    EXPECT_EQ(InfoText(d), "\xF0xy");
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, ControlFieldTest,
    ::testing::Values(
        // I frames: N(R) P N(S) 0.
        ControlCase{0x00, Ax25Kind::kI, "", 0, 0, 0, false, true},
        ControlCase{0xB4, Ax25Kind::kI, "", 0, 2, 5, true, true},
        ControlCase{0xFE, Ax25Kind::kI, "", 0, 7, 7, true, true},
        // S frames: N(R) P/F ss 01.
        ControlCase{0x01, Ax25Kind::kS, "RR", 0, std::nullopt, 0, false, false},
        ControlCase{0x71, Ax25Kind::kS, "RR", 0, std::nullopt, 3, true, false},
        ControlCase{0x05, Ax25Kind::kS, "RNR", 1, std::nullopt, 0, false, false},
        ControlCase{0xE9, Ax25Kind::kS, "REJ", 2, std::nullopt, 7, false, false},
        ControlCase{0x4D, Ax25Kind::kS, "SREJ", 3, std::nullopt, 2, false, false},
        // U frames, with and without the P/F bit.
        ControlCase{0x03, Ax25Kind::kU, "UI", 0, std::nullopt, std::nullopt, false, true},
        ControlCase{0x13, Ax25Kind::kU, "UI", 0, std::nullopt, std::nullopt, true, true},
        ControlCase{0x0F, Ax25Kind::kU, "DM", 3, std::nullopt, std::nullopt, false, false},
        ControlCase{0x1F, Ax25Kind::kU, "DM", 3, std::nullopt, std::nullopt, true, false},
        ControlCase{0x2F, Ax25Kind::kU, "SABM", 7, std::nullopt, std::nullopt, false, false},
        ControlCase{0x3F, Ax25Kind::kU, "SABM", 7, std::nullopt, std::nullopt, true, false},
        ControlCase{0x43, Ax25Kind::kU, "DISC", 8, std::nullopt, std::nullopt, false, false},
        ControlCase{0x63, Ax25Kind::kU, "UA", 12, std::nullopt, std::nullopt, false, false},
        ControlCase{0x73, Ax25Kind::kU, "UA", 12, std::nullopt, std::nullopt, true, false},
        ControlCase{0x6F, Ax25Kind::kU, "SABME", 15, std::nullopt, std::nullopt, false, false},
        ControlCase{0x87, Ax25Kind::kU, "FRMR", 17, std::nullopt, std::nullopt, false, false},
        ControlCase{0xAF, Ax25Kind::kU, "XID", 23, std::nullopt, std::nullopt, false, false},
        ControlCase{0xE3, Ax25Kind::kU, "TEST", 28, std::nullopt, std::nullopt, false, false},
        // Unassigned U codes have no name and no PID.
        ControlCase{0x07, Ax25Kind::kU, "", 1, std::nullopt, std::nullopt, false, false},
        ControlCase{0xFF, Ax25Kind::kU, "", 31, std::nullopt, std::nullopt, true, false}));

// Modulo 128: I and S frames carry a second control byte with N(R) and P/F; U frames keep one.
TEST(Ax25DetailsTest, Modulo128ControlField) {
  struct Case {
    std::string control;  // the control bytes
    Ax25Kind kind;
    std::string_view name;
    std::optional<int> ns;
    std::optional<int> nr;
    bool poll_final;
    std::string info;  // after the control field and a PID
  };
  const std::vector<Case> cases = {
      {"\x0A\x0B", Ax25Kind::kI, "", 5, 5, true, "data"},
      {"\xFE\xFE", Ax25Kind::kI, "", 127, 127, false, "data"},
      {"\x01\x7F", Ax25Kind::kS, "RR", std::nullopt, 63, true,
       "\xF0"
       "data"},
      {"\x09\x10", Ax25Kind::kS, "REJ", std::nullopt, 8, false,
       "\xF0"
       "data"},
      {"\x0D\x02", Ax25Kind::kS, "SREJ", std::nullopt, 1, false,
       "\xF0"
       "data"},
      // U frames: one control byte; the next byte is the PID of a UI frame, else information.
      {"\x7F", Ax25Kind::kU, "SABME", std::nullopt, std::nullopt, true,
       "\xF0"
       "data"},
      {"\x03", Ax25Kind::kU, "UI", std::nullopt, std::nullopt, false, "data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ByteToHex(static_cast<std::uint8_t>(c.control[0])));
    const std::string frame = Ax25Frame(kDest, kSource, {{"RELAY", 0, true}},
                                        static_cast<std::uint8_t>(c.control[0]), std::nullopt,
                                        c.control.substr(1) +
                                            "\xF0"
                                            "data");
    const Ax25Details d = DescribeAx25(Span(frame), kModulo128);
    ASSERT_EQ(d.problem, Ax25Problem::kNone);
    EXPECT_EQ(d.kind, c.kind);
    EXPECT_EQ(d.name, c.name);
    EXPECT_EQ(d.ns, c.ns);
    EXPECT_EQ(d.nr, c.nr);
    EXPECT_EQ(d.poll_final, c.poll_final);
    EXPECT_EQ(d.control_length, c.control.size());
    EXPECT_EQ(d.control_at, 22U);
    EXPECT_EQ(InfoText(d), c.info);
    EXPECT_EQ(d.pid, d.has_pid ? std::optional<std::uint8_t>(0xF0) : std::nullopt);
  }
  // An I frame that ends after its first control byte is too short; modulo 8 it is whole.
  const std::string cut = Ax25Frame(kDest, kSource, {}, 0x0A, std::nullopt, "");
  const Ax25Details d = DescribeAx25(Span(cut), kModulo128);
  EXPECT_EQ(d.problem, Ax25Problem::kTooShort);
  EXPECT_EQ(d.length, 15U);
  EXPECT_EQ(d.needed, 16U);
  EXPECT_EQ(DescribeAx25(Span(cut)).problem, Ax25Problem::kNone);
}

TEST(Ax25DetailsTest, AddressesWithSsidAndHighBits) {
  const std::string frame = Ax25Frame({"CQ", 0, true}, {"QQ0QQ", 1, false},
                                      {{"RELAY", 0, true}, {"WIDE2", 1, false}}, 0x03, 0xF0, "hi");
  const Ax25Details d = DescribeAx25(Span(frame));
  ASSERT_EQ(d.problem, Ax25Problem::kNone);
  EXPECT_EQ(d.destination.call, "CQ");
  EXPECT_EQ(d.destination.ssid, 0);
  EXPECT_TRUE(d.destination.high_bit);
  EXPECT_EQ(d.source.call, "QQ0QQ-1");
  EXPECT_EQ(d.source.ssid, 1);
  EXPECT_FALSE(d.source.high_bit);
  ASSERT_EQ(d.digipeater_count, 2);
  EXPECT_EQ(d.digipeaters[0].call, "RELAY");
  EXPECT_TRUE(d.digipeaters[0].high_bit);
  EXPECT_EQ(d.digipeaters[1].call, "WIDE2-1");
  EXPECT_FALSE(d.digipeaters[1].high_bit);
  EXPECT_EQ(d.role, Ax25Role::kCommand);
  EXPECT_EQ(InfoText(d), "hi");
}

TEST(Ax25DetailsTest, RoleFromTheCBits) {
  auto role = [](bool dest_c, bool source_c) {
    const std::string frame =
        Ax25Frame({"A", 0, dest_c}, {"B", 0, source_c}, {}, 0x01, std::nullopt, "");
    return DescribeAx25(Span(frame)).role;
  };
  EXPECT_EQ(role(true, false), Ax25Role::kCommand);
  EXPECT_EQ(role(false, true), Ax25Role::kResponse);
  EXPECT_EQ(role(false, false), Ax25Role::kUnknown);
  EXPECT_EQ(role(true, true), Ax25Role::kUnknown);
}

TEST(Ax25DetailsTest, EightDigipeatersAreTheMost) {
  const std::vector<Address> eight(8, Address{"DIGI", 2, true});
  // The details point into the frame: it must outlive them.
  const std::string frame = Ax25Frame(kDest, kSource, eight, 0x03, 0xF0, "x");
  const Ax25Details d = DescribeAx25(Span(frame));
  ASSERT_EQ(d.problem, Ax25Problem::kNone);
  EXPECT_EQ(d.digipeater_count, 8);
  EXPECT_EQ(d.digipeaters[7].call, "DIGI-2");
  EXPECT_EQ(InfoText(d), "x");

  // A ninth block is beyond what AX.25 allows, whether or not it carries the end mark.
  const std::vector<Address> nine(9, Address{"DIGI", 2, true});
  const Ax25Details d9 = DescribeAx25(Span(Ax25Frame(kDest, kSource, nine, 0x03, 0xF0, "x")));
  EXPECT_EQ(d9.problem, Ax25Problem::kNoAddressEnd);
  EXPECT_EQ(d9.digipeater_count, 8);
}

TEST(Ax25DetailsTest, NoEndMarkAnywhere) {
  std::string frame(1, '\x00');
  for (int i = 0; i < 12; ++i) frame += testing::AddressBlock({"NOEND"}, false);
  frame += "\x03\xF0";
  EXPECT_EQ(DescribeAx25(Span(frame)).problem, Ax25Problem::kNoAddressEnd);
}

TEST(Ax25DetailsTest, TooShortFrames) {
  struct Case {
    std::string frame;
    std::size_t length;
    std::size_t needed;
  };
  const std::string full = Ax25Frame(kDest, kSource, {}, 0x03, 0xF0, "");
  const std::string with_digi = Ax25Frame(kDest, kSource, {{"RELAY"}}, 0x03, 0xF0, "");
  const std::vector<Case> cases = {
      {"", 0, 15},
      {std::string(1, '\x00'), 0, 15},
      {full.substr(0, 15), 14, 15},       // addresses, no control byte
      {with_digi.substr(0, 18), 17, 22},  // ends inside the digipeater block
      {with_digi.substr(0, 22), 21, 22},  // digipeater block whole, no control byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame.size());
    const Ax25Details d = DescribeAx25(Span(c.frame));
    EXPECT_EQ(d.problem, Ax25Problem::kTooShort);
    EXPECT_EQ(d.length, c.length);
    EXPECT_EQ(d.needed, c.needed);
  }
  // 15 bytes after the type byte are enough: a UI frame without its PID has no PID.
  const Ax25Details d = DescribeAx25(Span(full.substr(0, 16)));
  EXPECT_EQ(d.problem, Ax25Problem::kNone);
  EXPECT_EQ(d.name, "UI");
  EXPECT_TRUE(d.has_pid);
  EXPECT_EQ(d.pid, std::nullopt);
  EXPECT_TRUE(d.info.empty());
}

TEST(Ax25DetailsTest, NeverReadsBytesOfAnEarlierFrame) {
  DecoderState state;
  HeadlessWindow window;
  const std::string longer = Ax25Frame(kDest, kSource, {}, 0x03, 0xF0, "earlier frame");
  std::copy(longer.begin(), longer.end(), state.FrameBytes.begin() + 1);
  // A 3-byte frame over it: the window's decoder reads the stale header, DescribeAx25 does not.
  state.FrameBytes[1] = 0x00;
  state.FrameBytes[2] = 0x41;
  state.FrameBytes[3] = 0x42;
  state.FrameLength = 3;
  DecodeAx25(state, window);
  EXPECT_EQ(state.SourceCall, "QQ0QQ-1");
  const Ax25Details d = DescribeAx25(KissFrame(state));
  EXPECT_EQ(d.problem, Ax25Problem::kTooShort);
  EXPECT_EQ(d.length, 2U);
}

// On whole frames the two readings agree: addresses, control byte, TypeCode, PID, information.
TEST(Ax25DetailsTest, AgreesWithTheWindowsDecoder) {
  struct Case {
    std::vector<Address> digis;
    std::uint8_t control;
    std::optional<std::uint8_t> pid;
  };
  const std::vector<Case> cases = {
      {{}, 0x03, 0xF0},
      {{{"RELAY", 0, true}}, 0x13, 0xCF},
      {{{"A"}, {"B", 3}, {"C", 15}}, 0xB4, 0xF0},
      {{}, 0x41, std::nullopt},
      {std::vector<Address>(8, Address{"D", 1}), 0xE3, std::nullopt},
      {{{"X"}}, 0x07, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.control));
    const std::string frame = Ax25Frame({"BEACON", 15}, {"QQ0QQ"}, c.digis, c.control, c.pid,
                                        std::string("payload\xC0\x01", 9));
    DecoderState state;
    HeadlessWindow window;
    std::copy(frame.begin(), frame.end(), state.FrameBytes.begin() + 1);
    state.FrameLength = static_cast<std::int32_t>(frame.size());
    DecodeAx25(state, window);
    const Ax25Details d = DescribeAx25(KissFrame(state));
    ASSERT_EQ(d.problem, Ax25Problem::kNone);
    EXPECT_EQ(d.destination.call, state.DestCall);
    EXPECT_EQ(d.source.call, state.SourceCall);
    EXPECT_EQ(d.control, state.ControlByte);
    if (d.kind != Ax25Kind::kI) {
      EXPECT_EQ(d.type_code, state.TypeCode);
    }
    if (d.pid) {
      EXPECT_EQ(*d.pid, state.PidByte);
    }
    std::string info_hex;
    AppendHexText(info_hex, d.info.data(), d.info.size());
    EXPECT_EQ(info_hex, state.PayloadHex);
  }
}

TEST(Ax25DetailsTest, CallsignCharacters) {
  auto valid = [](const std::string& call) {
    const std::string frame = Ax25Frame({call}, {"QQ0QQ"}, {}, 0x03, 0xF0, "");
    return DescribeAx25(Span(frame)).destination.chars_valid;
  };
  EXPECT_TRUE(valid("QQ0QQ"));
  EXPECT_TRUE(valid("AZ09"));
  EXPECT_TRUE(valid("A B"));  // a blank inside is still a blank
  EXPECT_TRUE(valid(""));
  EXPECT_FALSE(valid("qq0qq"));
  EXPECT_FALSE(valid("QQ-1"));
  EXPECT_FALSE(valid(std::string("Q\x01Q", 3)));
  // A character byte with bit 0 set reads as a letter but is an end mark in the wrong place.
  std::string frame = Ax25Frame({"QQ0QQ"}, {"QQ0QQ"}, {}, 0x03, 0xF0, "");
  frame[2] = static_cast<char>(frame[2] | 0x01);
  const Ax25Details d = DescribeAx25(Span(frame));
  EXPECT_EQ(d.destination.call, "QQ0QQ");
  EXPECT_FALSE(d.destination.chars_valid);
  EXPECT_TRUE(d.source.chars_valid);
}

TEST(Ax25DetailsTest, PidNames) {
  EXPECT_EQ(PidName(0xF0), "No layer 3");
  EXPECT_EQ(PidName(0xCF), "NET/ROM");
  EXPECT_EQ(PidName(0xCC), "IP");
  EXPECT_EQ(PidName(0xCD), "ARP");
  EXPECT_EQ(PidName(0x08), "Segmentation fragment");
  EXPECT_EQ(PidName(0xFF), "Escape");
  EXPECT_EQ(PidName(0x10), "AX.25 layer 3");  // yy01yyyy
  EXPECT_EQ(PidName(0xA5), "AX.25 layer 3");  // yy10yyyy
  EXPECT_EQ(PidName(0x00), "");
  EXPECT_EQ(PidName(0xC0), "");
}

TEST(Ax25DetailsTest, KissTypeByteNibbles) {
  EXPECT_EQ(KissPort(0x00), 0);
  EXPECT_EQ(KissCommand(0x00), 0);
  EXPECT_EQ(KissPort(0x10), 1);
  EXPECT_EQ(KissCommand(0x10), 0);
  EXPECT_EQ(KissPort(0x09), 0);
  EXPECT_EQ(KissCommand(0x09), 9);
  EXPECT_EQ(KissPort(0xF1), 15);
  EXPECT_EQ(KissCommand(0xF1), 1);
}

}  // namespace
}  // namespace packscope
