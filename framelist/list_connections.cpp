#include "framelist/list_connections.h"

#include <utility>

#include "framelist/frame_reader.h"

namespace packscope {

ListConnections::ListConnections(FrameListHost& host, FrameList& list, std::function<void()> read)
    : host_(host), list_(list), on_read_(std::move(read)) {}

ListConnections::~ListConnections() {
  host_.StopPass(kConnectionsLane);
  host_.StopPass(kFollowLane);
}

void ListConnections::Update() {
  if (list_.Path() != path_) {
    host_.StopPass(kConnectionsLane);
    host_.StopPass(kFollowLane);
    path_ = list_.Path();
    read_.reset();
    reading_ = -1;
    given_up_ = -1;
    pending_frame_ = -1;
    pending_done_ = nullptr;
  }
  if (!list_.Indexed()) given_up_ = -1;  // read anew or on: a cancel holds no more
  if (path_.empty() || !list_.Indexed()) return;
  const IndexSnapshot snapshot = list_.Snapshot();
  const std::int64_t frames = snapshot.FrameCount();
  if ((read_ && read_->frames == frames) || reading_ == frames || given_up_ == frames) return;
  reading_ = frames;
  auto result = std::make_shared<CaptureConnections>();
  auto done = std::make_shared<bool>(false);
  host_.StartPass(
      kConnectionsLane, "Reading sessions",
      [snapshot, result, done](const std::atomic<bool>* cancel, const PassProgress& progress) {
        *done = ReadConnections(snapshot, *result, cancel, progress);
      },
      [this, result, done, frames] {
        reading_ = -1;
        const std::int64_t pending = std::exchange(pending_frame_, -1);
        FollowDone follow = std::move(pending_done_);
        pending_done_ = nullptr;
        if (!*done) {  // cancelled: not again for these frames
          given_up_ = frames;
          return;
        }
        read_ = result;
        list_.SetSessions(read_->sessions);
        if (on_read_) on_read_();
        if (pending >= 0) Follow(pending, std::move(follow));
        Update();  // the capture may have grown meanwhile
      });
}

StatTables ListConnections::Tables() const {
  StatTables tables;
  if (!read_) return tables;
  if (read_->conversations->RowCount() > 0) tables.push_back(read_->conversations);
  if (read_->nodes->RowCount() > 0) tables.push_back(read_->nodes);
  return tables;
}

std::int64_t ListConnections::SessionOfFrame(std::int64_t frame) const {
  if (!read_ || frame < 0 || frame >= read_->frames) return 0;
  FrameReader reader(list_.Snapshot());
  StoredFrame stored;
  if (!reader.Read(frame, stored)) return 0;
  return read_->sessions->FactsOf(frame, stored.Kiss()).session;
}

bool ListConnections::Follow(std::int64_t frame, FollowDone done) {
  if (!read_ && reading_ >= 0) {
    pending_frame_ = frame;
    pending_done_ = std::move(done);
    host_.Say("Following the connection once the capture's sessions are read.");
    return true;
  }
  const std::int64_t session = SessionOfFrame(frame);
  if (session == 0) {
    host_.Say(read_ ? "Frame " + std::to_string(frame + 1) + " belongs to no connected session."
                    : std::string("The capture's sessions are not read yet."));
    return false;
  }
  auto followed = std::make_shared<FollowedSession>();
  auto ok = std::make_shared<bool>(false);
  const IndexSnapshot snapshot = list_.Snapshot();
  const std::shared_ptr<const CaptureConnections> read = read_;
  host_.StartPass(
      kFollowLane, "Following the connection",
      [snapshot, read, session, followed, ok](const std::atomic<bool>* cancel,
                                              const PassProgress& progress) {
        *ok = FollowSession(snapshot, *read->sessions, session, *followed, cancel, progress);
      },
      [followed, ok, done = std::move(done)] {
        if (*ok && done) done(followed);
      });
  return true;
}

}  // namespace packscope
