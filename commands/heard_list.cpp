#include "commands/heard_list.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <stdexcept>

#include "ax25/ax25_decoder.h"
#include "ax25/ax25_text.h"

namespace packscope {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

// What a station counts: its destinations, its paths and its APRS types.
enum CountKind : std::uint8_t { kDestination, kPath, kAprsType, kCountKinds };

std::size_t HashText(std::string_view s) { return std::hash<std::string_view>{}(s); }

// splitmix64's finisher: spreads a station number and a key over the table.
std::size_t HashPair(std::uint64_t a, std::uint64_t b) {
  std::uint64_t x = a * 0x9E3779B97F4A7C15ULL ^ (b + 0x632BE59BD9B4E019ULL);
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return static_cast<std::size_t>(x ^ (x >> 31));
}

// Texts kept once each and numbered in the order first seen: their bytes one behind the other,
// found again through an open-addressing table of their numbers.
class TextSet {
 public:
  std::uint32_t Insert(std::string_view text, bool* added = nullptr) {
    if ((starts_.size() + 1) * 4 > slots_.size() * 3) Grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = HashText(text) & mask;; at = (at + 1) & mask) {
      const std::uint32_t id = slots_[at];
      if (id == kNone) {
        const auto added_id = static_cast<std::uint32_t>(starts_.size());
        if (added_id == kNone) throw std::length_error("too many texts in the heard list");
        if (bytes_.size() + text.size() > kNone) {
          throw std::length_error("too many texts in the heard list");
        }
        slots_[at] = added_id;
        starts_.push_back(static_cast<std::uint32_t>(bytes_.size()));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        if (added != nullptr) *added = true;
        return added_id;
      }
      if (Text(id) == text) {
        if (added != nullptr) *added = false;
        return id;
      }
    }
  }
  std::string_view Text(std::uint32_t id) const {
    const std::size_t begin = starts_[id];
    const std::size_t end = id + 1 < starts_.size() ? starts_[id + 1] : bytes_.size();
    return {bytes_.data() + begin, end - begin};
  }
  std::size_t Size() const { return starts_.size(); }

 private:
  void Grow() {
    std::vector<std::uint32_t> slots(std::max<std::size_t>(16, slots_.size() * 2), kNone);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t id = 0; id < starts_.size(); ++id) {
      std::size_t at = HashText(Text(id)) & mask;
      while (slots[at] != kNone) at = (at + 1) & mask;
      slots[at] = id;
    }
    slots_ = std::move(slots);
  }

  std::vector<char> bytes_;
  std::vector<std::uint32_t> starts_;
  std::vector<std::uint32_t> slots_;
};

// Numbers found again by a 64-bit key (an address block's bytes, see BlockKey): open addressing
// over keys that are never kNoKey.
class KeyIds {
 public:
  static constexpr std::uint64_t kNoKey = ~std::uint64_t{0};

  // The number of key, or kNone when it has none yet.
  std::uint32_t Find(std::uint64_t key) const {
    if (keys_.empty()) return kNone;
    const std::size_t mask = keys_.size() - 1;
    for (std::size_t at = HashPair(key, 0) & mask;; at = (at + 1) & mask) {
      if (keys_[at] == key) return ids_[at];
      if (keys_[at] == kNoKey) return kNone;
    }
  }
  void Insert(std::uint64_t key, std::uint32_t id) {
    if ((used_ + 1) * 2 > keys_.size()) Grow();
    Place(keys_, ids_, key, id);
    ++used_;
  }

 private:
  static void Place(std::vector<std::uint64_t>& keys, std::vector<std::uint32_t>& ids,
                    std::uint64_t key, std::uint32_t id) {
    const std::size_t mask = keys.size() - 1;
    std::size_t at = HashPair(key, 0) & mask;
    while (keys[at] != kNoKey) at = (at + 1) & mask;
    keys[at] = key;
    ids[at] = id;
  }
  void Grow() {
    const std::size_t size = std::max<std::size_t>(16, keys_.size() * 2);
    std::vector<std::uint64_t> keys(size, kNoKey);
    std::vector<std::uint32_t> ids(size, kNone);
    for (std::size_t at = 0; at < keys_.size(); ++at) {
      if (keys_[at] != kNoKey) Place(keys, ids, keys_[at], ids_[at]);
    }
    keys_ = std::move(keys);
    ids_ = std::move(ids);
  }

  std::vector<std::uint64_t> keys_;
  std::vector<std::uint32_t> ids_;
  std::size_t used_ = 0;
};

// What a block key stands for: a source's callsign or a destination's.
enum BlockKind : std::uint64_t { kSourceBlock, kDestinationBlock };

constexpr std::uint8_t kSsidBits = 0x1E;

// An address block as a number: its six character bytes and its SSID, tagged with its kind.
// Blocks with equal keys have equal texts.
std::uint64_t BlockKey(const std::array<std::uint8_t, 7>& block, BlockKind kind) {
  std::uint64_t key = 0;
  for (int i = 5; i >= 0; --i) key = key << 8 | block[static_cast<std::size_t>(i)];
  return key | std::uint64_t{static_cast<std::uint8_t>(block[6] & kSsidBits)} << 48 |
         static_cast<std::uint64_t>(kind) << 56;
}

// The bits of a digipeater's last byte its text shows: the SSID and H.
constexpr std::uint8_t kSsidAndRepeatedBits = 0x9E;

// A station's record. Its first destination, path and APRS type are counted here; the others go
// to the table of further counts, chained from extra.
struct Record {
  std::int64_t frames = 0;
  std::int64_t first = kNoTime;
  std::int64_t last = kNoTime;
  std::uint32_t key[kCountKinds] = {kNone, kNone, kNone};
  std::uint32_t count[kCountKinds] = {0, 0, 0};
  std::uint32_t extra = kNone;
  std::uint32_t position = kNone;
};

// The further counts of all stations: one table, keyed by station, kind and text.
struct Extra {
  std::uint32_t station;
  std::uint32_t key;
  std::uint32_t next;  // the station's next further count, or kNone
  CountKind kind;
  std::int64_t count;
};

}  // namespace

struct HeardList::Tables {
  // Records in blocks, so that a million of them never move: no copy while they grow.
  static constexpr std::size_t kBlock = 4096;

  TextSet calls;  // station i's callsign is text i
  TextSet keys;   // destinations, paths and APRS type names
  // Sources, destinations and paths found by their address bytes, without making their texts:
  // sources to stations, destinations to keys; paths by their blocks' bytes (the SSID and H bits
  // of the last byte kept), to the keys of path_keys.
  KeyIds by_block;
  TextSet path_blocks;
  std::vector<std::uint32_t> path_keys;
  std::uint32_t direct = kNone;
  std::string text;  // a text being made, kept for its room
  std::vector<std::unique_ptr<Record[]>> blocks;
  std::vector<Extra> extras;
  std::vector<std::uint32_t> extra_slots;
  std::deque<HeardPosition> positions;       // grows without copies, as the records do
  mutable std::vector<std::uint32_t> order;  // stations in callsign order, once sorted
  mutable bool sorted = true;

  Record& At(std::uint32_t station) { return blocks[station / kBlock][station % kBlock]; }
  const Record& At(std::uint32_t station) const {
    return blocks[station / kBlock][station % kBlock];
  }

  // The station whose source address is a, added when it is new (added set).
  std::uint32_t Station(const Ax25Address& a, bool& added) {
    const std::uint64_t key = BlockKey(a.block, kSourceBlock);
    std::uint32_t id = by_block.Find(key);
    added = false;
    if (id == kNone) {
      CallsignText(a.block.data(), text);
      id = calls.Insert(text, &added);
      by_block.Insert(key, id);
    }
    return id;
  }

  std::uint32_t Destination(const Ax25Address& a) {
    const std::uint64_t key = BlockKey(a.block, kDestinationBlock);
    std::uint32_t id = by_block.Find(key);
    if (id == kNone) {
      CallsignText(a.block.data(), text);
      id = keys.Insert(text);
      by_block.Insert(key, id);
    }
    return id;
  }

  // The digipeaters as AppendDigipeaterPath writes them, "direct" for none.
  std::uint32_t Path(const Ax25Details& d) {
    if (d.digipeater_count == 0) {
      if (direct == kNone) direct = keys.Insert("direct");
      return direct;
    }
    const auto count = static_cast<std::size_t>(d.digipeater_count);
    char bytes[7 * kMaxDigipeaters];
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(bytes + 7 * i, d.digipeaters[i].block.data(), 7);
      bytes[7 * i + 6] = static_cast<char>(d.digipeaters[i].block[6] & kSsidAndRepeatedBits);
    }
    bool added = false;
    const std::uint32_t at = path_blocks.Insert({bytes, 7 * count}, &added);
    if (added) path_keys.push_back(PathText(d));
    return path_keys[at];
  }

  std::uint32_t PathText(const Ax25Details& d) {
    text.clear();
    AppendDigipeaterPath(text, d, CallBytes::kFromBlocks);
    return keys.Insert(text);
  }

  void CountUp(std::uint32_t station, Record& r, CountKind kind, std::uint32_t key) {
    if (r.key[kind] == kNone) r.key[kind] = key;
    if (r.key[kind] == key && r.count[kind] < kNone) {
      ++r.count[kind];
      return;
    }
    ++FurtherCount(station, r, kind, key);
  }

  std::int64_t& FurtherCount(std::uint32_t station, Record& r, CountKind kind, std::uint32_t key) {
    if ((extras.size() + 1) * 4 > extra_slots.size() * 3) GrowExtras();
    const std::size_t mask = extra_slots.size() - 1;
    for (std::size_t at = HashPair(station, key * 4ULL + kind) & mask;; at = (at + 1) & mask) {
      const std::uint32_t id = extra_slots[at];
      if (id == kNone) {
        const auto added = static_cast<std::uint32_t>(extras.size());
        if (added == kNone) throw std::length_error("too many counts in the heard list");
        extra_slots[at] = added;
        extras.push_back(Extra{station, key, r.extra, kind, 0});
        r.extra = added;
        return extras.back().count;
      }
      Extra& e = extras[id];
      if (e.station == station && e.key == key && e.kind == kind) return e.count;
    }
  }

  void GrowExtras() {
    std::vector<std::uint32_t> slots(std::max<std::size_t>(16, extra_slots.size() * 2), kNone);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t id = 0; id < extras.size(); ++id) {
      const Extra& e = extras[id];
      std::size_t at = HashPair(e.station, e.key * 4ULL + e.kind) & mask;
      while (slots[at] != kNone) at = (at + 1) & mask;
      slots[at] = id;
    }
    extra_slots = std::move(slots);
  }

  void Sort() const {
    if (sorted) return;
    order.resize(calls.Size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [this](std::uint32_t a, std::uint32_t b) { return calls.Text(a) < calls.Text(b); });
    sorted = true;
  }

  const Record& Sorted(std::size_t i) const {
    Sort();
    return At(order[i]);
  }
};

HeardList::HeardList() = default;
HeardList::~HeardList() = default;
HeardList::HeardList(HeardList&&) noexcept = default;
HeardList& HeardList::operator=(HeardList&&) noexcept = default;

void HeardList::Add(const Ax25Details& d, const std::optional<std::int64_t>& time,
                    const AprsPacket* aprs) {
  if (t_ == nullptr) t_ = std::make_unique<Tables>();
  Tables& t = *t_;
  bool added = false;
  const std::uint32_t station = t.Station(d.source, added);
  if (added) {
    if (station % Tables::kBlock == 0)
      t.blocks.push_back(std::make_unique<Record[]>(Tables::kBlock));
    t.sorted = false;
  }
  Record& r = t.At(station);
  ++r.frames;
  if (time && *time != kNoTime) {
    if (r.first == kNoTime || *time < r.first) r.first = *time;
    if (r.last == kNoTime || *time > r.last) r.last = *time;
  }
  t.CountUp(station, r, kDestination, t.Destination(d.destination));
  t.CountUp(station, r, kPath, t.Path(d));
  if (aprs != nullptr) {
    t.CountUp(station, r, kAprsType, t.keys.Insert(AprsTypeName(aprs->type)));
    if (aprs->lat && aprs->lon && aprs->type != AprsType::kObject &&
        aprs->type != AprsType::kItem && aprs->type != AprsType::kThirdParty) {
      const HeardPosition position{*aprs->lat, *aprs->lon, time};
      if (r.position == kNone) {
        r.position = static_cast<std::uint32_t>(t.positions.size());
        t.positions.push_back(position);
      } else {
        t.positions[r.position] = position;
      }
    }
  }
}

std::size_t HeardList::Size() const { return t_ == nullptr ? 0 : t_->calls.Size(); }

void HeardList::Sort() const {
  if (t_ != nullptr) t_->Sort();
}

std::string_view HeardList::Call(std::size_t i) const {
  t_->Sort();
  return t_->calls.Text(t_->order[i]);
}

std::int64_t HeardList::Frames(std::size_t i) const { return t_->Sorted(i).frames; }

std::optional<std::int64_t> HeardList::First(std::size_t i) const {
  const std::int64_t first = t_->Sorted(i).first;
  return first == kNoTime ? std::nullopt : std::optional<std::int64_t>(first);
}

std::optional<std::int64_t> HeardList::Last(std::size_t i) const {
  const std::int64_t last = t_->Sorted(i).last;
  return last == kNoTime ? std::nullopt : std::optional<std::int64_t>(last);
}

HeardStation HeardList::Station(std::size_t i) const {
  const Tables& t = *t_;
  const Record& r = t.Sorted(i);
  HeardStation s;
  s.frames = r.frames;
  s.first = First(i);
  s.last = Last(i);
  HeardCounts* counts[kCountKinds] = {&s.destinations, &s.paths, &s.aprs_types};
  for (int k = 0; k < kCountKinds; ++k) {
    if (r.key[k] != kNone) counts[k]->emplace_back(t.keys.Text(r.key[k]), r.count[k]);
  }
  for (std::uint32_t e = r.extra; e != kNone; e = t.extras[e].next) {
    counts[t.extras[e].kind]->emplace_back(t.keys.Text(t.extras[e].key), t.extras[e].count);
  }
  for (HeardCounts* c : counts) {
    std::sort(c->begin(), c->end());
    // A text counted in place up to the most it holds, and further in the table: one sum.
    std::size_t kept = 0;
    for (std::size_t j = 0; j < c->size(); ++j) {
      if (kept > 0 && (*c)[kept - 1].first == (*c)[j].first) {
        (*c)[kept - 1].second += (*c)[j].second;
      } else {
        (*c)[kept++] = (*c)[j];
      }
    }
    c->resize(kept);
  }
  if (r.position != kNone) s.last_position = t.positions[r.position];
  return s;
}

}  // namespace packscope
