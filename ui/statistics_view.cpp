#include "ui/statistics_view.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStackedBarSeries>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "commands/frame_text.h"
#include "framelist/frame_list_text.h"
#include "qt/qt_text.h"
#include "ui/stat_table_model.h"

namespace packscope {
namespace {

// The colours of the frame types, one each, of middle lightness: they read on a light and on a
// dark background alike (the charts' own themes run out of distinct colours after six).
constexpr QRgb kKindColors[kTrafficKindCount] = {
    0x1F77B4, 0x2CA02C, 0xFF7F0E, 0x9467BD, 0xD62728, 0x8C564B, 0xE377C2, 0x7F7F7F,
    0xBCBD22, 0x17BECF, 0xF0A030, 0x20B080, 0xC07040, 0x6080E0, 0xB0A060, 0x9E9E9E};

// A bar's label: its start, as much of it as tells the bars apart.
QString BinLabel(std::int64_t minute, std::int64_t width, bool days_differ) {
  const QString text = FromUtf8(MinuteText(minute));  // 2016-01-01T12:34
  if (width >= 1440) return text.left(10);
  return days_differ ? text.mid(5, 5) + QLatin1Char(' ') + text.mid(11) : text.mid(11);
}

}  // namespace

StatisticsView::StatisticsView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Statistics"));
  auto* top = new QHBoxLayout();
  scope_ = new QLabel(this);
  scope_->setObjectName(QStringLiteral("StatisticsScope"));
  whole_ = new QCheckBox(QStringLiteral("&Whole capture"), this);
  whole_->setObjectName(QStringLiteral("StatisticsWholeCapture"));
  whole_->setToolTip(QStringLiteral("The statistics of every frame, not only of those shown"));
  connect(whole_, &QCheckBox::toggled, this, &StatisticsView::WholeCaptureChosen);
  top->addWidget(scope_, 1);
  top->addWidget(whole_);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setObjectName(QStringLiteral("StatisticsSplitter"));
  tables_ = new QTabWidget(splitter);
  tables_->setObjectName(QStringLiteral("StatisticsTables"));
  tables_->setDocumentMode(true);
  AddTable();

  auto* chart_box = new QWidget(splitter);
  auto* chart_layout = new QVBoxLayout(chart_box);
  chart_layout->setContentsMargins(0, 0, 0, 0);
  caption_ = new QLabel(chart_box);
  caption_->setObjectName(QStringLiteral("ChartCaption"));
  caption_->setWordWrap(true);
  chart_ = new QChart();
  chart_->setObjectName(QStringLiteral("TrafficChart"));
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_view_ = new QChartView(chart_, chart_box);
  chart_view_->setObjectName(QStringLiteral("TrafficChartView"));
  chart_view_->setRenderHint(QPainter::Antialiasing);
  chart_view_->setMinimumHeight(320);
  chart_layout->addWidget(caption_);
  chart_layout->addWidget(chart_view_, 1);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 2);
  splitter->setSizes({200, 400});

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->addLayout(top);
  layout->addWidget(splitter, 1);
  FollowTheme();
  Clear();
}

QTableView* StatisticsView::Table(int i) const {
  return qobject_cast<QTableView*>(tables_->widget(i));
}

// A table, not a tree: a tree view keeps a record of every row, 40 bytes a station.
QTableView* StatisticsView::AddTable() {
  auto* view = new QTableView(tables_);
  view->setObjectName(tables_->count() == 0
                          ? QStringLiteral("HeardList")
                          : QStringLiteral("StatisticsTable%1").arg(tables_->count()));
  view->setModel(new StatTableModel(view, 0));
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setAlternatingRowColors(true);
  view->setWordWrap(false);
  view->setShowGrid(false);
  view->verticalHeader()->hide();
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 2);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  view->horizontalHeader()->setStretchLastSection(true);
  view->setSortingEnabled(true);
  view->setToolTip(QStringLiteral("Click a row (or press Return on it) to show its frames."));
  connect(view, &QTableView::clicked, this, &StatisticsView::RowChosen);
  connect(view, &QTableView::activated, this, &StatisticsView::RowChosen);
  tables_->addTab(view, QString());
  return view;
}

void StatisticsView::Clear() {
  for (int i = 0; i < tables_->count(); ++i) {
    static_cast<StatTableModel*>(Table(i)->model())->SetTable(nullptr);
  }
  chart_->removeAllSeries();
  for (QAbstractAxis* axis : chart_->axes()) {
    chart_->removeAxis(axis);
    delete axis;
  }
  bins_ = {};
  last_bar_ = -1;
  caption_->setText(QStringLiteral("The statistics follow once the capture is read."));
}

void StatisticsView::SetStatistics(const SurveyStatistics* statistics, const QString& scope,
                                   bool filtered) {
  Clear();
  whole_->setEnabled(filtered);
  scope_->setText(QStringLiteral("Statistics of %1").arg(scope));
  if (statistics == nullptr) {
    caption_->setText(filtered ? QStringLiteral("The statistics of the frames shown follow once "
                                                "they are surveyed.")
                               : QStringLiteral("The statistics follow once the capture is read."));
    return;
  }
  for (std::size_t i = 0; i < statistics->tables.size(); ++i) {
    const std::shared_ptr<const StatTable>& table = statistics->tables[i];
    QTableView* view =
        static_cast<int>(i) < tables_->count() ? Table(static_cast<int>(i)) : AddTable();
    auto* model = static_cast<StatTableModel*>(view->model());
    const bool first = model->columnCount() == 0 && tables_->tabText(static_cast<int>(i)).isEmpty();
    tables_->setTabText(static_cast<int>(i), FromUtf8(table->Title()));
    model->SetTable(table);
    if (first) {
      view->sortByColumn(table->FirstSortColumn(),
                         table->FirstSortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    for (int c = 0; c < std::min(4, model->columnCount()); ++c) view->resizeColumnToContents(c);
  }
  SetChart(statistics->bins);
}

void StatisticsView::SetChart(const TrafficBins& bins) {
  bins_ = bins;
  if (bins_.bins.empty()) {
    caption_->setText(QStringLiteral("No frame carries a time: there is nothing to chart."));
    return;
  }
  const std::int64_t width = bins_.minutes_per_bin;
  const bool days_differ =
      MinuteText(bins_.first_minute).substr(0, 10) !=
      MinuteText(bins_.first_minute + width * static_cast<std::int64_t>(bins_.bins.size()))
          .substr(0, 10);
  auto* series = new QStackedBarSeries();
  series->setBarWidth(0.9);
  for (int k = 0; k < kTrafficKindCount; ++k) {
    bool any = false;
    for (const TrafficCounts& b : bins_.bins) any = any || b[static_cast<std::size_t>(k)] > 0;
    if (!any) continue;
    auto* set = new QBarSet(FromUtf8(kTrafficKinds[static_cast<std::size_t>(k)]));
    set->setColor(QColor(kKindColors[k]));
    set->setBorderColor(QColor(kKindColors[k]));
    for (const TrafficCounts& b : bins_.bins) set->append(b[static_cast<std::size_t>(k)]);
    series->append(set);
  }
  connect(series, &QStackedBarSeries::clicked, this, [this](int index, QBarSet*) {
    BarClicked(index, (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier) != 0);
  });
  chart_->addSeries(series);
  QStringList labels;
  for (std::size_t i = 0; i < bins_.bins.size(); ++i) {
    labels << BinLabel(bins_.first_minute + width * static_cast<std::int64_t>(i), width,
                       days_differ);
  }
  auto* x = new QBarCategoryAxis();
  x->append(labels);
  x->setLabelsAngle(-90);
  x->setTruncateLabels(false);
  auto* y = new QValueAxis();
  y->setLabelFormat(QStringLiteral("%d"));
  const QString span = FromUtf8(BinWidthText(width));
  y->setTitleText(QStringLiteral("frames per %1").arg(span));
  chart_->addAxis(x, Qt::AlignBottom);
  chart_->addAxis(y, Qt::AlignLeft);
  series->attachAxis(x);
  series->attachAxis(y);
  y->applyNiceNumbers();
  caption_->setText(
      QStringLiteral("Frames over time by frame type (UTC, %1 per bar from %2). Click a bar to "
                     "show its frames; Shift+click another to show the span of both.")
          .arg(width == 1 || width == 60 || width == 1440 ? QStringLiteral("one ") + span : span,
               FromUtf8(MinuteText(bins_.first_minute))
                   .replace(QLatin1Char('T'), QLatin1Char(' '))));
}

void StatisticsView::BarClicked(int index, bool widen) {
  if (index < 0 || static_cast<std::size_t>(index) >= bins_.bins.size()) return;
  int first = index;
  int last = index;
  if (widen && last_bar_ >= 0) {
    first = std::min(index, last_bar_);
    last = std::max(index, last_bar_);
  } else {
    last_bar_ = index;
  }
  const std::int64_t width = bins_.minutes_per_bin;
  emit FilterRequested(
      FromUtf8(TimeSpanFilter(bins_.first_minute + width * first, width * (last - first + 1))));
}

void StatisticsView::RowChosen(const QModelIndex& index) {
  if (!index.isValid()) return;
  const auto* model = static_cast<const StatTableModel*>(index.model());
  if (model->Table() == nullptr) return;
  const std::string filter = model->Table()->RowFilter(model->RowOf(index.row()));
  if (!filter.empty()) emit FilterRequested(FromUtf8(filter));
}

void StatisticsView::FollowTheme() {
  const bool dark = palette().color(QPalette::Window).lightness() < 128;
  chart_->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
  chart_->setBackgroundBrush(palette().brush(QPalette::Base));
}

void StatisticsView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) FollowTheme();
}

}  // namespace packscope
