#include "capture/frame_loop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <vector>

#include "capture/ax25_step.h"
#include "capture/errors.h"
#include "capture/frame_output.h"
#include "capture/timestamp.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr std::size_t kReadBlock = 1 << 20;
constexpr std::size_t kMinReadBlock = 1 << 12;

std::string CannotRead(const std::string& path) {
  return "Cannot read the capture " + Quoted(path);
}

// The Label1 caption in buf, which has room for 64 characters: built once per frame, so without
// a string of its own.
std::string_view CountsText(char (&buf)[64], std::int64_t frames, std::int64_t bytes) {
  constexpr std::string_view kFrames = " frames / ";
  constexpr std::string_view kBytes = " bytes";
  char* p = std::to_chars(buf, buf + 20, frames).ptr;
  p = std::copy(kFrames.begin(), kFrames.end(), p);
  p = std::to_chars(p, p + 20, bytes).ptr;
  p = std::copy(kBytes.begin(), kBytes.end(), p);
  return std::string_view(buf, static_cast<std::size_t>(p - buf));
}

// The capture file, read in large blocks.
class CaptureFile {
 public:
  explicit CaptureFile(const std::string& path) : path_(path) {
    if (path.empty()) throw CommandError("Cannot read the capture: no file name was given.");
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) throw CommandError(ErrnoMessage(CannotRead(path), errno));
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      const int e = errno;
      ::close(fd_);
      throw CommandError(ErrnoMessage(CannotRead(path), e));
    }
    if (S_ISDIR(st.st_mode)) {
      ::close(fd_);
      throw CommandError(CannotRead(path) + ": it is a folder, not a file.");
    }
    size_ = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : -1;
  }
  ~CaptureFile() { ::close(fd_); }
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  // Reads the next block; 0 at the end of the file.
  std::size_t Read(std::uint8_t* buffer, std::size_t size) {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) throw CommandError(ErrnoMessage(CannotRead(path_), errno));
    }
  }
  std::int64_t Size() const { return size_; }

 private:
  std::string path_;
  int fd_ = -1;
  std::int64_t size_ = -1;
};

// Shows the default pointer again however the pass ends.
class BusyPointer {
 public:
  explicit BusyPointer(Window& window) : window_(window) { window_.SetBusy(true); }
  ~BusyPointer() { window_.SetBusy(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  Window& window_;
};

class FrameLoop {
 public:
  FrameLoop(DecoderState& state, Window& window) : state_(state), window_(window) {}

  void Run(CaptureFile& file) {
    // A small capture gets a small buffer: the passes over it (every Check1 click, every write
    // command) then do not map and unmap a large block each time.
    const std::size_t block =
        file.Size() < 0 ? kReadBlock
                        : std::clamp<std::size_t>(static_cast<std::size_t>(file.Size()) + 1,
                                                  kMinReadBlock, kReadBlock);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[block]);
    std::int64_t base = 0;
    for (;;) {
      const std::size_t n = file.Read(buffer.get(), block);
      if (n == 0) break;
      Scan(buffer.get(), n, base);
      base += static_cast<std::int64_t>(n);
      window_.ShowProgress(base, file.Size());
    }
    if (where_ == kSkipping && state_.Observer != nullptr) state_.Observer->OnSkipped(0, base);
    if (where_ == kInFrame) FinishFrame(/*closed=*/false);
  }

 private:
  enum Where { kStart, kSkipping, kBetween, kInFrame };

  void Scan(const std::uint8_t* buf, std::size_t n, std::int64_t base) {
    std::size_t pos = 0;
    while (pos < n) {
      switch (where_) {
        case kStart:
          if (buf[pos] == kFend) {
            OpenFrame(base + static_cast<std::int64_t>(pos), /*recovered=*/false);
            ++pos;
          } else {
            where_ = kSkipping;
          }
          break;
        case kSkipping: {
          const void* hit = std::memchr(buf + pos, kFend, n - pos);
          if (hit == nullptr) {
            pos = n;
            break;
          }
          pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - buf);
          last_fend_ = base + static_cast<std::int64_t>(pos);
          if (state_.Observer != nullptr) state_.Observer->OnSkipped(0, last_fend_);
          ++pos;  // the FEND that ends the skip opens nothing
          where_ = kBetween;
          break;
        }
        case kBetween:
          if (buf[pos] == kFend) {
            OpenFrame(base + static_cast<std::int64_t>(pos), /*recovered=*/false);
            ++pos;
          } else {
            OpenFrame(last_fend_, /*recovered=*/true);  // the byte is the frame's first
          }
          break;
        case kInFrame: {
          const void* hit = std::memchr(buf + pos, kFend, n - pos);
          const std::size_t end =
              hit == nullptr
                  ? n
                  : static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - buf);
          Collect(buf + pos, end - pos, base + static_cast<std::int64_t>(pos));
          if (end == n) {
            pos = n;
          } else {
            last_fend_ = base + static_cast<std::int64_t>(end);
            pos = end + 1;
            FinishFrame(/*closed=*/true);
          }
          break;
        }
      }
    }
  }

  void OpenFrame(std::int64_t offset, bool recovered) {
    ++state_.FrameCount;
    state_.FrameOffset = offset;
    info_ = FrameInfo{};
    info_.recovered = recovered;
    state_.RawHex.assign("C0 ");
    length_ = 0;
    pending_escape_ = false;
    escaped_ = false;
    where_ = kInFrame;
  }

  // Bytes of the frame as stored (no FEND among them): added to RawHex and un-escaped into
  // FrameBytes. The runs between escapes are copied whole.
  void Collect(const std::uint8_t* bytes, std::size_t n, std::int64_t offset) {
    if (n == 0) return;
    // Room for what these bytes can give, never more than the longest frame plus one.
    const auto need = static_cast<std::size_t>(
        1 +
        std::min<std::int64_t>(length_ + static_cast<std::int64_t>(n) + 1, kMaxFrameLength + 1));
    if (state_.FrameBytes.size() < need) state_.FrameBytes.resize(need);
    std::uint8_t* out = state_.FrameBytes.data() + 1;
    std::size_t i = 0;
    while (i < n) {
      if (pending_escape_) {
        pending_escape_ = false;
        const std::uint8_t b = bytes[i];
        if (b == kTfend || b == kTfesc) {
          Put(out, b == kTfend ? kFend : kFesc);
          ++i;
          continue;
        }
        Put(out, kFesc);
        StrayEscape(escape_offset_);
      }
      const void* hit = std::memchr(bytes + i, kFesc, n - i);
      const std::size_t end =
          hit == nullptr ? n
                         : static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes);
      PutRun(out, bytes + i, end - i);
      if (end == n) break;
      escaped_ = true;
      pending_escape_ = true;
      escape_offset_ = offset + static_cast<std::int64_t>(end);
      i = end + 1;
    }
    AppendHexText(state_.RawHex, bytes, n);
  }

  void Put(std::uint8_t* out, std::uint8_t b) {
    if (length_ == kMaxFrameLength) TooLong();
    out[length_++] = b;
  }

  void PutRun(std::uint8_t* out, const std::uint8_t* bytes, std::size_t n) {
    const auto room = static_cast<std::size_t>(kMaxFrameLength - length_);
    const std::size_t fit = std::min(n, room);
    std::memcpy(out + length_, bytes, fit);
    length_ += static_cast<std::int32_t>(fit);
    if (fit < n) TooLong();
  }

  [[noreturn]] void TooLong() {
    throw CommandError("Frame " + std::to_string(state_.FrameCount) + " at byte offset " +
                       std::to_string(state_.FrameOffset) + " of " +
                       Quoted(state_.CaptureFileName) + " is longer than " +
                       std::to_string(kMaxFrameLength) + " bytes; the pass stopped there.");
  }

  void StrayEscape(std::int64_t offset) {
    ++info_.bad_escapes;
    if (state_.Observer != nullptr) state_.Observer->OnStrayEscape(offset);
  }

  void FinishFrame(bool closed) {
    where_ = kBetween;
    if (pending_escape_) {  // a FESC standing last is kept
      pending_escape_ = false;
      std::uint8_t* out = state_.FrameBytes.data() + 1;
      Put(out, kFesc);
      StrayEscape(escape_offset_);
    }
    info_.cut_off = !closed;

    if (closed) state_.RawHex.append("C0 ");

    state_.FrameLength = length_;
    state_.ByteCount += length_;
    window_.SetLabel1Caption(CountsText(caption_, state_.FrameCount, state_.ByteCount));

    if (escaped_) {
      state_.FrameHex.clear();
      AppendHexText(state_.FrameHex, state_.FrameBytes.data() + 1,
                    static_cast<std::size_t>(length_));
    } else {
      // Without escapes the frame is the bytes as stored: its groups are already in RawHex,
      // behind the opening "C0 ".
      state_.FrameHex.assign(state_.RawHex, 3, 3 * static_cast<std::size_t>(length_));
    }

    info_.timestamp = length_ >= 1 && state_.FrameBytes[1] == kTimestampType;
    if (info_.timestamp) TimestampStep(state_, window_);
    if (state_.FrameFilter != nullptr && !state_.FrameFilter->Keep(state_, info_) &&
        !info_.timestamp) {
      return;
    }
    if (window_.Check2()) DecodeAx25(state_, window_);
    if (!info_.timestamp) FrameOutputStep(state_, window_);
    if (state_.Observer != nullptr) state_.Observer->OnFrame(state_, info_);
  }

  DecoderState& state_;
  Window& window_;
  Where where_ = kStart;
  std::int64_t last_fend_ = 0;
  std::int32_t length_ = 0;
  bool pending_escape_ = false;
  bool escaped_ = false;  // a FESC was read in this frame: FrameBytes differ from the bytes read
  std::int64_t escape_offset_ = 0;
  FrameInfo info_;
  char caption_[64];
};

}  // namespace

void AppendCountsCaption(std::string& out, std::int64_t frames, std::int64_t bytes) {
  char buf[64];
  out.append(CountsText(buf, frames, bytes));
}

std::string CountsCaption(std::int64_t frames, std::int64_t bytes) {
  std::string out;
  AppendCountsCaption(out, frames, bytes);
  return out;
}

void ReadCapture(DecoderState& state, Window& window) {
  BusyPointer busy(window);
  window.SetDisplayText("");
  state.FrameCount = 0;
  state.ByteCount = 0;
  CaptureFile file(state.CaptureFileName);
  FrameLoop loop(state, window);
  loop.Run(file);
}

}  // namespace packscope
