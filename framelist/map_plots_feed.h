// What the frame list's Map and Plots tabs show, kept up with the list (framelist/frame_list.h):
//
//   Map    the positions of the rows shown. Without a filter and without a time span those of
//          the capture's survey (no pass of its own: the map is there once the statistics are);
//          with a filter, or a span chosen in the plots, a pass of its own over the rows on a
//          lane of the list (CollectPositions), the frames outside the span left out.
//   Plots  the source the plots read a station's values from: the rows, the snapshot that holds
//          them, the telemetry definitions, and the stations, objects and items to pick from.
//
// Both are made only while their tab is shown; a change while it is hidden is made when it is
// shown again. The window calls Update after each change of the list and shows what it is given.
#ifndef PACKSCOPE_FRAMELIST_MAP_PLOTS_FEED_H_
#define PACKSCOPE_FRAMELIST_MAP_PLOTS_FEED_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "aprs/aprs_subject.h"
#include "framelist/frame_list.h"
#include "framelist/station_map.h"

namespace packscope {

struct PlotSubject {
  AprsSubjectKind kind = AprsSubjectKind::kStation;
  std::string name;  // bytes

  friend bool operator==(const PlotSubject&, const PlotSubject&) = default;
};

// What the plots offer to pick: the stations of the statistics' heard list in its order, then
// the objects, items and stations the map placed that the heard list lacks (third-party ones),
// by name.
std::vector<PlotSubject> PlotSubjects(const SurveyStatistics* statistics);

// The subject of a frame: what its APRS packet tells of (the station inside a third-party
// packet, an object or item by its name), else the frame's source; nothing for a frame that is
// not AX.25 or that the capture no longer holds.
std::optional<PlotSubject> FrameSubject(const IndexSnapshot& snapshot, std::int64_t frame);

// The time span of the plots, ms since 1970 UTC.
using TimeSpan = std::pair<std::int64_t, std::int64_t>;

// The map's caption: "3 stations, 1 object (2 moved) of the frames shown, 10:00 to 10:30 UTC".
std::string MapCaption(const PositionCollector* positions, bool filtered,
                       const std::optional<TimeSpan>& span);

struct PlotsSource {
  IndexSnapshot snapshot;
  DefinitionFrames definitions;
  RowList rows;  // in capture order
  std::vector<PlotSubject> subjects;
};

class MapPlotsFeed {
 public:
  // The positions to draw (null: none), whether to fit the view to them, the caption.
  using ShowMap = std::function<void(std::shared_ptr<const PositionCollector> positions, bool fit,
                                     const std::string& caption)>;
  using ShowPlots = std::function<void(PlotsSource source)>;

  // map_lane: the lane of the list the map's passes run on.
  MapPlotsFeed(FrameList& list, int map_lane, ShowMap show_map, ShowPlots show_plots);

  void SetMapShown(bool shown);
  void SetPlotsShown(bool shown);
  // The span the map keeps to (nothing: all time).
  void SetSpan(std::optional<TimeSpan> span);
  // Looks whether what the tabs show is still what the list holds, and brings them up to it.
  void Update();

  const std::optional<TimeSpan>& Span() const { return span_; }

 private:
  void UpdateMap();
  void UpdatePlots();
  void Show(std::shared_ptr<const PositionCollector> positions, bool filtered, bool cancelled);

  FrameList& list_;
  int map_lane_;
  ShowMap show_map_;
  ShowPlots show_plots_;
  bool map_shown_ = false;
  bool plots_shown_ = false;
  std::optional<TimeSpan> span_;

  // What the map and the plots were last made from. Held, so that a new one is never taken for
  // an old one at the same address.
  struct MapFrom {
    std::string path;
    RowList rows;                                       // the rows listed, for a pass of its own
    std::shared_ptr<const PositionCollector> surveyed;  // else the survey's positions
    std::optional<TimeSpan> span;
    bool operator==(const MapFrom&) const = default;
  };
  std::optional<MapFrom> map_from_;
  std::string fitted_path_;  // the capture whose positions the view was fitted to
  struct PlotsFrom {
    RowList rows;
    DefinitionFrames definitions;
    std::shared_ptr<const void> statistics;  // of the subjects
    bool operator==(const PlotsFrom&) const = default;
  };
  std::optional<PlotsFrom> plots_from_;
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_MAP_PLOTS_FEED_H_
