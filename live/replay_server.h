// The replay server: a KISS-over-TCP port, as a TNC offers one, that sends the frames of
// recorded captures to every client, for APRS clients and other programs to be fed offline.
//
// Each frame that is not a timestamp frame goes out as a TNC sends it (C0, the frame escaped,
// C0); timestamp frames are not sent, they set the timing: a frame goes out (its time - the time
// of the capture's first stamped frame) / speed after that frame was sent. Frames before a
// capture's first stamp, and every frame with speed 0, go out as fast as the clients take them.
// Time that runs backwards starts the timing over from that frame, and so does each capture.
//
// A play (all captures, in order) begins when a client connects while none is running; clients
// that connect during a play get its frames from then on. With loop, a play is followed by the
// next; with once, the server ends after one play, when the client that began it has been sent
// everything (or, as a failure, as soon as that client leaves). A client that does not read
// holds the play up. Bytes from clients are read and
// dropped. Empty frames and a frame cut off by the end of its capture are not sent.
#ifndef PACKSCOPE_LIVE_REPLAY_SERVER_H_
#define PACKSCOPE_LIVE_REPLAY_SERVER_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "live/byte_source.h"

namespace packscope {

struct ReplayOptions {
  HostPort listen{"127.0.0.1", 8001};  // port 0: the system picks one (Port() tells it)
  double speed = 1;                    // 1: the captures' own timing; 0: as fast as possible
  bool loop = false;
  bool once = false;
};

class ReplayListener {
 public:
  virtual ~ReplayListener() = default;
  // A client came or went, a play began or ended: one line of text for the user.
  virtual void OnStatus(std::string_view message) { (void)message; }
};

struct ReplayResult {
  bool ok = true;  // false: a capture could not be read, or with once the client left early
  std::int64_t frames = 0;  // frames sent (counted once per frame, not per client)
  std::string error;
};

class ReplayServer {
 public:
  ReplayServer(std::vector<std::string> captures, ReplayOptions options);
  ~ReplayServer();
  ReplayServer(const ReplayServer&) = delete;
  ReplayServer& operator=(const ReplayServer&) = delete;

  // Opens the listening socket. Throws CommandError when it cannot.
  void Listen();
  // The port listened on, after Listen().
  int Port() const { return port_; }

  // Serves until the stop flag is set, or with once until the play has ended.
  ReplayResult Run(const std::atomic<bool>& stop, ReplayListener& listener);

 private:
  std::vector<std::string> captures_;
  ReplayOptions options_;
  int listen_fd_ = -1;
  int port_ = 0;
};

// A capture the replay can read: opened and not a folder. Throws CommandError.
void CheckReadable(const std::string& path);

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_REPLAY_SERVER_H_
