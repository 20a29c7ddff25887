#include "capture/frame_aprs.h"

#include "aprs/aprs_frame.h"
#include "capture/frame_findings.h"
#include "capture/frame_loop.h"
#include "capture/frame_predicate.h"

namespace packscope {

const AprsPacket* FrameAprs::Read(const Ax25Details& d) {
  if (!read_) {
    read_ = true;
    packet_ = IsAprsFrame(d) ? &decoder_.Decode(AprsHeaderOf(d), d.info) : nullptr;
  }
  return packet_;
}

void FrameAprs::Follow(const DecoderState& state, const FrameInfo& info) {
  if (read_ || info.timestamp) return;
  const std::span<const std::uint8_t> frame = KissFrame(state);
  if (!IsDataFrame(frame)) return;
  const Ax25Details& d = CurrentAx25(state, scratch_);
  if (IsAprsFrame(d) && AprsDecoder::MayDefine(d.info)) Read(d);
}

}  // namespace packscope
