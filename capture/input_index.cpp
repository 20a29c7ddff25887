#include "capture/input_index.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>

#include "capture/errors.h"
#include "capture/output_file.h"

namespace packscope {
namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr std::size_t kMostDamageKept = 1000;
constexpr std::int64_t kLeastMargin = std::int64_t{512} << 20;
constexpr std::int64_t kMostMargin = std::int64_t{4} << 30;

class StatvfsFreeSpace : public FreeSpace {
 public:
  std::optional<DiskRoom> Room(const std::string& path) const override {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) return std::nullopt;
    const auto block = static_cast<std::int64_t>(st.f_frsize);
    return DiskRoom{static_cast<std::int64_t>(st.f_bavail) * block,
                    static_cast<std::int64_t>(st.f_blocks) * block};
  }
};

std::string Megabytes(std::int64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

bool IsKissFile(const std::string& path) {
  struct stat st {};
  return path != "-" && ::stat(path.c_str(), &st) == 0 &&
         (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

// What the index reports as such, as it always did: a missing file, a folder.
bool LeftToTheIndex(const std::string& path) {
  struct stat st {};
  return path != "-" && (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode));
}

}  // namespace

const FreeSpace& SystemFreeSpace() {
  static const StatvfsFreeSpace free_space;
  return free_space;
}

// A share of the disk, so a small disk keeps room in proportion; capped, so a big shared disk
// that is already nine-tenths full still takes a copy of a few gigabytes.
std::int64_t CopyMargin(const DiskRoom& room) {
  return std::max(kLeastMargin, std::min(room.size / 50, kMostMargin));
}

struct InputIndex::Copy {
  ScratchFile file{"copy"};
  std::int64_t written = 0;
};

InputIndex::InputIndex(std::string path, const FreeSpace* free_space)
    : path_(std::move(path)),
      free_space_(free_space != nullptr ? *free_space : SystemFreeSpace()) {}

InputIndex::~InputIndex() = default;

IndexSnapshot InputIndex::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return index_ != nullptr ? index_->Snapshot() : IndexSnapshot();
}

std::optional<InputKind> InputIndex::Kind() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kind_;
}

bool InputIndex::Copied() const { return !CopyPath().empty(); }

std::string InputIndex::CopyPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return copy_path_;
}

std::vector<InputDamage> InputIndex::Damage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return damage_;
}

std::int64_t InputIndex::DamageCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return damage_count_;
}

void InputIndex::Keep(std::vector<InputDamage>& damage) {
  if (damage.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  damage_count_ += static_cast<std::int64_t>(damage.size());
  for (InputDamage& d : damage) {
    if (damage_.size() < kMostDamageKept) damage_.push_back(std::move(d));
  }
  damage.clear();
}

IndexResult InputIndex::Open() {
  std::unique_ptr<FrameIndex> index;
  std::unique_ptr<Copy> copy;
  std::optional<InputKind> kind;
  if (LeftToTheIndex(path_)) {
    index = std::make_unique<FrameIndex>(path_);
  } else {
    const bool file = IsKissFile(path_);
    stream_ = !file;
    input_ = OpenCaptureInput(path_, stream_ ? &wait_ : nullptr);
    kind = input_->Kind();
    if (file && *kind == InputKind{}) {
      input_.reset();
      index = std::make_unique<FrameIndex>(path_);
    } else {
      copy = std::make_unique<Copy>();
      index = std::make_unique<FrameIndex>(copy->file.Path());
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  kind_ = kind;
  if (copy != nullptr) copy_path_ = copy->file.Path();
  copy_ = std::move(copy);
  index_ = std::move(index);
  return {};
}

IndexResult InputIndex::Extend(const std::atomic<bool>* cancel,
                               const FrameIndex::Progress& progress) {
  if (ended_) return *ended_;
  wait_.cancel = cancel;
  wait_.waiting = [this, &progress] {
    if (progress) progress(input_ != nullptr ? input_->Consumed() : 0, -1);
  };
  if (index_ == nullptr) {
    try {
      Open();
    } catch (const PassCancelled&) {
      ended_ = IndexResult{IndexStatus::kCancelled, {}};
      return *ended_;
    } catch (const CommandError& e) {
      const IndexResult failed{IndexStatus::kUnreadable, e.what()};
      if (stream_) ended_ = failed;
      return failed;
    }
  }
  if (copy_ == nullptr) return index_->Extend(cancel, progress);
  return ReadCopy(cancel, progress);
}

IndexResult InputIndex::ReadCopy(const std::atomic<bool>* cancel,
                                 const FrameIndex::Progress& progress) {
  // A stream's reading ends for good however it ends; a file's cancelled reading goes on later.
  const auto end = [this](IndexResult result) {
    if (stream_ || result.status != IndexStatus::kCancelled) {
      ended_ = result;
      input_.reset();
    }
    return result;
  };
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kBlock]);
  std::vector<InputDamage> damage;
  const std::string copy_path = copy_->file.Path();
  try {
    for (;;) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        return end({IndexStatus::kCancelled, {}});
      }
      const std::size_t n = input_->Read(buffer.get(), kBlock);
      input_->TakeDamage(damage);
      Keep(damage);
      if (n == 0) return end(Named(index_->Extend()));
      const std::optional<DiskRoom> room = free_space_.Room(copy_path);
      if (room && room->free - static_cast<std::int64_t>(n) < CopyMargin(*room)) {
        return end({IndexStatus::kStopped,
                    "The temporary copy stopped at " + Megabytes(copy_->written) + " to keep " +
                        Megabytes(CopyMargin(*room)) + " of its disk free."});
      }
      copy_->file.Append(buffer.get(), n);
      copy_->written += static_cast<std::int64_t>(n);
      const IndexResult indexed = Named(index_->Extend());
      if (indexed.status != IndexStatus::kAtEnd) return end(indexed);
      if (progress) progress(input_->Consumed(), input_->Size());
    }
  } catch (const PassCancelled&) {
    return end({IndexStatus::kCancelled, {}});
  } catch (const CaptureUnreadable& e) {
    return end({IndexStatus::kUnreadable, e.what()});
  } catch (const CommandError& e) {  // the copy could not be written
    return end({IndexStatus::kUnreadable,
                "Cannot read the capture " + CaptureName(path_) + ": " + e.what()});
  }
}

IndexResult InputIndex::Named(IndexResult result) const {
  const std::string copy = Quoted(copy_->file.Path());
  const std::string shown = CaptureName(path_);
  for (std::size_t at = result.message.find(copy); at != std::string::npos;
       at = result.message.find(copy, at + shown.size())) {
    result.message.replace(at, copy.size(), shown);
  }
  return result;
}

}  // namespace packscope
