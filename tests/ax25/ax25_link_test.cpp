#include "ax25/ax25_link.h"

#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
#include <vector>

#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;

std::span<const std::uint8_t> Span(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// What a sink hears of each session: the data of each direction, "<gap N>" for missed frames.
class Recorder : public SessionSink {
 public:
  void OnData(const Session& s, int direction, std::int64_t,
              std::span<const std::uint8_t> data) override {
    text[s.number][direction].append(reinterpret_cast<const char*>(data.data()), data.size());
  }
  void OnGap(const Session& s, int direction, std::int64_t frames) override {
    std::string& t = text[s.number][direction];
    std::int64_t& before = gap_end[s.number][direction];
    if (before > 0 && static_cast<std::size_t>(before) == t.size()) {
      // Gaps one after the other are one gap.
      const std::size_t open = t.rfind("<gap ");
      frames += std::stoll(t.substr(open + 5));
      t.resize(open);
    }
    t += "<gap " + std::to_string(frames) + ">";
    before = static_cast<std::int64_t>(t.size());
  }
  void OnEnd(const Session& s) override { ended.push_back(s); }

  std::map<std::int64_t, std::map<int, std::string>> text;
  std::map<std::int64_t, std::map<int, std::int64_t>> gap_end;
  std::vector<Session> ended;
};

const Address kUser{"QQ1ABC", 9};
const Address kNode{"QQ5BBS", 1};

// A frame between the user and the node: from_user decides the direction; commands carry the C
// bit on the destination.
std::string Frame(bool from_user, bool command, std::string control, std::string info = {},
                  std::optional<std::uint8_t> pid = std::nullopt) {
  Address to = from_user ? kNode : kUser;
  Address from = from_user ? kUser : kNode;
  to.high = command;
  from.high = !command;
  return Ax25Frame(to, from, {}, static_cast<std::uint8_t>(control[0]), std::nullopt,
                   control.substr(1) + (pid ? std::string(1, static_cast<char>(*pid)) : "") + info);
}

// I frame modulo 8: N(R) P N(S) 0, PID F0.
std::string I8(bool from_user, int ns, int nr, std::string info) {
  return Frame(from_user, true, std::string(1, static_cast<char>(nr << 5 | ns << 1)), info, 0xF0);
}
std::string Rr8(bool from_user, int nr, bool pf = false, bool command = false) {
  return Frame(from_user, command,
               std::string(1, static_cast<char>(nr << 5 | (pf ? 0x10 : 0) | 1)));
}

struct Played {
  Recorder sink;
  std::vector<LinkFacts> facts;
};

Played Play(const std::vector<std::string>& frames) {
  Played p;
  LinkTracker tracker(&p.sink);
  std::int64_t n = 0;
  for (const std::string& f : frames) p.facts.push_back(tracker.Next(Span(f), ++n));
  tracker.Finish();
  return p;
}

const std::string kSabm = std::string(1, '\x3F');
const std::string kSabme = std::string(1, '\x7F');
const std::string kUa = std::string(1, '\x73');
const std::string kDm = std::string(1, '\x1F');
const std::string kDisc = std::string(1, '\x53');
const std::string kFrmr = std::string(1, '\x97');

TEST(LinkTrackerTest, SessionsFromSetupToOutcome) {
  struct Case {
    const char* what;
    std::vector<std::string> frames;
    std::vector<std::pair<SessionSetup, SessionOutcome>> sessions;
    std::vector<std::int64_t> numbers;  // each frame's session
  };
  const std::string ui = Ax25Frame(kNode, kUser, {}, 0x03, 0xF0, "beacon");
  const std::vector<Case> cases = {
      {"connect, data, disconnect",
       {Frame(true, true, kSabm), Frame(false, false, kUa), I8(true, 0, 0, "hi"), Rr8(false, 1),
        Frame(true, true, kDisc), Frame(false, false, kUa)},
       {{SessionSetup::kSabm, SessionOutcome::kDisc}},
       {1, 1, 1, 1, 1, 1}},
      {"refused, a SABM sent again, UI between them outside",
       {Frame(true, true, kSabm), ui, Frame(true, true, kSabm), Frame(false, false, kDm)},
       {{SessionSetup::kSabm, SessionOutcome::kDm}},
       {1, 0, 1, 1}},
      {"a SABM on the link in use resets it; the UA lost at the user is a retry",
       {Frame(true, true, kSabme), Frame(false, false, kUa), Frame(true, true, kSabme),
        Frame(false, false, kUa), I8(true, 0, 0, "x"), Frame(true, true, kSabm),
        Frame(false, false, kFrmr)},
       {{SessionSetup::kSabme, SessionOutcome::kReset},
        {SessionSetup::kSabm, SessionOutcome::kFrmr}},
       {1, 1, 1, 1, 1, 2, 2}},
      {"begun inside a session, open at the end; a lone DM is outside",
       {Frame(false, false, kDm), I8(false, 3, 2, "late"), Rr8(true, 4)},
       {{SessionSetup::kNone, SessionOutcome::kOpen}},
       {0, 1, 1}},
      {"a DM answering a DISC ends it as DISC",
       {Frame(true, true, kSabm), Frame(false, false, kUa), Frame(true, true, kDisc),
        Frame(false, false, kDm)},
       {{SessionSetup::kSabm, SessionOutcome::kDisc}},
       {1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Played p = Play(c.frames);
    ASSERT_EQ(p.sink.ended.size(), c.sessions.size());
    for (std::size_t i = 0; i < c.sessions.size(); ++i) {
      EXPECT_EQ(p.sink.ended[i].number, static_cast<std::int64_t>(i + 1));
      EXPECT_EQ(p.sink.ended[i].setup, c.sessions[i].first);
      EXPECT_EQ(p.sink.ended[i].outcome, c.sessions[i].second);
    }
    std::vector<std::int64_t> numbers;
    for (const LinkFacts& f : p.facts) numbers.push_back(f.session);
    EXPECT_EQ(numbers, c.numbers);
  }
  // The initiator is who sent the SABM, whichever station's address sorts first.
  const Played p = Play({Frame(false, true, kSabm), Frame(true, false, kUa)});
  ASSERT_EQ(p.sink.ended.size(), 1U);
  EXPECT_EQ(p.sink.ended[0].initiator, "QQ5BBS-1");
  EXPECT_EQ(p.sink.ended[0].responder, "QQ1ABC-9");
  EXPECT_EQ(p.sink.ended[0].frames, 2);
}

// A session begun inside the capture counts modulo 128 when its first I frame holds the PID
// behind a second control byte, or an S frame has one; an XID heard before sets it too.
TEST(LinkTrackerTest, ModuloOfASessionWithoutSetup) {
  const std::string i128 = Frame(true, true, std::string("\x0A\x0C", 2), "data", 0xF0);
  const std::string rr128 = Frame(false, false, std::string("\x01\x07", 2));
  EXPECT_EQ(Play({i128}).facts[0].modulo, kModulo128);
  EXPECT_EQ(Play({rr128}).facts[0].modulo, kModulo128);
  EXPECT_EQ(Play({I8(true, 5, 2, "data")}).facts[0].modulo, kModulo8);
  EXPECT_EQ(Play({Rr8(false, 3)}).facts[0].modulo, kModulo8);
  const std::string xid = Frame(true, true, std::string(1, '\xBF'),
                                std::string("\x82\x80\x00\x05\x03\x03\x82\xA8\x02", 9));
  const Played p = Play({xid, Frame(true, true, std::string("\x02\x00", 2), "\x01\x02", 0xF0)});
  EXPECT_EQ(p.facts[0].session, 0);
  EXPECT_EQ(p.facts[1].modulo, kModulo128);
  ASSERT_EQ(p.sink.ended.size(), 1U);
  EXPECT_EQ(p.sink.ended[0].modulo, kModulo128);
}

TEST(LinkTrackerTest, XidModulo) {
  const auto modulo = [](std::vector<std::uint8_t> info) { return XidModulo(info); };
  // Classes of procedures, then HDLC optional functions with modulo 8 or 128.
  EXPECT_EQ(modulo({0x82, 0x80, 0, 9, 2, 2, 0x21, 0, 3, 3, 0x82, 0xA4, 2}), kModulo8);
  EXPECT_EQ(modulo({0x82, 0x80, 0, 9, 2, 2, 0x21, 0, 3, 3, 0x82, 0xA8, 2}), kModulo128);
  EXPECT_EQ(modulo({0x82, 0x80, 0, 5, 3, 3, 0x82, 0xAC, 2}), std::nullopt);  // both: not named
  EXPECT_EQ(modulo({0x82, 0x80, 0, 4, 2, 2, 0x21, 0}), std::nullopt);        // not there
  EXPECT_EQ(modulo({0x82, 0x80, 0, 5, 3, 3, 0x82}), std::nullopt);           // cut off
  EXPECT_EQ(modulo({0x82, 0x80, 0, 2, 3, 3, 0x82, 0xA8, 2}), std::nullopt);  // beyond the group
  EXPECT_EQ(modulo({0x82, 0x81, 0, 5, 3, 3, 0x82, 0xA8, 2}), std::nullopt);
}

// A digipeater's copy of the frame just heard is the same frame, not a retransmission.
TEST(LinkTrackerTest, DigipeatersCopyIsNotCountedAgain) {
  const auto via = [](bool repeated, std::string control, std::string info) {
    return Ax25Frame({"QQ5BBS", 1, true}, {"QQ1ABC", 9, false}, {{"QQ0DIG", 1, repeated}},
                     static_cast<std::uint8_t>(control[0]), 0xF0, info);
  };
  Played p = Play({via(false, "\x00", "one"), via(true, "\x00", "one"), via(false, "\x00", "one"),
                   via(false, "\x02", "two")});
  EXPECT_FALSE(p.facts[0].repeated_copy);
  EXPECT_TRUE(p.facts[1].repeated_copy);
  EXPECT_FALSE(p.facts[1].retransmission);
  EXPECT_TRUE(p.facts[2].retransmission);  // sent again by the user: no more H bits
  ASSERT_EQ(p.sink.ended.size(), 1U);
  EXPECT_EQ(p.sink.ended[0].from[0].i_frames, 3);
  EXPECT_EQ(p.sink.ended[0].from[0].retransmitted, 1);
  EXPECT_EQ(p.sink.text.at(1).at(0), "onetwo");
}

// Generated sessions whose every frame is known: each direction's data must be what its station
// sent, with a gap in the place of exactly the frames the monitor missed (of those a frame
// heard shows were sent), and the I frames heard again counted as retransmissions.
struct Direction {
  std::string text;
  std::int64_t i_frames = 0;
  std::int64_t retransmitted = 0;
  std::int64_t missing = 0;
  std::int64_t bytes = 0;
};

Direction Expected(const gen::GeneratedSession& g, int dir) {
  Direction e;
  std::vector<bool> heard(g.sent[dir].size(), false);
  std::int64_t top = 0;  // sequence numbers below it are known sent
  for (const gen::SessionFrame& f : g.heard) {
    if (f.direction == dir && f.kind == gen::FrameKind::kI) {
      ++e.i_frames;
      if (heard[static_cast<std::size_t>(f.ns)]) ++e.retransmitted;
      heard[static_cast<std::size_t>(f.ns)] = true;
      top = std::max(top, f.ns + 1);
    }
    if (f.direction != dir && f.nr >= 0) top = std::max(top, f.nr);
  }
  std::int64_t gap = 0;
  for (std::int64_t i = 0; i < top; ++i) {
    if (!heard[static_cast<std::size_t>(i)]) {
      ++gap;
      ++e.missing;
      continue;
    }
    if (gap > 0) e.text += "<gap " + std::to_string(gap) + ">";
    gap = 0;
    e.text += g.sent[dir][static_cast<std::size_t>(i)];
    e.bytes += static_cast<std::int64_t>(g.sent[dir][static_cast<std::size_t>(i)].size());
  }
  if (gap > 0) e.text += "<gap " + std::to_string(gap) + ">";
  return e;
}

// Where two long texts part: "" when they are equal.
std::string FirstDifference(const std::string& got, const std::string& want) {
  if (got == want) return "";
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  const auto around = [i](const std::string& t) {
    return ::testing::PrintToString(t.substr(i < 20 ? 0 : i - 20, 60));
  };
  return "at byte " + std::to_string(i) + " of " + std::to_string(got.size()) + " / " +
         std::to_string(want.size()) + ": got " + around(got) + ", want " + around(want);
}

// The un-escaped frames of a capture, in order.
std::vector<std::string> Frames(const std::string& capture) {
  std::vector<std::string> frames;
  std::string frame;
  bool escape = false;
  for (std::size_t i = 1; i < capture.size(); ++i) {
    const char c = capture[i];
    if (c == '\xC0') {
      frames.push_back(frame);
      frame.clear();
      ++i;  // the next frame's opening FEND
    } else if (escape) {
      frame.push_back(c == '\xDC' ? '\xC0' : '\xDB');
      escape = false;
    } else if (c == '\xDB') {
      escape = true;
    } else {
      frame.push_back(c);
    }
  }
  return frames;
}

TEST(LinkTrackerTest, GeneratedSessionsReadAsTheStationsSentThem) {
  std::int64_t compared = 0;
  std::int64_t gaps = 0;
  std::int64_t retransmissions = 0;
  std::int64_t mod128 = 0;
  std::size_t generated = 0;
  for (std::uint64_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    gen::Options options;
    options.seed = seed;
    options.sessions = true;
    options.frames = 20000;
    options.loss = 10;
    options.monitor_loss = 6;
    options.mod128 = 40;
    std::vector<gen::GeneratedFrame> record;
    std::vector<gen::GeneratedSession> sessions;
    const std::vector<std::string> frames =
        Frames(gen::GenerateCaptureBytes(options, &record, &sessions));
    Recorder sink;
    LinkTracker tracker(&sink);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      tracker.Next(Span(frames[i]), static_cast<std::int64_t>(i + 1));
    }
    tracker.Finish();
    std::map<std::int64_t, const Session*> by_first;
    for (const Session& s : sink.ended) by_first[s.first_frame] = &s;

    // A session is compared where the monitor heard its SABM and its link's session before it
    // shows it had come up or ended: else no listener could tell the two apart.
    std::map<std::pair<std::string, std::string>, const gen::GeneratedSession*> before;
    generated += sessions.size();
    for (const gen::GeneratedSession& g : sessions) {
      const std::string a = g.initiator.call + "-" + std::to_string(g.initiator.ssid);
      const std::string b = g.responder.call + "-" + std::to_string(g.responder.ssid);
      const std::pair<std::string, std::string> pair = a < b ? std::pair(a, b) : std::pair(b, a);
      const gen::GeneratedSession* previous = before[pair];
      before[pair] = &g;
      const gen::GeneratedFrame& first = record[g.heard.front().record];
      const std::uint8_t setup = first.control & 0xEF;
      if (first.kind != gen::FrameKind::kU || (setup != 0x2F && setup != 0x6F)) continue;
      if (previous != nullptr &&
          std::none_of(previous->heard.begin(), previous->heard.end(), [&](const auto& f) {
            const std::uint8_t u = record[f.record].control & 0xEF;
            return f.kind != gen::FrameKind::kU || u == 0x43 || u == 0x0F || u == 0x87;
          })) {
        continue;
      }
      const auto found = by_first.find(first.number);
      ASSERT_NE(found, by_first.end()) << "session from frame " << first.number;
      const Session& s = *found->second;
      // The session ends with the answer to its DISC; a DISC sent again, and its DM, follow it.
      std::size_t last = 0;
      bool disc = false;
      for (; last + 1 < g.heard.size(); ++last) {
        const std::uint8_t u = record[g.heard[last].record].control & 0xEF;
        if (disc && (u == 0x63 || u == 0x0F)) break;
        disc = disc || u == 0x43;
      }
      if (s.last_frame != record[g.heard[last].record].number) continue;  // runs on, unheard
      EXPECT_EQ(s.modulo, g.modulo);
      EXPECT_EQ(s.initiator,
                first.source.call +
                    (first.source.ssid != 0 ? "-" + std::to_string(first.source.ssid) : ""));
      for (int dir = 0; dir < 2; ++dir) {
        SCOPED_TRACE("session " + std::to_string(s.number) + " direction " + std::to_string(dir));
        const Direction e = Expected(g, dir);
        const DirectionCounts& c = s.from[static_cast<std::size_t>(dir)];
        EXPECT_EQ(FirstDifference(sink.text[s.number][dir], e.text), "");
        EXPECT_EQ(c.i_frames, e.i_frames);
        EXPECT_EQ(c.retransmitted, e.retransmitted);
        EXPECT_EQ(c.missing, e.missing);
        EXPECT_EQ(c.bytes, e.bytes);
        gaps += e.missing;
        retransmissions += e.retransmitted;
      }
      mod128 += g.modulo == 128 ? 1 : 0;
      ++compared;
    }
  }
  // The captures hold what the test is about, and nearly every session could be compared.
  EXPECT_GE(compared, static_cast<std::int64_t>(generated * 9 / 10)) << generated;
  EXPECT_GT(gaps, 20);
  EXPECT_GT(retransmissions, 50);
  EXPECT_GT(mod128, 20);
}

}  // namespace
}  // namespace packscope
