#include "framelist/merged_capture.h"

#include <algorithm>

#include "capture/capture_file.h"
#include "capture/errors.h"
#include "capture/input_index.h"
#include "framelist/merged_source.h"

namespace packscope {
namespace {

constexpr std::size_t kWriteBlock = std::size_t{1} << 20;

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// The merged capture read from its file, the receivers of each frame from the table.
class TableSource : public FrameSource {
 public:
  TableSource(const MergedCapture& merged, const IndexSnapshot& snapshot)
      : merged_(merged), snapshot_(snapshot), file_(merged.Path()) {
    paths_ = merged.Captures();
    paths_.push_back(merged.Path());
  }

  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = file_.Read(buffer, size);
    done_ += static_cast<std::int64_t>(n);
    return n;
  }
  std::int64_t Done() const override { return done_; }
  std::int64_t Total() const override { return file_.Size(); }
  std::span<const std::string> Paths() const override { return paths_; }
  std::span<const std::string> ReceiverNames() const override { return merged_.Names(); }

  const FrameReceivers* ReceiversAt(std::int64_t offset) override {
    // The frame loop asks in the order of the capture: the frame after the one found last, as a
    // rule.
    std::int64_t frame = next_;
    if (frame >= snapshot_.FrameCount() || snapshot_.Frame(frame).Offset() != offset) {
      frame = FrameAtOffset(snapshot_, offset);
      if (frame < 0 || snapshot_.Frame(frame).Offset() != offset) return nullptr;
    }
    next_ = frame + 1;
    merged_.HeardOf(frame, heard_);
    if (heard_.empty()) return nullptr;
    current_.names = merged_.Names();
    current_.heard = heard_;
    return &current_;
  }

 private:
  const MergedCapture& merged_;
  IndexSnapshot snapshot_;
  CaptureFile file_;
  std::vector<std::string> paths_;
  std::int64_t done_ = 0;
  std::int64_t next_ = 0;
  std::vector<Reception> heard_;
  FrameReceivers current_;
};

std::string FileName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The receivers' names: the captures' file names, or the paths as given when two share one.
std::vector<std::string> ReceiverNames(const std::vector<std::string>& captures) {
  std::vector<std::string> names;
  for (const std::string& c : captures) names.push_back(FileName(c));
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return captures;
  return names;
}

}  // namespace

MergedCapture::MergedCapture(std::vector<std::string> captures, const MergeOptions& options)
    : captures_(std::move(captures)), options_(options), file_("merge") {
  starts_.push_back(0);
}

std::shared_ptr<const MergedCapture> MergedCapture::Make(const std::vector<std::string>& captures,
                                                         const MergeOptions& options,
                                                         const std::atomic<bool>* cancel,
                                                         const PassProgress& progress) {
  std::shared_ptr<MergedCapture> merged(new MergedCapture(captures, options));
  std::int64_t total = 0;  // of the captures' sizes, as far as they are known
  std::int64_t indexed = 0;
  std::vector<std::unique_ptr<InputIndex>> indexes;
  std::vector<MergeInput> inputs;
  const std::vector<std::string> names = ReceiverNames(captures);
  for (const std::string& capture : captures) {
    indexes.push_back(std::make_unique<InputIndex>(capture));
    const IndexResult result =
        indexes.back()->Extend(cancel, [&](std::int64_t done, std::int64_t size) {
          if (progress) progress(indexed + done, 2 * std::max<std::int64_t>(total + size, 1));
        });
    if (result.status == IndexStatus::kCancelled) return nullptr;
    if (result.status != IndexStatus::kAtEnd) throw CommandError(result.message);
    inputs.push_back({names[inputs.size()], indexes.back()->Snapshot()});
    indexed += inputs.back().index.CaptureSize();
    total = indexed;
  }
  MergedSource source(std::move(inputs), options);
  merged->names_ =
      source.ReceiverNames().empty()
          ? std::vector<std::string>{}
          : std::vector<std::string>(source.ReceiverNames().begin(), source.ReceiverNames().end());
  std::vector<std::uint8_t> block(kWriteBlock);
  for (std::int64_t round = 0;; ++round) {
    if (round % 16 == 0) {
      if (Cancelled(cancel)) return nullptr;
      if (progress) progress(total + source.Done(), 2 * std::max<std::int64_t>(total, 1));
    }
    const std::size_t n = source.Read(block.data(), block.size());
    if (n == 0) break;
    merged->file_.Append(block.data(), n);
    for (const MergedSource::Placed& p : source.LastPlaced()) {
      // The timestamp frames before it were heard by none.
      merged->starts_.resize(static_cast<std::size_t>(p.frame) + 1, merged->starts_.back());
      for (const Reception& r : p.heard) {
        merged->receivers_.push_back(static_cast<std::uint8_t>(r.receiver));
        merged->offsets_ms_.push_back(r.offset_ms);
      }
      merged->starts_.push_back(merged->receivers_.size());
    }
  }
  merged->packets_ = source.Packets();
  merged->starts_.shrink_to_fit();
  merged->receivers_.shrink_to_fit();
  merged->offsets_ms_.shrink_to_fit();
  return merged;
}

void MergedCapture::HeardOf(std::int64_t frame, std::vector<Reception>& out) const {
  out.clear();
  if (frame < 0 || frame >= FrameCount()) return;
  const auto k = static_cast<std::size_t>(frame);
  for (std::uint64_t i = starts_[k]; i < starts_[k + 1]; ++i) {
    out.push_back({receivers_[i], offsets_ms_[i]});
  }
}

std::string MergedCapture::HeardText(std::int64_t frame) const {
  std::string text;
  if (frame < 0 || frame >= FrameCount()) return text;
  const auto k = static_cast<std::size_t>(frame);
  for (std::uint64_t i = starts_[k]; i < starts_[k + 1]; ++i) {
    if (!text.empty()) text += ' ';
    text += names_[receivers_[i]];
  }
  return text;
}

std::string MergedCapture::Title() const {
  std::string title;
  for (const std::string& capture : captures_) {
    if (!title.empty()) title += ", ";
    title += FileName(capture);
  }
  return title;
}

std::unique_ptr<FrameSource> MergedCapture::Source(const IndexSnapshot& snapshot) const {
  return std::make_unique<TableSource>(*this, snapshot);
}

}  // namespace packscope
