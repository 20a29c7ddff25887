#include "capture/frame_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/errors.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "capture/line_sink.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Hex;
using ColorRun = DisplayModel::Run;

class StringSink : public LineSink {
 public:
  void Write(std::string_view bytes) override { text.append(bytes); }
  std::string text;
};

const std::string kSeparator = std::string(80, '_') + "\r\n";

// A UI frame CQ <- QQ0QQ-1 with the payload "Hi" (14 address bytes, control 03, PID F0).
const std::string kUiFrame = Hex("C0 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 C0");

class FrameOutputTest : public testing::TempDirTest {
 protected:
  void Pass(const std::string& bytes, std::int16_t mode = kScreen) {
    state.CaptureFileName = WriteCapture("c.kss", bytes);
    state.OutputMode = mode;
    state.OutputFile = mode == kScreen ? nullptr : &sink;
    ReadCapture(state, window);
  }
  DecoderState state;
  HeadlessWindow window;
  StringSink sink;
};

TEST_F(FrameOutputTest, ScreenBlockOfTheStoredFrame) {
  Pass(Hex("C0 00 41 42 C0"));
  const std::string stamp = "\r\n";
  const std::string dump = "000 > C0 00 41 42 C0 \r\n\r\n";
  const std::string ascii = "\xC0.AB\xC0\r\n";
  EXPECT_EQ(window.DisplayText(), stamp + dump + ascii + kSeparator);
  const auto dump_at = static_cast<std::int64_t>(stamp.size());
  const auto ascii_at = dump_at + static_cast<std::int64_t>(dump.size());
  EXPECT_EQ(window.Display().Runs(),
            (std::vector<ColorRun>{{0, kBlack}, {dump_at, kBlue}, {ascii_at, kGreen}}));
  EXPECT_EQ(window.SelStart(), window.Display().Size());
}

TEST_F(FrameOutputTest, ScreenBlockOfTheUnescapedFrame) {
  window.SetCheck1(true);
  Pass(Hex("C0 00 41 DB DC C0"));
  EXPECT_EQ(window.DisplayText(), "\r\n000 > 00 41 C0 \r\n\r\n.A\xC0\r\n" + kSeparator);
  EXPECT_EQ(window.Display().Runs(), (std::vector<ColorRun>{{0, kBlack}, {2, kRed}, {21, kGreen}}));
}

TEST_F(FrameOutputTest, EmptyFrameOnScreen) {
  window.SetCheck1(true);
  Pass(Hex("C0 C0"));
  EXPECT_EQ(window.DisplayText(), "\r\n000 > \r\n\r\n\r\n" + kSeparator);
  window.SetCheck1(false);
  Pass(Hex("C0 C0"));
  EXPECT_EQ(window.DisplayText(), "\r\n000 > C0 C0 \r\n\r\n\xC0\xC0\r\n" + kSeparator);
}

TEST_F(FrameOutputTest, TheStampLeadsEveryBlockUntilTheNextStamp) {
  Pass(Hex("C0 09 00 00 01 51 FD 2F 08 95 C0 C0 00 41 C0 C0 00 42 C0"));
  const std::string stamp = "1 Jan 2016 12:34:56.789 UTC\r\n";
  EXPECT_EQ(window.DisplayText(), stamp + "000 > C0 00 41 C0 \r\n\r\n\xC0.A\xC0\r\n" + kSeparator +
                                      stamp + "000 > C0 00 42 C0 \r\n\r\n\xC0.B\xC0\r\n" +
                                      kSeparator);
}

TEST_F(FrameOutputTest, LongFramesDumpOverSeveralLines) {
  std::string frame = "\xC0";
  for (int i = 0; i < 25; ++i) frame.push_back(static_cast<char>(0x41 + i));
  frame += "\xC0";
  window.SetCheck1(true);
  Pass(frame);
  EXPECT_EQ(window.DisplayText(),
            "\r\n000 > 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 51 52 53 54 \r\n"
            "020 > 55 56 57 58 59 \r\n\r\nABCDEFGHIJKLMNOPQRSTUVWXY\r\n" +
                kSeparator);
}

TEST_F(FrameOutputTest, FileLayouts) {
  const std::string capture =
      Hex("C0 09 00 00 01 51 FD 2F 08 95 C0") + kUiFrame + Hex("C0 00 41 42 C0");
  const std::string raw1 = "C0 00 86 A2 40 40 40 40 60 A2 A2 60 A2 A2 40 63 03 F0 48 69 C0 ";
  const std::string stamp = "1 Jan 2016 12:34:56.789 UTC";

  Pass(capture, kHexComplete);
  EXPECT_EQ(sink.text, raw1 + "\r\nC0 00 41 42 C0 \r\n");
  sink.text.clear();
  Pass(capture, kHexKissFrame);
  EXPECT_EQ(sink.text, raw1.substr(3, raw1.size() - 6) + "\r\n00 41 42 \r\n");
  sink.text.clear();
  // The short frame 00 41 42 is decoded from the UI frame's bytes that FrameBytes still holds:
  // control 03, PID F0, and no information field within its three bytes.
  Pass(capture, kHexPayload);
  EXPECT_EQ(sink.text, "48 69 \r\n\r\n");
  sink.text.clear();
  Pass(capture, kHexPayloadTime);
  EXPECT_EQ(sink.text, stamp + ": 48 69 \r\n" + stamp + ": \r\n");
  sink.text.clear();
  Pass(capture, kAsciiPayloadTime);
  EXPECT_EQ(sink.text, stamp + ": \xC0.\x86\xA2@@@@`\xA2\xA2`\xA2\xA2@c.\xF0Hi\xC0\r\n" + stamp +
                           ": \xC0.AB\xC0\r\n");
  // A file pass leaves the display empty.
  EXPECT_EQ(window.DisplayText(), "");
}

TEST_F(FrameOutputTest, PayloadLayoutsWithoutAStampOrWithoutTheDecoder) {
  state.StampText.clear();
  Pass(kUiFrame, kHexPayloadTime);
  EXPECT_EQ(sink.text, ": 48 69 \r\n");
  sink.text.clear();
  // Without the decoder every frame repeats the payload decoded last.
  window.SetCheck2(false);
  Pass(kUiFrame + Hex("C0 00 41 C0 C0 00 42 C0"), kHexPayload);
  EXPECT_EQ(sink.text, "48 69 \r\n48 69 \r\n48 69 \r\n");
}

TEST_F(FrameOutputTest, OnlyTimestampFramesGiveNoOutput) {
  Pass(Hex("C0 09 00 00 01 51 FD 2F 08 95 C0 C0 09 31 32 C0"), kHexComplete);
  EXPECT_EQ(sink.text, "");
  Pass(Hex("C0 09 00 00 01 51 FD 2F 08 95 C0"));
  EXPECT_EQ(window.DisplayText(), "");
}

// The converter's kind of window: it shows nothing as the frames are read and keeps no stamp log,
// so passes make only what their mode reads.
class QuietWindow : public HeadlessWindow {
 public:
  bool ShowsFramesAsRead() const override { return false; }
  bool KeepsStampLog() const override { return false; }
};

// Every mode writes the same for it as for a window that shows everything, and its Label1 gets
// the counts once, also when a frame too long ends the pass; the boxes and the log get nothing.
TEST_F(FrameOutputTest, AWindowThatShowsNothingAsReadGetsTheSameOutput) {
  const std::string frames = Hex("C0 09 00 00 01 51 FD 2F 08 95 C0") + kUiFrame +
                             Hex("C0 00 41 DB DC DB 42 C0 C0 C0 09") + "2016-01-01 12:00:00 UTC" +
                             Hex("C0 00 DB DD 43 C0 C0 00 44 DB");
  const std::string too_long = Hex("C0 00") + std::string(kMaxFrameLength, 'A') + Hex("C0");
  for (const std::string& capture : {frames, frames + too_long}) {
    const std::string path = WriteCapture("c.kss", capture);
    for (const std::int16_t mode :
         {kScreen, kHexComplete, kHexKissFrame, kHexPayload, kHexPayloadTime, kAsciiPayloadTime}) {
      for (const bool check1 : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "mode " << mode << ", Check1 " << check1 << ", "
                                          << capture.size() << " bytes");
        HeadlessWindow shown;
        QuietWindow quiet;
        StringSink shown_out;
        StringSink quiet_out;
        for (auto [w, out] :
             {std::pair<HeadlessWindow*, StringSink*>{&shown, &shown_out}, {&quiet, &quiet_out}}) {
          DecoderState s;
          s.CaptureFileName = path;
          s.OutputMode = mode;
          s.OutputFile = out;
          w->SetCheck1(check1);
          try {
            ReadCapture(s, *w);
          } catch (const CommandError&) {
            EXPECT_EQ(capture.size(), frames.size() + too_long.size());
          }
        }
        EXPECT_EQ(quiet_out.text, shown_out.text);
        EXPECT_EQ(quiet.DisplayText(), shown.DisplayText());
        EXPECT_EQ(quiet.Display().Runs(), shown.Display().Runs());
        EXPECT_EQ(quiet.Label1(), shown.Label1());
        EXPECT_EQ(quiet.Label1(), "7 frames / 63 bytes");
        EXPECT_EQ(quiet.Text2() + quiet.Text3() + quiet.Text4(), "");
      }
    }
  }
}

}  // namespace
}  // namespace packscope
