// CaptureMerge: several captures of one traffic (receivers: igates, digipeaters, ground stations,
// two modems on one audio) as one stream of packets in time order, each packet once, with the
// receivers that heard it.
//
// A k-way merge over the captures' frame indexes, as mergecap merges pcaps: each capture is read
// once, in its own order, through its index; the merge takes the frame of the earliest time among
// the captures' next frames (ties: the capture given first). A frame's time is that of the stamp
// it carries; frames before a capture's first stamp take that stamp's time, frames under a stamp
// that gives no time the time before it. Stamps that run backwards lose nothing: every frame is
// merged once, at the place its time gives; a stamp later than the capture's next one (a clock
// stepped back, or one stamp gone wrong) is ordered at the next one's time, so that it does not
// hold its capture back behind the others.
//
// Folding: a packet heard again within the window (default 30 s) of its first reception is the
// same packet, under the rule chosen:
//   aprs   the duplicate rule of APRS-IS servers and digipeaters: same source (with SSID), same
//          destination without its SSID, same information field with trailing blanks (space,
//          CR, LF) trimmed; the digipeater path is ignored. The control field and PID count too,
//          so that the frames of a connected session fold only with their own copies. Frames that
//          are no AX.25 fold by their bytes.
//   bytes  identical AX.25 bytes (a satellite's downlink heard by several ground stations)
//   none   every frame is a packet of its own
// A folded packet keeps the first reception's bytes, stamp and time; a receiver that heard it
// twice (direct and through a digipeater) is named once, with its first reception.
//
// Memory: the captures' indexes, a read buffer per capture, and the packets of the last window
// (they wait there until no later reception can fold into them, at most about
// MergeOptions::pending_budget of them): it grows with the number of captures and the window,
// never with the captures' size. Time: one pass over every capture.
#ifndef PACKSCOPE_FRAMELIST_CAPTURE_MERGE_H_
#define PACKSCOPE_FRAMELIST_CAPTURE_MERGE_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ax25/ax25_details.h"
#include "capture/frame_index.h"
#include "capture/frame_receivers.h"
#include "framelist/frame_reader.h"

namespace packscope {

enum class DupeRule { kAprs, kBytes, kNone };
enum class MergeOrder {
  kTime,   // by the frames' stamps
  kFiles,  // the captures one after the other, as given (every frame kept: DupeRule::kNone)
};
inline constexpr std::int64_t kDefaultDupeWindowMillis = 30000;

// The packets waiting for copies take at most about this much memory: captures whose stamps
// stand still (one stamp at the start of a recording) would keep every packet waiting, so the
// oldest go out early, and a copy heard after that comes out as a packet of its own.
inline constexpr std::int64_t kDefaultPendingBudget = std::int64_t{32} << 20;

struct MergeOptions {
  DupeRule dupes = DupeRule::kAprs;
  std::int64_t window_ms = kDefaultDupeWindowMillis;
  MergeOrder order = MergeOrder::kTime;
  std::int64_t pending_budget = kDefaultPendingBudget;  // bytes
};

// "aprs", "bytes", "none"; nothing for another name.
std::optional<DupeRule> DupeRuleNamed(std::string_view name);

// A capture to merge: its name as the user gave it (the receiver's name) and its index, read to
// its end.
struct MergeInput {
  std::string name;
  IndexSnapshot index;
};

// Why these captures cannot be merged so (UTF-8, for the user), or empty: a name given twice; in
// time order, a capture with frames but no stamp that gives a time.
std::string MergeProblem(const std::vector<MergeInput>& inputs, const MergeOptions& options);

// The key under which rule folds a frame (un-escaped, type byte first) with its copies, into key.
// Frames of equal keys are copies of one packet. Not for DupeRule::kNone.
void DupeKey(DupeRule rule, std::span<const std::uint8_t> frame, std::string& key);

// A frame's stored bytes between FENDs of its own, as the kiss layout writes it: C0, the bytes
// between its opening FEND (a shared one, or the garbage it was recovered behind) and its closing
// FEND (or the end of a frame cut off), C0. Appended to out.
void AppendBetweenFends(const StoredFrame& frame, std::vector<std::uint8_t>& out);

struct MergedPacket {
  std::int32_t receiver = 0;  // who heard it first: its place in CaptureMerge::Names()
  StoredFrame first;          // that reception, as its capture holds it (first.number: its frame)
  // The timestamp frame it is written behind (AppendBetweenFends); empty: none.
  std::vector<std::uint8_t> stamp;
  std::int64_t millis = 0;       // its time in the merge (the order); 0 when no capture has times
  std::vector<Reception> heard;  // every receiver that heard it, in the order of Names()
};

class CaptureMerge {
 public:
  // Throws CommandError with MergeProblem's text.
  CaptureMerge(std::vector<MergeInput> inputs, const MergeOptions& options);
  ~CaptureMerge();
  CaptureMerge(const CaptureMerge&) = delete;
  CaptureMerge& operator=(const CaptureMerge&) = delete;

  // The receivers' names, sorted (bytes): Reception::receiver and MergedPacket::receiver count
  // places here.
  const std::vector<std::string>& Names() const { return names_; }

  // The next packet; false after the last. Throws CommandError when a capture no longer holds a
  // frame as its index has it (changed on disk).
  bool Next(MergedPacket& out);

  // Frames of all captures looked at so far, and in all (timestamp frames included); the same in
  // bytes of the captures.
  std::int64_t FramesRead() const;
  std::int64_t FrameTotal() const { return frame_total_; }
  std::int64_t BytesRead() const;
  std::int64_t ByteTotal() const { return byte_total_; }
  // The most the packets waiting for copies took so far, in bytes (their frames and keys).
  std::int64_t PeakPendingBytes() const { return peak_pending_; }

 private:
  struct Cursor;
  struct Pending {
    MergedPacket packet;
    std::string key;
    std::int64_t Bytes() const {
      return static_cast<std::int64_t>(packet.first.stored.size() + packet.first.frame.size() +
                                       packet.stamp.size() + 2 * key.size());
    }
  };

  Cursor* Earliest();
  void Place(Cursor& cursor);
  bool Final(const Pending& p) const;

  MergeOptions options_;
  std::vector<std::string> names_;
  std::vector<std::unique_ptr<Cursor>> cursors_;  // in the order given
  std::size_t files_at_ = 0;                      // MergeOrder::kFiles: the capture being read
  std::int64_t frame_total_ = 0;
  std::int64_t byte_total_ = 0;
  std::deque<Pending> pending_;
  std::vector<Pending> spare_;   // buffers of packets given out, for the next ones
  std::uint64_t front_seq_ = 0;  // sequence number of pending_.front()
  std::int64_t pending_bytes_ = 0;
  std::int64_t peak_pending_ = 0;
  std::unordered_map<std::string, std::uint64_t> newest_;  // key: its newest pending packet
  std::int64_t now_ = 0;                                   // the latest time merged so far
  bool started_ = false;                                   // now_ is set
  std::string key_;
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_CAPTURE_MERGE_H_
