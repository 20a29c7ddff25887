// FailingDevice: an OutputDevice that fails as a full disk or a broken drive does, for tests of
// the write paths. The first good_writes writes go through; every later one fails with
// error_number (0: writes nothing and reports no error, as a device that takes no more). It may
// also take each write in pieces of at most max_chunk bytes and let a signal interrupt every
// interrupt_every-th write before it writes anything (EINTR).
#ifndef PACKSCOPE_TESTS_SUPPORT_FAILING_DEVICE_H_
#define PACKSCOPE_TESTS_SUPPORT_FAILING_DEVICE_H_

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "capture/output_file.h"

namespace packscope::testing {

class FailingDevice : public OutputDevice {
 public:
  explicit FailingDevice(int good_writes = INT_MAX, int error_number = ENOSPC)
      : good_writes_(good_writes), error_number_(error_number) {}

  ssize_t Write(int fd, const void* data, std::size_t size) override {
    ++writes;
    if (writes > good_writes_) {
      if (error_number_ == 0) return 0;
      errno = error_number_;
      return -1;
    }
    if (interrupt_every > 0 && writes % interrupt_every == 0) {
      errno = EINTR;
      return -1;
    }
    return ::write(fd, data, std::min(size, max_chunk));
  }

  int writes = 0;  // calls so far
  std::size_t max_chunk = SIZE_MAX;
  int interrupt_every = 0;

 private:
  int good_writes_;
  int error_number_;
};

}  // namespace packscope::testing

#endif  // PACKSCOPE_TESTS_SUPPORT_FAILING_DEVICE_H_
