#include "ui/statistics_view.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStackedBarSeries>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "commands/frame_text.h"
#include "framelist/frame_list_text.h"
#include "qt/qt_text.h"

namespace packscope {
namespace {

enum HeardColumn { kStation, kFrames, kFirst, kLast, kDestinations, kPaths, kHeardColumns };

// Sorts the Frames column by number, the others by text.
class HeardItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
    if (column == kFrames) return text(column).toLongLong() < other.text(column).toLongLong();
    return QTreeWidgetItem::operator<(other);
  }
};

QString TimeText(const std::optional<std::int64_t>& millis) {
  return millis ? FromUtf8(IsoStampText(*millis)) : QString();
}

// "APRS 2, QQ5BBS-1 1", most frequent first.
QString CountsText(const HeardCounts& counts) {
  std::vector<std::pair<std::string, std::int64_t>> sorted(counts.begin(), counts.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  QStringList parts;
  for (const auto& [key, n] : sorted) {
    std::string printable;
    AppendPrintable(printable, key);
    parts << FromUtf8(printable) + QLatin1Char(' ') + QString::number(n);
  }
  return parts.join(QStringLiteral(", "));
}

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
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setObjectName(QStringLiteral("StatisticsSplitter"));
  heard_ = new QTreeWidget(splitter);
  heard_->setObjectName(QStringLiteral("HeardList"));
  heard_->setRootIsDecorated(false);
  heard_->setUniformRowHeights(true);
  heard_->setAlternatingRowColors(true);
  heard_->setHeaderLabels({QStringLiteral("Station"), QStringLiteral("Frames"),
                           QStringLiteral("First heard"), QStringLiteral("Last heard"),
                           QStringLiteral("Destinations"), QStringLiteral("Paths")});
  heard_->setSortingEnabled(true);
  heard_->sortByColumn(kFrames, Qt::DescendingOrder);
  heard_->setToolTip(QStringLiteral("Click a station (or press Return on it) to show its frames."));
  connect(heard_, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* item) { StationChosen(item); });
  connect(heard_, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item) { StationChosen(item); });

  auto* chart_box = new QWidget(splitter);
  auto* chart_layout = new QVBoxLayout(chart_box);
  chart_layout->setContentsMargins(0, 0, 0, 0);
  caption_ = new QLabel(chart_box);
  caption_->setObjectName(QStringLiteral("ChartCaption"));
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
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(splitter);
  FollowTheme();
  Clear();
}

void StatisticsView::Clear() {
  heard_->clear();
  chart_->removeAllSeries();
  for (QAbstractAxis* axis : chart_->axes()) {
    chart_->removeAxis(axis);
    delete axis;
  }
  bins_ = {};
  last_bar_ = -1;
  caption_->setText(QStringLiteral("The statistics follow once the capture is read."));
}

void StatisticsView::SetSurvey(const CaptureSurvey& survey) {
  Clear();
  heard_->setSortingEnabled(false);
  QList<QTreeWidgetItem*> items;
  for (const auto& [call, s] : survey.heard.Stations()) {
    std::string printable;
    AppendPrintable(printable, call);
    auto* item = new HeardItem();
    item->setText(kStation, FromUtf8(printable));
    item->setData(kStation, Qt::UserRole, QByteArray::fromStdString(call));
    item->setText(kFrames, QString::number(s.frames));
    item->setTextAlignment(kFrames, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(kFirst, TimeText(s.first));
    item->setText(kLast, TimeText(s.last));
    item->setText(kDestinations, CountsText(s.destinations));
    item->setText(kPaths, CountsText(s.paths));
    items << item;
  }
  heard_->addTopLevelItems(items);
  heard_->setSortingEnabled(true);
  for (int c = 0; c < kDestinations; ++c) heard_->resizeColumnToContents(c);

  bins_ = BinTraffic(survey.minutes, kMostBars);
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
  y->setTitleText(width == 1 ? QStringLiteral("frames per minute")
                             : QStringLiteral("frames per %1 minutes").arg(width));
  chart_->addAxis(x, Qt::AlignBottom);
  chart_->addAxis(y, Qt::AlignLeft);
  series->attachAxis(x);
  series->attachAxis(y);
  y->applyNiceNumbers();
  caption_->setText(
      QStringLiteral("Frames over the capture by frame type (UTC, %1 per bar from %2). Click a bar "
                     "to show its frames; Shift+click another to show the span of both.")
          .arg(width == 1 ? QStringLiteral("a minute") : QStringLiteral("%1 minutes").arg(width),
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

void StatisticsView::StationChosen(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  emit FilterRequested(
      FromUtf8(StationFilter(item->data(kStation, Qt::UserRole).toByteArray().toStdString())));
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
