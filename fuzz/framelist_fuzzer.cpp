// libFuzzer target: every input is a capture, through the frame list's core (rows, frames read
// again, details, sorts, find, survey) and checked against the frame loop (fuzz/framelist_check.h).
// Build with -DPACKSCOPE_FUZZ=ON and clang; `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/framelist_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string difference = packscope::fuzz::CheckFrameList(data, size);
  if (!difference.empty()) {
    std::fprintf(stderr, "frame list check: %s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
