// libFuzzer target: every input is a pcap or pcapng capture for the pcap reader, checked by
// fuzz/input_check.h. An input whose first byte is even is read behind a pcap file header of
// link type 202 (so that the fuzzer works on the records), one whose first byte is odd as it is
// (a header of its own: pcap of either byte order or precision, or pcapng). Build with
// -DPACKSCOPE_FUZZ=ON and clang; `make fuzz` builds and runs it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/input_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string input;
  if (data[0] % 2 == 0) {
    // Magic (microseconds, little-endian), version 2.4, zone, accuracy, snapshot length 65535,
    // link type 202.
    input.assign(
        "\xD4\xC3\xB2\xA1\x02\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00"
        "\xFF\xFF\x00\x00\xCA\x00\x00\x00",
        24);
  }
  input.append(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string problem = packscope::fuzz::CheckInput(
      reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  if (!problem.empty()) {
    std::fprintf(stderr, "input check: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
