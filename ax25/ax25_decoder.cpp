#include "ax25/ax25_decoder.h"

#include <string>

#include "render/hex.h"

namespace packscope {
namespace {

// The address block at pos..pos+6 of FrameBytes.
std::uint8_t DecodeCallsign(const DecoderState& state, int pos, std::string& call) {
  return CallsignText(state.FrameBytes.data() + pos, call);
}

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

std::uint8_t CallsignText(const std::uint8_t* block, std::string& call) {
  char chars[6];
  for (int i = 0; i < 6; ++i) chars[i] = static_cast<char>(ShiftRight(block[i], 1));
  int begin = 0;
  int end = 6;
  while (begin < end && chars[begin] == ' ') ++begin;
  while (end > begin && chars[end - 1] == ' ') --end;
  call.assign(chars + begin, chars + end);
  const auto ssid = static_cast<std::uint8_t>((block[6] & 0x1E) / 2);
  if (ssid > 0) {
    call.push_back('-');
    if (ssid >= 10) call.push_back('1');
    call.push_back(static_cast<char>('0' + ssid % 10));
  }
  return ssid;
}

void DecodeAx25(DecoderState& state, Window& window) {
  // Address field.
  state.DestCall.clear();
  state.SourceCall.clear();
  state.DestSsid = DecodeCallsign(state, 2, state.DestCall);
  state.SourceSsid = DecodeCallsign(state, 9, state.SourceCall);
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
  static std::string box;  // kept between frames: no allocation per frame
  box.assign("-").append(state.DestCall).append("-");
  window.SetText2(box);
  box.assign("-").append(state.SourceCall).append("-");
  window.SetText3(box);

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
