// Texts the frame list writes for the user to read on or act on:
//
//   filter expressions   a click on a station or a span of the chart sets the filter:
//                          src == QQ2XY-7
//                          time >= 2016-01-01T12:34 and time < 2016-01-01T12:35
//   export layouts       "Export Shown Frames..." writes the layout the file's extension names
//                        (pass1.jsonl -> jsonl), through the layout registry, as
//                        packscope-convert --filter EXPR --layout L writes it
#ifndef PACKSCOPE_FRAMELIST_FRAME_LIST_TEXT_H_
#define PACKSCOPE_FRAMELIST_FRAME_LIST_TEXT_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "commands/layouts.h"

namespace packscope {

// A value for the filter language: as it is when it is a word of it (letters, digits and
// - + . : * _ /, not a keyword), else in double quotes with \" for a quote.
std::string FilterValue(std::string_view value);

// The filter for the frames of a station: src == CALL-SSID, or for a callsign the language does
// not take as one (characters outside A-Z and 0-9) a regular expression of exactly its text.
std::string StationFilter(std::string_view call);

// The filter for the frames stamped from first_minute for minutes minutes (minutes since 1970,
// UTC): time >= 2016-01-01T12:34 and time < 2016-01-01T12:35.
std::string TimeSpanFilter(std::int64_t first_minute, std::int64_t minutes);

// "2016-01-01T12:34" of a minute since 1970; empty outside the years 100 to 9999.
std::string MinuteText(std::int64_t minute);

// The file extensions Export knows and the layouts they stand for, in the order of its dialog.
struct ExportKind {
  std::string_view extension;  // with its dot, lower case
  std::string_view layout;     // a row of the layout registry (commands/layouts.h)
  std::string_view description;
};
inline constexpr std::array<ExportKind, 7> kExportKinds = {{
    {".kss", "kiss", "KISS capture"},
    {".pcap", "pcap", "pcap for Wireshark"},
    {".jsonl", "jsonl", "JSON Lines"},
    {".txt", "monitor", "monitor lines"},
    {".gpx", "gpx", "GPX positions"},
    {".hex", "hex-complete", "hex of the frames as stored"},
    {".json", "stats", "statistics (JSON)"},
}};

// The layout for an output path, by its extension (letter case ignored); nullptr, and why in
// error, when the extension names none or its layout is not in the registry.
const Layout* ExportLayout(std::string_view path, std::string* error);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_FRAME_LIST_TEXT_H_
