// FileWatch: whether a capture changed on disk since its reading ended, at the cost of one
// stat(). The windows that follow a capture as a recorder appends to it (the main window, the
// frame list) look once a second, and after each batch their own recording wrote, and read the
// capture on only when it changed.
#ifndef PACKSCOPE_CAPTURE_FILE_WATCH_H_
#define PACKSCOPE_CAPTURE_FILE_WATCH_H_

#include <cstdint>
#include <string>

namespace packscope {

class FileWatch {
 public:
  // Takes the file at path as it is now: its device, inode, size and modification time (a
  // missing file as missing).
  void Remember(const std::string& path);
  // The file at path differs from what was taken (grown, shrunk, written, replaced, gone), or
  // its size from read_size, the bytes its reading took.
  bool Changed(const std::string& path, std::int64_t read_size) const;

 private:
  struct State {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;  // -1: missing
    std::int64_t modified_ns = 0;
    bool operator==(const State&) const = default;
  };
  static State Of(const std::string& path);

  State taken_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_FILE_WATCH_H_
