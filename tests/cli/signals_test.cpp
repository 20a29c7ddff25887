// Runs that are interrupted: an input that never ends (a link to /dev/zero, a FIFO nobody writes
// to) is stopped by SIGINT, SIGTERM or SIGHUP, and the converter ends by that signal (a shell
// reports 128 + its number) without leaving a temporary file of the output or of the stamp log
// behind; an earlier output and stamp log stay as they were. Every wait is bounded.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cli/convert_process.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using namespace std::chrono_literals;
using testing::ConvertOutcome;
using testing::ConvertProcess;
using testing::ReadFile;
using testing::WriteFile;

class SignalsTest : public testing::TempDirTest {
 protected:
  // Waits (at most 20 s) until the folder holds count names.
  bool WaitForNames(std::size_t count) const {
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < until) {
      if (FileNames().size() == count) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
};

TEST_F(SignalsTest, AnEndlessCaptureIsStoppedWithoutLeavingTemporaryFiles) {
  ASSERT_EQ(::symlink("/dev/zero", PathOf("zero.kss").c_str()), 0);
  WriteFile(PathOf("zero.jsonl"), "earlier output");
  WriteFile(PathOf("stamps.txt"), "earlier stamps");
  const std::vector<std::string> before = FileNames();
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(::strsignal(signal_number));
    ConvertProcess run({"-l", "jsonl", "--stamp-log", "stamps.txt", "zero.kss"}, {Dir()});
    // The run is under way once the temporary files of the stamp log and the output are there.
    ASSERT_TRUE(WaitForNames(before.size() + 2));
    ASSERT_EQ(::kill(run.Pid(), signal_number), 0);
    const ConvertOutcome outcome = run.Wait(20s);
    EXPECT_EQ(outcome.signal, signal_number) << outcome.err;
    EXPECT_EQ(FileNames(), before);
    EXPECT_EQ(ReadFile(PathOf("zero.jsonl")), "earlier output");
    EXPECT_EQ(ReadFile(PathOf("stamps.txt")), "earlier stamps");
  }
}

TEST_F(SignalsTest, AFifoWithoutWriterIsStoppedToo) {
  ASSERT_EQ(::mkfifo(PathOf("pipe.kss").c_str(), 0600), 0);
  ConvertProcess run({"-l", "monitor", "pipe.kss"}, {Dir()});
  // The converter waits for a writer in the capture's open, before any output exists.
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(FileNames(), std::vector<std::string>{"pipe.kss"});
  ASSERT_EQ(::kill(run.Pid(), SIGTERM), 0);
  EXPECT_EQ(run.Wait(20s).signal, SIGTERM);
  EXPECT_EQ(FileNames(), std::vector<std::string>{"pipe.kss"});
}

}  // namespace
}  // namespace packscope
