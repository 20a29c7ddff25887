#include "filter/frame_facts.h"

namespace packscope {

void DescribeFrame(FrameFacts& facts, FrameNeeds needs) {
  // The link facts are the caller's.
  facts.described |= needs & kNeedLink;
  needs &= ~(facts.described | kNeedLink);
  if (needs == 0) return;
  // Every decoding reads the AX.25 header; the findings alone need no callsign texts (the
  // header is read again with them when a field asks for them later).
  const bool texts = (needs & (kNeedAx25 | kNeedAprs)) != 0;
  if ((facts.described & kNeedAx25) == 0 && (texts || (facts.described & kNeedHeader) == 0)) {
    const bool data = !facts.info.timestamp && IsDataFrame(facts.kiss_frame);
    if (data) {
      DescribeAx25(facts.kiss_frame, facts.details,
                   facts.link != nullptr ? facts.link->modulo : kModulo8, texts);
    } else {
      facts.details.problem = Ax25Problem::kTooShort;
    }
    facts.ax25 = data && facts.details.problem == Ax25Problem::kNone;
    facts.described |= texts ? kNeedAx25 | kNeedHeader : kNeedHeader;
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
