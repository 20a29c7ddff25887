#include "ax25/ax25_link.h"

#include <algorithm>
#include <cstring>

#include "ax25/ax25_decoder.h"

namespace packscope {
namespace {

constexpr std::size_t kBlock = 7;
// U frames by TypeCode.
constexpr std::uint8_t kDm = 3;
constexpr std::uint8_t kSabm = 7;
constexpr std::uint8_t kDisc = 8;
constexpr std::uint8_t kUa = 12;
constexpr std::uint8_t kSabme = 15;
constexpr std::uint8_t kFrmr = 17;
constexpr std::uint8_t kXid = 23;
// S frames by TypeCode.
constexpr std::uint8_t kRnr = 1;
constexpr std::uint8_t kRej = 2;
constexpr std::uint8_t kSrej = 3;

// An address block as a number: the six characters (7 bits each) and the SSID; the C, H and end
// bits are left out.
std::uint64_t StationId(const std::uint8_t* block) {
  std::uint64_t id = 0;
  for (std::size_t i = 0; i < 6; ++i) id = id << 7 | (block[i] >> 1);
  return id << 4 | ((block[6] >> 1) & 0x0F);
}

// A fast 64-bit hash of bytes (eight at a time); equal bytes, equal hashes.
std::uint64_t HashBytes(std::span<const std::uint8_t> bytes, std::uint64_t h = 0) {
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;
  h ^= bytes.size() * kMul;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, bytes.data() + i, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  std::uint64_t tail = 0;
  for (; i < bytes.size(); ++i) tail = tail << 8 | bytes[i];
  h = (h ^ tail) * kMul;
  return h ^ (h >> 32);
}

std::int64_t Mod(std::int64_t x, int m) { return ((x % m) + m) % m; }

bool KnownPid(const std::optional<std::uint8_t>& pid) {
  return pid.has_value() && !PidName(*pid).empty();
}

// LinkOfFrame, with the frame's address walk left in d.
std::optional<LinkOf> LinkOfFrame(std::span<const std::uint8_t> kiss_frame, Ax25Details& d) {
  if (kiss_frame.empty() || KissCommand(kiss_frame[0]) != 0) return std::nullopt;
  LocateAx25(kiss_frame, d);
  if (d.problem != Ax25Problem::kNone) return std::nullopt;
  const Ax25Control k = ClassifyControl(kiss_frame[d.control_at]);
  if (k.kind == Ax25Kind::kU && k.type_code != kSabm && k.type_code != kSabme &&
      k.type_code != kDisc && k.type_code != kUa && k.type_code != kDm && k.type_code != kFrmr &&
      k.type_code != kXid) {
    return std::nullopt;
  }
  const std::uint64_t to = StationId(kiss_frame.data() + 1);
  const std::uint64_t from = StationId(kiss_frame.data() + 1 + kBlock);
  return LinkOf{LinkKey{std::min(from, to), std::max(from, to), KissPort(kiss_frame[0])},
                from <= to};
}

}  // namespace

std::optional<LinkOf> LinkOfFrame(std::span<const std::uint8_t> kiss_frame) {
  Ax25Details d;
  return LinkOfFrame(kiss_frame, d);
}

std::optional<LinkOf> StationsOfFrame(std::span<const std::uint8_t> kiss_frame) {
  if (kiss_frame.empty() || KissCommand(kiss_frame[0]) != 0) return std::nullopt;
  Ax25Details d;
  LocateAx25(kiss_frame, d);
  if (d.problem != Ax25Problem::kNone) return std::nullopt;
  const std::uint64_t to = StationId(kiss_frame.data() + 1);
  const std::uint64_t from = StationId(kiss_frame.data() + 1 + kBlock);
  return LinkOf{LinkKey{std::min(from, to), std::max(from, to), KissPort(kiss_frame[0])},
                from <= to};
}

std::string_view SetupName(SessionSetup setup) {
  switch (setup) {
    case SessionSetup::kSabm:
      return "SABM";
    case SessionSetup::kSabme:
      return "SABME";
    case SessionSetup::kNone:
      break;
  }
  return {};
}

std::string_view OutcomeName(SessionOutcome outcome) {
  switch (outcome) {
    case SessionOutcome::kDisc:
      return "DISC";
    case SessionOutcome::kDm:
      return "DM";
    case SessionOutcome::kFrmr:
      return "FRMR";
    case SessionOutcome::kReset:
      return "reset";
    case SessionOutcome::kOpen:
      break;
  }
  return {};
}

//   82 80 | group length (2 bytes) | PI PL PV... | PI PL PV... ...
//   PI 3, PL 3 (HDLC optional functions):  1000 0xx0  1010 xx00  0000 0010
//                                          second byte: 0x08 modulo 128, 0x04 modulo 8
std::optional<int> XidModulo(std::span<const std::uint8_t> info) {
  if (info.size() < 4 || info[0] != 0x82 || info[1] != 0x80) return std::nullopt;
  const std::size_t end = std::min<std::size_t>(info.size(), 4 + (info[2] << 8 | info[3]));
  std::size_t p = 4;
  while (p + 2 <= end) {
    const std::uint8_t pi = info[p];
    const std::uint8_t pl = info[p + 1];
    p += 2;
    if (p + pl > end) break;
    if (pi == 3 && pl == 3) {
      const bool m8 = (info[p + 1] & 0x04) != 0;
      const bool m128 = (info[p + 1] & 0x08) != 0;
      if (m8 != m128) return m128 ? kModulo128 : kModulo8;
      return std::nullopt;
    }
    p += pl;
  }
  return std::nullopt;
}

// One sequence number of a direction, as the monitor heard it.
struct Slot {
  std::int64_t abs = -1;  // the count it stands for
  std::uint64_t hash = 0;
  std::uint32_t length = 0;
  bool heard = false;
};
// What a sink is handed of a slot's frame.
struct SlotData {
  std::int64_t frame = 0;
  std::vector<std::uint8_t> bytes;
};

// The monitor's view of one sender's window, in counts that do not wrap: acknowledged below va,
// heard or known sent below vs, handed on below emit (va <= emit <= vs, vs - va < modulo).
struct LinkTracker::Direction {
  std::int64_t va = 0;
  std::int64_t vs = 0;
  std::int64_t emit = 0;
  // The N(S) of the sender's last I frame while nothing else was heard on the link since; -1
  // otherwise.
  std::int64_t run = -1;
  std::vector<Slot> slots;     // by count modulo the link's modulo
  std::vector<SlotData> data;  // the same, with a sink

  std::size_t Place(std::int64_t abs) const {
    return static_cast<std::size_t>(abs % static_cast<std::int64_t>(slots.size()));
  }
  Slot& At(std::int64_t abs) { return slots[Place(abs)]; }
  // A new session: the slots keep their room from session to session.
  void Begin(int modulo, bool with_data) {
    va = vs = emit = 0;
    run = -1;
    slots.assign(static_cast<std::size_t>(modulo), Slot{});
    if (with_data) data.resize(static_cast<std::size_t>(modulo));
  }
};

struct LinkTracker::Link {
  LinkKey key;
  std::string low_call;  // the texts of the two stations
  std::string high_call;
  enum State { kIdle, kSetup, kUp, kClosing } state = kIdle;
  bool initiator_low = true;
  bool traffic = false;    // I or S frames since the session came up
  int pending_modulo = 0;  // an XID's modulo for the next session; 0: none
  Session session;
  std::array<Direction, 2> dir;
  // The link's frame before, for the copy a digipeater sends on.
  std::uint64_t last_signature = 0;
  int last_repeated = -1;
  std::int64_t last_frame = -1;
};

std::size_t LinkKeyHash::operator()(const LinkKey& k) const {
  std::uint64_t h = k.low * 0x9E3779B97F4A7C15ULL;
  h ^= (k.high + static_cast<std::uint64_t>(k.port)) * 0xC2B2AE3D27D4EB4FULL;
  return static_cast<std::size_t>(h ^ (h >> 31));
}

LinkTracker::LinkTracker(SessionSink* sink) : sink_(sink) {}
LinkTracker::~LinkTracker() = default;

void LinkTracker::Reset() {
  links_.clear();
  ended_.clear();
  facts_ = {};
  sessions_ = 0;
}

void LinkTracker::DeliverEnds() {
  if (ended_.empty()) return;
  if (sink_ != nullptr) {
    for (const Session& s : ended_) sink_->OnEnd(s);
  }
  ended_.clear();
}

void LinkTracker::Finish() {
  DeliverEnds();
  std::vector<Link*> open;
  for (auto& [key, link] : links_) {
    if (link->state != Link::kIdle) open.push_back(link.get());
  }
  std::sort(open.begin(), open.end(),
            [](const Link* a, const Link* b) { return a->session.number < b->session.number; });
  for (Link* link : open) End(*link, SessionOutcome::kOpen);
  DeliverEnds();
}

const LinkFacts& LinkTracker::Next(std::span<const std::uint8_t> kiss_frame, std::int64_t frame,
                                   std::optional<std::int64_t> time) {
  DeliverEnds();
  facts_ = {};
  frame_ = frame;
  time_ = time;
  if (kiss_frame.empty() || KissCommand(kiss_frame[0]) != 0) return facts_;
  Ax25Details& d = scratch_;
  const std::optional<LinkOf> of = LinkOfFrame(kiss_frame, d);
  if (!of) return facts_;
  const Ax25Control k = ClassifyControl(kiss_frame[d.control_at]);
  const std::uint8_t* dest = kiss_frame.data() + 1;
  const std::uint8_t* source = dest + kBlock;
  const LinkKey& key = of->key;
  auto it = links_.find(key);
  const bool opens = k.kind != Ax25Kind::kU || k.type_code == kSabm || k.type_code == kSabme ||
                     k.type_code == kXid;
  if (it == links_.end()) {
    if (!opens) return facts_;
    auto link = std::make_unique<Link>();
    link->key = key;
    CallsignText(of->from_low ? source : dest, link->low_call);
    CallsignText(of->from_low ? dest : source, link->high_call);
    it = links_.emplace(key, std::move(link)).first;
  }
  Link& link = *it->second;
  const bool from_low = of->from_low;
  d.role = (dest[6] & 0x80) == (source[6] & 0x80) ? Ax25Role::kUnknown
           : (dest[6] & 0x80) != 0                ? Ax25Role::kCommand
                                                  : Ax25Role::kResponse;

  // A digipeater's copy of the frame just before: the same bytes, more H bits.
  if (d.digipeater_count > 0) {
    std::uint8_t masked[kMaxDigipeaters * kBlock];
    int repeated = 0;
    const std::size_t digis = static_cast<std::size_t>(d.digipeater_count) * kBlock;
    std::memcpy(masked, dest + 2 * kBlock, digis);
    for (std::size_t i = kBlock - 1; i < digis; i += kBlock) {
      repeated += masked[i] >> 7;
      masked[i] &= 0x7F;
    }
    std::uint64_t sig = HashBytes(kiss_frame.subspan(0, 1 + 2 * kBlock));
    sig = HashBytes(std::span<const std::uint8_t>(masked, digis), sig);
    sig = HashBytes(kiss_frame.subspan(d.control_at), sig);
    const bool copy =
        link.last_frame >= 0 && sig == link.last_signature && repeated > link.last_repeated;
    link.last_signature = sig;
    link.last_repeated = repeated;
    link.last_frame = frame;
    if (copy) {
      if (link.state != Link::kIdle) {
        Include(link, from_low);
        facts_.repeated_copy = true;
      }
      return facts_;
    }
  } else {
    link.last_frame = -1;
  }

  if (k.kind == Ax25Kind::kU) {
    ReadControlField(kiss_frame, d, kModulo8);
    switch (k.type_code) {
      case kSabm:
      case kSabme: {
        const bool extended = k.type_code == kSabme;
        const SessionSetup setup = extended ? SessionSetup::kSabme : SessionSetup::kSabm;
        const int modulo = extended ? kModulo128 : kModulo8;
        const bool retry =
            link.state == Link::kSetup ||
            (link.state == Link::kUp && !link.traffic && from_low == link.initiator_low);
        if (retry) {
          link.session.setup = setup;
          link.session.modulo = modulo;
        } else {
          if (link.state != Link::kIdle) {
            End(link,
                link.state == Link::kClosing ? SessionOutcome::kDisc : SessionOutcome::kReset);
          }
          Open(link, kiss_frame, from_low, setup, modulo);
          link.state = Link::kSetup;
        }
        Include(link, from_low);
        return facts_;
      }
      case kXid: {
        const std::optional<int> modulo = XidModulo(d.info);
        if (link.state == Link::kIdle) {
          if (modulo) link.pending_modulo = *modulo;
          return facts_;
        }
        Include(link, from_low);
        if (modulo && *modulo != link.session.modulo) {
          // Counting anew: what was outstanding is handed on first.
          for (int i = 0; i < 2; ++i) AckTo(link, i, link.dir[static_cast<std::size_t>(i)].vs);
          link.session.modulo = *modulo;
          for (Direction& dir : link.dir) dir.Begin(*modulo, sink_ != nullptr);
        }
        return facts_;
      }
      default:
        break;
    }
    if (link.state == Link::kIdle) return facts_;
    Include(link, from_low);
    const bool from_responder = from_low != link.initiator_low;
    switch (k.type_code) {
      case kUa:
        if (link.state == Link::kSetup && from_responder) link.state = Link::kUp;
        if (link.state == Link::kClosing) End(link, SessionOutcome::kDisc);
        break;
      case kDm:
        End(link, link.state == Link::kClosing ? SessionOutcome::kDisc : SessionOutcome::kDm);
        break;
      case kDisc:
        link.state = Link::kClosing;
        break;
      case kFrmr:
        End(link, SessionOutcome::kFrmr);
        break;
      default:
        break;
    }
    return facts_;
  }

  // I and S frames.
  if (link.state == Link::kIdle) {
    int modulo = link.pending_modulo;
    if (modulo == 0) {
      // Where the PID stands, or the second control byte of an S frame, tells.
      ReadControlField(kiss_frame, d, kModulo8);
      const bool s128 =
          k.kind == Ax25Kind::kS && (kiss_frame[d.control_at] & 0xF0) == 0 && d.info.size() == 1;
      bool i128 = false;
      if (k.kind == Ax25Kind::kI && !KnownPid(d.pid)) {
        i128 = ReadControlField(kiss_frame, d, kModulo128) && KnownPid(d.pid);
      }
      modulo = s128 || i128 ? kModulo128 : kModulo8;
    }
    Open(link, kiss_frame, from_low, SessionSetup::kNone, modulo);
    link.state = Link::kUp;
  } else if (link.state == Link::kSetup) {
    link.state = Link::kUp;
  }
  if (link.state == Link::kUp) link.traffic = true;
  Include(link, from_low);
  if (ReadControlField(kiss_frame, d, link.session.modulo)) {
    Sequence(link, from_low == link.initiator_low ? 0 : 1);
  }
  return facts_;
}

void LinkTracker::Open(Link& link, std::span<const std::uint8_t> kiss_frame, bool from_low,
                       SessionSetup setup, int modulo) {
  Session& s = link.session;
  s = Session{};
  s.number = ++sessions_;
  s.key = link.key;
  s.initiator_low = from_low;
  s.initiator = from_low ? link.low_call : link.high_call;
  s.responder = from_low ? link.high_call : link.low_call;
  s.port = KissPort(kiss_frame[0]);
  s.modulo = modulo;
  s.setup = setup;
  s.first_frame = frame_;
  s.start = time_;
  link.initiator_low = from_low;
  link.traffic = false;
  link.pending_modulo = 0;
  for (Direction& d : link.dir) d.Begin(modulo, sink_ != nullptr);
}

void LinkTracker::Include(Link& link, bool from_low) {
  Session& s = link.session;
  ++s.frames;
  s.last_frame = frame_;
  if (time_) s.end = time_;
  facts_.session = s.number;
  facts_.modulo = s.modulo;
  facts_.direction = from_low == link.initiator_low ? 0 : 1;
}

void LinkTracker::End(Link& link, SessionOutcome outcome) {
  for (int i = 0; i < 2; ++i) AckTo(link, i, link.dir[static_cast<std::size_t>(i)].vs);
  link.session.outcome = outcome;
  ended_.push_back(std::move(link.session));
  link.session = Session{};
  link.state = Link::kIdle;
}

void LinkTracker::Sequence(Link& link, int direction) {
  const Ax25Details& d = scratch_;
  DirectionCounts& counts = link.session.from[static_cast<std::size_t>(direction)];
  const bool poll = d.poll_final && d.role != Ax25Role::kResponse;
  const bool final = d.poll_final && d.role == Ax25Role::kResponse;
  counts.polls += poll ? 1 : 0;
  counts.finals += final ? 1 : 0;
  // Anything but the sender's next I frame ends its run; the other station's frames end it too.
  link.dir[static_cast<std::size_t>(1 - direction)].run = -1;
  if (d.kind == Ax25Kind::kI) {
    Incoming(link, direction);
  } else {
    link.dir[static_cast<std::size_t>(direction)].run = -1;
    counts.rnr += d.type_code == kRnr ? 1 : 0;
    counts.rej += d.type_code == kRej ? 1 : 0;
    counts.srej += d.type_code == kSrej ? 1 : 0;
    // An SREJ acknowledges the frames below its N(R) only with the F bit.
    if (d.type_code == kSrej && !d.poll_final) return;
  }
  Acknowledge(link, 1 - direction, *d.nr);
}

void LinkTracker::Extend(Direction& t, std::int64_t to) {
  for (; t.vs < to; ++t.vs) {
    Slot& slot = t.At(t.vs);
    slot.abs = t.vs;
    slot.heard = false;
  }
}

void LinkTracker::Incoming(Link& link, int direction) {
  const Ax25Details& d = scratch_;
  Direction& t = link.dir[static_cast<std::size_t>(direction)];
  DirectionCounts& counts = link.session.from[static_cast<std::size_t>(direction)];
  const int m = link.session.modulo;
  const std::uint64_t hash = HashBytes(d.info);
  const auto length = static_cast<std::uint32_t>(d.info.size());
  std::int64_t a = t.va + Mod(*d.ns - t.va, m);
  const auto retransmission = [&] {
    ++counts.retransmitted;
    facts_.retransmission = true;
  };
  ++counts.i_frames;
  const auto same = [&](std::int64_t at) {
    if (at < 0) return false;
    const Slot& slot = t.At(at);
    return slot.abs == at && slot.heard && slot.hash == hash && slot.length == length;
  };
  // A frame a whole modulo on, sent after acknowledgements the monitor missed: believed only
  // while fewer than half the sequence numbers would lie unheard before it.
  const bool may_be_later = a < t.vs && a + m - t.vs < m / 2;
  if (a < t.vs && t.At(a).heard) {
    // A retransmission carries the same data; other data is the frame a modulo on, if it may be.
    if (same(a) || !may_be_later) {
      t.run = a;
      return retransmission();
    }
    a += m;
  } else if (a < t.vs && may_be_later && t.run >= 0 && a <= t.run) {
    // A sender sends its frames in order and goes back only when the other station asks (REJ)
    // or answers its poll: in a run of its I frames an N(S) passed by is a frame a modulo on.
    a += m;
  }
  if (a < t.vs) {
    // The first frame heard of a sequence number passed by: its data fills the gap.
    Hear(t, a, hash, length);
  } else {
    // Far beyond what was heard, with the data of the frame a whole modulo back: that frame
    // sent again by a sender that missed the acknowledgement the monitor heard.
    if (a - t.vs >= m / 2 && same(a - m)) {
      t.run = a - m;
      return retransmission();
    }
    facts_.not_heard = a - t.vs;
    // No more than modulo - 1 frames outstanding: what lies further back was acknowledged.
    if (a + 1 - t.va > m - 1) AckTo(link, direction, a + 1 - (m - 1));
    Extend(t, a + 1);
    Hear(t, a, hash, length);
  }
  t.run = a;
  // Hand on what follows in order.
  while (t.emit < t.vs && t.At(t.emit).heard) HandOn(link, direction, t.emit++);
}

void LinkTracker::Hear(Direction& t, std::int64_t abs, std::uint64_t hash, std::uint32_t length) {
  Slot& slot = t.At(abs);
  slot.heard = true;
  slot.hash = hash;
  slot.length = length;
  if (sink_ != nullptr) {
    SlotData& data = t.data[t.Place(abs)];
    data.frame = frame_;
    data.bytes.assign(scratch_.info.begin(), scratch_.info.end());
  }
}

void LinkTracker::HandOn(Link& link, int direction, std::int64_t abs) {
  Direction& t = link.dir[static_cast<std::size_t>(direction)];
  link.session.from[static_cast<std::size_t>(direction)].bytes += t.At(abs).length;
  if (sink_ == nullptr) return;
  const SlotData& data = t.data[t.Place(abs)];
  sink_->OnData(link.session, direction, data.frame, data.bytes);
}

void LinkTracker::AckTo(Link& link, int direction, std::int64_t target) {
  Direction& t = link.dir[static_cast<std::size_t>(direction)];
  if (t.slots.empty()) return;
  DirectionCounts& counts = link.session.from[static_cast<std::size_t>(direction)];
  Extend(t, target);
  std::int64_t gap = 0;
  for (; t.emit < target; ++t.emit) {
    Slot& slot = t.At(t.emit);
    if (!slot.heard) {
      ++gap;
      ++counts.missing;
      continue;
    }
    if (gap > 0 && sink_ != nullptr) sink_->OnGap(link.session, direction, gap);
    gap = 0;
    HandOn(link, direction, t.emit);
  }
  if (gap > 0 && sink_ != nullptr) sink_->OnGap(link.session, direction, gap);
  t.va = std::max(t.va, target);
}

void LinkTracker::Acknowledge(Link& link, int direction, int nr) {
  Direction& t = link.dir[static_cast<std::size_t>(direction)];
  const int m = link.session.modulo;
  const std::int64_t target = t.va + Mod(nr - t.va, m);
  // An N(R) beyond every N(S) heard says frames were sent that the monitor missed; one that
  // would say half the sequence space or more is an old N(R) heard late, not believed.
  if (target > t.vs && target - t.vs >= m / 2) return;
  if (target > t.va) AckTo(link, direction, target);
}

}  // namespace packscope
