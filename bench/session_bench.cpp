// session_bench: the connected sessions of an indexed capture (framelist/session_table.h), read
// once through every frame as the frame list does, and the converter's sessions layout.
//
// For each capture, in a child process of its own (so that the peak RSS is that capture's):
//   - the index built (FrameIndex::Extend), its size (bytes per frame and stamp) and the peak RSS
//     when it is done;
//   - the session table read over it (ReadSessions), timed (wall and CPU), with its sessions and
//     the frames in them, and the peak RSS after it: the table's memory is what it adds to the
//     index's;
//   - a frame's facts looked up at random (FactsOf), as the rows of a screen are;
//   - the frame list's pass over it (ReadConnections: the sessions, conversations and nodes),
//     timed against the session table's alone; the peak RSS is then the larger of the two.
//
//   build/bench/session_bench                                  the 30 MB and the 1 GB capture
//   build/bench/session_bench --seed 3 --sessions --size 1000000000
//
// Captures come from the capture generator with --sessions (connected sessions played out with
// losses, REJ, polls, modulo 128, NET/ROM, beside UI traffic), written once to
// $TMPDIR/packscope-bench (default /tmp) and reused.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "capture/frame_index.h"
#include "framelist/connections.h"
#include "framelist/frame_reader.h"
#include "framelist/session_table.h"

namespace packscope {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double CpuSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Round {
  double index_s = 0;
  double sessions_s = 0;
  double sessions_cpu_s = 0;
  double lookup_us = 0;
  double connections_s = 0;
  double connections_cpu_s = 0;
  long index_rss_kb = 0;
  long rss_kb = 0;  // the child's peak, set by RoundInChild
  std::int64_t bytes = 0;
  std::int64_t frames = 0;
  std::int64_t stamps = 0;
  std::int64_t sessions = 0;
  std::int64_t session_frames = 0;
  std::int64_t mod128 = 0;
};

void Measure(const std::vector<std::string>& args) {
  const std::string path = bench::GeneratedCapture(args, "session_bench");
  Round r;
  const bool ok = bench::RoundInChild(
      [&path] {
        Round out;
        FrameIndex index(path);
        const Clock::time_point start = Clock::now();
        if (index.Extend().status != IndexStatus::kAtEnd) std::exit(1);
        out.index_s = SecondsSince(start);
        out.index_rss_kb = bench::PeakRssKbSoFar();
        const IndexSnapshot snapshot = index.Snapshot();
        out.bytes = snapshot.CaptureSize();
        out.frames = snapshot.FrameCount();
        out.stamps = snapshot.StampCount();
        SessionTable table;
        const Clock::time_point read = Clock::now();
        const double cpu = CpuSeconds();
        if (!ReadSessions(snapshot, table)) std::exit(1);
        out.sessions_s = SecondsSince(read);
        out.sessions_cpu_s = CpuSeconds() - cpu;
        out.sessions = table.SessionCount();
        for (std::int64_t n = 1; n <= out.sessions; ++n) {
          const Session s = table.SessionAt(n);
          out.session_frames += s.frames;
          out.mod128 += s.modulo == kModulo128 ? 1 : 0;
        }
        // Lookups of frames here and there, as a screen of rows asks.
        FrameReader reader(snapshot);
        StoredFrame frame;
        std::mt19937_64 random(1);
        constexpr int kLookups = 20000;
        std::int64_t found = 0;
        const Clock::time_point look = Clock::now();
        for (int i = 0; i < kLookups; ++i) {
          const auto at =
              static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(out.frames));
          if (reader.Read(at, frame)) found += table.FactsOf(at, frame.Kiss()).session > 0;
        }
        out.lookup_us = SecondsSince(look) * 1e6 / kLookups;
        if (found < 0) std::exit(1);
        // The frame list's own pass: the sessions with the conversations and the nodes.
        table = SessionTable();
        CaptureConnections connections;
        const Clock::time_point all = Clock::now();
        const double cpu_all = CpuSeconds();
        if (!ReadConnections(snapshot, connections)) std::exit(1);
        out.connections_s = SecondsSince(all);
        out.connections_cpu_s = CpuSeconds() - cpu_all;
        return out;
      },
      r);
  std::string options;
  for (const std::string& a : args) options += " " + a;
  if (!ok) {
    std::printf("%s: failed\n", options.c_str());
    return;
  }
  const double index_mb = static_cast<double>(r.frames + r.stamps) * 16 / 1e6;
  std::printf(
      "capture%s\n  %.1f MB, %lld frames (%lld stamps); index %.2f s, %.0f MB (16 bytes a frame "
      "and a stamp), peak RSS %.0f MB\n  sessions %.2f s (CPU %.2f s): %lld sessions (%lld modulo "
      "128), "
      "%lld frames in them; peak RSS %.0f MB (+%.0f MB over the index's peak)\n  a frame's "
      "facts looked up at random (read and FactsOf): %.1f us\n  the frame list's pass (sessions, "
      "conversations, nodes) %.2f s (CPU %.2f s, %.2fx the sessions' CPU)\n",
      options.c_str(), static_cast<double>(r.bytes) / 1e6, static_cast<long long>(r.frames),
      static_cast<long long>(r.stamps), r.index_s, index_mb,
      static_cast<double>(r.index_rss_kb) / 1024, r.sessions_s, r.sessions_cpu_s,
      static_cast<long long>(r.sessions), static_cast<long long>(r.mod128),
      static_cast<long long>(r.session_frames), static_cast<double>(r.rss_kb) / 1024,
      static_cast<double>(r.rss_kb - r.index_rss_kb) / 1024, r.lookup_us, r.connections_s,
      r.connections_cpu_s, r.connections_cpu_s / r.sessions_cpu_s);
  std::fflush(stdout);
}

}  // namespace
}  // namespace packscope

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty()) {
    packscope::Measure(args);
    return 0;
  }
  packscope::Measure({"--seed", "3", "--sessions", "--size", "30000000"});
  packscope::Measure({"--seed", "3", "--sessions", "--size", "1000000000"});
  return 0;
}
