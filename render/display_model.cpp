#include "render/display_model.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace packscope {
namespace {

using Run = DisplayModel::Run;

bool StartsBefore(const Run& r, std::int64_t pos) { return r.start < pos; }

// Index of the first run starting at or after pos.
std::size_t LowerRun(const std::vector<Run>& runs, std::int64_t pos) {
  return static_cast<std::size_t>(std::lower_bound(runs.begin(), runs.end(), pos, StartsBefore) -
                                  runs.begin());
}

// Drops run i when it has the colour of the run before it.
void MergeWithPrevious(std::vector<Run>& runs, std::size_t i) {
  if (i > 0 && i < runs.size() && runs[i].color == runs[i - 1].color) {
    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace

TextLines MeasureLines(std::string_view text) {
  TextLines lines;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t lf = text.find('\n', begin);
    std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    if (lf != std::string_view::npos && end > begin && text[end - 1] == '\r') --end;
    lines.longest = std::max(lines.longest, static_cast<std::int64_t>(end - begin));
    if (lf == std::string_view::npos) return lines;
    ++lines.line_feeds;
    begin = lf + 1;
  }
}

void DisplayModel::SetText(std::string_view text) {
  text_.assign(text);
  runs_.clear();
  if (!text_.empty()) runs_.push_back({0, kBlack});
  sel_start_ = 0;
  sel_length_ = 0;
  line_starts_.assign(1, 0);
  indexed_ = 0;
  max_closed_length_ = 0;
}

void DisplayModel::Clear() {
  std::string().swap(text_);
  std::vector<Run>().swap(runs_);
  std::vector<std::int64_t>(1, 0).swap(line_starts_);
  sel_start_ = 0;
  sel_length_ = 0;
  indexed_ = 0;
  max_closed_length_ = 0;
}

void DisplayModel::Reserve(std::int64_t bytes) {
  if (bytes <= static_cast<std::int64_t>(text_.capacity())) return;
  text_.reserve(static_cast<std::size_t>(bytes));
  // A screen block of some 900 characters has three colour runs.
  runs_.reserve(static_cast<std::size_t>(bytes / 256));
#if defined(MADV_HUGEPAGE)
  // A pass touches the new memory page by page; with huge pages that costs a fraction of the
  // page faults. Only a hint: the system may ignore it.
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto data = reinterpret_cast<std::uintptr_t>(text_.data());
  const std::uintptr_t begin = (data + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (data + text_.capacity()) & ~(kHugePage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

void DisplayModel::SetSelStart(std::int64_t start) {
  sel_start_ = std::clamp<std::int64_t>(start, 0, Size());
  sel_length_ = 0;
}

void DisplayModel::SetSelLength(std::int64_t length) {
  sel_length_ = std::clamp<std::int64_t>(length, 0, Size() - sel_start_);
}

std::string_view DisplayModel::SelectedText() const {
  return std::string_view(text_).substr(static_cast<std::size_t>(sel_start_),
                                        static_cast<std::size_t>(sel_length_));
}

Color DisplayModel::ColorAt(std::int64_t offset) const {
  if (runs_.empty()) return kBlack;
  return runs_[RunIndexAt(offset)].color;
}

std::size_t DisplayModel::RunIndexAt(std::int64_t offset) const {
  // The last run starting at or before offset.
  auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                             [](std::int64_t pos, const Run& r) { return pos < r.start; });
  return it == runs_.begin() ? 0 : static_cast<std::size_t>(it - runs_.begin()) - 1;
}

void DisplayModel::SetSelText(std::string_view text) {
  const std::int64_t start = sel_start_;
  const auto n = static_cast<std::int64_t>(text.size());
  // At the end of the text (every append of a pass) the last run colours the character before.
  const Color inherited = start == 0        ? kBlack
                          : start == Size() ? runs_.back().color
                                            : ColorAt(start - 1);

  // Remove the selected characters.
  if (sel_length_ > 0) {
    const std::int64_t end = start + sel_length_;
    const Color after = end < Size() ? ColorAt(end) : kBlack;
    const std::size_t first = LowerRun(runs_, start);
    const std::size_t past = LowerRun(runs_, end + 1);
    runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(first),
                runs_.begin() + static_cast<std::ptrdiff_t>(past));
    for (std::size_t i = first; i < runs_.size(); ++i) runs_[i].start -= sel_length_;
    if (end < Size())
      runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(first), {start, after});
    text_.erase(static_cast<std::size_t>(start), static_cast<std::size_t>(sel_length_));
    if (text_.empty()) runs_.clear();
    MergeWithPrevious(runs_, first);
    TruncateLineIndex(start);
    sel_length_ = 0;
  }
  if (n == 0) return;

  if (start == Size()) {
    // Appending: the common case of a pass.
    text_.append(text);
    if (runs_.empty() || runs_.back().color != inherited) runs_.push_back({start, inherited});
  } else {
    const Color after = ColorAt(start);
    const std::size_t i = LowerRun(runs_, start);
    const bool run_starts_here = i < runs_.size() && runs_[i].start == start;
    for (std::size_t k = i; k < runs_.size(); ++k) runs_[k].start += n;
    if (!run_starts_here)
      runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(i), {start + n, after});
    runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(i), {start, inherited});
    MergeWithPrevious(runs_, i + 1);
    MergeWithPrevious(runs_, i);
    text_.insert(static_cast<std::size_t>(start), text);
    TruncateLineIndex(start);
  }
  sel_start_ = start + n;
}

void DisplayModel::SetSelColor(Color color) {
  if (sel_length_ > 0) Recolor(sel_start_, sel_start_ + sel_length_, color);
}

void DisplayModel::Recolor(std::int64_t begin, std::int64_t end, Color color) {
  // Fast path: the tail of the text, inside or behind the last run.
  if (end == Size() && begin >= runs_.back().start) {
    if (begin == runs_.back().start) {
      runs_.back().color = color;
      MergeWithPrevious(runs_, runs_.size() - 1);
    } else if (runs_.back().color != color) {
      runs_.push_back({begin, color});
    }
    return;
  }
  const Color after = end < Size() ? ColorAt(end) : kBlack;
  const std::size_t first = LowerRun(runs_, begin);
  const std::size_t past = LowerRun(runs_, end + 1);
  runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(first),
              runs_.begin() + static_cast<std::ptrdiff_t>(past));
  const std::size_t i = first;
  runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(i), {begin, color});
  if (end < Size()) {
    runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(i + 1), {end, after});
    MergeWithPrevious(runs_, i + 1);
  }
  MergeWithPrevious(runs_, i);
}

std::int64_t DisplayModel::LineCount() const {
  ExtendLineIndex();
  return static_cast<std::int64_t>(line_starts_.size());
}

std::int64_t DisplayModel::LineStart(std::int64_t line) const {
  ExtendLineIndex();
  return line_starts_[static_cast<std::size_t>(line)];
}

std::int64_t DisplayModel::LineOf(std::int64_t offset) const {
  ExtendLineIndex();
  auto it = std::upper_bound(line_starts_.begin(), line_starts_.end(), offset);
  return static_cast<std::int64_t>(it - line_starts_.begin()) - 1;
}

std::string_view DisplayModel::LineText(std::int64_t line) const {
  ExtendLineIndex();
  const auto i = static_cast<std::size_t>(line);
  const std::size_t begin = static_cast<std::size_t>(line_starts_[i]);
  std::size_t end =
      i + 1 < line_starts_.size() ? static_cast<std::size_t>(line_starts_[i + 1]) : text_.size();
  if (end > begin && text_[end - 1] == '\n') {
    --end;
    if (end > begin && text_[end - 1] == '\r') --end;
  }
  return std::string_view(text_).substr(begin, end - begin);
}

void DisplayModel::LineColors(std::int64_t line, std::vector<ColorRun>& runs) const {
  runs.clear();
  if (runs_.empty()) return;
  const std::int64_t begin = LineStart(line);
  const std::int64_t end = begin + static_cast<std::int64_t>(LineText(line).size());
  std::size_t i = RunIndexAt(begin);
  runs.push_back(runs_[i]);
  for (++i; i < runs_.size() && runs_[i].start < end; ++i) runs.push_back(runs_[i]);
}

bool DisplayModel::AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                              std::string& out) const {
  begin = std::clamp<std::int64_t>(begin, 0, Size());
  end = std::clamp<std::int64_t>(end, begin, Size());
  if (end - begin > limit) return false;
  out.append(text_, static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
  return true;
}

void DisplayModel::ExtendLineIndex() const {
  const char* base = text_.data();
  const auto size = static_cast<std::size_t>(Size());
  auto pos = static_cast<std::size_t>(indexed_);
  // Room for many new lines at once (lines of a screen block average some 60 characters), so
  // that a large text is indexed without moving the index again and again.
  constexpr std::size_t kShortLine = 32;
  const std::size_t needed = line_starts_.size() + (size - pos) / kShortLine;
  if (needed > line_starts_.capacity()) {
    line_starts_.reserve(std::max(needed, 2 * line_starts_.capacity()));
  }
  while (pos < size) {
    const void* hit = std::memchr(base + pos, '\n', size - pos);
    if (hit == nullptr) break;
    pos = static_cast<std::size_t>(static_cast<const char*>(hit) - base) + 1;
    line_starts_.push_back(static_cast<std::int64_t>(pos));
    max_closed_length_ = std::max(max_closed_length_, ClosedLineLength(line_starts_.size() - 2));
  }
  indexed_ = Size();
}

std::int64_t DisplayModel::ClosedLineLength(std::size_t i) const {
  const std::int64_t begin = line_starts_[i];
  std::int64_t end = line_starts_[i + 1] - 1;  // the LF
  if (end > begin && text_[static_cast<std::size_t>(end - 1)] == '\r') --end;
  return end - begin;
}

std::int64_t DisplayModel::MaxLineLength() const {
  ExtendLineIndex();
  return std::max(max_closed_length_, Size() - line_starts_.back());
}

void DisplayModel::TruncateLineIndex(std::int64_t offset) {
  if (offset >= indexed_) return;
  auto it = std::upper_bound(line_starts_.begin(), line_starts_.end(), offset);
  line_starts_.erase(it, line_starts_.end());
  indexed_ = offset;
  // Rare (an edit inside the text): the longest of the lines that are still closed.
  max_closed_length_ = 0;
  for (std::size_t i = 0; i + 1 < line_starts_.size(); ++i) {
    max_closed_length_ = std::max(max_closed_length_, ClosedLineLength(i));
  }
}

}  // namespace packscope
