#include "framelist/frame_reader.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "capture/kiss_scanner.h"
#include "capture/stamp_clock.h"

namespace packscope {
namespace {

// The scanner's handler for one frame's stored bytes: the un-escaped bytes, the escapes kept as
// data, and whether the bytes made exactly one frame.
class Unescape {
 public:
  explicit Unescape(std::vector<std::uint8_t>& out) : out_(out) { out_.clear(); }
  void OnSkipped(std::int64_t) { ++frames_; }  // bytes before a FEND: not the frame indexed
  void OnFrameStart(std::int64_t, bool) { ++frames_; }
  void OnData(const std::uint8_t* bytes, std::size_t n, std::int32_t) {
    out_.insert(out_.end(), bytes, bytes + n);
  }
  void OnStored(const std::uint8_t*, std::size_t) {}
  void OnStrayEscape(std::int64_t) { ++stray_; }
  void OnTooLong() {}
  void OnFrameEnd(const KissFrameEnd& end) { end_ = end; }

  bool Matches(const FrameRecord& r) const {
    return frames_ == 1 && end_.closed == !r.CutOff() && end_.length == r.Length() &&
           end_.end == r.Offset() + r.StoredLength() && (r.Length() == 0 || out_[0] == r.type);
  }
  int Stray() const { return stray_; }

 private:
  std::vector<std::uint8_t>& out_;
  int frames_ = 0;
  int stray_ = 0;
  KissFrameEnd end_;
};

constexpr std::size_t kMostTextStampsKept = 4096;

}  // namespace

std::vector<std::int32_t> StoredPlaces(const StoredFrame& frame) {
  std::vector<std::int32_t> places;
  places.reserve(frame.frame.size() + 1);
  const std::vector<std::uint8_t>& s = frame.stored;
  const std::size_t end = s.size() - (frame.info.cut_off || s.size() < 2 ? 0 : 1);
  std::size_t i = 1;
  while (i < end) {
    places.push_back(static_cast<std::int32_t>(i));
    const bool pair = s[i] == kFesc && i + 1 < end && (s[i + 1] == kTfend || s[i + 1] == kTfesc);
    i += pair ? 2 : 1;
  }
  places.push_back(static_cast<std::int32_t>(end));
  return places;
}

FrameReader::FrameReader(IndexSnapshot snapshot, std::size_t read_ahead)
    : snapshot_(std::move(snapshot)), read_ahead_(read_ahead) {}

bool FrameReader::Fill(std::int64_t offset, std::size_t size) {
  const std::shared_ptr<const CaptureFile>& file = snapshot_.File();
  buffer_size_ = 0;
  if (file == nullptr) return false;
  // No further than the capture's end as indexed: a small capture needs no large buffer.
  const std::int64_t left = snapshot_.CaptureSize() - (backwards_ ? 0 : offset);
  const std::size_t want = std::max(
      size, std::min(read_ahead_, static_cast<std::size_t>(std::max<std::int64_t>(left, 0))));
  if (buffer_.size() < want) buffer_.resize(want);
  // Backwards: the block ends with the frame, so that the frames before it are read with it.
  const std::int64_t from =
      backwards_ ? std::max<std::int64_t>(0, offset + static_cast<std::int64_t>(size) -
                                                 static_cast<std::int64_t>(want))
                 : offset;
  try {
    buffer_size_ = file->ReadAt(from, buffer_.data(), want);
  } catch (const std::exception&) {
    buffer_size_ = 0;
  }
  buffer_offset_ = from;
  return buffer_offset_ + static_cast<std::int64_t>(buffer_size_) >=
         offset + static_cast<std::int64_t>(size);
}

bool FrameReader::Read(std::int64_t frame, StoredFrame& out) {
  out.number = frame;
  out.stored.clear();
  out.frame.clear();
  const FrameRecord& r = snapshot_.Frame(frame);
  const std::int64_t offset = r.Offset();
  const auto size = static_cast<std::size_t>(r.StoredLength());
  const bool held =
      offset >= buffer_offset_ && offset + static_cast<std::int64_t>(size) <=
                                      buffer_offset_ + static_cast<std::int64_t>(buffer_size_);
  if (!held && !Fill(offset, size)) return false;
  const std::uint8_t* bytes = buffer_.data() + (offset - buffer_offset_);
  out.stored.assign(bytes, bytes + size);
  Unescape handler(out.frame);
  KissScanner scanner;
  scanner.Scan(handler, bytes, size, offset);
  scanner.Finish(handler, offset + static_cast<std::int64_t>(size));
  if (!handler.Matches(r)) {
    out.frame.clear();
    return false;
  }
  out.info = FrameInfo{r.Recovered(), r.CutOff(), r.Timestamp(), handler.Stray()};
  const std::size_t inner = size - 1 - (r.CutOff() ? 0 : 1);
  out.escapes = static_cast<int>(inner - out.frame.size());
  return true;
}

StampTimes::StampTimes(IndexSnapshot snapshot)
    : snapshot_(snapshot), reader_(std::move(snapshot)) {}

std::optional<std::int64_t> StampTimes::Millis(std::int64_t k) {
  if (k < 0 || k >= snapshot_.StampCount()) return std::nullopt;
  const StampRecord& stamp = snapshot_.Stamp(k);
  if (!stamp.Binary()) return ReadText(k).millis;
  const std::uint64_t value = stamp.BinaryValue();
  if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(value);
}

std::string StampTimes::Text(std::int64_t k) {
  if (k < 0 || k >= snapshot_.StampCount() || snapshot_.Stamp(k).Binary()) return {};
  return ReadText(k).text;
}

const StampTimes::TextStamp& StampTimes::ReadText(std::int64_t k) {
  const auto found = texts_.find(k);
  if (found != texts_.end()) return found->second;
  if (texts_.size() >= kMostTextStampsKept) texts_.clear();
  TextStamp t;
  const StampRecord& stamp = snapshot_.Stamp(k);
  if (reader_.Read(stamp.Frame(), scratch_) &&
      stamp.TextFrom() + stamp.TextLength() <= scratch_.frame.size()) {
    t.text.assign(reinterpret_cast<const char*>(scratch_.frame.data()) + stamp.TextFrom(),
                  stamp.TextLength());
    t.millis = ParseStampText(t.text);
  }
  return texts_.emplace(k, std::move(t)).first->second;
}

}  // namespace packscope
