// The merge fuzz target's check in the normal test suite: generated receivers of one traffic,
// its seeds, and the capture corpus's captures three at a time (each with the next two).
#include "fuzz/merge_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

// The checker's input: the first two captures' lengths, then the three captures.
std::string Input(const std::string& a, const std::string& b, const std::string& c) {
  std::string out;
  for (const std::size_t n : {a.size(), b.size()}) {
    out.push_back(static_cast<char>(n & 0xFF));
    out.push_back(static_cast<char>(n >> 8 & 0xFF));
  }
  return out + a + b + c;
}

std::string Check(const std::string& input) {
  return fuzz::CheckMerge(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(MergeCheckTest, GeneratedReceiversAndTheSeedCorpus) {
  gen::Options o;
  o.seed = 4;
  o.frames = 120;
  o.doubles_percent = 30;
  o.beacon_stations = 2;
  o.satellite_percent = 10;
  o.receivers = {{"a", 80, 0}, {"b", 70, 900}, {"c", 60, -400}};
  const std::vector<std::string> r = gen::GenerateTrafficBytes(o);
  ASSERT_LT(std::max(r[0].size(), r[1].size()), 65536u);
  EXPECT_EQ(Check(Input(r[0], r[1], r[2])), "");

  std::vector<std::string> captures;
  for (const char* folder : {PACKSCOPE_FUZZ_DIR "/corpus", PACKSCOPE_FUZZ_DIR "/regressions"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
      captures.push_back(testing::ReadFile(entry.path().string()));
    }
  }
  ASSERT_GE(captures.size(), 20u);
  for (const auto& entry :
       std::filesystem::directory_iterator(PACKSCOPE_FUZZ_DIR "/merge_corpus")) {
    EXPECT_EQ(Check(testing::ReadFile(entry.path().string())), "") << entry.path().filename();
  }
  for (std::size_t i = 0; i < captures.size(); ++i) {
    const std::string& b = captures[(i + 1) % captures.size()];
    const std::string& c = captures[(i + 2) % captures.size()];
    EXPECT_EQ(Check(Input(captures[i], b, c)), "") << i;
  }
}

}  // namespace
}  // namespace packscope
