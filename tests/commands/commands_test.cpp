#include "commands/commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "capture/headless_window.h"
#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::FileExists;
using testing::Hex;
using testing::ReadFile;
using testing::WriteFile;

TEST(DeriveOutputNameTest, CutsTheFileNameAtItsFirstDot) {
  EXPECT_EQ(DeriveOutputName("/captures/pass1.kss", "hex"), "/captures/pass1.hex");
  EXPECT_EQ(DeriveOutputName("/captures/pass1.2021-05-03.kss", "txt"), "/captures/pass1.txt");
  EXPECT_EQ(DeriveOutputName("/data/sat.logs/pass1.kss", "hex"), "/data/sat.logs/pass1.hex");
  EXPECT_EQ(DeriveOutputName("/captures/pass1", "log"), "/captures/pass1.log");
  EXPECT_EQ(DeriveOutputName("/captures/pass1.", "hex"), "/captures/pass1.hex");
  EXPECT_EQ(DeriveOutputName("pass1.kss", "hex"), "pass1.hex");
  EXPECT_EQ(DeriveOutputName("pass1", "hex"), "pass1.hex");
  EXPECT_EQ(DeriveOutputName("/a.b/c.d/pass", "txt"), "/a.b/c.d/pass.txt");
}

TEST(ColumnHeaderTest, NumbersAboveEveryGroupAndALineOfDashes) {
  const auto header = ColumnHeader();
  ASSERT_EQ(header[0].size(), 300u);
  EXPECT_EQ(header[0].substr(0, 9), "00 01 02 ");
  EXPECT_EQ(header[0].substr(297), "99 ");
  EXPECT_EQ(header[0].substr(3 * 42, 3), "42 ");
  EXPECT_EQ(header[1], std::string(300, '-'));
}

const std::string kCapture =
    Hex("C0 09 00 00 01 51 FD 2F 08 95 C0"
        " C0 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 C0"
        " C0 00 41 42 C0");

class CommandsTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    testing::TempDirTest::SetUp();
    capture = WriteCapture("pass1.kss", kCapture);
  }
  std::string Header() const {
    const auto h = ColumnHeader();
    return h[0] + "\r\n" + h[1] + "\r\n";
  }
  DecoderState state;
  HeadlessWindow window;
  std::string capture;
};

TEST_F(CommandsTest, OpeningShowsTheCapture) {
  OpenCapture(state, window, capture);
  EXPECT_EQ(window.Label2(), "File: " + capture);
  EXPECT_EQ(state.CaptureFileName, capture);
  EXPECT_EQ(state.OutputMode, kScreen);
  EXPECT_EQ(window.Label1(), "3 frames / 31 bytes");
  EXPECT_NE(window.DisplayText().find("000 > C0 00 41 42 C0"), std::string::npos);
  // The last frame, 00 41 42, has "!" (0x42 >> 1) where the UI frame had "Q": the rest of the
  // destination comes from the UI frame's bytes.
  EXPECT_EQ(window.Text2(), "-!-");
  EXPECT_EQ(window.Text3(), "-QQ0QQ-1-");
}

TEST_F(CommandsTest, ACancelledOpenClearsTheCaptureAndNothingElse) {
  OpenCapture(state, window, capture);
  const std::string display = window.DisplayText();
  OpenCapture(state, window, "");
  EXPECT_EQ(state.CaptureFileName, "");
  EXPECT_EQ(window.Label2(), "File: " + capture);
  EXPECT_EQ(window.DisplayText(), display);
  // With no capture chosen, Check1 and the write commands do nothing.
  window.SetCheck1(true);
  Check1Clicked(state, window);
  EXPECT_EQ(window.DisplayText(), display);
  for (const WriteCommand& c : kWriteCommands) EXPECT_FALSE(RunWriteCommand(state, window, c));
  EXPECT_FALSE(WriteLogfile(state, window));
  EXPECT_FALSE(FileExists(PathOf("pass1.hex")));
  EXPECT_FALSE(FileExists(PathOf("pass1.txt")));
  EXPECT_FALSE(FileExists(PathOf("pass1.log")));
  EXPECT_EQ(window.Label2(), "File: " + capture);
  EXPECT_EQ(state.OutputMode, kScreen);
  EXPECT_TRUE(window.Errors().empty());
}

TEST_F(CommandsTest, DropsShowTheFirstFileOnly) {
  int events = 0;
  DropFiles(state, window, {}, [&] { ++events; });
  EXPECT_EQ(events, 0);
  EXPECT_EQ(state.CaptureFileName, "");
  EXPECT_EQ(window.Label2(), "");

  const std::string other = WriteCapture("other.txt", Hex("C0 00 41 C0"));
  DropFiles(state, window, {other, capture, capture}, [&] {
    ++events;
    EXPECT_EQ(window.Label2(), "File: " + other);  // the label is set before the events run
    EXPECT_EQ(window.BusyCount(), 0);              // ...and before the pass
  });
  EXPECT_EQ(events, 1);
  EXPECT_EQ(state.CaptureFileName, other);
  EXPECT_EQ(window.Label1(), "1 frames / 2 bytes");
}

TEST_F(CommandsTest, Check1ShowsTheCaptureAgainInTheOtherView) {
  OpenCapture(state, window, capture);
  RunWriteCommand(state, window, kWriteCommands[0]);
  window.SetCheck1(true);
  Check1Clicked(state, window);
  EXPECT_EQ(state.OutputMode, kScreen);
  EXPECT_NE(window.DisplayText().find("000 > 00 41 42 \r\n"), std::string::npos);
  EXPECT_EQ(window.Label2(), PathOf("pass1.hex") + " has been written");
}

TEST_F(CommandsTest, WriteCommandsWriteTheirLayoutNextToTheCapture) {
  state.CaptureFileName = capture;
  const std::string hex = PathOf("pass1.hex");
  const std::string stamp = "1 Jan 2016 12:34:56.789 UTC";
  const std::string raw = "C0 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 C0 ";

  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[0]));
  EXPECT_EQ(ReadFile(hex), Header() + raw + "\r\nC0 00 41 42 C0 \r\n");
  EXPECT_EQ(window.Label2(), hex + " has been written");
  EXPECT_EQ(state.OutputFileName, hex);
  EXPECT_EQ(state.OutputMode, kHexComplete);

  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[1]));
  EXPECT_EQ(ReadFile(hex), Header() + raw.substr(3, raw.size() - 6) + "\r\n00 41 42 \r\n");
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[2]));
  EXPECT_EQ(ReadFile(hex), "48 69 \r\n\r\n");
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[3]));
  EXPECT_EQ(ReadFile(hex), stamp + ": 48 69 \r\n" + stamp + ": \r\n");
  EXPECT_EQ(state.OutputMode, kHexPayloadTime);
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[4]));
  EXPECT_EQ(ReadFile(PathOf("pass1.txt")),
            stamp + ": \xC0.\x86\xA2@@@@`\xA2\xA2`\xA2\xA2@c.\xF0Hi\xC0\r\n" + stamp +
                ": \xC0.AB\xC0\r\n");
  EXPECT_EQ(window.Label2(), PathOf("pass1.txt") + " has been written");
  EXPECT_EQ(window.DisplayText(), "");
  EXPECT_TRUE(window.Errors().empty());
}

TEST_F(CommandsTest, CapturesWithoutFramesGiveHeadersOrEmptyFiles) {
  state.CaptureFileName = WriteCapture("empty.kss", "");
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[0]));
  EXPECT_EQ(ReadFile(PathOf("empty.hex")), Header());
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[2]));
  EXPECT_EQ(ReadFile(PathOf("empty.hex")), "");
  state.CaptureFileName = WriteCapture("stamps.kss", Hex("C0 09 00 00 01 51 FD 2F 08 95 C0"));
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[1]));
  EXPECT_EQ(ReadFile(PathOf("stamps.hex")), Header());
  ASSERT_TRUE(RunWriteCommand(state, window, kWriteCommands[4]));
  EXPECT_EQ(ReadFile(PathOf("stamps.txt")), "");
}

TEST_F(CommandsTest, TheLogHoldsTheDisplayAndAnotherLineBreak) {
  OpenCapture(state, window, capture);
  const std::string display = window.DisplayText();
  state.OutputMode = kHexPayload;  // not touched by the log command
  ASSERT_TRUE(WriteLogfile(state, window));
  EXPECT_EQ(ReadFile(PathOf("pass1.log")), display + "\r\n");
  EXPECT_EQ(window.Label2(), PathOf("pass1.log") + " has been written");
  EXPECT_EQ(window.DisplayText(), display);
  EXPECT_EQ(state.OutputMode, kHexPayload);
  // A frame-writing command leaves the display as it was: the log holds it still.
  RunWriteCommand(state, window, kWriteCommands[2]);
  EXPECT_EQ(window.DisplayText(), display);
  ASSERT_TRUE(WriteLogfile(state, window));
  EXPECT_EQ(ReadFile(PathOf("pass1.log")), display + "\r\n");
}

// The streamed screen pass against the display a shown capture leaves and the log of it, in both
// views, on a capture with stamps, escapes, long frames and every frame type.
TEST_F(CommandsTest, TheScreenPassWritesWhatTheLogOfTheShownCaptureHolds) {
  gen::Options options;
  options.seed = 5;
  options.frames = 300;
  options.mix = true;
  options.max_length = 400;
  options.max_digis = 8;
  const std::string mixed =
      WriteCapture("mixed.kss", Hex("41 C0 00 DB 41 DB C0 C0") +
                                    gen::GenerateCaptureBytes(options) + Hex("C0 00 41 DB DC"));
  for (const bool kiss_view : {false, true}) {
    SCOPED_TRACE(kiss_view ? "Decode Kissframe" : "as stored");
    DecoderState shown_state;
    HeadlessWindow shown;
    shown.SetCheck1(kiss_view);
    ASSERT_TRUE(OpenCapture(shown_state, shown, mixed));
    ASSERT_TRUE(WriteLogfile(shown_state, shown, PathOf("shown.log")));

    DecoderState streamed_state;
    streamed_state.CaptureFileName = mixed;
    streamed_state.OutputMode = kHexPayload;
    HeadlessWindow streamed;
    streamed.SetCheck1(kiss_view);
    streamed.SetDisplayText("earlier text");
    ASSERT_TRUE(WriteScreenPass(streamed_state, streamed));
    const std::string log = PathOf("mixed.log");
    EXPECT_EQ(ReadFile(log), ReadFile(PathOf("shown.log")));
    EXPECT_EQ(ReadFile(log).size(), shown.DisplayText().size() + 2);
    // The display is not the pass's; everything else is as the shown pass left it.
    EXPECT_EQ(streamed.DisplayText(), "earlier text");
    EXPECT_EQ(streamed.Label1(), shown.Label1());
    EXPECT_EQ(streamed.Text2(), shown.Text2());
    EXPECT_EQ(streamed.Text3(), shown.Text3());
    EXPECT_EQ(streamed.Text4(), shown.Text4());
    EXPECT_EQ(streamed.Label2(), log + " has been written");
    EXPECT_EQ(streamed_state.OutputMode, kScreen);
    EXPECT_EQ(streamed_state.FrameCount, shown_state.FrameCount);
    EXPECT_EQ(streamed.BusyCount(), 1);
    EXPECT_FALSE(streamed.Busy());
    EXPECT_TRUE(streamed.Errors().empty());
  }
}

TEST_F(CommandsTest, AFailedScreenPassWritesNothing) {
  const std::string log = PathOf("pass1.log");
  WriteFile(log, "earlier output");
  // A frame too long: the blocks of the frames before it are not written either.
  WriteCapture("pass1.kss", kCapture + Hex("C0") + std::string(70000, 'A'));
  state.CaptureFileName = capture;
  EXPECT_FALSE(WriteScreenPass(state, window));
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_NE(window.Errors()[0].find("Frame 4 at byte offset 37"), std::string::npos)
      << window.Errors()[0];
  EXPECT_NE(window.Errors()[0].find("Nothing was written to \"" + log + "\"."), std::string::npos)
      << window.Errors()[0];
  EXPECT_EQ(ReadFile(log), "earlier output");
  EXPECT_FALSE(window.Busy());

  // The capture is never its own output; without a capture nothing happens at all.
  window.ClearErrors();
  EXPECT_FALSE(WriteScreenPass(state, window, capture));
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_NE(window.Errors()[0].find("it is the capture itself"), std::string::npos);
  state.CaptureFileName.clear();
  window.ClearErrors();
  EXPECT_FALSE(WriteScreenPass(state, window, PathOf("none.log")));
  EXPECT_TRUE(window.Errors().empty());
  EXPECT_FALSE(FileExists(PathOf("none.log")));
  EXPECT_EQ(window.BusyCount(), 1);  // only the failed pass ran
}

TEST_F(CommandsTest, NoCommandReplacesTheCaptureItself) {
  const std::string hex_capture = WriteCapture("sat.hex", kCapture);
  state.CaptureFileName = hex_capture;
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[0]));
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_EQ(window.Errors()[0], "\"" + hex_capture +
                                    "\" was not written: it is the capture itself, which the "
                                    "command reads.");
  EXPECT_EQ(ReadFile(hex_capture), kCapture);
  EXPECT_EQ(window.Label2(), "");

  // Also when the capture is reached through a link, and for the log.
  const std::string link = PathOf("view.kss");
  ASSERT_EQ(::symlink(PathOf("view.log").c_str(), link.c_str()), 0);
  WriteFile(PathOf("view.log"), kCapture);
  state.CaptureFileName = link;
  window.ClearErrors();
  EXPECT_FALSE(WriteLogfile(state, window));
  EXPECT_EQ(window.Errors().size(), 1u);
  EXPECT_EQ(ReadFile(PathOf("view.log")), kCapture);
}

TEST_F(CommandsTest, AFailedCommandLeavesTheEarlierFile) {
  const std::string hex = PathOf("pass1.hex");
  WriteFile(hex, "earlier output");
  state.CaptureFileName = capture;
  ASSERT_EQ(::unlink(capture.c_str()), 0);
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[0]));
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_EQ(window.Errors()[0], "Cannot read the capture \"" + capture +
                                    "\": No such file or directory. Nothing was written to \"" +
                                    hex + "\".");
  EXPECT_EQ(ReadFile(hex), "earlier output");
  EXPECT_EQ(window.Label2(), "");
  EXPECT_FALSE(window.Busy());

  // A frame too long: the frames before it are not written either.
  WriteCapture("pass1.kss", Hex("C0 00 41 C0 C0") + std::string(70000, 'A'));
  window.ClearErrors();
  EXPECT_FALSE(RunWriteCommand(state, window, kWriteCommands[1]));
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_NE(window.Errors()[0].find("Frame 2 at byte offset 4"), std::string::npos);
  EXPECT_EQ(ReadFile(hex), "earlier output");
}

// The capture is opened before the output: a capture that is missing is reported as such, also
// where its output could not be written either (and none is begun for it).
TEST_F(CommandsTest, AMissingCaptureIsReportedBeforeItsOutput) {
  state.CaptureFileName = PathOf("gone/pass1.kss");
  const auto names = FileNames();
  for (const Layout& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    window.ClearErrors();
    EXPECT_FALSE(RunLayout(state, window, layout));
    EXPECT_EQ(window.Errors(),
              std::vector<std::string>{"Cannot read the capture \"" + state.CaptureFileName +
                                       "\": No such file or directory. Nothing was written to \"" +
                                       DeriveOutputName(state.CaptureFileName, layout.extension) +
                                       "\"."});
  }
  EXPECT_FALSE(window.Busy());
  EXPECT_EQ(FileNames(), names);
}

TEST_F(CommandsTest, ShowingAMissingCaptureReportsItAndKeepsGoing) {
  OpenCapture(state, window, PathOf("missing.kss"));
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_EQ(window.Errors()[0], "Cannot read the capture \"" + PathOf("missing.kss") +
                                    "\": No such file or directory.");
  EXPECT_EQ(window.Label2(), "");
  EXPECT_FALSE(window.Busy());
  OpenCapture(state, window, capture);
  EXPECT_EQ(window.Label1(), "3 frames / 31 bytes");
}

}  // namespace
}  // namespace packscope
