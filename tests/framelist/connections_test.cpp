// The frame list's connected side: the Conversations and Nodes tables, Follow Connection's data,
// marks and timeline, and the passes that make them for a list.
#include "framelist/connections.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "filter/filter.h"
#include "framelist/follow_connection.h"
#include "framelist/frame_passes.h"
#include "framelist/frame_reader.h"
#include "framelist/list_connections.h"
#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;

std::map<std::string, std::string> RowOf(const StatTable& table, std::size_t row) {
  std::map<std::string, std::string> cells;
  for (std::size_t c = 0; c < table.Columns().size(); ++c) {
    cells[table.Columns()[c].title] = table.Cell(row, static_cast<int>(c));
  }
  return cells;
}

std::vector<std::int64_t> Listed(const IndexSnapshot& snapshot, const std::string& expression) {
  const std::optional<Filter> filter = Filter::Parse(expression);
  EXPECT_TRUE(filter) << expression;
  std::vector<std::int64_t> rows;
  if (filter) ListFrames(snapshot, 0, snapshot.FrameCount(), &*filter, rows);
  return rows;
}

// A capture written frame by frame, each behind a binary stamp half a second after the last.
class Capture {
 public:
  // Returns the frame's number (jsonl's, stamps counted).
  std::int64_t Add(const std::string& frame) {
    bytes_ += testing::Kiss(testing::BinaryStamp(millis_)) + testing::Kiss(frame);
    millis_ += 500;
    number_ += 2;
    return number_;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::uint64_t millis_ = 1'451'649'600'000;  // 2016-01-01T12:00:00Z
  std::int64_t number_ = 0;
};

// Command and response: the C bits of destination and source.
std::string Command(const Address& to, const Address& from, std::uint8_t control,
                    std::optional<std::uint8_t> pid = std::nullopt, const std::string& info = "") {
  return Ax25Frame({to.call, to.ssid, true}, {from.call, from.ssid, false}, {}, control, pid, info);
}
std::string Response(const Address& to, const Address& from, std::uint8_t control) {
  return Ax25Frame({to.call, to.ssid, false}, {from.call, from.ssid, true}, {}, control, {}, "");
}
std::string Nodes(
    const std::string& from, const std::string& alias,
    const std::vector<std::tuple<std::string, std::string, std::string, int>>& routes) {
  std::string info = "\xFF" + alias;
  for (const auto& [call, route_alias, neighbour, quality] : routes) {
    info += testing::AddressBlock({call}, false) + route_alias +
            testing::AddressBlock({neighbour}, false) + static_cast<char>(quality);
  }
  return Ax25Frame({"NODES"}, {from}, {}, 0x03, 0xCF, info);
}

class ConnectionsTest : public testing::TempDirTest {
 protected:
  void Read(const std::string& bytes) {
    path_ = WriteCapture("c.kss", bytes);
    index_ = std::make_unique<FrameIndex>(path_);
    ASSERT_EQ(index_->Extend().status, IndexStatus::kAtEnd);
    snapshot_ = index_->Snapshot();
    ASSERT_TRUE(ReadConnections(snapshot_, read_));
  }

  std::string path_;
  std::unique_ptr<FrameIndex> index_;
  IndexSnapshot snapshot_;
  CaptureConnections read_;
};

// A caller and a BBS: the BBS's second I frame is missed by the monitor and its third sent
// again; UI frames between the two beside the session; two nodes broadcast their routes.
TEST_F(ConnectionsTest, ConversationNodesAndFollowOfAKnownSession) {
  const Address caller{"QQ1AAA"};
  const Address bbs{"QQ2BBB", 1};
  Capture c;
  const std::int64_t sabm = c.Add(Command(bbs, caller, 0x3F));  // SABM P
  c.Add(Response(caller, bbs, 0x73));                           // UA F
  c.Add(Nodes("QQ5NOD", "NODE5 ", {{"QQ9FAR", "FAR   ", "QQ6NBR", 200}}));
  c.Add(Command(caller, bbs, 0x00, 0xF0, "Welcome\r"));  // I ns=0 nr=0
  c.Add(Command(caller, bbs, 0x04, 0xF0, "third\r"));    // I ns=2 (ns=1 not heard)
  const std::int64_t again = c.Add(Command(caller, bbs, 0x04, 0xF0, "third\r"));
  c.Add(Command(bbs, caller, 0x03, 0xF0, "hi"));       // UI from the caller
  c.Add(Response(bbs, caller, 0x61));                  // RR nr=3
  c.Add(Command(bbs, caller, 0x60, 0xF0, "bye\r\n"));  // I ns=0 nr=3
  c.Add(Command(caller, bbs, 0x13, 0xF0, "ok!"));      // UI P from the BBS
  c.Add(Response(caller, bbs, 0x21));                  // RR nr=1
  c.Add(Nodes("QQ7OTH", "OTHER ",
              {{"QQ9FAR", "FAR   ", "QQ5NOD", 150}, {"QQ5NOD", "NODE5 ", "QQ5NOD", 190}}));
  c.Add(Command(bbs, caller, 0x53));  // DISC P
  const std::int64_t ua = c.Add(Response(caller, bbs, 0x73));
  c.Add(Nodes("QQ5NOD", "NODE5 ", {{"QQ9FAR", "FAR   ", "QQ6NBR", 180}}));
  Read(c.Bytes());

  ASSERT_EQ(read_.sessions->SessionCount(), 1);
  ASSERT_EQ(read_.conversations->RowCount(), 1u);
  EXPECT_EQ(RowOf(*read_.conversations, 0),
            (std::map<std::string, std::string>{{"Station A", "QQ1AAA"},
                                                {"Station B", "QQ2BBB-1"},
                                                {"Port", "0"},
                                                {"Sessions", "1"},
                                                {"Frames", "12"},
                                                {"Bytes A\u2192B", "5"},
                                                {"Bytes B\u2192A", "14"},
                                                {"I frames", "4"},
                                                {"Retransmitted", "1 (25.0 %)"},
                                                {"Missed", "1"},
                                                {"Connected (s)", "6.5"},
                                                {"Throughput (B/s)", "2.9"},
                                                {"UI frames", "2"},
                                                {"UI bytes", "5"}}));
  // The row's filter: every frame between the two, the UI frames too, and nothing else.
  EXPECT_EQ(Listed(snapshot_, read_.conversations->RowFilter(0)).size(), 12u);

  ASSERT_EQ(read_.nodes->RowCount(), 3u);  // QQ5NOD, QQ7OTH, QQ9FAR in callsign order
  EXPECT_EQ(RowOf(*read_.nodes, 2),
            (std::map<std::string, std::string>{{"Node", "QQ9FAR"},
                                                {"Alias", "FAR"},
                                                {"Broadcasts", "0"},
                                                {"Routes heard", "2"},
                                                {"Best quality", "200"},
                                                {"Best route", "QQ5NOD via QQ6NBR"},
                                                {"Last heard", "2016-01-01 12:00:07.000"}}));
  EXPECT_EQ(RowOf(*read_.nodes, 0)["Broadcasts"], "2");
  EXPECT_EQ(RowOf(*read_.nodes, 0)["Best route"], "QQ7OTH via QQ5NOD");
  EXPECT_EQ(read_.nodes->RowFilter(1), "src == QQ7OTH");
  EXPECT_EQ(read_.nodes->Order(3, true), (std::vector<std::uint32_t>{2, 0, 1}));

  FollowedSession f;
  ASSERT_TRUE(FollowSession(snapshot_, *read_.sessions, 1, f));
  EXPECT_EQ(TranscriptText(FollowTranscript(f, FollowDirections::kBoth)),
            "Welcome\n[frame " + std::to_string(again) +
                ": 6 bytes sent again]\n[1 frame not heard]\nthird\nbye\n");
  const std::vector<TranscriptPiece> from_a = FollowTranscript(f, FollowDirections::kFromInitiator);
  ASSERT_EQ(from_a.size(), 1u);
  EXPECT_EQ(from_a[0].direction, 0);
  EXPECT_EQ(FollowBytes(f, FollowDirections::kFromResponder), "Welcome\rthird\r");
  EXPECT_EQ(FollowBytes(f, FollowDirections::kBoth), "Welcome\rthird\rbye\r\n");

  std::vector<std::string> labels;
  for (const TimelineFrame& t : f.timeline) labels.push_back(t.label);
  EXPECT_EQ(labels,
            (std::vector<std::string>{"SABM P", "UA F", "I ns=0 nr=0", "I ns=2 nr=0", "I ns=2 nr=0",
                                      "RR nr=3", "I ns=0 nr=3", "RR nr=1", "DISC P", "UA F"}));
  EXPECT_EQ(f.timeline.front().frame, sabm - 1);
  EXPECT_EQ(f.timeline.back().frame, ua - 1);
  EXPECT_EQ(f.timeline[1].direction, 1);
  EXPECT_EQ(f.timeline[3].not_heard, 1);
  EXPECT_TRUE(f.timeline[4].retransmission);

  // Saved whole, and never over the capture.
  std::string error;
  EXPECT_TRUE(SaveFollowed(PathOf("t.txt"), "text", path_, &error)) << error;
  EXPECT_EQ(testing::ReadFile(PathOf("t.txt")), "text");
  const std::string capture = testing::ReadFile(path_);
  EXPECT_FALSE(SaveFollowed(path_, "text", path_, &error));
  EXPECT_NE(error.find("capture"), std::string::npos) << error;
  EXPECT_EQ(testing::ReadFile(path_), capture);
}

// Data of one text line of each kind of byte, and marks that begin a line of their own.
TEST(FollowTranscriptTest, BytesAsTextAndMarksOnLinesOfTheirOwn) {
  FollowedSession f;
  const auto data = [&](int direction, const std::string& bytes) {
    FollowPiece p;
    p.direction = direction;
    p.data.assign(bytes.begin(), bytes.end());
    f.pieces.push_back(p);
  };
  data(0, "a\tb\x01\xE9\r");
  data(0, "\nc\rd\n");  // the LF of a CR LF split over two frames
  data(1, "no end");
  f.pieces.push_back({FollowPiece::kGap, 1, -1, 3, {}});
  data(1, "x");
  const std::vector<TranscriptPiece> t = FollowTranscript(f, FollowDirections::kBoth);
  EXPECT_EQ(TranscriptText(t), "a\tb<0x01>\xC3\xA9\nc\nd\nno end\n[3 frames not heard]\nx");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_TRUE(t[2].mark);
  EXPECT_EQ(t[2].direction, 1);
}

// Generated sessions (losses at both stations and at the monitor, modulo 128 too): each session
// followed on its own reads as the tracker over the whole capture read it.
TEST_F(ConnectionsTest, FollowedSessionsAreTheWholeCapturesOwn) {
  gen::Options options;
  options.seed = 4;
  options.sessions = true;
  options.frames = 6000;
  options.mod128 = 50;
  options.loss = 10;
  options.monitor_loss = 6;
  Read(gen::GenerateCaptureBytes(options));

  // The whole capture's data by session and direction, gaps as "<gap N>".
  struct Whole : SessionSink {
    std::map<std::int64_t, std::array<std::string, 2>> text;
    void OnData(const Session& s, int d, std::int64_t, std::span<const std::uint8_t> b) override {
      text[s.number][static_cast<std::size_t>(d)].append(b.begin(), b.end());
    }
    void OnGap(const Session& s, int d, std::int64_t n) override {
      text[s.number][static_cast<std::size_t>(d)] += "<gap " + std::to_string(n) + ">";
    }
  } whole;
  LinkTracker tracker(&whole);
  FrameReader reader(snapshot_);
  StoredFrame frame;
  for (std::int64_t i = 0; i < snapshot_.FrameCount(); ++i) {
    if (!snapshot_.Frame(i).Timestamp() && reader.Read(i, frame)) tracker.Next(frame.Kiss(), i + 1);
  }
  tracker.Finish();

  const SessionTable& table = *read_.sessions;
  ASSERT_GT(table.SessionCount(), 30);
  std::int64_t gaps = 0;
  std::int64_t retransmissions = 0;
  std::map<std::string, std::array<std::int64_t, 3>> pairs;  // sessions, bytes, missed
  for (std::int64_t n = 1; n <= table.SessionCount(); ++n) {
    const Session s = table.SessionAt(n);
    SCOPED_TRACE("session " + std::to_string(n));
    FollowedSession f;
    ASSERT_TRUE(FollowSession(snapshot_, table, n, f));
    EXPECT_EQ(static_cast<std::int64_t>(f.timeline.size()), s.frames);
    for (int d = 0; d < 2; ++d) {
      std::string text;
      std::int64_t again = 0;
      for (const FollowPiece& p : f.pieces) {
        if (p.direction != d) continue;
        if (p.kind == FollowPiece::kData) text.append(p.data.begin(), p.data.end());
        if (p.kind == FollowPiece::kGap) text += "<gap " + std::to_string(p.count) + ">";
        again += p.kind == FollowPiece::kRetransmission ? 1 : 0;
      }
      EXPECT_EQ(text, whole.text[n][static_cast<std::size_t>(d)]);
      EXPECT_EQ(f.bytes[static_cast<std::size_t>(d)], s.from[static_cast<std::size_t>(d)].bytes);
      EXPECT_EQ(again, s.from[static_cast<std::size_t>(d)].retransmitted);
      retransmissions += again;
      gaps += s.from[static_cast<std::size_t>(d)].missing;
    }
    const std::string pair =
        std::min(s.initiator, s.responder) + " " + std::max(s.initiator, s.responder);
    pairs[pair][0] += 1;
    pairs[pair][1] += s.from[0].bytes + s.from[1].bytes;
    pairs[pair][2] += s.from[0].missing + s.from[1].missing;
  }
  EXPECT_GT(gaps, 5);
  EXPECT_GT(retransmissions, 10);

  // One conversation per pair (one port), with the sums of its sessions.
  const StatTable& conversations = *read_.conversations;
  ASSERT_EQ(conversations.RowCount(), pairs.size());
  for (std::size_t r = 0; r < conversations.RowCount(); ++r) {
    std::map<std::string, std::string> row = RowOf(conversations, r);
    const std::string a = row["Station A"], b = row["Station B"];
    const std::array<std::int64_t, 3>& sums = pairs[std::min(a, b) + " " + std::max(a, b)];
    SCOPED_TRACE(a + " " + b);
    EXPECT_EQ(row["Sessions"], std::to_string(sums[0]));
    EXPECT_EQ(std::stoll(row["Bytes A\u2192B"]) + std::stoll(row["Bytes B\u2192A"]), sums[1]);
    EXPECT_EQ(row["Missed"], std::to_string(sums[2]));
    EXPECT_GE(static_cast<std::int64_t>(Listed(snapshot_, conversations.RowFilter(r)).size()),
              std::stoll(row["Frames"]));
  }
  // NODES broadcasts of the generator's nodes.
  EXPECT_GT(read_.nodes->RowCount(), 0u);
}

// A host that runs the passes when told, in order.
class QueueHost : public FrameListHost {
 public:
  void StartPass(int lane, std::string_view, Work work, std::function<void()> done) override {
    StopPass(lane);
    passes_.push_back({lane, std::move(work), std::move(done)});
  }
  void StopPass(int lane) override {
    std::erase_if(passes_, [lane](const Pass& p) { return p.lane == lane; });
  }
  bool PassRunning(int lane) const override {
    return std::any_of(passes_.begin(), passes_.end(),
                       [lane](const Pass& p) { return p.lane == lane; });
  }
  void Say(const std::string& m) override { said.push_back(m); }
  void Drain(int cancel_lane = -1) {
    while (!passes_.empty()) {
      Pass p = std::move(passes_.front());
      passes_.pop_front();
      std::atomic<bool> cancel{p.lane == cancel_lane};
      p.work(&cancel, [](std::int64_t, std::int64_t) {});
      p.done();
    }
  }
  std::vector<std::string> said;

 private:
  struct Pass {
    int lane;
    Work work;
    std::function<void()> done;
  };
  std::deque<Pass> passes_;
};

TEST_F(ConnectionsTest, AListReadsItsSessionsOnceReadFiltersByThemAndFollowsAFramesSession) {
  const Address a{"QQ1AAA"};
  const Address b{"QQ2BBB"};
  Capture c;
  const std::int64_t ui = c.Add(Command(b, a, 0x03, 0xF0, "beacon"));
  c.Add(Command(b, a, 0x3F));
  c.Add(Response(a, b, 0x73));
  const std::int64_t i_frame = c.Add(Command(b, a, 0x10, 0xF0, "hello\r"));
  const std::string path = WriteCapture("l.kss", c.Bytes());

  QueueHost host;
  FrameList list(host);
  int told = 0;
  ListConnections connections(host, list, [&told] { ++told; });
  list.Open(path);
  connections.Update();  // not read yet: nothing to do
  EXPECT_FALSE(host.PassRunning(kConnectionsLane));
  host.Drain();
  // A cancelled reading is not started again for the same frames.
  connections.Update();
  host.Drain(kConnectionsLane);
  connections.Update();
  EXPECT_FALSE(host.PassRunning(kConnectionsLane));
  EXPECT_EQ(connections.Connections(), nullptr);

  list.Open(path);  // opened again: read anew, through a filter on the sessions
  ASSERT_TRUE(list.ApplyFilter("session == 1"));
  connections.Update();
  host.Drain();
  EXPECT_EQ(list.RowCount(), 0);  // no sessions known yet
  connections.Update();
  // Asked to follow while they are read: it follows once they are.
  std::shared_ptr<const FollowedSession> early;
  EXPECT_TRUE(connections.Follow(
      i_frame - 1, [&early](std::shared_ptr<const FollowedSession> f) { early = f; }));
  host.Drain();
  EXPECT_EQ(told, 1);
  ASSERT_NE(early, nullptr);
  EXPECT_EQ(early->session.number, 1);
  // Given the sessions, the list reads its filter anew: the session's SABM, UA and I frame.
  EXPECT_EQ(list.CaptureOrder(), (std::vector<std::int64_t>{ui + 1, ui + 3, i_frame - 1}));
  ASSERT_NE(connections.Connections(), nullptr);
  EXPECT_EQ(connections.Tables().size(), 1u);  // conversations; no nodes
  EXPECT_EQ(connections.SessionOfFrame(ui - 1), 0);
  EXPECT_EQ(connections.SessionOfFrame(i_frame - 1), 1);

  EXPECT_FALSE(connections.Follow(ui - 1, {}));
  EXPECT_EQ(host.said.back(), "Frame " + std::to_string(ui) + " belongs to no connected session.");
  std::shared_ptr<const FollowedSession> followed;
  EXPECT_TRUE(connections.Follow(
      i_frame - 1, [&followed](std::shared_ptr<const FollowedSession> f) { followed = f; }));
  host.Drain();
  ASSERT_NE(followed, nullptr);
  EXPECT_EQ(FollowBytes(*followed, FollowDirections::kBoth), "hello\r");
}

}  // namespace
}  // namespace packscope
