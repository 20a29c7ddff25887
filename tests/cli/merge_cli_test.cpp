// packscope-convert --merge: generated receivers merged into one jsonl, kiss and stats output
// that agree with each other and with the filter's heard_by, and what the converter refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using nlohmann::json;
using testing::Lines;
using testing::ReadFile;

class MergeCliTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    testing::TempDirTest::SetUp();
    gen::Options o;
    o.seed = 9;
    o.frames = 600;
    o.doubles_percent = 30;
    o.beacon_stations = 2;
    o.satellite_percent = 10;
    o.receivers = {{"north.kss", 90, 0}, {"south.kss", 60, 800}, {"west.kss", 40, -300}};
    const std::vector<std::string> bytes = gen::GenerateTrafficBytes(o, &sent_);
    for (std::size_t r = 0; r < bytes.size(); ++r) WriteCapture(o.receivers[r].output, bytes[r]);
  }
  int Run(const std::string& args) {
    const std::string cmd = "cd '" + Dir() + "' && '" PACKSCOPE_CONVERT "' " + args + " >'" +
                            PathOf("stdout") + "' 2>'" + PathOf("stderr") + "'";
    const int status = std::system(cmd.c_str());
    out = ReadFile(PathOf("stdout"));
    err = ReadFile(PathOf("stderr"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::vector<json> JsonLines(const std::string& text) {
    std::vector<json> out_lines;
    for (const std::string& line : Lines(text)) {
      if (!line.empty()) out_lines.push_back(json::parse(line));
    }
    return out_lines;
  }
  std::vector<gen::TrafficPacket> sent_;
  std::string out;
  std::string err;
};

TEST_F(MergeCliTest, JsonlKissStatsAndTheFilterTellOneStory) {
  const std::string captures = "north.kss south.kss west.kss";
  ASSERT_EQ(Run("--merge " + captures + " --layout jsonl"), 0) << err;
  std::size_t heard = 0;
  for (const gen::TrafficPacket& p : sent_) {
    bool any = false;
    for (const std::uint8_t h : p.heard) any = any || h != 0;
    heard += any ? 1 : 0;
  }
  EXPECT_EQ(err.substr(0, err.find(';')), "north.merged.jsonl has been written (" +
                                              std::to_string(heard) + " packets of 3 captures");
  const std::vector<json> merged = JsonLines(ReadFile(PathOf("north.merged.jsonl")));
  ASSERT_EQ(merged.size(), heard);

  // The kiss layout writes the merged capture: read alone it gives the same objects, less the
  // receivers.
  ASSERT_EQ(Run("--merge " + captures + " --layout kiss -o merged.kss"), 0) << err;
  ASSERT_EQ(Run("--layout jsonl -o - merged.kss"), 0) << err;
  const std::vector<json> alone = JsonLines(out);
  ASSERT_EQ(alone.size(), merged.size());
  std::map<std::string, std::int64_t> frames;
  for (std::size_t i = 0; i < merged.size(); ++i) {
    json m = merged[i];
    ASSERT_TRUE(m["heard_by"].is_array()) << i;
    EXPECT_EQ(m["heard_by"].size(), m["heard_offset_ms"].size()) << i;
    for (const json& name : m["heard_by"]) ++frames[name.get<std::string>()];
    m.erase("heard_by");
    m.erase("heard_offset_ms");
    EXPECT_EQ(m, alone[i]) << i;
  }
  // The series of the merge are those of the merged capture, through a filter too.
  for (const std::string filter : {"", " --filter 'aprs.type == position'"}) {
    ASSERT_EQ(Run("--merge " + captures + " --layout series -o -" + filter), 0) << err;
    const std::string series = out;
    ASSERT_EQ(Run("--layout series -o - merged.kss" + filter), 0) << err;
    EXPECT_GT(Lines(series).size(), 100u) << filter;
    EXPECT_EQ(series, out) << filter;
  }

  // The receivers of stats count what jsonl says; the filter finds the packets heard alone.
  ASSERT_EQ(Run("--merge " + captures + " --layout stats -o -"), 0) << err;
  const json receivers = json::parse(out)["receivers"];
  ASSERT_EQ(receivers.size(), 3u);
  for (const auto& [name, r] : receivers.items()) {
    EXPECT_EQ(r["frames"].get<std::int64_t>(), frames[name]) << name;
    EXPECT_EQ(r["missed"].get<std::int64_t>(), static_cast<std::int64_t>(heard) - frames[name]);
  }
  EXPECT_EQ(receivers["south.kss"]["offset_ms"], 800);
  ASSERT_EQ(Run("--merge " + captures +
                " --layout jsonl -o - --filter 'heard_count == 1 and heard_by == north.kss'"),
            0)
      << err;
  EXPECT_EQ(static_cast<std::int64_t>(JsonLines(out).size()),
            receivers["north.kss"]["only_here"].get<std::int64_t>());
  EXPECT_GT(JsonLines(out).size(), 10u);
}

TEST_F(MergeCliTest, RefusesWhatItCannotMergeAndNeverWritesACapture) {
  const std::string south = ReadFile(PathOf("south.kss"));
  EXPECT_EQ(Run("--merge north.kss south.kss --layout kiss -o south.kss"), 1);
  EXPECT_EQ(err,
            "packscope-convert: \"south.kss\" was not written: it is the capture "
            "\"south.kss\", which the command reads.\n");
  EXPECT_EQ(ReadFile(PathOf("south.kss")), south);

  // Captures without stamps: refused in time order, joined with --order files.
  WriteCapture("plain.kss", testing::Kiss(testing::Ax25Frame({"APRS"}, {"QQ1AAA"}, {}, 0x03, 0xF0,
                                                             ">no stamp")));
  EXPECT_EQ(Run("--merge north.kss plain.kss --layout kiss -o j.kss"), 1);
  EXPECT_NE(err.find("The capture \"plain.kss\" has no timestamps"), std::string::npos) << err;
  ASSERT_EQ(Run("--merge plain.kss north.kss --order files --layout kiss -o j.kss"), 0) << err;
  EXPECT_EQ(ReadFile(PathOf("j.kss")),
            ReadFile(PathOf("plain.kss")) + ReadFile(PathOf("north.kss")));

  const std::vector<std::pair<std::string, std::string>> usage = {
      {"--dupes bytes --layout kiss north.kss",
       "--dupes, --dupe-window and --order go with --merge."},
      {"--merge --order files --dupes aprs --layout kiss north.kss",
       "--order files joins the captures and keeps every frame: no --dupes aprs."},
      {"--merge --dupes fuzzy --layout kiss north.kss", "unknown duplicate rule 'fuzzy'"},
      {"--merge --dupe-window 1.5s --layout kiss north.kss", "--dupe-window '1.5s' is not"},
      {"--merge --check north.kss", "--check reads each capture alone; no --merge."},
  };
  for (const auto& [args, message] : usage) {
    EXPECT_EQ(Run(args), 2) << args;
    EXPECT_NE(err.find(message), std::string::npos) << args << ": " << err;
  }
  EXPECT_EQ(Run("--merge north.kss - --layout kiss -o j.kss"), 1);
  EXPECT_NE(err.find("Standard input cannot be merged"), std::string::npos) << err;
}

}  // namespace
}  // namespace packscope
