// The monitor layout's line for one frame, for the layout and its tests.
#ifndef PACKSCOPE_COMMANDS_MONITOR_LAYOUT_H_
#define PACKSCOPE_COMMANDS_MONITOR_LAYOUT_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "aprs/aprs_decoder.h"
#include "ax25/ax25_details.h"

namespace packscope {

// Appends the line (without its line break) for the un-escaped KISS frame kiss_frame, type byte
// first. time is the frame's time text, or empty for none.
//
//   2016-01-01 12:34:56.789 QQ0QQ-1>CQ,RELAY*,WIDE2-1: UI pid=F0 "payload text<0x0D>"
//   QQ1QQ>QQ0QQ-1: I ns=2 nr=5 P pid=F0 "hello"
//   QQ0QQ-1>QQ1QQ: RR nr=3 F
//   QQ0QQ-1>QQ1QQ: SABM P
//   port=1 QQ0QQ-1>QQ1QQ: U code=1
//   (too short for an AX.25 header: 3 bytes after the type byte, 15 needed) 00 41 42 43
//
// The time comes first; then "port=N" for KISS ports other than 0; then source ">" destination
// and the digipeaters, each marked "*" when it has repeated the frame; then the frame kind: "I"
// with N(S) and N(R), an S frame's name with N(R), a U frame's name (or "U code=N" for an
// unassigned code), all read modulo 8; "P" or "F" when the poll/final bit is set (P for a
// command, F for a response, "P/F" when the C bits do not tell); the PID of I and UI frames; and
// the information field in double quotes, bytes outside 0x20..0x7E as <0xNN>. A frame that is not
// AX.25 gives its problem in parentheses and its hex text. Control characters of a callsign are
// written as <0xNN> too.
void AppendMonitorLine(std::string& out, std::span<const std::uint8_t> kiss_frame,
                       std::string_view time);
// The same with the frame's DescribeAx25 at hand (read only for a data frame).
void AppendMonitorLine(std::string& out, std::span<const std::uint8_t> kiss_frame,
                       std::string_view time, const Ax25Details& details);

// A frame's whole entry in the monitor layout: its line and LF, and for an APRS frame (aprs, its
// decoding; null for any other frame) a second line, two blanks and the APRS field in plain
// words (AppendAprsWords), LF; for an I or UI frame with PID CF (NET/ROM), CC (IP) or CD (ARP)
// the second line says what it carries (AppendLayer3Words).
void AppendMonitorEntry(std::string& out, std::span<const std::uint8_t> kiss_frame,
                        std::string_view time, const Ax25Details& details, const AprsPacket* aprs);

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_MONITOR_LAYOUT_H_
