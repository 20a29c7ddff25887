#include "ui/statistics_view.h"

#include <QAbstractTableModel>
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
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "commands/frame_text.h"
#include "framelist/frame_list_text.h"
#include "qt/qt_text.h"

namespace packscope {
namespace {

enum HeardColumn { kStation, kFrames, kFirst, kLast, kDestinations, kPaths, kHeardColumns };

QString TimeText(const std::optional<std::int64_t>& millis) {
  return millis ? FromUtf8(IsoStampText(*millis)) : QString();
}

// "APRS 2, QQ5BBS-1 1", most frequent first (UTF-8).
std::string CountsText(const HeardCounts& counts) {
  HeardCounts sorted = counts;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::string text;
  for (const auto& [key, n] : sorted) {
    if (!text.empty()) text.append(", ");
    AppendPrintable(text, key);
    text.append(" ").append(std::to_string(n));
  }
  return text;
}

}  // namespace

// The rows of the heard list: the survey's stations in the order of the sorted column (equal
// ones in callsign order), their texts made when asked for.
class StatisticsView::HeardModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void SetSurvey(std::shared_ptr<const CaptureSurvey> survey) {
    beginResetModel();
    survey_ = std::move(survey);
    rows_.clear();
    if (survey_ != nullptr) {
      survey_->heard.Sort();
      rows_.resize(survey_->heard.Size());
      for (std::uint32_t i = 0; i < rows_.size(); ++i) rows_[i] = i;
      Order(rows_);
    }
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : kHeardColumns;
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const packscope::HeardList& heard = survey_->heard;
    const std::size_t i = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::UserRole && index.column() == kStation) {
      const std::string_view call = heard.Call(i);
      return QByteArray(call.data(), static_cast<qsizetype>(call.size()));
    }
    if (role == Qt::TextAlignmentRole && index.column() == kFrames) {
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case kStation: {
        std::string printable;
        AppendPrintable(printable, heard.Call(i));
        return FromUtf8(printable);
      }
      case kFrames:
        return QString::number(heard.Frames(i));
      case kFirst:
        return TimeText(heard.First(i));
      case kLast:
        return TimeText(heard.Last(i));
      case kDestinations:
        return FromUtf8(CountsText(heard.Station(i).destinations));
      case kPaths:
        return FromUtf8(CountsText(heard.Station(i).paths));
      default:
        return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    static const char* const kTitles[kHeardColumns] = {"Station",    "Frames",       "First heard",
                                                       "Last heard", "Destinations", "Paths"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kHeardColumns) {
      return {};
    }
    return QString::fromLatin1(kTitles[section]);
  }

  void sort(int column, Qt::SortOrder order) override {
    column_ = column;
    order_ = order;
    if (survey_ == nullptr) return;
    layoutAboutToBeChanged();
    Order(rows_);
    layoutChanged();
  }

 private:
  // Sorts rows (station numbers) by the column; ties stay in callsign order.
  void Order(std::vector<std::uint32_t>& rows) const {
    const packscope::HeardList& heard = survey_->heard;
    std::sort(rows.begin(), rows.end());
    const bool down = order_ == Qt::DescendingOrder;
    const auto by = [&](auto&& key) {
      std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
        return down ? key(b) < key(a) : key(a) < key(b);
      });
    };
    switch (column_) {
      case kStation:
        if (down) std::reverse(rows.begin(), rows.end());
        break;
      case kFrames:
        by([&](std::uint32_t i) { return heard.Frames(i); });
        break;
      case kFirst:
        by([&](std::uint32_t i) { return heard.First(i); });
        break;
      case kLast:
        by([&](std::uint32_t i) { return heard.Last(i); });
        break;
      case kDestinations:
      case kPaths: {
        // The texts of every row, for the time of the sort.
        std::vector<std::string> texts(heard.Size());
        for (std::uint32_t i = 0; i < texts.size(); ++i) {
          const HeardStation s = heard.Station(i);
          texts[i] = CountsText(column_ == kDestinations ? s.destinations : s.paths);
        }
        by([&](std::uint32_t i) -> const std::string& { return texts[i]; });
        break;
      }
      default:
        break;
    }
  }

  std::shared_ptr<const CaptureSurvey> survey_;
  std::vector<std::uint32_t> rows_;
  int column_ = kFrames;
  Qt::SortOrder order_ = Qt::DescendingOrder;
};

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
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setObjectName(QStringLiteral("StatisticsSplitter"));
  // A table, not a tree: a tree view keeps a record of every row, 40 bytes a station.
  heard_ = new QTableView(splitter);
  heard_->setObjectName(QStringLiteral("HeardList"));
  heard_model_ = new HeardModel(heard_);
  heard_->setModel(heard_model_);
  heard_->setSelectionBehavior(QAbstractItemView::SelectRows);
  heard_->setSelectionMode(QAbstractItemView::SingleSelection);
  heard_->setAlternatingRowColors(true);
  heard_->setWordWrap(false);
  heard_->setShowGrid(false);
  heard_->verticalHeader()->hide();
  heard_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  heard_->verticalHeader()->setDefaultSectionSize(heard_->fontMetrics().height() + 2);
  heard_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  heard_->horizontalHeader()->setStretchLastSection(true);
  heard_->setSortingEnabled(true);
  heard_->sortByColumn(kFrames, Qt::DescendingOrder);
  heard_->setToolTip(QStringLiteral("Click a station (or press Return on it) to show its frames."));
  connect(heard_, &QTableView::clicked, this, &StatisticsView::StationChosen);
  connect(heard_, &QTableView::activated, this, &StatisticsView::StationChosen);

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
  heard_model_->SetSurvey(nullptr);
  chart_->removeAllSeries();
  for (QAbstractAxis* axis : chart_->axes()) {
    chart_->removeAxis(axis);
    delete axis;
  }
  bins_ = {};
  last_bar_ = -1;
  caption_->setText(QStringLiteral("The statistics follow once the capture is read."));
}

void StatisticsView::SetSurvey(std::shared_ptr<const CaptureSurvey> survey) {
  Clear();
  if (survey == nullptr) return;
  bins_ = BinTraffic(survey->minutes, kMostBars);
  heard_model_->SetSurvey(std::move(survey));
  for (int c = 0; c < kDestinations; ++c) heard_->resizeColumnToContents(c);

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

void StatisticsView::StationChosen(const QModelIndex& index) {
  if (!index.isValid()) return;
  const QByteArray call =
      heard_model_->index(index.row(), kStation).data(Qt::UserRole).toByteArray();
  emit FilterRequested(FromUtf8(StationFilter(call.toStdString())));
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
