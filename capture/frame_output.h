// The frame output step: what becomes of one frame that is not a timestamp frame.
//
// Screen (OutputMode 0) appends a block to the display:
//
//   <StampText, or nothing>                               black
//   000 > C0 00 41 42 C0                                  blue: RawHex as stored (Check1 off)
//   <empty line>                                                red: FrameHex (Check1 on)
//   ..AB.                                                 green: HexToAscii of the same text
//   ________________________________________ (80)         green
//
// The file modes write one line each: 1 RawHex, 2 FrameHex, 3 PayloadHex,
// 4 StampText ": " PayloadHex, 5 StampText ": " HexToAscii(RawHex). Other modes write nothing.
// The dump and the characters are made from the frame's bytes (RawBytes, FrameBytes), not read
// back from its hex text.
#ifndef PACKSCOPE_CAPTURE_FRAME_OUTPUT_H_
#define PACKSCOPE_CAPTURE_FRAME_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "capture/decoder_state.h"
#include "capture/window.h"

namespace packscope {

void FrameOutputStep(DecoderState& state, Window& window);
// What the step reads of the frame texts in OutputMode mode: Screen and the file modes render
// from the frame's bytes, so only the stamp, the hex layouts' own text and PayloadHex.
FrameTexts OutputStepReads(std::int16_t mode);

// A Screen block's text appended to out: the stamp text, the dump of the hex text of bytes
// (RawBytes or the un-escaped frame), its characters and the separator. Returns where in out its
// dump and its green part begin.
struct ScreenBlockParts {
  std::size_t dump = 0;
  std::size_t green = 0;
};
ScreenBlockParts AppendScreenBlock(std::string& out, std::string_view stamp_text,
                                   std::span<const std::uint8_t> bytes);
// The dump's colour: red for the un-escaped frame (Check1 ticked), blue for the frame as stored.
inline Color ScreenDumpColor(bool kiss_view) { return kiss_view ? kRed : kBlue; }

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_OUTPUT_H_
