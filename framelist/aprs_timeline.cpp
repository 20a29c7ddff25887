#include "framelist/aprs_timeline.h"

#include <algorithm>

#include "aprs/aprs_frame.h"
#include "capture/frame_findings.h"

namespace packscope {

bool DefinesTelemetry(const AprsPacket& packet) {
  for (const AprsPacket* p = &packet; p != nullptr; p = p->inner) {
    if (p->type == AprsType::kTelemetryDefinition) return true;
  }
  return false;
}

AprsTimeline::AprsTimeline(IndexSnapshot snapshot, DefinitionFrames definitions)
    : reader_(std::move(snapshot)), definitions_(std::move(definitions)) {}

void AprsTimeline::DecodeDefinition(std::int64_t frame) {
  if (!reader_.Read(frame, scratch_)) return;
  DescribeAx25(scratch_.Kiss(), scratch_details_);
  if (IsDataFrame(scratch_.Kiss()) && IsAprsFrame(scratch_details_)) {
    decoder_.Decode(AprsHeaderOf(scratch_details_), scratch_details_.info);
  }
}

const AprsPacket& AprsTimeline::Decode(std::int64_t frame, const Ax25Details& d) {
  if (definitions_ == nullptr) {
    // Not known yet: no definitions at all rather than those of frames shown in any order.
    decoder_.Reset();
  } else {
    const std::vector<std::int64_t>& defs = *definitions_;
    const auto before =
        static_cast<std::size_t>(std::lower_bound(defs.begin(), defs.end(), frame) - defs.begin());
    if (before < applied_) {
      decoder_.Reset();
      applied_ = 0;
    }
    for (; applied_ < before; ++applied_) DecodeDefinition(defs[applied_]);
    // Decoding a definition frame takes its definitions in: they count as decoded.
    if (before < defs.size() && defs[before] == frame) applied_ = before + 1;
  }
  return decoder_.Decode(AprsHeaderOf(d), d.info);
}

}  // namespace packscope
