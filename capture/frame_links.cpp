#include "capture/frame_links.h"

#include "capture/frame_loop.h"

namespace packscope {

void FrameLinks::Follow(const DecoderState& state, const FrameInfo& info) {
  if (info.timestamp) {
    clock_.Update(state);
    tracker_.Next({}, state.FrameCount, clock_.Millis());
    return;
  }
  tracker_.Next(KissFrame(state), state.FrameCount, clock_.Millis());
}

}  // namespace packscope
