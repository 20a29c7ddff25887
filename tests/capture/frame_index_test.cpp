// The frame index and the texts made from it on demand, against what a whole Screen pass gives:
// the pass's frames, its display (text, lines, colours), its timestamp log and its counts, over
// generated captures with every kind of frame the framing knows, in both Check1 views, also
// while the capture grows, and what the index does when it shrinks or is replaced.
#include "capture/frame_index.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/errors.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "capture/screen_text.h"
#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::FrameRecorder;
using testing::Hex;

std::string Escaped(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '\xC0') {
      out += "\xDB\xDC";
    } else if (c == '\xDB') {
      out += "\xDB\xDD";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Frame(const std::string& bytes) { return '\xC0' + Escaped(bytes) + '\xC0'; }

std::string BinaryStamp(std::uint64_t value) {
  std::string bytes = "\x09";
  for (int shift = 56; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(value >> shift));
  return Frame(bytes);
}

// A capture made of generated traffic and, between it, every odd piece the framing knows.
std::string VariedCapture(std::uint64_t seed) {
  std::mt19937_64 random(seed);
  auto pick = [&](std::uint64_t n) { return random() % n; };
  std::string capture;
  if (pick(2) == 0) capture += "garbage before the first FEND";
  for (int round = 0; round < 12; ++round) {
    gen::Options options;
    options.seed = random();
    options.frames = static_cast<std::int64_t>(1 + pick(12));
    options.stamps = static_cast<gen::StampForm>(pick(3));
    options.mix = pick(2) == 0;
    options.max_length = pick(4) == 0 ? 3000 : 240;
    capture += gen::GenerateCaptureBytes(options);
    switch (pick(14)) {
      case 0:  // a text stamp with CR and LF inside its 27 characters
        capture += Frame("\x09noise\r\n12-01\n12:00:00.000\rUTC tail");
        break;
      case 1:  // "UTC" near the start: the stamp text begins with the type byte
        capture += Frame("\x09\nUTC");
        break;
      case 2:  // a timestamp frame that sets no stamp
        capture += Frame("\x09 no time here");
        break;
      case 3:  // binary stamps with bytes that need escaping, out of range, zero
        capture += BinaryStamp(0x0000C0DB51FD2F08);
        capture += BinaryStamp(0xFFFFFFFFFFFFFFFF);
        capture += BinaryStamp(0);
        capture += BinaryStamp(1451606400000);  // midnight: the date alone
        break;
      case 4:  // stray escapes, one standing last
        capture += Hex("C0 00 41 DB 42 DB DB DC 43 DB C0");
        break;
      case 5:  // a frame behind a shared FEND, garbage between frames, empty frames
        capture += Hex("00 51 52 C0 C0 C0 C0 09 C0 53 C0");
        break;
      case 6: {  // longer than 2048 bytes, and stored longer than 65535
        std::string big(pick(2) == 0 ? 2500 : 40000, 'x');
        for (std::size_t i = 0; i < big.size(); i += 1 + pick(3)) big[i] = '\xC0';
        capture += Frame('\x00' + big);
        break;
      }
      case 7:  // a lone type byte and a lone timestamp type
        capture += Frame(std::string(1, '\x00')) + Frame("\x09");
        break;
      default:
        break;
    }
  }
  switch (pick(4)) {
    case 0:  // cut off by the end
      capture += Hex("C0 00 61 62 DB DC 63");
      break;
    case 1:  // cut off, a FESC standing last
      capture += Hex("C0 00 61 DB");
      break;
    case 2:  // a binary stamp cut off by the end: still a stamp, and a log line
      capture += BinaryStamp(1451651696789).substr(0, 10);
      break;
    default:
      break;
  }
  return capture;
}

// The regional date texts, or texts with line breaks in them (no locale has them, but nothing
// may break on them: the display's lines and the log follow the texts).
class RegionalTexts : public HeadlessWindow {
 public:
  std::string ShortDateText(int year, int month, int day) const override {
    const std::string date = HeadlessWindow::ShortDateText(year, month, day);
    return line_breaks ? "D\n" + date : date;
  }
  std::string LongTimeText(int hour, int minute, int second) const override {
    const std::string time = HeadlessWindow::LongTimeText(hour, minute, second);
    return line_breaks ? time + "\r\nT" : time;
  }
  bool line_breaks = false;
};

// What a whole pass shows, starting from an empty stamp, as the window shows it.
struct PassResult {
  RegionalTexts window;
  DecoderState state;
  FrameRecorder recorder;
  std::string error;
};

void RunPass(const std::string& path, bool check1, PassResult& pass, bool line_breaks = false) {
  pass.window.line_breaks = line_breaks;
  pass.window.SetCheck1(check1);
  pass.state.CaptureFileName = path;
  pass.state.Observer = &pass.recorder;
  try {
    ReadCapture(pass.state, pass.window);
  } catch (const CommandError& e) {
    pass.error = e.what();
  }
}

// Two display texts, line for line, offset for offset, run for run. Every line of a small text,
// a spread of lines of a large one.
void ExpectSameText(const DisplaySource& expected, const DisplaySource& actual,
                    const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(actual.Size(), expected.Size());
  ASSERT_EQ(actual.LineCount(), expected.LineCount());
  EXPECT_EQ(actual.MaxLineLength(), expected.MaxLineLength());
  const std::int64_t lines = expected.LineCount();
  const std::int64_t step = std::max<std::int64_t>(1, lines / 3000);
  std::vector<ColorRun> want_runs;
  std::vector<ColorRun> got_runs;
  for (std::int64_t line = 0; line < lines; line += (line + 1 >= lines - 3 ? 1 : step)) {
    const std::int64_t start = expected.LineStart(line);
    ASSERT_EQ(actual.LineStart(line), start) << "line " << line;
    const std::string text(expected.LineText(line));
    ASSERT_EQ(std::string(actual.LineText(line)), text) << "line " << line;
    expected.LineColors(line, want_runs);
    actual.LineColors(line, got_runs);
    ASSERT_EQ(got_runs, want_runs) << "line " << line;
    for (std::int64_t at : {start, start + static_cast<std::int64_t>(text.size()) / 2,
                            start + static_cast<std::int64_t>(text.size())}) {
      ASSERT_EQ(actual.LineOf(at), expected.LineOf(at)) << "offset " << at;
    }
  }
  EXPECT_EQ(actual.LineOf(expected.Size() + 5), lines - 1);
  std::string want;
  std::string got;
  ASSERT_TRUE(expected.AppendText(0, expected.Size(), expected.Size(), want));
  ASSERT_TRUE(actual.AppendText(0, actual.Size(), actual.Size(), got));
  EXPECT_TRUE(got == want) << "whole text differs";
  if (expected.Size() > 10) {
    got.clear();
    EXPECT_FALSE(actual.AppendText(3, expected.Size() - 3, expected.Size() - 7, got));
    EXPECT_EQ(got, "");
    ASSERT_TRUE(actual.AppendText(3, expected.Size() - 3, expected.Size(), got));
    EXPECT_TRUE(got == want.substr(3, want.size() - 6)) << "a range differs";
  }
}

DisplayModel DisplayModelOf(const std::string& text) {
  DisplayModel model;
  model.SetText(text);
  return model;
}

class FrameIndexTest : public testing::TempDirTest {
 protected:
  // The index of the capture at path against whole passes over it, in both views.
  void ExpectLikeThePass(const IndexSnapshot& snapshot, const std::string& path,
                         const std::string& what) {
    for (bool check1 : {false, true}) {
      PassResult pass;
      RunPass(path, check1, pass, texts_.line_breaks);
      const std::vector<testing::RecordedFrame>& frames = pass.recorder.frames;
      ASSERT_EQ(snapshot.FrameCount(), static_cast<std::int64_t>(frames.size())) << what;
      for (std::size_t i = 0; i < frames.size(); ++i) {
        const FrameRecord& r = snapshot.Frame(static_cast<std::int64_t>(i));
        const testing::RecordedFrame& f = frames[i];
        ASSERT_EQ(r.Offset(), f.offset) << what << " frame " << i;
        ASSERT_EQ(3 * r.StoredLength(), static_cast<std::int32_t>(f.raw_hex.size())) << i;
        ASSERT_EQ(r.Length(), f.length) << i;
        ASSERT_EQ(r.Recovered(), f.info.recovered) << i;
        ASSERT_EQ(r.CutOff(), f.info.cut_off) << i;
        ASSERT_EQ(r.Timestamp(), f.info.timestamp) << i;
      }
      if (!frames.empty()) {
        EXPECT_EQ(CountsCaption(snapshot.FrameCount(), snapshot.ByteCount()), pass.window.Label1());
      }
      screen_.SetKissView(check1);
      screen_.Update(snapshot);
      EXPECT_FALSE(screen_.Stale());
      ExpectSameText(pass.window.Display(), screen_, what + (check1 ? ", Check1" : ""));

      log_.Update(snapshot);
      ExpectSameText(DisplayModelOf(pass.window.Text4()), log_, what + ", timestamp log");

      // The bytes the AX.25 decoder of a next frame would find.
      const std::int32_t reach = snapshot.FrameBytesReach();
      EXPECT_TRUE(std::equal(snapshot.FrameBytesLeft().begin(),
                             snapshot.FrameBytesLeft().begin() + reach,
                             pass.state.FrameBytes.begin() + 1))
          << what;
    }
  }

  RegionalTexts texts_;
  ScreenText screen_{texts_};
  StampLogText log_{texts_};
};

TEST_F(FrameIndexTest, RenderedTextsAreThoseOfAWholePass) {
  for (std::uint64_t seed = 1; seed <= 24; ++seed) {
    const std::string path = WriteCapture("varied.kss", VariedCapture(seed));
    FrameIndex index(path);
    const IndexResult result = index.Extend();
    ASSERT_EQ(result.status, IndexStatus::kAtEnd) << result.message;
    ExpectLikeThePass(index.Snapshot(), path, "seed " + std::to_string(seed));
  }
}

TEST_F(FrameIndexTest, RegionalTextsWithLineBreaks) {
  texts_.line_breaks = true;
  const std::string path = WriteCapture("varied.kss", VariedCapture(31) + VariedCapture(32));
  FrameIndex index(path);
  ASSERT_EQ(index.Extend().status, IndexStatus::kAtEnd);
  ExpectLikeThePass(index.Snapshot(), path, "line breaks");
}

TEST_F(FrameIndexTest, AGrowingCaptureIsReadOnWhereTheIndexStopped) {
  // Over 1 MB, so that reads end inside frames, escapes and blocks.
  gen::Options options;
  options.seed = 5;
  options.frames = 9000;
  options.mix = true;
  const std::string whole = gen::GenerateCaptureBytes(options) + VariedCapture(77);
  std::mt19937_64 random(9);
  std::vector<std::size_t> cuts;
  for (int i = 0; i < 4; ++i) cuts.push_back(random() % whole.size());
  cuts.push_back(whole.find(Hex("DB DC")) + 1);  // between FESC and TFEND
  std::sort(cuts.begin(), cuts.end());
  cuts.push_back(whole.size());

  const std::string path = PathOf("growing.kss");
  testing::WriteFile(path, "");
  FrameIndex index(path);
  for (std::size_t cut : cuts) {
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 0, SEEK_END);
    const auto have = static_cast<std::size_t>(std::ftell(f));
    std::fwrite(whole.data() + have, 1, cut - have, f);
    std::fclose(f);
    const IndexResult result = index.Extend();
    ASSERT_EQ(result.status, IndexStatus::kAtEnd) << result.message;
    ExpectLikeThePass(index.Snapshot(), path, "cut at " + std::to_string(cut));
  }
}

TEST_F(FrameIndexTest, LaidOutInSlicesTheTextGrowsByWholeBlocks) {
  const std::string path = WriteCapture("slices.kss", VariedCapture(21) + VariedCapture(22));
  PassResult pass;
  RunPass(path, false, pass);
  const std::string& whole = pass.window.Display().Text();
  FrameIndex index(path);
  ASSERT_EQ(index.Extend().status, IndexStatus::kAtEnd);
  std::int64_t shown = -1;
  while (!screen_.Update(index.Snapshot(), 40)) {
    std::string part;
    ASSERT_TRUE(screen_.AppendText(0, screen_.Size(), screen_.Size(), part));
    ASSERT_GT(screen_.Size(), shown);
    shown = screen_.Size();
    ASSERT_EQ(whole.compare(0, part.size(), part), 0);
    ASSERT_TRUE(part.empty() || part.ends_with(std::string(80, '_') + "\r\n"));
    ASSERT_EQ(screen_.LineCount(), DisplayModelOf(part).LineCount());
  }
  ExpectSameText(pass.window.Display(), screen_, "in slices");
}

TEST_F(FrameIndexTest, ACaptureThatShrankOrWasReplacedIsNotReadOn) {
  const std::string bytes = VariedCapture(3);
  const std::string path = WriteCapture("c.kss", bytes);
  const std::string changed = "The capture " + Quoted(path) + " changed on disk.";
  {
    FrameIndex index(path);
    ASSERT_EQ(index.Extend().status, IndexStatus::kAtEnd);
    screen_.Update(index.Snapshot());
    std::string before;
    ASSERT_TRUE(screen_.AppendText(0, screen_.Size(), screen_.Size(), before));
    const std::size_t cut = bytes.size() / 2;
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(cut)), 0);
    const IndexResult result = index.Extend();
    EXPECT_EQ(result.status, IndexStatus::kChanged);
    EXPECT_EQ(result.message, changed);
    // The frames still in the file are shown; from the first that is not, blank lines of the
    // same shape.
    const IndexSnapshot s = index.Snapshot();
    std::int64_t gone = 0;
    while (s.Frame(gone).Offset() + s.Frame(gone).StoredLength() <= static_cast<std::int64_t>(cut))
      ++gone;
    const auto blank_from = static_cast<std::size_t>(screen_.BlockPlace(gone).offset);
    const std::int64_t size = screen_.Size();
    std::string after;
    ASSERT_TRUE(screen_.AppendText(0, size, size, after));
    EXPECT_TRUE(screen_.Stale());
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(after.substr(0, blank_from) == before.substr(0, blank_from));
    EXPECT_EQ(after.find(" > ", blank_from), std::string::npos);
    EXPECT_EQ(screen_.LineCount(), DisplayModelOf(after).LineCount());
  }
  {  // the same size, other bytes
    testing::WriteFile(path, bytes);
    FrameIndex index(path);
    ASSERT_EQ(index.Extend().status, IndexStatus::kAtEnd);
    std::string other = bytes;
    other.back() = static_cast<char>(other.back() ^ 1);
    testing::WriteFile(path, other + "more");
    EXPECT_EQ(index.Extend().status, IndexStatus::kChanged);
  }
  {  // another file put in its place
    testing::WriteFile(path, bytes);
    FrameIndex index(path);
    ASSERT_EQ(index.Extend().status, IndexStatus::kAtEnd);
    const std::string other = WriteCapture("other.kss", bytes + bytes);
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    EXPECT_EQ(index.Extend().status, IndexStatus::kChanged);
    // A new index reads the new file.
    FrameIndex again(path);
    ASSERT_EQ(again.Extend().status, IndexStatus::kAtEnd);
    ExpectLikeThePass(again.Snapshot(), path, "replaced");
  }
}

TEST_F(FrameIndexTest, ATooLongFrameEndsTheIndexAsItEndsThePass) {
  const std::string before = VariedCapture(11) + Hex("C0 C0");
  const std::string longest = '\xC0' + std::string(kMaxFrameLength, 'A');
  for (const std::string& bytes : {before + longest + "A" + before,
                                   // a FESC standing last behind the longest frame there is
                                   before + longest + '\xDB'}) {
    const std::string path = WriteCapture("long.kss", bytes);
    PassResult pass;
    RunPass(path, false, pass);
    ASSERT_FALSE(pass.error.empty());
    FrameIndex index(path);
    const IndexResult result = index.Extend();
    EXPECT_EQ(result.status, IndexStatus::kTooLong);
    EXPECT_EQ(result.message, pass.error);
    screen_.Update(index.Snapshot());
    EXPECT_EQ(index.Snapshot().FrameCount(),
              static_cast<std::int64_t>(pass.recorder.frames.size()));
    ExpectSameText(pass.window.Display(), screen_, "too long");
    EXPECT_EQ(index.Extend().message, pass.error);  // for good
  }
  // ...unless the capture is replaced.
  FrameIndex index(PathOf("long.kss"));
  EXPECT_EQ(index.Extend().status, IndexStatus::kTooLong);
  testing::WriteFile(PathOf("long.kss"), before);
  EXPECT_EQ(index.Extend().status, IndexStatus::kChanged);
}

TEST_F(FrameIndexTest, CancelKeepsWhatWasReadAndAnotherExtensionGoesOn) {
  gen::Options options;
  options.seed = 8;
  options.size = 3 << 20;
  options.frames = -1;
  const std::string path = WriteCapture("big.kss", gen::GenerateCaptureBytes(options));
  FrameIndex index(path);
  std::atomic<bool> cancel{false};
  std::vector<std::int64_t> progress;
  const IndexResult result = index.Extend(&cancel, [&](std::int64_t done, std::int64_t total) {
    progress.push_back(done);
    EXPECT_GE(total, 3 << 20);
    cancel = true;
  });
  EXPECT_EQ(result.status, IndexStatus::kCancelled);
  EXPECT_EQ(progress, std::vector<std::int64_t>{1 << 20});
  const IndexSnapshot part = index.Snapshot();
  EXPECT_GT(part.FrameCount(), 1000);
  EXPECT_EQ(part.CaptureSize(), 1 << 20);
  EXPECT_FALSE(part.AtEnd());

  EXPECT_EQ(index.Extend().status, IndexStatus::kAtEnd);
  EXPECT_TRUE(index.Snapshot().AtEnd());
  ExpectLikeThePass(index.Snapshot(), path, "after a cancel");
}

TEST_F(FrameIndexTest, SnapshotsAreReadWhileAnotherThreadExtends) {
  gen::Options options;
  options.seed = 4;
  options.size = 3 << 20;
  options.frames = -1;
  const std::string path = WriteCapture("big.kss", gen::GenerateCaptureBytes(options));
  FrameIndex index(path);
  std::thread worker([&] { index.Extend(); });
  std::int64_t seen = 0;
  for (int i = 0; i < 100000 && !index.Snapshot().AtEnd(); ++i) {
    const IndexSnapshot s = index.Snapshot();
    ASSERT_GE(s.FrameCount(), seen);
    seen = s.FrameCount();
    if (seen > 0) {
      const FrameRecord& last = s.Frame(seen - 1);
      ASSERT_LE(last.Offset() + last.StoredLength(), s.CaptureSize());
    }
  }
  worker.join();
  ExpectLikeThePass(index.Snapshot(), path, "built on a thread");
}

TEST_F(FrameIndexTest, CapturesThatCannotBeRead) {
  const std::string missing = PathOf("missing.kss");
  FrameIndex index(missing);
  const IndexResult result = index.Extend();
  EXPECT_EQ(result.status, IndexStatus::kUnreadable);
  EXPECT_EQ(result.message,
            "Cannot read the capture " + Quoted(missing) + ": No such file or directory.");
  EXPECT_EQ(index.Snapshot().FrameCount(), 0);
  screen_.Update(index.Snapshot());
  EXPECT_EQ(screen_.Size(), 0);
  EXPECT_EQ(screen_.LineCount(), 1);
  EXPECT_EQ(screen_.LineText(0), "");
}

}  // namespace
}  // namespace packscope
