// AppendColored: puts one piece of text into the display in one colour and leaves the insertion
// point directly behind it. Only the inserted characters are recoloured.
#ifndef PACKSCOPE_CAPTURE_COLORED_APPEND_H_
#define PACKSCOPE_CAPTURE_COLORED_APPEND_H_

#include <string_view>

#include "capture/window.h"

namespace packscope {

// Inserts text (Windows-1252, may hold CR LF) at the display's insertion point in colour
// (0xBBGGRR). Errors of the display pass to the caller unchanged.
void AppendColored(Window& display, std::string_view text, Color color);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_COLORED_APPEND_H_
