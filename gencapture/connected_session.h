// One connected AX.25 session played out by both stations, frame by frame, as a monitor station
// nearby would receive it. The two stations follow AX.25 2.x closely enough for an analyser:
//
//   setup       SABM or SABME (P), UA (F); a refusal is DM (F); SABM sent again after T1
//   parameters  after a SABME, now and then an XID command and its response (modulo 128)
//   data        I frames in a window of k (4 or 7 modulo 8, 32 modulo 128), at most 7 a turn;
//               the receiver takes them in order only: RR acknowledges, a frame out of order
//               asks for a REJ (once until the missing one arrives), a busy receiver answers
//               RNR; a sender whose frames go unanswered polls after T1 (RR P), the other
//               station answers RR F with its N(R), and the sender goes on from there
//   end         DISC (P), UA (F); a DISC sent again to a station already disconnected gets DM
//
// Every frame may be lost on its way to the other station (loss percent) and, apart from that,
// not be heard by the monitor (monitor loss percent). The user's station connects to a node;
// the node greets, answers each command with some lines or a file in many frames. Between two
// nodes the I frames carry NET/ROM transport frames (PID CF) instead.
#ifndef PACKSCOPE_GENCAPTURE_CONNECTED_SESSION_H_
#define PACKSCOPE_GENCAPTURE_CONNECTED_SESSION_H_

#include <cstdint>
#include <vector>

#include "gencapture/capture_generator.h"
#include "gencapture/random.h"

namespace packscope::gen {

struct SessionPlan {
  Address initiator;
  Address responder;
  std::vector<Address> path;  // initiator to responder; the responder answers along it reversed
  bool sabme = false;         // modulo 128
  bool xid = false;           // an XID exchange after the UA
  bool refuse = false;        // the responder answers DM
  bool netrom = false;        // node to node: NET/ROM in the I frames
  int window = 4;
  int loss = 5;
  int monitor_loss = 3;
  int min_info = 1;  // information field lengths of the I frames
  int max_info = 200;
  std::int64_t start_millis = 0;
};

// One frame put on the air.
struct Transmission {
  std::int64_t millis = 0;
  bool heard = false;  // by the monitor
  int direction = 0;   // 0: from the initiator
  GeneratedFrame frame;
  std::int64_t ns = -1;  // counted on from 0; -1: none
  std::int64_t nr = -1;
};

// Plays the session plan describes: its frames in the order sent (at nondecreasing times), and
// in truth what each station sent (GeneratedSession's heard is left to the caller, who writes
// the frames).
std::vector<Transmission> PlaySession(const SessionPlan& plan, Random& random,
                                      GeneratedSession& truth);

}  // namespace packscope::gen

#endif  // PACKSCOPE_GENCAPTURE_CONNECTED_SESSION_H_
