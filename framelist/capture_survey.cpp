#include "framelist/capture_survey.h"

#include "aprs/aprs_frame.h"

namespace packscope {
namespace {

constexpr std::size_t kReadAhead = 4u << 20;
constexpr std::int64_t kStep = 1 << 14;
constexpr std::int64_t kMinuteMillis = 60000;

}  // namespace

int TrafficKind(bool ax25, const Ax25Details& d) {
  if (!ax25) return kTrafficKindCount - 1;
  if (d.kind == Ax25Kind::kI) return 1;
  for (int k = 0; k < kTrafficKindCount - 2; ++k) {
    if (kTrafficKinds[static_cast<std::size_t>(k)] == d.name) return k;
  }
  return kTrafficKindCount - 2;  // an unassigned U code
}

std::int64_t MinuteOf(std::int64_t millis) {
  return millis / kMinuteMillis - (millis % kMinuteMillis < 0 ? 1 : 0);
}

PassEnd SurveyCapture(const IndexSnapshot& snapshot, CaptureSurvey& survey,
                      const std::atomic<bool>* cancel, const PassProgress& progress,
                      const std::vector<std::int64_t>* frames) {
  FrameReader reader(snapshot, kReadAhead);
  StampTimes times(snapshot);
  StoredFrame frame;
  Ax25Details d;
  AprsDecoder aprs;
  // Stamps run in order for long stretches: the minute's counts are looked up again only when
  // the minute changes (a map's entries stay where they are).
  std::int64_t minute = 0;
  TrafficCounts* counts = nullptr;
  const std::int64_t total =
      frames != nullptr ? static_cast<std::int64_t>(frames->size()) : snapshot.FrameCount();
  for (std::int64_t n = 0; n < total; ++n) {
    if (n % kStep == 0) {
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) {
        return PassEnd::kCancelled;
      }
      if (progress) progress(n, total);
    }
    const std::int64_t i = frames != nullptr ? (*frames)[static_cast<std::size_t>(n)] : n;
    const FrameRecord& r = snapshot.Frame(i);
    if (r.Timestamp()) continue;
    if (!reader.Read(i, frame)) {
      ++survey.unheld;
      continue;
    }
    ++survey.frames;
    const bool data = IsDataFrame(frame.Kiss());
    // The heard list reads the address blocks: callsign texts only for the APRS decoder.
    if (data) DescribeAx25(frame.Kiss(), d, kModulo8, false);
    const bool ax25 = data && d.problem == Ax25Problem::kNone;
    const std::optional<std::int64_t> time = times.Millis(r.StampNumber());
    if (time) {
      const std::int64_t m = MinuteOf(*time);
      if (counts == nullptr || m != minute) {
        minute = m;
        counts = &survey.minutes[m];
      }
      ++(*counts)[static_cast<std::size_t>(TrafficKind(ax25, d))];
    }
    if (!ax25) continue;
    survey.heard.Add(d, time);
    if (!IsAprsFrame(d)) continue;
    const bool may_define = AprsDecoder::MayDefine(d.info);
    if (!may_define && !MayPlace(d.info)) continue;
    CallsignText(d.source.block.data(), d.source.call);
    CallsignText(d.destination.block.data(), d.destination.call);
    const AprsPacket& p = aprs.Decode(AprsHeaderOf(d), d.info);
    survey.positions.Add(i, time, d.source.call, p);
    if (may_define && DefinesTelemetry(p)) survey.definitions.push_back(i);
  }
  survey.heard.Sort();  // here, not in the window's thread that reads it
  return PassEnd::kDone;
}

TrafficBins BinTraffic(const std::map<std::int64_t, TrafficCounts>& minutes, int max_bins) {
  TrafficBins out;
  if (minutes.empty() || max_bins < 1) return out;
  const std::int64_t first = minutes.begin()->first;
  const std::int64_t span = minutes.rbegin()->first - first + 1;
  static constexpr std::int64_t kWidths[] = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720, 1440};
  std::int64_t width = 0;
  for (std::int64_t w : kWidths) {
    if (span <= w * max_bins) {
      width = w;
      break;
    }
  }
  if (width == 0) {  // whole days
    const std::int64_t days = (span + 1440LL * max_bins - 1) / (1440LL * max_bins);
    width = days * 1440;
  }
  // Bins begin at a multiple of their width, so that their times are round.
  out.first_minute = first - ((first % width) + width) % width;
  out.minutes_per_bin = width;
  const std::int64_t count = (minutes.rbegin()->first - out.first_minute) / width + 1;
  out.bins.resize(static_cast<std::size_t>(count));
  for (const auto& [minute, counts] : minutes) {
    TrafficCounts& bin = out.bins[static_cast<std::size_t>((minute - out.first_minute) / width)];
    for (std::size_t k = 0; k < bin.size(); ++k) bin[k] += counts[k];
  }
  return out;
}

}  // namespace packscope
