// The frame list window's Map and Plots tabs: what they show comes from the core's feed
// (framelist/map_plots_feed.h), made while the tab is shown; the window wires their requests to
// its commands (a station clicked on the map filters, a point clicked in the plots selects its
// frame, a span chosen there holds for the map).
#include <QAction>
#include <QMenu>
#include <QTabWidget>

#include "framelist/map_plots_feed.h"
#include "qt/qt_text.h"
#include "ui/frame_list_window.h"
#include "ui/plots_view.h"
#include "ui/station_map_view.h"

namespace packscope {

void FrameListWindow::CreateMapAndPlots() {
  map_ = new StationMapView();
  map_->setObjectName(QStringLiteral("Map"));
  map_->SetErrorReporter([this](const QString& message) { error_reporter_(message); });
  connect(map_, &StationMapView::FilterRequested, this,
          [this](const QString& expression) { ApplyFilter(expression); });
  tabs_->addTab(map_, QStringLiteral("&Map"));
  plots_ = new PlotsView();
  plots_->SetErrorReporter([this](const QString& message) { error_reporter_(message); });
  connect(plots_, &PlotsView::FrameChosen, this, [this](qint64 frame) {
    tabs_->setCurrentIndex(0);
    GoToFrame(frame + 1);
  });
  connect(plots_, &PlotsView::SpanChanged, this,
          [this] { map_plots_->SetSpan(plots_->Zoomed() ? plots_->Span() : std::nullopt); });
  tabs_->addTab(plots_, QStringLiteral("&Plots"));
  map_plots_ = std::make_unique<MapPlotsFeed>(
      *list_, kFirstFreeLane,
      [this](std::shared_ptr<const PositionCollector> positions, bool fit,
             const std::string& caption) {
        map_->SetPositions(std::move(positions), fit);
        map_->SetCaption(FromUtf8(caption));
      },
      [this](PlotsSource source) {
        std::vector<PlotsView::Subject> subjects;
        subjects.reserve(source.subjects.size());
        for (const PlotSubject& s : source.subjects) subjects.push_back({s.kind, FromUtf8(s.name)});
        plots_->SetSource(std::move(source.snapshot), std::move(source.definitions),
                          std::move(source.rows), subjects);
      });
  connect(tabs_, &QTabWidget::currentChanged, this, [this] {
    map_plots_->SetMapShown(tabs_->currentWidget() == map_);
    map_plots_->SetPlotsShown(tabs_->currentWidget() == plots_);
  });
}

void FrameListWindow::AddMapAndPlotsMenus(QMenu* view) {
  QAction* map = view->addAction(QStringLiteral("&Map"));
  map->setObjectName(QStringLiteral("MnuViewMap"));
  map->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_3));
  connect(map, &QAction::triggered, this, &FrameListWindow::ShowMap);
  QAction* plots = view->addAction(QStringLiteral("&Plots"));
  plots->setObjectName(QStringLiteral("MnuViewPlots"));
  plots->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_4));
  connect(plots, &QAction::triggered, this, &FrameListWindow::ShowPlots);
}

void FrameListWindow::ShowMap() {
  tabs_->setCurrentWidget(map_);
  map_->Canvas()->setFocus();
}

void FrameListWindow::ShowPlots() {
  const std::int64_t frame = CurrentFrame();
  tabs_->setCurrentWidget(plots_);
  if (const std::optional<PlotSubject> subject = FrameSubject(list_->Snapshot(), frame)) {
    plots_->ShowSubject({subject->kind, FromUtf8(subject->name)});
  }
}

}  // namespace packscope
