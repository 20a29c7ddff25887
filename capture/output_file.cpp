#include "capture/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "capture/errors.h"

namespace packscope {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;

OutputFile::WriteFunction g_write = ::write;

std::string CannotWrite(const std::string& target) { return "Cannot write " + Quoted(target); }

// The path a write to target really replaces: symbolic links are followed, also when the file
// they point to does not exist yet.
std::string ResolveLinks(const std::string& target) {
  std::error_code ec;
  if (!std::filesystem::is_symlink(target, ec)) return target;
  auto resolved = std::filesystem::weakly_canonical(target, ec);
  return ec ? target : resolved.string();
}

// A write beyond a file size limit (ulimit -f) raises SIGXFSZ, and one into a pipe that nobody
// reads raises SIGPIPE: either would end the program in the middle of a command and leave the
// temporary file behind. Ignored, the write fails with EFBIG or EPIPE and the command reports
// it like a full disk. A handler that the host installed stays.
void IgnoreWriteSignals() {
  static const bool ignored = [] {
    for (const int signal_number : {SIGXFSZ, SIGPIPE}) {
      struct sigaction current {};
      if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        ::signal(signal_number, SIG_IGN);
      }
    }
    return true;
  }();
  (void)ignored;
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::WriteFunction OutputFile::SetWriteFunctionForTesting(WriteFunction fn) {
  WriteFunction old = g_write;
  g_write = fn != nullptr ? fn : ::write;
  return old;
}

OutputFile::OutputFile(const std::string& target)
    : target_(target), buffer_(new char[kBufferSize]) {
  IgnoreWriteSignals();
  if (target == "-") {
    fd_ = STDOUT_FILENO;
    owns_fd_ = false;
    return;
  }
  if (target.empty()) throw CommandError("Cannot write a file without a name.");
  final_path_ = ResolveLinks(target);

  struct stat st {};
  const bool exists = ::stat(final_path_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    throw CommandError(CannotWrite(target) + ": it is a folder.");
  }
  if (exists && !S_ISREG(st.st_mode)) {
    // A FIFO or a device: write into it as it is.
    fd_ = ::open(final_path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) throw CommandError(ErrnoMessage(CannotWrite(target), errno));
    return;
  }

  const std::filesystem::path p(final_path_);
  const std::string dir = p.has_parent_path() ? p.parent_path().string() : std::string(".");
  std::string pattern = dir + "/." + p.filename().string() + ".XXXXXX";
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) throw CommandError(ErrnoMessage(CannotWrite(target), errno));
  temp_path_ = pattern;
  ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
  // The new file gets the permissions the old one had, or those of a newly created file.
  if (::fchmod(fd_, exists ? (st.st_mode & 07777) : NewFileMode()) != 0) {
    const int e = errno;
    Discard();
    throw CommandError(ErrnoMessage(CannotWrite(target), e));
  }
}

OutputFile::~OutputFile() {
  if (!committed_) Discard();
}

void OutputFile::Discard() {
  if (fd_ >= 0 && owns_fd_) ::close(fd_);
  fd_ = -1;
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  temp_path_.clear();
}

void OutputFile::Fail(int error_number) {
  Discard();
  throw CommandError(ErrnoMessage(CannotWrite(target_), error_number));
}

void OutputFile::Write(std::string_view bytes) {
  if (fd_ < 0) throw CommandError(CannotWrite(target_) + ": the file is closed.");
  while (!bytes.empty()) {
    if (used_ == kBufferSize) Flush();
    const std::size_t n = std::min(bytes.size(), kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, bytes.data(), n);
    used_ += n;
    bytes.remove_prefix(n);
  }
}

void OutputFile::Flush() {
  const char* p = buffer_.get();
  std::size_t left = used_;
  while (left > 0) {
    const ssize_t n = g_write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    if (n == 0) Fail(ENOSPC);
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  used_ = 0;
}

void OutputFile::Commit() {
  if (fd_ < 0) throw CommandError(CannotWrite(target_) + ": the file is closed.");
  Flush();
  if (owns_fd_ && ::close(fd_) != 0) {
    fd_ = -1;
    Fail(errno);
  }
  fd_ = -1;
  if (!temp_path_.empty()) {
    if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0) Fail(errno);
    temp_path_.clear();
  }
  committed_ = true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace packscope
