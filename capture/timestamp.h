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

#include <string>

#include "capture/decoder_state.h"
#include "capture/window.h"

namespace packscope {

// The zero date-time: day 0, 30 December 1899 at midnight.
inline constexpr CivilDateTime kZeroDateTime{};

// For the current frame (type byte 0x09): a binary or text stamp, or nothing at all.
void TimestampStep(DecoderState& state, Window& window);

// 1970-01-01 00:00:00 advanced by seconds, the fraction dropped. Dates outside 0100-01-01 ..
// 9999-12-31 23:59:59 (and NaN) give the zero date-time.
CivilDateTime SecondsToDate(double seconds);

// The remainder of millis (an integer value) divided by 1000, as exactly three digits.
std::string MillisPart(double millis);

// The general date-time text in the window's regional settings: the long time alone for the
// zero date (30 December 1899), the short date alone at 00:00:00, else short date, blank, time.
std::string GeneralDateText(const Window& window, const CivilDateTime& date_time);
void AppendGeneralDateText(std::string& out, const Window& window, const CivilDateTime& date_time);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_TIMESTAMP_H_
