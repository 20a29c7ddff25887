#include "ax25/ax25_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/ax25_step.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Hex;

// One address block: six characters shifted left, then the SSID byte 011SSSSE (plus C/H bit 7).
std::string Address(const std::string& call, int ssid, bool last, bool bit7 = false) {
  return testing::AddressBlock({call, ssid, bit7}, last);
}

// A frame from its type byte on: type 00, destination, source, digipeaters, then the rest.
std::string Frame(const std::vector<std::string>& digis, const std::string& rest,
                  const std::string& dest = "CQ", const std::string& source = "QQ0QQ") {
  std::string f = Hex("00") + Address(dest, 0, false) + Address(source, 1, digis.empty());
  for (std::size_t i = 0; i < digis.size(); ++i) {
    f += Address(digis[i], 0, i + 1 == digis.size());
  }
  return f + rest;
}

class DecodeAx25Test : public ::testing::Test {
 protected:
  // Puts bytes into FrameBytes from position 1, as the frame loop does, and decodes them.
  void Decode(const std::string& frame) {
    for (std::size_t i = 0; i < frame.size(); ++i) {
      state.FrameBytes[i + 1] = static_cast<std::uint8_t>(frame[i]);
    }
    state.FrameLength = static_cast<std::int32_t>(frame.size());
    DecodeAx25(state, window);
  }
  DecoderState state;
  HeadlessWindow window;
};

TEST(BitRoutinesTest, ShiftRight) {
  EXPECT_EQ(ShiftRight(0x86, 1), 0x43);
  EXPECT_EQ(ShiftRight(0x80, 7), 0x01);
  EXPECT_EQ(ShiftRight(0xFF, 8), 0x00);
  EXPECT_EQ(ShiftRight(0xFF, 300), 0x00);
  EXPECT_EQ(ShiftRight(0xAB, 0), 0xAB);
  EXPECT_EQ(ShiftRight(0xAB, -3), 0xAB);
}

TEST(BitRoutinesTest, TestBit) {
  EXPECT_TRUE(TestBit(0x01, 0));
  EXPECT_FALSE(TestBit(0x01, 1));
  EXPECT_TRUE(TestBit(0x80, 7));
  EXPECT_FALSE(TestBit(0xFF, 8));
  EXPECT_FALSE(TestBit(0xFF, -1));
}

TEST_F(DecodeAx25Test, UiFrameWithoutDigipeaters) {
  Decode(Frame({}, Hex("03 F0 41 42 43")));
  EXPECT_EQ(state.DestCall, "CQ");
  EXPECT_EQ(state.SourceCall, "QQ0QQ-1");
  EXPECT_EQ(window.Text2(), "-CQ-");
  EXPECT_EQ(window.Text3(), "-QQ0QQ-1-");
  EXPECT_EQ(state.AddressEnd, 1);
  EXPECT_EQ(state.ControlByte, 0x03);
  EXPECT_EQ(state.TypeCode, 0);
  EXPECT_EQ(state.PidByte, 0xF0);
  EXPECT_EQ(state.InfoPos, 18);
  EXPECT_EQ(state.FieldPos, 17);
  EXPECT_EQ(state.PayloadHex, "41 42 43 ");
}

TEST_F(DecodeAx25Test, PollBitKeepsAUiFrame) {
  Decode(Frame({}, Hex("13 F0 41 42 43")));
  EXPECT_EQ(state.TypeCode, 0);
  EXPECT_EQ(state.PayloadHex, "41 42 43 ");
}

TEST_F(DecodeAx25Test, DigipeaterChainMovesTheControlByte) {
  Decode(Frame({"RELAY"}, Hex("03 F0 41")));
  EXPECT_EQ(state.FieldPos, 24);  // control at 23, FieldPos behind it
  EXPECT_EQ(state.DigiIndex, 2);
  EXPECT_EQ(state.InfoPos, 25);
  EXPECT_EQ(state.PayloadHex, "41 ");

  Decode(Frame({"RELAY", "WIDE2"}, Hex("00 F0 41 42")));  // I frame: control 30, PID 31
  EXPECT_EQ(state.ControlByte, 0x00);
  EXPECT_EQ(state.PidByte, 0xF0);
  EXPECT_EQ(state.InfoPos, 32);
  EXPECT_EQ(state.DigiIndex, 3);
  EXPECT_EQ(state.PayloadHex, "41 42 ");
}

TEST_F(DecodeAx25Test, NoEndMarkWithinNineBlocksStopsAtTheNinth) {
  // Ten digipeaters none of which ends the address field.
  std::string f = Hex("00") + Address("CQ", 0, false) + Address("QQ0QQ", 0, false);
  for (int i = 0; i < 10; ++i) f += Address("DIGI" + std::to_string(i), 0, false);
  f += Hex("03 F0 41");
  Decode(f);
  EXPECT_EQ(state.DigiIndex, 10);
  EXPECT_EQ(state.AddressEnd, 0);
  // The byte at 79 (the tenth block's first character) is taken as the control byte.
  EXPECT_EQ(state.ControlByte, static_cast<std::uint8_t>('D' << 1));
  EXPECT_EQ(state.FieldPos, 80);
  EXPECT_EQ(state.InfoPos, 81);  // 'D' << 1 has bit 0 clear: an I frame with a PID
}

TEST_F(DecodeAx25Test, NineDigipeatersEndingProperly) {
  std::vector<std::string> digis;
  for (int i = 0; i < 9; ++i) digis.push_back("D" + std::to_string(i));
  Decode(Frame(digis, Hex("03 F0 41")));
  EXPECT_EQ(state.DigiIndex, 10);
  EXPECT_EQ(state.AddressEnd, 1);
  EXPECT_EQ(state.ControlByte, 0x03);
  EXPECT_EQ(state.PayloadHex, "41 ");
}

TEST_F(DecodeAx25Test, SsidsAndTheCBit) {
  std::string f = Hex("00") + Address("BEACON", 15, false, true) + Address("APRS", 2, true, true);
  Decode(f + Hex("03 F0"));
  EXPECT_EQ(state.DestCall, "BEACON-15");
  EXPECT_EQ(state.DestSsid, 15);
  EXPECT_EQ(state.SourceCall, "APRS-2");
  EXPECT_EQ(state.SourceSsid, 2);
  EXPECT_EQ(state.FieldPos, 17);
  EXPECT_EQ(state.PayloadHex, "");  // ends right behind the PID
}

TEST_F(DecodeAx25Test, CallsignCharactersAreTakenAsTheyAre) {
  // Six blanks give an empty call; blanks inside stay; control characters stay.
  Decode(Hex("00") + Address("", 0, false) + Address("A B", 0, true) + Hex("03 F0"));
  EXPECT_EQ(window.Text2(), "--");
  EXPECT_EQ(state.SourceCall, "A B");
  std::string f = Hex("00") + Address("CQ", 0, false) + Address("QQ0QQ", 0, true);
  f[3] = 0x02;  // third character: 0x01 after the shift
  f[6] = 0x00;  // sixth character: NUL
  Decode(f + Hex("03 F0"));
  EXPECT_EQ(state.DestCall, std::string("CQ\x01  ") + std::string(1, '\0'));
  EXPECT_EQ(window.Text2(), "-" + state.DestCall + "-");
}

TEST_F(DecodeAx25Test, SAndUFramesHaveNoPid) {
  state.PidByte = 0x77;
  Decode(Frame({}, Hex("41 AA BB")));  // S frame RR, N(R) 2
  EXPECT_EQ(state.TypeCode, 0);
  EXPECT_EQ(state.InfoPos, 17);
  EXPECT_EQ(state.PayloadHex, "AA BB ");
  EXPECT_EQ(state.PidByte, 0x77);  // kept from before

  const std::pair<int, int> u_frames[] = {{0x2F, 7}, {0xE3, 28}, {0xAF, 23},
                                          {0x07, 1}, {0x63, 12}, {0x3F, 7}};
  for (const auto& [control, code] : u_frames) {
    Decode(Frame({}, std::string(1, static_cast<char>(control)) + Hex("AA")));
    EXPECT_EQ(state.TypeCode, code) << control;
    EXPECT_EQ(state.PayloadHex, "AA ") << control;
  }
  Decode(Frame({}, Hex("09 AA")));  // S frame REJ
  EXPECT_EQ(state.TypeCode, 2);
}

TEST_F(DecodeAx25Test, IFramesAlwaysHaveAPid) {
  for (int control : {0x00, 0x10, 0xFE, 0x22}) {
    Decode(Frame({}, std::string(1, static_cast<char>(control)) + Hex("CC AA")));
    EXPECT_EQ(state.PidByte, 0xCC) << control;
    EXPECT_EQ(state.PayloadHex, "AA ") << control;
  }
}

TEST_F(DecodeAx25Test, FramesEndingEarly) {
  Decode(Frame({}, Hex("03")));  // ends before its PID
  EXPECT_EQ(state.PayloadHex, "");
  EXPECT_EQ(state.InfoPos, 18);
  Decode(Frame({}, ""));  // ends before its control byte: decoded from what is left there
  EXPECT_EQ(state.ControlByte, 0x03);
  EXPECT_EQ(state.PayloadHex, "");
}

TEST_F(DecodeAx25Test, ShortFramesReadBytesOfEarlierFrames) {
  Decode(Frame({}, Hex("03 F0 41"), "APRS", "QQ1ABC"));
  Decode(Hex("09 00 00 01 51 FD 2F 08 95"));  // a binary stamp: 9 bytes
  // Positions 2..9 are the stamp's bytes, 10..15 still the old source callsign's.
  EXPECT_EQ(state.DestCall, std::string("\0\0\0(~\x17-4", 8));
  EXPECT_EQ(state.DestSsid, (0x08 & 0x1E) / 2);
  EXPECT_EQ(state.SourceCall, "JQ1ABC-1");  // 0x95 >> 1 is "J"
  EXPECT_EQ(state.PayloadHex, "");
  EXPECT_EQ(window.Text3(), "-" + state.SourceCall + "-");
}

TEST_F(DecodeAx25Test, BeforeAnyLongFrameFrameBytesHoldZeros) {
  Decode(Hex("00 41"));
  EXPECT_EQ(state.DestCall, std::string(5, '\0'));  // 0x41 >> 1 is a blank, trimmed
  EXPECT_EQ(state.SourceCall, std::string(6, '\0'));
  EXPECT_EQ(state.ControlByte, 0);  // an I frame...
  EXPECT_EQ(state.DigiIndex, 10);   // ...behind nine digipeater blocks without an end mark
  EXPECT_EQ(state.PayloadHex, "");
}

// Through the frame loop: the decoder runs for every frame while Check2 is ticked, timestamp
// frames included, and not at all while it is not.
class DecoderInPassTest : public testing::TempDirTest {};

TEST_F(DecoderInPassTest, Check2DecidesWhetherTheDecoderRuns) {
  DecoderState state;
  HeadlessWindow window;
  const std::string ui = "\xC0" + Frame({}, Hex("03 F0 41 42")) + "\xC0";
  state.CaptureFileName = WriteCapture("a.kss", ui + Hex("C0 09 00 00 01 51 FD 2F 08 95 C0"));
  ReadCapture(state, window);
  EXPECT_NE(window.Text2(), "-CQ-");  // the stamp was decoded last
  EXPECT_EQ(state.PayloadHex, "");

  window.SetCheck2(false);
  window.SetText2("unchanged");
  state.CaptureFileName = WriteCapture("b.kss", ui);
  state.PayloadHex = "EE ";
  ReadCapture(state, window);
  EXPECT_EQ(window.Text2(), "unchanged");
  EXPECT_EQ(state.PayloadHex, "EE ");
}

}  // namespace
}  // namespace packscope
