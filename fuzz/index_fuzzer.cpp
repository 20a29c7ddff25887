// libFuzzer target: every input is a capture, indexed in two steps (its first half, then all of
// it, as a capture that grows) and its display text and timestamp log made on demand, checked
// against whole Screen passes (fuzz/index_check.h). Build with -DPACKSCOPE_FUZZ=ON and clang;
// `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/index_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string difference = packscope::fuzz::CheckIndex(data, size);
  if (!difference.empty()) {
    std::fprintf(stderr, "index check: %s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
