// StatisticsView: the frame list's statistics of the whole capture (framelist/capture_survey.h):
// the heard list, one row per station (frames, first and last heard, destinations, paths; a
// model over the survey's heard list that makes the texts of the rows in view only, so that a
// million stations cost a few bytes each here), and a chart of the frames per minute over the
// capture, stacked by frame type. A click on a station
// (or Return on it) asks for the filter of its frames, a click on a bar for the filter of its
// span of time; Shift+click on a second bar widens the span to both.
#ifndef PACKSCOPE_UI_STATISTICS_VIEW_H_
#define PACKSCOPE_UI_STATISTICS_VIEW_H_

#include <QWidget>
#include <cstdint>
#include <memory>

#include "framelist/capture_survey.h"

class QBarSet;
class QChart;
class QChartView;
class QLabel;
class QModelIndex;
class QTableView;

namespace packscope {

class StatisticsView : public QWidget {
  Q_OBJECT

 public:
  // The chart has at most this many bars.
  static constexpr int kMostBars = 60;

  explicit StatisticsView(QWidget* parent = nullptr);

  // The view keeps the survey for its rows.
  void SetSurvey(std::shared_ptr<const CaptureSurvey> survey);
  void Clear();
  // A bar clicked (index among the bars), with or without Shift.
  void BarClicked(int index, bool widen);

  // The heard list: column 0 the station (its callsign's bytes as Qt::UserRole), 1 its frames.
  QTableView* HeardList() const { return heard_; }
  QChart* Chart() const { return chart_; }
  const TrafficBins& Bins() const { return bins_; }

 signals:
  void FilterRequested(const QString& expression);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  class HeardModel;
  void StationChosen(const QModelIndex& index);
  void FollowTheme();

  QTableView* heard_ = nullptr;
  HeardModel* heard_model_ = nullptr;
  QLabel* caption_ = nullptr;
  QChartView* chart_view_ = nullptr;
  QChart* chart_ = nullptr;
  TrafficBins bins_;
  int last_bar_ = -1;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_STATISTICS_VIEW_H_
