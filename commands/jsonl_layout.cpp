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
#include <nlohmann/json.hpp>

#include "aprs/aprs_json.h"
#include "ax25/layer3.h"
#include "capture/frame_aprs.h"
#include "capture/frame_links.h"
#include "capture/frame_receivers.h"
#include "capture/frame_source.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "render/codepage.h"

namespace packscope {
namespace {

using Json = nlohmann::ordered_json;

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

Json OrNull(std::string_view text) { return text.empty() ? Json(nullptr) : Json(text); }

Json NetRomJson(const NetRomPacket& p) {
  Json j;
  if (p.kind == NetRomPacket::Kind::kNodes) {
    j["type"] = "nodes";
    j["alias"] = p.alias;
    Json routes = Json::array();
    for (const NetRomRoute& r : p.routes) {
      routes.push_back(Json{{"call", r.call},
                            {"alias", r.alias},
                            {"neighbour", r.neighbour},
                            {"quality", r.quality}});
    }
    j["routes"] = std::move(routes);
  } else {
    const auto byte = [](const std::optional<std::uint8_t>& b) {
      return b ? Json(*b) : Json(nullptr);
    };
    j["type"] = "transport";
    j["origin"] = OrNull(p.origin);
    j["destination"] = OrNull(p.destination);
    j["ttl"] = p.ttl;
    j["opcode"] = NetRomOpcodeName(p.opcode);
    j["circuit_index"] = p.circuit_index;
    j["circuit_id"] = p.circuit_id;
    j["my_circuit_index"] = byte(p.my_circuit_index);
    j["my_circuit_id"] = byte(p.my_circuit_id);
    j["tx_seq"] = p.tx_seq ? Json(*p.tx_seq) : Json(nullptr);
    j["rx_seq"] = p.rx_seq ? Json(*p.rx_seq) : Json(nullptr);
    j["choke"] = p.choke;
    j["nak"] = p.nak;
    j["more"] = p.more;
    j["window"] = p.window ? Json(*p.window) : Json(nullptr);
    j["user"] = OrNull(p.user);
    j["node"] = OrNull(p.node);
    j["data_hex"] = HexTextTrimmed(p.data);
  }
  j["error"] = OrNull(p.error);
  return j;
}

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
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

    Json j;
    j["frame"] = state.FrameCount;
    j["offset"] = state.FrameOffset;
    // Stamp texts are the window's single-byte text; JSON wants UTF-8.
    j["stamp"] = state.StampText.empty() ? Json(nullptr) : Json(Cp1252ToUtf8(state.StampText));
    j["stamp_ms"] = OrNull(clock_.Millis());
    j["time"] = clock_.Millis() ? OrNull(IsoUtcText(*clock_.Millis())) : Json(nullptr);
    j["port"] = frame.empty() ? Json(nullptr) : Json(KissPort(frame[0]));
    j["command"] = frame.empty() ? Json(nullptr) : Json(KissCommand(frame[0]));
    if (ax25) {
      j["destination"] = d.destination.call;
      j["source"] = d.source.call;
      Json digis = Json::array();
      for (int i = 0; i < d.digipeater_count; ++i) {
        const Ax25Address& a = d.digipeaters[static_cast<std::size_t>(i)];
        digis.push_back(Json{{"call", a.call}, {"repeated", a.high_bit}});
      }
      j["digipeaters"] = std::move(digis);
      j["cr"] = OrNull(RoleName(d.role));
      j["kind"] = KindLetter(d.kind);
      j["name"] = OrNull(d.name);
      j["code"] = d.kind == Ax25Kind::kI ? Json(nullptr) : Json(d.type_code);
      j["ns"] = OrNull(d.ns);
      j["nr"] = OrNull(d.nr);
      j["pf"] = d.poll_final;
      j["pid"] = d.pid ? Json(*d.pid) : Json(nullptr);
      j["pid_name"] = d.pid ? OrNull(PidName(*d.pid)) : Json(nullptr);
      j["payload_hex"] = HexTextTrimmed(d.info);
    } else {
      for (const char* key : {"destination", "source", "digipeaters", "cr", "kind", "name", "code",
                              "ns", "nr", "pf", "pid", "pid_name", "payload_hex"}) {
        j[key] = nullptr;
      }
    }
    j["frame_hex"] = HexTextTrimmed(frame);
    // problem: damage and AX.25 departures in words; damage: the damage's tags.
    std::string problem;
    Json damage = Json(nullptr);
    for (int k = 0; k < kFindingCount; ++k) {
      const auto f = static_cast<Finding>(k);
      if (!found.Has(f)) continue;
      if (!problem.empty()) problem.append("; ");
      problem.append(FindingWords(f, frame, d, nullptr, found));
      if (KindOf(f) == FindingKind::kDamage) {
        if (damage.is_null()) damage = Json::array();
        damage.push_back(FindingTag(f));
      }
    }
    j["problem"] = OrNull(problem);
    j["damage"] = std::move(damage);
    const AprsPacket* aprs = ax25 ? CurrentAprs(state, d) : nullptr;
    j["aprs"] = aprs != nullptr ? AprsJson(*aprs) : Json(nullptr);
    const LinkFacts* link = CurrentLink(state);
    j["session"] = link != nullptr && link->session > 0 ? Json(link->session) : Json(nullptr);
    j["netrom"] = ax25 && d.pid == kPidNetRom && DecodeNetRom(d.info, netrom_) ? NetRomJson(netrom_)
                                                                               : Json(nullptr);
    if (state.Source != nullptr && !state.Source->ReceiverNames().empty()) {
      Json heard_by = Json::array();
      Json offsets = Json::object();
      if (state.Receivers != nullptr) {
        for (const Reception& r : state.Receivers->heard) {
          const std::string& name = state.Receivers->names[static_cast<std::size_t>(r.receiver)];
          heard_by.push_back(name);
          offsets[name] = r.offset_ms;
        }
      }
      j["heard_by"] = std::move(heard_by);
      j["heard_offset_ms"] = std::move(offsets);
    }

    line_ = j.dump(-1, ' ', false, Json::error_handler_t::replace);
    line_.push_back('\n');
    out_.Write(line_);
  }

  bool ReadsAprs() const override { return true; }
  bool ReadsLinks() const override { return true; }

 private:
  LineSink& out_;
  StampClock clock_;
  std::string line_;
  Ax25Details details_;  // read only for data frames
  NetRomPacket netrom_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeJsonlWriter(LineSink& out) {
  return std::make_unique<JsonlWriter>(out);
}

}  // namespace packscope
