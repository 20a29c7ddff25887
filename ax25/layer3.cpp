#include "ax25/layer3.h"

#include <string>

#include "ax25/ax25_decoder.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr std::size_t kBlock = 7;
constexpr std::size_t kRoute = 21;
constexpr std::size_t kHeaders = 20;

// An alias: six ASCII characters, blanks at the end trimmed.
std::string Alias(const std::uint8_t* bytes) {
  std::string alias(reinterpret_cast<const char*>(bytes), 6);
  while (!alias.empty() && (alias.back() == ' ' || alias.back() == '\0')) alias.pop_back();
  return alias;
}

std::string Call(const std::uint8_t* block) {
  std::string call;
  CallsignText(block, call);
  return call;
}

std::string Plural(std::size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

void DecodeNodes(std::span<const std::uint8_t> info, NetRomPacket& p) {
  p.kind = NetRomPacket::Kind::kNodes;
  if (info.size() < 7) {
    p.error = "too short for the sender's alias: " + Plural(info.size() - 1, "byte");
    return;
  }
  p.alias = Alias(info.data() + 1);
  std::size_t at = 7;
  for (; at + kRoute <= info.size(); at += kRoute) {
    const std::uint8_t* r = info.data() + at;
    p.routes.push_back({Call(r), Alias(r + kBlock), Call(r + kBlock + 6), r[kRoute - 1]});
  }
  if (at < info.size()) {
    p.error = "a route cut off: " + Plural(info.size() - at, "byte") + " of 21";
  }
}

void DecodeTransport(std::span<const std::uint8_t> info, NetRomPacket& p) {
  p.kind = NetRomPacket::Kind::kTransport;
  if (info.size() < kHeaders) {
    p.error = "too short for the network and transport headers: " + Plural(info.size(), "byte") +
              ", 20 needed";
    if (info.size() >= 2 * kBlock) {
      p.origin = Call(info.data());
      p.destination = Call(info.data() + kBlock);
    }
    return;
  }
  p.origin = Call(info.data());
  p.destination = Call(info.data() + kBlock);
  p.ttl = info[14];
  p.circuit_index = info[15];
  p.circuit_id = info[16];
  const std::uint8_t type = info[19];
  p.opcode = type & 0x0F;
  p.choke = (type & 0x80) != 0;
  p.nak = (type & 0x40) != 0;
  p.more = (type & 0x20) != 0;
  std::size_t at = kHeaders;
  switch (p.opcode) {
    case 1:  // connect request
      if (info.size() < at + 1 + 2 * kBlock) {
        p.error = "a connect request without its window, user and node";
        at = info.size();
        break;
      }
      p.window = info[at];
      p.user = Call(info.data() + at + 1);
      p.node = Call(info.data() + at + 1 + kBlock);
      at += 1 + 2 * kBlock;
      break;
    case 2:  // connect acknowledge
      p.my_circuit_index = info[17];
      p.my_circuit_id = info[18];
      if (at < info.size()) p.window = info[at++];
      break;
    case 5:  // information
      p.tx_seq = info[17];
      p.rx_seq = info[18];
      break;
    case 6:  // information acknowledge
      p.rx_seq = info[18];
      break;
    default:
      break;
  }
  p.data = info.subspan(at);
}

void AppendIp4(std::string& out, const std::uint8_t* a) {
  for (int i = 0; i < 4; ++i) {
    if (i > 0) out.push_back('.');
    out += std::to_string(a[i]);
  }
}

//   0 version, IHL | 2-3 total length | 9 protocol | 12-15 source | 16-19 destination
void AppendIp(std::string& out, std::span<const std::uint8_t> b) {
  out += "IP ";
  if (b.size() < 20 || (b[0] >> 4) != 4) {
    out += b.size() < 20 ? "(too short: " + Plural(b.size(), "byte") + ")"
                         : "(version " + std::to_string(b[0] >> 4) + ")";
    return;
  }
  const std::size_t header = static_cast<std::size_t>(b[0] & 0x0F) * 4;
  AppendIp4(out, b.data() + 12);
  out += " > ";
  AppendIp4(out, b.data() + 16);
  const std::uint8_t protocol = b[9];
  const std::span<const std::uint8_t> rest =
      header <= b.size() ? b.subspan(header) : std::span<const std::uint8_t>();
  const auto port = [&rest](std::size_t at) {
    return std::to_string(rest[at] << 8 | rest[at + 1]);
  };
  switch (protocol) {
    case 1:
      out += ", ICMP";
      if (!rest.empty()) {
        out += rest[0] == 8   ? " echo request"
               : rest[0] == 0 ? " echo reply"
                              : " type " + std::to_string(rest[0]);
      }
      break;
    case 6:
    case 17:
      out += protocol == 6 ? ", TCP" : ", UDP";
      if (rest.size() >= 4) out.append(" ").append(port(0)).append(" > ").append(port(2));
      break;
    default:
      out += ", protocol " + std::to_string(protocol);
      break;
  }
  out += ", " + Plural(static_cast<std::size_t>(b[2] << 8 | b[3]), "byte");
}

//   0-1 hardware 3 (AX.25) | 2-3 protocol 0800 | 4 hardware length 7 | 5 protocol length 4 |
//   6-7 operation (1 request, 2 reply) | sender call, IP | target call, IP
void AppendArp(std::string& out, std::span<const std::uint8_t> b) {
  out += "ARP ";
  if (b.size() < 8 + 2 * (kBlock + 4) || b[4] != kBlock || b[5] != 4) {
    out += "(not AX.25 hardware and IP: " + Plural(b.size(), "byte") + ")";
    return;
  }
  const std::uint8_t* sender = b.data() + 8;
  const std::uint8_t* target = sender + kBlock + 4;
  const int op = b[6] << 8 | b[7];
  if (op == 1) {
    out += "request: who has ";
    AppendIp4(out, target + kBlock);
    out += "? tell " + Call(sender) + " at ";
    AppendIp4(out, sender + kBlock);
  } else if (op == 2) {
    out += "reply: ";
    AppendIp4(out, sender + kBlock);
    out += " is at " + Call(sender);
  } else {
    out += "operation " + std::to_string(op);
  }
}

}  // namespace

bool DecodeNetRom(std::span<const std::uint8_t> info, NetRomPacket& packet) {
  packet = NetRomPacket{};
  if (info.empty()) return false;
  // A callsign's first byte is a character shifted left: never FF.
  if (info[0] == 0xFF) {
    DecodeNodes(info, packet);
  } else {
    DecodeTransport(info, packet);
  }
  return true;
}

std::string NetRomOpcodeName(std::uint8_t opcode) {
  static constexpr const char* kNames[] = {
      "protocol extension",     "connect request", "connect acknowledge",    "disconnect request",
      "disconnect acknowledge", "information",     "information acknowledge"};
  if (opcode < 7) return kNames[opcode];
  return "opcode " + std::to_string(opcode);
}

bool AppendLayer3Words(std::string& out, std::uint8_t pid, std::span<const std::uint8_t> info) {
  if (pid == kPidIp) {
    AppendIp(out, info);
    return true;
  }
  if (pid == kPidArp) {
    AppendArp(out, info);
    return true;
  }
  if (pid != kPidNetRom) return false;
  NetRomPacket p;
  out += "NET/ROM ";
  if (!DecodeNetRom(info, p)) {
    out += "(empty)";
    return true;
  }
  if (p.kind == NetRomPacket::Kind::kNodes) {
    out += "NODES from ";
    AppendPrintable(out, p.alias);
    for (std::size_t i = 0; i < p.routes.size(); ++i) {
      const NetRomRoute& r = p.routes[i];
      out += i == 0 ? ": " : ", ";
      AppendPrintable(out, r.call);
      out.push_back(' ');
      AppendPrintable(out, r.alias);
      out += " via ";
      AppendPrintable(out, r.neighbour);
      out += " quality " + std::to_string(r.quality);
    }
  } else if (!p.origin.empty() || p.error.empty()) {
    AppendPrintable(out, p.origin);
    out += " > ";
    AppendPrintable(out, p.destination);
    if (p.error.empty() || p.ttl > 0) {
      out += " ttl " + std::to_string(p.ttl) + ", " + NetRomOpcodeName(p.opcode) + " circuit " +
             std::to_string(p.circuit_index) + "/" + std::to_string(p.circuit_id);
      if (p.tx_seq) out += " tx " + std::to_string(*p.tx_seq);
      if (p.rx_seq) out += " rx " + std::to_string(*p.rx_seq);
      if (p.my_circuit_index) {
        out += ", its circuit " + std::to_string(*p.my_circuit_index) + "/" +
               std::to_string(*p.my_circuit_id);
      }
      if (p.window) out += ", window " + std::to_string(*p.window);
      if (!p.user.empty()) {
        out += ", user ";
        AppendPrintable(out, p.user);
        out += " at ";
        AppendPrintable(out, p.node);
      }
      if (p.choke) out += ", choke";
      if (p.nak) out += ", NAK";
      if (p.more) out += ", more follows";
      if (!p.data.empty()) {
        out += ", " + Plural(p.data.size(), "byte") + " \"";
        AppendPrintable(out, p.data);
        out.push_back('"');
      }
    }
  }
  if (!p.error.empty()) out += " (" + p.error + ")";
  return true;
}

}  // namespace packscope
