// The fields of a decoded APRS packet under stable names: one table that the JSON object, the
// filter language and the frame list's details all read. Names are the JSON keys; members of an
// object are "weather.temp_c", "phg.power_w" and so on; single telemetry channels are
// "analog.1" .. "analog.5", "values.1" .. "values.5", "bits.1" .. "bits.8", "names.1" ..
// "names.13", "units.1" .. "units.13".
//
//   type lat lon ambiguity symbol course speed_kmh altitude_m range_km phg.power_w phg.height_m
//   phg.gain_dbi phg.directivity dfs.strength dfs.height_m dfs.gain_dbi dfs.directivity
//   timestamp comment name alive addressee text id status weather.wind_dir
//   weather.wind_speed_kmh weather.gust_kmh weather.temp_c weather.rain_1h_mm
//   weather.rain_24h_mm weather.rain_midnight_mm weather.humidity weather.pressure_hpa
//   weather.luminosity seq analog digital values bits names units device error
#ifndef PACKSCOPE_APRS_APRS_FIELDS_H_
#define PACKSCOPE_APRS_APRS_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "aprs/aprs_decoder.h"
#include "render/json_text.h"

namespace packscope {

// One field's value in a packet: absent (the field does not apply or was not sent), a number,
// a text (bytes of the frame; views as AprsPacket's) or a truth value.
struct AprsValue {
  enum class Kind : std::uint8_t { kAbsent, kNumber, kText, kBool };
  Kind kind = Kind::kAbsent;
  double number = 0;
  std::string_view text;
  bool truth = false;

  bool Present() const { return kind != Kind::kAbsent; }
};

// Where a field goes in the JSON object: a key of its own, a key of an object named by what its
// name has before the dot ("weather", "phg", "dfs"), or nowhere (a channel of the telemetry
// arrays, which the object gives whole).
enum class AprsJsonPlace : std::uint8_t { kTop, kObject, kNone };

// decimals of a number kept as sent: the telemetry values a station sends.
inline constexpr int kAprsAsSent = -1;

struct AprsField {
  std::string_view name;
  AprsJsonPlace place;
  int decimals;          // numbers are written with this many decimals at most; kAprsAsSent
  AprsValue::Kind kind;  // what get gives when the field is present
  AprsValue (*get)(const AprsPacket&);
  std::string_view help;  // one line: what the field holds, in which unit
};

// Every field, in the order of the JSON object's keys.
inline constexpr std::size_t kAprsFieldCount = 83;
std::span<const AprsField> AprsFields();

// The field of that name, or nullptr.
const AprsField* FindAprsField(std::string_view name);

// The value of the named field in p; absent for a name that is no field.
AprsValue AprsFieldValue(const AprsPacket& p, std::string_view name);

// A field's number as the JSON object writes it: rounded to the field's decimals (halves away
// from zero; kAprsAsSent: as sent), whole numbers without a decimal point ("199", "-32"), never
// "-0", the others as JSON numbers (render/json_text.h: "1034.8", "-71.126333", "0.0001",
// "-1e-07", "1e+20"). digits: kJson for the JSON Lines and series layouts, which write what they
// always have; the frame list's details take the shortest (AprsNumberText).
void AppendAprsNumber(std::string& out, const AprsField& field, double value,
                      FractionDigits digits);
std::string AprsNumberText(const AprsField& field, double value);

// The first packet with an error: p, or the packet a third-party packet carries (at any depth);
// nullptr when none has one.
const AprsPacket* FaultyAprsPacket(const AprsPacket& p);

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_FIELDS_H_
