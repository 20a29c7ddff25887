// FrameSource: a stream of KISS bytes that a pass reads in place of a capture file
// (DecoderState::Source), made by a higher layer: several captures merged into one
// (framelist/merged_source.h). It is one more capture reader (capture/capture_input.h): the frame
// loop reads it as it reads any capture; offsets are those of the stream. Besides the bytes it
// may know facts of its frames that the bytes do not carry: which receivers heard each one.
#ifndef PACKSCOPE_CAPTURE_FRAME_SOURCE_H_
#define PACKSCOPE_CAPTURE_FRAME_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "capture/capture_input.h"
#include "capture/frame_receivers.h"

namespace packscope {

class FrameSource : public CaptureInput {
 public:
  // The next bytes of the stream into buffer (at most size); 0 at its end. Each call returns
  // whole frames, so that every frame ends in the block it begins in. Throws CommandError.
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override = 0;
  // Progress of the stream: bytes read so far and in all of what the stream is made of (the
  // captures merged); total -1 when unknown.
  virtual std::int64_t Done() const = 0;
  virtual std::int64_t Total() const = 0;
  std::int64_t Consumed() const final { return Done(); }
  std::int64_t Size() const final { return Total(); }
  // The stream is KISS, as a merge writes it.
  InputKind Kind() const override { return {}; }
  // The files the stream is made of (an output must be none of them).
  virtual std::span<const std::string> Paths() const = 0;
  // The receivers of the frame that begins at offset, a frame of the block Read returned last;
  // nullptr when the source knows none. Valid until the next Read.
  virtual const FrameReceivers* ReceiversAt(std::int64_t offset) {
    (void)offset;
    return nullptr;
  }
  // Every receiver of the stream (empty when the source has none), valid while the source lives.
  virtual std::span<const std::string> ReceiverNames() const { return {}; }
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_SOURCE_H_
