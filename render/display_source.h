// DisplaySource: what a view paints a display from, without the display's whole text in memory.
//
// The text is Windows-1252 bytes in lines; a line ends behind its LF, the text after the last LF
// is a line too (so an empty text has one line, and a text ending in LF ends with an empty line).
// Offsets count bytes from 0, CR LF as two. Every colour run starts and ends where the source
// says; a view asks for the lines it shows and the characters the user copies.
//
// DisplayModel (the text held whole) is one; the on-demand texts over a capture's frame index
// (capture/screen_text.h) are the others. They behave alike, line for line and offset for offset.
#ifndef PACKSCOPE_RENDER_DISPLAY_SOURCE_H_
#define PACKSCOPE_RENDER_DISPLAY_SOURCE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/color.h"

namespace packscope {

struct ColorRun {
  std::int64_t start;  // offset in the text
  Color color;
  friend bool operator==(const ColorRun&, const ColorRun&) = default;
};

class DisplaySource {
 public:
  virtual ~DisplaySource() = default;

  // Characters of the whole text.
  virtual std::int64_t Size() const = 0;
  // Lines (at least 1), the offset where a line starts, and the line an offset is in (offsets
  // from Size() on are in the last line).
  virtual std::int64_t LineCount() const = 0;
  virtual std::int64_t LineStart(std::int64_t line) const = 0;
  virtual std::int64_t LineOf(std::int64_t offset) const = 0;
  // A line's text without its LF and a CR in front of it; valid until the next call of any
  // member of the source.
  virtual std::string_view LineText(std::int64_t line) const = 0;
  // The colour runs that cover a line's text, in order, the first starting at or before the
  // line's start; for an empty line the run at its start (none in an empty text).
  virtual void LineColors(std::int64_t line, std::vector<ColorRun>& runs) const = 0;
  // Characters of the longest line, line breaks not counted.
  virtual std::int64_t MaxLineLength() const = 0;
  // Appends the text from begin to end (clamped to the text) to out, unless it is longer than
  // limit: then nothing is appended and the answer is false.
  virtual bool AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                          std::string& out) const = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_DISPLAY_SOURCE_H_
