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
#include <unordered_map>
#include <vector>

#include "capture/decoder_state.h"
#include "capture/window.h"
#include "render/civil_time.h"

namespace packscope {

// The zero date-time: day 0, 30 December 1899 at midnight.
inline constexpr CivilDateTime kZeroDateTime{};

// Binary stamps from this value on (9999-12-31 00:00:00 UTC, a day before the dates end) have a
// time that no date shows (StampTexts::kUndated).
inline constexpr std::uint64_t kUndatedStampMillis =
    static_cast<std::uint64_t>(DaysFromCivil(9999, 12, 31)) * 86400000;

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

// The window's regional date and time texts, asked once per day and per second of the day. The
// table of the day's seconds is made once the object has been asked for many times: a pass over
// a short capture asks the window instead. The texts returned stay until the next call.
class CachedDateTexts {
 public:
  explicit CachedDateTexts(const Window& window) : window_(window) {}
  const std::string& ShortDateText(int year, int month, int day) const;
  const std::string& LongTimeText(int hour, int minute, int second) const;

 private:
  static constexpr int kAsksBeforeTable = 1000;

  const Window& window_;
  mutable std::unordered_map<std::int64_t, std::string> dates_;
  mutable std::int64_t last_date_key_ = -1;
  mutable const std::string* last_date_ = nullptr;
  mutable int time_asks_ = 0;
  mutable std::string last_time_;
  mutable std::vector<std::string> times_;  // by second of the day, once asked
  mutable std::vector<bool> have_time_;
};

// The time text of binary stamps as the window shows it (AppendBinaryStampTime: "1 Jan 2016
// 12:34:56.789"), and its length without making it. Stamps come in order, many a day: the date of
// the last day is kept.
class StampTimeTexts {
 public:
  explicit StampTimeTexts(const Window& window) : texts_(window) {}
  void Append(std::string& out, std::uint64_t value) const;
  // False when the text holds a line feed: the caller then measures the text itself.
  bool Size(std::uint64_t value, std::int64_t& size) const;

 private:
  static constexpr std::int8_t kUnknown = -1;
  static constexpr std::int8_t kMeasure = -2;

  CachedDateTexts texts_;
  mutable std::int64_t date_day_start_ = -1;  // the day of date_ (a second no stamp has: 1970 on)
  mutable CivilDateTime date_;
  mutable std::int64_t day_start_ = -1;          // the day of day_size_
  mutable std::int64_t day_size_ = 0;            // -1: holds a line feed
  mutable std::vector<std::int8_t> time_sizes_;  // by second of the day
};

// For the current frame (type byte 0x09): a binary or text stamp, or nothing at all, its time
// text made through times (of window). StampText is made for the stamps wanted (FrameTexts), and
// for every one where the window keeps the stamp log (Window::KeepsStampLog), whose line holds
// the text; a pass that wants none leaves StampText as it is, one that wants the undated ones
// empties it at a dated binary stamp.
void TimestampStep(DecoderState& state, Window& window, const StampTimeTexts& times,
                   StampTexts wanted = StampTexts::kAll);

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
