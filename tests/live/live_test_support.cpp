#include "live/live_test_support.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "live/capture_frames.h"

namespace packscope::testing {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ByteVec ToBytes(const std::string& text) { return ByteVec(text.begin(), text.end()); }

std::vector<ReadBackFrame> ReadBack(const std::string& path) {
  std::vector<ReadBackFrame> frames;
  ForEachCaptureFrame(path, [&](const CaptureFrame& f) {
    frames.push_back(
        {ByteVec(f.kiss_frame.begin(), f.kiss_frame.end()), f.timestamp, f.cut_off, f.millis});
  });
  return frames;
}

std::vector<ByteVec> DataFrames(const std::string& path) {
  std::vector<ByteVec> frames;
  for (ReadBackFrame& f : ReadBack(path)) {
    if (!f.timestamp) frames.push_back(std::move(f.bytes));
  }
  return frames;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= until) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::int64_t NowMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int FreeLoopbackPort(int lowest, int highest) {
  std::mt19937 random(static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(NowMillis()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (highest > lowest) {
      const auto span = static_cast<unsigned>(highest - lowest + 1);
      address.sin_port =
          htons(static_cast<std::uint16_t>(lowest + static_cast<int>(random() % span)));
    }
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ntohs(address.sin_port);
    }
    ::close(fd);
    if (port > 0) return port;
  }
  return -1;
}

Child::Child(const std::vector<std::string>& argv, const std::string& out_path,
             const std::string& err_path, int stdin_fd, const std::function<void()>& in_child)
    : out_path_(out_path), err_path_(err_path) {
  std::vector<std::string> strings = argv;
  std::vector<char*> args;
  for (std::string& s : strings) args.push_back(s.data());
  args.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    const int in = stdin_fd >= 0 ? stdin_fd : ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    // The dispositions a shell gives a program, whatever the test process set.
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGXFSZ, SIG_DFL);
    if (in_child) in_child();
    ::execv(args[0], args.data());
    ::_exit(127);
  }
}

Child::~Child() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    Wait(std::chrono::milliseconds(10000));
  }
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  Eventually(
      [&] {
        int raw = 0;
        if (::waitpid(pid_, &raw, WNOHANG) != pid_) return false;
        if (WIFEXITED(raw)) {
          status_ = WEXITSTATUS(raw);
        } else {
          status_ = -1;
          term_signal_ = WTERMSIG(raw);
        }
        return true;
      },
      timeout);
  return status_;
}

void Child::Signal(int signal) {
  if (!status_) ::kill(pid_, signal);
}

std::string Child::Out() const { return Slurp(out_path_); }
std::string Child::Err() const { return Slurp(err_path_); }

bool Child::ErrHolds(const std::string& text, std::chrono::milliseconds timeout) const {
  return Eventually([&] { return Err().find(text) != std::string::npos; }, timeout);
}

std::optional<int> ListeningPort(const Child& replay, std::chrono::milliseconds timeout) {
  std::optional<int> port;
  Eventually(
      [&] {
        const std::string err = replay.Err();
        const std::size_t start = err.find("Listening on ");
        const std::size_t end = err.find('\n', start);
        if (start == std::string::npos || end == std::string::npos) return false;
        const std::size_t colon = err.rfind(':', end);
        port = std::stoi(err.substr(colon + 1, end - colon - 1));
        return true;
      },
      timeout);
  return port;
}

}  // namespace packscope::testing
