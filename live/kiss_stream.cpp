#include "live/kiss_stream.h"

#include <algorithm>
#include <cstring>

namespace packscope {

// The scanner's handler: keeps the un-escaped bytes of the frame in progress and hands on each
// frame a FEND closed.
struct KissStreamParser::Collector {
  KissStreamParser& parser;
  const FrameHandler& on_frame;

  void OnSkipped(std::int64_t) {}
  void OnFrameStart(std::int64_t offset, bool) {
    parser.frame_start_ = offset;
    parser.frame_.clear();
    parser.stored_ = 0;
  }
  void OnData(const std::uint8_t* bytes, std::size_t n, std::int32_t) {
    parser.frame_.insert(parser.frame_.end(), bytes, bytes + n);
  }
  void OnStored(const std::uint8_t*, std::size_t n) { parser.stored_ += n; }
  void OnStrayEscape(std::int64_t) {}
  void OnFrameEnd(const KissFrameEnd& end) {
    // Only a FEND ends a frame here: the stream has no end that could cut one off.
    if (end.length > 0) on_frame(parser.frame_);
    parser.frame_.clear();
    parser.stored_ = 0;
  }
  void OnTooLong() {}
};

KissStreamParser::KissStreamParser() { frame_.reserve(4096); }

void KissStreamParser::Feed(std::span<const std::uint8_t> bytes, const FrameHandler& on_frame,
                            const OverlongHandler& on_overlong) {
  const std::uint8_t* p = bytes.data();
  std::size_t n = bytes.size();
  while (n > 0) {
    if (dropping_) {  // the rest of a frame too long, up to the FEND that ends it
      const void* hit = std::memchr(p, kFend, n);
      if (hit == nullptr) {
        offset_ += static_cast<std::int64_t>(n);
        return;
      }
      const auto skip = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - p);
      p += skip;
      n -= skip;
      offset_ += static_cast<std::int64_t>(skip);
      scanner_ = KissScanner{};  // that FEND opens the next frame
      dropping_ = false;
      if (on_overlong) on_overlong(offset_ - frame_start_ - 1);
    }
    Collector collector{*this, on_frame};
    if (scanner_.Scan(collector, p, n, offset_)) {
      offset_ += static_cast<std::int64_t>(n);
      return;
    }
    // The frame grew too long somewhere behind its opening FEND, and holds no FEND up to there.
    ++overlong_;
    dropping_ = true;
    frame_.clear();
    stored_ = 0;
    const std::int64_t resume = std::max(frame_start_ + 1, offset_);
    const auto skip = static_cast<std::size_t>(resume - offset_);
    p += skip;
    n -= skip;
    offset_ = resume;
  }
}

std::size_t KissStreamParser::Reset() {
  std::size_t dropped = scanner_.InFrame() ? stored_ : 0;
  if (dropping_) dropped = static_cast<std::size_t>(offset_ - frame_start_ - 1);
  scanner_ = KissScanner{};
  dropping_ = false;
  frame_.clear();
  stored_ = 0;
  offset_ = 0;
  frame_start_ = 0;
  return dropped;
}

}  // namespace packscope
