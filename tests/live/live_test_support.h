// Support for the live tests: captures read back frame by frame, programs run as children with
// their output in files, bounded waits, free loopback ports.
#ifndef PACKSCOPE_TESTS_LIVE_LIVE_TEST_SUPPORT_H_
#define PACKSCOPE_TESTS_LIVE_LIVE_TEST_SUPPORT_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace packscope::testing {

using ByteVec = std::vector<std::uint8_t>;

ByteVec ToBytes(const std::string& text);

struct ReadBackFrame {
  ByteVec bytes;  // un-escaped, type byte first
  bool timestamp = false;
  bool cut_off = false;
  std::optional<std::int64_t> millis;  // the time of the stamp in front
};

// Every frame of the capture, by the project's frame loop.
std::vector<ReadBackFrame> ReadBack(const std::string& path);
// Its frames other than timestamp frames.
std::vector<ByteVec> DataFrames(const std::string& path);

// Polls condition every 20 ms until it holds or timeout has passed; its last answer.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

std::int64_t NowMillis();

// A port on 127.0.0.1 that was free a moment ago: one the system picks (bound to port 0, then
// closed), or with a range one of it (Dire Wolf takes ports up to 49151 only); -1 for none.
int FreeLoopbackPort(int lowest = 0, int highest = 0);

// A program run as a child: standard input from stdin_fd (else /dev/null), standard output and
// standard error into files. Killed (SIGKILL) when still running at destruction.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& out_path,
        const std::string& err_path, int stdin_fd = -1,
        const std::function<void()>& in_child = nullptr);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Waits at most timeout for the end: the exit status, -1 for a signal; nothing when it still
  // runs.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  void Signal(int signal);
  int TermSignal() const { return term_signal_; }
  std::string Out() const;
  std::string Err() const;
  // Waits at most timeout until standard error holds text.
  bool ErrHolds(const std::string& text, std::chrono::milliseconds timeout) const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  int term_signal_ = 0;
  std::string out_path_;
  std::string err_path_;
};

// The port a packscope-replay child listens on, from its first line on standard error.
std::optional<int> ListeningPort(const Child& replay, std::chrono::milliseconds timeout);

}  // namespace packscope::testing

#endif  // PACKSCOPE_TESTS_LIVE_LIVE_TEST_SUPPORT_H_
