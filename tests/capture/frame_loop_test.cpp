#include "capture/frame_loop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "capture/errors.h"
#include "capture/headless_window.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Hex;
using testing::RecordedFrame;

class FrameLoopTest : public testing::TempDirTest {
 protected:
  // One pass over a capture of these bytes; returns the frames handed on.
  std::vector<RecordedFrame> Pass(const std::string& bytes) {
    state.CaptureFileName = WriteCapture("capture.kss", bytes);
    return PassOverFile();
  }
  std::vector<RecordedFrame> PassOverFile() {
    recorder = testing::FrameRecorder();
    state.Observer = &recorder;
    ReadCapture(state, window);
    return recorder.frames;
  }
  std::string Bytes(int from, int to) const {
    std::string out(state.FrameBytes.begin() + from, state.FrameBytes.begin() + to + 1);
    return out;
  }

  DecoderState state;
  HeadlessWindow window;
  testing::FrameRecorder recorder;
};

TEST_F(FrameLoopTest, OneFrame) {
  const auto frames = Pass(Hex("C0 00 41 42 C0"));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].raw_hex, "C0 00 41 42 C0 ");
  EXPECT_EQ(frames[0].frame_hex, "00 41 42 ");
  EXPECT_EQ(frames[0].length, 3);
  EXPECT_EQ(frames[0].offset, 0);
  EXPECT_FALSE(frames[0].info.recovered);
  EXPECT_FALSE(frames[0].info.cut_off);
  EXPECT_EQ(Bytes(1, 3), Hex("00 41 42"));
  EXPECT_EQ(state.FrameCount, 1);
  EXPECT_EQ(state.ByteCount, 3);
  EXPECT_EQ(window.Label1(), "1 frames / 3 bytes");
}

TEST_F(FrameLoopTest, FramesBackToBack) {
  const auto frames = Pass(Hex("C0 00 41 C0 C0 00 42 C0"));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].frame_hex, "00 41 ");
  EXPECT_EQ(frames[1].raw_hex, "C0 00 42 C0 ");
  EXPECT_EQ(frames[1].offset, 4);
  EXPECT_EQ(state.ByteCount, 4);
  EXPECT_EQ(window.Label1(), "2 frames / 4 bytes");
}

// A frame behind a shared FEND, garbage or an empty frame is read, opened by the FEND in front.
TEST_F(FrameLoopTest, SharedFendRecoversTheNextFrame) {
  const auto frames = Pass(Hex("C0 00 41 C0 00 42 C0"));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].frame_hex, "00 41 ");
  EXPECT_EQ(frames[1].raw_hex, "C0 00 42 C0 ");
  EXPECT_EQ(frames[1].frame_hex, "00 42 ");
  EXPECT_TRUE(frames[1].info.recovered);
  EXPECT_EQ(frames[1].offset, 3);
}

TEST_F(FrameLoopTest, BytesBeforeTheFirstFendAreSkippedThroughIt) {
  auto frames = Pass(Hex("41 C0 00 41 C0 C0 00 42 C0"));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].raw_hex, "C0 00 41 C0 ");
  EXPECT_EQ(frames[0].offset, 1);
  EXPECT_EQ(frames[1].frame_hex, "00 42 ");
  EXPECT_EQ(recorder.skipped, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 1}}));

  frames = Pass(Hex("41 C0 C0 00 42 C0"));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].raw_hex, "C0 00 42 C0 ");
  EXPECT_FALSE(frames[0].info.recovered);
}

TEST_F(FrameLoopTest, EmptyFramesAreCountedAndFramesBehindThemRead) {
  auto frames = Pass(Hex("C0 C0"));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].raw_hex, "C0 C0 ");
  EXPECT_EQ(frames[0].frame_hex, "");
  EXPECT_EQ(frames[0].length, 0);
  EXPECT_FALSE(frames[0].info.timestamp);
  EXPECT_EQ(window.Label1(), "1 frames / 0 bytes");

  frames = Pass(Hex("C0 00 41 C0 C0 C0 00 42 C0"));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].frame_hex, "00 41 ");
  EXPECT_EQ(frames[1].raw_hex, "C0 C0 ");
  EXPECT_EQ(frames[2].raw_hex, "C0 00 42 C0 ");
  EXPECT_EQ(frames[2].offset, 5);
}

TEST_F(FrameLoopTest, GarbageBetweenFramesBecomesAFrameOfItsOwn) {
  const auto frames = Pass(Hex("C0 00 41 C0 11 22 C0 C0 00 42 C0"));
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[1].raw_hex, "C0 11 22 C0 ");
  EXPECT_EQ(frames[2].frame_hex, "00 42 ");
}

TEST_F(FrameLoopTest, Unescaping) {
  auto frames = Pass(Hex("C0 00 DB DC DB DD C0"));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].raw_hex, "C0 00 DB DC DB DD C0 ");
  EXPECT_EQ(frames[0].frame_hex, "00 C0 DB ");
  EXPECT_EQ(frames[0].length, 3);
  EXPECT_TRUE(recorder.stray_escapes.empty());

  frames = Pass(Hex("C0 00 DB DD DC C0"));  // the plain DC behind an escaped FESC stays DC
  EXPECT_EQ(frames[0].frame_hex, "00 DB DC ");
}

TEST_F(FrameLoopTest, AFescBeforeAnyOtherByteOrLastIsKept) {
  auto frames = Pass(Hex("C0 00 DB 41 C0"));
  EXPECT_EQ(frames[0].frame_hex, "00 DB 41 ");
  EXPECT_EQ(recorder.stray_escapes, std::vector<std::int64_t>{2});

  frames = Pass(Hex("C0 00 DB C0"));
  EXPECT_EQ(frames[0].frame_hex, "00 DB ");
  EXPECT_EQ(recorder.stray_escapes, std::vector<std::int64_t>{2});

  // The byte behind a stray FESC is read on as usual: here it starts an escape itself.
  frames = Pass(Hex("C0 DB DB DC C0"));
  EXPECT_EQ(frames[0].frame_hex, "DB C0 ");

  frames = Pass(Hex("C0 00 DB"));  // cut off right behind a FESC
  EXPECT_EQ(frames[0].frame_hex, "00 DB ");
  EXPECT_EQ(frames[0].raw_hex, "C0 00 DB ");
}

TEST_F(FrameLoopTest, AFrameCutOffByTheEndOfTheFile) {
  auto frames = Pass(Hex("C0 00 41"));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].raw_hex, "C0 00 41 ");
  EXPECT_EQ(frames[0].frame_hex, "00 41 ");
  EXPECT_TRUE(frames[0].info.cut_off);

  // A last FEND opens a frame that the end of the file cuts off at once.
  frames = Pass(Hex("C0 00 41 C0 C0"));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].raw_hex, "C0 ");
  EXPECT_EQ(frames[1].length, 0);
}

TEST_F(FrameLoopTest, NoFendAtAllGivesNoFrame) {
  const auto frames = Pass(Hex("41 42 43 DB"));
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(recorder.skipped, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 4}}));
}

TEST_F(FrameLoopTest, AnEmptyCaptureKeepsTheCaptionAndEmptiesTheDisplay) {
  Pass(Hex("C0 00 41 C0"));
  window.SetDisplayText("old text");
  const auto frames = Pass("");
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(state.FrameCount, 0);
  EXPECT_EQ(state.ByteCount, 0);
  EXPECT_EQ(window.Label1(), "1 frames / 2 bytes");
  EXPECT_EQ(window.DisplayText(), "");
}

TEST_F(FrameLoopTest, EveryPassStartsCountingAgain) {
  Pass(Hex("C0 00 41 C0 C0 00 42 C0"));
  Pass(Hex("C0 00 41 42 43 C0"));
  EXPECT_EQ(state.FrameCount, 1);
  EXPECT_EQ(state.ByteCount, 4);
}

TEST_F(FrameLoopTest, FrameBytesKeepWhatLongerFramesLeft) {
  Pass(Hex("C0 00 01 02 03 04 05 C0 C0 00 AA C0"));
  EXPECT_EQ(state.FrameLength, 2);
  EXPECT_EQ(Bytes(1, 6), Hex("00 AA 02 03 04 05"));
  // ...also from an earlier pass.
  Pass(Hex("C0 09 C0"));
  EXPECT_EQ(Bytes(1, 6), Hex("09 AA 02 03 04 05"));
  EXPECT_EQ(state.FrameBytes[100], 0);
}

TEST_F(FrameLoopTest, LongFramesAreReadWhole) {
  std::string frame = "\xC0";
  for (int i = 0; i < 2048; ++i) frame.push_back(static_cast<char>(i % 0xC0));
  frame.push_back('\xC0');
  auto frames = Pass(frame);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].length, 2048);
  EXPECT_EQ(frames[0].frame_hex.size(), 3u * 2048);

  // The longest frame there is, every byte escaped.
  std::string longest = "\xC0";
  for (int i = 0; i < kMaxFrameLength; ++i) longest += "\xDB\xDC";
  longest += "\xC0";
  frames = Pass(longest + Hex("C0 00 41 C0"));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].length, kMaxFrameLength);
  EXPECT_EQ(frames[0].raw_hex.size(), 3u * (2 * kMaxFrameLength + 2));
  EXPECT_EQ(state.FrameBytes[kMaxFrameLength], 0xC0);
  EXPECT_EQ(frames[1].frame_hex, "00 41 ");
}

TEST_F(FrameLoopTest, ATooLongFrameEndsThePassAfterTheFramesBeforeIt) {
  std::string bytes = Hex("C0 00 41 C0");
  bytes += '\xC0';
  bytes += std::string(kMaxFrameLength + 1, 'A');
  bytes += Hex("C0 C0 00 42 C0");
  state.CaptureFileName = WriteCapture("long.kss", bytes);
  state.Observer = &recorder;
  try {
    ReadCapture(state, window);
    FAIL() << "no error";
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()), "Frame 2 at byte offset 4 of \"" + state.CaptureFileName +
                                         "\" is longer than 65535 bytes; the pass stopped there.");
  }
  ASSERT_EQ(recorder.frames.size(), 1u);
  EXPECT_EQ(window.Label1(), "1 frames / 2 bytes");
  EXPECT_NE(window.DisplayText().find("000 > C0 00 41 C0"), std::string::npos);
  EXPECT_FALSE(window.Busy());
}

TEST_F(FrameLoopTest, FramesAcrossReadBlocks) {
  // The reader takes the file in blocks of 1 MiB: an escape pair and a FEND fall on the seams.
  const std::size_t block = 1 << 20;
  std::string bytes;
  // Frames of 1000 bytes up to the seam, then one whose FESC is the first block's last byte.
  auto fill_to = [&](std::size_t end, char c) {
    while (bytes.size() + 1002 < end - 100) bytes += '\xC0' + std::string(1000, c) + '\xC0';
    bytes += '\xC0' + std::string(end - bytes.size() - 1, c);
  };
  fill_to(block - 1, 'A');
  bytes += Hex("DB DC 42 C0");
  const std::size_t escaped_frames = (block - 100) / 1002 + 1;
  fill_to(2 * block - 1, 'B');
  bytes += Hex("C0 00 43");  // this FEND is the second block's last byte
  ASSERT_EQ(bytes.find(Hex("C0 00 43")), 2 * block - 1);
  const auto frames = Pass(bytes);
  ASSERT_GT(frames.size(), escaped_frames + 1);
  const RecordedFrame& escaped = frames[escaped_frames - 1];
  EXPECT_EQ(escaped.frame_hex.substr(escaped.frame_hex.size() - 9), "41 C0 42 ");
  EXPECT_EQ(escaped.raw_hex.substr(escaped.raw_hex.size() - 15), "41 DB DC 42 C0 ");
  EXPECT_EQ(frames.back().frame_hex, "00 43 ");
  EXPECT_EQ(frames.back().offset, static_cast<std::int64_t>(2 * block - 1));
  EXPECT_EQ(frames[frames.size() - 2].frame_hex.substr(0, 6), "42 42 ");
}

TEST_F(FrameLoopTest, TheBusyPointerIsOnForThePassOnly) {
  Pass(Hex("C0 00 41 C0"));
  EXPECT_EQ(window.BusyCount(), 1);
  EXPECT_FALSE(window.Busy());
}

TEST_F(FrameLoopTest, CapturesThatCannotBeRead) {
  auto expect_error = [&](const std::string& path, const std::string& message) {
    state.CaptureFileName = path;
    window.SetDisplayText("old");
    try {
      ReadCapture(state, window);
      ADD_FAILURE() << "no error for " << path;
    } catch (const CommandError& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
    EXPECT_FALSE(window.Busy());
    EXPECT_EQ(window.DisplayText(), "");
    EXPECT_EQ(state.FrameCount, 0);
  };
  expect_error(PathOf("missing.kss"), "Cannot read the capture \"" + PathOf("missing.kss") +
                                          "\": No such file or directory.");
  expect_error(Dir(), "Cannot read the capture \"" + Dir() + "\": it is a folder, not a file.");
  const std::string file = WriteCapture("plain", "x");
  expect_error(file + "/pass.kss",
               "Cannot read the capture \"" + file + "/pass.kss\": Not a directory.");
  expect_error("", "Cannot read the capture: no file name was given.");
}

}  // namespace
}  // namespace packscope
