#include "ax25/layer3.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/hex.h"

namespace packscope {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// A NODES broadcast heard on the air (TARPN, KA2DEW-2 "TADD", the second half of its table),
// from its PID on: FF, the alias, seven routes.
const char* kTaddNodes =
    "FF 54 41 44 44 20 20 96 82 64 88 8A AE 06 46 46 56 43 20 20 82 92 68 AE AC 40 64 9C 82 92 "
    "68 AE AC 40 62 42 42 56 4F 4E 20 82 92 68 AE AC 40 64 4D 9C 6C 98 AA B4 40 64 53 4B 49 50 "
    "20 20 82 92 68 AE AC 40 64 4A 96 8A 68 AC 9C 86 04 42 49 4C 4C 59 20 9C 86 68 8C 8E 40 64 "
    "7A AE 68 A4 8C A2 40 04 53 4E 45 4C 4C 20 82 92 68 AE AC 40 64 4A 96 AC 6E 88 40 40 04 41 "
    "44 52 4F 20 20 82 92 68 AE AC 40 64 7A 96 68 A4 8E 9C 40 62 42 42 54 49 4C 4C 96 68 A4 8E "
    "9C 40 64 4D ";

TEST(NetRomTest, NodesBroadcastHeardOnTheAir) {
  const std::vector<std::uint8_t> info = Bytes(kTaddNodes);
  NetRomPacket p;
  ASSERT_TRUE(DecodeNetRom(info, p));
  EXPECT_EQ(p.kind, NetRomPacket::Kind::kNodes);
  EXPECT_EQ(p.error, "");
  EXPECT_EQ(p.alias, "TADD");
  struct Route {
    const char* call;
    const char* alias;
    const char* neighbour;
    int quality;
  };
  const std::vector<Route> want = {
      {"KA2DEW-3", "FFVC", "AI4WV-2", 156}, {"AI4WV-1", "BBVON", "AI4WV-2", 77},
      {"N6LUZ-2", "SKIP", "AI4WV-2", 74},   {"KE4VNC-2", "BILLY", "NC4FG-2", 122},
      {"W4RFQ-2", "SNELL", "AI4WV-2", 74},  {"KV7D-2", "ADRO", "AI4WV-2", 122},
      {"K4RGN-1", "BBTILL", "K4RGN-2", 77},
  };
  ASSERT_EQ(p.routes.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(p.routes[i].call, want[i].call);
    EXPECT_EQ(p.routes[i].alias, want[i].alias);
    EXPECT_EQ(p.routes[i].neighbour, want[i].neighbour);
    EXPECT_EQ(p.routes[i].quality, want[i].quality);
  }
  // A route cut short is said, the whole ones kept.
  const std::vector<std::uint8_t> cut(info.begin(), info.end() - 5);
  ASSERT_TRUE(DecodeNetRom(cut, p));
  EXPECT_EQ(p.routes.size(), 6U);
  EXPECT_EQ(p.error, "a route cut off: 16 bytes of 21");
}

// Network and transport headers: what bytes 15 to 18 mean, and what follows, by opcode.
TEST(NetRomTest, TransportHeadersByOpcode) {
  // QQ1NOD-2 > QQ9NOD-4, TTL 7.
  const std::string network = "A2 A2 62 9C 9E 88 64 A2 A2 72 9C 9E 88 68 07 ";
  NetRomPacket p;
  // The packet's data points into its bytes: they are kept.
  const std::vector<std::uint8_t> info = Bytes(network + "02 2B 03 05 25 31 32 ");
  ASSERT_TRUE(DecodeNetRom(info, p));
  EXPECT_EQ(p.origin, "QQ1NOD-2");
  EXPECT_EQ(p.destination, "QQ9NOD-4");
  EXPECT_EQ(p.ttl, 7);
  EXPECT_EQ(NetRomOpcodeName(p.opcode), "information");
  EXPECT_EQ(p.circuit_index, 2);
  EXPECT_EQ(p.circuit_id, 0x2B);
  EXPECT_EQ(p.tx_seq, 3);
  EXPECT_EQ(p.rx_seq, 5);
  EXPECT_TRUE(p.more);
  EXPECT_FALSE(p.choke);
  EXPECT_EQ(std::string(p.data.begin(), p.data.end()), "12");

  // Connect request: window, user, node after the header.
  ASSERT_TRUE(DecodeNetRom(
      Bytes(network + "01 2A 00 00 01 04 A2 A2 62 82 84 86 72 A2 A2 62 9C 9E 88 64 "), p));
  EXPECT_EQ(NetRomOpcodeName(p.opcode), "connect request");
  EXPECT_EQ(p.window, 4);
  EXPECT_EQ(p.user, "QQ1ABC-9");
  EXPECT_EQ(p.node, "QQ1NOD-2");
  EXPECT_FALSE(p.tx_seq.has_value());
  EXPECT_TRUE(p.data.empty());

  // Connect acknowledge with choke: the acknowledging node's own circuit, the window.
  ASSERT_TRUE(DecodeNetRom(Bytes(network + "01 2A 07 11 82 04 "), p));
  EXPECT_EQ(p.my_circuit_index, 7);
  EXPECT_EQ(p.my_circuit_id, 0x11);
  EXPECT_EQ(p.window, 4);
  EXPECT_TRUE(p.choke);

  // Information acknowledge: RX sequence only.
  ASSERT_TRUE(DecodeNetRom(Bytes(network + "01 2A 09 06 46 "), p));
  EXPECT_FALSE(p.tx_seq.has_value());
  EXPECT_EQ(p.rx_seq, 6);
  EXPECT_TRUE(p.nak);

  // Too short for the transport header; a connect request without its callsigns.
  ASSERT_TRUE(DecodeNetRom(Bytes(network + "01 2A "), p));
  EXPECT_EQ(p.error, "too short for the network and transport headers: 17 bytes, 20 needed");
  EXPECT_EQ(p.origin, "QQ1NOD-2");
  ASSERT_TRUE(DecodeNetRom(Bytes(network + "01 2A 00 00 01 04 "), p));
  EXPECT_EQ(p.error, "a connect request without its window, user and node");
  EXPECT_FALSE(DecodeNetRom({}, p));
}

TEST(Layer3Test, OneLinePerProtocol) {
  struct Case {
    std::uint8_t pid;
    std::string hex;
    std::string words;
  };
  const std::vector<Case> cases = {
      {kPidNetRom,
       "FF 4E 4F 44 45 31 20 A2 A2 72 9C 9E 88 68 48 49 4C 4C 20 20 A2 A2 72 9C 9E 88 "
       "68 C0 ",
       "NET/ROM NODES from NODE1: QQ9NOD-4 HILL via QQ9NOD-4 quality 192"},
      {kPidNetRom, "A2 A2 62 9C 9E 88 64 A2 A2 72 9C 9E 88 68 07 02 2B 03 05 05 68 69 0D ",
       "NET/ROM QQ1NOD-2 > QQ9NOD-4 ttl 7, information circuit 2/43 tx 3 rx 5, 3 bytes "
       "\"hi<0x0D>\""},
      // IPv4, 40 bytes, TCP from port 1024 to 23; then an ICMP echo request.
      {kPidIp, "45 00 00 28 00 01 00 00 40 06 00 00 2C 80 01 02 2C 80 01 09 04 00 00 17 ",
       "IP 44.128.1.2 > 44.128.1.9, TCP 1024 > 23, 40 bytes"},
      {kPidIp, "45 00 00 54 00 01 00 00 40 01 00 00 2C 80 01 02 2C 80 01 09 08 00 ",
       "IP 44.128.1.2 > 44.128.1.9, ICMP echo request, 84 bytes"},
      {kPidIp, "60 00 00 00 ", "IP (too short: 4 bytes)"},
      // ARP over AX.25: request and reply.
      {kPidArp,
       "00 03 08 00 07 04 00 01 A2 A2 62 82 84 86 72 2C 80 01 02 00 00 00 00 00 00 00 "
       "2C 80 01 09 ",
       "ARP request: who has 44.128.1.9? tell QQ1ABC-9 at 44.128.1.2"},
      {kPidArp,
       "00 03 08 00 07 04 00 02 A2 A2 64 B0 B2 40 6E 2C 80 01 09 A2 A2 62 82 84 86 72 "
       "2C 80 01 02 ",
       "ARP reply: 44.128.1.9 is at QQ2XY-7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    std::string out;
    EXPECT_TRUE(AppendLayer3Words(out, c.pid, Bytes(c.hex)));
    EXPECT_EQ(out, c.words);
  }
  std::string out;
  EXPECT_FALSE(AppendLayer3Words(out, 0xF0, Bytes("41 42 ")));
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace packscope
