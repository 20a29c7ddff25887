// A capture held in a memory file (memfd), named by a path the program's reading opens like any
// other; the index and frame list checkers write their inputs into one. ReadAsKiss tells the
// inputs that the capture readers take as KISS: the checkers model the KISS framing, and leave
// the others (compressed, pcap, TNC2 lines) to the input fuzzer.
#ifndef PACKSCOPE_FUZZ_MEMORY_CAPTURE_H_
#define PACKSCOPE_FUZZ_MEMORY_CAPTURE_H_

#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/capture_input.h"
#include "capture/errors.h"

namespace packscope::fuzz {

inline bool ReadAsKiss(const std::uint8_t* data, std::size_t size) {
  try {
    return OpenCaptureBytes(std::string(reinterpret_cast<const char*>(data), size), "capture")
               ->Kind() == InputKind{};
  } catch (const CommandError&) {
    return false;
  }
}

class MemoryCapture {
 public:
  MemoryCapture() : fd_(::memfd_create("capture.kss", MFD_CLOEXEC)) {}
  ~MemoryCapture() {
    if (fd_ >= 0) ::close(fd_);
  }
  MemoryCapture(const MemoryCapture&) = delete;
  MemoryCapture& operator=(const MemoryCapture&) = delete;

  // Writes data[from..to) at the same offsets of the file (a capture that grows: one piece, then
  // the next).
  bool Write(const std::uint8_t* data, std::size_t from, std::size_t to) {
    for (std::size_t done = from; done < to;) {
      const ssize_t n = ::pwrite(fd_, data + done, to - done, static_cast<off_t>(done));
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }
  bool Ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace packscope::fuzz

#endif  // PACKSCOPE_FUZZ_MEMORY_CAPTURE_H_
