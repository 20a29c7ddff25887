// libFuzzer target: every input is a file of TNC2 lines for the TNC2 reader, behind one line
// that makes the reader take it as such, checked by fuzz/input_check.h. Build with
// -DPACKSCOPE_FUZZ=ON and clang; `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/input_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input = "QQ0>APRS:the first line\n";
  input.append(reinterpret_cast<const char*>(data), size);
  const std::string problem = packscope::fuzz::CheckInput(
      reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  if (!problem.empty()) {
    std::fprintf(stderr, "input check: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
