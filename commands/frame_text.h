// Pieces shared by the converter's own layouts (pcap, jsonl, monitor) and its health report:
// the time a frame carries (capture/stamp_clock.h) as text, printable payload text, and what keeps
// a frame from being read as AX.25.
#ifndef PACKSCOPE_COMMANDS_FRAME_TEXT_H_
#define PACKSCOPE_COMMANDS_FRAME_TEXT_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "aprs/aprs_decoder.h"
#include "ax25/ax25_details.h"
#include "capture/decoder_state.h"
#include "capture/frame_findings.h"
#include "capture/stamp_clock.h"
#include "render/hex.h"

namespace packscope {

// The hex text of bytes without its final blank: "00 41 42"; empty for no bytes.
std::string HexTextTrimmed(std::span<const std::uint8_t> bytes);

// "YYYY-MM-DD HH:MM:SS.mmm" (UTC) of a millisecond count; empty outside years 100 to 9999.
std::string IsoStampText(std::int64_t millis);
void AppendIsoStampText(std::string& out, std::int64_t millis);
// ISO 8601 in UTC with milliseconds, "2016-01-01T12:34:56.789Z"; empty outside years 100 to 9999.
std::string IsoUtcText(std::int64_t millis);

// What keeps a non-timestamp frame from being read as AX.25; empty when nothing does:
//   "empty frame"
//   "type byte 0x01 (port 0, command 1) is not a data frame"
//   "too short for an AX.25 header: 12 bytes after the type byte, 15 needed"
//   "no address end mark within 10 address blocks"
std::string FrameProblem(std::span<const std::uint8_t> kiss_frame, const Ax25Details& details);

// The words of one finding of a frame (capture/frame_findings.h), for the frame list's tooltips
// and details and the jsonl layout's "problem": "recovered behind a shared FEND or garbage",
// "cut off by the end of the capture", ... kiss_frame, details and aprs as FindFrameFindings took
// them; found its result.
std::string FindingWords(Finding finding, std::span<const std::uint8_t> kiss_frame,
                         const Ax25Details& details, const AprsPacket* aprs,
                         const FrameFindings& found);
// Every finding of the frame, one "kind: tag: words" line each ("damage: cut-off: cut off by the
// end of the capture"), LF between them; empty without findings.
std::string FindingsText(std::span<const std::uint8_t> kiss_frame, const Ax25Details& details,
                         const AprsPacket* aprs, const FrameFindings& found);

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_FRAME_TEXT_H_
