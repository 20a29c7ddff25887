// The map's stations and the plots' values over generated captures: the map's positions against
// the gpx layout's (whole, filtered, within a time span), the filter a click sets, tracks kept
// bounded; a station's values against the series layout's; what a chart draws of many points.
#include "framelist/station_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "capture/frame_index.h"
#include "capture/headless_window.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "filter/filter.h"
#include "framelist/capture_survey.h"
#include "framelist/station_series.h"
#include "gencapture/capture_generator.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Ax25Frame;
using testing::Kiss;

std::string Aprs(const testing::Address& source, const std::string& info) {
  return Kiss(Ax25Frame({"APRS"}, source, {}, 0x03, 0xF0, info));
}

// Generated traffic with telemetry definitions and moving stations, then objects moved by two
// stations, an item, a station heard only through an igate, an ambiguous position and a
// position without a stamp before all of it.
std::string Capture() {
  gen::Options options;
  options.seed = 21;
  options.frames = 2500;
  options.telemetry = true;
  return Aprs({"QQ8RST", 2}, "!4810.  N/01126.  Ey early and ambiguous") +
         gen::GenerateCaptureBytes(options) +
         Aprs({"QQ0QQ"}, ";LEADER   *092345z4810.50N/01130.75E>088/036") +
         Aprs({"QQ3DEF"}, ";LEADER   *092346z4810.60N/01130.85E>088/036") +
         Aprs({"QQ0QQ"}, ")AID #2!4811.00N/01131.00EA") +
         Aprs({"QQ4GHI", 10}, "}QQ7XX-15>APRS,TCPIP,QQ4GHI-10*:=4801.12N\\01145.06En/A=000500") +
         Aprs({"QQ4GHI", 10}, "}QQ7XX-15>APRS,TCPIP,QQ4GHI-10*:=4801.22N\\01145.16En");
}

class StationMapTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    path_ = WriteCapture("c.kss", Capture());
    index_ = std::make_unique<FrameIndex>(path_);
    ASSERT_EQ(index_->Extend().status, IndexStatus::kAtEnd);
    snapshot_ = index_->Snapshot();
    SurveyCapture(snapshot_, survey_);
    definitions_ = std::make_shared<std::vector<std::int64_t>>(survey_.definitions);
  }

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

  std::vector<std::int64_t> Rows(const std::string& expression) {
    const std::optional<Filter> filter = Filter::Parse(expression);
    EXPECT_TRUE(filter) << expression;
    std::vector<std::int64_t> rows;
    ListFrames(snapshot_, 0, snapshot_.FrameCount(), &*filter, rows, nullptr, nullptr, {},
               definitions_);
    return rows;
  }

  std::string path_;
  std::unique_ptr<FrameIndex> index_;
  IndexSnapshot snapshot_;
  CaptureSurvey survey_;
  DefinitionFrames definitions_;
};

// The text between open and close after at, at moved past it; empty when there is none.
std::string Between(const std::string& text, std::size_t& at, std::string_view open,
                    std::string_view close) {
  const std::size_t from = text.find(open, at);
  if (from == std::string::npos) return {};
  const std::size_t to = text.find(close, from + open.size());
  at = to + close.size();
  return text.substr(from + open.size(), to - from - open.size());
}

// "type name" -> the points of each track and waypoint of a gpx document, "lat lon" as written.
std::map<std::string, std::vector<std::string>> GpxTracks(const std::string& gpx) {
  std::map<std::string, std::vector<std::string>> tracks;
  for (std::size_t at = 0; (at = gpx.find("<trk>", at)) != std::string::npos;) {
    const std::string trk = Between(gpx, at, "<trk>", "</trk>");
    std::size_t in = 0;
    const std::string name = Between(trk, in, "<name>", "</name>");
    const std::string type = Between(trk, in, "<type>", "</type>");
    std::vector<std::string>& points = tracks[type + " " + name];
    for (std::string lat; !(lat = Between(trk, in, "<trkpt lat=\"", "\"")).empty();) {
      points.push_back(lat + " " + Between(trk, in, "lon=\"", "\""));
    }
  }
  // A place heard at one position is a waypoint.
  for (std::size_t at = 0; (at = gpx.find("<wpt ", at)) != std::string::npos;) {
    const std::string wpt = Between(gpx, at, "<wpt ", "</wpt>");
    std::size_t in = 0;
    const std::string lat = Between(wpt, in, "lat=\"", "\"");
    const std::string lon = Between(wpt, in, "lon=\"", "\"");
    const std::string name = Between(wpt, in, "<name>", "</name>");
    const std::string type = Between(wpt, in, "<type>", "</type>");
    tracks[type + " " + name].push_back(lat + " " + lon);
  }
  return tracks;
}

std::string Fixed6(std::int32_t e6) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", e6 / 1e6);
  return buf;
}

// The map's tracks as the gpx layout's: each point where the position changed.
std::map<std::string, std::vector<std::string>> MapTracks(const PositionCollector& positions) {
  std::map<std::string, std::vector<std::string>> tracks;
  for (const auto& [key, t] : positions.Tracks()) {
    std::vector<std::string>& points =
        tracks[std::string(AprsSubjectKindName(t.kind)) + " " + t.name];
    for (const TrackPoint& p : t.points)
      points.push_back(Fixed6(p.lat_e6) + " " + Fixed6(p.lon_e6));
  }
  return tracks;
}

std::map<std::string, std::vector<std::string>> WithoutRepeats(
    std::map<std::string, std::vector<std::string>> tracks) {
  for (auto& [name, points] : tracks) {
    points.erase(std::unique(points.begin(), points.end()), points.end());
  }
  return tracks;
}

TEST_F(StationMapTest, TheMapHasTheGpxLayoutsPositions) {
  const auto expected = WithoutRepeats(GpxTracks(Convert("gpx")));
  ASSERT_GT(expected.size(), 12u);
  EXPECT_EQ(MapTracks(survey_.positions), expected);
  const auto& tracks = survey_.positions.Tracks();
  const MapTrack& mobile = tracks.at({AprsSubjectKind::kStation, "QQ1ABC-9"});
  EXPECT_TRUE(mobile.Moved());
  EXPECT_FALSE(tracks.at({AprsSubjectKind::kStation, "QQ0QQ"}).Moved());
  EXPECT_EQ(tracks.at({AprsSubjectKind::kObject, "LEADER"}).positions, 2);
  EXPECT_TRUE(tracks.at({AprsSubjectKind::kStation, "QQ7XX-15"}).third_party);
  EXPECT_EQ(tracks.at({AprsSubjectKind::kStation, "QQ8RST-2"}).ambiguity, 0);  // heard exact since

  // Filtered, and within a time span: the gpx layout of the same frames.
  const std::int64_t from = gen::kDefaultStartMillis + 20 * 60000;
  const std::int64_t to = from + 30 * 60000;
  for (const std::string expression : {"src == QQ1ABC-9 or aprs.type == object", "not via"}) {
    PositionCollector positions;
    const std::vector<std::int64_t> rows = Rows(expression);
    MapSelection selection{&rows, from, to};
    ASSERT_EQ(CollectPositions(snapshot_, selection, positions), PassEnd::kDone);
    const std::string span = " and time >= " + IsoUtcText(from) + " and time <= " + IsoUtcText(to);
    const auto gpx = WithoutRepeats(GpxTracks(Convert("gpx", "(" + expression + ")" + span)));
    EXPECT_FALSE(gpx.empty()) << expression;
    EXPECT_EQ(MapTracks(positions), gpx) << expression;
  }
}

TEST_F(StationMapTest, AClickFiltersTheFramesThatPlacedTheTrack) {
  for (const auto& [key, track] : survey_.positions.Tracks()) {
    const std::string expression = TrackFilter(track);
    PositionCollector positions;
    const std::vector<std::int64_t> rows = Rows(expression);
    MapSelection selection{&rows, std::nullopt, std::nullopt};
    CollectPositions(snapshot_, selection, positions);
    const auto it = positions.Tracks().find(key);
    ASSERT_NE(it, positions.Tracks().end()) << expression;
    EXPECT_EQ(it->second.positions, track.positions) << expression;
    EXPECT_EQ(it->second.last_frame, track.last_frame) << expression;
  }
  MapTrack object;
  object.kind = AprsSubjectKind::kObject;
  object.name = "A \"B\"";
  EXPECT_EQ(TrackFilter(object), "aprs.name == \"A \\\"B\\\"\"");
}

TEST_F(StationMapTest, ClickFindsTheNearestStationWithinItsRadius) {
  MapView view;
  view.Resize(800, 600);
  const auto box = survey_.positions.Bounds();
  ASSERT_TRUE(box);
  view.Fit(*box, 30);
  const MapTrack& leader = survey_.positions.Tracks().at({AprsSubjectKind::kObject, "LEADER"});
  const ScreenPoint at =
      view.ToScreen(leader.points.back().lat_e6 / 1e6, leader.points.back().lon_e6 / 1e6);
  EXPECT_EQ(TrackAt(survey_.positions, view, {at.x + 2, at.y - 1}, 8), &leader);
  EXPECT_EQ(TrackAt(survey_.positions, view, {-100, -100}, 8), nullptr);
}

TEST(PositionCollectorTest, LongTracksStayBoundedAndKeepTheirEnds) {
  PositionCollector positions;
  AprsPacket p;
  p.type = AprsType::kPosition;
  for (int i = 0; i < 20000; ++i) {
    p.lat = 48 + i * 1e-5;
    p.lon = 11;
    p.symbol = i == 19999 ? std::array<char, 2>{} : std::array<char, 2>{'/', '>'};
    positions.Add(i, 1000 * i, "QQ1ABC-9", p);
  }
  const MapTrack& t = positions.Tracks().begin()->second;
  EXPECT_LT(t.points.size(), kMaxTrackPoints);
  EXPECT_GT(t.points.size(), kMaxTrackPoints / 4);
  EXPECT_EQ(t.points.front().time, 0);
  EXPECT_EQ(t.points.back().time, 19999000);
  EXPECT_EQ(t.points.back().lat_e6, 48199990);
  EXPECT_TRUE(
      std::is_sorted(t.points.begin(), t.points.end(),
                     [](const TrackPoint& a, const TrackPoint& b) { return a.time < b.time; }));
  EXPECT_EQ(t.positions, 20000);
  EXPECT_EQ(t.symbol, (std::array<char, 2>{'/', '>'}));  // a position without one keeps it
}

TEST(SymbolIconTest, CommonSymbolsHaveIcons) {
  const struct {
    char table, code;
    SymbolIcon icon;
  } cases[] = {{'/', '>', SymbolIcon::kCar},      {'\\', '>', SymbolIcon::kCar},
               {'5', '>', SymbolIcon::kCar},      {'/', 'k', SymbolIcon::kTruck},
               {'/', '-', SymbolIcon::kHouse},    {'/', '_', SymbolIcon::kWeather},
               {'W', '_', SymbolIcon::kWeather},  {'/', '#', SymbolIcon::kDigipeater},
               {'I', '&', SymbolIcon::kIgate},    {'/', '^', SymbolIcon::kAircraft},
               {'/', 'O', SymbolIcon::kBalloon},  {'/', 'Y', SymbolIcon::kBoat},
               {'/', '[', SymbolIcon::kPerson},   {'/', 'b', SymbolIcon::kBike},
               {'/', 'r', SymbolIcon::kRepeater}, {'/', 'B', SymbolIcon::kNone},
               {'?', '>', SymbolIcon::kNone},     {0, 0, SymbolIcon::kNone}};
  for (const auto& c : cases) {
    EXPECT_EQ(IconOf({c.table, c.code}), c.icon) << c.table << c.code;
  }
}

TEST_F(StationMapTest, AStationsValuesAreTheSeriesLayouts) {
  // The series records, per station, as (frame, quantity, unit, time, value).
  using Record = std::tuple<std::int64_t, std::string, std::string, std::string, double>;
  const struct {
    AprsSubjectKind kind;
    std::string name;
    std::string expression;  // the filter listed
  } cases[] = {{AprsSubjectKind::kStation, "QQ9UV", ""},
               {AprsSubjectKind::kStation, "QQ3DEF", "not aprs.type == position"},
               {AprsSubjectKind::kStation, "QQ7XX-15", ""},
               {AprsSubjectKind::kObject, "LEADER", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Record> expected;
    for (const std::string& line : testing::Lines(Convert("series", c.expression))) {
      std::vector<std::string> f;
      std::stringstream row(line.substr(0, line.find('\r')));
      for (std::string cell; std::getline(row, cell, ',');) f.push_back(cell);
      f.resize(6);
      if (f[2] != c.name) continue;
      expected.emplace_back(std::stoll(f[1]) - 1, f[3], f[5], f[0], std::stod(f[4]));
    }
    ASSERT_FALSE(expected.empty());
    StationSeries series;
    std::vector<std::int64_t> rows;
    if (!c.expression.empty()) rows = Rows(c.expression);
    ASSERT_EQ(CollectSeries(snapshot_, definitions_, c.expression.empty() ? nullptr : &rows, c.kind,
                            c.name, series),
              PassEnd::kDone);
    std::vector<Record> got;
    for (const StationQuantity& q : series.quantities) {
      for (const SeriesPoint& p : q.points) {
        got.emplace_back(p.frame, q.quantity, q.unit, IsoUtcText(p.time), p.value);
      }
    }
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(std::get<0>(got[i]), std::get<0>(expected[i]));
      EXPECT_EQ(std::get<1>(got[i]), std::get<1>(expected[i]));
      EXPECT_EQ(std::get<2>(got[i]), std::get<2>(expected[i]));
      EXPECT_EQ(std::get<3>(got[i]), std::get<3>(expected[i]));
      // The layout rounds altitude and speed to tenths, others to millionths.
      EXPECT_NEAR(std::get<4>(got[i]), std::get<4>(expected[i]), 0.0501);
    }
  }
  // One chart per unit.
  StationSeries weather;
  CollectSeries(snapshot_, definitions_, nullptr, AprsSubjectKind::kStation, "QQ3DEF", weather);
  std::vector<std::string> units;
  for (const SeriesChart& chart : ChartsByUnit(weather)) {
    units.push_back(chart.unit);
    for (std::size_t q : chart.quantities) EXPECT_EQ(weather.quantities[q].unit, chart.unit);
  }
  std::vector<std::string> distinct = units;
  std::sort(distinct.begin(), distinct.end());
  EXPECT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_GE(units.size(), 5u);  // deg, km/h, degC, %, hPa at least
}

TEST(SeriesDrawingTest, ManyPointsDrawAsTheirExtremesPerColumn) {
  std::vector<SeriesPoint> points;
  for (int i = 0; i < 100000; ++i) {
    points.push_back({i * 10LL, std::sin(i / 500.0) + (i % 997 == 0 ? 5 : 0), i});
  }
  const struct {
    std::int64_t from, to;
    int columns;
  } views[] = {{0, 999990, 500}, {200000, 300000, 640}, {0, 999990, 1}, {500000, 501000, 800}};
  for (const auto& v : views) {
    const std::vector<SeriesPoint> drawn = PointsToDraw(points, v.from, v.to, v.columns);
    EXPECT_LE(drawn.size(), 4u * static_cast<std::size_t>(v.columns) + 2) << v.from;
    EXPECT_TRUE(
        std::is_sorted(drawn.begin(), drawn.end(),
                       [](const SeriesPoint& a, const SeriesPoint& b) { return a.time < b.time; }));
    // Each column's lowest and highest value is drawn, and the line reaches past both edges.
    const double width = static_cast<double>(v.to - v.from) / v.columns;
    std::map<std::int64_t, std::pair<double, double>> truth;
    std::map<std::int64_t, std::pair<double, double>> shown;
    const auto extend = [](auto& m, std::int64_t column, double value) {
      auto [it, fresh] = m.try_emplace(column, value, value);
      it->second = {std::min(it->second.first, value), std::max(it->second.second, value)};
    };
    for (const SeriesPoint& p : points) {
      if (p.time >= v.from && p.time <= v.to) {
        extend(truth, static_cast<std::int64_t>(static_cast<double>(p.time - v.from) / width),
               p.value);
      }
    }
    for (const SeriesPoint& p : drawn) {
      EXPECT_EQ(p.value, points[static_cast<std::size_t>(p.frame)].value);
      if (p.time >= v.from && p.time <= v.to) {
        extend(shown, static_cast<std::int64_t>(static_cast<double>(p.time - v.from) / width),
               p.value);
      }
    }
    EXPECT_EQ(shown, truth) << v.from;
    EXPECT_LT(drawn.front().time, std::max<std::int64_t>(v.from, 1));
    EXPECT_GT(drawn.back().time, std::min<std::int64_t>(v.to, 999989));
  }
  // Few points: all of them.
  const std::vector<SeriesPoint> few(points.begin(), points.begin() + 50);
  EXPECT_EQ(PointsToDraw(few, 0, 490, 100).size(), 50u);
  EXPECT_TRUE(PointsToDraw({}, 0, 10, 10).empty());
}

TEST(SeriesDrawingTest, TimeAxisMarksAtRoundTimes) {
  const std::int64_t t0 = gen::kDefaultStartMillis;  // 2016-01-01 12:34:56.789
  const struct {
    std::int64_t from, to;
    int most;
    std::vector<std::string> labels;
  } cases[] = {
      {t0, t0 + 40000, 5, {"01-01 12:35:00", "12:35:10", "12:35:20", "12:35:30"}},
      {t0, t0 + 3600000, 6, {"01-01 12:45", "13:00", "13:15", "13:30"}},
      {t0, t0 + 14 * 3600000LL, 4, {"01-01 18:00", "01-02 00:00"}},
      {t0, t0 + 3 * 86400000LL, 4, {"2016-01-02", "2016-01-03", "2016-01-04"}},
      {t0, t0 - 1, 4, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> labels;
    std::int64_t last = c.from - 1;
    for (const TimeTick& t : TimeTicks(c.from, c.to, c.most)) {
      labels.push_back(t.label);
      EXPECT_GE(t.time, c.from);
      EXPECT_LE(t.time, c.to);
      EXPECT_GT(t.time, last);
      last = t.time;
    }
    EXPECT_EQ(labels, c.labels);
    EXPECT_LE(labels.size(), static_cast<std::size_t>(c.most));
  }
}

TEST(SeriesDrawingTest, AClickFindsTheNearestPoint) {
  const std::vector<SeriesPoint> points = {{0, 1, 0}, {1000, 5, 1}, {2000, 2, 2}, {2100, 9, 3}};
  const struct {
    double time, value;
    std::int64_t frame;  // -1: none
  } clicks[] = {{1010, 5.1, 1}, {2050, 2.1, 2}, {2090, 8.8, 3}, {5000, 2, -1}, {1000, 20, -1}};
  for (const auto& c : clicks) {
    // 10 ms and 0.1 a pixel, 6 pixels around.
    const SeriesPoint* p = NearestPoint(points, c.time, c.value, 10, 0.1, 6);
    EXPECT_EQ(p == nullptr ? -1 : p->frame, c.frame) << c.time << " " << c.value;
  }
}

}  // namespace
}  // namespace packscope
