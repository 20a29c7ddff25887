// The frame list itself (FrameList), driven as a window drives it, over generated captures: its
// rows and their texts against the converter's jsonl, the listing while the capture is read,
// through filters, as the capture grows on disk, sorted and searched, exported, surveyed; the
// filter tests of its cells and details, its colouring. The passes run at once, on the test's
// thread, through a host that records what the list tells it.
#include "framelist/frame_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "aprs/aprs_words.h"
#include "ax25/ax25_details.h"
#include "capture/headless_window.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "framelist/frame_list_text.h"
#include "gencapture/capture_generator.h"
#include "render/hex.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using nlohmann::json;
using testing::Ax25Frame;
using testing::Kiss;
using testing::TextStamp;

// Runs the passes when told, in the order they were started, and checks the list's account of
// its rows: a change told before and after, the row counts it gives.
class TestHost : public FrameListHost {
 public:
  void StartPass(int lane, std::string_view, Work work, std::function<void()> done) override {
    StopPass(lane);
    passes_.push_back({lane, std::move(work), std::move(done)});
  }
  void StopPass(int lane) override {
    std::erase_if(passes_, [lane](const Pass& p) { return p.lane == lane; });
    if (running_ == lane) dropped_ = true;
  }
  bool PassRunning(int lane) const override {
    if (running_ == lane && !dropped_) return true;
    return std::any_of(passes_.begin(), passes_.end(),
                       [lane](const Pass& p) { return p.lane == lane; });
  }
  void RowsAboutToChange(const RowsChange& c) override {
    EXPECT_FALSE(in_change_) << "a change inside a change";
    in_change_ = true;
    before_ = list->RowCount();
    if (c.kind == RowsChange::kAppend) {
      EXPECT_EQ(c.first, before_);
    } else if (c.kind == RowsChange::kRemove) {
      EXPECT_EQ(c.first + c.count, before_);
    }
  }
  void RowsChanged(const RowsChange& c) override {
    EXPECT_TRUE(in_change_);
    in_change_ = false;
    changes.push_back(c.kind);
    switch (c.kind) {
      case RowsChange::kReset:
        EXPECT_EQ(list->RowCount(), c.count);
        break;
      case RowsChange::kAppend:
        EXPECT_EQ(list->RowCount(), before_ + c.count);
        break;
      case RowsChange::kRemove:
        EXPECT_EQ(list->RowCount(), c.first);
        break;
      case RowsChange::kReorder:
        EXPECT_EQ(list->RowCount(), before_);
        break;
    }
  }
  void ListChanged(unsigned what) override { changed |= what; }
  void Found(std::int64_t row) override { found = row; }
  void Say(const std::string& m) override { said.push_back(m); }
  void ShowError(const std::string& m) override { errors.push_back(m); }

  // Runs the passes started, and those their ends start, until none is left. on_progress is
  // called with the lane at each report of progress (the reading reports after each megabyte);
  // cancel_lane's next pass is cancelled before it begins, cancel_reading's at its first report.
  void Drain() {
    while (!passes_.empty()) {
      Pass p = std::move(passes_.front());
      passes_.pop_front();
      std::atomic<bool> cancel{cancel_lane == p.lane};
      if (cancel) cancel_lane = -1;
      const bool at_progress = cancel_reading && p.lane == kReadingLane;
      if (at_progress) cancel_reading = false;
      running_ = p.lane;
      dropped_ = false;
      p.work(&cancel, [&](std::int64_t, std::int64_t) {
        if (at_progress) cancel = true;
        if (on_progress) on_progress(p.lane);
      });
      running_ = -1;
      if (!dropped_ && p.done) p.done();
    }
  }

  FrameList* list = nullptr;
  std::vector<RowsChange::Kind> changes;
  unsigned changed = 0;
  std::int64_t found = -2;
  std::vector<std::string> said;
  std::vector<std::string> errors;
  std::function<void(int lane)> on_progress;
  int cancel_lane = -1;
  bool cancel_reading = false;

 private:
  struct Pass {
    int lane;
    Work work;
    std::function<void()> done;
  };
  std::deque<Pass> passes_;
  int running_ = -1;
  bool dropped_ = false;
  bool in_change_ = false;
  std::int64_t before_ = 0;
};

std::string Ui(const std::string& source, const std::string& info) {
  return Ax25Frame({"APRS"}, {source}, {}, 0x03, 0xF0, info);
}

// Generated traffic (every frame kind, digipeaters, escapes, telemetry), then frames that are
// not AX.25, a text stamp, telemetry definitions and a report, a frame with a FEND inside.
std::string Capture(std::int64_t frames = 600) {
  gen::Options options;
  options.seed = 5;
  options.frames = frames;
  options.mix = true;
  options.max_digis = 3;
  return gen::GenerateCaptureBytes(options) + Kiss(std::string("\x00\x82\xA0", 3)) +
         Kiss(std::string("\x01\x05", 2)) + Kiss(TextStamp("2016-01-01 13:00:00.000 UTC")) +
         Kiss(Ui("QQ1TLM", ":QQ1TLM   :PARM.Battery,Temp")) +
         Kiss(Ui("QQ1TLM", ":QQ1TLM   :EQNS.0,0.1,0,0,1,-40")) +
         Kiss(Ui("QQ1TLM", "T#002,120,50,7,0,0,10100000")) +
         Kiss(Ui("QQ2ESC", std::string(">fend \xC0 fesc \xDB")));
}

std::string Frames(const char* source, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += Kiss(Ui(source, ">" + std::to_string(i)));
  return out;
}

std::string Text(const json& j) { return j.is_null() ? std::string() : j.get<std::string>(); }

class FrameListTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    host_.list = &list_;
    path_ = WriteCapture("pass1.kss", bytes_ = Capture());
  }

  void Open() {
    list_.Open(path_);
    host_.Drain();
  }
  void Grow(const std::string& more) {
    bytes_ += more;
    testing::WriteFile(path_, bytes_);
  }

  // The converter's output of a layout over the capture, through the filter.
  std::string Convert(std::string_view layout, const std::string& expression = "") {
    DecoderState state;
    state.CaptureFileName = path_;
    std::optional<Filter> filter;
    std::optional<CaptureFilter> predicate;
    if (!expression.empty()) {
      filter = Filter::Parse(expression);
      predicate.emplace(*filter);
      state.FrameFilter = &*predicate;
    }
    HeadlessWindow window;
    window.SetCheck2(FindLayout(layout)->kind != LayoutKind::kFrameWriter);
    EXPECT_TRUE(RunLayout(state, window, *FindLayout(layout), PathOf("expected")));
    return testing::ReadFile(PathOf("expected"));
  }
  // The frames (index numbers) the converter's jsonl holds through the filter.
  std::vector<std::int64_t> Expected(const std::string& expression = "") {
    std::vector<std::int64_t> frames;
    for (const std::string& line : testing::Lines(Convert("jsonl", expression))) {
      frames.push_back(json::parse(line)["frame"].get<std::int64_t>() - 1);
    }
    return frames;
  }
  std::vector<std::string> Column(FrameColumn c) {
    FrameFormatter formatter(list_.RowsSnapshot(), list_.Sources());
    std::vector<std::string> out;
    FrameRow row;
    for (std::int64_t f : list_.Rows()) {
      formatter.Format(f, PreviousListed(list_.CaptureOrder(), f), row);
      out.push_back(row.text[static_cast<std::size_t>(c)]);
    }
    return out;
  }

  TestHost host_;
  FrameList list_{host_};
  std::string path_;
  std::string bytes_;
};

TEST_F(FrameListTest, RowsAreTheJsonlLayoutsFrames) {
  Open();
  EXPECT_TRUE(list_.Indexed());
  std::vector<json> objects;
  for (const std::string& line : testing::Lines(Convert("jsonl"))) {
    objects.push_back(json::parse(line));
  }
  ASSERT_EQ(list_.RowCount(), static_cast<std::int64_t>(objects.size()));
  EXPECT_EQ(list_.FramesTotal(), list_.RowCount());
  // APRS frames: their words as one decoder reading the capture in order gives them.
  AprsDecoder aprs;
  FrameFormatter formatter(list_.RowsSnapshot(), list_.Sources());
  FrameRow row;
  for (std::int64_t r = 0; r < list_.RowCount(); ++r) {
    const json& o = objects[static_cast<std::size_t>(r)];
    const std::int64_t frame = list_.FrameOfRow(r);
    formatter.Format(frame, r > 0 ? list_.FrameOfRow(r - 1) : -1, row);
    const auto cell = [&row](FrameColumn c) { return row.text[static_cast<std::size_t>(c)]; };
    SCOPED_TRACE("row " + std::to_string(r));
    EXPECT_EQ(cell(FrameColumn::kNumber), std::to_string(o["frame"].get<int>()));
    EXPECT_EQ(cell(FrameColumn::kTime),
              o["stamp_ms"].is_null() ? "" : IsoStampText(o["stamp_ms"].get<std::int64_t>()));
    if (r > 0 && !o["stamp_ms"].is_null()) {
      const json& before = objects[static_cast<std::size_t>(r) - 1];
      EXPECT_EQ(cell(FrameColumn::kDelta), DeltaText(o["stamp_ms"].get<std::int64_t>() -
                                                     before["stamp_ms"].get<std::int64_t>()));
    }
    EXPECT_EQ(cell(FrameColumn::kPort),
              o["port"].is_null() ? "" : std::to_string(o["port"].get<int>()));
    EXPECT_EQ(cell(FrameColumn::kSource), Text(o["source"]));
    EXPECT_EQ(cell(FrameColumn::kDestination), Text(o["destination"]));
    std::string path;
    if (o["digipeaters"].is_array()) {
      for (const json& d : o["digipeaters"]) {
        path +=
            (path.empty() ? "" : ",") + Text(d["call"]) + (d["repeated"].get<bool>() ? "*" : "");
      }
    }
    EXPECT_EQ(cell(FrameColumn::kPath), path);
    std::string type = Text(o["name"]);
    if (Text(o["kind"]) == "I") type = "I";
    if (type.empty() && !o["code"].is_null())
      type = "U code=" + std::to_string(o["code"].get<int>());
    EXPECT_EQ(cell(FrameColumn::kType), type);
    EXPECT_EQ(cell(FrameColumn::kPid),
              o["pid"].is_null() ? "" : ByteToHex(static_cast<std::uint8_t>(o["pid"].get<int>())));
    const std::string frame_hex = Text(o["frame_hex"]);
    const auto bytes = static_cast<int>(frame_hex.empty() ? 0 : (frame_hex.size() + 1) / 3);
    EXPECT_EQ(cell(FrameColumn::kLength), std::to_string(std::max(bytes - 1, 0)));
    const std::string payload = testing::Hex(Text(o["payload_hex"]));
    std::string info;
    const std::string kiss = testing::Hex(frame_hex);
    const auto kiss_bytes = std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(kiss.data()), kiss.size());
    // Empty frames and KISS commands are no findings, yet the row says why they are no AX.25.
    const std::string not_ax25 = FrameProblem(kiss_bytes, DescribeAx25(kiss_bytes));
    if (!o["problem"].is_null()) {
      info = "(" + Text(o["problem"]) + ")";
    } else if (!not_ax25.empty()) {
      info = "(" + not_ax25 + ")";
    } else if (type == "UI" && o["pid"] == 0xF0 && !o["aprs"].is_null()) {
      AppendAprsWords(info,
                      aprs.Decode(AprsHeader{Text(o["source"]), Text(o["destination"])}, payload));
    } else {
      AppendPrintable(info, payload);
    }
    EXPECT_EQ(cell(FrameColumn::kInfo), info);
    EXPECT_EQ(row.findings.Any(), !o["problem"].is_null());
  }
  // The telemetry report is scaled by the definitions before it.
  EXPECT_NE(Column(FrameColumn::kInfo).end()[-2].find("Battery 12"), std::string::npos);
}

TEST_F(FrameListTest, ListsTheRowsAsTheCaptureIsRead) {
  // Several blocks of a megabyte: the rows grow as they are read, in capture order, settled
  // frames only; once read they are the jsonl's frames.
  gen::Options options;
  options.seed = 9;
  options.frames = -1;
  options.size = 3'500'000;
  path_ = WriteCapture("big.kss", bytes_ = gen::GenerateCaptureBytes(options));
  std::vector<std::int64_t> seen;
  host_.on_progress = [&](int lane) {
    if (lane != kReadingLane) return;
    list_.Grow();
    EXPECT_LE(list_.FramesTotal(), list_.Snapshot().SettledFrameCount());
    seen.push_back(list_.RowCount());
  };
  Open();
  host_.on_progress = nullptr;
  ASSERT_GE(seen.size(), 3u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GT(seen[1], 0);
  EXPECT_LT(seen[1], list_.RowCount());
  EXPECT_EQ(list_.Rows(), Expected());
  for (std::size_t i = 1; i < host_.changes.size(); ++i) {
    EXPECT_EQ(host_.changes[i], RowsChange::kAppend) << i;  // never listed anew
  }

  // Cancelled: the frames read so far stay listed, and the list says so.
  host_.cancel_reading = true;
  host_.on_progress = [&](int lane) {
    if (lane == kReadingLane) list_.Grow();
  };
  Open();
  EXPECT_FALSE(list_.Indexed());
  EXPECT_GT(list_.RowCount(), 0);
  EXPECT_LT(list_.RowCount(), static_cast<std::int64_t>(Expected().size()));
  EXPECT_EQ(host_.said.back(), "Reading cancelled: the frames read so far are listed.");
}

TEST_F(FrameListTest, FiltersAsTheConverterDoes) {
  Open();
  for (const char* expression :
       {"type in {SABM, UA, I} or via == RELAY", "src == QQ1TLM or problem", "aprs.lat",
        "not problem and len < 30", ""}) {
    ASSERT_TRUE(list_.ApplyFilter(expression)) << expression;
    host_.Drain();
    EXPECT_EQ(list_.Rows(), Expected(expression)) << expression;
    EXPECT_EQ(list_.FilterText(), expression);
  }
  EXPECT_EQ(list_.RowsFilter(), nullptr);

  // A wrong expression changes nothing and says where it is wrong.
  ASSERT_TRUE(list_.ApplyFilter(" len < 30 "));
  host_.Drain();
  EXPECT_EQ(list_.FilterText(), "len < 30");
  const std::vector<std::int64_t> rows = list_.Rows();
  host_.changed = 0;
  FilterError error;
  EXPECT_FALSE(list_.ApplyFilter("src == QQ0QQ and", &error));
  EXPECT_EQ(error.column, 17);
  EXPECT_EQ(list_.Rows(), rows);
  EXPECT_EQ(list_.FilterText(), "len < 30");
  EXPECT_EQ(host_.changed, 0u);

  // A filter cancelled: the rows and the filter stay those before it, the list says so.
  host_.cancel_lane = kRowsLane;
  ASSERT_TRUE(list_.ApplyFilter("src == QQ1TLM"));
  host_.Drain();
  EXPECT_EQ(list_.Rows(), rows);
  EXPECT_EQ(list_.FilterText(), "len < 30");
  EXPECT_EQ(host_.said.back(), "Filter cancelled: the frames listed before it are shown.");
  EXPECT_NE(host_.changed & kFilterChanged, 0u);

  // Applied while the capture is read: listed through it once it is read, not before.
  list_.Open(path_);
  ASSERT_TRUE(list_.ApplyFilter("src == QQ1TLM"));
  EXPECT_EQ(list_.RowCount(), 0);
  host_.Drain();
  EXPECT_EQ(list_.Rows(), Expected("src == QQ1TLM"));
  EXPECT_EQ(list_.RowCount(), 3);
}

TEST_F(FrameListTest, ReadsOnAsTheCaptureGrows) {
  Open();
  const std::int64_t before = list_.RowCount();
  EXPECT_FALSE(list_.ReadOn());  // unchanged on disk
  Grow(Frames("QQ9NEW", 30));
  ASSERT_TRUE(list_.ReadOn());
  host_.changes.clear();
  host_.Drain();
  EXPECT_EQ(list_.RowCount(), before + 30);
  EXPECT_EQ(host_.changes, std::vector<RowsChange::Kind>{RowsChange::kAppend});
  // A frame cut off by the end of the file is listed, then read again whole: no row twice.
  const std::string last = Kiss(Ui("QQ9NEW", ">the whole frame"));
  Grow(last.substr(0, last.size() - 6));
  ASSERT_TRUE(list_.ReadOn());
  host_.Drain();
  EXPECT_EQ(list_.RowCount(), before + 31);
  Grow(last.substr(last.size() - 6));
  ASSERT_TRUE(list_.ReadOn());
  host_.Drain();
  EXPECT_EQ(list_.RowCount(), before + 31);
  EXPECT_EQ(list_.FramesTotal(), before + 31);
  EXPECT_EQ(Column(FrameColumn::kInfo).back(), "Status: \"the whole frame\"");
  EXPECT_EQ(list_.Rows(), Expected());

  // Through a filter: the frames read on go through it; sorted rows are sorted again.
  ASSERT_TRUE(list_.ApplyFilter("src == QQ9NEW"));
  list_.SortBy(static_cast<int>(FrameColumn::kInfo), true);
  host_.Drain();
  EXPECT_EQ(list_.RowCount(), 31);
  Grow(Frames("QQ8OLD", 5) + Frames("QQ9NEW", 7));
  ASSERT_TRUE(list_.ReadOn());
  host_.Drain();
  EXPECT_EQ(list_.RowCount(), 38);
  EXPECT_EQ(list_.CaptureOrder(), Expected("src == QQ9NEW"));
  EXPECT_FALSE(list_.InCaptureOrder());
  const std::vector<std::string> info = Column(FrameColumn::kInfo);
  EXPECT_TRUE(std::is_sorted(info.rbegin(), info.rend()));

  // Shrunk (written anew): read anew.
  bytes_.clear();
  Grow(Capture());
  ASSERT_TRUE(list_.ReadOn());
  host_.Drain();
  EXPECT_EQ(list_.CaptureOrder(), Expected("src == QQ9NEW"));
  EXPECT_EQ(list_.RowCount(), 0);
  ASSERT_TRUE(list_.ApplyFilter(""));
  host_.Drain();
  EXPECT_EQ(list_.RowCount(), before);
  EXPECT_TRUE(host_.errors.empty());
}

TEST_F(FrameListTest, SortsAndFindsTheRows) {
  Open();
  const std::vector<std::int64_t> capture_order = list_.Rows();
  list_.SortBy(static_cast<int>(FrameColumn::kSource), false);
  host_.Drain();
  std::vector<std::int64_t> expected;
  SortRows(list_.RowsSnapshot(), list_.Sources(), capture_order, capture_order,
           FrameColumn::kSource, false, expected);
  EXPECT_EQ(list_.Rows(), expected);
  const std::vector<std::string> sources = Column(FrameColumn::kSource);
  EXPECT_TRUE(std::is_sorted(sources.begin(), sources.end()));
  // The row of a frame follows the order; Find goes through the rows in it.
  const std::int64_t frame = capture_order[40];
  EXPECT_EQ(list_.FrameOfRow(list_.RowOfFrame(frame)), frame);
  list_.Find(*ParseFindQuery("qq1tlm", false, nullptr), -1, false);
  host_.Drain();
  ASSERT_GE(host_.found, 0);
  EXPECT_EQ(sources[static_cast<std::size_t>(host_.found)], "QQ1TLM");
  EXPECT_TRUE(host_.found == 0 || sources[static_cast<std::size_t>(host_.found) - 1] != "QQ1TLM");
  list_.Find(*ParseFindQuery("FE ED FA CE", true, nullptr), 0, false);
  host_.Drain();
  EXPECT_EQ(host_.said.back(), "Not found in the frames shown.");
  // By No.: capture order again.
  list_.SortBy(static_cast<int>(FrameColumn::kNumber), false);
  host_.Drain();
  EXPECT_TRUE(list_.InCaptureOrder());
  // Cancelled: the rows keep their order and the sort is given up.
  host_.cancel_lane = kRowsLane;
  host_.changed = 0;
  list_.SortBy(static_cast<int>(FrameColumn::kInfo), false);
  host_.Drain();
  EXPECT_TRUE(list_.InCaptureOrder());
  EXPECT_EQ(list_.SortColumn(), -1);
  EXPECT_NE(host_.changed & kSortChanged, 0u);
}

TEST_F(FrameListTest, ExtraColumnsAreShownSortedAndFound) {
  Open();
  list_.AddColumn({"Parity", false, [](std::int64_t f) { return f % 2 ? "odd" : "even"; }});
  list_.AddColumn(
      {"Tens", true, [](std::int64_t f) { return f % 3 ? std::to_string(f / 10) : "-"; }});
  ASSERT_EQ(list_.ColumnCount(), kFrameColumnCount + 2);
  EXPECT_EQ(list_.ColumnInfoOf(kFrameColumnCount + 1).title, "Tens");
  EXPECT_TRUE(list_.ColumnInfoOf(kFrameColumnCount + 1).numeric);
  const std::vector<std::int64_t> capture_order = list_.Rows();
  // Descending by number, texts that are no number last; equal ones in capture order.
  list_.SortBy(kFrameColumnCount + 1, true);
  host_.Drain();
  std::vector<std::int64_t> expected = capture_order;
  const auto key = [](std::int64_t f) { return f % 3 ? f / 10 : -1; };
  std::stable_sort(expected.begin(), expected.end(),
                   [&](std::int64_t a, std::int64_t b) { return key(a) > key(b); });
  EXPECT_EQ(list_.Rows(), expected);
  list_.Find(*ParseFindQuery("ODD", false, nullptr), -1, false);
  host_.Drain();
  ASSERT_GE(host_.found, 0);
  EXPECT_EQ(list_.FrameOfRow(host_.found) % 2, 1);
  FrameFormatter formatter(list_.RowsSnapshot(), list_.Sources());
  FrameRow row;
  formatter.Format(4, -1, row);
  EXPECT_EQ(CellText(row, kFrameColumnCount), "even");
  EXPECT_EQ(CellText(row, kFrameColumnCount + 1), "0");
}

TEST_F(FrameListTest, ExportsWhatTheConverterWrites) {
  Open();
  for (const auto& [name, layout, expression] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"shown.jsonl", "jsonl", "src == QQ1TLM or problem"},
           {"shown.kss", "kiss", "type == I"},
           {"shown.txt", "monitor", ""},
           {"shown.stats.json", "stats", "via"},
           {"shown.hex", "hex-kissframe", "len > 100"},
           {"shown.pcap", "pcap", "port == 0"},
           {"shown.gpx", "gpx", "aprs.lat"},
           {"shown.log", "screen", "type == UI"}}) {
    ASSERT_TRUE(list_.ApplyFilter(expression));
    host_.Drain();
    HeadlessWindow window;
    std::int64_t written = 0;
    ASSERT_TRUE(list_.Export(PathOf(name), *FindLayout(layout), window, &written)) << name;
    EXPECT_TRUE(window.Errors().empty()) << name;
    EXPECT_EQ(written, list_.RowCount()) << name;
    const std::string expected = Convert(layout, expression);
    EXPECT_GT(expected.size(), 100u) << name;
    EXPECT_EQ(testing::ReadFile(PathOf(name)), expected) << name;
  }
  // Never over the capture, under whatever name.
  const std::string link = PathOf("same.kss");
  ASSERT_EQ(::symlink(path_.c_str(), link.c_str()), 0);
  HeadlessWindow window;
  EXPECT_FALSE(list_.Export(link, *FindLayout("kiss"), window));
  ASSERT_EQ(window.Errors().size(), 1u);
  EXPECT_NE(window.Errors()[0].find("the capture itself"), std::string::npos);
  EXPECT_EQ(testing::ReadFile(path_), bytes_);
}

TEST_F(FrameListTest, SurveysTheCaptureAndTheRowsShown) {
  std::int64_t now = 0;
  list_.SetClock([&now] { return now; });
  Open();
  const auto stations = [this] {
    std::map<std::string, std::string> out;
    if (list_.Statistics() == nullptr) return out;
    const StatTable& heard = *list_.Statistics()->tables.at(0);
    for (std::size_t i = 0; i < heard.RowCount(); ++i) out[heard.Cell(i, 0)] = heard.Cell(i, 1);
    return out;
  };
  ASSERT_NE(list_.Statistics(), nullptr);
  EXPECT_EQ(list_.Statistics()->frames, list_.RowCount());
  EXPECT_EQ(stations()["QQ1TLM"], "3");
  const std::size_t heard = stations().size();
  // A filter: the rows' statistics, a row's filter picks the station's frames.
  ASSERT_TRUE(list_.ApplyFilter("src == QQ1TLM or src == QQ2ESC"));
  host_.Drain();
  EXPECT_FALSE(list_.StatisticsOfWholeCapture());
  ASSERT_NE(list_.Statistics(), nullptr);
  EXPECT_EQ(list_.Statistics()->frames, 4);
  EXPECT_EQ(stations(), (std::map<std::string, std::string>{{"QQ1TLM", "3"}, {"QQ2ESC", "1"}}));
  const StatTable& table = *list_.Statistics()->tables[0];
  EXPECT_EQ(table.RowFilter(0), "src == QQ1TLM");
  EXPECT_EQ(table.Order(1, false), (std::vector<std::uint32_t>{1, 0}));  // by frames: 1, 3
  // The switch: the whole capture's, kept meanwhile; larger ones are surveyed again.
  list_.SetStatisticsOfWholeCapture(true);
  EXPECT_EQ(stations().size(), heard);
  list_.SetStatisticsOfWholeCapture(false);
  host_.Drain();
  EXPECT_EQ(stations().size(), 2u);
  list_.SetKeptStatisticsRows(heard - 1);
  list_.SetStatisticsOfWholeCapture(true);
  list_.SetStatisticsOfWholeCapture(false);  // let go
  list_.SetStatisticsOfWholeCapture(true);
  EXPECT_EQ(list_.Statistics(), nullptr);
  host_.Drain();
  EXPECT_EQ(stations().size(), heard);

  // A growing capture is surveyed again after a pause of five times the survey's time, at least
  // five seconds.
  list_.SetStatisticsOfWholeCapture(true);
  host_.Drain();  // surveyed at 0, in no time
  Grow(Frames("QQ7GRO", 2));
  now += 4999;
  ASSERT_TRUE(list_.ReadOn());
  host_.Drain();
  EXPECT_EQ(stations().count("QQ7GRO"), 0u);
  Grow(Frames("QQ7GRO", 2));
  now += 1;
  ASSERT_TRUE(list_.ReadOn());
  host_.Drain();
  EXPECT_EQ(stations()["QQ7GRO"], "4");
}

TEST_F(FrameListTest, CellsAndDetailsGiveFiltersThatPickTheirFrames) {
  Open();
  // Every test a cell or a detail gives parses and keeps its own frame (listed alone, as a
  // reading on lists it); every column but Delta gives one.
  const auto keeps = [&](const std::string& expression, std::int64_t frame) {
    std::optional<Filter> filter = Filter::Parse(expression);
    EXPECT_TRUE(filter) << expression;
    std::vector<std::int64_t> rows;
    if (filter) {
      ListFrames(list_.Snapshot(), frame, frame + 1, &*filter, rows, nullptr, nullptr, {},
                 list_.Definitions());
    }
    return rows.size() == 1;
  };
  std::set<std::string> fields;
  for (std::int64_t r = 0; r < list_.RowCount(); ++r) {
    const std::int64_t frame = list_.FrameOfRow(r);
    for (int c = 0; c < kFrameColumnCount && r % 7 == 0; ++c) {
      const std::string expression = list_.CellFilter(frame, c);
      if (expression.empty()) continue;
      fields.insert(expression.substr(0, expression.find(' ')));
      EXPECT_TRUE(keeps(expression, frame)) << expression << " frame " << frame;
    }
    const auto walk = [&](const auto& self, const std::vector<DetailNode>& nodes) -> void {
      for (const DetailNode& n : nodes) {
        if (!n.filter.empty()) {
          EXPECT_TRUE(keeps(n.filter, frame)) << n.filter << " frame " << frame;
          fields.insert(n.filter.substr(0, n.filter.find(' ')));
        }
        self(self, n.children);
      }
    };
    walk(walk, list_.Show(frame).details);
  }
  for (const char* f : {"frame", "time", "port", "src", "dst", "via", "type", "pid", "len", "info",
                        "aprs.type", "offset", "aprs.lat", "problem"}) {
    EXPECT_EQ(fields.count(f), 1u) << f;
  }
  EXPECT_EQ(list_.CellFilter(list_.FrameOfRow(3), static_cast<int>(FrameColumn::kDelta)), "");
  // A text with bytes outside printable ASCII: a regular expression of exactly its bytes.
  const std::int64_t escaped = list_.FrameOfRow(list_.RowCount() - 1);
  const std::string info = list_.CellFilter(escaped, static_cast<int>(FrameColumn::kInfo));
  EXPECT_EQ(info, "aprs.type == status");
  std::string detail;
  const ShownFrame shown = list_.Show(escaped);
  for (const DetailNode& n : shown.details[1].children) {
    if (n.text.starts_with("Information field")) detail = n.filter;
  }
  EXPECT_EQ(detail, "info ~ \"^\\>fend\\x20\\xC0\\x20fesc\\x20\\xDB$\"");
  EXPECT_TRUE(keeps(detail, escaped));
}

TEST_F(FrameListTest, RunsATabsPassOverTheRows) {
  Open();
  ASSERT_TRUE(list_.ApplyFilter("src == QQ1TLM"));
  host_.Drain();
  std::vector<std::int64_t> seen;
  bool done = false;
  list_.RunRowsPass(
      kFirstFreeLane, "Plotting",
      [&seen](const IndexSnapshot&, const RowList& rows, const std::atomic<bool>*,
              const PassProgress&) { seen = *rows; },
      [&done] { done = true; });
  host_.Drain();
  EXPECT_TRUE(done);
  EXPECT_EQ(seen, list_.CaptureOrder());
  // Rows listed anew meanwhile: its end is not called with rows that are no longer shown.
  done = false;
  list_.RunRowsPass(
      kFirstFreeLane, "Plotting",
      [this](const IndexSnapshot&, const RowList&, const std::atomic<bool>*, const PassProgress&) {
        list_.ApplyFilter("");  // as if the user applied a filter while the pass ran
      },
      [&done] { done = true; });
  host_.Drain();
  EXPECT_FALSE(done);
}

TEST(FrameListTextTest, JoinsFilters) {
  for (const auto& [current, test, join, expected] :
       std::vector<std::tuple<std::string, std::string, FilterJoin, std::string>>{
           {"", "src == A", FilterJoin::kAnd, "src == A"},
           {"", "src == A", FilterJoin::kAndNot, "not src == A"},
           {"len < 9", "src == A", FilterJoin::kSelected, "src == A"},
           {"len < 9", "via == A and via == B", FilterJoin::kNotSelected,
            "not (via == A and via == B)"},
           {"a or b", "src == A", FilterJoin::kAnd, "(a or b) and src == A"},
           {"a or b", "src == A", FilterJoin::kOr, "a or b or src == A"},
           {"a and b", "c or d", FilterJoin::kAnd, "a and b and (c or d)"},
           {"a and b", "src == A", FilterJoin::kOrNot, "a and b or not src == A"},
           {"(a or b) and c", "info == \"x or y\"", FilterJoin::kAnd,
            "(a or b) and c and info == \"x or y\""},
       }) {
    EXPECT_EQ(JoinFilter(current, test, join), expected) << current << " | " << test;
  }
}

TEST(FrameListTextTest, NamesTheChartsBins) {
  for (const auto& [minutes, words] :
       std::vector<std::pair<std::int64_t, std::string>>{{1, "minute"},
                                                         {2, "2 minutes"},
                                                         {90, "90 minutes"},
                                                         {60, "hour"},
                                                         {360, "6 hours"},
                                                         {1440, "day"},
                                                         {2880, "2 days"}}) {
    EXPECT_EQ(BinWidthText(minutes), words) << minutes;
  }
}

TEST_F(FrameListTest, ColoursRowsByTheFirstRuleTheyMatch) {
  Open();
  const std::vector<ColourRule> rules = DefaultColourRules();
  std::string error;
  std::optional<Colouring> colouring = Colouring::Compile(rules, &error);
  ASSERT_TRUE(colouring) << error;
  list_.SetColouring(std::make_shared<const Colouring>(std::move(*colouring)));
  EXPECT_NE(host_.changed & kTextsChanged, 0u);
  std::vector<std::vector<std::int64_t>> matched;
  for (const ColourRule& rule : rules) matched.push_back(Expected(rule.expression));
  FrameFormatter formatter(list_.RowsSnapshot(), list_.Sources());
  FrameRow row;
  std::vector<int> uses(rules.size() + 1);
  for (std::int64_t frame : list_.Rows()) {
    formatter.Format(frame, -1, row);
    int expected = -1;
    for (std::size_t k = 0; k < rules.size() && expected < 0; ++k) {
      if (std::binary_search(matched[k].begin(), matched[k].end(), frame)) {
        expected = static_cast<int>(k);
      }
    }
    EXPECT_EQ(row.colour, expected) << "frame " << frame;
    ++uses[static_cast<std::size_t>(expected + 1)];
  }
  for (std::size_t k = 0; k < uses.size(); ++k) EXPECT_GT(uses[k], 0) << k;
  // A rule that does not parse is named.
  EXPECT_FALSE(Colouring::Compile({{"Mine", "src ==", 0}}, &error));
  EXPECT_EQ(error.rfind("\"Mine\": filter: column", 0), 0u) << error;
}

TEST_F(FrameListTest, CopiesARowAsTheMonitorLayoutsLine) {
  Open();
  const std::vector<std::string> lines = testing::Lines(Convert("monitor"));
  std::vector<std::string> first_lines;
  for (const std::string& l : lines) {
    if (!l.starts_with("  ")) first_lines.push_back(l);  // the APRS words' line is the second
  }
  ASSERT_EQ(static_cast<std::int64_t>(first_lines.size()), list_.RowCount());
  for (std::int64_t r = 0; r < list_.RowCount(); ++r) {
    EXPECT_EQ(list_.MonitorLine(list_.FrameOfRow(r)), first_lines[static_cast<std::size_t>(r)]);
  }
}

}  // namespace
}  // namespace packscope
