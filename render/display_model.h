// DisplayModel: the display's content held compactly: the text as Windows-1252 bytes, its
// colours as runs, a selection, and an index of line starts for painting.
//
//   text   "ab\r\ncd"          bytes, CR LF counts as two characters
//   runs   {0, black} {2, red}  each run colours from its start up to the next run's start
//   lines  {0, 4}               a line ends behind its LF; the text after the last LF is a line
//
// It behaves as the rich-text box that the frame output step writes to: the selection
// operations of AppendColored, the whole text, and recolouring of the selection. Appending at
// the end (what a pass does) costs amortised constant time per call.
#ifndef PACKSCOPE_RENDER_DISPLAY_MODEL_H_
#define PACKSCOPE_RENDER_DISPLAY_MODEL_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/color.h"
#include "render/display_source.h"

namespace packscope {

// The lines of a piece of text as the model counts them: its line feeds, and the length of its
// longest line (without the LF and a CR in front of it; the text after the last LF is a line).
struct TextLines {
  std::int64_t line_feeds = 0;
  std::int64_t longest = 0;
  friend bool operator==(const TextLines&, const TextLines&) = default;
};
TextLines MeasureLines(std::string_view text);

class DisplayModel : public DisplaySource {
 public:
  using Run = ColorRun;

  const std::string& Text() const { return text_; }
  std::int64_t Size() const override { return static_cast<std::int64_t>(text_.size()); }

  // Replaces the whole text, in black; the selection becomes empty at 0.
  void SetText(std::string_view text);
  // Releases the memory of a large text as well (SetText("") keeps the capacity).
  void Clear();
  // Room for a text of this many bytes, so that a long pass appends without moving the text.
  void Reserve(std::int64_t bytes);

  std::int64_t SelStart() const { return sel_start_; }
  std::int64_t SelLength() const { return sel_length_; }
  // Empty selection at start (clamped to 0..Size()).
  void SetSelStart(std::int64_t start);
  // Selection from SelStart() of length (clamped to what the text holds).
  void SetSelLength(std::int64_t length);
  // Replaces the selection with text, which takes the colour of the character in front of it
  // (black at 0); the insertion point ends behind it with nothing selected.
  void SetSelText(std::string_view text);
  // Colours the selected characters.
  void SetSelColor(Color color);
  std::string_view SelectedText() const;

  // Colour runs, ordered by start; empty for an empty text, else the first starts at 0.
  const std::vector<Run>& Runs() const { return runs_; }
  Color ColorAt(std::int64_t offset) const;
  // Index into Runs() of the run that colours offset (offset < Size()).
  std::size_t RunIndexAt(std::int64_t offset) const;

  // Lines: number of lines (at least 1), start offset of a line, the line of an offset, and a
  // line's text without its line break.
  std::int64_t LineCount() const override;
  std::int64_t LineStart(std::int64_t line) const override;
  std::int64_t LineOf(std::int64_t offset) const override;
  std::string_view LineText(std::int64_t line) const override;
  void LineColors(std::int64_t line, std::vector<ColorRun>& runs) const override;
  // Characters of the longest line, line breaks not counted (what a view needs for its width).
  std::int64_t MaxLineLength() const override;
  bool AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                  std::string& out) const override;

 private:
  void Recolor(std::int64_t begin, std::int64_t end, Color color);
  void ExtendLineIndex() const;
  void TruncateLineIndex(std::int64_t offset);
  // Length of line i without its line break; the line must end in LF.
  std::int64_t ClosedLineLength(std::size_t i) const;

  std::string text_;
  std::vector<Run> runs_;
  std::int64_t sel_start_ = 0;
  std::int64_t sel_length_ = 0;
  // Line starts of text_[0, indexed_) are known; the rest is indexed when asked for.
  mutable std::vector<std::int64_t> line_starts_{0};
  mutable std::int64_t indexed_ = 0;
  // Longest of the indexed lines that end in LF.
  mutable std::int64_t max_closed_length_ = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_DISPLAY_MODEL_H_
