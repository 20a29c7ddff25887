#include "capture/capture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "capture/errors.h"

namespace packscope {
namespace {

std::string CannotRead(const std::string& path) {
  return "Cannot read the capture " + Quoted(path);
}

}  // namespace

CaptureFile::CaptureFile(const std::string& path) : path_(path) {
  if (path.empty()) throw CaptureUnreadable("Cannot read the capture: no file name was given.");
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw CaptureUnreadable(ErrnoMessage(CannotRead(path), errno));
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    const int e = errno;
    ::close(fd_);
    throw CaptureUnreadable(ErrnoMessage(CannotRead(path), e));
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd_);
    throw CaptureUnreadable(CannotRead(path) + ": it is a folder, not a file.");
  }
  size_ = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : -1;
  device_ = static_cast<std::uint64_t>(st.st_dev);
  inode_ = static_cast<std::uint64_t>(st.st_ino);
}

CaptureFile::~CaptureFile() { ::close(fd_); }

std::size_t CaptureFile::Read(std::uint8_t* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw CaptureUnreadable(ErrnoMessage(CannotRead(path_), errno));
  }
}

std::size_t CaptureFile::ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t size) const {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, buffer + done, size - done,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw CaptureUnreadable(ErrnoMessage(CannotRead(path_), errno));
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::int64_t CaptureFile::CurrentSize() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw CaptureUnreadable(ErrnoMessage(CannotRead(path_), errno));
  return S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : -1;
}

bool CaptureFile::StillAt(const std::string& path) const {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return static_cast<std::uint64_t>(st.st_dev) == device_ &&
         static_cast<std::uint64_t>(st.st_ino) == inode_;
}

}  // namespace packscope
