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
// texts, as a pass that starts with an empty StampText writes it. Blocks end with CR LF, so each
// begins a line; every line has one colour (a text stamp may hold CR and LF bytes and so span
// several black lines). The text after the last block is an empty line.
//
// Sizes and line counts of blocks come from the index alone; running totals every 64 frames map
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
#include <unordered_map>
#include <vector>

#include "capture/frame_index.h"
#include "capture/window.h"
#include "render/display_source.h"

namespace packscope {

// The window's regional date and time texts, asked once per day and per second of the day.
class CachedDateTexts {
 public:
  explicit CachedDateTexts(const Window& window) : window_(window) {}
  const std::string& ShortDateText(int year, int month, int day) const;
  const std::string& LongTimeText(int hour, int minute, int second) const;

 private:
  const Window& window_;
  mutable std::unordered_map<std::int64_t, std::string> dates_;
  mutable std::int64_t last_date_key_ = -1;
  mutable const std::string* last_date_ = nullptr;
  mutable std::vector<std::string> times_;  // by second of the day, once asked
  mutable std::vector<bool> have_time_;
};

// One frame's block.
struct ScreenBlock {
  std::string text;
  std::vector<std::int64_t> line_starts;  // offsets in text where its lines begin; first 0
  std::int64_t stamp_end = 0;             // black before, the dump's colour from here
  std::int64_t dump_end = 0;              // green from here
  Color dump_color = kBlue;
};

// What a block or a piece of it takes on screen.
struct TextShape {
  std::int64_t size = 0;
  std::int64_t lines = 0;    // line feeds
  std::int64_t longest = 0;  // longest line without its line break
};

class ScreenText : public DisplaySource {
 public:
  // window gives the regional date texts; it must outlive this object.
  explicit ScreenText(const Window& window);

  // Check1: the frame as stored (false) or un-escaped (true).
  void SetKissView(bool kiss_view) { kiss_view_ = kiss_view; }
  bool KissView() const { return kiss_view_; }

  // Takes the frames of a snapshot: a later one of the same index costs time in proportion to
  // the frames it adds; one of another index starts over.
  void Update(const IndexSnapshot& snapshot);
  const IndexSnapshot& Snapshot() const { return snapshot_; }

  // DisplaySource: the display's text.
  std::int64_t Size() const override;
  std::int64_t LineCount() const override;
  std::int64_t LineStart(std::int64_t line) const override;
  std::int64_t LineOf(std::int64_t offset) const override;
  std::string_view LineText(std::int64_t line) const override;
  void LineColors(std::int64_t line, std::vector<ColorRun>& runs) const override;
  std::int64_t MaxLineLength() const override;
  bool AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                  std::string& out) const override;

  // Blocks. Where frame's block begins (offset and line); for a timestamp frame where the next
  // block would.
  struct Place {
    std::int64_t frame = 0;
    std::int64_t offset = 0;
    std::int64_t line = 0;
  };
  Place BlockPlace(std::int64_t frame) const;
  // The shape of frame's block (all zero for a timestamp frame), without reading the capture.
  TextShape BlockShape(std::int64_t frame) const;
  // The block of a frame that is not a timestamp frame; valid until the next call.
  const ScreenBlock& Block(std::int64_t frame) const;
  // The stamp text of stamp k, as StampText holds it after the stamp's frame; false when the
  // capture no longer holds it.
  bool StampText(std::int64_t k, std::string& text) const;

  // A read found the capture changed since it was indexed.
  bool Stale() const { return stale_; }

 private:
  struct Sums {
    std::int64_t size = 0;
    std::int64_t lines = 0;
  };
  struct Cached {
    std::int64_t frame = -1;
    bool kiss_view = false;
    std::uint64_t used = 0;
    ScreenBlock block;
  };
  int View() const { return kiss_view_ ? 1 : 0; }
  void Reset();
  std::array<TextShape, 2> Shapes(std::int64_t frame) const;
  const TextShape& StampShape(std::int64_t k) const;
  // The block holding offset (by_line false) or line (true): its place.
  Place Find(std::int64_t target, bool by_line) const;
  void Render(std::int64_t frame, ScreenBlock& block) const;
  // The un-escaped and the stored bytes of a frame; false when the file no longer holds them.
  bool ReadFrame(const FrameRecord& record, std::string& stored, std::string& frame) const;

  const Window& window_;
  CachedDateTexts dates_;
  bool kiss_view_ = false;
  IndexSnapshot snapshot_;
  // Running totals before frame 64 * j, for both views; totals of the settled frames.
  std::vector<std::array<Sums, 2>> samples_;
  std::int64_t walked_ = 0;
  std::array<Sums, 2> settled_{};
  std::array<std::int64_t, 2> settled_longest_{};
  // The last stamp's shape.
  mutable std::int64_t stamp_shape_of_ = -1;
  mutable TextShape stamp_shape_;
  mutable std::vector<Cached> cache_;
  mutable std::uint64_t uses_ = 0;
  mutable std::string scratch_stored_;
  mutable std::string scratch_frame_;
  mutable std::string scratch_hex_;
  mutable std::string scratch_stamp_;
  mutable bool stale_ = false;
};

// The timestamp log Text4: one line per binary stamp, "00000151FD2F0895 -> 1 Jan 2016
// 12:34:56.789" CR LF, black, then an empty line.
class StampLogText : public DisplaySource {
 public:
  explicit StampLogText(const Window& window);
  void Update(const IndexSnapshot& snapshot);

  std::int64_t Size() const override;
  std::int64_t LineCount() const override;
  std::int64_t LineStart(std::int64_t line) const override;
  std::int64_t LineOf(std::int64_t offset) const override;
  std::string_view LineText(std::int64_t line) const override;
  void LineColors(std::int64_t line, std::vector<ColorRun>& runs) const override;
  std::int64_t MaxLineLength() const override;
  bool AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                  std::string& out) const override;

  // Line k with its CR LF.
  void AppendLine(std::int64_t k, std::string& out) const;

 private:
  void Reset();
  std::int64_t LineSize(std::int64_t k) const;

  CachedDateTexts dates_;
  IndexSnapshot snapshot_;
  std::vector<std::int64_t> samples_;  // offset of line 64 * j
  std::int64_t walked_ = 0;            // lines summed
  std::int64_t size_ = 0;              // their characters
  std::int64_t longest_ = 0;
  mutable std::int64_t line_of_text_ = -1;
  mutable std::string line_text_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_SCREEN_TEXT_H_
