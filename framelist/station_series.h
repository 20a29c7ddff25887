// A station's values over time, without Qt: what the frame list's Plots tab draws. The values
// are the series layout's (aprs/aprs_series.h: position, weather, telemetry), of the frames a
// filter lists, read in one pass; the charts take them per unit, one chart each, and draw at
// most a few points per pixel column of the time axis however many there are.
#ifndef PACKSCOPE_FRAMELIST_STATION_SERIES_H_
#define PACKSCOPE_FRAMELIST_STATION_SERIES_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "aprs/aprs_subject.h"
#include "capture/frame_index.h"
#include "framelist/aprs_timeline.h"
#include "framelist/frame_passes.h"

namespace packscope {

struct SeriesPoint {
  std::int64_t time = 0;  // ms since 1970 UTC
  double value = 0;
  std::int64_t frame = 0;  // index number
};

struct StationQuantity {
  std::string quantity;  // UTF-8, as the series layout writes it
  std::string unit;
  std::vector<SeriesPoint> points;  // by time (frames of equal time in capture order)
};

struct StationSeries {
  std::vector<StationQuantity> quantities;  // in the order the series layout gives them first
  std::int64_t untimed = 0;                 // values of frames without a time: not drawn
  std::optional<std::int64_t> first;        // the earliest and latest time of any point
  std::optional<std::int64_t> last;
};

// Collects the values of subject (kind and name, as aprs/aprs_subject.h tells it) in the frames
// rows lists (index numbers in capture order; null: every frame) into series. definitions: the
// frames with telemetry definitions (the capture survey's), so that reports read scaled
// whatever the filter lists. Cancelled: series holds the values of the frames read so far.
PassEnd CollectSeries(const IndexSnapshot& snapshot, const DefinitionFrames& definitions,
                      const std::vector<std::int64_t>* rows, AprsSubjectKind kind,
                      std::string_view name, StationSeries& series,
                      const std::atomic<bool>* cancel = nullptr, const PassProgress& progress = {});

// The charts: per unit (in the order of first appearance) the quantities that have it.
struct SeriesChart {
  std::string unit;
  std::vector<std::size_t> quantities;  // into StationSeries::quantities
};
std::vector<SeriesChart> ChartsByUnit(const StationSeries& series);

// What to draw of points (sorted by time) in a chart columns pixels wide that shows [from, to]:
// every point when there are at most four per column, else per column its first, lowest,
// highest and last point (in time order), and the nearest point outside on either side, so that
// the line runs on to the chart's edges.
std::vector<SeriesPoint> PointsToDraw(const std::vector<SeriesPoint>& points, std::int64_t from,
                                      std::int64_t to, int columns);

// The point of points nearest to (time, value) on the screen, where a pixel is ms_per_pixel
// across and value_per_pixel up; nullptr when none lies within radius pixels.
const SeriesPoint* NearestPoint(const std::vector<SeriesPoint>& points, double time, double value,
                                double ms_per_pixel, double value_per_pixel, double radius);

// The marks of a time axis over [from, to] (ms, UTC): at most max_ticks at a round step (1, 2, 5,
// 10, 15, 30 seconds or minutes, 1, 2, 3, 6, 12 hours, days), labelled "12:34:56" for steps
// under a minute, "12:34" for steps under a day, "2016-01-02" for days; under a day's step the
// first mark and those at midnight carry the date as well ("01-02 00:00").
struct TimeTick {
  std::int64_t time = 0;
  std::string label;
};
std::vector<TimeTick> TimeTicks(std::int64_t from, std::int64_t to, int max_ticks);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_STATION_SERIES_H_
