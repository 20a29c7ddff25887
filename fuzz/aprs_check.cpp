#include "fuzz/aprs_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "aprs/aprs_decoder.h"
#include "aprs/aprs_fields.h"
#include "aprs/aprs_json.h"
#include "aprs/aprs_words.h"

namespace packscope::fuzz {
namespace {

void AbortOnFailure(const std::string& message) {
  std::fprintf(stderr, "aprs check failed: %s\n", message.c_str());
  std::abort();
}

AprsFailureHandler g_failure = AbortOnFailure;

void Fail(std::string_view line, const std::string& what) {
  std::string message(what);
  message += " (field \"";
  for (char c : line) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      message.push_back(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<0x%02X>", b);
      message += hex;
    }
  }
  message += "\")";
  g_failure(message);
}

bool Finite(const std::optional<double>& v) { return !v || std::isfinite(*v); }

// UTF-8 of a words line: printable ASCII and the two-byte sequences of the degree and the
// superscript-2 signs, nothing else.
bool WordsText(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0x20 && b < 0x7F) continue;
    if (b == 0xC2 && i + 1 < s.size() &&
        (static_cast<unsigned char>(s[i + 1]) == 0xB0 ||
         static_cast<unsigned char>(s[i + 1]) == 0xB2)) {
      ++i;
      continue;
    }
    return false;
  }
  return true;
}

void CheckPacket(std::string_view line, const AprsPacket& p, int depth) {
  if (depth > 3) Fail(line, "third-party packets nested deeper than the decoder's 3 levels");
  if (p.lat && !(*p.lat >= -90.0 && *p.lat <= 90.0)) Fail(line, "latitude out of range");
  if (p.lon && !(*p.lon >= -180.0 && *p.lon <= 180.0)) Fail(line, "longitude out of range");
  if (p.course && (*p.course < 1 || *p.course > 360)) Fail(line, "course out of 1..360");
  if (!Finite(p.speed_kmh) || !Finite(p.altitude_m) || !Finite(p.range_km) ||
      (p.speed_kmh && *p.speed_kmh < 0)) {
    Fail(line, "speed, altitude or range not a finite value");
  }
  if (p.ambiguity < 0 || p.ambiguity > 4) Fail(line, "ambiguity out of 0..4");
  if (p.analog_count < 0 || p.analog_count > kAprsAnalogChannels ||
      p.name_count > kAprsTelemetryChannels || p.unit_count > kAprsTelemetryChannels) {
    Fail(line, "telemetry channel count out of range");
  }
  if (!p.digital.empty()) {
    bool bits = p.digital.size() == 8;
    for (char c : p.digital) bits = bits && (c == '0' || c == '1');
    if (!bits) Fail(line, "telemetry bits are not 8 characters of 0 and 1");
  }
  if (p.weather.humidity && (*p.weather.humidity < 1 || *p.weather.humidity > 100)) {
    Fail(line, "humidity out of 1..100");
  }
  if ((p.type == AprsType::kObject && p.name.size() > 9) ||
      (p.type == AprsType::kItem && !p.name.empty() && (p.name.size() < 3 || p.name.size() > 9)) ||
      p.addressee.size() > 9) {
    Fail(line, "name or addressee longer than the format allows");
  }
  for (char c : p.error) {
    if (c < 0x20 || c > 0x7E) Fail(line, "error sentence holds a character that is not printable");
  }
  if (p.type == AprsType::kThirdParty && p.inner != nullptr) CheckPacket(line, *p.inner, depth + 1);

  // Every field of the table can be read, and gives the kind of value the table says (the
  // filter language's aprs.* fields take their type from it).
  for (const AprsField& f : AprsFields()) {
    const AprsValue v = f.get(p);
    if (v.kind == AprsValue::Kind::kNumber && !std::isfinite(v.number)) {
      Fail(line, std::string("field ") + std::string(f.name) + " is not a finite number");
    }
    if (v.Present() && v.kind != f.kind) {
      Fail(line, std::string("field ") + std::string(f.name) + " gives another kind of value");
    }
  }
}

}  // namespace

void SetAprsFailureHandler(AprsFailureHandler handler) {
  g_failure = handler != nullptr ? handler : AbortOnFailure;
}

void CheckAprsFields(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  AprsDecoder decoder;
  std::string words;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;

    // "SOURCE>DESTINATION,PATH:info", or the information field alone.
    std::string_view source = "N0CALL";
    std::string_view destination = "APRS";
    std::string_view info = line;
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
      const std::string_view head = line.substr(0, colon);
      const std::size_t gt = head.find('>');
      if (gt != std::string_view::npos &&
          head.find_first_of(" ;!=@/`'") == std::string_view::npos) {
        source = head.substr(0, gt);
        destination = head.substr(gt + 1, head.find(',') - gt - 1);
        info = line.substr(colon + 1);
      }
    }
    const AprsPacket& p = decoder.Decode(AprsHeader{source, destination}, info);
    CheckPacket(line, p, 0);

    words.clear();
    AppendAprsWords(words, p);
    if (!WordsText(words)) Fail(line, "words line is not one line of printable UTF-8: " + words);

    try {
      const std::string json = AprsJsonText(p);
      if (nlohmann::ordered_json::parse(json).dump() != json) {
        Fail(line, "JSON object does not read back the same: " + json);
      }
    } catch (const nlohmann::json::exception& e) {
      Fail(line, std::string("JSON object does not serialise: ") + e.what());
    }
    if (end == text.size()) break;
  }
}

}  // namespace packscope::fuzz
