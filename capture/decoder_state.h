// DecoderState: the program-wide state shared by the frame loop, the timestamp step, the frame
// output step, the AX.25 decoder and the window commands. One instance lives for the whole run;
// each frame overwrites its frame fields and nothing resets them except a pass, which resets
// FrameCount, ByteCount, StampText and StampMillis only.
#ifndef PACKSCOPE_CAPTURE_DECODER_STATE_H_
#define PACKSCOPE_CAPTURE_DECODER_STATE_H_

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ax25/ax25_decoder.h"
#include "capture/encoding_sink.h"

namespace packscope {

class LineSink;
class CaptureObserver;
class OutputDevice;
class FramePredicate;
class FrameAprs;
class FrameLinks;
class FrameSource;
struct FrameReceivers;

// OutputMode values: what the frame output step does with a frame.
enum OutputModes : std::int16_t {
  kScreen = 0,
  kHexComplete = 1,
  kHexKissFrame = 2,
  kHexPayload = 3,
  kHexPayloadTime = 4,
  kAsciiPayloadTime = 5,
  // The converter's own layouts and its health report: a CaptureObserver handles every frame,
  // the frame output step neither shows nor writes anything.
  kNoWindowOutput = -1,
};

// Longest frame handled, in bytes after un-escaping. Longer frames end the pass.
inline constexpr std::int32_t kMaxFrameLength = 65535;
// FrameBytes always holds at least these positions, so that the AX.25 decoder's fixed positions
// (80 at most) read defined bytes even for short frames.
inline constexpr std::int32_t kFrameBytesMinimum = 2048;

struct DecoderState : Ax25Fields {
  DecoderState() : FrameBytes(kFrameBytesMinimum + 1, 0) {}

  // --- Chosen files and mode (window commands) ---
  std::string CaptureFileName;  // path of the chosen capture; empty: none chosen
  // Where passes read the chosen capture when that is not CaptureFileName itself: the window's
  // copy of a capture that can be read only once (a FIFO, a device). Empty: CaptureFileName.
  std::string CaptureCopy;
  // Where passes read when it is no capture file: a stream made of several captures (not owned;
  // capture/frame_source.h). CaptureFileName then names the stream for messages and the output's
  // name.
  FrameSource* Source = nullptr;
  std::string OutputFileName;  // path of the file written last
  std::int16_t OutputMode = kScreen;
  // How the screen dump and the five file layouts write characters 128..255 (the window always
  // writes Windows-1252; the converter may ask for UTF-8).
  TextEncoding OutputEncoding = TextEncoding::kWindows1252;
  // The last screen pass was cancelled: the display holds only a part of the capture.
  bool ShownInPart = false;

  // --- The current frame (frame loop) ---
  // Positions count from 1; index 0 is unused. Position 1 is the type byte. FrameBytes is never
  // cleared and never shrinks: positions beyond FrameLength keep bytes of earlier, longer frames
  // (of this pass or earlier ones), which the AX.25 decoder may read.
  std::vector<std::uint8_t> FrameBytes;
  std::int32_t FrameLength = 0;
  std::int64_t FrameCount = 0;
  std::int64_t ByteCount = 0;
  // The frame as stored: C0 (the FEND that opened it, for a recovered frame the shared one), the
  // bytes read for it with their escapes, and the closing C0 (none for a frame cut off by the
  // end of the capture). Every pass fills it.
  std::vector<std::uint8_t> RawBytes;
  // Hex texts of the frame as stored (RawBytes) and un-escaped: made only by a pass that reads
  // them (FrameTexts); otherwise they keep what an earlier pass left.
  std::string RawHex;
  std::string FrameHex;
  // Where the frame starts: byte offset (from 0) of the FEND that opened it.
  std::int64_t FrameOffset = 0;
  // Which receivers heard the frame, when the pass reads a Source that knows (not owned; valid
  // for the current frame); nullptr otherwise.
  const FrameReceivers* Receivers = nullptr;

  // --- Timestamp frames ---
  // Both start empty with every pass: a frame before the pass's first stamp has none.
  // StampText is made only by a pass that reads it (FrameTexts); it stays empty otherwise.
  std::string StampText;   // text of the pass's most recent stamp; empty until its first one
  double StampMillis = 0;  // milliseconds since 1970 of the pass's most recent binary stamp

  // The AX.25 decoder's fields (DestCall ... PayloadHex) come from Ax25Fields.

  // --- Open output (during a write command only; not owned) ---
  LineSink* OutputFile = nullptr;
  // Optional listener for the converter's extra layouts and health report (not owned).
  CaptureObserver* Observer = nullptr;
  // What the write commands write their files with (not owned); nullptr: the system's write(2).
  // Tests hang a failing device here.
  OutputDevice* Device = nullptr;

  // --- Scratch space of the steps (no meaning between frames) ---
  // Buffers the steps reuse from frame to frame, so that a pass allocates nothing per frame.
  // They belong to the state, not to the steps, so that passes over two states may run at once.
  struct StepScratch {
    std::string piece;  // frame output: a piece of the screen block, the ASCII text
    std::string when;   // timestamp step: the stamp's date-time text
    std::string line;   // timestamp step: the stamp log's line
  };
  StepScratch Scratch;

  // Optional choice of the frames a pass hands on (capture/frame_predicate.h; not owned).
  FramePredicate* FrameFilter = nullptr;
  // The APRS reading of the pass's frames, while a pass whose filter or observer reads APRS
  // runs (capture/frame_aprs.h; not owned). ReadCapture sets one up when none is set.
  FrameAprs* Aprs = nullptr;
  // The connected links of the pass's frames, while a pass with an observer or a filter runs
  // (capture/frame_links.h; not owned). ReadCapture sets one up when none is set.
  FrameLinks* Links = nullptr;
};

// What a pass makes of every frame beyond FrameBytes, FrameLength, FrameOffset, RawBytes, the
// counts and StampMillis. Each costs time on every frame, so ReadCapture makes only what the frame
// output step, the observer or the window reads (capture/frame_loop.h); a default value asks for
// all.
// Which stamps get their StampText: every one, those without a date alone (binary stamps from
// kUndatedStampMillis on, whose time no date shows, and text stamps, whose text costs little:
// what a layout that writes a stamp's time writes where there is none), or none.
enum class StampTexts : std::uint8_t { kNone, kUndated, kAll };

struct FrameTexts {
  bool raw_hex = true;    // RawHex
  bool frame_hex = true;  // FrameHex
  StampTexts stamp_text = StampTexts::kAll;
  // While Check2 is ticked: the AX.25 decoder's fields (Ax25Fields), and of them the callsign
  // texts DestCall and SourceCall, which cost most of the decoder's time.
  bool ax25 = true;
  bool callsigns = true;

  static constexpr FrameTexts None() { return {false, false, StampTexts::kNone, false, false}; }
  FrameTexts& operator|=(const FrameTexts& o) {
    raw_hex |= o.raw_hex;
    frame_hex |= o.frame_hex;
    stamp_text = std::max(stamp_text, o.stamp_text);
    ax25 |= o.ax25;
    callsigns |= o.callsigns;
    return *this;
  }
  friend bool operator==(const FrameTexts&, const FrameTexts&) = default;
};

// The current frame, un-escaped, from its type byte on: FrameBytes positions 1 to FrameLength.
inline std::span<const std::uint8_t> KissFrame(const DecoderState& state) {
  const auto length = static_cast<std::size_t>(std::max(state.FrameLength, 0));
  return {state.FrameBytes.data() + 1, length};
}

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_DECODER_STATE_H_
