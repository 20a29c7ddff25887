// The gpx layout: the positions that the APRS frames of a pass give, as a GPX 1.1 document for
// map programs (written when the pass is done):
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <gpx version="1.1" creator="packscope-convert" xmlns="http://www.topografix.com/GPX/1/1">
//    <wpt lat="48.125333" lon="11.569667"><time>2016-01-01T12:35:45.110Z</time><name>QQ0QQ</name>
//   <cmt>QRV 144.800 and 438.925</cmt><sym>/-</sym><type>station</type></wpt>
//    <trk>
//     <name>QQ1ABC-9</name>
//     <type>station</type>
//     <trkseg>
//      <trkpt lat="48.150500"
//      lon="11.496167"><ele>576.1</ele><time>2016-01-01T12:35:17.726Z</time></trkpt> <trkpt
//      lat="48.151667" lon="11.497000"><desc>position ambiguous to 1 minute</desc></trkpt>
//     </trkseg>
//    </trk>
//   </gpx>
//
// A station (the frame's source), object or item heard at one place is a waypoint: its last
// report's altitude (<ele>, metres), time (<time>, the frame's stamp), name, comment (<cmt>),
// symbol as sent (<sym>, table and code) and kind (<type>: station, object, item). One that moved
// is a track of its points in capture order. A station's points are the positions it sent of
// itself (positions, Mic-E, weather reports with a position, NMEA sentences, status texts with a
// locator); objects and items place something other than their sender, and any station may
// move them: each object and item is a waypoint or track of its own under its name, killed ones
// included. The packet inside a third-party packet belongs to its own source. A position sent
// with digits blanked (ambiguity) is the middle of the area it leaves open, and says so in
// <desc>. Waypoints come first, as GPX wants, then the tracks, each in the order station,
// object, item, by name; names and comments are written as the monitor layout writes callsigns
// (bytes outside 0x20..0x7E as <0xNN>), XML-escaped. Latitude and longitude have 6 decimals
// (about 0.1 m); longitude 180 is written -180, which the GPX schema wants; "the same place" is
// the same position to those 6 decimals.
//
// Memory: a station's points are kept as varint deltas from its point before (position in
// millionths of a degree, altitude in decimetres, time in milliseconds), some 5 to 12 bytes a
// point, in chunks that never move; a place costs about 200 bytes with its name and last
// comment.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "aprs/aprs_decoder.h"
#include "aprs/aprs_subject.h"
#include "capture/frame_aprs.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"

namespace packscope {
namespace {

// One point as the layout writes it.
struct Point {
  std::int64_t lat = 0;  // millionths of a degree
  std::int64_t lon = 0;
  std::optional<std::int64_t> ele;  // decimetres
  std::optional<std::int64_t> time;
  int ambiguity = 0;
};

// A station's points, encoded one after the other: a flags byte (bit 0 altitude, bit 1 time,
// bits 2..4 ambiguity), then zigzag varints of the latitude's and longitude's change, the
// altitude and the time's change. Chunks of a list grow from 16 bytes to 64 KB and then stay at
// 64 KB; none is moved once written.
class PointLog {
 public:
  PointLog() = default;
  PointLog(const PointLog&) = delete;
  PointLog& operator=(const PointLog&) = delete;
  ~PointLog() {
    while (head_ != nullptr) {
      Chunk* next = head_->next;
      ::operator delete(head_);
      head_ = next;
    }
  }

  void Append(const Point& p) {
    std::uint8_t bytes[48];
    std::size_t n = 0;
    bytes[n++] = static_cast<std::uint8_t>((p.ele ? 1 : 0) | (p.time ? 2 : 0) | (p.ambiguity << 2));
    n = Varint(bytes, n, p.lat - lat_);
    n = Varint(bytes, n, p.lon - lon_);
    if (p.ele) n = Varint(bytes, n, *p.ele);
    if (p.time) {
      n = Varint(bytes, n, *p.time - time_);
      time_ = *p.time;
    }
    lat_ = static_cast<std::int32_t>(p.lat);
    lon_ = static_cast<std::int32_t>(p.lon);
    for (std::size_t i = 0; i < n; ++i) Put(bytes[i]);
  }

  // Calls f with each point, in the order appended.
  template <typename F>
  void ForEach(F&& f) const {
    Point p;
    std::int64_t time = 0;
    const Chunk* chunk = head_;
    std::uint32_t at = 0;
    const auto next = [&]() -> std::uint8_t {
      while (at == (chunk == tail_ ? used_ : chunk->size)) {
        chunk = chunk->next;
        at = 0;
      }
      return Bytes(chunk)[at++];
    };
    const auto varint = [&]() {
      std::uint64_t v = 0;
      for (int shift = 0;; shift += 7) {
        const std::uint8_t b = next();
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if ((b & 0x80) == 0) break;
      }
      return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
    };
    while (chunk != nullptr && !(chunk == tail_ && at == used_)) {
      const std::uint8_t flags = next();
      p.ambiguity = (flags >> 2) & 7;
      p.lat += varint();
      p.lon += varint();
      p.ele.reset();
      if ((flags & 1) != 0) p.ele = varint();
      p.time.reset();
      if ((flags & 2) != 0) p.time = time += varint();
      f(p);
    }
  }

 private:
  // A chunk's bytes follow it in the same allocation.
  struct Chunk {
    Chunk* next;
    std::uint32_t size;
  };
  static std::uint8_t* Bytes(Chunk* c) { return reinterpret_cast<std::uint8_t*>(c + 1); }
  static const std::uint8_t* Bytes(const Chunk* c) {
    return reinterpret_cast<const std::uint8_t*>(c + 1);
  }
  static constexpr std::uint32_t kFirstChunk = 16;
  static constexpr std::uint32_t kLargestChunk = 1 << 16;

  static std::size_t Varint(std::uint8_t* out, std::size_t n, std::int64_t v) {
    auto z = (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
    while (z >= 0x80) {
      out[n++] = static_cast<std::uint8_t>(z | 0x80);
      z >>= 7;
    }
    out[n++] = static_cast<std::uint8_t>(z);
    return n;
  }

  void Put(std::uint8_t b) {
    if (tail_ == nullptr || used_ == tail_->size) {
      const std::uint32_t size =
          tail_ == nullptr ? kFirstChunk : std::min(tail_->size * 2, kLargestChunk);
      auto* chunk = static_cast<Chunk*>(::operator new(sizeof(Chunk) + size));
      chunk->next = nullptr;
      chunk->size = size;
      (tail_ == nullptr ? head_ : tail_->next) = chunk;
      tail_ = chunk;
      used_ = 0;
    }
    Bytes(tail_)[used_++] = b;
  }

  Chunk* head_ = nullptr;
  Chunk* tail_ = nullptr;
  std::uint32_t used_ = 0;  // of the last chunk
  std::int32_t lat_ = 0;    // of the point appended last
  std::int32_t lon_ = 0;
  std::int64_t time_ = 0;  // of the last point with a time
};

// A station, object or item and what the layout keeps of it (besides its key: the kind's digit,
// then the name's bytes).
struct Place {
  PointLog points;
  std::int32_t first_lat = 0;  // millionths of a degree
  std::int32_t first_lon = 0;
  bool moved = false;
  std::array<char, 2> symbol{};  // of the last report
  std::string comment;           // of the last report
};

void AppendFixed(std::string& out, double v, int decimals) {
  char buf[400];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (ec == std::errc()) out.append(buf, end);
}

// Millionths of a degree as degrees with 6 decimals.
void AppendMicro(std::string& out, std::int64_t v) {
  if (v < 0) out.push_back('-');
  const std::uint64_t a = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  out.append(std::to_string(a / 1000000)).push_back('.');
  const std::string fraction = std::to_string(a % 1000000);
  out.append(6 - fraction.size(), '0').append(fraction);
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

// <ele>, <time> and, for an ambiguous position, <desc>: what a waypoint and a track point
// begin with (the name, comment and symbol of a waypoint come between time and desc).
void AppendEleTime(std::string& out, const Point& p) {
  if (p.ele) {
    out.append("<ele>");
    AppendFixed(out, static_cast<double>(*p.ele) / 10.0, 1);
    out.append("</ele>");
  }
  if (p.time) {
    const std::string when = IsoUtcText(*p.time);
    if (!when.empty()) out.append("<time>").append(when).append("</time>");
  }
}

void AppendAmbiguity(std::string& out, const Point& p) {
  static constexpr std::string_view kArea[5] = {"", "0.1 minute", "1 minute", "10 minutes",
                                                "1 degree"};
  if (p.ambiguity > 0 && p.ambiguity <= 4) {
    out.append("<desc>position ambiguous to ").append(kArea[p.ambiguity]).append("</desc>");
  }
}

void AppendPointAttributes(std::string& out, const Point& p) {
  out.append("lat=\"");
  AppendMicro(out, p.lat);
  out.append("\" lon=\"");
  AppendMicro(out, p.lon);
  out.append("\">");
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
    const std::optional<AprsPlace> at_place = PlaceOf(*subject.packet);
    if (!at_place) return;
    key_.assign(1, static_cast<char>('0' + static_cast<int>(subject.kind)));
    key_.append(subject.name);
    auto [at, added] = places_.try_emplace(key_);
    Place& place = at->second;

    Point point;
    point.lat = at_place->lat_e6;
    point.lon = at_place->lon_e6;
    if (at_place->altitude_m && std::abs(*at_place->altitude_m) < 1e9) {
      point.ele = std::llround(*at_place->altitude_m * 10.0);
    }
    point.time = clock_.Millis();
    point.ambiguity = at_place->ambiguity;
    if (added) {
      place.first_lat = static_cast<std::int32_t>(point.lat);
      place.first_lon = static_cast<std::int32_t>(point.lon);
    }
    place.moved = place.moved || point.lat != place.first_lat || point.lon != place.first_lon;
    place.points.Append(point);
    place.comment.assign(subject.packet->comment);
    place.symbol = subject.packet->symbol;
  }

  bool ReadsAprs() const override { return true; }

  void Finish(const DecoderState& state) override {
    (void)state;
    // Station, object, item, each by name (the kind's digit first in the key).
    using Entry = std::pair<const std::string, Place>;
    std::vector<const Entry*> order;
    order.reserve(places_.size());
    for (const Entry& e : places_) order.push_back(&e);
    std::sort(order.begin(), order.end(),
              [](const Entry* a, const Entry* b) { return a->first < b->first; });
    text_ =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"packscope-convert\" "
        "xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (const Entry* e : order) {
      if (!e->second.moved) WriteWaypoint(e->first, e->second);
    }
    for (const Entry* e : order) {
      if (e->second.moved) WriteTrack(e->first, e->second);
    }
    text_.append("</gpx>\n");
    out_.Write(text_);
  }

 private:
  static constexpr std::size_t kWriteBlock = 1 << 16;

  static AprsSubjectKind KindOf(const std::string& key) {
    return static_cast<AprsSubjectKind>(key[0] - '0');
  }
  static std::string_view NameOf(const std::string& key) { return std::string_view(key).substr(1); }

  void Flush() {
    if (text_.size() < kWriteBlock) return;
    out_.Write(text_);
    text_.clear();
  }

  // Its last report's point, name, comment and symbol.
  void WriteWaypoint(const std::string& key, const Place& place) {
    Point p;
    place.points.ForEach([&p](const Point& q) { p = q; });
    text_.append(" <wpt ");
    AppendPointAttributes(text_, p);
    AppendEleTime(text_, p);
    text_.append("<name>");
    AppendXmlText(text_, NameOf(key));
    text_.append("</name>");
    if (!place.comment.empty()) {
      text_.append("<cmt>");
      AppendXmlText(text_, place.comment);
      text_.append("</cmt>");
    }
    AppendAmbiguity(text_, p);
    if (place.symbol[1] != 0) {
      text_.append("<sym>");
      AppendXmlText(text_, std::string_view(place.symbol.data(), 2));
      text_.append("</sym>");
    }
    text_.append("<type>").append(AprsSubjectKindName(KindOf(key))).append("</type></wpt>\n");
    Flush();
  }

  void WriteTrack(const std::string& key, const Place& place) {
    text_.append(" <trk>\n  <name>");
    AppendXmlText(text_, NameOf(key));
    text_.append("</name>\n  <type>");
    text_.append(AprsSubjectKindName(KindOf(key)));
    text_.append("</type>\n  <trkseg>\n");
    place.points.ForEach([this](const Point& p) {
      text_.append("   <trkpt ");
      AppendPointAttributes(text_, p);
      AppendEleTime(text_, p);
      AppendAmbiguity(text_, p);
      text_.append("</trkpt>\n");
      Flush();
    });
    text_.append("  </trkseg>\n </trk>\n");
  }

  LineSink& out_;
  StampClock clock_;
  Ax25Details details_;
  std::string key_;                                // scratch
  std::unordered_map<std::string, Place> places_;  // by key
  std::string text_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeGpxWriter(LineSink& out) {
  return std::make_unique<GpxWriter>(out);
}

}  // namespace packscope
