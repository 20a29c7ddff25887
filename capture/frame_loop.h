// ReadCapture: one pass over the capture file named by CaptureFileName.
//
// KISS framing, as stored in the file:
//
//   C0 | type | data ... | C0        C0 = FEND, the frame delimiter
//   DB DC  stands for a data byte C0  (FESC TFEND)
//   DB DD  stands for a data byte DB  (FESC TFESC)
//   DB xx  any other pair: the DB is kept and xx is read on as usual
//
// The reader is between frames or inside one. Between frames a FEND opens a frame. Bytes before
// the first FEND of the file are skipped, through that FEND. Once a FEND has been read, any other
// byte between frames begins a frame as well: the FEND in front of it (the one that closed the
// previous frame) opened it. So every properly delimited frame is read, also behind a shared
// FEND, an empty frame or garbage. A frame ends at its closing FEND or at the end of the file.
//
// Per frame the pass fills RawHex, FrameBytes, FrameLength and FrameHex, counts it, sets the
// Label1 caption, runs the timestamp step (type 0x09), the AX.25 decoder (while Check2 is
// ticked, every frame) and the frame output step (every frame but timestamp frames). With a
// FrameFilter (capture/frame_predicate.h) the frames it turns down go no further than the
// timestamp step.
#ifndef PACKSCOPE_CAPTURE_FRAME_LOOP_H_
#define PACKSCOPE_CAPTURE_FRAME_LOOP_H_

#include <cstdint>
#include <string>

#include "capture/decoder_state.h"
#include "capture/frame_predicate.h"
#include "capture/window.h"

namespace packscope {

inline constexpr std::uint8_t kFend = 0xC0;
inline constexpr std::uint8_t kFesc = 0xDB;
inline constexpr std::uint8_t kTfend = 0xDC;
inline constexpr std::uint8_t kTfesc = 0xDD;
inline constexpr std::uint8_t kTimestampType = 0x09;

// What the reader saw of a frame beyond DecoderState.
struct FrameInfo {
  bool recovered = false;  // begun by a byte other than FEND, behind a shared FEND or garbage
  bool cut_off = false;    // ended by the end of the file, not by a FEND
  bool timestamp = false;  // type byte 0x09: not output
  int bad_escapes = 0;     // FESCs not followed by TFEND or TFESC, kept as data bytes
};

// Listener for the converter's extra layouts and its health report. Called only when
// DecoderState::Observer is set; none of it changes what a pass does. OnSkipped and
// OnStrayEscape report the capture as it is read; OnFrame sees only the frames that
// DecoderState::FrameFilter keeps.
class CaptureObserver {
 public:
  virtual ~CaptureObserver() = default;
  // Bytes before the first FEND of the capture, skipped.
  virtual void OnSkipped(std::int64_t offset, std::int64_t count) {
    (void)offset;
    (void)count;
  }
  // A FESC not followed by TFEND or TFESC (kept as a data byte), at offset in the capture.
  virtual void OnStrayEscape(std::int64_t offset) { (void)offset; }
  // A frame, after all steps of the pass have handled it.
  virtual void OnFrame(const DecoderState& state, const FrameInfo& info) {
    (void)state;
    (void)info;
  }
};

// Runs one pass: busy pointer, display emptied, FrameCount and ByteCount set to 0, the whole
// capture read, the pointer restored (also when the pass fails). Throws CommandError when the
// capture cannot be read or a frame is longer than kMaxFrameLength; frames before that point
// have been handled. Errors of the output file pass through.
void ReadCapture(DecoderState& state, Window& window);

// The Label1 caption "N frames / M bytes" (plain decimal; no singular form).
std::string CountsCaption(std::int64_t frames, std::int64_t bytes);
void AppendCountsCaption(std::string& out, std::int64_t frames, std::int64_t bytes);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_LOOP_H_
