// libFuzzer target: every input is text of APRS monitor lines ("SOURCE>DESTINATION:info"),
// decoded in order and checked (fuzz/aprs_check.h). Build with -DPACKSCOPE_FUZZ=ON and clang;
// `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>

#include "fuzz/aprs_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  packscope::fuzz::CheckAprsFields(data, size);
  return 0;
}
