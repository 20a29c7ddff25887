// The Map and Plots views as a user meets them, on the offscreen platform, over the survey of a
// generated capture: the wheel zooms at the pointer, a drag pans, a click on a station asks for
// its filter; tiles of a folder and of an MBTiles file are drawn where they belong (MBTiles rows
// from the south); the plots have a chart per unit, zoom together, a click on a point names its
// frame, and save as PNG and SVG. In the frame list window: the Map tab shows the survey's
// stations, Ctrl+4 plots the selected row's station, a span zoomed to there holds for the map, a
// point chosen selects its frame.
#include <QApplication>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QLineSeries>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>
#include <memory>

#include "capture/frame_index.h"
#include "framelist/capture_survey.h"
#include "gencapture/capture_generator.h"
#include "qt/qt_text.h"
#include "tests/ui/ui_test_support.h"
#include "ui/frame_list_window.h"
#include "ui/frame_table_model.h"
#include "ui/plots_view.h"
#include "ui/station_map_view.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

// A tile of one colour, PNG.
QByteArray Tile(QRgb color) {
  QImage image(256, 256, QImage::Format_RGB32);
  image.fill(color);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return png;
}

}  // namespace

class MapPlotsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    gen::Options options;
    options.seed = 4;
    options.frames = 1500;
    options.telemetry = true;
    path_ = dir_.filePath(QStringLiteral("c.kss"));
    WriteBytes(path_, gen::GenerateCaptureBytes(options));
    index_ = std::make_unique<FrameIndex>(Utf8Path(path_));
    QCOMPARE(index_->Extend().status, IndexStatus::kAtEnd);
    SurveyCapture(index_->Snapshot(), survey_);
    positions_ = std::make_shared<PositionCollector>(survey_.positions);
  }

  void MapZoomsPansAndFiltersByClick() {
    StationMapView map;
    map.resize(900, 640);
    map.show();
    QVERIFY(QTest::qWaitForWindowExposed(&map));
    map.SetPositions(positions_, true);
    MapCanvas* canvas = map.Canvas();
    MapView& view = canvas->View();

    // Every station shows after the fit.
    for (const auto& [key, t] : positions_->Tracks()) {
      const ScreenPoint s =
          view.ToScreen(t.points.back().lat_e6 / 1e6, t.points.back().lon_e6 / 1e6);
      QVERIFY2(s.x > 0 && s.y > 0 && s.x < canvas->width() && s.y < canvas->height(),
               t.name.c_str());
    }

    // The wheel zooms at the pointer.
    const QPointF at(200, 150);
    const WorldPoint under = view.FromScreen({at.x(), at.y()});
    const double zoom = view.Zoom();
    QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    QCOMPARE(view.Zoom(), zoom + 1);
    QCOMPARE(qRound(view.ToScreen(under).x), 200);
    QCOMPARE(qRound(view.ToScreen(under).y), 150);

    // A drag pans by its distance.
    const ScreenPoint before = view.ToScreen(under);
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(300, 300));
    QTest::mouseMove(canvas, QPoint(320, 310));
    QTest::mouseMove(canvas, QPoint(360, 340));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(360, 340));
    QCOMPARE(qRound(view.ToScreen(under).x - before.x), 60);
    QCOMPARE(qRound(view.ToScreen(under).y - before.y), 40);

    // A click on a station asks for its frames; a click beside every station for nothing.
    canvas->FitAll();
    const MapTrack& mobile = positions_->Tracks().at({AprsSubjectKind::kStation, "QQ1ABC-9"});
    const ScreenPoint s =
        view.ToScreen(mobile.points.back().lat_e6 / 1e6, mobile.points.back().lon_e6 / 1e6);
    QSignalSpy asked(&map, &StationMapView::FilterRequested);
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(qRound(s.x) + 2, qRound(s.y) + 1));
    QCOMPARE(asked.count(), 1);
    const QString expression = asked.takeFirst().at(0).toString();
    QVERIFY2(expression == QStringLiteral("src == QQ1ABC-9") ||
                 TrackAt(*positions_, view, {s.x + 2, s.y + 1}, 10) != &mobile,
             qPrintable(expression));
    QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(2, canvas->height() - 2));
    QCOMPARE(asked.count(), 0);
  }

  void TilesDrawWhereTheyBelong() {
    // Zoom 2, tile x 0, y 2 (the South Pacific): red in the folder, blue in an MBTiles file,
    // which numbers that row 4 - 1 - 2 = 1.
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("tiles/2/0")));
    QFile png(dir_.filePath(QStringLiteral("tiles/2/0/2.png")));
    QVERIFY(png.open(QIODevice::WriteOnly));
    png.write(Tile(0xFF0000));
    png.close();
    const QString mbtiles = dir_.filePath(QStringLiteral("t.mbtiles"));
    {
      QSqlDatabase db =
          QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
      db.setDatabaseName(mbtiles);
      QVERIFY(db.open());
      QSqlQuery q(db);
      QVERIFY(q.exec(QStringLiteral("CREATE TABLE metadata (name text, value text)")));
      QVERIFY(q.exec(QStringLiteral(
          "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer, "
          "tile_data blob)")));
      QVERIFY(q.prepare(QStringLiteral("INSERT INTO tiles VALUES (2, 0, ?, ?)")));
      q.addBindValue(1);
      q.addBindValue(Tile(0x0000FF));
      QVERIFY(q.exec());
      db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));

    StationMapView map;
    QStringList errors;
    map.SetErrorReporter([&errors](const QString& message) { errors << message; });
    map.resize(900, 640);
    map.show();
    QVERIFY(QTest::qWaitForWindowExposed(&map));
    MapView& view = map.Canvas()->View();
    const struct {
      QString path;
      QRgb color;
    } sources[] = {{dir_.filePath(QStringLiteral("tiles")), 0xFF0000}, {mbtiles, 0x0000FF}};
    for (const auto& source : sources) {
      QVERIFY(map.OpenTiles(source.path));
      map.Canvas()->SetGrid(false);
      view.SetCenter(WorldPoint{0.125, 0.625}, 2);  // the tile's middle
      const QImage shot = map.Canvas()->grab().toImage();
      // Most pixels around the middle have the tile's colour (coasts may cross it), none of
      // those a tile's width to the east (no tile there).
      int hits = 0;
      int beside = 0;
      for (int k = -100; k <= 100; k += 10) {
        const int x = shot.width() / 2 + k;
        const int y = shot.height() / 2 + k / 2;
        hits += (shot.pixel(x, y) & 0xFFFFFF) == source.color;
        beside += (shot.pixel(x + 256, y) & 0xFFFFFF) == source.color;
      }
      QVERIFY2(hits > 16, qPrintable(QStringLiteral("%1: %2 of 21").arg(source.path).arg(hits)));
      QCOMPARE(beside, 0);
    }
    QVERIFY(errors.isEmpty());
    QVERIFY(!map.OpenTiles(dir_.filePath(QStringLiteral("c.kss"))));
    QVERIFY(!map.OpenTiles(dir_.filePath(QStringLiteral("missing"))));
    QCOMPARE(errors.size(), 2);
    QVERIFY2(errors[0].contains(QStringLiteral("c.kss")), qPrintable(errors[0]));
    QVERIFY(map.Canvas()->HasTiles());  // the tiles shown stay
  }

  void PlotsChartPerUnitZoomTogetherAndName() {
    PlotsView plots;
    plots.resize(1000, 900);
    plots.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plots));
    auto definitions = std::make_shared<std::vector<std::int64_t>>(survey_.definitions);
    plots.SetSource(index_->Snapshot(), definitions, nullptr,
                    {{AprsSubjectKind::kStation, QStringLiteral("QQ3DEF")},
                     {AprsSubjectKind::kStation, QStringLiteral("QQ9UV")}});
    plots.ShowSubject({AprsSubjectKind::kStation, QStringLiteral("QQ9UV")});
    plots.WaitForReading();
    const StationSeries& series = plots.Series();
    QVERIFY(!series.quantities.empty());
    const std::vector<SeriesChart> charts = ChartsByUnit(series);
    const std::vector<QChartView*> views = plots.ChartViews();
    QCOMPARE(views.size(), charts.size());
    QVERIFY(charts.size() >= 4);  // deg, m, V, degC, ...
    QApplication::processEvents();

    // A drag across one chart zooms them all to its time.
    const auto whole = plots.Span();
    QVERIFY(whole);
    QChartView* first = views[0];
    const QRectF area = first->chart()->plotArea();
    const int y = qRound(area.center().y());
    QTest::mousePress(first->viewport(), Qt::LeftButton, {},
                      QPoint(qRound(area.left() + area.width() / 4), y));
    QTest::mouseMove(first->viewport(), QPoint(qRound(area.center().x()), y));
    QTest::mouseRelease(first->viewport(), Qt::LeftButton, {},
                        QPoint(qRound(area.left() + area.width() / 2), y));
    const auto zoomed = plots.Span();
    QVERIFY(zoomed);
    QVERIFY(zoomed->first > whole->first && zoomed->second < whole->second);
    for (QChartView* v : views) {
      auto* x = qobject_cast<QCategoryAxis*>(v->chart()->axes(Qt::Horizontal).first());
      QVERIFY(x != nullptr);
      QCOMPARE(static_cast<std::int64_t>(x->min()), zoomed->first);
      // Its marks are those of the time shown.
      const QStringList marks = x->categoriesLabels();
      QVERIFY(!marks.isEmpty());
      QVERIFY(x->endValue(marks.first()) >= x->min() && x->endValue(marks.last()) <= x->max());
    }

    // A click on a point names its frame.
    const StationQuantity& q = series.quantities[charts[1].quantities[0]];
    const SeriesPoint* inside = nullptr;
    for (const SeriesPoint& p : q.points) {
      if (p.time > zoomed->first && p.time < zoomed->second) inside = &p;
    }
    QVERIFY(inside != nullptr);
    QChartView* second = views[1];
    QLineSeries* line = nullptr;
    for (QAbstractSeries* s : second->chart()->series()) {
      if (s->name() == FromUtf8(q.quantity)) line = qobject_cast<QLineSeries*>(s);
    }
    QVERIFY(line != nullptr);
    const QPointF at = second->mapFromScene(second->chart()->mapToPosition(
        QPointF(static_cast<double>(inside->time), inside->value), line));
    QSignalSpy chosen(&plots, &PlotsView::FrameChosen);
    QTest::mouseClick(second->viewport(), Qt::LeftButton, {}, at.toPoint());
    QCOMPARE(chosen.count(), 1);
    const qint64 frame = chosen.takeFirst().at(0).toLongLong();
    // The point clicked, or one drawn on the same pixel.
    bool same_place = frame == inside->frame;
    for (const SeriesPoint& p : q.points) {
      same_place = same_place || (p.frame == frame && std::abs(p.time - inside->time) < 60000);
    }
    QVERIFY2(same_place, qPrintable(QString::number(frame)));

    // Saved as PNG and as SVG.
    const QString png = dir_.filePath(QStringLiteral("plots.png"));
    const QString svg = dir_.filePath(QStringLiteral("plots.svg"));
    QVERIFY(plots.SaveTo(png));
    QVERIFY(plots.SaveTo(svg));
    const QImage image(png);
    QVERIFY(image.width() > 500 && image.height() > 4 * 200);
    QVERIFY(QString::fromStdString(ReadBytes(svg)).contains(QStringLiteral("<svg")));
  }

  void FrameListTabsFollowTheRowAndThePlotsSpan() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir_.filePath(QStringLiteral("settings")));
    QCoreApplication::setApplicationName(QStringLiteral("packscope-test"));
    FrameListWindow window;
    QStringList errors;
    window.SetErrorReporter([&errors](const QString& m) { errors << m; });
    window.resize(1100, 760);
    window.show();
    window.OpenCapture(Utf8Path(path_));
    QVERIFY(window.WaitUntilIdle(20000));
    window.ShowMap();
    QCOMPARE(window.Tabs()->currentWidget(), static_cast<QWidget*>(window.Map()));
    const PositionCollector* shown = window.Map()->Canvas()->Positions();
    QVERIFY(shown != nullptr);
    QCOMPARE(shown->Tracks().size(), positions_->Tracks().size());

    // Ctrl+4 on a row of the weather station plots it.
    const MapTrack& weather = positions_->Tracks().at({AprsSubjectKind::kStation, "QQ3DEF"});
    QVERIFY(window.GoToFrame(weather.last_frame + 1));
    window.ShowPlots();
    window.Plots()->WaitForReading();
    QCOMPARE(window.Plots()->Shown().name, QStringLiteral("QQ3DEF"));
    QVERIFY(!window.Plots()->Series().quantities.empty());

    // Zoomed to its first half, the map places only what was heard then.
    const auto whole = window.Plots()->Span();
    QVERIFY(whole);
    const std::pair<std::int64_t, std::int64_t> half{whole->first,
                                                     (whole->first + whole->second) / 2};
    window.Plots()->SetSpan(half);
    window.ShowMap();
    QVERIFY(window.WaitUntilIdle(20000));
    PositionCollector expected;
    MapSelection selection;
    selection.from = half.first;
    selection.to = half.second;
    CollectPositions(index_->Snapshot(), selection, expected);
    shown = window.Map()->Canvas()->Positions();
    QVERIFY(shown != nullptr);
    QCOMPARE(shown->Tracks().size(), expected.Tracks().size());
    for (const auto& [key, t] : expected.Tracks()) {
      QCOMPARE(shown->Tracks().at(key).points.size(), t.points.size());
    }
    const QTableView* table = window.Table();
    QVERIFY(shown->Tracks().at({AprsSubjectKind::kStation, "QQ3DEF"}).last_frame <
            weather.last_frame);

    // A point chosen in the plots selects its frame in the table.
    const std::int64_t point = window.Plots()->Series().quantities[0].points[1].frame;
    emit window.Plots()->FrameChosen(point);
    QCOMPARE(window.Tabs()->currentIndex(), 0);
    QCOMPARE(window.Model()->FrameOfRow(table->currentIndex().row()), point);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
  }

 private:
  QTemporaryDir dir_;
  QString path_;
  std::unique_ptr<FrameIndex> index_;
  CaptureSurvey survey_;
  std::shared_ptr<PositionCollector> positions_;
};

QTEST_MAIN(MapPlotsTest)
#include "map_plots_test.moc"
