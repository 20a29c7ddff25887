// OutputFile: an output file that is either written whole or not at all.
//
// Lines go to a temporary file in the target's folder; Commit() renames it over the target, so
// an earlier file of that name stays byte for byte as it was until the new one is complete, and
// stays as it was when the command fails (capture unreadable, disk full, frame too long). A
// target that exists and is not a regular file (a FIFO, /dev/null) is written directly and is
// never replaced by a regular file. The target "-" is standard output. A symbolic link as target
// is followed: the file it points to is replaced, the link stays.
#ifndef PACKSCOPE_CAPTURE_OUTPUT_FILE_H_
#define PACKSCOPE_CAPTURE_OUTPUT_FILE_H_

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "capture/line_sink.h"

namespace packscope {

class OutputFile : public LineSink {
 public:
  // Opens the output for target (UTF-8 path, or "-"). Throws CommandError naming target.
  explicit OutputFile(const std::string& target);
  // Without Commit() the temporary file is removed and the target is untouched.
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::string_view bytes) override;
  // Flushes and puts the file in place. Throws CommandError; the target is then untouched.
  void Commit();

  const std::string& Target() const { return target_; }

  // Test seam: the function that writes bytes to a file descriptor (default ::write), so that
  // tests can make a write fail midway as a full disk does. Returns the previous one.
  using WriteFunction = ssize_t (*)(int fd, const void* data, std::size_t size);
  static WriteFunction SetWriteFunctionForTesting(WriteFunction fn);

 private:
  void Flush();
  [[noreturn]] void Fail(int error_number);
  void Discard();

  std::string target_;      // as given, for messages
  std::string final_path_;  // where the file ends up (links resolved)
  std::string temp_path_;   // empty when writing directly
  int fd_ = -1;
  bool owns_fd_ = true;
  bool committed_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

// True when both paths name the same existing file (links followed).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_OUTPUT_FILE_H_
