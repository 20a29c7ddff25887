// CaptureFilter: a Filter as the frame loop's FramePredicate (DecoderState::FrameFilter). It
// follows the pass's stamps itself (StampClock, from the first frame of each pass on), so one
// CaptureFilter serves any number of passes and captures, one after the other.
#ifndef PACKSCOPE_FILTER_CAPTURE_FILTER_H_
#define PACKSCOPE_FILTER_CAPTURE_FILTER_H_

#include "capture/frame_predicate.h"
#include "capture/stamp_clock.h"
#include "filter/filter.h"
#include "filter/frame_facts.h"

namespace packscope {

class CaptureFilter : public FramePredicate {
 public:
  // filter must outlive this.
  explicit CaptureFilter(const Filter& filter) : filter_(filter) {}

  bool Keep(const DecoderState& state, const FrameInfo& info) override;
  const Ax25Details* FrameDetails() const override { return details_; }
  bool ReadsAprs() const override { return (filter_.Needs() & kNeedAprs) != 0; }
  bool ReadsLinks() const override {
    return (filter_.Needs() & (kNeedLink | kNeedAx25 | kNeedFindings | kNeedAprs)) != 0;
  }
  // Frames kept in the pass so far, timestamp frames not counted.
  std::int64_t Kept() const { return kept_; }

 private:
  const Filter& filter_;
  StampClock clock_;
  FrameFacts facts_;
  const Ax25Details* details_ = nullptr;  // facts_.details, when read for a data frame
  std::int64_t kept_ = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_FILTER_CAPTURE_FILTER_H_
