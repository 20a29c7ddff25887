// packscope-convert on every input of the field, as a user feeds it: round trips through pcap,
// pcapng (Wireshark's editcap) and TNC2 lines give the same frames (merged too), and a capture
// compressed or on standard input gives the same jsonl as the file itself.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using nlohmann::json;

bool Has(const std::string& program) {
  return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

class InputsCliTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    gen::Options options;
    options.seed = 27;
    options.frames = 300;
    options.mix = true;
    options.max_digis = 4;
    capture_ = WriteCapture("pass.kss", gen::GenerateCaptureBytes(options));
  }

  // Runs a shell command in the folder; its exit status.
  int Run(const std::string& command) {
    const int raw = std::system(("cd " + Dir() + " && LC_ALL=C " + command).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Convert() const { return std::string(PACKSCOPE_CONVERT); }

  // The jsonl of input, converted here.
  std::string Jsonl(const std::string& input) {
    EXPECT_EQ(Run(Convert() + " -l jsonl -o out.jsonl " + input + " 2> /dev/null"), 0) << input;
    return testing::ReadFile(PathOf("out.jsonl"));
  }

  // What a frame is, whatever file held it: its addresses, path, payload and time.
  std::vector<std::string> Frames(const std::string& input) {
    std::vector<std::string> frames;
    for (const std::string& line : testing::Lines(Jsonl(input))) {
      const json j = json::parse(line);
      frames.push_back(json::array({j["source"], j["destination"], j["digipeaters"],
                                    j["payload_hex"], j["stamp_ms"]})
                           .dump());
    }
    return frames;
  }

  std::string capture_;
};

TEST_F(InputsCliTest, RoundTripsThroughPcapPcapngAndTnc2GiveTheSameFrames) {
  const std::vector<std::string> frames = Frames("pass.kss");
  ASSERT_EQ(frames.size(), 300u);
  ASSERT_EQ(Run(Convert() + " -l pcap pass.kss 2> /dev/null"), 0);
  EXPECT_EQ(Frames("pass.pcap"), frames);
  ASSERT_EQ(Run(Convert() + " -l tnc2 pass.kss 2> /dev/null"), 0);
  EXPECT_EQ(Frames("pass.tnc2.txt"), frames);
  // The tnc2 file read back writes the same lines again.
  ASSERT_EQ(Run(Convert() + " -l tnc2 -o again.txt pass.tnc2.txt 2> /dev/null"), 0);
  EXPECT_EQ(testing::ReadFile(PathOf("again.txt")), testing::ReadFile(PathOf("pass.tnc2.txt")));
  if (!Has("editcap")) GTEST_SKIP() << "editcap (Wireshark) is not installed";
  ASSERT_EQ(Run("editcap -F pcapng pass.pcap pass.pcapng"), 0);
  EXPECT_EQ(Frames("pass.pcapng"), frames);
  EXPECT_EQ(Run(Convert() + " --check pass.pcapng > report.txt"), 0);
  // Captures of other formats are merged as KISS captures are.
  ASSERT_EQ(Run("cp pass.kss copy.kss"), 0);
  EXPECT_EQ(Frames("--merge --dupes bytes pass.pcap pass.pcapng"),
            Frames("--merge --dupes bytes pass.kss copy.kss"));
}

TEST_F(InputsCliTest, CompressedAndPipedCapturesGiveTheSameJsonl) {
  const std::string jsonl = Jsonl("pass.kss");
  ASSERT_FALSE(jsonl.empty());
  for (const std::string tool : {"gzip", "xz", "zstd -q", "bzip2"}) {
    const std::string program = tool.substr(0, tool.find(' '));
    if (!Has(program)) {
      ADD_FAILURE() << program << " is not installed (scripts/install-deps test)";
      continue;
    }
    ASSERT_EQ(Run(tool + " -c pass.kss > packed"), 0);
    EXPECT_EQ(Jsonl("packed"), jsonl) << tool;
    EXPECT_EQ(Run(tool + " -dc packed | " + Convert() + " -l jsonl -o piped.jsonl - 2> /dev/null"),
              0);
    EXPECT_EQ(testing::ReadFile(PathOf("piped.jsonl")), jsonl) << tool << " through a pipe";
  }
  EXPECT_EQ(Run("cat pass.kss | " + Convert() + " -l jsonl -o - - > piped.jsonl 2> /dev/null"), 0);
  EXPECT_EQ(testing::ReadFile(PathOf("piped.jsonl")), jsonl);
  EXPECT_EQ(Run("cat pass.kss | " + Convert() + " -l jsonl - 2> err.txt"), 2);
  EXPECT_NE(testing::ReadFile(PathOf("err.txt")).find("give -o"), std::string::npos);
}

}  // namespace
}  // namespace packscope
