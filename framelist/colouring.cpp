#include "framelist/colouring.h"

namespace packscope {

std::vector<ColourRule> DefaultColourRules() {
  return {
      {"Findings", "problem", 0xE05050},
      {"APRS messages", "aprs.type in {message, ack, rej, bulletin}", 0x5080E0},
      {"Connected mode", "type in {I, RR, RNR, REJ, SREJ, SABM, SABME, DISC, UA, DM, FRMR}",
       0x40B060},
  };
}

std::optional<Colouring> Colouring::Compile(const std::vector<ColourRule>& rules,
                                            std::string* error) {
  Colouring out;
  for (const ColourRule& rule : rules) {
    FilterError fault;
    std::optional<Filter> filter = Filter::Parse(rule.expression, &fault);
    if (!filter) {
      if (error != nullptr) *error = "\"" + rule.name + "\": " + fault.Text();
      return std::nullopt;
    }
    out.needs_ |= filter->Needs();
    out.filters_.push_back(std::move(*filter));
  }
  out.rules_ = rules;
  return out;
}

int Colouring::Match(FrameFacts& facts) const {
  for (std::size_t i = 0; i < filters_.size(); ++i) {
    if (filters_[i].Matches(facts)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace packscope
