#include "fuzz/index_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "capture/errors.h"
#include "capture/frame_index.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "capture/screen_text.h"
#include "fuzz/memory_capture.h"

namespace packscope::fuzz {
namespace {

// Lines compared one by one; the whole text is compared however long it is.
constexpr std::int64_t kLinesCompared = 3000;

struct Pass {
  HeadlessWindow window;
  DecoderState state;
  std::string error;
};

void RunPass(const std::string& path, bool check1, Pass& pass) {
  pass.window.SetCheck1(check1);
  pass.state.CaptureFileName = path;
  try {
    ReadCapture(pass.state, pass.window);
  } catch (const CommandError& e) {
    pass.error = e.what();
  }
}

std::string Differs(const std::string& what, std::int64_t want, std::int64_t got) {
  return what + ": " + std::to_string(got) + " instead of " + std::to_string(want);
}

// The on-demand text against the text a pass holds.
std::string CompareText(const DisplaySource& want, const DisplaySource& got,
                        const std::string& what) {
  if (got.Size() != want.Size()) return Differs(what + " size", want.Size(), got.Size());
  if (got.LineCount() != want.LineCount())
    return Differs(what + " lines", want.LineCount(), got.LineCount());
  if (got.MaxLineLength() != want.MaxLineLength())
    return Differs(what + " longest line", want.MaxLineLength(), got.MaxLineLength());
  std::vector<ColorRun> want_runs;
  std::vector<ColorRun> got_runs;
  const std::int64_t lines = std::min(want.LineCount(), kLinesCompared);
  for (std::int64_t line = 0; line < lines; ++line) {
    const std::string at = what + " line " + std::to_string(line);
    const std::int64_t start = want.LineStart(line);
    if (got.LineStart(line) != start) return Differs(at + " start", start, got.LineStart(line));
    if (got.LineOf(start) != line) return Differs(at + " of its start", line, got.LineOf(start));
    const std::string text(want.LineText(line));
    if (got.LineText(line) != text) return at + ": text differs";
    want.LineColors(line, want_runs);
    got.LineColors(line, got_runs);
    if (got_runs != want_runs) return at + ": colours differ";
  }
  std::string want_text;
  std::string got_text;
  want.AppendText(0, want.Size(), want.Size(), want_text);
  got.AppendText(0, got.Size(), got.Size(), got_text);
  if (got_text != want_text) return what + ": the whole text differs";
  return {};
}

// The index of the capture as it is now against passes over it in both views.
std::string Compare(const IndexSnapshot& snapshot, const IndexResult& result,
                    const std::string& path, bool both_views) {
  HeadlessWindow texts;
  ScreenText screen(texts);
  StampLogText log(texts);
  screen.Update(snapshot);
  log.Update(snapshot);
  for (bool check1 : {false, true}) {
    if (check1 && !both_views) break;
    Pass pass;
    RunPass(path, check1, pass);
    const std::string view = check1 ? " (Check1)" : "";
    if ((result.status == IndexStatus::kTooLong) != !pass.error.empty() ||
        (!pass.error.empty() && result.message != pass.error)) {
      return "outcome: \"" + result.message + "\" instead of \"" + pass.error + "\"";
    }
    if (snapshot.FrameCount() != pass.state.FrameCount - (pass.error.empty() ? 0 : 1))
      return Differs("frames", pass.state.FrameCount, snapshot.FrameCount());
    if (snapshot.FrameCount() > 0 &&
        CountsCaption(snapshot.FrameCount(), snapshot.ByteCount()) != pass.window.Label1())
      return "Label1: " + CountsCaption(snapshot.FrameCount(), snapshot.ByteCount());
    screen.SetKissView(check1);
    std::string difference = CompareText(pass.window.Display(), screen, "display" + view);
    if (!difference.empty()) return difference;
    DisplayModel text4;
    text4.SetText(pass.window.Text4());
    difference = CompareText(text4, log, "timestamp log");
    if (!difference.empty()) return difference;
  }
  if (screen.Stale()) return "the display found the capture changed";
  return {};
}

}  // namespace

std::string CheckIndex(const std::uint8_t* data, std::size_t size) {
  if (!ReadAsKiss(data, size)) return {};
  MemoryCapture capture;
  if (!capture.Ok()) return std::string("memfd_create: ") + std::strerror(errno);
  const std::string path = capture.Path();
  // First the capture's first half, then the rest, into one index.
  const std::size_t half = size / 2;
  if (!capture.Write(data, 0, half)) return "writing the capture failed";
  FrameIndex index(path);
  IndexResult result = index.Extend();
  std::string difference = Compare(index.Snapshot(), result, path, /*both_views=*/false);
  if (!difference.empty()) return "first half: " + difference;
  if (!capture.Write(data, half, size)) return "writing the capture failed";
  result = index.Extend();
  difference = Compare(index.Snapshot(), result, path, /*both_views=*/true);
  if (!difference.empty()) return "whole: " + difference;
  return {};
}

}  // namespace packscope::fuzz
