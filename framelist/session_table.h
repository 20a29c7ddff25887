// The connected sessions of an indexed capture (ax25/ax25_link.h), read once through its frames
// for the frame list: every session with its counts, and the link facts of any one frame found
// again without following the capture from its start (which session, how its control field
// counts, whether it repeats data heard before), for the rows, the details and the filter.
//
// Frame numbers in the sessions are jsonl's (an index number plus 1), as the sessions layout
// writes them; FactsOf takes the index number.
//
// Memory: 96 bytes per session and some per pair of stations, and per frame nothing but for the
// frames that are retransmissions, follow unheard ones or are a digipeater's copy (8 bytes
// each) and the frames where a session's modulo changes. A frame's session is found by its link
// and number.
#ifndef PACKSCOPE_FRAMELIST_SESSION_TABLE_H_
#define PACKSCOPE_FRAMELIST_SESSION_TABLE_H_

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "ax25/ax25_link.h"
#include "capture/frame_index.h"

namespace packscope {

// Told of every frame a reading of the sessions follows (index number, un-escaped bytes, stamp
// time, what the link tracker concluded), for tables read in the same pass.
using SessionFrameHook =
    std::function<void(std::int64_t frame, std::span<const std::uint8_t> kiss_frame,
                       const std::optional<std::int64_t>& millis, const LinkFacts& facts)>;

class SessionTable {
 public:
  // Sessions numbered 1 to SessionCount(), in the order of their first frames; those still open
  // at the end of the frames read have outcome kOpen. Polls and finals are not kept.
  std::int64_t SessionCount() const { return static_cast<std::int64_t>(rows_.size()); }
  Session SessionAt(std::int64_t number) const;

  // The facts of frame (index number), whose un-escaped bytes are kiss_frame. A frame the table
  // has not read, or outside every session, gets facts of no session, modulo 8.
  LinkFacts FactsOf(std::int64_t frame, std::span<const std::uint8_t> kiss_frame) const;

 private:
  friend bool ReadSessions(const IndexSnapshot& snapshot, SessionTable& table,
                           const std::atomic<bool>* cancel,
                           const std::function<void(std::int64_t, std::int64_t)>& progress,
                           const SessionFrameHook& each);
  friend class SessionKeeper;
  static constexpr std::int64_t kNoTime = INT64_MIN;
  static constexpr std::uint32_t kNoEnd = UINT32_MAX;
  // A session, small: its stations are its link's; times and frames after its first as
  // differences (saturated).
  struct Row {
    std::int64_t first_frame = 0;
    std::int64_t start = kNoTime;
    std::uint32_t last_after = 0;      // last_frame - first_frame
    std::uint32_t end_after = kNoEnd;  // end - start, ms
    std::uint32_t link = 0;
    std::uint32_t frames = 0;
    // Per direction: I frames, retransmitted, missing, REJ, SREJ, RNR, bytes.
    std::array<std::array<std::uint32_t, 7>, 2> counts{};
    std::uint8_t modulo = 8;        // at the end
    std::uint8_t first_modulo = 8;  // of its first frame
    SessionSetup setup = SessionSetup::kNone;
    SessionOutcome outcome = SessionOutcome::kOpen;
    bool initiator_low = true;

    std::int64_t LastFrame() const { return first_frame + last_after; }
  };
  static_assert(sizeof(Row) <= 96);
  struct LinkRow {
    LinkKey key;
    std::string low_call;
    std::string high_call;
    std::vector<std::uint32_t> sessions;  // row numbers, in order
  };
  // What a frame's own bytes do not tell, in 8 bytes: its index number (bits 24..63), the
  // sequence numbers not heard before it (2..23, saturated), a retransmission (1), a
  // digipeater's copy (0).
  using Marked = std::uint64_t;
  static constexpr int kMarkedFrameShift = 24;
  struct ModuloFrom {
    std::int64_t frame = 0;  // index number
    int modulo = kModulo8;
  };

  std::deque<Row> rows_;  // session n at n - 1; a deque: it grows without moving
  std::vector<LinkRow> links_;
  std::unordered_map<LinkKey, std::uint32_t, LinkKeyHash> link_of_;
  // Sessions whose modulo changed after their first frame (an XID), by row.
  std::unordered_map<std::uint32_t, std::vector<ModuloFrom>> modulo_changes_;
  std::deque<Marked> marked_;  // by frame
};

// Reads every frame of snapshot into table (anew); progress hears now and then of the frames
// done and all; each hears of every frame. False when cancelled: the table holds the sessions of
// the frames read so far.
bool ReadSessions(const IndexSnapshot& snapshot, SessionTable& table,
                  const std::atomic<bool>* cancel = nullptr,
                  const std::function<void(std::int64_t, std::int64_t)>& progress = {},
                  const SessionFrameHook& each = {});

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_SESSION_TABLE_H_
