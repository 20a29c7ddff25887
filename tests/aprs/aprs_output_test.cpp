// What the decoder's result becomes: the line in plain words, the JSON object and the field
// table that both read.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "aprs/aprs_decoder.h"
#include "aprs/aprs_fields.h"
#include "aprs/aprs_json.h"
#include "aprs/aprs_words.h"

namespace packscope {
namespace {

std::string Words(AprsDecoder& d, std::string_view info, std::string_view destination = "APRS") {
  std::string out;
  AppendAprsWords(out, d.Decode(AprsHeader{"N0CALL", destination}, info));
  return out;
}

// The object's text as written, and read back.
std::string JsonText(AprsDecoder& d, std::string_view info, std::string_view destination = "APRS") {
  return AprsJsonText(d.Decode(AprsHeader{"N0CALL", destination}, info));
}
nlohmann::ordered_json Json(AprsDecoder& d, std::string_view info,
                            std::string_view destination = "APRS") {
  return nlohmann::ordered_json::parse(
      AprsJsonText(d.Decode(AprsHeader{"N0CALL", destination}, info)));
}

TEST(AprsWordsTest, OneLineInPlainWords) {
  AprsDecoder d;
  EXPECT_EQ(Words(d, "=4903.50N/07201.75W>088/036/A=001234 on the road"),
            "Position 49\u00B003.50'N 72\u00B001.75'W, car, 67 km/h course 88\u00B0, alt 376 m, "
            "\" on the road\"");
  EXPECT_EQ(Words(d, "`c_Vm6hk/`\"49}Jeff Mobile_%", "T2SP0W"),
            "Mic-E 42\u00B030.07'N 71\u00B007.58'W, truck, 22 km/h course 276\u00B0, alt 34 m, "
            "In Service, Yaesu FTM-400DR, \"Jeff Mobile\"");
  EXPECT_EQ(Words(d, ";LEADER   _092345z4903.50S107201.75E#"),
            "Killed object LEADER at 092345z 49\u00B003.50'S 72\u00B001.75'E, digipeater "
            "(overlay 1)");
  EXPECT_EQ(Words(d, ":KB2ICI-14:Hello{MM}AA"), "Message to KB2ICI-14 (id MM, acks AA): \"Hello\"");
  EXPECT_EQ(Words(d, "_10090556c220s004t077h00"),
            "Weather at 10090556, wind 220\u00B0 6 km/h, 25.0 \u00B0C, humidity 100%");
  EXPECT_EQ(Words(d, "!9103.50N/07201.75W-"),
            "Position, house, invalid: latitude \"9103.50N\" is over 90 degrees");
  EXPECT_EQ(Words(d, "}WU2Z>APRS,TCPIP*::KB2ICI-14:ack7"),
            "Third-party from WU2Z to APRS via TCPIP*: Ack of message 7 to KB2ICI-14");
  // Bytes of the field outside printable ASCII are shown as <0xNN>: the line stays one line.
  EXPECT_EQ(Words(d, ">caf\xE9\x0A!"), "Status: \"caf<0xE9><0x0A>!\"");
}

TEST(AprsWordsTest, TelemetryWithItsStationsDefinitions) {
  AprsDecoder d;
  d.Decode(AprsHeader{"N0QBF-11", "APRS"}, ":N0QBF-11 :PARM.Battery,Btemp");
  d.Decode(AprsHeader{"N0QBF-11", "APRS"}, ":N0QBF-11 :UNIT.Volts,deg.F");
  d.Decode(AprsHeader{"N0QBF-11", "APRS"}, ":N0QBF-11 :EQNS.0,5.2,0,0,.53,-32");
  std::string out;
  AppendAprsWords(out, d.Decode(AprsHeader{"N0QBF-11", "APRS"}, "T#005,199,000,7,0,0,01101001"));
  EXPECT_EQ(out, "Telemetry #005: Battery 1034.8 Volts, Btemp -32 deg.F, 7, 0, 0, bits 01101001");

  // The names PARM gives channels 6 to 13 go to the bits: on by the BITS sense, with the UNIT
  // label when it has one.
  d.Decode(AprsHeader{"N0QBF-11", "APRS"},
           ":N0QBF-11 :PARM.Battery,Btemp,ATemp,Pres,Alt,Camra,Chut,Sun,10m,ATV");
  d.Decode(AprsHeader{"N0QBF-11", "APRS"}, ":N0QBF-11 :UNIT.Volts,deg.F,deg.F,Mbar,Kft,Click,OPEN");
  d.Decode(AprsHeader{"N0QBF-11", "APRS"}, ":N0QBF-11 :BITS.10110000,Balloon");
  out.clear();
  AppendAprsWords(out, d.Decode(AprsHeader{"N0QBF-11", "APRS"}, "T#006,1,2,3,4,5,10010000"));
  EXPECT_EQ(
      out,
      "Telemetry \"Balloon\" #006: Battery 5.2 Volts, Btemp -30.94 deg.F, ATemp 3 deg.F, Pres "
      "4 Mbar, Alt 5 Kft, bits 10010000 (Camra Click, Chut OPEN, Sun off, 10m on, ATV on)");
}

TEST(AprsJsonTest, KeysOfTheIssue) {
  AprsDecoder d;
  EXPECT_EQ(JsonText(d, "@092345z4903.50N/07201.75W>088/036/A=001234 hi"),
            R"({"type":"position","lat":49.058333,"lon":-72.029167,"symbol":"/>","course":88,)"
            R"("speed_kmh":66.7,"altitude_m":376.1,"timestamp":"092345z","comment":" hi"})");
  // The wind of a weather report with a position is in mph, as its gusts.
  EXPECT_EQ(JsonText(d, "!4903.50N/07201.75W_220/004g005t077r001h50b09900"),
            R"({"type":"weather","lat":49.058333,"lon":-72.029167,"symbol":"/_","weather":)"
            R"({"wind_dir":220,"wind_speed_kmh":6.4,"gust_kmh":8,"temp_c":25,"rain_1h_mm":0.3,)"
            R"("humidity":50,"pressure_hpa":990}})");
  EXPECT_EQ(JsonText(d, ")AID #2_4903.5 N/07201.7 WA"),
            R"({"type":"item","lat":49.059167,"lon":-72.029167,"ambiguity":1,"symbol":"/A",)"
            R"("name":"AID #2","alive":false})");
  EXPECT_EQ(JsonText(d, "T#MIC,1,2.5,3,4,5,00000001"),
            R"({"type":"telemetry","seq":"MIC","analog":[1,2.5,3,4,5],"digital":"00000001"})");
  EXPECT_EQ(JsonText(d, "}WB2OSZ>APDW16,TCPIP:>On the air"),
            R"({"type":"third-party","inner":{"source":"WB2OSZ","destination":"APDW16",)"
            R"("path":"TCPIP","type":"status","status":"On the air","device":"Dire Wolf"}})");
  EXPECT_EQ(JsonText(d, "!4963.50N/07201.75W-"),
            R"({"type":"position","lon":-72.029167,"symbol":"/-",)"
            R"("error":"minutes 63 of the latitude are over 59"})");
}

// What a field sends and the object once lost: values as sent, empty texts, the PHG, RNG and DFS
// extensions, the Ultimeter formats, the digital channels of a station's definitions.
TEST(AprsJsonTest, WhatTheFieldSentIsInTheObject) {
  struct Case {
    const char* source;
    const char* info;
    const char* json;
  };
  const Case cases[] = {
      {"N0CALL", "T#001,-0.0000001,0.0000001,255",
       R"({"type":"telemetry","seq":1,)"
       R"("analog":[-1e-07,1e-07,255]})"},
      {"N0CALL", ":KB2ICI-14:", R"({"type":"message","addressee":"KB2ICI-14","text":""})"},
      {"N0CALL", ">", R"({"type":"status","status":""})"},
      {"N0CALL", "!4903.50N/07201.75W#PHG5132",
       R"({"type":"position","lat":49.058333,"lon":-72.029167,"symbol":"/#",)"
       R"("phg":{"power_w":25,"height_m":6.1,"gain_dbi":3,"directivity":90}})"},
      {"N0CALL", "!4903.50N/07201.75W#RNG0050",
       R"({"type":"position","lat":49.058333,"lon":-72.029167,"symbol":"/#","range_km":80.5})"},
      {"N0CALL", "!4903.50N/07201.75W\\DFS2360",
       R"({"type":"position","lat":49.058333,"lon":-72.029167,"symbol":"/\\",)"
       R"("dfs":{"strength":2,"height_m":24.4,"gain_dbi":6,"directivity":0}})"},
      // Packet mode: peak of 5 minutes as gust, 5-minute average as wind, "----" left out.
      {"N0CALL", "$ULTW0031003702CE0069----000086A00001----011901CC00000005",
       R"({"type":"weather","weather":{"wind_dir":77,"wind_speed_kmh":0.5,"gust_kmh":4.9,)"
       R"("temp_c":22.1,"rain_midnight_mm":0}})"},
      // Logging mode, a temperature below 0 F (two's complement), humidity in tenths.
      {"N0CALL", "!!0011008CFF9C000027D0----0320----001C01D500070017",
       R"({"type":"weather","weather":{"wind_dir":197,"wind_speed_kmh":2.3,"temp_c":-23.3,)"
       R"("rain_midnight_mm":1.8,"humidity":80,"pressure_hpa":1019.2}})"},
      {"N0CALL", "!!0000",
       R"({"type":"weather","error":"Ultimeter log data \"0000\" is not 10 )"
       R"(to 12 fields of 4 hexadecimal digits"})"},
      {"N0QBF-11", "T#007,1,2,3,4,5,10010000",
       R"({"type":"telemetry","seq":7,"analog":[1,2,3,4,5],"digital":"10010000",)"
       R"("bits":[{"name":"Camra","label":"Click","on":true},{"name":"Chut","on":true},)"
       R"({"on":false},{"on":true},{"on":true},{"on":true},{"on":true},{"on":false}],)"
       R"("names":["","","","","","Camra","Chut"],"units":["","","","","","Click"]})"},
  };
  AprsDecoder d;
  d.Decode(AprsHeader{"N0QBF-11", "APRS"}, ":N0QBF-11 :PARM.,,,,,Camra,Chut");
  d.Decode(AprsHeader{"N0QBF-11", "APRS"}, ":N0QBF-11 :UNIT.,,,,,Click");
  d.Decode(AprsHeader{"N0QBF-11", "APRS"}, ":N0QBF-11 :BITS.10110001,Balloon");
  for (const Case& c : cases) {
    EXPECT_EQ(AprsJsonText(d.Decode(AprsHeader{c.source, "APRS"}, c.info)), c.json) << c.info;
  }
}

// Texts are UTF-8 when the field sent UTF-8, else read as Windows-1252: JSON never gets
// invalid UTF-8.
TEST(AprsJsonTest, TextsBecomeUtf8) {
  AprsDecoder d;
  EXPECT_EQ(Json(d,
                 ">Gr\xC3\xBC\xC3\x9F"
                 "e")["status"],
            "Gr\u00FC\u00DFe");
  EXPECT_EQ(Json(d, ">caf\xE9 \x80")["status"], "caf\u00E9 \u20AC");
  EXPECT_EQ(Json(d, ">\xED\xA0\x80")["status"], "\u00ED\u00A0\u20AC");  // a surrogate is no UTF-8
}

// One number text for jsonl, the series layout and the frame list's details: rounded halves away
// from zero to the field's decimals, whole numbers without a point, never "-0"; the details
// take the shortest digits where the JSON keeps the library's.
TEST(AprsJsonTest, NumbersAsTheFieldsDecimalsHaveThem) {
  struct Case {
    int decimals;
    double value;
    const char* json;
    const char* details;
  };
  const Case cases[] = {
      {1, 199.0, "199", "199"},
      {1, -32.04, "-32", "-32"},
      {1, 0.25, "0.3", "0.3"},
      {1, -0.25, "-0.3", "-0.3"},
      {2, 2.675, "2.68", "2.68"},
      {0, 0.5, "1", "1"},
      {1, -0.04, "0", "0"},
      {kAprsAsSent, -0.0, "0", "0"},
      {6, 48.1548333, "48.154833000000004", "48.154833"},
      {6, 0.00001, "1e-05", "1e-05"},
      {1, 1e20, "1e+20", "1e+20"},
      {1, 1e300, "1e+300", "1e+300"},
      {0, 8999999999999999.0, "8999999999999999", "8999999999999999"},
      {kAprsAsSent, 2.5, "2.5", "2.5"},
      {kAprsAsSent, -1e-7, "-1e-07", "-1e-07"},
      {kAprsAsSent, 0.1 + 0.2, "0.30000000000000004", "0.30000000000000004"},
  };
  for (const Case& c : cases) {
    const AprsField field{"x", AprsJsonPlace::kTop, c.decimals, AprsValue::Kind::kNumber, nullptr,
                          ""};
    std::string json;
    AppendAprsNumber(json, field, c.value, FractionDigits::kJson);
    EXPECT_EQ(json, c.json) << c.value;
    EXPECT_EQ(AprsNumberText(field, c.value), c.details) << c.value;
  }
}

TEST(AprsFieldsTest, EveryFieldByItsName) {
  std::set<std::string_view> names;
  for (const AprsField& f : AprsFields()) {
    EXPECT_TRUE(names.insert(f.name).second) << f.name;
    EXPECT_EQ(FindAprsField(f.name), &f);
  }
  EXPECT_EQ(FindAprsField("no.such.field"), nullptr);

  AprsDecoder d;
  d.Decode(AprsHeader{"N0CALL", "APRS"}, ":N0CALL   :PARM.Vbat,Temp");
  const AprsPacket& p = d.Decode(AprsHeader{"N0CALL", "APRS"}, "T#001,120,50,7");
  EXPECT_EQ(AprsFieldValue(p, "type").text, "telemetry");
  EXPECT_EQ(AprsFieldValue(p, "analog.2").number, 50);
  EXPECT_FALSE(AprsFieldValue(p, "analog.4").Present());
  EXPECT_EQ(AprsFieldValue(p, "names.2").text, "Temp");
  EXPECT_FALSE(AprsFieldValue(p, "lat").Present());
  EXPECT_FALSE(AprsFieldValue(p, "no.such.field").Present());

  const AprsPacket& w = d.Decode(AprsHeader{"N0CALL", "APRS"}, "_10090556t050");
  EXPECT_DOUBLE_EQ(AprsFieldValue(w, "weather.temp_c").number, 10.0);

  // Every key of a JSON object is a field's name (weather members and channels by their
  // arrays).
  const AprsPacket& o =
      d.Decode(AprsHeader{"N0CALL", "APRS"}, ";LEADER   *092345z4903.50N/07201.75W_220/004t077");
  const auto object = nlohmann::ordered_json::parse(AprsJsonText(o));
  for (auto it = object.begin(); it != object.end(); ++it) {
    EXPECT_TRUE(FindAprsField(it.key()) != nullptr || it.key() == "weather") << it.key();
  }
}

}  // namespace
}  // namespace packscope
