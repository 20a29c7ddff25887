#include "capture/timestamp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Hex;

// A binary stamp frame as stored: C0 09 <8 bytes of milliseconds, MSB first> C0 (no byte of
// these examples needs escaping).
std::string BinaryStamp(std::uint64_t millis) {
  std::string frame = Hex("C0 09");
  for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<char>(millis >> shift));
  return frame + Hex("C0");
}

std::string TextFrame(const std::string& text) { return Hex("C0 09") + text + Hex("C0"); }

class TimestampTest : public testing::TempDirTest {
 protected:
  void Pass(const std::string& bytes) {
    state.CaptureFileName = WriteCapture("stamps.kss", bytes);
    state.Observer = &recorder;
    ReadCapture(state, window);
  }
  DecoderState state;
  HeadlessWindow window;
  testing::FrameRecorder recorder;
};

TEST_F(TimestampTest, BinaryStamp) {
  Pass(Hex("C0 09 00 00 01 51 FD 2F 08 95 C0"));
  EXPECT_EQ(state.StampMillis, 1451651696789.0);
  EXPECT_EQ(window.Text4(), "00000151FD2F0895 -> 1 Jan 2016 12:34:56.789\r\n");
  EXPECT_EQ(state.StampText, "1 Jan 2016 12:34:56.789 UTC");
  // A timestamp frame is counted but not output.
  EXPECT_EQ(state.FrameCount, 1);
  EXPECT_EQ(window.DisplayText(), "");
  ASSERT_EQ(recorder.frames.size(), 1u);
  EXPECT_TRUE(recorder.frames[0].info.timestamp);
}

TEST_F(TimestampTest, StampsGoAboveEveryFollowingFrameUntilTheNext) {
  Pass(BinaryStamp(1451651696005) + Hex("C0 00 41 C0 C0 00 42 C0") + BinaryStamp(1451651697050) +
       Hex("C0 00 43 C0") + BinaryStamp(1451651698000) + Hex("C0 00 44 C0"));
  ASSERT_EQ(recorder.frames.size(), 7u);
  EXPECT_EQ(recorder.frames[1].stamp_text, "1 Jan 2016 12:34:56.005 UTC");
  EXPECT_EQ(recorder.frames[2].stamp_text, "1 Jan 2016 12:34:56.005 UTC");
  EXPECT_EQ(recorder.frames[4].stamp_text, "1 Jan 2016 12:34:57.050 UTC");
  EXPECT_EQ(recorder.frames[6].stamp_text, "1 Jan 2016 12:34:58.000 UTC");
  EXPECT_EQ(window.Text4(),
            "00000151FD2F0585 -> 1 Jan 2016 12:34:56.005\r\n"
            "00000151FD2F099A -> 1 Jan 2016 12:34:57.050\r\n"
            "00000151FD2F0D50 -> 1 Jan 2016 12:34:58.000\r\n");
}

TEST_F(TimestampTest, ANineByteFrameIsBinaryEvenWhenItSpellsUtc) {
  Pass(TextFrame("AAAAUTC!"));  // 9 bytes with the type byte
  EXPECT_EQ(state.StampMillis, static_cast<double>(0x4141414155544321ull));
  EXPECT_EQ(window.Text4().substr(0, 20), "4141414155544321 -> ");
}

TEST_F(TimestampTest, TextStamp) {
  Pass(TextFrame("2016-01-01 12:34:56.789 UTC"));
  EXPECT_EQ(state.StampText, "2016-01-01 12:34:56.789 UTC");
  EXPECT_EQ(state.StampMillis, 0.0);
  EXPECT_EQ(window.Text4(), "");
}

TEST_F(TimestampTest, TextStampTakesTheTwentyFourCharactersBeforeTheFirstUtc) {
  Pass(TextFrame("rx 2016-01-01 12:34:56.789 UTC, next UTC"));
  EXPECT_EQ(state.StampText, "2016-01-01 12:34:56.789 UTC");
}

TEST_F(TimestampTest, ATextStampNearTheFrameStartTakesTheFrameFromItsFirstCharacter) {
  Pass(TextFrame("12:34:56 UTC"));
  EXPECT_EQ(state.StampText,
            "\x09"
            "12:34:56 UTC");
  // "UTC" at character 25 exactly: the 24 characters in front of it are the whole frame.
  Pass(TextFrame("12345678901234567890123UTC"));
  EXPECT_EQ(state.StampText,
            "\x09"
            "12345678901234567890123UTC");
}

TEST_F(TimestampTest, FramesWithoutAStampChangeNothing) {
  Pass(BinaryStamp(1451651696789) +
       TextFrame("2016-01-01 12:34:56.789 utc") +  // the search is exact
       TextFrame("0123456789") +                   // 10 bytes without UTC
       Hex("C0 09 C0"));                           // only the type byte
  ASSERT_EQ(recorder.frames.size(), 4u);
  for (const testing::RecordedFrame& frame : recorder.frames) {
    EXPECT_EQ(frame.stamp_text, "1 Jan 2016 12:34:56.789 UTC");
  }
  EXPECT_EQ(state.StampMillis, 1451651696789.0);
  EXPECT_EQ(window.DisplayText(), "");
}

TEST_F(TimestampTest, EveryPassStartsWithoutAStampAndWithAnEmptyLog) {
  const std::string capture = Hex("C0 00 41 C0") + BinaryStamp(1451651696789) + Hex("C0 00 42 C0");
  Pass(capture);
  recorder = testing::FrameRecorder();
  Pass(capture);
  ASSERT_EQ(recorder.frames.size(), 3u);
  EXPECT_EQ(recorder.frames[0].stamp_text, "");
  EXPECT_EQ(recorder.frames[2].stamp_text, "1 Jan 2016 12:34:56.789 UTC");
  EXPECT_EQ(window.Text4(), "00000151FD2F0895 -> 1 Jan 2016 12:34:56.789\r\n");
  // A capture without stamps: nothing of the one before.
  Pass(Hex("C0 00 41 C0"));
  EXPECT_EQ(state.StampText, "");
  EXPECT_EQ(state.StampMillis, 0.0);
  EXPECT_EQ(window.Text4(), "");
}

TEST_F(TimestampTest, MidnightShowsTheDateAloneAndOutOfRangeTheTimeAlone) {
  Pass(BinaryStamp(1451606400000) +  // 2016-01-01 00:00:00.000
       Hex("C0 00 41 C0") + BinaryStamp(0xFFFFFFFFFFFFFFFFull) + Hex("C0 00 42 C0"));
  ASSERT_EQ(recorder.frames.size(), 4u);
  EXPECT_EQ(recorder.frames[1].stamp_text, "1 Jan 2016.000 UTC");
  // 2^64 - 1 as a double is 18446744073709551616
  EXPECT_EQ(recorder.frames[3].stamp_text, "00:00:00.616 UTC");
  EXPECT_EQ(window.Text4(),
            "00000151FA7BDC00 -> 1 Jan 2016.000\r\n"
            "FFFFFFFFFFFFFFFF -> 00:00:00.616\r\n");
}

TEST(SecondsToDateTest, CalendarAndRange) {
  EXPECT_EQ(SecondsToDate(0), (CivilDateTime{1970, 1, 1, 0, 0, 0}));
  EXPECT_EQ(SecondsToDate(1451651696.789), (CivilDateTime{2016, 1, 1, 12, 34, 56}));
  EXPECT_EQ(SecondsToDate(951782400), (CivilDateTime{2000, 2, 29, 0, 0, 0}));
  // The fraction is dropped, never rounded up into the next second.
  EXPECT_EQ(SecondsToDate(59.999), (CivilDateTime{1970, 1, 1, 0, 0, 59}));
  EXPECT_EQ(SecondsToDate(253402300799.0), (CivilDateTime{9999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(SecondsToDate(253402300799.999), (CivilDateTime{9999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(SecondsToDate(253402300800.0), kZeroDateTime);
  EXPECT_EQ(SecondsToDate(1e300), kZeroDateTime);
  EXPECT_EQ(SecondsToDate(std::nan("")), kZeroDateTime);
  EXPECT_EQ(SecondsToDate(-86400), (CivilDateTime{1969, 12, 31, 0, 0, 0}));
  EXPECT_EQ(SecondsToDate(-1e13), kZeroDateTime);
}

TEST(MillisPartTest, ThreeDigits) {
  EXPECT_EQ(MillisPart(5), "005");
  EXPECT_EQ(MillisPart(50), "050");
  EXPECT_EQ(MillisPart(789), "789");
  EXPECT_EQ(MillisPart(0), "000");
  EXPECT_EQ(MillisPart(1451651696789.0), "789");
  EXPECT_EQ(MillisPart(1000), "000");
}

// Whole stamps are taken apart without fmod; beyond 2^53 and at 2^64 the digits must still be
// those of fmod.
TEST(MillisPartTest, LargeStampsGiveTheDigitsOfFmod) {
  const double values[] = {9007199254740993.0,     9007199254740999.0,     1e17 + 123, 1e19,
                           18446744073709549568.0, 18446744073709551616.0, 1e30};
  for (double v : values) {
    const int r = static_cast<int>(std::fmod(v, 1000.0));
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03d", r);
    EXPECT_EQ(MillisPart(v), digits) << v;
  }
}

TEST(GeneralDateTextTest, DateTimeDateAloneTimeAlone) {
  HeadlessWindow w;
  EXPECT_EQ(GeneralDateText(w, {2016, 1, 1, 12, 34, 56}), "1 Jan 2016 12:34:56");
  EXPECT_EQ(GeneralDateText(w, {2016, 1, 1, 0, 0, 0}), "1 Jan 2016");
  EXPECT_EQ(GeneralDateText(w, kZeroDateTime), "00:00:00");
  EXPECT_EQ(GeneralDateText(w, {1899, 12, 30, 5, 6, 7}), "05:06:07");
  // The headless window's texts at the ends of the range: years with four digits, always.
  EXPECT_EQ(GeneralDateText(w, {100, 3, 1, 0, 0, 1}), "1 Mar 0100 00:00:01");
  EXPECT_EQ(GeneralDateText(w, {9999, 12, 31, 23, 59, 59}), "31 Dec 9999 23:59:59");
  EXPECT_EQ(GeneralDateText(w, {2016, 10, 9, 10, 0, 0}), "9 Oct 2016 10:00:00");
}

}  // namespace
}  // namespace packscope
