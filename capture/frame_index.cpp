#include "capture/frame_index.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "capture/errors.h"
#include "capture/timestamp.h"
#include "render/display_model.h"

namespace packscope {
namespace {

using index_internal::Chunks;
using index_internal::kChunkBits;
using index_internal::kChunkSize;

constexpr std::size_t kReadBlock = 1 << 20;
// The capture's last bytes kept to see that a file that grew still begins as it did.
constexpr std::size_t kCheckBytes = 64;
constexpr std::int64_t kLargestOffset = std::int64_t{1} << FrameRecord::kOffsetBits;
constexpr std::int64_t kMostStamps = std::numeric_limits<std::uint32_t>::max() - 1;

std::atomic<std::uint64_t> next_index_id{1};

// Records appended one by one into chunks that never move. A new chunk gives a new directory,
// so that a published directory never changes.
template <class T>
class ChunkedArray {
 public:
  void PushBack(const T& value) {
    const auto chunk = static_cast<std::size_t>(size_ >> kChunkBits);
    if (chunk == dir_->size()) {
      auto grown = std::make_shared<Chunks<T>>(*dir_);
      grown->push_back(std::shared_ptr<T[]>(new T[kChunkSize]));
      dir_ = std::move(grown);
    }
    (*dir_)[chunk][static_cast<std::size_t>(size_ & (kChunkSize - 1))] = value;
    ++size_;
  }
  std::int64_t Size() const { return size_; }
  std::shared_ptr<const Chunks<T>> Directory() const { return dir_; }

 private:
  std::shared_ptr<Chunks<T>> dir_ = std::make_shared<Chunks<T>>();
  std::int64_t size_ = 0;
};

}  // namespace

// The scanner's handler: one record per frame, one per stamp.
class FrameIndex::Builder {
 public:
  // What a frame in progress has left so far; copied aside while the frame cut off by the end of
  // the file is worked out.
  struct Pending {
    std::int64_t offset = 0;
    bool recovered = false;
    std::uint8_t type = 0;
    std::string stamp_bytes;  // the un-escaped bytes of a timestamp frame
    std::array<std::uint8_t, kAx25DecoderReach> frame_bytes_left{};
    std::int32_t frame_bytes_reach = 0;
  };

  void OnSkipped(std::int64_t) {}
  void OnStored(const std::uint8_t*, std::size_t) {}
  void OnStrayEscape(std::int64_t) {}
  void OnTooLong() {}

  void OnFrameStart(std::int64_t offset, bool recovered) {
    p_.offset = offset;
    p_.recovered = recovered;
    p_.type = 0;
    p_.stamp_bytes.clear();
  }

  void OnData(const std::uint8_t* bytes, std::size_t n, std::int32_t at) {
    if (at == 0) p_.type = bytes[0];
    if (p_.type == kTimestampType) p_.stamp_bytes.append(reinterpret_cast<const char*>(bytes), n);
    constexpr auto kReach = static_cast<std::int32_t>(kAx25DecoderReach);
    if (at < kReach) {
      const std::size_t k = std::min(n, static_cast<std::size_t>(kReach - at));
      std::memcpy(p_.frame_bytes_left.data() + at, bytes, k);
      p_.frame_bytes_reach = std::max(p_.frame_bytes_reach, at + static_cast<std::int32_t>(k));
    }
  }

  void OnFrameEnd(const KissFrameEnd& end) {
    const std::int64_t stored = end.end - p_.offset;
    if (end.end >= kLargestOffset || stamps_.Size() >= kMostStamps) {
      full_ = true;
      return;
    }
    FrameRecord r;
    r.place = static_cast<std::uint64_t>(p_.offset) | static_cast<std::uint64_t>(stored)
                                                          << FrameRecord::kOffsetBits;
    r.stamp = stamp_in_force_;
    r.length = static_cast<std::uint16_t>(end.length);
    r.type = end.length > 0 ? p_.type : 0;
    r.flags = static_cast<std::uint8_t>((p_.recovered ? FrameRecord::kRecovered : 0) |
                                        (end.closed ? 0 : FrameRecord::kCutOff) |
                                        (end.escaped ? FrameRecord::kEscaped : 0));
    std::optional<StampRecord> stamp;
    if (end.length >= 1 && p_.type == kTimestampType) {
      r.flags |= FrameRecord::kTimestamp;
      stamp = MakeStamp(frames_.Size(), end.length);
      if (stamp) r.flags |= FrameRecord::kSetsStamp;
    }
    if (tail_mode_) {
      tail_ = r;
      tail_stamp_ = stamp;
      return;
    }
    frames_.PushBack(r);
    byte_count_ += end.length;
    longest_stored_ = std::max(longest_stored_, static_cast<std::int32_t>(stored));
    longest_frame_ = std::max(longest_frame_, end.length);
    if (stamp) {
      if (!stamp->Binary() && log_ == nullptr) {
        // The log's lines are no longer the stamps themselves: list the binary ones so far.
        log_ = std::make_unique<ChunkedArray<std::uint32_t>>();
        for (std::int64_t k = 0; k < stamps_.Size(); ++k)
          log_->PushBack(static_cast<std::uint32_t>(k));
      }
      if (stamp->Binary() && log_ != nullptr)
        log_->PushBack(static_cast<std::uint32_t>(stamps_.Size()));
      stamps_.PushBack(*stamp);
      stamp_in_force_ = static_cast<std::uint32_t>(stamps_.Size());
    }
  }

  // The frame in progress, cut off at the end of the file as it is now, into tail() and
  // tail_stamp(), leaving the builder as it was. False when the frame is too long.
  bool CutOffTail(const KissScanner& scanner, std::int64_t end) {
    tail_.reset();
    tail_stamp_.reset();
    if (!scanner.InFrame()) return true;
    const Pending saved = p_;
    KissScanner at_end = scanner;
    tail_mode_ = true;
    const bool ok = at_end.Finish(*this, end);
    tail_mode_ = false;
    tail_frame_bytes_left_ = p_.frame_bytes_left;
    tail_frame_bytes_reach_ = p_.frame_bytes_reach;
    p_ = saved;
    return ok;
  }

  void Fill(index_internal::Published& out, bool with_tail) const {
    out.frames = frames_.Directory();
    out.frame_count = frames_.Size();
    out.stamps = stamps_.Directory();
    out.stamp_count = stamps_.Size();
    if (log_ != nullptr) {
      out.log = log_->Directory();
      out.log_count = log_->Size();
    } else {
      out.log_count = stamps_.Size();
    }
    out.byte_count = byte_count_;
    out.longest_stored = longest_stored_;
    out.longest_frame = longest_frame_;
    out.frame_bytes_left = p_.frame_bytes_left;
    out.frame_bytes_reach = p_.frame_bytes_reach;
    if (!with_tail || !tail_) return;
    out.tail = tail_;
    out.tail_stamp = tail_stamp_;
    out.byte_count += tail_->Length();
    out.longest_stored = std::max(out.longest_stored, tail_->StoredLength());
    out.longest_frame = std::max(out.longest_frame, tail_->Length());
    out.frame_bytes_left = tail_frame_bytes_left_;
    out.frame_bytes_reach = tail_frame_bytes_reach_;
  }

  std::int64_t FrameCount() const { return frames_.Size(); }
  std::int64_t PendingOffset() const { return p_.offset; }
  bool Full() const { return full_; }

 private:
  std::optional<StampRecord> MakeStamp(std::int64_t frame, std::int32_t length) const {
    StampRecord s;
    const std::string_view bytes = p_.stamp_bytes;
    if (length == 9) {
      s.frame_kind = static_cast<std::uint64_t>(frame) << 1 | 1;
      s.value = BinaryStampValue(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 1);
      return s;
    }
    const std::optional<TextStampPlace> place = FindTextStamp(bytes);
    if (!place) return std::nullopt;
    std::string piece(bytes.substr(place->from, place->length));
    piece.append("\r\n");
    const TextLines lines = MeasureLines(piece);
    s.frame_kind = static_cast<std::uint64_t>(frame) << 1;
    s.value = static_cast<std::uint64_t>(place->from) |
              static_cast<std::uint64_t>(place->length) << 16 |
              static_cast<std::uint64_t>(lines.line_feeds - 1) << 24 |
              static_cast<std::uint64_t>(lines.longest) << 32;
    return s;
  }

  Pending p_;
  ChunkedArray<FrameRecord> frames_;
  ChunkedArray<StampRecord> stamps_;
  std::unique_ptr<ChunkedArray<std::uint32_t>> log_;
  std::uint32_t stamp_in_force_ = 0;
  std::int64_t byte_count_ = 0;
  std::int32_t longest_stored_ = 0;
  std::int32_t longest_frame_ = 0;
  bool full_ = false;
  bool tail_mode_ = false;
  std::optional<FrameRecord> tail_;
  std::optional<StampRecord> tail_stamp_;
  std::array<std::uint8_t, kAx25DecoderReach> tail_frame_bytes_left_{};
  std::int32_t tail_frame_bytes_reach_ = 0;
};

IndexSnapshot::IndexSnapshot() : s_(std::make_shared<index_internal::Published>()) {}

std::int64_t IndexSnapshot::StampLogCount() const {
  return s_->log_count + (s_->tail_stamp && s_->tail_stamp->Binary() ? 1 : 0);
}

std::int64_t IndexSnapshot::StampLogStamp(std::int64_t line) const {
  if (line >= s_->log_count) return s_->stamp_count;  // the tail's stamp
  return s_->log == nullptr ? line : index_internal::At(*s_->log, line);
}

FrameIndex::FrameIndex(std::string path)
    : path_(std::move(path)), id_(next_index_id++), builder_(std::make_unique<Builder>()) {
  Publish(false);
}

FrameIndex::~FrameIndex() = default;

IndexSnapshot FrameIndex::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return IndexSnapshot(published_);
}

void FrameIndex::Publish(bool with_tail) {
  auto p = std::make_shared<index_internal::Published>();
  p->index_id = id_;
  p->path = path_;
  p->file = file_;
  builder_->Fill(*p, with_tail);
  p->capture_size = read_;
  p->at_end = with_tail;
  std::lock_guard<std::mutex> lock(mutex_);
  published_ = std::move(p);
}

std::optional<IndexResult> FrameIndex::Unchanged() const {
  const IndexResult changed{IndexStatus::kChanged,
                            "The capture " + Quoted(path_) + " changed on disk."};
  if (!file_->StillAt(path_)) return changed;
  const std::int64_t size = file_->CurrentSize();
  if (size >= 0 && size < read_) return changed;
  std::vector<std::uint8_t> now(last_bytes_.size());
  const std::int64_t from = read_ - static_cast<std::int64_t>(now.size());
  if (file_->ReadAt(from, now.data(), now.size()) != now.size() || now != last_bytes_)
    return changed;
  return std::nullopt;
}

IndexResult FrameIndex::Extend(const std::atomic<bool>* cancel, const Progress& progress) {
  try {
    if (stop_) {  // for good, unless another file has taken the capture's place
      std::optional<IndexResult> changed = Unchanged();
      return changed ? *changed : *stop_;
    }
    if (file_ == nullptr) {
      file_ = std::make_shared<CaptureFile>(path_);
    } else if (std::optional<IndexResult> changed = Unchanged()) {
      return *changed;
    }
    const std::int64_t total = file_->CurrentSize();
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kReadBlock]);
    for (;;) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        Publish(false);
        return {IndexStatus::kCancelled, {}};
      }
      const std::size_t n = file_->ReadAt(read_, buffer.get(), kReadBlock);
      if (n == 0) break;
      const bool ok = scanner_.Scan(*builder_, buffer.get(), n, read_);
      read_ += static_cast<std::int64_t>(n);
      // The last bytes read, over the seam of two blocks.
      const std::size_t keep = std::min(kCheckBytes, n);
      last_bytes_.insert(last_bytes_.end(), buffer.get() + n - keep, buffer.get() + n);
      if (last_bytes_.size() > kCheckBytes)
        last_bytes_.erase(last_bytes_.begin(),
                          last_bytes_.end() - static_cast<std::ptrdiff_t>(kCheckBytes));
      if (!ok || builder_->Full()) break;
      // A short block is the file's last: what it held is published with the end.
      if (n < kReadBlock) continue;
      Publish(false);
      if (progress) progress(read_, total);
    }
    if (builder_->Full()) {
      stop_ = IndexResult{IndexStatus::kTooLong,
                          "The capture " + Quoted(path_) +
                              " holds more frames than can be shown; it is shown up to byte "
                              "offset " +
                              std::to_string(builder_->PendingOffset()) + "."};
    } else if (scanner_.Stopped() || !builder_->CutOffTail(scanner_, read_)) {
      stop_ = IndexResult{
          IndexStatus::kTooLong,
          FrameTooLongMessage(builder_->FrameCount() + 1, builder_->PendingOffset(), path_)};
    }
    if (stop_) {
      Publish(false);
      return *stop_;
    }
    Publish(true);
    if (progress) progress(read_, total);
    return {IndexStatus::kAtEnd, {}};
  } catch (const CommandError& e) {
    Publish(false);
    return {IndexStatus::kUnreadable, e.what()};
  }
}

}  // namespace packscope
