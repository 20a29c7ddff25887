// The meaning of a decoded APRS field in plain words, one line, for the converter's monitor
// layout (which writes it indented under the frame's line):
//
//   Position 49°03.50'N 72°01.75'W, car, 67 km/h course 88°, alt 376 m, "comment"
//   Mic-E 42°30.07'N 71°07.58'W, truck, 22 km/h course 276°, alt 34 m, In Service,
//     Yaesu FTM-400DR, "Jeff Mobile"
//   Object LEADER at 092345z 49°03.50'N 72°01.75'W, car, 67 km/h course 88°
//   Message to KB2ICI-14 (id 001): "Hello"
//   Weather 49°03.50'N 72°01.75'W, weather station, wind 220° 7 km/h, 25.0 °C, humidity 50%
//   Telemetry #005: Battery 1034.8 Volts, Btemp -32 deg.F, ..., bits 01101001
//   Position, house, invalid: latitude "9103.50N" is over 90 degrees
//
// Units are metric. The line is UTF-8, as the monitor layout's file is: the degree sign is its
// only character beyond ASCII, because the field's own bytes outside printable ASCII (in
// comments, names, texts) are written <0xNN>, as the monitor layout writes payload bytes.
#ifndef PACKSCOPE_APRS_APRS_WORDS_H_
#define PACKSCOPE_APRS_APRS_WORDS_H_

#include <string>

#include "aprs/aprs_decoder.h"

namespace packscope {

// Appends the line, without a line break.
void AppendAprsWords(std::string& out, const AprsPacket& p);

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_WORDS_H_
