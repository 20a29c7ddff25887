// Where a recorder's bytes come from: a TNC's KISS port over TCP (here), or a serial line (the
// Qt edge, live/serial_source.h). The recorder opens the source, reads what arrives, and opens
// it again when it is lost.
#ifndef PACKSCOPE_LIVE_BYTE_SOURCE_H_
#define PACKSCOPE_LIVE_BYTE_SOURCE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace packscope {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  // The source as the user named it ("localhost:8001", "/dev/ttyUSB0"), for messages.
  virtual std::string Name() const = 0;

  // Connects or opens. On failure: false, and error says why.
  virtual bool Open(std::string& error) = 0;

  // Waits at most timeout_ms for bytes and reads what has come, up to buffer.size().
  //   > 0   bytes read
  //   0     nothing came in time (or a signal arrived)
  //   < 0   the connection is lost (error says why); the source is closed
  virtual std::ptrdiff_t Read(std::span<std::uint8_t> buffer, int timeout_ms,
                              std::string& error) = 0;

  virtual void Close() = 0;

  // The recorder's stop flag: a source that may wait long (a connection attempt) looks at it
  // at least every 200 ms meanwhile and gives up once it is set.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

 protected:
  bool StopRequested() const { return stop_ != nullptr && stop_->load(); }

 private:
  const std::atomic<bool>* stop_ = nullptr;
};

// HOST:PORT split at its last colon; an IPv6 address in brackets ("[::1]:8001"). Nothing when
// either part is missing or the port is not 1..65535 (0 as well when allow_zero_port, for a
// listening socket that lets the system choose).
struct HostPort {
  std::string host;
  int port = 0;
};
std::optional<HostPort> ParseHostPort(std::string_view text, bool allow_zero_port = false);

// A source that names a serial device: a path ("/dev/ttyUSB0"); anything else is HOST:PORT.
bool IsSerialDevice(std::string_view source);

// KISS over TCP: a client of a TNC's or soundmodem's KISS port (Dire Wolf, QtSoundModem, ...).
class TcpSource : public ByteSource {
 public:
  explicit TcpSource(HostPort address) : address_(std::move(address)) {}
  ~TcpSource() override { Close(); }
  TcpSource(const TcpSource&) = delete;
  TcpSource& operator=(const TcpSource&) = delete;

  std::string Name() const override;
  bool Open(std::string& error) override;
  std::ptrdiff_t Read(std::span<std::uint8_t> buffer, int timeout_ms, std::string& error) override;
  void Close() override;

 private:
  HostPort address_;
  int fd_ = -1;
};

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_BYTE_SOURCE_H_
