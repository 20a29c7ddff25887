#include "live/byte_source.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace packscope {
namespace {

// How long a connection attempt may take, and how often it looks at the stop flag meanwhile.
constexpr int kConnectTimeoutMs = 10000;
constexpr int kConnectStepMs = 200;

void KeepAlive(int fd) {
  // A TNC that vanishes without closing (a network cable pulled) is noticed within a minute
  // and a half, also when no frame is heard for hours.
  const int on = 1, idle = 60, interval = 10, count = 3;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

}  // namespace

bool IsSerialDevice(std::string_view source) { return source.starts_with('/'); }

std::optional<HostPort> ParseHostPort(std::string_view text, bool allow_zero_port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = text.substr(0, colon);
  const std::string_view port_text = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    return std::nullopt;  // an IPv6 address needs its brackets
  }
  int port = -1;
  const auto [end, ec] =
      std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
  if (host.empty() || port_text.empty() || ec != std::errc() ||
      end != port_text.data() + port_text.size() || port > 65535 ||
      port < (allow_zero_port ? 0 : 1)) {
    return std::nullopt;
  }
  return HostPort{std::string(host), port};
}

std::string TcpSource::Name() const {
  const bool v6 = address_.host.find(':') != std::string::npos;
  return (v6 ? "[" + address_.host + "]" : address_.host) + ":" + std::to_string(address_.port);
}

bool TcpSource::Open(std::string& error) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(address_.port);
  const int rc = ::getaddrinfo(address_.host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    error = "cannot find the host " + address_.host + ": " + ::gai_strerror(rc);
    return false;
  }
  error = "no address";
  for (const addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
    const int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
      error = std::strerror(errno);
      continue;
    }
    int result = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
    if (result == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int n = 0;
      for (int waited = 0; n == 0 && waited < kConnectTimeoutMs && !StopRequested();
           waited += kConnectStepMs) {
        n = ::poll(&p, 1, kConnectStepMs);
      }
      if (n == 0) {
        result = StopRequested() ? ECANCELED : ETIMEDOUT;
      } else if (n < 0) {
        result = errno;
      } else {
        socklen_t length = sizeof result;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &length) != 0) result = errno;
      }
    }
    if (result != 0) {
      error = std::strerror(result);
      ::close(fd);
      continue;
    }
    KeepAlive(fd);
    fd_ = fd;
  }
  ::freeaddrinfo(found);
  return fd_ >= 0;
}

std::ptrdiff_t TcpSource::Read(std::span<std::uint8_t> buffer, int timeout_ms, std::string& error) {
  if (fd_ < 0) {
    error = "not connected";
    return -1;
  }
  pollfd p{fd_, POLLIN, 0};
  const int ready = ::poll(&p, 1, timeout_ms);
  if (ready <= 0) return 0;  // nothing yet, or a signal
  for (;;) {
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n > 0) return n;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    error = n == 0 ? "the TNC closed the connection" : std::strerror(errno);
    Close();
    return -1;
  }
}

void TcpSource::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace packscope
