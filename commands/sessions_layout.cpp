// The sessions layout: one JSON object per connected AX.25 session (ax25/ax25_link.h), one a
// line (JSON Lines, LF), in the order of the sessions' first frames:
//
//   {"session":1,"initiator":"QQ9UV","responder":"QQ5BBS-1","port":0,"modulo":8,"setup":"SABM",
//    "outcome":"DISC","first_frame":12,"last_frame":58,"start":"2016-01-01T12:36:07.276Z",
//    "end":"2016-01-01T12:36:20.144Z","frames":24,
//    "from_initiator":{"i_frames":1,"bytes":2,"retransmitted":0,"missing":0,"rej":0,"srej":0,
//                      "rnr":0,"data_hex":"4C 0D"},
//    "from_responder":{"i_frames":7,"bytes":310,"retransmitted":1,"missing":1,"rej":0, ...,
//                      "data_hex":"48 65 6C .. 31 30"}}
//
// session: the number the jsonl layout's "session" and the filter's `session` give its frames.
// initiator: the station that sent the SABM or SABME (for a session without setup, the sender of
// its first frame heard). setup: "SABM", "SABME", or null when the capture holds none. outcome:
// "DISC" (the DISC and its answer), "DM", "FRMR", "reset" (a SABM on the link in use), or null
// for a session still open at the end. first_frame and last_frame: jsonl's frame numbers. start
// and end: the times of those frames, ISO 8601 UTC (null without a stamp). frames: the session's
// frames. Per direction: I frames heard (retransmissions included), the data bytes reassembled,
// I frames heard again, I frames the monitor never heard, REJ, SREJ and RNR frames sent, and the
// data in sequence order as hex text, ".." in the place of each frame the monitor missed.
//
// With --filter the layout writes the sessions the filter keeps a frame of, whole.
#include <map>
#include <set>

#include "capture/frame_links.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "render/hex.h"
#include "render/json_writer.h"

namespace packscope {
namespace {

void TimeOrNull(JsonWriter& j, const std::optional<std::int64_t>& millis) {
  const std::string text = millis ? IsoUtcText(*millis) : std::string();
  if (text.empty()) {
    j.Null();
  } else {
    j.String(text);
  }
}

void TextOrNull(JsonWriter& j, std::string_view text) {
  if (text.empty()) {
    j.Null();
  } else {
    j.String(text);
  }
}

class SessionsWriter : public FrameWriter, public SessionSink {
 public:
  explicit SessionsWriter(LineSink& out) : out_(out) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    (void)info;
    const LinkFacts* link = CurrentLink(state);
    if (link != nullptr && link->session > 0) kept_.insert(link->session);
  }

  SessionSink* Sessions() override { return this; }

  void OnData(const Session& session, int direction, std::int64_t frame,
              std::span<const std::uint8_t> data) override {
    (void)frame;
    std::string& hex = data_[session.number][static_cast<std::size_t>(direction)];
    if (data.empty()) return;
    if (!hex.empty()) hex.push_back(' ');
    AppendHexText(hex, data.data(), data.size());
    hex.pop_back();
  }

  void OnGap(const Session& session, int direction, std::int64_t frames) override {
    std::string& hex = data_[session.number][static_cast<std::size_t>(direction)];
    for (std::int64_t i = 0; i < frames; ++i) hex.append(hex.empty() ? ".." : " ..");
  }

  void OnEnd(const Session& s) override {
    auto data = data_.extract(s.number);
    if (kept_.erase(s.number) > 0) {
      JsonWriter j;
      j.StartObject();
      j.Key("session");
      j.Int(s.number);
      j.Key("initiator");
      j.String(s.initiator);
      j.Key("responder");
      j.String(s.responder);
      j.Key("port");
      j.Int(s.port);
      j.Key("modulo");
      j.Int(s.modulo);
      j.Key("setup");
      TextOrNull(j, SetupName(s.setup));
      j.Key("outcome");
      TextOrNull(j, OutcomeName(s.outcome));
      j.Key("first_frame");
      j.Int(s.first_frame);
      j.Key("last_frame");
      j.Int(s.last_frame);
      j.Key("start");
      TimeOrNull(j, s.start);
      j.Key("end");
      TimeOrNull(j, s.end);
      j.Key("frames");
      j.Int(s.frames);
      for (std::size_t i = 0; i < 2; ++i) {
        const DirectionCounts& c = s.from[i];
        if (i == 0) {
          j.Key("from_initiator");
        } else {
          j.Key("from_responder");
        }
        j.StartObject();
        j.Key("i_frames");
        j.Int(c.i_frames);
        j.Key("bytes");
        j.Int(c.bytes);
        j.Key("retransmitted");
        j.Int(c.retransmitted);
        j.Key("missing");
        j.Int(c.missing);
        j.Key("rej");
        j.Int(c.rej);
        j.Key("srej");
        j.Int(c.srej);
        j.Key("rnr");
        j.Int(c.rnr);
        j.Key("data_hex");
        j.String(data.empty() ? std::string_view() : std::string_view(data.mapped()[i]));
        j.EndObject();
      }
      j.EndObject();
      std::string line = std::move(j.Text());
      line.push_back('\n');
      ready_.emplace(s.number, std::move(line));
    } else {
      ready_.emplace(s.number, std::string());
    }
    // In the order of the sessions' numbers: each as soon as those before it have ended.
    while (!ready_.empty() && ready_.begin()->first == next_) {
      if (!ready_.begin()->second.empty()) out_.Write(ready_.begin()->second);
      ready_.erase(ready_.begin());
      ++next_;
    }
  }

  void Finish(const DecoderState& state) override {
    (void)state;
    for (const auto& [number, line] : ready_) {
      if (!line.empty()) out_.Write(line);
    }
    ready_.clear();
  }

 private:
  LineSink& out_;
  std::set<std::int64_t> kept_;  // sessions the filter kept a frame of, not yet ended
  std::map<std::int64_t, std::array<std::string, 2>> data_;  // of the open sessions
  std::map<std::int64_t, std::string> ready_;                // ended, waiting for those before them
  std::int64_t next_ = 1;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeSessionsWriter(LineSink& out) {
  return std::make_unique<SessionsWriter>(out);
}

}  // namespace packscope
