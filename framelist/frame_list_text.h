// Texts the frame list writes for the user to read on or act on:
//
//   filter expressions   a click on a station or a span of the chart sets the filter:
//                          src == QQ2XY-7
//                          time >= 2016-01-01T12:34 and time < 2016-01-01T12:35
//   a field's test      the context menu's Apply as Filter on a cell or a detail:
//                          src == QQ2XY-7    pid == 0xF0    info == "hello"
//                        joined with the filter applied:  (src == A or src == B) and type == UI
#ifndef PACKSCOPE_FRAMELIST_FRAME_LIST_TEXT_H_
#define PACKSCOPE_FRAMELIST_FRAME_LIST_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "filter/fields.h"

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

// The test that picks the frames whose field (a row of filter/fields.h) holds value, written as
// the field's reader gives it: a callsign as CALL-SSID (or as a regular expression of exactly its
// text when the language does not read it as a callsign), a number in the fewest digits that
// read back as the same number (pid in hex), a time in ISO 8601 with milliseconds, a text in
// quotes (as a regular expression of exactly its bytes when it holds any outside 0x20..0x7E).
std::string FieldTest(const Field& field, std::string_view value);
// The tests of a value the reader gave (FieldTest of each text, or of the number), joined by
// "and" for a field of several texts (the digipeaters of via); empty when the frame lacks it.
std::string FieldFilter(const Field& field, const FieldValue& value);
// "49.05833333333333": a number as the filter reads it back exactly.
std::string ExactNumberText(double number);

// How Apply as Filter joins a field's test to the filter applied.
enum class FilterJoin { kSelected, kNotSelected, kAnd, kOr, kAndNot, kOrNot };
// The filter current joined with expression (either may be empty; current empty: the test
// alone, or negated), with parentheses where the language would bind otherwise.
std::string JoinFilter(std::string_view current, std::string_view expression, FilterJoin join);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_FRAME_LIST_TEXT_H_
