// The connected side of a capture for the frame list's statistics, read in one pass over its
// index: the sessions (framelist/session_table.h), and beside them
//
//   Conversations   one row per pair of stations on a KISS port that held a session: the
//                   sessions, the frames, the data bytes each way, the retransmission rate, the
//                   time connected and the throughput over it, and the UI frames between the two
//   Nodes           one row per NET/ROM node heard in NODES broadcasts (ax25/layer3.h): its
//                   alias, the broadcasts it sent, the routes to it heard (each broadcaster and
//                   neighbour once), the best quality and the route that gave it, when last heard
//
// Memory: the session table's, a few dozen bytes per pair of stations that exchanged UI frames
// (while the pass runs; only the pairs that held a session are kept), and per node its routes.
#ifndef PACKSCOPE_FRAMELIST_CONNECTIONS_H_
#define PACKSCOPE_FRAMELIST_CONNECTIONS_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "capture/frame_index.h"
#include "framelist/session_table.h"
#include "framelist/statistics_tables.h"

namespace packscope {

struct CaptureConnections {
  std::int64_t frames = 0;  // index frames read (timestamp frames included)
  std::shared_ptr<const SessionTable> sessions;
  // Conversations: Station A (the initiator of the pair's first session), Station B, Port,
  // Sessions, Frames (the sessions' and the UI frames between them), Bytes A→B, Bytes B→A,
  // I frames (heard, both ways), Retransmitted ("2 (5.0 %)": I frames heard again, and their
  // share of the I frames), Missed (I frames the
  // monitor did not hear), Connected (seconds the sessions lasted), Throughput (data bytes per
  // second connected), UI frames, UI bytes; in the order of the pairs' first sessions, shown first
  // by Frames, the most first. A row's filter picks the frames between the two on the port.
  std::shared_ptr<const StatTable> conversations;
  // Nodes: Node, Alias, Best route ("BBSQQ5 via QQ1NOD-2": the broadcaster and its neighbour
  // towards the node that gave the best quality), Best quality, Routes heard, Broadcasts, Last
  // heard; in callsign order. A row's filter picks the node's own frames.
  std::shared_ptr<const StatTable> nodes;
};

// Reads the sessions, conversations and nodes of snapshot's frames. False when cancelled (out
// then holds what was read so far).
bool ReadConnections(const IndexSnapshot& snapshot, CaptureConnections& out,
                     const std::atomic<bool>* cancel = nullptr,
                     const std::function<void(std::int64_t, std::int64_t)>& progress = {});

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_CONNECTIONS_H_
