#include "commands/receiver_tally.h"

namespace packscope {
namespace {

// The median of values counted in a map: the middle one, or the mean of the two middle ones
// (rounded down).
std::optional<std::int64_t> Median(const std::map<std::int64_t, std::int64_t>& counts) {
  std::int64_t n = 0;
  for (const auto& [value, count] : counts) n += count;
  if (n == 0) return std::nullopt;
  const std::int64_t low_place = (n - 1) / 2;
  const std::int64_t high_place = n / 2;
  std::optional<std::int64_t> low;
  std::int64_t seen = 0;
  for (const auto& [value, count] : counts) {
    seen += count;
    if (!low && seen > low_place) low = value;
    if (seen > high_place) {
      const std::int64_t sum = *low + value;
      return sum / 2 - (sum % 2 < 0 ? 1 : 0);
    }
  }
  return low;
}

}  // namespace

void ReceiverTally::SetNames(std::span<const std::string> names) {
  if (!names_.empty()) return;
  names_.assign(names.begin(), names.end());
  counts_.resize(names_.size());
}

void ReceiverTally::Add(const FrameReceivers& receivers) {
  SetNames(receivers.names);
  ++packets_;
  for (const Reception& r : receivers.heard) {
    if (r.receiver < 0 || static_cast<std::size_t>(r.receiver) >= counts_.size()) continue;
    Counts& c = counts_[static_cast<std::size_t>(r.receiver)];
    ++c.frames;
    if (receivers.heard.size() == 1) ++c.only_here;
    for (const Reception& other : receivers.heard) {
      if (other.receiver != r.receiver) ++c.differences[r.offset_ms - other.offset_ms];
    }
  }
}

std::vector<ReceiverSummary> ReceiverTally::Summary() const {
  std::vector<ReceiverSummary> out;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    const Counts& c = counts_[i];
    out.push_back({names_[i], c.frames, c.only_here, packets_ - c.frames, Median(c.differences)});
  }
  return out;
}

}  // namespace packscope
