#include "aprs/aprs_fields.h"

#include <array>
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

template <int kChannel>
AprsValue Analog(const AprsPacket& p) {
  return kChannel < p.analog_count ? Number(p.analog[kChannel]) : AprsValue();
}
template <int kChannel>
AprsValue Scaled(const AprsPacket& p) {
  return p.has_values && kChannel < p.analog_count ? Number(p.values[kChannel]) : AprsValue();
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
constexpr AprsJsonPlace kWx = AprsJsonPlace::kWeather;
constexpr AprsJsonPlace kNone = AprsJsonPlace::kNone;

// One row per field; the JSON object's keys come in this order.
constexpr AprsField kFields[] = {
    {"type", kTop, 0, [](P p) { return Text(AprsTypeName(p.type)); }},
    {"lat", kTop, 6, [](P p) { return Number(p.lat); }},
    {"lon", kTop, 6, [](P p) { return Number(p.lon); }},
    {"ambiguity", kTop, 0, [](P p) { return p.ambiguity > 0 ? Number(p.ambiguity) : AprsValue(); }},
    {"symbol", kTop, 0,
     [](P p) {
       return p.symbol[1] != 0 ? Text(std::string_view(p.symbol.data(), 2)) : AprsValue();
     }},
    {"course", kTop, 0, [](P p) { return Number(p.course); }},
    {"speed_kmh", kTop, 1, [](P p) { return Number(p.speed_kmh); }},
    {"altitude_m", kTop, 1, [](P p) { return Number(p.altitude_m); }},
    {"timestamp", kTop, 0, [](P p) { return Text(p.timestamp); }},
    {"comment", kTop, 0, [](P p) { return Text(p.comment); }},
    {"name", kTop, 0, [](P p) { return ObjectOrItem(p) ? Text(p.name) : AprsValue(); }},
    {"alive", kTop, 0,
     [](P p) { return ObjectOrItem(p) && p.alive ? Bool(*p.alive) : AprsValue(); }},
    {"addressee", kTop, 0, [](P p) { return Text(p.addressee); }},
    {"text", kTop, 0, [](P p) { return Text(p.text); }},
    {"id", kTop, 0, [](P p) { return Text(p.id); }},
    {"status", kTop, 0, [](P p) { return Text(p.status); }},
    {"weather.wind_dir", kWx, 0, [](P p) { return Number(p.weather.wind_dir); }},
    {"weather.wind_speed_kmh", kWx, 1, [](P p) { return Number(p.weather.wind_speed_kmh); }},
    {"weather.gust_kmh", kWx, 1, [](P p) { return Number(p.weather.gust_kmh); }},
    {"weather.temp_c", kWx, 1, [](P p) { return Number(p.weather.temp_c); }},
    {"weather.rain_1h_mm", kWx, 1, [](P p) { return Number(p.weather.rain_1h_mm); }},
    {"weather.rain_24h_mm", kWx, 1, [](P p) { return Number(p.weather.rain_24h_mm); }},
    {"weather.rain_midnight_mm", kWx, 1, [](P p) { return Number(p.weather.rain_midnight_mm); }},
    {"weather.humidity", kWx, 0, [](P p) { return Number(p.weather.humidity); }},
    {"weather.pressure_hpa", kWx, 1, [](P p) { return Number(p.weather.pressure_hpa); }},
    {"weather.luminosity", kWx, 0, [](P p) { return Number(p.weather.luminosity); }},
    {"seq", kTop, 0, [](P p) { return Text(p.seq); }},
    {"analog.1", kNone, 6, Analog<0>},
    {"analog.2", kNone, 6, Analog<1>},
    {"analog.3", kNone, 6, Analog<2>},
    {"analog.4", kNone, 6, Analog<3>},
    {"analog.5", kNone, 6, Analog<4>},
    {"digital", kTop, 0, [](P p) { return Text(p.digital); }},
    {"values.1", kNone, 6, Scaled<0>},
    {"values.2", kNone, 6, Scaled<1>},
    {"values.3", kNone, 6, Scaled<2>},
    {"values.4", kNone, 6, Scaled<3>},
    {"values.5", kNone, 6, Scaled<4>},
    {"names.1", kNone, 0, Name<0>},
    {"names.2", kNone, 0, Name<1>},
    {"names.3", kNone, 0, Name<2>},
    {"names.4", kNone, 0, Name<3>},
    {"names.5", kNone, 0, Name<4>},
    {"names.6", kNone, 0, Name<5>},
    {"names.7", kNone, 0, Name<6>},
    {"names.8", kNone, 0, Name<7>},
    {"names.9", kNone, 0, Name<8>},
    {"names.10", kNone, 0, Name<9>},
    {"names.11", kNone, 0, Name<10>},
    {"names.12", kNone, 0, Name<11>},
    {"names.13", kNone, 0, Name<12>},
    {"units.1", kNone, 0, Unit<0>},
    {"units.2", kNone, 0, Unit<1>},
    {"units.3", kNone, 0, Unit<2>},
    {"units.4", kNone, 0, Unit<3>},
    {"units.5", kNone, 0, Unit<4>},
    {"units.6", kNone, 0, Unit<5>},
    {"units.7", kNone, 0, Unit<6>},
    {"units.8", kNone, 0, Unit<7>},
    {"units.9", kNone, 0, Unit<8>},
    {"units.10", kNone, 0, Unit<9>},
    {"units.11", kNone, 0, Unit<10>},
    {"units.12", kNone, 0, Unit<11>},
    {"units.13", kNone, 0, Unit<12>},
    {"device", kTop, 0, [](P p) { return Text(p.device); }},
    {"error", kTop, 0, [](P p) { return Text(p.error); }},
};

}  // namespace

std::span<const AprsField> AprsFields() { return kFields; }

const AprsField* FindAprsField(std::string_view name) {
  for (const AprsField& f : kFields) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

AprsValue AprsFieldValue(const AprsPacket& p, std::string_view name) {
  const AprsField* f = FindAprsField(name);
  return f != nullptr ? f->get(p) : AprsValue();
}

}  // namespace packscope
