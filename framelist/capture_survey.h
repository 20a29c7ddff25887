// The capture survey: one pass through every frame of an index, in the background once the
// capture is indexed, for what the frame list shows of the capture as a whole:
//
//   the heard list        per station its frames, first and last heard, paths (commands/heard_list)
//   traffic per minute    frames per minute of their stamps, by frame type, for the chart
//   telemetry definitions the frames that carry them, for the APRS decoding of any one frame
//                         (framelist/aprs_timeline.h)
//   positions             the map's stations, objects and items, their last positions and
//                         tracks (framelist/station_map.h)
//
// Memory grows with the stations, paths and minutes of the capture, not with its frames.
#ifndef PACKSCOPE_FRAMELIST_CAPTURE_SURVEY_H_
#define PACKSCOPE_FRAMELIST_CAPTURE_SURVEY_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/ax25_details.h"
#include "capture/frame_index.h"
#include "commands/heard_list.h"
#include "framelist/frame_passes.h"
#include "framelist/station_map.h"

namespace packscope {

// The frame types the chart stacks, in the order of its legend.
inline constexpr std::array<std::string_view, 16> kTrafficKinds = {
    "UI",   "I",  "RR", "RNR",  "REJ", "SREJ", "SABM",    "SABME",
    "DISC", "UA", "DM", "FRMR", "XID", "TEST", "U other", "not AX.25"};
inline constexpr int kTrafficKindCount = static_cast<int>(kTrafficKinds.size());
using TrafficCounts = std::array<std::uint32_t, kTrafficKinds.size()>;

// The kind of a frame (ax25: read whole as AX.25, details its reading).
int TrafficKind(bool ax25, const Ax25Details& details);

struct CaptureSurvey {
  HeardList heard;
  // By minute since 1970 (UTC) of the frames' stamps; frames without a time are not counted.
  std::map<std::int64_t, TrafficCounts> minutes;
  std::vector<std::int64_t> definitions;  // frames with telemetry definitions, ascending
  PositionCollector positions;
  std::int64_t frames = 0;  // frames surveyed (timestamp frames not counted)
  std::int64_t unheld = 0;  // frames the capture no longer held as indexed
};

// Surveys the frames of snapshot, or only those of frames (index numbers, ascending) when it is
// given; done, its heard list is sorted. Cancelled: survey holds what was seen so far.
PassEnd SurveyCapture(const IndexSnapshot& snapshot, CaptureSurvey& survey,
                      const std::atomic<bool>* cancel = nullptr, const PassProgress& progress = {},
                      const std::vector<std::int64_t>* frames = nullptr);

// The minutes of a survey in at most max_bins bins of equal width, from the first minute to the
// last (minutes without frames included). A bin's width is 1, 2, 5, 10, 15, 30 or 60 minutes,
// or a number of hours or days, the smallest that fits.
struct TrafficBins {
  std::int64_t first_minute = 0;
  std::int64_t minutes_per_bin = 1;
  std::vector<TrafficCounts> bins;
};
TrafficBins BinTraffic(const std::map<std::int64_t, TrafficCounts>& minutes, int max_bins);

// Minutes since 1970 of a time in ms, rounded down.
std::int64_t MinuteOf(std::int64_t millis);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_CAPTURE_SURVEY_H_
