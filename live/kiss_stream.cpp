#include "live/kiss_stream.h"

#include <cstring>

#include "capture/decoder_state.h"
#include "capture/frame_loop.h"

namespace packscope {

KissStreamParser::KissStreamParser() { frame_.reserve(4096); }

void KissStreamParser::Feed(std::span<const std::uint8_t> bytes, const FrameHandler& on_frame) {
  const std::uint8_t* p = bytes.data();
  const std::uint8_t* const end = p + bytes.size();
  while (p < end) {
    if (state_ != kInFrame) {  // hunting for a FEND: the bytes before it belong to no frame
      const void* hit = std::memchr(p, kFend, static_cast<std::size_t>(end - p));
      if (hit == nullptr) return;
      p = static_cast<const std::uint8_t*>(hit) + 1;
      state_ = kInFrame;
      escape_ = false;
      frame_.clear();
      continue;
    }
    const std::uint8_t b = *p++;
    if (b == kFend) {
      if (escape_) frame_.push_back(kFesc);  // a FESC standing last is kept
      escape_ = false;
      if (frame_.size() > static_cast<std::size_t>(kMaxFrameLength)) {
        ++overlong_;
      } else if (!frame_.empty()) {
        on_frame(frame_);
      }
      frame_.clear();
      continue;
    }
    if (escape_) {
      escape_ = false;
      if (b == kTfend || b == kTfesc) {
        frame_.push_back(b == kTfend ? kFend : kFesc);
      } else {
        frame_.push_back(kFesc);
        if (b == kFesc) {
          escape_ = true;
        } else {
          frame_.push_back(b);
        }
      }
    } else if (b == kFesc) {
      escape_ = true;
    } else {
      frame_.push_back(b);
    }
    // One byte past the longest frame tells it is too long; the rest is not kept.
    if (frame_.size() > static_cast<std::size_t>(kMaxFrameLength)) {
      ++overlong_;
      state_ = kTooLong;
    }
  }
}

std::size_t KissStreamParser::Reset() {
  const std::size_t dropped = state_ == kInFrame ? frame_.size() + (escape_ ? 1 : 0) : 0;
  state_ = kHunting;
  escape_ = false;
  frame_.clear();
  return dropped;
}

void AppendKissEscaped(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> kiss_frame) {
  out.push_back(kFend);
  for (const std::uint8_t b : kiss_frame) {
    if (b == kFend) {
      out.push_back(kFesc);
      out.push_back(kTfend);
    } else if (b == kFesc) {
      out.push_back(kFesc);
      out.push_back(kTfesc);
    } else {
      out.push_back(b);
    }
  }
  out.push_back(kFend);
}

}  // namespace packscope
