// FrameIndex: where each frame of a capture lies and what it takes to show it again, built in one
// pass over the capture and extended when the capture grows.
//
// The frames are the KISS scanner's (capture/kiss_scanner.h). Per frame 16 bytes (FrameRecord):
//
//   bits  0..43  offset of the FEND that opened the frame          (captures up to 16 TiB)
//   bits 44..63  stored length: from that FEND through the closing one, or to the end
//   32 bits      the stamp in force: 1 + its number in the stamp list, 0 before the first
//   16 bits      length after un-escaping, type byte included
//    8 bits      the type byte (0 for an empty frame)
//    8 bits      flags: recovered, cut off, escaped, timestamp frame, sets the stamp
//
// A timestamp frame (type 0x09) sets the stamp when it is binary (9 bytes) or holds "UTC" (a
// text stamp); the frames behind it carry its text until the next one, and frames before the
// first stamp of the capture carry none. Each stamp takes a further 16 bytes (StampRecord): its
// frame, and the value of a binary stamp or the place and line structure of a text stamp's text.
// The binary stamps, in order, are the lines of the timestamp log.
//
// Threads: one thread at a time extends the index (Extend, with a cancel flag and a progress
// callback); any thread may take a Snapshot at any time and read it while the index grows. A
// snapshot never changes and keeps what it shows alive: records are stored in chunks that never
// move, and a snapshot holds the chunks it counts.
#ifndef PACKSCOPE_CAPTURE_FRAME_INDEX_H_
#define PACKSCOPE_CAPTURE_FRAME_INDEX_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ax25/ax25_decoder.h"
#include "capture/capture_file.h"
#include "capture/kiss_scanner.h"

namespace packscope {

struct FrameRecord {
  static constexpr int kOffsetBits = 44;
  static constexpr std::uint8_t kRecovered = 1;   // begun behind a shared FEND or garbage
  static constexpr std::uint8_t kCutOff = 2;      // ended by the end of the capture
  static constexpr std::uint8_t kEscaped = 4;     // a FESC was read: un-escaped bytes differ
  static constexpr std::uint8_t kTimestamp = 8;   // type 0x09: a timestamp frame, not shown
  static constexpr std::uint8_t kSetsStamp = 16;  // a timestamp frame that set the stamp

  std::uint64_t place = 0;
  std::uint32_t stamp = 0;
  std::uint16_t length = 0;
  std::uint8_t type = 0;
  std::uint8_t flags = 0;

  std::int64_t Offset() const {
    return static_cast<std::int64_t>(place & ((std::uint64_t{1} << kOffsetBits) - 1));
  }
  std::int32_t StoredLength() const { return static_cast<std::int32_t>(place >> kOffsetBits); }
  std::int32_t Length() const { return length; }
  // Number of the stamp in force (in the stamp list), -1 before the first stamp.
  std::int64_t StampNumber() const { return static_cast<std::int64_t>(stamp) - 1; }
  bool Recovered() const { return (flags & kRecovered) != 0; }
  bool CutOff() const { return (flags & kCutOff) != 0; }
  bool Escaped() const { return (flags & kEscaped) != 0; }
  bool Timestamp() const { return (flags & kTimestamp) != 0; }
  bool SetsStamp() const { return (flags & kSetsStamp) != 0; }
};
static_assert(sizeof(FrameRecord) == 16);

struct StampRecord {
  std::uint64_t frame_kind = 0;  // frame number << 1 | 1 for a binary stamp
  // Binary: the value (its eight bytes, most significant first). Text: where its text starts in
  // the un-escaped frame (bits 0..15), its length (16..23), its line feeds (24..31) and the
  // longest line of the text followed by CR LF, as the display counts lines (32..39).
  std::uint64_t value = 0;

  std::int64_t Frame() const { return static_cast<std::int64_t>(frame_kind >> 1); }
  bool Binary() const { return (frame_kind & 1) != 0; }
  std::uint64_t BinaryValue() const { return value; }
  std::size_t TextFrom() const { return static_cast<std::size_t>(value & 0xFFFF); }
  std::size_t TextLength() const { return static_cast<std::size_t>(value >> 16 & 0xFF); }
  std::int64_t TextLineFeeds() const { return static_cast<std::int64_t>(value >> 24 & 0xFF); }
  std::int64_t TextLongestLine() const { return static_cast<std::int64_t>(value >> 32 & 0xFF); }
};
static_assert(sizeof(StampRecord) == 16);

namespace index_internal {

inline constexpr int kChunkBits = 16;
inline constexpr std::int64_t kChunkSize = std::int64_t{1} << kChunkBits;

template <class T>
using Chunks = std::vector<std::shared_ptr<T[]>>;

template <class T>
const T& At(const Chunks<T>& chunks, std::int64_t i) {
  return chunks[static_cast<std::size_t>(i >> kChunkBits)]
               [static_cast<std::size_t>(i & (kChunkSize - 1))];
}

// What one Publish made visible.
struct Published {
  std::uint64_t index_id = 0;
  std::string path;
  std::shared_ptr<const CaptureFile> file;
  std::shared_ptr<const Chunks<FrameRecord>> frames;
  std::shared_ptr<const Chunks<StampRecord>> stamps;
  std::shared_ptr<const Chunks<std::uint32_t>> log;  // null while every stamp is binary
  std::int64_t frame_count = 0;                      // settled frames
  std::int64_t stamp_count = 0;
  std::int64_t log_count = 0;
  std::optional<FrameRecord> tail;  // the frame cut off by the end of the file as it is now
  std::optional<StampRecord> tail_stamp;
  std::int64_t byte_count = 0;    // un-escaped bytes of every frame, tail included
  std::int64_t capture_size = 0;  // capture bytes read
  bool at_end = false;
  std::int32_t longest_stored = 0;
  std::int32_t longest_frame = 0;
  std::array<std::uint8_t, kAx25DecoderReach> frame_bytes_left{};
  std::int32_t frame_bytes_reach = 0;
};

}  // namespace index_internal

// The frames indexed at one moment. Cheap to copy; usable on any thread.
class IndexSnapshot {
 public:
  IndexSnapshot();
  explicit IndexSnapshot(std::shared_ptr<const index_internal::Published> state)
      : s_(std::move(state)) {}

  // Frames, timestamp frames included, numbered from 0 in the order of the capture;
  // Frame(i) for 0 <= i < FrameCount().
  std::int64_t FrameCount() const { return s_->frame_count + (s_->tail ? 1 : 0); }
  const FrameRecord& Frame(std::int64_t i) const {
    return i < s_->frame_count ? index_internal::At(*s_->frames, i) : *s_->tail;
  }
  // Frames that no later extension changes: all but a last frame cut off by the end of the
  // file, which may go on when the file grows.
  std::int64_t SettledFrameCount() const { return s_->frame_count; }

  // Stamps, in the order of the capture; Stamp(k) for 0 <= k < StampCount().
  std::int64_t StampCount() const { return s_->stamp_count + (s_->tail_stamp ? 1 : 0); }
  const StampRecord& Stamp(std::int64_t k) const {
    return k < s_->stamp_count ? index_internal::At(*s_->stamps, k) : *s_->tail_stamp;
  }
  // The timestamp log: one line per binary stamp; the stamp number of line k.
  std::int64_t StampLogCount() const;
  std::int64_t StampLogStamp(std::int64_t line) const;
  // Log lines of settled frames' stamps.
  std::int64_t SettledStampLogCount() const { return s_->log_count; }

  // Label1's counts: frames and un-escaped bytes.
  std::int64_t ByteCount() const { return s_->byte_count; }
  // Capture bytes read, and whether they reached the end of the file as it was then.
  std::int64_t CaptureSize() const { return s_->capture_size; }
  bool AtEnd() const { return s_->at_end; }
  // Longest frame as stored and after un-escaping (0 without frames).
  std::int32_t LongestStored() const { return s_->longest_stored; }
  std::int32_t LongestFrame() const { return s_->longest_frame; }
  // FrameBytes positions 1..kAx25DecoderReach as a pass over the same bytes leaves them
  // (starting from zeros); positions beyond FrameBytesReach() were not written. They are what
  // the AX.25 decoder of the last frame read (for Text2 and Text3), unless a frame too long
  // ended the index: its first bytes are in them too, as in FrameBytes after such a pass.
  const std::array<std::uint8_t, kAx25DecoderReach>& FrameBytesLeft() const {
    return s_->frame_bytes_left;
  }
  std::int32_t FrameBytesReach() const { return s_->frame_bytes_reach; }

  const std::string& Path() const { return s_->path; }
  // The file the index read (null before the first extension); reads through it see the bytes
  // indexed even when another file has taken the path since.
  const std::shared_ptr<const CaptureFile>& File() const { return s_->file; }
  // Different for every FrameIndex: snapshots of one index extend one another.
  std::uint64_t IndexId() const { return s_->index_id; }

 private:
  std::shared_ptr<const index_internal::Published> s_;
};

enum class IndexStatus {
  kAtEnd,       // read to the end of the file as it is now
  kCancelled,   // stopped on request; what was read stays
  kTooLong,     // a frame longer than kMaxFrameLength: the index ends before it, for good
  kChanged,     // the file shrank or another took its place: a new index has to read it
  kUnreadable,  // the capture cannot be read (what was read stays)
  kStopped,     // a copy stopped to keep its disk's free space (capture/input_index.h), for good
};

struct IndexResult {
  IndexStatus status = IndexStatus::kAtEnd;
  std::string message;  // for the user (UTF-8); empty for kAtEnd and kCancelled
};

class FrameIndex {
 public:
  using Progress = std::function<void(std::int64_t done, std::int64_t total)>;

  explicit FrameIndex(std::string path);
  ~FrameIndex();
  FrameIndex(const FrameIndex&) = delete;
  FrameIndex& operator=(const FrameIndex&) = delete;

  // Reads the capture from where the index stopped to the end of the file as it is now, and
  // publishes the frames as it goes (after every block of a megabyte). Between blocks it looks
  // at *cancel, and calls progress with the capture bytes read and the file's size (-1 when
  // unknown). At the end of the file a frame in progress is shown cut off, as a pass would show
  // it, until a later extension reads on. Before reading on, it makes sure the file is still the
  // one it read and still holds what it read (kChanged otherwise). One thread at a time.
  IndexResult Extend(const std::atomic<bool>* cancel = nullptr, const Progress& progress = {});

  // What is indexed now. Any thread, any time.
  IndexSnapshot Snapshot() const;

  // Bytes held per frame and per stamp.
  static constexpr std::size_t kBytesPerFrame = sizeof(FrameRecord);
  static constexpr std::size_t kBytesPerStamp = sizeof(StampRecord);

 private:
  class Builder;
  std::optional<IndexResult> Unchanged() const;
  void Publish(bool with_tail);

  std::string path_;
  std::uint64_t id_;
  std::shared_ptr<CaptureFile> file_;
  KissScanner scanner_;
  std::unique_ptr<Builder> builder_;
  std::int64_t read_ = 0;
  std::vector<std::uint8_t> last_bytes_;  // the capture's last bytes read, to see it unchanged
  std::optional<IndexResult> stop_;       // too long: final
  mutable std::mutex mutex_;
  std::shared_ptr<const index_internal::Published> published_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FRAME_INDEX_H_
