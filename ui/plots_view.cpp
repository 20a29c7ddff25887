#include "ui/plots_view.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSvgGenerator>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "commands/frame_text.h"
#include "qt/qt_text.h"

namespace packscope {
namespace {

constexpr int kChartHeight = 230;
// The plot area of every chart lies as far from its view's edges, so that the time axes line
// up under one another whatever the values' labels and the legend take.
constexpr double kLeft = 76;
constexpr double kRight = 18;
constexpr double kTop = 34;
constexpr double kBottom = 40;

// The unit as an axis shows it.
QString UnitTitle(const std::string& unit) {
  if (unit.empty()) return QStringLiteral("(no unit)");
  if (unit == "degC") return QStringLiteral("\u00B0C");
  if (unit == "deg") return QStringLiteral("degrees");
  return FromUtf8(unit);
}

// A chart view that tells a click (a press and release without a drag) apart from the drag that
// zooms.
class PlotChartView : public QChartView {
 public:
  PlotChartView(QChart* chart, QWidget* parent, std::function<void(QPointF)> clicked)
      : QChartView(chart, parent), clicked_(std::move(clicked)) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    press_ = event->position();
    QChartView::mousePressEvent(event);
  }
  void resizeEvent(QResizeEvent* event) override {
    QChartView::resizeEvent(event);
    chart()->setPlotArea(QRectF(kLeft, kTop, std::max(10.0, width() - kLeft - kRight),
                                std::max(10.0, height() - kTop - kBottom)));
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const bool click =
        event->button() == Qt::LeftButton && (event->position() - press_).manhattanLength() < 3;
    QChartView::mouseReleaseEvent(event);
    if (click) clicked_(event->position());
  }

 private:
  std::function<void(QPointF)> clicked_;
  QPointF press_;
};

}  // namespace

struct PlotsView::Chart {
  QChartView* view = nullptr;
  QChart* chart = nullptr;
  QCategoryAxis* x = nullptr;
  QValueAxis* y = nullptr;
  std::vector<std::pair<std::size_t, QLineSeries*>> lines;  // quantity, its line
};

PlotsView::PlotsView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Plots"));
  picker_ = new QComboBox(this);
  picker_->setObjectName(QStringLiteral("PlotsStation"));
  picker_->setMinimumContentsLength(16);
  picker_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  auto* whole = new QPushButton(QStringLiteral("Whole Time"), this);
  whole->setObjectName(QStringLiteral("PlotsWholeTime"));
  auto* save = new QPushButton(QStringLiteral("Save..."), this);
  save->setObjectName(QStringLiteral("PlotsSave"));
  save->setToolTip(QStringLiteral("Save the charts as PNG or SVG"));
  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("PlotsCaption"));
  auto* tools = new QHBoxLayout;
  tools->addWidget(new QLabel(QStringLiteral("Station:"), this));
  tools->addWidget(picker_);
  tools->addWidget(whole);
  tools->addWidget(save);
  tools->addSpacing(12);
  tools->addWidget(caption_, 1);
  charts_ = new QWidget;
  charts_->setObjectName(QStringLiteral("PlotsCharts"));
  charts_layout_ = new QVBoxLayout(charts_);
  charts_layout_->setContentsMargins(0, 0, 0, 0);
  charts_layout_->setSpacing(2);
  auto* scroll = new QScrollArea(this);
  scroll->setWidgetResizable(true);
  scroll->setWidget(charts_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(tools);
  layout->addWidget(scroll, 1);
  tick_ = new QTimer(this);
  tick_->setInterval(50);

  save_dialog_ = [](QWidget* parent_widget, const QString& suggested) {
    return QFileDialog::getSaveFileName(parent_widget, QStringLiteral("Save Charts"), suggested,
                                        QStringLiteral("PNG image (*.png);;SVG drawing (*.svg)"));
  };
  report_error_ = [this](const QString& message) {
    QMessageBox::warning(this, QStringLiteral("Save Charts"), message);
  };
  connect(tick_, &QTimer::timeout, this, &PlotsView::Tick);
  connect(picker_, &QComboBox::activated, this, &PlotsView::Picked);
  connect(whole, &QPushButton::clicked, this, [this] { SetSpan(std::nullopt); });
  connect(save, &QPushButton::clicked, this, &PlotsView::Save);
  Build();
}

PlotsView::~PlotsView() = default;

void PlotsView::SetSource(IndexSnapshot snapshot, DefinitionFrames definitions,
                          std::shared_ptr<const std::vector<std::int64_t>> rows,
                          const std::vector<Subject>& subjects) {
  snapshot_ = std::move(snapshot);
  definitions_ = std::move(definitions);
  rows_ = std::move(rows);
  subjects_ = subjects;
  picker_->clear();
  for (const Subject& s : subjects_) {
    picker_->addItem(s.kind == AprsSubjectKind::kStation
                         ? s.name
                         : QStringLiteral("%1 (%2)").arg(
                               s.name, FromUtf8(std::string(AprsSubjectKindName(s.kind)))));
  }
  if (!shown_.name.isEmpty()) ShowSubject(shown_);
}

void PlotsView::Picked(int index) {
  if (index >= 0 && static_cast<std::size_t>(index) < subjects_.size()) {
    ShowSubject(subjects_[static_cast<std::size_t>(index)]);
  }
}

void PlotsView::ShowSubject(const Subject& subject) {
  for (std::size_t i = 0; i < subjects_.size(); ++i) {
    if (subjects_[i].kind == subject.kind && subjects_[i].name == subject.name) {
      picker_->setCurrentIndex(static_cast<int>(i));
    }
  }
  // The pass still reading writes into reading_: it ends before reading_ is replaced.
  job_.Cancel();
  job_.Join();
  reading_subject_ = subject;
  reading_ = std::make_unique<StationSeries>();
  StationSeries* out = reading_.get();
  const std::string name = ToUtf8(subject.name);
  job_.Start([snapshot = snapshot_, definitions = definitions_, rows = rows_, kind = subject.kind,
              name, out](const std::atomic<bool>* cancel, const auto& progress) {
    CollectSeries(snapshot, definitions, rows.get(), kind, name, *out, cancel, progress);
  });
  caption_->setText(QStringLiteral("Reading the values of %1...").arg(subject.name));
  tick_->start();
}

void PlotsView::Tick() {
  if (!job_.Finished()) {
    if (job_.Total() > 0) {
      caption_->setText(QStringLiteral("Reading the values of %1... %2 %")
                            .arg(reading_subject_.name)
                            .arg(100 * job_.Done() / job_.Total()));
    }
    return;
  }
  tick_->stop();
  job_.Join();
  if (!job_.Error().empty()) {
    caption_->setText(FromUtf8(job_.Error()));
    return;
  }
  ShowSeries(reading_subject_, std::move(*reading_));
  reading_.reset();
}

void PlotsView::WaitForReading() {
  job_.Join();
  Tick();
}

void PlotsView::ShowSeries(const Subject& subject, StationSeries series) {
  shown_ = subject;
  series_ = std::move(series);
  // A span that lies outside the new values is forgotten.
  const bool span_gone =
      span_ && (!series_.first || span_->second < *series_.first || span_->first > *series_.last);
  if (span_gone) span_.reset();
  Build();
  std::int64_t values = 0;
  for (const StationQuantity& q : series_.quantities)
    values += static_cast<std::int64_t>(q.points.size());
  QString text = QStringLiteral("%1: %2 values of %3 quantities")
                     .arg(subject.name)
                     .arg(values)
                     .arg(series_.quantities.size());
  if (series_.first) {
    text += QStringLiteral(", %1 to %2 UTC")
                .arg(FromUtf8(IsoStampText(*series_.first).substr(0, 19)),
                     FromUtf8(IsoStampText(*series_.last).substr(0, 19)));
  }
  if (series_.untimed > 0) {
    text += QStringLiteral(" (%1 without a time, not drawn)").arg(series_.untimed);
  }
  caption_->setText(text);
  if (span_gone) emit SpanChanged();
}

void PlotsView::Clear() {
  job_.Cancel();
  job_.Join();
  tick_->stop();
  shown_ = Subject{};
  series_ = StationSeries{};
  span_.reset();
  Build();
  caption_->clear();
}

std::vector<QChartView*> PlotsView::ChartViews() const {
  std::vector<QChartView*> views;
  for (const auto& c : chart_list_) views.push_back(c->view);
  return views;
}

void PlotsView::Build() {
  for (auto& c : chart_list_) {
    charts_layout_->removeWidget(c->view);
    delete c->view;  // the chart, axes and lines with it
  }
  chart_list_.clear();
  const std::vector<SeriesChart> charts = ChartsByUnit(series_);
  for (std::size_t k = 0; k < charts.size(); ++k) {
    auto c = std::make_unique<Chart>();
    c->chart = new QChart;
    c->chart->setMargins(QMargins(4, 4, 4, 4));
    c->chart->legend()->setAlignment(Qt::AlignTop);
    c->x = new QCategoryAxis;
    c->x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    c->y = new QValueAxis;
    c->y->setTitleText(UnitTitle(charts[k].unit));
    c->chart->addAxis(c->x, Qt::AlignBottom);
    c->chart->addAxis(c->y, Qt::AlignLeft);
    for (const std::size_t q : charts[k].quantities) {
      auto* line = new QLineSeries;
      line->setName(FromUtf8(series_.quantities[q].quantity));
      c->chart->addSeries(line);
      line->attachAxis(c->x);
      line->attachAxis(c->y);
      c->lines.emplace_back(q, line);
    }
    const int index = static_cast<int>(k);
    c->view = new PlotChartView(c->chart, charts_, [this, index](QPointF at) {
      if (const auto frame = PointAt(index, at)) emit FrameChosen(*frame);
    });
    c->view->setObjectName(QStringLiteral("PlotsChart%1").arg(k));
    c->view->setRenderHint(QPainter::Antialiasing);
    c->view->setRubberBand(QChartView::HorizontalRubberBand);
    c->view->setMinimumHeight(kChartHeight);
    charts_layout_->addWidget(c->view);
    connect(c->x, &QValueAxis::rangeChanged, this, [this, index] { AxisChanged(index); });
    chart_list_.push_back(std::move(c));
  }
  charts_layout_->addStretch(0);
  Redraw();
}

std::optional<std::pair<std::int64_t, std::int64_t>> PlotsView::Span() const {
  if (span_) return span_;
  if (!series_.first) return std::nullopt;
  return std::pair{*series_.first, *series_.last};
}

void PlotsView::SetSpan(std::optional<std::pair<std::int64_t, std::int64_t>> span) {
  span_ = span;
  Redraw();
  emit SpanChanged();
}

void PlotsView::AxisChanged(int chart) {
  if (syncing_) return;
  const QCategoryAxis* x = chart_list_[static_cast<std::size_t>(chart)]->x;
  const auto from = static_cast<std::int64_t>(std::floor(x->min()));
  const auto to = static_cast<std::int64_t>(std::ceil(x->max()));
  if (to <= from) return;
  SetSpan(std::pair{from, to});
}

void PlotsView::Redraw() {
  const auto span = Span();
  if (!span) return;
  // A single moment gets a minute around it.
  std::int64_t from = span->first;
  std::int64_t to = span->second;
  if (to <= from) {
    from -= 30000;
    to += 30000;
  }
  syncing_ = true;
  for (auto& c : chart_list_) {
    // A column of two pixels keeps the line's extremes to the pixel and halves what the line
    // item strokes (and works out for its shape, which the mouse hits).
    const int columns = std::max(100, static_cast<int>(c->chart->plotArea().width() / 2));
    double lo = INFINITY;
    double hi = -INFINITY;
    for (auto& [q, line] : c->lines) {
      const std::vector<SeriesPoint> drawn =
          PointsToDraw(series_.quantities[q].points, from, to, columns);
      QList<QPointF> points;
      points.reserve(static_cast<qsizetype>(drawn.size()));
      for (const SeriesPoint& p : drawn) {
        points.append(QPointF(static_cast<double>(p.time), p.value));
        if (p.time >= from && p.time <= to) {
          lo = std::min(lo, p.value);
          hi = std::max(hi, p.value);
        }
      }
      line->replace(points);
    }
    if (!std::isfinite(lo)) {
      lo = 0;
      hi = 1;
    }
    const double pad = hi > lo ? (hi - lo) * 0.06 : std::max(std::abs(hi) * 0.05, 1.0);
    c->y->setRange(lo - pad, hi + pad);
    // The marks changed all at once: the axis lays itself out again once, when its range is
    // set below, not after each mark.
    c->x->blockSignals(true);
    for (const QString& label : c->x->categoriesLabels()) c->x->remove(label);
    for (const TimeTick& t : TimeTicks(from, to, 8)) {
      c->x->append(FromUtf8(t.label), static_cast<double>(t.time));
    }
    c->x->blockSignals(false);
    c->x->setRange(static_cast<double>(from), static_cast<double>(to));
  }
  syncing_ = false;
}

std::optional<std::int64_t> PlotsView::PointAt(int chart, QPointF pos) const {
  if (chart < 0 || static_cast<std::size_t>(chart) >= chart_list_.size()) return std::nullopt;
  const Chart& c = *chart_list_[static_cast<std::size_t>(chart)];
  const QRectF area = c.chart->plotArea();
  if (area.width() <= 0 || area.height() <= 0 ||
      !area.contains(c.view->mapToScene(pos.toPoint()))) {
    return std::nullopt;
  }
  const double ms_per_pixel = (c.x->max() - c.x->min()) / area.width();
  const double value_per_pixel = (c.y->max() - c.y->min()) / area.height();
  const SeriesPoint* best = nullptr;
  double best_distance = 1e300;
  for (const auto& [q, line] : c.lines) {
    const QPointF value = c.chart->mapToValue(c.view->mapToScene(pos.toPoint()), line);
    const std::vector<SeriesPoint>& points = series_.quantities[q].points;
    const SeriesPoint* p =
        NearestPoint(points, value.x(), value.y(), ms_per_pixel, value_per_pixel, 8);
    if (p == nullptr) continue;
    const double dx = (static_cast<double>(p->time) - value.x()) / ms_per_pixel;
    const double dy = (p->value - value.y()) / value_per_pixel;
    if (dx * dx + dy * dy < best_distance) {
      best = p;
      best_distance = dx * dx + dy * dy;
    }
  }
  if (best == nullptr) return std::nullopt;
  return best->frame;
}

bool PlotsView::SaveTo(const QString& path) {
  bool ok = false;
  if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(charts_->size());
    svg.setViewBox(QRect(QPoint(0, 0), charts_->size()));
    svg.setTitle(QStringLiteral("Packscope: %1").arg(shown_.name));
    QPainter painter;
    ok = painter.begin(&svg);
    if (ok) {
      charts_->render(&painter);
      ok = painter.end();
    }
  } else {
    ok = charts_->grab().save(path, "PNG");
  }
  if (!ok) report_error_(QStringLiteral("The charts could not be saved to %1.").arg(path));
  return ok;
}

void PlotsView::Save() {
  const QString suggested =
      shown_.name.isEmpty() ? QStringLiteral("plots.png") : shown_.name + QStringLiteral(".png");
  const QString path = save_dialog_(this, suggested);
  if (!path.isEmpty()) SaveTo(path);
}

}  // namespace packscope
