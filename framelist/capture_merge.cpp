#include "framelist/capture_merge.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "capture/errors.h"

namespace packscope {
namespace {

// Sequential reads through the index go in blocks of this size per capture.
constexpr std::size_t kReadAhead = 1 << 18;

bool IsBlank(std::uint8_t c) { return c == ' ' || c == '\r' || c == '\n'; }

}  // namespace

void AppendBetweenFends(const StoredFrame& frame, std::vector<std::uint8_t>& out) {
  const std::vector<std::uint8_t>& s = frame.stored;
  const std::size_t end = s.size() - (frame.info.cut_off || s.empty() ? 0 : 1);
  out.push_back(kFend);
  if (end > 1) out.insert(out.end(), s.begin() + 1, s.begin() + static_cast<std::ptrdiff_t>(end));
  out.push_back(kFend);
}

std::optional<DupeRule> DupeRuleNamed(std::string_view name) {
  if (name == "aprs") return DupeRule::kAprs;
  if (name == "bytes") return DupeRule::kBytes;
  if (name == "none") return DupeRule::kNone;
  return std::nullopt;
}

void DupeKey(DupeRule rule, std::span<const std::uint8_t> kiss_frame, std::string& key) {
  key.clear();
  const bool data = !kiss_frame.empty() && KissCommand(kiss_frame[0]) == 0;
  if (rule == DupeRule::kAprs && data) {
    // The address field as DescribeAx25 reads it (the source's end mark or a digipeater's ends
    // it), then control, PID and information; read here without the callsigns' texts.
    const std::span<const std::uint8_t> f = kiss_frame.subspan(1);
    constexpr std::size_t kBlock = 7;
    std::size_t pos = 2 * kBlock;
    bool whole = f.size() >= kMinAx25HeaderLength;
    for (int digis = 0; whole && (f[pos - 1] & 1) == 0; ++digis) {
      whole = digis < kMaxDigipeaters && pos + kBlock < f.size();
      pos += kBlock;
    }
    if (whole && pos < f.size()) {
      const std::uint8_t control = f[pos++];
      const bool pid = ClassifyControl(control).has_pid && pos < f.size();
      key.push_back('A');
      key.append(reinterpret_cast<const char*>(f.data()), 6);  // destination without SSID
      key.append(reinterpret_cast<const char*>(f.data()) + kBlock, 6);
      key.push_back(static_cast<char>(f[kBlock + 6] >> 1 & 0x0F));  // the source's SSID
      key.push_back(static_cast<char>(control));
      key.push_back(pid ? '\1' : '\0');
      key.push_back(pid ? static_cast<char>(f[pos++]) : '\0');
      std::size_t n = f.size();
      while (n > pos && IsBlank(f[n - 1])) --n;
      key.append(reinterpret_cast<const char*>(f.data()) + pos, n - pos);
      return;
    }
  }
  // The port (high nibble) is the receiver's own; what was sent is the rest.
  key.push_back('B');
  if (kiss_frame.empty()) return;
  key.push_back(static_cast<char>(KissCommand(kiss_frame[0])));
  key.append(reinterpret_cast<const char*>(kiss_frame.data()) + 1, kiss_frame.size() - 1);
}

// One capture being merged: its next radio frame (the head) and the time the merge gives it.
struct CaptureMerge::Cursor {
  Cursor(std::int32_t receiver_place, std::size_t given_place, IndexSnapshot snapshot)
      : receiver(receiver_place),
        given(given_place),
        index(snapshot),
        reader(snapshot, kReadAhead),
        times(std::move(snapshot)) {}

  std::int32_t receiver;
  std::size_t given;
  IndexSnapshot index;
  FrameReader reader;
  StampTimes times;

  std::int64_t next = 0;   // frames looked at
  std::int64_t head = -1;  // the head's frame number; -1: none left
  std::int64_t head_millis = 0;

  // The stamp in force at the head and what follows from it.
  std::int64_t stamp = -2;
  std::int64_t first_timed = -1;  // the first stamp that gives a time; -1: none
  std::int64_t next_timed = -1;   // the first stamp after `stamp` that gives one (or StampCount)
  std::int64_t next_millis = 0;   // its time
  std::int64_t carried = 0;       // the merge time of the last stamp that gave a time
  std::int64_t stamp_frame = -1;  // the frame of the stamp the head is written behind; -1: none
  std::int64_t stamp_read = -1;   // the stamp frame whose bytes stamp_bytes hold
  std::vector<std::uint8_t> stamp_bytes;
  StoredFrame scratch;
  StoredFrame stamp_scratch;

  // The first stamp from k on that gives a time, or StampCount.
  std::int64_t TimedFrom(std::int64_t k) {
    const std::int64_t n = index.StampCount();
    while (k < n && !times.Millis(k)) ++k;
    return k;
  }

  void FindFirstTimed() {
    const std::int64_t k = TimedFrom(0);
    first_timed = k < index.StampCount() ? k : -1;
    if (first_timed >= 0) carried = OrderTime(first_timed);
  }

  // The merge time of stamp k, which gives a time: its own, unless the next stamp that gives one
  // is earlier.
  std::int64_t OrderTime(std::int64_t k) {
    const std::int64_t own = k == next_timed ? next_millis : *times.Millis(k);
    if (next_timed <= k) {
      next_timed = TimedFrom(k + 1);
      if (next_timed < index.StampCount()) next_millis = *times.Millis(next_timed);
    }
    return next_timed < index.StampCount() ? std::min(own, next_millis) : own;
  }

  // Moves the head to the next radio frame. time_order: a frame before the first stamp is written
  // behind the first stamp that gives a time; else behind none, as when captures are joined.
  void Advance(bool time_order) {
    head = -1;
    const std::int64_t count = index.FrameCount();
    while (next < count && index.Frame(next).Timestamp()) ++next;
    if (next >= count) return;
    head = next++;
    const std::int64_t k = index.Frame(head).StampNumber();
    if (k == stamp) return;
    stamp = k;
    if (k >= 0 && (k == next_timed || times.Millis(k))) carried = OrderTime(k);
    head_millis = carried;
    if (k >= 0) {
      stamp_frame = index.Stamp(k).Frame();
    } else {
      stamp_frame = time_order && first_timed >= 0 ? index.Stamp(first_timed).Frame() : -1;
    }
  }

  const std::vector<std::uint8_t>& StampBytes() {
    if (stamp_frame < 0) {
      stamp_bytes.clear();
    } else if (stamp_read != stamp_frame) {
      // Through the read-ahead: the stamp stands just before its frames.
      if (!reader.Read(stamp_frame, stamp_scratch)) throw Changed();
      stamp_bytes.clear();
      AppendBetweenFends(stamp_scratch, stamp_bytes);
      stamp_read = stamp_frame;
    }
    return stamp_bytes;
  }

  CommandError Changed() const {
    return CommandError("The capture " + Quoted(index.Path()) +
                        " changed on disk while it was merged.");
  }
};

std::string MergeProblem(const std::vector<MergeInput>& inputs, const MergeOptions& options) {
  if (inputs.empty()) return "No capture to merge.";
  if (inputs.size() > static_cast<std::size_t>(kMostReceivers)) {
    return "A merge takes at most " + std::to_string(kMostReceivers) + " captures, not " +
           std::to_string(inputs.size()) + ".";
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (inputs[i].name == inputs[j].name) {
        return "The capture " + Quoted(inputs[i].name) +
               " is named twice: each receiver is one capture.";
      }
    }
  }
  if (options.order == MergeOrder::kFiles) {
    if (options.dupes != DupeRule::kNone) {
      return "Captures joined one after the other keep every frame: only without folding.";
    }
    return {};
  }
  for (const MergeInput& input : inputs) {
    const IndexSnapshot& index = input.index;
    bool radio = false;
    for (std::int64_t f = 0; f < index.FrameCount() && !radio; ++f) {
      radio = !index.Frame(f).Timestamp();
    }
    if (!radio) continue;
    StampTimes times(index);
    bool timed = false;
    for (std::int64_t k = 0; k < index.StampCount() && !timed; ++k)
      timed = times.Millis(k).has_value();
    if (!timed) {
      return "The capture " + Quoted(input.name) +
             " has no timestamps: merging in time order needs them (captures without can only be "
             "joined one after the other, every frame kept).";
    }
  }
  return {};
}

CaptureMerge::CaptureMerge(std::vector<MergeInput> inputs, const MergeOptions& options)
    : options_(options) {
  const std::string problem = MergeProblem(inputs, options);
  if (!problem.empty()) throw CommandError(problem);
  if (options_.order == MergeOrder::kFiles) options_.dupes = DupeRule::kNone;
  for (const MergeInput& input : inputs) names_.push_back(input.name);
  std::sort(names_.begin(), names_.end());
  const bool time_order = options_.order == MergeOrder::kTime;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const auto place = std::lower_bound(names_.begin(), names_.end(), inputs[i].name);
    auto cursor = std::make_unique<Cursor>(static_cast<std::int32_t>(place - names_.begin()), i,
                                           std::move(inputs[i].index));
    frame_total_ += cursor->index.FrameCount();
    byte_total_ += cursor->index.CaptureSize();
    if (time_order) cursor->FindFirstTimed();
    cursor->Advance(time_order);
    cursors_.push_back(std::move(cursor));
  }
}

CaptureMerge::~CaptureMerge() = default;

std::int64_t CaptureMerge::FramesRead() const {
  std::int64_t n = 0;
  for (const auto& c : cursors_) n += c->next;
  return n;
}

std::int64_t CaptureMerge::BytesRead() const {
  std::int64_t n = 0;
  for (const auto& c : cursors_) {
    n +=
        c->next < c->index.FrameCount() ? c->index.Frame(c->next).Offset() : c->index.CaptureSize();
  }
  return n;
}

CaptureMerge::Cursor* CaptureMerge::Earliest() {
  if (options_.order == MergeOrder::kFiles) {
    while (files_at_ < cursors_.size() && cursors_[files_at_]->head < 0) ++files_at_;
    return files_at_ < cursors_.size() ? cursors_[files_at_].get() : nullptr;
  }
  // A handful of captures: a look at each head costs less than keeping a heap.
  Cursor* best = nullptr;
  for (const auto& c : cursors_) {
    if (c->head >= 0 && (best == nullptr || c->head_millis < best->head_millis)) best = c.get();
  }
  return best;
}

bool CaptureMerge::Final(const Pending& p) const {
  return options_.dupes == DupeRule::kNone || now_ - p.packet.millis > options_.window_ms ||
         pending_bytes_ > options_.pending_budget;
}

void CaptureMerge::Place(Cursor& c) {
  const std::int64_t millis = c.head_millis;
  if (!started_ || millis > now_) now_ = millis;
  started_ = true;
  StoredFrame& frame = c.scratch;
  if (!c.reader.Read(c.head, frame)) throw c.Changed();
  if (options_.dupes != DupeRule::kNone) {
    DupeKey(options_.dupes, frame.frame, key_);
    const auto found = newest_.find(key_);
    if (found != newest_.end()) {
      MergedPacket& packet = pending_[static_cast<std::size_t>(found->second - front_seq_)].packet;
      const std::int64_t apart = millis - packet.millis;
      if (apart <= options_.window_ms && -apart <= options_.window_ms) {
        const auto at = std::lower_bound(
            packet.heard.begin(), packet.heard.end(), c.receiver,
            [](const Reception& r, std::int32_t receiver) { return r.receiver < receiver; });
        if (at == packet.heard.end() || at->receiver != c.receiver) {
          packet.heard.insert(at, Reception{c.receiver, apart});
        }
        return;
      }
    }
  }
  // A packet given out before lends its buffers: no allocation per packet once the window is full.
  Pending p;
  if (!spare_.empty()) {
    p = std::move(spare_.back());
    spare_.pop_back();
  }
  p.packet.receiver = c.receiver;
  p.packet.first = frame;
  p.packet.stamp = c.StampBytes();
  p.packet.millis = millis;
  p.packet.heard.assign(1, Reception{c.receiver, 0});
  p.key.clear();
  if (options_.dupes != DupeRule::kNone) {
    const std::uint64_t seq = front_seq_ + pending_.size();
    const auto [at, added] = newest_.try_emplace(key_, seq);
    if (!added) at->second = seq;
    p.key = key_;
  }
  pending_bytes_ += p.Bytes();
  peak_pending_ = std::max(peak_pending_, pending_bytes_);
  pending_.push_back(std::move(p));
}

bool CaptureMerge::Next(MergedPacket& out) {
  const bool time_order = options_.order == MergeOrder::kTime;
  for (;;) {
    if (!pending_.empty() && Final(pending_.front())) break;
    Cursor* c = Earliest();
    if (c == nullptr) {
      if (pending_.empty()) return false;
      break;
    }
    Place(*c);
    c->Advance(time_order);
  }
  Pending& p = pending_.front();
  if (!p.key.empty()) {
    const auto found = newest_.find(p.key);
    if (found != newest_.end() && found->second == front_seq_) newest_.erase(found);
  }
  pending_bytes_ -= p.Bytes();
  std::swap(out, p.packet);
  spare_.push_back(std::move(p));
  pending_.pop_front();
  ++front_seq_;
  return true;
}

}  // namespace packscope
