// DescribeAx25: a full reading of one frame's AX.25 header, for the converter's pcap, JSON Lines
// and monitor layouts and its health report. DecodeAx25 reads fixed positions and may read bytes
// of an earlier frame; this reading stays inside the frame and says when the frame is too short
// for its header or its address field has no end. Offsets count from 0 at the KISS type byte
// (FrameBytes position 1):
//
//   0         KISS type byte       P P P P C C C C   port, command (0 = data frame)
//   1..6      destination          six characters, each shifted left by one bit
//   7         destination SSID     C R R S S S S E   C: command/response, E: last address
//   8..13     source
//   14        source SSID          C R R S S S S E
//   15..      digipeaters, up to 8 blocks of 7 bytes while E is 0
//                      SSID byte   H R R S S S S E   H: has been repeated
//   c         control, modulo 8: one byte
//               R R R P S S S 0    I frame   N(R), poll, N(S)
//               R R R P/F s s 0 1  S frame   N(R); ss: RR 00, RNR 01, REJ 10, SREJ 11
//               m m m P/F m m 1 1  U frame   mmm mm: UI, SABM, DISC, UA, DM, FRMR, ...
//             modulo 128 (a link set up with SABME, or by XID): two bytes for I and S frames
//               S S S S S S S 0 | R R R R R R R P    I frame   N(S), then N(R) and poll
//               0 0 0 0 s s 0 1 | R R R R R R R P/F  S frame   N(R) and P/F in the second
//             U frames keep their single byte.
//   c+1/c+2   PID                  I and UI frames only
//   ..end     information field
//
// A single frame does not say whether its link counts modulo 128: the caller, who follows the
// link (ax25/ax25_link.h), says so. The frame kind and TypeCode follow the window's decoder
// (which reads one control byte), so the two agree on every frame that both read whole.
#ifndef PACKSCOPE_AX25_AX25_DETAILS_H_
#define PACKSCOPE_AX25_AX25_DETAILS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ax25/ax25_decoder.h"

namespace packscope {

// AX.25 allows 2 to 10 address blocks: destination, source and up to 8 digipeaters. (The
// window's decoder walks nine digipeater blocks; a frame that needs the ninth is broken.)
inline constexpr int kMaxDigipeaters = 8;
// Bytes after the type byte that every AX.25 frame needs: two addresses and the control byte.
inline constexpr std::size_t kMinAx25HeaderLength = 15;

// How a link counts its frames: N(S) and N(R) of 3 bits and one control byte, or of 7 bits and
// two control bytes in I and S frames.
inline constexpr int kModulo8 = 8;
inline constexpr int kModulo128 = 128;

// KISS type byte: port in the high nibble, command in the low one.
inline constexpr int KissPort(std::uint8_t type) { return type >> 4; }
inline constexpr int KissCommand(std::uint8_t type) { return type & 0x0F; }

enum class Ax25Problem {
  kNone,
  kTooShort,      // the frame ends before its control byte
  kNoAddressEnd,  // no end mark (E bit) within the 10 address blocks
};

// From the C bits of destination and source (AX.25 2.x): 1/0 command, 0/1 response; equal bits
// are the older protocol version, which does not tell.
enum class Ax25Role { kUnknown, kCommand, kResponse };

struct Ax25Address {
  std::array<std::uint8_t, 7> block{};  // as stored: six shifted characters and the SSID byte
  std::string call;                     // as DecodeAx25 writes it (CallsignText)
  std::uint8_t ssid = 0;
  bool high_bit = false;  // bit 7 of the SSID byte: C bit, or H bit of a digipeater
  // Every character byte is an upper-case letter, a digit or a blank, shifted left with bit 0
  // clear.
  bool chars_valid = true;
};

struct Ax25Details {
  Ax25Problem problem = Ax25Problem::kNone;
  // kTooShort: bytes after the type byte that the frame has and that its header needs at least.
  std::size_t length = 0;
  std::size_t needed = 0;

  // Set when problem is kNone. With kNoAddressEnd the addresses read are set too.
  Ax25Address destination;
  Ax25Address source;
  std::array<Ax25Address, kMaxDigipeaters> digipeaters;
  int digipeater_count = 0;
  Ax25Role role = Ax25Role::kUnknown;

  // Set when problem is kNone.
  int modulo = kModulo8;           // as the caller asked it to be read
  std::uint8_t control = 0;        // the first control byte
  std::uint8_t control2 = 0;       // the second: I and S frames modulo 128
  std::size_t control_length = 1;  // 1, or 2 for I and S frames modulo 128
  std::size_t control_at = 0;      // offset of the control field in the KISS frame
  Ax25Kind kind = Ax25Kind::kI;
  std::uint8_t type_code = 0;       // S and U frames: TypeCode as the window's decoder computes it
  std::string_view name;            // "RR" ... "TEST"; empty for I frames and unassigned U codes
  std::optional<int> ns;            // I frames (0..modulo-1)
  std::optional<int> nr;            // I and S frames
  bool poll_final = false;          // bit 4 of the control byte (modulo 128: bit 0 of the second)
  bool has_pid = false;             // I and UI frames
  std::optional<std::uint8_t> pid;  // has_pid and the frame holds the byte
  std::span<const std::uint8_t> info;  // the information field: after control or PID to the end
};

// Reads kiss_frame, the un-escaped KISS frame from its type byte on; never beyond its end. The
// type byte is not looked at: a caller decides which frames carry AX.25. An empty frame is too
// short, and so is an I or S frame of a modulo-128 link that ends after its first control byte.
// Spans in the result point into kiss_frame.
Ax25Details DescribeAx25(std::span<const std::uint8_t> kiss_frame, int modulo = kModulo8);
// The same into details, whose strings keep their room (no allocation frame after frame). With
// kTooShort the addresses the frame does not reach keep what they held. Without callsign_texts
// the addresses' call strings are not written (they keep what they held): the header
// alone, for what checks a frame (its problem, the addresses' bits and chars_valid) at less cost.
void DescribeAx25(std::span<const std::uint8_t> kiss_frame, Ax25Details& details,
                  int modulo = kModulo8, bool callsign_texts = true);
// A bool where the modulo goes is a mistake: callsign_texts comes after the modulo.
void DescribeAx25(std::span<const std::uint8_t> kiss_frame, Ax25Details& details,
                  bool callsign_texts) = delete;

// Where the address field of kiss_frame ends, without reading its texts: problem, length, needed
// and digipeater_count as DescribeAx25 sets them, and control_at. For callers that look at many
// frames and read few of them whole (a link tracker over a capture of APRS beacons).
void LocateAx25(std::span<const std::uint8_t> kiss_frame, Ax25Details& details);
// The control field at details.control_at, the PID and the information field, modulo 8 or 128:
// the fields DescribeAx25 sets from the control byte on. The one reader of the control field.
// False (problem kTooShort) when the frame ends inside the control field.
bool ReadControlField(std::span<const std::uint8_t> kiss_frame, Ax25Details& details, int modulo);

// Name of an S frame (code 0..3) or a U frame (TypeCode 0..31); empty for unassigned U codes.
std::string_view SFrameName(std::uint8_t code);
std::string_view UFrameName(std::uint8_t code);

// Name of a PID ("No layer 3" for F0, "NET/ROM" for CF, ...); empty for unassigned values.
std::string_view PidName(std::uint8_t pid);

// "I", "S" or "U".
std::string_view KindLetter(Ax25Kind kind);

}  // namespace packscope

#endif  // PACKSCOPE_AX25_AX25_DETAILS_H_
