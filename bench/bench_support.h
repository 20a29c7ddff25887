// What the window and index benchmarks share: their generated captures, written once under
// $TMPDIR/packscope-bench (default /tmp) and named after the generator's options
// ("indexseed3frames500000max-length68.kss"), and a round run in a child process of its own,
// so that its peak RSS is its own.
#ifndef PACKSCOPE_BENCH_BENCH_SUPPORT_H_
#define PACKSCOPE_BENCH_BENCH_SUPPORT_H_

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "gencapture/capture_generator.h"

namespace packscope::bench {

// The capture packscope-gencapture ARGS makes, written when it is not there yet; program names
// the benchmark in messages. Exits on a wrong option (2) or a failed write (1).
inline std::string GeneratedCapture(const std::vector<std::string>& args, const char* program) {
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path dir =
      std::filesystem::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") / "packscope-bench";
  std::filesystem::create_directories(dir);
  std::string name = "index";
  for (const std::string& a : args) name += a.substr(a.find_first_not_of('-'));
  const std::string path = (dir / (name + ".kss")).string();
  if (std::filesystem::exists(path)) return path;
  std::vector<std::string_view> views(args.begin(), args.end());
  const gen::ParsedArguments parsed = gen::ParseArguments(views);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", program, parsed.error.c_str());
    std::exit(2);
  }
  const std::string part = path + ".part";
  std::FILE* f = std::fopen(part.c_str(), "wb");
  const auto fail = [&] {
    std::fprintf(stderr, "%s: cannot write %s\n", program, part.c_str());
    std::exit(1);
  };
  if (f == nullptr) fail();
  gen::GenerateCapture(parsed.options, [&](std::string_view block) {
    if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) fail();
  });
  if (std::fclose(f) != 0) fail();
  std::filesystem::rename(part, path);
  return path;
}

// The peak RSS of this process so far, in kB.
inline long PeakRssKbSoFar() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Runs round() in a child process and hands its result back through a pipe (Round: a plain
// struct with a long rss_kb, set here to the child's peak RSS). False when the child failed.
template <typename Round, typename Body>
bool RoundInChild(const Body& round, Round& out) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::close(fds[0]);
    const Round r = round();
    const bool ok = ::write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    ::_exit(ok ? 0 : 1);
  }
  ::close(fds[1]);
  const bool got = ::read(fds[0], &out, sizeof out) == static_cast<ssize_t>(sizeof out);
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return false;
  out.rss_kb = usage.ru_maxrss;
  return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace packscope::bench

#endif  // PACKSCOPE_BENCH_BENCH_SUPPORT_H_
