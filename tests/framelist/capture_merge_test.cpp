// The merge of several receivers' captures over hand-made traffic: the order, the folding rules
// at their edges, who heard what and when, the receivers' tally, captures whose stamps run
// backwards, and the captures it refuses.
#include "framelist/capture_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "capture/errors.h"
#include "commands/receiver_tally.h"
#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;
using testing::TextStamp;

constexpr std::int64_t kT0 = 1451651696000;  // 2016-01-01 12:34:56 UTC

std::string Ui(const std::string& source, const std::string& info,
               const std::vector<Address>& digis = {}, const Address& dest = {"APRS"}) {
  return Ax25Frame(dest, {source}, digis, 0x03, 0xF0, info);
}

// A capture: each frame behind a binary stamp of its time (milliseconds after kT0).
struct Heard {
  std::int64_t ms;
  std::string frame;
};
std::string Capture(const std::vector<Heard>& frames) {
  std::string out;
  for (const Heard& h : frames) {
    out += Kiss(BinaryStamp(static_cast<std::uint64_t>(kT0 + h.ms)));
    out += Kiss(h.frame);
  }
  return out;
}

// What the merge gave: the source and information field of each packet's first reception, and
// who heard it with which offset.
struct Got {
  std::string source;
  std::string info;
  std::string first_by;
  std::vector<std::pair<std::string, std::int64_t>> heard;
  std::int64_t millis;
};

class CaptureMergeTest : public testing::TempDirTest {
 protected:
  // Captures as (name, bytes), merged with options.
  std::vector<Got> Merge(const std::vector<std::pair<std::string, std::string>>& captures,
                         const MergeOptions& options = {}) {
    CaptureMerge merge(Inputs(captures), options);
    std::vector<Got> out;
    MergedPacket p;
    tally_ = ReceiverTally();
    while (merge.Next(p)) {
      const Ax25Details d = DescribeAx25(p.first.frame);
      Got g;
      g.info.assign(d.info.begin(), d.info.end());
      g.source = d.source.call;
      g.first_by = merge.Names()[static_cast<std::size_t>(p.receiver)];
      for (const Reception& r : p.heard) {
        g.heard.emplace_back(merge.Names()[static_cast<std::size_t>(r.receiver)], r.offset_ms);
      }
      g.millis = p.millis;
      out.push_back(g);
      tally_.Add(FrameReceivers{merge.Names(), p.heard});
    }
    EXPECT_EQ(merge.FramesRead(), merge.FrameTotal());
    return out;
  }

  std::vector<MergeInput> Inputs(const std::vector<std::pair<std::string, std::string>>& captures) {
    std::vector<MergeInput> inputs;
    for (const auto& [name, bytes] : captures) {
      indexes_.push_back(std::make_unique<FrameIndex>(WriteCapture(name, bytes)));
      EXPECT_EQ(indexes_.back()->Extend().status, IndexStatus::kAtEnd);
      inputs.push_back({name, indexes_.back()->Snapshot()});
    }
    return inputs;
  }

  std::vector<std::unique_ptr<FrameIndex>> indexes_;
  ReceiverTally tally_;
};

using HeardBy = std::vector<std::pair<std::string, std::int64_t>>;

// Receivers of generated traffic with known shares, clocks, paths, double receptions, beacons
// every ten minutes and satellite packets: under the APRS rule every packet sent comes out once
// with the receivers that heard it; by bytes every form of it (direct, digipeated) once, the
// satellite's packets folded alike.
TEST_F(CaptureMergeTest, GeneratedReceiversGiveEveryPacketOnceWithWhoHeardIt) {
  gen::Options o;
  o.seed = 5;
  o.frames = 3000;
  o.beacon_stations = 2;
  o.doubles_percent = 25;
  o.satellite_percent = 10;
  o.receivers = {{"north.kss", 80, 0}, {"south.kss", 60, 1000}, {"west.kss", 40, -700}};
  std::vector<gen::TrafficPacket> sent;
  const std::vector<std::string> bytes = gen::GenerateTrafficBytes(o, &sent);
  using Packet = std::tuple<std::string, std::string, std::vector<std::string>>;
  const auto names_where = [&](const gen::TrafficPacket& p, std::uint8_t how) {
    std::vector<std::string> names;
    for (std::size_t r = 0; r < p.heard.size(); ++r) {
      if ((p.heard[r] & how) != 0) names.push_back(o.receivers[r].output);
    }
    return names;
  };
  std::vector<Packet> by_rule;   // each packet heard
  std::vector<Packet> by_bytes;  // each form of it heard
  std::size_t beacons = 0;
  std::size_t satellites = 0;
  for (const gen::TrafficPacket& p : sent) {
    const std::vector<std::string> all =
        names_where(p, gen::TrafficPacket::kDirect | gen::TrafficPacket::kDigipeated);
    if (all.empty()) continue;
    by_rule.emplace_back(p.source, p.info, all);
    for (std::uint8_t how : {gen::TrafficPacket::kDirect, gen::TrafficPacket::kDigipeated}) {
      const std::vector<std::string> names = names_where(p, how);
      if (!names.empty()) by_bytes.emplace_back(p.source, p.info, names);
    }
    beacons += p.kind == gen::TrafficPacket::kBeacon ? 1 : 0;
    satellites += p.kind == gen::TrafficPacket::kSatellite ? 1 : 0;
  }
  EXPECT_GT(beacons, 30u);
  EXPECT_GT(satellites, 200u);
  EXPECT_GT(by_bytes.size(), by_rule.size() + 300);

  const std::vector<std::pair<std::string, std::string>> captures = {
      {"north.kss", bytes[0]}, {"south.kss", bytes[1]}, {"west.kss", bytes[2]}};
  for (const auto& [rule, expected] :
       {std::pair{DupeRule::kAprs, by_rule}, std::pair{DupeRule::kBytes, by_bytes}}) {
    SCOPED_TRACE(rule == DupeRule::kAprs ? "aprs" : "bytes");
    const std::vector<Got> got =
        Merge(captures, {rule, kDefaultDupeWindowMillis, MergeOrder::kTime});
    std::vector<Packet> merged;
    for (const Got& g : got) {
      std::vector<std::string> names;
      for (const auto& [name, offset] : g.heard) names.push_back(name);
      merged.emplace_back(g.source, g.info, names);
    }
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end(),
                               [](const Got& a, const Got& b) { return a.millis < b.millis; }));
    std::vector<Packet> want = expected;
    std::sort(want.begin(), want.end());
    std::sort(merged.begin(), merged.end());
    EXPECT_EQ(merged.size(), want.size());
    EXPECT_TRUE(merged == want);
  }

  // The tally against what was sent; the clocks against each other, two receivers at a time.
  std::vector<ReceiverSummary> want(3);
  for (const Packet& p : by_rule) {
    for (std::size_t r = 0; r < 3; ++r) {
      const auto& names = std::get<2>(p);
      const bool heard =
          std::find(names.begin(), names.end(), o.receivers[r].output) != names.end();
      want[r].frames += heard ? 1 : 0;
      want[r].missed += heard ? 0 : 1;
      want[r].only_here += heard && names.size() == 1 ? 1 : 0;
    }
  }
  Merge(captures);
  const std::vector<ReceiverSummary> tally = tally_.Summary();
  ASSERT_EQ(tally.size(), 3u);
  for (std::size_t r = 0; r < 3; ++r) {
    EXPECT_EQ((std::vector<std::int64_t>{tally[r].frames, tally[r].only_here, tally[r].missed}),
              (std::vector<std::int64_t>{want[r].frames, want[r].only_here, want[r].missed}))
        << tally[r].name;
  }
  Merge({captures[1], captures[2]});
  EXPECT_EQ(tally_.Summary()[0].offset_ms, 1700);
  EXPECT_EQ(tally_.Summary()[1].offset_ms, -1700);
}

// Three receivers: north hears the packet direct and again through a digipeater, south a second
// late with another path and trailing blanks, west nothing of it; each hears one packet alone.
TEST_F(CaptureMergeTest, FoldsCopiesOfOnePacketAndSaysWhoHeardItWhen) {
  const Address relay{"RELAY", 0, true};
  const std::string north = Capture({{0, Ui("QQ1AAA", ">status")},
                                     {2000, Ui("QQ1AAA", ">status", {relay})},
                                     {5000, Ui("QQ2BBB", "!4807.50N/01130.00E-")},
                                     {9000, Ui("QQ3NTH", ">north only")}});
  const std::string south = Capture({{1000, Ui("QQ1AAA", ">status  \r", {{"WIDE2", 1}})},
                                     {6000, Ui("QQ2BBB", "!4807.50N/01130.00E-", {relay})},
                                     {7000, Ui("QQ4STH", ">south only")}});
  const std::string west =
      Capture({{5500, Ui("QQ2BBB", "!4807.50N/01130.00E-")}, {8000, Ui("QQ5WST", ">west only")}});
  // Given out of name order: the names come back sorted.
  const std::vector<Got> got =
      Merge({{"west.kss", west}, {"south.kss", south}, {"north.kss", north}});
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].info, ">status");  // the first reception's bytes
  EXPECT_EQ(got[0].first_by, "north.kss");
  EXPECT_EQ(got[0].heard, (HeardBy{{"north.kss", 0}, {"south.kss", 1000}}));
  EXPECT_EQ(got[0].millis, kT0);
  EXPECT_EQ(got[1].heard, (HeardBy{{"north.kss", 0}, {"south.kss", 1000}, {"west.kss", 500}}));
  EXPECT_EQ(got[2].heard, (HeardBy{{"south.kss", 0}}));
  EXPECT_EQ(got[3].heard, (HeardBy{{"west.kss", 0}}));
  EXPECT_EQ(got[4].heard, (HeardBy{{"north.kss", 0}}));

  const std::vector<ReceiverSummary> s = tally_.Summary();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].name, "north.kss");
  EXPECT_EQ((std::vector<std::int64_t>{s[0].frames, s[0].only_here, s[0].missed}),
            (std::vector<std::int64_t>{3, 1, 2}));
  EXPECT_EQ((std::vector<std::int64_t>{s[1].frames, s[1].only_here, s[1].missed}),
            (std::vector<std::int64_t>{3, 1, 2}));
  EXPECT_EQ((std::vector<std::int64_t>{s[2].frames, s[2].only_here, s[2].missed}),
            (std::vector<std::int64_t>{2, 1, 3}));
  // north against south -1000 (twice), against west -500: median -1000. south: +1000, +1000,
  // +500: 1000. west: +500, -500: 0.
  EXPECT_EQ(s[0].offset_ms, -1000);
  EXPECT_EQ(s[1].offset_ms, 1000);
  EXPECT_EQ(s[2].offset_ms, 0);
}

// The rules at their edges, each case two receptions in two captures.
TEST_F(CaptureMergeTest, FoldsByTheRuleChosenWithinTheWindow) {
  struct Case {
    const char* what;
    DupeRule rule;
    std::int64_t window_ms;
    std::string a;
    std::int64_t apart_ms;
    std::string b;
    bool folds;
  };
  const std::string beacon = Ui("QQ1AAA", ">beacon");
  const std::vector<Case> cases = {
      {"exactly the window apart", DupeRule::kAprs, 30000, beacon, 30000, beacon, true},
      {"a millisecond beyond", DupeRule::kAprs, 30000, beacon, 30001, beacon, false},
      {"beacon ten minutes later", DupeRule::kAprs, 30000, beacon, 600000, beacon, false},
      {"a window of its own", DupeRule::kAprs, 5000, beacon, 6000, beacon, false},
      {"destination SSID ignored", DupeRule::kAprs, 30000, beacon, 1000,
       Ui("QQ1AAA", ">beacon", {}, {"APRS", 3}), true},
      {"source SSID counts", DupeRule::kAprs, 30000, beacon, 1000,
       Ax25Frame({"APRS"}, {"QQ1AAA", 1}, {}, 0x03, 0xF0, ">beacon"), false},
      {"leading blank counts", DupeRule::kAprs, 30000, beacon, 1000, Ui("QQ1AAA", "> beacon"),
       false},
      {"control counts", DupeRule::kAprs, 30000, beacon, 1000,
       Ax25Frame({"APRS"}, {"QQ1AAA"}, {}, 0x13, 0xF0, ">beacon"), false},
      {"other KISS port", DupeRule::kBytes, 30000, beacon, 1000,
       std::string("\x10") + beacon.substr(1), true},
      {"bytes: path counts", DupeRule::kBytes, 30000, beacon, 1000,
       Ui("QQ1AAA", ">beacon", {{"RELAY", 0, true}}), false},
      {"bytes: blanks count", DupeRule::kBytes, 30000, beacon, 1000, Ui("QQ1AAA", ">beacon "),
       false},
      {"no AX.25: by bytes", DupeRule::kAprs, 30000, std::string("\x00\x82\xA0", 3), 1000,
       std::string("\x00\x82\xA0", 3), true},
      {"none keeps both", DupeRule::kNone, 30000, beacon, 0, beacon, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Got> got =
        Merge({{"a.kss", Capture({{0, c.a}})}, {"b.kss", Capture({{c.apart_ms, c.b}})}},
              {c.rule, c.window_ms, MergeOrder::kTime});
    EXPECT_EQ(got.size(), c.folds ? 1u : 2u);
  }
}

// Stamps that step back, one stamp gone wrong, a text stamp without a time, frames before the
// first stamp: every frame comes out once, the copies still fold, a capture's own frames keep
// their order.
TEST_F(CaptureMergeTest, StampsThatRunBackwardsLoseNoFrame) {
  std::string a;
  a += Kiss(Ui("QQ1AAA", ">before the first stamp"));
  a += Capture({{10000, Ui("QQ1AAA", ">a1")}, {20000, Ui("QQ1AAA", ">a2")}});
  a += Capture({{86400000, Ui("QQ1AAA", ">a3 under a stamp a day ahead")}});
  a += Capture({{15000, Ui("QQ1AAA", ">a4 stepped back")}, {40000, Ui("QQ1AAA", ">shared")}});
  a += Kiss(TextStamp("no time here UTC")) + Kiss(Ui("QQ1AAA", ">a5 under a text stamp"));
  const std::string b = Capture({{12000, Ui("QQ2BBB", ">b1")},
                                 {41000, Ui("QQ1AAA", ">shared")},
                                 {50000, Ui("QQ2BBB", ">b2")}});
  const std::vector<Got> got = Merge({{"a.kss", a}, {"b.kss", b}});
  std::vector<std::string> infos;
  for (const Got& g : got) infos.push_back(g.info);
  EXPECT_EQ(infos, (std::vector<std::string>{">before the first stamp", ">a1", ">b1", ">a2",
                                             ">a3 under a stamp a day ahead", ">a4 stepped back",
                                             ">shared", ">a5 under a text stamp", ">b2"}));
  EXPECT_EQ(got[6].heard, (HeardBy{{"a.kss", 0}, {"b.kss", 1000}}));
  EXPECT_EQ(got[0].millis, kT0 + 10000);  // the first stamp's time

  // One stamp for a whole recording: the time stands still, the window never passes; the
  // packets waiting stay within their budget, and every frame still comes out once.
  std::string still_a = Kiss(BinaryStamp(kT0));
  std::string still_b = Kiss(BinaryStamp(kT0));
  for (int i = 0; i < 300; ++i) {
    still_a += Kiss(Ui("QQ1AAA", ">a" + std::to_string(i)));
    still_b += Kiss(Ui("QQ2BBB", ">b" + std::to_string(i)));
  }
  MergeOptions small;
  small.pending_budget = 4000;
  CaptureMerge merge(Inputs({{"a.kss", still_a}, {"b.kss", still_b}}), small);
  MergedPacket p;
  int packets = 0;
  while (merge.Next(p)) ++packets;
  EXPECT_EQ(packets, 600);
  EXPECT_LE(merge.PeakPendingBytes(), 4000 + 200);
}

TEST_F(CaptureMergeTest, JoinsCapturesInTurnAndRefusesWhatCannotBeMerged) {
  const std::string stamped = Capture({{5000, Ui("QQ1AAA", ">x")}});
  const std::string plain = Kiss(Ui("QQ2BBB", ">y")) + Kiss(Ui("QQ2BBB", ">z"));
  const std::string empty;

  const auto problem = [&](const std::vector<std::pair<std::string, std::string>>& c,
                           const MergeOptions& o) { return MergeProblem(Inputs(c), o); };
  EXPECT_EQ(problem({{"s.kss", stamped}, {"p.kss", plain}}, {}),
            "The capture \"p.kss\" has no timestamps: merging in time order needs them (captures "
            "without can only be joined one after the other, every frame kept).");
  EXPECT_EQ(problem({{"s.kss", stamped}, {"s.kss", stamped}}, {}),
            "The capture \"s.kss\" is named twice: each receiver is one capture.");
  EXPECT_NE(problem({{"p.kss", plain}}, {DupeRule::kAprs, 30000, MergeOrder::kFiles}), "");
  EXPECT_EQ(problem({{"s.kss", stamped}, {"e.kss", empty}}, {}), "");
  EXPECT_THROW(CaptureMerge(Inputs({{"p.kss", plain}}), {}), CommandError);

  const std::vector<Got> got = Merge({{"p.kss", plain}, {"s.kss", stamped}, {"e.kss", empty}},
                                     {DupeRule::kNone, 30000, MergeOrder::kFiles});
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].info + got[1].info + got[2].info, ">y>z>x");
  EXPECT_EQ(got[2].heard, (HeardBy{{"s.kss", 0}}));
  const std::vector<ReceiverSummary> s = tally_.Summary();
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].name, "e.kss");
  EXPECT_EQ(s[0].missed, 3);
  EXPECT_EQ(s[0].offset_ms, std::nullopt);
}

}  // namespace
}  // namespace packscope
