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
// Characters of a Screen block besides its stamp piece, its dump and its characters: the CR LF
// behind the dump and behind the characters, the separator with its CR LF.
constexpr std::int64_t kBlockFrame = 2 + 2 + 82;
constexpr std::int64_t kSeparatorLength = 80;
// A log line besides its time text: 16 digits, " -> ", CR LF.
constexpr std::int64_t kLogLineFrame = 16 + 4 + 2;

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

// A piece of one line ending in CR LF.
TextShape LineShape(std::int64_t size) { return {size, 1, size - 2}; }

}  // namespace

// --- BlockText ---

void BlockText::Restart() {
  samples_.assign(1, {});
  walked_ = 0;
  caught_up_ = true;
  settled_ = {};
  settled_longest_ = {};
  cache_.clear();
}

bool BlockText::Walk(std::int64_t budget) {
  const std::int64_t settled = SettledBlockCount();
  const std::int64_t until = budget < 0 ? settled : std::min(settled, walked_ + budget);
  while (walked_ < until) {
    const ViewShapes shapes = Shapes(walked_);
    for (std::size_t v = 0; v < 2; ++v) {
      settled_[v].size += shapes[v].size;
      settled_[v].lines += shapes[v].lines;
      settled_longest_[v] = std::max(settled_longest_[v], shapes[v].longest);
    }
    if (++walked_ % kSampleEvery == 0) samples_.push_back(settled_);
  }
  caught_up_ = walked_ == settled;
  return caught_up_;
}

std::int64_t BlockText::Shown() const { return caught_up_ ? BlockCount() : walked_; }

BlockText::Sums BlockText::Unsettled() const {
  Sums sums;
  for (std::int64_t b = walked_; b < Shown(); ++b) {
    const TextShape shape = BlockShape(b);
    sums.size += shape.size;
    sums.lines += shape.lines;
  }
  return sums;
}

std::int64_t BlockText::Size() const { return settled_[view_].size + Unsettled().size; }

std::int64_t BlockText::LineCount() const { return settled_[view_].lines + Unsettled().lines + 1; }

std::int64_t BlockText::MaxLineLength() const {
  std::int64_t longest = settled_longest_[view_];
  for (std::int64_t b = walked_; b < Shown(); ++b)
    longest = std::max(longest, BlockShape(b).longest);
  return longest;
}

BlockText::Place BlockText::Find(std::int64_t target, bool by_line) const {
  const auto v = static_cast<std::size_t>(view_);
  auto value = [by_line](const Sums& s) { return by_line ? s.lines : s.size; };
  const auto sample = std::upper_bound(samples_.begin(), samples_.end(), target,
                                       [&](std::int64_t t, const std::array<Sums, 2>& s) {
                                         return t < value(s[v]);
                                       }) -
                      1;
  std::int64_t block = static_cast<std::int64_t>(sample - samples_.begin()) * kSampleEvery;
  Sums sums = (*sample)[v];
  for (const std::int64_t count = Shown(); block < count; ++block) {
    const TextShape shape = BlockShape(block);
    const Sums next{sums.size + shape.size, sums.lines + shape.lines};
    if (value(next) > target) break;
    sums = next;
  }
  return {block, sums.size, sums.lines};
}

BlockText::Place BlockText::BlockPlace(std::int64_t block) const {
  const std::int64_t j =
      std::min(block / kSampleEvery, static_cast<std::int64_t>(samples_.size()) - 1);
  Sums sums = samples_[static_cast<std::size_t>(j)][static_cast<std::size_t>(view_)];
  for (std::int64_t b = j * kSampleEvery; b < block; ++b) {
    const TextShape shape = BlockShape(b);
    sums.size += shape.size;
    sums.lines += shape.lines;
  }
  return {block, sums.size, sums.lines};
}

std::int64_t BlockText::LineStart(std::int64_t line) const {
  line = std::clamp<std::int64_t>(line, 0, LineCount() - 1);
  const Place p = Find(line, /*by_line=*/true);
  if (p.block == Shown()) return p.offset;
  return p.offset + Block(p.block).line_starts[static_cast<std::size_t>(line - p.line)];
}

std::int64_t BlockText::LineOf(std::int64_t offset) const {
  if (offset >= Size()) return LineCount() - 1;
  const Place p = Find(std::max<std::int64_t>(offset, 0), /*by_line=*/false);
  const std::vector<std::int64_t>& starts = Block(p.block).line_starts;
  const auto it = std::upper_bound(starts.begin(), starts.end(), offset - p.offset);
  return p.line + static_cast<std::int64_t>(it - starts.begin()) - 1;
}

std::string_view BlockText::LineText(std::int64_t line) const {
  if (line < 0 || line >= LineCount() - 1) return {};  // the last line is empty
  const Place p = Find(line, /*by_line=*/true);
  const TextBlock& block = Block(p.block);
  const auto j = static_cast<std::size_t>(line - p.line);
  const auto begin = static_cast<std::size_t>(block.line_starts[j]);
  std::size_t end = j + 1 < block.line_starts.size()
                        ? static_cast<std::size_t>(block.line_starts[j + 1])
                        : block.text.size();
  --end;  // the LF
  if (end > begin && block.text[end - 1] == '\r') --end;
  return std::string_view(block.text).substr(begin, end - begin);
}

void BlockText::LineColors(std::int64_t line, std::vector<ColorRun>& runs) const {
  runs.clear();
  const std::int64_t size = Size();
  if (size == 0) return;
  // The last line, empty, is in the last block's last run.
  const std::int64_t offset = line >= LineCount() - 1 ? size - 1 : LineStart(line);
  const Place p = Find(offset, /*by_line=*/false);
  const TextBlock& block = Block(p.block);
  auto run = std::upper_bound(block.runs.begin(), block.runs.end(), offset - p.offset,
                              [](std::int64_t at, const ColorRun& r) { return at < r.start; });
  --run;
  runs.push_back({p.offset + run->start, run->color});
}

bool BlockText::AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                           std::string& out) const {
  const std::int64_t size = Size();
  begin = std::clamp<std::int64_t>(begin, 0, size);
  end = std::clamp<std::int64_t>(end, begin, size);
  if (end - begin > limit) return false;
  if (begin == end) return true;
  const Place p = Find(begin, /*by_line=*/false);
  std::int64_t block_start = p.offset;
  TextBlock block;  // not kept: a long copy would only push the view's blocks out
  for (std::int64_t b = p.block, count = Shown(); block_start < end && b < count; ++b) {
    if (BlockShape(b).size == 0) continue;
    block.text.clear();
    Render(b, block);
    const auto block_size = static_cast<std::int64_t>(block.text.size());
    const std::int64_t from = std::max(begin, block_start) - block_start;
    const std::int64_t to = std::min(end, block_start + block_size) - block_start;
    out.append(block.text, static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    block_start += block_size;
  }
  return true;
}

const TextBlock& BlockText::Block(std::int64_t block) const {
  Cached* slot = nullptr;
  for (Cached& c : cache_) {
    if (c.block == block && c.view == view_) {
      c.used = ++uses_;
      return c.text;
    }
    if (slot == nullptr || c.used < slot->used) slot = &c;
  }
  if (cache_.size() < kCachedBlocks) {
    cache_.emplace_back();
    slot = &cache_.back();
  }
  slot->block = block;
  slot->view = view_;
  slot->used = ++uses_;
  slot->text.text.clear();
  slot->text.runs.clear();
  Render(block, slot->text);
  IndexLines(slot->text);
  return slot->text;
}

void BlockText::IndexLines(TextBlock& block) {
  block.line_starts.assign(1, 0);
  const std::string& text = block.text;
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
    if (at + 1 < text.size()) block.line_starts.push_back(static_cast<std::int64_t>(at + 1));
  }
}

// --- ScreenText ---

bool ScreenText::Update(const IndexSnapshot& snapshot, std::int64_t budget) {
  const bool same_index = snapshot.IndexId() == snapshot_.IndexId();
  snapshot_ = snapshot;
  if (!same_index) {
    Restart();
    stamp_shape_of_ = -1;
    stale_ = false;
  }
  DropCached();  // a frame cut off before may have gone on
  return Walk(budget);
}

const TextShape& ScreenText::StampShape(std::int64_t k) const {
  if (k == stamp_shape_of_) return stamp_shape_;
  const StampRecord& stamp = snapshot_.Stamp(k);
  std::int64_t size = 0;
  if (!stamp.Binary()) {
    stamp_shape_ = {static_cast<std::int64_t>(stamp.TextLength()) + 2, stamp.TextLineFeeds() + 1,
                    stamp.TextLongestLine()};
  } else if (times_.Size(stamp.BinaryValue(), size)) {
    stamp_shape_ = LineShape(size + static_cast<std::int64_t>(kUtcSuffix.size()) + 2);
  } else {
    scratch_stamp_.clear();
    times_.Append(scratch_stamp_, stamp.BinaryValue());
    scratch_stamp_.append(kUtcSuffix).append("\r\n");
    stamp_shape_ = ShapeOfPiece(scratch_stamp_);
  }
  stamp_shape_of_ = k;
  return stamp_shape_;
}

BlockText::ViewShapes ScreenText::Shapes(std::int64_t frame) const {
  const FrameRecord& r = snapshot_.Frame(frame);
  if (r.Timestamp()) return {};
  const TextShape stamp = r.StampNumber() < 0 ? LineShape(2) : StampShape(r.StampNumber());
  ViewShapes shapes;
  for (std::size_t v = 0; v < 2; ++v) {
    const std::int64_t bytes = v == 0 ? r.StoredLength() : r.Length();
    const HexDumpShape dump = HexDumpShapeOf(3 * bytes);
    shapes[v].size = stamp.size + dump.size + bytes + kBlockFrame;
    shapes[v].lines = stamp.lines + dump.lines + 3;
    shapes[v].longest = std::max({stamp.longest, dump.longest_line, bytes, kSeparatorLength});
  }
  return shapes;
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

bool ScreenText::ReadFrameBytes(std::int64_t frame, std::string& bytes) const {
  return ReadFrame(snapshot_.Frame(frame), scratch_stored_, bytes);
}

bool ScreenText::StampText(std::int64_t k, std::string& text) const {
  const StampRecord& stamp = snapshot_.Stamp(k);
  text.clear();
  if (stamp.Binary()) {
    times_.Append(text, stamp.BinaryValue());
    text.append(kUtcSuffix);
    return true;
  }
  std::string stored;
  std::string frame;
  if (!ReadFrame(snapshot_.Frame(stamp.Frame()), stored, frame)) return false;
  text.assign(frame, stamp.TextFrom(), stamp.TextLength());
  return true;
}

void ScreenText::Render(std::int64_t frame, TextBlock& out) const {
  const FrameRecord& r = snapshot_.Frame(frame);
  if (r.Timestamp()) return;
  bool held = ReadFrame(r, scratch_stored_, scratch_frame_);
  scratch_stamp_.clear();
  if (held && r.StampNumber() >= 0) held = StampText(r.StampNumber(), scratch_stamp_);
  if (!held) {
    // The capture no longer holds what was indexed: blank lines of the block's shape.
    stale_ = true;
    const TextShape shape = BlockShape(frame);
    out.text.assign(static_cast<std::size_t>(shape.lines - 1), '\n');
    out.text.append(static_cast<std::size_t>(shape.size - shape.lines - 1), ' ');
    out.text.append("\r\n");
    out.runs.push_back({0, kBlack});
    return;
  }
  const std::string& bytes = KissView() ? scratch_frame_ : scratch_stored_;
  const ScreenBlockParts parts = AppendScreenBlock(
      out.text, scratch_stamp_,
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  out.runs.push_back({0, kBlack});
  out.runs.push_back({static_cast<std::int64_t>(parts.dump), ScreenDumpColor(KissView())});
  out.runs.push_back({static_cast<std::int64_t>(parts.green), kGreen});
}

// --- StampLogText ---

bool StampLogText::Update(const IndexSnapshot& snapshot, std::int64_t budget) {
  const bool same_index = snapshot.IndexId() == snapshot_.IndexId();
  snapshot_ = snapshot;
  if (!same_index) Restart();
  DropCached();
  return Walk(budget);
}

BlockText::ViewShapes StampLogText::Shapes(std::int64_t line) const {
  const std::uint64_t value = snapshot_.Stamp(snapshot_.StampLogStamp(line)).BinaryValue();
  std::int64_t size = 0;
  if (times_.Size(value, size)) {
    const TextShape shape = LineShape(size + kLogLineFrame);
    return {shape, shape};
  }
  // A regional text with a line feed: the log line measured as it is.
  TextBlock block;
  Render(line, block);
  const TextShape shape = ShapeOfPiece(block.text);
  return {shape, shape};
}

void StampLogText::Render(std::int64_t line, TextBlock& out) const {
  const std::uint64_t value = snapshot_.Stamp(snapshot_.StampLogStamp(line)).BinaryValue();
  scratch_.clear();
  times_.Append(scratch_, value);
  AppendStampLogLine(out.text, value, scratch_);
  out.runs.push_back({0, kBlack});
}

void StampLogText::LineColors(std::int64_t line, std::vector<ColorRun>& runs) const {
  (void)line;
  runs.clear();
  if (Size() > 0) runs.push_back({0, kBlack});  // one run: the whole log is black
}

}  // namespace packscope
