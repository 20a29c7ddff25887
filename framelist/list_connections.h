// ListConnections: the frame list's connected sessions (framelist/connections.h) and the
// following of one (framelist/follow_connection.h), each a pass on a lane of its own of the
// list's host. The capture's connections are read once it has been read to its end (again when
// it was read on), and the list given them (FrameList::SetSessions); until then a frame belongs
// to no session.
//
//   list read ──Update──> ReadConnections (lane) ──> Tables(), SessionOfFrame()
//   Follow(frame) ──> FollowSession (lane + 1) ──> done(the session followed)
#ifndef PACKSCOPE_FRAMELIST_LIST_CONNECTIONS_H_
#define PACKSCOPE_FRAMELIST_LIST_CONNECTIONS_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framelist/connections.h"
#include "framelist/follow_connection.h"
#include "framelist/frame_list.h"

namespace packscope {

// The lanes it takes: well behind those of other tabs.
inline constexpr int kConnectionsLane = kFirstFreeLane + 8;
inline constexpr int kFollowLane = kConnectionsLane + 1;

class ListConnections {
 public:
  // read: told on the host's thread when the connections of a capture have been read.
  ListConnections(FrameListHost& host, FrameList& list, std::function<void()> read = {});
  ~ListConnections();
  ListConnections(const ListConnections&) = delete;
  ListConnections& operator=(const ListConnections&) = delete;

  // The list changed: another capture drops what was read; a capture read to its end whose
  // connections have not been read (or were read over fewer frames) is read.
  void Update();
  // What was read (null: nothing yet).
  const CaptureConnections* Connections() const { return read_.get(); }
  // The tables for the statistics: Conversations and Nodes, each when it has rows.
  StatTables Tables() const;
  // The session frame (index number) belongs to; 0: none, or not read yet.
  std::int64_t SessionOfFrame(std::int64_t frame) const;
  // Follows the session of frame; done gets it on the host's thread. While the sessions are
  // being read it follows once they are. False (and a message said) when the frame belongs to
  // no session, or nothing is being read.
  using FollowDone = std::function<void(std::shared_ptr<const FollowedSession>)>;
  bool Follow(std::int64_t frame, FollowDone done);

 private:
  FrameListHost& host_;
  FrameList& list_;
  std::function<void()> on_read_;
  std::string path_;  // of the capture read
  std::shared_ptr<const CaptureConnections> read_;
  std::int64_t reading_ = -1;   // frames of the pass running, -1: none
  std::int64_t given_up_ = -1;  // frames of a pass cancelled, not read again
  // A follow asked for while the sessions are read: its frame and done.
  std::int64_t pending_frame_ = -1;
  FollowDone pending_done_;
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_LIST_CONNECTIONS_H_
