// KISS as a TNC or soundmodem sends it to its host, over TCP or a serial line: an endless byte
// stream of frames, each between two FENDs.
//
//   ... C0 | type | data ... | C0 C0 | type | data ... | C0 ...
//   DB DC  stands for a data byte C0  (FESC TFEND)
//   DB DD  stands for a data byte DB  (FESC TFESC)
//   DB xx  any other pair: the DB is kept and xx is read on as usual (as the capture reader does)
//
// The parser takes the bytes as they arrive, in pieces of any size, and hands on each frame when
// its closing FEND has come: un-escaped, type byte first. What it drops:
//   - the bytes before the first FEND of a connection: the tail of a frame whose start was
//     missed (a TNC seldom starts in the middle of one, a serial line often does);
//   - empty frames (FEND FEND);
//   - a frame longer than kMaxFrameLength after un-escaping (no capture reader would take it),
//     up to the next FEND; Overlong() counts them;
//   - at Reset() (the connection was lost), the frame in progress: it was cut off.
#ifndef PACKSCOPE_LIVE_KISS_STREAM_H_
#define PACKSCOPE_LIVE_KISS_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace packscope {

class KissStreamParser {
 public:
  // Gets each complete frame; the span is valid during the call only.
  using FrameHandler = std::function<void(std::span<const std::uint8_t> kiss_frame)>;

  KissStreamParser();

  void Feed(std::span<const std::uint8_t> bytes, const FrameHandler& on_frame);

  // A new connection: drops the frame in progress and waits for a FEND again. Returns the
  // number of bytes of the frame that was dropped (0 when none was in progress).
  std::size_t Reset();

  // Frames dropped for their length since construction.
  std::int64_t Overlong() const { return overlong_; }

 private:
  enum State { kHunting, kInFrame, kTooLong };
  State state_ = kHunting;
  bool escape_ = false;
  std::vector<std::uint8_t> frame_;
  std::int64_t overlong_ = 0;
};

// The frame as stored: FEND, the bytes with C0 and DB escaped, FEND; appended to out.
void AppendKissEscaped(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> kiss_frame);

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_KISS_STREAM_H_
