#include "aprs/aprs_subject.h"

#include <algorithm>
#include <cmath>

namespace packscope {

std::string_view AprsSubjectKindName(AprsSubjectKind kind) {
  switch (kind) {
    case AprsSubjectKind::kStation:
      return "station";
    case AprsSubjectKind::kObject:
      return "object";
    case AprsSubjectKind::kItem:
      return "item";
  }
  return {};
}

AprsSubject SubjectOf(std::string_view source, const AprsPacket& p) {
  AprsSubject s;
  s.name = source;
  s.packet = &p;
  while (s.packet->type == AprsType::kThirdParty && s.packet->inner != nullptr) {
    s.name = s.packet->inner_source;
    s.packet = s.packet->inner;
  }
  if (s.packet->type == AprsType::kObject || s.packet->type == AprsType::kItem) {
    s.kind =
        s.packet->type == AprsType::kObject ? AprsSubjectKind::kObject : AprsSubjectKind::kItem;
    s.name = s.packet->name;
  }
  return s;
}

std::optional<AprsPlace> PlaceOf(const AprsPacket& p) {
  if (!p.lat || !p.lon || !std::isfinite(*p.lat) || !std::isfinite(*p.lon)) return std::nullopt;
  AprsPlace place;
  place.lat_e6 = static_cast<std::int32_t>(std::lround(std::clamp(*p.lat, -90.0, 90.0) * 1e6));
  auto lon = std::lround(std::clamp(*p.lon, -180.0, 180.0) * 1e6);
  if (lon >= 180000000) lon = -180000000;
  place.lon_e6 = static_cast<std::int32_t>(lon);
  place.ambiguity = p.ambiguity;
  place.altitude_m = p.altitude_m;
  place.symbol = p.symbol;
  return place;
}

bool MayPlace(std::span<const std::uint8_t> info) {
  if (info.empty()) return false;
  switch (info[0]) {
    case ':':
    case '_':
    case '{':
    case '?':
    case '<':
      return false;
    case 'T':
      return info.size() < 2 || info[1] != '#';
    default:
      return true;
  }
}

double AmbiguityHalfDegrees(int ambiguity) {
  // The minutes that each number of blanked digits leaves open, halved (as the decoder's
  // middle has them).
  static constexpr double kHalfMinutes[5] = {0.0, 0.05, 0.5, 5.0, 30.0};
  return ambiguity < 1 || ambiguity > 4 ? 0.0 : kHalfMinutes[ambiguity] / 60.0;
}

}  // namespace packscope
