// OutputFile: an output file that is either written whole or not at all.
//
// Lines go to a temporary file in the target's folder; Commit() renames it over the target, so
// an earlier file of that name stays byte for byte as it was until the new one is complete, and
// stays as it was when the command fails (capture unreadable, disk full, frame too long). A
// target that exists and is not a regular file (a FIFO, /dev/null) is written directly and is
// never replaced by a regular file. The target "-" is standard output.
//
// Paths are bytes, as the system takes them (they need not be UTF-8). The temporary file's name
// is the target's, shortened where needed, so that any name the folder accepts can be written.
// A replaced file keeps its permissions without the set-user-ID, set-group-ID and sticky bits,
// and its owner and group where the process may set them. A symbolic link as target is followed
// (the file it points to is replaced, the link stays), unless it belongs to another user and lies
// in a folder that is sticky or owned by someone else again: such a link may have been planted to
// make the program replace a file elsewhere, and is refused (the rule of Linux's
// protected_symlinks, applied in every folder).
//
// RemoveTemporaryFilesOnSignals() lets SIGINT, SIGTERM and SIGHUP remove the temporary files
// of the OutputFiles still open, and the ScratchFiles, before the program ends.
#ifndef PACKSCOPE_CAPTURE_OUTPUT_FILE_H_
#define PACKSCOPE_CAPTURE_OUTPUT_FILE_H_

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "capture/line_sink.h"

namespace packscope {

// Where an OutputFile's bytes go. The system's device writes with write(2); tests pass a device
// that fails midway, as a full disk does.
class OutputDevice {
 public:
  virtual ~OutputDevice() = default;
  // As write(2): the number of bytes written (possibly fewer than size), or -1 with errno set.
  virtual ssize_t Write(int fd, const void* data, std::size_t size) = 0;
};

// write(2) itself.
OutputDevice& SystemOutputDevice();

// The path a write to target really reaches: the symbolic links in its last place followed, also
// to a file that does not exist yet. A link that may have been planted (one of another user in a
// folder that is sticky or belongs to someone else again, neither to us nor to the link's owner)
// throws CommandError: cannot (such as "Cannot write \"x\"") and why.
std::string FollowTrustedLinks(const std::string& target, const std::string& cannot);

class OutputFile : public LineSink {
 public:
  // Opens the output for target (a path, or "-"); device writes its bytes (nullptr: the
  // system's). Throws CommandError naming target.
  explicit OutputFile(const std::string& target, OutputDevice* device = nullptr);
  // Without Commit() the temporary file is removed and the target is untouched.
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::string_view bytes) override;
  // Flushes and puts the file in place. Throws CommandError; the target is then untouched.
  void Commit();

  const std::string& Target() const { return target_; }

 private:
  void Flush();
  [[noreturn]] void Fail(int error_number);
  void Discard();

  std::string target_;      // as given, for messages
  std::string final_path_;  // where the file ends up (links resolved)
  std::string temp_path_;   // empty when writing directly
  int temp_slot_ = -1;      // where the signal handler finds temp_path_
  int fd_ = -1;
  bool owns_fd_ = true;
  bool committed_ = false;
  OutputDevice& device_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

// A file of the program's own in the temporary folder ($TMPDIR, else /tmp), which it appends to
// and reads back (the window's copy of a capture that can be read only once); removed when the
// object goes, and by the signals of RemoveTemporaryFilesOnSignals.
class ScratchFile {
 public:
  // Creates the file, named after name ("packscope-" name "-XXXXXX"). Throws CommandError.
  explicit ScratchFile(std::string_view name);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& Path() const { return path_; }
  // Appends bytes at the end of the file. Throws CommandError.
  void Append(const void* data, std::size_t size);

 private:
  std::string path_;
  int fd_ = -1;
  int slot_ = -1;
};

// Which file a path names, to tell whether two paths are one file: an existing file's device and
// inode (links followed, hard links alike), or, for a file that does not exist yet, its folder's
// device and inode and the name it would get there (a dangling link's target counts). "-" is
// standard output: the file it is open on.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;     // empty for an existing file
  bool exists = false;  // the file exists (device and inode are its own)
  mode_t type = 0;      // an existing file's type (the S_IFMT bits: S_IFREG, S_IFCHR ...)
  bool known = false;   // false: neither the file nor its folder could be found
  bool operator==(const FileId& other) const {
    return known && other.known && device == other.device && inode == other.inode &&
           name == other.name && exists == other.exists;
  }
};
FileId IdOfFile(const std::string& path);

// True when both paths name the same file (IdOfFile): one existing file through any of its
// names, or one name in one folder for a file that does not exist yet.
bool SameFile(const std::string& a, const std::string& b);

// A capture's name for IdOfFile and SameFile: "-" is standard input, the file it is open on.
inline std::string CapturePath(const std::string& capture) {
  return capture == "-" ? "/dev/stdin" : capture;
}

// Installs handlers for SIGINT, SIGTERM and SIGHUP (those not ignored) that remove the
// temporary files of the open OutputFiles and then end the program by the same signal, as
// without the handler (a shell reports 128 + the signal's number).
void RemoveTemporaryFilesOnSignals();

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_OUTPUT_FILE_H_
