// The JSON object of a decoded APRS field, for the converter's JSON Lines layout: the keys of
// AprsFields that the field gives (absent ones left out), in their order, with
//
//   "weather": {"wind_dir":220,"wind_speed_kmh":7.4,"temp_c":25.0,...}
//   "phg": {"power_w":25,"height_m":97.5,"gain_dbi":3,"directivity":90}, "dfs": {...}
//   "seq": 5 (a number; "MIC" as sent), "analog": [199,0,255,73,123] (as sent),
//   "digital": "01101001", "values": [...], "names": [...], "units": [...],
//   "bits": [{"name":"Camra","label":"Click","on":false},...]   (telemetry)
//   "inner": {"source":"WB2OSZ","destination":"APDW16","path":"TCPIP*",...}   (third-party)
//
//   {"type":"mic-e","lat":42.501167,"lon":-71.126333,"symbol":"/k","course":276,
//    "speed_kmh":25.9,"altitude_m":34.0,"comment":"Jeff Mobile","status":"In Service",
//    "device":"Yaesu FTM-400DR"}
//
// Texts are the field's bytes: UTF-8 when they are valid UTF-8 (APRS allows it in comments and
// messages), else read as Windows-1252 like the rest of the program's text.
#ifndef PACKSCOPE_APRS_APRS_JSON_H_
#define PACKSCOPE_APRS_APRS_JSON_H_

#include <string>
#include <string_view>

#include "aprs/aprs_decoder.h"
#include "aprs/aprs_fields.h"
#include "render/json_writer.h"

namespace packscope {

// Writes the object of p as the next value of out (a key's value, an array's element).
void WriteAprsJson(JsonWriter& out, const AprsPacket& p);
// The object of p as JSON text.
std::string AprsJsonText(const AprsPacket& p);

// A text of the field as the object gives it, in UTF-8 (see above).
std::string AprsTextUtf8(std::string_view bytes);

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_JSON_H_
