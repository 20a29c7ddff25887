// The converter's progress line: shown on a terminal during a long pass only, erased when the
// pass ends; and, through a pseudo-terminal, a short conversion prints what it printed without.
#include "cli/converter_window.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "capture/frame_loop.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using namespace std::chrono_literals;
using testing::Hex;

// What the window wrote to its progress stream.
class ProgressStream {
 public:
  ProgressStream() : file_(std::tmpfile()) {}
  ~ProgressStream() { std::fclose(file_); }
  std::FILE* File() const { return file_; }
  std::string Text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    char buf[256];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) text.append(buf, n);
    return text;
  }

 private:
  std::FILE* file_;
};

TEST(ConverterWindowTest, ALongPassOnATerminalShowsAProgressLineAndErasesIt) {
  ProgressStream stream;
  ConverterWindow window(stream.File());
  window.SetTerminalForTesting(true);
  window.SetProgressDelayForTesting(0ms);
  window.SetCaptureName("pass1.kss");
  window.SetBusy(true);
  window.ShowProgress(3 << 20, 12 << 20);
  EXPECT_EQ(stream.Text(), "\r\033[Kpass1.kss: 25% (3 of 12 MB)");
  // Redrawn at most ten times a second.
  window.ShowProgress(6 << 20, 12 << 20);
  EXPECT_EQ(stream.Text(), "\r\033[Kpass1.kss: 25% (3 of 12 MB)");
  window.SetBusy(false);
  EXPECT_EQ(stream.Text(), "\r\033[Kpass1.kss: 25% (3 of 12 MB)\r\033[K");
  // Outside a pass nothing is shown.
  window.ShowProgress(12 << 20, 12 << 20);
  EXPECT_EQ(stream.Text(), "\r\033[Kpass1.kss: 25% (3 of 12 MB)\r\033[K");
}

TEST(ConverterWindowTest, AnUnknownSizeShowsTheMegabytesRead) {
  ProgressStream stream;
  ConverterWindow window(stream.File());
  window.SetTerminalForTesting(true);
  window.SetProgressDelayForTesting(0ms);
  window.SetCaptureName("-");
  window.SetBusy(true);
  window.ShowProgress(5 << 20, -1);
  window.SetBusy(false);
  EXPECT_EQ(stream.Text(), "\r\033[K-: 5 MB\r\033[K");
}

TEST(ConverterWindowTest, NoLineForAShortPassOrWithoutATerminal) {
  ProgressStream stream;
  ConverterWindow window(stream.File());
  EXPECT_EQ(stream.Text(), "");  // a temporary file is no terminal
  window.SetProgressDelayForTesting(0ms);
  window.SetBusy(true);
  window.ShowProgress(1 << 20, 2 << 20);
  window.SetBusy(false);
  EXPECT_EQ(stream.Text(), "");

  window.SetTerminalForTesting(true);
  window.SetProgressDelayForTesting(1h);
  window.SetBusy(true);
  window.ShowProgress(1 << 20, 2 << 20);
  window.SetBusy(false);
  EXPECT_EQ(stream.Text(), "");
}

// A pass of the frame loop reports its progress to the window as it reads.
TEST(ConverterWindowTest, ThePassReportsItsProgress) {
  ProgressStream stream;
  ConverterWindow window(stream.File());
  window.SetTerminalForTesting(true);
  window.SetProgressDelayForTesting(0ms);
  window.SetCaptureName("big.kss");
  char dir[] = "/tmp/packscope-progress-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/big.kss";
  std::string bytes;
  while (bytes.size() < (3u << 20)) bytes += Hex("C0 00 41 42 43 44 45 46 47 48 49 4A C0");
  testing::WriteFile(path, bytes);
  DecoderState state;
  state.CaptureFileName = path;
  ReadCapture(state, window);
  ::unlink(path.c_str());
  ::rmdir(dir);
  const std::string text = stream.Text();
  EXPECT_EQ(text.rfind("\r\033[Kbig.kss: 33% (1 of 3 MB)", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K") << text;
}

// packscope-convert with standard error on a pseudo-terminal: a short pass prints its result
// line and nothing else.
TEST(ConverterWindowTest, AShortConversionOnATerminalPrintsNoProgress) {
  char dir[] = "/tmp/packscope-progress-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string capture = std::string(dir) + "/pass1.kss";
  testing::WriteFile(capture, Hex("C0 00 41 42 C0"));
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setenv("LC_ALL", "C", 1);
    ::execl(PACKSCOPE_CONVERT, PACKSCOPE_CONVERT, "--layout", "hex-payload", "-o", "/dev/null",
            capture.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string text;
  char buf[256];
  for (;;) {
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;  // EIO once the program has ended
    text.append(buf, static_cast<std::size_t>(n));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  ::unlink(capture.c_str());
  ::rmdir(dir);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The terminal turns LF into CR LF.
  EXPECT_EQ(text, "/dev/null has been written (1 frames / 3 bytes)\r\n");
}

}  // namespace
}  // namespace packscope
