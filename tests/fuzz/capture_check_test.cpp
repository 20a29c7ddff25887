// The fuzz target's checks over the committed seed corpus and over every input that once made
// the fuzzer fail (fuzz/regressions), in the normal test suite, without clang or libFuzzer.
#include "fuzz/capture_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace packscope {
namespace {

std::vector<std::string>& Failures() {
  static std::vector<std::string> failures;
  return failures;
}

void RecordFailure(const std::string& message) { Failures().push_back(message); }

// Every file of the folder, in name order; dot files (placeholders) are left out.
std::vector<std::filesystem::path> InputsIn(const std::string& folder) {
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
      inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

int CheckAll(const std::vector<std::filesystem::path>& inputs) {
  fuzz::SetFailureHandler(RecordFailure);
  int checked = 0;
  for (const auto& path : inputs) {
    Failures().clear();
    const std::string bytes = testing::ReadFile(path.string());
    fuzz::CheckCapture(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    for (const std::string& failure : Failures())
      ADD_FAILURE() << path.filename() << ": " << failure;
    ++checked;
  }
  fuzz::SetFailureHandler(nullptr);
  return checked;
}

TEST(CaptureCheckTest, SeedCorpus) {
  const auto inputs = InputsIn(PACKSCOPE_FUZZ_DIR "/corpus");
  ASSERT_GE(inputs.size(), 20u);
  EXPECT_EQ(CheckAll(inputs), static_cast<int>(inputs.size()));
}

TEST(CaptureCheckTest, InputsThatOnceFailed) {
  const auto inputs = InputsIn(PACKSCOPE_FUZZ_DIR "/regressions");
  EXPECT_EQ(CheckAll(inputs), static_cast<int>(inputs.size()));
}

// The checks themselves: a capture whose frames are all whole, one too long, and many passes
// over one state, as the program makes them.
TEST(CaptureCheckTest, CapturesBuiltHere) {
  const std::vector<std::string> captures = {
      testing::Hex("C0 00 41 42 C0 C0 09 00 00 01 51 FD 2F 08 95 C0 C0 00 DB DC C0"),
      "\xC0" + std::string(70000, 'x') + "\xC0",
      std::string(4096, '\xC0'),
      std::string(4096, '\xDB'),
  };
  Failures().clear();
  fuzz::SetFailureHandler(RecordFailure);
  for (const std::string& c : captures) {
    fuzz::CheckCapture(reinterpret_cast<const std::uint8_t*>(c.data()), c.size());
  }
  fuzz::SetFailureHandler(nullptr);
  EXPECT_EQ(Failures(), std::vector<std::string>());
}

}  // namespace
}  // namespace packscope
