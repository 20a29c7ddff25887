#include "aprs/aprs_tables.h"

#include <array>

#include "aprs/aprs_parse.h"

namespace packscope {
namespace {

using aprs_parse::Sub;

// Symbol names by code '!' (index 0) to '~' (index 93); "" where the table assigns none.
constexpr std::array<std::string_view, 94> kPrimarySymbols = {
    "police, sheriff", "", "digipeater", "telephone", "DX cluster", "HF gateway", "small aircraft",
    "mobile satellite station", "wheelchair", "snowmobile", "Red Cross", "Boy Scouts", "house",
    "red X", "red dot",
    // 0..9
    "circle 0", "circle 1", "circle 2", "circle 3", "circle 4", "circle 5", "circle 6", "circle 7",
    "circle 8", "circle 9",
    // : ; < = > ? @
    "fire", "campground", "motorcycle", "railroad engine", "car", "file server",
    "hurricane predicted path",
    // A..Z
    "aid station", "BBS", "canoe", "", "eyeball", "farm vehicle", "grid square", "hotel",
    "TCP/IP station", "", "school", "logged-on user", "Mac", "NTS station", "balloon", "police", "",
    "recreational vehicle", "space shuttle", "SSTV", "bus", "ATV", "weather service site",
    "helicopter", "sailboat", "Windows",
    // [ \ ] ^ _ `
    "human", "DF triangle", "mailbox", "large aircraft", "weather station", "satellite dish",
    // a..z
    "ambulance", "bicycle", "incident command post", "fire station", "horse", "fire truck",
    "glider", "hospital", "IOTA", "jeep", "truck", "laptop", "Mic-E repeater", "node",
    "emergency operations center", "dog", "grid square", "repeater tower", "ship", "truck stop",
    "semi-trailer truck", "van", "water station", "Unix", "house with yagi", "shelter",
    // { | } ~
    "", "", "", ""};

constexpr std::array<std::string_view, 94> kAlternateSymbols = {
    "emergency", "", "digipeater", "bank or ATM", "power plant", "gateway", "incident site",
    "cloudy", "Firenet MEO", "snow", "church", "Girl Scouts", "house with HF antenna", "ambiguous",
    "waypoint destination",
    // 0..9
    "circle", "", "", "", "", "", "", "", "network node", "gas station",
    // : ; < = > ? @
    "hail", "park", "advisory", "", "car", "info kiosk", "hurricane",
    // A..Z
    "box", "blowing snow", "Coast Guard", "drizzle", "smoke", "freezing rain", "snow shower",
    "haze", "rain shower", "lightning", "Kenwood HT", "lighthouse", "MARS", "navigation buoy",
    "rocket", "parking", "earthquake", "restaurant", "satellite", "thunderstorm", "sunny", "VORTAC",
    "NWS site", "pharmacy", "radios and devices", "",
    // [ \ ] ^ _ `
    "wall cloud", "", "", "aircraft", "weather site", "rain",
    // a..z
    "diamond", "blowing dust", "civil defense", "DX spot", "sleet", "funnel cloud", "gale flags",
    "store", "point of interest", "work zone", "SUV", "areas", "value sign", "triangle",
    "small circle", "partly cloudy", "", "restrooms", "ship", "tornado", "truck", "van", "flooding",
    "wreck or obstruction", "Skywarn", "shelter",
    // { | } ~
    "fog", "", "", ""};

// Mic-E devices of the text's last two bytes, after a ` or ' type byte.
struct Suffix {
  std::string_view bytes;
  std::string_view name;
};
constexpr Suffix kMicESuffixes[] = {
    {"_ ", "Yaesu VX-8"},           {"_\"", "Yaesu FTM-350"},  {"_#", "Yaesu VX-8G"},
    {"_$", "Yaesu FT1D"},           {"_%", "Yaesu FTM-400DR"}, {"_(", "Yaesu FT2D"},
    {"_)", "Yaesu FTM-100D"},       {"_0", "Yaesu FT3D"},      {"_1", "Yaesu FTM-300D"},
    {"_2", "Yaesu FTM-200D"},       {"_3", "Yaesu FT5D"},      {"_4", "Yaesu FTM-500D"},
    {"(5", "Anytone D578UV"},       {"(8", "Anytone D878UV"},  {"|3", "Byonics TinyTrak3"},
    {"|4", "Byonics TinyTrak4"},    {":2", "SQ8L VP-Tracker"}, {":4", "SCS P4dragon DR-7400"},
    {":8", "SCS P4dragon DR-7800"}, {" X", "SainSonic AP510"},
};
// Older codes: a manufacturer byte, then any version byte.
constexpr Suffix kMicEMakers[] = {
    {"\\", "Hamhud"},
    {"/", "Argent"},
    {"^", "HinzTec anyfrog"},
    {"*", "KissOZ tracker"},
    {"~", "other Mic-E device"},
};

// Devices by the start of the destination address (longest first where they share a start).
constexpr Suffix kTocalls[] = {
    {"APK003", "Kenwood TH-D72"},
    {"APK004", "Kenwood TH-D74"},
    {"APK005", "Kenwood TH-D75"},
    {"APK0", "Kenwood TH-D7"},
    {"APK1", "Kenwood TM-D700"},
    {"APY008", "Yaesu VX-8"},
    {"APY01D", "Yaesu FT1D"},
    {"APY02D", "Yaesu FT2D"},
    {"APY03D", "Yaesu FT3D"},
    {"APY100", "Yaesu FTM-100D"},
    {"APY300", "Yaesu FTM-300D"},
    {"APY350", "Yaesu FTM-350"},
    {"APY400", "Yaesu FTM-400DR"},
    {"APY", "Yaesu"},
    {"APDW", "Dire Wolf"},
    {"APX", "Xastir"},
    {"APRX", "aprx"},
    {"APU2", "UI-View"},
    {"APAGW", "AGWtracker"},
    {"APAW", "AGWPE"},
    {"APWW", "APRSIS32"},
    {"APWM", "APRSISCE"},
    {"APAND", "APRSdroid"},
    {"APDR", "APRSdroid"},
    {"APOT", "Argent OpenTracker"},
    {"APT3", "Byonics TinyTrak3"},
    {"APT4", "Byonics TinyTrak4"},
    {"APTT", "Byonics TinyTrak"},
    {"APN3", "Kantronics KPC-3"},
    {"APN9", "Kantronics KPC-9612"},
    {"APNX", "TNC-X"},
    {"APBPQ", "BPQ32"},
    {"APJY", "YAAC"},
    {"APMI", "Microsat"},
    {"APLIG", "LightAPRS tracker"},
    {"APLRG", "ESP32 LoRa iGate"},
    {"APLRT", "ESP32 LoRa tracker"},
    {"APE", "telemetry device"},
    {"APZ", "experimental"},
    {"API", "Icom D-Star"},
    {"APJI", "jAPRSIgate"},
    {"APFII", "aprs.fi app"},
    {"APAVT5", "SainSonic AP510"},
    {"APAT", "Anytone"},
    {"APMT", "Micro APRS Tracker"},
};

static_assert([] {
  for (const Suffix& t : kTocalls) {
    if (t.bytes.size() < 3 || t.bytes[0] != 'A' || t.bytes[1] != 'P') return false;
  }
  return true;
}());

}  // namespace

std::string_view AprsSymbolName(char table, char code) {
  if (code < '!' || code > '~') return {};
  const auto index = static_cast<std::size_t>(code - '!');
  if (table == '/') return kPrimarySymbols[index];
  if (table == '\\' || (table >= '0' && table <= '9') || (table >= 'A' && table <= 'Z')) {
    return kAlternateSymbols[index];
  }
  return {};
}

AprsMicEDevice MicEDevice(std::string_view text) {
  AprsMicEDevice d;
  if (text.empty()) return d;
  const char type = text.front();
  const std::string_view tail = Sub(text, 1);
  const auto ends = [&](std::string_view s) {
    return tail.size() >= s.size() && Sub(tail, tail.size() - s.size()) == s;
  };
  switch (type) {
    case ' ':
      return {"original Mic-E", 1, 0};
    case '>':
      if (ends("=")) return {"Kenwood TH-D72", 1, 1};
      if (ends("^")) return {"Kenwood TH-D74", 1, 1};
      if (ends("&")) return {"Kenwood TH-D75", 1, 1};
      return {"Kenwood TH-D7", 1, 0};
    case ']':
      if (ends("=")) return {"Kenwood TM-D710", 1, 1};
      return {"Kenwood TM-D700", 1, 0};
    case '`':
    case '\'':
      for (const Suffix& s : kMicESuffixes) {
        if (ends(s.bytes)) return {s.name, 1, 2};
      }
      if (tail.size() >= 2) {
        for (const Suffix& s : kMicEMakers) {
          if (tail[tail.size() - 2] == s.bytes[0]) return {s.name, 1, 2};
        }
      }
      return {type == '`' ? "Mic-E device with messaging" : "Mic-E tracker", 1, 0};
    default:
      return d;
  }
}

std::string_view DeviceFromDestination(std::string_view destination) {
  destination = Sub(destination, 0, destination.find('-'));
  // Every entry starts "AP" and has a third character: most destinations are ruled out at once,
  // and the third character rules out most entries before their bytes are compared.
  if (destination.size() < 3 || destination[0] != 'A' || destination[1] != 'P') return {};
  std::size_t best = 0;
  std::string_view name;
  for (const Suffix& t : kTocalls) {
    if (t.bytes[2] != destination[2]) continue;
    if (t.bytes.size() > best && Sub(destination, 0, t.bytes.size()) == t.bytes) {
      best = t.bytes.size();
      name = t.name;
    }
  }
  return name;
}

}  // namespace packscope
