// APRS decoding of a frame anywhere in a capture, as a decoder reading the capture in order would
// decode it. What a decoder carries from frame to frame is the stations' telemetry definitions
// (PARM., UNIT., EQNS., BITS. messages): a T# report is scaled by those its station sent before
// it. The frame list shows frames in any order, so it keeps the frames that carry definitions
// (found once by the capture survey, framelist/capture_survey.h) and, before decoding a frame,
// decodes the definition frames before it: those not yet decoded when it moves forward, all of
// them again after a Reset when it moves back. Definition frames are few; a capture of nothing
// else costs a decoding of each per step back.
#ifndef PACKSCOPE_FRAMELIST_APRS_TIMELINE_H_
#define PACKSCOPE_FRAMELIST_APRS_TIMELINE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "aprs/aprs_decoder.h"
#include "ax25/ax25_details.h"
#include "framelist/frame_reader.h"

namespace packscope {

// Index numbers of the frames that carry telemetry definitions, ascending.
using DefinitionFrames = std::shared_ptr<const std::vector<std::int64_t>>;

class AprsTimeline {
 public:
  // definitions may be null while they are not known: reports are then decoded without any.
  AprsTimeline(IndexSnapshot snapshot, DefinitionFrames definitions);

  // The APRS decoding of frame (its AX.25 reading d, an APRS frame: IsAprsFrame), with the
  // definitions sent before it. Valid until the next call.
  const AprsPacket& Decode(std::int64_t frame, const Ax25Details& d);

 private:
  void DecodeDefinition(std::int64_t frame);

  FrameReader reader_;
  DefinitionFrames definitions_;
  AprsDecoder decoder_;
  std::size_t applied_ = 0;  // definition frames decoded, in order
  StoredFrame scratch_;
  Ax25Details scratch_details_;
};

// Whether a decoded packet defines telemetry (itself, or a third-party packet inside it).
bool DefinesTelemetry(const AprsPacket& packet);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_APRS_TIMELINE_H_
