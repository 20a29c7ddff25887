// FrameAprs: the APRS reading of a pass's frames, shared by the steps that read APRS (the
// filter's aprs.* fields and its `problem` field, the jsonl, monitor, gpx and stats layouts,
// --check). The pass has one AprsDecoder, and it sees the pass's frames in capture order, the
// frames a filter turns down included: a station's telemetry definitions give its later
// reports their names and scaled values, whichever of its frames are written. Each frame is
// decoded once, by the first step that asks, and not at all when no step asks and it cannot
// change what later frames read.
//
// ReadCapture hangs one on DecoderState::Aprs for a pass whose observer or filter reads APRS
// (ReadsAprs) and takes it off again; steps then read the current frame with CurrentAprs.
// Others (a frame list reading stored frames) call NextFrame and Read themselves.
#ifndef PACKSCOPE_CAPTURE_FRAME_APRS_H_
#define PACKSCOPE_CAPTURE_FRAME_APRS_H_

#include "aprs/aprs_decoder.h"
#include "ax25/ax25_details.h"
#include "capture/decoder_state.h"

namespace packscope {

struct FrameInfo;

class FrameAprs {
 public:
  // A new pass or capture: forgets every station's telemetry definitions.
  void Reset() {
    decoder_.Reset();
    NextFrame();
  }
  // The next frame: forgets the reading of the frame before.
  void NextFrame() {
    read_ = false;
    packet_ = nullptr;
  }
  // The current frame's APRS decoding, the frame being a data frame that DescribeAx25 read as
  // d; nullptr when it is no APRS frame (IsAprsFrame). Decodes on the frame's first call only.
  // The packet lives until NextFrame; its texts are views into d's frame.
  const AprsPacket* Read(const Ax25Details& d);
  // Whether Read has been called for the current frame.
  bool ReadThisFrame() const { return read_; }

  // The frame loop, once a frame has been handled or turned down (timestamp frames too): a data
  // frame no step has read is decoded when it may change later frames' readings
  // (AprsDecoder::MayDefine).
  void Follow(const DecoderState& state, const FrameInfo& info);

  const AprsDecoder& Decoder() const { return decoder_; }

 private:
  AprsDecoder decoder_;
  bool read_ = false;
  const AprsPacket* packet_ = nullptr;
  Ax25Details scratch_;  // Follow's reading of a frame that no step read as AX.25
};

// The APRS decoding of the current frame, a data frame that DescribeAx25 read as d: nullptr
// when it is no APRS frame, or when the pass reads no APRS (no DecoderState::Aprs).
inline const AprsPacket* CurrentAprs(const DecoderState& state, const Ax25Details& d) {
  return state.Aprs != nullptr ? state.Aprs->Read(d) : nullptr;
}

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_APRS_H_
