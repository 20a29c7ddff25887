// The land and the boundaries between countries that the map draws under the stations, read
// from the text that data/world-outline.txt holds (made once from Natural Earth by
// scripts/natural-earth-outline.mjs):
//
//   # comment
//   L 1800000 -161685 -1512 -1337 ...     a ring of land: longitude latitude in 1/1000 degree,
//   B 20579 48612 -12 40 ...              a boundary      then differences from the point before
//
// Each line keeps its points in world coordinates (map_geometry.h) and the box around them, so
// that a view draws only what it shows. A line that crosses the antimeridian runs on beyond the
// world's edge (x below 0 or above 1) instead of jumping across it: it is drawn again one world
// to the side (Shifts). A ring around a pole is closed along the pole.
#ifndef PACKSCOPE_FRAMELIST_WORLD_OUTLINE_H_
#define PACKSCOPE_FRAMELIST_WORLD_OUTLINE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framelist/map_geometry.h"

namespace packscope {

struct OutlineLine {
  std::vector<WorldPoint> points;
  // The first this many points are coast or boundary; those after close a ring along a pole.
  std::size_t drawn = 0;
  WorldPoint min;  // the box around them: north-west
  WorldPoint max;  // south-east
};

struct WorldOutline {
  std::vector<OutlineLine> land;     // closed rings
  std::vector<OutlineLine> borders;  // open lines
};

// Nothing, and error set (which line, what is wrong), for text that is not such an outline.
std::optional<WorldOutline> ParseWorldOutline(std::string_view text, std::string* error);

// The shifts (in worlds: -1, 0, 1) at which the line shows in the view.
std::vector<int> Shifts(const MapView& view, const OutlineLine& line);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_WORLD_OUTLINE_H_
