#include "ax25/ax25_decoder.h"

#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "render/hex.h"

namespace packscope {

namespace {

// The SSID of a 7-byte address block: bits 1..4 of its last byte.
std::uint8_t SsidOf(const std::uint8_t* block) {
  return static_cast<std::uint8_t>((block[6] & 0x1E) / 2);
}

// The callsign text of a block into buf (room for 9 characters); returns its length.
std::size_t CallsignChars(const std::uint8_t* block, char* buf, std::uint8_t& ssid) {
  char chars[6];
  unsigned kept = 0;  // bit i: character i is not a blank
  for (int i = 0; i < 6; ++i) {
    chars[i] = static_cast<char>(ShiftRight(block[i], 1));
    kept |= static_cast<unsigned>(chars[i] != ' ') << i;
  }
  // Blanks trimmed at both ends: from the first kept character through the last.
  std::size_t n = 0;
  if (kept != 0) {
    const int begin = std::countr_zero(kept);
    const int end = std::bit_width(kept);
    n = static_cast<std::size_t>(end - begin);
    std::memcpy(buf, chars + begin, n);
  }
  ssid = SsidOf(block);
  if (ssid > 0) {
    buf[n++] = '-';
    if (ssid >= 10) buf[n++] = '1';
    buf[n++] = static_cast<char>('0' + ssid % 10);
  }
  return n;
}

}  // namespace

std::uint8_t CallsignText(const std::uint8_t* block, std::string& call) {
  char buf[9];
  std::uint8_t ssid = 0;
  call.assign(buf, CallsignChars(block, buf, ssid));
  return ssid;
}

Ax25Control ClassifyControl(std::uint8_t control) {
  Ax25Control k;
  if (!TestBit(control, 0)) {
    k.kind = Ax25Kind::kI;
    k.has_pid = true;
  } else if (!TestBit(control, 1)) {
    k.kind = Ax25Kind::kS;
    k.type_code = ShiftRight(control & 0x0C, 2);
  } else {
    k.kind = Ax25Kind::kU;
    k.type_code =
        static_cast<std::uint8_t>(ShiftRight(control & 0xE0, 3) + ShiftRight(control & 0x0C, 2));
    k.has_pid = k.type_code == 0;  // UI
  }
  return k;
}

namespace {

void Decode(std::span<const std::uint8_t> frame_bytes, std::int32_t frame_length, Ax25Fields& f,
            bool calls) {
  // Position p of FrameBytes (from 1) is frame_bytes[p - 1].
  const auto at = [&](int pos) { return frame_bytes[static_cast<std::size_t>(pos - 1)]; };

  // Address field.
  if (calls) {
    f.DestSsid = CallsignText(frame_bytes.data() + 1, f.DestCall);
    f.SourceSsid = CallsignText(frame_bytes.data() + 8, f.SourceCall);
  } else {
    f.DestSsid = SsidOf(frame_bytes.data() + 1);
    f.SourceSsid = SsidOf(frame_bytes.data() + 8);
  }
  f.AddressEnd = TestBit(at(15), 0) ? 1 : 0;
  f.FieldPos = 16;
  if (f.AddressEnd == 0) {
    f.DigiIndex = 1;
    do {
      f.AddressEnd = TestBit(at(f.FieldPos + 6), 0) ? 1 : 0;
      ++f.DigiIndex;
      f.FieldPos = static_cast<std::int16_t>(f.FieldPos + 7);
    } while (f.AddressEnd != 1 && f.DigiIndex != 10);
  }

  // Control field and PID.
  f.ControlByte = at(f.FieldPos);
  ++f.FieldPos;
  const Ax25Control k = ClassifyControl(f.ControlByte);
  if (k.kind != Ax25Kind::kI) {
    f.InfoPos = f.FieldPos;
    f.TypeCode = k.type_code;
  }
  if (k.has_pid) {
    f.PidByte = at(f.FieldPos);
    f.InfoPos = static_cast<std::int16_t>(f.FieldPos + 1);
  }

  // Information field: every byte from InfoPos to FrameLength.
  f.PayloadHex.clear();
  if (f.InfoPos <= frame_length) {
    AppendHexText(f.PayloadHex, frame_bytes.data() + f.InfoPos - 1,
                  static_cast<std::size_t>(frame_length - f.InfoPos + 1));
  }
}

}  // namespace

void DecodeAx25(std::span<const std::uint8_t> frame_bytes, std::int32_t frame_length,
                Ax25Fields& fields) {
  Decode(frame_bytes, frame_length, fields, /*calls=*/true);
}

void DecodeAx25Payload(std::span<const std::uint8_t> frame_bytes, std::int32_t frame_length,
                       Ax25Fields& fields) {
  Decode(frame_bytes, frame_length, fields, /*calls=*/false);
}

}  // namespace packscope
