#include "filter/capture_filter.h"

namespace packscope {

bool CaptureFilter::Keep(const DecoderState& state, const FrameInfo& info) {
  if (state.FrameCount == 1) {  // a new pass
    clock_.Reset();
    kept_ = 0;
  }
  details_ = nullptr;
  if (info.timestamp) {
    clock_.Update(state);
    return true;
  }
  facts_.Begin(KissFrame(state), state.FrameCount, state.FrameOffset, clock_.Millis(), info);
  facts_.aprs_reading = state.Aprs;
  facts_.link = CurrentLink(state);
  facts_.receivers = state.Receivers;
  const bool keep = filter_.Matches(facts_);
  if ((facts_.described & kNeedAx25) != 0 && IsDataFrame(facts_.kiss_frame)) {
    details_ = &facts_.details;
  }
  if (keep) ++kept_;
  return keep;
}

}  // namespace packscope
