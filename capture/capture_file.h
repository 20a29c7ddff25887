// CaptureFile: a capture opened for reading, in large blocks from the start or at any offset.
//
// Opening names the path and the reason when the capture cannot be read, in the words every
// command uses ("Cannot read the capture "/x.kss": No such file or directory."). Reads at an
// offset (pread) leave the file position alone, so any number of threads may read through one
// CaptureFile at once.
#ifndef PACKSCOPE_CAPTURE_CAPTURE_FILE_H_
#define PACKSCOPE_CAPTURE_CAPTURE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace packscope {

class CaptureFile {
 public:
  // Throws CommandError when path is empty, cannot be opened, or is a folder.
  explicit CaptureFile(const std::string& path);
  ~CaptureFile();
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  // Reads the next block from the file position; 0 at the end of the file. Throws CommandError.
  std::size_t Read(std::uint8_t* buffer, std::size_t size);
  // Reads up to size bytes at offset; fewer only at the end of the file. Throws CommandError.
  std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t size) const;

  // Size when opened; -1 when it is not a regular file (a pipe, a device).
  std::int64_t Size() const { return size_; }
  // Size now (the file may have grown or shrunk since); -1 as Size().
  std::int64_t CurrentSize() const;
  // Whether the path still names this file (and not a file put in its place, or none).
  bool StillAt(const std::string& path) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
  std::int64_t size_ = -1;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_CAPTURE_FILE_H_
