// The colouring of the frame list's rows: rules of a filter expression and a colour each, tried
// in order; a row takes the colour of the first rule its frame matches, as the filter language
// reads the frame (the same fields and values as packscope-convert --filter).
//
//   Findings         problem                                    a warm red
//   APRS messages    aprs.type in {message, ack, rej, bulletin} a blue
//   Connected mode   type in {I, RR, RNR, REJ, SREJ, SABM, ...} a green
//
// The window keeps the rules in its settings and paints the colour behind a row's texts.
#ifndef PACKSCOPE_FRAMELIST_COLOURING_H_
#define PACKSCOPE_FRAMELIST_COLOURING_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "filter/filter.h"

namespace packscope {

struct ColourRule {
  std::string name;        // for the user
  std::string expression;  // the filter language
  std::uint32_t rgb = 0;   // 0xRRGGBB
  bool operator==(const ColourRule&) const = default;
};

// The rules a new user starts with.
std::vector<ColourRule> DefaultColourRules();

class Colouring {
 public:
  // Compiles rules in their order. Nothing, and error set (the rule named, the column of the
  // fault), when one does not parse.
  static std::optional<Colouring> Compile(const std::vector<ColourRule>& rules,
                                          std::string* error = nullptr);

  // The first rule the frame matches (its index); -1 for none. facts as Filter::Matches takes
  // them.
  int Match(FrameFacts& facts) const;
  // What the rules read beyond the frame's bytes and place.
  FrameNeeds Needs() const { return needs_; }
  const std::vector<ColourRule>& Rules() const { return rules_; }

 private:
  std::vector<ColourRule> rules_;
  std::vector<Filter> filters_;
  FrameNeeds needs_ = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_COLOURING_H_
