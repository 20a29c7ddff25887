// The frame list's core over generated captures and hand-made frames: the listing against the
// converter's --filter, the sort against a plain stable sort of the rows' texts, find and go-to,
// the bytes of a frame read again (escapes, places), the details' bytes, the APRS decoding of a
// frame out of order, the survey against the stats layout, and the texts of its commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "capture/frame_index.h"
#include "capture/headless_window.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "filter/filter.h"
#include "framelist/capture_survey.h"
#include "framelist/frame_details.h"
#include "framelist/frame_list_text.h"
#include "framelist/frame_passes.h"
#include "framelist/frame_reader.h"
#include "framelist/frame_row.h"
#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using nlohmann::json;
using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;
using testing::TextStamp;

std::string Ui(const std::string& source, const std::string& info,
               const std::vector<testing::Address>& digis = {}) {
  return Ax25Frame({"APRS"}, {source}, digis, 0x03, 0xF0, info);
}

// Generated traffic (every frame kind, digipeaters, escapes), then frames of every finding and
// telemetry with its definitions.
std::string MixedCapture() {
  gen::Options options;
  options.seed = 11;
  options.frames = 400;
  options.mix = true;
  options.max_digis = 3;
  std::string capture = gen::GenerateCaptureBytes(options);
  capture += Kiss(Ui("QQ5BAD", "!9912.34N/01130.00E-"));  // latitude over 90
  capture += Kiss(TextStamp("2016-01-01 13:00:00.000 UTC"));
  capture += Kiss(Ui("QQ1TLM", "T#001,120,50,7,0,0,10100000"));
  capture += Kiss(Ui("QQ1TLM", ":QQ1TLM   :PARM.Battery,Temp"));
  capture += Kiss(Ui("QQ1TLM", ":QQ1TLM   :EQNS.0,0.1,0,0,1,-40"));
  capture += Kiss(Ui("QQ1TLM", "T#002,120,50,7,0,0,10100000"));
  capture += Kiss(std::string("\x00\x82\xA0\xA4", 4));  // too short
  capture += Kiss(std::string("\x01\x05", 2));          // KISS command
  capture += std::string("\xC0\xC0", 2);                // empty
  capture += "\xC0" +
             Ui("QQ2ESC",
                "a\xDB"
                "b") +
             "\xC0";  // a FESC kept as data
  capture += Kiss(TextStamp("not a time UTC"));
  capture += Kiss(Ui("QQ3TXT", "after a text stamp without a time"));
  capture += "\xC0" + Ui("QQ4CUT", "cut off");  // cut off by the end
  return capture;
}

class FrameListCoreTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    Open(MixedCapture());
  }

  void Open(const std::string& bytes) {
    path_ = WriteCapture("mixed.kss", bytes);
    index_ = std::make_unique<FrameIndex>(path_);
    ASSERT_EQ(index_->Extend().status, IndexStatus::kAtEnd);
    snapshot_ = index_->Snapshot();
    rows_.clear();
    ListFrames(snapshot_, 0, snapshot_.FrameCount(), nullptr, rows_);
    SurveyCapture(snapshot_, survey_);
    definitions_ = std::make_shared<std::vector<std::int64_t>>(survey_.definitions);
  }

  // The converter's output of a layout, through the filter when there is one.
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
    EXPECT_TRUE(RunLayout(state, window, *FindLayout(layout), PathOf("out")));
    return testing::ReadFile(PathOf("out"));
  }

  std::vector<std::string> Column(const std::vector<std::int64_t>& rows, FrameColumn c) {
    FrameFormatter formatter(snapshot_, definitions_);
    std::vector<std::string> out;
    FrameRow row;
    for (std::int64_t f : rows) {
      formatter.Format(f, PreviousListed(rows_, f), row);
      out.push_back(row.text[static_cast<std::size_t>(c)]);
    }
    return out;
  }

  std::string path_;
  std::unique_ptr<FrameIndex> index_;
  IndexSnapshot snapshot_;
  std::vector<std::int64_t> rows_;
  CaptureSurvey survey_;
  DefinitionFrames definitions_;
};

TEST_F(FrameListCoreTest, ListsTheFramesTheConvertersFilterKeeps) {
  for (const char* expression :
       {"", "src == QQ1TLM", "type in {SABM, UA, DISC, DM, RR} or via", "problem",
        "time >= 2016-01-01T12:40 and time < 2016-01-01T12:50", "info ~ \"^T#\"", "not problem",
        "len < 20", "frame > 300 and offset < 40000", "aprs.type == telemetry", "aprs.lat > 0"}) {
    std::vector<std::int64_t> rows;
    std::optional<Filter> filter;
    if (*expression != 0) filter = Filter::Parse(expression);
    ListFrames(snapshot_, 0, snapshot_.FrameCount(), filter ? &*filter : nullptr, rows);
    std::vector<std::int64_t> expected;
    for (const std::string& line : testing::Lines(Convert("jsonl", expression))) {
      expected.push_back(json::parse(line)["frame"].get<std::int64_t>() - 1);
    }
    EXPECT_EQ(rows, expected) << expression;
    EXPECT_FALSE(rows.empty()) << expression;
  }
}

TEST_F(FrameListCoreTest, ReadsFramesAgainWithTheirEscapesAndPlaces) {
  FrameReader reader(snapshot_);
  StoredFrame f;
  int escaped = 0;
  for (std::int64_t i = 0; i < snapshot_.FrameCount(); ++i) {
    ASSERT_TRUE(reader.Read(i, f)) << i;
    const FrameRecord& r = snapshot_.Frame(i);
    ASSERT_EQ(static_cast<std::int32_t>(f.frame.size()), r.Length());
    const std::vector<std::int32_t> places = StoredPlaces(f);
    ASSERT_EQ(places.size(), f.frame.size() + 1);
    for (std::size_t j = 0; j < f.frame.size(); ++j) {
      const std::uint8_t at = f.stored[static_cast<std::size_t>(places[j])];
      const std::uint8_t next = static_cast<std::size_t>(places[j]) + 1 < f.stored.size()
                                    ? f.stored[static_cast<std::size_t>(places[j]) + 1]
                                    : 0;
      // A FEND or FESC stands at its FESC, followed by TFEND or TFESC; a FESC kept as data too.
      if (f.frame[j] == 0xC0) {
        EXPECT_TRUE(at == 0xDB && next == 0xDC) << i;
      } else if (f.frame[j] == 0xDB) {
        EXPECT_EQ(at, 0xDB) << i;
      } else {
        EXPECT_EQ(at, f.frame[j]) << i;
      }
    }
    escaped += f.escapes > 0 ? 1 : 0;
  }
  EXPECT_GT(escaped, 0);
  // The frame with a FESC kept as data, and the last one, cut off.
  const auto last = snapshot_.FrameCount() - 1;
  ASSERT_TRUE(reader.Read(last, f));
  EXPECT_TRUE(f.info.cut_off);
  EXPECT_EQ(StoredPlaces(f).back(), static_cast<std::int32_t>(f.stored.size()));
  ASSERT_TRUE(reader.Read(last - 3, f));
  EXPECT_EQ(f.info.bad_escapes, 1);
  EXPECT_EQ(f.escapes, 0);

  // A capture written over since: no bytes shown that the index does not hold.
  testing::WriteFile(path_, std::string(static_cast<std::size_t>(snapshot_.CaptureSize()), 'x'));
  FrameReader stale(snapshot_);
  EXPECT_FALSE(stale.Read(0, f));
  FrameFormatter formatter(snapshot_, definitions_);
  FrameRow row;
  formatter.Format(rows_[0], -1, row);
  EXPECT_FALSE(row.held);
  EXPECT_EQ(row.text[static_cast<std::size_t>(FrameColumn::kNumber)], std::to_string(rows_[0] + 1));
  EXPECT_EQ(row.text[static_cast<std::size_t>(FrameColumn::kSource)], "");
}

// rows in the order of column as a plain stable sort of the texts gives it.
std::vector<std::int64_t> PlainSort(std::vector<std::int64_t> rows,
                                    const std::map<std::int64_t, std::string>& text_of,
                                    FrameColumn column, bool descending) {
  const auto number = [](const std::string& t) {
    return t.empty() ? -1e300 : std::stod(t, nullptr);
  };
  const bool numeric = ColumnInfo(column).numeric;
  std::stable_sort(rows.begin(), rows.end(), [&](std::int64_t x, std::int64_t y) {
    const std::string& a = text_of.at(x);
    const std::string& b = text_of.at(y);
    if (numeric && column != FrameColumn::kPid && column != FrameColumn::kTime) {
      return descending ? number(a) > number(b) : number(a) < number(b);
    }
    // PID: two hex digits; Time: ISO digits, a stamp without a time as none.
    const auto key = [column](const std::string& t) {
      return column == FrameColumn::kTime && !t.empty() && !std::isdigit(t[0]) ? "" : t;
    };
    return descending ? key(b) < key(a) : key(a) < key(b);
  });
  return rows;
}

TEST_F(FrameListCoreTest, SortsStablyAsAPlainSortOfTheTexts) {
  for (int c = 0; c < kFrameColumnCount; ++c) {
    const auto column = static_cast<FrameColumn>(c);
    for (const auto& [descending, budget] : {std::pair{false, kSortTextBudget},
                                             {true, kSortTextBudget},
                                             {false, std::size_t{0}},
                                             {true, std::size_t{3000}}}) {
      // From an order that is not the capture's, to see ties keep it.
      std::vector<std::int64_t> rows = rows_;
      std::reverse(rows.begin(), rows.end());
      const std::vector<std::string> texts = Column(rows_, column);
      std::map<std::int64_t, std::string> text_of;
      for (std::size_t i = 0; i < rows_.size(); ++i) text_of[rows_[i]] = texts[i];
      const std::vector<std::int64_t> expected = PlainSort(rows, text_of, column, descending);
      ASSERT_EQ(SortRows(snapshot_, definitions_, std::vector<std::int64_t>(rows), rows_, column,
                         descending, rows, nullptr, {}, budget),
                PassEnd::kDone);
      EXPECT_EQ(rows, expected) << ColumnInfo(column).title << (descending ? " descending" : "")
                                << " budget " << budget;
    }
  }
  // Sorting by Source after Type sorts by both.
  std::vector<std::int64_t> rows = rows_;
  SortRows(snapshot_, definitions_, rows_, rows_, FrameColumn::kType, false, rows);
  SortRows(snapshot_, definitions_, std::vector<std::int64_t>(rows), rows_, FrameColumn::kSource,
           false, rows);
  const std::vector<std::string> sources = Column(rows, FrameColumn::kSource);
  const std::vector<std::string> types = Column(rows, FrameColumn::kType);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    ASSERT_TRUE(sources[i - 1] < sources[i] ||
                (sources[i - 1] == sources[i] && types[i - 1] <= types[i]))
        << i;
  }
}

// Enough rows to be keyed and sorted on several threads, and ties settled in several passes of a
// small budget: the same order as a plain sort, in capture order, in another order and for a
// part of the rows.
TEST_F(FrameListCoreTest, SortsManyRowsAsAPlainSortOfTheTexts) {
  gen::Options options;
  options.seed = 5;
  options.frames = 70000;
  options.mix = true;
  Open(gen::GenerateCaptureBytes(options));
  ASSERT_GT(rows_.size(), 65536u);
  std::vector<std::int64_t> part;
  for (std::size_t i = 0; i < rows_.size(); i += 3) part.push_back(rows_[i]);
  for (FrameColumn column : {FrameColumn::kInfo, FrameColumn::kSource, FrameColumn::kPath,
                             FrameColumn::kTime, FrameColumn::kLength, FrameColumn::kDelta}) {
    const std::vector<std::string> texts = Column(rows_, column);
    std::map<std::int64_t, std::string> text_of;
    for (std::size_t i = 0; i < rows_.size(); ++i) text_of[rows_[i]] = texts[i];
    std::vector<std::int64_t> reversed = rows_;
    std::reverse(reversed.begin(), reversed.end());
    for (const auto& [from, descending, budget] : {std::tuple{&rows_, false, kSortTextBudget},
                                                   {&reversed, true, std::size_t{1} << 16},
                                                   {&part, false, std::size_t{1} << 14}}) {
      std::vector<std::int64_t> sorted;
      ASSERT_EQ(SortRows(snapshot_, definitions_, *from, rows_, column, descending, sorted, nullptr,
                         {}, budget),
                PassEnd::kDone);
      EXPECT_TRUE(sorted == PlainSort(*from, text_of, column, descending))
          << ColumnInfo(column).title << (descending ? " descending" : "") << " budget " << budget
          << " rows " << from->size();
    }
  }
  // Cancelled: nothing given.
  std::atomic<bool> cancel = true;
  std::vector<std::int64_t> sorted = {7};
  EXPECT_EQ(
      SortRows(snapshot_, definitions_, rows_, rows_, FrameColumn::kInfo, false, sorted, &cancel),
      PassEnd::kCancelled);
  EXPECT_EQ(sorted, std::vector<std::int64_t>{7});
}

TEST_F(FrameListCoreTest, FindsTextsAndBytesBothWays) {
  std::string error;
  const std::optional<FindQuery> text = ParseFindQuery("qq1tlm", false, &error);
  ASSERT_TRUE(text);
  const std::int64_t first = FindRow(snapshot_, definitions_, rows_, rows_, -1, false, *text);
  ASSERT_GE(first, 0);
  EXPECT_EQ(Column({rows_[static_cast<std::size_t>(first)]}, FrameColumn::kSource)[0], "QQ1TLM");
  const std::int64_t next = FindRow(snapshot_, definitions_, rows_, rows_, first, false, *text);
  EXPECT_EQ(next, first + 1);
  EXPECT_EQ(FindRow(snapshot_, definitions_, rows_, rows_, next, true, *text), first);
  // Round the end: from the first match backwards comes the last.
  EXPECT_EQ(FindRow(snapshot_, definitions_, rows_, rows_, first, true, *text), first + 3);

  const std::optional<FindQuery> bytes = ParseFindQuery("61 db 62", true, &error);
  ASSERT_TRUE(bytes);
  const std::int64_t escaped = FindRow(snapshot_, definitions_, rows_, rows_, 0, false, *bytes);
  ASSERT_GE(escaped, 0);
  EXPECT_EQ(Column({rows_[static_cast<std::size_t>(escaped)]}, FrameColumn::kSource)[0], "QQ2ESC");
  EXPECT_EQ(FindRow(snapshot_, definitions_, rows_, rows_, 0, false,
                    *ParseFindQuery("FE ED", true, &error)),
            -1);

  EXPECT_FALSE(ParseFindQuery("C0 0", true, &error));
  EXPECT_NE(error.find("left over"), std::string::npos);
  EXPECT_FALSE(ParseFindQuery("C0 zz", true, &error));
  EXPECT_FALSE(ParseFindQuery("", false, &error));
}

TEST_F(FrameListCoreTest, GoesToFramesAndOffsets) {
  EXPECT_EQ(FrameAtOffset(snapshot_, -1), -1);
  for (std::int64_t i : {std::int64_t{0}, std::int64_t{7}, snapshot_.FrameCount() - 1}) {
    const FrameRecord& r = snapshot_.Frame(i);
    EXPECT_EQ(FrameAtOffset(snapshot_, r.Offset()), i);
    EXPECT_EQ(FrameAtOffset(snapshot_, r.Offset() + r.StoredLength() - 2), i);
  }
  // A timestamp frame is not listed: its row is that of the frame behind it.
  ASSERT_TRUE(snapshot_.Frame(0).Timestamp());
  EXPECT_EQ(RowOfFrame(rows_, rows_, true, 0), 0);
  EXPECT_EQ(RowOfFrame(rows_, rows_, true, rows_[5]), 5);
  EXPECT_EQ(RowOfFrame(rows_, rows_, true, 1 << 30), static_cast<std::int64_t>(rows_.size()) - 1);
  std::vector<std::int64_t> reversed(rows_.rbegin(), rows_.rend());
  EXPECT_EQ(RowOfFrame(reversed, rows_, false, rows_[5]),
            static_cast<std::int64_t>(rows_.size()) - 6);
}

TEST_F(FrameListCoreTest, DecodesTelemetryWithTheDefinitionsBeforeItInAnyOrder) {
  ASSERT_EQ(survey_.definitions.size(), 2u);
  const auto report = rows_.end()[-7];  // T#002, behind its definitions
  const auto early = rows_.end()[-10];  // T#001, before them
  FrameFormatter formatter(snapshot_, definitions_);
  FrameRow row;
  const auto info = [&](std::int64_t f) {
    formatter.Format(f, -1, row);
    return row.text[static_cast<std::size_t>(FrameColumn::kInfo)];
  };
  const std::string scaled = info(report);
  EXPECT_NE(scaled.find("Battery 12"), std::string::npos) << scaled;
  EXPECT_NE(scaled.find("Temp 10"), std::string::npos) << scaled;
  EXPECT_EQ(info(early).find("Battery"), std::string::npos);  // back: the definitions are gone
  EXPECT_EQ(info(report), scaled);
  // Without the survey's definitions: no scaling rather than a wrong one.
  FrameFormatter unknown(snapshot_, DefinitionFrames());
  unknown.Format(report, -1, row);
  EXPECT_EQ(row.text[static_cast<std::size_t>(FrameColumn::kInfo)].find("Battery"),
            std::string::npos);
}

TEST_F(FrameListCoreTest, DetailsNameTheBytesTheyDescribe) {
  FrameReader reader(snapshot_);
  StoredFrame f;
  const std::int64_t frame = rows_.end()[-7];  // T#002 from QQ1TLM
  ASSERT_TRUE(reader.Read(frame, f));
  AprsTimeline aprs(snapshot_, definitions_);
  const std::vector<DetailNode> tree = FrameDetails(f, snapshot_.Frame(frame), "t", aprs);
  ASSERT_EQ(tree.size(), 4u);  // KISS, AX.25, APRS, findings
  EXPECT_EQ(tree[0].end, static_cast<std::int32_t>(f.frame.size()));
  // Every node lies inside its parent, and the most precise node of a byte holds it.
  const auto check = [&](const auto& self, const DetailNode& n) -> void {
    for (const DetailNode& c : n.children) {
      if (c.begin >= 0 && n.begin >= 0) {
        EXPECT_TRUE(c.begin >= n.begin && c.end <= n.end) << c.text << " in " << n.text;
      }
      self(self, c);
    }
  };
  for (const DetailNode& n : tree) check(check, n);
  const auto node = [&](std::int32_t byte) {
    const DetailNode* n = nullptr;
    const std::vector<DetailNode>* level = &tree;
    for (int i : DetailPathOfByte(tree, byte)) {
      n = &(*level)[static_cast<std::size_t>(i)];
      level = &n->children;
    }
    return n == nullptr ? std::string() : n->text;
  };
  EXPECT_EQ(node(0).rfind("Type byte 0x00", 0), 0u) << node(0);
  EXPECT_EQ(node(9).rfind("Callsign \"QQ1TLM\"", 0), 0u) << node(9);
  EXPECT_EQ(node(14).rfind("SSID byte 0x61", 0), 0u) << node(14);
  EXPECT_EQ(node(15).rfind("Control 0x03", 0), 0u) << node(15);
  EXPECT_EQ(node(16).rfind("PID 0xF0: No layer 3", 0), 0u) << node(16);
  EXPECT_EQ(node(18).rfind("Information field", 0), 0u) << node(18);
  EXPECT_EQ(node(19).rfind("seq: \"002\"", 0), 0u) << node(19);
  EXPECT_TRUE(DetailPathOfByte(tree, -1).empty());
  EXPECT_EQ(tree[2].text.rfind("APRS: Telemetry", 0), 0u) << tree[2].text;
  bool scaled = false;
  for (const DetailNode& c : tree[2].children) scaled = scaled || c.text == "values.1: 12";
  EXPECT_TRUE(scaled);

  // A frame with findings lists them.
  ASSERT_TRUE(reader.Read(rows_.end()[-3], f));
  const std::vector<DetailNode> bad = FrameDetails(f, snapshot_.Frame(rows_.end()[-3]), "", aprs);
  EXPECT_EQ(bad.back().children.at(0).text,
            "damage: bad-escape: 1 FESC not followed by TFEND or TFESC, kept as data");
  // An APRS field that does not decode is the sender's finding, in the details as in the row's
  // tooltip.
  const std::int64_t wrong = rows_.end()[-11];
  ASSERT_TRUE(reader.Read(wrong, f));
  const std::string words =
      FrameDetails(f, snapshot_.Frame(wrong), "", aprs).back().children.at(0).text;
  EXPECT_EQ(words.rfind("sender: aprs: ", 0), 0u) << words;
  EXPECT_NE(words.find("atitude"), std::string::npos) << words;
  FrameFormatter formatter(snapshot_, definitions_);
  FrameRow row;
  formatter.Format(wrong, -1, row);
  EXPECT_EQ(row.findings_text, words);
  // The row tells the kinds apart (the table marks each its own way).
  EXPECT_FALSE(row.findings.Any(FindingKind::kDamage));
  EXPECT_TRUE(row.findings.Any(FindingKind::kSender));
  formatter.Format(rows_.end()[-3], -1, row);
  EXPECT_TRUE(row.findings.Any(FindingKind::kDamage));
}

TEST_F(FrameListCoreTest, SurveysAsTheStatsLayoutCounts) {
  const json stats = json::parse(Convert("stats"));
  json stations = json::object();
  for (const auto& [call, s] : survey_.heard.Stations()) stations[call] = s.frames;
  json expected = json::object();
  for (const auto& [call, s] : stats["stations"].items()) expected[call] = s["frames"];
  EXPECT_EQ(stations, expected);
  std::int64_t counted = 0;
  for (const auto& [minute, counts] : survey_.minutes) {
    for (std::uint32_t n : counts) counted += n;
  }
  std::int64_t per_minute = 0;
  for (const json& m : stats["frames_per_minute"]) per_minute += m[1].get<std::int64_t>();
  EXPECT_EQ(counted, per_minute);
  EXPECT_EQ(survey_.frames, stats["frames"].get<std::int64_t>());

  // Bins: round widths, every frame in one.
  const TrafficBins bins = BinTraffic(survey_.minutes, 10);
  EXPECT_LE(bins.bins.size(), 11u);
  EXPECT_EQ(bins.first_minute % bins.minutes_per_bin, 0);
  std::int64_t binned = 0;
  for (const TrafficCounts& b : bins.bins) {
    for (std::uint32_t n : b) binned += n;
  }
  EXPECT_EQ(binned, counted);
}

TEST(FrameListTextTest, StationAndTimeFilters) {
  EXPECT_EQ(StationFilter("QQ2XY-7"), "src == QQ2XY-7");
  EXPECT_EQ(FilterValue("or"), "\"or\"");
  EXPECT_EQ(FilterValue("A B\"C"), "\"A B\\\"C\"");
  EXPECT_EQ(StationFilter("Q.B\"\xE9"), "src ~ \"^Q\\.B\\\"\\xE9$\"");
  EXPECT_EQ(TimeSpanFilter(MinuteOf(1451651696789), 5),
            "time >= 2016-01-01T12:34 and time < 2016-01-01T12:39");
  for (const std::string& f :
       {StationFilter("or"), StationFilter("A B\"C"), TimeSpanFilter(MinuteOf(1451651696789), 5)}) {
    FilterError error;
    EXPECT_TRUE(Filter::Parse(f, &error)) << f << ": " << error.Text();
  }
}

}  // namespace
}  // namespace packscope
