// The pcap and TNC2 fuzz targets' check over their committed seed corpora, in the normal test
// suite, with each seed read as its target reads it.
#include "fuzz/input_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace packscope {
namespace {

std::string Check(const std::string& input) {
  return fuzz::CheckInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

TEST(InputCheckTest, SeedCorpora) {
  const std::string pcap_header(
      "\xD4\xC3\xB2\xA1\x02\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00"
      "\xFF\xFF\x00\x00\xCA\x00\x00\x00",
      24);
  int checked = 0;
  for (const char* folder :
       {PACKSCOPE_FUZZ_DIR "/pcap_corpus", PACKSCOPE_FUZZ_DIR "/tnc2_corpus"}) {
    const bool pcap = std::string(folder).ends_with("pcap_corpus");
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.') continue;
      const std::string bytes = testing::ReadFile(entry.path().string());
      ASSERT_FALSE(bytes.empty());
      // As the targets build their inputs (fuzz/pcap_fuzzer.cpp, fuzz/tnc2_fuzzer.cpp).
      const std::string input = pcap ? (bytes[0] % 2 == 0 ? pcap_header : "") + bytes.substr(1)
                                     : "QQ0>APRS:the first line\n" + bytes;
      EXPECT_EQ(Check(input), "") << entry.path().filename();
      ++checked;
    }
  }
  EXPECT_GE(checked, 8);
}

}  // namespace
}  // namespace packscope
