// The receivers of a merged pass, summed up: per receiver (capture) the packets it heard, those
// it heard alone, those the others heard and it did not, and the offset of its clock against the
// others'. The stats layout writes it as its "receivers" object; the frame list shows it as the
// Receivers table.
//
//   north.kss   frames 812   only_here 40   missed 95    offset_ms    0
//   south.kss   frames 860   only_here 88   missed 47    offset_ms 1020   its stamps run a second
//                                                                        late
//
// The offset is the median, over the packets a receiver shares with others, of its reception's
// time less each other receiver's; none without shared packets. It is kept as a count per
// difference: the differences stay within the merge's window, so the tally grows with the window,
// never with the traffic.
#ifndef PACKSCOPE_COMMANDS_RECEIVER_TALLY_H_
#define PACKSCOPE_COMMANDS_RECEIVER_TALLY_H_

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/frame_receivers.h"

namespace packscope {

struct ReceiverSummary {
  std::string name;
  std::int64_t frames = 0;     // packets it heard
  std::int64_t only_here = 0;  // packets it alone heard
  std::int64_t missed = 0;     // packets the others heard and it did not
  std::optional<std::int64_t> offset_ms;
};

class ReceiverTally {
 public:
  // The receivers, before the first packet (so that a pass without packets lists them too).
  void SetNames(std::span<const std::string> names);
  // Counts one packet: who heard it (names as SetNames gave them, or set by the first packet).
  void Add(const FrameReceivers& receivers);
  std::int64_t Packets() const { return packets_; }
  // Every receiver, in the order of the names.
  std::vector<ReceiverSummary> Summary() const;

 private:
  struct Counts {
    std::int64_t frames = 0;
    std::int64_t only_here = 0;
    std::map<std::int64_t, std::int64_t> differences;  // its time less another's: how often
  };
  std::vector<std::string> names_;
  std::vector<Counts> counts_;
  std::int64_t packets_ = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_RECEIVER_TALLY_H_
