// The frame list's passes over the frames of an index, away from the window (a worker thread
// runs them; each looks at a cancel flag and reports its progress now and then):
//
//   ListFrames   which frames are listed: every frame but timestamp frames, or those a filter
//                keeps, in capture order
//   SortRows     the listed frames in the order of a column, stable
//   FindRow      the next listed frame whose texts or bytes hold what the user looks for
//
// and the look-ups of Go to: the frame at a byte offset, the row of a frame.
//
// Passes read frames in large blocks where they go through the capture in order (a pass over a
// million frames reads some 30 MB in a few dozen reads), else one frame at a time.
#ifndef PACKSCOPE_FRAMELIST_FRAME_PASSES_H_
#define PACKSCOPE_FRAMELIST_FRAME_PASSES_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/frame_index.h"
#include "filter/filter.h"
#include "framelist/aprs_timeline.h"
#include "framelist/frame_row.h"

namespace packscope {

class MergedCapture;

// Called now and then with the work done and the whole of it (frames or rows).
using PassProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// How a pass ended.
enum class PassEnd { kDone, kCancelled };

// Appends to rows the index numbers of the frames from..to-1 of snapshot that are listed: every
// frame but timestamp frames, and with a filter only those it keeps. The filter sees each frame
// as packscope-convert --filter does (number from 1, offset, stamp, findings). A frame that the
// capture no longer holds as indexed is not listed; unheld counts them. Cancelled: rows hold
// the frames listed so far. A listing that begins behind the first frame (from > 0) reads
// APRS telemetry with the definitions sent before from, the frames that carry them given.
// With sessions, a frame's `session` and the modulo its control field counts in are the table's.
// With merged (snapshot its merged capture's index), heard_by and heard_count are its frames'.
PassEnd ListFrames(const IndexSnapshot& snapshot, std::int64_t from, std::int64_t to,
                   const Filter* filter, std::vector<std::int64_t>& rows,
                   std::int64_t* unheld = nullptr, const std::atomic<bool>* cancel = nullptr,
                   const PassProgress& progress = {}, const DefinitionFrames& definitions = {},
                   const SessionTable* sessions = nullptr, const MergedCapture* merged = nullptr);

// ListFrames with a filter over slices of from..to at once, a thread each (the first in the
// calling thread): the same rows, unheld count and end. Each slice reads APRS telemetry with the
// definitions sent before it, so definitions must hold every definition frame before to when the
// filter reads APRS fields. Progress is called from the calling thread alone, with the frames
// of all slices. Cancelled: rows hold the frames listed so far by the slices in front of the
// first one cancelled. The slices' rows are copied into rows one after the other, each freed
// once copied. slices 1 (or no filter) is ListFrames itself.
PassEnd ListFramesInSlices(int slices, const IndexSnapshot& snapshot, std::int64_t from,
                           std::int64_t to, const Filter* filter, std::vector<std::int64_t>& rows,
                           std::int64_t* unheld = nullptr,
                           const std::atomic<bool>* cancel = nullptr,
                           const PassProgress& progress = {},
                           const DefinitionFrames& definitions = {},
                           const SessionTable* sessions = nullptr,
                           const MergedCapture* merged = nullptr);

// The slices for a listing of frames frames on a machine of cores cores (0: not known): one a
// core, at most 4, and one for every kMinSliceFrames frames at least.
inline constexpr std::int64_t kMinSliceFrames = 1 << 17;
int ListingSlices(std::int64_t frames, unsigned cores);

// Sorts rows (index numbers of listed frames) by column (a FrameColumn, or an extra column of
// sources behind them), ascending or descending, into sorted; rows with equal texts keep their
// order (a sort by one column after another sorts by both). capture_order holds the same frames
// in capture order: Delta is the time since the frame before a frame there. Numeric columns sort
// by number, empty texts (and, in an extra column, texts that are no number) first; text columns
// by their bytes. Cancelled: sorted is left as it was.
//
// Memory: 8 bytes a row (the result's own), and at most text_budget bytes of texts at a time
// (framelist/row_sort.cpp). With more than one core the rows are keyed and sorted on several
// threads.
inline constexpr std::size_t kSortTextBudget = 32u << 20;
PassEnd SortRows(const IndexSnapshot& snapshot, const RowSources& sources,
                 const std::vector<std::int64_t>& rows,
                 const std::vector<std::int64_t>& capture_order, FrameColumn column,
                 bool descending, std::vector<std::int64_t>& sorted,
                 const std::atomic<bool>* cancel = nullptr, const PassProgress& progress = {},
                 std::size_t text_budget = kSortTextBudget);

// What Find looks for: a text in the row's texts (Time, Source, Destination, Path, Type, Info and
// the extra columns; letter case ignored), or bytes in the un-escaped frame, given as hex digits
// ("C0 00", "c000").
struct FindQuery {
  bool bytes = false;
  std::string needle;  // lower-case text, or the bytes
};
// Nothing, and error set, for an empty text or hex that is not whole bytes of hex digits.
std::optional<FindQuery> ParseFindQuery(std::string_view text, bool hex, std::string* error);

// The next row after from (before it when backwards), going round past the end, whose frame
// matches; from itself last. -1 when none matches or the pass was cancelled. from may be -1 (no
// row current): the search starts at the first row (the last going backwards).
std::int64_t FindRow(const IndexSnapshot& snapshot, const RowSources& sources,
                     const std::vector<std::int64_t>& rows,
                     const std::vector<std::int64_t>& capture_order, std::int64_t from,
                     bool backwards, const FindQuery& query,
                     const std::atomic<bool>* cancel = nullptr, const PassProgress& progress = {});

// The frame whose stored bytes hold offset: the last frame that begins at or before it; -1 when
// offset lies before the first frame (or the index holds none).
std::int64_t FrameAtOffset(const IndexSnapshot& snapshot, std::int64_t offset);

// The row that lists frame, or, when it is not listed, the row of the nearest listed frame after
// it in capture order (before it when none follows); -1 without rows. in_capture_order: rows are
// in capture order (a binary search is enough).
std::int64_t RowOfFrame(const std::vector<std::int64_t>& rows,
                        const std::vector<std::int64_t>& capture_order, bool in_capture_order,
                        std::int64_t frame);

// The frame listed before frame in capture order; -1 for the first (or one not listed).
std::int64_t PreviousListed(const std::vector<std::int64_t>& capture_order, std::int64_t frame);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_FRAME_PASSES_H_
