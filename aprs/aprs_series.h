// The values over time that an APRS packet gives, one by one, as the series layout writes them
// and the frame list plots them: its quantity, value and unit.
//
//   position   lat deg, lon deg, altitude_m m, speed_kmh km/h, course deg
//   weather    the keys of the JSON object's "weather" (wind_dir deg, temp_c degC, ...)
//   telemetry  analog channels 1..5, scaled by the station's EQNS when it sent them (as sent
//              else), then the 8 digital bits (0 or 1); each named by the station's PARM (A1 ..
//              A5, B1 .. B8 where it names none) with its UNIT (none where it gives none)
//
// The packet is the subject's (aprs/aprs_subject.h): a third-party packet gives nothing itself.
// A value that is not a finite number (telemetry scaled out of range) is left out.
#ifndef PACKSCOPE_APRS_APRS_SERIES_H_
#define PACKSCOPE_APRS_APRS_SERIES_H_

#include <cmath>
#include <span>
#include <string_view>

#include "aprs/aprs_decoder.h"
#include "aprs/aprs_fields.h"

namespace packscope {

struct AprsSeriesValue {
  std::string_view quantity;  // bytes: a PARM name is the station's
  std::string_view unit;      // bytes; empty for none
  double value = 0;
  // The field whose rounding the JSON object writes the value with (AppendAprsNumber); nullptr
  // for a digital bit, which is 0 or 1.
  const AprsField* field = nullptr;
};

// Calls take(const AprsSeriesValue&) for each value of p, in the order above.
template <typename Take>
void ForEachSeriesValue(const AprsPacket& p, Take&& take);

namespace aprs_series_internal {
// The position and weather rows: field, quantity, unit.
struct Row {
  const AprsField* field;
  std::string_view quantity;
  std::string_view unit;
};
std::span<const Row> Rows();
// "A1" .. "A5", "B1" .. "B8".
std::string_view ChannelLabel(int channel);
const AprsField& AnalogField(int channel, bool scaled);
}  // namespace aprs_series_internal

template <typename Take>
void ForEachSeriesValue(const AprsPacket& p, Take&& take) {
  namespace in = aprs_series_internal;
  for (const in::Row& row : in::Rows()) {
    const AprsValue v = row.field->get(p);
    if (v.kind == AprsValue::Kind::kNumber && std::isfinite(v.number)) {
      take(AprsSeriesValue{row.quantity, row.unit, v.number, row.field});
    }
  }
  const auto named = [&p](int channel) {
    const auto i = static_cast<std::size_t>(channel);
    return channel < p.name_count && !p.names[i].empty() ? p.names[i] : in::ChannelLabel(channel);
  };
  const auto unit = [&p](int channel) {
    return channel < p.unit_count ? p.units[static_cast<std::size_t>(channel)] : std::string_view();
  };
  for (int i = 0; i < p.analog_count; ++i) {
    const double v = p.has_values ? p.values[static_cast<std::size_t>(i)]
                                  : p.analog[static_cast<std::size_t>(i)];
    if (std::isfinite(v)) {
      take(AprsSeriesValue{named(i), unit(i), v, &in::AnalogField(i, p.has_values)});
    }
  }
  for (std::size_t bit = 0; bit < p.digital.size() && bit < kAprsDigitalChannels; ++bit) {
    const int channel = kAprsAnalogChannels + static_cast<int>(bit);
    take(
        AprsSeriesValue{named(channel), unit(channel), p.digital[bit] == '1' ? 1.0 : 0.0, nullptr});
  }
}

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_SERIES_H_
