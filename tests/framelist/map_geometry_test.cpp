// The map's geometry: the projection against known tiles, zoom and pan, fitting, the tiles of a
// view, the Maidenhead locators and grid, and the world outline that ships with the program.
#include "framelist/map_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "framelist/world_outline.h"
#include "support/test_files.h"

namespace packscope {
namespace {

TEST(MapGeometryTest, ProjectsAsTheTilesAreCut) {
  // Tiles that OpenStreetMap numbers so, and the corners of the world.
  const struct {
    double lat, lon;
    int z, x, y;
  } cases[] = {
      {48.137, 11.575, 10, 544, 355},        // Munich
      {-33.8568, 151.2153, 12, 3768, 2457},  // Sydney Opera House
      {40.6892, -74.0445, 14, 4822, 6161},   // Statue of Liberty
      {85.0511, -180, 3, 0, 0},
      {-85.0511, 179.9999, 3, 7, 7},
  };
  for (const auto& c : cases) {
    const WorldPoint p = Project(c.lat, c.lon);
    const double n = std::exp2(c.z);
    EXPECT_EQ(static_cast<int>(std::floor(p.x * n)), c.x) << c.lat << " " << c.lon;
    EXPECT_EQ(static_cast<int>(std::floor(p.y * n)), c.y) << c.lat << " " << c.lon;
    const LatLon back = Unproject(p);
    EXPECT_NEAR(back.lat, c.lat, 1e-9);
    EXPECT_NEAR(back.lon, c.lon, 1e-9);
  }
  EXPECT_EQ(MbtilesRow(TileId{10, 544, 355}), 1023 - 355);
  // Beyond the projection's latitudes: at its edge.
  EXPECT_DOUBLE_EQ(Project(89.9, 0).y, Project(kMercatorMaxLat, 0).y);
}

TEST(MapGeometryTest, ZoomKeepsThePlaceUnderThePointerAndPanFollowsTheDrag) {
  MapView view;
  view.Resize(800, 600);
  view.SetCenter(Project(48.1, 11.5), 10);
  const struct {
    ScreenPoint at;
    double steps;
  } zooms[] = {{{100, 50}, 1}, {{700, 500}, -3}, {{400, 300}, 4}, {{0, 0}, 2}, {{799, 10}, -1}};
  for (const auto& z : zooms) {
    const WorldPoint under = view.FromScreen(z.at);
    const double zoom = view.Zoom();
    view.ZoomAt(z.at, z.steps);
    EXPECT_DOUBLE_EQ(view.Zoom(), zoom + z.steps / 2);
    const ScreenPoint now = view.ToScreen(under);
    EXPECT_NEAR(now.x, z.at.x, 1e-6);
    EXPECT_NEAR(now.y, z.at.y, 1e-6);
  }
  const WorldPoint place = Project(48.2, 11.6);
  const ScreenPoint before = view.ToScreen(place);
  view.Pan(37, -12);
  EXPECT_NEAR(view.ToScreen(place).x, before.x + 37, 1e-6);
  EXPECT_NEAR(view.ToScreen(place).y, before.y - 12, 1e-6);
  // The zoom stays within its limits, the centre on the world.
  view.ZoomAt({400, 300}, 100);
  EXPECT_EQ(view.Zoom(), MapView::kMaxZoom);
  view.ZoomAt({400, 300}, -100);
  EXPECT_EQ(view.Zoom(), MapView::kMinZoom);
  view.Pan(1e9, -1e9);
  EXPECT_EQ(view.Center().x, 0);
  EXPECT_EQ(view.Center().y, 1);
}

TEST(MapGeometryTest, FitShowsTheBoxAsLargeAsItGoes) {
  MapView view;
  view.Resize(640, 480);
  const LatLonBox boxes[] = {
      {48.0, 11.3, 48.3, 11.8}, {-40, -75, 10, 150}, {47.99, 7.8, 48.0, 7.81}};
  for (const LatLonBox& box : boxes) {
    view.Fit(box, 20, 18);
    for (const LatLon& corner : {LatLon{box.south, box.west}, LatLon{box.north, box.east}}) {
      const ScreenPoint s = view.ToScreen(corner.lat, corner.lon);
      EXPECT_GE(s.x, 20 - 1e-6);
      EXPECT_LE(s.x, 620 + 1e-6);
      EXPECT_GE(s.y, 20 - 1e-6);
      EXPECT_LE(s.y, 460 + 1e-6);
    }
    // A quarter zoom level more and a corner falls outside the margin.
    MapView closer = view;
    closer.ZoomAt({320, 240}, 0.5);
    const ScreenPoint sw = closer.ToScreen(box.south, box.west);
    const ScreenPoint ne = closer.ToScreen(box.north, box.east);
    EXPECT_TRUE(sw.x < 20 || ne.x > 620 || ne.y < 20 || sw.y > 460) << box.south;
  }
  view.Fit(LatLonBox{48, 11, 48, 11}, 20, 14);
  EXPECT_EQ(view.Zoom(), 14);
}

TEST(MapGeometryTest, VisibleTilesCoverTheView) {
  MapView view;
  view.Resize(700, 500);
  for (const double zoom : {1.0, 3.4, 3.6, 12.0, 19.0}) {
    view.SetCenter(Project(48.1, 11.5), zoom);
    for (const auto& [lo, hi] : {std::pair{0, 19}, std::pair{5, 9}}) {
      const std::vector<PlacedTile> tiles = VisibleTiles(view, lo, hi);
      ASSERT_FALSE(tiles.empty());
      const int z = tiles[0].id.z;
      EXPECT_EQ(z, std::clamp(static_cast<int>(std::lround(zoom)), lo, hi));
      // Every pixel of the view, as far as the world reaches, under one tile.
      for (double x = 0; x < 700; x += 31) {
        for (double y = 0; y < 500; y += 29) {
          const WorldPoint w = view.FromScreen({x, y});
          if (w.x < 0 || w.x >= 1 || w.y < 0 || w.y >= 1) continue;
          int under = 0;
          for (const PlacedTile& t : tiles) {
            under += x >= t.at.x && x < t.at.x + t.size && y >= t.at.y && y < t.at.y + t.size;
          }
          EXPECT_EQ(under, 1) << zoom << " " << x << " " << y;
        }
      }
    }
  }
  EXPECT_TRUE(VisibleTiles(view, 9, 5).empty());
}

double Area(const std::vector<ScreenPoint>& ring) {
  double twice = 0;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const ScreenPoint& a = ring[i];
    const ScreenPoint& b = ring[(i + 1) % ring.size()];
    twice += a.x * b.y - b.x * a.y;
  }
  return std::abs(twice) / 2;
}

TEST(MapGeometryTest, ShapesAreCutToTheView) {
  const ScreenRect view{0, 0, 100, 50};
  const struct {
    std::vector<ScreenPoint> ring;
    double area;  // of what is inside the view
  } rings[] = {
      {{{10, 10}, {20, 10}, {20, 20}}, 50},                          // inside
      {{{-1e7, -1e7}, {1e7, -1e7}, {1e7, 1e7}, {-1e7, 1e7}}, 5000},  // around it all
      {{{50, 25}, {150, 25}, {150, 75}, {50, 75}}, 1250},            // a corner
      {{{200, 10}, {300, 10}, {250, 40}}, 0},                        // beside it
      {{{-50, -50}, {150, -50}, {-50, 150}}, 3750},                  // over it but a corner
  };
  for (const auto& r : rings) {
    const std::vector<ScreenPoint> cut = ClipRing(r.ring, view);
    EXPECT_NEAR(Area(cut), r.area, 1e-6) << r.area;
    for (const ScreenPoint& p : cut) {
      EXPECT_TRUE(p.x >= -1e-9 && p.x <= 100 + 1e-9 && p.y >= -1e-9 && p.y <= 50 + 1e-9);
    }
  }
  const struct {
    std::vector<ScreenPoint> line;
    std::vector<std::vector<ScreenPoint>> pieces;
  } lines[] = {
      {{{-100, 25}, {200, 25}}, {{{0, 25}, {100, 25}}}},
      {{{10, 10}, {20, 20}, {30, 10}}, {{{10, 10}, {20, 20}, {30, 10}}}},
      {{{10, 10}, {10, 100}, {20, 100}, {20, 10}}, {{{10, 10}, {10, 50}}, {{20, 50}, {20, 10}}}},
      {{{-10, -10}, {-5, 200}}, {}},
  };
  for (const auto& l : lines) {
    const auto pieces = ClipLine(l.line, view);
    ASSERT_EQ(pieces.size(), l.pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      ASSERT_EQ(pieces[i].size(), l.pieces[i].size());
      for (std::size_t k = 0; k < pieces[i].size(); ++k) {
        EXPECT_NEAR(pieces[i][k].x, l.pieces[i][k].x, 1e-9);
        EXPECT_NEAR(pieces[i][k].y, l.pieces[i][k].y, 1e-9);
      }
    }
  }
}

TEST(MapGeometryTest, MaidenheadLocatorsAndGrid) {
  const struct {
    double lat, lon;
    int pairs;
    std::string locator;
  } cases[] = {
      {48.1467, 11.6081, 3, "JN58td"},   {41.714775, -72.727260, 3, "FN31pr"},
      {-33.8568, 151.2153, 2, "QF56"},   {0, 0, 1, "JJ"},
      {-90, -180, 4, "AA00aa00"},        {90, 180, 3, "RR99xx"},
      {48.1467, 11.6081, 4, "JN58td25"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MaidenheadLocator(c.lat, c.lon, c.pairs), c.locator) << c.lat << " " << c.lon;
  }

  MapView view;
  view.Resize(800, 600);
  const struct {
    double zoom;
    int pairs;
    double width;
  } levels[] = {{2, 1, 20}, {7, 2, 2}, {12, 3, 5.0 / 60}};
  for (const auto& l : levels) {
    view.SetCenter(Project(48.1, 11.5), l.zoom);
    const MaidenheadGrid grid = GridFor(view);
    EXPECT_EQ(grid.pairs, l.pairs) << l.zoom;
    const LatLonBox shown = view.Visible();
    ASSERT_GE(grid.lons.size(), 2u);
    EXPECT_LE(grid.lons.front(), shown.west);
    EXPECT_GE(grid.lons.back(), shown.east);
    EXPECT_LE(grid.lats.front(), shown.south);
    EXPECT_GE(grid.lats.back(), std::min(shown.north, 90.0));
    for (const double lon : grid.lons) {
      const double k = (lon + 180) / l.width;
      EXPECT_NEAR(k, std::round(k), 1e-6) << lon;
    }
    EXPECT_EQ(grid.labels.size(), (grid.lons.size() - 1) * (grid.lats.size() - 1));
    const std::string here = MaidenheadLocator(48.1, 11.5, l.pairs);
    int found = 0;
    for (const auto& label : grid.labels) found += label.text == here;
    EXPECT_EQ(found, 1) << here;
  }
}

// Whether a point lies inside a ring (even-odd), in world coordinates, the ring also taken one
// world to either side (as the map draws one that crosses the antimeridian).
bool Inside(const OutlineLine& ring, WorldPoint p) {
  bool in = false;
  for (const double shift : {-1.0, 0.0, 1.0}) {
    for (std::size_t i = 0, j = ring.points.size() - 1; i < ring.points.size(); j = i++) {
      const WorldPoint a{ring.points[i].x + shift, ring.points[i].y};
      const WorldPoint b{ring.points[j].x + shift, ring.points[j].y};
      if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
        in = !in;
      }
    }
  }
  return in;
}

TEST(WorldOutlineTest, TheShippedOutlineHasTheLandWhereItIs) {
  std::string error;
  const auto outline =
      ParseWorldOutline(testing::ReadFile(PACKSCOPE_SOURCE_DIR "/data/world-outline.txt"), &error);
  ASSERT_TRUE(outline) << error;
  EXPECT_GT(outline->land.size(), 1000u);
  EXPECT_GT(outline->borders.size(), 100u);
  for (const auto* lines : {&outline->land, &outline->borders}) {
    for (const OutlineLine& line : *lines) {
      for (std::size_t i = 1; i < line.drawn; ++i) {
        ASSERT_LT(std::abs(line.points[i].x - line.points[i - 1].x), 0.5)
            << "a jump across the map";
      }
    }
  }
  for (const OutlineLine& ring : outline->land) {
    EXPECT_NEAR(ring.points.front().x, ring.points.back().x, 1e-9);
    EXPECT_NEAR(ring.points.front().y, ring.points.back().y, 1e-9);
  }
  const struct {
    double lat, lon;
    bool land;
  } places[] = {{48.14, 11.58, true}, {-33.87, 150.9, true}, {40.0, -100.0, true},
                {45.0, -30.0, false}, {0.0, -140.0, false},  {37.5, 14.0, true},
                {-75.0, 0.0, true},   {54.5, 4.0, false}};
  for (const auto& p : places) {
    int rings = 0;
    for (const OutlineLine& ring : outline->land) rings += Inside(ring, Project(p.lat, p.lon));
    EXPECT_EQ(rings % 2 == 1, p.land) << p.lat << " " << p.lon;
  }
}

TEST(WorldOutlineTest, RefusesWhatIsNoOutline) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"", "line 0: no land"},
      {"# only a comment\n", "line 1: no land"},
      {"L 0 0 10 10\nX 1 2 3 4\n", "line 2: neither a ring of land (L) nor a boundary (B)"},
      {"L 0 0 10\n", "line 1: not a number"},
      {"L 0 0 1x 2\n", "line 1: not a number"},
      {"L 179000 0 2000 0\n", "line 1: a point beyond 180 degrees"},
      {"L 5 5\n", "line 1: fewer than two points"},
      {"B 0 0 10 10\n", "line 1: no land"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseWorldOutline(c.text, &error)) << c.text;
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.text;
  }
  const auto ok = ParseWorldOutline("L 0 0 10 10 -10 0\r\nB 1 1 1 1", nullptr);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->land[0].points.size(), 3u);
  EXPECT_EQ(ok->borders.size(), 1u);
}

}  // namespace
}  // namespace packscope
