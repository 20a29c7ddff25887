// CheckSessions: frames through the link tracker (ax25/ax25_link.h) with a sink, and the layer-3
// reading (ax25/layer3.h) of every frame, against what must hold whatever the frames: every
// session ends once, numbered 1, 2, ... in the order begun; a session's counts agree with the
// facts of its frames and with the data and gaps handed on; data comes only for an open session;
// the NET/ROM reading stays inside the frame and the layer-3 line is one line of printable ASCII.
//
// The input is a capture (KISS frames), or, when its first byte is odd, frames built from
// records between three stations, so that the fuzzer meets connected links at once:
//
//   byte 0  bits 0-1 the pair, 2 the direction, 3 the KISS port, 4 a digipeater, 5 its H bit,
//           6 a command (C bits), 7 a PID byte
//   byte 1  control, byte 2 a second control byte, byte 3 (low 6 bits) information length, then
//           the information
#ifndef PACKSCOPE_FUZZ_SESSIONS_CHECK_H_
#define PACKSCOPE_FUZZ_SESSIONS_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace packscope::fuzz {

// The frames (un-escaped, type byte first) the input stands for.
std::vector<std::string> SessionFrames(const std::uint8_t* data, std::size_t size);

// What is wrong first, or an empty text.
std::string CheckSessions(const std::uint8_t* data, std::size_t size);

}  // namespace packscope::fuzz

#endif  // PACKSCOPE_FUZZ_SESSIONS_CHECK_H_
