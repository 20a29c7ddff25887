// DecodeAx25: the AX.25 decoder of the current frame. It reads FrameBytes at fixed positions
// (counted from 1; position 1 is the KISS type byte, which it never looks at):
//
//   pos  2..7   destination callsign, six characters, each shifted left by one bit
//   pos  8      destination SSID byte   C R R S S S S E   (E: bit 0, 1 = last address)
//   pos  9..14  source callsign
//   pos 15      source SSID byte        C R R S S S S E
//   pos 16..    digipeater blocks of 7 bytes while E is 0, at most nine visited
//                                       H R R S S S S E   (H: has been repeated)
//   pos c       control byte  (c = 16 + 7 * digipeaters, 79 when no end mark within nine)
//                 xxxxxxx0  I frame   PID at c+1, information from c+2
//                 xxxxxx01  S frame   information from c+1
//                 xxxxxx11  U frame   UI (code 0: 0x03, 0x13) like an I frame, others like S
//   info..FrameLength       information field -> PayloadHex
//
// Positions are never compared with FrameLength for the address and control fields: a frame
// shorter than its address field is decoded from what FrameBytes still holds there, bytes of an
// earlier, longer frame (or zeros before any). The information field ends at FrameLength.
#ifndef PACKSCOPE_AX25_AX25_DECODER_H_
#define PACKSCOPE_AX25_AX25_DECODER_H_

#include <cstdint>
#include <string>

#include "capture/decoder_state.h"
#include "capture/window.h"

namespace packscope {

// b shifted right by n bits with zeros shifted in; n below 1 gives b, n of 8 or more gives 0.
std::uint8_t ShiftRight(std::uint8_t b, std::int16_t n);

// Bit n of b (bit 0 the least significant); false for every n outside 0..7.
bool TestBit(std::uint8_t b, std::int16_t n);

// The text of one 7-byte address block (six shifted characters, then the SSID byte) as the
// decoder shows it: the characters with blanks trimmed at both ends, then "-" and the SSID in
// decimal when the SSID is not 0. Reads block[0] to block[6]. Returns the SSID.
std::uint8_t CallsignText(const std::uint8_t* block, std::string& call);

// Decodes the current frame: DestCall, SourceCall, their SSIDs, AddressEnd, FieldPos,
// DigiIndex, ControlByte, TypeCode, PidByte (I and UI frames only), InfoPos and PayloadHex;
// sets Text2 to "-" DestCall "-" and Text3 to "-" SourceCall "-".
void DecodeAx25(DecoderState& state, Window& window);

}  // namespace packscope

#endif  // PACKSCOPE_AX25_AX25_DECODER_H_
