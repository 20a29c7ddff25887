#include "framelist/map_plots_feed.h"

#include <algorithm>
#include <set>

#include "aprs/aprs_frame.h"
#include "capture/frame_findings.h"
#include "commands/frame_text.h"
#include "framelist/frame_reader.h"

namespace packscope {
namespace {

std::string Counted(std::size_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string TimeText(std::int64_t millis) {
  std::string text = IsoStampText(millis).substr(0, 19);
  if (text.size() > 10) text[10] = ' ';
  return text;
}

}  // namespace

std::vector<PlotSubject> PlotSubjects(const SurveyStatistics* statistics) {
  std::vector<PlotSubject> subjects;
  if (statistics == nullptr) return subjects;
  std::set<std::string, std::less<>> heard;
  for (const auto& table : statistics->tables) {
    if (table->Title() != "Stations") continue;
    for (std::size_t r = 0; r < table->RowCount(); ++r) {
      std::string call = table->Cell(r, 0);
      if (heard.insert(call).second) subjects.push_back({AprsSubjectKind::kStation, call});
    }
  }
  if (statistics->positions) {
    // The tracks come in the order of their kind, then of their name.
    for (const auto& [key, track] : statistics->positions->Tracks()) {
      if (key.first == AprsSubjectKind::kStation && heard.count(key.second) != 0) continue;
      subjects.push_back({key.first, key.second});
    }
  }
  return subjects;
}

std::optional<PlotSubject> FrameSubject(const IndexSnapshot& snapshot, std::int64_t frame) {
  if (frame < 0 || frame >= snapshot.FrameCount()) return std::nullopt;
  FrameReader reader(snapshot);
  StoredFrame stored;
  if (!reader.Read(frame, stored) || !IsDataFrame(stored.Kiss())) return std::nullopt;
  Ax25Details d;
  DescribeAx25(stored.Kiss(), d);
  if (d.problem != Ax25Problem::kNone) return std::nullopt;
  if (!IsAprsFrame(d)) return PlotSubject{AprsSubjectKind::kStation, d.source.call};
  AprsDecoder aprs;
  const AprsSubject subject = SubjectOf(d.source.call, aprs.Decode(AprsHeaderOf(d), d.info));
  return PlotSubject{subject.kind, std::string(subject.name)};
}

std::string MapCaption(const PositionCollector* positions, bool filtered,
                       const std::optional<TimeSpan>& span) {
  if (positions == nullptr) return "Placing the stations...";
  std::size_t kinds[3] = {};
  std::size_t moved = 0;
  for (const auto& [key, track] : positions->Tracks()) {
    ++kinds[static_cast<int>(key.first)];
    if (track.Moved()) ++moved;
  }
  std::string text;
  const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (kinds[0] > 0) add(Counted(kinds[0], "station"));
  if (kinds[1] > 0) add(Counted(kinds[1], "object"));
  if (kinds[2] > 0) add(Counted(kinds[2], "item"));
  if (text.empty()) text = "No positions";
  if (moved > 0) text += " (" + std::to_string(moved) + " moved)";
  if (filtered) text += " in the frames shown";
  if (span) text += ", " + TimeText(span->first) + " to " + TimeText(span->second) + " UTC";
  return text;
}

MapPlotsFeed::MapPlotsFeed(FrameList& list, int map_lane, ShowMap show_map, ShowPlots show_plots)
    : list_(list),
      map_lane_(map_lane),
      show_map_(std::move(show_map)),
      show_plots_(std::move(show_plots)) {}

void MapPlotsFeed::SetMapShown(bool shown) {
  map_shown_ = shown;
  Update();
}

void MapPlotsFeed::SetPlotsShown(bool shown) {
  plots_shown_ = shown;
  Update();
}

void MapPlotsFeed::SetSpan(std::optional<TimeSpan> span) {
  span_ = span;
  Update();
}

void MapPlotsFeed::Update() {
  if (map_shown_) UpdateMap();
  if (plots_shown_) UpdatePlots();
}

void MapPlotsFeed::UpdateMap() {
  const bool filtered = list_.RowsFilter() != nullptr;
  MapFrom from;
  from.path = list_.Path();
  from.span = span_;
  const SurveyStatistics* statistics = list_.Statistics();
  if (!filtered && !span_) {
    // Every frame at all times: the survey placed them.
    if (statistics != nullptr) from.surveyed = statistics->positions;
    if (map_from_ == from) return;
    map_from_ = from;
    Show(from.surveyed, false, false);
    return;
  }
  // The rows are listed once the capture is read; a pass over the rows meanwhile would be
  // stopped by the next growth. Another capture's positions go at once.
  if (!list_.Indexed()) {
    if (map_from_ && map_from_->path == from.path) return;
    map_from_ = from;
    Show(nullptr, filtered, false);
    return;
  }
  from.rows = list_.SharedCaptureOrder();
  if (map_from_ == from) return;
  map_from_ = from;
  auto positions = std::make_shared<PositionCollector>();
  auto end = std::make_shared<PassEnd>(PassEnd::kDone);
  MapSelection selection;
  if (span_) {
    selection.from = span_->first;
    selection.to = span_->second;
  }
  list_.RunRowsPass(
      map_lane_, "Placing stations",
      [positions, end, selection](const IndexSnapshot& snapshot, const RowList& rows,
                                  const std::atomic<bool>* cancel, const PassProgress& progress) {
        MapSelection s = selection;
        s.rows = rows.get();
        *end = CollectPositions(snapshot, s, *positions, cancel, progress);
      },
      [this, positions, end, filtered] {
        // Cancelled: what was placed so far, made whole at the next change.
        if (*end != PassEnd::kDone) map_from_.reset();
        Show(positions, filtered, *end != PassEnd::kDone);
      });
}

void MapPlotsFeed::Show(std::shared_ptr<const PositionCollector> positions, bool filtered,
                        bool cancelled) {
  // A capture's first positions fill the view; later ones (a filter, a span) keep it.
  const bool fit = positions && !positions->Tracks().empty() && fitted_path_ != list_.Path();
  if (fit) fitted_path_ = list_.Path();
  std::string caption = MapCaption(positions.get(), filtered, span_);
  if (cancelled) caption += " (cancelled: not every frame was read)";
  show_map_(positions, fit, caption);
}

void MapPlotsFeed::UpdatePlots() {
  // The values are read once the capture is: a read of a growing capture would start again at
  // each growth.
  if (!list_.Indexed()) return;
  const SurveyStatistics* statistics = list_.Statistics();
  PlotsFrom from;
  from.rows = list_.SharedCaptureOrder();
  from.definitions = list_.Definitions();
  if (statistics != nullptr) from.statistics = statistics->positions;
  if (plots_from_ == from) return;
  plots_from_ = from;
  show_plots_(PlotsSource{list_.RowsSnapshot(), list_.Definitions(), list_.SharedCaptureOrder(),
                          PlotSubjects(statistics)});
}

}  // namespace packscope
