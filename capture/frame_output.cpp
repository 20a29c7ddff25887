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
  // One buffer, kept between frames so that a pass does not allocate per frame.
  std::string& block = state.Scratch.piece;
  const bool kiss_view = window.Check1();
  block.clear();
  const ScreenBlockParts parts = AppendScreenBlock(
      block, state.StampText,
      kiss_view ? KissFrame(state) : std::span<const std::uint8_t>(state.RawBytes));
  const std::string_view text = block;
  AppendColored(window, text.substr(0, parts.dump), kBlack);
  AppendColored(window, text.substr(parts.dump, parts.green - parts.dump),
                ScreenDumpColor(kiss_view));
  AppendColored(window, text.substr(parts.green), kGreen);
}

}  // namespace

ScreenBlockParts AppendScreenBlock(std::string& out, std::string_view stamp_text,
                                   std::span<const std::uint8_t> bytes) {
  ScreenBlockParts parts;
  out.append(stamp_text);
  out.append(kCrLf);
  parts.dump = out.size();
  AppendByteDump(out, bytes);
  out.append(kCrLf);
  parts.green = out.size();
  AppendByteAscii(out, bytes);
  out.append(kCrLf);
  out.append(kSeparator);
  return parts;
}

FrameTexts OutputStepReads(std::int16_t mode) {
  FrameTexts reads = FrameTexts::None();
  switch (mode) {
    case kScreen:
    case kAsciiPayloadTime:
      reads.stamp_text = StampTexts::kAll;
      break;
    case kHexComplete:
      reads.raw_hex = true;
      break;
    case kHexKissFrame:
      reads.frame_hex = true;
      break;
    case kHexPayloadTime:
      reads.stamp_text = StampTexts::kAll;
      reads.ax25 = true;
      break;
    case kHexPayload:
      reads.ax25 = true;
      break;
    default:
      break;
  }
  return reads;
}

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
      // HexToAscii of RawHex, made from the bytes RawHex shows.
      std::string& ascii = state.Scratch.piece;
      ascii.clear();
      AppendByteAscii(ascii, state.RawBytes);
      out.WriteLine(state.StampText, ": ", ascii);
      break;
    }
    default:
      break;
  }
}

}  // namespace packscope
