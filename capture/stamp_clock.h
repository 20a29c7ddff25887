// The time that a capture's frames carry, followed through its timestamp frames, as milliseconds
// since 1970 (UTC). A binary stamp gives its value; a text stamp gives one when it is written
//
//   YYYY-MM-DD HH:MM:SS[.f[f[f]]] UTC      ("T" may stand for the blank, the blank before UTC
//                                           may be left out)
//
// and no time otherwise (the frames then carry StampText alone). The converter's layouts, its
// health report and the filter language all read the time here.
#ifndef PACKSCOPE_CAPTURE_STAMP_CLOCK_H_
#define PACKSCOPE_CAPTURE_STAMP_CLOCK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "capture/decoder_state.h"

namespace packscope {

// Milliseconds since 1970 of a text stamp written as above; nothing for any other text or an
// invalid date.
std::optional<std::int64_t> ParseStampText(std::string_view text);

// The date and time "YYYY-MM-DD HH:MM:SS[.f...]" ("T" may stand for the blank) at text[pos], as
// milliseconds since 1970 (UTC), with at most most_fraction_digits digits of a fraction (of
// which the first three count); pos then stands behind it. Nothing for anything else or an
// invalid date, pos unchanged.
std::optional<std::int64_t> ReadDateTime(std::string_view text, std::size_t& pos,
                                         std::size_t most_fraction_digits);

// Nothing before the pass's first stamp.
class StampClock {
 public:
  // For a timestamp frame: true when the frame set a stamp (a binary one, or a text one other
  // than the text stamp in force). Reads the frame's bytes alone.
  bool Update(const DecoderState& state);
  const std::optional<std::int64_t>& Millis() const { return millis_; }
  // Back to the state before the first stamp (a new pass).
  void Reset() {
    last_text_.clear();
    millis_.reset();
  }

 private:
  std::string last_text_;  // the text stamp in force; empty after a binary one
  std::optional<std::int64_t> millis_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_STAMP_CLOCK_H_
