// The frame list's session table over generated sessions, against the converter: its sessions
// are the sessions layout's, each frame's facts jsonl's "session", and with it the rows, the
// details and the filter read modulo-128 frames with two control bytes.
#include "framelist/session_table.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "capture/headless_window.h"
#include "commands/layouts.h"
#include "filter/filter.h"
#include "framelist/frame_details.h"
#include "framelist/frame_passes.h"
#include "framelist/frame_reader.h"
#include "framelist/frame_row.h"
#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using nlohmann::json;

class SessionTableTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    gen::Options options;
    options.seed = 9;
    options.sessions = true;
    options.frames = 5000;
    options.mod128 = 60;
    options.loss = 10;
    options.monitor_loss = 5;
    path_ = WriteCapture("s.kss", gen::GenerateCaptureBytes(options));
    index_ = std::make_unique<FrameIndex>(path_);
    ASSERT_EQ(index_->Extend().status, IndexStatus::kAtEnd);
    snapshot_ = index_->Snapshot();
    auto table = std::make_shared<SessionTable>();
    ASSERT_TRUE(ReadSessions(snapshot_, *table));
    table_ = table;
  }

  std::vector<json> Converted(std::string_view layout) {
    DecoderState state;
    state.CaptureFileName = path_;
    HeadlessWindow window;
    EXPECT_TRUE(RunLayout(state, window, *FindLayout(layout), PathOf("out")));
    std::vector<json> out;
    for (const std::string& line : testing::Lines(testing::ReadFile(PathOf("out")))) {
      out.push_back(json::parse(line));
    }
    return out;
  }

  std::string path_;
  std::unique_ptr<FrameIndex> index_;
  IndexSnapshot snapshot_;
  std::shared_ptr<const SessionTable> table_;
};

TEST_F(SessionTableTest, SessionsAndFactsAreTheConvertersOwn) {
  const std::vector<json> sessions = Converted("sessions");
  ASSERT_EQ(table_->SessionCount(), static_cast<std::int64_t>(sessions.size()));
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    const Session s = table_->SessionAt(static_cast<std::int64_t>(i + 1));
    const json& j = sessions[i];
    SCOPED_TRACE(j.dump().substr(0, 200));
    EXPECT_EQ(s.number, j["session"]);
    EXPECT_EQ(s.initiator, j["initiator"]);
    EXPECT_EQ(s.responder, j["responder"]);
    EXPECT_EQ(OutcomeName(s.outcome),
              j["outcome"].is_null() ? "" : j["outcome"].get<std::string>());
    EXPECT_EQ(s.modulo, j["modulo"]);
    EXPECT_EQ(s.first_frame, j["first_frame"]);
    EXPECT_EQ(s.last_frame, j["last_frame"]);
    EXPECT_EQ(s.frames, j["frames"]);
    EXPECT_EQ(s.from[1].bytes, j["from_responder"]["bytes"]);
    EXPECT_EQ(s.from[0].missing, j["from_initiator"]["missing"]);
  }
  // Every frame's session and control field, looked up out of order (backwards).
  std::vector<json> frames = Converted("jsonl");
  FrameReader reader(snapshot_);
  StoredFrame frame;
  std::int64_t in_sessions = 0;
  for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
    const std::int64_t index = (*it)["frame"].get<std::int64_t>() - 1;
    ASSERT_TRUE(reader.Read(index, frame));
    const LinkFacts facts = table_->FactsOf(index, frame.Kiss());
    EXPECT_EQ(facts.session > 0 ? json(facts.session) : json(), (*it)["session"]) << index;
    in_sessions += facts.session > 0 ? 1 : 0;
    const Ax25Details d = DescribeAx25(frame.Kiss(), facts.modulo);
    if (d.problem == Ax25Problem::kNone) {
      EXPECT_EQ(d.nr ? json(*d.nr) : json(), (*it)["nr"]) << index;
    }
  }
  EXPECT_GT(in_sessions, 1000);
}

TEST_F(SessionTableTest, RowsDetailsAndFilterReadModulo128) {
  const std::vector<json> frames = Converted("jsonl");
  // The filter: a session's frames, and I frames whose PID lies behind two control bytes.
  const auto listed = [&](const std::string& expression) {
    const std::optional<Filter> filter = Filter::Parse(expression);
    EXPECT_TRUE(filter) << expression;
    std::vector<std::int64_t> rows;
    ListFrames(snapshot_, 0, snapshot_.FrameCount(), &*filter, rows, nullptr, nullptr, {}, {},
               table_.get());
    return rows;
  };
  for (const std::string& expression :
       {std::string("session == 7"), std::string("type == I and pid == 0xF0 and session")}) {
    std::vector<std::int64_t> expected;
    for (const json& j : frames) {
      const bool i_f0 = j["kind"] == "I" && j["pid"] == 0xF0 && j["session"].is_number();
      if (expression[0] == 's' ? j["session"] == 7 : i_f0)
        expected.push_back(j["frame"].get<std::int64_t>() - 1);
    }
    EXPECT_GT(expected.size(), 3u);
    EXPECT_EQ(listed(expression), expected) << expression;
  }

  // Rows: a modulo-128 I frame's PID is the byte behind its two control bytes; the details show
  // both bytes and the frame's session.
  FrameFormatter formatter(snapshot_, {});
  formatter.SetSessions(table_);
  FrameReader reader(snapshot_);
  StoredFrame frame;
  AprsTimeline aprs(snapshot_, {});
  int checked = 0;
  for (const json& j : frames) {
    if (j["kind"] != "I" || j["session"].is_null()) continue;
    const std::int64_t index = j["frame"].get<std::int64_t>() - 1;
    ASSERT_TRUE(reader.Read(index, frame));
    if (table_->FactsOf(index, frame.Kiss()).modulo != kModulo128) continue;
    FrameRow row;
    formatter.Format(index, -1, row);
    EXPECT_EQ(row.text[static_cast<std::size_t>(FrameColumn::kPid)], "F0");
    const std::vector<DetailNode> tree =
        FrameDetails(frame, snapshot_.Frame(index), "", aprs, table_.get());
    ASSERT_GE(tree.size(), 3u);
    bool control = false;
    for (const DetailNode& n : tree[1].children) {
      control = control || n.text.find("modulo 128") != std::string::npos;
    }
    EXPECT_TRUE(control) << tree[1].text;
    EXPECT_EQ(tree[2].text.rfind("Session " + j["session"].dump() + ": ", 0), 0u) << tree[2].text;
    if (++checked == 50) break;
  }
  EXPECT_EQ(checked, 50);
}

}  // namespace
}  // namespace packscope
