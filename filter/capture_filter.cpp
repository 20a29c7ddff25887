#include "filter/capture_filter.h"

namespace packscope {

bool CaptureFilter::Keep(const DecoderState& state, const FrameInfo& info) {
  if (state.FrameCount == 1) clock_.Reset();  // a new pass
  if (info.timestamp) {
    clock_.Update(state);
    return true;
  }
  facts_.kiss_frame = KissFrame(state);
  facts_.number = state.FrameCount;
  facts_.offset = state.FrameOffset;
  facts_.time = clock_.Millis();
  facts_.info = info;
  DescribeFrame(facts_, filter_.Needs());
  return filter_.Matches(facts_);
}

}  // namespace packscope
