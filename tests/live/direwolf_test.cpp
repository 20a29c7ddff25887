// End to end with a real soundmodem: Dire Wolf decodes AFSK audio made by its own gen_packets
// from monitor lines of our choosing, read from its standard input, and offers the frames on
// its KISS port; packscope-record records them. The recorded frames must be the lines sent,
// each behind a stamp of its time of reception.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ax25/ax25_details.h"
#include "live/live_test_support.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using namespace std::chrono_literals;

bool Installed(const std::string& program) {
  return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

// The frame as a monitor line in the form gen_packets reads: SOURCE>DEST,DIGI,...:information.
std::string TncLine(std::span<const std::uint8_t> kiss_frame) {
  const Ax25Details d = DescribeAx25(kiss_frame);
  std::string line = d.source.call + ">" + d.destination.call;
  for (int i = 0; i < d.digipeater_count; ++i) {
    line += "," + d.digipeaters[static_cast<std::size_t>(i)].call;
  }
  return line + ":" + std::string(d.info.begin(), d.info.end());
}

class DireWolfTest : public testing::TempDirTest {};

TEST_F(DireWolfTest, FramesDecodedFromAudioAreRecordedAsTheyWereSent) {
  if (!Installed("direwolf") || !Installed("gen_packets")) {
    GTEST_SKIP() << "Dire Wolf is not installed (scripts/install-deps test)";
  }
  const std::vector<std::string> lines = {
      "QQ1ABC>APRS,WIDE1-1,WIDE2-2:>Packscope test {1} 73",
      "QQ2DE-7>QQ3FGH-12:plain payload 0123456789",
      "QQ4IJ-15>APZ001,QQ5KL-3:=4903.50N/07201.75W-third line",
  };
  // One WAV per line (gen_packets keeps a line break in the payload), their samples joined.
  std::string audio;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string text = PathOf("line" + std::to_string(i) + ".txt");
    const std::string wav = PathOf("line" + std::to_string(i) + ".wav");
    testing::WriteFile(text, lines[i]);
    ASSERT_EQ(std::system(("gen_packets -r 48000 -o " + wav + " " + text + " > /dev/null").c_str()),
              0);
    const std::string samples = testing::ReadFile(wav);
    ASSERT_GT(samples.size(), 44u);
    audio += samples.substr(44);  // the header of a plain 16-bit mono WAV
  }

  const int port = testing::FreeLoopbackPort(20000, 49151);
  ASSERT_GT(port, 0);
  testing::WriteFile(PathOf("direwolf.conf"),
                     "ADEVICE stdin null\nARATE 48000\nACHANNELS 1\n"
                     "CHANNEL 0\nAGWPORT 0\nKISSPORT " +
                         std::to_string(port) + "\n");
  int audio_pipe[2];
  ASSERT_EQ(::pipe2(audio_pipe, O_CLOEXEC), 0);
  testing::Child direwolf({"/usr/bin/env", "direwolf", "-c", PathOf("direwolf.conf"), "-t", "0"},
                          PathOf("direwolf.out"), PathOf("direwolf.err"), audio_pipe[0]);
  ::close(audio_pipe[0]);
  ASSERT_TRUE(testing::Eventually(
      [&] {
        return direwolf.Out().find("Ready to accept KISS TCP client application 0 on port " +
                                   std::to_string(port)) != std::string::npos;
      },
      30s))
      << direwolf.Out() << direwolf.Err();

  const std::string capture = PathOf("direwolf.kss");
  testing::Child record({PACKSCOPE_RECORD, "-o", capture, "--count", std::to_string(lines.size()),
                         "--duration", "120", "--retry", "1", "127.0.0.1:" + std::to_string(port)},
                        PathOf("record.out"), PathOf("record.err"));
  ASSERT_TRUE(record.ErrHolds("Connected to", 30s)) << record.Err() << direwolf.Out();
  const std::int64_t before = testing::NowMillis();
  ::signal(SIGPIPE, SIG_IGN);  // a Dire Wolf that ended early fails the test, not the program
  for (std::size_t done = 0; done < audio.size();) {
    const ssize_t n = ::write(audio_pipe[1], audio.data() + done, audio.size() - done);
    ASSERT_GT(n, 0) << std::strerror(errno) << direwolf.Out();
    done += static_cast<std::size_t>(n);
  }
  const auto status = record.Wait(120s);
  const std::int64_t after = testing::NowMillis();
  ::close(audio_pipe[1]);  // end of the audio: Dire Wolf ends
  EXPECT_TRUE(direwolf.Wait(30s).has_value());
  ASSERT_EQ(status, 0) << record.Err() << direwolf.Out();

  const auto frames = testing::ReadBack(capture);
  ASSERT_EQ(frames.size(), 2 * lines.size()) << direwolf.Out();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(frames[2 * i].timestamp);
    const auto& frame = frames[2 * i + 1];
    EXPECT_EQ(TncLine(frame.bytes), lines[i]);
    ASSERT_TRUE(frame.millis.has_value());
    EXPECT_GE(*frame.millis, before);
    EXPECT_LE(*frame.millis, after);
  }
}

}  // namespace
}  // namespace packscope
