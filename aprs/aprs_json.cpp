#include "aprs/aprs_json.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "aprs/aprs_fields.h"
#include "aprs/aprs_parse.h"
#include "render/codepage.h"

namespace packscope {
namespace {

using aprs_parse::Sub;

using Json = nlohmann::ordered_json;

// Whether s is well-formed UTF-8 (no overlong forms, surrogates or values beyond U+10FFFF).
bool ValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      n = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<std::uint8_t>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += n + 1;
  }
  return true;
}

Json TextJson(std::string_view s) { return Json(AprsTextUtf8(s)); }

double Rounded(double v, int decimals) {
  if (decimals == kAprsAsSent) return v == 0.0 ? 0.0 : v;
  const double scale = std::pow(10.0, decimals);
  // A value too large to scale has no decimals to round.
  if (!std::isfinite(v * scale)) return v;
  const double r = std::round(v * scale) / scale;
  return r == 0.0 ? 0.0 : r;  // no "-0"
}

Json ValueJson(const AprsField& f, const AprsValue& v) {
  switch (v.kind) {
    case AprsValue::Kind::kNumber: {
      // Whole numbers without a decimal point: 199, not 199.0.
      const double r = Rounded(v.number, f.decimals);
      if (std::abs(r) < 9e15 && r == std::round(r)) {
        return Json(static_cast<std::int64_t>(r));
      }
      return Json(r);
    }
    case AprsValue::Kind::kText:
      return TextJson(v.text);
    case AprsValue::Kind::kBool:
      return Json(v.truth);
    case AprsValue::Kind::kAbsent:
      break;
  }
  return Json();
}

// The channels of one telemetry array ("analog", "values", "names", "units"), by the rows
// "analog.1", ... of the field table.
void AddChannels(Json& j, const AprsPacket& p, std::string_view array, std::size_t first_row) {
  const auto fields = AprsFields();
  Json list = Json::array();
  for (std::size_t i = first_row; i < fields.size(); ++i) {
    const AprsField& f = fields[i];
    if (Sub(f.name, 0, array.size()) != array || Sub(f.name, array.size(), 1) != ".") break;
    const AprsValue v = f.get(p);
    if (!v.Present()) {
      // Names and units may leave a channel out and still name later ones.
      if (v.kind == AprsValue::Kind::kAbsent && (array == "names" || array == "units")) {
        const int count = array == "names" ? p.name_count : p.unit_count;
        if (static_cast<int>(i - first_row) < count) {
          list.push_back("");
          continue;
        }
      }
      break;
    }
    list.push_back(ValueJson(f, v));
  }
  if (!list.empty()) j[std::string(array)] = std::move(list);
}

// "bits": the 8 digital channels, each whether it is on, with its name and label when the
// station's PARM and UNIT give them (channels 6 to 13):
//   [{"name":"Camra","label":"Click","on":true},{"on":false},...]
void AddBits(Json& j, const AprsPacket& p, std::size_t first_row) {
  const auto fields = AprsFields();
  Json bits = Json::array();
  for (std::size_t i = 0; i < static_cast<std::size_t>(kAprsDigitalChannels); ++i) {
    const AprsValue on = fields[first_row + i].get(p);
    if (!on.Present()) return;
    Json bit = Json::object();
    const std::size_t channel = static_cast<std::size_t>(kAprsAnalogChannels) + i;
    if (static_cast<int>(channel) < p.name_count && !p.names[channel].empty()) {
      bit["name"] = TextJson(p.names[channel]);
    }
    if (static_cast<int>(channel) < p.unit_count && !p.units[channel].empty()) {
      bit["label"] = TextJson(p.units[channel]);
    }
    bit["on"] = on.truth;
    bits.push_back(std::move(bit));
  }
  j["bits"] = std::move(bits);
}

// Adds the keys of p to j.
void AddKeys(Json& j, const AprsPacket& p) {
  Json object = Json::object();
  const auto fields = AprsFields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const AprsField& f = fields[i];
    const std::string_view prefix = Sub(f.name, 0, f.name.find('.'));
    if (f.place == AprsJsonPlace::kNone) {
      if (Sub(f.name, prefix.size()) != ".1") continue;
      if (prefix == "bits") {
        AddBits(j, p, i);
      } else {
        AddChannels(j, p, prefix, i);
      }
      continue;
    }
    const AprsValue v = f.get(p);
    if (f.place == AprsJsonPlace::kObject) {
      if (v.Present()) object[std::string(Sub(f.name, prefix.size() + 1))] = ValueJson(f, v);
      // The object stands where its last member's row is.
      if (i + 1 == fields.size() || fields[i + 1].place != AprsJsonPlace::kObject ||
          Sub(fields[i + 1].name, 0, prefix.size() + 1) != Sub(f.name, 0, prefix.size() + 1)) {
        if (!object.empty()) j[std::string(prefix)] = std::move(object);
        object = Json::object();
      }
      continue;
    }
    if (f.name == "error" && p.inner != nullptr) {
      Json inner = Json::object();
      inner["source"] = TextJson(p.inner_source);
      inner["destination"] = TextJson(p.inner_destination);
      if (!p.inner_path.empty()) inner["path"] = TextJson(p.inner_path);
      AddKeys(inner, *p.inner);
      j["inner"] = std::move(inner);
    }
    if (!v.Present()) continue;
    if (f.name == "seq") {
      // A sequence number of digits is a number; "MIC" stays text.
      bool digits = true;
      for (char c : v.text) digits = digits && c >= '0' && c <= '9';
      if (digits && v.text.size() <= 9) {
        j["seq"] = std::stoi(std::string(v.text));
        continue;
      }
    }
    j[std::string(f.name)] = ValueJson(f, v);
  }
}

}  // namespace

std::string AprsJsonNumberText(const AprsField& f, double value) {
  AprsValue v;
  v.kind = AprsValue::Kind::kNumber;
  v.number = value;
  return ValueJson(f, v).dump();
}

std::string AprsTextUtf8(std::string_view bytes) {
  return ValidUtf8(bytes) ? std::string(bytes) : Cp1252ToUtf8(bytes);
}

nlohmann::ordered_json AprsJson(const AprsPacket& p) {
  Json j = Json::object();
  AddKeys(j, p);
  return j;
}

}  // namespace packscope
