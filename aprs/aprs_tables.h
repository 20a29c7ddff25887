// Tables of names: APRS symbols, Mic-E device codes and the devices that destination
// addresses (tocalls) name.
#ifndef PACKSCOPE_APRS_APRS_TABLES_H_
#define PACKSCOPE_APRS_APRS_TABLES_H_

#include <string_view>

namespace packscope {

// The name of a symbol in plain words ("car", "weather station"): table '/' is the primary
// table, '\\' and the overlay characters (0-9, A-Z) the alternate one. Empty for an unassigned
// symbol or a table character that is none of these.
std::string_view AprsSymbolName(char table, char code);

// The device the text of a Mic-E field names and how many of its bytes name it: the type byte
// that opens the text (' ', '>', ']', '`', '\''), then the last bytes of the text ("=" of a
// TM-D710, "_%" of an FTM-400DR, "|3" of a TinyTrak3). text holds the bytes after the Mic-E
// symbol, trailing line ends removed; an altitude "xxx}" follows the type byte.
struct AprsMicEDevice {
  std::string_view name;   // empty when the comment names no device
  std::size_t prefix = 0;  // bytes at the start that name it (the type byte)
  std::size_t suffix = 0;  // bytes at the end that name it
};
AprsMicEDevice MicEDevice(std::string_view text);

// The device or program a destination address names ("APDW16" -> "Dire Wolf"), by the
// longest prefix the table knows; empty when it knows none. An SSID ("-1") is ignored.
std::string_view DeviceFromDestination(std::string_view destination);

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_TABLES_H_
