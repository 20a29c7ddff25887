// InputIndex: the frame index (capture/frame_index.h) of any capture the readers take
// (capture/capture_input.h), for the windows, which read frames at any offset.
//
// A KISS file (or a block device) is indexed where it lies, and read on as it grows. Every
// other input (compressed, pcap, pcapng, TNC2 lines, standard input, a FIFO, a character device
// such as a serial line or /dev/zero) is read through its reader into a temporary KISS copy
// (ScratchFile, in $TMPDIR), which is indexed as it grows: offsets are those of the copy, the
// decoded stream. A copy is read once, as its input comes: a stream's reading that ended, was
// cancelled or failed is not read again (later calls answer as it ended); a file's cancelled
// reading goes on where it stopped. A copy never fills its disk: it stops, for good, before the
// file system's free space would fall below a margin (CopyMargin), with the frames read so far.
//
// Threads: Extend on one thread at a time; Snapshot, and what the reading found (Kind, Copied,
// Damage) on any thread.
#ifndef PACKSCOPE_CAPTURE_INPUT_INDEX_H_
#define PACKSCOPE_CAPTURE_INPUT_INDEX_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_input.h"
#include "capture/frame_index.h"

namespace packscope {

// The room on a file system.
struct DiskRoom {
  std::int64_t free = 0;  // bytes the program may still write
  std::int64_t size = 0;  // bytes in all
};

// Where a copy learns the room left; tests give one of their own.
class FreeSpace {
 public:
  virtual ~FreeSpace() = default;
  // The room on the file system of the file at path; nothing when it cannot be told.
  virtual std::optional<DiskRoom> Room(const std::string& path) const = 0;
};
// statvfs(3).
const FreeSpace& SystemFreeSpace();

// The free space a copy leaves on its file system: 2 % of it, at least 512 MiB, at most 4 GiB.
std::int64_t CopyMargin(const DiskRoom& room);

class InputIndex {
 public:
  // path: "-" is standard input. free_space must outlive the index (nullptr: the system's).
  explicit InputIndex(std::string path, const FreeSpace* free_space = nullptr);
  ~InputIndex();
  InputIndex(const InputIndex&) = delete;
  InputIndex& operator=(const InputIndex&) = delete;

  // Reads on, as FrameIndex::Extend: a file to its end as it is now, a stream until it ends.
  // progress gets the input's bytes taken and its size (-1 for a stream); a stream that keeps the
  // reading waiting reports every 50 ms. Messages name the capture, never the copy. A copy that
  // stopped to keep its disk's free space answers kStopped.
  IndexResult Extend(const std::atomic<bool>* cancel = nullptr,
                     const FrameIndex::Progress& progress = {});
  IndexSnapshot Snapshot() const;

  const std::string& Path() const { return path_; }
  // Known once Extend has opened the capture (before: nothing, false, empty).
  std::optional<InputKind> Kind() const;
  bool Copied() const;
  // The copy, where passes read the capture as KISS; empty unless Copied.
  std::string CopyPath() const;
  // The damage the reader met so far, in the order of the stream (the first 1000 kept), and how
  // much in all.
  std::vector<InputDamage> Damage() const;
  std::int64_t DamageCount() const;

 private:
  IndexResult Open();
  IndexResult ReadCopy(const std::atomic<bool>* cancel, const FrameIndex::Progress& progress);
  IndexResult Named(IndexResult result) const;
  void Keep(std::vector<InputDamage>& damage);

  std::string path_;
  const FreeSpace& free_space_;
  InputWait wait_;
  std::unique_ptr<CaptureInput> input_;
  struct Copy;
  std::unique_ptr<Copy> copy_;
  std::unique_ptr<FrameIndex> index_;
  std::optional<IndexResult> ended_;  // a copy's reading that ended for good
  bool stream_ = false;
  mutable std::mutex mutex_;  // guards what follows
  std::optional<InputKind> kind_;
  std::string copy_path_;
  std::vector<InputDamage> damage_;
  std::int64_t damage_count_ = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_INPUT_INDEX_H_
