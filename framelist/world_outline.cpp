#include "framelist/world_outline.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace packscope {

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
      x += v[0];
      y += v[1];
      if (x < -180000 || x > 180000 || y < -90000 || y > 90000) {
        return fail("a point beyond 180 degrees of longitude or 90 of latitude");
      }
      out.points.push_back(Project(static_cast<double>(y) / 1000, static_cast<double>(x) / 1000));
      while (at < stop && *at == ' ') ++at;
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

bool Shows(const MapView& view, const OutlineLine& line) {
  const WorldPoint nw = view.FromScreen(ScreenPoint{0, 0});
  const WorldPoint se = view.FromScreen(ScreenPoint{view.Width(), view.Height()});
  return line.max.x >= nw.x && line.min.x <= se.x && line.max.y >= nw.y && line.min.y <= se.y;
}

}  // namespace packscope
