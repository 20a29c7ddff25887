// The decoder against Dire Wolf's decode_aprs (Debian package direwolf): both read the corpus
// in tests/aprs/data (monitor lines SOURCE>DESTINATION,PATH:info), and their positions (to
// 1e-4 degree), speeds, courses, altitudes, message fields, object names, Mic-E message codes,
// telemetry and weather values must agree. Where decode_aprs is wrong, the difference is listed
// below with the reason; a listed difference that no longer occurs fails the test too.
//
// decode_aprs prints, for each input line, the line again (green), then error lines (red), a
// first decoded line with the data type (blue), a position line ("N 49 03.5000, W 072 01.7500,
// 41 MPH, course 88, alt 1234 ft"), then weather, telemetry and comment lines. Speeds are in
// miles per hour and altitudes in feet, both rounded to whole numbers.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "aprs/aprs_decoder.h"

namespace packscope {
namespace {

// ---------------------------------------------------------------------------------------------
// The corpus

struct CorpusLine {
  std::string text;  // as in the file
  std::string source;
  std::string destination;
  std::string info;  // bytes, <0xNN> read back
};

std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s.substr(i, 3) == "<0x" && i + 5 < s.size() && s[i + 5] == '>') {
      out.push_back(static_cast<char>(std::stoi(std::string(s.substr(i + 3, 2)), nullptr, 16)));
      i += 5;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

CorpusLine ParseMonitorLine(const std::string& text) {
  CorpusLine c;
  c.text = text;
  const std::size_t colon = text.find(':');
  const std::string head = text.substr(0, colon);
  const std::size_t gt = head.find('>');
  c.source = head.substr(0, gt);
  const std::string rest = head.substr(gt + 1);
  c.destination = rest.substr(0, rest.find(','));
  c.info = Unescape(std::string_view(text).substr(colon + 1));
  return c;
}

std::vector<CorpusLine> ReadCorpus() {
  std::vector<CorpusLine> lines;
  for (const char* name : {"corpus.txt", "corpus_generated.txt"}) {
    std::ifstream in(std::string(PACKSCOPE_APRS_DATA) + "/" + name);
    EXPECT_TRUE(in.good()) << name;
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      lines.push_back(ParseMonitorLine(line));
    }
  }
  return lines;
}

// The monitor line of a third-party packet's inner packet, or empty.
std::string InnerLine(const CorpusLine& c) {
  const std::size_t brace = c.text.find(":}");
  if (brace == std::string::npos || c.text.find(':') != brace) return {};
  const std::string inner = c.text.substr(brace + 2);
  const std::size_t colon = inner.find(':');
  if (colon == std::string::npos || inner.substr(0, colon).find('>') == std::string::npos) {
    return {};
  }
  return inner;
}

// ---------------------------------------------------------------------------------------------
// decode_aprs and its output

bool HasDecodeAprs() { return std::system("command -v decode_aprs > /dev/null 2>&1") == 0; }

enum class Color { kOther, kRecord, kError, kDecoded };

struct OutputLine {
  Color color;
  std::string text;
};

// Splits the output into lines, each with the colour in force at its first character, escape
// sequences removed.
std::vector<OutputLine> ColoredLines(const std::string& raw) {
  std::vector<OutputLine> lines;
  Color color = Color::kOther;
  OutputLine line{color, {}};
  bool started = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\x1b' && i + 1 < raw.size() && raw[i + 1] == '[') {
      const std::size_t end = raw.find_first_of("mJ", i);
      const std::string code = raw.substr(i + 2, end - i - 2);
      if (code == "38;2;0;192;0") {
        color = Color::kRecord;
      } else if (code == "38;2;255;0;0") {
        color = Color::kError;
      } else if (code == "38;2;0;0;255") {
        color = Color::kDecoded;
      } else if (code.rfind("38;", 0) == 0) {
        color = Color::kOther;
      }
      i = end;
      continue;
    }
    if (raw[i] == '\n') {
      if (!started) line.color = color;
      lines.push_back(line);
      line = OutputLine{color, {}};
      started = false;
      continue;
    }
    if (!started) {
      line.color = color;
      started = true;
    }
    line.text.push_back(raw[i]);
  }
  if (started) lines.push_back(line);
  return lines;
}

struct DwRecord {
  std::string echo;
  std::string type_line;
  bool has_position_line = false;
  std::optional<double> lat;
  std::optional<double> lon;
  std::optional<double> mph;
  std::optional<int> course;
  std::optional<double> feet;
  std::string weather;
  std::string telemetry;
  std::string comment;
};

// "N 49 03.5000" -> 49.058333; nothing for anything else.
std::optional<double> DwCoordinate(const std::string& token) {
  if (token.size() < 4 || std::string("NSEW").find(token[0]) == std::string::npos) {
    return std::nullopt;
  }
  std::istringstream in(token.substr(2));
  double degrees = 0;
  double minutes = 0;
  if (!(in >> degrees >> minutes)) return std::nullopt;
  const double v = degrees + std::abs(minutes) / 60.0;
  return token[0] == 'S' || token[0] == 'W' ? -v : v;
}

std::vector<std::string> SplitTokens(const std::string& s) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos <= s.size()) {
    const std::size_t at = s.find(", ", pos);
    out.push_back(s.substr(pos, at == std::string::npos ? std::string::npos : at - pos));
    if (at == std::string::npos) break;
    pos = at + 2;
  }
  return out;
}

// Reads a position line; false when the line is not one.
bool ReadPositionLine(std::string line, DwRecord& r) {
  if (line.rfind("Grid square = ", 0) == 0) line = line.substr(line.find(", ") + 2);
  const std::vector<std::string> tokens = SplitTokens(line);
  bool any = false;
  for (const std::string& t : tokens) {
    if (t == "Invalid Latitude" || t == "Invalid Longitude") {
      any = true;
    } else if (const auto c = DwCoordinate(t); c && (t[0] == 'N' || t[0] == 'S')) {
      r.lat = c;
      any = true;
    } else if (c) {
      r.lon = c;
      any = true;
    } else if (t.size() > 4 && t.substr(t.size() - 4) == " MPH") {
      r.mph = std::stod(t);
      any = true;
    } else if (t.rfind("course ", 0) == 0) {
      r.course = std::stoi(t.substr(7));
      any = true;
    } else if (t.rfind("alt ", 0) == 0) {
      r.feet = std::stod(t.substr(4));
      any = true;
    } else if (!any) {
      return false;
    }
  }
  return any;
}

std::vector<DwRecord> RunDecodeAprs(const std::vector<std::string>& input) {
  char path[] = "/tmp/packscope-aprs-diff-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  std::string text;
  for (const std::string& l : input) text += l + "\n";
  EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  std::string raw;
  if (FILE* p = popen((std::string("decode_aprs ") + path + " 2>&1").c_str(), "r")) {
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) raw.append(buf, n);
    pclose(p);
  }
  unlink(path);

  std::vector<DwRecord> records;
  const std::vector<OutputLine> lines = ColoredLines(raw);
  std::size_t i = 0;
  while (i < lines.size()) {
    // A record: an empty line and the echoed input line, both in the record colour.
    if (!(lines[i].color == Color::kRecord && lines[i].text.empty() && i + 1 < lines.size())) {
      ++i;
      continue;
    }
    DwRecord r;
    r.echo = lines[i + 1].text;
    i += 2;
    bool after_type = false;
    for (; i < lines.size(); ++i) {
      const OutputLine& l = lines[i];
      if (l.color == Color::kRecord && l.text.empty()) break;
      if (l.color == Color::kError) continue;
      if (!after_type) {
        if (l.color == Color::kDecoded) {
          r.type_line = l.text;
          after_type = true;
        }
        continue;
      }
      if (!r.has_position_line && r.weather.empty() && r.telemetry.empty() && r.comment.empty() &&
          ReadPositionLine(l.text, r)) {
        r.has_position_line = true;
      } else if ((r.type_line.find("Weather Report") != std::string::npos ||
                  r.type_line.rfind("Ultimeter", 0) == 0) &&
                 r.weather.empty() &&
                 (l.text.rfind("wind ", 0) == 0 || l.text.rfind(", ", 0) == 0)) {
        r.weather = l.text;
      } else if (r.telemetry.empty() && l.text.find("Seq=") != std::string::npos) {
        r.telemetry = l.text;
      } else if (r.comment.empty()) {
        r.comment = l.text;
      }
    }
    records.push_back(r);
  }
  return records;
}

// ---------------------------------------------------------------------------------------------
// Comparison

struct Difference {
  std::string line;
  std::string field;
  std::string ours;
  std::string theirs;
};

std::string Show(const std::optional<double>& v) {
  if (!v) return "absent";
  std::ostringstream s;
  s.precision(9);
  s << *v;
  return s.str();
}

// How many values of each field both sides gave, so that the test knows it compared something.
std::map<std::string, int> g_compared;

class Comparison {
 public:
  explicit Comparison(std::string line) : line_(std::move(line)) {}

  void Number(const std::string& field, const std::optional<double>& ours,
              const std::optional<double>& theirs, double tolerance) {
    if (ours && theirs) ++g_compared[field.substr(0, field.find(' '))];
    if (ours.has_value() != theirs.has_value() || (ours && std::abs(*ours - *theirs) > tolerance)) {
      differences.push_back({line_, field, Show(ours), Show(theirs)});
    }
  }
  void Text(const std::string& field, const std::string& ours, const std::string& theirs) {
    if (!ours.empty() && !theirs.empty()) ++g_compared[field.substr(0, field.find(' '))];
    if (ours != theirs) differences.push_back({line_, field, ours, theirs});
  }

  std::vector<Difference> differences;

 private:
  std::string line_;
};

// Our data type as decode_aprs's first line names it.
std::string DwType(const DwRecord& r) {
  const std::string& t = r.type_line;
  const auto starts = [&](const char* s) { return t.rfind(s, 0) == 0; };
  if (starts("Positionless Weather Report") || starts("Weather Report with Object")) {
    return starts("Positionless") ? "weather" : "object";
  }
  if (starts("Weather Report") || starts("Ultimeter")) return "weather";
  if (starts("Position")) return "position";
  if (starts("MIC-E")) return "mic-e";
  if (starts("Object") || starts("Killed Object")) return "object";
  if (starts("Item") || starts("Killed Item")) return "item";
  if (starts("ACK message")) return "ack";
  if (starts("REJ message")) return "rej";
  if (starts("Telemetry Parameter") || starts("Telemetry Unit") || starts("Telemetry Equation") ||
      starts("Telemetry Bit")) {
    return "telemetry-definition";
  }
  if (starts("Telemetry")) return "telemetry";
  if (starts("APRS Message")) {
    // Bulletins are messages to BLNn or NWS-xxxx for decode_aprs.
    const std::size_t q = t.find("for \"");
    const std::string to = q == std::string::npos ? "" : t.substr(q + 5);
    return to.rfind("BLN", 0) == 0 || to.rfind("NWS-", 0) == 0 ? "bulletin" : "message";
  }
  if (starts("Status Report")) return "status";
  if (starts("General Query") || starts("Directed Station Query")) return "query";
  if (starts("Station Capabilities")) return "capabilities";
  if (starts("Third Party Header")) return "third-party";
  if (starts("Raw GPS data")) return "nmea";
  if (starts("User-Defined")) return "user-defined";
  return "other";
}

// "APRS Message 001 for "KB2ICI-14"": the number and the addressee.
void DwMessageFields(const std::string& t, std::string& id, std::string& addressee) {
  const std::size_t q = t.find(" for \"");
  if (q == std::string::npos) return;
  addressee = t.substr(q + 6, t.find('"', q + 6) - q - 6);
  const std::size_t start = t.find("essage ") + 7;
  id = start <= q ? t.substr(start, q - start) : "";
  // A line end after the number stays in decode_aprs's number.
  if (!id.empty() && id.back() == '\r') id.pop_back();
}

// The channels of decode_aprs's telemetry line: "name=value unit" after "Seq=n".
struct DwChannel {
  std::string name;
  double value = 0;
  std::string unit;
  int decimals = 0;
};

void CompareTelemetry(Comparison& c, const AprsPacket& p, const DwRecord& r) {
  if (p.analog_count == 0 && p.digital.empty()) {
    c.Text("telemetry", "absent", "present");
    return;
  }
  std::string line = r.telemetry;
  const std::size_t seq_at = line.find("Seq=");
  std::vector<std::string> tokens = SplitTokens(line.substr(seq_at));
  const std::string seq = tokens[0].substr(4);
  // decode_aprs shows the sequence as a number; "MIC" reads as 0.
  const std::string ours_seq =
      p.seq == "MIC" ? "0" : std::to_string(std::atoi(std::string(p.seq).c_str()));
  c.Text("seq", ours_seq, seq);
  std::vector<DwChannel> channels;
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const std::string& t = tokens[i];
    DwChannel ch;
    const std::size_t eq = t.find('=');
    ch.name = t.substr(0, eq);
    std::string value = t.substr(eq + 1);
    const std::size_t space = value.find(' ');
    std::string number = value.substr(0, space);
    if (space != std::string::npos) ch.unit = value.substr(space + 1);
    if (number.empty()) {
      // Digital channels with a label: "Camra= Click0", the bit last.
      number = t.substr(t.size() - 1);
      ch.unit = value.substr(1, value.size() - 2);
    }
    ch.value = std::stod(number);
    const std::size_t point = number.find('.');
    ch.decimals = point == std::string::npos ? 0 : static_cast<int>(number.size() - point - 1);
    channels.push_back(ch);
  }
  const int analog = std::min(p.analog_count, static_cast<int>(channels.size()));
  c.Text("analog count", std::to_string(p.analog_count), std::to_string(analog));
  for (int i = 0; i < analog; ++i) {
    const DwChannel& ch = channels[static_cast<std::size_t>(i)];
    const std::string n = std::to_string(i + 1);
    const double ours = p.has_values ? p.values[static_cast<std::size_t>(i)]
                                     : p.analog[static_cast<std::size_t>(i)];
    // decode_aprs scales in single precision: 7 significant digits.
    c.Number((p.has_values ? "value " : "analog ") + n, ours, ch.value,
             0.5 * std::pow(10.0, -ch.decimals) + 1e-6 * std::abs(ours));
    c.Text("name " + n,
           i < p.name_count ? std::string(p.names[static_cast<std::size_t>(i)]) : "A" + n, ch.name);
    if (i < p.unit_count)
      c.Text("unit " + n, std::string(p.units[static_cast<std::size_t>(i)]), ch.unit);
  }
  // Digital channels: decode_aprs shows, with a BITS sense, whether each bit is in the state
  // the sense calls active; without one the bit as sent.
  const std::size_t digital = channels.size() - static_cast<std::size_t>(analog);
  c.Text("digital count", std::to_string(p.digital.empty() ? 0 : 8), std::to_string(digital));
  for (std::size_t i = 0; i < digital && i < p.digital.size(); ++i) {
    int bit = p.digital[i] - '0';
    if (p.bit_sense.size() == 8) bit = p.digital[i] == p.bit_sense[i] ? 1 : 0;
    c.Number("digital " + std::to_string(i + 1), bit,
             channels[static_cast<std::size_t>(analog) + i].value, 0.0);
  }
}

// decode_aprs's weather line: "wind 4.6 mph, direction 220, gust 5, temperature 77, rain 0.00
// in last hour, ..., humidity 50, barometer 29.24, "wRSW"".
void CompareWeather(Comparison& c, const AprsWeather& w, const DwRecord& r) {
  std::map<std::string, double> dw;
  for (const std::string& t : SplitTokens(r.weather)) {
    const auto value = [&](std::size_t from) { return std::stod(t.substr(from)); };
    if (t.rfind("wind ", 0) == 0) dw["wind"] = value(5);
    if (t.rfind("direction ", 0) == 0) dw["direction"] = value(10);
    if (t.rfind("gust ", 0) == 0) dw["gust"] = value(5);
    if (t.rfind("temperature ", 0) == 0) dw["temperature"] = value(12);
    if (t.rfind("humidity ", 0) == 0) dw["humidity"] = value(9);
    if (t.rfind("barometer ", 0) == 0) dw["barometer"] = value(10);
    if (t.find(" in last hour") != std::string::npos) dw["rain 1h"] = value(5);
    if (t.find(" in last 24 hours") != std::string::npos) dw["rain 24h"] = value(5);
    if (t.find(" since midnight") != std::string::npos) dw["rain midnight"] = value(5);
  }
  const auto theirs = [&](const std::string& k) {
    return dw.count(k) ? std::optional<double>(dw[k]) : std::nullopt;
  };
  const auto map = [](const auto& v, auto f) {
    return v ? std::optional<double>(f(static_cast<double>(*v))) : std::nullopt;
  };
  const auto mph = [](double kmh) { return kmh / 1.609344; };
  const auto inch = [](double mm) { return mm / 25.4; };
  // Without a wind speed decode_aprs leaves the direction out.
  c.Number("wind speed", map(w.wind_speed_kmh, mph), theirs("wind"), 0.06);
  if (w.wind_speed_kmh) {
    c.Number("wind direction", map(w.wind_dir, [](double d) { return std::fmod(d, 360.0); }),
             map(theirs("direction"), [](double d) { return std::fmod(d, 360.0); }), 0.0);
  }
  c.Number("gust", map(w.gust_kmh, mph), theirs("gust"), 0.51);
  c.Number("temperature", map(w.temp_c, [](double t) { return t * 9 / 5 + 32; }),
           theirs("temperature"), 0.51);
  c.Number("humidity", map(w.humidity, [](double h) { return h; }), theirs("humidity"), 0.0);
  c.Number("pressure", map(w.pressure_hpa, [](double h) { return h * 0.0295333727; }),
           theirs("barometer"), 0.0051);
  c.Number("rain 1h", map(w.rain_1h_mm, inch), theirs("rain 1h"), 0.0051);
  c.Number("rain 24h", map(w.rain_24h_mm, inch), theirs("rain 24h"), 0.0051);
  c.Number("rain midnight", map(w.rain_midnight_mm, inch), theirs("rain midnight"), 0.0051);
}

constexpr const char* kMicECodes[] = {
    "Emergency", "Priority",   "Special",  "Committed",
    "Returning", "In Service", "En Route", "Off Duty",
    "Custom-0",  "Custom-1",   "Custom-2", "Custom-3",
    "Custom-4",  "Custom-5",   "Custom-6", "Unknown MIC-E Message Type"};

void Compare(Comparison& c, const AprsPacket& p, const DwRecord& r) {
  const std::string type = DwType(r);
  // decode_aprs calls an object with the weather symbol a weather report; a weather field's
  // symbol decides it here as well.
  c.Text("type", std::string(AprsTypeName(p.type)), type);

  // Positions, to 1e-4 degree.
  c.Number("lat", p.lat, r.lat, 1e-4);
  c.Number("lon", p.lon, r.lon, 1e-4);
  // Speed in whole miles per hour, course in degrees (0 and 360 are north), altitude in whole
  // feet. Weather reports give wind, not course and speed.
  if (p.type != AprsType::kWeather && type != "weather" &&
      p.weather.wind_speed_kmh == std::nullopt) {
    c.Number("speed", p.speed_kmh ? std::optional<double>(*p.speed_kmh / 1.609344) : std::nullopt,
             r.mph, 0.5 + 1e-6);
    c.Number("course", p.course ? std::optional<double>(*p.course % 360) : std::nullopt,
             r.course ? std::optional<double>(*r.course % 360) : std::nullopt, 0.0);
  }
  c.Number("altitude", p.altitude_m ? std::optional<double>(*p.altitude_m / 0.3048) : std::nullopt,
           r.feet, 0.5 + 0.01);

  if (p.type == AprsType::kMessage || p.type == AprsType::kAck || p.type == AprsType::kRej ||
      p.type == AprsType::kBulletin) {
    std::string id;
    std::string addressee;
    DwMessageFields(r.type_line, id, addressee);
    c.Text("addressee", std::string(p.addressee), addressee);
    // A bulletin's id is its number or letter (BLN3, BLNA); decode_aprs has none for it.
    if (p.type != AprsType::kBulletin) c.Text("id", std::string(p.id), id);
    if (p.type == AprsType::kMessage || p.type == AprsType::kBulletin) {
      // decode_aprs shows the text with its number, and trailing blanks as <0x20>.
      std::string theirs = Unescape(r.comment);
      if (!p.id.empty()) theirs = theirs.substr(0, theirs.rfind('{'));
      c.Text("text", std::string(p.text), theirs);
    }
  }
  if (p.type == AprsType::kObject || p.type == AprsType::kItem) {
    const std::size_t q = r.type_line.find(", \"");
    const std::string name = q == std::string::npos
                                 ? ""
                                 : r.type_line.substr(q + 3, r.type_line.find('"', q + 3) - q - 3);
    c.Text("name", std::string(p.name), name);
    const bool killed = r.type_line.rfind("Killed", 0) == 0;
    c.Text("alive", p.alive ? (*p.alive ? "alive" : "killed") : "unknown",
           r.type_line.find("invalid live/killed") != std::string::npos
               ? "unknown"
               : (killed ? "killed" : "alive"));
  }
  if (p.type == AprsType::kMicE) {
    std::string code;
    for (const char* s : kMicECodes) {
      const std::string tail = std::string(", ") + s;
      if (r.type_line.find(tail) != std::string::npos) code = s;
    }
    c.Text(
        "message code",
        p.status == "unknown message code" ? "Unknown MIC-E Message Type" : std::string(p.status),
        code);
  }
  if (p.analog_count > 0 || !r.telemetry.empty()) {
    if (r.telemetry.empty()) {
      c.Text("telemetry", "present", "absent");
    } else {
      CompareTelemetry(c, p, r);
    }
  }
  if (!r.weather.empty()) CompareWeather(c, p.weather, r);

  // PHG and range from decode_aprs's first line: ", 25 W height=20 3dBi E", ", range=50.0"
  // (feet and miles).
  static constexpr const char* kDirections[] = {"omni", "NE", "E", "SE", "S", "SW", "W", "NW", "N"};
  const std::size_t watts = r.type_line.find(" W height=");
  if (p.phg || watts != std::string::npos) {
    if (!p.phg || watts == std::string::npos) {
      c.Text("phg", p.phg ? "present" : "absent",
             watts != std::string::npos ? "present" : "absent");
    } else {
      const std::size_t start = r.type_line.rfind(", ", watts) + 2;
      std::istringstream in(r.type_line.substr(start));
      double power = 0;
      std::string w;
      std::string height;
      std::string gain;
      std::string direction;
      in >> power >> w >> height >> gain >> direction;
      c.Number("phg power", p.phg->power_w, power, 0.0);
      c.Number("phg height", p.phg->height_m / 0.3048, std::stod(height.substr(7)), 0.01);
      c.Number("phg gain", p.phg->gain_dbi, std::stod(gain), 0.0);
      c.Text("phg directivity",
             p.phg->directivity ? kDirections[*p.phg->directivity / 45] : std::string(), direction);
    }
  }
  const std::size_t range = r.type_line.find(", range=");
  c.Number("range", p.range_km ? std::optional<double>(*p.range_km / 1.609344) : std::nullopt,
           range == std::string::npos
               ? std::nullopt
               : std::optional<double>(std::stod(r.type_line.substr(range + 8))),
           0.051);
}

// ---------------------------------------------------------------------------------------------
// Where decode_aprs is wrong: the corpus line, the field, and why.

struct Known {
  const char* line;
  const char* field;
  const char* reason;
};

// Differences of a kind that several lines show.
struct KnownRule {
  const char* field;
  bool (*applies)(const Difference& d);
  const char* reason;
};

constexpr const char* kCourseUnknown =
    "the course/speed extension sends courses 001-360 and 000 for an unknown course; "
    "decode_aprs shows course 0";
constexpr const char* kLatOver90 = "a latitude over 90 degrees is invalid; decode_aprs shows it";
constexpr const char* kAmbiguityMiddle =
    "blanked digits leave an area open (position ambiguity); we give its middle, decode_aprs "
    "reads the blanks as zeros, the area's corner";
constexpr const char* kAmbiguityLongitude =
    "the latitude's ambiguity applies to the longitude as well (APRS 1.0.1, chapter 6); "
    "decode_aprs keeps the longitude's digits";
constexpr const char* kNoChecksum =
    "the NMEA checksum is optional (the APRS 1.0.1 examples send $GPGLL without one); "
    "decode_aprs refuses every sentence without it";

const Known kKnown[] = {
    {"N0CALL>APRS:!4903.50N/07201.75W>000/010course not known", "course", kCourseUnknown},
    {"N0CALL>APRS:!4903.5 N/07201.7 W-ambiguity 1", "lat", kAmbiguityMiddle},
    {"N0CALL>APRS:!4903.5 N/07201.7 W-ambiguity 1", "lon", kAmbiguityMiddle},
    {"N0CALL>APRS:!4903.  N/07201.  W-ambiguity 2", "lat", kAmbiguityMiddle},
    {"N0CALL>APRS:!4903.  N/07201.  W-ambiguity 2", "lon", kAmbiguityMiddle},
    {"N0CALL>APRS:!490 .  N/0720 .  W-ambiguity 3", "lat", kAmbiguityMiddle},
    {"N0CALL>APRS:!490 .  N/0720 .  W-ambiguity 3", "lon", kAmbiguityMiddle},
    {"N0CALL>APRS:!49  .  N/072  .  W-ambiguity 4", "lat", kAmbiguityMiddle},
    {"N0CALL>APRS:!49  .  N/072  .  W-ambiguity 4", "lon", kAmbiguityMiddle},
    {"N0CALL>APRS:!4903.  N/07201.75W-latitude open, longitude given", "lat", kAmbiguityMiddle},
    {"N0CALL>APRS:!4903.  N/07201.75W-latitude open, longitude given", "lon", kAmbiguityLongitude},
    {"N0CALL>T2SPLZ:`c_Vm6hk/`two digits open", "lat", kAmbiguityMiddle},
    {"N0CALL>T2SPLZ:`c_Vm6hk/`two digits open", "lon", kAmbiguityLongitude},
    {"N0CALL>T2SZLZ:`c_Vm6hk/`three digits open", "lat", kAmbiguityMiddle},
    {"N0CALL>T2SZLZ:`c_Vm6hk/`three digits open", "lon", kAmbiguityLongitude},
    {"N0CALL>T2ZZLZ:`c_Vm6hk/`four digits open", "lat", kAmbiguityMiddle},
    {"N0CALL>T2ZZLZ:`c_Vm6hk/`four digits open", "lon", kAmbiguityLongitude},
    {"N0CALL>APRS:!9103.50N/07201.75W-latitude over 90", "lat", kLatOver90},
    {"N0CALL>APRS:!9000.01N/07201.75W-just over the pole", "lat", kLatOver90},
    {"N0CALL>APRS:!4903.50N/18101.75W-longitude over 180", "lon",
     "a longitude over 180 degrees is invalid; decode_aprs shows it"},
    {"N0CALL>APRS:=/{{{{{{{{>7P[beyond the map", "lat",
     "base-91 latitude {{{{ is beyond the south pole (-90.02); decode_aprs shows it"},
    {"N0CALL>APRS:=/{{{{{{{{>7P[beyond the map", "lon",
     "base-91 longitude {{{{ is beyond 180 degrees east (180.04); decode_aprs shows it"},
    {"N0CALL>APRS:!4903. 0N/07201.75W-blank before a digit", "lat",
     "blanks may only stand for the last digits (ambiguity); decode_aprs reads a blank before a "
     "digit as zero"},
    {"N0CALL>APRS:TheNet X1J4 (BFLD)!4903.50N/07201.75W-", "type",
     "APRS 1.0.1 lets the ! of a position stand within the first 40 characters (TheNet X1J4 "
     "beacons); decode_aprs takes the T for a telemetry report"},
    {"N0CALL>APRS:TheNet X1J4 (BFLD)!4903.50N/07201.75W-", "lat", "the same"},
    {"N0CALL>APRS:TheNet X1J4 (BFLD)!4903.50N/07201.75W-", "lon", "the same"},
    {"N0CALL>BEACON:Beacon text !4237.14N/07120.83W#Digi", "type",
     "a position whose ! stands within the first 40 characters; decode_aprs does not look"},
    {"N0CALL>BEACON:Beacon text !4237.14N/07120.83W#Digi", "lat", "the same"},
    {"N0CALL>BEACON:Beacon text !4237.14N/07120.83W#Digi", "lon", "the same"},
    {"N0CALL>APRS:!4903.50N/07201.75W>Hello /A=-00012 below the sea", "altitude",
     "altitudes below sea level are sent /A=-ddddd; decode_aprs reads only 6 digits"},
    {"N0CALL>APRS:=/5L!!<*e7>", "lat",
     "a compressed position has 13 bytes and this one ends after 10: we decode no part of a "
     "cut-short position, decode_aprs shows what it finds"},
    {"N0CALL>APRS:=/5L!!<*e7>", "lon", "the same"},
    {"N0CALL>APRS:;SHORT*", "name",
     "an object's name has 9 bytes and this field ends after 6: decode_aprs shows what it finds"},
    {"N0CALL>APRS:!4903.50N/07201.7", "lat",
     "the field ends inside its longitude: we decode no part of a cut-short position, "
     "decode_aprs shows the latitude"},
    {"N0CALL>APRS:!4903.50N/", "lat", "the same"},
    // Mic-E.
    {"N0CALL>T2S:`c_Vm6hk/`destination too short", "lat",
     "a Mic-E destination needs 6 characters; decode_aprs reads the bytes after the 3 given ones"},
    {"N0CALL>T2S:`c_Vm6hk/`destination too short", "lon", "the same"},
    {"N0CALL>T2S:`c_Vm6hk/`destination too short", "speed", "the same"},
    {"N0CALL>T2S:`c_Vm6hk/`destination too short", "course", "the same"},
    {"N0CALL>T2S:`c_Vm6hk/`destination too short", "message code", "the same"},
    {"N0CALL>APRS:`c_Vm6hk/`not a Mic-E destination", "lat",
     "APRS is no Mic-E destination (4 characters); decode_aprs decodes beyond them"},
    {"N0CALL>APRS:`c_Vm6hk/`not a Mic-E destination", "lon", "the same"},
    {"N0CALL>APRS:`c_Vm6hk/`not a Mic-E destination", "speed", "the same"},
    {"N0CALL>APRS:`c_Vm6hk/`not a Mic-E destination", "course", "the same"},
    {"N0CALL>APRS:`c_Vm6hk/`not a Mic-E destination", "message code", "the same"},
    {"N0CALL>TZSP0W:`c_Vm6hk/`blank before a digit", "lat",
     "Z (a blank) may only stand for the last digits; decode_aprs reads it as 0"},
    {"N0CALL>TZSP0W:`c_Vm6hk/`blank before a digit", "lon", "the same"},
    {"N0CALL>TZSP0W:`c_Vm6hk/`blank before a digit", "speed", "the same"},
    {"N0CALL>TZSP0W:`c_Vm6hk/`blank before a digit", "course", "the same"},
    {"N0CALL>TZSP0W:`c_Vm6hk/`blank before a digit", "message code", "the same"},
    {"N0CALL>T2YP0W:`c_Vm6hk/`latitude minutes over 59", "lat",
     "latitude minutes 90 are invalid; decode_aprs carries them into the degrees"},
    {"N0CALL>T2SP0W:`c_Vm6", "lat",
     "the field ends before its symbol: we decode no part of a cut-short Mic-E field, "
     "decode_aprs reads beyond its end"},
    {"N0CALL>T2SP0W:`c_Vm6", "lon", "the same"},
    {"N0CALL>T2SP0W:`c_Vm6", "speed", "the same"},
    {"N0CALL>T2SP0W:`c_Vm6", "course", "the same"},
    // Items and messages.
    {"N0CALL>APRS:)AB!4903.50N/07201.75WAname too short", "lat",
     "item names have 3 to 9 characters; decode_aprs accepts 2"},
    {"N0CALL>APRS:)AB!4903.50N/07201.75WAname too short", "lon", "the same"},
    {"N0CALL>APRS:)AB!4903.50N/07201.75WAname too short", "name", "the same"},
    {"N0CALL>APRS:)AB!4903.50N/07201.75WAname too short", "alive", "the same"},
    {"N0CALL>APRS:)NAMEOF10CH!4903.50N/07201.75WAname too long", "lat",
     "item names have 3 to 9 characters; decode_aprs cuts the name and reads a position from "
     "its last character on"},
    {"N0CALL>APRS:)NAMEOF10CH!4903.50N/07201.75WAname too long", "lon", "the same"},
    {"N0CALL>APRS:)NAMEOF10CH!4903.50N/07201.75WAname too long", "altitude", "the same"},
    {"N0CALL>APRS:)NAMEOF10CH!4903.50N/07201.75WAname too long", "name", "the same"},
    {"N0CALL>APRS:)NAMEOF10CH!4903.50N/07201.75WAname too long", "type",
     "decode_aprs calls it an object"},

    {"N0CALL>APRS::KB2ICI-14:Braces { inside the text", "id",
     "a message number is 1 to 5 letters or digits at the end; decode_aprs takes \" inside\" "
     "(and overruns its buffer)"},
    {"N0CALL>APRS::KB2ICI-14:Too long a number{123456", "id",
     "a message number has at most 5 characters; decode_aprs takes 6"},
    // Telemetry.
    {"N0CALL>APRS:T#ABC,1,2,3,4,5,00000000", "telemetry",
     "the sequence number ABC is not a number; decode_aprs shows 0"},
    {"N0CALL>APRS:T#013,1,two,3,4,5,00000000", "telemetry",
     "\"two\" is not a number; decode_aprs shows 0"},
    {"N0CALL>APRS:T#014,1,2,3,4,5,0110", "digital count",
     "4 bits are not the 8 the report needs; decode_aprs shows them"},
    {"N0CALL>APRS:T#014,1,2,3,4,5,01102001", "digital count",
     "a 2 is no bit; decode_aprs shows the other 7"},
    // NMEA.
    {"N0CALL>APRS:$GPGGA,102705,5157.9762,N,00029.3256,W,1,04,2.0,75.7,M,47.6,M,,", "lat",
     kNoChecksum},
    {"N0CALL>APRS:$GPGGA,102705,5157.9762,N,00029.3256,W,1,04,2.0,75.7,M,47.6,M,,", "lon",
     kNoChecksum},
    {"N0CALL>APRS:$GPGGA,102705,5157.9762,N,00029.3256,W,1,04,2.0,75.7,M,47.6,M,,", "altitude",
     kNoChecksum},
    {"N0CALL>APRS:$GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", "lat",
     kNoChecksum},
    {"N0CALL>APRS:$GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", "lon",
     kNoChecksum},
    {"N0CALL>APRS:$GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", "speed",
     kNoChecksum},
    {"N0CALL>APRS:$GNRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", "course",
     kNoChecksum},
    {"N0CALL>APRS:$GPGLL,2554.459,N,08020.187,W,154027.281,A", "type",
     "$ begins raw NMEA of any sentence; decode_aprs knows only RMC and GGA"},
    {"N0CALL>APRS:;LEADER   #092345z4903.50N/07201.75W>no state", "lat",
     "an object's state is * or _; with another byte where it should stand the field is not "
     "laid out as an object and we read no position out of place; decode_aprs reads one"},
    {"N0CALL>APRS:;LEADER   #092345z4903.50N/07201.75W>no state", "lon", "the same"},
    // Ultimeter.
    {"N0CALL>APRS:$ULTW009400DC00E21B8027730008890200010309001E02100000004C", "wind speed",
     "field 1 of the packet mode is the peak of the last 5 minutes, a gust; the wind is the "
     "average of field 13; decode_aprs shows the peak as the wind"},
    {"N0CALL>APRS:$ULTW009400DC00E21B8027730008890200010309001E02100000004C", "gust", "the same"},
    {"N0CALL>APRS:$ULTW009400DC00E21B8027730008890200010309001E02100000004C", "rain midnight",
     "field 12 is today's rain; decode_aprs reads no rain"},
    {"N0CALL>APRS:!!000000A600B50000----------------001C01D500000017", "wind speed",
     "the logging mode's field 12 is the 1-minute wind average; decode_aprs shows field 1, the "
     "wind of the moment"},
    {"N0CALL>APRS:!!000000A600B50000----------------001C01D500000017", "rain midnight",
     "field 11 is today's rain; decode_aprs reads no rain"},
};

const KnownRule kKnownRules[] = {
    {"wind speed",
     [](const Difference& d) {
       return std::abs(std::stod(d.ours) * 1.150779 - std::stod(d.theirs)) < 0.06;
     },
     "a weather report with a position sends its wind \"ddd/sss\" in mph, as its gusts (APRS 1.0.1 "
     "chapter 12, and weather station software); decode_aprs reads knots, as for the speed of "
     "the course/speed extension"},
    {"id", [](const Difference& d) { return d.theirs.rfind(d.ours + "}", 0) == 0; },
     "\"{MM}AA\" is a message number and a reply-ack, AA possibly empty (APRS 1.1 addendum); "
     "decode_aprs takes all of it as the number"},
};

TEST(AprsDifferentialTest, AgreesWithDecodeAprs) {
  if (!HasDecodeAprs()) GTEST_SKIP() << "decode_aprs (Debian package direwolf) is not installed";
  const std::vector<CorpusLine> corpus = ReadCorpus();
  ASSERT_GE(corpus.size(), 300u);

  // decode_aprs does not look into third-party packets: it gets each inner packet as a line of
  // its own, right after the outer one.
  std::vector<std::string> input;
  std::vector<int> inner_of;  // input index -> corpus index whose inner packet it is, or -1
  for (std::size_t i = 0; i < corpus.size(); ++i) {
    input.push_back(corpus[i].text);
    inner_of.push_back(-1);
    if (const std::string inner = InnerLine(corpus[i]); !inner.empty()) {
      input.push_back(inner);
      inner_of.push_back(static_cast<int>(i));
    }
  }
  const std::vector<DwRecord> records = RunDecodeAprs(input);
  ASSERT_EQ(records.size(), input.size());

  AprsDecoder decoder;
  std::vector<Difference> found;
  std::size_t record = 0;
  for (const CorpusLine& line : corpus) {
    ASSERT_EQ(records[record].echo, line.text);
    const AprsPacket& p = decoder.Decode(AprsHeader{line.source, line.destination}, line.info);
    Comparison c(line.text);
    Compare(c, p, records[record++]);
    if (record < input.size() && inner_of[record] >= 0) {
      ASSERT_NE(p.inner, nullptr) << line.text;
      Comparison inner(line.text);
      Compare(inner, *p.inner, records[record++]);
      for (Difference d : inner.differences) {
        d.field = "inner " + d.field;
        c.differences.push_back(d);
      }
    }
    found.insert(found.end(), c.differences.begin(), c.differences.end());
  }

  std::vector<bool> seen(std::size(kKnown), false);
  std::vector<bool> rule_seen(std::size(kKnownRules), false);
  for (const Difference& d : found) {
    bool listed = false;
    for (std::size_t k = 0; k < std::size(kKnown); ++k) {
      if (d.line == kKnown[k].line && d.field == kKnown[k].field) {
        listed = true;
        seen[k] = true;
      }
    }
    for (std::size_t k = 0; k < std::size(kKnownRules); ++k) {
      if (!listed && d.field == kKnownRules[k].field && kKnownRules[k].applies(d)) {
        listed = true;
        rule_seen[k] = true;
      }
    }
    EXPECT_TRUE(listed) << d.line << "\n  " << d.field << ": ours " << d.ours << ", decode_aprs "
                        << d.theirs;
  }
  for (std::size_t k = 0; k < std::size(kKnown); ++k) {
    EXPECT_TRUE(seen[k]) << "listed difference no longer occurs: " << kKnown[k].line << " ("
                         << kKnown[k].field << ")";
  }
  for (std::size_t k = 0; k < std::size(kKnownRules); ++k) {
    EXPECT_TRUE(rule_seen[k]) << "listed difference no longer occurs: " << kKnownRules[k].reason;
  }
  // The corpus exercises every kind of value: a parser of decode_aprs's output that found
  // nothing would pass the comparisons above.
  const std::pair<const char*, int> kAtLeast[] = {
      {"type", 450},    {"lat", 300},      {"lon", 300}, {"speed", 100},      {"course", 100},
      {"altitude", 50}, {"addressee", 40}, {"id", 20},   {"text", 20},        {"name", 30},
      {"alive", 30},    {"message", 45},   {"seq", 20},  {"value", 30},       {"analog", 30},
      {"unit", 20},     {"digital", 100},  {"wind", 20}, {"temperature", 20}, {"pressure", 20},
      {"rain", 60},     {"humidity", 20},  {"gust", 20}, {"phg", 12},         {"range", 1}};
  for (const auto& [field, minimum] : kAtLeast) {
    EXPECT_GE(g_compared[field], minimum) << field;
  }
  for (const auto& [field, count] : g_compared) std::cout << field << " " << count << "\n";
}

}  // namespace
}  // namespace packscope
