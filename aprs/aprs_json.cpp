#include "aprs/aprs_json.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "aprs/aprs_fields.h"
#include "aprs/aprs_parse.h"
#include "render/codepage.h"

namespace packscope {
namespace {

using aprs_parse::Sub;

// A text of the field: UTF-8 as it is when it is UTF-8, else Windows-1252.
void Text(JsonWriter& out, std::string_view s) {
  if (IsUtf8(s)) {
    out.String(s);
  } else {
    AppendJsonStringCp1252(out.Raw(), s);
  }
}

void Value(JsonWriter& out, const AprsField& f, const AprsValue& v) {
  switch (v.kind) {
    case AprsValue::Kind::kNumber:
      AppendAprsNumber(out.Raw(), f, v.number, FractionDigits::kJson);
      return;
    case AprsValue::Kind::kText:
      Text(out, v.text);
      return;
    case AprsValue::Kind::kBool:
      out.Bool(v.truth);
      return;
    case AprsValue::Kind::kAbsent:
      break;
  }
  out.Null();
}

// What the object does at each row of the field table, worked out once from the rows' names and
// places.
struct Row {
  enum class Step : std::uint8_t { kKey, kMember, kChannels, kBits, kNothing };
  Step step = Step::kNothing;
  std::string_view key;      // kKey: the name; kMember: after the dot; kChannels, kBits: the array
  std::string_view object;   // kMember: before the dot ("weather")
  bool closes = false;       // kMember: the object's last row, where the object stands
  std::size_t channels = 0;  // kChannels: the array's rows, this one and the next ones
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = [] {
    const auto fields = AprsFields();
    std::vector<Row> plan(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const AprsField& f = fields[i];
      const std::size_t dot = f.name.find('.');
      const std::string_view prefix = Sub(f.name, 0, dot);
      Row& row = plan[i];
      switch (f.place) {
        case AprsJsonPlace::kTop:
          row.step = Row::Step::kKey;
          row.key = f.name;
          break;
        case AprsJsonPlace::kObject:
          row.step = Row::Step::kMember;
          row.key = Sub(f.name, dot + 1);
          row.object = prefix;
          row.closes = i + 1 == fields.size() || fields[i + 1].place != AprsJsonPlace::kObject ||
                       Sub(fields[i + 1].name, 0, dot + 1) != Sub(f.name, 0, dot + 1);
          break;
        case AprsJsonPlace::kNone:
          // An array stands where its first channel's row is.
          if (Sub(f.name, dot) != ".1") break;
          row.step = prefix == "bits" ? Row::Step::kBits : Row::Step::kChannels;
          row.key = prefix;
          while (i + row.channels < fields.size() &&
                 Sub(fields[i + row.channels].name, 0, dot + 1) == Sub(f.name, 0, dot + 1)) {
            ++row.channels;
          }
          break;
      }
    }
    return plan;
  }();
  return rows;
}

// The channels of one telemetry array ("analog", "values", "names", "units") from the rows
// "analog.1", ...; no key for an array without channels.
void WriteChannels(JsonWriter& out, const AprsPacket& p, const Row& row, std::size_t first_row) {
  const auto fields = AprsFields();
  const bool names = row.key == "names";
  const bool gaps = names || row.key == "units";
  bool open = false;
  const auto element = [&] {
    if (open) return;
    out.TextKey(row.key);
    out.StartArray();
    open = true;
  };
  for (std::size_t k = 0; k < row.channels; ++k) {
    const AprsField& f = fields[first_row + k];
    const AprsValue v = f.get(p);
    if (!v.Present()) {
      // Names and units may leave a channel out and still name later ones.
      if (gaps && static_cast<int>(k) < (names ? p.name_count : p.unit_count)) {
        element();
        out.String("");
        continue;
      }
      break;
    }
    element();
    Value(out, f, v);
  }
  if (open) out.EndArray();
}

// "bits": the 8 digital channels, each whether it is on, with its name and label when the
// station's PARM and UNIT give them (channels 6 to 13):
//   [{"name":"Camra","label":"Click","on":true},{"on":false},...]
void WriteBits(JsonWriter& out, const AprsPacket& p, std::size_t first_row) {
  const auto fields = AprsFields();
  std::array<bool, kAprsDigitalChannels> on{};
  for (std::size_t i = 0; i < on.size(); ++i) {
    const AprsValue v = fields[first_row + i].get(p);
    if (!v.Present()) return;
    on[i] = v.truth;
  }
  out.Key("bits");
  out.StartArray();
  for (std::size_t i = 0; i < on.size(); ++i) {
    out.StartObject();
    const std::size_t channel = static_cast<std::size_t>(kAprsAnalogChannels) + i;
    if (static_cast<int>(channel) < p.name_count && !p.names[channel].empty()) {
      out.Key("name");
      Text(out, p.names[channel]);
    }
    if (static_cast<int>(channel) < p.unit_count && !p.units[channel].empty()) {
      out.Key("label");
      Text(out, p.units[channel]);
    }
    out.Key("on");
    out.Bool(on[i]);
    out.EndObject();
  }
  out.EndArray();
}

// Writes the keys of p into the object open in out.
void WriteKeys(JsonWriter& out, const AprsPacket& p) {
  const auto fields = AprsFields();
  const std::vector<Row>& rows = Rows();
  bool object_open = false;  // the object of the rows "weather.*", "phg.*", ...
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const AprsField& f = fields[i];
    const Row& row = rows[i];
    switch (row.step) {
      case Row::Step::kNothing:
        continue;
      case Row::Step::kBits:
        WriteBits(out, p, i);
        continue;
      case Row::Step::kChannels:
        WriteChannels(out, p, row, i);
        continue;
      case Row::Step::kMember: {
        const AprsValue v = f.get(p);
        if (v.Present()) {
          if (!object_open) {
            out.TextKey(row.object);
            out.StartObject();
            object_open = true;
          }
          out.TextKey(row.key);
          Value(out, f, v);
        }
        if (object_open && row.closes) {
          out.EndObject();
          object_open = false;
        }
        continue;
      }
      case Row::Step::kKey:
        break;
    }
    const AprsValue v = f.get(p);
    if (f.name == "error" && p.inner != nullptr) {
      out.Key("inner");
      out.StartObject();
      out.Key("source");
      Text(out, p.inner_source);
      out.Key("destination");
      Text(out, p.inner_destination);
      if (!p.inner_path.empty()) {
        out.Key("path");
        Text(out, p.inner_path);
      }
      WriteKeys(out, *p.inner);
      out.EndObject();
    }
    if (!v.Present()) continue;
    out.TextKey(row.key);
    if (f.name == "seq") {
      // A sequence number of digits is a number; "MIC" stays text.
      bool digits = true;
      for (char c : v.text) digits = digits && c >= '0' && c <= '9';
      if (digits && v.text.size() <= 9) {
        std::int64_t n = 0;
        for (char c : v.text) n = n * 10 + (c - '0');
        out.Int(n);
        continue;
      }
    }
    Value(out, f, v);
  }
}

}  // namespace

std::string AprsTextUtf8(std::string_view bytes) {
  return IsUtf8(bytes) ? std::string(bytes) : Cp1252ToUtf8(bytes);
}

void WriteAprsJson(JsonWriter& out, const AprsPacket& p) {
  out.StartObject();
  WriteKeys(out, p);
  out.EndObject();
}

std::string AprsJsonText(const AprsPacket& p) {
  JsonWriter out;
  WriteAprsJson(out, p);
  return std::move(out.Text());
}

}  // namespace packscope
