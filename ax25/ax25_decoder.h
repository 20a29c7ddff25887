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
//
// The decoder works over bytes alone; the frame loop's step (capture/ax25_step.h) hands it
// FrameBytes and shows the callsigns in the window.
#ifndef PACKSCOPE_AX25_AX25_DECODER_H_
#define PACKSCOPE_AX25_AX25_DECODER_H_

#include <cstdint>
#include <span>
#include <string>

namespace packscope {

// Positions the decoder may read: the address field's fixed positions end at 80 (the control
// byte at 79 and a PID at 80).
inline constexpr std::size_t kAx25DecoderReach = 80;

// What the decoder finds, under the names the window's state gives them. Fields a frame does not
// set keep their earlier values: TypeCode for I frames, PidByte for S and U frames other than UI,
// DigiIndex for frames without digipeaters.
struct Ax25Fields {
  std::string DestCall;
  std::string SourceCall;
  std::uint8_t DestSsid = 0;
  std::uint8_t SourceSsid = 0;
  std::uint8_t AddressEnd = 0;
  std::int16_t FieldPos = 0;
  std::int16_t DigiIndex = 0;
  std::uint8_t ControlByte = 0;
  std::uint8_t TypeCode = 0;
  std::uint8_t PidByte = 0;
  std::int16_t InfoPos = 0;
  std::string PayloadHex;  // information field as hex text; rebuilt by every decoder call
};

// What the control byte says of a frame, as the decoder and the frame details both read it.
//
//   xxxxxxx0  I frame   always a PID
//   xxxxxx01  S frame   TypeCode = bits 2..3 (RR 0, RNR 1, REJ 2, SREJ 3), no PID
//   xxxxxx11  U frame   TypeCode = bits 5..7 and 2..3 (mmm mm); UI (code 0) has a PID
enum class Ax25Kind { kI, kS, kU };
struct Ax25Control {
  Ax25Kind kind = Ax25Kind::kI;
  std::uint8_t type_code = 0;  // S and U frames
  bool has_pid = false;
};
Ax25Control ClassifyControl(std::uint8_t control);

// b shifted right by n bits with zeros shifted in; n below 1 gives b, n of 8 or more gives 0.
// (Inline: the decoders call both for every address byte.)
inline std::uint8_t ShiftRight(std::uint8_t b, std::int16_t n) {
  if (n < 1) return b;
  if (n >= 8) return 0;
  return static_cast<std::uint8_t>(b >> n);
}

// Bit n of b (bit 0 the least significant); false for every n outside 0..7.
inline bool TestBit(std::uint8_t b, std::int16_t n) {
  if (n < 0 || n > 7) return false;
  return ((b >> n) & 1) != 0;
}

// The text of one 7-byte address block (six shifted characters, then the SSID byte) as the
// decoder shows it: the characters with blanks trimmed at both ends, then "-" and the SSID in
// decimal when the SSID is not 0. Reads block[0] to block[6]. Returns the SSID.
std::uint8_t CallsignText(const std::uint8_t* block, std::string& call);

// Decodes a frame: frame_bytes holds FrameBytes from position 1 (the type byte) on, at least
// kAx25DecoderReach bytes of it (bytes beyond frame_length may be those of earlier frames);
// frame_length is the frame's length. Sets DestCall, SourceCall, their SSIDs, AddressEnd,
// FieldPos, DigiIndex, ControlByte, TypeCode, PidByte (I and UI frames only), InfoPos and
// PayloadHex of fields.
void DecodeAx25(std::span<const std::uint8_t> frame_bytes, std::int32_t frame_length,
                Ax25Fields& fields);
// DecodeAx25 without the callsign texts, which cost most of its time: DestCall and SourceCall
// keep what they held; everything else, their SSIDs included, is set.
void DecodeAx25Payload(std::span<const std::uint8_t> frame_bytes, std::int32_t frame_length,
                       Ax25Fields& fields);

}  // namespace packscope

#endif  // PACKSCOPE_AX25_AX25_DECODER_H_
