#include "capture/screen_text.h"

#include <algorithm>
#include <cstring>

#include "capture/frame_output.h"
#include "capture/kiss_scanner.h"
#include "capture/timestamp.h"
#include "render/display_model.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr std::int64_t kSampleEvery = 64;
constexpr std::size_t kCachedBlocks = 8;
// Characters of a block besides its stamp piece, its dump and its characters: the CR LF behind
// the dump and behind the characters, the separator with its CR LF.
constexpr std::int64_t kBlockFrame = 2 + 2 + 82;
constexpr std::int64_t kSeparatorLength = 80;

// Un-escapes one frame's stored bytes again, through the scanner, and says whether they still
// make the frame the index holds.
class FrameBytes {
 public:
  explicit FrameBytes(std::string& out) : out_(out) { out_.clear(); }
  void OnSkipped(std::int64_t) { ++frames_; }  // bytes before a FEND: not the frame indexed
  void OnFrameStart(std::int64_t, bool) { ++frames_; }
  void OnData(const std::uint8_t* bytes, std::size_t n, std::int32_t) {
    out_.append(reinterpret_cast<const char*>(bytes), n);
  }
  void OnStored(const std::uint8_t*, std::size_t) {}
  void OnStrayEscape(std::int64_t) {}
  void OnTooLong() {}
  void OnFrameEnd(const KissFrameEnd& end) { end_ = end; }

  bool Matches(const FrameRecord& r) const {
    return frames_ == 1 && end_.closed == !r.CutOff() && end_.length == r.Length() &&
           end_.end == r.Offset() + r.StoredLength() &&
           (r.Length() == 0 || static_cast<std::uint8_t>(out_[0]) == r.type);
  }

 private:
  std::string& out_;
  int frames_ = 0;
  KissFrameEnd end_;
};

TextShape ShapeOfPiece(std::string_view piece) {
  const TextLines lines = MeasureLines(piece);
  return {static_cast<std::int64_t>(piece.size()), lines.line_feeds, lines.longest};
}

}  // namespace

const std::string& CachedDateTexts::ShortDateText(int year, int month, int day) const {
  const std::int64_t key = (static_cast<std::int64_t>(year) * 13 + month) * 32 + day;
  if (key == last_date_key_) return *last_date_;
  auto it = dates_.find(key);
  if (it == dates_.end()) it = dates_.emplace(key, window_.ShortDateText(year, month, day)).first;
  last_date_key_ = key;
  last_date_ = &it->second;  // elements of an unordered_map stay where they are
  return it->second;
}

const std::string& CachedDateTexts::LongTimeText(int hour, int minute, int second) const {
  constexpr std::size_t kSecondsOfDay = 86400;
  if (times_.empty()) {
    times_.resize(kSecondsOfDay);
    have_time_.resize(kSecondsOfDay);
  }
  const auto key = static_cast<std::size_t>((hour * 60 + minute) * 60 + second) % kSecondsOfDay;
  if (!have_time_[key]) {
    times_[key] = window_.LongTimeText(hour, minute, second);
    have_time_[key] = true;
  }
  return times_[key];
}

// --- ScreenText ---

ScreenText::ScreenText(const Window& window) : window_(window), dates_(window) { Reset(); }

void ScreenText::Reset() {
  samples_.assign(1, {});
  walked_ = 0;
  settled_ = {};
  settled_longest_ = {};
  stamp_shape_of_ = -1;
  cache_.clear();
  stale_ = false;
}

void ScreenText::Update(const IndexSnapshot& snapshot) {
  const bool same_index = snapshot.IndexId() == snapshot_.IndexId();
  snapshot_ = snapshot;
  if (!same_index) Reset();
  cache_.clear();  // a frame cut off before may have gone on
  const std::int64_t settled = snapshot_.SettledFrameCount();
  while (walked_ < settled) {
    const std::array<TextShape, 2> shapes = Shapes(walked_);
    for (int v = 0; v < 2; ++v) {
      settled_[v].size += shapes[v].size;
      settled_[v].lines += shapes[v].lines;
      settled_longest_[v] = std::max(settled_longest_[v], shapes[v].longest);
    }
    if (++walked_ % kSampleEvery == 0) samples_.push_back(settled_);
  }
}

const TextShape& ScreenText::StampShape(std::int64_t k) const {
  if (k == stamp_shape_of_) return stamp_shape_;
  const StampRecord& stamp = snapshot_.Stamp(k);
  if (stamp.Binary()) {
    scratch_stamp_.clear();
    AppendBinaryStampTime(scratch_stamp_, dates_, stamp.BinaryValue());
    scratch_stamp_.append(kUtcSuffix).append("\r\n");
    stamp_shape_ = ShapeOfPiece(scratch_stamp_);
  } else {
    stamp_shape_ = {static_cast<std::int64_t>(stamp.TextLength()) + 2, stamp.TextLineFeeds() + 1,
                    stamp.TextLongestLine()};
  }
  stamp_shape_of_ = k;
  return stamp_shape_;
}

std::array<TextShape, 2> ScreenText::Shapes(std::int64_t frame) const {
  const FrameRecord& r = snapshot_.Frame(frame);
  if (r.Timestamp()) return {};
  const TextShape stamp = r.StampNumber() < 0 ? TextShape{2, 1, 0} : StampShape(r.StampNumber());
  std::array<TextShape, 2> shapes;
  for (int v = 0; v < 2; ++v) {
    const std::int64_t bytes = v == 0 ? r.StoredLength() : r.Length();
    const HexDumpShape dump = HexDumpShapeOf(3 * bytes);
    shapes[v].size = stamp.size + dump.size + bytes + kBlockFrame;
    shapes[v].lines = stamp.lines + dump.lines + 3;
    shapes[v].longest = std::max({stamp.longest, dump.longest_line, bytes, kSeparatorLength});
  }
  return shapes;
}

TextShape ScreenText::BlockShape(std::int64_t frame) const { return Shapes(frame)[View()]; }

std::int64_t ScreenText::Size() const {
  std::int64_t size = settled_[View()].size;
  if (snapshot_.FrameCount() > walked_) size += BlockShape(walked_).size;
  return size;
}

std::int64_t ScreenText::LineCount() const {
  std::int64_t lines = settled_[View()].lines + 1;
  if (snapshot_.FrameCount() > walked_) lines += BlockShape(walked_).lines;
  return lines;
}

std::int64_t ScreenText::MaxLineLength() const {
  std::int64_t longest = settled_longest_[View()];
  if (snapshot_.FrameCount() > walked_) longest = std::max(longest, BlockShape(walked_).longest);
  return longest;
}

ScreenText::Place ScreenText::Find(std::int64_t target, bool by_line) const {
  const int v = View();
  auto value = [&](const Sums& s) { return by_line ? s.lines : s.size; };
  const auto sample = std::upper_bound(samples_.begin(), samples_.end(), target,
                                       [&](std::int64_t t, const std::array<Sums, 2>& s) {
                                         return t < value(s[static_cast<std::size_t>(v)]);
                                       }) -
                      1;
  std::int64_t frame = static_cast<std::int64_t>(sample - samples_.begin()) * kSampleEvery;
  Sums sums = (*sample)[static_cast<std::size_t>(v)];
  const std::int64_t count = snapshot_.FrameCount();
  for (; frame < count; ++frame) {
    const TextShape shape = BlockShape(frame);
    const Sums next{sums.size + shape.size, sums.lines + shape.lines};
    if (value(next) > target) break;
    sums = next;
  }
  return {frame, sums.size, sums.lines};
}

ScreenText::Place ScreenText::BlockPlace(std::int64_t frame) const {
  const int v = View();
  const std::int64_t j =
      std::min(frame / kSampleEvery, static_cast<std::int64_t>(samples_.size()) - 1);
  Sums sums = samples_[static_cast<std::size_t>(j)][static_cast<std::size_t>(v)];
  for (std::int64_t f = j * kSampleEvery; f < frame; ++f) {
    const TextShape shape = BlockShape(f);
    sums.size += shape.size;
    sums.lines += shape.lines;
  }
  return {frame, sums.size, sums.lines};
}

std::int64_t ScreenText::LineStart(std::int64_t line) const {
  line = std::clamp<std::int64_t>(line, 0, LineCount() - 1);
  const Place p = Find(line, /*by_line=*/true);
  if (p.frame == snapshot_.FrameCount()) return p.offset;
  const ScreenBlock& block = Block(p.frame);
  return p.offset + block.line_starts[static_cast<std::size_t>(line - p.line)];
}

std::int64_t ScreenText::LineOf(std::int64_t offset) const {
  if (offset >= Size()) return LineCount() - 1;
  const Place p = Find(std::max<std::int64_t>(offset, 0), /*by_line=*/false);
  const ScreenBlock& block = Block(p.frame);
  const auto it =
      std::upper_bound(block.line_starts.begin(), block.line_starts.end(), offset - p.offset);
  return p.line + static_cast<std::int64_t>(it - block.line_starts.begin()) - 1;
}

std::string_view ScreenText::LineText(std::int64_t line) const {
  if (line < 0 || line >= LineCount() - 1) return {};
  const Place p = Find(line, /*by_line=*/true);
  const ScreenBlock& block = Block(p.frame);
  const auto j = static_cast<std::size_t>(line - p.line);
  const auto begin = static_cast<std::size_t>(block.line_starts[j]);
  std::size_t end = j + 1 < block.line_starts.size()
                        ? static_cast<std::size_t>(block.line_starts[j + 1])
                        : block.text.size();
  --end;  // the LF
  if (end > begin && block.text[end - 1] == '\r') --end;
  return std::string_view(block.text).substr(begin, end - begin);
}

void ScreenText::LineColors(std::int64_t line, std::vector<ColorRun>& runs) const {
  runs.clear();
  const std::int64_t size = Size();
  if (size == 0) return;
  // The last line, empty, is in the last block's green run.
  const std::int64_t offset = line >= LineCount() - 1 ? size - 1 : LineStart(line);
  const Place p = Find(offset, /*by_line=*/false);
  const ScreenBlock& block = Block(p.frame);
  const std::int64_t at = offset - p.offset;
  if (at < block.stamp_end) {
    runs.push_back({p.offset, kBlack});
  } else if (at < block.dump_end) {
    runs.push_back({p.offset + block.stamp_end, block.dump_color});
  } else {
    runs.push_back({p.offset + block.dump_end, kGreen});
  }
}

bool ScreenText::AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                            std::string& out) const {
  const std::int64_t size = Size();
  begin = std::clamp<std::int64_t>(begin, 0, size);
  end = std::clamp<std::int64_t>(end, begin, size);
  if (end - begin > limit) return false;
  if (begin == end) return true;
  const Place p = Find(begin, /*by_line=*/false);
  std::int64_t block_start = p.offset;
  ScreenBlock block;
  const std::int64_t count = snapshot_.FrameCount();
  for (std::int64_t frame = p.frame; block_start < end && frame < count; ++frame) {
    if (snapshot_.Frame(frame).Timestamp()) continue;
    Render(frame, block);
    const auto block_size = static_cast<std::int64_t>(block.text.size());
    const std::int64_t from = std::max(begin, block_start) - block_start;
    const std::int64_t to = std::min(end, block_start + block_size) - block_start;
    out.append(block.text, static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    block_start += block_size;
  }
  return true;
}

const ScreenBlock& ScreenText::Block(std::int64_t frame) const {
  Cached* slot = nullptr;
  for (Cached& c : cache_) {
    if (c.frame == frame && c.kiss_view == kiss_view_) {
      c.used = ++uses_;
      return c.block;
    }
    if (slot == nullptr || c.used < slot->used) slot = &c;
  }
  if (cache_.size() < kCachedBlocks) {
    cache_.emplace_back();
    slot = &cache_.back();
  }
  slot->frame = frame;
  slot->kiss_view = kiss_view_;
  slot->used = ++uses_;
  Render(frame, slot->block);
  return slot->block;
}

bool ScreenText::ReadFrame(const FrameRecord& record, std::string& stored,
                           std::string& frame) const {
  const std::shared_ptr<const CaptureFile>& file = snapshot_.File();
  if (file == nullptr) return false;
  stored.resize(static_cast<std::size_t>(record.StoredLength()));
  auto* bytes = reinterpret_cast<std::uint8_t*>(stored.data());
  try {
    if (file->ReadAt(record.Offset(), bytes, stored.size()) != stored.size()) return false;
  } catch (const std::exception&) {
    return false;
  }
  FrameBytes handler(frame);
  KissScanner scanner;
  scanner.Scan(handler, bytes, stored.size(), record.Offset());
  scanner.Finish(handler, record.Offset() + record.StoredLength());
  return handler.Matches(record);
}

bool ScreenText::StampText(std::int64_t k, std::string& text) const {
  const StampRecord& stamp = snapshot_.Stamp(k);
  text.clear();
  if (stamp.Binary()) {
    AppendBinaryStampTime(text, dates_, stamp.BinaryValue());
    text.append(kUtcSuffix);
    return true;
  }
  std::string stored;
  std::string frame;
  if (!ReadFrame(snapshot_.Frame(stamp.Frame()), stored, frame)) return false;
  text.assign(frame, stamp.TextFrom(), stamp.TextLength());
  return true;
}

void ScreenText::Render(std::int64_t frame, ScreenBlock& block) const {
  const FrameRecord& r = snapshot_.Frame(frame);
  block.text.clear();
  block.line_starts.assign(1, 0);
  block.dump_color = ScreenDumpColor(kiss_view_);
  std::string stamp;
  const bool read = ReadFrame(r, scratch_stored_, scratch_frame_);
  bool stale_now = false;
  if (read && r.StampNumber() >= 0 && !StampText(r.StampNumber(), stamp)) stale_now = true;
  const TextShape shape = BlockShape(frame);
  if (!read || stale_now) {
    // The capture no longer holds what was indexed: blank lines of the block's shape.
    stale_ = true;
    block.text.assign(static_cast<std::size_t>(shape.lines - 1), '\n');
    block.text.append(static_cast<std::size_t>(shape.size - shape.lines - 1), ' ');
    block.text.append("\r\n");
    block.stamp_end = block.dump_end = static_cast<std::int64_t>(block.text.size());
  } else {
    scratch_hex_.clear();
    const std::string& bytes = kiss_view_ ? scratch_frame_ : scratch_stored_;
    AppendHexText(scratch_hex_, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const ScreenBlockParts parts = AppendScreenBlock(block.text, stamp, scratch_hex_);
    block.stamp_end = static_cast<std::int64_t>(parts.dump);
    block.dump_end = static_cast<std::int64_t>(parts.green);
  }
  for (std::size_t at = block.text.find('\n'); at != std::string::npos;
       at = block.text.find('\n', at + 1)) {
    if (at + 1 < block.text.size()) block.line_starts.push_back(static_cast<std::int64_t>(at + 1));
  }
}

// --- StampLogText ---

StampLogText::StampLogText(const Window& window) : dates_(window) { Reset(); }

void StampLogText::Reset() {
  samples_.assign(1, 0);
  walked_ = 0;
  size_ = 0;
  longest_ = 0;
  line_of_text_ = -1;
}

void StampLogText::Update(const IndexSnapshot& snapshot) {
  const bool same_index = snapshot.IndexId() == snapshot_.IndexId();
  snapshot_ = snapshot;
  if (!same_index) Reset();
  line_of_text_ = -1;
  const std::int64_t settled = snapshot_.SettledStampLogCount();
  for (; walked_ < settled;) {
    const std::int64_t n = LineSize(walked_);
    size_ += n;
    longest_ = std::max(longest_, n - 2);
    if (++walked_ % kSampleEvery == 0) samples_.push_back(size_);
  }
}

void StampLogText::AppendLine(std::int64_t k, std::string& out) const {
  const std::uint64_t value = snapshot_.Stamp(snapshot_.StampLogStamp(k)).BinaryValue();
  std::string time;
  AppendBinaryStampTime(time, dates_, value);
  AppendStampLogLine(out, value, time);
}

std::int64_t StampLogText::LineSize(std::int64_t k) const {
  if (k != line_of_text_) {
    line_text_.clear();
    AppendLine(k, line_text_);
    line_of_text_ = k;
  }
  return static_cast<std::int64_t>(line_text_.size());
}

std::int64_t StampLogText::Size() const {
  std::int64_t size = size_;
  for (std::int64_t k = walked_; k < snapshot_.StampLogCount(); ++k) size += LineSize(k);
  return size;
}

std::int64_t StampLogText::LineCount() const { return snapshot_.StampLogCount() + 1; }

std::int64_t StampLogText::LineStart(std::int64_t line) const {
  line = std::clamp<std::int64_t>(line, 0, LineCount() - 1);
  const std::int64_t j =
      std::min(line / kSampleEvery, static_cast<std::int64_t>(samples_.size()) - 1);
  std::int64_t offset = samples_[static_cast<std::size_t>(j)];
  for (std::int64_t k = j * kSampleEvery; k < line; ++k) offset += LineSize(k);
  return offset;
}

std::int64_t StampLogText::LineOf(std::int64_t offset) const {
  const std::int64_t count = snapshot_.StampLogCount();
  offset = std::max<std::int64_t>(offset, 0);
  auto sample = std::upper_bound(samples_.begin(), samples_.end(), offset) - 1;
  std::int64_t line = static_cast<std::int64_t>(sample - samples_.begin()) * kSampleEvery;
  for (std::int64_t at = *sample; line < count; ++line) {
    at += LineSize(line);
    if (at > offset) break;
  }
  return line;
}

std::string_view StampLogText::LineText(std::int64_t line) const {
  if (line < 0 || line >= snapshot_.StampLogCount()) return {};
  LineSize(line);
  return std::string_view(line_text_).substr(0, line_text_.size() - 2);
}

void StampLogText::LineColors(std::int64_t line, std::vector<ColorRun>& runs) const {
  (void)line;
  runs.clear();
  if (snapshot_.StampLogCount() > 0) runs.push_back({0, kBlack});
}

std::int64_t StampLogText::MaxLineLength() const {
  std::int64_t longest = longest_;
  for (std::int64_t k = walked_; k < snapshot_.StampLogCount(); ++k)
    longest = std::max(longest, LineSize(k) - 2);
  return longest;
}

bool StampLogText::AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                              std::string& out) const {
  const std::int64_t size = Size();
  begin = std::clamp<std::int64_t>(begin, 0, size);
  end = std::clamp<std::int64_t>(end, begin, size);
  if (end - begin > limit) return false;
  std::int64_t line = LineOf(begin);
  std::int64_t at = LineStart(line);
  std::string text;
  for (; at < end; ++line) {
    text.clear();
    AppendLine(line, text);
    const auto n = static_cast<std::int64_t>(text.size());
    const std::int64_t from = std::max(begin, at) - at;
    const std::int64_t to = std::min(end, at + n) - at;
    out.append(text, static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    at += n;
  }
  return true;
}

}  // namespace packscope
