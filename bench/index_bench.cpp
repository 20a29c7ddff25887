// index_bench: the frame index and the display text made from it on demand, without a window.
//
// For each capture, in a child process of its own (so that the peak RSS is that capture's):
//   - the index built on a worker thread while the main thread does what a window would: every
//     20 ms it takes the frames indexed so far, lays them out for up to 15 ms (in slices of
//     20,000 frames and log lines) and renders the screen at the top; timed are the first screen
//     (from the start to the first 60 lines rendered), the whole capture (to the last frame
//     indexed and laid out), and the longest tick;
//   - the index's size: bytes per frame, frames, stamps;
//   - a screen of 60 lines rendered (LineStart, LineText, LineColors of each) at the start, the
//     middle and the end, from cold (each the first read of that place) and once more (blocks
//     kept), and the line of an offset in the middle (what a selection or a scroll needs);
//   - switching Check1 (the other view's running totals are kept already);
//   - the timestamp log's middle line;
//   - the peak RSS of the child.
//
//   build/bench/index_bench                                 the 29 MB and the 1 GB capture
//   build/bench/index_bench --seed 3 --frames 500000 --max-length 68
//   build/bench/index_bench --seed 3 --size 1000000000
//
// Captures come from the capture generator (options as packscope-gencapture's) and are written
// once to $TMPDIR/packscope-bench (default /tmp) and reused; the first run writes them, and the
// file is then in the page cache, as a capture just recorded or opened before would be.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "capture/frame_index.h"
#include "capture/headless_window.h"
#include "capture/screen_text.h"
#include "gencapture/capture_generator.h"

namespace packscope {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

constexpr std::int64_t kScreenLines = 60;
// A window's tick while the index grows: the pause between ticks, and how long a tick lays out
// frames (and log lines), in slices of so many.
constexpr int kTickMs = 20;
constexpr double kTickWorkMs = 15;
constexpr std::int64_t kSlice = 20000;

// One screen from line top: what a paint of the display asks for. Returns the characters seen.
std::int64_t RenderScreen(const ScreenText& text, std::int64_t top) {
  std::vector<ColorRun> runs;
  std::int64_t seen = 0;
  const std::int64_t end = std::min(top + kScreenLines, text.LineCount());
  for (std::int64_t line = top; line < end; ++line) {
    seen += text.LineStart(line) & 1;
    seen += static_cast<std::int64_t>(text.LineText(line).size());
    text.LineColors(line, runs);
    seen += static_cast<std::int64_t>(runs.size());
  }
  return seen;
}

void Measure(const std::vector<std::string>& args) {
  const std::string path = bench::GeneratedCapture(args, "index_bench");
  std::string options;
  for (const std::string& a : args) options += " " + a;
  HeadlessWindow window;  // the regional date texts of the C locale
  ScreenText text(window);
  StampLogText log(window);

  // The index on a worker, the screen on this thread.
  const Clock::time_point start = Clock::now();
  FrameIndex index(path);
  IndexResult result;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = index.Extend();
    done = true;
  });
  double first_screen_ms = -1;
  double update_ms = 0;
  double longest_tick_ms = 0;
  int updates = 0;
  for (;;) {
    // Every tick a slice of the layout and a paint of the top screen.
    const bool ended = done;
    const IndexSnapshot snapshot = index.Snapshot();
    const Clock::time_point u = Clock::now();
    bool caught_up = false;
    while (!caught_up && MsSince(u) < kTickWorkMs) {
      caught_up = text.Update(snapshot, kSlice) & log.Update(snapshot, kSlice);
    }
    RenderScreen(text, 0);
    const double tick_ms = MsSince(u);
    update_ms += tick_ms;
    longest_tick_ms = std::max(longest_tick_ms, tick_ms);
    ++updates;
    if (first_screen_ms < 0 && text.LineCount() > kScreenLines) first_screen_ms = MsSince(start);
    if (ended && caught_up) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
  }
  worker.join();
  const double whole_ms = MsSince(start);
  const IndexSnapshot snapshot = index.Snapshot();
  if (result.status != IndexStatus::kAtEnd) {
    std::fprintf(stderr, "index_bench: %s\n", result.message.c_str());
    std::exit(1);
  }

  // Screens at the start, the middle, the end: cold, then again.
  const std::int64_t lines = text.LineCount();
  double cold_ms[3];
  double warm_ms[3];
  const std::int64_t tops[3] = {0, lines / 2, std::max<std::int64_t>(0, lines - kScreenLines)};
  std::int64_t sink = 0;
  for (int k = 0; k < 3; ++k) {
    Clock::time_point t = Clock::now();
    sink += RenderScreen(text, tops[k]);
    cold_ms[k] = MsSince(t);
    t = Clock::now();
    sink += RenderScreen(text, tops[k]);
    warm_ms[k] = MsSince(t);
  }
  Clock::time_point t = Clock::now();
  sink += text.LineOf(text.Size() / 2 + 12345);
  const double line_of_ms = MsSince(t);
  t = Clock::now();
  text.SetKissView(true);
  sink += RenderScreen(text, text.LineCount() / 3);
  const double check1_ms = MsSince(t);
  t = Clock::now();
  sink += static_cast<std::int64_t>(log.LineText(log.LineCount() / 2).size());
  sink += log.LineStart(log.LineCount() / 2);
  const double log_ms = MsSince(t);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);

  // The parts alone: the index on this thread, the display text and the log laid out anew.
  t = Clock::now();
  {
    FrameIndex alone(path);
    alone.Extend();
  }
  const double index_alone_ms = MsSince(t);
  ScreenText fresh_text(window);
  t = Clock::now();
  fresh_text.Update(snapshot);
  const double text_alone_ms = MsSince(t);
  StampLogText fresh_log(window);
  t = Clock::now();
  fresh_log.Update(snapshot);
  const double log_alone_ms = MsSince(t);
  const auto frames = snapshot.FrameCount();
  const auto stamps = snapshot.StampCount();
  const double index_bytes = static_cast<double>(frames) * FrameIndex::kBytesPerFrame +
                             static_cast<double>(stamps) * FrameIndex::kBytesPerStamp;
  std::printf(
      "capture:%s (%s)\n"
      "  %.1f MB, %lld frames, %lld stamps, %lld display lines, %.1f MB display text\n"
      "  index: %d + %d bytes per frame and stamp = %.1f bytes per frame on average, %.1f MB\n"
      "  first screen %.0f ms, whole capture indexed and laid out %.0f ms "
      "(ticks: %d, %.0f ms in all, the longest %.1f ms)\n"
      "  screen of %lld lines, cold / again, ms: start %.2f / %.2f, middle %.2f / %.2f, "
      "end %.2f / %.2f\n"
      "  line of an offset in the middle %.3f ms; Check1 ticked, a screen %.2f ms; "
      "log line in the middle %.3f ms\n"
      "  alone: index %.0f ms, display text laid out %.0f ms, log laid out %.0f ms\n"
      "  peak RSS %.0f MB   (%lld)\n",
      options.c_str(), path.c_str(), static_cast<double>(snapshot.CaptureSize()) / 1e6,
      static_cast<long long>(frames), static_cast<long long>(stamps), static_cast<long long>(lines),
      static_cast<double>(text.Size()) / 1e6, static_cast<int>(FrameIndex::kBytesPerFrame),
      static_cast<int>(FrameIndex::kBytesPerStamp),
      index_bytes / static_cast<double>(std::max<std::int64_t>(frames, 1)), index_bytes / 1e6,
      first_screen_ms, whole_ms, updates, update_ms, longest_tick_ms,
      static_cast<long long>(kScreenLines), cold_ms[0], warm_ms[0], cold_ms[1], warm_ms[1],
      cold_ms[2], warm_ms[2], line_of_ms, check1_ms, log_ms, index_alone_ms, text_alone_ms,
      log_alone_ms, static_cast<double>(usage.ru_maxrss) / 1024.0,
      static_cast<long long>(sink % 10));
  std::fflush(stdout);
}

}  // namespace
}  // namespace packscope

int main(int argc, char** argv) {
  std::vector<std::vector<std::string>> runs;
  if (argc > 1) {
    runs.emplace_back(argv + 1, argv + argc);
  } else {
    runs.push_back({"--seed", "3", "--frames", "500000", "--max-length", "68"});
    runs.push_back({"--seed", "3", "--size", "1000000000"});
  }
  // Captures first, then each measurement in a child of its own.
  for (const auto& args : runs) packscope::bench::GeneratedCapture(args, "index_bench");
  int status = 0;
  for (const auto& args : runs) {
    const pid_t child = fork();
    if (child == 0) {
      packscope::Measure(args);
      std::exit(0);
    }
    int child_status = 0;
    waitpid(child, &child_status, 0);
    if (!WIFEXITED(child_status) || WEXITSTATUS(child_status) != 0) status = 1;
  }
  return status;
}
