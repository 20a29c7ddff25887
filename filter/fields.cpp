#include "filter/fields.h"

#include <array>
#include <bit>
#include <string>
#include <utility>
#include <vector>

#include "aprs/aprs_fields.h"

namespace packscope {
namespace {

std::string_view Text(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void Number(FieldValue& v, double number) {
  v.present = true;
  v.number = number;
}

void ReadFrame(const FrameFacts& f, FieldValue& v) { Number(v, static_cast<double>(f.number)); }

void ReadOffset(const FrameFacts& f, FieldValue& v) { Number(v, static_cast<double>(f.offset)); }

void ReadPort(const FrameFacts& f, FieldValue& v) {
  if (!f.kiss_frame.empty()) Number(v, KissPort(f.kiss_frame[0]));
}

void ReadLen(const FrameFacts& f, FieldValue& v) {
  Number(v, f.kiss_frame.empty() ? 0.0 : static_cast<double>(f.kiss_frame.size() - 1));
}

void ReadSrc(const FrameFacts& f, FieldValue& v) {
  if (!f.ax25) return;
  v.present = true;
  v.Add(f.details.source.call);
}

void ReadDst(const FrameFacts& f, FieldValue& v) {
  if (!f.ax25) return;
  v.present = true;
  v.Add(f.details.destination.call);
}

void ReadVia(const FrameFacts& f, FieldValue& v) {
  if (!f.ax25 || f.details.digipeater_count == 0) return;
  v.present = true;
  for (int i = 0; i < f.details.digipeater_count; ++i) {
    v.Add(f.details.digipeaters[static_cast<std::size_t>(i)].call);
  }
}

void ReadCall(const FrameFacts& f, FieldValue& v) {
  if (!f.ax25) return;
  v.present = true;
  v.Add(f.details.source.call);
  v.Add(f.details.destination.call);
  for (int i = 0; i < f.details.digipeater_count; ++i) {
    v.Add(f.details.digipeaters[static_cast<std::size_t>(i)].call);
  }
}

void ReadRepeated(const FrameFacts& f, FieldValue& v) {
  if (!f.ax25) return;
  for (int i = 0; i < f.details.digipeater_count; ++i) {
    const Ax25Address& a = f.details.digipeaters[static_cast<std::size_t>(i)];
    if (a.high_bit) v.Add(a.call);
  }
  v.present = v.count > 0;
}

constexpr std::array<std::string_view, 14> kTypeNames = {"UI",   "I",    "RR",    "RNR",  "REJ",
                                                         "SREJ", "SABM", "SABME", "DISC", "DM",
                                                         "UA",   "FRMR", "XID",   "TEST"};

void ReadType(const FrameFacts& f, FieldValue& v) {
  if (!f.ax25) return;
  v.present = true;
  if (f.details.kind == Ax25Kind::kI) {
    v.Add("I");
    return;
  }
  if (!f.details.name.empty()) v.Add(f.details.name);
  if (f.details.kind == Ax25Kind::kU) {
    v.has_code = true;
    v.number = f.details.type_code;
  }
}

void ReadPid(const FrameFacts& f, FieldValue& v) {
  if (f.ax25 && f.details.pid) Number(v, *f.details.pid);
}

void ReadInfo(const FrameFacts& f, FieldValue& v) {
  if (!f.ax25) return;
  v.present = true;
  v.Add(Text(f.details.info));
}

void ReadSession(const FrameFacts& f, FieldValue& v) {
  if (f.link != nullptr && f.link->session > 0) Number(v, static_cast<double>(f.link->session));
}

void ReadHeardBy(const FrameFacts& f, FieldValue& v) {
  if (f.receivers == nullptr) return;
  v.present = true;
  for (const Reception& r : f.receivers->heard) {
    v.Add(f.receivers->names[static_cast<std::size_t>(r.receiver)]);
  }
}

void ReadHeardCount(const FrameFacts& f, FieldValue& v) {
  if (f.receivers != nullptr) Number(v, static_cast<double>(f.receivers->heard.size()));
}

void ReadTime(const FrameFacts& f, FieldValue& v) {
  if (f.time) Number(v, static_cast<double>(*f.time));
}

// The tags of the findings a frame can have that `problem` (recording or AX.25 layer: damage or
// an AX.25 departure) and `damage` read.
template <bool kDamageOnly>
constexpr auto FindingNames() {
  constexpr auto wanted = [](const FindingRow& row) {
    return row.on_frame && row.layer != FindingLayer::kAprs &&
           (!kDamageOnly || row.Kind() == FindingKind::kDamage);
  };
  constexpr std::size_t count = [&] {
    std::size_t n = 0;
    for (const FindingRow& row : kFindingRows) n += wanted(row) ? 1 : 0;
    return n;
  }();
  std::array<std::string_view, count> names{};
  std::size_t i = 0;
  for (const FindingRow& row : kFindingRows) {
    if (wanted(row)) names[i++] = row.tag;
  }
  return names;
}
constexpr auto kProblemNames = FindingNames<false>();
constexpr auto kDamageNames = FindingNames<true>();

// The bits of FrameFindings::kinds that problem (or damage) names.
template <bool kDamageOnly>
constexpr std::uint16_t kFindingMask = [] {
  std::uint16_t mask = 0;
  for (int k = 0; k < kFindingCount; ++k) {
    const FindingRow& row = kFindingRows[static_cast<std::size_t>(k)];
    if (row.layer != FindingLayer::kAprs && (!kDamageOnly || row.Kind() == FindingKind::kDamage)) {
      mask = static_cast<std::uint16_t>(mask | (1u << k));
    }
  }
  return mask;
}();

// Present only when the frame has such a finding: != holds only where the field is.
template <bool kDamageOnly>
void ReadFindings(const FrameFacts& f, FieldValue& v) {
  // Most frames have none: read no row then.
  for (unsigned bits = f.findings.kinds & kFindingMask<kDamageOnly>; bits != 0; bits &= bits - 1) {
    v.Add(kFindingRows[static_cast<std::size_t>(std::countr_zero(bits))].tag);
  }
  v.present = v.count > 0;
}

// aprs.error: what is wrong with the field, or with the packet a third-party packet carries, as
// --check's aprs finding says.
void ReadAprsError(const FrameFacts& f, FieldValue& v) {
  if (f.aprs == nullptr) return;
  if (const AprsPacket* faulty = FaultyAprsPacket(*f.aprs)) {
    v.present = true;
    v.Add(faulty->error);
  }
}

// The aprs.* fields: a reader for each row of the APRS field table.
template <std::size_t kRow>
void ReadAprs(const FrameFacts& f, FieldValue& v) {
  if (f.aprs == nullptr) return;
  const AprsValue x = AprsFields()[kRow].get(*f.aprs);
  switch (x.kind) {
    case AprsValue::Kind::kAbsent:
      return;
    case AprsValue::Kind::kNumber:
      Number(v, x.number);
      return;
    case AprsValue::Kind::kText:
      v.present = true;
      v.Add(x.text);
      return;
    case AprsValue::Kind::kBool:
      v.present = true;
      v.Add(x.truth ? "true" : "false");
      return;
  }
}

using Reader = void (*)(const FrameFacts&, FieldValue&);
template <std::size_t... kRows>
constexpr std::array<Reader, sizeof...(kRows)> AprsReaders(std::index_sequence<kRows...>) {
  return {&ReadAprs<kRows>...};
}
constexpr auto kAprsReaders = AprsReaders(std::make_index_sequence<kAprsFieldCount>());

constexpr std::array<std::string_view, 2> kTruthNames = {"true", "false"};

// Frame numbers and offsets: up to 2^53, the whole numbers a double holds exactly.
constexpr double kMaxCount = 9007199254740992.0;

// The rows that are not read from the APRS field table. The aprs.* rows go behind info.
const Field kFields[] = {
    {"frame",
     FieldType::kNumber,
     0,
     &ReadFrame,
     "the frame's number in the capture, from 1 (timestamp frames counted)",
     {},
     {},
     kMaxCount},
    {"offset",
     FieldType::kNumber,
     0,
     &ReadOffset,
     "byte offset of the frame's opening FEND",
     {},
     {},
     kMaxCount},
    {"port",
     FieldType::kNumber,
     0,
     &ReadPort,
     "KISS port (the type byte's high nibble), 0 to 15",
     {},
     {},
     15},
    {"len",
     FieldType::kNumber,
     0,
     &ReadLen,
     "bytes of the un-escaped frame after the type byte (the AX.25 frame)",
     {},
     {},
     65535},
    {"src", FieldType::kCallsign, kNeedAx25, &ReadSrc, "source callsign"},
    {"dst", FieldType::kCallsign, kNeedAx25, &ReadDst, "destination callsign"},
    {"via", FieldType::kCallsign, kNeedAx25, &ReadVia,
     "the digipeaters: true when any matches; bare, when there are any"},
    {"call", FieldType::kCallsign, kNeedAx25, &ReadCall, "source, destination or any digipeater"},
    {"repeated", FieldType::kCallsign, kNeedAx25, &ReadRepeated,
     "the digipeaters that have repeated the frame (H bit)"},
    {"type", FieldType::kName, kNeedAx25, &ReadType,
     "UI, I, RR, RNR, REJ, SREJ, SABM, SABME, DISC, DM, UA, FRMR, XID, TEST, or a U frame's code",
     kTypeNames, "a U frame's code, 0 to 31", 31},
    {"pid",
     FieldType::kNumber,
     kNeedAx25,
     &ReadPid,
     "protocol identifier of I and UI frames, 0 to 255",
     {},
     {},
     255},
    {"info", FieldType::kText, kNeedAx25, &ReadInfo,
     "the information field (payload) as text, its bytes as they are"},
    {"time", FieldType::kTime, 0, &ReadTime, "the frame's stamp, UTC"},
    {"session", FieldType::kNumber, kNeedLink, &ReadSession,
     "the connected session the frame belongs to, from 1 (the sessions layout's numbers); bare, "
     "when it belongs to one"},
    {"heard_by", FieldType::kText, 0, &ReadHeardBy,
     "in a merge (--merge): the captures that heard the packet, named as given"},
    {"heard_count", FieldType::kNumber, 0, &ReadHeardCount,
     "in a merge (--merge): how many captures heard the packet"},
    {"problem", FieldType::kName, kNeedFindings, &ReadFindings<false>,
     "damage to the frame or a departure from AX.25, as --check finds them: recovered, "
     "bad-escape, cut-off, frame-type, too-short, address-end, callsign (APRS: aprs.error)",
     kProblemNames},
    {"damage", FieldType::kName, kNeedFindings, &ReadFindings<true>,
     "damage to the frame in the recording: recovered, bad-escape, cut-off, frame-type",
     kDamageNames},
};

// Every row: kFields with an aprs.* row for each field of the APRS table behind info (but the
// names and units of single telemetry channels, which a filter has little use for).
std::vector<Field> MakeRegistry() {
  static std::array<std::string, kAprsFieldCount> aprs_names;
  static const auto type_names = [] {
    std::array<std::string_view, kAprsTypeCount> names{};
    for (int i = 0; i < kAprsTypeCount; ++i) {
      names[static_cast<std::size_t>(i)] = AprsTypeName(static_cast<AprsType>(i));
    }
    return names;
  }();
  std::vector<Field> rows;
  for (const Field& f : kFields) {
    rows.push_back(f);
    if (f.name != "info") continue;
    const std::span<const AprsField> table = AprsFields();
    for (std::size_t i = 0; i < table.size(); ++i) {
      const AprsField& a = table[i];
      if (a.name.starts_with("names.") || a.name.starts_with("units.")) continue;
      aprs_names[i] = "aprs." + std::string(a.name);
      Field row{aprs_names[i], FieldType::kText, kNeedAprs, kAprsReaders[i], a.help};
      if (a.name == "error") {
        row.read = &ReadAprsError;
        row.help = "what is wrong with the field (or with the packet a third-party packet carries)";
      } else if (a.name == "type") {
        row.type = FieldType::kName;
        row.names = type_names;
      } else if (a.kind == AprsValue::Kind::kBool) {
        row.type = FieldType::kName;
        row.names = kTruthNames;
      } else if (a.kind == AprsValue::Kind::kNumber) {
        row.type = FieldType::kNumber;
      }
      rows.push_back(row);
    }
  }
  return rows;
}

const std::vector<Field>& Registry() {
  static const std::vector<Field> rows = MakeRegistry();
  return rows;
}

}  // namespace

std::string_view FieldTypeNoun(FieldType type) {
  switch (type) {
    case FieldType::kNumber:
      return "a number";
    case FieldType::kTime:
      return "a time";
    case FieldType::kText:
      return "a text";
    case FieldType::kCallsign:
      return "a callsign";
    case FieldType::kName:
      return "a name";
  }
  return {};
}

std::span<const Field> Fields() { return Registry(); }

const Field* FindField(std::string_view name) {
  for (const Field& f : Registry()) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

}  // namespace packscope
