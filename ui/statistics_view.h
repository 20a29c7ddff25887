// StatisticsView: the frame list's statistics of the whole capture (framelist/capture_survey.h):
// the heard list, one row per station (frames, first and last heard, destinations, paths), and
// a chart of the frames per minute over the capture, stacked by frame type. A click on a station
// (or Return on it) asks for the filter of its frames, a click on a bar for the filter of its
// span of time; Shift+click on a second bar widens the span to both.
#ifndef PACKSCOPE_UI_STATISTICS_VIEW_H_
#define PACKSCOPE_UI_STATISTICS_VIEW_H_

#include <QWidget>
#include <cstdint>

#include "framelist/capture_survey.h"

class QBarSet;
class QChart;
class QChartView;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace packscope {

class StatisticsView : public QWidget {
  Q_OBJECT

 public:
  // The chart has at most this many bars.
  static constexpr int kMostBars = 60;

  explicit StatisticsView(QWidget* parent = nullptr);

  void SetSurvey(const CaptureSurvey& survey);
  void Clear();
  // A bar clicked (index among the bars), with or without Shift.
  void BarClicked(int index, bool widen);

  QTreeWidget* HeardList() const { return heard_; }
  QChart* Chart() const { return chart_; }
  const TrafficBins& Bins() const { return bins_; }

 signals:
  void FilterRequested(const QString& expression);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void StationChosen(QTreeWidgetItem* item);
  void FollowTheme();

  QTreeWidget* heard_ = nullptr;
  QLabel* caption_ = nullptr;
  QChartView* chart_view_ = nullptr;
  QChart* chart_ = nullptr;
  TrafficBins bins_;
  int last_bar_ = -1;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_STATISTICS_VIEW_H_
