// The frames of a capture file, read by the project's one frame loop, for the replay server
// (and the fuzz target, which compares them with the stream parser's).
#ifndef PACKSCOPE_LIVE_CAPTURE_FRAMES_H_
#define PACKSCOPE_LIVE_CAPTURE_FRAMES_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace packscope {

struct CaptureFrame {
  std::span<const std::uint8_t> kiss_frame;  // un-escaped, type byte first; may be empty
  bool timestamp = false;                    // type 0x09
  bool cut_off = false;                      // ended by the end of the file, not by a FEND
  std::optional<std::int64_t> millis;        // the time it carries (its stamps'), ms since 1970
};

// Calls on_frame for every frame of the capture, in order; the frame's bytes are valid during
// the call only. Throws CommandError when the capture cannot be read or holds a frame longer
// than kMaxFrameLength (after handing on the frames before it). An exception from on_frame
// ends the reading and passes through.
void ForEachCaptureFrame(const std::string& path,
                         const std::function<void(const CaptureFrame&)>& on_frame);

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_CAPTURE_FRAMES_H_
