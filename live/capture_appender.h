// Appends received frames to a KISS capture so that a crash, a full disk or a lost connection
// never leaves a frame split or lost among the others:
//
//   [C0]                                         only when the capture's last byte is not FEND
//   C0 | 09 | 8 bytes: ms since 1970 UTC, MSB first | C0     stamp frame (escaped as any frame)
//   C0 | type | frame bytes, escaped | C0                    the frame as received
//
// The leading FEND closes a broken tail left by an earlier crash mid-write, so that it stays a
// frame of its own and every new frame reads back whole. The frames of one batch (each with its
// stamp in front) go to the file in one write(); the capture is opened with O_APPEND and never
// truncated, except that a write that fails halfway is cut back to its last whole frame. An
// exclusive lock (flock) keeps a second recorder away from the same capture.
#ifndef PACKSCOPE_LIVE_CAPTURE_APPENDER_H_
#define PACKSCOPE_LIVE_CAPTURE_APPENDER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "live/record_sink.h"

namespace packscope {

class CaptureAppender : public RecordSink {
 public:
  // Opens the capture for appending, creating it when missing (mode 0666 less the umask).
  // Throws CommandError when it cannot, it is a folder, another recorder holds it, or it is a
  // symbolic link that may have been planted (FollowTrustedLinks).
  explicit CaptureAppender(std::string path);
  // Closes the capture; one that it created and never wrote to is removed.
  ~CaptureAppender() override;
  CaptureAppender(const CaptureAppender&) = delete;
  CaptureAppender& operator=(const CaptureAppender&) = delete;

  // Adds a frame (un-escaped, type byte first) to the batch, behind a binary stamp frame of
  // stamp_millis when given.
  void Add(std::span<const std::uint8_t> kiss_frame,
           std::optional<std::int64_t> stamp_millis) override;
  // Writes the batch in one write(). When the write fails, the capture is cut back to the end
  // of the last frame that reached it whole and CommandError says why; the batch is dropped.
  void Write() override;
  // Puts what was written on the disk (fdatasync); CommandError when that fails.
  void Sync() override;

  bool HasBatch() const override { return !batch_.empty(); }
  // Frames (stamp frames not counted) this appender has put in the capture whole, those of a
  // batch whose write failed halfway included.
  std::int64_t FramesWritten() const override { return frames_written_; }
  // Bytes written since the last Sync().
  std::int64_t Unsynced() const { return unsynced_; }
  // The capture's size as this appender knows it.
  std::int64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }

 private:
  void CutBack(std::size_t written);

  std::string path_;       // as given, for messages
  std::string file_path_;  // the file written: the links of path_ followed
  int fd_ = -1;
  bool regular_ = true;
  bool created_ = false;
  std::int64_t size_ = 0;
  std::int64_t unsynced_ = 0;
  bool needs_fend_ = false;  // the capture ends inside a frame
  std::int64_t frames_written_ = 0;
  std::vector<std::uint8_t> batch_;  // what the next write() sends
  struct FrameEnd {
    std::size_t end;  // where a whole frame of the batch ends (with its stamp in front)
    bool counted;     // a frame, not a lone FEND or a stamp frame from the source
  };
  std::vector<FrameEnd> frame_ends_;
};

// The binary stamp frame, un-escaped: 09 and 8 bytes of millis, most significant first.
std::vector<std::uint8_t> BinaryStampFrame(std::int64_t millis);

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_CAPTURE_APPENDER_H_
