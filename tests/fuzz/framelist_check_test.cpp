// The frame list fuzz target's check over the committed seed corpus and the inputs that once
// failed a fuzzer, in the normal test suite.
#include "fuzz/framelist_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace packscope {
namespace {

TEST(FrameListCheckTest, SeedCorpusAndInputsThatOnceFailed) {
  int checked = 0;
  for (const char* folder : {PACKSCOPE_FUZZ_DIR "/corpus", PACKSCOPE_FUZZ_DIR "/regressions",
                             PACKSCOPE_FUZZ_DIR "/sessions_corpus"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
      const std::string bytes = testing::ReadFile(entry.path().string());
      EXPECT_EQ(
          fuzz::CheckFrameList(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
          "")
          << entry.path().filename();
      ++checked;
    }
  }
  EXPECT_GE(checked, 20);
}

}  // namespace
}  // namespace packscope
