// The sessions fuzz target's check over its seeds, the capture fuzzer's, the inputs that once
// failed and generated sessions with losses, in the normal test suite.
#include "fuzz/sessions_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

std::string Check(const std::string& bytes) {
  return fuzz::CheckSessions(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(SessionsCheckTest, SeedsAndGeneratedSessions) {
  int checked = 0;
  for (const char* folder : {PACKSCOPE_FUZZ_DIR "/sessions_corpus", PACKSCOPE_FUZZ_DIR "/corpus",
                             PACKSCOPE_FUZZ_DIR "/regressions"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
      EXPECT_EQ(Check(testing::ReadFile(entry.path().string())), "") << entry.path().filename();
      ++checked;
    }
  }
  EXPECT_GE(checked, 20);
  // The records seed holds a session: the check sees one.
  const std::string records = testing::ReadFile(PACKSCOPE_FUZZ_DIR "/sessions_corpus/records.bin");
  EXPECT_EQ(
      fuzz::SessionFrames(reinterpret_cast<const std::uint8_t*>(records.data()), records.size())
          .size(),
      14U);
  gen::Options options;
  options.sessions = true;
  options.frames = 5000;
  options.loss = 20;
  options.monitor_loss = 15;
  for (std::uint64_t seed : {7u, 8u}) {
    options.seed = seed;
    EXPECT_EQ(Check(gen::GenerateCaptureBytes(options)), "") << seed;
  }
}

}  // namespace
}  // namespace packscope
