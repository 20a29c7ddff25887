#include "ui/station_map_view.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>
#include <functional>
#include <numbers>

#include "aprs/aprs_tables.h"
#include "qt/qt_text.h"
#include "ui/map_tiles.h"

namespace packscope {
namespace {

constexpr QRgb kWater = 0xCFE0EC;
constexpr QRgb kLand = 0xF1EEE4;
constexpr QRgb kCoast = 0x6F8799;
constexpr QRgb kBorder = 0xA89C9C;
constexpr QRgb kBeyond = 0xB8B8B8;  // outside the world
constexpr QRgb kGrid = 0xC05050;
constexpr double kClickRadius = 10;
constexpr double kIcon = 18;

QPointF ToQ(ScreenPoint p) { return QPointF(p.x, p.y); }

// The rectangle shapes are cut to: the widget and a margin, so that cut edges stay unseen.
ScreenRect CutRect(const MapView& v) { return ScreenRect{-8, -8, v.Width() + 8, v.Height() + 8}; }

QColor TrackColor(const std::string& name) {
  const auto hash = std::hash<std::string>{}(name);
  return QColor::fromHsv(static_cast<int>(hash % 360), 190, 190);
}

QString Shown(std::string_view bytes) {
  std::string printable;
  for (const char c : bytes) {
    printable.push_back(c >= 0x20 && c <= 0x7E ? c : '?');
  }
  return FromUtf8(printable);
}

// The icon of a common symbol, drawn in a box of kIcon pixels around c; false for none.
bool DrawIcon(QPainter& p, QPointF c, SymbolIcon icon) {
  const double s = kIcon / 18;  // drawn on an 18-pixel grid
  const auto at = [&](double x, double y) { return c + QPointF((x - 9) * s, (y - 9) * s); };
  const QColor ink(0x20, 0x20, 0x20);
  p.setPen(QPen(ink, 1.3 * s));
  switch (icon) {
    case SymbolIcon::kNone:
      return false;
    case SymbolIcon::kCar:
    case SymbolIcon::kTruck: {
      const bool truck = icon == SymbolIcon::kTruck;
      p.setBrush(QColor(truck ? 0x3060B0 : 0xD04030));
      QPainterPath body;
      if (truck) {
        body.addRect(QRectF(at(1.5, 4), at(11, 12.5)));
        body.addRect(QRectF(at(11.5, 7), at(16.5, 12.5)));
      } else {
        body.moveTo(at(1.5, 12.5));
        body.lineTo(at(1.5, 9));
        body.lineTo(at(5, 8.5));
        body.lineTo(at(7, 5.5));
        body.lineTo(at(12, 5.5));
        body.lineTo(at(14, 8.5));
        body.lineTo(at(16.5, 9.5));
        body.lineTo(at(16.5, 12.5));
        body.closeSubpath();
      }
      p.drawPath(body);
      p.setBrush(ink);
      p.drawEllipse(at(5, 13), 2 * s, 2 * s);
      p.drawEllipse(at(13, 13), 2 * s, 2 * s);
      return true;
    }
    case SymbolIcon::kMotorcycle:
    case SymbolIcon::kBike: {
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(at(4.5, 12), 3 * s, 3 * s);
      p.drawEllipse(at(13.5, 12), 3 * s, 3 * s);
      p.drawPolyline(QPolygonF({at(4.5, 12), at(8, 6), at(13.5, 12)}));
      p.drawLine(at(8, 6), at(12, 5));
      if (icon == SymbolIcon::kMotorcycle) {
        p.setBrush(QColor(0x505050));
        p.drawRect(QRectF(at(7, 7.5), at(11, 10)));
      }
      return true;
    }
    case SymbolIcon::kPerson:
      p.setBrush(QColor(0x40A040));
      p.drawEllipse(at(9, 3.5), 2.5 * s, 2.5 * s);
      p.drawLine(at(9, 6), at(9, 12));
      p.drawLine(at(4.5, 8), at(13.5, 8));
      p.drawLine(at(9, 12), at(5.5, 16.5));
      p.drawLine(at(9, 12), at(12.5, 16.5));
      return true;
    case SymbolIcon::kHouse:
      p.setBrush(QColor(0xE0B060));
      p.drawPolygon(QPolygonF({at(2, 9), at(9, 2.5), at(16, 9)}));
      p.drawRect(QRectF(at(4, 9), at(14, 16)));
      p.setBrush(ink);
      p.drawRect(QRectF(at(8, 11.5), at(10.5, 16)));
      return true;
    case SymbolIcon::kWeather: {
      p.setBrush(QColor(0xF0C020));
      p.drawEllipse(at(6, 6), 3.5 * s, 3.5 * s);
      p.setBrush(QColor(0x90B0D0));
      QPainterPath cloud;
      cloud.addEllipse(at(7, 11.5), 3.5 * s, 3 * s);
      cloud.addEllipse(at(11.5, 10), 4 * s, 3.5 * s);
      cloud.addRect(QRectF(at(5, 11.5), at(15.5, 14.5)));
      p.drawPath(cloud.simplified());
      return true;
    }
    case SymbolIcon::kDigipeater: {
      p.setBrush(QColor(0x30B040));
      QPolygonF star;
      for (int k = 0; k < 10; ++k) {
        const double r = (k % 2 == 0 ? 8 : 3.5) * s;
        const double a = -std::numbers::pi / 2 + k * std::numbers::pi / 5;
        star << c + QPointF(r * std::cos(a), r * std::sin(a));
      }
      p.drawPolygon(star);
      return true;
    }
    case SymbolIcon::kIgate:
      p.setBrush(ink);
      p.drawPolygon(QPolygonF({at(9, 1.5), at(16.5, 9), at(9, 16.5), at(1.5, 9)}));
      p.setPen(QPen(Qt::white, 1.8 * s));
      p.drawLine(at(9, 5.5), at(9, 12.5));
      return true;
    case SymbolIcon::kAircraft:
      p.setBrush(QColor(0x6070C0));
      p.drawPolygon(
          QPolygonF({at(9, 1.5), at(10.5, 7), at(16.5, 10), at(16.5, 11.5), at(10.5, 10),
                     at(10, 14), at(12.5, 16), at(12.5, 17), at(9, 16), at(5.5, 17), at(5.5, 16),
                     at(8, 14), at(7.5, 10), at(1.5, 11.5), at(1.5, 10), at(7.5, 7)}));
      return true;
    case SymbolIcon::kBoat:
      p.setBrush(QColor(0x3070C0));
      p.drawPolygon(QPolygonF({at(2, 12), at(16, 12), at(13.5, 16), at(4.5, 16)}));
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygonF({at(9, 2), at(9, 11), at(15, 11)}));
      return true;
    case SymbolIcon::kBalloon:
      p.setBrush(QColor(0xE04080));
      p.drawEllipse(at(9, 7), 6 * s, 6.5 * s);
      p.drawLine(at(7, 13), at(8, 16));
      p.drawLine(at(11, 13), at(10, 16));
      p.drawRect(QRectF(at(7.5, 15.5), at(10.5, 17.5)));
      return true;
    case SymbolIcon::kRepeater:
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(QPolygonF({at(4.5, 17), at(9, 5), at(13.5, 17)}));
      p.drawLine(at(6, 13), at(12, 13));
      p.drawArc(QRectF(at(5, 1), at(13, 9)), 30 * 16, 120 * 16);
      p.drawArc(QRectF(at(2.5, -1.5), at(15.5, 11.5)), 40 * 16, 100 * 16);
      return true;
  }
  return false;
}

}  // namespace

const WorldOutline& BuiltInWorldOutline() {
  static const WorldOutline outline = [] {
    QFile file(QStringLiteral(":/packscope/world-outline.txt"));
    if (!file.open(QIODevice::ReadOnly)) return WorldOutline{};
    const QByteArray bytes = file.readAll();
    std::optional<WorldOutline> read = ParseWorldOutline(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), nullptr);
    return read ? std::move(*read) : WorldOutline{};
  }();
  return outline;
}

MapCanvas::MapCanvas(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("MapCanvas"));
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(false);
  setMinimumSize(200, 150);
  view_.Resize(width(), height());
}

MapCanvas::~MapCanvas() = default;

void MapCanvas::SetPositions(std::shared_ptr<const PositionCollector> positions, bool fit) {
  positions_ = std::move(positions);
  if (fit || !fitted_) FitAll();
  update();
}

void MapCanvas::SetTiles(std::unique_ptr<TileSource> tiles) {
  tiles_ = std::move(tiles);
  tile_cache_.clear();
  update();
}

void MapCanvas::SetGrid(bool on) {
  grid_ = on;
  update();
}

void MapCanvas::FitAll() {
  const std::optional<LatLonBox> box = positions_ ? positions_->Bounds() : std::nullopt;
  if (box) {
    view_.Fit(*box, 40);
    fitted_ = true;
  } else {
    view_.SetCenter(WorldPoint{0.5, 0.5}, MapView::kMinZoom);
  }
  update();
  emit ViewChanged();
}

void MapCanvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  view_.Resize(width(), height());
  if (!fitted_ && positions_) FitAll();
}

void MapCanvas::paintEvent(QPaintEvent* event) {
  (void)event;
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), QColor(kBeyond));
  const ScreenPoint nw = view_.ToScreen(WorldPoint{0, 0});
  const ScreenPoint se = view_.ToScreen(WorldPoint{1, 1});
  p.fillRect(QRectF(ToQ(nw), ToQ(se)), QColor(kWater));
  if (tiles_) PaintTiles(p);
  PaintOutline(p);
  if (grid_) PaintGrid(p);
  PaintTracks(p);
  PaintStations(p);
}

void MapCanvas::PaintTiles(QPainter& p) {
  for (const PlacedTile& t : VisibleTiles(view_, tiles_->MinZoom(), tiles_->MaxZoom())) {
    const quint64 key = (static_cast<quint64>(t.id.z) << 58) |
                        (static_cast<quint64>(t.id.x) << 29) | static_cast<quint64>(t.id.y);
    QImage* image = tile_cache_.object(key);
    if (image == nullptr) {
      image = new QImage(tiles_->Tile(t.id));
      tile_cache_.insert(key, image);
    }
    if (!image->isNull()) p.drawImage(QRectF(t.at.x, t.at.y, t.size, t.size), *image);
  }
}

void MapCanvas::PaintOutline(QPainter& p) {
  const WorldOutline& outline = BuiltInWorldOutline();
  // Cut to the view and to the one world the map shows.
  ScreenRect cut = CutRect(view_);
  cut.x0 = std::max(cut.x0, view_.ToScreen(WorldPoint{0, 0}).x);
  cut.x1 = std::min(cut.x1, view_.ToScreen(WorldPoint{1, 0}).x);
  std::vector<ScreenPoint> screen;
  const auto on_screen = [&](const OutlineLine& line, int shift, std::size_t count) {
    screen.clear();
    for (std::size_t i = 0; i < count; ++i) {
      screen.push_back(view_.ToScreen({line.points[i].x + shift, line.points[i].y}));
    }
  };
  if (!tiles_) {
    // Land filled when no tiles lie under it, every ring in one path: the rings inside others
    // (the Caspian Sea) stay water.
    QPainterPath land;
    land.setFillRule(Qt::OddEvenFill);
    for (const OutlineLine& ring : outline.land) {
      for (const int shift : Shifts(view_, ring)) {
        on_screen(ring, shift, ring.points.size());
        const std::vector<ScreenPoint> part = ClipRing(screen, cut);
        if (part.empty()) continue;
        QPolygonF polygon;
        polygon.reserve(static_cast<qsizetype>(part.size()));
        for (const ScreenPoint& s : part) polygon << ToQ(s);
        land.addPolygon(polygon);
        land.closeSubpath();
      }
    }
    p.fillPath(land, QColor(kLand));
  }
  // The coasts and boundaries as lines, so that the cut at the world's edge draws no edge.
  p.setBrush(Qt::NoBrush);
  const auto stroke = [&](const std::vector<OutlineLine>& lines, const QPen& pen) {
    p.setPen(pen);
    for (const OutlineLine& line : lines) {
      for (const int shift : Shifts(view_, line)) {
        on_screen(line, shift, line.drawn);
        for (const auto& piece : ClipLine(screen, cut)) {
          QPolygonF polyline;
          polyline.reserve(static_cast<qsizetype>(piece.size()));
          for (const ScreenPoint& s : piece) polyline << ToQ(s);
          p.drawPolyline(polyline);
        }
      }
    }
  };
  stroke(outline.land, QPen(QColor(kCoast), tiles_ ? 1.2 : 0.8));
  stroke(outline.borders, QPen(QColor(kBorder), 0.8, Qt::DashLine));
}

void MapCanvas::PaintGrid(QPainter& p) {
  const MaidenheadGrid grid = GridFor(view_);
  QColor line(kGrid);
  line.setAlpha(110);
  p.setPen(QPen(line, 0.8));
  const LatLonBox shown = view_.Visible();
  for (const double lon : grid.lons) {
    p.drawLine(ToQ(view_.ToScreen(shown.north, lon)), ToQ(view_.ToScreen(shown.south, lon)));
  }
  for (const double lat : grid.lats) {
    p.drawLine(ToQ(view_.ToScreen(lat, shown.west)), ToQ(view_.ToScreen(lat, shown.east)));
  }
  QFont font = p.font();
  font.setPointSizeF(7.5);
  p.setFont(font);
  QColor text(kGrid);
  text.setAlpha(200);
  p.setPen(text);
  for (const auto& label : grid.labels) {
    const ScreenPoint a = view_.ToScreen(label.cell.north, label.cell.west);
    const ScreenPoint b = view_.ToScreen(label.cell.south, label.cell.east);
    const double left = std::max(a.x, 0.0);
    const double top = std::max(a.y, 0.0);
    if (std::min(b.x, 1.0 * width()) - left < 44 || std::min(b.y, 1.0 * height()) - top < 16) {
      continue;
    }
    p.drawText(QPointF(left + 3, top + 11), QString::fromLatin1(label.text.c_str()));
  }
}

void MapCanvas::PaintTracks(QPainter& p) {
  if (!positions_) return;
  const ScreenRect cut = CutRect(view_);
  std::vector<ScreenPoint> screen;
  QList<QLineF> segments;
  QList<QPointF> dots;
  for (const auto& [key, t] : positions_->Tracks()) {
    if (!t.Moved()) continue;
    screen.clear();
    for (const TrackPoint& tp : t.points) {
      const ScreenPoint s = view_.ToScreen(tp.lat_e6 / 1e6, tp.lon_e6 / 1e6);
      // Points within a pixel of the one before add nothing to see.
      if (!screen.empty() && std::abs(s.x - screen.back().x) < 1 &&
          std::abs(s.y - screen.back().y) < 1) {
        continue;
      }
      screen.push_back(s);
    }
    // Drawn as separate segments: a track that crosses itself a thousand times (a station
    // that jitters about one place) costs the painter little that way, and a great deal as
    // one outline to fill.
    segments.clear();
    dots.clear();
    for (const auto& piece : ClipLine(screen, cut)) {
      for (std::size_t i = 0; i + 1 < piece.size(); ++i) {
        segments.append(QLineF(ToQ(piece[i]), ToQ(piece[i + 1])));
      }
    }
    for (const ScreenPoint& s : screen) {
      if (s.x >= 0 && s.y >= 0 && s.x <= width() && s.y <= height()) dots.append(ToQ(s));
    }
    const QColor color = TrackColor(t.name);
    QPen line(color, 1.5);
    line.setCosmetic(true);
    p.setPen(line);
    p.drawLines(segments);
    // The points heard, small.
    p.setPen(QPen(color, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawPoints(dots);
  }
}

void MapCanvas::PaintStations(QPainter& p) {
  if (!positions_) return;
  QFont font = p.font();
  font.setPointSizeF(8);
  font.setBold(true);
  p.setFont(font);
  const QFontMetricsF metrics(font);
  std::vector<QRectF> labels;  // drawn so far: a label that would cover one is left out
  for (const auto& [key, t] : positions_->Tracks()) {
    const TrackPoint& last = t.points.back();
    const double lat = last.lat_e6 / 1e6;
    const double lon = last.lon_e6 / 1e6;
    const ScreenPoint s = view_.ToScreen(lat, lon);
    if (s.x < -100 || s.y < -50 || s.x > width() + 100 || s.y > height() + 50) continue;
    if (t.ambiguity > 0) {
      // The box an ambiguous position leaves open.
      const double half = AmbiguityHalfDegrees(t.ambiguity);
      const ScreenPoint a = view_.ToScreen(lat + half, lon - half);
      const ScreenPoint b = view_.ToScreen(lat - half, lon + half);
      QColor fill = TrackColor(t.name);
      fill.setAlpha(50);
      p.setBrush(fill);
      p.setPen(QPen(TrackColor(t.name), 1, Qt::DashLine));
      p.drawRect(QRectF(ToQ(a), ToQ(b)));
    }
    const QPointF c = ToQ(s);
    p.setPen(QPen(QColor(0x303030), 1));
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawRoundedRect(
        QRectF(c - QPointF(kIcon / 2 + 2, kIcon / 2 + 2), QSizeF(kIcon + 4, kIcon + 4)), 4, 4);
    const char table = t.symbol[0];
    const char code = t.symbol[1];
    if (!DrawIcon(p, c, IconOf(t.symbol))) {
      // The symbol's own character, the overlay's beside it.
      p.setPen(QColor(table == '/' ? 0x1030A0 : 0x802020));
      p.drawText(QRectF(c - QPointF(kIcon / 2, kIcon / 2), QSizeF(kIcon, kIcon)), Qt::AlignCenter,
                 code >= '!' && code <= '~' ? QString(QLatin1Char(code)) : QStringLiteral("?"));
    }
    if (table != '/' && table != '\\' && table >= '0' && table <= 'Z') {
      QFont small = font;
      small.setPointSizeF(6.5);
      p.setFont(small);
      p.setPen(QColor(Qt::black));
      p.drawText(c + QPointF(kIcon / 2 - 4, kIcon / 2 + 1), QString(QLatin1Char(table)));
      p.setFont(font);
    }
    // The label, with a light halo so that it reads on land, water and tiles.
    const QString name = Shown(t.name);
    const QPointF at = c + QPointF(kIcon / 2 + 5, 4);
    const QRectF box = metrics.boundingRect(name).translated(at).adjusted(-2, -1, 2, 1);
    if (std::any_of(labels.begin(), labels.end(),
                    [&](const QRectF& r) { return r.intersects(box); })) {
      continue;
    }
    labels.push_back(box);
    QPainterPath text;
    text.addText(at, font, name);
    p.setPen(QPen(QColor(255, 255, 255, 220), 3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(text);
    p.setPen(Qt::NoPen);
    p.setBrush(t.kind == AprsSubjectKind::kStation ? QColor(0x101010) : QColor(0x603090));
    p.drawPath(text);
  }
}

void MapCanvas::wheelEvent(QWheelEvent* event) {
  const QPointF at = event->position();
  view_.ZoomAt(ScreenPoint{at.x(), at.y()}, event->angleDelta().y() / 120.0);
  update();
  emit ViewChanged();
}

void MapCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  press_ = last_ = event->position();
  dragging_ = false;
}

void MapCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  const QPointF now = event->position();
  if (!dragging_ && (now - press_).manhattanLength() < 4) return;
  dragging_ = true;
  setCursor(Qt::ClosedHandCursor);
  view_.Pan(now.x() - last_.x(), now.y() - last_.y());
  last_ = now;
  update();
  emit ViewChanged();
}

void MapCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  unsetCursor();
  if (!dragging_) Clicked(event->position());
  dragging_ = false;
}

void MapCanvas::Clicked(QPointF at) {
  if (!positions_) return;
  const MapTrack* t = TrackAt(*positions_, view_, ScreenPoint{at.x(), at.y()}, kClickRadius);
  if (t != nullptr) emit FilterRequested(FromUtf8(TrackFilter(*t)));
}

void MapCanvas::keyPressEvent(QKeyEvent* event) {
  const ScreenPoint middle{width() / 2.0, height() / 2.0};
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      view_.ZoomAt(middle, 1);
      break;
    case Qt::Key_Minus:
      view_.ZoomAt(middle, -1);
      break;
    case Qt::Key_Left:
      view_.Pan(60, 0);
      break;
    case Qt::Key_Right:
      view_.Pan(-60, 0);
      break;
    case Qt::Key_Up:
      view_.Pan(0, 60);
      break;
    case Qt::Key_Down:
      view_.Pan(0, -60);
      break;
    case Qt::Key_Home:
      FitAll();
      return;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  update();
  emit ViewChanged();
}

bool MapCanvas::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip || !positions_) return QWidget::event(event);
  const QPoint at = static_cast<QHelpEvent*>(event)->pos();
  const MapTrack* t =
      TrackAt(*positions_, view_, ScreenPoint{1.0 * at.x(), 1.0 * at.y()}, kClickRadius);
  if (t == nullptr) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  const TrackPoint& last = t->points.back();
  const double lat = last.lat_e6 / 1e6;
  const double lon = last.lon_e6 / 1e6;
  QString text = Shown(t->name);
  const std::string_view symbol = AprsSymbolName(t->symbol[0], t->symbol[1]);
  if (!symbol.empty()) text += QStringLiteral(" (%1)").arg(FromUtf8(std::string(symbol)));
  text += QStringLiteral("\n%1, %2  %3")
              .arg(lat, 0, 'f', 5)
              .arg(lon, 0, 'f', 5)
              .arg(QString::fromLatin1(MaidenheadLocator(lat, lon, 3).c_str()));
  if (t->ambiguity > 0) text += QStringLiteral("\nambiguous to %1 digits").arg(t->ambiguity);
  text += QStringLiteral("\n%1 positions").arg(t->positions);
  if (t->Moved()) text += QStringLiteral(", %1 places on the track").arg(t->points.size());
  QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text, this);
  return true;
}

StationMapView::StationMapView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Map"));
  canvas_ = new MapCanvas(this);
  auto* fit = new QToolButton(this);
  fit->setObjectName(QStringLiteral("MapFit"));
  fit->setText(QStringLiteral("Show All"));
  fit->setToolTip(QStringLiteral("Show every station (Home)"));
  grid_ = new QCheckBox(QStringLiteral("Locator grid"), this);
  grid_->setObjectName(QStringLiteral("MapGrid"));
  grid_->setChecked(true);
  auto* folder = new QToolButton(this);
  folder->setObjectName(QStringLiteral("MapTileFolder"));
  folder->setText(QStringLiteral("Tile Folder..."));
  folder->setToolTip(QStringLiteral("Draw z/x/y tiles of a folder under the map"));
  auto* mbtiles = new QToolButton(this);
  mbtiles->setObjectName(QStringLiteral("MapMbtiles"));
  mbtiles->setText(QStringLiteral("MBTiles..."));
  mbtiles->setToolTip(QStringLiteral("Draw the tiles of an MBTiles file under the map"));
  no_tiles_ = new QToolButton(this);
  no_tiles_->setObjectName(QStringLiteral("MapNoTiles"));
  no_tiles_->setText(QStringLiteral("No Tiles"));
  no_tiles_->setEnabled(false);
  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("MapCaption"));
  auto* tools = new QHBoxLayout;
  tools->addWidget(fit);
  tools->addWidget(grid_);
  tools->addSpacing(12);
  tools->addWidget(folder);
  tools->addWidget(mbtiles);
  tools->addWidget(no_tiles_);
  tools->addSpacing(12);
  tools->addWidget(caption_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(tools);
  layout->addWidget(canvas_, 1);

  tiles_dialog_ = [](QWidget* parent_widget, bool choose_folder) {
    return choose_folder
               ? QFileDialog::getExistingDirectory(parent_widget, QStringLiteral("Tile Folder"))
               : QFileDialog::getOpenFileName(parent_widget, QStringLiteral("MBTiles File"), {},
                                              QStringLiteral("MBTiles (*.mbtiles);;All files (*)"));
  };
  report_error_ = [this](const QString& message) {
    QMessageBox::warning(this, QStringLiteral("Map Tiles"), message);
  };
  connect(fit, &QToolButton::clicked, canvas_, &MapCanvas::FitAll);
  connect(grid_, &QCheckBox::toggled, canvas_, &MapCanvas::SetGrid);
  connect(folder, &QToolButton::clicked, this, [this] { ChooseTiles(true); });
  connect(mbtiles, &QToolButton::clicked, this, [this] { ChooseTiles(false); });
  connect(no_tiles_, &QToolButton::clicked, this, &StationMapView::CloseTiles);
  connect(canvas_, &MapCanvas::FilterRequested, this, &StationMapView::FilterRequested);
}

void StationMapView::SetPositions(std::shared_ptr<const PositionCollector> positions, bool fit) {
  canvas_->SetPositions(std::move(positions), fit);
}

bool StationMapView::OpenTiles(const QString& path) {
  QString error;
  std::unique_ptr<TileSource> tiles = OpenTileSource(path, &error);
  if (!tiles) {
    report_error_(error);
    return false;
  }
  canvas_->SetTiles(std::move(tiles));
  no_tiles_->setEnabled(true);
  return true;
}

void StationMapView::CloseTiles() {
  canvas_->SetTiles(nullptr);
  no_tiles_->setEnabled(false);
}

void StationMapView::ChooseTiles(bool folder) {
  const QString path = tiles_dialog_(this, folder);
  if (!path.isEmpty()) OpenTiles(path);
}

void StationMapView::SetCaption(const QString& text) { caption_->setText(text); }

}  // namespace packscope
