// The stations on the map, without Qt: where each station, object and item was last (the gpx
// layout's positions: aprs/aprs_subject.h), the track of those that moved, the symbol to draw,
// and what a click on one filters.
//
// Memory stays bounded per track, however long the capture: a track keeps a point only where
// the position changed, and when it reaches kMaxTrackPoints points it keeps every other one (the
// first and the last always), so a track keeps the shape of the way at a coarser step. The last
// position is always the one last heard.
#ifndef PACKSCOPE_FRAMELIST_STATION_MAP_H_
#define PACKSCOPE_FRAMELIST_STATION_MAP_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "aprs/aprs_subject.h"
#include "capture/frame_index.h"
#include "framelist/frame_passes.h"
#include "framelist/map_geometry.h"

namespace packscope {

inline constexpr std::size_t kMaxTrackPoints = 4096;
inline constexpr std::int64_t kNoTime = INT64_MIN;

struct TrackPoint {
  std::int64_t time = kNoTime;  // ms since 1970 UTC of the first frame there, kNoTime for none
  std::int32_t lat_e6 = 0;
  std::int32_t lon_e6 = 0;
};

struct MapTrack {
  AprsSubjectKind kind = AprsSubjectKind::kStation;
  std::string name;                // bytes
  std::array<char, 2> symbol{};    // of the last position that gave one
  int ambiguity = 0;               // of the last position
  std::int64_t positions = 0;      // frames that placed it
  std::int64_t last_frame = -1;    // index number of the last of them
  bool third_party = false;        // some came inside third-party packets
  std::vector<TrackPoint> points;  // the last is the last position

  bool Moved() const { return points.size() > 1; }
};

using TrackKey = std::pair<AprsSubjectKind, std::string>;

class PositionCollector {
 public:
  // The APRS frame of index number frame, heard at time, sent by source, decoded as p.
  void Add(std::int64_t frame, const std::optional<std::int64_t>& time, std::string_view source,
           const AprsPacket& p);
  const std::map<TrackKey, MapTrack, std::less<>>& Tracks() const { return tracks_; }
  // The box around every last position; nothing without any.
  std::optional<LatLonBox> Bounds() const;

 private:
  std::map<TrackKey, MapTrack, std::less<>> tracks_;
  TrackKey key_;  // scratch
};

// What the map shows of a capture: the frames listed (rows: index numbers in capture order; a
// null pointer for every frame) and, when given, only those heard within [from, to] (ms).
struct MapSelection {
  const std::vector<std::int64_t>* rows = nullptr;
  std::optional<std::int64_t> from;
  std::optional<std::int64_t> to;
};

// Collects the positions of the selected frames of snapshot into collector. Cancelled:
// collector holds those of the frames read so far.
PassEnd CollectPositions(const IndexSnapshot& snapshot, const MapSelection& selection,
                         PositionCollector& collector, const std::atomic<bool>* cancel = nullptr,
                         const PassProgress& progress = {});

// The track nearest to a point of the screen, its last position within radius pixels; nullptr
// when none is.
const MapTrack* TrackAt(const PositionCollector& positions, const MapView& view, ScreenPoint at,
                        double radius);

// The filter expression of the frames that placed a track: src == CALL for a station (or a
// third-party packet that carries it), aprs.name == "NAME" for an object or item.
std::string TrackFilter(const MapTrack& track);

// The icons the map draws for the common symbols; the others show their symbol character.
enum class SymbolIcon {
  kNone,
  kCar,
  kTruck,
  kMotorcycle,
  kBike,
  kPerson,
  kHouse,
  kWeather,
  kDigipeater,
  kIgate,
  kAircraft,
  kBoat,
  kBalloon,
  kRepeater,
};
SymbolIcon IconOf(std::array<char, 2> symbol);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_STATION_MAP_H_
