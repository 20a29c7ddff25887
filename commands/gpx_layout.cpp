// The gpx layout: the positions that the APRS frames of a pass give, as GPX 1.1 tracks for map
// programs (one document, written when the pass is done):
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <gpx version="1.1" creator="packscope-convert" xmlns="http://www.topografix.com/GPX/1/1">
//    <trk>
//     <name>QQ1ABC-9</name>
//     <type>station</type>
//     <trkseg>
//      <trkpt lat="48.150500"
//      lon="11.496167"><ele>576.1</ele><time>2016-01-01T12:35:17.726Z</time></trkpt> <trkpt
//      lat="48.151667" lon="11.497000"></trkpt>
//     </trkseg>
//    </trk>
//    <trk>
//     <name>LEADER</name>
//     <type>object</type>
//     ...
//   </gpx>
//
// A track per station: its name is the frame's source callsign, its points the positions the
// station sent of itself (positions, Mic-E, weather reports with a position, NMEA sentences,
// status texts with a locator), in capture order. Objects and items place something other than
// their sender, and any station may move them: each object (type "object") and item (type
// "item") is a track of its own under its name, killed ones included. The packet inside a
// third-party packet belongs to its own source, not to the station that passed it on. A point
// has <ele> when the field gives an altitude (metres) and <time> when the frame has a stamp
// (StampClock). Tracks come in the order station, object, item, each by name; names are written
// as the monitor layout writes callsigns (bytes outside 0x20..0x7E as <0xNN>), XML-escaped.
// Latitude and longitude have 6 decimals (about 0.1 m); longitude 180 is written -180, which the
// GPX schema wants.
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "aprs/aprs_decoder.h"
#include "aprs/aprs_subject.h"
#include "capture/frame_aprs.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"

namespace packscope {
namespace {

struct Point {
  double lat = 0;
  double lon = 0;
  std::optional<double> ele;
  std::optional<std::int64_t> time;
};

// Rounded to a multiple of 1 / scale, without "-0".
double Rounded(double v, double scale) {
  const double r = std::round(v * scale) / scale;
  return r == 0.0 ? 0.0 : r;
}

void AppendFixed(std::string& out, double v, int decimals) {
  char buf[64];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (ec == std::errc()) out.append(buf, end);
}

// Text for element content: printable ASCII, XML-escaped; other bytes as <0xNN>.
void AppendXmlText(std::string& out, std::string_view bytes) {
  std::string printable;
  AppendPrintable(printable, bytes);
  for (const char c : printable) {
    switch (c) {
      case '&':
        out.append("&amp;");
        break;
      case '<':
        out.append("&lt;");
        break;
      case '>':
        out.append("&gt;");
        break;
      default:
        out.push_back(c);
    }
  }
}

class GpxWriter : public FrameWriter {
 public:
  explicit GpxWriter(LineSink& out) : out_(out) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) {
      clock_.Update(state);
      return;
    }
    const std::span<const std::uint8_t> frame = KissFrame(state);
    if (!IsDataFrame(frame)) return;
    const Ax25Details& d = CurrentAx25(state, details_);
    const AprsPacket* p = CurrentAprs(state, d);
    if (p == nullptr) return;
    const AprsSubject subject = SubjectOf(d.source.call, *p);
    const std::optional<AprsPlace> place = PlaceOf(*subject.packet);
    if (!place) return;
    key_.first = subject.kind;
    key_.second.assign(subject.name);
    auto track = tracks_.find(key_);
    if (track == tracks_.end()) track = tracks_.emplace(key_, std::vector<Point>{}).first;
    track->second.push_back(Point{place->Lat(), place->Lon(), place->altitude_m, clock_.Millis()});
  }

  bool ReadsAprs() const override { return true; }

  void Finish(const DecoderState& state) override {
    (void)state;
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"packscope-convert\" "
        "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (const auto& [key, points] : tracks_) {
      text.append(" <trk>\n  <name>");
      AppendXmlText(text, key.second);
      text.append("</name>\n  <type>");
      text.append(AprsSubjectKindName(key.first));
      text.append("</type>\n  <trkseg>\n");
      for (const Point& p : points) {
        text.append("   <trkpt lat=\"");
        AppendFixed(text, p.lat, 6);
        text.append("\" lon=\"");
        AppendFixed(text, p.lon, 6);
        text.append("\">");
        if (p.ele && std::abs(*p.ele) < 1e9) {
          text.append("<ele>");
          AppendFixed(text, Rounded(*p.ele, 10), 1);
          text.append("</ele>");
        }
        if (p.time) {
          const std::string when = IsoUtcText(*p.time);
          if (!when.empty()) text.append("<time>").append(when).append("</time>");
        }
        text.append("</trkpt>\n");
      }
      text.append("  </trkseg>\n </trk>\n");
      if (text.size() >= kWriteBlock) {
        out_.Write(text);
        text.clear();
      }
    }
    text.append("</gpx>\n");
    out_.Write(text);
  }

 private:
  static constexpr std::size_t kWriteBlock = 1 << 16;

  LineSink& out_;
  StampClock clock_;
  Ax25Details details_;
  std::pair<AprsSubjectKind, std::string> key_;  // scratch
  std::map<std::pair<AprsSubjectKind, std::string>, std::vector<Point>> tracks_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeGpxWriter(LineSink& out) {
  return std::make_unique<GpxWriter>(out);
}

}  // namespace packscope
