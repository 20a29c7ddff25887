// Connected AX.25 links as a third station hears them. LinkTracker follows a capture's frames in
// order and says of each frame which connection (session) it belongs to, how its link counts
// (modulo 8 or 128), and whether it repeats data already heard or follows frames the monitor
// missed; with a SessionSink it also hands on each direction's data in order, gaps marked.
//
// A link: the frames between two stations (callsign with SSID, either way round) on one KISS
// port, whatever digipeaters they pass. Its frames are I and S frames and the U frames SABM,
// SABME, DISC, UA, DM, FRMR and XID; UI and TEST frames belong to no session.
//
//   initiator                                   responder
//   SABM or SABME (P)  ------------------------>            setup: modulo 8 or 128
//                      <------------------------  UA (F)     (DM: refused, the session ends)
//   I ns=0 nr=0        ------------------------>
//                      <------------------------  RR nr=1    N(R): all below it received
//   I ns=1, I ns=2     ---- ns=1 lost ---------->
//                      <------------------------  REJ nr=1   I ns=1, ns=2 sent again
//   RR (P)             ------------------------>            T1 ran out: a poll
//   DISC (P)           ------------------------>
//                      <------------------------  UA (F)     (or DM): the session ends
//
// A session runs from its SABM or SABME (retries included) to the DISC and its answer, a DM, an
// FRMR, a SABM that resets a link in use (outcome "reset"), or the end of the capture; an I or S
// frame of a link without a session opens one without setup (the capture began inside it). An
// XID that names the modulo (HDLC optional functions) sets it from that frame on, for the next
// session when none is open. A session without setup or XID reads its first I or S frame to
// tell modulo 128 from 8 (where the PID or a second control byte stands).
//
// Per direction the tracker keeps the monitor's view of the sender's window: the lowest N(S) not
// yet acknowledged (V(A), from the other side's N(R)) and the next one after the highest heard
// (V(S)), in counts that do not wrap. An I frame whose N(S) was heard, still unacknowledged, is a
// retransmission (as is one whose acknowledgement the sender evidently missed: the same N(S) and
// data as the frame a whole modulo before); one beyond V(S) leaves the N(S) between unheard. An
// N(S) acknowledged but never heard was sent and received but missed by the monitor: its data is
// a gap. A digipeater's copy of the frame just heard (the same bytes but more H bits) is not
// counted again.
//
// Memory: per link a few dozen bytes, and while a session is open a slot per sequence number
// (8 or 128 per direction) with the data of the frames heard and not yet handed on (with a
// sink). Links are keyed by the stations' address blocks, not their texts.
#ifndef PACKSCOPE_AX25_AX25_LINK_H_
#define PACKSCOPE_AX25_AX25_LINK_H_

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ax25/ax25_details.h"

namespace packscope {

enum class SessionSetup : std::uint8_t { kNone, kSabm, kSabme };
enum class SessionOutcome : std::uint8_t { kOpen, kDisc, kDm, kFrmr, kReset };

// A link: its two stations (their address blocks as numbers, CallsignText's characters and the
// SSID, the lower first) and the KISS port.
struct LinkKey {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  int port = 0;
  friend bool operator==(const LinkKey&, const LinkKey&) = default;
};
struct LinkKeyHash {
  std::size_t operator()(const LinkKey& k) const;
};

// The link a frame is one of (an I or S frame, or a SABM, SABME, DISC, UA, DM, FRMR or XID),
// and whether its source is the key's lower station; nothing for any other frame.
struct LinkOf {
  LinkKey key;
  bool from_low = false;
};
std::optional<LinkOf> LinkOfFrame(std::span<const std::uint8_t> kiss_frame);
// The two stations of any AX.25 frame (UI frames too) as LinkOfFrame keys them; nothing when the
// frame is no data frame or its address field does not end.
std::optional<LinkOf> StationsOfFrame(std::span<const std::uint8_t> kiss_frame);

// "SABM", "SABME"; empty for kNone.
std::string_view SetupName(SessionSetup setup);
// "DISC", "DM", "FRMR", "reset"; empty for kOpen.
std::string_view OutcomeName(SessionOutcome outcome);

// What one station of a session sent, as the monitor heard it.
struct DirectionCounts {
  std::int64_t i_frames = 0;       // I frames heard, retransmissions included (copies not)
  std::int64_t bytes = 0;          // data bytes handed on (each sequence number's once)
  std::int64_t retransmitted = 0;  // I frames heard again
  std::int64_t missing = 0;        // I frames sent (acknowledged, or heard past) but never heard
  std::int64_t rej = 0;
  std::int64_t srej = 0;
  std::int64_t rnr = 0;
  std::int64_t polls = 0;   // commands with the poll bit (I frames, RR/RNR/REJ polls after T1)
  std::int64_t finals = 0;  // responses with the final bit
};

struct Session {
  std::int64_t number = 0;  // from 1, in the order of the sessions' first frames
  LinkKey key;
  bool initiator_low = true;  // the initiator is the key's lower station
  std::string initiator;      // callsign texts (CallsignText)
  std::string responder;
  int port = 0;  // KISS port
  int modulo = kModulo8;
  SessionSetup setup = SessionSetup::kNone;
  SessionOutcome outcome = SessionOutcome::kOpen;
  std::int64_t first_frame = 0;  // the caller's frame numbers
  std::int64_t last_frame = 0;
  std::optional<std::int64_t> start;  // times of the first and last frame, when known
  std::optional<std::int64_t> end;
  std::int64_t frames = 0;
  std::array<DirectionCounts, 2> from;  // [0] from the initiator, [1] from the responder
};

// What the tracker concludes of one frame.
struct LinkFacts {
  std::int64_t session = 0;     // its session's number; 0 outside any
  int modulo = kModulo8;        // how to read its control field
  int direction = 0;            // in a session: 0 from the initiator, 1 from the responder
  bool retransmission = false;  // an I frame whose N(S) and data were heard before
  std::int64_t not_heard = 0;   // an I frame: sequence numbers skipped before its N(S)
  bool repeated_copy = false;   // a digipeater's copy of the link's frame just before
};

class SessionSink {
 public:
  virtual ~SessionSink() = default;
  // Data of one direction (0: from the initiator), in sequence order; frame is the caller's
  // number of the I frame that carried it.
  virtual void OnData(const Session& session, int direction, std::int64_t frame,
                      std::span<const std::uint8_t> data) {
    (void)session;
    (void)direction;
    (void)frame;
    (void)data;
  }
  // I frames of the direction that the monitor never heard, in the place of their data.
  virtual void OnGap(const Session& session, int direction, std::int64_t frames) {
    (void)session;
    (void)direction;
    (void)frames;
  }
  // A session has ended, its counts final: told when the next frame comes (so that the frame
  // that ended it has been handled by everyone), or by Finish.
  virtual void OnEnd(const Session& session) { (void)session; }
};

// The modulo an XID frame's information field names (HDLC optional functions, AX.25 2.2):
// 8 or 128; nothing when it names none, both, or the field is not an XID parameter field.
std::optional<int> XidModulo(std::span<const std::uint8_t> info);

class LinkTracker {
 public:
  // sink (not owned) gets the sessions' data and ends; without one no data is kept.
  explicit LinkTracker(SessionSink* sink = nullptr);
  ~LinkTracker();
  LinkTracker(const LinkTracker&) = delete;
  LinkTracker& operator=(const LinkTracker&) = delete;

  // The next frame of the capture: kiss_frame un-escaped, type byte first (any frame: one that
  // is not an AX.25 data frame lies outside every session); frame, the caller's number for it;
  // time, its stamp in milliseconds.
  const LinkFacts& Next(std::span<const std::uint8_t> kiss_frame, std::int64_t frame,
                        std::optional<std::int64_t> time = std::nullopt);
  // The facts of the frame Next saw last.
  const LinkFacts& Facts() const { return facts_; }
  // The capture ends: every session still open ends (outcome kOpen), in the order of their
  // numbers, after the ends already due.
  void Finish();
  // Forgets every link (a new pass or capture); sessions are numbered from 1 again.
  void Reset();
  // Sessions begun so far.
  std::int64_t SessionCount() const { return sessions_; }

 private:
  struct Link;
  struct Direction;

  void DeliverEnds();
  void Open(Link& link, std::span<const std::uint8_t> kiss_frame, bool from_low, SessionSetup setup,
            int modulo);
  void Include(Link& link, bool from_low);
  void End(Link& link, SessionOutcome outcome);
  void Sequence(Link& link, int direction);
  void Incoming(Link& link, int direction);
  void AckTo(Link& link, int direction, std::int64_t target);
  void Acknowledge(Link& link, int direction, int nr);
  void Extend(Direction& d, std::int64_t to);
  void Hear(Direction& d, std::int64_t abs, std::uint64_t hash, std::uint32_t length);
  void HandOn(Link& link, int direction, std::int64_t abs);

  SessionSink* sink_;
  std::unordered_map<LinkKey, std::unique_ptr<Link>, LinkKeyHash> links_;
  std::vector<Session> ended_;  // ended, OnEnd still due
  Ax25Details scratch_;         // the current frame's control field (no texts read)
  LinkFacts facts_;
  std::int64_t sessions_ = 0;
  std::int64_t frame_ = 0;
  std::optional<std::int64_t> time_;
};

}  // namespace packscope

#endif  // PACKSCOPE_AX25_AX25_LINK_H_
