#include "support/ax25_frames.h"

namespace packscope::testing {

std::string AddressBlock(const Address& address, bool last) {
  std::string block;
  std::string call = address.call;
  call.resize(6, ' ');
  for (const char c : call) block.push_back(static_cast<char>(static_cast<unsigned char>(c) << 1));
  int ssid_byte = 0x60 | ((address.ssid & 0x0F) << 1);
  if (last) ssid_byte |= 0x01;
  if (address.high) ssid_byte |= 0x80;
  block.push_back(static_cast<char>(ssid_byte));
  return block;
}

std::string Ax25Frame(const Address& destination, const Address& source,
                      const std::vector<Address>& digipeaters, std::uint8_t control,
                      std::optional<std::uint8_t> pid, const std::string& info, std::uint8_t type) {
  std::string frame(1, static_cast<char>(type));
  frame += AddressBlock(destination, false);
  frame += AddressBlock(source, digipeaters.empty());
  for (std::size_t i = 0; i < digipeaters.size(); ++i) {
    frame += AddressBlock(digipeaters[i], i + 1 == digipeaters.size());
  }
  frame.push_back(static_cast<char>(control));
  if (pid) frame.push_back(static_cast<char>(*pid));
  frame += info;
  return frame;
}

std::string Kiss(const std::string& frame) {
  std::string out(1, '\xC0');
  for (const char c : frame) {
    if (c == '\xC0') {
      out += "\xDB\xDC";
    } else if (c == '\xDB') {
      out += "\xDB\xDD";
    } else {
      out.push_back(c);
    }
  }
  out.push_back('\xC0');
  return out;
}

std::string BinaryStamp(std::uint64_t millis) {
  std::string frame(1, '\x09');
  for (int shift = 56; shift >= 0; shift -= 8) {
    frame.push_back(static_cast<char>((millis >> shift) & 0xFF));
  }
  return frame;
}

std::string TextStamp(const std::string& text) { return "\x09" + text; }

}  // namespace packscope::testing
