// Test support: AX.25 frames and KISS captures built from readable parts.
#ifndef PACKSCOPE_TESTS_SUPPORT_AX25_FRAMES_H_
#define PACKSCOPE_TESTS_SUPPORT_AX25_FRAMES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace packscope::testing {

// One address: callsign (up to six characters, padded with blanks), SSID, and bit 7 of its SSID
// byte (C bit, or H bit of a digipeater).
struct Address {
  std::string call;
  int ssid = 0;
  bool high = false;
};

// The 7-byte block of an address; last sets the end mark.
std::string AddressBlock(const Address& address, bool last);

// An un-escaped KISS frame: type byte, destination, source, digipeaters (end mark on the last
// address), control byte, PID when given, information field.
std::string Ax25Frame(const Address& destination, const Address& source,
                      const std::vector<Address>& digipeaters, std::uint8_t control,
                      std::optional<std::uint8_t> pid, const std::string& info,
                      std::uint8_t type = 0x00);

// A frame as stored: FEND, the bytes with FEND and FESC escaped, FEND.
std::string Kiss(const std::string& frame);

// A binary timestamp frame (9 bytes, un-escaped) of millis since 1970.
std::string BinaryStamp(std::uint64_t millis);

// A text timestamp frame: type byte 0x09 and the text.
std::string TextStamp(const std::string& text);

}  // namespace packscope::testing

#endif  // PACKSCOPE_TESTS_SUPPORT_AX25_FRAMES_H_
