// libFuzzer target: every input is a capture, or records of frames between three stations
// (fuzz/sessions_check.h), read by the link tracker and the NET/ROM decoder. Build with
// -DPACKSCOPE_FUZZ=ON and clang; `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/sessions_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = packscope::fuzz::CheckSessions(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "sessions check: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
