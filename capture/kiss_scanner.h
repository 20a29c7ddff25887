// KissScanner: the KISS framing of a capture, the one place that cuts a byte stream into frames.
//
//   C0 | type | data ... | C0        C0 = FEND, the frame delimiter
//   DB DC  stands for a data byte C0  (FESC TFEND)
//   DB DD  stands for a data byte DB  (FESC TFESC)
//   DB xx  any other pair: the DB is kept and xx is read on as usual
//
// The reader is between frames or inside one. Between frames a FEND opens a frame. Bytes before
// the first FEND of the capture are skipped, through that FEND. Once a FEND has been read, any
// other byte between frames begins a frame as well: the FEND in front of it (the one that closed
// the previous frame) opened it, and the frame is "recovered". So every properly delimited frame
// is read, also behind a shared FEND, an empty frame or garbage. A frame ends at its closing FEND
// or at the end of the capture ("cut off"). A FESC before any byte other than TFEND or TFESC,
// and a FESC standing last in a frame, is kept as a data byte (a "stray escape"). A frame longer
// than kMaxFrameLength bytes after un-escaping ends the scan.
//
// A frame's stored bytes run from the FEND that opened it (for a recovered frame the shared one)
// through its closing FEND, or to the end of the capture: scanning exactly those bytes again
// gives the same frame.
//
// The scanner holds only its place in the framing (a few words): it is fed a capture block by
// block, can stop at any byte and go on when more bytes arrive, and a copy of it can be finished
// to see what the capture would hold if it ended there. What it finds goes to a handler, an
// object with these members, called in the order of the capture (pointers are valid during the
// call only):
//
//   void OnSkipped(std::int64_t count)         the bytes before the first FEND (count > 0 when
//                                              the scan reaches that FEND, else at the end)
//   void OnFrameStart(std::int64_t offset, bool recovered)
//   void OnData(const std::uint8_t* bytes, std::size_t n, std::int32_t at)
//                                              un-escaped bytes of the frame, n > 0, the first
//                                              of them at position at (0: the type byte)
//   void OnStored(const std::uint8_t* bytes, std::size_t n)
//                                              the same bytes as stored (never a FEND), after
//                                              their OnData calls
//   void OnStrayEscape(std::int64_t offset)    a FESC kept as data, at offset in the capture
//   void OnFrameEnd(const KissFrameEnd& end)
//   void OnTooLong()                           the frame grew past kMaxFrameLength; may throw,
//                                              and if it returns the scan is over for good
#ifndef PACKSCOPE_CAPTURE_KISS_SCANNER_H_
#define PACKSCOPE_CAPTURE_KISS_SCANNER_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "capture/decoder_state.h"

namespace packscope {

inline constexpr std::uint8_t kFend = 0xC0;
inline constexpr std::uint8_t kFesc = 0xDB;
inline constexpr std::uint8_t kTfend = 0xDC;
inline constexpr std::uint8_t kTfesc = 0xDD;
inline constexpr std::uint8_t kTimestampType = 0x09;

struct KissFrameEnd {
  bool closed = false;      // by a FEND; false: cut off by the end of the capture
  std::int64_t end = 0;     // offset behind the frame's last stored byte (its closing FEND)
  std::int32_t length = 0;  // bytes after un-escaping, type byte included
  bool escaped = false;     // a FESC was read: the un-escaped bytes differ from the stored ones
};

// The message of a frame longer than kMaxFrameLength; frame counts from 1.
std::string FrameTooLongMessage(std::int64_t frame, std::int64_t offset, const std::string& path);

// The framing the other way: the frame (un-escaped, type byte first) as stored, FEND, its bytes
// with C0 and DB escaped, FEND; appended to out. The scanner reads it back as itself.
void AppendKissEscaped(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> kiss_frame);

class KissScanner {
 public:
  // Scans n bytes that begin at offset base of the capture (blocks in order, without gaps).
  // False when a frame turned out too long (the handler's OnTooLong returned): the scan is over.
  template <class Handler>
  bool Scan(Handler& h, const std::uint8_t* buf, std::size_t n, std::int64_t base);

  // The end of the capture at offset end: skipped bytes are reported and a frame in progress is
  // cut off. False as Scan.
  template <class Handler>
  bool Finish(Handler& h, std::int64_t end);

  bool InFrame() const { return where_ == kInFrame; }
  bool Stopped() const { return where_ == kStopped; }

 private:
  enum Where : std::uint8_t { kStart, kSkipping, kBetween, kInFrame, kStopped };

  template <class Handler>
  void OpenFrame(Handler& h, std::int64_t offset, bool recovered);
  template <class Handler>
  bool Collect(Handler& h, const std::uint8_t* bytes, std::size_t n, std::int64_t offset);
  template <class Handler>
  bool Put(Handler& h, const std::uint8_t& b);
  template <class Handler>
  bool PutRun(Handler& h, const std::uint8_t* bytes, std::size_t n);
  template <class Handler>
  bool EndFrame(Handler& h, bool closed, std::int64_t end);
  template <class Handler>
  bool TooLong(Handler& h);

  static constexpr std::uint8_t kFendByte = kFend;
  static constexpr std::uint8_t kFescByte = kFesc;

  Where where_ = kStart;
  bool pending_escape_ = false;  // the last byte read was a FESC
  bool escaped_ = false;         // a FESC was read in this frame
  std::int32_t length_ = 0;      // un-escaped bytes of the frame so far
  std::int64_t last_fend_ = 0;
  std::int64_t escape_offset_ = 0;
};

template <class Handler>
bool KissScanner::Scan(Handler& h, const std::uint8_t* buf, std::size_t n, std::int64_t base) {
  std::size_t pos = 0;
  while (pos < n) {
    switch (where_) {
      case kStart:
        if (buf[pos] == kFend) {
          OpenFrame(h, base + static_cast<std::int64_t>(pos), /*recovered=*/false);
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
        h.OnSkipped(last_fend_);
        ++pos;  // the FEND that ends the skip opens nothing
        where_ = kBetween;
        break;
      }
      case kBetween:
        if (buf[pos] == kFend) {
          OpenFrame(h, base + static_cast<std::int64_t>(pos), /*recovered=*/false);
          ++pos;
        } else {
          OpenFrame(h, last_fend_, /*recovered=*/true);  // the byte is the frame's first
        }
        break;
      case kInFrame: {
        const void* hit = std::memchr(buf + pos, kFend, n - pos);
        const std::size_t end =
            hit == nullptr ? n
                           : static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - buf);
        if (!Collect(h, buf + pos, end - pos, base + static_cast<std::int64_t>(pos))) return false;
        if (end == n) {
          pos = n;
        } else {
          last_fend_ = base + static_cast<std::int64_t>(end);
          pos = end + 1;
          if (!EndFrame(h, /*closed=*/true, last_fend_ + 1)) return false;
        }
        break;
      }
      case kStopped:
        return false;
    }
  }
  return true;
}

template <class Handler>
bool KissScanner::Finish(Handler& h, std::int64_t end) {
  if (where_ == kSkipping) h.OnSkipped(end);
  if (where_ == kInFrame) return EndFrame(h, /*closed=*/false, end);
  return where_ != kStopped;
}

template <class Handler>
void KissScanner::OpenFrame(Handler& h, std::int64_t offset, bool recovered) {
  where_ = kInFrame;
  length_ = 0;
  pending_escape_ = false;
  escaped_ = false;
  h.OnFrameStart(offset, recovered);
}

// Stored bytes of the frame (no FEND among them), un-escaped as they go; the runs between
// escapes are handed on whole.
template <class Handler>
bool KissScanner::Collect(Handler& h, const std::uint8_t* bytes, std::size_t n,
                          std::int64_t offset) {
  if (n == 0) return true;
  std::size_t i = 0;
  while (i < n) {
    if (pending_escape_) {
      pending_escape_ = false;
      const std::uint8_t b = bytes[i];
      if (b == kTfend || b == kTfesc) {
        if (!Put(h, b == kTfend ? kFendByte : kFescByte)) return false;
        ++i;
        continue;
      }
      if (!Put(h, kFescByte)) return false;
      h.OnStrayEscape(escape_offset_);
    }
    const void* hit = std::memchr(bytes + i, kFesc, n - i);
    const std::size_t end =
        hit == nullptr ? n
                       : static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes);
    if (!PutRun(h, bytes + i, end - i)) return false;
    if (end == n) break;
    escaped_ = true;
    pending_escape_ = true;
    escape_offset_ = offset + static_cast<std::int64_t>(end);
    i = end + 1;
  }
  h.OnStored(bytes, n);
  return true;
}

template <class Handler>
bool KissScanner::Put(Handler& h, const std::uint8_t& b) {
  if (length_ == kMaxFrameLength) return TooLong(h);
  h.OnData(&b, 1, length_);
  ++length_;
  return true;
}

template <class Handler>
bool KissScanner::PutRun(Handler& h, const std::uint8_t* bytes, std::size_t n) {
  const auto room = static_cast<std::size_t>(kMaxFrameLength - length_);
  const std::size_t fit = std::min(n, room);
  if (fit > 0) {
    h.OnData(bytes, fit, length_);
    length_ += static_cast<std::int32_t>(fit);
  }
  if (fit < n) return TooLong(h);
  return true;
}

template <class Handler>
bool KissScanner::EndFrame(Handler& h, bool closed, std::int64_t end) {
  where_ = kBetween;
  if (pending_escape_) {  // a FESC standing last is kept
    pending_escape_ = false;
    if (!Put(h, kFescByte)) return false;
    h.OnStrayEscape(escape_offset_);
  }
  h.OnFrameEnd(KissFrameEnd{closed, end, length_, escaped_});
  return true;
}

template <class Handler>
bool KissScanner::TooLong(Handler& h) {
  where_ = kStopped;
  h.OnTooLong();
  return false;
}

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_KISS_SCANNER_H_
