#include "commands/heard_list.h"

#include "ax25/ax25_text.h"

namespace packscope {

void CountUp(HeardCounts& counts, std::string_view key) {
  const auto it = counts.find(key);
  if (it != counts.end()) {
    ++it->second;
  } else {
    counts.emplace(std::string(key), 1);
  }
}

void HeardList::Add(const Ax25Details& d, const std::optional<std::int64_t>& time,
                    const AprsPacket* aprs) {
  auto station = stations_.find(std::string_view(d.source.call));
  if (station == stations_.end()) station = stations_.emplace(d.source.call, HeardStation{}).first;
  HeardStation& s = station->second;
  ++s.frames;
  if (time) {
    if (!s.first || *time < *s.first) s.first = time;
    if (!s.last || *time > *s.last) s.last = time;
  }
  CountUp(s.destinations, d.destination.call);
  path_.clear();
  AppendDigipeaterPath(path_, d);
  CountUp(s.paths, path_.empty() ? std::string_view("direct") : std::string_view(path_));
  if (aprs != nullptr) {
    CountUp(s.aprs_types, AprsTypeName(aprs->type));
    if (aprs->lat && aprs->lon && aprs->type != AprsType::kObject &&
        aprs->type != AprsType::kItem && aprs->type != AprsType::kThirdParty) {
      s.last_position = HeardPosition{*aprs->lat, *aprs->lon, time};
    }
  }
}

}  // namespace packscope
