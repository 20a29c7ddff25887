// The texts a Screen pass writes, made on demand from a frame index and the capture's bytes:
// the display's blocks (ScreenText) and the timestamp log (StampLogText).
//
// Every frame but a timestamp frame gives one block, as the frame output step appends it:
//
//   <stamp text> CR LF              black   the stamp in force; nothing before the first stamp
//   000 > C0 00 41 42 C0 CR LF      blue: the frame as stored (Check1 off),
//   CR LF                           red: un-escaped (Check1 on)
//   ..AB. CR LF                     green
//   ________ (80) CR LF             green
//
// A block depends only on its frame's bytes, the stamp it follows, Check1 and the regional date
// texts, as a pass that starts with an empty StampText writes it. Blocks end with LF, so each
// begins a line; every line has one colour (a text stamp may hold CR and LF bytes and so span
// several black lines). The text after the last block is an empty line.
//
// Sizes and line counts of blocks come from the index alone; running totals every 64 blocks map
// a line or an offset to its block quickly, for both Check1 views at once. A block's bytes are
// read (pread, through the file the index read) and rendered when asked for; the last few are
// kept. A frame that the capture no longer holds as indexed (the file shrank or was written over)
// gives a blank block of the same shape and marks the text Stale(): it never shows bytes that are
// not in the file, and its owner should index the capture anew.
//
// Not thread-safe: one thread uses an object (the regional texts are asked from it).
#ifndef PACKSCOPE_CAPTURE_SCREEN_TEXT_H_
#define PACKSCOPE_CAPTURE_SCREEN_TEXT_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/frame_index.h"
#include "capture/timestamp.h"
#include "capture/window.h"
#include "render/display_source.h"

namespace packscope {

// What a block or a piece of it takes on screen.
struct TextShape {
  std::int64_t size = 0;
  std::int64_t lines = 0;    // line feeds
  std::int64_t longest = 0;  // longest line without its line break
};

// One block's text.
struct TextBlock {
  std::string text;
  std::vector<std::int64_t> line_starts;  // offsets in text where its lines begin; first 0
  std::vector<ColorRun> runs;             // starts in text; the first at 0
};

// A display text of blocks made on demand, each ending with LF (or empty), in one of two views.
// It keeps running totals of the blocks' shapes in both views, and the last few blocks rendered.
class BlockText : public DisplaySource {
 public:
  std::int64_t Size() const override;
  std::int64_t LineCount() const override;
  std::int64_t LineStart(std::int64_t line) const override;
  std::int64_t LineOf(std::int64_t offset) const override;
  std::string_view LineText(std::int64_t line) const override;
  // The run of the block that holds the line's start (a block's runs never end inside a line).
  void LineColors(std::int64_t line, std::vector<ColorRun>& runs) const override;
  std::int64_t MaxLineLength() const override;
  bool AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                  std::string& out) const override;

  // Where a block begins; for an empty block where the next one would.
  struct Place {
    std::int64_t block = 0;
    std::int64_t offset = 0;
    std::int64_t line = 0;
  };
  Place BlockPlace(std::int64_t block) const;
  // The block that holds a line or an offset, and where it begins; past the last block (block
  // = the number of blocks shown) for the empty last line and offsets from Size() on.
  Place BlockOfLine(std::int64_t line) const { return Find(line, /*by_line=*/true); }
  Place BlockOfOffset(std::int64_t offset) const { return Find(offset, /*by_line=*/false); }
  // The shape of a block in the current view, without rendering it.
  TextShape BlockShape(std::int64_t block) const { return Shapes(block)[view_]; }
  // A block rendered in the current view; valid until the next call.
  const TextBlock& Block(std::int64_t block) const;

 protected:
  using ViewShapes = std::array<TextShape, 2>;

  virtual std::int64_t BlockCount() const = 0;
  // Blocks that never change again (the others are summed each time they are asked for).
  virtual std::int64_t SettledBlockCount() const = 0;
  virtual ViewShapes Shapes(std::int64_t block) const = 0;
  // The block in the current view, of the shape Shapes gives.
  virtual void Render(std::int64_t block, TextBlock& out) const = 0;

  void SetView(int view) { view_ = view; }
  int View() const { return view_; }
  // The totals from scratch, or over the blocks settled since the last call, at most budget of
  // them (all when budget < 0); true when every block is in them. Until then the text is that
  // of the blocks summed.
  void Restart();
  bool Walk(std::int64_t budget);
  void DropCached() const { cache_.clear(); }

 private:
  struct Sums {
    std::int64_t size = 0;
    std::int64_t lines = 0;
  };
  struct Cached {
    std::int64_t block = -1;
    int view = 0;
    std::uint64_t used = 0;
    TextBlock text;
  };
  // Blocks the text shows: all once the totals are caught up, else those summed.
  std::int64_t Shown() const;
  // The share of the shown blocks that are not summed (a frame cut off by the end, for now).
  Sums Unsettled() const;
  // The place of the block holding offset (by_line false) or line (true); past the last block
  // for the text's end.
  Place Find(std::int64_t target, bool by_line) const;
  static void IndexLines(TextBlock& block);

  int view_ = 0;
  std::vector<std::array<Sums, 2>> samples_{1};  // totals before block 64 * j
  std::int64_t walked_ = 0;
  bool caught_up_ = true;
  std::array<Sums, 2> settled_{};
  std::array<std::int64_t, 2> settled_longest_{};
  mutable std::vector<Cached> cache_;
  mutable std::uint64_t uses_ = 0;
};

class ScreenText : public BlockText {
 public:
  // window gives the regional date texts; it must outlive this object.
  explicit ScreenText(const Window& window) : times_(window) {}

  // Check1: the frame as stored (false) or un-escaped (true).
  void SetKissView(bool kiss_view) { SetView(kiss_view ? 1 : 0); }
  bool KissView() const { return View() == 1; }

  // Takes the frames of a snapshot: a later one of the same index costs time in proportion to
  // the frames it adds; one of another index starts over. At most budget frames are laid out
  // (all when budget < 0), so that a window stays responsive while a large capture is indexed:
  // until Update returns true the text shows the frames laid out so far. Blocks are numbered as
  // frames; a timestamp frame's block is empty.
  bool Update(const IndexSnapshot& snapshot, std::int64_t budget = -1);
  const IndexSnapshot& Snapshot() const { return snapshot_; }

  // The stamp text of stamp k, as StampText holds it behind the stamp's frame; false when the
  // capture no longer holds it.
  bool StampText(std::int64_t k, std::string& text) const;

  // The un-escaped bytes of a frame, from its type byte on; false when the capture no longer
  // holds them as indexed.
  bool ReadFrameBytes(std::int64_t frame, std::string& bytes) const;

  // A read found the capture changed since it was indexed.
  bool Stale() const { return stale_; }

 protected:
  std::int64_t BlockCount() const override { return snapshot_.FrameCount(); }
  std::int64_t SettledBlockCount() const override { return snapshot_.SettledFrameCount(); }
  ViewShapes Shapes(std::int64_t frame) const override;
  void Render(std::int64_t frame, TextBlock& out) const override;

 private:
  const TextShape& StampShape(std::int64_t k) const;
  // The stored and un-escaped bytes of a frame; false when the file no longer holds them.
  bool ReadFrame(const FrameRecord& record, std::string& stored, std::string& frame) const;

  StampTimeTexts times_;
  IndexSnapshot snapshot_;
  mutable std::int64_t stamp_shape_of_ = -1;  // the last stamp's shape
  mutable TextShape stamp_shape_;
  mutable std::string scratch_stored_;
  mutable std::string scratch_frame_;
  mutable std::string scratch_stamp_;
  mutable bool stale_ = false;
};

// The timestamp log Text4: one line per binary stamp, "00000151FD2F0895 -> 1 Jan 2016
// 12:34:56.789" CR LF, all black, then an empty line. Blocks are the log's lines.
class StampLogText : public BlockText {
 public:
  explicit StampLogText(const Window& window) : times_(window) {}
  // As ScreenText::Update; budget counts log lines.
  bool Update(const IndexSnapshot& snapshot, std::int64_t budget = -1);
  void LineColors(std::int64_t line, std::vector<ColorRun>& runs) const override;

 protected:
  std::int64_t BlockCount() const override { return snapshot_.StampLogCount(); }
  std::int64_t SettledBlockCount() const override { return snapshot_.SettledStampLogCount(); }
  ViewShapes Shapes(std::int64_t line) const override;
  void Render(std::int64_t line, TextBlock& out) const override;

 private:
  StampTimeTexts times_;
  IndexSnapshot snapshot_;
  mutable std::string scratch_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_SCREEN_TEXT_H_
