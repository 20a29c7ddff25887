// The APRS decoder: every data type, every kind of invalid field, and what the differential
// test against decode_aprs cannot see (ambiguity areas, comment parts, telemetry definitions
// per station, nesting, devices).
#include "aprs/aprs_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aprs/aprs_frame.h"

namespace packscope {
namespace {

const AprsPacket& Decode(AprsDecoder& d, std::string_view info, std::string_view source = "N0CALL",
                         std::string_view destination = "APRS") {
  return d.Decode(AprsHeader{source, destination}, info);
}

TEST(AprsDecoderTest, DataTypes) {
  struct Case {
    const char* destination;
    const char* info;
    AprsType type;
  };
  const Case cases[] = {
      {"APRS", "!4903.50N/07201.75W-", AprsType::kPosition},
      {"APRS", "=/5L!!<*e7>7P[", AprsType::kPosition},
      {"APRS", "@092345z4903.50N/07201.75W>", AprsType::kPosition},
      {"T2SP0W", "`c_Vm6hk/`\"49}_%", AprsType::kMicE},
      {"APRS", ";LEADER   *092345z4903.50N/07201.75W>", AprsType::kObject},
      {"APRS", ")AID #2!4903.50N/07201.75WA", AprsType::kItem},
      {"APRS", ":KB2ICI-14:Hello{001", AprsType::kMessage},
      {"APRS", ":KB2ICI-14:ack001", AprsType::kAck},
      {"APRS", ":KB2ICI-14:rej001", AprsType::kRej},
      {"APRS", ":BLN3     :Snow", AprsType::kBulletin},
      {"APRS", ">Net Control", AprsType::kStatus},
      {"APRS", "_10090556c220s004g005t077", AprsType::kWeather},
      {"APRS", "!4903.50N/07201.75W_220/004g005t077", AprsType::kWeather},
      {"APRS", "T#005,1,2,3,4,5,00000000", AprsType::kTelemetry},
      {"APRS", ":N0CALL   :PARM.A,B", AprsType::kTelemetryDefinition},
      {"APRS", "?APRS?", AprsType::kQuery},
      {"APRS", ":WU2Z     :?APRSP", AprsType::kQuery},
      {"APRS", "<IGATE,MSG_CNT=3", AprsType::kCapabilities},
      {"APRS", "}WU2Z>APRS::N0CALL   :Hi", AprsType::kThirdParty},
      {"APRS", "$GPGGA,102705,5157.9762,N,00029.3256,W,1,04,2.0,75.7,M,47.6,M,,*62",
       AprsType::kNmea},
      {"APRS", "{Q1qwerty", AprsType::kUserDefined},
      {"APRS", "#W1BBS", AprsType::kOther},
  };
  AprsDecoder d;
  for (const Case& c : cases) {
    const AprsPacket& p = Decode(d, c.info, "N0CALL", c.destination);
    EXPECT_EQ(AprsTypeName(p.type), AprsTypeName(c.type)) << c.info;
    EXPECT_EQ(p.error, "") << c.info;
  }
}

// Each kind of fault gives a sentence that names it, and no value the fault would have given.
TEST(AprsDecoderTest, InvalidFieldsSayWhatIsWrong) {
  struct Case {
    const char* destination;
    const char* info;
    const char* error;
  };
  const Case cases[] = {
      {"APRS", "!9103.50N/07201.75W-", "latitude \"9103.50N\" is over 90 degrees"},
      {"APRS", "!4963.50N/07201.75W-", "minutes 63 of the latitude are over 59"},
      {"APRS", "!4903.50N/07201.7", "position cut short: 16 of the 19 bytes it needs"},
      {"APRS", "=/5L!|<*e7>7P[", "bad character '|' in the compressed latitude"},
      {"APRS", "!4903.50Q/07201.75W-", "hemisphere 'Q' of the latitude is not N or S"},
      {"APRS", "$GPRMC,063909,A,3349.4302,N,11700.3721,W,43.022,89.3,291099,13.6,E*53",
       "NMEA checksum 53 does not match the sentence, which sums to 52"},
      {"APRS", "@322345z4903.50N/07201.75W>", "\"322345z\" is not a timestamp"},
      {"T2S", "`c_Vm6hk/", "Mic-E destination \"T2S\" is not 6 characters"},
      {"T2SP0W", "`c_Vm6", "Mic-E field cut short: 6 of the 9 bytes it needs"},
      {"APRS", ";LEADER   #092345z4903.50N/07201.75W>", "object state '#'"},
      {"APRS", ")AB!4903.50N/07201.75WA", "item name is not 3 to 9 characters"},
      {"APRS", ":SHORT:text", "message addressee is not 9 characters between colons"},
      {"APRS", "T#001,1,2,3,4,5,0120", "telemetry bits \"0120\" are not 8 digits"},
      {"APRS", "T#001,1,x,3", "telemetry value 2 \"x\" is not a number"},
      {"APRS", "}no header", "third-party header is not SOURCE>DESTINATION,PATH:"},
      {"APRS", "", "empty information field"},
  };
  AprsDecoder d;
  for (const Case& c : cases) {
    const AprsPacket& p = Decode(d, c.info, "N0CALL", c.destination);
    EXPECT_NE(p.error.find(c.error), std::string_view::npos) << c.info << ": " << p.error;
  }
  // An object whose state byte is wrong is not laid out as an object: no position out of place.
  const AprsPacket& object = Decode(d, ";LEADER*092345z4903.50N/07201.75W>");
  EXPECT_NE(object.error.find("object state '2'"), std::string_view::npos) << object.error;
  EXPECT_FALSE(object.lat || object.lon || object.alive);
  // The valid half of a position stays; the invalid one is absent, never guessed.
  const AprsPacket& p = Decode(d, "!4963.50N/07201.75W-");
  EXPECT_FALSE(p.lat.has_value());
  ASSERT_TRUE(p.lon.has_value());
  EXPECT_NEAR(*p.lon, -72.029167, 1e-6);
  EXPECT_FALSE(Decode(d, "$GPRMC,063909,A,3349.4302,N,11700.3721,W,43.022,89.3,291099,,E*53")
                   .lat.has_value());
}

// A number that is no finite decimal number (nan, infinity, an exponent, a scaled value beyond
// any double) is the field's error, never a value: no channel of the report is given.
TEST(AprsDecoderTest, NumbersThatAreNotFiniteAreErrors) {
  struct Case {
    std::string info;
    const char* error;
  };
  const Case cases[] = {
      {"T#001,nan", "telemetry value 1 \"nan\" is not a finite number"},
      {"T#001,1,inf,3", "telemetry value 2 \"inf\" is not a finite number"},
      {"T#001,-Infinity", "telemetry value 1 \"-Infinity\" is not a finite number"},
      {"T#001,1e308", "telemetry value 1 \"1e308\" is not a decimal number"},
      {"T#001,1,2,3,4,1" + std::string(400, '0'), "telemetry value 5 \"1000"},
      {":N0CALL   :EQNS.0,1,0,nan", "telemetry coefficient 4 \"nan\" is not a finite number"},
      {":N0CALL   :EQNS.0,1e308,0", "telemetry coefficient 2 \"1e308\" is not a decimal number"},
      {"$GPRMC,063909,A,3349.4302,N,11700.3721,W,inf,89.3,291099,13.6,E",
       "NMEA speed \"inf\" is not a speed in knots"},
      {"$GPGGA,102705,5157.9762,N,00029.3256,W,1,04,2.0,nan,M,47.6,M,,",
       "NMEA altitude \"nan\" is not a finite number"},
  };
  AprsDecoder d;
  for (const Case& c : cases) {
    const AprsPacket& p = Decode(d, c.info);
    EXPECT_EQ(p.error.rfind(c.error, 0), 0u) << c.info << ": " << p.error;
    EXPECT_EQ(p.analog_count, 0) << c.info;
    EXPECT_FALSE(p.speed_kmh || p.altitude_m) << c.info;
  }
  // A broken definition keeps the earlier one; a result beyond a double is an error too.
  Decode(d, ":N0CALL   :EQNS.1" + std::string(300, '0') + ",0,0");
  EXPECT_EQ(
      Decode(d, ":N0CALL   :EQNS.0,0,0,0,0,0,0,0,0,0,0,0,1" + std::string(300, '0') + ",0,0").error,
      "");
  const AprsPacket& over = Decode(d, "T#002,1,2,3,4,1" + std::string(10, '0'));
  EXPECT_EQ(over.error, "telemetry value 5 scaled by the station's EQNS is beyond any number");
  EXPECT_FALSE(over.has_values);
}

// Blanked digits leave an area open; the result is its middle, the latitude's blanks applying
// to the longitude too.
TEST(AprsDecoderTest, AmbiguousPositionsGiveTheMiddleOfTheirArea) {
  struct Case {
    const char* info;
    int ambiguity;
    double lat_minutes;
    double lon_minutes;
  };
  const Case cases[] = {
      {"!4903.5 N/07201.7 W-", 1, 3.55, 1.75},
      {"!4903.  N/07201.75W-", 2, 3.5, 1.5},
      {"!490 .  N/0720 .  W-", 3, 5.0, 5.0},
      {"!49  .  N/072  .  W-", 4, 30.0, 30.0},
  };
  AprsDecoder d;
  for (const Case& c : cases) {
    const AprsPacket& p = Decode(d, c.info);
    EXPECT_EQ(p.ambiguity, c.ambiguity) << c.info;
    EXPECT_NEAR(*p.lat, 49 + c.lat_minutes / 60, 1e-9) << c.info;
    EXPECT_NEAR(*p.lon, -(72 + c.lon_minutes / 60), 1e-9) << c.info;
  }
  // Mic-E: L and Z in the destination are blanks.
  const AprsPacket& m = Decode(d, "`c_Vm6hk/", "N0CALL", "T2SZLZ");
  EXPECT_EQ(m.ambiguity, 3);
  EXPECT_NEAR(*m.lat, 42 + 35.0 / 60, 1e-9);
}

// /A=, !DAO! and |ss11| telemetry are taken out of the comment; what is left stays as sent.
TEST(AprsDecoderTest, CommentPartsAreDecodedAndTakenOut) {
  AprsDecoder d;
  const AprsPacket& p = Decode(d, "!4903.50N/07201.75W>088/036Hi /A=-00012 there !W51!|!!+/|");
  EXPECT_EQ(p.comment, "Hi  there ");
  EXPECT_NEAR(*p.altitude_m, -12 * 0.3048, 1e-9);
  EXPECT_NEAR(*p.lat, 49 + 3.505 / 60, 1e-9);  // DAO: one more digit of minutes
  EXPECT_NEAR(*p.lon, -(72 + 1.751 / 60), 1e-9);
  EXPECT_EQ(p.seq, "0");
  ASSERT_EQ(p.analog_count, 1);
  EXPECT_EQ(p.analog[0], 10 * 91 + 14);
  // DAO does not sharpen a compressed position, which is finer already.
  EXPECT_NEAR(*Decode(d, "=/5L!!<*e7>7P[!W51!").lat, 49.5, 1e-9);

  // Telemetry is read first: a !DAO! inside it is telemetry digits. Of several !DAO! the last
  // counts; the others stay in the comment.
  struct Case {
    const char* info;
    double lat_minutes;
    int analog_count;
    const char* comment;
  };
  const Case cases[] = {
      {"!4903.50N/07201.75W>|!W51!!|", 3.50, 2, ""},
      {"!4903.50N/07201.75W>|!W51!!|!W91!", 3.509, 2, ""},
      {"!4903.50N/07201.75W>one !W11! two !W51!", 3.505, 0, "one !W11! two "},
      {"!4903.50N/07201.75W>|!/A=12|/A=000100", 3.50, 2, ""},
  };
  for (const Case& c : cases) {
    const AprsPacket& q = Decode(d, c.info);
    EXPECT_NEAR(*q.lat, 49 + c.lat_minutes / 60, 1e-9) << c.info;
    EXPECT_EQ(q.analog_count, c.analog_count) << c.info;
    EXPECT_EQ(q.comment, c.comment) << c.info;
  }
  EXPECT_NEAR(*Decode(d, "!4903.50N/07201.75W>|!/A=12|/A=000100").altitude_m, 100 * 0.3048, 1e-9);
}

// Definitions belong to the station they address, replace earlier ones of their kind, and go
// with Reset.
TEST(AprsDecoderTest, TelemetryDefinitionsPerStation) {
  AprsDecoder d;
  Decode(d, ":N0QBF-11 :PARM.Battery,Temp", "N0QBF-11");
  Decode(d, ":N0QBF-11 :UNIT.V,C", "N0QBF-11");
  Decode(d, ":N0QBF-11 :EQNS.0,0.1,0,0,1,-40", "N0QBF-11");  // channels 3..5 as sent
  Decode(d, ":N0QBF-11 :BITS.11110000,Balloon", "N0QBF-11");
  const AprsPacket& p = Decode(d, "T#001,120,50,7,0,0,10100000", "N0QBF-11");
  ASSERT_TRUE(p.has_values);
  EXPECT_DOUBLE_EQ(p.values[0], 12.0);
  EXPECT_DOUBLE_EQ(p.values[1], 10.0);
  EXPECT_DOUBLE_EQ(p.values[2], 7.0);
  EXPECT_EQ(p.name_count, 2);
  EXPECT_EQ(p.names[1], "Temp");
  EXPECT_EQ(p.units[0], "V");
  EXPECT_EQ(p.bit_sense, "11110000");
  EXPECT_EQ(p.project, "Balloon");

  // Another station's reports stay raw; a broken definition keeps the earlier one.
  EXPECT_FALSE(Decode(d, "T#001,120,50,7,0,0,10100000", "OTHER").has_values);
  EXPECT_NE(Decode(d, ":N0QBF-11 :EQNS.0,x", "N0QBF-11").error, "");
  EXPECT_DOUBLE_EQ(Decode(d, "T#002,120", "N0QBF-11").values[0], 12.0);
  Decode(d, ":N0QBF-11 :PARM.Volts", "N0QBF-11");
  EXPECT_EQ(Decode(d, "T#003,1", "N0QBF-11").names[0], "Volts");

  d.Reset();
  EXPECT_EQ(d.Telemetry().StationCount(), 0u);
  EXPECT_FALSE(Decode(d, "T#004,120", "N0QBF-11").has_values);
}

TEST(AprsDecoderTest, TelemetryStoreKeepsABoundedNumberOfStations) {
  AprsTelemetryStore store;
  std::string error;
  for (std::size_t i = 0; i < AprsTelemetryStore::kMaxStations; ++i) {
    store.Apply("S" + std::to_string(i), "PARM.A", error);
  }
  EXPECT_EQ(store.Apply("ONE-MORE", "PARM.A", error),
            "telemetry definitions of more than 10000 stations: these are not kept");
  EXPECT_EQ(store.Find("ONE-MORE"), nullptr);
  EXPECT_EQ(store.Apply("S1", "UNIT.V", error), "");  // known stations still define
}

TEST(AprsDecoderTest, ThirdPartyPacketsNestAFewLevels) {
  AprsDecoder d;
  const AprsPacket& p = Decode(d, "}WB2OSZ>APDW16,TCPIP,N0CALL*:}K1ABC>APRS::N0CALL   :Hi{7");
  EXPECT_EQ(p.inner_source, "WB2OSZ");
  EXPECT_EQ(p.inner_destination, "APDW16");
  EXPECT_EQ(p.inner_path, "TCPIP,N0CALL*");
  ASSERT_NE(p.inner, nullptr);
  EXPECT_EQ(p.inner->type, AprsType::kThirdParty);
  ASSERT_NE(p.inner->inner, nullptr);
  EXPECT_EQ(p.inner->inner->id, "7");
  // A third level is refused, not decoded.
  const AprsPacket& deep = Decode(d, "}A>B:}C>D:}E>F:!4903.50N/07201.75W-");
  ASSERT_NE(deep.inner, nullptr);
  ASSERT_NE(deep.inner->inner, nullptr);
  EXPECT_EQ(deep.inner->inner->inner, nullptr);
  EXPECT_EQ(deep.inner->inner->error, "third-party packets nested more than 3 deep");
}

TEST(AprsDecoderTest, DevicesAndMicEMessageCodes) {
  AprsDecoder d;
  struct Case {
    const char* destination;
    const char* info;
    const char* device;
    const char* status;
  };
  const Case cases[] = {
      {"T2SP0W", "`c_Vm6hk/]\"49}text=", "Kenwood TM-D710", "In Service"},
      {"T2SP0W", "`c_Vm6hk/`\"49}text_%", "Yaesu FTM-400DR", "In Service"},
      {"T2SP0W", "'c_Vm6hk/'text|3", "Byonics TinyTrak3", "In Service"},
      {"PPPX9P", "`c_Vm6hk/>", "Kenwood TH-D7", "Off Duty"},
      {"422P9P", "`c_Vm6hk/ ", "original Mic-E", "Emergency"},
      {"ABCX9P", "`c_Vm6hk/", "", "Custom-0"},
      {"APDW16-1", "!4903.50N/07201.75W-", "Dire Wolf", ""},
      {"APK004", ">status", "Kenwood TH-D74", ""},
      {"APRS", ">status", "", ""},
  };
  for (const Case& c : cases) {
    const AprsPacket& p = Decode(d, c.info, "N0CALL", c.destination);
    EXPECT_EQ(p.device, c.device) << c.info;
    if (p.type == AprsType::kMicE) {
      EXPECT_EQ(p.status, c.status) << c.destination;
    }
  }
  // The device code and the altitude are not part of the comment.
  EXPECT_EQ(Decode(d, "`c_Vm6hk/`\"49}Jeff Mobile_%", "N1ZZN-9", "T2SP0W").comment, "Jeff Mobile");
  EXPECT_TRUE(Decode(d, "=4903.50N/07201.75W-").messaging);
  EXPECT_FALSE(Decode(d, "!4903.50N/07201.75W-").messaging);
}

// APRS frames are UI frames with PID F0; the decoder's header comes from their addresses.
TEST(AprsFrameTest, UiFramesWithPidF0) {
  // KISS type byte, destination APRS, source N0CALL-9, control, PID, information.
  const auto frame = [](std::uint8_t control, std::uint8_t pid) {
    std::vector<std::uint8_t> f = {0x00};
    for (char c : std::string("APRS  ")) f.push_back(static_cast<std::uint8_t>(c << 1));
    f.push_back(0x60);
    for (char c : std::string("N0CALL")) f.push_back(static_cast<std::uint8_t>(c << 1));
    f.push_back(0x61 | (9 << 1));
    f.push_back(control);
    f.push_back(pid);
    f.push_back('>');
    return f;
  };
  // The details point into the frame's bytes: each frame outlives them.
  const std::vector<std::uint8_t> ui_frame = frame(0x03, 0xF0);
  const Ax25Details ui = DescribeAx25(ui_frame);
  EXPECT_TRUE(IsAprsFrame(ui));
  EXPECT_EQ(AprsHeaderOf(ui).source, "N0CALL-9");
  EXPECT_EQ(AprsHeaderOf(ui).destination, "APRS");
  const std::vector<std::uint8_t> netrom = frame(0x03, 0xCF);
  EXPECT_FALSE(IsAprsFrame(DescribeAx25(netrom)));
  const std::vector<std::uint8_t> i_frame = frame(0x00, 0xF0);
  EXPECT_FALSE(IsAprsFrame(DescribeAx25(i_frame)));
}

// An APRS field begins with a data type identifier, or has a position behind a ! within its
// first 40 characters; a broken body behind an identifier is still APRS (and its error).
TEST(AprsFrameTest, TheDataTypeIdentifierMakesTheField) {
  struct Case {
    std::string info;
    bool aprs;
  };
  const Case cases[] = {
      {">status", true},
      {"TIGRISAT ABACUS BEACON", true},         // T, a telemetry report that does not begin with T#
      {"#W1BBS", true},                         // a reserved identifier: type other
      {"\x1C+=X", true},                        // Mic-E, Rev 0 beta
      {std::string("\x00\x02\x10", 3), false},  // a satellite's binary telemetry
      {"\x83\x01", false},
      {"hello", false},
      {"", false},
      {"Beacon text !4237.14N/07120.83W#Digi", true},
      {"TheNet X1J4 (BFLD)!4903.50N/07201.75W-", true},
      {"Welcome!Visit us", false},  // a ! that no position follows
      {std::string(39, 'x') + "!/5L!!<*e7>7P[", true},
      {std::string(40, 'x') + "!4903.50N/07201.75W-", false},  // beyond the 40th character
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsAprsInformationField(
                  {reinterpret_cast<const std::uint8_t*>(c.info.data()), c.info.size()}),
              c.aprs)
        << c.info;
  }
}

}  // namespace
}  // namespace packscope
