#include "aprs/aprs_series.h"

#include <array>
#include <string>
#include <vector>

namespace packscope::aprs_series_internal {
namespace {

struct Unit {
  std::string_view field;
  std::string_view unit;
};

// Positions in this order, then the weather keys in the field table's.
constexpr Unit kPositionUnits[] = {
    {"lat", "deg"}, {"lon", "deg"}, {"altitude_m", "m"}, {"speed_kmh", "km/h"}, {"course", "deg"}};
constexpr Unit kWeatherUnits[] = {
    {"weather.wind_dir", "deg"},        {"weather.wind_speed_kmh", "km/h"},
    {"weather.gust_kmh", "km/h"},       {"weather.temp_c", "degC"},
    {"weather.rain_1h_mm", "mm"},       {"weather.rain_24h_mm", "mm"},
    {"weather.rain_midnight_mm", "mm"}, {"weather.humidity", "%"},
    {"weather.pressure_hpa", "hPa"},    {"weather.luminosity", "W/m2"},
    {"weather.snow_24h_cm", "cm"},
};

std::vector<Row> MakeRows() {
  std::vector<Row> rows;
  for (const Unit& u : kPositionUnits) {
    if (const AprsField* f = FindAprsField(u.field)) rows.push_back(Row{f, f->name, u.unit});
  }
  for (const AprsField& f : AprsFields()) {
    if (f.place != AprsJsonPlace::kObject || !f.name.starts_with("weather.")) continue;
    std::string_view unit;
    for (const Unit& u : kWeatherUnits) {
      if (u.field == f.name) unit = u.unit;
    }
    // The weather object's key: the name without "weather.".
    rows.push_back(Row{&f, f.name.substr(f.name.find('.') + 1), unit});
  }
  return rows;
}

}  // namespace

std::span<const Row> Rows() {
  static const std::vector<Row> rows = MakeRows();
  return rows;
}

std::string_view ChannelLabel(int channel) {
  static constexpr std::string_view kLabels[kAprsTelemetryChannels] = {
      "A1", "A2", "A3", "A4", "A5", "B1", "B2", "B3", "B4", "B5", "B6", "B7", "B8"};
  return kLabels[channel];
}

const AprsField& AnalogField(int channel, bool scaled) {
  static const auto fields = [] {
    std::array<std::array<const AprsField*, kAprsAnalogChannels>, 2> out{};
    for (int i = 0; i < kAprsAnalogChannels; ++i) {
      const std::string n = std::to_string(i + 1);
      out[0][static_cast<std::size_t>(i)] = FindAprsField("analog." + n);
      out[1][static_cast<std::size_t>(i)] = FindAprsField("values." + n);
    }
    return out;
  }();
  return *fields[scaled ? 1 : 0][static_cast<std::size_t>(channel)];
}

}  // namespace packscope::aprs_series_internal
