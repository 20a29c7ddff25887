// KISS as a TNC or soundmodem sends it to its host, over TCP or a serial line: an endless byte
// stream of frames, each between two FENDs.
//
//   ... C0 | type | data ... | C0 C0 | type | data ... | C0 ...
//
// The framing and the un-escaping are the capture's (capture/kiss_scanner.h: the parser runs the
// scanner), so that a recorded stream reads back as the frames the parser handed on. The parser
// takes the bytes as they arrive, in pieces of any size, and hands on each frame when its closing
// FEND has come: un-escaped, type byte first. What it drops:
//   - the bytes before the first FEND of a connection: the tail of a frame whose start was
//     missed (a TNC seldom starts in the middle of one, a serial line often does);
//   - empty frames (FEND FEND);
//   - a frame longer than kMaxFrameLength after un-escaping (no capture reader would take it),
//     up to the next FEND, which opens the next frame (where a capture's reading would end);
//     the overlong handler is told its size when that FEND comes, and Overlong() counts them;
//   - at Reset() (the connection was lost), the frame in progress: it was cut off.
#ifndef PACKSCOPE_LIVE_KISS_STREAM_H_
#define PACKSCOPE_LIVE_KISS_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "capture/kiss_scanner.h"

namespace packscope {

class KissStreamParser {
 public:
  // Gets each complete frame; the span is valid during the call only.
  using FrameHandler = std::function<void(std::span<const std::uint8_t> kiss_frame)>;
  // Gets the size of a frame dropped for its length: its bytes as received between its FENDs.
  using OverlongHandler = std::function<void(std::int64_t size)>;

  KissStreamParser();

  void Feed(std::span<const std::uint8_t> bytes, const FrameHandler& on_frame,
            const OverlongHandler& on_overlong = nullptr);

  // A new connection: drops the frame in progress and waits for a FEND again. Returns the
  // number of bytes of that frame received so far (0 when none was in progress), a frame too
  // long included.
  std::size_t Reset();

  // Frames dropped for their length since construction.
  std::int64_t Overlong() const { return overlong_; }

 private:
  struct Collector;

  KissScanner scanner_;
  bool dropping_ = false;         // inside a frame too long, up to its closing FEND
  std::int64_t offset_ = 0;       // of the next byte, in the stream since the last Reset
  std::int64_t frame_start_ = 0;  // the FEND that opened the frame in progress
  std::vector<std::uint8_t> frame_;
  std::size_t stored_ = 0;  // bytes of the frame in progress as received
  std::int64_t overlong_ = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_KISS_STREAM_H_
