#include "gencapture/connected_session.h"

#include <algorithm>
#include <array>
#include <deque>
#include <string>
#include <string_view>
#include <utility>

namespace packscope::gen {
namespace {

constexpr int kRetries = 10;     // N2
constexpr int kMostPerTurn = 7;  // I frames in one transmission
constexpr std::int64_t kTxDelay = 250;
constexpr std::int64_t kBitsPerSecond = 1200;
constexpr int kPidNoLayer3 = 0xF0;
constexpr int kPidNetRom = 0xCF;

constexpr std::uint8_t kPf = 0x10;
constexpr std::uint8_t kSabm = 0x2F;
constexpr std::uint8_t kSabme = 0x6F;
constexpr std::uint8_t kDisc = 0x43;
constexpr std::uint8_t kUa = 0x63;
constexpr std::uint8_t kDm = 0x0F;
constexpr std::uint8_t kXid = 0xAF;
enum Supervisory : std::uint8_t { kRr = 0, kRnr = 1, kRej = 2 };

constexpr std::array<std::string_view, 10> kCommands = {
    "L\r", "R 1024\r", "LM\r",       "B\r", "K 1024\r",
    "I\r", "H\r",      "SP QQ2XY\r", "N\r", "Thanks, 73\r"};
constexpr std::array<std::string_view, 8> kReplyLines = {
    "Msg#  St Size To     From   Date  Subject\r",
    "PN  512 QQ1ABC QQ2XY  0101  Club meeting\r",
    "B  1830 ALL    QQ3DEF 0101  WX report for the week\r",
    "The meeting is on Friday at 19:00 in the club house.\r",
    "Nodes: QQ1NOD-2 NODE1, QQ9NOD-4 HILL, QQ5BBS-1 BBSQQ5\r",
    "Routes: 1 QQ1NOD-2 192, 2 QQ9NOD-4 151\r",
    "73 and good bye.\r",
    "(#1025) >\r",
};

void AppendBlock(std::string& out, const Address& a) {
  for (std::size_t i = 0; i < 6; ++i) {
    const auto c = static_cast<std::uint8_t>(i < a.call.size() ? a.call[i] : ' ');
    out.push_back(static_cast<char>(c << 1));
  }
  out.push_back(static_cast<char>(0x60 | (a.ssid << 1)));
}

class Play {
 public:
  Play(const SessionPlan& plan, Random& random, GeneratedSession& truth)
      : plan_(plan), random_(random), truth_(truth), now_(plan.start_millis) {
    truth_.initiator = plan.initiator;
    truth_.responder = plan.responder;
    truth_.sabme = plan.sabme;
    truth_.modulo = plan.sabme ? 128 : 8;
  }

  std::vector<Transmission> Run() {
    if (Connect()) {
      if (plan_.xid) Xid();
      Transfer();
      Disconnect();
    }
    return std::move(out_);
  }

 private:
  struct Side {
    std::deque<std::string> queue;  // data not yet given a sequence number
    std::int64_t top = 0;           // the next new N(S)
    std::int64_t next = 0;          // the next N(S) to send (below top: sent again)
    std::int64_t va = 0;            // acknowledged below
    std::int64_t vr = 0;            // received in order below
    bool rej_sent = false;
    bool rej_due = false;
    bool ack_due = false;
    bool busy = false;       // its receiver is busy: RNR
    bool peer_busy = false;  // the other one said RNR
    int polls = 0;           // polls without an answer in a row
    std::int64_t circuit_seq = 0;
  };

  int Modulo() const { return plan_.sabme ? 128 : 8; }
  std::int64_t T1() const { return 3000 + 2000 * static_cast<std::int64_t>(plan_.path.size()); }

  bool Send(int from, FrameKind kind, bool command, std::uint8_t control, int control2, int pid,
            std::string info, std::int64_t ns = -1, std::int64_t nr = -1) {
    if (from != last_sender_) now_ += kTxDelay;
    last_sender_ = from;
    Transmission t;
    t.millis = now_;
    t.direction = from;
    t.ns = ns;
    t.nr = nr;
    GeneratedFrame& f = t.frame;
    f.kind = kind;
    f.source = from == 0 ? plan_.initiator : plan_.responder;
    f.destination = from == 0 ? plan_.responder : plan_.initiator;
    f.destination.high_bit = command;
    f.source.high_bit = !command;
    f.digipeaters = plan_.path;
    if (from == 1) std::reverse(f.digipeaters.begin(), f.digipeaters.end());
    for (Address& digi : f.digipeaters) digi.high_bit = true;
    f.control = control;
    f.control2 = control2;
    f.pid = pid;
    f.info = std::move(info);
    const auto bytes =
        static_cast<std::int64_t>(14 + 7 * f.digipeaters.size() + 1 + (control2 >= 0 ? 1 : 0) +
                                  (pid >= 0 ? 1 : 0) + f.info.size());
    now_ += (bytes + 20) * 8 * 1000 / kBitsPerSecond;
    t.heard = !random_.Percent(plan_.monitor_loss);
    out_.push_back(std::move(t));
    return !random_.Percent(plan_.loss);
  }

  bool SendU(int from, std::uint8_t control, bool command, std::string info = {}) {
    return Send(from, FrameKind::kU, command, control, -1, -1, std::move(info));
  }

  bool SendS(int from, Supervisory type, bool command, bool pf, std::int64_t nr) {
    const int m = Modulo();
    if (m == 8) {
      const auto c = static_cast<std::uint8_t>((nr % 8) << 5 | (pf ? kPf : 0) | type << 2 | 1);
      return Send(from, FrameKind::kS, command, c, -1, -1, {}, -1, nr);
    }
    const auto c2 = static_cast<int>((nr % 128) << 1 | (pf ? 1 : 0));
    return Send(from, FrameKind::kS, command, static_cast<std::uint8_t>(type << 2 | 1), c2, -1, {},
                -1, nr);
  }

  bool SendI(int from, std::int64_t ns, std::int64_t nr, const std::string& info) {
    const int pid = plan_.netrom ? kPidNetRom : kPidNoLayer3;
    if (Modulo() == 8) {
      const auto c = static_cast<std::uint8_t>((nr % 8) << 5 | (ns % 8) << 1);
      return Send(from, FrameKind::kI, true, c, -1, pid, info, ns, nr);
    }
    return Send(from, FrameKind::kI, true, static_cast<std::uint8_t>((ns % 128) << 1),
                static_cast<int>((nr % 128) << 1), pid, info, ns, nr);
  }

  bool Connect() {
    const std::uint8_t sabm = plan_.sabme ? kSabme : kSabm;
    for (int tries = 0; tries < kRetries; ++tries) {
      if (tries > 0) now_ += T1();
      if (!SendU(0, sabm | kPf, true)) continue;
      if (plan_.refuse) {
        if (SendU(1, kDm | kPf, false)) return false;
        continue;
      }
      if (SendU(1, kUa | kPf, false)) return true;
    }
    return false;
  }

  // Classes of procedures (balanced, half duplex), HDLC optional functions (REJ, modulo 128,
  // TEST, 16-bit FCS, synchronous), I field length 256 bytes, window 32, T1 3 s, 10 retries.
  static std::string XidInfo() {
    return std::string(
        "\x82\x80\x00\x17"
        "\x02\x02\x21\x00"
        "\x03\x03\x82\xA8\x02"
        "\x06\x02\x08\x00"
        "\x08\x01\x20"
        "\x09\x02\x0B\xB8"
        "\x0A\x01\x0A",
        27);
  }

  void Xid() {
    for (int tries = 0; tries < 3; ++tries) {
      if (tries > 0) now_ += T1();
      if (!SendU(0, kXid | kPf, true, XidInfo())) continue;
      if (SendU(1, kXid | kPf, false, XidInfo())) return;
    }
  }

  void Disconnect() {
    bool responder_down = false;
    for (int tries = 0; tries < kRetries; ++tries) {
      if (tries > 0) now_ += T1();
      if (!SendU(0, kDisc | kPf, true)) continue;
      // A station that has already disconnected answers a DISC with DM.
      const std::uint8_t answer = responder_down ? kDm : kUa;
      responder_down = true;
      if (SendU(1, answer | kPf, false)) return;
    }
  }

  // Data split into I frames' information fields; between nodes each behind a NET/ROM header.
  void Queue(int side, const std::string& data) {
    Side& s = sides_[side];
    std::size_t at = 0;
    while (at < data.size()) {
      const auto room = static_cast<std::size_t>(random_.Between(plan_.min_info, plan_.max_info));
      std::string info = data.substr(at, room);
      at += info.size();
      if (plan_.netrom) info = NetRomInfo(side, info);
      s.queue.push_back(std::move(info));
    }
  }

  //   origin (7) | destination (7) | TTL | circuit index | circuit ID | TX seq | RX seq | 05
  std::string NetRomInfo(int side, const std::string& data) {
    Side& s = sides_[side];
    std::string h;
    AppendBlock(h, side == 0 ? plan_.initiator : plan_.responder);
    AppendBlock(h, side == 0 ? plan_.responder : plan_.initiator);
    h.push_back(7);
    h.push_back(static_cast<char>(side == 0 ? 0x01 : 0x02));
    h.push_back(static_cast<char>(0x2A + side));
    h.push_back(static_cast<char>(s.circuit_seq++ & 0xFF));
    h.push_back(static_cast<char>(sides_[1 - side].circuit_seq & 0xFF));
    h.push_back(0x05);
    return h + data;
  }

  std::string Reply() {
    std::string text;
    if (random_.Percent(15)) {
      // A file: STX, then blocks of bytes.
      const int length = random_.Between(400, 4000);
      text.push_back('\x02');
      for (int i = 0; i < length; ++i) text.push_back(random_.Byte());
      return text;
    }
    const int lines = random_.Between(1, 6);
    for (int i = 0; i < lines; ++i) {
      text += std::to_string(1000 + line_++) + " ";
      text += random_.Pick(kReplyLines);
    }
    return text;
  }

  void Delivered(int side) {
    // The node answers every command it receives; between nodes either side now and then
    // answers a frame, a few times a session.
    if (plan_.netrom ? replies_ < 6 && random_.Percent(20) : side == 1) {
      ++replies_;
      Queue(side, Reply());
    }
  }

  void Acked(Side& s, std::int64_t nr) {
    s.va = std::max(s.va, std::min(nr, s.top));
    s.next = std::max(s.next, s.va);
  }

  void ReceiveI(int side, std::int64_t ns, std::int64_t nr) {
    Side& r = sides_[side];
    Acked(r, nr);
    if (r.busy) {
      r.ack_due = true;
      return;
    }
    if (ns == r.vr) {
      ++r.vr;
      r.rej_sent = false;
      r.ack_due = true;
      Delivered(side);
      if (random_.Percent(3)) r.busy = true;
    } else if (ns > r.vr) {
      if (!r.rej_sent) {
        r.rej_due = true;
        r.rej_sent = true;
      }
    } else {
      r.ack_due = true;
    }
  }

  void ReceiveS(int side, Supervisory type, std::int64_t nr, bool final) {
    Side& r = sides_[side];
    Acked(r, nr);
    r.peer_busy = type == kRnr;
    if (type == kRej || final) r.next = r.va;
  }

  bool Turn(int x) {
    Side& s = sides_[x];
    bool sent = false;
    if (s.busy && random_.Percent(50)) {
      s.busy = false;
      s.ack_due = true;
    }
    if (s.rej_due) {
      s.rej_due = false;
      s.ack_due = false;
      sent = true;
      if (SendS(x, kRej, false, false, s.vr)) ReceiveS(1 - x, kRej, s.vr, false);
    }
    for (int n = 0; !s.peer_busy && s.next - s.va < plan_.window && n < kMostPerTurn; ++n) {
      if (s.next == s.top) {
        if (s.queue.empty()) break;
        truth_.sent[x].push_back(std::move(s.queue.front()));
        s.queue.pop_front();
        ++s.top;
      }
      const std::int64_t ns = s.next++;
      s.ack_due = false;
      sent = true;
      if (SendI(x, ns, s.vr, truth_.sent[x][static_cast<std::size_t>(ns)])) {
        ReceiveI(1 - x, ns, s.vr);
      }
    }
    if (!sent && s.ack_due) {
      s.ack_due = false;
      sent = true;
      const Supervisory type = s.busy ? kRnr : kRr;
      if (SendS(x, type, false, false, s.vr)) ReceiveS(1 - x, type, s.vr, false);
    }
    return sent;
  }

  // T1 ran out at x: a poll, and the other station's answer.
  bool Poll(int x) {
    Side& s = sides_[x];
    Side& o = sides_[1 - x];
    if (!SendS(x, s.busy ? kRnr : kRr, true, true, s.vr)) return false;
    Acked(o, s.vr);
    const Supervisory answer = o.busy ? kRnr : kRr;
    if (o.busy) o.busy = random_.Percent(40);
    o.ack_due = false;
    if (!SendS(1 - x, answer, false, true, o.vr)) return false;
    ReceiveS(x, answer, o.vr, true);
    return true;
  }

  void Transfer() {
    Side& user = sides_[0];
    Side& node = sides_[1];
    int commands = random_.Between(1, 4);
    if (plan_.netrom) {
      Queue(0, Reply());
    } else {
      Queue(1, "Hello " + plan_.initiator.call + ", welcome to the " + plan_.responder.call +
                   " mailbox.\r[QQBBS-2.1-BFHM$]\r");
    }
    int turn = 1;
    int quiet = 0;
    for (int step = 0; step < 20000; ++step) {
      quiet = Turn(turn) ? 0 : quiet + 1;
      turn = 1 - turn;
      const bool settled =
          user.queue.empty() && node.queue.empty() && user.va == user.top && node.va == node.top;
      if (settled && commands > 0) {
        --commands;
        Queue(0, std::string(random_.Pick(kCommands)));
        quiet = 0;
        continue;
      }
      if (quiet < 2) continue;
      int waiting = -1;
      for (int i = 0; i < 2; ++i) {
        const Side& s = sides_[static_cast<std::size_t>(i)];
        if (s.va < s.top || (s.peer_busy && !s.queue.empty())) waiting = i;
      }
      if (waiting < 0) return;
      now_ += T1();
      Side& w = sides_[static_cast<std::size_t>(waiting)];
      if (Poll(waiting)) {
        w.polls = 0;
      } else if (++w.polls > kRetries) {
        return;  // the link has failed: the station gives up
      }
      quiet = 0;
    }
  }

  const SessionPlan& plan_;
  Random& random_;
  GeneratedSession& truth_;
  std::int64_t now_;
  int last_sender_ = -1;
  int line_ = 0;
  int replies_ = 0;  // between nodes: answers so far
  std::array<Side, 2> sides_;
  std::vector<Transmission> out_;
};

}  // namespace

std::vector<Transmission> PlaySession(const SessionPlan& plan, Random& random,
                                      GeneratedSession& truth) {
  return Play(plan, random, truth).Run();
}

}  // namespace packscope::gen
