#include "live/capture_appender.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "capture/errors.h"
#include "capture/frame_loop.h"
#include "capture/kiss_scanner.h"
#include "capture/output_file.h"

namespace packscope {
namespace {

std::string CannotRecordInto(const std::string& path) {
  return "Cannot record into the capture " + Quoted(path);
}

}  // namespace

std::vector<std::uint8_t> BinaryStampFrame(std::int64_t millis) {
  std::vector<std::uint8_t> frame{kTimestampType};
  const auto bits = static_cast<std::uint64_t>(millis);
  for (int shift = 56; shift >= 0; shift -= 8) {
    frame.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return frame;
}

CaptureAppender::CaptureAppender(std::string path) : path_(std::move(path)) {
  if (path_.empty()) throw CommandError("Cannot record: no capture file was given.");
  // A link planted in a shared folder (/tmp) is refused as the converter refuses it; the file
  // the others lead to is opened without following a link put in its place meanwhile.
  file_path_ = FollowTrustedLinks(path_, CannotRecordInto(path_));
  constexpr int kFlags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW;
  fd_ = ::open(file_path_.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
  created_ = fd_ >= 0;
  if (fd_ < 0 && errno == EEXIST) fd_ = ::open(file_path_.c_str(), kFlags);
  if (fd_ < 0) {
    if (errno == EISDIR) throw CommandError(CannotRecordInto(path_) + ": it is a folder.");
    throw CommandError(ErrnoMessage(CannotRecordInto(path_), errno));
  }
  try {
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) {
        throw CommandError(CannotRecordInto(path_) + ": another program is recording into it.");
      }
      throw CommandError(ErrnoMessage(CannotRecordInto(path_), errno));
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throw CommandError(ErrnoMessage(CannotRecordInto(path_), errno));
    regular_ = S_ISREG(st.st_mode);
    size_ = regular_ ? static_cast<std::int64_t>(st.st_size) : 0;
    if (size_ > 0) {
      std::uint8_t last = 0;
      const ssize_t n = ::pread(fd_, &last, 1, size_ - 1);
      if (n != 1) throw CommandError(ErrnoMessage(CannotRecordInto(path_), n < 0 ? errno : EIO));
      needs_fend_ = last != kFend;
    }
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

CaptureAppender::~CaptureAppender() {
  // A capture this appender created and never wrote to is taken away again, so that a
  // recording that never got a frame leaves no empty file behind; only while the name still
  // leads to that file.
  struct stat mine {
  }, named{};
  if (created_ && size_ == 0 && ::fstat(fd_, &mine) == 0 && mine.st_size == 0 &&
      ::lstat(file_path_.c_str(), &named) == 0 && named.st_dev == mine.st_dev &&
      named.st_ino == mine.st_ino) {
    ::unlink(file_path_.c_str());
  }
  ::close(fd_);
}

void CaptureAppender::Add(std::span<const std::uint8_t> kiss_frame,
                          std::optional<std::int64_t> stamp_millis) {
  if (needs_fend_) {
    batch_.push_back(kFend);
    frame_ends_.push_back({batch_.size(), false});
    needs_fend_ = false;
  }
  if (stamp_millis) AppendKissEscaped(batch_, BinaryStampFrame(*stamp_millis));
  AppendKissEscaped(batch_, kiss_frame);
  frame_ends_.push_back({batch_.size(), kiss_frame.empty() || kiss_frame[0] != kTimestampType});
}

void CaptureAppender::Write() {
  std::size_t done = 0;
  int error = 0;
  while (done < batch_.size()) {
    const ssize_t n = ::write(fd_, batch_.data() + done, batch_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (error == 0) {
    size_ += static_cast<std::int64_t>(done);
    unsynced_ += static_cast<std::int64_t>(done);
    for (const FrameEnd& f : frame_ends_) frames_written_ += f.counted ? 1 : 0;
    batch_.clear();
    frame_ends_.clear();
    return;
  }
  CutBack(done);
  throw CommandError(ErrnoMessage("Cannot write to the capture " + Quoted(path_), error));
}

void CaptureAppender::CutBack(std::size_t written) {
  std::size_t keep = 0;
  for (const FrameEnd& f : frame_ends_) {
    if (f.end > written) break;
    keep = f.end;
    frames_written_ += f.counted ? 1 : 0;
  }
  // Only what this write added is cut, and only when no one else has written since.
  struct stat st {};
  if (regular_ && keep < written && ::fstat(fd_, &st) == 0 &&
      st.st_size == size_ + static_cast<std::int64_t>(written) &&
      ::ftruncate(fd_, size_ + static_cast<std::int64_t>(keep)) == 0) {
    written = keep;
  }
  size_ += static_cast<std::int64_t>(written);
  unsynced_ += static_cast<std::int64_t>(written);
  batch_.clear();
  frame_ends_.clear();
  // A frame left cut (the cut failed) is closed by the next write.
  std::uint8_t last = kFend;
  needs_fend_ = size_ > 0 && ::pread(fd_, &last, 1, size_ - 1) == 1 && last != kFend;
}

void CaptureAppender::Sync() {
  if (unsynced_ == 0) return;
  if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
    throw CommandError(ErrnoMessage("Cannot write to the capture " + Quoted(path_), errno));
  }
  unsynced_ = 0;
}

}  // namespace packscope
