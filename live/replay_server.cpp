#include "live/replay_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

#include "capture/errors.h"
#include "capture/kiss_scanner.h"
#include "live/capture_frames.h"

namespace packscope {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kPollStep = milliseconds(200);
// A play waits for its slowest client when that one has this much unsent, until it is down to
// the low mark again; with speed 0 the frames are sent in pieces of the low mark.
constexpr std::size_t kHighWater = 1 << 18;
constexpr std::size_t kLowWater = 1 << 16;
// With speed 0, how often a play that never waits looks at its clients and the stop flag.
constexpr std::int64_t kFramesBetweenLooks = 256;
// With once: how long the clients may take to close after the last frame.
constexpr auto kLingerTime = std::chrono::seconds(2);

struct Stopped {};
struct FirstClientLeft {};

std::string AddressText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (address.ss_family == AF_INET) {
    const auto& a = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    port = ntohs(a.sin_port);
    std::string text(host);
    text.append(":").append(std::to_string(port));
    return text;
  }
  if (address.ss_family == AF_INET6) {
    const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &a.sin6_addr, host, sizeof host);
    port = ntohs(a.sin6_port);
  }
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of "[" + std::string.
  std::string text("[");
  text.append(host).append("]:").append(std::to_string(port));
  return text;
}

struct Client {
  int fd = -1;
  std::int64_t id = 0;
  std::string name;
  std::vector<std::uint8_t> out;
  std::size_t sent = 0;
  std::size_t Pending() const { return out.size() - sent; }
};

// One run of the server: its clients and its plays.
class Serving {
 public:
  Serving(int listen_fd, const std::vector<std::string>& captures, const ReplayOptions& options,
          const std::atomic<bool>& stop, ReplayListener& listener)
      : listen_fd_(listen_fd),
        captures_(captures),
        options_(options),
        stop_(stop),
        listener_(listener) {}

  ~Serving() {
    for (Client& c : clients_) ::close(c.fd);
  }

  ReplayResult Run() {
    try {
      std::int64_t accepted_before = 0;
      for (;;) {
        // A play begins with a client: a new one, or with loop any that is still there.
        Serve(std::nullopt,
              [&] { return accepted_ > accepted_before || (options_.loop && !clients_.empty()); });
        accepted_before = accepted_;
        if (clients_.empty()) continue;  // it came and went at once
        first_client_ = clients_.back().id;
        playing_ = true;
        if (!Play()) return result_;
        playing_ = false;
        if (options_.once) {
          Finish();
          return result_;
        }
      }
    } catch (const Stopped&) {
      return result_;
    } catch (const FirstClientLeft&) {
      result_.ok = false;
      result_.error = "The client left before the end of the replay.";
      return result_;
    }
  }

 private:
  // All captures once; false when one could not be read.
  bool Play() {
    listener_.OnStatus("Replay started");
    const std::int64_t frames_before = result_.frames;
    for (const std::string& capture : captures_) {
      base_.reset();
      try {
        ForEachCaptureFrame(capture, [&](const CaptureFrame& frame) { Send(frame); });
      } catch (const CommandError& e) {
        result_.ok = false;
        result_.error = e.what();
        return false;
      }
    }
    Serve(std::nullopt, [&] { return MostPending() == 0; });
    listener_.OnStatus("Replay done: " + std::to_string(result_.frames - frames_before) +
                       " frames sent");
    return true;
  }

  void Send(const CaptureFrame& frame) {
    if (frame.timestamp || frame.kiss_frame.empty() || frame.cut_off) return;
    if (options_.speed > 0 && frame.millis) {
      const auto now = Clock::now();
      const std::int64_t millis = *frame.millis;
      if (!base_ || millis < last_millis_) base_ = std::make_pair(millis, now);
      last_millis_ = millis;
      const auto due = DueTime(millis);
      if (due > now) Serve(due, [] { return false; });
    }
    encoded_.clear();
    AppendKissEscaped(encoded_, frame.kiss_frame);
    for (Client& c : clients_) c.out.insert(c.out.end(), encoded_.begin(), encoded_.end());
    ++result_.frames;
    if (options_.speed > 0 || MostPending() >= kLowWater) SendAll();
    if (MostPending() > kHighWater) {
      Serve(std::nullopt, [&] { return MostPending() <= kLowWater; });
    } else if (options_.speed == 0 && result_.frames % kFramesBetweenLooks == 0) {
      // Clients that read as fast as the frames come never make the play wait: new clients,
      // leaving ones and the stop flag are looked at every so many frames instead.
      Serve(Clock::now(), [] { return false; });
    }
  }

  // When the frame of millis is due: its offset from the base frame at the speed. A delay
  // beyond the clock's range (a tiny speed, stamps centuries apart) is waited for as asked, to
  // the clock's end, never wrapped round into the past.
  Clock::time_point DueTime(std::int64_t millis) const {
    using Nanos = std::chrono::duration<double, std::nano>;
    const double offset =
        (static_cast<double>(millis) - static_cast<double>(base_->first)) * 1e6 / options_.speed;
    // The room left on the clock, less more than a double's rounding error there.
    const double room = Nanos(Clock::time_point::max() - base_->second).count() - 4096;
    if (!(offset < room)) return Clock::time_point::max();
    return base_->second + std::chrono::duration_cast<Clock::duration>(Nanos(offset));
  }

  // With once: the client that began the play has been sent everything; the clients are told
  // the end (shutdown) and given a moment to close.
  void Finish() {
    for (Client& c : clients_) ::shutdown(c.fd, SHUT_WR);
    closing_ = true;
    Serve(Clock::now() + kLingerTime, [&] { return clients_.empty(); });
  }

  std::size_t MostPending() const {
    std::size_t most = 0;
    for (const Client& c : clients_) most = std::max(most, c.Pending());
    return most;
  }

  // Accepts, reads and sends until done() or the deadline (a deadline already past: one look
  // without waiting); Stopped on the stop flag.
  void Serve(std::optional<Clock::time_point> deadline, const std::function<bool()>& done) {
    std::vector<pollfd> fds;
    for (;;) {
      if (stop_.load()) throw Stopped{};
      if (done()) return;
      auto timeout = Clock::duration(kPollStep);
      if (deadline)
        timeout = std::clamp(*deadline - Clock::now(), Clock::duration::zero(), timeout);
      fds.clear();
      fds.push_back({listen_fd_, static_cast<short>(closing_ ? 0 : POLLIN), 0});
      for (const Client& c : clients_) {
        fds.push_back({c.fd, static_cast<short>(POLLIN | (c.Pending() > 0 ? POLLOUT : 0)), 0});
      }
      const int ms = static_cast<int>(std::chrono::ceil<milliseconds>(timeout).count());
      if (::poll(fds.data(), fds.size(), ms) > 0) {
        for (std::size_t i = clients_.size(); i-- > 0;) {
          const short events = fds[i + 1].revents;
          if ((events & (POLLIN | POLLHUP | POLLERR)) != 0) Drain(i);
        }
        SendAll();
        if ((fds[0].revents & POLLIN) != 0) Accept();
      }
      if (deadline && Clock::now() >= *deadline) return;
    }
  }

  void Accept() {
    for (;;) {
      sockaddr_storage address{};
      socklen_t length = sizeof address;
      const int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      Client c;
      c.fd = fd;
      c.id = ++accepted_;
      c.name = AddressText(address);
      listener_.OnStatus("Client " + c.name + " connected");
      clients_.push_back(std::move(c));
    }
  }

  // Reads and drops what client i sent; drops the client when it has closed.
  void Drain(std::size_t i) {
    std::uint8_t buffer[4096];
    for (;;) {
      const ssize_t n = ::recv(clients_[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) continue;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      Drop(i, n == 0 ? "closed the connection" : std::strerror(errno));
      return;
    }
  }

  void SendAll() {
    for (std::size_t i = clients_.size(); i-- > 0;) {
      const int error = SendTo(clients_[i]);
      if (error != 0) Drop(i, std::strerror(error));
    }
  }

  // Sends what the socket takes; an errno value when the client is gone.
  static int SendTo(Client& c) {
    while (c.Pending() > 0) {
      const ssize_t n =
          ::send(c.fd, c.out.data() + c.sent, c.Pending(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        c.sent += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        break;
      } else {
        return n < 0 ? errno : EPIPE;
      }
    }
    if (c.sent == c.out.size()) {
      c.out.clear();
      c.sent = 0;
    } else if (c.sent > kHighWater) {
      c.out.erase(c.out.begin(), c.out.begin() + static_cast<std::ptrdiff_t>(c.sent));
      c.sent = 0;
    }
    return 0;
  }

  void Drop(std::size_t i, const std::string& why) {
    if (!closing_) listener_.OnStatus("Client " + clients_[i].name + " left: " + why);
    const bool first = clients_[i].id == first_client_;
    ::close(clients_[i].fd);
    clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
    // With once, a play for no one would go on to its end for nothing.
    if (first && playing_ && options_.once) throw FirstClientLeft{};
  }

  int listen_fd_;
  const std::vector<std::string>& captures_;
  const ReplayOptions& options_;
  const std::atomic<bool>& stop_;
  ReplayListener& listener_;
  std::vector<Client> clients_;
  std::int64_t accepted_ = 0;
  std::int64_t first_client_ = 0;
  bool playing_ = false;
  bool closing_ = false;
  std::optional<std::pair<std::int64_t, Clock::time_point>> base_;
  std::int64_t last_millis_ = 0;
  std::vector<std::uint8_t> encoded_;
  ReplayResult result_;
};

}  // namespace

void CheckReadable(const std::string& path) {
  const std::string what = "Cannot read the capture " + Quoted(path);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw CommandError(ErrnoMessage(what, errno));
  struct stat st {};
  const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  ::close(fd);
  if (folder) throw CommandError(what + ": it is a folder, not a file.");
}

ReplayServer::ReplayServer(std::vector<std::string> captures, ReplayOptions options)
    : captures_(std::move(captures)), options_(std::move(options)) {}

ReplayServer::~ReplayServer() {
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

void ReplayServer::Listen() {
  const std::string where = options_.listen.host + ":" + std::to_string(options_.listen.port);
  const std::string what = "Cannot listen on " + where;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(options_.listen.port);
  const int rc = ::getaddrinfo(options_.listen.host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) throw CommandError(what + ": " + ::gai_strerror(rc));
  int error = 0;
  for (const addrinfo* a = found; a != nullptr && listen_fd_ < 0; a = a->ai_next) {
    const int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      error = errno;
      continue;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
      error = errno;
      ::close(fd);
      continue;
    }
    listen_fd_ = fd;
  }
  ::freeaddrinfo(found);
  if (listen_fd_ < 0) throw CommandError(ErrnoMessage(what, error));
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = address.ss_family == AF_INET6
              ? ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port)
              : ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

ReplayResult ReplayServer::Run(const std::atomic<bool>& stop, ReplayListener& listener) {
  if (listen_fd_ < 0) Listen();
  Serving serving(listen_fd_, captures_, options_, stop, listener);
  return serving.Run();
}

}  // namespace packscope
