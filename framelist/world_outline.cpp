#include "framelist/world_outline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace packscope {
namespace {

// Project without the longitude kept within -180..180.
WorldPoint Place(double lat, double lon) {
  WorldPoint p = Project(lat, 0);
  p.x = (lon + 180) / 360;
  return p;
}

}  // namespace

std::optional<WorldOutline> ParseWorldOutline(std::string_view text, std::string* error) {
  WorldOutline outline;
  int line_number = 0;
  const auto fail = [&](const std::string& what) -> std::optional<WorldOutline> {
    if (error != nullptr) *error = "line " + std::to_string(line_number) + ": " + what;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    if (line.size() < 2 || (line[0] != 'L' && line[0] != 'B') || line[1] != ' ') {
      return fail("neither a ring of land (L) nor a boundary (B)");
    }
    OutlineLine out;
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t unwrap = 0;  // whole turns added to keep neighbours apart by less than half one
    double first_lon = 0;
    double lon = 0;
    const char* at = line.data() + 2;
    const char* const stop = line.data() + line.size();
    while (at < stop) {
      std::int64_t v[2];
      for (std::int64_t& n : v) {
        while (at < stop && *at == ' ') ++at;
        const auto [next, ec] = std::from_chars(at, stop, n);
        if (ec != std::errc() || (next < stop && *next != ' ')) return fail("not a number");
        at = next;
      }
      const std::int64_t before = x;
      x += v[0];
      y += v[1];
      if (x < -180000 || x > 180000 || y < -90000 || y > 90000) {
        return fail("a point beyond 180 degrees of longitude or 90 of latitude");
      }
      // A line that crosses the antimeridian goes on beyond 180 degrees rather than back across
      // the whole map; the map draws it a second time a world to the side.
      if (!out.points.empty() && x - before > 180000) unwrap -= 360000;
      if (!out.points.empty() && before - x > 180000) unwrap += 360000;
      lon = static_cast<double>(x + unwrap) / 1000;
      if (out.points.empty()) first_lon = lon;
      out.points.push_back(Place(static_cast<double>(y) / 1000, lon));
      while (at < stop && *at == ' ') ++at;
    }
    out.drawn = out.points.size();
    // A ring around a pole (Antarctica) ends a whole turn from where it began: it is closed
    // along the pole.
    if (line[0] == 'L' && std::abs(lon - first_lon) > 180 && !out.points.empty()) {
      const double pole = out.points.front().y > 0.5 ? -90 : 90;
      out.points.push_back(Place(pole, lon));
      out.points.push_back(Place(pole, first_lon));
      out.points.push_back(out.points.front());
    }
    if (out.points.size() < 2) return fail("fewer than two points");
    out.min = out.max = out.points[0];
    for (const WorldPoint& p : out.points) {
      out.min = WorldPoint{std::min(out.min.x, p.x), std::min(out.min.y, p.y)};
      out.max = WorldPoint{std::max(out.max.x, p.x), std::max(out.max.y, p.y)};
    }
    (line[0] == 'L' ? outline.land : outline.borders).push_back(std::move(out));
  }
  if (outline.land.empty()) return fail("no land");
  return outline;
}

std::vector<int> Shifts(const MapView& view, const OutlineLine& line) {
  const WorldPoint nw = view.FromScreen(ScreenPoint{0, 0});
  const WorldPoint se = view.FromScreen(ScreenPoint{view.Width(), view.Height()});
  std::vector<int> shifts;
  if (line.max.y < nw.y || line.min.y > se.y) return shifts;
  // The map shows one world: a line beyond its edge shows only a world to the side.
  for (const int shift : {-1, 0, 1}) {
    const double lo = std::max(line.min.x + shift, 0.0);
    const double hi = std::min(line.max.x + shift, 1.0);
    if (lo <= hi && hi >= nw.x && lo <= se.x) shifts.push_back(shift);
  }
  return shifts;
}

}  // namespace packscope
