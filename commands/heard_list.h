// The heard list: per station (source callsign) the frames heard, first and last heard, the
// destinations and the digipeater paths, counted over AX.25 frames. The stats layout writes it
// as its "stations" object; the frame list window shows it as a table.
//
//   QQ2XY-7   3 frames   2016-01-01 12:35:17.726 .. 12:36:21.041   APRS 2, QQ5BBS-1 1
//                                                                 direct 2, RELAY 1
//
// A path is the digipeaters as the monitor layout writes them (AppendDigipeaterPath,
// ax25/ax25_text.h: "QQ0DIG-1*,WIDE2-1"), "direct" for none.
#ifndef PACKSCOPE_COMMANDS_HEARD_LIST_H_
#define PACKSCOPE_COMMANDS_HEARD_LIST_H_

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "aprs/aprs_decoder.h"
#include "ax25/ax25_details.h"

namespace packscope {

using HeardCounts = std::map<std::string, std::int64_t, std::less<>>;

struct HeardPosition {
  double lat = 0;
  double lon = 0;
  std::optional<std::int64_t> time;
};

struct HeardStation {
  std::int64_t frames = 0;
  std::optional<std::int64_t> first;  // earliest and latest stamp, ms since 1970 UTC
  std::optional<std::int64_t> last;
  HeardCounts destinations;
  HeardCounts paths;
  HeardCounts aprs_types;  // APRS frames by type ("position", "third-party", ...)
  // The station's own last position: objects, items and third-party packets place others.
  std::optional<HeardPosition> last_position;
};

class HeardList {
 public:
  // One frame read whole as AX.25 (details.problem kNone), heard at time (its stamp, if any);
  // aprs: its APRS reading, null when it is not an APRS frame.
  void Add(const Ax25Details& details, const std::optional<std::int64_t>& time,
           const AprsPacket* aprs = nullptr);
  const std::map<std::string, HeardStation, std::less<>>& Stations() const { return stations_; }

 private:
  std::map<std::string, HeardStation, std::less<>> stations_;
  std::string path_;
};

// Adds one to counts[key].
void CountUp(HeardCounts& counts, std::string_view key);

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_HEARD_LIST_H_
