#include "framelist/session_table.h"

#include <algorithm>
#include <limits>

#include "framelist/frame_reader.h"

namespace packscope {
namespace {

constexpr std::size_t kReadAhead = 4u << 20;
constexpr std::int64_t kStep = 1 << 14;  // frames between looks at the cancel flag

std::uint32_t Small(std::int64_t n) {
  return static_cast<std::uint32_t>(
      std::clamp<std::int64_t>(n, 0, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

// Keeps the sessions as they end, each in its row.
class SessionKeeper : public SessionSink {
 public:
  explicit SessionKeeper(SessionTable& table) : t_(table) {}
  void OnEnd(const Session& s) override {
    const auto at = static_cast<std::size_t>(s.number - 1);
    if (t_.rows_.size() <= at) t_.rows_.resize(at + 1);
    SessionTable::Row& r = t_.rows_[at];
    auto [link, added] =
        t_.link_of_.try_emplace(s.key, static_cast<std::uint32_t>(t_.links_.size()));
    if (added) {
      t_.links_.push_back({s.key,
                           s.initiator_low ? s.initiator : s.responder,
                           s.initiator_low ? s.responder : s.initiator,
                           {}});
    }
    r.link = link->second;
    r.first_frame = s.first_frame;
    r.last_after = Small(s.last_frame - s.first_frame);
    r.start = s.start.value_or(SessionTable::kNoTime);
    r.end_after = s.start && s.end ? std::min(Small(*s.end - *s.start), SessionTable::kNoEnd - 1)
                                   : SessionTable::kNoEnd;
    r.frames = Small(s.frames);
    for (std::size_t d = 0; d < 2; ++d) {
      const DirectionCounts& c = s.from[d];
      r.counts[d] = {Small(c.i_frames), Small(c.retransmitted), Small(c.missing), Small(c.rej),
                     Small(c.srej),     Small(c.rnr),           Small(c.bytes)};
    }
    r.modulo = static_cast<std::uint8_t>(s.modulo);
    r.setup = s.setup;
    r.outcome = s.outcome;
    r.initiator_low = s.initiator_low;
  }

 private:
  SessionTable& t_;
};

bool ReadSessions(const IndexSnapshot& snapshot, SessionTable& table,
                  const std::atomic<bool>* cancel,
                  const std::function<void(std::int64_t, std::int64_t)>& progress,
                  const SessionFrameHook& each) {
  table = SessionTable();
  SessionKeeper keeper(table);
  LinkTracker tracker(&keeper);
  FrameReader reader(snapshot, kReadAhead);
  StampTimes times(snapshot);
  StoredFrame frame;
  std::vector<std::uint8_t> first;   // per session, the modulo of its first frame
  std::vector<std::uint8_t> modulo;  // and of its frame read last
  std::int64_t stamp = -2;           // the stamp of the frame before, and its time
  std::optional<std::int64_t> millis;
  bool done = true;
  const std::int64_t total = snapshot.FrameCount();
  for (std::int64_t i = 0; i < total; ++i) {
    if (i % kStep == 0) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        done = false;
        break;
      }
      if (progress) progress(i, total);
    }
    const FrameRecord& r = snapshot.Frame(i);
    if (r.Timestamp() || !reader.Read(i, frame)) continue;
    if (r.StampNumber() != stamp) {
      stamp = r.StampNumber();
      millis = times.Millis(stamp);
    }
    const LinkFacts& f = tracker.Next(frame.Kiss(), i + 1, millis);
    if (each) each(i, frame.Kiss(), millis, f);
    if (f.session == 0) continue;
    const auto s = static_cast<std::size_t>(f.session - 1);
    if (modulo.size() <= s) {
      modulo.resize(s + 1, 0);
      first.resize(s + 1, 0);
    }
    if (modulo[s] == 0) first[s] = static_cast<std::uint8_t>(f.modulo);
    if (modulo[s] != 0 && modulo[s] != f.modulo) {
      table.modulo_changes_[static_cast<std::uint32_t>(s)].push_back({i, f.modulo});
    }
    modulo[s] = static_cast<std::uint8_t>(f.modulo);
    if (f.retransmission || f.not_heard > 0 || f.repeated_copy) {
      const auto not_heard =
          static_cast<std::uint64_t>(std::min<std::int64_t>(f.not_heard, 0x3FFFFF));
      table.marked_.push_back(static_cast<std::uint64_t>(i) << SessionTable::kMarkedFrameShift |
                              not_heard << 2 | (f.retransmission ? 2u : 0u) |
                              (f.repeated_copy ? 1u : 0u));
    }
  }
  tracker.Finish();
  for (std::size_t s = 0; s < table.rows_.size(); ++s) {
    SessionTable::Row& row = table.rows_[s];
    table.links_[row.link].sessions.push_back(static_cast<std::uint32_t>(s));
    row.first_modulo = s < first.size() && first[s] != 0 ? first[s] : row.modulo;
  }
  return done;
}

Session SessionTable::SessionAt(std::int64_t number) const {
  const Row& r = rows_.at(static_cast<std::size_t>(number - 1));
  const LinkRow& link = links_[r.link];
  Session s;
  s.number = number;
  s.key = link.key;
  s.initiator_low = r.initiator_low;
  s.initiator = r.initiator_low ? link.low_call : link.high_call;
  s.responder = r.initiator_low ? link.high_call : link.low_call;
  s.port = link.key.port;
  s.modulo = r.modulo;
  s.setup = r.setup;
  s.outcome = r.outcome;
  s.first_frame = r.first_frame;
  s.last_frame = r.LastFrame();
  if (r.start != kNoTime) s.start = r.start;
  if (r.start != kNoTime && r.end_after != kNoEnd) s.end = r.start + r.end_after;
  s.frames = r.frames;
  for (std::size_t d = 0; d < 2; ++d) {
    DirectionCounts& c = s.from[d];
    c.i_frames = r.counts[d][0];
    c.retransmitted = r.counts[d][1];
    c.missing = r.counts[d][2];
    c.rej = r.counts[d][3];
    c.srej = r.counts[d][4];
    c.rnr = r.counts[d][5];
    c.bytes = r.counts[d][6];
  }
  return s;
}

LinkFacts SessionTable::FactsOf(std::int64_t frame,
                                std::span<const std::uint8_t> kiss_frame) const {
  LinkFacts facts;
  const std::optional<LinkOf> of = LinkOfFrame(kiss_frame);
  if (!of) return facts;
  const auto it = link_of_.find(of->key);
  if (it == link_of_.end()) return facts;
  const std::int64_t number = frame + 1;
  const std::vector<std::uint32_t>& list = links_[it->second].sessions;
  const auto after = std::upper_bound(
      list.begin(), list.end(), number,
      [this](std::int64_t n, std::uint32_t s) { return n < rows_[s].first_frame; });
  if (after == list.begin()) return facts;
  const std::uint32_t index = *(after - 1);
  const Row& r = rows_[index];
  if (number > r.LastFrame()) return facts;
  facts.session = index + 1;
  facts.direction = of->from_low == r.initiator_low ? 0 : 1;
  facts.modulo = r.first_modulo;
  const auto changes = modulo_changes_.find(index);
  if (changes != modulo_changes_.end()) {
    for (const ModuloFrom& c : changes->second) {
      if (c.frame <= frame) facts.modulo = c.modulo;
    }
  }
  const auto key = static_cast<std::uint64_t>(frame) << kMarkedFrameShift;
  const auto mark = std::lower_bound(marked_.begin(), marked_.end(), key);
  if (mark != marked_.end() && (*mark >> kMarkedFrameShift) == static_cast<std::uint64_t>(frame)) {
    facts.retransmission = (*mark & 2) != 0;
    facts.repeated_copy = (*mark & 1) != 0;
    facts.not_heard = static_cast<std::int64_t>(*mark >> 2 & 0x3FFFFF);
  }
  return facts;
}

}  // namespace packscope
