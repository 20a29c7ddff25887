// packscope-convert as a child process, for the tests that need what only a process has: its
// arguments as bytes, its environment (locale), its standard output on a file of their choice,
// and signals. Standard output and error go to unnamed temporary files, so that the test's
// folder holds only what the converter wrote.
#ifndef PACKSCOPE_TESTS_CLI_CONVERT_PROCESS_H_
#define PACKSCOPE_TESTS_CLI_CONVERT_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace packscope::testing {

struct ConvertOptions {
  std::string dir;                                     // the current folder
  std::vector<std::string> env{"LC_ALL=C", "LANG=C"};  // besides PATH and HOME
  int stdout_fd = -1;                                  // standard output; -1: a temporary file
};

struct ConvertOutcome {
  int status = -1;  // exit status; -1 when ended by a signal
  int signal = 0;   // the signal that ended it
  std::string out;  // standard output (unless stdout_fd was given)
  std::string err;
};

// A running converter with the default signal dispositions a shell gives a program.
class ConvertProcess {
 public:
  ConvertProcess(const std::vector<std::string>& args, const ConvertOptions& options);
  ~ConvertProcess();  // kills a converter still running
  ConvertProcess(const ConvertProcess&) = delete;
  ConvertProcess& operator=(const ConvertProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // Waits at most timeout; a converter still running then is killed (status -1, signal
  // SIGKILL) and the test fails.
  ConvertOutcome Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
  std::FILE* err_ = nullptr;
};

// Runs the converter to its end.
ConvertOutcome RunConvert(const std::vector<std::string>& args, const ConvertOptions& options);

}  // namespace packscope::testing

#endif  // PACKSCOPE_TESTS_CLI_CONVERT_PROCESS_H_
