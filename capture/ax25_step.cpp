#include "capture/ax25_step.h"

#include <algorithm>
#include <string_view>

namespace packscope {
namespace {

// "-" call "-" in buf, which has room for the longest callsign text (9 characters) and the two.
std::string_view Boxed(const std::string& call, char (&buf)[16]) {
  const std::size_t n = std::min(call.size(), sizeof buf - 2);
  buf[0] = '-';
  std::copy_n(call.data(), n, buf + 1);
  buf[n + 1] = '-';
  return std::string_view(buf, n + 2);
}

}  // namespace

void DecodeAx25(DecoderState& state, Window& window, bool callsigns) {
  const auto frame_bytes = std::span<const std::uint8_t>(state.FrameBytes).subspan(1);
  if (!callsigns) {
    DecodeAx25Payload(frame_bytes, state.FrameLength, state);
    return;
  }
  DecodeAx25(frame_bytes, state.FrameLength, state);
  char box[16];
  window.SetText2(Boxed(state.DestCall, box));
  window.SetText3(Boxed(state.SourceCall, box));
}

}  // namespace packscope
