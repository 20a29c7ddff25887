// An AX.25 header's parts as text, written one way wherever they appear: in the monitor layout,
// the heard list and the statistics, and the frame list's rows and details.
//
//   digipeater path   QQ0DIG-1*,WIDE2-1     each digipeater's call, * for one that has repeated
//                                           the frame (H bit), commas between; empty for none
//   frame type        I, RR ... TEST        an S or U frame's name, I for an I frame,
//                     U code=1              U code=N for an unassigned U code
#ifndef PACKSCOPE_AX25_AX25_TEXT_H_
#define PACKSCOPE_AX25_AX25_TEXT_H_

#include <string>

#include "ax25/ax25_details.h"

namespace packscope {

// How a call's bytes are written: as they are (keys of the heard list), or with bytes outside
// 0x20..0x7E as <0xNN> (a line of text; AppendPrintable); kFromBlocks: as they are, made from
// the address blocks (details read without their callsign texts).
enum class CallBytes { kAsTheyAre, kPrintable, kFromBlocks };

// Appends the digipeaters of details (read whole: problem kNone).
void AppendDigipeaterPath(std::string& out, const Ax25Details& details,
                          CallBytes calls = CallBytes::kAsTheyAre);

// Appends the frame's type name (details read whole).
void AppendFrameTypeName(std::string& out, const Ax25Details& details);

}  // namespace packscope

#endif  // PACKSCOPE_AX25_AX25_TEXT_H_
