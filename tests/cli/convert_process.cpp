#include "cli/convert_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace packscope::testing {
namespace {

std::string ReadAll(std::FILE* file) {
  std::string text;
  if (file == nullptr) return text;
  std::fflush(file);
  std::rewind(file);
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text.append(buf, n);
  return text;
}

}  // namespace

ConvertProcess::ConvertProcess(const std::vector<std::string>& args, const ConvertOptions& options)
    : out_(options.stdout_fd < 0 ? std::tmpfile() : nullptr), err_(std::tmpfile()) {
  std::vector<std::string> strings{PACKSCOPE_CONVERT};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_strings = options.env;
  for (const char* name : {"PATH", "HOME", "TMPDIR"}) {
    if (const char* value = std::getenv(name))
      env_strings.push_back(std::string(name) + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  const int out = options.stdout_fd >= 0 ? options.stdout_fd : ::fileno(out_);
  const int err = ::fileno(err_);

  pid_ = ::fork();
  if (pid_ == 0) {
    if (::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(options.dir.c_str()) != 0) ::_exit(126);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) ::signal(s, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  EXPECT_GT(pid_, 0);
}

ConvertProcess::~ConvertProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_ != nullptr) std::fclose(out_);
  if (err_ != nullptr) std::fclose(err_);
}

ConvertOutcome ConvertProcess::Wait(std::chrono::milliseconds timeout) {
  ConvertOutcome outcome;
  int status = 0;
  const auto until = std::chrono::steady_clock::now() + timeout;
  pid_t done = 0;
  while ((done = ::waitpid(pid_, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (done == 0) {
    ADD_FAILURE() << "packscope-convert still runs after " << timeout.count() << " ms";
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  outcome.out = ReadAll(out_);
  outcome.err = ReadAll(err_);
  return outcome;
}

ConvertOutcome RunConvert(const std::vector<std::string>& args, const ConvertOptions& options) {
  ConvertProcess process(args, options);
  return process.Wait();
}

}  // namespace packscope::testing
