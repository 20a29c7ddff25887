#include "ax25/ax25_decoder.h"

#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "render/hex.h"

namespace packscope {
namespace {

std::uint8_t ByteAt(const DecoderState& state, int pos) {
  return state.FrameBytes[static_cast<std::size_t>(pos)];
}

}  // namespace

std::uint8_t ShiftRight(std::uint8_t b, std::int16_t n) {
  if (n < 1) return b;
  if (n >= 8) return 0;
  return static_cast<std::uint8_t>(b >> n);
}

bool TestBit(std::uint8_t b, std::int16_t n) {
  if (n < 0 || n > 7) return false;
  return ((b >> n) & 1) != 0;
}

namespace {

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
  ssid = static_cast<std::uint8_t>((block[6] & 0x1E) / 2);
  if (ssid > 0) {
    buf[n++] = '-';
    if (ssid >= 10) buf[n++] = '1';
    buf[n++] = static_cast<char>('0' + ssid % 10);
  }
  return n;
}

// One callsign into call and, framed by "-", into its box.
std::uint8_t CallsignAndBox(const std::uint8_t* block, std::string& call, std::string_view& box,
                            char* box_buf) {
  std::uint8_t ssid = 0;
  const std::size_t n = CallsignChars(block, box_buf + 1, ssid);
  call.assign(box_buf + 1, n);
  box_buf[0] = '-';
  box_buf[n + 1] = '-';
  box = std::string_view(box_buf, n + 2);
  return ssid;
}

}  // namespace

std::uint8_t CallsignText(const std::uint8_t* block, std::string& call) {
  char buf[9];
  std::uint8_t ssid = 0;
  call.assign(buf, CallsignChars(block, buf, ssid));
  return ssid;
}

void DecodeAx25(DecoderState& state, Window& window) {
  // Address field. The boxes' texts are built beside the calls, without a string of their own.
  char dest_box[11];
  char source_box[11];
  std::string_view dest_text;
  std::string_view source_text;
  state.DestSsid = CallsignAndBox(state.FrameBytes.data() + 2, state.DestCall, dest_text, dest_box);
  state.SourceSsid =
      CallsignAndBox(state.FrameBytes.data() + 9, state.SourceCall, source_text, source_box);
  state.AddressEnd = TestBit(ByteAt(state, 15), 0) ? 1 : 0;
  state.FieldPos = 16;
  if (state.AddressEnd == 0) {
    state.DigiIndex = 1;
    do {
      state.AddressEnd = TestBit(ByteAt(state, state.FieldPos + 6), 0) ? 1 : 0;
      ++state.DigiIndex;
      state.FieldPos = static_cast<std::int16_t>(state.FieldPos + 7);
    } while (state.AddressEnd != 1 && state.DigiIndex != 10);
  }
  window.SetText2(dest_text);
  window.SetText3(source_text);

  // Control field and PID.
  state.ControlByte = ByteAt(state, state.FieldPos);
  ++state.FieldPos;
  bool has_pid = true;
  if (TestBit(state.ControlByte, 0)) {
    state.InfoPos = state.FieldPos;
    if (TestBit(state.ControlByte, 1)) {
      state.TypeCode = static_cast<std::uint8_t>(ShiftRight(state.ControlByte & 0xE0, 3) +
                                                 ShiftRight(state.ControlByte & 0x0C, 2));
      has_pid = state.TypeCode == 0;  // UI
    } else {
      state.TypeCode = ShiftRight(state.ControlByte & 0x0C, 2);
      has_pid = false;
    }
  }
  if (has_pid) {
    state.PidByte = ByteAt(state, state.FieldPos);
    state.InfoPos = static_cast<std::int16_t>(state.FieldPos + 1);
  }

  // Information field: every byte from InfoPos to FrameLength.
  state.PayloadHex.clear();
  if (state.InfoPos <= state.FrameLength) {
    AppendHexText(state.PayloadHex, state.FrameBytes.data() + state.InfoPos,
                  static_cast<std::size_t>(state.FrameLength - state.InfoPos + 1));
  }
}

}  // namespace packscope
