// The TNC2 text form of an AX.25 frame: the line that TNC monitors, kissutil, APRS-IS and the
// raw views of APRS sites print, and that APRS programs read.
//
//   SRC-1>DEST,DIGI1,DIGI2*,WIDE2-1:information
//
//   callsign   1 to 6 letters or digits, then "-" and the SSID (1..15) unless it is 0
//   ">"        between source and destination (the destination is the first address stored)
//   ","        before each digipeater, in the order of the path (at most 8)
//   "*"        behind the last digipeater that has repeated the frame: its H bit is set, and so
//              are those of the digipeaters before it
//   ":"        the information field follows, to the end of the line, as bytes. Only what the
//              line cannot hold is written otherwise: CR, LF and NUL as <0x0d>, <0x0a> and
//              <0x00> (Dire Wolf's form), a FEND (0xC0, which would make the file look like
//              KISS) as <0xc0>, and a "<" that would begin such a group as <0x3c>.
//              Reading takes every <0xHH> as the byte HH.
//
// Read back, a line becomes a UI frame (control 03) with PID F0, a command: the destination's C
// bit set, the source's clear, the reserved bits set. What the form does not carry (control,
// PID, C and reserved bits, H bits that are set behind one that is clear) is not kept.
#ifndef PACKSCOPE_AX25_TNC2_TEXT_H_
#define PACKSCOPE_AX25_TNC2_TEXT_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/ax25_details.h"

namespace packscope {

// Appends the TNC2 line of the frame that details describes (DescribeAx25 of a frame that has
// an address field: problem kNone), without a line end. False, with nothing appended, when the
// frame has no address field or an address the form cannot write (a callsign of characters other
// than letters and digits, or none at all).
bool AppendTnc2Line(std::string& out, const Ax25Details& details);

// Reads a TNC2 line (without its line end) into the AX.25 frame it stands for, appended to
// frame. False when the text is no TNC2 line; why then says what is wrong ("no \">\" behind the
// source", "callsign \"TOOLONGCALL\" has more than 6 characters"), and frame is as it was.
bool ParseTnc2Line(std::string_view line, std::vector<std::uint8_t>& frame, std::string& why);

// Appends the information field as the form writes it (above).
void AppendTnc2Info(std::string& out, std::span<const std::uint8_t> info);

}  // namespace packscope

#endif  // PACKSCOPE_AX25_TNC2_TEXT_H_
