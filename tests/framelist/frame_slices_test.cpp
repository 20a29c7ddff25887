// The listing over slices of the index against the listing in one pass: the same rows, end and
// counts for filters that read APRS telemetry across a slice's border, connected sessions and
// the receivers of a merged capture; a cancelled listing says so and keeps a prefix of the rows.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "capture/frame_index.h"
#include "filter/filter.h"
#include "framelist/capture_survey.h"
#include "framelist/frame_passes.h"
#include "framelist/merged_capture.h"
#include "framelist/session_table.h"
#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Ax25Frame;
using testing::Kiss;

std::string Ui(const std::string& source, const std::string& info) {
  return Kiss(Ax25Frame({"APRS"}, {source}, {}, 0x03, 0xF0, info));
}

struct Listed {
  std::vector<std::int64_t> rows;
  std::int64_t unheld = 0;
  PassEnd end = PassEnd::kDone;
};

class FrameSlicesTest : public testing::TempDirTest {
 protected:
  IndexSnapshot Index(const std::string& path) {
    indexes_.push_back(std::make_unique<FrameIndex>(path));
    EXPECT_EQ(indexes_.back()->Extend().status, IndexStatus::kAtEnd);
    return indexes_.back()->Snapshot();
  }

  DefinitionFrames Definitions(const IndexSnapshot& snapshot) {
    CaptureSurvey survey;
    SurveyCapture(snapshot, survey);
    return std::make_shared<const std::vector<std::int64_t>>(survey.definitions);
  }

  // Every expression listed in one slice and in 2, 3 and 4: the same. Returns the rows of the
  // last expression, so that a case can show that it lists something.
  std::vector<std::int64_t> ExpectSlicesListAsOne(const IndexSnapshot& snapshot,
                                                  const std::vector<std::string>& expressions,
                                                  const DefinitionFrames& definitions = {},
                                                  const SessionTable* sessions = nullptr,
                                                  const MergedCapture* merged = nullptr) {
    Listed one;
    for (const std::string& expression : expressions) {
      SCOPED_TRACE(expression);
      const std::optional<Filter> filter = Filter::Parse(expression);
      EXPECT_TRUE(filter);
      if (!filter) continue;
      one = Listed();
      one.end = ListFrames(snapshot, 0, snapshot.FrameCount(), &*filter, one.rows, &one.unheld,
                           nullptr, {}, definitions, sessions, merged);
      for (int slices = 2; slices <= 4; ++slices) {
        SCOPED_TRACE(slices);
        Listed sliced;
        std::int64_t last_done = 0;
        std::int64_t whole = -1;
        const PassProgress progress = [&](std::int64_t done, std::int64_t total) {
          EXPECT_GE(done, last_done);  // the slices' frames summed: it never goes back
          last_done = done;
          whole = total;
        };
        sliced.end =
            ListFramesInSlices(slices, snapshot, 0, snapshot.FrameCount(), &*filter, sliced.rows,
                               &sliced.unheld, nullptr, progress, definitions, sessions, merged);
        EXPECT_EQ(sliced.end, one.end);
        EXPECT_EQ(sliced.unheld, one.unheld);
        EXPECT_EQ(sliced.rows, one.rows);
        EXPECT_EQ(sliced.rows.capacity(), sliced.rows.size());  // joined at their exact size
        EXPECT_EQ(whole, snapshot.FrameCount());
        EXPECT_LE(last_done, whole);
      }
    }
    return one.rows;
  }

  std::vector<std::unique_ptr<FrameIndex>> indexes_;
};

// Definitions in the first slice, the reports they scale in the last, reports before them
// unscaled: the slices behind the first read them with the definitions sent before them.
TEST_F(FrameSlicesTest, TelemetryIsScaledByDefinitionsOfEarlierSlices) {
  std::string capture = Ui("QQ1TLM", "T#001,120,50,7,0,0,10100000");
  capture += Ui("QQ1TLM", ":QQ1TLM   :PARM.Battery,Temp");
  capture += Ui("QQ1TLM", ":QQ1TLM   :EQNS.0,0.1,0,0,1,-40");
  for (int i = 0; i < 400; ++i) capture += Ui("QQ2FIL", ">filler " + std::to_string(i));
  capture += Ui("QQ1TLM", "T#002,130,50,7,0,0,10100000");
  const IndexSnapshot snapshot = Index(WriteCapture("tlm.kss", capture));
  const DefinitionFrames definitions = Definitions(snapshot);
  ASSERT_EQ(definitions->size(), 2u);
  const std::vector<std::int64_t> rows = ExpectSlicesListAsOne(
      snapshot, {"aprs.type == telemetry", "aprs.values.1 > 12"}, definitions);
  EXPECT_EQ(rows, (std::vector<std::int64_t>{snapshot.FrameCount() - 1}));  // 13, scaled

  // Generated traffic of every kind, with telemetry reports and their definitions throughout.
  gen::Options o;
  o.seed = 4;
  o.frames = 6000;
  o.mix = true;
  o.telemetry = true;
  const IndexSnapshot mixed = Index(WriteCapture("mix.kss", gen::GenerateCaptureBytes(o)));
  const DefinitionFrames mixed_definitions = Definitions(mixed);
  EXPECT_GT(mixed_definitions->size(), 4u);
  EXPECT_FALSE(ExpectSlicesListAsOne(mixed,
                                     {"call ~ \"^QQ[0-4]\" and type in {UI, I, RR} and not problem",
                                      "aprs.values.1 >= 0"},
                                     mixed_definitions)
                   .empty());
}

TEST_F(FrameSlicesTest, SessionsAndReceiversAreThoseOfOnePass) {
  gen::Options o;
  o.seed = 9;
  o.sessions = true;
  o.frames = 4000;
  o.mod128 = 50;
  const IndexSnapshot sessions = Index(WriteCapture("s.kss", gen::GenerateCaptureBytes(o)));
  SessionTable table;
  ASSERT_TRUE(ReadSessions(sessions, table));
  EXPECT_FALSE(ExpectSlicesListAsOne(
                   sessions, {"session == 7", "type == I and pid == 0xF0 and session"}, {}, &table)
                   .empty());

  gen::Options t;
  t.seed = 5;
  t.frames = 3000;
  t.doubles_percent = 25;
  t.receivers = {{"north.kss", 80, 0}, {"south.kss", 60, 1000}, {"west.kss", 40, -700}};
  const std::vector<std::string> bytes = gen::GenerateTrafficBytes(t);
  std::vector<std::string> captures;
  for (std::size_t r = 0; r < bytes.size(); ++r) {
    captures.push_back(WriteCapture(t.receivers[r].output, bytes[r]));
  }
  const std::shared_ptr<const MergedCapture> merged = MergedCapture::Make(captures, {});
  ASSERT_NE(merged, nullptr);
  const IndexSnapshot snapshot = Index(merged->Path());
  EXPECT_FALSE(ExpectSlicesListAsOne(snapshot, {"heard_by ~ \"west\"", "heard_count >= 2"}, {},
                                     nullptr, merged.get())
                   .empty());
}

TEST_F(FrameSlicesTest, CancelledListingSaysSoAndKeepsAPrefix) {
  gen::Options o;
  o.seed = 3;
  o.frames = 40000;  // slices long enough to look at the flag after they begin
  const IndexSnapshot snapshot = Index(WriteCapture("c.kss", gen::GenerateCaptureBytes(o)));
  const std::optional<Filter> filter = Filter::Parse("len > 20");
  ASSERT_TRUE(filter);
  std::vector<std::int64_t> all;
  ListFrames(snapshot, 0, snapshot.FrameCount(), &*filter, all);
  for (const bool at_once : {true, false}) {
    SCOPED_TRACE(at_once);
    std::atomic<bool> cancel = at_once;
    std::vector<std::int64_t> rows;
    // Cancelled from the first progress on, while the slices run.
    const PassEnd end =
        ListFramesInSlices(4, snapshot, 0, snapshot.FrameCount(), &*filter, rows, nullptr, &cancel,
                           [&](std::int64_t, std::int64_t) { cancel = true; });
    EXPECT_EQ(end, PassEnd::kCancelled);
    ASSERT_LT(rows.size(), all.size());
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), all.begin()));
  }
}

TEST(ListingSlicesTest, OneACoreUpToFourAndNoneTooSmall) {
  struct Case {
    std::int64_t frames;
    unsigned cores;
    int slices;
  };
  for (const Case& c : {Case{10'000'000, 0, 1}, Case{10'000'000, 1, 1}, Case{10'000'000, 2, 2},
                        Case{10'000'000, 64, 4}, Case{kMinSliceFrames - 1, 8, 1},
                        Case{3 * kMinSliceFrames, 8, 3}}) {
    EXPECT_EQ(ListingSlices(c.frames, c.cores), c.slices) << c.frames << " " << c.cores;
  }
}

}  // namespace
}  // namespace packscope
