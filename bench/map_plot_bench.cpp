// map_plot_bench: the frame list's Map and Plots views on the offscreen platform.
//
//   map     over the index benchmark's 1 GB capture (--seed 3 --size 1000000000): the index,
//           the capture survey that collects the stations' positions (against the same survey
//           without them, the APRS decoding of every APRS frame it adds), then the map of its
//           stations from the survey's positions to the map painted; a map pass over every
//           frame (what a filtered map or a time span costs at most); peak RSS
//   plot    100,000 points of three quantities in two charts: shown, every chart painted
//           (grabbed), a zoom to a tenth of the time and the charts painted (median of ten, and
//           the slowest)
//
//   build/bench/map_plot_bench                 both
//   build/bench/map_plot_bench --plot          the plot alone
//   build/bench/map_plot_bench --size BYTES    a smaller capture for the map
//
// The map round runs in a child process of its own. The capture is written once to
// $TMPDIR/packscope-bench (default /tmp), under index_bench's names, and reused.
#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "aprs/aprs_frame.h"
#include "bench/bench_support.h"
#include "framelist/capture_survey.h"
#include "ui/pass_lanes.h"
#include "ui/plots_view.h"
#include "ui/station_map_view.h"

namespace packscope {
namespace {

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

void Fail(const char* what) {
  std::fprintf(stderr, "map_plot_bench: %s\n", what);
  std::exit(1);
}

struct MapRound {
  double index_ms = 0;
  double survey_ms = 0;
  double survey_without_ms = 0;  // the survey without positions: heard list, minutes, definitions
  double map_ms = 0;             // from the survey's positions to the map painted
  double repaint_ms = 0;         // the map painted again
  double pass_ms = 0;            // a map pass over every frame
  long frames = 0;
  long tracks = 0;
  long points = 0;
  long charts = 0;
  long rss_kb = 0;
};

// The survey as it was before it collected positions, for its cost: the same pass with the APRS
// decoding of the telemetry definitions' frames alone.
double SurveyWithoutPositions(const IndexSnapshot& snapshot) {
  QElapsedTimer t;
  t.start();
  FrameReader reader(snapshot, 4u << 20);
  StampTimes times(snapshot);
  StoredFrame frame;
  Ax25Details d;
  AprsDecoder aprs;
  CaptureSurvey survey;
  for (std::int64_t i = 0; i < snapshot.FrameCount(); ++i) {
    const FrameRecord& r = snapshot.Frame(i);
    if (r.Timestamp() || !reader.Read(i, frame)) continue;
    ++survey.frames;
    const bool data = IsDataFrame(frame.Kiss());
    if (data) DescribeAx25(frame.Kiss(), d);
    const bool ax25 = data && d.problem == Ax25Problem::kNone;
    const std::optional<std::int64_t> time = times.Millis(r.StampNumber());
    if (time) ++survey.minutes[MinuteOf(*time)][static_cast<std::size_t>(TrafficKind(ax25, d))];
    if (!ax25) continue;
    survey.heard.Add(d, time);
    if (IsAprsFrame(d) && AprsDecoder::MayDefine(d.info) &&
        DefinesTelemetry(aprs.Decode(AprsHeaderOf(d), d.info))) {
      survey.definitions.push_back(i);
    }
  }
  return Ms(t);
}

MapRound RunMap(const std::string& capture) {
  int argc = 1;
  char name[] = "map_plot_bench";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  MapRound r;
  QElapsedTimer t;
  t.start();
  FrameIndex index(capture);
  if (index.Extend().status != IndexStatus::kAtEnd) Fail("the capture was not indexed");
  const IndexSnapshot snapshot = index.Snapshot();
  r.index_ms = Ms(t);
  r.frames = static_cast<long>(snapshot.FrameCount());
  r.survey_without_ms = SurveyWithoutPositions(snapshot);
  CaptureSurvey survey;
  t.start();
  SurveyCapture(snapshot, survey);
  r.survey_ms = Ms(t);

  StationMapView map;
  map.resize(1200, 800);
  map.show();
  if (!QTest::qWaitForWindowExposed(&map)) Fail("the map was not shown");
  BuiltInWorldOutline();  // read at start-up, before any capture
  t.start();
  auto positions = std::make_shared<PositionCollector>(std::move(survey.positions));
  map.SetPositions(positions, true);
  map.Canvas()->repaint();
  r.map_ms = Ms(t);
  t.start();
  map.Canvas()->repaint();
  r.repaint_ms = Ms(t);
  r.tracks = static_cast<long>(positions->Tracks().size());
  for (const auto& [key, track] : positions->Tracks())
    r.points += static_cast<long>(track.points.size());

  PositionCollector again;
  t.start();
  CollectPositions(snapshot, MapSelection{}, again);
  r.pass_ms = Ms(t);
  return r;
}

struct PlotRound {
  double show_ms = 0;
  double repaint_median_ms = 0;
  double repaint_max_ms = 0;
  double zoom_median_ms = 0;
  double zoom_max_ms = 0;
  long points = 0;
  long charts = 0;
  long rss_kb = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

PlotRound RunPlot() {
  int argc = 1;
  char name[] = "map_plot_bench";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  // 100,000 points: a balloon's altitude and two temperatures over a day, one value a second.
  StationSeries series;
  const std::int64_t t0 = gen::kDefaultStartMillis;
  series.quantities = {{"altitude_m", "m", {}}, {"Inside", "degC", {}}, {"Outside", "degC", {}}};
  for (int i = 0; i < 100000; ++i) {
    const double x = i / 100000.0;
    const std::int64_t time = t0 + i * 864LL;
    series.quantities[i % 3].points.push_back(
        {time,
         i % 3 == 0 ? 30000 * std::sin(3.1 * x) + 40 * std::sin(i * 0.7)
                    : 20 - 60 * x + std::sin(i * 0.3),
         i});
  }
  series.first = t0;
  series.last = t0 + 99999 * 864LL;
  PlotRound r;
  r.points = 100000;
  r.charts = 0;
  PlotsView plots;
  plots.resize(1200, 800);
  plots.show();
  if (!QTest::qWaitForWindowExposed(&plots)) Fail("the plots were not shown");
  QElapsedTimer t;
  t.start();
  plots.ShowSeries({AprsSubjectKind::kStation, QStringLiteral("QQ1BAL-11")}, series);
  for (QChartView* v : plots.ChartViews()) v->grab();
  r.show_ms = Ms(t);
  r.charts = static_cast<long>(plots.ChartViews().size());
  std::vector<double> repaints;
  std::vector<double> zooms;
  for (int k = 0; k < 10; ++k) {
    t.start();
    for (QChartView* v : plots.ChartViews()) v->grab();
    repaints.push_back(Ms(t));
    const std::int64_t from = t0 + k * 8000000LL;
    t.start();
    plots.SetSpan(std::pair{from, from + 8640000LL});
    for (QChartView* v : plots.ChartViews()) v->grab();
    zooms.push_back(Ms(t));
  }
  r.repaint_median_ms = Median(repaints);
  r.repaint_max_ms = *std::max_element(repaints.begin(), repaints.end());
  r.zoom_median_ms = Median(zooms);
  r.zoom_max_ms = *std::max_element(zooms.begin(), zooms.end());
  return r;
}

}  // namespace
}  // namespace packscope

int main(int argc, char** argv) {
  packscope::MapLargeBlocksApart();  // as the program does
  using namespace packscope;
  bool map = true;
  std::string size = "1000000000";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plot") == 0) {
      map = false;
    } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      size = argv[++i];
    } else {
      std::fprintf(stderr, "usage: map_plot_bench [--plot] [--size BYTES]\n");
      return 2;
    }
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (map) {
    const std::string capture =
        bench::GeneratedCapture({"--seed", "3", "--size", size}, "map_plot_bench");
    MapRound r;
    if (!bench::RoundInChild([&] { return RunMap(capture); }, r)) Fail("the map round failed");
    std::printf(
        "map, --seed 3 --size %s (%ld frames): index %.0f ms; survey %.0f ms (%.0f ms without "
        "positions); map from the survey to painted %.1f ms, painted again %.1f ms (%ld tracks, "
        "%ld points); a map pass "
        "over every frame %.0f ms; peak RSS %ld MB\n",
        size.c_str(), r.frames, r.index_ms, r.survey_ms, r.survey_without_ms, r.map_ms,
        r.repaint_ms, r.tracks, r.points, r.pass_ms, r.rss_kb / 1024);
  }
  PlotRound p;
  if (!bench::RoundInChild([&] { return RunPlot(); }, p)) Fail("the plot round failed");
  std::printf(
      "plot, %ld points in %ld charts: shown %.1f ms; repaint %.1f ms (slowest %.1f); zoom to a "
      "tenth and repaint %.1f ms (slowest %.1f)\n",
      p.points, p.charts, p.show_ms, p.repaint_median_ms, p.repaint_max_ms, p.zoom_median_ms,
      p.zoom_max_ms);
  return 0;
}
