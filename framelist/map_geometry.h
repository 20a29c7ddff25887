// The map's geometry, without Qt: the Web Mercator projection (the one z/x/y tiles use), the
// view (where the map is looked at, how near, how it zooms and pans), the tiles that cover a
// view, and the Maidenhead locator grid.
//
//   world   x 0 .. 1 west to east (longitude -180 .. 180), y 0 .. 1 north to south (latitude
//           85.0511 .. -85.0511); a view of zoom z shows the world 256 * 2^z pixels wide
//   tiles   z/x/y: tile x, y of 2^z by 2^z, 256 pixels each, y from the north (an MBTiles file
//           numbers its rows from the south: row 2^z - 1 - y)
//   grid    fields 20 x 10 degrees (JN), squares 2 x 1 (JN58), subsquares 5' x 2.5' (JN58td)
#ifndef PACKSCOPE_FRAMELIST_MAP_GEOMETRY_H_
#define PACKSCOPE_FRAMELIST_MAP_GEOMETRY_H_

#include <cstdint>
#include <string>
#include <vector>

namespace packscope {

inline constexpr double kMercatorMaxLat = 85.0511287798066;
inline constexpr double kTilePixels = 256;

struct WorldPoint {
  double x = 0;
  double y = 0;
};
struct ScreenPoint {
  double x = 0;
  double y = 0;
};
struct LatLon {
  double lat = 0;
  double lon = 0;
};

// Latitudes beyond kMercatorMaxLat are drawn at it.
WorldPoint Project(double lat, double lon);
LatLon Unproject(WorldPoint p);

// A rectangle of the map in degrees.
struct LatLonBox {
  double south = 0;
  double west = 0;
  double north = 0;
  double east = 0;
};

class MapView {
 public:
  static constexpr double kMinZoom = 1;
  static constexpr double kMaxZoom = 19;

  // The whole world in a widget of width by height pixels.
  void Resize(double width, double height);
  double Width() const { return width_; }
  double Height() const { return height_; }
  double Zoom() const { return zoom_; }
  WorldPoint Center() const { return center_; }
  void SetCenter(WorldPoint center, double zoom);

  ScreenPoint ToScreen(WorldPoint p) const;
  ScreenPoint ToScreen(double lat, double lon) const { return ToScreen(Project(lat, lon)); }
  WorldPoint FromScreen(ScreenPoint s) const;

  // Zooms by steps (a wheel notch is one step, half a zoom level; negative zooms out) so that
  // the place under at stays under it.
  void ZoomAt(ScreenPoint at, double steps);
  // Moves the map by a drag of dx, dy pixels.
  void Pan(double dx, double dy);
  // The smallest view (up to max_zoom) that shows box with margin pixels around it; a box of
  // one point is shown at max_zoom.
  void Fit(const LatLonBox& box, double margin, double max_zoom = 14);

  // The part of the world the view shows (latitudes within the projection's).
  LatLonBox Visible() const;
  // World width in pixels at this zoom.
  double Scale() const;

 private:
  void Clamp();

  double width_ = 256;
  double height_ = 256;
  double zoom_ = kMinZoom;
  WorldPoint center_{0.5, 0.5};
};

struct TileId {
  int z = 0;
  int x = 0;
  int y = 0;
  friend bool operator==(const TileId&, const TileId&) = default;
};

// The row of tile y of zoom z in an MBTiles file (TMS, counted from the south).
inline int MbtilesRow(const TileId& t) { return (1 << t.z) - 1 - t.y; }

// The tiles of zoom z (the view's zoom rounded, within min_z..max_z) that cover the view, and
// where each one's top left corner and size fall on the screen.
struct PlacedTile {
  TileId id;
  ScreenPoint at;
  double size = kTilePixels;
};
std::vector<PlacedTile> VisibleTiles(const MapView& view, int min_z = 0, int max_z = 19);

// Screen coordinates far beyond the view lose their precision in the painter (a ring of land at
// zoom 19 spans millions of pixels): shapes are cut to a rectangle around the view first.
struct ScreenRect {
  double x0 = 0;
  double y0 = 0;
  double x1 = 0;
  double y1 = 0;
};
// A closed ring cut to rect (Sutherland-Hodgman): the part of its area inside, as one ring;
// empty when none is.
std::vector<ScreenPoint> ClipRing(const std::vector<ScreenPoint>& ring, const ScreenRect& rect);
// An open line cut to rect: the pieces of it inside, each of two points or more.
std::vector<std::vector<ScreenPoint>> ClipLine(const std::vector<ScreenPoint>& line,
                                               const ScreenRect& rect);

// The locator of a place: 1 pair "JN", 2 "JN58", 3 "JN58td", 4 "JN58td25" (1 to 4 pairs).
std::string MaidenheadLocator(double lat, double lon, int pairs = 3);

// The grid lines a view shows: those of the finest level (field, square, subsquare) whose cells
// are at least min_cell pixels wide, and the locators of the cells that show.
struct MaidenheadGrid {
  int pairs = 1;             // 1 fields, 2 squares, 3 subsquares
  std::vector<double> lons;  // meridians of the cell edges, west to east
  std::vector<double> lats;  // parallels of the cell edges, south to north
  struct Label {
    std::string text;
    LatLonBox cell;  // as far as the world goes (the projection ends at 85 degrees)
  };
  std::vector<Label> labels;
};
MaidenheadGrid GridFor(const MapView& view, double min_cell = 48);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_MAP_GEOMETRY_H_
