#include "framelist/station_series.h"

#include <algorithm>
#include <cmath>

#include "aprs/aprs_frame.h"
#include "aprs/aprs_json.h"
#include "aprs/aprs_series.h"
#include "commands/frame_text.h"
#include "framelist/frame_reader.h"

namespace packscope {
namespace {

constexpr std::size_t kReadAhead = 4u << 20;
constexpr std::int64_t kStep = 1 << 14;

// Whether a frame of this sender and information field may tell of the subject: a station's
// own frames, and any frame that may carry another's packet (third party) or place an object or
// item.
bool MayTellOf(AprsSubjectKind kind, std::string_view name, const Ax25Details& d) {
  const char type = d.info.empty() ? 0 : static_cast<char>(d.info[0]);
  if (type == '}') return true;
  if (kind != AprsSubjectKind::kStation) return type == ';' || type == ')';
  return d.source.call == name;
}

}  // namespace

PassEnd CollectSeries(const IndexSnapshot& snapshot, const DefinitionFrames& definitions,
                      const std::vector<std::int64_t>* rows, AprsSubjectKind kind,
                      std::string_view name, StationSeries& series, const std::atomic<bool>* cancel,
                      const PassProgress& progress) {
  FrameReader reader(snapshot, kReadAhead);
  StampTimes times(snapshot);
  AprsTimeline timeline(snapshot, definitions);
  StoredFrame frame;
  Ax25Details d;
  std::string quantity;
  std::string unit;
  const std::int64_t total =
      rows != nullptr ? static_cast<std::int64_t>(rows->size()) : snapshot.FrameCount();
  PassEnd end = PassEnd::kDone;
  for (std::int64_t k = 0; k < total; ++k) {
    if (k % kStep == 0) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        end = PassEnd::kCancelled;
        break;
      }
      if (progress) progress(k, total);
    }
    const std::int64_t i = rows != nullptr ? (*rows)[static_cast<std::size_t>(k)] : k;
    const FrameRecord& r = snapshot.Frame(i);
    if (r.Timestamp() || !reader.Read(i, frame) || !IsDataFrame(frame.Kiss())) continue;
    DescribeAx25(frame.Kiss(), d);
    if (d.problem != Ax25Problem::kNone || !IsAprsFrame(d) || !MayTellOf(kind, name, d)) continue;
    const AprsSubject subject = SubjectOf(d.source.call, timeline.Decode(i, d));
    if (subject.kind != kind || subject.name != name) continue;
    const std::optional<std::int64_t> time = times.Millis(r.StampNumber());
    ForEachSeriesValue(*subject.packet, [&](const AprsSeriesValue& v) {
      if (!time) {
        ++series.untimed;
        return;
      }
      quantity = AprsTextUtf8(v.quantity);
      unit = AprsTextUtf8(v.unit);
      auto q = std::find_if(
          series.quantities.begin(), series.quantities.end(),
          [&](const StationQuantity& s) { return s.quantity == quantity && s.unit == unit; });
      if (q == series.quantities.end()) {
        series.quantities.push_back(StationQuantity{quantity, unit, {}});
        q = series.quantities.end() - 1;
      }
      q->points.push_back(SeriesPoint{*time, v.value, i});
      series.first = std::min(series.first.value_or(*time), *time);
      series.last = std::max(series.last.value_or(*time), *time);
    });
  }
  for (StationQuantity& q : series.quantities) {
    std::stable_sort(q.points.begin(), q.points.end(),
                     [](const SeriesPoint& a, const SeriesPoint& b) { return a.time < b.time; });
  }
  return end;
}

std::vector<SeriesChart> ChartsByUnit(const StationSeries& series) {
  std::vector<SeriesChart> charts;
  for (std::size_t i = 0; i < series.quantities.size(); ++i) {
    const std::string& unit = series.quantities[i].unit;
    auto c = std::find_if(charts.begin(), charts.end(),
                          [&](const SeriesChart& s) { return s.unit == unit; });
    if (c == charts.end()) {
      charts.push_back(SeriesChart{unit, {}});
      c = charts.end() - 1;
    }
    c->quantities.push_back(i);
  }
  return charts;
}

std::vector<SeriesPoint> PointsToDraw(const std::vector<SeriesPoint>& points, std::int64_t from,
                                      std::int64_t to, int columns) {
  const auto by_time = [](const SeriesPoint& p, std::int64_t t) { return p.time < t; };
  auto first = std::lower_bound(points.begin(), points.end(), from, by_time);
  auto last = std::upper_bound(points.begin(), points.end(), to,
                               [](std::int64_t t, const SeriesPoint& p) { return t < p.time; });
  std::vector<SeriesPoint> out;
  if (first != points.begin()) out.push_back(*(first - 1));
  columns = std::max(columns, 1);
  const auto inside = static_cast<std::size_t>(last - first);
  if (inside <= 4 * static_cast<std::size_t>(columns) || to <= from) {
    out.insert(out.end(), first, last);
  } else {
    const double width = static_cast<double>(to - from) / columns;
    for (auto it = first; it != last;) {
      const auto column = static_cast<std::int64_t>(static_cast<double>(it->time - from) / width);
      auto end = it;
      const SeriesPoint* low = &*it;
      const SeriesPoint* high = &*it;
      while (end != last &&
             static_cast<std::int64_t>(static_cast<double>(end->time - from) / width) == column) {
        if (end->value < low->value) low = &*end;
        if (end->value > high->value) high = &*end;
        ++end;
      }
      // The four in time order, each once.
      const SeriesPoint* four[4] = {&*it, low, high, &*(end - 1)};
      std::sort(four + 1, four + 3, [](const SeriesPoint* a, const SeriesPoint* b) {
        return a->time < b->time || (a->time == b->time && a < b);
      });
      for (int k = 0; k < 4; ++k) {
        if (k > 0 && std::find(four, four + k, four[k]) != four + k) continue;
        out.push_back(*four[k]);
      }
      it = end;
    }
  }
  if (last != points.end()) out.push_back(*last);
  return out;
}

const SeriesPoint* NearestPoint(const std::vector<SeriesPoint>& points, double time, double value,
                                double ms_per_pixel, double value_per_pixel, double radius) {
  if (points.empty() || ms_per_pixel <= 0 || value_per_pixel <= 0) return nullptr;
  // Only points within radius pixels of time can be near enough.
  const auto lo = std::lower_bound(
      points.begin(), points.end(), time - radius * ms_per_pixel,
      [](const SeriesPoint& p, double t) { return static_cast<double>(p.time) < t; });
  const SeriesPoint* best = nullptr;
  double best_distance = radius * radius;
  for (auto it = lo;
       it != points.end() && static_cast<double>(it->time) <= time + radius * ms_per_pixel; ++it) {
    const double dx = (static_cast<double>(it->time) - time) / ms_per_pixel;
    const double dy = (it->value - value) / value_per_pixel;
    if (dx * dx + dy * dy <= best_distance) {
      best = &*it;
      best_distance = dx * dx + dy * dy;
    }
  }
  return best;
}

std::vector<TimeTick> TimeTicks(std::int64_t from, std::int64_t to, int max_ticks) {
  std::vector<TimeTick> ticks;
  if (to < from || max_ticks < 1) return ticks;
  static constexpr std::int64_t kSecond = 1000;
  static constexpr std::int64_t kMinute = 60 * kSecond;
  static constexpr std::int64_t kHour = 60 * kMinute;
  static constexpr std::int64_t kDay = 24 * kHour;
  static constexpr std::int64_t kSteps[] = {
      kSecond,  2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
      kMinute,  2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
      kHour,    2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
      2 * kDay, 7 * kDay,    14 * kDay,   30 * kDay,    91 * kDay,    365 * kDay};
  std::int64_t step = 0;
  for (const std::int64_t s : kSteps) {
    if ((to - from) / s + 1 <= max_ticks) {
      step = s;
      break;
    }
  }
  if (step == 0) step = ((to - from) / max_ticks / kDay + 1) * kDay;
  const auto floor_div = [](std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); };
  for (std::int64_t t = floor_div(from + step - 1, step) * step; t <= to; t += step) {
    const std::string iso = IsoStampText(t);  // YYYY-MM-DD HH:MM:SS.mmm
    if (iso.empty()) continue;
    std::string label;
    if (step >= kDay) {
      label = iso.substr(0, 10);
    } else {
      label = iso.substr(11, step < kMinute ? 8 : 5);
      if (floor_div(t, kDay) * kDay == t || ticks.empty()) label = iso.substr(5, 5) + " " + label;
    }
    ticks.push_back(TimeTick{t, label});
  }
  return ticks;
}

}  // namespace packscope
