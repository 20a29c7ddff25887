// FramePredicate: which frames a pass hands on. The frame loop asks it about every frame once the
// timestamp step has run (so a predicate sees every stamp, and can follow the time). A frame it
// turns down is read and counted (Label1, FrameCount, ByteCount) and nothing more: no AX.25 step,
// no frame output step, no CaptureObserver::OnFrame. Timestamp frames are always handed on,
// whatever the answer, so a frame that is kept keeps its own stamp.
#ifndef PACKSCOPE_CAPTURE_FRAME_PREDICATE_H_
#define PACKSCOPE_CAPTURE_FRAME_PREDICATE_H_

#include "ax25/ax25_details.h"
#include "capture/decoder_state.h"
#include "capture/frame_links.h"

namespace packscope {

struct FrameInfo;

class FramePredicate {
 public:
  virtual ~FramePredicate() = default;
  // The current frame (DecoderState's frame fields, KissFrame(state)). FrameCount is 1 for the
  // first frame of each pass.
  virtual bool Keep(const DecoderState& state, const FrameInfo& info) = 0;
  // DescribeAx25 of the data frame Keep was last asked about, when the predicate read it;
  // nullptr otherwise. The steps behind read the frame there instead of a second time.
  virtual const Ax25Details* FrameDetails() const { return nullptr; }
  // Whether Keep reads the APRS decoding of frames (DecoderState::Aprs, capture/frame_aprs.h).
  virtual bool ReadsAprs() const { return false; }
  // Whether Keep reads the frames' link facts or their AX.25 fields (DecoderState::Links).
  virtual bool ReadsLinks() const { return false; }
};

// DescribeAx25 of the current frame, a data frame, modulo 8 or 128 as its link counts: the
// FrameFilter's reading when it made one, else read into scratch.
inline const Ax25Details& CurrentAx25(const DecoderState& state, Ax25Details& scratch) {
  if (state.FrameFilter != nullptr) {
    if (const Ax25Details* d = state.FrameFilter->FrameDetails()) return *d;
  }
  DescribeAx25(KissFrame(state), scratch, CurrentModulo(state));
  return scratch;
}

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_PREDICATE_H_
