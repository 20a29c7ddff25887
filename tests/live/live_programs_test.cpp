// packscope-record and packscope-replay as users run them, on loopback ports: the replay round
// trip, the captures' timing, a recorder killed while recording fast and started again (stopped
// by Ctrl+C and by a closed terminal), a full disk, a serial device that disappears, and usage
// errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "ax25/ax25_details.h"
#include "capture/headless_window.h"
#include "commands/layouts.h"
#include "gencapture/capture_generator.h"
#include "live/byte_source.h"
#include "live/capture_appender.h"
#include "live/kiss_stream.h"
#include "live/live_test_support.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using namespace std::chrono_literals;
using testing::ByteVec;
using testing::Child;
using testing::DataFrames;
using testing::ReadBack;
using testing::ReadFile;

class LiveProgramsTest : public testing::TempDirTest {
 protected:
  // A generated capture of frames with stamps and escapes; returns its data frames.
  std::vector<ByteVec> Generate(const std::string& name, std::int64_t frames) {
    gen::Options options;
    options.seed = 20;
    options.frames = frames;
    options.mix = true;
    WriteCapture(name, gen::GenerateCaptureBytes(options));
    return DataFrames(PathOf(name));
  }

  std::unique_ptr<Child> Start(const std::string& name, std::vector<std::string> args) {
    args.insert(args.begin(), name.starts_with("replay") ? PACKSCOPE_REPLAY : PACKSCOPE_RECORD);
    return std::make_unique<Child>(args, PathOf(name + ".out"), PathOf(name + ".err"));
  }

  // A replay of the capture on a free port: the child and the port.
  std::pair<std::unique_ptr<Child>, std::string> StartReplay(std::vector<std::string> args,
                                                             const std::string& name = "replay") {
    args.insert(args.begin(), {"--listen", "127.0.0.1:0"});
    auto replay = Start(name, args);
    const auto port = testing::ListeningPort(*replay, 20s);
    EXPECT_TRUE(port.has_value()) << replay->Err();
    return {std::move(replay), "127.0.0.1:" + std::to_string(port.value_or(1))};
  }
};

// Frames of a recording that continue the source's frames, looping, from where they begin.
void ExpectConsecutive(const std::vector<ByteVec>& recorded, const std::vector<ByteVec>& source) {
  ASSERT_FALSE(recorded.empty());
  const auto start = std::find(source.begin(), source.end(), recorded[0]);
  ASSERT_NE(start, source.end());
  std::size_t k = static_cast<std::size_t>(start - source.begin());
  for (std::size_t i = 0; i < recorded.size(); ++i) {
    ASSERT_EQ(recorded[i], source[(k + i) % source.size()]) << "frame " << i;
  }
}

TEST_F(LiveProgramsTest, ReplayedFramesAreRecordedByteForByteWithTheirTimeOfReception) {
  const std::vector<ByteVec> source = Generate("gen.kss", 2000);
  ASSERT_EQ(source.size(), 2000u);
  auto [replay, address] = StartReplay({"--once", "--speed", "0", PathOf("gen.kss")});
  const std::int64_t before = testing::NowMillis();
  auto record = Start("record", {"-o", PathOf("rec.kss"), "--count", "2000", "--duration", "120",
                                 "--monitor", address});
  EXPECT_EQ(record->Wait(120s), 0) << record->Err();
  EXPECT_EQ(replay->Wait(30s), 0) << replay->Err();
  const std::int64_t after = testing::NowMillis();

  const auto frames = ReadBack(PathOf("rec.kss"));
  ASSERT_EQ(frames.size(), 4000u);
  for (std::size_t i = 0; i < frames.size(); i += 2) {
    ASSERT_TRUE(frames[i].timestamp);
    ASSERT_EQ(frames[i + 1].bytes, source[i / 2]) << "frame " << i / 2;
    const std::int64_t stamp = frames[i + 1].millis.value_or(0);
    ASSERT_TRUE(stamp >= before && stamp <= after) << stamp;
  }
  // --monitor printed what the monitor layout writes of the capture recorded, APRS lines too.
  DecoderState state;
  state.CaptureFileName = PathOf("rec.kss");
  HeadlessWindow window;
  ASSERT_TRUE(RunLayout(state, window, *FindLayout("monitor"), PathOf("rec.txt")));
  EXPECT_EQ(record->Out(), ReadFile(PathOf("rec.txt")));
  EXPECT_NE(record->Out().find("\n  Position"), std::string::npos);
  EXPECT_NE(record->Err().find("2000 frames recorded into"), std::string::npos);
  EXPECT_NE(replay->Err().find("Replay done: 2000 frames sent"), std::string::npos);
}

TEST_F(LiveProgramsTest, ReplayKeepsTheTimingOfTheStampsAtItsSpeed) {
  const ByteVec a = {0x00, 0x41};
  std::vector<std::uint8_t> capture;
  for (const std::int64_t offset : {0, 1000, 2000}) {
    AppendKissEscaped(capture, BinaryStampFrame(1451651696789 + offset));
    AppendKissEscaped(capture, a);
  }
  WriteCapture("timed.kss", std::string(capture.begin(), capture.end()));
  auto [replay, address] = StartReplay({"--once", "--speed", "4", PathOf("timed.kss")});
  const std::int64_t before = testing::NowMillis();
  auto record =
      Start("record", {"-o", PathOf("rec.kss"), "--count", "3", "--duration", "60", address});
  EXPECT_EQ(record->Wait(60s), 0) << record->Err();
  EXPECT_EQ(replay->Wait(30s), 0) << replay->Err();
  std::vector<std::int64_t> received;
  for (const auto& f : ReadBack(PathOf("rec.kss"))) {
    if (!f.timestamp) received.push_back(f.millis.value_or(0) - before);
  }
  // A frame never comes before its time (1000 ms of the capture are 250 ms at speed 4).
  ASSERT_EQ(received.size(), 3u);
  EXPECT_GE(received[1], 250);
  EXPECT_GE(received[2], 500);
  EXPECT_LT(received[2], 30000);

  // At a speed so slow that the second frame is due in 300 years, it waits (the delay does not
  // overflow into the past and send the capture at once).
  auto [slow, slow_address] = StartReplay({"--speed", "1e-10", PathOf("timed.kss")}, "replay-slow");
  TcpSource client(*ParseHostPort(slow_address));
  std::string error;
  ASSERT_TRUE(client.Open(error)) << error;
  std::uint8_t bytes[16];
  EXPECT_EQ(client.Read(bytes, 20000, error), 4) << "the first frame at once";
  EXPECT_EQ(client.Read(bytes, 1000, error), 0) << "the second frame is not due";
  slow->Signal(SIGTERM);
  EXPECT_EQ(slow->Wait(20s), 0) << slow->Err();
}

TEST_F(LiveProgramsTest,
       ARecorderKilledWhileRecordingFastLeavesWholeFramesAndARestartAppendsUntilCtrlC) {
  const std::vector<ByteVec> source = Generate("gen.kss", 20000);
  auto [replay, address] = StartReplay({"--loop", "--speed", "0", PathOf("gen.kss")});
  const std::string path = PathOf("rec.kss");
  auto record = Start("record", {"-o", path, address});
  // The replay loops without end: look at the size only (reading the growing file whole on a
  // busy machine lets the recording run on into gigabytes).
  const auto size_of = [&] {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? std::uintmax_t{0} : size;
  };
  ASSERT_TRUE(testing::Eventually([&] { return size_of() > 400000; }, 60s)) << record->Err();
  record->Signal(SIGKILL);
  record->Wait(10s);
  ASSERT_EQ(record->TermSignal(), SIGKILL);
  const std::string killed = ReadFile(path);
  auto frames = ReadBack(path);
  ASSERT_FALSE(frames.empty());
  if (frames.back().cut_off) frames.pop_back();  // the write the kill cut short, if any
  std::vector<ByteVec> recorded;
  for (const auto& f : frames) {
    if (!f.timestamp) recorded.push_back(f.bytes);
  }
  ExpectConsecutive(recorded, source);

  // Started again and stopped with Ctrl+C, then again by a closed terminal (SIGHUP): each
  // appends whole frames behind the earlier ones and says how many.
  std::string before = killed;
  for (const int stop_signal : {SIGINT, SIGHUP}) {
    SCOPED_TRACE(stop_signal);
    record = Start("record", {"-o", path, address});
    ASSERT_TRUE(testing::Eventually([&] { return size_of() > before.size() + 100000; }, 60s))
        << record->Err();
    record->Signal(stop_signal);
    EXPECT_EQ(record->Wait(20s), 0) << record->Err();
    EXPECT_NE(record->Err().find("frames recorded into"), std::string::npos) << record->Err();
    const std::string after = ReadFile(path);
    ASSERT_EQ(after.substr(0, before.size()), before) << "the earlier recording stays as it was";
    const std::string tail = path + ".tail";
    testing::WriteFile(tail, after.substr(before.size()));
    std::vector<ByteVec> appended;
    for (const auto& f : ReadBack(tail)) {
      ASSERT_FALSE(f.cut_off);
      if (!f.timestamp && !f.bytes.empty()) appended.push_back(f.bytes);
    }
    ExpectConsecutive(appended, source);
    before = after;
  }
}

TEST_F(LiveProgramsTest, AReplayOnceEndsAtOnceWhenItsClientLeaves) {
  std::vector<std::uint8_t> capture;  // two frames 100 s apart
  for (const std::int64_t offset : {0, 100000}) {
    AppendKissEscaped(capture, BinaryStampFrame(1451651696789 + offset));
    AppendKissEscaped(capture, ByteVec{0x00, 0x41});
  }
  WriteCapture("slow.kss", std::string(capture.begin(), capture.end()));
  auto [replay, address] = StartReplay({"--once", PathOf("slow.kss")});
  TcpSource client(*ParseHostPort(address));
  std::string error;
  ASSERT_TRUE(client.Open(error)) << error;
  std::uint8_t first[4];
  EXPECT_EQ(client.Read(first, 20000, error), 4) << "the first frame at once";
  client.Close();
  EXPECT_EQ(replay->Wait(20s), 1);
  EXPECT_NE(replay->Err().find("The client left before the end of the replay."), std::string::npos)
      << replay->Err();
}

TEST_F(LiveProgramsTest, AFullDiskEndsTheRecordingWithEveryFrameBeforeItWhole) {
  const std::string mount_point = PathOf("small");
  std::filesystem::create_directory(mount_point);
  if (::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
  }
  const std::vector<ByteVec> source = Generate("gen.kss", 20000);
  auto [replay, address] = StartReplay({"--loop", "--speed", "0", PathOf("gen.kss")});
  const std::string path = mount_point + "/rec.kss";
  auto record = Start("record", {"-o", path, "--duration", "60", address});
  const auto status = record->Wait(60s);
  const auto frames = ReadBack(path);
  ::umount2(mount_point.c_str(), MNT_DETACH);
  EXPECT_EQ(status, 1);
  EXPECT_NE(record->Err().find("No space left on device"), std::string::npos) << record->Err();
  EXPECT_NE(record->Err().find("frames recorded into"), std::string::npos) << record->Err();
  std::vector<ByteVec> recorded;
  for (const auto& f : frames) {
    ASSERT_FALSE(f.cut_off);
    if (!f.timestamp) recorded.push_back(f.bytes);
  }
  EXPECT_GT(recorded.size(), 500u);
  ExpectConsecutive(recorded, source);
  // The count said is the frames the capture holds, those of the write that failed halfway
  // and was cut back to its last whole frame included.
  EXPECT_NE(record->Err().find(std::to_string(recorded.size()) + " frames recorded into"),
            std::string::npos)
      << recorded.size() << " frames in the capture; " << record->Err();
}

TEST_F(LiveProgramsTest, ASerialDeviceThatDisappearsEndsTheRecordingWithoutRetry) {
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string device = ::ttyname(slave);
  ::close(slave);
  ::fcntl(master, F_SETFD, FD_CLOEXEC);  // else the recorder would hold the line open itself
  const std::string path = PathOf("rec.kss");
  auto record = Start("record", {"-o", path, "--baud", "19200", "--retry", "0", device});
  ASSERT_TRUE(record->ErrHolds("Connected to " + device, 20s)) << record->Err();
  const ByteVec a = {0x00, 0x41, 0xC0}, b = {0x00, 0x42};
  ByteVec stream = {0x43, 0x44};  // the tail of a frame whose start the line missed
  AppendKissEscaped(stream, a);
  AppendKissEscaped(stream, b);
  stream.insert(stream.end(), {0xC0, 0x00, 0x45});  // cut off when the device goes
  ASSERT_EQ(::write(master, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
  EXPECT_TRUE(testing::Eventually([&] { return DataFrames(path).size() == 2; }, 20s));
  ::close(master);
  EXPECT_EQ(record->Wait(20s), 1) << record->Err();
  EXPECT_EQ(DataFrames(path), (std::vector<ByteVec>{a, b}));
  EXPECT_NE(record->Err().find("Connection to " + device + " lost"), std::string::npos)
      << record->Err();
}

// packscope-record as Wireshark runs it as an extcap: its answers to the steps before a capture,
// then a capture from a KISS TCP server on 127.0.0.1 (a replay) into a FIFO, which tshark reads
// frame by frame as it comes; stopped as Wireshark stops it.
TEST_F(LiveProgramsTest, AsAWiresharkExtcapItStreamsPcapIntoAFifoThatTsharkReads) {
  const auto answer = [&](std::vector<std::string> args) {
    auto step = Start("record", std::move(args));
    EXPECT_EQ(step->Wait(20s), 0) << step->Err();
    return step->Out();
  };
  const std::string interfaces = answer({"--extcap-interfaces", "--extcap-version=4.0"});
  EXPECT_NE(interfaces.find("interface {value=packscope-kiss-tcp}"), std::string::npos);
  EXPECT_NE(interfaces.find("interface {value=packscope-kiss-serial}"), std::string::npos);
  EXPECT_EQ(answer({"--extcap-dlts", "--extcap-interface", "packscope-kiss-tcp"})
                .rfind("dlt {number=202}", 0),
            0u);
  EXPECT_NE(answer({"--extcap-config", "--extcap-interface", "packscope-kiss-serial"})
                .find("{call=--baud}"),
            std::string::npos);
  std::string tshark_path;
  if (FILE* which = ::popen("command -v tshark", "r")) {
    char line[512] = {};
    if (std::fgets(line, sizeof line, which) != nullptr) tshark_path = line;
    ::pclose(which);
  }
  while (!tshark_path.empty() && tshark_path.back() == '\n') tshark_path.pop_back();
  if (tshark_path.empty()) GTEST_SKIP() << "tshark is not installed";

  const std::vector<ByteVec> source = Generate("gen.kss", 60);
  auto [replay, address] = StartReplay({"--once", "--speed", "0", PathOf("gen.kss")});
  const std::string fifo = PathOf("wireshark_extcap_fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto extcap = Start("record", {"--capture", "--extcap-interface", "packscope-kiss-tcp", "--fifo",
                                 fifo, "--source", address});
  Child tshark({tshark_path, "-r", fifo, "-c", "60", "-T", "fields", "-e", "_ws.col.Source", "-e",
                "_ws.col.Destination"},
               PathOf("tshark.out"), PathOf("tshark.err"));
  ASSERT_EQ(tshark.Wait(60s), 0) << tshark.Err();
  std::string expected;
  for (const ByteVec& frame : source) {
    const Ax25Details d = DescribeAx25(frame);
    expected += d.source.call + "\t" + d.destination.call + "\n";
  }
  EXPECT_EQ(tshark.Out(), expected);
  // Wireshark stops a capture with SIGTERM.
  extcap->Signal(SIGTERM);
  EXPECT_EQ(extcap->Wait(20s), 0) << extcap->Err();
  EXPECT_EQ(replay->Wait(20s), 0) << replay->Err();

  // tshark itself runs it from its personal extcap folder, the source given as Wireshark's
  // capture options give it.
  const std::string extcap_dir = PathOf("home/.config/wireshark/extcap");
  std::filesystem::create_directories(extcap_dir);
  std::filesystem::create_symlink(PACKSCOPE_RECORD, extcap_dir + "/packscope-record");
  std::filesystem::remove(PathOf("replay.err"));  // the first replay's, with its port
  auto [again, again_address] = StartReplay({"--once", "--speed", "0", PathOf("gen.kss")});
  const std::string command =
      "HOME=" + PathOf("home") + " timeout 60 " + tshark_path +
      " -i packscope-kiss-tcp -o extcap.packscope_kiss_tcp.source:" + again_address +
      " -c 60 -T fields -e _ws.col.Source -e _ws.col.Destination > " + PathOf("live.out") + " 2> " +
      PathOf("live.err");
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(PathOf("live.err"));
  EXPECT_EQ(ReadFile(PathOf("live.out")), expected);
  EXPECT_EQ(again->Wait(20s), 0) << again->Err();
}

TEST_F(LiveProgramsTest, UsageErrorsExitWithStatus2) {
  const std::vector<std::vector<std::string>> record_lines = {
      {"127.0.0.1:8001"},                              // no -o
      {"-o", PathOf("x.kss")},                         // no SOURCE
      {"-o", PathOf("x.kss"), "localhost"},            // no port
      {"-o", PathOf("x.kss"), "localhost:70000"},      // port out of range
      {"-o", PathOf("x.kss"), "--count", "0", "h:1"},  // nothing to record
      {"-o", PathOf("x.kss"), "--retry", "-1", "h:1"},
      {"-o", PathOf("x.kss"), "--frobnicate", "h:1"},
      {"-o", PathOf("x.kss"), "--source", "h:1", "h:2"},  // two sources
      // The extcap: an interface of another program, a capture without its FIFO, a serial
      // interface given a TCP source.
      {"--extcap-dlts", "--extcap-interface", "udpdump"},
      {"--capture", "--extcap-interface", "packscope-kiss-tcp", "--source", "h:1"},
      {"--capture", "--extcap-interface", "packscope-kiss-serial", "--fifo", PathOf("f"),
       "--source", "h:1"},
  };
  for (const auto& args : record_lines) {
    auto record = Start("record", args);
    EXPECT_EQ(record->Wait(20s), 2) << args.back();
    EXPECT_NE(record->Err().find("Try 'packscope-record --help'"), std::string::npos);
  }
  const std::vector<std::vector<std::string>> replay_lines = {
      {}, {"--speed", "-1", "a.kss"}, {"--loop", "--once", "a.kss"}, {"--listen", "h", "a.kss"}};
  for (const auto& args : replay_lines) {
    auto replay = Start("replay", args);
    EXPECT_EQ(replay->Wait(20s), 2) << replay->Err();
  }
  EXPECT_FALSE(testing::FileExists(PathOf("x.kss")));
  auto replay = Start("replay", {PathOf("missing.kss")});
  EXPECT_EQ(replay->Wait(20s), 1);
  EXPECT_NE(replay->Err().find("No such file or directory"), std::string::npos) << replay->Err();
}

}  // namespace
}  // namespace packscope
