#include "framelist/frame_details.h"

#include <cmath>

#include "aprs/aprs_fields.h"
#include "aprs/aprs_frame.h"
#include "aprs/aprs_words.h"
#include "ax25/ax25_text.h"
#include "ax25/layer3.h"
#include "commands/frame_text.h"
#include "filter/fields.h"
#include "framelist/frame_list_text.h"
#include "framelist/frame_row.h"
#include "render/hex.h"

namespace packscope {
namespace {

DetailNode Node(std::string text, std::int32_t begin = -1, std::int32_t end = -1) {
  DetailNode n;
  n.text = std::move(text);
  n.begin = begin;
  n.end = end;
  return n;
}

// The node shows the filter field's value (text as the field's reader gives it).
DetailNode WithField(DetailNode n, std::string_view field, std::string value) {
  if (const Field* f = FindField(field)) n.filter = FieldTest(*f, value);
  n.value = std::move(value);
  return n;
}

std::string Printable(std::string_view bytes) {
  std::string out;
  AppendPrintable(out, bytes);
  return out;
}

std::string Plural(std::int64_t n, const char* one) {
  return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

std::string Hex(std::uint8_t b) { return "0x" + ByteToHex(b); }

// A number as the APRS field table rounds it, without trailing zeros.
DetailNode AddressNode(const char* what, const Ax25Address& a, std::int32_t at, bool digipeater,
                       bool last, std::string_view field) {
  DetailNode n = WithField(
      Node(std::string(what) + " " + Printable(a.call) + (digipeater && a.high_bit ? "*" : ""), at,
           at + 7),
      field, a.call);
  std::string call;
  for (int i = 0; i < 6; ++i)
    call.push_back(static_cast<char>(a.block[static_cast<std::size_t>(i)] >> 1));
  while (!call.empty() && call.back() == ' ') call.pop_back();
  n.children.push_back(Node("Callsign \"" + Printable(call) + "\"" +
                                (a.chars_valid ? "" : " (characters outside A-Z, 0-9 and blank)"),
                            at, at + 6));
  const std::uint8_t ssid_byte = a.block[6];
  std::string bits = "SSID byte " + Hex(ssid_byte) + ": SSID " + std::to_string(a.ssid) + ", " +
                     (digipeater ? "H bit " : "C bit ") + (a.high_bit ? "1" : "0");
  if (digipeater) bits += a.high_bit ? " (has repeated the frame)" : " (has not repeated it)";
  bits += last ? ", last address" : "";
  n.children.push_back(Node(std::move(bits), at + 6, at + 7));
  return n;
}

std::string_view RoleWords(Ax25Role role) {
  switch (role) {
    case Ax25Role::kCommand:
      return "command (destination C bit 1, source C bit 0)";
    case Ax25Role::kResponse:
      return "response (destination C bit 0, source C bit 1)";
    case Ax25Role::kUnknown:
      break;
  }
  return "not told (equal C bits: the older protocol version)";
}

DetailNode KissNode(const StoredFrame& f, const FrameRecord& r, const std::string& time_text) {
  const auto length = static_cast<std::int32_t>(f.frame.size());
  DetailNode kiss = WithField(
      Node("KISS frame " + std::to_string(f.number + 1) + ", offset " + std::to_string(r.Offset()),
           0, length),
      "frame", std::to_string(f.number + 1));
  kiss.children.push_back(
      WithField(Node("Offset of the opening FEND: " + std::to_string(r.Offset())), "offset",
                std::to_string(r.Offset())));
  kiss.children.push_back(
      Node("Stored length: " + Plural(r.StoredLength(), "byte") + ", FENDs and escapes included"));
  kiss.children.push_back(
      Node("Un-escaped length: " + Plural(length, "byte") + ", type byte included", 0, length));
  std::string escapes = "Escapes: " + std::to_string(f.escapes) + " (FESC TFEND, FESC TFESC)";
  if (f.info.bad_escapes > 0) {
    escapes += ", " + std::to_string(f.info.bad_escapes) + " FESC kept as data";
  }
  kiss.children.push_back(Node(std::move(escapes)));
  if (length > 0) {
    const std::uint8_t type = f.frame[0];
    const int command = KissCommand(type);
    std::string words = command == 0             ? "data frame"
                        : type == kTimestampType ? "timestamp"
                                                 : "not a data frame";
    kiss.children.push_back(
        WithField(Node("Type byte " + Hex(type) + ": port " + std::to_string(KissPort(type)) +
                           ", command " + std::to_string(command) + " (" + words + ")",
                       0, 1),
                  "port", std::to_string(KissPort(type))));
  }
  kiss.children.push_back(Node("Stamp: " + (time_text.empty() ? std::string("none (before the "
                                                                            "first stamp)")
                                                              : time_text)));
  if (f.info.recovered) kiss.children.push_back(Node("Recovered behind a shared FEND or garbage"));
  if (f.info.cut_off) kiss.children.push_back(Node("Cut off by the end of the capture"));
  return kiss;
}

DetailNode Ax25Node(const StoredFrame& f, const Ax25Details& d) {
  const auto length = static_cast<std::int32_t>(f.frame.size());
  if (d.problem != Ax25Problem::kNone) {
    return Node("AX.25: " + FrameProblem(f.Kiss(), d), 1, length);
  }
  std::string head = "AX.25: " + Printable(d.source.call) + " > " + Printable(d.destination.call);
  if (d.digipeater_count > 0) {
    std::string path;
    AppendDigipeaterPath(path, d);
    head += " via " + Printable(path);
  }
  std::string type;
  AppendFrameTypeName(type, d);
  head += ", " + type;
  DetailNode ax = Node(std::move(head), 1, length);
  ax.children.push_back(AddressNode("Destination", d.destination, 1, false, false, "dst"));
  ax.children.push_back(AddressNode("Source", d.source, 8, false, d.digipeater_count == 0, "src"));
  for (int i = 0; i < d.digipeater_count; ++i) {
    const std::string what = "Digipeater " + std::to_string(i + 1);
    ax.children.push_back(AddressNode(what.c_str(), d.digipeaters[static_cast<std::size_t>(i)],
                                      15 + 7 * i, true, i + 1 == d.digipeater_count, "via"));
  }
  ax.children.push_back(Node("Command/response: " + std::string(RoleWords(d.role)), 1, 15));
  const std::int32_t c = 15 + 7 * d.digipeater_count;
  // Modulo 128: N(S) in the first byte, N(R) and P/F in the second.
  const std::int32_t c2 = c + static_cast<std::int32_t>(d.control_length) - 1;
  DetailNode control = WithField(
      Node("Control " + Hex(d.control) + (d.control_length == 2 ? " " + Hex(d.control2) : "") +
               ": " + type + " (" + std::string(KindLetter(d.kind)) + " frame" +
               (d.control_length == 2 ? ", modulo 128" : "") + ")",
           c, c2 + 1),
      "type", d.kind == Ax25Kind::kU && d.name.empty() ? std::to_string(d.type_code) : type);
  if (d.ns) control.children.push_back(Node("N(S) " + std::to_string(*d.ns), c, c + 1));
  if (d.nr) control.children.push_back(Node("N(R) " + std::to_string(*d.nr), c2, c2 + 1));
  const char* pf = d.role == Ax25Role::kCommand    ? " (poll)"
                   : d.role == Ax25Role::kResponse ? " (final)"
                                                   : "";
  control.children.push_back(Node(
      std::string("P/F ") + (d.poll_final ? "1" : "0") + (d.poll_final ? pf : ""), c2, c2 + 1));
  if (d.kind != Ax25Kind::kI) {
    control.children.push_back(Node("Type code " + std::to_string(d.type_code), c, c + 1));
  }
  ax.children.push_back(std::move(control));
  if (d.pid) {
    const std::string_view name = PidName(*d.pid);
    ax.children.push_back(
        WithField(Node("PID " + Hex(*d.pid) + ": " +
                           (name.empty() ? std::string("unassigned") : std::string(name)),
                       c2 + 1, c2 + 2),
                  "pid", Hex(*d.pid)));
  } else if (d.has_pid) {
    ax.children.push_back(Node("PID: missing, the frame ends after its control byte"));
  }
  const auto info_at = static_cast<std::int32_t>(d.info.data() - f.frame.data());
  if (!d.info.empty()) {
    const std::string_view info(reinterpret_cast<const char*>(d.info.data()), d.info.size());
    DetailNode node = WithField(
        Node("Information field, " + Plural(static_cast<std::int64_t>(d.info.size()), "byte") +
                 ": \"" + Printable(info) + "\"",
             info_at, length),
        "info", std::string(info));
    node.value = Printable(info);
    ax.children.push_back(std::move(node));
  }
  return ax;
}

DetailNode AprsNode(const StoredFrame& f, const Ax25Details& d, const AprsPacket& p) {
  const auto length = static_cast<std::int32_t>(f.frame.size());
  const auto info_at = static_cast<std::int32_t>(d.info.data() - f.frame.data());
  std::string words;
  AppendAprsWords(words, p);
  DetailNode aprs = Node("APRS: " + words, info_at, length);
  const char* info_begin = reinterpret_cast<const char*>(d.info.data());
  for (const AprsField& field : AprsFields()) {
    const AprsValue v = field.get(p);
    if (!v.Present()) continue;
    std::string text(field.name);
    text += ": ";
    std::int32_t begin = info_at;
    std::int32_t end = length;
    std::string value;  // as the filter reads it
    switch (v.kind) {
      case AprsValue::Kind::kNumber:
        text += AprsNumberText(field, v.number);
        if (std::isfinite(v.number)) value = ExactNumberText(v.number);
        break;
      case AprsValue::Kind::kBool:
        text += v.truth ? "true" : "false";
        value = v.truth ? "true" : "false";
        break;
      case AprsValue::Kind::kText:
        text.push_back('"');
        text += Printable(v.text);
        text.push_back('"');
        value = std::string(v.text);
        // A text the field holds as it is: its own bytes.
        if (v.text.data() >= info_begin &&
            v.text.data() + v.text.size() <= info_begin + d.info.size()) {
          begin = info_at + static_cast<std::int32_t>(v.text.data() - info_begin);
          end = begin + static_cast<std::int32_t>(v.text.size());
        }
        break;
      case AprsValue::Kind::kAbsent:
        break;
    }
    const std::string shown = text.substr(field.name.size() + 2);
    DetailNode node = Node(std::move(text), begin, end);
    if (v.kind != AprsValue::Kind::kNumber || !value.empty()) {
      node = WithField(std::move(node), "aprs." + std::string(field.name), std::move(value));
    }
    node.value = v.kind == AprsValue::Kind::kText ? Printable(v.text) : shown;
    aprs.children.push_back(std::move(node));
  }
  return aprs;
}

// The frame's session: its stations, the frame's direction, and what the frame is in its flow.
DetailNode SessionNode(const SessionTable& sessions, const LinkFacts& link) {
  const Session s = sessions.SessionAt(link.session);
  const bool forward = link.direction == 0;
  DetailNode node = Node("Session " + std::to_string(s.number) + ": " +
                         Printable(forward ? s.initiator : s.responder) + " > " +
                         Printable(forward ? s.responder : s.initiator) + " (modulo " +
                         std::to_string(link.modulo) + ", " +
                         (forward ? "from the initiator" : "from the responder") + ")");
  if (link.retransmission) {
    node.children.push_back(Node("Retransmission: its N(S) and data were heard before"));
  }
  if (link.not_heard > 0) {
    node.children.push_back(
        Node(Plural(link.not_heard, "frame") + " before it not heard (its N(S) skips them)"));
  }
  if (link.repeated_copy) {
    node.children.push_back(Node("A digipeater's copy of the frame heard before it"));
  }
  return node;
}

}  // namespace

std::vector<DetailNode> FrameDetails(const StoredFrame& f, const FrameRecord& r,
                                     const std::string& time_text, AprsTimeline& aprs,
                                     const SessionTable* sessions) {
  std::vector<DetailNode> tree;
  tree.push_back(KissNode(f, r, time_text));
  Ax25Details d;
  const AprsPacket* packet = nullptr;
  const bool data = !r.Timestamp() && IsDataFrame(f.Kiss());
  if (data) {
    const LinkFacts link =
        sessions != nullptr ? sessions->FactsOf(f.number, f.Kiss()) : LinkFacts{};
    DescribeAx25(f.Kiss(), d, link.modulo);
    tree.push_back(Ax25Node(f, d));
    if (link.session > 0) tree.push_back(SessionNode(*sessions, link));
    if (d.problem == Ax25Problem::kNone && IsAprsFrame(d)) {
      packet = &aprs.Decode(f.number, d);
      tree.push_back(AprsNode(f, d, *packet));
    }
    std::string layer3;
    if (d.problem == Ax25Problem::kNone && d.pid && AppendLayer3Words(layer3, *d.pid, d.info)) {
      const auto info_at = static_cast<std::int32_t>(d.info.data() - f.frame.data());
      tree.push_back(Node(std::move(layer3), info_at, static_cast<std::int32_t>(f.frame.size())));
    }
  } else {
    d.problem = Ax25Problem::kTooShort;
    if (!f.frame.empty() && !r.Timestamp()) {
      tree.push_back(Node("Not AX.25: " + FrameProblem(f.Kiss(), d), 0,
                          static_cast<std::int32_t>(f.frame.size())));
    }
  }
  const FrameFindings found = FindFrameFindings(f.Kiss(), f.info, d, packet);
  DetailNode findings = Node(found.Any() ? "Findings" : "Findings: none");
  for (int k = 0; k < kFindingCount; ++k) {
    const auto kind = static_cast<Finding>(k);
    if (!found.Has(kind)) continue;
    // As the table's tooltip (FindingsText): "damage: cut-off: ...", "sender: aprs: ...".
    DetailNode node =
        Node(std::string(FindingKindName(KindOf(kind))) + ": " + std::string(FindingTag(kind)) +
             ": " + FindingWords(kind, f.Kiss(), d, packet, found));
    if (kind == Finding::kAprs) {
      node.filter = "aprs.error";
      node.value = std::string(FindingTag(kind));
    } else {
      node = WithField(std::move(node), "problem", std::string(FindingTag(kind)));
    }
    findings.children.push_back(std::move(node));
  }
  tree.push_back(std::move(findings));
  return tree;
}

std::vector<int> DetailPathOfByte(const std::vector<DetailNode>& tree, std::int32_t byte) {
  std::vector<int> best;
  std::int32_t best_size = 0;
  std::vector<int> path;
  // Depth first, so that of nodes of equal size the first found wins: a parent over its children
  // (the control byte over its bits), the AX.25 information field over the APRS reading of it.
  const auto walk = [&](const auto& self, const std::vector<DetailNode>& nodes) -> void {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const DetailNode& n = nodes[i];
      if (!n.Holds(byte)) continue;
      path.push_back(static_cast<int>(i));
      const std::int32_t size = n.end - n.begin;
      if (best.empty() || size < best_size) {
        best = path;
        best_size = size;
      }
      self(self, n.children);
      path.pop_back();
    }
  };
  walk(walk, tree);
  return best;
}

}  // namespace packscope
