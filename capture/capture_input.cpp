#include "capture/capture_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/errors.h"
#include "capture/input_bytes.h"
#include "capture/kiss_scanner.h"

namespace packscope {
namespace input_internal {
namespace {

constexpr std::size_t kBlock = 1 << 16;

std::string CannotRead(const std::string& path) {
  return path == "-" ? std::string("Cannot read standard input")
                     : "Cannot read the capture " + Quoted(path);
}

// A file descriptor's bytes: a file, or a stream waited for as InputWait says.
class FdBytes : public InputBytes {
 public:
  FdBytes(int fd, bool owned, bool stream, std::string path, const InputWait* wait)
      : fd_(fd), owned_(owned), stream_(stream), path_(std::move(path)), wait_(wait) {}
  ~FdBytes() override {
    if (owned_) ::close(fd_);
  }
  FdBytes(const FdBytes&) = delete;
  FdBytes& operator=(const FdBytes&) = delete;

  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    for (;;) {
      if (stream_ && wait_ != nullptr) WaitForBytes();
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) {
        consumed_ += n;
        return static_cast<std::size_t>(n);
      }
      if (errno == EINTR) continue;
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && wait_ != nullptr) continue;
      throw CaptureUnreadable(ErrnoMessage(CannotRead(path_), errno));
    }
  }

  const std::int64_t* Consumed() const { return &consumed_; }

 private:
  void WaitForBytes() {
    for (;;) {
      if (wait_->cancel != nullptr && wait_->cancel->load(std::memory_order_relaxed)) {
        throw PassCancelled();
      }
      pollfd ready{fd_, POLLIN, 0};
      const int n = ::poll(&ready, 1, wait_->slice_ms);
      if (n > 0) return;
      if (n < 0 && errno != EINTR) throw CaptureUnreadable(ErrnoMessage(CannotRead(path_), errno));
      if (wait_->waiting) wait_->waiting();
    }
  }

  int fd_;
  bool owned_;
  bool stream_;
  std::string path_;
  const InputWait* wait_;
  std::int64_t consumed_ = 0;
};

class MemoryBytes : public InputBytes {
 public:
  explicit MemoryBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, bytes_.size() - static_cast<std::size_t>(consumed_));
    std::memcpy(buffer, bytes_.data() + consumed_, n);
    consumed_ += static_cast<std::int64_t>(n);
    return n;
  }
  const std::int64_t* Consumed() const { return &consumed_; }

 private:
  std::string bytes_;
  std::int64_t consumed_ = 0;
};

// KISS as it is: the bytes themselves.
class KissInput : public CaptureInput {
 public:
  explicit KissInput(std::unique_ptr<InputChain> chain) : chain_(std::move(chain)) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t n = chain_->top->Read(buffer, size);
    read_ += static_cast<std::int64_t>(n);
    if (n == 0 && !chain_->compression_damage.empty()) {
      damage_.push_back({InputDamageKind::kCompressed, read_, chain_->compression_damage});
      chain_->compression_damage.clear();
    }
    return n;
  }
  std::int64_t Size() const override { return chain_->size; }
  std::int64_t Consumed() const override { return *chain_->consumed; }
  InputKind Kind() const override { return {InputFormat::kKiss, chain_->compression}; }
  void TakeDamage(std::vector<InputDamage>& out) override {
    out.insert(out.end(), damage_.begin(), damage_.end());
    damage_.clear();
  }

 private:
  std::unique_ptr<InputChain> chain_;
  std::int64_t read_ = 0;
  std::vector<InputDamage> damage_;
};

enum class Sniffed { kKiss, kPcap, kPcapng, kTnc2, kGzip, kXz, kZstd, kBzip2 };

bool Starts(std::string_view held, std::string_view magic) {
  return held.substr(0, magic.size()) == magic;
}

Sniffed Sniff(PeekedBytes& peeked, bool compressed_too) {
  using namespace std::string_view_literals;
  while (peeked.Held().size() < 6 && (peeked.Held().empty() || peeked.Held()[0] != '\xC0') &&
         peeked.PeekMore()) {
  }
  const std::string_view held = peeked.Held();
  if (held.empty() || held[0] == '\xC0') return Sniffed::kKiss;
  if (compressed_too) {
    if (Starts(held, "\x1F\x8B"sv)) return Sniffed::kGzip;
    if (Starts(held,
               "\xFD"
               "7zXZ\x00"sv))
      return Sniffed::kXz;
    if (Starts(held, "\x28\xB5\x2F\xFD"sv)) return Sniffed::kZstd;
    if (Starts(held, "BZh"sv) && held.size() >= 4 && held[3] >= '1' && held[3] <= '9') {
      return Sniffed::kBzip2;
    }
  }
  for (const std::string_view magic :
       {"\xA1\xB2\xC3\xD4"sv, "\xD4\xC3\xB2\xA1"sv, "\xA1\xB2\x3C\x4D"sv, "\x4D\x3C\xB2\xA1"sv}) {
    if (Starts(held, magic)) return Sniffed::kPcap;
  }
  if (Starts(held, "\x0A\x0D\x0D\x0A"sv)) return Sniffed::kPcapng;
  for (;;) {
    switch (GuessTnc2(peeked.Held(), peeked.Ended())) {
      case Tnc2Guess::kYes:
        return Sniffed::kTnc2;
      case Tnc2Guess::kNo:
        return Sniffed::kKiss;
      case Tnc2Guess::kMore:
        peeked.PeekMore();
        break;
    }
  }
}

std::unique_ptr<CaptureInput> Build(std::unique_ptr<InputChain> chain,
                                    std::unique_ptr<InputBytes> bottom, bool file) {
  auto peeked = std::make_unique<PeekedBytes>(*bottom, file);
  PeekedBytes* top = peeked.get();
  chain->layers.push_back(std::move(bottom));
  chain->layers.push_back(std::move(peeked));
  Sniffed sniffed = Sniff(*top, /*compressed_too=*/true);
  const auto compression = [&]() {
    switch (sniffed) {
      case Sniffed::kGzip:
        return InputCompression::kGzip;
      case Sniffed::kXz:
        return InputCompression::kXz;
      case Sniffed::kZstd:
        return InputCompression::kZstd;
      case Sniffed::kBzip2:
        return InputCompression::kBzip2;
      default:
        return InputCompression::kNone;
    }
  }();
  if (compression != InputCompression::kNone) {
    chain->compression = compression;
    std::unique_ptr<InputBytes> data = MakeArchiveBytes(*top, *chain);
    auto inner = std::make_unique<PeekedBytes>(*data, /*fill=*/false);
    top = inner.get();
    chain->layers.push_back(std::move(data));
    chain->layers.push_back(std::move(inner));
    sniffed = Sniff(*top, /*compressed_too=*/false);
  }
  chain->top = top;
  switch (sniffed) {
    case Sniffed::kPcap:
      return MakePcapInput(std::move(chain), InputFormat::kPcap);
    case Sniffed::kPcapng:
      return MakePcapInput(std::move(chain), InputFormat::kPcapng);
    case Sniffed::kTnc2:
      return MakeTnc2Input(std::move(chain));
    default:
      return std::make_unique<KissInput>(std::move(chain));
  }
}

// The file at path opened for reading; stream tells whether it is read as it comes.
int OpenFile(const std::string& path, const InputWait* wait, bool& stream, std::int64_t& size) {
  if (path.empty()) throw CaptureUnreadable("Cannot read the capture: no file name was given.");
  struct stat st {};
  // Without O_NONBLOCK, opening a FIFO waits for its writer: a reader that may not wait (the
  // window's) opens it at once and waits in slices.
  const bool fifo = ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
  const int fd = path == "-"
                     ? STDIN_FILENO
                     : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (fifo && wait ? O_NONBLOCK : 0));
  if (fd < 0) throw CaptureUnreadable(ErrnoMessage(CannotRead(path), errno));
  const auto fail = [&](const std::string& message) {
    if (fd != STDIN_FILENO) ::close(fd);
    throw CaptureUnreadable(message);
  };
  if (::fstat(fd, &st) != 0) fail(ErrnoMessage(CannotRead(path), errno));
  if (S_ISDIR(st.st_mode)) fail(CannotRead(path) + ": it is a folder, not a file.");
  stream = !S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode);
  size = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : -1;
  if (stream && wait != nullptr && path == "-") {
    // Standard input is waited for in slices as well.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  }
  return fd;
}

}  // namespace

bool PeekedBytes::PeekMore() {
  if (ended_) return false;
  if (at_ > 0) {
    held_.erase(0, at_);
    at_ = 0;
  }
  const std::size_t old = held_.size();
  held_.resize(old + kBlock);
  const std::size_t n = inner_.Read(reinterpret_cast<std::uint8_t*>(held_.data() + old), kBlock);
  held_.resize(old + n);
  ended_ = n == 0;
  return !ended_;
}

std::size_t PeekedBytes::Read(std::uint8_t* buffer, std::size_t size) {
  if (at_ == held_.size()) {
    if (ended_) return 0;
    if (size >= kBlock) {
      const std::size_t n = inner_.Read(buffer, size);
      ended_ = n == 0;
      return n;
    }
    held_.clear();
    at_ = 0;
    if (!PeekMore()) return 0;
  }
  const std::size_t n = std::min(size, held_.size() - at_);
  std::memcpy(buffer, held_.data() + at_, n);
  at_ += n;
  if (!fill_ || size < kBlock || n == size || ended_) return n;
  const std::size_t more = inner_.Read(buffer + n, size - n);
  ended_ = more == 0;
  return n + more;
}

std::size_t DecodingInput::Read(std::uint8_t* buffer, std::size_t size) {
  while (out_at_ == out_.size()) {
    if (ended_) return 0;
    stream_ += static_cast<std::int64_t>(out_.size());
    out_.clear();
    out_at_ = 0;
    if (!Produce(out_)) {
      ended_ = true;
      if (!chain_->compression_damage.empty()) {
        Damage(InputDamageKind::kCompressed, chain_->compression_damage);
      }
    }
  }
  const std::size_t n = std::min(size, out_.size() - out_at_);
  std::memcpy(buffer, out_.data() + out_at_, n);
  out_at_ += n;
  handed_ += static_cast<std::int64_t>(n);
  return n;
}

void DecodingInput::TakeDamage(std::vector<InputDamage>& out) {
  while (damage_taken_ < damage_.size() && damage_[damage_taken_].offset <= handed_) {
    out.push_back(std::move(damage_[damage_taken_++]));
  }
  if (damage_taken_ == damage_.size()) {
    damage_.clear();
    damage_taken_ = 0;
  }
}

void DecodingInput::Damage(InputDamageKind kind, std::string text) {
  damage_.push_back({kind, stream_ + static_cast<std::int64_t>(out_.size()), std::move(text)});
}

void DecodingInput::AppendFrame(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> frame,
                                std::int64_t millis) {
  if (millis >= 0 && millis != last_stamp_) {
    std::uint8_t stamp[9] = {kTimestampType};
    for (int i = 0; i < 8; ++i) {
      stamp[1 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(millis) >> (56 - 8 * i));
    }
    AppendKissEscaped(out, stamp);
    last_stamp_ = millis;
  }
  AppendKissEscaped(out, frame);
}

}  // namespace input_internal

using input_internal::InputChain;

std::string InputKindName(const InputKind& kind) {
  std::string name;
  switch (kind.format) {
    case InputFormat::kKiss:
      name = "KISS";
      break;
    case InputFormat::kPcap:
      name = "pcap";
      break;
    case InputFormat::kPcapng:
      name = "pcapng";
      break;
    case InputFormat::kTnc2:
      name = "TNC2 lines";
      break;
  }
  switch (kind.compression) {
    case InputCompression::kNone:
      break;
    case InputCompression::kGzip:
      name += ", gzip-compressed";
      break;
    case InputCompression::kXz:
      name += ", xz-compressed";
      break;
    case InputCompression::kZstd:
      name += ", zstd-compressed";
      break;
    case InputCompression::kBzip2:
      name += ", bzip2-compressed";
      break;
  }
  return name;
}

std::string CaptureName(const std::string& path) {
  return path == "-" ? std::string("standard input") : Quoted(path);
}

std::unique_ptr<CaptureInput> OpenCaptureInput(const std::string& path, const InputWait* wait) {
  bool stream = false;
  auto chain = std::make_unique<InputChain>();
  const int fd = input_internal::OpenFile(path, wait, stream, chain->size);
  auto bytes =
      std::make_unique<input_internal::FdBytes>(fd, fd != STDIN_FILENO, stream, path, wait);
  chain->name = CaptureName(path);
  chain->consumed = bytes->Consumed();
  return input_internal::Build(std::move(chain), std::move(bytes), !stream);
}

std::unique_ptr<CaptureInput> OpenCaptureBytes(std::string bytes, const std::string& name) {
  auto chain = std::make_unique<InputChain>();
  chain->size = static_cast<std::int64_t>(bytes.size());
  auto memory = std::make_unique<input_internal::MemoryBytes>(std::move(bytes));
  chain->name = Quoted(name);
  chain->consumed = memory->Consumed();
  return input_internal::Build(std::move(chain), std::move(memory), /*file=*/true);
}

std::unique_ptr<CaptureInput> OpenKissInput(const std::string& path) {
  bool stream = false;
  auto chain = std::make_unique<InputChain>();
  const int fd = input_internal::OpenFile(path, nullptr, stream, chain->size);
  auto bytes =
      std::make_unique<input_internal::FdBytes>(fd, fd != STDIN_FILENO, stream, path, nullptr);
  chain->name = CaptureName(path);
  chain->consumed = bytes->Consumed();
  chain->top = bytes.get();
  chain->layers.push_back(std::move(bytes));
  return std::make_unique<input_internal::KissInput>(std::move(chain));
}

}  // namespace packscope
