#include "capture/colored_append.h"

#include <cstdint>

namespace packscope {

void AppendColored(Window& display, std::string_view text, Color color) {
  const auto n = static_cast<std::int64_t>(text.size());
  const std::int64_t start = display.SelStart();
  display.SetSelLength(0);
  display.SetSelText(text);
  display.SetSelStart(start);
  display.SetSelLength(n);
  display.SetSelColor(color);
  display.SetSelLength(0);
  display.SetSelStart(start + n);
}

}  // namespace packscope
