#include "framelist/map_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace packscope {
namespace {

double Clamped(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

}  // namespace

WorldPoint Project(double lat, double lon) {
  const double phi = Clamped(lat, -kMercatorMaxLat, kMercatorMaxLat) * std::numbers::pi / 180;
  return WorldPoint{(Clamped(lon, -180, 180) + 180) / 360,
                    (1 - std::asinh(std::tan(phi)) / std::numbers::pi) / 2};
}

LatLon Unproject(WorldPoint p) {
  const double y = Clamped(p.y, 0, 1);
  const double lat = std::atan(std::sinh(std::numbers::pi * (1 - 2 * y))) * 180 / std::numbers::pi;
  return LatLon{lat, Clamped(p.x, 0, 1) * 360 - 180};
}

void MapView::Resize(double width, double height) {
  width_ = std::max(width, 1.0);
  height_ = std::max(height, 1.0);
  Clamp();
}

void MapView::SetCenter(WorldPoint center, double zoom) {
  center_ = center;
  zoom_ = zoom;
  Clamp();
}

double MapView::Scale() const { return kTilePixels * std::exp2(zoom_); }

ScreenPoint MapView::ToScreen(WorldPoint p) const {
  const double s = Scale();
  return ScreenPoint{(p.x - center_.x) * s + width_ / 2, (p.y - center_.y) * s + height_ / 2};
}

WorldPoint MapView::FromScreen(ScreenPoint p) const {
  const double s = Scale();
  return WorldPoint{center_.x + (p.x - width_ / 2) / s, center_.y + (p.y - height_ / 2) / s};
}

void MapView::ZoomAt(ScreenPoint at, double steps) {
  const WorldPoint fixed = FromScreen(at);
  zoom_ = Clamped(zoom_ + steps / 2, kMinZoom, kMaxZoom);
  const double s = Scale();
  center_ = WorldPoint{fixed.x - (at.x - width_ / 2) / s, fixed.y - (at.y - height_ / 2) / s};
  Clamp();
}

void MapView::Pan(double dx, double dy) {
  const double s = Scale();
  center_.x -= dx / s;
  center_.y -= dy / s;
  Clamp();
}

void MapView::Fit(const LatLonBox& box, double margin, double max_zoom) {
  const WorldPoint a = Project(box.north, box.west);
  const WorldPoint b = Project(box.south, box.east);
  const double dx = std::abs(b.x - a.x);
  const double dy = std::abs(b.y - a.y);
  const double w = std::max(width_ - 2 * margin, 1.0);
  const double h = std::max(height_ - 2 * margin, 1.0);
  double zoom = max_zoom;
  if (dx > 0 || dy > 0) {
    const double fit =
        std::min(dx > 0 ? w / (dx * kTilePixels) : 1e30, dy > 0 ? h / (dy * kTilePixels) : 1e30);
    zoom = std::min(max_zoom, std::log2(fit));
  }
  SetCenter(WorldPoint{(a.x + b.x) / 2, (a.y + b.y) / 2}, zoom);
}

LatLonBox MapView::Visible() const {
  const LatLon nw = Unproject(FromScreen(ScreenPoint{0, 0}));
  const LatLon se = Unproject(FromScreen(ScreenPoint{width_, height_}));
  return LatLonBox{se.lat, nw.lon, nw.lat, se.lon};
}

void MapView::Clamp() {
  if (!std::isfinite(zoom_)) zoom_ = kMinZoom;
  zoom_ = Clamped(zoom_, kMinZoom, kMaxZoom);
  center_.x = std::isfinite(center_.x) ? Clamped(center_.x, 0, 1) : 0.5;
  center_.y = std::isfinite(center_.y) ? Clamped(center_.y, 0, 1) : 0.5;
}

std::vector<PlacedTile> VisibleTiles(const MapView& view, int min_z, int max_z) {
  std::vector<PlacedTile> tiles;
  if (min_z > max_z) return tiles;
  const int z = std::clamp(static_cast<int>(std::lround(view.Zoom())), min_z, max_z);
  const int n = 1 << z;
  const WorldPoint nw = view.FromScreen(ScreenPoint{0, 0});
  const WorldPoint se = view.FromScreen(ScreenPoint{view.Width(), view.Height()});
  const auto first = [n](double v) {
    return std::clamp(static_cast<int>(std::floor(v * n)), 0, n - 1);
  };
  const double size = view.Scale() / n;
  for (int y = first(nw.y); y <= first(se.y); ++y) {
    for (int x = first(nw.x); x <= first(se.x); ++x) {
      const ScreenPoint at =
          view.ToScreen(WorldPoint{static_cast<double>(x) / n, static_cast<double>(y) / n});
      tiles.push_back(PlacedTile{TileId{z, x, y}, at, size});
    }
  }
  return tiles;
}

std::vector<ScreenPoint> ClipRing(const std::vector<ScreenPoint>& ring, const ScreenRect& rect) {
  std::vector<ScreenPoint> in = ring;
  std::vector<ScreenPoint> out;
  // Against each edge in turn: a point is kept when inside; where an edge of the ring crosses
  // the rectangle's edge, the crossing is kept.
  for (int edge = 0; edge < 4 && !in.empty(); ++edge) {
    const auto inside = [&](const ScreenPoint& p) {
      switch (edge) {
        case 0:
          return p.x >= rect.x0;
        case 1:
          return p.x <= rect.x1;
        case 2:
          return p.y >= rect.y0;
        default:
          return p.y <= rect.y1;
      }
    };
    const auto cross = [&](const ScreenPoint& a, const ScreenPoint& b) {
      const double at = edge == 0 ? rect.x0 : edge == 1 ? rect.x1 : edge == 2 ? rect.y0 : rect.y1;
      const double t = edge < 2 ? (at - a.x) / (b.x - a.x) : (at - a.y) / (b.y - a.y);
      return ScreenPoint{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
    };
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
      const ScreenPoint& a = in[i];
      const ScreenPoint& b = in[(i + 1) % in.size()];
      if (inside(a)) {
        out.push_back(a);
        if (!inside(b)) out.push_back(cross(a, b));
      } else if (inside(b)) {
        out.push_back(cross(a, b));
      }
    }
    in.swap(out);
  }
  return in.size() >= 3 ? in : std::vector<ScreenPoint>{};
}

std::vector<std::vector<ScreenPoint>> ClipLine(const std::vector<ScreenPoint>& line,
                                               const ScreenRect& rect) {
  std::vector<std::vector<ScreenPoint>> pieces;
  std::vector<ScreenPoint> piece;
  const auto flush = [&] {
    if (piece.size() >= 2) pieces.push_back(piece);
    piece.clear();
  };
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    // Liang-Barsky: the part t0..t1 of the segment a..b inside rect.
    const ScreenPoint a = line[i];
    const ScreenPoint b = line[i + 1];
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    double t0 = 0;
    double t1 = 1;
    bool visible = true;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - rect.x0, rect.x1 - a.x, a.y - rect.y0, rect.y1 - a.y};
    for (int k = 0; k < 4 && visible; ++k) {
      if (p[k] == 0) {
        visible = q[k] >= 0;
      } else if (const double t = q[k] / p[k]; p[k] < 0) {
        t0 = std::max(t0, t);
      } else {
        t1 = std::min(t1, t);
      }
    }
    if (!visible || t0 > t1) {
      flush();
      continue;
    }
    const ScreenPoint from{a.x + t0 * dx, a.y + t0 * dy};
    const ScreenPoint to{a.x + t1 * dx, a.y + t1 * dy};
    if (piece.empty() || t0 > 0) {
      flush();
      piece.push_back(from);
    }
    piece.push_back(to);
    if (t1 < 1) flush();
  }
  flush();
  return pieces;
}

std::string MaidenheadLocator(double lat, double lon, int pairs) {
  pairs = std::clamp(pairs, 1, 4);
  // Within the grid: the north pole and the antimeridian's east side fall in the last cells.
  double x = Clamped(lon + 180, 0, 360 - 1e-9);
  double y = Clamped(lat + 90, 0, 180 - 1e-9);
  std::string out;
  // Cell sizes in degrees, and the characters that count them.
  static constexpr double kWidths[4] = {20, 2, 5.0 / 60, 0.5 / 60};
  static constexpr double kHeights[4] = {10, 1, 2.5 / 60, 0.25 / 60};
  static constexpr char kFirst[4] = {'A', '0', 'a', '0'};
  for (int i = 0; i < pairs; ++i) {
    const int cx = static_cast<int>(x / kWidths[i]);
    const int cy = static_cast<int>(y / kHeights[i]);
    out.push_back(static_cast<char>(kFirst[i] + cx));
    out.push_back(static_cast<char>(kFirst[i] + cy));
    x -= cx * kWidths[i];
    y -= cy * kHeights[i];
  }
  return out;
}

MaidenheadGrid GridFor(const MapView& view, double min_cell) {
  static constexpr double kWidths[3] = {20, 2, 5.0 / 60};
  static constexpr double kHeights[3] = {10, 1, 2.5 / 60};
  MaidenheadGrid grid;
  const double pixels_per_degree = view.Scale() / 360;
  int level = 0;
  while (level < 2 && kWidths[level + 1] * pixels_per_degree >= min_cell) ++level;
  grid.pairs = level + 1;
  const double w = kWidths[level];
  const double h = kHeights[level];
  const LatLonBox box = view.Visible();
  // Edges on the grid of the level, counted from the south-west corner of the world: from the
  // last one before the view's edge to the first one past the other.
  const auto edges = [](double from, double to, double origin, double step, double lo, double hi) {
    std::vector<double> out;
    const double first = std::floor((from - origin) / step);
    const double last = std::min(std::ceil((to - origin) / step), first + 4096);
    for (double k = first; k <= last; ++k) out.push_back(Clamped(origin + k * step, lo, hi));
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  };
  grid.lons = edges(box.west, box.east, -180, w, -180, 180);
  grid.lats = edges(box.south, box.north, -90, h, -90, 90);
  for (std::size_t i = 0; i + 1 < grid.lats.size(); ++i) {
    for (std::size_t j = 0; j + 1 < grid.lons.size(); ++j) {
      const LatLonBox cell{grid.lats[i], grid.lons[j], grid.lats[i + 1], grid.lons[j + 1]};
      grid.labels.push_back(MaidenheadGrid::Label{
          MaidenheadLocator((cell.south + cell.north) / 2, (cell.west + cell.east) / 2, grid.pairs),
          cell});
    }
  }
  return grid;
}

}  // namespace packscope
