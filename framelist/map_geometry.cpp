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
