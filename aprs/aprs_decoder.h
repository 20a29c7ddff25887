// AprsDecoder: what the information field of an APRS frame means. APRS frames are AX.25 UI frames
// with PID F0 whose information field begins with a data type identifier, which says how the
// rest reads (IsAprsInformationField):
//
//   ! =        position without timestamp (= : the station takes messages)
//                 !4903.50N/07201.75W>088/036/A=001234 comment
//                  lat     T lon      C ext    altitude in the comment (feet)
//                 !/5L!!<*e7>7P[comment          compressed: T yyyy xxxx C c s t (base 91)
//   / @        position with timestamp: 092345z (day hour minute UTC), 092345/ (local),
//              234517h (hour minute second UTC), then the position as above
//   ` '        Mic-E: latitude, message code and hemispheres in the destination address
//              (T2SP0W), longitude, speed, course and symbol in the next 8 bytes, then an
//              altitude "xxx}" and a comment ending in a device code
//   ;          object   ;LEADER   *092345z4903.50N/07201.75W>088/036   (* alive, _ killed)
//   )          item     )AID #2!4903.50N/07201.75WA                    (! alive, _ killed)
//   :          message  :KB2ICI-14:Hello{001     ack001, rej001, BLNn bulletins, PARM. UNIT.
//                                                 EQNS. BITS. telemetry definitions, ?queries
//   >          status   >092345zNet Control Center    (or a Maidenhead locator and symbol)
//   _          weather without position   _10090556c220s004g005t077r000p000P000h50b09900
//   T          telemetry                  T#005,199,000,255,073,123,01101001
//   ?          query                      ?APRS?
//   <          station capabilities       <IGATE,MSG_CNT=30
//   }          third-party packet         }WB2OSZ>APDW16,TCPIP:!4237.14NS07120.83W#
//   $          raw NMEA                   $GPRMC,... $GPGGA,... (checksum *hh checked)
//   {          user-defined data
//
// A position report with the weather symbol (/_ or \_) is a weather report with a position.
// Units are metric in the result: the decoder converts knots, miles, feet, inches, Fahrenheit.
//
// The decoder is one object per capture: telemetry definitions (PARM. UNIT. EQNS. BITS.) are
// kept per station and give the station's later T# reports their names, units and scaled
// values. Decoding allocates nothing once the decoder's buffers have grown to the longest field
// seen (and the telemetry store holds every station that defined telemetry).
#ifndef PACKSCOPE_APRS_APRS_DECODER_H_
#define PACKSCOPE_APRS_APRS_DECODER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "aprs/aprs_telemetry.h"

namespace packscope {

// The kinds of APRS field, as the "type" key names them (AprsTypeName).
enum class AprsType : std::uint8_t {
  kPosition,
  kMicE,
  kObject,
  kItem,
  kMessage,
  kAck,
  kRej,
  kBulletin,
  kStatus,
  kWeather,
  kTelemetry,
  kTelemetryDefinition,
  kQuery,
  kCapabilities,
  kThirdParty,
  kNmea,
  kUserDefined,
  kOther,
};
inline constexpr int kAprsTypeCount = static_cast<int>(AprsType::kOther) + 1;

// "position", "mic-e", "object", "item", "message", "ack", "rej", "bulletin", "status",
// "weather", "telemetry", "telemetry-definition", "query", "capabilities", "third-party",
// "nmea", "user-defined", "other".
std::string_view AprsTypeName(AprsType type);

// What the decoder needs of the AX.25 header, as text (Ax25Address::call, "N0CALL-9").
struct AprsHeader {
  // The station that sent the field: telemetry reports are scaled by its definitions.
  std::string_view source;
  // The destination: the latitude and message code of a Mic-E field, the device of others.
  std::string_view destination;
};

// Weather, in metric units; each value only when the field gives it.
struct AprsWeather {
  std::optional<int> wind_dir;  // degrees, where the wind comes from
  std::optional<double> wind_speed_kmh;
  std::optional<double> gust_kmh;
  std::optional<double> temp_c;
  std::optional<double> rain_1h_mm;
  std::optional<double> rain_24h_mm;
  std::optional<double> rain_midnight_mm;
  std::optional<int> humidity;  // percent
  std::optional<double> pressure_hpa;
  std::optional<int> luminosity;  // watts per square metre
  std::optional<double> snow_24h_cm;

  bool Any() const;
};

// A station's antenna, from the PHGphgd (power, height, gain, directivity) and DFSshgd (DF signal
// strength, height, gain, directivity) extensions.
struct AprsAntenna {
  int power_w = 0;                 // PHG: transmitter power, p*p watts
  int strength = 0;                // DFS: the signal strength heard, 0 to 9 S-points
  double height_m = 0;             // above average terrain: 10 * 2^h feet
  int gain_dbi = 0;                // g dB (dBi)
  std::optional<int> directivity;  // degrees the antenna favours (45 .. 360), 0 omni; absent
                                   // when d is no direction (9)
};

// One decoded field. Text members are views into the information field, into the decoder's
// buffers or into its telemetry store: they stay valid until the decoder's next Decode or Reset.
// Members that do not apply keep their empty or absent values.
struct AprsPacket {
  AprsType type = AprsType::kOther;
  char data_type = 0;      // the first byte of the field (0 for an empty field)
  bool messaging = false;  // = and @: the station takes APRS messages

  // Position (positions, Mic-E, objects, items, weather, NMEA, status with a locator): north
  // and east positive. An invalid latitude or longitude leaves that one absent (and the other
  // as the field gives it). Ambiguous positions (digits sent as blanks) give the middle of the
  // area they leave open; ambiguity counts the blanked digits (1: hundredths of a minute .. 4:
  // tens of minutes).
  std::optional<double> lat;
  std::optional<double> lon;
  int ambiguity = 0;
  // Symbol table ('/', '\\' or an overlay character), then symbol code; zeros when the field
  // has none.
  std::array<char, 2> symbol{};
  std::optional<int> course;  // degrees 1..360; course 0 of the field means unknown
  std::optional<double> speed_kmh;
  std::optional<double> altitude_m;
  std::optional<double> range_km;  // compressed range, RNG extension
  std::optional<AprsAntenna> phg;  // PHGphgd extension
  std::optional<AprsAntenna> dfs;  // DFSshgd extension
  std::string_view timestamp;      // as sent: "092345z", "092345/", "234517h", "10090556"
  std::string_view comment;        // what is left of the text after the decoded parts

  // Objects and items.
  std::string_view name;      // trailing blanks of an object's name removed
  std::optional<bool> alive;  // absent when the state character is neither of its two

  // Messages, acks, rejs, bulletins, telemetry definitions, directed queries.
  std::string_view addressee;  // trailing blanks removed
  std::string_view text;       // message text, query type, capabilities, user-defined data
  std::string_view id;         // message number; the bulletin's number or letter
  std::string_view reply_ack;  // reply-ack of "{MM}AA"

  // Status text; the Mic-E message code ("En Route", "Emergency", "Custom-3").
  std::string_view status;

  AprsWeather weather;

  // Telemetry (T# reports and |ss11|-telemetry in comments).
  std::string_view seq;  // as sent: "005", "MIC"
  std::array<double, kAprsAnalogChannels> analog{};
  int analog_count = 0;
  std::string_view digital;  // the 8 bits as sent, "01101001"; empty when absent
  // With the station's definitions: values scaled by its EQNS (analog_count of them),
  // names and units of its PARM and UNIT (5 analog, then 8 digital channels), the BITS.
  bool has_values = false;
  std::array<double, kAprsAnalogChannels> values{};
  std::array<std::string_view, kAprsTelemetryChannels> names{};
  int name_count = 0;
  std::array<std::string_view, kAprsTelemetryChannels> units{};
  int unit_count = 0;
  std::string_view bit_sense;  // the BITS sense, 8 characters of 0 and 1
  std::string_view project;    // the BITS project name

  // Mic-E device from its comment codes, or the device its destination names (APDW16).
  std::string_view device;

  // Third-party: the inner packet's header and its own decoding (nullptr when the header
  // cannot be read).
  std::string_view inner_source;
  std::string_view inner_destination;
  std::string_view inner_path;  // digipeaters as sent, "TCPIP,N0CALL*"
  const AprsPacket* inner = nullptr;

  // NMEA sentence name ("GPRMC").
  std::string_view sentence;

  // What is wrong with the field, as a sentence; empty for a valid field. Values an invalid
  // part would have given are absent, never guessed.
  std::string_view error;
};

// Whether info, the information field of a UI frame with PID F0, is an APRS field: it begins
// with an APRS data type identifier (APRS 1.0.1, chapter 5, with { user-defined data and }
// third-party packets), or a position follows a ! within its first 40 characters (which APRS
// allows TNCs that put their own text first). Anything else (a satellite's binary telemetry, a
// node's plain beacon, an empty field) is not APRS.
bool IsAprsInformationField(std::span<const std::uint8_t> info);

// The decoder of one capture. Decode's result lives in the decoder until the next Decode.
class AprsDecoder {
 public:
  AprsDecoder();
  ~AprsDecoder();
  AprsDecoder(const AprsDecoder&) = delete;
  AprsDecoder& operator=(const AprsDecoder&) = delete;

  // Decodes info, the information field of an APRS frame (the caller decides which frames are
  // APRS: IsAprsFrame). info may hold any bytes (a field that is no APRS field reads as type
  // other); it must stay alive while the result is used.
  const AprsPacket& Decode(const AprsHeader& header, std::span<const std::uint8_t> info);
  const AprsPacket& Decode(const AprsHeader& header, std::string_view info);

  // Forgets every station's telemetry definitions: a new capture begins.
  void Reset();

  // Whether decoding info may change what the decoder keeps for later fields: a message (a
  // telemetry definition) or a third-party packet (which may carry one). A caller that leaves
  // fields of a capture undecoded must still decode these, so that the later ones read right.
  static bool MayDefine(std::span<const std::uint8_t> info) {
    return !info.empty() && (info[0] == ':' || info[0] == '}');
  }

  const AprsTelemetryStore& Telemetry() const { return telemetry_; }

 private:
  struct Slot;
  // Third-party packets nest: each level decodes into its own slot, at most this deep.
  static constexpr int kMaxDepth = 3;
  std::array<std::unique_ptr<Slot>, kMaxDepth> slots_;
  AprsTelemetryStore telemetry_;

  void DecodeInto(int depth, const AprsHeader& header, std::string_view info);
};

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_DECODER_H_
