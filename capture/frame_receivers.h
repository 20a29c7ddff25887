// Which receivers heard a frame, when a pass reads several captures of one traffic merged into
// one stream (framelist/capture_merge.h): each capture is a receiver, named as it was given, and
// a packet heard by several of them is one frame of the stream. The frame loop hands these facts
// on with each frame (DecoderState::Receivers); a pass over one capture has none.
//
//   names   north.kss  south.kss  west.kss        every receiver of the pass, sorted
//   heard   {0, 0 ms}  {2, +1020 ms}              who heard the current frame, in that order, and
//                                                 how much later than the frame's own time
#ifndef PACKSCOPE_CAPTURE_FRAME_RECEIVERS_H_
#define PACKSCOPE_CAPTURE_FRAME_RECEIVERS_H_

#include <cstdint>
#include <span>
#include <string>

namespace packscope {

// Captures one merge takes at most.
inline constexpr int kMostReceivers = 64;

struct Reception {
  std::int32_t receiver = 0;  // its place in FrameReceivers::names
  // The receiver's first reception of the packet against the packet's time (the first reception
  // of all): 0 for the receiver that heard it first, else its stamp's lead (negative) or lag.
  std::int64_t offset_ms = 0;
  friend bool operator==(const Reception&, const Reception&) = default;
};

struct FrameReceivers {
  std::span<const std::string> names;  // every receiver of the pass, sorted (bytes)
  std::span<const Reception> heard;    // who heard the current frame, in the order of names
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_RECEIVERS_H_
