#include "aprs/aprs_decoder.h"

#include <algorithm>
#include <cmath>

#include "aprs/aprs_parse.h"
#include "aprs/aprs_tables.h"

namespace packscope {

using namespace aprs_parse;

namespace {

constexpr double kKnotKmh = 1.852;
constexpr double kMileKm = 1.609344;
constexpr double kFootM = 0.3048;
constexpr double kInchMm = 25.4;

constexpr std::array<std::string_view, kAprsTypeCount> kTypeNames = {
    "position", "mic-e",        "object",      "item",    "message",      "ack",
    "rej",      "bulletin",     "status",      "weather", "telemetry",    "telemetry-definition",
    "query",    "capabilities", "third-party", "nmea",    "user-defined", "other"};

}  // namespace

std::string_view AprsTypeName(AprsType type) { return kTypeNames[static_cast<std::size_t>(type)]; }

bool AprsWeather::Any() const {
  return wind_dir || wind_speed_kmh || gust_kmh || temp_c || rain_1h_mm || rain_24h_mm ||
         rain_midnight_mm || humidity || pressure_hpa || luminosity || snow_24h_cm;
}

// Buffers of one nesting level, kept from field to field so that decoding does not allocate.
struct AprsDecoder::Slot {
  AprsPacket packet;
  std::string comment;  // the comment with its decoded parts taken out
  std::string error;
  std::string scratch;
  char seq[8] = {};      // sequence number of |ss11| telemetry
  char digital[8] = {};  // bits of |ss11| telemetry
};

namespace {

// The state of one field's decoding.
struct Field {
  AprsPacket& p;
  std::string& comment;
  std::string& error;
  std::string& scratch;
  char* seq;
  char* digital;
  const AprsHeader& header;
  AprsTelemetryStore& store;
};

// Writes the field's error sentence, unless an earlier part has written one already: the first
// fault is the one shown.
class ErrorText {
 public:
  explicit ErrorText(Field& f) : out_(f.error.empty() ? &f.error : nullptr) {}
  ErrorText& operator<<(std::string_view s) {
    if (out_ != nullptr) out_->append(s);
    return *this;
  }
  ErrorText& operator<<(char c) {
    if (out_ != nullptr) out_->push_back(c);
    return *this;
  }
  ErrorText& operator<<(int v) {
    if (out_ != nullptr) AppendInt(*out_, v);
    return *this;
  }
  // Field bytes in double quotes, non-printable ones as <0xNN>.
  ErrorText& Quoted(std::string_view s) {
    if (out_ != nullptr) {
      out_->push_back('"');
      AppendQuotedText(*out_, s);
      out_->push_back('"');
    }
    return *this;
  }
  ErrorText& Char(char c) {
    if (out_ != nullptr) AppendQuotedChar(*out_, c);
    return *this;
  }

 private:
  std::string* out_;
};

void CutShort(Field& f, std::string_view what, std::size_t have, std::size_t need) {
  ErrorText(f) << what << " cut short: " << static_cast<int>(have) << " of the "
               << static_cast<int>(need) << " bytes it needs";
}

// ---------------------------------------------------------------------------------------------
// Timestamps

bool InRange(std::optional<int> v, int lo, int hi) { return v && *v >= lo && *v <= hi; }

// "ddhhmmz" (UTC), "ddhhmm/" (local time), "hhmmssh" (UTC).
bool ValidTimestamp(std::string_view t) {
  if (t.size() != 7) return false;
  const auto a = Digits(t, 0, 2);
  const auto b = Digits(t, 2, 2);
  const auto c = Digits(t, 4, 2);
  if (t[6] == 'z' || t[6] == '/')
    return InRange(a, 1, 31) && InRange(b, 0, 23) && InRange(c, 0, 59);
  if (t[6] == 'h') return InRange(a, 0, 23) && InRange(b, 0, 59) && InRange(c, 0, 59);
  return false;
}

// Reads the 7-byte timestamp at the start of s; returns the bytes after it.
std::string_view ReadTimestamp(Field& f, std::string_view s) {
  if (s.size() < 7) {
    CutShort(f, "timestamp", s.size(), 7);
    f.p.timestamp = s;
    return {};
  }
  f.p.timestamp = Sub(s, 0, 7);
  if (!ValidTimestamp(f.p.timestamp)) {
    ErrorText(f).Quoted(f.p.timestamp)
        << " is not a timestamp (day, hour, minute and z or /, or hour, minute, second and h)";
  }
  return Sub(s, 7);
}

// ---------------------------------------------------------------------------------------------
// Positions

// A latitude "ddmm.hhN" or longitude "dddmm.hhW" as sent; blanks stand for digits left open.
struct Coordinate {
  int degrees = 0;
  int minutes = 0;     // blanks read as 0
  int hundredths = 0;  // blanks read as 0
  int blanks = 0;      // ambiguity: hundredths (1, 2), minutes (3, 4)
  int sign = 1;
};

// Reads s (8 bytes of latitude or 9 of longitude). what names it in the error sentence.
bool ReadCoordinate(Field& f, std::string_view s, bool latitude, Coordinate& c) {
  const std::size_t d = latitude ? 2 : 3;  // degree digits
  const std::string_view what = latitude ? "latitude" : "longitude";
  // The places that may be blank, from the right: hundredths, tenths, minutes, tens of minutes.
  const std::size_t open[4] = {d + 4, d + 3, d + 1, d};
  while (c.blanks < 4 && s[open[c.blanks]] == ' ') ++c.blanks;
  bool form = s[d + 2] == '.';
  for (std::size_t i = 0; i < d + 5; ++i) {
    if (i == d + 2) continue;
    const bool blank = (c.blanks > 0 && i == open[0]) || (c.blanks > 1 && i == open[1]) ||
                       (c.blanks > 2 && i == open[2]) || (c.blanks > 3 && i == open[3]);
    if (!blank && !IsDigit(s[i])) form = false;
  }
  if (!form) {
    ErrorText e(f);
    e << what << ' ';
    e.Quoted(s) << " is not " << (latitude ? "ddmm.mmN" : "dddmm.mmE");
    return false;
  }
  const auto digit = [&](std::size_t i) { return s[i] == ' ' ? 0 : s[i] - '0'; };
  c.degrees = 0;
  for (std::size_t i = 0; i < d; ++i) c.degrees = c.degrees * 10 + digit(i);
  c.minutes = digit(d) * 10 + digit(d + 1);
  c.hundredths = digit(d + 3) * 10 + digit(d + 4);
  const char h = s[d + 5];
  if (latitude ? (h == 'N' || h == 'n') : (h == 'E' || h == 'e')) {
    c.sign = 1;
  } else if (latitude ? (h == 'S' || h == 's') : (h == 'W' || h == 'w')) {
    c.sign = -1;
  } else {
    ErrorText e(f);
    e << "hemisphere ";
    e.Char(h) << " of the " << what << " is not " << (latitude ? "N or S" : "E or W");
    return false;
  }
  if (c.minutes > 59) {
    ErrorText(f) << "minutes " << c.minutes << " of the " << what << " are over 59";
    return false;
  }
  const int max = latitude ? 90 : 180;
  if (c.degrees > max || (c.degrees == max && (c.minutes > 0 || c.hundredths > 0))) {
    ErrorText e(f);
    e << what << ' ';
    e.Quoted(s) << " is over " << max << " degrees";
    return false;
  }
  return true;
}

// Degrees of a coordinate with blanks open, given as the middle of the area they leave.
double CoordinateValue(const Coordinate& c, int blanks, double max) {
  static constexpr double kMiddle[5] = {0.0, 0.05, 0.5, 5.0, 30.0};  // minutes
  int hundredths = c.minutes * 100 + c.hundredths;                   // hundredths of a minute
  static constexpr int kStep[5] = {1, 10, 100, 1000, 6000};
  hundredths -= hundredths % kStep[blanks];
  double v = c.degrees + (hundredths / 100.0 + kMiddle[blanks]) / 60.0;
  if (v > max) v = max;
  return c.sign * v;
}

// Knots, miles and feet as the result gives them.
double KnotsToKmh(double knots) { return knots * kKnotKmh; }

// Course of a field: 1..360; 0 means unknown; above 360 is an error.
void SetCourse(Field& f, int course) {
  if (course == 0) return;
  if (course > 360) {
    ErrorText(f) << "course " << course << " is over 360 degrees";
    return;
  }
  f.p.course = course;
}

bool ValidTable(char t) { return t == '/' || t == '\\' || IsUpper(t) || IsDigit(t); }

void CheckSymbol(Field& f, char table, char code) {
  if (!ValidTable(table)) {
    ErrorText e(f);
    e << "symbol table ";
    e.Char(table) << " is not / or \\ or an overlay 0-9, A-Z";
  } else if (code < '!' || code > '~') {
    ErrorText e(f);
    e << "symbol code ";
    e.Char(code) << " is not a printable character";
  }
}

// Reads "ddmm.hhN/dddmm.hhW>" (19 bytes).
void ReadUncompressed(Field& f, std::string_view s) {
  Coordinate lat;
  Coordinate lon;
  f.p.symbol[0] = s[8];
  f.p.symbol[1] = s[18];
  const bool lat_ok = ReadCoordinate(f, Sub(s, 0, 8), true, lat);
  const bool lon_ok = ReadCoordinate(f, Sub(s, 9, 9), false, lon);
  CheckSymbol(f, s[8], s[18]);
  // The latitude's blanks make the longitude just as open.
  const int blanks = std::max(lat_ok ? lat.blanks : 0, lon_ok ? lon.blanks : 0);
  f.p.ambiguity = blanks;
  if (lat_ok) f.p.lat = CoordinateValue(lat, blanks, 90.0);
  if (lon_ok) f.p.lon = CoordinateValue(lon, blanks, 180.0);
}

int Base91(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 91 + (c - 33);
  return v;
}

// Reads a compressed position "/YYYYXXXX$cst" (13 bytes): symbol table (a-j for overlays
// 0-9), latitude and longitude in base 91, symbol code, then course and speed, altitude or
// range by the compression type t.
void ReadCompressed(Field& f, std::string_view s) {
  char table = s[0];
  if (table >= 'a' && table <= 'j') table = static_cast<char>('0' + (table - 'a'));
  f.p.symbol[0] = table;
  f.p.symbol[1] = s[9];
  // Latitude and longitude, each valid or not on its own.
  for (int half = 0; half < 2; ++half) {
    const std::string_view digits = Sub(s, half == 0 ? 1 : 5, 4);
    bool valid = true;
    for (char c : digits) {
      if (valid && !IsBase91(c)) {
        ErrorText e(f);
        e << "bad character ";
        e.Char(c) << " in the compressed " << (half == 0 ? "latitude " : "longitude ");
        e.Quoted(digits) << " (base 91 uses ! to {)";
        valid = false;
      }
    }
    if (!valid) continue;
    const double v =
        half == 0 ? 90.0 - Base91(digits) / 380926.0 : -180.0 + Base91(digits) / 190463.0;
    if (half == 0 ? v < -90.0 : v > 180.0) {
      ErrorText e(f);
      e << "compressed " << (half == 0 ? "latitude " : "longitude ");
      e.Quoted(digits) << " is beyond " << (half == 0 ? "the south pole" : "180 degrees east");
      continue;
    }
    (half == 0 ? f.p.lat : f.p.lon) = v;
  }
  if (!(table == '/' || table == '\\' || IsUpper(table) || IsDigit(table))) {
    ErrorText e(f);
    e << "symbol table ";
    e.Char(s[0]) << " of the compressed position is not / \\ A-Z or a-j";
  } else {
    CheckSymbol(f, table, s[9]);
  }

  const char c = s[10];
  const char sp = s[11];
  const char t = s[12];
  if (c == ' ') return;  // no course, speed, altitude or range
  if (!IsBase91(c) || !IsBase91(sp) || !IsBase91(t)) {
    ErrorText e(f);
    e << "bad character in the compressed course, speed or altitude ";
    e.Quoted(Sub(s, 10, 3));
    return;
  }
  if (((t - 33) & 0x18) == 0x10) {
    // The position came from a GGA sentence: cs is the altitude, 1.002^cs feet.
    f.p.altitude_m = std::pow(1.002, (c - 33) * 91 + (sp - 33)) * kFootM;
  } else if (c == '{') {
    f.p.range_km = 2.0 * std::pow(1.08, sp - 33) * kMileKm;
  } else {
    // Course in steps of 4 degrees, 0 (north) to 356; speed 1.08^s - 1 knots.
    const int course = (c - 33) * 4;
    f.p.course = course == 0 ? 360 : course;
    f.p.speed_kmh = KnotsToKmh(std::pow(1.08, sp - 33) - 1.0);
  }
}

// ---------------------------------------------------------------------------------------------
// Comments: altitude /A=, !DAO! precision, |ss11| telemetry

bool IsDaoDigit(char c, bool base91) { return c == ' ' || (base91 ? IsBase91(c) : IsDigit(c)); }

// Decodes |ss1122..| telemetry: sequence, then up to 5 analog values, then the 8 bits, each in
// two base-91 digits.
bool ReadCommentTelemetry(Field& f, std::string_view t) {
  if (t.size() < 4 || t.size() > 14 || t.size() % 2 != 0) return false;
  for (char c : t) {
    if (!IsBase91(c)) return false;
  }
  const int seq = Base91(Sub(t, 0, 2));
  const std::size_t seq_len =
      static_cast<std::size_t>(std::to_chars(f.seq, f.seq + 8, seq).ptr - f.seq);
  f.p.seq = std::string_view(f.seq, seq_len);
  const int pairs = static_cast<int>(t.size() / 2) - 1;
  f.p.analog_count = std::min(pairs, kAprsAnalogChannels);
  for (int i = 0; i < f.p.analog_count; ++i) {
    f.p.analog[static_cast<std::size_t>(i)] =
        Base91(Sub(t, static_cast<std::size_t>(2 + 2 * i), 2));
  }
  if (pairs == 6) {
    const int bits = Base91(Sub(t, 12, 2));
    // The first bit sent is bit 0 of the value.
    for (int i = 0; i < 8; ++i) f.digital[i] = (bits >> i) & 1 ? '1' : '0';
    f.p.digital = std::string_view(f.digital, 8);
  }
  return true;
}

// The comment without the parts decoded from it. dao: apply !DAO! to the position (positions
// of 0.01-minute resolution). Base-91 telemetry is read first, since its digits may look like
// the other parts; then the altitude, and of several !DAO! the last (as the field's parsers
// do), each outside the parts found before it.
void ReadComment(Field& f, std::string_view s, bool dao) {
  s = TrimLineEnd(s);
  std::size_t cut_from[3];
  std::size_t cut_len[3];
  int cuts = 0;
  const auto clear_of_cuts = [&](std::size_t from, std::size_t len) {
    for (int i = 0; i < cuts; ++i) {
      if (from < cut_from[i] + cut_len[i] && from + len > cut_from[i]) return false;
    }
    return true;
  };

  // |ss11..|: telemetry in base 91.
  if (f.p.analog_count == 0) {
    for (std::size_t at = s.find('|'); at != std::string_view::npos; at = s.find('|', at + 1)) {
      const std::size_t end = s.find('|', at + 1);
      if (end == std::string_view::npos) break;
      if (ReadCommentTelemetry(f, Sub(s, at + 1, end - at - 1))) {
        cut_from[cuts] = at;
        cut_len[cuts++] = end - at + 1;
        break;
      }
    }
  }

  // Altitude in feet: /A=123456 or /A=-01234, anywhere.
  for (std::size_t at = s.find("/A="); at != std::string_view::npos; at = s.find("/A=", at + 1)) {
    const std::string_view v = Sub(s, at + 3, 6);
    const bool neg = !v.empty() && v[0] == '-';
    const auto n = Digits(v, neg ? 1 : 0, neg ? 5 : 6);
    if (!n || !clear_of_cuts(at, 9)) continue;
    if (!f.p.altitude_m) f.p.altitude_m = (neg ? -*n : *n) * kFootM;
    cut_from[cuts] = at;
    cut_len[cuts++] = 9;
    break;
  }

  // !DAO!: datum, then one more digit of latitude and longitude minutes (upper-case datum) or
  // two in base 91 (lower-case).
  std::size_t last_dao = std::string_view::npos;
  for (std::size_t at = s.find('!'); at != std::string_view::npos && at + 4 < s.size();
       at = s.find('!', at + 1)) {
    const char datum = s[at + 1];
    const bool base91 = IsLower(datum);
    if (s[at + 4] != '!' || !(IsUpper(datum) || base91) || !IsDaoDigit(s[at + 2], base91) ||
        !IsDaoDigit(s[at + 3], base91) || !clear_of_cuts(at, 5)) {
      continue;
    }
    last_dao = at;
  }
  if (last_dao != std::string_view::npos) {
    const std::size_t at = last_dao;
    const bool base91 = IsLower(s[at + 1]);
    if (dao && f.p.lat && f.p.lon && f.p.ambiguity == 0) {
      const auto extra = [&](char c) {
        if (c == ' ') return 0.0;
        // Minutes: thousandths (upper case), or 0..90 stretched to ten-thousandths 0..99.
        return base91 ? (c - 33) * 1.1 / 10000.0 : (c - '0') / 1000.0;
      };
      *f.p.lat += std::copysign(extra(s[at + 2]) / 60.0, *f.p.lat);
      *f.p.lon += std::copysign(extra(s[at + 3]) / 60.0, *f.p.lon);
      // At a pole or on the date line there is no room for more digits.
      if (std::abs(*f.p.lat) > 90.0 || std::abs(*f.p.lon) > 180.0) {
        ErrorText e(f);
        e << "!DAO! ";
        e.Quoted(Sub(s, at, 5)) << " takes the position beyond "
                                << (std::abs(*f.p.lat) > 90.0 ? "the pole" : "180 degrees");
        if (std::abs(*f.p.lat) > 90.0) f.p.lat.reset();
        if (std::abs(*f.p.lon) > 180.0) f.p.lon.reset();
      }
    }
    cut_from[cuts] = at;
    cut_len[cuts++] = 5;
  }

  if (cuts == 0) {
    f.p.comment = s;
    return;
  }
  // Copy the comment without the cut parts, in the order they stand.
  f.comment.clear();
  std::size_t pos = 0;
  while (true) {
    int next = -1;
    for (int i = 0; i < cuts; ++i) {
      if (cut_from[i] >= pos && (next < 0 || cut_from[i] < cut_from[next])) next = i;
    }
    if (next < 0) break;
    f.comment.append(Sub(s, pos, cut_from[next] - pos));
    pos = cut_from[next] + cut_len[next];
  }
  f.comment.append(Sub(s, pos));
  f.p.comment = f.comment;
}

// ---------------------------------------------------------------------------------------------
// Weather

// Weather values: a letter and a fixed number of characters; blanks or dots for no value.
struct WeatherValue {
  bool present = false;  // the letter and its characters are there
  std::optional<double> value;
};

WeatherValue ReadWeatherValue(std::string_view s, std::size_t& pos, char letter, std::size_t n) {
  WeatherValue w;
  if (pos >= s.size() || s[pos] != letter || pos + 1 + n > s.size()) return w;
  const std::string_view v = Sub(s, pos + 1, n);
  bool unknown = true;
  bool number = true;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const char c = v[i];
    if (c != '.' && c != ' ') unknown = false;
    if (!(IsDigit(c) || c == '.' || (c == '-' && i == 0))) number = false;
  }
  if (unknown) {
    w.present = true;
  } else if (number) {
    w.value = Number(v);
    if (!w.value) return w;
    w.present = true;
  } else {
    return w;
  }
  pos += 1 + n;
  return w;
}

// Reads weather values from s[pos..] in any order; positionless reports give wind direction
// and speed as c and s first (a later s is snowfall). Returns where the values end.
std::size_t ReadWeather(Field& f, std::string_view s, std::size_t pos) {
  AprsWeather& w = f.p.weather;
  bool wind = w.wind_dir.has_value() || w.wind_speed_kmh.has_value();
  while (pos < s.size()) {
    WeatherValue v;
    const char letter = s[pos];
    const auto mph = [](double x) { return x * kMileKm; };
    const auto inch100 = [](double x) { return x * kInchMm / 100.0; };
    switch (letter) {
      case 'c':
        if ((v = ReadWeatherValue(s, pos, 'c', 3)).present && v.value) {
          const int dir = static_cast<int>(*v.value);
          if (dir > 360) {
            ErrorText(f) << "wind direction " << dir << " is over 360 degrees";
          } else {
            w.wind_dir = dir == 0 ? 360 : dir;
          }
        }
        break;
      case 's':
        if ((v = ReadWeatherValue(s, pos, 's', 3)).present && v.value) {
          if (!wind) {
            w.wind_speed_kmh = mph(*v.value);
          } else {
            w.snow_24h_cm = *v.value * kInchMm / 10.0;
          }
        }
        if (v.present) wind = true;
        break;
      case 'g':
        if ((v = ReadWeatherValue(s, pos, 'g', 3)).present && v.value) w.gust_kmh = mph(*v.value);
        break;
      case 't':
        if ((v = ReadWeatherValue(s, pos, 't', 3)).present && v.value) {
          w.temp_c = (*v.value - 32.0) * 5.0 / 9.0;
        }
        break;
      case 'r':
        if ((v = ReadWeatherValue(s, pos, 'r', 3)).present && v.value)
          w.rain_1h_mm = inch100(*v.value);
        break;
      case 'p':
        if ((v = ReadWeatherValue(s, pos, 'p', 3)).present && v.value) {
          w.rain_24h_mm = inch100(*v.value);
        }
        break;
      case 'P':
        if ((v = ReadWeatherValue(s, pos, 'P', 3)).present && v.value) {
          w.rain_midnight_mm = inch100(*v.value);
        }
        break;
      case 'h':
        if ((v = ReadWeatherValue(s, pos, 'h', 2)).present && v.value) {
          const int h = static_cast<int>(*v.value);
          w.humidity = h == 0 ? 100 : h;  // 00 is 100 %
        }
        break;
      case 'b':
        if ((v = ReadWeatherValue(s, pos, 'b', 5)).present && v.value) {
          w.pressure_hpa = *v.value / 10.0;
        }
        break;
      case 'L':
        if ((v = ReadWeatherValue(s, pos, 'L', 3)).present && v.value) {
          w.luminosity = static_cast<int>(*v.value);
        }
        break;
      case 'l':
        if ((v = ReadWeatherValue(s, pos, 'l', 3)).present && v.value) {
          w.luminosity = static_cast<int>(*v.value) + 1000;
        }
        break;
      case '#':
        v = ReadWeatherValue(s, pos, '#', 3);  // raw rain counter: read past it
        break;
      default:
        break;
    }
    if (!v.present) break;
  }
  return pos;
}

// "ddd/sss" at the start of s: wind direction and speed in miles per hour (also "..." and
// "   "). The course/speed extension's speed is in knots, but weather stations send the wind in
// mph as in their other values (APRS 1.0.1 chapter 12), and the field's parsers read it so.
bool ReadWindExtension(Field& f, std::string_view s) {
  if (s.size() < 7 || s[3] != '/') return false;
  const auto part = [](std::string_view v, std::optional<int>& out) {
    if (v == "..." || v == "   ") return true;
    out = Digits(v, 0, 3);
    return out.has_value();
  };
  std::optional<int> dir;
  std::optional<int> speed;
  if (!part(Sub(s, 0, 3), dir) || !part(Sub(s, 4, 3), speed)) return false;
  if (dir && *dir > 360) {
    ErrorText(f) << "wind direction " << *dir << " is over 360 degrees";
  } else if (dir && *dir > 0) {
    f.p.weather.wind_dir = *dir;
  }
  if (speed) f.p.weather.wind_speed_kmh = *speed * kMileKm;
  return true;
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Peet Bros Ultimeter weather stations (APRS 1.0.1 chapter 12): readings in fields of four
// hexadecimal digits, "----" for one the station lacks, in one of two modes:
//
//   $ULTW  packet mode, 11 to 13 fields:  1 wind peak of the last 5 minutes (0.1 km/h), 2 its
//          direction (0 to 255 of a turn), 3 outdoor temperature (0.1 F, two's complement), 4
//          long-term rain (0.01 in), 5 barometer (0.1 mbar), 6 barometer delta, 7 and 8 barometer
//          correction, 9 outdoor humidity (0.1 %), 10 day of the year, 11 minute of the day, 12
//          rain today (0.01 in), 13 wind average of 5 minutes (0.1 km/h)
//   !!     logging mode, 10 to 12 fields: 1 wind speed (0.1 km/h), 2 direction, 3 outdoor
//          temperature, 4 long-term rain, 5 barometer, 6 indoor temperature, 7 outdoor humidity,
//          8 indoor humidity, 9 day of the year, 10 minute of the day, 11 rain today, 12 wind
//          average of 1 minute (0.1 km/h)
//
// The wind speed is the average the station sends (logging mode without it: the wind speed),
// the gust packet mode's peak; rain today is rain since midnight.
void ReadUltimeter(Field& f, std::string_view info) {
  f.p.type = AprsType::kWeather;
  const bool packet = info[0] == '$';
  const std::string_view s = TrimLineEnd(Sub(info, packet ? 5 : 2));
  const std::size_t fields = s.size() / 4;
  const std::size_t least = packet ? 11 : 10;
  if (s.size() % 4 != 0 || fields < least || fields > least + 2) {
    ErrorText e(f);
    e << "Ultimeter " << (packet ? "packet" : "log") << " data ";
    e.Quoted(s) << " is not " << static_cast<int>(least) << " to " << static_cast<int>(least + 2)
                << " fields of 4 hexadecimal digits";
    return;
  }
  std::array<std::optional<int>, 13> v{};
  for (std::size_t i = 0; i < fields; ++i) {
    const std::string_view d = Sub(s, 4 * i, 4);
    if (d == "----") continue;
    int n = 0;
    for (char c : d) n = HexDigit(c) < 0 || n < 0 ? -1 : n * 16 + HexDigit(c);
    if (n < 0) {
      ErrorText e(f);
      e << "Ultimeter field " << static_cast<int>(i + 1) << ' ';
      e.Quoted(d) << " is not 4 hexadecimal digits or ----";
      return;
    }
    v[i] = n;
  }
  // Fields by their number from 1.
  const auto at = [&](std::size_t n) { return v[n - 1]; };
  const std::size_t wind = packet ? 13 : 12;
  AprsWeather& w = f.p.weather;
  if (at(wind)) {
    w.wind_speed_kmh = *at(wind) * 0.1;
  } else if (!packet && at(1)) {
    w.wind_speed_kmh = *at(1) * 0.1;
  }
  if (packet && at(1)) w.gust_kmh = *at(1) * 0.1;
  if (at(2)) {
    if (*at(2) > 255) {
      ErrorText(f) << "Ultimeter wind direction " << *at(2) << " is over 255";
    } else {
      const int dir = static_cast<int>(std::lround(*at(2) * 360.0 / 256.0));
      w.wind_dir = dir == 0 ? 360 : dir;
    }
  }
  if (at(3)) {
    const int tenths_f = *at(3) >= 0x8000 ? *at(3) - 0x10000 : *at(3);
    w.temp_c = (tenths_f / 10.0 - 32.0) * 5.0 / 9.0;
  }
  if (at(5)) w.pressure_hpa = *at(5) * 0.1;
  if (const auto h = at(packet ? 9 : 7)) {
    const int percent = static_cast<int>(std::lround(*h / 10.0));
    if (percent > 100) {
      ErrorText(f) << "Ultimeter humidity " << percent << " % is over 100";
    } else if (percent > 0) {
      w.humidity = percent;
    }
  }
  if (const auto rain = at(packet ? 12 : 11)) w.rain_midnight_mm = *rain * kInchMm / 100.0;
}

// ---------------------------------------------------------------------------------------------
// Data extensions of uncompressed positions

// Reads the 7-byte extension at the start of s, if any; returns the rest.
std::string_view ReadExtension(Field& f, std::string_view s) {
  if (s.size() < 7) return s;
  if (s[3] == '/') {
    const auto three = [](std::string_view v, std::optional<int>& out) {
      if (v == "..." || v == "   ") return true;
      out = Digits(v, 0, 3);
      return out.has_value();
    };
    std::optional<int> course;
    std::optional<int> speed;
    if (three(Sub(s, 0, 3), course) && three(Sub(s, 4, 3), speed)) {
      if (course) SetCourse(f, *course);
      if (speed) f.p.speed_kmh = KnotsToKmh(*speed);
      // A DF report goes on with "/BRG/NRQ".
      if (s.size() >= 15 && s[7] == '/' && s[11] == '/' && Digits(s, 8, 3) && Digits(s, 12, 3)) {
        return Sub(s, 15);
      }
      return Sub(s, 7);
    }
    return s;
  }
  if ((Sub(s, 0, 3) == "PHG" || Sub(s, 0, 3) == "DFS") && Digits(s, 3, 4)) {
    // p (power p*p W) or s (strength, S-points), h (height 10 * 2^h feet), g (gain dB), d
    // (directivity d * 45 degrees, 0 omni).
    const bool phg = s[0] == 'P';
    AprsAntenna a;
    const int first = s[3] - '0';
    (phg ? a.power_w : a.strength) = phg ? first * first : first;
    a.height_m = 10.0 * std::pow(2.0, s[4] - '0') * kFootM;
    a.gain_dbi = s[5] - '0';
    const int d = s[6] - '0';
    if (d <= 8) {
      a.directivity = d * 45;
    } else {
      ErrorText e(f);
      e << (phg ? "PHG" : "DFS") << " directivity " << d << " is not 0 (omni) to 8 (north)";
    }
    (phg ? f.p.phg : f.p.dfs) = a;
    return Sub(s, 7);
  }
  if (Sub(s, 0, 3) == "RNG") {
    if (const auto miles = Digits(s, 3, 4)) {
      f.p.range_km = *miles * kMileKm;
      return Sub(s, 7);
    }
  }
  return s;
}

// After the symbol code of a position, object or item: weather (weather symbol) or the data
// extension, then the comment.
void ReadAfterPosition(Field& f, std::string_view rest, bool compressed) {
  if (f.p.symbol[1] == '_') {
    // A compressed weather report gives wind direction and speed in cs.
    if (compressed) {
      if (f.p.course) f.p.weather.wind_dir = *f.p.course;
      if (f.p.speed_kmh) f.p.weather.wind_speed_kmh = *f.p.speed_kmh;
      f.p.course.reset();
      f.p.speed_kmh.reset();
    } else if (ReadWindExtension(f, rest)) {
      rest.remove_prefix(7);
    }
    const std::size_t end = ReadWeather(f, rest, 0);
    ReadComment(f, Sub(rest, end), false);
    return;
  }
  if (!compressed) rest = ReadExtension(f, rest);
  ReadComment(f, rest, !compressed);
}

// A position (uncompressed, 19 bytes, or compressed, 13 bytes) and what follows it.
void ReadPosition(Field& f, std::string_view s) {
  if (s.empty()) {
    CutShort(f, "position", 0, 13);
    return;
  }
  const bool compressed = !IsDigit(s[0]);
  const std::size_t need = compressed ? 13 : 19;
  if (s.size() < need) {
    CutShort(f, "position", s.size(), need);
    return;
  }
  if (compressed) {
    ReadCompressed(f, s);
  } else {
    ReadUncompressed(f, s);
  }
  ReadAfterPosition(f, Sub(s, need), compressed);
}

// ---------------------------------------------------------------------------------------------
// Mic-E

// One character of the destination: a digit (or a blank for ambiguity), and its message bit
// (standard P-Z, custom A-K).
struct MicEChar {
  int digit = 0;
  bool blank = false;
  bool standard = false;
  bool custom = false;
  bool valid = false;
};

MicEChar ReadMicEChar(char c, bool message_place) {
  MicEChar m;
  if (IsDigit(c)) {
    m.digit = c - '0';
  } else if (c == 'L') {
    m.blank = true;
  } else if (c >= 'P' && c <= 'Y') {
    m.digit = c - 'P';
    m.standard = true;
  } else if (c == 'Z') {
    m.blank = true;
    m.standard = true;
  } else if (message_place && c >= 'A' && c <= 'J') {
    m.digit = c - 'A';
    m.custom = true;
  } else if (message_place && c == 'K') {
    m.blank = true;
    m.custom = true;
  } else {
    return m;
  }
  m.valid = true;
  return m;
}

constexpr std::string_view kStandardCodes[8] = {"Emergency", "Priority",   "Special",  "Committed",
                                                "Returning", "In Service", "En Route", "Off Duty"};
constexpr std::string_view kCustomCodes[8] = {"Emergency", "Custom-6", "Custom-5", "Custom-4",
                                              "Custom-3",  "Custom-2", "Custom-1", "Custom-0"};

void ReadMicE(Field& f, std::string_view info) {
  f.p.type = AprsType::kMicE;
  const std::string_view dest = Sub(f.header.destination, 0, f.header.destination.find('-'));
  if (dest.size() != 6) {
    ErrorText e(f);
    e << "Mic-E destination ";
    e.Quoted(dest) << " is not 6 characters";
    return;
  }
  MicEChar m[6];
  for (std::size_t i = 0; i < 6; ++i) {
    m[i] = ReadMicEChar(dest[i], i < 3);
    if (!m[i].valid) {
      ErrorText e(f);
      e << "bad character ";
      e.Char(dest[i]) << " in the Mic-E destination ";
      e.Quoted(dest);
      return;
    }
  }
  // Blanks stand for the last digits only (ambiguity).
  int blanks = 0;
  while (blanks < 4 && m[5 - blanks].blank) ++blanks;
  for (int i = 0; i < 6 - blanks; ++i) {
    if (m[i].blank) {
      ErrorText e(f);
      e << "Mic-E destination ";
      e.Quoted(dest) << " has a blank digit before a given one";
      return;
    }
  }
  // Message code from the first three characters.
  int code = 0;
  bool standard = false;
  bool custom = false;
  for (int i = 0; i < 3; ++i) {
    code = code * 2 + (m[i].standard || m[i].custom ? 1 : 0);
    standard = standard || m[i].standard;
    custom = custom || m[i].custom;
  }
  if (standard && custom) {
    f.p.status = "unknown message code";
  } else {
    f.p.status = custom ? kCustomCodes[code] : kStandardCodes[code];
  }

  if (info.size() < 9) {
    CutShort(f, "Mic-E field", info.size(), 9);
    return;
  }
  const auto byte = [&](std::size_t i) {
    return static_cast<int>(static_cast<std::uint8_t>(info[i]));
  };
  f.p.symbol[1] = info[7];
  f.p.symbol[0] = info[8];
  CheckSymbol(f, info[8], info[7]);

  Coordinate lat;
  lat.degrees = m[0].digit * 10 + m[1].digit;
  lat.minutes = m[2].digit * 10 + m[3].digit;
  lat.hundredths = m[4].digit * 10 + m[5].digit;
  lat.sign = m[3].standard ? 1 : -1;   // P-Z north
  const bool offset = dest[4] >= 'P';  // longitude + 100 degrees
  const bool west = dest[5] >= 'P';

  bool lat_ok = true;
  if (lat.minutes > 59) {
    ErrorText(f) << "minutes " << lat.minutes << " of the Mic-E latitude are over 59";
    lat_ok = false;
  } else if (lat.degrees > 90 || (lat.degrees == 90 && (lat.minutes > 0 || lat.hundredths > 0))) {
    ErrorText(f) << "Mic-E latitude " << lat.degrees << " degrees is over 90";
    lat_ok = false;
  }
  bool lon_ok = true;
  // Longitude degrees d+28 (+100 by the destination; 180..189 stand for 100..109 and
  // 190..199 for 0..9), minutes m+28 (60..69 stand for 0..9), hundredths h+28.
  Coordinate lon;
  lon.sign = west ? -1 : 1;
  int d = byte(1) - 28 + (offset ? 100 : 0);
  if (d >= 180 && d <= 189) {
    d -= 80;
  } else if (d >= 190 && d <= 199) {
    d -= 190;
  }
  const int min = byte(2) - 28;
  const int hun = byte(3) - 28;
  if (byte(1) < 38 || byte(1) > 127 || d > 179) {
    ErrorText e(f);
    e << "Mic-E longitude degrees byte ";
    e.Char(info[1]) << " is out of range";
    lon_ok = false;
  } else if (min < 10 || min > 69) {
    ErrorText e(f);
    e << "Mic-E longitude minutes byte ";
    e.Char(info[2]) << " is out of range";
    lon_ok = false;
  } else if (hun < 0 || hun > 99) {
    ErrorText e(f);
    e << "Mic-E longitude hundredths byte ";
    e.Char(info[3]) << " is out of range";
    lon_ok = false;
  }
  lon.degrees = d;
  lon.minutes = min >= 60 ? min - 60 : min;
  lon.hundredths = hun;
  if (lat_ok || lon_ok) f.p.ambiguity = blanks;
  if (lat_ok) f.p.lat = CoordinateValue(lat, blanks, 90.0);
  if (lon_ok) f.p.lon = CoordinateValue(lon, blanks, 180.0);

  // Speed SP*10 + DC/10 knots (800 and more: less 800), course (DC%10)*100 + SE (400 and
  // more: less 400).
  const int sp = byte(4) - 28;
  const int dc = byte(5) - 28;
  const int se = byte(6) - 28;
  if (sp < 0 || dc < 0 || se < 0 || sp > 99 || dc > 99 || se > 99) {
    ErrorText e(f);
    e << "Mic-E speed and course bytes ";
    e.Quoted(Sub(info, 4, 3)) << " are out of range";
  } else {
    int speed = sp * 10 + dc / 10;
    if (speed >= 800) speed -= 800;
    int course = (dc % 10) * 100 + se;
    if (course >= 400) course -= 400;
    f.p.speed_kmh = KnotsToKmh(speed);
    SetCourse(f, course);
  }

  // The text: type byte, altitude "xxx}" (base 91 metres above -10000), comment, device code.
  std::string_view text = TrimLineEnd(Sub(info, 9));
  const AprsMicEDevice device = MicEDevice(text);
  f.p.device = device.name;
  text = Sub(text, device.prefix, text.size() - device.prefix - device.suffix);
  if (text.size() >= 4 && text[3] == '}' && IsBase91(text[0]) && IsBase91(text[1]) &&
      IsBase91(text[2])) {
    f.p.altitude_m = Base91(Sub(text, 0, 3)) - 10000;
    text.remove_prefix(4);
  }
  ReadComment(f, text, true);
}

// ---------------------------------------------------------------------------------------------
// Messages

// ":ADDRESSEE:text": acks, rejs, bulletins, telemetry definitions, directed queries, messages.
void ReadMessage(Field& f, std::string_view info) {
  f.p.type = AprsType::kMessage;
  if (info.size() < 11 || info[10] != ':') {
    ErrorText(f) << "message addressee is not 9 characters between colons";
    return;
  }
  f.p.addressee = TrimRight(Sub(info, 1, 9));
  const std::string_view text = TrimLineEnd(Sub(info, 11));
  f.p.text = text;

  if (TelemetryDefinitionKind(text) != AprsTelemetryDefinition::kNone) {
    f.p.type = AprsType::kTelemetryDefinition;
    const std::string_view fault = f.store.Apply(f.p.addressee, text, f.scratch);
    if (!fault.empty()) ErrorText(f) << fault;
    return;
  }
  const std::string_view head = Sub(text, 0, 3);
  if (head == "ack" || head == "rej") {
    std::string_view id = Sub(text, 3);
    id = Sub(id, 0, id.find('}'));
    bool valid = !id.empty() && id.size() <= 5;
    for (char c : id) valid = valid && IsAlnum(c);
    if (valid) {
      f.p.type = head == "ack" ? AprsType::kAck : AprsType::kRej;
      f.p.id = id;
      f.p.text = {};
      return;
    }
  }
  if (Sub(f.p.addressee, 0, 3) == "BLN" || Sub(f.p.addressee, 0, 4) == "NWS-") {
    f.p.type = AprsType::kBulletin;
    if (Sub(f.p.addressee, 0, 3) == "BLN") f.p.id = Sub(f.p.addressee, 3, 1);
    return;
  }
  if (!text.empty() && text[0] == '?') {
    f.p.type = AprsType::kQuery;
    f.p.text = Sub(text, 1);
    return;
  }
  // Message number: "{" and 1 to 5 letters or digits at the end, or a reply-ack "{MM}AA".
  const std::size_t brace = text.rfind('{');
  if (brace == std::string_view::npos) return;
  std::string_view number = Sub(text, brace + 1);
  std::string_view reply;
  if (const std::size_t close = number.find('}'); close != std::string_view::npos) {
    reply = Sub(number, close + 1);
    number = Sub(number, 0, close);
  }
  bool valid = !number.empty() && number.size() <= 5 && reply.size() <= 5;
  for (char c : number) valid = valid && IsAlnum(c);
  for (char c : reply) valid = valid && IsAlnum(c);
  if (!valid) return;
  f.p.id = number;
  f.p.reply_ack = reply;
  f.p.text = Sub(text, 0, brace);
}

// ---------------------------------------------------------------------------------------------
// Telemetry

// "T#sss,aaa,aaa,aaa,aaa,aaa,bbbbbbbb" (sss may be MIC, also without its comma).
void ReadTelemetry(Field& f, std::string_view info) {
  f.p.type = AprsType::kTelemetry;
  if (info.size() < 2 || info[1] != '#') {
    ErrorText(f) << "telemetry report does not begin with T#";
    return;
  }
  std::string_view rest = TrimLineEnd(Sub(info, 2));
  if (Sub(rest, 0, 3) == "MIC") {
    f.p.seq = Sub(rest, 0, 3);
    rest.remove_prefix(3);
    if (!rest.empty() && rest[0] == ',') rest.remove_prefix(1);
  } else {
    f.p.seq = Trim(NextPart(rest, ','));
    bool digits = !f.p.seq.empty();
    for (char c : f.p.seq) digits = digits && IsDigit(c);
    if (!digits) {
      ErrorText e(f);
      e << "telemetry sequence number ";
      e.Quoted(f.p.seq) << " is not a number";
      return;
    }
  }
  // Up to 5 analog values, then the bits and a comment.
  while (!rest.empty() && f.p.analog_count < kAprsAnalogChannels) {
    const std::string_view part = NextPart(rest, ',');
    const std::optional<double> v = Number(part);
    if (!v) {
      ErrorText e(f);
      e << "telemetry value " << f.p.analog_count + 1 << ' ';
      e.Quoted(part) << ' ' << NotANumber(part);
      f.p.analog_count = 0;
      return;
    }
    f.p.analog[static_cast<std::size_t>(f.p.analog_count++)] = *v;
  }
  if (!rest.empty()) {
    const std::string_view bits = Sub(rest, 0, 8);
    bool valid = bits.size() == 8;
    for (char c : bits) valid = valid && (c == '0' || c == '1');
    if (!valid) {
      ErrorText e(f);
      e << "telemetry bits ";
      e.Quoted(bits) << " are not 8 digits of 0 and 1";
    } else {
      f.p.digital = bits;
      f.p.comment = Sub(rest, 8);
    }
  }

  // The station's definitions name, label and scale the channels.
  const AprsTelemetryDefinitions* d = f.store.Find(f.header.source);
  if (d == nullptr) return;
  for (int i = 0; i < d->name_count; ++i)
    f.p.names[static_cast<std::size_t>(i)] = d->names[static_cast<std::size_t>(i)];
  f.p.name_count = d->name_count;
  for (int i = 0; i < d->unit_count; ++i)
    f.p.units[static_cast<std::size_t>(i)] = d->units[static_cast<std::size_t>(i)];
  f.p.unit_count = d->unit_count;
  if (d->has_eqns) {
    f.p.has_values = true;
    for (int i = 0; i < f.p.analog_count; ++i) {
      const auto& e = d->eqns[static_cast<std::size_t>(i)];
      const double x = f.p.analog[static_cast<std::size_t>(i)];
      // A term whose coefficient is 0 is left out: 0 * x * x is no number when x * x is not.
      double v = e[2];
      if (e[1] != 0.0) v += e[1] * x;
      if (e[0] != 0.0) v += e[0] * x * x;
      if (!std::isfinite(v)) {
        ErrorText(f) << "telemetry value " << i + 1
                     << " scaled by the station's EQNS is beyond any number";
        f.p.has_values = false;
        break;
      }
      f.p.values[static_cast<std::size_t>(i)] = v;
    }
  }
  if (d->has_bits) {
    f.p.bit_sense = d->bit_sense;
    f.p.project = d->project;
  }
}

// ---------------------------------------------------------------------------------------------
// Status, queries, NMEA

bool MaidenheadPair(char a, char b, char lo, char hi) {
  const auto up = [](char c) { return IsLower(c) ? static_cast<char>(c - 32) : c; };
  return up(a) >= lo && up(a) <= hi && up(b) >= lo && up(b) <= hi;
}

// ">text", ">092345ztext" or ">IO91SX/G text" (locator, symbol table and code).
void ReadStatus(Field& f, std::string_view info) {
  f.p.type = AprsType::kStatus;
  std::string_view s = TrimLineEnd(Sub(info, 1));
  if (s.size() >= 7 && s[6] == 'z' && Digits(s, 0, 6)) {
    s = ReadTimestamp(f, s);
  } else {
    // A locator of 6 or 4 characters, the symbol and a blank (or the end).
    for (const std::size_t n : {std::size_t{6}, std::size_t{4}}) {
      if (s.size() < n + 2 || (s.size() > n + 2 && s[n + 2] != ' ')) continue;
      if (!MaidenheadPair(s[0], s[1], 'A', 'R') || !IsDigit(s[2]) || !IsDigit(s[3])) continue;
      if (n == 6 && !MaidenheadPair(s[4], s[5], 'A', 'X')) continue;
      if (!ValidTable(s[n])) continue;
      const auto up = [](char c) { return IsLower(c) ? c - 32 : c; };
      // The middle of the locator's square.
      double lon = -180.0 + (up(s[0]) - 'A') * 20.0 + (s[2] - '0') * 2.0;
      double lat = -90.0 + (up(s[1]) - 'A') * 10.0 + (s[3] - '0');
      if (n == 6) {
        lon += (up(s[4]) - 'A') * (5.0 / 60.0) + 2.5 / 60.0;
        lat += (up(s[5]) - 'A') * (2.5 / 60.0) + 1.25 / 60.0;
      } else {
        lon += 1.0;
        lat += 0.5;
      }
      f.p.lat = lat;
      f.p.lon = lon;
      f.p.symbol[0] = s[n];
      f.p.symbol[1] = s[n + 1];
      CheckSymbol(f, s[n], s[n + 1]);
      s = s.size() > n + 3 ? Sub(s, n + 3) : std::string_view();
      break;
    }
  }
  f.p.status = s;
}

// "?APRS?", "?IGATE?", "?WX?" and an optional footprint "lat,lon,radius".
void ReadQuery(Field& f, std::string_view info) {
  f.p.type = AprsType::kQuery;
  const std::string_view s = TrimLineEnd(Sub(info, 1));
  const std::size_t end = s.find('?');
  if (end == std::string_view::npos) {
    ErrorText e(f);
    e << "query ";
    e.Quoted(s) << " does not end its type with ?";
    f.p.text = s;
    return;
  }
  f.p.text = Sub(s, 0, end);
  f.p.comment = Sub(s, end + 1);
}

// An NMEA coordinate: "ddmm.mmmm" or "dddmm.mmmm", then its hemisphere letter.
bool ReadNmeaCoordinate(Field& f, std::string_view v, std::string_view h, bool latitude,
                        double& out) {
  const std::string_view what = latitude ? "latitude" : "longitude";
  const std::size_t point = v.find('.');
  const std::size_t whole = point == std::string_view::npos ? v.size() : point;
  const std::size_t d = latitude ? 2 : 3;
  const auto degrees = Digits(v, 0, d);
  const auto minutes = Number(Sub(v, d));
  if (whole != d + 2 || !degrees || !minutes || Sub(v, d).front() == '-') {
    ErrorText e(f);
    e << "NMEA " << what << ' ';
    e.Quoted(v) << " is not " << (latitude ? "ddmm.mm" : "dddmm.mm");
    return false;
  }
  if (*minutes >= 60.0) {
    ErrorText e(f);
    e << "minutes of the NMEA " << what << ' ';
    e.Quoted(v) << " are over 59";
    return false;
  }
  const double value = *degrees + *minutes / 60.0;
  if (value > (latitude ? 90.0 : 180.0)) {
    ErrorText e(f);
    e << "NMEA " << what << ' ';
    e.Quoted(v) << " is over " << (latitude ? 90 : 180) << " degrees";
    return false;
  }
  if (h == (latitude ? "N" : "E")) {
    out = value;
  } else if (h == (latitude ? "S" : "W")) {
    out = -value;
  } else {
    ErrorText e(f);
    e << "NMEA hemisphere ";
    e.Quoted(h) << " of the " << what << " is not " << (latitude ? "N or S" : "E or W");
    return false;
  }
  return true;
}

void ReadNmea(Field& f, std::string_view info) {
  f.p.type = AprsType::kNmea;
  std::string_view s = TrimLineEnd(Sub(info, 1));
  // The checksum: XOR of the bytes between $ and *, two hexadecimal digits after the *.
  const std::size_t star = s.rfind('*');
  if (star != std::string_view::npos) {
    const std::string_view sent = Sub(s, star + 1);
    int given = -1;
    if (sent.size() == 2 && HexDigit(sent[0]) >= 0 && HexDigit(sent[1]) >= 0) {
      given = HexDigit(sent[0]) * 16 + HexDigit(sent[1]);
    }
    int sum = 0;
    for (char c : Sub(s, 0, star)) sum ^= static_cast<std::uint8_t>(c);
    if (given < 0) {
      ErrorText e(f);
      e << "NMEA checksum ";
      e.Quoted(sent) << " is not two hexadecimal digits";
    } else if (given != sum) {
      const char want[2] = {kHexDigits[sum >> 4], kHexDigits[sum & 15]};
      ErrorText(f) << "NMEA checksum " << sent << " does not match the sentence, which sums to "
                   << std::string_view(want, 2);
    }
    s = Sub(s, 0, star);
  }
  std::array<std::string_view, 12> field{};
  std::size_t n = 0;
  while (n < field.size()) {
    field[n++] = NextPart(s, ',');
    if (s.empty()) break;
  }
  f.p.sentence = field[0];
  if (!f.error.empty()) return;  // no values from a sentence that fails its checksum

  const std::string_view kind = field[0].size() == 5 ? Sub(field[0], 2) : std::string_view();
  double lat = 0;
  double lon = 0;
  if (kind == "RMC") {
    // time, status (A valid, V warning), lat, N/S, lon, E/W, speed (knots), course, date...
    if (n < 9) {
      ErrorText e(f);
      e << "NMEA sentence ";
      e.Quoted(field[0]) << " cut short: " << static_cast<int>(n) << " of its 9 fields";
      return;
    }
    f.p.timestamp = field[1];
    if (field[2] != "A") {
      ErrorText e(f);
      e << "NMEA receiver says its fix is not valid (status ";
      e.Quoted(field[2]) << ")";
      return;
    }
    if (!ReadNmeaCoordinate(f, field[3], field[4], true, lat) ||
        !ReadNmeaCoordinate(f, field[5], field[6], false, lon)) {
      return;
    }
    f.p.lat = lat;
    f.p.lon = lon;
    if (!field[7].empty()) {
      const auto knots = Number(field[7]);
      if (knots && *knots >= 0 && std::isfinite(KnotsToKmh(*knots))) {
        f.p.speed_kmh = KnotsToKmh(*knots);
      } else {
        ErrorText e(f);
        e << "NMEA speed ";
        e.Quoted(field[7]) << " is not a speed in knots";
      }
    }
    if (!field[8].empty()) {
      const auto course = Number(field[8]);
      if (course && *course >= 0 && *course <= 360) {
        const int c = static_cast<int>(std::lround(*course));
        SetCourse(f, c == 0 ? 360 : c);
      } else {
        ErrorText e(f);
        e << "NMEA course ";
        e.Quoted(field[8]) << " is not 0 to 360 degrees";
      }
    }
  } else if (kind == "GGA") {
    // time, lat, N/S, lon, E/W, fix quality (0 none), satellites, HDOP, altitude, M, ...
    if (n < 10) {
      ErrorText e(f);
      e << "NMEA sentence ";
      e.Quoted(field[0]) << " cut short: " << static_cast<int>(n) << " of its 10 fields";
      return;
    }
    f.p.timestamp = field[1];
    if (field[6] == "0" || field[6].empty()) {
      ErrorText(f) << "NMEA receiver says it has no fix (quality 0)";
      return;
    }
    if (!ReadNmeaCoordinate(f, field[2], field[3], true, lat) ||
        !ReadNmeaCoordinate(f, field[4], field[5], false, lon)) {
      return;
    }
    f.p.lat = lat;
    f.p.lon = lon;
    if (!field[9].empty()) {
      if (const auto alt = Number(field[9])) {
        f.p.altitude_m = *alt;
      } else {
        ErrorText e(f);
        e << "NMEA altitude ";
        e.Quoted(field[9]) << ' ' << NotANumber(field[9]);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Objects and items

// ";NAME_____*092345z" then a position: 9 bytes of name, * alive or _ killed, timestamp.
void ReadObject(Field& f, std::string_view info) {
  f.p.type = AprsType::kObject;
  if (info.size() < 11) {
    CutShort(f, "object", info.size(), 18);
    return;
  }
  f.p.name = TrimRight(Sub(info, 1, 9));
  const char state = info[10];
  if (state == '*' || state == '_') {
    f.p.alive = state == '*';
  } else {
    // Where the state should stand, the field is not as an object's: what follows would be read
    // out of place.
    ErrorText e(f);
    e << "object state ";
    e.Char(state) << " after the name is not * (alive) or _ (killed)";
    return;
  }
  const std::string_view rest = ReadTimestamp(f, Sub(info, 11));
  if (f.p.timestamp.size() < 7) return;
  ReadPosition(f, rest);
}

// ")NAME!" then a position: a name of 3 to 9 bytes, ! alive or _ killed.
void ReadItem(Field& f, std::string_view info) {
  f.p.type = AprsType::kItem;
  std::size_t end = 1;
  while (end < info.size() && end <= 10 && info[end] != '!' && info[end] != '_') ++end;
  if (end >= info.size() || end > 10 || end < 4) {
    ErrorText(f) << "item name is not 3 to 9 characters followed by ! (alive) or _ (killed)";
    return;
  }
  f.p.name = Sub(info, 1, end - 1);
  f.p.alive = info[end] == '!';
  ReadPosition(f, Sub(info, end + 1));
}

// "}SOURCE>DESTINATION,PATH:info": the header as text, then the inner field.
bool SplitThirdParty(std::string_view s, std::string_view& source, std::string_view& dest,
                     std::string_view& path, std::string_view& inner) {
  const std::size_t colon = s.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view head = Sub(s, 0, colon);
  const std::size_t gt = head.find('>');
  if (gt == std::string_view::npos || gt == 0) return false;
  source = Sub(head, 0, gt);
  const std::string_view after = Sub(head, gt + 1);
  const std::size_t comma = after.find(',');
  dest = Sub(after, 0, comma);
  path = comma == std::string_view::npos ? std::string_view() : Sub(after, comma + 1);
  inner = Sub(s, colon + 1);
  return !dest.empty();
}

// Whether s begins with what has the shape of a position: "ddmm.hhN/dddmm.hhW" (digits or
// blanks) or a compressed "/YYYYXXXX" in base 91.
bool LooksLikePosition(std::string_view s) {
  const auto digit = [](char c) { return IsDigit(c) || c == ' '; };
  if (s.size() >= 19 && IsDigit(s[0])) {
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 9, 10, 11, 12, 13, 15, 16}) {
      if (!digit(s[i])) return false;
    }
    return s[4] == '.' && s[14] == '.' && std::string_view("NSns").find(s[7]) != s.npos &&
           std::string_view("EWew").find(s[17]) != s.npos;
  }
  if (s.size() < 13 ||
      !(s[0] == '/' || s[0] == '\\' || IsUpper(s[0]) || (s[0] >= 'a' && s[0] <= 'j'))) {
    return false;
  }
  for (std::size_t i = 1; i < 9; ++i) {
    if (!IsBase91(s[i])) return false;
  }
  return true;
}

// Where a position stands after other text: a ! within the first 40 characters that a position
// follows (beacons of TNCs and nodes that put their own text first); npos when there is none.
std::size_t PositionAfterText(std::string_view info) {
  for (std::size_t bang = info.find('!'); bang != std::string_view::npos && bang < 40;
       bang = info.find('!', bang + 1)) {
    if (LooksLikePosition(Sub(info, bang + 1))) return bang;
  }
  return std::string_view::npos;
}

bool ReadPositionAfterText(Field& f, std::string_view info) {
  const std::size_t bang = PositionAfterText(info);
  if (bang == std::string_view::npos) return false;
  f.p.type = AprsType::kPosition;
  ReadPosition(f, Sub(info, bang + 1));
  return true;
}

}  // namespace

bool IsAprsInformationField(std::span<const std::uint8_t> info) {
  if (info.empty()) return false;
  // The data type identifiers of APRS 1.0.1, chapter 5 (those it reserves, and its test data,
  // included), with { user-defined and } third-party.
  static constexpr std::string_view kIdentifiers = "\x1C\x1D!#$%&')*+,./:;<=>?@T[_`{|}";
  if (kIdentifiers.find(static_cast<char>(info[0])) != std::string_view::npos) return true;
  return PositionAfterText(std::string_view(reinterpret_cast<const char*>(info.data()),
                                            info.size())) != std::string_view::npos;
}

AprsDecoder::AprsDecoder() {
  for (auto& slot : slots_) slot = std::make_unique<Slot>();
}

AprsDecoder::~AprsDecoder() = default;

void AprsDecoder::Reset() { telemetry_.Reset(); }

const AprsPacket& AprsDecoder::Decode(const AprsHeader& header,
                                      std::span<const std::uint8_t> info) {
  return Decode(header, std::string_view(reinterpret_cast<const char*>(info.data()), info.size()));
}

const AprsPacket& AprsDecoder::Decode(const AprsHeader& header, std::string_view info) {
  DecodeInto(0, header, info);
  return slots_[0]->packet;
}

void AprsDecoder::DecodeInto(int depth, const AprsHeader& header, std::string_view info) {
  Slot& slot = *slots_[static_cast<std::size_t>(depth)];
  slot.packet = AprsPacket();
  slot.error.clear();
  Field f{slot.packet, slot.comment, slot.error, slot.scratch,
          slot.seq,    slot.digital, header,     telemetry_};
  AprsPacket& p = slot.packet;

  if (info.empty()) {
    ErrorText(f) << "empty information field";
    p.error = slot.error;
    return;
  }
  p.data_type = info[0];
  switch (info[0]) {
    case '!':
    case '=':
      if (Sub(info, 0, 2) == "!!") {
        ReadUltimeter(f, info);
        break;
      }
      p.type = AprsType::kPosition;
      p.messaging = info[0] == '=';
      ReadPosition(f, Sub(info, 1));
      break;
    case '/':
    case '@': {
      p.type = AprsType::kPosition;
      p.messaging = info[0] == '@';
      const std::string_view rest = ReadTimestamp(f, Sub(info, 1));
      if (p.timestamp.size() == 7) ReadPosition(f, rest);
      break;
    }
    case '`':
    case '\'':
    case 0x1C:
    case 0x1D:
      ReadMicE(f, info);
      break;
    case ';':
      ReadObject(f, info);
      break;
    case ')':
      ReadItem(f, info);
      break;
    case ':':
      ReadMessage(f, info);
      break;
    case '>':
      ReadStatus(f, info);
      break;
    case '?':
      ReadQuery(f, info);
      break;
    case '<':
      p.type = AprsType::kCapabilities;
      p.text = TrimLineEnd(Sub(info, 1));
      break;
    case 'T':
      // "TheNet X1J4 ..." beacons carry a position after their text.
      if (Sub(info, 0, 2) != "T#" && ReadPositionAfterText(f, info)) break;
      ReadTelemetry(f, info);
      break;
    case '$':
      if (Sub(info, 0, 5) == "$ULTW") {
        ReadUltimeter(f, info);
      } else {
        ReadNmea(f, info);
      }
      break;
    case '{':
      p.type = AprsType::kUserDefined;
      p.text = TrimLineEnd(Sub(info, 1));
      break;
    case '_': {
      // "_MMDDHHMM" then weather values and the station's software and unit codes.
      p.type = AprsType::kWeather;
      const std::string_view s = TrimLineEnd(Sub(info, 1));
      p.timestamp = Sub(s, 0, 8);
      if (p.timestamp.size() < 8) {
        CutShort(f, "weather timestamp", p.timestamp.size(), 8);
        break;
      }
      if (!InRange(Digits(s, 0, 2), 1, 12) || !InRange(Digits(s, 2, 2), 1, 31) ||
          !InRange(Digits(s, 4, 2), 0, 23) || !InRange(Digits(s, 6, 2), 0, 59)) {
        ErrorText(f).Quoted(p.timestamp) << " is not a timestamp (month, day, hour, minute)";
      }
      const std::size_t end = ReadWeather(f, s, 8);
      p.comment = Sub(s, end);
      break;
    }
    case '}': {
      p.type = AprsType::kThirdParty;
      std::string_view inner;
      if (!SplitThirdParty(Sub(info, 1), p.inner_source, p.inner_destination, p.inner_path,
                           inner)) {
        ErrorText(f) << "third-party header is not SOURCE>DESTINATION,PATH:";
        break;
      }
      if (depth + 1 >= kMaxDepth) {
        ErrorText(f) << "third-party packets nested more than " << kMaxDepth << " deep";
        break;
      }
      DecodeInto(depth + 1, AprsHeader{p.inner_source, p.inner_destination}, inner);
      p.inner = &slots_[static_cast<std::size_t>(depth + 1)]->packet;
      break;
    }
    default:
      ReadPositionAfterText(f, info);
      break;
  }
  if (p.type != AprsType::kMicE && p.device.empty()) {
    p.device = DeviceFromDestination(header.destination);
  }
  if (p.type == AprsType::kPosition && p.symbol[1] == '_') p.type = AprsType::kWeather;
  p.error = slot.error;
}

}  // namespace packscope
