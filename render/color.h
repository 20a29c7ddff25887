// Colours of the display, as RGB values written 0xBBGGRR: red in the low byte, blue in the high
// byte.
#ifndef PACKSCOPE_RENDER_COLOR_H_
#define PACKSCOPE_RENDER_COLOR_H_

#include <cstdint>

namespace packscope {

using Color = std::uint32_t;
inline constexpr Color kBlack = 0x000000;
inline constexpr Color kRed = 0x0000FF;
inline constexpr Color kBlue = 0xFF0000;
inline constexpr Color kGreen = 0x008000;

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_COLOR_H_
