#include "capture/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "capture/errors.h"

namespace packscope {
namespace {

// Written in pieces of 128 KB: on Linux (ext4) a write of 512 KB or more into the page cache cost
// over ten times the system time per byte of one of 256 KB or less (measured with dd and the
// converter), and a piece this size is still in the processor's cache when the kernel copies it.
constexpr std::size_t kBufferSize = 1 << 17;
constexpr int kMaxLinkHops = 40;  // as the kernel's ELOOP limit

class SystemDevice : public OutputDevice {
 public:
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    return ::write(fd, data, size);
  }
};

std::string CannotWrite(const std::string& target) { return "Cannot write " + Quoted(target); }

// The folder and the last name of a path: "a/b" -> "a", "b"; "b" -> ".", "b"; "/b" -> "/", "b".
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

std::string FollowTrustedLinks(const std::string& target, const std::string& cannot) {
  std::string path = target;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    const auto [folder, name] = SplitPath(path);
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) return path;
    const uid_t me = ::geteuid();
    if (link.st_uid != me && link.st_uid != dir.st_uid &&
        ((dir.st_mode & S_ISVTX) != 0 || dir.st_uid != me)) {
      throw CommandError(cannot +
                         ": it is a symbolic link of another user in a folder that is not "
                         "theirs; it was not followed.");
    }
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return path;
    const std::string to(buf, static_cast<std::size_t>(n));
    path = to.front() == '/' ? to : folder + "/" + to;
  }
  throw CommandError(ErrnoMessage(cannot, ELOOP));
}

namespace {

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

// --- Temporary files a signal removes ---
//
// The handler may run between any two instructions, so it reads fixed slots without locks or
// allocation: a slot is claimed (kFilling), filled and published (kLive); the handler unlinks
// the path of every live slot. A slot is freed only once its file is gone or renamed.
constexpr int kSlots = 16;
enum SlotState : int { kFree = 0, kFilling = 1, kLive = 2 };
struct TempSlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
TempSlot g_slots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free);

// The slot now holding path, or -1 (no slot free, or a path too long: the file then stays
// behind when a signal ends the program, as any file of a program that is killed).
int RegisterTemp(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
      g_slots[i].state.store(kLive, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void ReleaseTemp(int slot) {
  if (slot >= 0) g_slots[slot].state.store(kFree, std::memory_order_release);
}

void RemoveTempsAndDie(int signal_number) {
  for (TempSlot& slot : g_slots) {
    if (slot.state.load(std::memory_order_acquire) == kLive) ::unlink(slot.path);
  }
  // The handler was installed with SA_RESETHAND: the signal, blocked while the handler runs,
  // arrives again on return and ends the program as it would have without the handler.
  ::raise(signal_number);
}

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Blocks the cleanup signals while a temporary file is created and registered, so that none
// arrives between the two.
class CleanupSignalsBlocked {
 public:
  CleanupSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kCleanupSignals) sigaddset(&set, s);
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~CleanupSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  CleanupSignalsBlocked(const CleanupSignalsBlocked&) = delete;
  CleanupSignalsBlocked& operator=(const CleanupSignalsBlocked&) = delete;

 private:
  sigset_t old_;
};

}  // namespace

OutputDevice& SystemOutputDevice() {
  static SystemDevice device;
  return device;
}

void RemoveTemporaryFilesOnSignals() {
  for (const int s : kCleanupSignals) {
    struct sigaction current {};
    if (::sigaction(s, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = RemoveTempsAndDie;
    sigemptyset(&action.sa_mask);
    for (const int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    ::sigaction(s, &action, nullptr);
  }
}

OutputFile::OutputFile(const std::string& target, OutputDevice* device)
    : target_(target),
      device_(device != nullptr ? *device : SystemOutputDevice()),
      buffer_(new char[kBufferSize]) {
  IgnoreWriteSignals();
  if (target == "-") {
    fd_ = STDOUT_FILENO;
    owns_fd_ = false;
    return;
  }
  if (target.empty()) throw CommandError("Cannot write a file without a name.");
  final_path_ = FollowTrustedLinks(target, CannotWrite(target));

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

  const auto [dir, name] = SplitPath(final_path_);
  if (name.empty()) throw CommandError(ErrnoMessage(CannotWrite(target), EISDIR));
  // "." + name + ".XXXXXX", the name cut short where the whole would be longer than the
  // folder allows.
  const long name_max = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  const std::size_t room = static_cast<std::size_t>(name_max > 8 ? name_max : NAME_MAX) -
                           std::string_view(".").size() - std::string_view(".XXXXXX").size();
  std::string pattern = dir + "/." + name.substr(0, room) + ".XXXXXX";
  {
    CleanupSignalsBlocked blocked;
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) throw CommandError(ErrnoMessage(CannotWrite(target), errno));
    temp_path_ = pattern;
    temp_slot_ = RegisterTemp(temp_path_);
  }
  // The new file gets the owner, group and permissions the old one had (where the process may
  // set them; never the set-ID and sticky bits), or those of a newly created file.
  if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0)
      (void)::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);
  }
  if (::fchmod(fd_, exists ? (st.st_mode & 0777) : NewFileMode()) != 0) {
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
  ReleaseTemp(temp_slot_);
  temp_slot_ = -1;
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
    const ssize_t n = device_.Write(fd_, p, left);
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
    ReleaseTemp(temp_slot_);
    temp_slot_ = -1;
  }
  committed_ = true;
}

ScratchFile::ScratchFile(std::string_view name) {
  IgnoreWriteSignals();
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  std::string pattern = folder + "/packscope-" + std::string(name) + "-XXXXXX";
  CleanupSignalsBlocked blocked;
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) {
    throw CommandError(ErrnoMessage("Cannot make a temporary file in " + Quoted(folder), errno));
  }
  path_ = pattern;
  slot_ = RegisterTemp(path_);
}

ScratchFile::~ScratchFile() {
  ::close(fd_);
  ::unlink(path_.c_str());
  ReleaseTemp(slot_);
}

void ScratchFile::Append(const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw CommandError(ErrnoMessage(CannotWrite(path_), n < 0 ? errno : ENOSPC));
    p += n;
    size -= static_cast<std::size_t>(n);
  }
}

FileId IdOfFile(const std::string& path) {
  FileId id;
  struct stat st {};
  if (path == "-" ? ::fstat(STDOUT_FILENO, &st) == 0 : ::stat(path.c_str(), &st) == 0) {
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.exists = true;
    id.type = st.st_mode & S_IFMT;
    id.known = true;
    return id;
  }
  std::string resolved;
  try {
    resolved = FollowTrustedLinks(path, CannotWrite(path));
  } catch (const CommandError&) {
    return id;
  }
  const auto [folder, name] = SplitPath(resolved);
  if (name.empty() || ::stat(folder.c_str(), &st) != 0) return id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.name = name;
  id.known = true;
  return id;
}

bool SameFile(const std::string& a, const std::string& b) { return IdOfFile(a) == IdOfFile(b); }

}  // namespace packscope
