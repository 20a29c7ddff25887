// What AX.25 frames carry above the link layer, by PID: NET/ROM (CF), read field by field, and
// IP (CC) and ARP (CD), each summed up in one line.
//
// NET/ROM, the network of packet nodes:
//
//   NODES broadcast (a UI frame to NODES)
//     FF | the sender's alias (6, ASCII, blank padded) | routes, 21 bytes each:
//          destination (7, an AX.25 address block) | its alias (6) | best neighbour (7) | quality
//   any other frame: network header (15) | transport header (5) | what the opcode carries
//     origin (7) | destination (7) | time to live (1)
//     circuit index | circuit ID | byte 17 | byte 18 | opcode (low nibble) and flags
//                                                      0x80 choke, 0x40 NAK, 0x20 more follows
//     opcode 0 protocol extension  the sender's circuit          (IP inside when 0C 0C)
//            1 connect request     the sender's circuit          | window | user (7) | node (7)
//            2 connect acknowledge the other's circuit; 17, 18 the sender's circuit | window
//            3 disconnect request, 4 disconnect acknowledge   the other's circuit
//            5 information         the other's circuit; 17 TX sequence, 18 RX sequence | data
//            6 information acknowledge  the other's circuit; 18 RX sequence
//
// IP: version 4, addresses, the protocol and its ports (TCP, UDP) or ICMP type. ARP over AX.25
// (hardware type 3): request or reply, callsigns and IP addresses.
#ifndef PACKSCOPE_AX25_LAYER3_H_
#define PACKSCOPE_AX25_LAYER3_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace packscope {

inline constexpr std::uint8_t kPidNetRom = 0xCF;
inline constexpr std::uint8_t kPidIp = 0xCC;
inline constexpr std::uint8_t kPidArp = 0xCD;

struct NetRomRoute {
  std::string call;  // CallsignText of the block
  std::string alias;
  std::string neighbour;
  int quality = 0;
};

struct NetRomPacket {
  enum class Kind { kNodes, kTransport };
  Kind kind = Kind::kTransport;
  // What does not fit the layout, for the user; empty when the packet reads whole. What could
  // be read before it is set.
  std::string error;

  // kNodes
  std::string alias;
  std::vector<NetRomRoute> routes;

  // kTransport
  std::string origin;
  std::string destination;
  int ttl = 0;
  std::uint8_t circuit_index = 0;  // bytes 15 and 16
  std::uint8_t circuit_id = 0;
  std::optional<std::uint8_t> my_circuit_index;  // connect acknowledge: bytes 17 and 18
  std::optional<std::uint8_t> my_circuit_id;
  std::optional<int> tx_seq;  // information
  std::optional<int> rx_seq;  // information and its acknowledge
  std::uint8_t opcode = 0;    // the low nibble
  bool choke = false;
  bool nak = false;
  bool more = false;
  std::optional<int> window;  // connect request and acknowledge
  std::string user;           // connect request
  std::string node;
  std::span<const std::uint8_t> data;  // after the headers (and what the opcode carries)
};

// Reads the information field of a frame with PID CF. False (and nothing set) for an empty one;
// a packet too short for its layout is read as far as it goes, with error set.
bool DecodeNetRom(std::span<const std::uint8_t> info, NetRomPacket& packet);

// "information", "connect request", ...; "opcode N" for the unassigned ones.
std::string NetRomOpcodeName(std::uint8_t opcode);

// The one line for the frame's layer 3, for the monitor's second line and the details:
//
//   NET/ROM NODES from BBSQQ5: QQ1NOD-2 NODE1 via QQ1NOD-2 quality 192, QQ9NOD-4 HILL via ...
//   NET/ROM QQ1NOD-2 > QQ9NOD-4 ttl 7, information circuit 2/43 tx 3 rx 2, 38 bytes "text"
//   IP 44.128.1.2 > 44.128.1.9, TCP 1024 > 23, 60 bytes
//   ARP request: who has 44.128.1.9? tell QQ1ABC-9 at 44.128.1.2
//
// Appends nothing and returns false for another PID. Texts are printable ASCII (other bytes as
// <0xNN>).
bool AppendLayer3Words(std::string& out, std::uint8_t pid, std::span<const std::uint8_t> info);

}  // namespace packscope

#endif  // PACKSCOPE_AX25_LAYER3_H_
