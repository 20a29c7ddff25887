// Telemetry definitions of APRS stations, collected across a capture. A station (or someone for
// it) sends four messages addressed to the station itself that say how to read its T# reports:
//
//   :N0QBF-11 :PARM.Battery,Btemp,ATemp,Pres,Alt,Camra,Chut,Sun,10m,ATV    channel names
//   :N0QBF-11 :UNIT.Volts,deg.F,deg.F,Mbar,Kft,Click,OPEN,on,on,hi         units or labels
//   :N0QBF-11 :EQNS.0,5.2,0,0,.53,-32,3,4.39,49,-32,3,18,1,2,3             a,b,c per channel
//   :N0QBF-11 :BITS.10110000,N0QBF's Big Balloon                           bit sense, project
//
// The 13 channels are the 5 analog values, then the 8 digital bits. An analog value x reads as
// a*x^2 + b*x + c. A later definition of the same kind replaces the earlier one.
#ifndef PACKSCOPE_APRS_APRS_TELEMETRY_H_
#define PACKSCOPE_APRS_APRS_TELEMETRY_H_

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace packscope {

inline constexpr int kAprsAnalogChannels = 5;
inline constexpr int kAprsDigitalChannels = 8;
inline constexpr int kAprsTelemetryChannels = kAprsAnalogChannels + kAprsDigitalChannels;

// The telemetry definitions of one station.
struct AprsTelemetryDefinitions {
  std::array<std::string, kAprsTelemetryChannels> names;
  int name_count = 0;  // 0: no PARM message seen
  std::array<std::string, kAprsTelemetryChannels> units;
  int unit_count = 0;  // 0: no UNIT message seen
  bool has_eqns = false;
  std::array<std::array<double, 3>, kAprsAnalogChannels> eqns{};  // a, b, c per channel
  bool has_bits = false;
  std::string bit_sense;  // 8 characters of 0 and 1
  std::string project;
};

// The kinds of definition message, by the five characters the message text begins with.
enum class AprsTelemetryDefinition { kNone, kParm, kUnit, kEqns, kBits };
AprsTelemetryDefinition TelemetryDefinitionKind(std::string_view message_text);

class AprsTelemetryStore {
 public:
  // Stations beyond this many keep no definitions (a capture made of nothing else would
  // otherwise grow the store without end).
  static constexpr std::size_t kMaxStations = 10000;

  // Reads a definition message's text ("PARM.Battery,...") into station's definitions. Returns
  // what is wrong with it, or an empty view; error_buffer holds the text of the answer.
  std::string_view Apply(std::string_view station, std::string_view message_text,
                         std::string& error_buffer);

  // The station's definitions, or nullptr when it has sent none.
  const AprsTelemetryDefinitions* Find(std::string_view station) const;

  std::size_t StationCount() const { return stations_.size(); }
  void Reset() { stations_.clear(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, AprsTelemetryDefinitions, Hash, std::equal_to<>> stations_;
};

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_TELEMETRY_H_
