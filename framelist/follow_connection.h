// Follow Connection: one session of a capture (framelist/session_table.h) read again frame by
// frame, for the frame list's follow view:
//
//   the data of both directions in the order the monitor could hand it on (each sequence
//   number once), with the places where the monitor missed I frames (a gap) and where an I
//   frame was heard again (a retransmission) marked;
//   the timeline: one entry per frame of the session, the direction it went and its control
//   field as a label ("I ns=2 nr=5 P", "RR nr=3 F", "SABME P", "UA F").
//
// The session is read from its first frame to its last, the frames of its link only, with a
// link tracker of its own: what the tracker says of the capture read from its start, since the
// link was idle before the session began.
#ifndef PACKSCOPE_FRAMELIST_FOLLOW_CONNECTION_H_
#define PACKSCOPE_FRAMELIST_FOLLOW_CONNECTION_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ax25/ax25_details.h"
#include "capture/frame_index.h"
#include "framelist/session_table.h"

namespace packscope {

struct FollowPiece {
  enum Kind {
    kData,            // data of direction, handed on in sequence (carried by frame)
    kGap,             // count I frames of direction the monitor never heard
    kRetransmission,  // frame, an I frame of count data bytes, heard again
  };
  Kind kind = kData;
  int direction = 0;        // 0: from the initiator
  std::int64_t frame = -1;  // index number; -1 for a gap
  std::int64_t count = 0;   // frames of a gap, bytes of a retransmission
  std::vector<std::uint8_t> data;
};

struct TimelineFrame {
  std::int64_t frame = 0;  // index number
  int direction = 0;
  std::string label;
  std::optional<std::int64_t> millis;
  bool retransmission = false;
  std::int64_t not_heard = 0;  // I frames missed before this one
};

struct FollowedSession {
  Session session;  // as the table holds it
  std::vector<FollowPiece> pieces;
  std::vector<TimelineFrame> timeline;
  std::array<std::int64_t, 2> bytes{};  // data handed on, by direction
};

// Reads session number (1 to table.SessionCount()) of snapshot. False when cancelled or when
// there is no such session.
bool FollowSession(const IndexSnapshot& snapshot, const SessionTable& table, std::int64_t number,
                   FollowedSession& out, const std::atomic<bool>* cancel = nullptr,
                   const std::function<void(std::int64_t, std::int64_t)>& progress = {});

// The timeline's label of a frame read with its link's modulo.
std::string TimelineLabel(const Ax25Details& d);

// Which directions a transcript shows.
enum class FollowDirections { kBoth, kFromInitiator, kFromResponder };

// The transcript as the follow view shows it, in pieces of one direction each (UTF-8): data as
// text (CR, CR LF and LF end a line, tab and 0x20..0x7E as they are, 0x80..0xFF as
// Windows-1252, other bytes as <0xNN>), and marks on lines of their own:
//   [frame 123: 40 bytes sent again]   [2 frames not heard]
struct TranscriptPiece {
  int direction = 0;
  bool mark = false;
  std::string text;
};
std::vector<TranscriptPiece> FollowTranscript(const FollowedSession& followed,
                                              FollowDirections which);
// The transcript's text, pieces joined.
std::string TranscriptText(const std::vector<TranscriptPiece>& pieces);
// The data of the directions as the stations sent it, in the transcript's order (gaps left out).
std::string FollowBytes(const FollowedSession& followed, FollowDirections which);

// Writes bytes to path whole or not at all (never over the capture at capture_path). False with
// error set when it cannot.
bool SaveFollowed(const std::string& path, std::string_view bytes, const std::string& capture_path,
                  std::string* error);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_FOLLOW_CONNECTION_H_
