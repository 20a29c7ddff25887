// Several receivers' captures merged in the frame list: the merged capture and who heard each of
// its frames, the list over it (the Receivers column, heard_by, the Receivers table, the export
// with heard_by), the comparison of two receivers, and the captures it refuses.
#include "framelist/merged_capture.h"

#include <gtest/gtest.h>

#include <deque>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>

#include "capture/headless_window.h"
#include "commands/layouts.h"
#include "framelist/frame_list.h"
#include "framelist/merged_source.h"
#include "framelist/receiver_tables.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;

constexpr std::int64_t kT0 = 1451651696000;  // 2016-01-01 12:34:56 UTC

std::string Ui(const std::string& source, const std::string& info) {
  return Ax25Frame({"APRS"}, {source}, {}, 0x03, 0xF0, info);
}

// A capture: each frame behind a binary stamp of its time (milliseconds after kT0).
std::string Capture(const std::vector<std::pair<std::int64_t, std::string>>& frames) {
  std::string out;
  for (const auto& [ms, frame] : frames) {
    out += Kiss(BinaryStamp(static_cast<std::uint64_t>(kT0 + ms)));
    out += Kiss(frame);
  }
  return out;
}

// Runs the passes at once, in the order they were started.
class Host : public FrameListHost {
 public:
  void StartPass(int lane, std::string_view, Work work, std::function<void()> done) override {
    StopPass(lane);
    passes_.push_back({lane, std::move(work), std::move(done)});
  }
  void StopPass(int lane) override {
    std::erase_if(passes_, [lane](const Pass& p) { return p.lane == lane; });
  }
  bool PassRunning(int lane) const override {
    return running_ == lane || std::any_of(passes_.begin(), passes_.end(),
                                           [lane](const Pass& p) { return p.lane == lane; });
  }
  void ShowError(const std::string& m) override { errors.push_back(m); }
  void Drain() {
    while (!passes_.empty()) {
      Pass p = std::move(passes_.front());
      passes_.pop_front();
      std::atomic<bool> cancel{false};
      running_ = p.lane;
      p.work(&cancel, [](std::int64_t, std::int64_t) {});
      running_ = -1;
      if (p.done) p.done();
    }
  }
  std::vector<std::string> errors;

 private:
  struct Pass {
    int lane;
    Work work;
    std::function<void()> done;
  };
  std::deque<Pass> passes_;
  int running_ = -1;
};

class MergedCaptureTest : public testing::TempDirTest {
 protected:
  // north hears A and B, south hears A (a second late), C and B twice (direct and digipeated),
  // west hears C only.
  std::vector<std::string> Write() {
    return {
        WriteCapture("north.kss", Capture({{0, Ui("QQ1AA", "A")}, {60000, Ui("QQ2BB", "B")}})),
        WriteCapture("south.kss", Capture({{1000, Ui("QQ1AA", "A")},
                                           {30000, Ui("QQ3CC", "C")},
                                           {60200, Ui("QQ2BB", "B")},
                                           {60900, Ui("QQ2BB", "B")}})),
        WriteCapture("west.kss", Capture({{29500, Ui("QQ3CC", "C")}})),
    };
  }

  std::vector<std::string> Column(FrameList& list, int column) {
    std::vector<std::string> texts;
    for (const std::int64_t frame : list.Rows()) {
      texts.push_back(list.Sources().columns->at(static_cast<std::size_t>(column)).text(frame));
    }
    return texts;
  }

  Host host_;
};

// The merged file is the stream the converter's kiss layout writes, and the table names for each
// of its frames (found through the file's own index) the receivers the merge gave that packet.
TEST_F(MergedCaptureTest, FramesOfTheMergedFileHaveTheirPacketsReceivers) {
  const std::vector<std::string> captures = Write();
  const std::shared_ptr<const MergedCapture> merged = MergedCapture::Make(captures, {});
  ASSERT_NE(merged, nullptr);
  EXPECT_EQ(merged->Names(), (std::vector<std::string>{"north.kss", "south.kss", "west.kss"}));
  EXPECT_EQ(merged->Packets(), 3);

  // The stream again, straight from the merge.
  std::vector<MergeInput> inputs;
  std::vector<std::unique_ptr<FrameIndex>> indexes;
  for (const std::string& c : captures) {
    indexes.push_back(std::make_unique<FrameIndex>(c));
    ASSERT_EQ(indexes.back()->Extend().status, IndexStatus::kAtEnd);
    inputs.push_back({c.substr(c.rfind('/') + 1), indexes.back()->Snapshot()});
  }
  MergedSource source(std::move(inputs), {});
  std::string stream;
  std::vector<std::uint8_t> block(64);  // small blocks: packets longer than a block too
  for (std::size_t n; (n = source.Read(block.data(), block.size())) > 0;) {
    stream.append(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
  }
  EXPECT_EQ(testing::ReadFile(merged->Path()), stream);

  FrameIndex index(merged->Path());
  ASSERT_EQ(index.Extend().status, IndexStatus::kAtEnd);
  const IndexSnapshot s = index.Snapshot();
  std::vector<std::string> heard;
  std::vector<Reception> receptions;
  for (std::int64_t i = 0; i < s.FrameCount(); ++i) {
    merged->HeardOf(i, receptions);
    EXPECT_EQ(s.Frame(i).Timestamp(), receptions.empty()) << "frame " << i;
    if (!receptions.empty()) heard.push_back(merged->HeardText(i));
  }
  EXPECT_EQ(heard, (std::vector<std::string>{"north.kss south.kss", "south.kss west.kss",
                                             "north.kss south.kss"}));
  // South's copy of A a second late; west heard C half a second before south.
  merged->HeardOf(1, receptions);
  EXPECT_EQ(receptions, (std::vector<Reception>{{0, 0}, {1, 1000}}));
  merged->HeardOf(3, receptions);
  EXPECT_EQ(receptions, (std::vector<Reception>{{1, 500}, {2, 0}}));
  merged->HeardOf(s.FrameCount(), receptions);
  EXPECT_TRUE(receptions.empty());
  EXPECT_EQ(merged->Title(), "north.kss, south.kss, west.kss");
}

TEST_F(MergedCaptureTest, ScratchFileGoesWithTheMerge) {
  std::shared_ptr<const MergedCapture> merged = MergedCapture::Make(Write(), {});
  ASSERT_NE(merged, nullptr);
  const std::string path = merged->Path();
  EXPECT_TRUE(testing::FileExists(path));
  merged.reset();
  EXPECT_FALSE(testing::FileExists(path));
}

TEST_F(MergedCaptureTest, ListShowsReceiversFiltersByThemAndTalliesThem) {
  FrameList list(host_);
  list.OpenMerged(Write());
  host_.Drain();
  ASSERT_TRUE(host_.errors.empty()) << host_.errors.front();
  ASSERT_NE(list.Merged(), nullptr);
  EXPECT_EQ(list.RowCount(), 3);
  ASSERT_EQ(list.ColumnCount(), kFrameColumnCount + 1);
  EXPECT_EQ(list.ColumnInfoOf(kFrameColumnCount).title, "Receivers");
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"north.kss south.kss", "south.kss west.kss",
                                                       "north.kss south.kss"}));
  // The details say who heard the frame, and when.
  const DetailNode heard = list.Show(list.Rows()[1]).details.back();
  EXPECT_EQ(heard.text, "Heard by 2 receivers");
  ASSERT_EQ(heard.children.size(), 2u);
  EXPECT_EQ(heard.children[0].text, "south.kss +0.500 s");
  EXPECT_EQ(heard.children[1].text, "west.kss +0.000 s");
  EXPECT_EQ(heard.children[1].filter, "heard_by == west.kss");

  const struct {
    const char* filter;
    std::int64_t rows;
  } filters[] = {
      {"heard_by == west.kss", 1},
      {"heard_by == north.kss and not heard_by == west.kss", 2},
      {"heard_count == 2", 3},
      {"heard_by == east.kss", 0},
  };
  for (const auto& f : filters) {
    ASSERT_TRUE(list.ApplyFilter(f.filter)) << f.filter;
    host_.Drain();
    EXPECT_EQ(list.RowCount(), f.rows) << f.filter;
  }
  ASSERT_TRUE(list.ApplyFilter("src == QQ2BB"));
  host_.Drain();

  // The Receivers table of the rows shown, then of the whole capture.
  const auto receivers = [&list]() -> std::shared_ptr<const StatTable> {
    if (list.Statistics() == nullptr) return nullptr;
    for (const auto& t : list.Statistics()->tables) {
      if (t->Title() == "Receivers") return t;
    }
    return nullptr;
  };
  const auto rows = [](const StatTable& t) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < t.RowCount(); ++r) {
      std::string line;
      for (int c = 0; c < static_cast<int>(t.Columns().size()); ++c) line += t.Cell(r, c) + "|";
      out.push_back(line);
    }
    return out;
  };
  ASSERT_NE(receivers(), nullptr);
  EXPECT_EQ(rows(*receivers()),
            (std::vector<std::string>{"north.kss|1|0|0|-200|", "south.kss|1|0|0|200|",
                                      "west.kss|0|0|1||"}));
  list.SetStatisticsOfWholeCapture(true);
  host_.Drain();
  ASSERT_NE(receivers(), nullptr);
  EXPECT_EQ(rows(*receivers()),
            (std::vector<std::string>{"north.kss|2|0|1|-600|", "south.kss|3|0|0|500|",
                                      "west.kss|1|0|2|-500|"}));
  EXPECT_EQ(receivers()->RowFilter(2), "heard_by == west.kss");

  // A single capture afterwards (the filter stays): no receivers.
  list.Open(list.Merged()->Captures().front());
  host_.Drain();
  EXPECT_EQ(list.Merged(), nullptr);
  EXPECT_EQ(Column(list, 0), (std::vector<std::string>{""}));
}

// The export of a merge writes heard_by and heard_offset_ms, as packscope-convert --merge does,
// and only for the rows the filter keeps.
TEST_F(MergedCaptureTest, ExportWritesWhoHeardEachFrame) {
  FrameList list(host_);
  list.OpenMerged(Write());
  host_.Drain();
  ASSERT_TRUE(list.ApplyFilter("heard_by == south.kss and heard_by == north.kss"));
  host_.Drain();
  HeadlessWindow window;
  const Layout* jsonl = LayoutForFileName("x.jsonl", nullptr);
  ASSERT_NE(jsonl, nullptr);
  std::int64_t written = 0;
  ASSERT_TRUE(list.Export(PathOf("out.jsonl"), *jsonl, window, &written));
  EXPECT_EQ(written, 2);
  std::istringstream lines(testing::ReadFile(PathOf("out.jsonl")));
  std::vector<std::string> got;
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json j = nlohmann::json::parse(line);
    got.push_back(j["heard_by"].dump() + " " + j["heard_offset_ms"].dump());
  }
  EXPECT_EQ(got, (std::vector<std::string>{
                     R"(["north.kss","south.kss"] {"north.kss":0,"south.kss":1000})",
                     R"(["north.kss","south.kss"] {"north.kss":0,"south.kss":200})"}));
}

TEST_F(MergedCaptureTest, ComparesTwoReceiversByStationAndByTime) {
  FrameList list(host_);
  list.OpenMerged(Write());
  host_.Drain();
  ReceiverComparison c;
  ASSERT_EQ(CompareReceivers(*list.Merged(), list.RowsSnapshot(), list.CaptureOrder(), 0, 1, c),
            PassEnd::kDone);
  EXPECT_EQ(std::make_tuple(c.both, c.only_a, c.only_b), std::make_tuple(2, 0, 1));
  const auto cells = [](const StatTable& t) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < t.RowCount(); ++r) {
      out.push_back(t.Cell(r, 0) + " " + t.Cell(r, 1) + " " + t.Cell(r, 2) + " " + t.Cell(r, 3));
    }
    return out;
  };
  EXPECT_EQ(cells(*c.stations),
            (std::vector<std::string>{"QQ1AA 1 0 0", "QQ2BB 1 0 0", "QQ3CC 0 0 1"}));
  EXPECT_EQ(c.stations->Columns()[2].title, "Only north.kss");
  // Minutes 12:34 (A), 12:35 (C at :26, B at :56).
  EXPECT_EQ(cells(*c.times),
            (std::vector<std::string>{"2016-01-01T12:34 1 0 0", "2016-01-01T12:35 1 0 1"}));
  // A row's filter lists what one heard and the other did not.
  ASSERT_TRUE(list.ApplyFilter(c.stations->RowFilter(2)));
  host_.Drain();
  EXPECT_EQ(list.RowCount(), 1);
  ASSERT_TRUE(list.ApplyFilter(c.times->RowFilter(1)));
  host_.Drain();
  EXPECT_EQ(list.RowCount(), 1);
  ASSERT_TRUE(list.ApplyFilter(c.stations->RowFilter(0)));
  host_.Drain();
  EXPECT_EQ(list.RowCount(), 0);
  // Sorted by the frames only the second heard, the most first.
  EXPECT_EQ(c.stations->Order(3, true).front(), 2u);
}

TEST_F(MergedCaptureTest, RefusesWhatCannotBeMergedAndListsNothing) {
  FrameList list(host_);
  const std::string unstamped = WriteCapture("plain.kss", Kiss(Ui("QQ1AA", "A")));
  const struct {
    std::vector<std::string> captures;
    const char* says;
  } cases[] = {
      {{WriteCapture("a.kss", Capture({{0, Ui("QQ1AA", "A")}})), unstamped}, "plain.kss"},
      {{WriteCapture("b.kss", Capture({{0, Ui("QQ1AA", "A")}})), PathOf("missing.kss")},
       "missing.kss"},
  };
  for (const auto& c : cases) {
    host_.errors.clear();
    list.OpenMerged(c.captures);
    host_.Drain();
    ASSERT_EQ(host_.errors.size(), 1u) << c.says;
    EXPECT_NE(host_.errors.front().find(c.says), std::string::npos) << host_.errors.front();
    EXPECT_EQ(list.Merged(), nullptr);
    EXPECT_EQ(list.RowCount(), 0);
  }
}

}  // namespace
}  // namespace packscope
