#include "aprs/aprs_fields.h"

#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>

namespace packscope {
namespace {

AprsValue Number(double v) {
  AprsValue x;
  x.kind = AprsValue::Kind::kNumber;
  x.number = v;
  return x;
}

template <typename T>
AprsValue Number(const std::optional<T>& v) {
  return v ? Number(static_cast<double>(*v)) : AprsValue();
}

AprsValue Text(std::string_view s) {
  AprsValue x;
  if (s.empty()) return x;
  x.kind = AprsValue::Kind::kText;
  x.text = s;
  return x;
}

AprsValue Bool(bool b) {
  AprsValue x;
  x.kind = AprsValue::Kind::kBool;
  x.truth = b;
  return x;
}

bool ObjectOrItem(const AprsPacket& p) {
  return p.type == AprsType::kObject || p.type == AprsType::kItem;
}

// A text that is there, if empty: a message's text, a status.
AprsValue Given(std::string_view s) {
  AprsValue x;
  x.kind = AprsValue::Kind::kText;
  x.text = s;
  return x;
}

template <typename Get>
AprsValue Antenna(const std::optional<AprsAntenna>& a, Get get) {
  return a ? Number(get(*a)) : AprsValue();
}

template <int kChannel>
AprsValue Analog(const AprsPacket& p) {
  return kChannel < p.analog_count ? Number(p.analog[kChannel]) : AprsValue();
}
template <int kChannel>
AprsValue Scaled(const AprsPacket& p) {
  return p.has_values && kChannel < p.analog_count ? Number(p.values[kChannel]) : AprsValue();
}
// A digital channel is on when its bit is what the station's BITS sense calls on (1 without
// it); given for the stations whose definitions name, label or sense their digital channels.
template <int kChannel>
AprsValue Bit(const AprsPacket& p) {
  const bool defined = p.name_count > kAprsAnalogChannels || p.unit_count > kAprsAnalogChannels ||
                       p.bit_sense.size() == 8;
  if (p.digital.size() != 8 || !defined) return AprsValue();
  const char on = p.bit_sense.size() == 8 ? p.bit_sense[kChannel] : '1';
  return Bool(p.digital[kChannel] == on);
}
template <int kChannel>
AprsValue Name(const AprsPacket& p) {
  return kChannel < p.name_count ? Text(p.names[kChannel]) : AprsValue();
}
template <int kChannel>
AprsValue Unit(const AprsPacket& p) {
  return kChannel < p.unit_count ? Text(p.units[kChannel]) : AprsValue();
}

using P = const AprsPacket&;
constexpr AprsJsonPlace kTop = AprsJsonPlace::kTop;
constexpr AprsJsonPlace kObj = AprsJsonPlace::kObject;
constexpr AprsJsonPlace kWx = AprsJsonPlace::kObject;
constexpr AprsJsonPlace kNone = AprsJsonPlace::kNone;
constexpr AprsValue::Kind kNumber = AprsValue::Kind::kNumber;
constexpr AprsValue::Kind kText = AprsValue::Kind::kText;
constexpr AprsValue::Kind kBool = AprsValue::Kind::kBool;

// One row per field; the JSON object's keys come in this order.
constexpr AprsField kFields[] = {
    {"type", kTop, 0, kText, [](P p) { return Text(AprsTypeName(p.type)); },
     "the kind of field: position, mic-e, object, item, message, ack, rej, bulletin, status, "
     "weather, telemetry, telemetry-definition, query, capabilities, third-party, nmea, "
     "user-defined, other"},
    {"lat", kTop, 6, kNumber, [](P p) { return Number(p.lat); },
     "latitude in degrees, north positive"},
    {"lon", kTop, 6, kNumber, [](P p) { return Number(p.lon); },
     "longitude in degrees, east positive"},
    {"ambiguity", kTop, 0, kNumber,
     [](P p) { return p.ambiguity > 0 ? Number(p.ambiguity) : AprsValue(); },
     "position ambiguity: how many digits were sent as blanks (1 to 4)"},
    {"symbol", kTop, 0, kText,
     [](P p) {
       return p.symbol[1] != 0 ? Text(std::string_view(p.symbol.data(), 2)) : AprsValue();
     },
     "symbol: table or overlay character, then symbol code (\"/>\" a car)"},
    {"course", kTop, 0, kNumber, [](P p) { return Number(p.course); },
     "course in degrees, 1 to 360"},
    {"speed_kmh", kTop, 1, kNumber, [](P p) { return Number(p.speed_kmh); }, "speed in km/h"},
    {"altitude_m", kTop, 1, kNumber, [](P p) { return Number(p.altitude_m); },
     "altitude in metres"},
    {"range_km", kTop, 1, kNumber, [](P p) { return Number(p.range_km); },
     "radio range in km (RNG extension, compressed range)"},
    {"phg.power_w", kObj, 0, kNumber,
     [](P p) { return Antenna(p.phg, [](const AprsAntenna& a) { return a.power_w; }); },
     "PHG: transmitter power in W"},
    {"phg.height_m", kObj, 1, kNumber,
     [](P p) { return Antenna(p.phg, [](const AprsAntenna& a) { return a.height_m; }); },
     "PHG: antenna height above average terrain in metres"},
    {"phg.gain_dbi", kObj, 0, kNumber,
     [](P p) { return Antenna(p.phg, [](const AprsAntenna& a) { return a.gain_dbi; }); },
     "PHG: antenna gain in dBi"},
    {"phg.directivity", kObj, 0, kNumber,
     [](P p) { return p.phg ? Number(p.phg->directivity) : AprsValue(); },
     "PHG: the direction the antenna favours in degrees, 0 omni"},
    {"dfs.strength", kObj, 0, kNumber,
     [](P p) { return Antenna(p.dfs, [](const AprsAntenna& a) { return a.strength; }); },
     "DFS: direction-finding signal strength, 0 to 9 S-points"},
    {"dfs.height_m", kObj, 1, kNumber,
     [](P p) { return Antenna(p.dfs, [](const AprsAntenna& a) { return a.height_m; }); },
     "DFS: antenna height above average terrain in metres"},
    {"dfs.gain_dbi", kObj, 0, kNumber,
     [](P p) { return Antenna(p.dfs, [](const AprsAntenna& a) { return a.gain_dbi; }); },
     "DFS: antenna gain in dBi"},
    {"dfs.directivity", kObj, 0, kNumber,
     [](P p) { return p.dfs ? Number(p.dfs->directivity) : AprsValue(); },
     "DFS: the direction the antenna favours in degrees, 0 omni"},
    {"timestamp", kTop, 0, kText, [](P p) { return Text(p.timestamp); },
     "the timestamp as sent (\"092345z\")"},
    {"comment", kTop, 0, kText, [](P p) { return Text(p.comment); },
     "the comment: what is left of the text after the decoded parts"},
    {"name", kTop, 0, kText, [](P p) { return ObjectOrItem(p) ? Text(p.name) : AprsValue(); },
     "the name of an object or item"},
    {"alive", kTop, 0, kBool,
     [](P p) { return ObjectOrItem(p) && p.alive ? Bool(*p.alive) : AprsValue(); },
     "an object or item alive (true) or killed (false)"},
    {"addressee", kTop, 0, kText, [](P p) { return Text(p.addressee); },
     "the addressee of a message, ack, rej, bulletin or telemetry definition"},
    {"text", kTop, 0, kText,
     [](P p) {
       return p.type == AprsType::kMessage || p.type == AprsType::kBulletin ? Given(p.text)
                                                                            : Text(p.text);
     },
     "message text, query, capabilities or user-defined data"},
    {"id", kTop, 0, kText, [](P p) { return Text(p.id); },
     "message number; the number or letter of a bulletin"},
    {"status", kTop, 0, kText,
     [](P p) { return p.type == AprsType::kStatus ? Given(p.status) : Text(p.status); },
     "status text; the Mic-E message (\"En Route\")"},
    {"weather.wind_dir", kWx, 0, kNumber, [](P p) { return Number(p.weather.wind_dir); },
     "weather: wind direction in degrees"},
    {"weather.wind_speed_kmh", kWx, 1, kNumber,
     [](P p) { return Number(p.weather.wind_speed_kmh); }, "weather: wind speed in km/h"},
    {"weather.gust_kmh", kWx, 1, kNumber, [](P p) { return Number(p.weather.gust_kmh); },
     "weather: gust in km/h"},
    {"weather.temp_c", kWx, 1, kNumber, [](P p) { return Number(p.weather.temp_c); },
     "weather: temperature in degrees Celsius"},
    {"weather.rain_1h_mm", kWx, 1, kNumber, [](P p) { return Number(p.weather.rain_1h_mm); },
     "weather: rain in the last hour, mm"},
    {"weather.rain_24h_mm", kWx, 1, kNumber, [](P p) { return Number(p.weather.rain_24h_mm); },
     "weather: rain in the last 24 hours, mm"},
    {"weather.rain_midnight_mm", kWx, 1, kNumber,
     [](P p) { return Number(p.weather.rain_midnight_mm); }, "weather: rain since midnight, mm"},
    {"weather.humidity", kWx, 0, kNumber, [](P p) { return Number(p.weather.humidity); },
     "weather: relative humidity in percent"},
    {"weather.pressure_hpa", kWx, 1, kNumber, [](P p) { return Number(p.weather.pressure_hpa); },
     "weather: air pressure in hPa"},
    {"weather.luminosity", kWx, 0, kNumber, [](P p) { return Number(p.weather.luminosity); },
     "weather: luminosity in W/m2"},
    {"seq", kTop, 0, kText, [](P p) { return Text(p.seq); },
     "telemetry sequence number as sent (\"005\")"},
    {"analog.1", kNone, kAprsAsSent, kNumber, Analog<0>, "telemetry: analog value 1 as sent"},
    {"analog.2", kNone, kAprsAsSent, kNumber, Analog<1>, "telemetry: analog value 2 as sent"},
    {"analog.3", kNone, kAprsAsSent, kNumber, Analog<2>, "telemetry: analog value 3 as sent"},
    {"analog.4", kNone, kAprsAsSent, kNumber, Analog<3>, "telemetry: analog value 4 as sent"},
    {"analog.5", kNone, kAprsAsSent, kNumber, Analog<4>, "telemetry: analog value 5 as sent"},
    {"digital", kTop, 0, kText, [](P p) { return Text(p.digital); },
     "telemetry: the 8 digital bits as sent (\"01101001\")"},
    {"values.1", kNone, 6, kNumber, Scaled<0>,
     "telemetry: analog value 1 scaled by the station's EQNS"},
    {"values.2", kNone, 6, kNumber, Scaled<1>,
     "telemetry: analog value 2 scaled by the station's EQNS"},
    {"values.3", kNone, 6, kNumber, Scaled<2>,
     "telemetry: analog value 3 scaled by the station's EQNS"},
    {"values.4", kNone, 6, kNumber, Scaled<3>,
     "telemetry: analog value 4 scaled by the station's EQNS"},
    {"values.5", kNone, 6, kNumber, Scaled<4>,
     "telemetry: analog value 5 scaled by the station's EQNS"},
    {"bits.1", kNone, 0, kBool, Bit<0>,
     "telemetry: digital channel 1 on, by the station's BITS sense (1 without one), for a "
     "station whose definitions name, label or sense its digital channels"},
    {"bits.2", kNone, 0, kBool, Bit<1>, "telemetry: digital channel 2 on"},
    {"bits.3", kNone, 0, kBool, Bit<2>, "telemetry: digital channel 3 on"},
    {"bits.4", kNone, 0, kBool, Bit<3>, "telemetry: digital channel 4 on"},
    {"bits.5", kNone, 0, kBool, Bit<4>, "telemetry: digital channel 5 on"},
    {"bits.6", kNone, 0, kBool, Bit<5>, "telemetry: digital channel 6 on"},
    {"bits.7", kNone, 0, kBool, Bit<6>, "telemetry: digital channel 7 on"},
    {"bits.8", kNone, 0, kBool, Bit<7>, "telemetry: digital channel 8 on"},
    {"names.1", kNone, 0, kText, Name<0>, "telemetry: name of channel 1 (PARM)"},
    {"names.2", kNone, 0, kText, Name<1>, "telemetry: name of channel 2 (PARM)"},
    {"names.3", kNone, 0, kText, Name<2>, "telemetry: name of channel 3 (PARM)"},
    {"names.4", kNone, 0, kText, Name<3>, "telemetry: name of channel 4 (PARM)"},
    {"names.5", kNone, 0, kText, Name<4>, "telemetry: name of channel 5 (PARM)"},
    {"names.6", kNone, 0, kText, Name<5>, "telemetry: name of channel 6 (PARM)"},
    {"names.7", kNone, 0, kText, Name<6>, "telemetry: name of channel 7 (PARM)"},
    {"names.8", kNone, 0, kText, Name<7>, "telemetry: name of channel 8 (PARM)"},
    {"names.9", kNone, 0, kText, Name<8>, "telemetry: name of channel 9 (PARM)"},
    {"names.10", kNone, 0, kText, Name<9>, "telemetry: name of channel 10 (PARM)"},
    {"names.11", kNone, 0, kText, Name<10>, "telemetry: name of channel 11 (PARM)"},
    {"names.12", kNone, 0, kText, Name<11>, "telemetry: name of channel 12 (PARM)"},
    {"names.13", kNone, 0, kText, Name<12>, "telemetry: name of channel 13 (PARM)"},
    {"units.1", kNone, 0, kText, Unit<0>, "telemetry: unit or label of channel 1 (UNIT)"},
    {"units.2", kNone, 0, kText, Unit<1>, "telemetry: unit or label of channel 2 (UNIT)"},
    {"units.3", kNone, 0, kText, Unit<2>, "telemetry: unit or label of channel 3 (UNIT)"},
    {"units.4", kNone, 0, kText, Unit<3>, "telemetry: unit or label of channel 4 (UNIT)"},
    {"units.5", kNone, 0, kText, Unit<4>, "telemetry: unit or label of channel 5 (UNIT)"},
    {"units.6", kNone, 0, kText, Unit<5>, "telemetry: unit or label of channel 6 (UNIT)"},
    {"units.7", kNone, 0, kText, Unit<6>, "telemetry: unit or label of channel 7 (UNIT)"},
    {"units.8", kNone, 0, kText, Unit<7>, "telemetry: unit or label of channel 8 (UNIT)"},
    {"units.9", kNone, 0, kText, Unit<8>, "telemetry: unit or label of channel 9 (UNIT)"},
    {"units.10", kNone, 0, kText, Unit<9>, "telemetry: unit or label of channel 10 (UNIT)"},
    {"units.11", kNone, 0, kText, Unit<10>, "telemetry: unit or label of channel 11 (UNIT)"},
    {"units.12", kNone, 0, kText, Unit<11>, "telemetry: unit or label of channel 12 (UNIT)"},
    {"units.13", kNone, 0, kText, Unit<12>, "telemetry: unit or label of channel 13 (UNIT)"},
    {"device", kTop, 0, kText, [](P p) { return Text(p.device); },
     "the device: a Mic-E code, or what the destination names"},
    {"error", kTop, 0, kText, [](P p) { return Text(p.error); },
     "what is wrong with the field, as a sentence"},
};

static_assert(std::size(kFields) == kAprsFieldCount);

}  // namespace

std::span<const AprsField> AprsFields() { return kFields; }

const AprsField* FindAprsField(std::string_view name) {
  for (const AprsField& f : kFields) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

const AprsPacket* FaultyAprsPacket(const AprsPacket& p) {
  for (const AprsPacket* q = &p; q != nullptr; q = q->inner) {
    if (!q->error.empty()) return q;
  }
  return nullptr;
}

void AppendAprsNumber(std::string& out, const AprsField& field, double value,
                      FractionDigits digits) {
  double r = value;
  if (field.decimals != kAprsAsSent) {
    // Powers of ten up to 10^22 are exact doubles: the table holds what std::pow gives.
    constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    const double scale = field.decimals >= 0 && field.decimals < 9 ? kPowers[field.decimals]
                                                                   : std::pow(10.0, field.decimals);
    // A value too large to scale has no decimals to round.
    if (std::isfinite(value * scale)) r = std::round(value * scale) / scale;
  }
  if (r == 0.0) r = 0.0;  // no "-0"
  if (std::abs(r) < 9e15 && r == std::round(r)) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<std::int64_t>(r));
    (void)ec;  // 24 characters hold every 64-bit integer
    out.append(buf, end);
    return;
  }
  AppendJsonFraction(out, r, digits);
}

std::string AprsNumberText(const AprsField& field, double value) {
  std::string text;
  AppendAprsNumber(text, field, value, FractionDigits::kShortest);
  return text;
}

AprsValue AprsFieldValue(const AprsPacket& p, std::string_view name) {
  const AprsField* f = FindAprsField(name);
  return f != nullptr ? f->get(p) : AprsValue();
}

}  // namespace packscope
