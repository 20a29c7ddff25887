// Timestamp frames: frames of type 0x09 that carry the UTC time of the frames that follow.
//
//   binary (exactly 9 bytes):  09 | 8 bytes: milliseconds since 1970-01-01 00:00:00 UTC, MSB first
//       09 00 00 01 51 FD 2F 08 95   ->  1451651696789 ms  ->  2016-01-01 12:34:56.789
//   text (any other length):   09 | ... 24 characters ... "UTC" ...
//       09 "2016-01-01 12:34:56.789 UTC"   ->  StampText is the 27 characters ending in "UTC"
//
// The step sets StampText (shown above every following frame and written in the timestamped
// layouts) and, for binary stamps, StampMillis and one line of the timestamp log Text4.
#ifndef PACKSCOPE_CAPTURE_TIMESTAMP_H_
#define PACKSCOPE_CAPTURE_TIMESTAMP_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "capture/decoder_state.h"
#include "capture/window.h"

namespace packscope {

// The zero date-time: day 0, 30 December 1899 at midnight.
inline constexpr CivilDateTime kZeroDateTime{};

// For the current frame (type byte 0x09): a binary or text stamp, or nothing at all. Without
// stamp_text, for a pass that reads no StampText: StampMillis alone, StampText left as it is
// (unless the window keeps the stamp log, Window::KeepsStampLog, whose line holds the text).
void TimestampStep(DecoderState& state, Window& window, bool stamp_text = true);

// 1970-01-01 00:00:00 advanced by seconds, the fraction dropped. Dates outside 0100-01-01 ..
// 9999-12-31 23:59:59 (and NaN) give the zero date-time.
CivilDateTime SecondsToDate(double seconds);
// The two steps of SecondsToDate: the whole second it takes from seconds (nothing for the zero
// date-time), and the date and time of a whole second from 1970 in that range.
std::optional<std::int64_t> WholeSecond(double seconds);
CivilDateTime DateTimeOfSecond(std::int64_t whole);

// The remainder of millis (an integer value) divided by 1000, as exactly three digits.
std::string MillisPart(double millis);
void AppendMillisPart(std::string& out, double millis);

// What the general date-time text shows: the long time alone for the zero date (30 December
// 1899), the short date alone at 00:00:00, else the short date, a blank and the long time.
struct GeneralDateParts {
  bool date = true;
  bool time = true;
};
GeneralDateParts GeneralDateTextParts(const CivilDateTime& date_time);

// The general date-time text in the regional settings of texts (a Window, or anything with its
// ShortDateText and LongTimeText).
template <class Texts>
void AppendGeneralDateText(std::string& out, const Texts& texts, const CivilDateTime& dt) {
  const GeneralDateParts parts = GeneralDateTextParts(dt);
  if (parts.date) out.append(texts.ShortDateText(dt.year, dt.month, dt.day));
  if (parts.date && parts.time) out.push_back(' ');
  if (parts.time) out.append(texts.LongTimeText(dt.hour, dt.minute, dt.second));
}
std::string GeneralDateText(const Window& window, const CivilDateTime& date_time);

// The value of a binary stamp: its eight bytes behind the type byte, most significant first.
std::uint64_t BinaryStampValue(const std::uint8_t* eight_bytes);

// The time of a binary stamp as the window shows it, "date time.mmm" (1 Jan 2016 12:34:56.789
// in the C locale). The stamp text is this and " UTC".
template <class Texts>
void AppendBinaryStampTime(std::string& out, const Texts& texts, std::uint64_t value) {
  const auto millis = static_cast<double>(value);
  AppendGeneralDateText(out, texts, SecondsToDate(millis / 1000.0));
  out.push_back('.');
  AppendMillisPart(out, millis);
}
inline constexpr std::string_view kUtcSuffix = " UTC";

// The timestamp log's line of a binary stamp: its 16 hex digits, " -> ", its time, CR LF.
void AppendStampLogLine(std::string& out, std::uint64_t value, std::string_view time);

// Where a text stamp's text lies in its frame (un-escaped, from the type byte on): the 24
// characters in front of the first "UTC" and "UTC" itself, from the frame's first character when
// "UTC" is nearer to the start. Nothing when the frame holds no "UTC": it sets no stamp.
struct TextStampPlace {
  std::size_t from = 0;
  std::size_t length = 0;
};
std::optional<TextStampPlace> FindTextStamp(std::string_view frame);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_TIMESTAMP_H_
