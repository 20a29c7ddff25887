#include "live/pcap_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/decoder_state.h"
#include "capture/errors.h"
#include "capture/kiss_scanner.h"

namespace packscope {
namespace {

constexpr std::uint32_t kLinkTypeAx25Kiss = 202;

template <class T>
void Put(std::vector<std::uint8_t>& out, T value) {
  std::uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

std::string CannotWrite(const std::string& path) {
  return "Cannot write the pcap stream to " + Quoted(path);
}

}  // namespace

PcapStream::PcapStream(const std::string& path, const std::atomic<bool>& stop) : path_(path) {
  for (;;) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ >= 0) break;
    // A signal interrupts the wait for the FIFO's reader: stopped before it began.
    if (errno != EINTR || stop.load()) throw CommandError(ErrnoMessage(CannotWrite(path), errno));
  }
  std::vector<std::uint8_t> header;
  Put<std::uint32_t>(header, 0xA1B2C3D4);
  Put<std::uint16_t>(header, 2);
  Put<std::uint16_t>(header, 4);
  Put<std::int32_t>(header, 0);
  Put<std::uint32_t>(header, 0);
  Put<std::uint32_t>(header, static_cast<std::uint32_t>(kMaxFrameLength));
  Put<std::uint32_t>(header, kLinkTypeAx25Kiss);
  std::size_t written = 0;
  WriteAll(header, written);
}

PcapStream::~PcapStream() {
  if (fd_ >= 0) ::close(fd_);
}

void PcapStream::Add(std::span<const std::uint8_t> kiss_frame,
                     std::optional<std::int64_t> stamp_millis) {
  if (!kiss_frame.empty() && kiss_frame[0] == kTimestampType) return;
  const std::int64_t millis = stamp_millis.value_or(0);
  Put<std::uint32_t>(batch_, static_cast<std::uint32_t>(millis / 1000));
  Put<std::uint32_t>(batch_, static_cast<std::uint32_t>(millis % 1000 * 1000));
  Put<std::uint32_t>(batch_, static_cast<std::uint32_t>(kiss_frame.size()));
  Put<std::uint32_t>(batch_, static_cast<std::uint32_t>(kiss_frame.size()));
  batch_.insert(batch_.end(), kiss_frame.begin(), kiss_frame.end());
  record_ends_.push_back(batch_.size());
}

void PcapStream::Write() {
  std::vector<std::uint8_t> batch;
  std::vector<std::size_t> ends;
  batch.swap(batch_);
  ends.swap(record_ends_);
  std::size_t written = 0;
  try {
    WriteAll(batch, written);
  } catch (...) {
    for (const std::size_t end : ends) frames_written_ += end <= written ? 1 : 0;
    throw;
  }
  frames_written_ += static_cast<std::int64_t>(ends.size());
}

void PcapStream::WriteAll(const std::vector<std::uint8_t>& bytes, std::size_t& done) {
  done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int e = n < 0 ? errno : EIO;
      reader_gone_ = e == EPIPE;
      throw CommandError(ErrnoMessage(CannotWrite(path_), e));
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace packscope
