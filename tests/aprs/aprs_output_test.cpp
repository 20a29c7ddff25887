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

nlohmann::ordered_json Json(AprsDecoder& d, std::string_view info,
                            std::string_view destination = "APRS") {
  return AprsJson(d.Decode(AprsHeader{"N0CALL", destination}, info));
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
}

TEST(AprsJsonTest, KeysOfTheIssue) {
  AprsDecoder d;
  EXPECT_EQ(Json(d, "@092345z4903.50N/07201.75W>088/036/A=001234 hi").dump(),
            R"({"type":"position","lat":49.058333,"lon":-72.029167,"symbol":"/>","course":88,)"
            R"("speed_kmh":66.7,"altitude_m":376.1,"timestamp":"092345z","comment":" hi"})");
  EXPECT_EQ(Json(d, "!4903.50N/07201.75W_220/004g005t077r001h50b09900").dump(),
            R"({"type":"weather","lat":49.058333,"lon":-72.029167,"symbol":"/_","weather":)"
            R"({"wind_dir":220,"wind_speed_kmh":7.4,"gust_kmh":8,"temp_c":25,"rain_1h_mm":0.3,)"
            R"("humidity":50,"pressure_hpa":990}})");
  EXPECT_EQ(Json(d, ")AID #2_4903.5 N/07201.7 WA").dump(),
            R"({"type":"item","lat":49.059167,"lon":-72.029167,"ambiguity":1,"symbol":"/A",)"
            R"("name":"AID #2","alive":false})");
  EXPECT_EQ(Json(d, "T#MIC,1,2.5,3,4,5,00000001").dump(),
            R"({"type":"telemetry","seq":"MIC","analog":[1,2.5,3,4,5],"digital":"00000001"})");
  EXPECT_EQ(Json(d, "}WB2OSZ>APDW16,TCPIP:>On the air").dump(),
            R"({"type":"third-party","inner":{"source":"WB2OSZ","destination":"APDW16",)"
            R"("path":"TCPIP","type":"status","status":"On the air","device":"Dire Wolf"}})");
  EXPECT_EQ(Json(d, "!4963.50N/07201.75W-").dump(),
            R"({"type":"position","lon":-72.029167,"symbol":"/-",)"
            R"("error":"minutes 63 of the latitude are over 59"})");
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
  const nlohmann::ordered_json object = AprsJson(o);
  for (auto it = object.begin(); it != object.end(); ++it) {
    EXPECT_TRUE(FindAprsField(it.key()) != nullptr || it.key() == "weather") << it.key();
  }
}

}  // namespace
}  // namespace packscope
