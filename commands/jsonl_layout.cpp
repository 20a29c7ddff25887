// The jsonl layout: one JSON object per frame that is not a timestamp frame, one object a line
// (JSON Lines, LF). Every object has every key, null where a value does not apply:
//
//   {"frame":3,"offset":41,"stamp":"1 Jan 2016 12:34:56.789 UTC","stamp_ms":1451651696789,
//    "time":"2016-01-01T12:34:56.789Z","port":0,"command":0,"destination":"CQ",
//    "source":"QQ0QQ-1",
//    "digipeaters":[{"call":"RELAY","repeated":true},{"call":"WIDE2-1","repeated":false}],
//    "cr":"command","kind":"U","name":"UI","code":0,"ns":null,"nr":null,"pf":false,
//    "pid":240,"pid_name":"No layer 3","payload_hex":"3E 51 ...","frame_hex":"00 86 A2 ...",
//    "problem":null,"damage":null,"aprs":{"type":"status","status":"QRV"},"session":null,
//    "netrom":null}
//
// frame: FrameCount, every frame of the capture counted (timestamp frames too), as in the health
// report. offset: of the frame's opening FEND. stamp: StampText as the window shows it (null
// before the first stamp); stamp_ms: the time the frame carries (StampClock), and time the same
// in ISO 8601, UTC (null where stamp_ms is, and outside the years 100 to 9999). port, command:
// the type byte's nibbles (null for an empty frame). The AX.25 keys are null for a frame that is
// no AX.25 frame: empty, a KISS command (see command), or as "problem" says; ns and nr count
// modulo 8, or 128 in a session set up with SABME (or an XID naming it), whose I and S frames
// carry two control bytes. problem: what is wrong with the frame short of APRS, in words ("; "
// between them): its damage in the recording and its departures from AX.25
// (capture/frame_findings.h); null for a sound frame, an empty frame and a KISS command frame.
// damage: the tags of its damage (["cut-off"]), null when it has none. aprs: the APRS field's
// object (aprs/aprs_json.h) for an APRS frame, null for any other frame; an invalid field says why
// in its "error". session: the number of the connected session the frame belongs to (the
// sessions layout's), null outside one. netrom: what an I or UI frame with PID CF carries
// (ax25/layer3.h), null for any other frame:
//
//   {"type":"nodes","alias":"NODE1","routes":[{"call":"QQ9NOD-4","alias":"HILL",
//    "neighbour":"QQ9NOD-4","quality":192}],"error":null}
//   {"type":"transport","origin":"QQ1NOD-2","destination":"QQ9NOD-4","ttl":7,
//    "opcode":"information","circuit_index":2,"circuit_id":43,"my_circuit_index":null,
//    "my_circuit_id":null,"tx_seq":3,"rx_seq":2,"choke":false,"nak":false,"more":false,
//    "window":null,"user":null,"node":null,"data_hex":"31 30 ...","error":null}
//
// A merge of several captures (packscope-convert --merge) adds two keys to every object:
//
//   "heard_by":["north.kss","south.kss"],"heard_offset_ms":{"north.kss":0,"south.kss":1020}
//
// the receivers (captures, named as given, sorted) that heard the packet, and by how much each
// one's first reception runs behind (or, negative, ahead of) the packet's time, the first
// reception's. frame and offset are then those of the merged capture (the kiss layout's).
#include "aprs/aprs_json.h"
#include "ax25/layer3.h"
#include "capture/frame_aprs.h"
#include "capture/frame_links.h"
#include "capture/frame_receivers.h"
#include "capture/frame_source.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "render/json_writer.h"

namespace packscope {
namespace {

std::string_view RoleName(Ax25Role role) {
  switch (role) {
    case Ax25Role::kCommand:
      return "command";
    case Ax25Role::kResponse:
      return "response";
    case Ax25Role::kUnknown:
      break;
  }
  return {};
}

void StringOrNull(JsonWriter& out, std::string_view text) {
  if (text.empty()) {
    out.Null();
  } else {
    out.String(text);
  }
}

template <typename T>
void IntOrNull(JsonWriter& out, const std::optional<T>& value) {
  if (value) {
    out.Int(*value);
  } else {
    out.Null();
  }
}

void WriteNetRom(JsonWriter& j, const NetRomPacket& p) {
  j.StartObject();
  if (p.kind == NetRomPacket::Kind::kNodes) {
    j.Key("type");
    j.String("nodes");
    j.Key("alias");
    j.String(p.alias);
    j.Key("routes");
    j.StartArray();
    for (const NetRomRoute& r : p.routes) {
      j.StartObject();
      j.Key("call");
      j.String(r.call);
      j.Key("alias");
      j.String(r.alias);
      j.Key("neighbour");
      j.String(r.neighbour);
      j.Key("quality");
      j.Int(r.quality);
      j.EndObject();
    }
    j.EndArray();
  } else {
    j.Key("type");
    j.String("transport");
    j.Key("origin");
    StringOrNull(j, p.origin);
    j.Key("destination");
    StringOrNull(j, p.destination);
    j.Key("ttl");
    j.Int(p.ttl);
    j.Key("opcode");
    j.String(NetRomOpcodeName(p.opcode));
    j.Key("circuit_index");
    j.Int(p.circuit_index);
    j.Key("circuit_id");
    j.Int(p.circuit_id);
    j.Key("my_circuit_index");
    IntOrNull(j, p.my_circuit_index);
    j.Key("my_circuit_id");
    IntOrNull(j, p.my_circuit_id);
    j.Key("tx_seq");
    IntOrNull(j, p.tx_seq);
    j.Key("rx_seq");
    IntOrNull(j, p.rx_seq);
    j.Key("choke");
    j.Bool(p.choke);
    j.Key("nak");
    j.Bool(p.nak);
    j.Key("more");
    j.Bool(p.more);
    j.Key("window");
    IntOrNull(j, p.window);
    j.Key("user");
    StringOrNull(j, p.user);
    j.Key("node");
    StringOrNull(j, p.node);
    j.Key("data_hex");
    j.Hex(p.data);
  }
  j.Key("error");
  StringOrNull(j, p.error);
  j.EndObject();
}

class JsonlWriter : public FrameWriter {
 public:
  explicit JsonlWriter(LineSink& out) : out_(out) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) {
      clock_.Update(state);
      return;
    }
    const std::span<const std::uint8_t> frame = KissFrame(state);
    const bool data = IsDataFrame(frame);
    const Ax25Details& d = data ? CurrentAx25(state, details_) : details_;
    const bool ax25 = data && d.problem == Ax25Problem::kNone;
    const FrameFindings found = FindFrameFindings(frame, info, d, nullptr);

    JsonWriter& j = json_;
    j.Clear();
    j.Next();
    j.StartObject();
    j.Key("frame");
    j.Int(state.FrameCount);
    j.Key("offset");
    j.Int(state.FrameOffset);
    j.Key("stamp");
    // Stamp texts are the window's single-byte text; JSON wants UTF-8.
    if (state.StampText.empty()) {
      j.Null();
    } else {
      AppendJsonStringCp1252(j.Raw(), state.StampText);
    }
    j.Key("stamp_ms");
    IntOrNull(j, clock_.Millis());
    j.Key("time");
    scratch_.clear();
    if (clock_.Millis()) AppendIsoStampText(scratch_, *clock_.Millis());
    if (scratch_.empty()) {
      j.Null();
    } else {
      scratch_[10] = 'T';
      scratch_.push_back('Z');
      j.String(scratch_);
    }
    j.Key("port");
    if (frame.empty()) {
      j.Null();
    } else {
      j.Int(KissPort(frame[0]));
    }
    j.Key("command");
    if (frame.empty()) {
      j.Null();
    } else {
      j.Int(KissCommand(frame[0]));
    }
    if (ax25) {
      j.Key("destination");
      j.String(d.destination.call);
      j.Key("source");
      j.String(d.source.call);
      j.Key("digipeaters");
      j.StartArray();
      for (int i = 0; i < d.digipeater_count; ++i) {
        const Ax25Address& a = d.digipeaters[static_cast<std::size_t>(i)];
        j.StartObject();
        j.Key("call");
        j.String(a.call);
        j.Key("repeated");
        j.Bool(a.high_bit);
        j.EndObject();
      }
      j.EndArray();
      j.Key("cr");
      StringOrNull(j, RoleName(d.role));
      j.Key("kind");
      j.String(KindLetter(d.kind));
      j.Key("name");
      StringOrNull(j, d.name);
      j.Key("code");
      if (d.kind == Ax25Kind::kI) {
        j.Null();
      } else {
        j.Int(d.type_code);
      }
      j.Key("ns");
      IntOrNull(j, d.ns);
      j.Key("nr");
      IntOrNull(j, d.nr);
      j.Key("pf");
      j.Bool(d.poll_final);
      j.Key("pid");
      IntOrNull(j, d.pid);
      j.Key("pid_name");
      if (d.pid) {
        StringOrNull(j, PidName(*d.pid));
      } else {
        j.Null();
      }
      j.Key("payload_hex");
      j.Hex(d.info);
    } else {
      static constexpr JsonWriter::Literal kAx25Keys[] = {
          "destination", "source", "digipeaters", "cr",  "kind",     "name",       "code",
          "ns",          "nr",     "pf",          "pid", "pid_name", "payload_hex"};
      for (const JsonWriter::Literal key : kAx25Keys) {
        j.Key(key);
        j.Null();
      }
    }
    j.Key("frame_hex");
    j.Hex(frame);
    // problem: damage and AX.25 departures in words; damage: the damage's tags.
    scratch_.clear();
    bool damage = false;
    for (int k = 0; k < kFindingCount; ++k) {
      const auto f = static_cast<Finding>(k);
      if (!found.Has(f)) continue;
      if (!scratch_.empty()) scratch_.append("; ");
      scratch_.append(FindingWords(f, frame, d, nullptr, found));
      damage = damage || KindOf(f) == FindingKind::kDamage;
    }
    j.Key("problem");
    StringOrNull(j, scratch_);
    j.Key("damage");
    if (damage) {
      j.StartArray();
      for (int k = 0; k < kFindingCount; ++k) {
        const auto f = static_cast<Finding>(k);
        if (found.Has(f) && KindOf(f) == FindingKind::kDamage) j.String(FindingTag(f));
      }
      j.EndArray();
    } else {
      j.Null();
    }
    const AprsPacket* aprs = ax25 ? CurrentAprs(state, d) : nullptr;
    j.Key("aprs");
    if (aprs != nullptr) {
      WriteAprsJson(j, *aprs);
    } else {
      j.Null();
    }
    const LinkFacts* link = CurrentLink(state);
    j.Key("session");
    if (link != nullptr && link->session > 0) {
      j.Int(link->session);
    } else {
      j.Null();
    }
    j.Key("netrom");
    if (ax25 && d.pid == kPidNetRom && DecodeNetRom(d.info, netrom_)) {
      WriteNetRom(j, netrom_);
    } else {
      j.Null();
    }
    if (state.Source != nullptr && !state.Source->ReceiverNames().empty()) {
      j.Key("heard_by");
      j.StartArray();
      if (state.Receivers != nullptr) {
        for (const Reception& r : state.Receivers->heard) {
          j.String(state.Receivers->names[static_cast<std::size_t>(r.receiver)]);
        }
      }
      j.EndArray();
      j.Key("heard_offset_ms");
      j.StartObject();
      if (state.Receivers != nullptr) {
        for (const Reception& r : state.Receivers->heard) {
          j.TextKey(state.Receivers->names[static_cast<std::size_t>(r.receiver)]);
          j.Int(r.offset_ms);
        }
      }
      j.EndObject();
    }
    j.EndObject();
    j.Text().push_back('\n');
    out_.Write(j.Text());
  }

  bool ReadsAprs() const override { return true; }
  bool ReadsLinks() const override { return true; }

 private:
  LineSink& out_;
  StampClock clock_;
  JsonWriter json_;      // kept from frame to frame, as its buffer
  std::string scratch_;  // the time, the problem's words
  Ax25Details details_;  // read only for data frames
  NetRomPacket netrom_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeJsonlWriter(LineSink& out) {
  return std::make_unique<JsonlWriter>(out);
}

}  // namespace packscope
