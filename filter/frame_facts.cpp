#include "filter/frame_facts.h"

namespace packscope {

void DescribeFrame(FrameFacts& facts, FrameNeeds needs) {
  if ((needs & (kNeedAx25 | kNeedFindings)) == 0) return;
  const bool data = !facts.info.timestamp && IsDataFrame(facts.kiss_frame);
  if (data) {
    facts.details = DescribeAx25(facts.kiss_frame);
  } else {
    facts.details.problem = Ax25Problem::kTooShort;
  }
  facts.ax25 = data && facts.details.problem == Ax25Problem::kNone;
  if ((needs & kNeedFindings) != 0) {
    facts.findings = FindFrameFindings(facts.kiss_frame, facts.info, facts.details);
  }
}

}  // namespace packscope
