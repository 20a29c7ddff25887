// ReadCapture: one pass over the capture file named by CaptureFileName.
//
// The capture is read through its reader (capture/capture_input.h: KISS, compressed, pcap,
// TNC2 lines, standard input), which yields the KISS stream it stands for; offsets are those of
// that stream. The stream is cut into frames by the KISS framing of capture/kiss_scanner.h: bytes
// before the first FEND skipped, frames behind a shared FEND or garbage recovered, escapes undone,
// a frame cut off by the end of the file still a frame.
//
// Per frame the pass fills RawBytes, FrameBytes and FrameLength (and RawHex and FrameHex where they
// are read: PassTexts), counts it, sets the Label1 caption, runs the timestamp step (type 0x09),
// the AX.25 decoder (while Check2 is ticked, every frame) and the frame output step (every frame
// but timestamp frames). With a
// FrameFilter (capture/frame_predicate.h) the frames it turns down go no further than the
// timestamp step. A pass whose filter or observer reads APRS has a FrameAprs (DecoderState::Aprs)
// that follows every frame, and a pass whose filter or observer reads the frames' links a
// FrameLinks (DecoderState::Links) that follows the connected links.
#ifndef PACKSCOPE_CAPTURE_FRAME_LOOP_H_
#define PACKSCOPE_CAPTURE_FRAME_LOOP_H_

#include <cstdint>
#include <functional>
#include <string>

#include "ax25/ax25_link.h"
#include "capture/capture_input.h"
#include "capture/decoder_state.h"
#include "capture/frame_predicate.h"
#include "capture/kiss_scanner.h"
#include "capture/window.h"

namespace packscope {

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
  // Damage the capture's reader met in its own terms (a pcap packet cut off, a TNC2 line that is
  // no frame), in the order of the stream: after the frames in front of it.
  virtual void OnInputDamage(const InputDamage& damage) { (void)damage; }
  // A frame, after all steps of the pass have handled it.
  virtual void OnFrame(const DecoderState& state, const FrameInfo& info) {
    (void)state;
    (void)info;
  }
  // Whether OnFrame reads the APRS decoding of frames (DecoderState::Aprs, capture/frame_aprs.h).
  virtual bool ReadsAprs() const { return false; }
  // Which of the frame texts OnFrame reads (FrameTexts): all of them unless it says otherwise.
  virtual FrameTexts Reads() const { return {}; }
  // Whether OnFrame reads the frames' link facts or their control fields (a session's modulo:
  // DecoderState::Links, capture/frame_links.h).
  virtual bool ReadsLinks() const { return false; }
  // Where the pass's link tracker hands the sessions' data and ends; nullptr: nowhere. The ends
  // of sessions ended by a frame come before the next frame's OnFrame, and all others before the
  // pass returns.
  virtual SessionSink* Sessions() { return nullptr; }
};

// The frame texts a pass makes: those the frame output step (OutputStepReads), the observer and
// the window read. A FramePredicate reads none of them.
FrameTexts PassTexts(const DecoderState& state, const Window& window);

// Runs one pass: busy pointer, the display emptied (OutputMode Screen only: a file pass leaves it
// as it is), Text4 emptied, FrameCount, ByteCount, StampText and StampMillis reset, the whole
// capture read, the pointer restored (also when the pass fails). Throws CaptureUnreadable when the
// capture cannot be read, CommandError when a frame is longer than kMaxFrameLength, and
// PassCancelled when the window asks to stop; frames before that point have been handled. Errors
// of the output file pass through.
//
// With DecoderState::Source set, the pass reads that stream instead of a capture file, and each
// frame's DecoderState::Receivers is what the source knows of it.
//
// opened, when given, runs once the capture is open and before its first byte is read: a write
// command opens its output there, so that a capture that cannot be opened is reported as such
// and no output is ever begun for it.
void ReadCapture(DecoderState& state, Window& window,
                 const std::function<void()>& opened = nullptr);

// The Label1 caption "N frames / M bytes" (plain decimal; no singular form).
std::string CountsCaption(std::int64_t frames, std::int64_t bytes);
void AppendCountsCaption(std::string& out, std::int64_t frames, std::int64_t bytes);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_LOOP_H_
