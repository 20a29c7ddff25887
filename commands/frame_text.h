// Pieces shared by the converter's own layouts (pcap, jsonl, monitor) and its health report:
// the time a frame carries, printable payload text, and what keeps a frame from being read as
// AX.25.
#ifndef PACKSCOPE_CLI_FRAME_TEXT_H_
#define PACKSCOPE_CLI_FRAME_TEXT_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ax25/ax25_details.h"
#include "capture/decoder_state.h"

namespace packscope {

// Bytes 0x20..0x7E as they are, every other byte as <0xNN> (upper-case digits).
void AppendPrintable(std::string& out, std::span<const std::uint8_t> bytes);
void AppendPrintable(std::string& out, std::string_view bytes);

// The hex text of bytes without its final blank: "00 41 42"; empty for no bytes.
std::string HexTextTrimmed(std::span<const std::uint8_t> bytes);

// Milliseconds since 1970 of a text stamp written "YYYY-MM-DD HH:MM:SS[.f[f[f]]] UTC" (a "T"
// may stand for the blank between date and time); nothing for any other text or an invalid
// date.
std::optional<std::int64_t> ParseStampText(std::string_view text);

// "YYYY-MM-DD HH:MM:SS.mmm" (UTC) of a millisecond count; empty outside years 100 to 9999.
std::string IsoStampText(std::int64_t millis);
void AppendIsoStampText(std::string& out, std::int64_t millis);

// The time that a capture's frames carry, followed through its timestamp frames. A binary stamp
// gives its milliseconds; a text stamp gives them when it is written as ParseStampText reads,
// else no time (the frames then carry StampText alone). Nothing before the pass's first stamp.
class StampClock {
 public:
  // For a timestamp frame, after the timestamp step: true when the frame set a stamp.
  bool Update(const DecoderState& state);
  const std::optional<std::int64_t>& Millis() const { return millis_; }

 private:
  std::string last_text_;
  std::optional<std::int64_t> millis_;
};

// What keeps a non-timestamp frame from being read as AX.25; empty when nothing does:
//   "empty frame"
//   "type byte 0x01 (port 0, command 1) is not a data frame"
//   "too short for an AX.25 header: 12 bytes after the type byte, 15 needed"
//   "no address end mark within 10 address blocks"
std::string FrameProblem(std::span<const std::uint8_t> kiss_frame, const Ax25Details& details);

// A data frame: its type byte's command nibble is 0 (on any KISS port).
bool IsDataFrame(std::span<const std::uint8_t> kiss_frame);

}  // namespace packscope

#endif  // PACKSCOPE_CLI_FRAME_TEXT_H_
