#include "framelist/station_map.h"

#include <algorithm>
#include <cmath>

#include "aprs/aprs_frame.h"
#include "aprs/aprs_tables.h"
#include "framelist/frame_reader.h"

namespace packscope {
namespace {

constexpr std::size_t kReadAhead = 4u << 20;
constexpr std::int64_t kStep = 1 << 14;

// Keeps every other point, the first and the last always.
void Thin(std::vector<TrackPoint>& points) {
  const TrackPoint last = points.back();
  std::size_t n = 0;
  for (std::size_t i = 0; i + 1 < points.size(); i += 2) points[n++] = points[i];
  points.resize(n);
  points.push_back(last);
}

// A text for the filter language: in double quotes, a double quote as \".
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace

void PositionCollector::Add(std::int64_t frame, const std::optional<std::int64_t>& time,
                            std::string_view source, const AprsPacket& p) {
  const AprsSubject subject = SubjectOf(source, p);
  const std::optional<AprsPlace> place = PlaceOf(*subject.packet);
  if (!place) return;
  key_.first = subject.kind;
  key_.second.assign(subject.name);
  auto it = tracks_.find(key_);
  if (it == tracks_.end()) {
    it = tracks_.emplace(key_, MapTrack{}).first;
    it->second.kind = subject.kind;
    it->second.name = key_.second;
  }
  MapTrack& t = it->second;
  ++t.positions;
  t.last_frame = frame;
  t.ambiguity = place->ambiguity;
  if (place->symbol[1] != 0) t.symbol = place->symbol;
  if (subject.packet != &p && subject.kind == AprsSubjectKind::kStation) t.third_party = true;
  if (!t.points.empty() && t.points.back().lat_e6 == place->lat_e6 &&
      t.points.back().lon_e6 == place->lon_e6) {
    return;
  }
  t.points.push_back(TrackPoint{time.value_or(kNoTime), place->lat_e6, place->lon_e6});
  if (t.points.size() >= kMaxTrackPoints) Thin(t.points);
}

std::optional<LatLonBox> PositionCollector::Bounds() const {
  std::optional<LatLonBox> box;
  for (const auto& [key, t] : tracks_) {
    const double lat = t.points.back().lat_e6 / 1e6;
    const double lon = t.points.back().lon_e6 / 1e6;
    if (!box) box = LatLonBox{lat, lon, lat, lon};
    box = LatLonBox{std::min(box->south, lat), std::min(box->west, lon), std::max(box->north, lat),
                    std::max(box->east, lon)};
  }
  return box;
}

PassEnd CollectPositions(const IndexSnapshot& snapshot, const MapSelection& selection,
                         PositionCollector& collector, const std::atomic<bool>* cancel,
                         const PassProgress& progress) {
  FrameReader reader(snapshot, kReadAhead);
  StampTimes times(snapshot);
  StoredFrame frame;
  Ax25Details d;
  AprsDecoder aprs;  // positions need no telemetry definitions
  const std::int64_t total = selection.rows != nullptr
                                 ? static_cast<std::int64_t>(selection.rows->size())
                                 : snapshot.FrameCount();
  for (std::int64_t k = 0; k < total; ++k) {
    if (k % kStep == 0) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        return PassEnd::kCancelled;
      }
      if (progress) progress(k, total);
    }
    const std::int64_t i =
        selection.rows != nullptr ? (*selection.rows)[static_cast<std::size_t>(k)] : k;
    const FrameRecord& r = snapshot.Frame(i);
    if (r.Timestamp()) continue;
    const std::optional<std::int64_t> time = times.Millis(r.StampNumber());
    if ((selection.from || selection.to) && (!time || (selection.from && *time < *selection.from) ||
                                             (selection.to && *time > *selection.to))) {
      continue;
    }
    if (!reader.Read(i, frame)) continue;
    if (!IsDataFrame(frame.Kiss())) continue;
    DescribeAx25(frame.Kiss(), d);
    if (d.problem != Ax25Problem::kNone || !IsAprsFrame(d) || !MayPlace(d.info)) continue;
    collector.Add(i, time, d.source.call, aprs.Decode(AprsHeaderOf(d), d.info));
  }
  return PassEnd::kDone;
}

const MapTrack* TrackAt(const PositionCollector& positions, const MapView& view, ScreenPoint at,
                        double radius) {
  const MapTrack* best = nullptr;
  double best_distance = radius * radius;
  for (const auto& [key, t] : positions.Tracks()) {
    const TrackPoint& p = t.points.back();
    const ScreenPoint s = view.ToScreen(p.lat_e6 / 1e6, p.lon_e6 / 1e6);
    const double distance = (s.x - at.x) * (s.x - at.x) + (s.y - at.y) * (s.y - at.y);
    if (distance <= best_distance) {
      best = &t;
      best_distance = distance;
    }
  }
  return best;
}

std::string TrackFilter(const MapTrack& track) {
  if (track.kind != AprsSubjectKind::kStation) return "aprs.name == " + Quoted(track.name);
  const bool plain =
      !track.name.empty() && std::all_of(track.name.begin(), track.name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
      });
  std::string out = "src == " + (plain ? track.name : Quoted(track.name));
  if (track.third_party) {
    // The packets that a third-party packet carries: "}CALL>..." opens its information field.
    std::string pattern = "^\\}";
    for (const char c : track.name) {
      if (std::string_view("\\.+*?()|[]{}^$").find(c) != std::string_view::npos) {
        pattern.push_back('\\');
      }
      pattern.push_back(c);
    }
    out += " or info ~ " + Quoted(pattern + ">");
  }
  return out;
}

SymbolIcon IconOf(std::array<char, 2> symbol) {
  struct Row {
    std::string_view name;
    SymbolIcon icon;
  };
  // By the symbol's name, so that the alternate table's and the overlays' kinds draw alike.
  static constexpr Row kIcons[] = {
      {"car", SymbolIcon::kCar},
      {"jeep", SymbolIcon::kCar},
      {"van", SymbolIcon::kCar},
      {"SUV", SymbolIcon::kCar},
      {"recreational vehicle", SymbolIcon::kCar},
      {"truck", SymbolIcon::kTruck},
      {"semi-trailer truck", SymbolIcon::kTruck},
      {"fire truck", SymbolIcon::kTruck},
      {"farm vehicle", SymbolIcon::kTruck},
      {"bus", SymbolIcon::kTruck},
      {"motorcycle", SymbolIcon::kMotorcycle},
      {"bicycle", SymbolIcon::kBike},
      {"human", SymbolIcon::kPerson},
      {"house", SymbolIcon::kHouse},
      {"house with HF antenna", SymbolIcon::kHouse},
      {"house with yagi", SymbolIcon::kHouse},
      {"weather station", SymbolIcon::kWeather},
      {"weather site", SymbolIcon::kWeather},
      {"weather service site", SymbolIcon::kWeather},
      {"NWS site", SymbolIcon::kWeather},
      {"digipeater", SymbolIcon::kDigipeater},
      {"gateway", SymbolIcon::kIgate},
      {"HF gateway", SymbolIcon::kIgate},
      {"small aircraft", SymbolIcon::kAircraft},
      {"large aircraft", SymbolIcon::kAircraft},
      {"aircraft", SymbolIcon::kAircraft},
      {"helicopter", SymbolIcon::kAircraft},
      {"glider", SymbolIcon::kAircraft},
      {"ship", SymbolIcon::kBoat},
      {"sailboat", SymbolIcon::kBoat},
      {"canoe", SymbolIcon::kBoat},
      {"balloon", SymbolIcon::kBalloon},
      {"repeater tower", SymbolIcon::kRepeater},
      {"Mic-E repeater", SymbolIcon::kRepeater},
  };
  const std::string_view name = AprsSymbolName(symbol[0], symbol[1]);
  if (name.empty()) return SymbolIcon::kNone;
  for (const Row& r : kIcons) {
    if (r.name == name) return r.icon;
  }
  return SymbolIcon::kNone;
}

}  // namespace packscope
