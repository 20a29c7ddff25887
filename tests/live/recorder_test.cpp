// The recording loop against a TNC played by the test on a loopback port: frames recorded whole
// with their time of reception, a connection lost mid-frame (the cut frame is not recorded, the
// recorder connects again), and the ways a recording ends.
#include "live/recorder.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "live/kiss_stream.h"
#include "live/live_test_support.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using namespace std::chrono_literals;
using testing::ByteVec;
using testing::NowMillis;
using testing::ReadBack;

// A TNC's KISS port on 127.0.0.1: accepts connections and sends what the test says.
class FakeTnc {
 public:
  // backlog 0: one connection waits to be accepted, and attempts beyond it hang.
  explicit FakeTnc(int backlog = 4) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listen_fd_, backlog);
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~FakeTnc() { ::close(listen_fd_); }
  int Port() const { return port_; }

  // The next client, or -1 when none came within 20 s.
  int Accept() const {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 20000) != 1) return -1;
    return ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  static void Send(int fd, const ByteVec& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }

 private:
  int listen_fd_ = -1;
  int port_ = 0;
};

class Collector : public RecordListener {
 public:
  void OnStatus(std::string_view message) override { status.emplace_back(message); }
  void OnFrame(std::span<const std::uint8_t> f, std::int64_t) override {
    frames.emplace_back(f.begin(), f.end());
  }
  std::vector<std::string> status;
  std::vector<ByteVec> frames;
};

ByteVec Escaped(std::initializer_list<ByteVec> frames) {
  ByteVec out;
  for (const ByteVec& f : frames) AppendKissEscaped(out, f);
  return out;
}

class RecorderTest : public testing::TempDirTest {
 protected:
  RecordResult RecordFrom(int port, const RecordOptions& options) {
    TcpSource source(HostPort{"127.0.0.1", port});
    CaptureAppender capture(PathOf("rec.kss"));
    return Record(source, capture, options, collector_, stop_);
  }
  std::atomic<bool> stop_{false};
  Collector collector_;
};

TEST_F(RecorderTest, AConnectionLostMidFrameLosesOnlyThatFrameAndIsMadeAgain) {
  FakeTnc tnc;
  const ByteVec a = {0x00, 0x41, 0xC0}, b = {0x00, 0x42}, cut = {0x00, 0x43, 0x44, 0x45},
                c = {0x00, 0x46, 0xDB};
  std::thread script([&] {
    int fd = tnc.Accept();
    FakeTnc::Send(fd, Escaped({a, b}));
    ByteVec half = Escaped({cut});
    half.resize(3);
    FakeTnc::Send(fd, half);
    std::this_thread::sleep_for(100ms);
    ::close(fd);  // the TNC goes away in the middle of a frame
    fd = tnc.Accept();
    FakeTnc::Send(fd, Escaped({c}));
    std::this_thread::sleep_for(200ms);  // the recorder ends at the count meanwhile
    ::close(fd);
  });
  const std::int64_t before = NowMillis();
  RecordOptions options;
  options.count = 3;
  options.duration = 60;
  options.retry = 1;
  const RecordResult result = RecordFrom(tnc.Port(), options);
  const std::int64_t after = NowMillis();
  script.join();
  EXPECT_EQ(result.end, RecordEnd::kCount);
  EXPECT_EQ(result.frames, 3);
  EXPECT_EQ(collector_.frames, (std::vector<ByteVec>{a, b, c}));
  const auto frames = ReadBack(PathOf("rec.kss"));
  ASSERT_EQ(frames.size(), 6u);
  for (std::size_t i = 0; i < frames.size(); i += 2) {
    EXPECT_TRUE(frames[i].timestamp);
    EXPECT_EQ(frames[i + 1].bytes, collector_.frames[i / 2]);
    ASSERT_TRUE(frames[i + 1].millis.has_value());
    EXPECT_GE(*frames[i + 1].millis, before);
    EXPECT_LE(*frames[i + 1].millis, after);
  }
  ASSERT_GE(collector_.status.size(), 3u);
  EXPECT_NE(collector_.status[1].find("lost: the TNC closed the connection (a frame cut short "
                                      "by it, 2 bytes so far, is not recorded); trying again"),
            std::string::npos)
      << collector_.status[1];
  EXPECT_EQ(collector_.status[2], "Connected to 127.0.0.1:" + std::to_string(tnc.Port()));
}

TEST_F(RecorderTest, EndsAtTheFirstFailureWithoutRetryAndOnTheStopFlagOrDurationWithIt) {
  const int port = testing::FreeLoopbackPort();
  RecordOptions options;
  options.retry = 0;
  RecordResult result = RecordFrom(port, options);
  EXPECT_EQ(result.end, RecordEnd::kSourceFailed);
  EXPECT_NE(result.error.find("Cannot connect to 127.0.0.1:" + std::to_string(port) +
                              ": Connection refused"),
            std::string::npos)
      << result.error;

  options.retry = 5;
  options.duration = 0.3;
  const auto start = std::chrono::steady_clock::now();
  result = RecordFrom(port, options);
  EXPECT_EQ(result.end, RecordEnd::kDuration);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

  options.duration = -1;
  std::thread stopper([&] {
    std::this_thread::sleep_for(200ms);
    stop_ = true;
  });
  result = RecordFrom(port, options);
  stopper.join();
  EXPECT_EQ(result.end, RecordEnd::kStopped);
  EXPECT_FALSE(testing::FileExists(PathOf("rec.kss"))) << "nothing came: no empty capture left";

  // A connection attempt that hangs (a TNC that takes no more clients) ends on the flag too,
  // long before the attempt would time out.
  FakeTnc full(/*backlog=*/0);
  const int waiting = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(full.Port()));
  ASSERT_EQ(::connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  stop_ = false;
  std::thread late_stopper([&] {
    std::this_thread::sleep_for(300ms);
    stop_ = true;
  });
  const auto attempt = std::chrono::steady_clock::now();
  result = RecordFrom(full.Port(), options);
  late_stopper.join();
  ::close(waiting);
  EXPECT_EQ(result.end, RecordEnd::kStopped);
  EXPECT_LT(std::chrono::steady_clock::now() - attempt, 5s);
}

TEST_F(RecorderTest, WithoutStampsFramesAreWrittenAsTheyCameUpToTheCountAFrameTooLongSaid) {
  FakeTnc tnc;
  const ByteVec stamp = BinaryStampFrame(1451651696789), a = {0x00, 0x41};
  ByteVec huge(70000, 0x42);
  huge[0] = 0x00;
  std::thread script([&] {
    const int fd = tnc.Accept();
    // The TNC's own stamp is kept, the frame too long for a capture dropped (and said with its
    // size), the third frame is beyond the count.
    FakeTnc::Send(fd, Escaped({stamp, a, huge, a, a}));
    std::this_thread::sleep_for(200ms);
    ::close(fd);
  });
  RecordOptions options;
  options.count = 2;
  options.stamps = false;
  options.duration = 60;
  const RecordResult result = RecordFrom(tnc.Port(), options);
  script.join();
  EXPECT_EQ(result.frames, 2) << "stamp frames are not counted";
  EXPECT_EQ(testing::ToBytes(testing::ReadFile(PathOf("rec.kss"))), Escaped({stamp, a, a}));
  EXPECT_NE(std::find(collector_.status.begin(), collector_.status.end(),
                      "A frame of 70000 bytes from 127.0.0.1:" + std::to_string(tnc.Port()) +
                          " was not recorded: a frame may hold at most 65535 bytes."),
            collector_.status.end())
      << ::testing::PrintToString(collector_.status);
}

}  // namespace
}  // namespace packscope
