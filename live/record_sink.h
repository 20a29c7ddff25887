// RecordSink: where a recording (live/recorder.h) puts the frames it receives, a batch per read
// of the source: a KISS capture (live/capture_appender.h) or a pcap stream for Wireshark
// (live/pcap_stream.h).
#ifndef PACKSCOPE_LIVE_RECORD_SINK_H_
#define PACKSCOPE_LIVE_RECORD_SINK_H_

#include <cstdint>
#include <optional>
#include <span>

namespace packscope {

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Adds a frame (un-escaped, type byte first) to the batch; stamp_millis is its time of
  // reception when the recording stamps its frames.
  virtual void Add(std::span<const std::uint8_t> kiss_frame,
                   std::optional<std::int64_t> stamp_millis) = 0;
  virtual bool HasBatch() const = 0;
  // Writes the batch out at once; the batch is dropped when that fails (CommandError says why).
  virtual void Write() = 0;
  // Puts what was written where it lasts (the disk); CommandError when that fails.
  virtual void Sync() = 0;
  // Frames (stamp frames not counted) put out whole so far, those of a batch whose write failed
  // halfway included.
  virtual std::int64_t FramesWritten() const = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_RECORD_SINK_H_
