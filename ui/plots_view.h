// PlotsView: the frame list's Plots tab. One station's values over time (framelist/
// station_series.h: position, weather, telemetry) as line charts, one chart per unit, under a
// shared time axis: a drag across a chart zooms every chart to that time, a right click zooms
// out, Whole Time shows everything again; a click on a point asks for its frame. The values are
// those of the frames the filter lists, read in a pass of their own on a worker thread. The
// charts save as PNG and SVG.
#ifndef PACKSCOPE_UI_PLOTS_VIEW_H_
#define PACKSCOPE_UI_PLOTS_VIEW_H_

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "capture/frame_index.h"
#include "framelist/aprs_timeline.h"
#include "framelist/station_series.h"
#include "ui/background_job.h"

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QTimer;
class QVBoxLayout;

namespace packscope {

class PlotsView : public QWidget {
  Q_OBJECT

 public:
  // Asks for the file to save the charts to (PNG or SVG by its extension); empty: cancelled.
  using SaveDialog = std::function<QString(QWidget* parent, const QString& suggested)>;
  using ErrorReporter = std::function<void(const QString& message)>;

  struct Subject {
    AprsSubjectKind kind = AprsSubjectKind::kStation;
    QString name;
  };

  explicit PlotsView(QWidget* parent = nullptr);
  ~PlotsView() override;

  // What the pass reads: the frames rows lists (null: every frame) of snapshot, with the
  // capture's telemetry definitions; the stations, objects and items the picker offers. The
  // station shown is read again.
  void SetSource(IndexSnapshot snapshot, DefinitionFrames definitions,
                 std::shared_ptr<const std::vector<std::int64_t>> rows,
                 const std::vector<Subject>& subjects);
  // Reads and shows the values of one (the picker follows).
  void ShowSubject(const Subject& subject);
  // Shows values read elsewhere.
  void ShowSeries(const Subject& subject, StationSeries series);
  void Clear();

  // The time the charts show, ms; nothing when they show none.
  std::optional<std::pair<std::int64_t, std::int64_t>> Span() const;
  // Zoomed in: the span was chosen (a drag), not the values' whole time.
  bool Zoomed() const { return span_.has_value(); }
  // Every chart to [from, to] (ms), or to the whole time when nothing.
  void SetSpan(std::optional<std::pair<std::int64_t, std::int64_t>> span);
  // A click at pos (pixels of chart's view): the frame of the nearest point, if one is near.
  std::optional<std::int64_t> PointAt(int chart, QPointF pos) const;

  bool SaveTo(const QString& path);
  void Save();

  const StationSeries& Series() const { return series_; }
  const Subject& Shown() const { return shown_; }
  std::vector<QChartView*> ChartViews() const;
  bool Reading() const { return job_.Running(); }
  // Waits for the pass (tests).
  void WaitForReading();

  void SetSaveDialog(SaveDialog dialog) { save_dialog_ = std::move(dialog); }
  void SetErrorReporter(ErrorReporter reporter) { report_error_ = std::move(reporter); }

 signals:
  void FrameChosen(qint64 frame);
  // The charts were zoomed (or shown whole: nothing).
  void SpanChanged();

 private:
  struct Chart;
  void Tick();
  void Build();
  void Redraw();
  void AxisChanged(int chart);
  void Picked(int index);

  QComboBox* picker_ = nullptr;
  QLabel* caption_ = nullptr;
  QWidget* charts_ = nullptr;
  QVBoxLayout* charts_layout_ = nullptr;
  QTimer* tick_ = nullptr;
  std::vector<std::unique_ptr<Chart>> chart_list_;
  std::vector<Subject> subjects_;

  IndexSnapshot snapshot_;
  DefinitionFrames definitions_;
  std::shared_ptr<const std::vector<std::int64_t>> rows_;
  BackgroundJob job_;
  std::unique_ptr<StationSeries> reading_;  // the pass's result
  Subject reading_subject_;
  StationSeries series_;
  Subject shown_;
  std::optional<std::pair<std::int64_t, std::int64_t>> span_;
  bool syncing_ = false;
  SaveDialog save_dialog_;
  ErrorReporter report_error_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_PLOTS_VIEW_H_
