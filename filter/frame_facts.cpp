#include "filter/frame_facts.h"

namespace packscope {

void DescribeFrame(FrameFacts& facts, FrameNeeds needs) {
  // The link facts are the caller's.
  facts.described |= needs & kNeedLink;
  needs &= ~(facts.described | kNeedLink);
  if (needs == 0) return;
  // The findings read the AX.25 header.
  if ((facts.described & kNeedAx25) == 0) {
    const bool data = !facts.info.timestamp && IsDataFrame(facts.kiss_frame);
    if (data) {
      DescribeAx25(facts.kiss_frame, facts.details,
                   facts.link != nullptr ? facts.link->modulo : kModulo8);
    } else {
      facts.details.problem = Ax25Problem::kTooShort;
    }
    facts.ax25 = data && facts.details.problem == Ax25Problem::kNone;
    facts.described |= kNeedAx25;
  }
  // The findings read the APRS decoding.
  if ((needs & (kNeedAprs | kNeedFindings)) != 0 && (facts.described & kNeedAprs) == 0) {
    facts.aprs = facts.ax25 && facts.aprs_reading != nullptr
                     ? facts.aprs_reading->Read(facts.details)
                     : nullptr;
    facts.described |= kNeedAprs;
  }
  if ((needs & kNeedFindings) != 0) {
    facts.findings = FindFrameFindings(facts.kiss_frame, facts.info, facts.details, facts.aprs);
    facts.described |= kNeedFindings;
  }
}

}  // namespace packscope
