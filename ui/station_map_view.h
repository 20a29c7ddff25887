// StationMapView: the frame list's Map tab. The stations, objects and items of the frames listed
// at their last position (the symbol drawn as an icon for the common symbols, else its
// character), the tracks of those that moved, an ambiguous position as the box it leaves open,
// over the land and the boundaries of the world outline (and, when the user has them, tiles of a
// folder or an MBTiles file), with the Maidenhead grid. The wheel zooms at the pointer, a drag
// pans, Home shows every station; a click on a station asks for the filter of its frames.
//
// What it shows is the Qt-free core's (framelist/station_map.h, map_geometry.h); it only paints.
#ifndef PACKSCOPE_UI_STATION_MAP_VIEW_H_
#define PACKSCOPE_UI_STATION_MAP_VIEW_H_

#include <QCache>
#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

#include "framelist/map_geometry.h"
#include "framelist/station_map.h"
#include "framelist/world_outline.h"

class QCheckBox;
class QLabel;
class QToolButton;

namespace packscope {

class TileSource;

// The outline that ships with the program (data/world-outline.txt, built in), read once.
const WorldOutline& BuiltInWorldOutline();

// The map itself, without its tool row.
class MapCanvas : public QWidget {
  Q_OBJECT

 public:
  explicit MapCanvas(QWidget* parent = nullptr);
  ~MapCanvas() override;

  // positions: the tracks to show (the window keeps them alive while shown); fit: show them all.
  void SetPositions(std::shared_ptr<const PositionCollector> positions, bool fit);
  void SetTiles(std::unique_ptr<TileSource> tiles);
  void SetGrid(bool on);
  void FitAll();

  MapView& View() { return view_; }
  const PositionCollector* Positions() const { return positions_.get(); }
  bool HasTiles() const { return tiles_ != nullptr; }

 signals:
  void FilterRequested(const QString& expression);
  void ViewChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void PaintTiles(QPainter& p);
  void PaintOutline(QPainter& p);
  void PaintGrid(QPainter& p);
  void PaintTracks(QPainter& p);
  void PaintStations(QPainter& p);
  void Clicked(QPointF at);

  MapView view_;
  std::shared_ptr<const PositionCollector> positions_;
  std::unique_ptr<TileSource> tiles_;
  QCache<quint64, QImage> tile_cache_{256};
  bool grid_ = true;
  bool fitted_ = false;
  QPointF press_;
  QPointF last_;
  bool dragging_ = false;
};

class StationMapView : public QWidget {
  Q_OBJECT

 public:
  // Asks for a folder of tiles (folder true) or an MBTiles file; empty: cancelled.
  using TilesDialog = std::function<QString(QWidget* parent, bool folder)>;
  using ErrorReporter = std::function<void(const QString& message)>;

  explicit StationMapView(QWidget* parent = nullptr);

  void SetPositions(std::shared_ptr<const PositionCollector> positions, bool fit);
  // Tiles from a folder or an MBTiles file; false, and the error reported, when it has none.
  bool OpenTiles(const QString& path);
  void CloseTiles();
  void ChooseTiles(bool folder);
  // What the caption under the map says: how many stations, the time span, the tiles.
  void SetCaption(const QString& text);

  MapCanvas* Canvas() const { return canvas_; }
  void SetTilesDialog(TilesDialog dialog) { tiles_dialog_ = std::move(dialog); }
  void SetErrorReporter(ErrorReporter reporter) { report_error_ = std::move(reporter); }

 signals:
  void FilterRequested(const QString& expression);

 private:
  MapCanvas* canvas_ = nullptr;
  QCheckBox* grid_ = nullptr;
  QToolButton* no_tiles_ = nullptr;
  QLabel* caption_ = nullptr;
  TilesDialog tiles_dialog_;
  ErrorReporter report_error_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_STATION_MAP_VIEW_H_
