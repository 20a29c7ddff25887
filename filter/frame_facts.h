// FrameFacts: what the filter language reads of one frame. The caller sets the frame itself and
// where the capture put it (Begin); the decodings that fields need are added when a test first
// needs them (DescribeFrame, called by Filter::Matches), so that a filter on the frame number
// never decodes AX.25, and "time >= X and src == Y" decodes only the frames of that time.
//
// The frame loop's adapter (filter/capture_filter.h) fills one from DecoderState per frame; a
// frame list that keeps its own index fills one from the stored frame it reads back.
#ifndef PACKSCOPE_FILTER_FRAME_FACTS_H_
#define PACKSCOPE_FILTER_FRAME_FACTS_H_

#include <cstdint>
#include <optional>
#include <span>

#include "ax25/ax25_details.h"
#include "capture/frame_aprs.h"
#include "capture/frame_findings.h"
#include "capture/frame_links.h"
#include "capture/frame_loop.h"
#include "capture/frame_receivers.h"

namespace packscope {

// What a field reads beyond the frame's bytes and place: bits of FrameNeeds.
enum FrameNeed : unsigned {
  kNeedAx25 = 1u << 0,      // details, ax25
  kNeedFindings = 1u << 1,  // findings but the APRS one (reads details)
  kNeedAprs = 1u << 2,      // aprs (reads details too)
  // DescribeFrame's own: details read without the addresses' texts (for the findings alone).
  kNeedHeader = 1u << 3,
  kNeedLink = 1u << 4,  // link: set by the caller for the frame (DescribeFrame leaves it)
};
using FrameNeeds = unsigned;

struct FrameFacts {
  // A new frame: sets the caller's part below and forgets the decodings of the frame before.
  void Begin(std::span<const std::uint8_t> frame, std::int64_t frame_number,
             std::int64_t frame_offset, const std::optional<std::int64_t>& frame_time,
             const FrameInfo& frame_info) {
    kiss_frame = frame;
    number = frame_number;
    offset = frame_offset;
    time = frame_time;
    info = frame_info;
    described = 0;
    aprs = nullptr;
    receivers = nullptr;
  }

  // --- Set by the caller for each frame ---
  std::span<const std::uint8_t> kiss_frame;  // un-escaped, type byte first
  std::int64_t number = 0;                   // FrameCount: from 1, timestamp frames counted
  std::int64_t offset = 0;                   // of the frame's opening FEND
  std::optional<std::int64_t> time;          // the frame's stamp, ms since 1970 UTC (StampClock)
  FrameInfo info;                            // recovered, cut off, bad escapes, timestamp
  // Where the APRS decoding comes from (capture/frame_aprs.h), kept from frame to frame; the
  // caller calls its NextFrame with Begin. Without one no frame has APRS fields.
  FrameAprs* aprs_reading = nullptr;
  // The frame's connected-link facts (its session, the modulo its control field counts in),
  // kept from frame to frame: it points at facts the caller renews with each frame. Without
  // them no frame is in a session and every frame counts modulo 8.
  const LinkFacts* link = nullptr;
  // Who heard the frame, in a merge of several captures (set after Begin); nullptr otherwise.
  const FrameReceivers* receivers = nullptr;

  // --- Filled by DescribeFrame, as far as the needs ask ---
  FrameNeeds described = 0;  // what has been filled for this frame
  // A data frame read whole as AX.25 (the jsonl layout's "problem" is null); details are then
  // complete. For any other frame details are not to be read.
  bool ax25 = false;
  Ax25Details details;
  FrameFindings findings;  // without the aprs finding: APRS errors are aprs.error's
  // The frame's APRS decoding; nullptr when it is no APRS frame (or there is no aprs_reading).
  const AprsPacket* aprs = nullptr;
};

// Adds to facts what needs ask for and it does not have yet. Allocates nothing once facts has
// held a frame.
void DescribeFrame(FrameFacts& facts, FrameNeeds needs);

}  // namespace packscope

#endif  // PACKSCOPE_FILTER_FRAME_FACTS_H_
