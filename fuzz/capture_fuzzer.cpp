// libFuzzer target: every input is a capture file, run through all passes of the program (the
// Screen block in both Check1 views, the five file layouts with and without AX.25, the
// converter's own layouts and its --check report) and checked
// against a byte-by-byte reading of the capture (fuzz/capture_check.h). Build with
// -DPACKSCOPE_FUZZ=ON and clang; `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>

#include "fuzz/capture_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  packscope::fuzz::CheckCapture(data, size);
  return 0;
}
