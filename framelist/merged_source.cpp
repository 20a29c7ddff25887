#include "framelist/merged_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace packscope {
namespace {

std::vector<std::string> PathsOf(const std::vector<MergeInput>& inputs) {
  std::vector<std::string> paths;
  for (const MergeInput& input : inputs) paths.push_back(input.index.Path());
  return paths;
}

}  // namespace

MergedSource::MergedSource(std::vector<MergeInput> inputs, const MergeOptions& options)
    : paths_(PathsOf(inputs)), merge_(std::move(inputs), options) {}

std::size_t MergedSource::Read(std::uint8_t* buffer, std::size_t size) {
  std::size_t n = 0;
  // What a block too small for a whole packet left (its frame may begin in this part).
  rest_read_ = rest_at_ < rest_.size();
  if (rest_read_) {
    n = std::min(size, rest_.size() - rest_at_);
    std::memcpy(buffer, rest_.data() + rest_at_, n);
    rest_at_ += n;
    offset_ += static_cast<std::int64_t>(n);
    return n;
  }
  placed_ = 0;
  looked_ = 0;
  for (;;) {
    if (held_) {
      packet_ = std::move(*held_);
      held_.reset();
    } else if (!merge_.Next(packet_)) {
      break;
    }
    piece_.clear();
    const bool new_stamp = !packet_.stamp.empty() && packet_.stamp != written_stamp_;
    if (new_stamp) piece_ = packet_.stamp;
    const std::size_t frame_at = piece_.size();
    AppendBetweenFends(packet_.first, piece_);
    const bool fits = n + piece_.size() <= size;
    if (!fits && n > 0) {
      held_ = std::move(packet_);  // the next block begins with it
      break;
    }
    if (new_stamp) {
      written_stamp_ = packet_.stamp;
      ++frames_;
    }
    if (placed_ == block_.size()) block_.emplace_back();
    Placed& p = block_[placed_++];
    p.offset = offset_ + static_cast<std::int64_t>(n + frame_at);
    p.frame = frames_++;
    p.heard.swap(packet_.heard);
    ++packets_;
    if (!fits) {
      // Longer than the whole block: the rest comes with the next reads.
      std::memcpy(buffer, piece_.data(), size);
      rest_.assign(piece_.begin() + static_cast<std::ptrdiff_t>(size), piece_.end());
      rest_at_ = 0;
      n = size;
      break;
    }
    std::memcpy(buffer + n, piece_.data(), piece_.size());
    n += piece_.size();
  }
  offset_ += static_cast<std::int64_t>(n);
  return n;
}

const FrameReceivers* MergedSource::ReceiversAt(std::int64_t offset) {
  // The frame loop asks in the order of the stream: the packet after the one found last, as a
  // rule.
  const Placed* at = nullptr;
  if (looked_ < placed_ && block_[looked_].offset == offset) {
    at = &block_[looked_];
  } else {
    const auto end = block_.begin() + static_cast<std::ptrdiff_t>(placed_);
    const auto found = std::lower_bound(
        block_.begin(), end, offset, [](const Placed& p, std::int64_t o) { return p.offset < o; });
    if (found == end || found->offset != offset) return nullptr;
    at = &*found;
  }
  looked_ = static_cast<std::size_t>(at - block_.data()) + 1;
  current_.names = merge_.Names();
  current_.heard = at->heard;
  return &current_;
}

}  // namespace packscope
