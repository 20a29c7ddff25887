// The capture appender: frames and their stamps read back whole by the frame loop, an earlier
// capture kept byte for byte (its broken tail closed by a FEND), a second recorder kept away,
// and a write that fails halfway cut back to the last whole frame.
#include "live/capture_appender.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "capture/errors.h"
#include "live/live_test_support.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::ByteVec;
using testing::ReadBack;
using testing::ReadFile;
using testing::ToBytes;

const ByteVec kUi = {0x00, 0x82, 0xA0, 0xA4, 0xA6, 0x40, 0x40, 0xE0, 0xA2, 0xA2,
                     0x64, 0xB0, 0xB2, 0x40, 0x61, 0x03, 0xF0, 0xC0, 0xDB, 0x41};

class CaptureAppenderTest : public testing::TempDirTest {};

TEST_F(CaptureAppenderTest, FramesReadBackWholeBehindTheirStamps) {
  const std::string path = PathOf("new.kss");
  {
    CaptureAppender capture(path);
    capture.Add(kUi, 1451651696789);
    capture.Add(ByteVec{0x00, 0x41}, std::nullopt);
    capture.Write();
    // A stamp whose bytes need escaping (C0 and DB among them).
    capture.Add(kUi, 0x0000C0DB0000C0DB);
    capture.Write();
    capture.Sync();
    EXPECT_EQ(capture.Size(), static_cast<std::int64_t>(ReadFile(path).size()));
  }
  const auto frames = ReadBack(path);
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(frames[0].bytes, BinaryStampFrame(1451651696789));
  EXPECT_EQ(frames[1].bytes, kUi);
  EXPECT_EQ(frames[1].millis, 1451651696789);
  EXPECT_EQ(frames[2].bytes, (ByteVec{0x00, 0x41}));
  EXPECT_EQ(frames[4].bytes, kUi);
  EXPECT_EQ(frames[4].millis, 0x0000C0DB0000C0DB);
  for (const auto& f : frames) EXPECT_FALSE(f.cut_off);
  EXPECT_EQ(ReadFile(path).substr(0, 11),
            std::string("\xC0\x09\x00\x00\x01\x51\xFD\x2F\x08\x95\xC0", 11));
}

TEST_F(CaptureAppenderTest, AnEarlierCaptureStaysAsItWasAndABrokenTailStaysAFrameOfItsOwn) {
  const std::string whole = std::string("\xC0\x00\x41\xC0", 4);
  const std::string broken = whole + std::string("\xC0\x00\x42\x43", 4);  // cut mid-frame
  for (const std::string& before : {whole, broken}) {
    const std::string path = WriteCapture("old.kss", before);
    {
      CaptureAppender capture(path);
      capture.Add(ByteVec{0x00, 0x44}, std::nullopt);
      capture.Write();
    }
    const std::string after = ReadFile(path);
    ASSERT_EQ(after.substr(0, before.size()), before);
    const bool closed = before == whole;
    EXPECT_EQ(after.substr(before.size()),
              std::string(closed ? "" : "\xC0") + std::string("\xC0\x00\x44\xC0", 4))
        << "a FEND only behind a broken tail";
    const auto frames = ReadBack(path);
    ASSERT_EQ(frames.size(), closed ? 2u : 3u);
    if (!closed) {
      EXPECT_EQ(frames[1].bytes, (ByteVec{0x00, 0x42, 0x43}));
    }
    EXPECT_EQ(frames.back().bytes, (ByteVec{0x00, 0x44}));
    EXPECT_FALSE(frames.back().cut_off);
  }
}

TEST_F(CaptureAppenderTest, RefusesAFolderASecondRecorderAndAPlantedLink) {
  EXPECT_THROW(CaptureAppender{Dir()}, CommandError);
  const std::string path = PathOf("busy.kss");
  CaptureAppender first(path);
  try {
    CaptureAppender second(path);
    ADD_FAILURE() << "a second recorder was let in";
  } catch (const CommandError& e) {
    EXPECT_NE(std::string(e.what()).find("another program is recording into it"), std::string::npos)
        << e.what();
  }
  // A link of another user in a sticky folder (as /tmp) may have been planted to make the
  // recording grow a file elsewhere; our own link there is followed.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a link of another user";
  const std::string shared = PathOf("shared");
  ASSERT_EQ(::mkdir(shared.c_str(), 01777), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  const std::string victim = WriteCapture("victim.kss", "precious");
  const std::string planted = shared + "/rec.kss";
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_EQ(::lchown(planted.c_str(), 65534, 65534), 0);
  try {
    CaptureAppender capture(planted);
    ADD_FAILURE() << "the planted link was followed";
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot record into the capture \"" + planted +
                  "\": it is a symbolic link of another user in a folder that is not theirs; it "
                  "was not followed.");
  }
  EXPECT_EQ(ReadFile(victim), "precious");
  ASSERT_EQ(::lchown(planted.c_str(), 0, 0), 0);
  {
    CaptureAppender capture(planted);
    capture.Add(ByteVec{0x00, 0x41}, std::nullopt);
    capture.Write();
  }
  EXPECT_EQ(ReadFile(victim), "precious" + std::string("\xC0\xC0\x00\x41\xC0", 5));
}

// The file size limit (as `ulimit -f` sets it) makes the kernel write part of a batch and
// refuse the rest, as a full disk does.
TEST_F(CaptureAppenderTest, AWriteThatFailsHalfwayIsCutBackToTheLastWholeFrame) {
  const std::string path = PathOf("full.kss");
  const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  ::getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit limit = old_limit;
  limit.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  std::string error;
  {
    CaptureAppender capture(path);
    try {
      for (int i = 0; i < 100; ++i) {
        capture.Add(kUi, 1451651696789 + i);
        if (i % 7 == 6) capture.Write();
      }
      capture.Write();
    } catch (const CommandError& e) {
      error = e.what();
    }
  }
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_NE(error.find("Cannot write to the capture"), std::string::npos) << error;
  EXPECT_NE(error.find("File too large"), std::string::npos) << error;
  const std::string bytes = ReadFile(path);
  EXPECT_GT(bytes.size(), 500u);
  EXPECT_EQ(bytes.back(), '\xC0') << "the capture ends with a whole frame";
  const auto frames = ReadBack(path);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].bytes,
              i % 2 == 0 ? BinaryStampFrame(1451651696789 + static_cast<int>(i / 2)) : kUi);
  }
  EXPECT_EQ(frames.size() % 2, 0u);
}

}  // namespace
}  // namespace packscope
