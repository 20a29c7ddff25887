#include "filter/frame_facts.h"

namespace packscope {

void DescribeFrame(FrameFacts& facts, FrameNeeds needs) {
  needs &= ~facts.described;
  if (needs == 0) return;
  // Every decoding reads the AX.25 header.
  if ((facts.described & kNeedAx25) == 0) {
    const bool data = !facts.info.timestamp && IsDataFrame(facts.kiss_frame);
    if (data) {
      DescribeAx25(facts.kiss_frame, facts.details);
    } else {
      facts.details.problem = Ax25Problem::kTooShort;
    }
    facts.ax25 = data && facts.details.problem == Ax25Problem::kNone;
    facts.described |= kNeedAx25;
  }
  if ((needs & kNeedAprs) != 0) {
    facts.aprs = facts.ax25 && facts.aprs_reading != nullptr
                     ? facts.aprs_reading->Read(facts.details)
                     : nullptr;
    facts.described |= kNeedAprs;
  }
  // The findings of the frame's KISS and AX.25 layers: they decode no APRS.
  if ((needs & kNeedFindings) != 0) {
    facts.findings = FindFrameFindings(facts.kiss_frame, facts.info, facts.details, nullptr);
    facts.described |= kNeedFindings;
  }
}

}  // namespace packscope
