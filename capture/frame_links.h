// FrameLinks: the connected links of a pass's frames (ax25/ax25_link.h), for the steps that read
// them: the filter's `session` field, the jsonl layout's "session", and every step that reads a
// frame's control field, which counts modulo 128 in a session set up so. The pass has one
// LinkTracker and it sees every frame in capture order, the frames a filter turns down
// included: a frame's session and modulo are facts of the capture, whatever is written. The
// facts of a frame are known when the frame is read, so a pass that streams (standard input)
// needs nothing read ahead.
//
// ReadCapture hangs one on DecoderState::Links for a pass whose observer or filter reads links
// (ReadsLinks, or the observer's SessionSink) and takes it off again; steps then read the
// current frame's facts with CurrentLink and CurrentModulo.
#ifndef PACKSCOPE_CAPTURE_FRAME_LINKS_H_
#define PACKSCOPE_CAPTURE_FRAME_LINKS_H_

#include <optional>

#include "ax25/ax25_link.h"
#include "capture/decoder_state.h"
#include "capture/stamp_clock.h"

namespace packscope {

struct FrameInfo;

class FrameLinks {
 public:
  explicit FrameLinks(SessionSink* sink = nullptr) : tracker_(sink) {}

  // A new pass: forgets every link and stamp.
  void Reset() {
    tracker_.Reset();
    clock_.Reset();
  }
  // The frame loop, for every frame once the timestamp step has run, before the filter.
  void Follow(const DecoderState& state, const FrameInfo& info);
  // The pass has read its last frame: the sessions still open end.
  void Finish() { tracker_.Finish(); }

  const LinkFacts& Facts() const { return tracker_.Facts(); }

 private:
  LinkTracker tracker_;
  StampClock clock_;
};

// The facts of the current frame; nullptr when the pass follows no links.
inline const LinkFacts* CurrentLink(const DecoderState& state);
// How the current frame's control field counts: modulo 128 in a session set up so, else 8.
inline int CurrentModulo(const DecoderState& state) {
  const LinkFacts* link = CurrentLink(state);
  return link != nullptr ? link->modulo : kModulo8;
}

inline const LinkFacts* CurrentLink(const DecoderState& state) {
  return state.Links != nullptr ? &state.Links->Facts() : nullptr;
}

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_LINKS_H_
