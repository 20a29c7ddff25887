// FrameList: the frame list's state and commands, without Qt: the capture and its frame index,
// the rows (the frames the filter applied keeps, in capture order and in the order of a sort),
// the counts, the telemetry definitions and the statistics. A window shows it and forwards the
// user's commands to it; tests drive it directly.
//
// One listing routine brings the rows up to the index: the frames indexed since the rows were
// last listed go behind them (through the filter, as a pass; without a filter at once, the index
// alone tells), or, for a filter applied, every frame anew. Whatever asks for it (the index
// growing while it is read, its reading done, a reading on, a filter applied), the rows then go
// through the sort chosen again.
//
//   Open ──> reading (lane kReading) ──Grow, while it reads: rows of no filter as they come
//                │ done
//                v
//            listing ──(filter: lane kRows)──> rows ──> sort again (lane kRows)
//                │
//                └──> survey of the capture (lane kSurvey) ──> definitions, statistics
//                                        └──> survey of the rows shown (a filter applied)
//   ReadOn (the capture changed on disk) ──> reading on ──> listing of the frames read on
//
// Passes run on lanes the host gives (FrameListHost): the window runs each lane's pass on a
// worker thread and calls its done on its own thread; a test may run them at once. A pass started
// on a lane stops the one still running there. Everything else runs on the host's thread.
#ifndef PACKSCOPE_FRAMELIST_FRAME_LIST_H_
#define PACKSCOPE_FRAMELIST_FRAME_LIST_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/file_watch.h"
#include "capture/frame_index.h"
#include "capture/headless_window.h"
#include "capture/input_index.h"
#include "commands/layouts.h"
#include "filter/filter.h"
#include "framelist/capture_survey.h"
#include "framelist/colouring.h"
#include "framelist/frame_details.h"
#include "framelist/frame_passes.h"
#include "framelist/frame_row.h"
#include "framelist/merged_capture.h"
#include "framelist/statistics_tables.h"

namespace packscope {

// The lanes of passes. At most one pass runs on a lane at a time. Tabs of the window that make
// tables of their own (over the rows shown, say) take lanes from kFirstFreeLane on.
enum FrameListLane : int {
  kReadingLane,  // the index read, or read on
  kRowsLane,     // a listing through the filter, a sort, a find
  kSurveyLane,   // the statistics
  kFirstFreeLane,
};

// A change of the rows, told before and after it is made.
struct RowsChange {
  enum Kind {
    kReset,    // every row anew (a capture opened, a filter applied)
    kAppend,   // rows first..first+count-1 added behind the others, in capture order
    kRemove,   // rows from first on taken away (count of them), the rows in capture order
    kReorder,  // the same rows in another order (a sort, or back to capture order)
  };
  Kind kind = kReset;
  std::int64_t first = 0;
  std::int64_t count = 0;
};

// What else changed (bits), after the change.
enum FrameListChange : unsigned {
  kCountsChanged = 1u << 0,      // FramesTotal, Unheld, RowCount
  kTextsChanged = 1u << 1,       // row texts anew: definitions, columns' texts, colouring
  kStatisticsChanged = 1u << 2,  // Statistics()
  kSortChanged = 1u << 3,        // SortColumn given up (a sort cancelled)
  kFilterChanged = 1u << 4,      // FilterText (the rows' filter) changed
  kColumnsChanged = 1u << 5,     // ColumnCount, the columns' titles
};

class FrameListHost {
 public:
  // The work of a pass: it looks at *cancel now and then and reports its progress.
  using Work = std::function<void(const std::atomic<bool>* cancel, const PassProgress& progress)>;

  virtual ~FrameListHost() = default;

  // Runs work on lane, then done on the host's thread (whether the work was cancelled or not);
  // a pass still running on lane is stopped first. what names it for a progress line
  // ("Reading", "Filtering" ...).
  virtual void StartPass(int lane, std::string_view what, Work work,
                         std::function<void()> done) = 0;
  // Cancels the pass on lane, waits for its end and drops its done.
  virtual void StopPass(int lane) = 0;
  // A pass started on lane whose done has not run yet.
  virtual bool PassRunning(int lane) const = 0;

  virtual void RowsAboutToChange(const RowsChange&) {}
  virtual void RowsChanged(const RowsChange&) {}
  virtual void ListChanged(unsigned /*FrameListChange bits*/) {}
  // Find found the row.
  virtual void Found(std::int64_t /*row*/) {}
  // A message for the status line (UTF-8), and an error for a message box.
  virtual void Say(const std::string&) {}
  virtual void ShowError(const std::string&) {}
};

// A frame as the details show it.
struct ShownFrame {
  std::int64_t number = -1;  // in the index, from 0
  bool held = false;         // false: the capture no longer holds it as it was read
  StoredFrame frame;
  std::vector<std::int32_t> places;  // StoredPlaces(frame)
  std::vector<DetailNode> details;
};

class FrameList {
 public:
  // Milliseconds on a steady clock (the survey's cadence).
  using Clock = std::function<std::int64_t()>;

  explicit FrameList(FrameListHost& host);
  ~FrameList();
  FrameList(const FrameList&) = delete;
  FrameList& operator=(const FrameList&) = delete;

  // --- Commands ---
  // Lists the capture at path (bytes) from its start through the filter applied; empty: none.
  void Open(std::string path);
  // Lists several captures merged (framelist/merged_capture.h), each a receiver: merges them on
  // the reading lane ("Merging") and lists the merge as a capture, with a Receivers column, the
  // filter's heard_by and a Receivers table; errors go to ShowError and leave the list empty.
  void OpenMerged(std::vector<std::string> captures, const MergeOptions& options = {});
  // While the reading of Open runs: the rows of the frames indexed so far, when no filter picks
  // them (the host calls it now and then, a window at each tick).
  void Grow();
  // Reads the capture on when it changed on disk since it was read to its end: the frames
  // appended go through the filter behind the others; a last frame cut off is read again; a
  // capture that shrank or was replaced is read anew. False when nothing is read (not read to its
  // end yet, a pass of the rows running, or unchanged on disk).
  bool ReadOn();
  // Parses text and lists the frames it keeps (empty: every frame). False, with error set, when
  // it does not parse: nothing changes.
  bool ApplyFilter(std::string_view text, FilterError* error = nullptr);
  // Sorts the rows by column (a FrameColumn, or an extra column), stable; -1: capture order. A
  // listing still running sorts its rows when it is done.
  void SortBy(int column, bool descending);
  // Finds the next row after from_row (before it when backwards) whose texts or bytes hold what
  // query asks for; Found(row) tells, or a message that none does.
  void Find(const FindQuery& query, std::int64_t from_row, bool backwards);
  // Statistics of the rows shown (a filter applied) or of the whole capture.
  void SetStatisticsOfWholeCapture(bool whole);
  // The capture's connected sessions (framelist/session_table.h), read over its frames: rows,
  // details and the filter then read modulo-128 frames and `session`; a filter that reads them
  // lists its rows anew.
  void SetSessions(std::shared_ptr<const SessionTable> sessions);
  // A column behind the frame's own; its texts must be made on any thread.
  void AddColumn(ExtraColumn column);
  // The colouring of rows (its rules compiled; null: none).
  void SetColouring(std::shared_ptr<const Colouring> colouring);
  // Writes the frames of the rows (those the filter keeps, in capture order) to out_path in
  // layout, as packscope-convert --filter EXPR --layout L writes them; failures go to window.
  // written: the frames written. False when nothing was written.
  bool Export(const std::string& out_path, const Layout& layout, HeadlessWindow& window,
              std::int64_t* written = nullptr) const;
  // Runs a pass of a tab on a lane of its own (kFirstFreeLane on) over the rows as they are now;
  // done on the host's thread unless the rows changed meanwhile.
  using RowsWork = std::function<void(const IndexSnapshot& snapshot, const RowList& capture_order,
                                      const std::atomic<bool>* cancel, const PassProgress&)>;
  void RunRowsPass(int lane, std::string_view what, RowsWork work, std::function<void()> done);

  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // Where the copies of the captures opened from now on learn the room on their disk (tests);
  // nullptr: the system's. It must outlive the list.
  void SetFreeSpace(const FreeSpace* free_space) { free_space_ = free_space; }
  // The whole capture's statistics are kept beside a filter's when they hold at most this many
  // rows (stations ...); larger ones are made again when asked for.
  void SetKeptStatisticsRows(std::size_t rows) { kept_statistics_rows_ = rows; }

  // --- State ---
  const std::string& Path() const { return path_; }
  // The merge listed (OpenMerged); null for one capture.
  const MergedCapture* Merged() const { return merged_.get(); }
  const std::shared_ptr<const MergedCapture>& SharedMerged() const { return merged_; }
  // The index as read so far, and the one the rows were listed from (which holds their frames).
  const IndexSnapshot& Snapshot() const { return snapshot_; }
  const IndexSnapshot& RowsSnapshot() const { return rows_snapshot_; }
  // Read to the end of the capture as it was.
  bool Indexed() const { return indexed_; }
  // Frames of the index that are not timestamp frames, and rows whose frames the capture no
  // longer held as indexed when they were listed.
  std::int64_t FramesTotal() const { return frames_total_; }
  std::int64_t Unheld() const { return unheld_; }
  // The status line's count: "12 of 400 frames shown", and how many rows the capture no longer
  // held as they were read.
  std::string ShownText() const;
  // The capture's format once the reading has told it, and the damage its reader met: "Source:
  // TNC2 lines, 1 damaged (packscope-convert --check lists them)"; empty before.
  std::string SourceText() const;

  std::int64_t RowCount() const { return static_cast<std::int64_t>(Rows().size()); }
  // The frame of a row; -1 outside the rows.
  std::int64_t FrameOfRow(std::int64_t row) const;
  // The row of frame, or of the nearest listed frame after it (before it when none follows); -1
  // without rows.
  std::int64_t RowOfFrame(std::int64_t frame) const;
  // The frame whose stored bytes hold offset; -1 before the first frame.
  std::int64_t FrameAtOffset(std::int64_t offset) const;
  // The rows in their order, and in capture order (shared with the passes that read them).
  const std::vector<std::int64_t>& Rows() const { return sorted_ ? *sorted_ : *capture_order_; }
  const std::vector<std::int64_t>& CaptureOrder() const { return *capture_order_; }
  const RowList& SharedRows() const { return sorted_ ? sorted_ : capture_order_; }
  const RowList& SharedCaptureOrder() const { return capture_order_; }
  bool InCaptureOrder() const { return !sorted_; }
  // The column sorted by (-1: capture order) and its direction.
  int SortColumn() const { return sort_column_; }
  bool SortDescending() const { return sort_descending_; }

  // The filter the rows are listed through (null and empty: every frame).
  const Filter* RowsFilter() const { return rows_filter_.get(); }
  const std::string& FilterText() const { return rows_filter_text_; }

  // Columns: the frame's own (kFrameColumns) and the extra ones behind them.
  int ColumnCount() const;
  FrameColumnInfo ColumnInfoOf(int column) const;
  // What the texts of rows read beyond the frame: definitions, extra columns, colouring.
  RowSources Sources() const;
  const DefinitionFrames& Definitions() const { return definitions_; }
  const std::shared_ptr<const Colouring>& ColouringRules() const { return colouring_; }

  // The statistics (tables and the chart's bins): of the rows shown while a filter is applied
  // (unless of the whole capture was asked for), else of the whole capture; null until surveyed.
  const SurveyStatistics* Statistics() const;
  bool StatisticsOfWholeCapture() const { return whole_statistics_ || !rows_filter_; }

  // The frame with its details (null details when no frame: frame < 0 or beyond the index).
  ShownFrame Show(std::int64_t frame);
  // The filter expression that picks the frames whose column holds the frame's value there
  // (src == QQ2XY-7); empty when the column has no field or the frame no value in it.
  std::string CellFilter(std::int64_t frame, int column);
  // The frame as the monitor layout's line, and its bytes as hex text without the last blank
  // (as stored, or un-escaped); empty when the capture no longer holds it.
  std::string MonitorLine(std::int64_t frame);
  std::string FrameHex(std::int64_t frame, bool stored);

 private:
  struct Listing;
  enum class RowsPass { kNone, kListing, kSorting, kFinding };

  void StopPasses();
  void OpenFile(std::string path);
  void ReadIndex(bool reading_on);
  void IndexRead(const IndexResult& result, bool reading_on);
  void Count(std::int64_t to);
  // The listing routine: frames from..to-1 of snapshot_ through the filter, appended to the
  // rows, or anew in their place (a new filter).
  void List(std::int64_t from, std::int64_t to, bool anew);
  void TakeListing(const IndexSnapshot& snapshot, std::int64_t to, std::vector<std::int64_t> rows,
                   std::int64_t unheld, bool anew);
  void SetRows(std::vector<std::int64_t> capture_order);
  void AppendRows(const std::vector<std::int64_t>& more);
  void RemoveRowsFrom(std::int64_t frame);
  void SetOrder(RowList sorted);
  void RunSort();
  // Starts the survey that is due: of the capture (its definitions, and its statistics when they
  // are shown), else of the rows shown.
  void Survey();
  // After a change of what the statistics are of: those that no longer apply are let go.
  void StatisticsScopeChanged();
  void Changed(unsigned what) { host_.ListChanged(what); }
  bool Reading() const { return host_.PassRunning(kReadingLane); }

  FrameListHost& host_;
  Clock clock_;

  std::string path_;
  // Replaced only while no pass runs (the Receivers column reads it from the passes).
  std::shared_ptr<const MergedCapture> merged_;
  bool receivers_column_ = false;
  std::unique_ptr<InputIndex> index_;
  const FreeSpace* free_space_ = nullptr;
  IndexSnapshot snapshot_;
  IndexSnapshot rows_snapshot_;
  FileWatch disk_;  // the capture as its last reading to the end left it
  bool indexed_ = false;
  std::int64_t counted_to_ = 0;    // frames counted into frames_total_
  std::int64_t frames_total_ = 0;  // of them, those that are not timestamp frames
  std::int64_t listed_to_ = 0;     // frames looked at for the rows
  std::int64_t unheld_ = 0;

  // The filter asked for last, and the one the rows are listed through (they differ while a
  // listing through a new filter runs).
  std::shared_ptr<const Filter> filter_;
  std::string filter_text_;
  std::shared_ptr<const Filter> rows_filter_;
  std::string rows_filter_text_;

  RowList capture_order_;
  RowList sorted_;  // null: capture order
  int sort_column_ = -1;
  bool sort_descending_ = false;
  RowsPass rows_pass_ = RowsPass::kNone;

  DefinitionFrames definitions_;
  std::int64_t definitions_to_ = 0;  // definitions_ hold those of the frames before this one
  ExtraColumns columns_;
  std::shared_ptr<const Colouring> colouring_;
  std::shared_ptr<const SessionTable> sessions_;
  std::unique_ptr<AprsTimeline> details_aprs_;  // for Show, CellFilter and MonitorLine

  // The statistics of the whole capture, and of the rows listed through rows_statistics_filter_.
  // Those of the whole capture are let go while a filter's are shown when they are large (a
  // capture of many stations), and made again when asked for.
  std::shared_ptr<const SurveyStatistics> whole_stats_;
  std::shared_ptr<const SurveyStatistics> rows_stats_;
  std::shared_ptr<const Filter> rows_stats_filter_;
  std::size_t kept_statistics_rows_ = 100'000;
  bool whole_statistics_ = false;  // the switch: of the whole capture while a filter is applied
  bool whole_survey_due_ = false;
  bool rows_survey_due_ = false;
  // When the capture's survey last started, and how long it took: a capture that grows is
  // surveyed again after a pause of five times that (at least five seconds).
  std::optional<std::int64_t> surveyed_at_;
  std::int64_t survey_ms_ = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_FRAME_LIST_H_
