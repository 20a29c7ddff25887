// The details of one frame, as a tree of labelled nodes, each naming the bytes of the frame it
// describes (offsets in the un-escaped frame, 0 = the KISS type byte):
//
//   KISS frame 4, offset 261                       0..56
//     Type byte 0x00: port 0, command 0 (data)     0
//   AX.25: QQ2XY-7 > APRS, UI                      1..56
//     Destination APRS                             1..7
//       SSID byte 0xE0: SSID 0, C bit 1            7
//     Control 0x03: UI, P/F 0                      15
//     PID 0xF0: No layer 3                         16
//     Information field, 40 bytes                  17..56
//   Session 3: QQ1ABC-9 > QQ5BBS-1 (modulo 128)    (an I or S frame: retransmission, gaps)
//   NET/ROM: QQ1NOD-2 > QQ9NOD-4 ttl 7, ...        the information field (NET/ROM, IP, ARP)
//   APRS: Position 49°03.50'N 72°01.75'W, ...      17..56
//     lat: 49.058333                               the information field
//     comment: "73 de QQ2XY"                       its bytes in the field
//   Findings                                        (none)
//
// A node's bytes let the bytes view show what a node describes, and a byte clicked there find the
// node that describes it most closely (DetailPathOfByte). A node that shows a field of the filter
// language carries its test, for the context menu's Apply as Filter.
#ifndef PACKSCOPE_FRAMELIST_FRAME_DETAILS_H_
#define PACKSCOPE_FRAMELIST_FRAME_DETAILS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/frame_index.h"
#include "framelist/aprs_timeline.h"
#include "framelist/frame_reader.h"
#include "framelist/session_table.h"

namespace packscope {

struct DetailNode {
  std::string text;  // UTF-8
  // The bytes described: [begin, end) of the un-escaped frame; begin < 0 for none.
  std::int32_t begin = -1;
  std::int32_t end = -1;
  std::vector<DetailNode> children;
  // The value the node shows (for Copy; empty: the node's text), and the filter test that picks
  // the frames with it (src == QQ2XY-7; empty for a node that shows no field of the filter).
  std::string value;
  std::string filter;

  bool Holds(std::int32_t byte) const { return begin >= 0 && byte >= begin && byte < end; }
};

// The details of frame (read by a FrameReader), whose index record is record, stamped time (or
// not) with the text time_text. aprs decodes an APRS frame as the capture read in order would.
// With sessions, a frame of a connected session is read with its session's modulo and says which
// session it belongs to; a NET/ROM, IP or ARP frame says what it carries.
std::vector<DetailNode> FrameDetails(const StoredFrame& frame, const FrameRecord& record,
                                     const std::string& time_text, AprsTimeline& aprs,
                                     const SessionTable* sessions = nullptr);

// The path (child numbers from the top level down) of the node that describes byte most closely:
// of the nodes that hold it the one of fewest bytes, of those the first in the tree's order (a
// parent before its children).
// Empty when no node holds it.
std::vector<int> DetailPathOfByte(const std::vector<DetailNode>& tree, std::int32_t byte);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_FRAME_DETAILS_H_
