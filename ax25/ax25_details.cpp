#include "ax25/ax25_details.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "ax25/ax25_decoder.h"

namespace packscope {
namespace {

constexpr std::size_t kBlockLength = 7;

// Upper-case letters, digits and the blank, shifted left with bit 0 clear: one bit each of the
// 256 byte values.
constexpr auto kCallsignBytes = [] {
  std::array<std::uint64_t, 4> bits{};
  for (int c = 0; c < 128; ++c) {
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ') {
      const int b = c << 1;
      bits[static_cast<std::size_t>(b >> 6)] |= std::uint64_t{1} << (b & 63);
    }
  }
  return bits;
}();

inline bool IsCallsignByte(std::uint8_t b) {
  return ((kCallsignBytes[b >> 6] >> (b & 63)) & 1) != 0;
}

void ReadAddress(const std::uint8_t* block, Ax25Address& address, bool callsign_text) {
  std::memcpy(address.block.data(), block, kBlockLength);
  if (callsign_text) {
    address.ssid = CallsignText(block, address.call);
  } else {
    address.ssid = static_cast<std::uint8_t>((block[6] >> 1) & 0x0F);
  }
  address.high_bit = TestBit(block[6], 7);
  bool valid = true;
  for (int i = 0; i < 6; ++i) valid = IsCallsignByte(block[i]) && valid;
  address.chars_valid = valid;
}

void TooShort(Ax25Details& details, std::size_t needed) {
  details.problem = Ax25Problem::kTooShort;
  details.needed = needed;
}

}  // namespace

Ax25Details DescribeAx25(std::span<const std::uint8_t> kiss_frame, int modulo) {
  Ax25Details d;
  DescribeAx25(kiss_frame, d, modulo);
  return d;
}

void LocateAx25(std::span<const std::uint8_t> kiss_frame, Ax25Details& d) {
  d.problem = Ax25Problem::kNone;
  d.length = 0;
  d.needed = 0;
  d.digipeater_count = 0;
  d.control_at = 0;
  if (kiss_frame.empty()) return TooShort(d, kMinAx25HeaderLength);
  // From here on, offsets count from the destination's first byte.
  const std::span<const std::uint8_t> frame = kiss_frame.subspan(1);
  d.length = frame.size();
  if (frame.size() < kMinAx25HeaderLength) return TooShort(d, kMinAx25HeaderLength);
  std::size_t pos = 2 * kBlockLength;
  bool last = TestBit(frame[pos - 1], 0);
  while (!last) {
    if (d.digipeater_count == kMaxDigipeaters) {
      d.problem = Ax25Problem::kNoAddressEnd;
      return;
    }
    // The block and a control byte behind it.
    if (pos + kBlockLength >= frame.size()) return TooShort(d, pos + kBlockLength + 1);
    ++d.digipeater_count;
    pos += kBlockLength;
    last = TestBit(frame[pos - 1], 0);
  }
  if (pos >= frame.size()) return TooShort(d, pos + 1);
  d.control_at = pos + 1;
}

void DescribeAx25(std::span<const std::uint8_t> kiss_frame, Ax25Details& d, int modulo,
                  bool callsign_texts) {
  // Everything but the addresses' strings back to what a fresh Ax25Details holds.
  d.role = Ax25Role::kUnknown;
  d.modulo = modulo;
  d.control = 0;
  d.control2 = 0;
  d.control_length = 1;
  d.kind = Ax25Kind::kI;
  d.type_code = 0;
  d.name = {};
  d.ns.reset();
  d.nr.reset();
  d.poll_final = false;
  d.has_pid = false;
  d.pid.reset();
  d.info = {};
  LocateAx25(kiss_frame, d);
  if (d.length < kMinAx25HeaderLength) return;
  const std::uint8_t* frame = kiss_frame.data() + 1;
  ReadAddress(frame, d.destination, callsign_texts);
  ReadAddress(frame + kBlockLength, d.source, callsign_texts);
  if (d.destination.high_bit != d.source.high_bit) {
    d.role = d.destination.high_bit ? Ax25Role::kCommand : Ax25Role::kResponse;
  }
  for (int i = 0; i < d.digipeater_count; ++i) {
    ReadAddress(frame + kBlockLength * static_cast<std::size_t>(2 + i),
                d.digipeaters[static_cast<std::size_t>(i)], callsign_texts);
  }
  if (d.problem == Ax25Problem::kNone) ReadControlField(kiss_frame, d, modulo);
}

bool ReadControlField(std::span<const std::uint8_t> kiss_frame, Ax25Details& d, int modulo) {
  d.modulo = modulo;
  d.control2 = 0;
  d.control_length = 1;
  d.name = {};
  d.ns.reset();
  d.nr.reset();
  d.poll_final = false;
  d.pid.reset();
  d.info = {};
  std::size_t pos = d.control_at;
  const std::uint8_t c = kiss_frame[pos++];
  d.control = c;
  const Ax25Control k = ClassifyControl(c);
  d.kind = k.kind;
  d.type_code = k.type_code;
  d.has_pid = k.has_pid;
  if (modulo == kModulo128 && k.kind != Ax25Kind::kU) {
    // Offsets after the type byte: the second control byte is at pos - 1 of them.
    if (pos >= kiss_frame.size()) {
      TooShort(d, pos);
      return false;
    }
    const std::uint8_t c2 = kiss_frame[pos++];
    d.control2 = c2;
    d.control_length = 2;
    d.poll_final = TestBit(c2, 0);
    if (k.kind == Ax25Kind::kI) d.ns = c >> 1;
    d.nr = c2 >> 1;
  } else {
    d.poll_final = TestBit(c, 4);
    if (k.kind == Ax25Kind::kI) d.ns = (c >> 1) & 0x07;
    if (k.kind != Ax25Kind::kU) d.nr = c >> 5;
  }
  switch (k.kind) {
    case Ax25Kind::kI:
      break;
    case Ax25Kind::kS:
      d.name = SFrameName(d.type_code);
      break;
    case Ax25Kind::kU:
      d.name = UFrameName(d.type_code);
      break;
  }
  if (d.has_pid && pos < kiss_frame.size()) d.pid = kiss_frame[pos++];
  d.info = kiss_frame.subspan(pos);
  return true;
}

std::string_view SFrameName(std::uint8_t code) {
  static constexpr std::string_view kNames[] = {"RR", "RNR", "REJ", "SREJ"};
  return code < 4 ? kNames[code] : std::string_view();
}

std::string_view UFrameName(std::uint8_t code) {
  switch (code) {
    case 0:
      return "UI";
    case 3:
      return "DM";
    case 7:
      return "SABM";
    case 8:
      return "DISC";
    case 12:
      return "UA";
    case 15:
      return "SABME";
    case 17:
      return "FRMR";
    case 23:
      return "XID";
    case 28:
      return "TEST";
    default:
      return {};
  }
}

std::string_view PidName(std::uint8_t pid) {
  switch (pid) {
    case 0x01:
      return "X.25 PLP";
    case 0x06:
      return "Compressed TCP/IP";
    case 0x07:
      return "Uncompressed TCP/IP";
    case 0x08:
      return "Segmentation fragment";
    case 0xC3:
      return "TEXNET";
    case 0xC4:
      return "Link Quality Protocol";
    case 0xCA:
      return "AppleTalk";
    case 0xCB:
      return "AppleTalk ARP";
    case 0xCC:
      return "IP";
    case 0xCD:
      return "ARP";
    case 0xCE:
      return "FlexNet";
    case 0xCF:
      return "NET/ROM";
    case 0xF0:
      return "No layer 3";
    case 0xFF:
      return "Escape";
    default:
      break;
  }
  // yy01yyyy and yy10yyyy: an AX.25 layer 3 protocol.
  const int layer3 = pid & 0x30;
  if (layer3 == 0x10 || layer3 == 0x20) return "AX.25 layer 3";
  return {};
}

std::string_view KindLetter(Ax25Kind kind) {
  switch (kind) {
    case Ax25Kind::kI:
      return "I";
    case Ax25Kind::kS:
      return "S";
    case Ax25Kind::kU:
      return "U";
  }
  return {};
}

}  // namespace packscope
