// StatisticsView: the frame list's statistics (framelist/statistics_tables.h): the tables the
// list makes (the heard list: one row per station with its frames, first and last heard,
// destinations, paths; more tables as the list makes them, one tab each; a table view over a
// model that asks the table for the texts of the rows in view only, so that a million stations
// cost a few bytes each here), and a chart of the frames over time, stacked by frame type. They are
// of the frames shown, while a filter is applied, or of the whole capture (the switch above them).
// A click on a table's row (or Return on it) asks for the filter of its frames, a click on a bar
// for the filter of its span of time; Shift+click on a second bar widens the span to both.
#ifndef PACKSCOPE_UI_STATISTICS_VIEW_H_
#define PACKSCOPE_UI_STATISTICS_VIEW_H_

#include <QWidget>
#include <cstdint>
#include <vector>

#include "framelist/capture_survey.h"
#include "framelist/statistics_tables.h"

class QBarSet;
class QChart;
class QChartView;
class QCheckBox;
class QLabel;
class QModelIndex;
class QTabWidget;
class QTableView;

namespace packscope {

class StatTableModel;

class StatisticsView : public QWidget {
  Q_OBJECT

 public:
  explicit StatisticsView(QWidget* parent = nullptr);

  // The tables and the chart (null: not surveyed yet), of scope ("the whole capture", "the 12
  // frames shown (src == X)"); filtered: a filter is applied, so the switch to the whole capture
  // applies.
  void SetStatistics(const SurveyStatistics* statistics, const QString& scope, bool filtered);
  void Clear();
  // A bar clicked (index among the bars), with or without Shift.
  void BarClicked(int index, bool widen);

  // The first table (the heard list) and the others, by tab.
  QTableView* HeardList() const { return Table(0); }
  QTableView* Table(int i) const;
  QCheckBox* WholeCapture() const { return whole_; }
  QChart* Chart() const { return chart_; }
  QLabel* Caption() const { return caption_; }
  const TrafficBins& Bins() const { return bins_; }

 signals:
  void FilterRequested(const QString& expression);
  void WholeCaptureChosen(bool whole);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  QTableView* AddTable();
  void RowChosen(const QModelIndex& index);
  void SetChart(const TrafficBins& bins);
  void FollowTheme();

  QCheckBox* whole_ = nullptr;
  QLabel* scope_ = nullptr;
  QTabWidget* tables_ = nullptr;
  QLabel* caption_ = nullptr;
  QChartView* chart_view_ = nullptr;
  QChart* chart_ = nullptr;
  TrafficBins bins_;
  int last_bar_ = -1;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_STATISTICS_VIEW_H_
