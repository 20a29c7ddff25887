// What an APRS packet tells of, and where it puts it: the one reading of positions that the gpx
// and series layouts and the frame list's map share.
//
//   frame QQ4GHI-10>APRS: }QQ7OP-15>APRS,TCPIP*:=4801.12N\01145.06En     station QQ7OP-15
//   frame QQ0QQ>APRS:     ;LEADER   *092345z4810.50N/01130.75E>         object LEADER
//   frame QQ0QQ>APRS:     )AID #2!4811.00N/01131.00EA                    item AID #2
//   frame QQ2XY-7>APRS:   !4805.00N/01137.00E[                          station QQ2XY-7
//
// A third-party packet tells of the station inside it (at any depth); objects and items place
// something other than their sender, under their own names, whoever sends them.
#ifndef PACKSCOPE_APRS_APRS_SUBJECT_H_
#define PACKSCOPE_APRS_APRS_SUBJECT_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "aprs/aprs_decoder.h"

namespace packscope {

enum class AprsSubjectKind : std::uint8_t { kStation, kObject, kItem };

// "station", "object", "item".
std::string_view AprsSubjectKindName(AprsSubjectKind kind);

struct AprsSubject {
  AprsSubjectKind kind = AprsSubjectKind::kStation;
  std::string_view name;               // callsign, or the object's or item's name (bytes)
  const AprsPacket* packet = nullptr;  // the packet that tells of it: p, or the one p carries
};

// The subject of p, sent by source (the frame's source callsign). Views into p and source.
AprsSubject SubjectOf(std::string_view source, const AprsPacket& p);

// A position as the program shows and writes it: degrees rounded to millionths (some 0.1 m),
// north and east positive, longitude 180 given as -180 (GPX wants -180 <= lon < 180).
struct AprsPlace {
  std::int32_t lat_e6 = 0;
  std::int32_t lon_e6 = 0;
  int ambiguity = 0;  // AprsPacket::ambiguity
  std::optional<double> altitude_m;
  std::array<char, 2> symbol{};  // table, code; zeros for none

  double Lat() const { return lat_e6 / 1e6; }
  double Lon() const { return lon_e6 / 1e6; }
};

// The place p gives, when it gives a latitude and a longitude.
std::optional<AprsPlace> PlaceOf(const AprsPacket& p);

// Whether decoding an information field may give a position: false for the kinds that never
// give one (messages, weather reports without a position, T# telemetry, user-defined data,
// queries, capabilities), which a reader after positions alone need not decode.
bool MayPlace(std::span<const std::uint8_t> info);

// Half the height and width, in degrees, of the box that an ambiguous position (0 to 4 digits
// sent as blanks) leaves open around the middle that the decoder gives; 0 for an exact one.
double AmbiguityHalfDegrees(int ambiguity);

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_SUBJECT_H_
