#include "capture/frame_output.h"

#include <string>

#include "capture/colored_append.h"
#include "capture/errors.h"
#include "capture/line_sink.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kSeparator =
    "________________________________________________________________________________\r\n";
static_assert(kSeparator.size() == 82);

void ScreenBlock(DecoderState& state, Window& window) {
  // One buffer for the pieces, kept between frames so that a pass does not allocate per frame.
  std::string& piece = state.Scratch.piece;
  const bool kiss_view = window.Check1();
  const std::string& source = kiss_view ? state.FrameHex : state.RawHex;
  const Color dump_color = kiss_view ? kRed : kBlue;

  piece.assign(state.StampText);
  piece.append(kCrLf);
  AppendColored(window, piece, kBlack);

  piece.clear();
  AppendHexDump(piece, source);
  piece.append(kCrLf);
  AppendColored(window, piece, dump_color);

  piece.clear();
  AppendHexToAscii(piece, source);
  piece.append(kCrLf);
  AppendColored(window, piece, kGreen);

  AppendColored(window, kSeparator, kGreen);
}

}  // namespace

void FrameOutputStep(DecoderState& state, Window& window) {
  if (state.OutputMode == kScreen) {
    ScreenBlock(state, window);
    return;
  }
  if (state.OutputMode < kHexComplete || state.OutputMode > kAsciiPayloadTime) return;
  if (state.OutputFile == nullptr) throw CommandError("No output file is open.");
  LineSink& out = *state.OutputFile;
  switch (state.OutputMode) {
    case kHexComplete:
      out.WriteLine(state.RawHex);
      break;
    case kHexKissFrame:
      out.WriteLine(state.FrameHex);
      break;
    case kHexPayload:
      out.WriteLine(state.PayloadHex);
      break;
    case kHexPayloadTime:
      out.WriteLine(state.StampText, ": ", state.PayloadHex);
      break;
    case kAsciiPayloadTime: {
      std::string& ascii = state.Scratch.piece;
      ascii.clear();
      AppendHexToAscii(ascii, state.RawHex);
      out.WriteLine(state.StampText, ": ", ascii);
      break;
    }
    default:
      break;
  }
}

}  // namespace packscope
