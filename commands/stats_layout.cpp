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
// A merge of several captures (packscope-convert --merge) adds, per receiver (capture, named as
// given), what commands/receiver_tally.h counts over the packets written:
//
//    "receivers": {"north.kss": {"frames": 812, "only_here": 40, "missed": 95, "offset_ms": 0},
//                  "south.kss": {"frames": 860, "only_here": 88, "missed": 47,
//                                "offset_ms": 1020}}              offset null without shared
//                                packets
//
// "capture" is then the merge's name (the first capture's) and "size" null.
//
// Times are the frames' stamps (StampClock) in ISO 8601, UTC; null where none is known. A path is
// the digipeaters as the monitor layout writes them ("*": has repeated the frame). The findings
// count the frames counted, and, for the capture as a whole, skipped bytes and the stamps' times.
//
// APRS: each APRS frame (aprs/aprs_frame.h) counts once for its source under its type (a
// third-party packet as "third-party"). The last position is that of the station's last frame
// in capture order that gave one of its own: objects and items, which place something else, and
// the packets inside third-party packets, which are other stations', do not count; its time is
// the frame's stamp (null without one).
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ax25/ax25_text.h"
#include "capture/frame_aprs.h"
#include "capture/frame_source.h"
#include "commands/frame_text.h"
#include "commands/heard_list.h"
#include "commands/layouts.h"
#include "commands/receiver_tally.h"

namespace packscope {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::int64_t kMinuteMillis = 60000;
// The text is handed on in pieces of about this size, not kept whole.
constexpr std::size_t kPiece = 1 << 16;

// "2016-01-01T12:34:56.789Z"; empty outside the years 100 to 9999 (written as null).
std::string IsoTime(const std::optional<std::int64_t>& millis) {
  return millis ? IsoUtcText(*millis) : std::string();
}

// Floor division: minutes before 1970 count down.
std::int64_t MinuteOf(std::int64_t millis) {
  return millis / kMinuteMillis - (millis % kMinuteMillis < 0 ? 1 : 0);
}

// Rounded as the jsonl layout's "lat" and "lon" are.
double Degrees(double v) {
  const double r = std::round(v * 1e6) / 1e6;
  return r == 0.0 ? 0.0 : r;
}

// Writes JSON as the JSON library's dump with an indent of 2 does (members one a line, "{}" and
// "[]" when empty, texts that are not UTF-8 mended with U+FFFD), member by member into out, so
// that the report of a million stations is never a document in memory. Texts of plain ASCII are
// written as they are; the library writes the others and every fraction.
class PrettyJson {
 public:
  explicit PrettyJson(std::string& out) : out_(out) {}

  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  void Key(std::string_view key) {
    Next();
    Quoted(key);
    out_.append(": ");
    keyed_ = true;
  }
  void Text(std::string_view text) {
    Value();
    Quoted(text);
  }
  // An ISO time, or null for none.
  void Time(const std::string& iso) {
    if (iso.empty()) {
      Null();
    } else {
      Text(iso);
    }
  }
  void Number(std::int64_t n) {
    Value();
    out_.append(std::to_string(n));
  }
  void Fraction(double d) {
    Value();
    out_.append(Json(d).dump());
  }
  void Null() {
    Value();
    out_.append("null");
  }

 private:
  void Open(char bracket) {
    Value();
    out_.push_back(bracket);
    members_.push_back(0);
  }
  void Close(char bracket) {
    const bool empty = members_.back() == 0;
    members_.pop_back();
    if (!empty) {
      out_.push_back('\n');
      out_.append(2 * members_.size(), ' ');
    }
    out_.push_back(bracket);
  }
  void Quoted(std::string_view text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
      return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
    });
    if (plain) {
      out_.push_back('"');
      out_.append(text);
      out_.push_back('"');
    } else {
      out_.append(Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace));
    }
  }
  // Before a member of an object (its key) or an element of an array.
  void Next() {
    if (members_.empty()) return;
    out_.append(members_.back()++ == 0 ? "\n" : ",\n");
    out_.append(2 * members_.size(), ' ');
  }
  void Value() {
    if (!std::exchange(keyed_, false)) Next();
  }

  std::string& out_;
  std::vector<std::size_t> members_;  // of each object and array open, innermost last
  bool keyed_ = false;                // a key was written: the value follows on its line
};

template <typename Counts>
void WriteCounts(PrettyJson& j, const Counts& counts) {
  j.BeginObject();
  for (const auto& [key, n] : counts) {
    j.Key(key);
    j.Number(n);
  }
  j.EndObject();
}

class StatsWriter : public FrameWriter {
 public:
  explicit StatsWriter(LineSink& out) : out_(out) {}

  void OnSkipped(std::int64_t offset, std::int64_t count) override {
    (void)offset;
    (void)count;
    ++findings_[static_cast<std::size_t>(Finding::kSkipped)];
  }

  void OnInputDamage(const InputDamage& damage) override {
    ++findings_[static_cast<std::size_t>(FindingOf(damage.kind))];
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
    if (state.Receivers != nullptr) receivers_.Add(*state.Receivers);
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
    const auto type = types_.find(type_);
    if (type != types_.end()) {
      ++type->second;
    } else {
      types_.emplace(type_, 1);
    }
    heard_.Add(d, time, aprs);
  }

  bool ReadsAprs() const override { return true; }

  void Finish(const DecoderState& state) override {
    std::string text;
    PrettyJson j(text);
    const auto flush = [&] {
      if (text.size() < kPiece) return;
      out_.Write(text);
      text.clear();
    };
    j.BeginObject();
    j.Key("capture");
    j.Text(state.CaptureFileName);
    j.Key("size");
    struct stat st {};
    if (state.Source == nullptr && ::stat(state.CaptureFileName.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode)) {
      j.Number(static_cast<std::int64_t>(st.st_size));
    } else {
      j.Null();
    }
    j.Key("frames");
    j.Number(frames_);
    j.Key("stamps");
    j.Number(stamps_);
    j.Key("first_stamp");
    j.Time(IsoTime(first_stamp_));
    j.Key("last_stamp");
    j.Time(IsoTime(last_stamp_));
    j.Key("frames_not_ax25");
    j.Number(not_ax25_);
    j.Key("stations");
    j.BeginObject();
    for (std::size_t i = 0; i < heard_.Size(); ++i) {
      const HeardStation s = heard_.Station(i);
      j.Key(heard_.Call(i));
      j.BeginObject();
      j.Key("frames");
      j.Number(s.frames);
      j.Key("first_heard");
      j.Time(IsoTime(s.first));
      j.Key("last_heard");
      j.Time(IsoTime(s.last));
      j.Key("destinations");
      WriteCounts(j, s.destinations);
      j.Key("paths");
      WriteCounts(j, s.paths);
      j.Key("aprs_types");
      WriteCounts(j, s.aprs_types);
      j.Key("last_position");
      if (s.last_position) {
        j.BeginObject();
        j.Key("lat");
        j.Fraction(Degrees(s.last_position->lat));
        j.Key("lon");
        j.Fraction(Degrees(s.last_position->lon));
        j.Key("time");
        j.Time(IsoTime(s.last_position->time));
        j.EndObject();
      } else {
        j.Null();
      }
      j.EndObject();
      flush();
    }
    j.EndObject();
    j.Key("frame_types");
    WriteCounts(j, types_);
    j.Key("frames_per_minute");
    j.BeginArray();
    for (const auto& [minute, n] : minutes_) {
      j.BeginArray();
      const std::string when = IsoTime(minute * kMinuteMillis);
      j.Time(when.empty() ? when : when.substr(0, 16) + "Z");
      j.Number(n);
      j.EndArray();
      flush();
    }
    j.EndArray();
    j.Key("findings");
    j.BeginObject();
    for (int k = 0; k < kFindingCount; ++k) {
      j.Key(FindingTag(static_cast<Finding>(k)));
      j.Number(findings_[static_cast<std::size_t>(k)]);
    }
    j.EndObject();
    if (state.Source != nullptr && !state.Source->ReceiverNames().empty()) {
      receivers_.SetNames(state.Source->ReceiverNames());
      j.Key("receivers");
      j.BeginObject();
      for (const ReceiverSummary& r : receivers_.Summary()) {
        j.Key(r.name);
        j.BeginObject();
        j.Key("frames");
        j.Number(r.frames);
        j.Key("only_here");
        j.Number(r.only_here);
        j.Key("missed");
        j.Number(r.missed);
        j.Key("offset_ms");
        if (r.offset_ms) {
          j.Number(*r.offset_ms);
        } else {
          j.Null();
        }
        j.EndObject();
      }
      j.EndObject();
    }
    j.EndObject();
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
  ReceiverTally receivers_;
  std::map<std::string, std::int64_t, std::less<>> types_;
  std::map<std::int64_t, std::int64_t> minutes_;
  std::array<std::int64_t, kFindingCount> findings_{};
};

}  // namespace

std::unique_ptr<FrameWriter> MakeStatsWriter(LineSink& out) {
  return std::make_unique<StatsWriter>(out);
}

}  // namespace packscope
