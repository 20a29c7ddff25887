// The window's commands on a window that shows captures through a CaptureView (the frame index
// and its texts made on demand), against the same commands on the headless window, which shows
// them by Screen passes: the display, Label1, Label2, the callsigns, the stamp, the timestamp log
// and the messages must come out the same, over generated captures with escapes, stamps of both
// kinds and frames longer than 2048 bytes, in both Check1 views; then what only the view does:
// Check1 without reading again, a capture that grew or was replaced, streams (FIFOs) copied as
// they come, and the screen dump written in pieces. (Captures that cannot be read, end in a
// frame too long or are cancelled are the main window's tests, through this view.)
#include "commands/capture_view.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/headless_window.h"
#include "commands/commands.h"
#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Hex;
using testing::ReadFile;
using testing::WriteFile;

// The headless window showing captures through a view, read on this thread.
class ViewWindow : public HeadlessWindow, public IndexedDisplay {
 public:
  CaptureView& View() override { return view_; }
  void ViewReset() override { ++resets; }
  IndexResult ReadView() override {
    SetBusy(true);
    std::atomic<bool> stop{false};
    const IndexResult result = view_.ReadOn(&stop, [&](std::int64_t done, std::int64_t total) {
      if (!ShowProgress(done, total)) stop = true;
    });
    view_.Update();
    SetBusy(false);
    return result;
  }
  const DisplaySource& DisplayShown() const override { return view_.Screen(); }
  bool ShowProgress(std::int64_t, std::int64_t) override { return !cancel; }

  bool cancel = false;  // every progress report answers: stop
  int resets = 0;

 private:
  CaptureView view_{*this};
};

std::string Text(const DisplaySource& source) {
  std::string text;
  source.AppendText(0, source.Size(), source.Size(), text);
  return text;
}

// Each line's colours, as "line:colour colour ...".
std::string Colors(const DisplaySource& source) {
  std::string out;
  std::vector<ColorRun> runs;
  for (std::int64_t line = 0; line < source.LineCount(); ++line) {
    source.LineColors(line, runs);
    out += std::to_string(line) + ":";
    for (const ColorRun& run : runs) out += " " + std::to_string(run.color);
    out += "\n";
  }
  return out;
}

std::string Stored(const std::string& frame) {
  std::string out = "\xC0";
  for (char c : frame) {
    if (c == '\xC0') {
      out += "\xDB\xDC";
    } else if (c == '\xDB') {
      out += "\xDB\xDD";
    } else {
      out += c;
    }
  }
  return out + "\xC0";
}

// Generated traffic with stamps of both kinds, frames longer than 2048 bytes, escapes, a text
// stamp with line breaks, a timestamp frame that sets none, and a frame cut off at the end.
std::string MixedCapture(std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::string capture;
  for (int round = 0; round < 6; ++round) {
    gen::Options options;
    options.seed = random();
    options.frames = static_cast<std::int64_t>(1 + random() % 10);
    options.stamps = static_cast<gen::StampForm>(random() % 3);
    options.mix = random() % 2 == 0;
    options.max_length = random() % 3 == 0 ? 3000 : 240;
    capture += gen::GenerateCaptureBytes(options);
    if (round == 2) capture += Stored("\x09noise\r\n2016-01-01\n12:00:00.000\rUTC tail");
    if (round == 3) capture += Stored("\x09 no time");
    if (round == 4) capture += Stored(std::string("\x00", 1) + std::string(2500, '\xC0'));
  }
  return capture + Hex("C0 00 82 A0 DB DC 63");
}

class CaptureViewTest : public testing::TempDirTest {
 protected:
  // The same command over both windows, and what each left.
  void ExpectLikeThePass(DecoderState& pass_state, HeadlessWindow& pass, DecoderState& state,
                         ViewWindow& window) {
    EXPECT_EQ(Text(window.DisplayShown()), pass.DisplayText());
    EXPECT_EQ(Colors(window.DisplayShown()), Colors(pass.Display()));
    EXPECT_EQ(Text(window.View().Log()), pass.Text4());
    EXPECT_EQ(window.Label1(), pass.Label1());
    EXPECT_EQ(window.Label2(), pass.Label2());
    EXPECT_EQ(window.Text2(), pass.Text2());
    EXPECT_EQ(window.Text3(), pass.Text3());
    EXPECT_EQ(state.PayloadHex, pass_state.PayloadHex);
    EXPECT_EQ(state.SourceCall, pass_state.SourceCall);
    EXPECT_EQ(window.Errors(), pass.Errors());
    EXPECT_EQ(state.CaptureFileName, pass_state.CaptureFileName);
    EXPECT_EQ(state.ShownInPart, pass_state.ShownInPart);
    EXPECT_EQ(state.FrameCount, pass_state.FrameCount);
    EXPECT_EQ(state.ByteCount, pass_state.ByteCount);
    EXPECT_EQ(state.StampText, pass_state.StampText);
    EXPECT_EQ(state.StampMillis, pass_state.StampMillis);
    EXPECT_EQ(state.FrameLength, pass_state.FrameLength);
    EXPECT_EQ(window.Busy(), false);
  }
};

TEST_F(CaptureViewTest, ShowsWhatAScreenPassShows) {
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    const std::string path = WriteCapture("mixed.kss", MixedCapture(seed));
    const std::string before = WriteCapture("before.kss", gen::GenerateCaptureBytes({}));
    for (const bool check1 : {false, true}) {
      for (const bool check2 : {true, false}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + (check1 ? ", Check1" : "") +
                     (check2 ? ", AX.25" : ""));
        HeadlessWindow pass;
        DecoderState pass_state;
        ViewWindow window;
        DecoderState state;
        // Another capture first: the decoder of the last frame reads bytes earlier frames left.
        const auto show = [&](HeadlessWindow& w, DecoderState& s) {
          w.SetCheck1(check1);
          OpenCapture(s, w, before);
          w.SetCheck2(check2);
          OpenCapture(s, w, path);
        };
        show(pass, pass_state);
        show(window, state);
        ExpectLikeThePass(pass_state, pass, state, window);
        EXPECT_EQ(window.resets, 2);
      }
    }
  }
}

TEST_F(CaptureViewTest, Check1SwitchesTheViewAndReadsOnlyWhatIsNew) {
  const std::string first = MixedCapture(3);
  const std::string path = WriteCapture("pass1.kss", first);
  ViewWindow window;
  DecoderState state;
  ASSERT_TRUE(OpenCapture(state, window, path));
  const std::uint64_t index = window.View().Shown().IndexId();

  const auto expect_pass = [&](bool check1, const std::string& what) {
    SCOPED_TRACE(what);
    HeadlessWindow pass;
    DecoderState pass_state;
    pass.SetCheck1(check1);
    ASSERT_TRUE(OpenCapture(pass_state, pass, path));
    ExpectLikeThePass(pass_state, pass, state, window);
  };
  window.SetCheck1(true);
  EXPECT_TRUE(Check1Clicked(state, window));
  EXPECT_EQ(window.View().Shown().IndexId(), index);
  expect_pass(true, "the other view");

  // Grown, its last frame (cut off so far) completed: read on by the same index.
  WriteFile(path, first + Hex("44 C0") + MixedCapture(4));
  window.SetCheck1(false);
  EXPECT_TRUE(Check1Clicked(state, window));
  EXPECT_EQ(window.View().Shown().IndexId(), index);
  expect_pass(false, "grown");

  // Replaced by a shorter capture: read anew.
  WriteFile(path + ".new", MixedCapture(5).substr(0, 900));
  ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
  EXPECT_TRUE(Check1Clicked(state, window));
  EXPECT_NE(window.View().Shown().IndexId(), index);
  expect_pass(false, "replaced");
  EXPECT_EQ(window.resets, 2);
}

TEST_F(CaptureViewTest, WhatTheWindowReadsOnByItselfIsShownAsAPassWouldShowIt) {
  const std::string first = MixedCapture(7);
  const std::string path = WriteCapture("live.kss", first);
  ViewWindow window;
  DecoderState state;
  ASSERT_TRUE(OpenCapture(state, window, path));
  WriteFile(path, first + Hex("C0") + MixedCapture(8));
  IndexResult result = window.View().ReadOn();
  window.View().Update();
  CaptureReadOn(state, window, result);
  HeadlessWindow pass;
  DecoderState pass_state;
  ASSERT_TRUE(OpenCapture(pass_state, pass, path));
  ExpectLikeThePass(pass_state, pass, state, window);

  // A frame too long arrives: reported; the capture gone: forgotten.
  WriteFile(path, first + Hex("C0") + MixedCapture(8) + Hex("C0 00") + std::string(70000, 'x'));
  result = window.View().ReadOn();
  window.View().Update();
  CaptureReadOn(state, window, result);
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_NE(window.Errors()[0].find("longer than 65535 bytes"), std::string::npos);
  EXPECT_EQ(state.CaptureFileName, path);
  CaptureReadOn(state, window, {IndexStatus::kUnreadable, "gone"});
  EXPECT_EQ(window.Errors().back(), "gone");
  EXPECT_EQ(state.CaptureFileName, "");
  EXPECT_EQ(window.DisplayShown().Size(), 0);
}

TEST_F(CaptureViewTest, TheScreenDumpIsWhatTheConverterWrites) {
  gen::Options options;
  options.frames = 6000;  // several pieces of the dump
  options.mix = true;
  const std::string path = WriteCapture("pass1.kss", gen::GenerateCaptureBytes(options));
  for (const bool check1 : {false, true}) {
    ViewWindow window;
    DecoderState state;
    window.SetCheck1(check1);
    ASSERT_TRUE(OpenCapture(state, window, path));
    ASSERT_TRUE(WriteLogfile(state, window, PathOf("view.log")));
    HeadlessWindow converter;
    DecoderState converter_state;
    converter.SetCheck1(check1);
    converter_state.CaptureFileName = path;
    ASSERT_TRUE(WriteScreenPass(converter_state, converter, PathOf("converter.log")));
    const std::string written = ReadFile(PathOf("view.log"));
    EXPECT_GT(written.size(), std::size_t{3} << 20);
    EXPECT_TRUE(written == ReadFile(PathOf("converter.log")));
    EXPECT_EQ(window.Label2(), PathOf("view.log") + " has been written");

    // Cancelled: nothing written, an earlier file kept.
    window.cancel = true;
    EXPECT_FALSE(WriteLogfile(state, window, PathOf("view.log")));
    EXPECT_EQ(window.Label2(), PathOf("view.log") + " was not written (cancelled)");
    EXPECT_TRUE(ReadFile(PathOf("view.log")) == written);
    EXPECT_FALSE(window.Busy());
  }
}

class StreamTest : public CaptureViewTest {
 protected:
  void SetUp() override {
    CaptureViewTest::SetUp();
    fifo_ = PathOf("tnc.fifo");
    ASSERT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
  }
  // Writes bytes into the FIFO in a few pieces, once a reader has opened it, then closes it.
  std::thread Writer(const std::string& bytes) {
    return std::thread([this, bytes] {
      std::ofstream out(fifo_, std::ios::binary);
      for (std::size_t at = 0; at < bytes.size(); at += bytes.size() / 3 + 1) {
        out << bytes.substr(at, bytes.size() / 3 + 1) << std::flush;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
      }
    });
  }
  std::string fifo_;
};

TEST_F(StreamTest, AFifoIsCopiedAsItComesShownAndWrittenFromTheCopy) {
  const std::string bytes = MixedCapture(11);
  const std::string file = WriteCapture("tnc.kss", bytes);
  ViewWindow window;
  DecoderState state;
  std::thread writer = Writer(bytes);
  EXPECT_TRUE(OpenCapture(state, window, fifo_));
  writer.join();
  EXPECT_TRUE(window.View().Copied());
  const std::string copy = window.View().ReadPath();
  EXPECT_EQ(state.CaptureCopy, copy);
  EXPECT_EQ(ReadFile(copy), bytes);

  HeadlessWindow pass;
  DecoderState pass_state;
  ASSERT_TRUE(OpenCapture(pass_state, pass, file));
  pass.SetLabel2Caption("File: " + fifo_);
  pass_state.CaptureFileName = fifo_;
  ExpectLikeThePass(pass_state, pass, state, window);

  // Check1 shows the other view; the stream, ended, is not read again.
  window.SetCheck1(true);
  EXPECT_TRUE(Check1Clicked(state, window));
  EXPECT_NE(Text(window.DisplayShown()).find("000 > 00 "), std::string::npos);
  // A write command reads the copy: the FIFO has no writer any more.
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[0]));
  pass_state.CaptureFileName = file;
  ASSERT_TRUE(RunWriteCommand(pass_state, pass, kWriteCommands[0], PathOf("file.hex")));
  EXPECT_EQ(ReadFile(PathOf("tnc.hex")), ReadFile(PathOf("file.hex")));

  // Another capture: the copy goes.
  ASSERT_TRUE(OpenCapture(state, window, file));
  EXPECT_EQ(state.CaptureCopy, "");
  EXPECT_NE(::access(copy.c_str(), F_OK), 0);
}

TEST_F(StreamTest, AFifoWithoutAWriterKeepsTheReadingWaitingUntilCancelled) {
  ViewWindow window;
  CaptureView& view = window.View();
  view.Open(fifo_);
  std::atomic<bool> cancel{false};
  int reports = 0;
  const auto started = std::chrono::steady_clock::now();
  const IndexResult result = view.ReadOn(&cancel, [&](std::int64_t done, std::int64_t total) {
    EXPECT_EQ(done, 0);
    EXPECT_EQ(total, -1);
    if (++reports == 4) cancel = true;  // some 200 ms of waiting
  });
  EXPECT_EQ(result.status, IndexStatus::kCancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  // Ended for good: read again, it answers as it ended.
  EXPECT_EQ(view.ReadOn().status, IndexStatus::kCancelled);
  EXPECT_EQ(view.LastStatus(), IndexStatus::kCancelled);
}

TEST_F(StreamTest, MessagesNameTheFifoNotItsCopy) {
  ViewWindow window;
  DecoderState state;
  std::thread writer =
      Writer(Stored(std::string("\x00\x41", 2)) + "\xC0\x00" + std::string(70000, 'A') + "\xC0");
  EXPECT_FALSE(OpenCapture(state, window, fifo_));
  writer.join();
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_EQ(window.Errors()[0], "Frame 2 at byte offset 4 of \"" + fifo_ +
                                    "\" is longer than 65535 bytes; the pass stopped there.");
  EXPECT_EQ(window.Label1(), "1 frames / 2 bytes");
}

// Inputs other than KISS are copied as KISS and shown as the pass over them shows them; a copy of
// an endless device stops before it fills the disk.
class CopiedInputTest : public CaptureViewTest {};

TEST_F(CopiedInputTest, ACompressedCaptureIsShownAndWrittenFromItsCopy) {
  const std::string bytes = MixedCapture(5);
  const std::string file = WriteCapture("pass.kss", bytes);
  ASSERT_EQ(std::system(("gzip -c " + file + " > " + PathOf("pass.kss.gz")).c_str()), 0);
  ViewWindow window;
  DecoderState state;
  EXPECT_TRUE(OpenCapture(state, window, PathOf("pass.kss.gz")));
  ASSERT_TRUE(window.View().Copied());
  EXPECT_EQ(window.View().Reading()->Kind(),
            (InputKind{InputFormat::kKiss, InputCompression::kGzip}));
  EXPECT_EQ(ReadFile(state.CaptureCopy), bytes);
  HeadlessWindow pass;
  DecoderState pass_state;
  ASSERT_TRUE(OpenCapture(pass_state, pass, PathOf("pass.kss.gz")));
  ExpectLikeThePass(pass_state, pass, state, window);
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[1]));
  ASSERT_TRUE(RunWriteCommand(pass_state, pass, kWriteCommands[1], PathOf("plain.hex")));
  EXPECT_EQ(ReadFile(PathOf("pass.hex")), ReadFile(PathOf("plain.hex")));
}

// A disk with room for the margin and a few megabytes more than the copy holds.
class SmallDisk : public FreeSpace {
 public:
  std::optional<DiskRoom> Room(const std::string& path) const override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    const std::int64_t size = std::int64_t{1} << 30;
    return DiskRoom{CopyMargin({0, size}) + (7 << 19) - st.st_size, size};
  }
};

TEST_F(CopiedInputTest, TheCopyOfAnEndlessDeviceStopsBeforeTheDiskFills) {
  SmallDisk disk;
  ViewWindow window;
  window.View().SetFreeSpace(&disk);
  DecoderState state;
  EXPECT_FALSE(OpenCapture(state, window, "/dev/zero"));
  EXPECT_EQ(window.Label2(),
            "File: /dev/zero (the temporary copy stopped at 3 MB to keep 512 MB of its disk free)");
  EXPECT_TRUE(window.Errors().empty());
  EXPECT_TRUE(state.ShownInPart);
  // The copy takes the room above the margin, short of one block read.
  const std::size_t copied = ReadFile(state.CaptureCopy).size();
  EXPECT_LE(copied, std::size_t{7} << 19);
  EXPECT_GT(copied, (std::size_t{7} << 19) - (std::size_t{1} << 20));
  // Ended for good: shown again, it is not read on.
  EXPECT_EQ(window.View().ReadOn().status, IndexStatus::kStopped);
}

TEST(CopyMarginTest, GrowsWithTheDiskWithinItsBounds) {
  constexpr std::int64_t kGiB = std::int64_t{1} << 30;
  EXPECT_EQ(CopyMargin({0, 4 * kGiB}), kGiB / 2);
  EXPECT_EQ(CopyMargin({0, 100 * kGiB}), 2 * kGiB);
  // A big disk nine-tenths full still takes a copy.
  EXPECT_EQ(CopyMargin({0, 2048 * kGiB}), 4 * kGiB);
}

}  // namespace
}  // namespace packscope
