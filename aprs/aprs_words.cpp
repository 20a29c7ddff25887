#include "aprs/aprs_words.h"

#include <array>
#include <charconv>
#include <cmath>

#include "aprs/aprs_parse.h"
#include "aprs/aprs_tables.h"
#include "render/numbers.h"

namespace packscope {
namespace {

using namespace aprs_parse;

constexpr std::string_view kDegree = "\xC2\xB0";  // U+00B0 in UTF-8

void AppendFixed(std::string& out, double v, int decimals) {
  static const auto kHalfUnits = [] {
    std::array<double, 10> halves{};
    for (int d = 0; d < 10; ++d) halves[static_cast<std::size_t>(d)] = 0.5 * std::pow(10.0, -d);
    return halves;
  }();
  const double half = decimals >= 0 && decimals < 10
                          ? kHalfUnits[static_cast<std::size_t>(decimals)]
                          : 0.5 * std::pow(10.0, -decimals);
  if (std::abs(v) < half) v = 0.0;  // no "-0"
  AppendFixedDecimals(out, v, decimals);
}

// The shortest text that reads back as v: -1e-07, 12.5.
void AppendShortest(std::string& out, double v) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v == 0.0 ? 0.0 : v);
  if (ec == std::errc()) out.append(buf, end);
}

// A number with at most `decimals` decimals, trailing zeros dropped: 1034.8, -32, 0.125.
void AppendNumber(std::string& out, double v, int decimals) {
  if (std::abs(v) >= 1e15) {  // beyond what decimals add to
    AppendShortest(out, v);
    return;
  }
  const std::size_t start = out.size();
  AppendFixed(out, v, decimals);
  if (out.find('.', start) == std::string::npos) return;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
}

// 49°03.50'N: degrees, minutes to two decimals, hemisphere.
void AppendCoordinate(std::string& out, double v, char positive, char negative) {
  const double a = std::abs(v);
  int degrees = static_cast<int>(a);
  double minutes = std::round((a - degrees) * 6000.0) / 100.0;
  if (minutes >= 60.0) {
    ++degrees;
    minutes -= 60.0;
  }
  AppendInt(out, degrees);
  out.append(kDegree);
  if (minutes < 10.0) out.push_back('0');
  AppendFixed(out, minutes, 2);
  out.push_back('\'');
  out.push_back(v < 0 ? negative : positive);
}

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  AppendQuotedText(out, text);
  out.push_back('"');
}

// ", " between the parts of the line.
void Next(std::string& out) { out.append(", "); }

void AppendSymbol(std::string& out, const AprsPacket& p) {
  const std::string_view name = AprsSymbolName(p.symbol[0], p.symbol[1]);
  Next(out);
  if (name.empty()) {
    out.append("symbol ");
    AppendQuotedText(out, std::string_view(p.symbol.data(), 2));
    return;
  }
  out.append(name);
  if (p.symbol[0] != '/' && p.symbol[0] != '\\') {
    out.append(" (overlay ");
    out.push_back(p.symbol[0]);
    out.push_back(')');
  }
}

void AppendWeather(std::string& out, const AprsWeather& w) {
  if (w.wind_dir || w.wind_speed_kmh) {
    Next(out);
    out.append("wind");
    if (w.wind_dir) {
      out.push_back(' ');
      AppendInt(out, *w.wind_dir);
      out.append(kDegree);
    }
    if (w.wind_speed_kmh) {
      out.push_back(' ');
      AppendFixed(out, *w.wind_speed_kmh, 0);
      out.append(" km/h");
    }
  }
  const auto value = [&](const std::optional<double>& v, std::string_view before, int decimals,
                         std::string_view after) {
    if (!v) return;
    Next(out);
    out.append(before);
    AppendFixed(out, *v, decimals);
    out.append(after);
  };
  value(w.gust_kmh, "gust ", 0, " km/h");
  value(w.temp_c, "", 1,
        " \xC2\xB0"
        "C");
  value(w.rain_1h_mm, "rain ", 1, " mm in the last hour");
  value(w.rain_24h_mm, "rain ", 1, " mm in 24 hours");
  value(w.rain_midnight_mm, "rain ", 1, " mm since midnight");
  if (w.humidity) {
    Next(out);
    out.append("humidity ");
    AppendInt(out, *w.humidity);
    out.push_back('%');
  }
  value(w.pressure_hpa, "", 1, " hPa");
  if (w.luminosity) {
    Next(out);
    out.append("luminosity ");
    AppendInt(out, *w.luminosity);
    out.append(" W/m\xC2\xB2");
  }
  value(w.snow_24h_cm, "snow ", 1, " cm in 24 hours");
}

void AppendTelemetry(std::string& out, const AprsPacket& p) {
  for (int i = 0; i < p.analog_count; ++i) {
    out.append(i == 0 ? " " : ", ");
    const auto k = static_cast<std::size_t>(i);
    if (i < p.name_count && !p.names[k].empty()) {
      AppendQuotedText(out, p.names[k]);
      out.push_back(' ');
    }
    if (p.has_values) {
      AppendNumber(out, p.values[k], 4);
    } else {
      AppendShortest(out, p.analog[k]);  // as sent
    }
    if (i < p.unit_count && !p.units[k].empty()) {
      out.push_back(' ');
      AppendQuotedText(out, p.units[k]);
    }
  }
  if (!p.digital.empty()) {
    out.append(p.analog_count > 0 ? ", bits " : " bits ");
    out.append(p.digital);
    // The channels the station's PARM names: on (by its BITS sense, with its UNIT label) or off.
    bool named = false;
    for (std::size_t i = 0; i < p.digital.size(); ++i) {
      const std::size_t channel = static_cast<std::size_t>(kAprsAnalogChannels) + i;
      if (static_cast<int>(channel) >= p.name_count || p.names[channel].empty()) continue;
      out.append(named ? ", " : " (");
      named = true;
      AppendQuotedText(out, p.names[channel]);
      const char on = p.bit_sense.size() == 8 ? p.bit_sense[i] : '1';
      if (p.digital[i] != on) {
        out.append(" off");
      } else if (static_cast<int>(channel) < p.unit_count && !p.units[channel].empty()) {
        out.push_back(' ');
        AppendQuotedText(out, p.units[channel]);
      } else {
        out.append(" on");
      }
    }
    if (named) out.push_back(')');
  }
}

// "PHG 25 W, 98 m, 3 dBi, omni", "DFS S2, 98 m, 3 dBi, 90°".
void AppendAntenna(std::string& out, std::string_view what, const AprsAntenna& a) {
  Next(out);
  out.append(what);
  out.push_back(' ');
  if (what == "PHG") {
    AppendInt(out, a.power_w);
    out.append(" W, ");
  } else {
    out.push_back('S');
    AppendInt(out, a.strength);
    out.append(", ");
  }
  AppendFixed(out, a.height_m, 0);
  out.append(" m, ");
  AppendInt(out, a.gain_dbi);
  out.append(" dBi");
  if (a.directivity) {
    out.append(", ");
    if (*a.directivity == 0) {
      out.append("omni");
    } else {
      AppendInt(out, *a.directivity);
      out.append(kDegree);
    }
  }
}

// The position and what goes with it: symbol, speed and course, altitude, range, weather.
void AppendPosition(std::string& out, const AprsPacket& p) {
  if (p.lat && p.lon) {
    out.push_back(' ');
    AppendCoordinate(out, *p.lat, 'N', 'S');
    out.push_back(' ');
    AppendCoordinate(out, *p.lon, 'E', 'W');
    if (p.ambiguity > 0) {
      static constexpr std::string_view kArea[5] = {"", "0.1'", "1'", "10'", "1\xC2\xB0"};
      out.append(" (ambiguous to ");
      out.append(kArea[p.ambiguity]);
      out.push_back(')');
    }
  }
  if (p.symbol[1] != 0) AppendSymbol(out, p);
  if (p.speed_kmh || p.course) {
    Next(out);
    if (p.speed_kmh) {
      AppendFixed(out, *p.speed_kmh, 0);
      out.append(" km/h");
    }
    if (p.course) {
      out.append(p.speed_kmh ? " course " : "course ");
      AppendInt(out, *p.course);
      out.append(kDegree);
    }
  }
  if (p.altitude_m) {
    Next(out);
    out.append("alt ");
    AppendFixed(out, *p.altitude_m, 0);
    out.append(" m");
  }
  if (p.range_km) {
    Next(out);
    out.append("range ");
    AppendFixed(out, *p.range_km, 0);
    out.append(" km");
  }
  if (p.phg) AppendAntenna(out, "PHG", *p.phg);
  if (p.dfs) AppendAntenna(out, "DFS", *p.dfs);
  AppendWeather(out, p.weather);
}

void AppendHead(std::string& out, const AprsPacket& p) {
  switch (p.type) {
    case AprsType::kPosition:
      out.append("Position");
      break;
    case AprsType::kMicE:
      out.append("Mic-E");
      break;
    case AprsType::kObject:
    case AprsType::kItem:
      out.append(p.alive == false ? "Killed " : "");
      out.append(p.type == AprsType::kObject ? (p.alive == false ? "object" : "Object")
                                             : (p.alive == false ? "item" : "Item"));
      if (!p.name.empty()) {
        out.push_back(' ');
        AppendQuotedText(out, p.name);
      }
      break;
    case AprsType::kWeather:
      out.append("Weather");
      break;
    case AprsType::kStatus:
      out.append("Status");
      break;
    case AprsType::kNmea:
      out.append("NMEA");
      if (!p.sentence.empty()) {
        out.push_back(' ');
        AppendQuotedText(out, p.sentence);
      }
      break;
    default:
      break;
  }
  if (!p.timestamp.empty()) {
    out.append(" at ");
    AppendQuotedText(out, p.timestamp);
  }
}

void AppendMessage(std::string& out, const AprsPacket& p) {
  switch (p.type) {
    case AprsType::kMessage:
      out.append("Message");
      if (!p.addressee.empty()) {
        out.append(" to ");
        AppendQuotedText(out, p.addressee);
      }
      if (!p.id.empty()) {
        out.append(" (id ");
        AppendQuotedText(out, p.id);
        if (!p.reply_ack.empty()) {
          out.append(", acks ");
          AppendQuotedText(out, p.reply_ack);
        }
        out.push_back(')');
      }
      if (!p.addressee.empty() || !p.text.empty()) {
        out.append(": ");
        AppendQuoted(out, p.text);
      }
      break;
    case AprsType::kAck:
    case AprsType::kRej:
      out.append(p.type == AprsType::kAck ? "Ack" : "Rej");
      out.append(" of message ");
      AppendQuotedText(out, p.id);
      out.append(" to ");
      AppendQuotedText(out, p.addressee);
      break;
    case AprsType::kBulletin:
      out.append("Bulletin ");
      AppendQuotedText(out, p.addressee);
      out.append(": ");
      AppendQuoted(out, p.text);
      break;
    case AprsType::kTelemetryDefinition:
      out.append("Telemetry definition for ");
      AppendQuotedText(out, p.addressee);
      out.append(": ");
      AppendQuoted(out, p.text);
      break;
    default:
      break;
  }
}

}  // namespace

void AppendAprsWords(std::string& out, const AprsPacket& p) {
  switch (p.type) {
    case AprsType::kPosition:
    case AprsType::kMicE:
    case AprsType::kObject:
    case AprsType::kItem:
    case AprsType::kWeather:
    case AprsType::kNmea:
    case AprsType::kStatus:
      AppendHead(out, p);
      AppendPosition(out, p);
      if (p.type == AprsType::kMicE && !p.status.empty()) {
        Next(out);
        out.append(p.status);
      } else if (p.type == AprsType::kStatus) {
        out.append(": ");
        AppendQuoted(out, p.status);
      }
      if (!p.device.empty() && p.type == AprsType::kMicE) {
        Next(out);
        out.append(p.device);
      }
      if (p.analog_count > 0) {
        Next(out);
        out.append("telemetry #");
        AppendQuotedText(out, p.seq);
        out.push_back(':');
        AppendTelemetry(out, p);
      }
      if (!p.comment.empty()) {
        Next(out);
        AppendQuoted(out, p.comment);
      }
      break;
    case AprsType::kMessage:
    case AprsType::kAck:
    case AprsType::kRej:
    case AprsType::kBulletin:
    case AprsType::kTelemetryDefinition:
      AppendMessage(out, p);
      break;
    case AprsType::kTelemetry:
      out.append("Telemetry");
      if (!p.project.empty()) {
        out.push_back(' ');
        AppendQuoted(out, p.project);
      }
      if (!p.seq.empty()) {
        out.append(" #");
        AppendQuotedText(out, p.seq);
      }
      if (p.analog_count > 0 || !p.digital.empty()) {
        out.push_back(':');
        AppendTelemetry(out, p);
      }
      if (!p.comment.empty()) {
        Next(out);
        AppendQuoted(out, p.comment);
      }
      break;
    case AprsType::kQuery:
      out.append("Query ");
      AppendQuotedText(out, p.text);
      if (!p.addressee.empty()) {
        out.append(" to ");
        AppendQuotedText(out, p.addressee);
      }
      if (!p.comment.empty()) {
        Next(out);
        AppendQuoted(out, p.comment);
      }
      break;
    case AprsType::kCapabilities:
      out.append("Capabilities: ");
      AppendQuoted(out, p.text);
      break;
    case AprsType::kThirdParty:
      if (p.inner_source.empty()) {
        out.append("Third-party");
        break;
      }
      out.append("Third-party from ");
      AppendQuotedText(out, p.inner_source);
      out.append(" to ");
      AppendQuotedText(out, p.inner_destination);
      if (!p.inner_path.empty()) {
        out.append(" via ");
        AppendQuotedText(out, p.inner_path);
      }
      if (p.inner != nullptr) {
        out.append(": ");
        AppendAprsWords(out, *p.inner);
      }
      break;
    case AprsType::kUserDefined:
      out.append("User-defined data: ");
      AppendQuoted(out, p.text);
      break;
    case AprsType::kOther:
      out.append("Other data type");
      if (p.data_type != 0) {
        out.push_back(' ');
        AppendQuotedChar(out, p.data_type);
      }
      break;
  }
  if (!p.error.empty()) {
    out.append(", invalid: ");
    out.append(p.error);
  }
}

}  // namespace packscope
