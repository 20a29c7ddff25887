// The stats layout: one JSON object that sums up the frames a pass hands on (with --filter, the
// frames that match), written when the pass is done:
//
//   {"capture": "pass1.kss", "size": 8174,              the capture as named, its bytes
//    "frames": 40, "stamps": 40,                         frames counted; timestamp frames read
//    "first_stamp": "2016-01-01T12:34:56.789Z", "last_stamp": "...",     in capture order
//    "frames_not_ax25": 0,
//    "stations": {"QQ2XY-7": {"frames": 9,              by source callsign
//                             "first_heard": "...", "last_heard": "...",   earliest, latest
//                             "destinations": {"APRS": 3, ...},
//                             "paths": {"direct": 5, "QQ0DIG-1*,WIDE2-1": 4},
//                             "aprs_types": {"position": 4, "status": 2},  APRS fields by type
//                             "last_position": {"lat": 48.1505, "lon": 11.496167,
//                                               "time": "..."}}, ...},     or null
//    "frame_types": {"I": 4, "RR": 3, "UI": 30, "U code=1": 1, ...},
//    "frames_per_minute": [["2016-01-01T12:34Z", 12], ...],   minutes without frames left out
//    "findings": {"skipped": 0, "recovered": 0, ...}}   as --check counts them
//
// Times are the frames' stamps (StampClock) in ISO 8601, UTC; null where none is known. A path is
// the digipeaters as the monitor layout writes them ("*": has repeated the frame). The findings
// count the frames counted, and, for the capture as a whole, skipped bytes and the stamps' times.
//
// APRS: each APRS frame (a UI frame with PID F0) counts once for its source under its type (a
// third-party packet as "third-party"). The last position is that of the station's last frame
// in capture order that gave one of its own: objects and items, which place something else, and
// the packets inside third-party packets, which are other stations', do not count; its time is
// the frame's stamp (null without one).
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "ax25/ax25_text.h"
#include "capture/frame_aprs.h"
#include "commands/frame_text.h"
#include "commands/heard_list.h"
#include "commands/layouts.h"

namespace packscope {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::int64_t kMinuteMillis = 60000;

// "2016-01-01T12:34:56.789Z"; null outside the years 100 to 9999.
Json IsoTime(const std::optional<std::int64_t>& millis) {
  if (!millis) return nullptr;
  std::string text = IsoUtcText(*millis);
  if (text.empty()) return nullptr;
  return text;
}

// Floor division: minutes before 1970 count down.
std::int64_t MinuteOf(std::int64_t millis) {
  return millis / kMinuteMillis - (millis % kMinuteMillis < 0 ? 1 : 0);
}

Json CountsObject(const HeardCounts& counts) {
  Json j = Json::object();
  for (const auto& [key, n] : counts) j[key] = n;
  return j;
}

// Rounded as the jsonl layout's "lat" and "lon" are.
double Degrees(double v) {
  const double r = std::round(v * 1e6) / 1e6;
  return r == 0.0 ? 0.0 : r;
}

class StatsWriter : public FrameWriter {
 public:
  explicit StatsWriter(LineSink& out) : out_(out) {}

  void OnSkipped(std::int64_t offset, std::int64_t count) override {
    (void)offset;
    (void)count;
    ++findings_[static_cast<std::size_t>(Finding::kSkipped)];
  }

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    const std::span<const std::uint8_t> frame = KissFrame(state);
    const bool data = !info.timestamp && IsDataFrame(frame);
    const Ax25Details& d = data ? CurrentAx25(state, details_) : details_;
    const AprsPacket* aprs = data ? CurrentAprs(state, d) : nullptr;
    const FrameFindings found = FindFrameFindings(frame, info, d, aprs);
    for (int k = 0; k < kFindingCount; ++k) {
      findings_[static_cast<std::size_t>(k)] += found.Count(static_cast<Finding>(k));
    }
    if (info.timestamp) {
      OnStamp(state);
      return;
    }
    ++frames_;
    const std::optional<std::int64_t>& time = clock_.Millis();
    if (time) {
      const std::int64_t minute = MinuteOf(*time);
      const auto hint = minutes_.lower_bound(minute);
      if (hint != minutes_.end() && hint->first == minute) {
        ++hint->second;
      } else {
        minutes_.emplace_hint(hint, minute, 1);
      }
    }
    if (!data || d.problem != Ax25Problem::kNone) {
      ++not_ax25_;
      return;
    }
    type_.clear();
    AppendFrameTypeName(type_, d);
    CountUp(types_, type_);
    heard_.Add(d, time, aprs);
  }

  bool ReadsAprs() const override { return true; }

  void Finish(const DecoderState& state) override {
    Json j;
    j["capture"] = state.CaptureFileName;
    struct stat st {};
    j["size"] = ::stat(state.CaptureFileName.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                    ? Json(static_cast<std::int64_t>(st.st_size))
                    : Json(nullptr);
    j["frames"] = frames_;
    j["stamps"] = stamps_;
    j["first_stamp"] = IsoTime(first_stamp_);
    j["last_stamp"] = IsoTime(last_stamp_);
    j["frames_not_ax25"] = not_ax25_;
    Json stations = Json::object();
    for (const auto& [call, s] : heard_.Stations()) {
      Json position = nullptr;
      if (s.last_position) {
        position = Json{{"lat", Degrees(s.last_position->lat)},
                        {"lon", Degrees(s.last_position->lon)},
                        {"time", IsoTime(s.last_position->time)}};
      }
      stations[call] = Json{{"frames", s.frames},
                            {"first_heard", IsoTime(s.first)},
                            {"last_heard", IsoTime(s.last)},
                            {"destinations", CountsObject(s.destinations)},
                            {"paths", CountsObject(s.paths)},
                            {"aprs_types", CountsObject(s.aprs_types)},
                            {"last_position", std::move(position)}};
    }
    j["stations"] = std::move(stations);
    j["frame_types"] = CountsObject(types_);
    Json minutes = Json::array();
    for (const auto& [minute, n] : minutes_) {
      Json when = IsoTime(minute * kMinuteMillis);
      if (when.is_string()) when = when.get<std::string>().substr(0, 16) + "Z";
      minutes.push_back(Json::array({std::move(when), n}));
    }
    j["frames_per_minute"] = std::move(minutes);
    Json findings = Json::object();
    for (int k = 0; k < kFindingCount; ++k) {
      findings[std::string(kFindingTags[static_cast<std::size_t>(k)])] =
          findings_[static_cast<std::size_t>(k)];
    }
    j["findings"] = std::move(findings);
    std::string text = j.dump(2, ' ', false, Json::error_handler_t::replace);
    text.push_back('\n');
    out_.Write(text);
  }

 private:
  void OnStamp(const DecoderState& state) {
    ++stamps_;
    if (!clock_.Update(state) || !clock_.Millis()) return;
    const std::int64_t millis = *clock_.Millis();
    if (!first_stamp_) first_stamp_ = millis;
    last_stamp_ = millis;
    const StampCheck::Result r = stamp_check_.Check(millis);
    if (r.before_2000) ++findings_[static_cast<std::size_t>(Finding::kTimeBefore2000)];
    if (r.backwards) ++findings_[static_cast<std::size_t>(Finding::kTimeBackwards)];
  }

  LineSink& out_;
  StampClock clock_;
  StampCheck stamp_check_;
  Ax25Details details_;  // read only for data frames
  std::string type_;
  std::int64_t frames_ = 0;
  std::int64_t stamps_ = 0;
  std::int64_t not_ax25_ = 0;
  std::optional<std::int64_t> first_stamp_;
  std::optional<std::int64_t> last_stamp_;
  HeardList heard_;
  HeardCounts types_;
  std::map<std::int64_t, std::int64_t> minutes_;
  std::array<std::int64_t, kFindingCount> findings_{};
};

}  // namespace

std::unique_ptr<FrameWriter> MakeStatsWriter(LineSink& out) {
  return std::make_unique<StatsWriter>(out);
}

}  // namespace packscope
