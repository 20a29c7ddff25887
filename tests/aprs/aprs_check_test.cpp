// The APRS fuzz target's checks over its seed corpus and over every input that once made the
// fuzzer fail (fuzz/aprs_regressions), in the normal test suite.
#include "fuzz/aprs_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace packscope {
namespace {

std::vector<std::string>& Failures() {
  static std::vector<std::string> failures;
  return failures;
}

void RecordFailure(const std::string& message) { Failures().push_back(message); }

// The inputs of a folder in name order; dot files (placeholders) left out.
int CheckFolder(const std::string& folder) {
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
      inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  fuzz::SetAprsFailureHandler(RecordFailure);
  for (const auto& path : inputs) {
    Failures().clear();
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string data = bytes.str();
    fuzz::CheckAprsFields(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    for (const std::string& failure : Failures())
      ADD_FAILURE() << path.filename() << ": " << failure;
  }
  fuzz::SetAprsFailureHandler(nullptr);
  return static_cast<int>(inputs.size());
}

TEST(AprsCheckTest, SeedCorpus) { EXPECT_GE(CheckFolder(PACKSCOPE_FUZZ_DIR "/aprs_corpus"), 15); }

TEST(AprsCheckTest, InputsThatOnceFailed) { CheckFolder(PACKSCOPE_FUZZ_DIR "/aprs_regressions"); }

}  // namespace
}  // namespace packscope
