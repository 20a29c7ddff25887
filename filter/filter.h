// The filter language: which frames of a capture to keep. An expression is parsed once into a
// Filter, then asked about each frame (Matches), which allocates nothing.
//
//   src == QQ0QQ-* and type == UI                  frames of QQ0QQ, any SSID, that are UI frames
//   via == WIDE2-1 or repeated                     a digipeater WIDE2-1, or one that has repeated
//   time >= 2016-01-01T12:00 and time < 2016-01-01T12:30:15.5
//   info ~ "^[!=/@]" and not problem               payloads that begin like APRS positions
//   type in {SABM, DISC, UA, DM} and port != 1
//
//   expression := or
//   or         := and { "or" and }
//   and        := unary { "and" unary }
//   unary      := "not" unary | "(" expression ")" | test
//   test       := FIELD [ ("==" | "!=" | "<" | "<=" | ">" | ">=" | "~") VALUE
//                       | "in" "{" VALUE { "," VALUE } "}" ]
//   VALUE      := a word (letters, digits and - + . : * _ /) or a "quoted text"
//
// `not` binds tighter than `and`, `and` tighter than `or`. A bare FIELD is a truth test: the
// frame has the field (problem: has a finding; via, repeated: has such a digipeater; info: a
// payload that is not empty). The fields are the rows of filter/fields.h; what a value means
// follows the field: a number (decimal or 0x..), a time (ISO 8601, UTC), a callsign (CALL-SSID,
// CALL-* for any SSID), a name (UI, RR, ... for type). `~` is an unanchored regular expression in
// RE2's syntax, run by RE2 (linear time), each byte of the text one character. In a quoted text
// \" stands for a quote; every other backslash stays as it is, for the regular expression.
//
// A wrong expression is an error that names the column (from 1, in characters) and what was
// expected there, never a filter that matches nothing.
#ifndef PACKSCOPE_FILTER_FILTER_H_
#define PACKSCOPE_FILTER_FILTER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filter/fields.h"
#include "filter/frame_facts.h"

namespace packscope {

struct FilterError {
  int column = 0;  // from 1, in characters (UTF-8 code points) of the expression
  std::string message;
  // "filter: column 12: expected a value after "==""
  std::string Text() const;
};

class Filter {
 public:
  // Parses text; on failure nothing, and error (when given) says why.
  static std::optional<Filter> Parse(std::string_view text, FilterError* error = nullptr);

  Filter(Filter&&) noexcept;
  Filter& operator=(Filter&&) noexcept;
  ~Filter();

  // What the fields of the expression read beyond the frame's bytes and place.
  FrameNeeds Needs() const { return needs_; }
  // True when the frame passes. Adds to facts the decodings its tests need (DescribeFrame), the
  // first time one needs them. No allocation once facts has held a frame.
  bool Matches(FrameFacts& facts) const;
  const std::string& Text() const { return text_; }

  struct Program;  // the compiled expression (filter.cpp)

 private:
  Filter();

  std::string text_;
  FrameNeeds needs_ = 0;
  std::unique_ptr<Program> program_;
};

// The language for a --help text: operators, the fields with their help lines, examples. Lines
// end with LF.
std::string FilterHelpText();

}  // namespace packscope

#endif  // PACKSCOPE_FILTER_FILTER_H_
