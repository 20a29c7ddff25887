// CheckInput: a capture of any format through its reader (capture/capture_input.h), read whole
// and read in pieces of other sizes: the same stream, the same damage, the same outcome. The
// stream of a decoding reader (pcap, pcapng, TNC2 lines) is clean KISS: every frame closed by a
// FEND of its own, nothing skipped, no stray escape, damage only between frames; TNC2 lines give
// binary stamps and frames whose TNC2 line reads back as the frame.
#ifndef PACKSCOPE_FUZZ_INPUT_CHECK_H_
#define PACKSCOPE_FUZZ_INPUT_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace packscope::fuzz {

// What is wrong first, or an empty text when nothing is.
std::string CheckInput(const std::uint8_t* data, std::size_t size);

}  // namespace packscope::fuzz

#endif  // PACKSCOPE_FUZZ_INPUT_CHECK_H_
