// libFuzzer target: every input is three captures (fuzz/merge_check.h), merged under every rule
// and checked. Build with -DPACKSCOPE_FUZZ=ON and clang; `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/merge_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string wrong = packscope::fuzz::CheckMerge(data, size);
  if (!wrong.empty()) {
    std::fprintf(stderr, "merge check: %s\n", wrong.c_str());
    std::abort();
  }
  return 0;
}
