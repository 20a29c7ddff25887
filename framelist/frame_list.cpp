#include "framelist/frame_list.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "capture/headless_window.h"
#include "commands/monitor_layout.h"
#include "filter/capture_filter.h"
#include "framelist/frame_list_text.h"
#include "framelist/receiver_tables.h"
#include "render/hex.h"

namespace packscope {
namespace {

std::int64_t SteadyMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The filter field each column shows, "" for none (Delta).
constexpr std::string_view kColumnFields[kFrameColumnCount] = {
    "frame", "time", "", "port", "src", "dst", "via", "type", "pid", "len", "info"};

}  // namespace

struct FrameList::Listing {
  std::vector<std::int64_t> rows;
  std::int64_t unheld = 0;
  PassEnd end = PassEnd::kDone;
};

FrameList::FrameList(FrameListHost& host)
    : host_(host),
      clock_(&SteadyMillis),
      capture_order_(std::make_shared<const std::vector<std::int64_t>>()) {}

FrameList::~FrameList() { StopPasses(); }

void FrameList::StopPasses() {
  for (int lane = kReadingLane; lane < kFirstFreeLane; ++lane) host_.StopPass(lane);
  rows_pass_ = RowsPass::kNone;
}

// --- Opening and reading ---

void FrameList::Open(std::string path) {
  StopPasses();
  merged_.reset();
  OpenFile(std::move(path));
}

void FrameList::OpenFile(std::string path) {
  StopPasses();
  path_ = std::move(path);
  index_ = std::make_unique<InputIndex>(path_, free_space_);
  snapshot_ = index_->Snapshot();
  indexed_ = false;
  counted_to_ = frames_total_ = listed_to_ = unheld_ = 0;
  definitions_.reset();
  definitions_to_ = 0;
  details_aprs_.reset();
  sessions_.reset();
  whole_stats_.reset();
  rows_stats_.reset();
  rows_stats_filter_.reset();
  whole_survey_due_ = rows_survey_due_ = false;
  surveyed_at_.reset();
  TakeListing(snapshot_, 0, {}, 0, true);
  Changed(kTextsChanged | kStatisticsChanged);
  if (!path_.empty()) ReadIndex(false);
}

void FrameList::ReadIndex(bool reading_on) {
  auto result = std::make_shared<IndexResult>();
  InputIndex* index = index_.get();
  host_.StartPass(
      kReadingLane, "Reading",
      [index, result](const std::atomic<bool>* cancel, const PassProgress& progress) {
        *result = index->Extend(
            cancel, [&progress](std::int64_t done, std::int64_t total) { progress(done, total); });
      },
      [this, result, reading_on] { IndexRead(*result, reading_on); });
}

void FrameList::Count(std::int64_t to) {
  for (; counted_to_ < to; ++counted_to_) {
    if (!snapshot_.Frame(counted_to_).Timestamp()) ++frames_total_;
  }
}

void FrameList::Grow() {
  if (index_ == nullptr || !Reading()) return;
  const IndexSnapshot s = index_->Snapshot();
  if (s.SettledFrameCount() <= listed_to_) return;
  snapshot_ = s;
  Count(s.SettledFrameCount());
  // Through a filter the rows are listed once the reading is done.
  if (!filter_) List(listed_to_, s.SettledFrameCount(), false);
  Changed(kCountsChanged);
}

void FrameList::IndexRead(const IndexResult& result, bool reading_on) {
  if (reading_on && result.status == IndexStatus::kChanged) {  // shrunk or replaced
    Open(path_);
    return;
  }
  snapshot_ = index_->Snapshot();
  indexed_ = result.status == IndexStatus::kAtEnd;
  if (indexed_) disk_.Remember(path_);
  Count(snapshot_.FrameCount());
  List(listed_to_, snapshot_.FrameCount(), false);
  Changed(kCountsChanged);
  if (!reading_on && result.status == IndexStatus::kCancelled) {
    host_.Say("Reading cancelled: the frames read so far are listed.");
  } else if (!result.message.empty()) {
    host_.ShowError(result.message);
  }
  // The statistics of a growing capture are surveyed anew now and then, not at every growth.
  if (!reading_on || (!host_.PassRunning(kSurveyLane) && surveyed_at_ &&
                      clock_() - *surveyed_at_ >= std::max<std::int64_t>(5000, 5 * survey_ms_))) {
    whole_survey_due_ = rows_survey_due_ = true;
    Survey();
  }
}

bool FrameList::ReadOn() {
  if (path_.empty() || !indexed_ || Reading() || host_.PassRunning(kRowsLane)) return false;
  // A copy (of a compressed file, a pcap, a stream) was read once, as it came.
  if (index_->Copied() || !disk_.Changed(path_, snapshot_.CaptureSize())) return false;
  // A last frame cut off by the end of the capture is read again: it may go on, or turn out a
  // timestamp frame.
  const std::int64_t settled = snapshot_.SettledFrameCount();
  for (; counted_to_ > settled; --counted_to_) {
    if (!snapshot_.Frame(counted_to_ - 1).Timestamp()) --frames_total_;
  }
  if (listed_to_ > settled) {
    RemoveRowsFrom(settled);
    listed_to_ = settled;
  }
  indexed_ = false;
  ReadIndex(true);
  return true;
}

// --- The listing routine ---

void FrameList::List(std::int64_t from, std::int64_t to, bool anew) {
  if (!filter_) {  // the index alone tells: no pass
    std::vector<std::int64_t> rows;
    packscope::ListFrames(snapshot_, from, to, nullptr, rows);
    TakeListing(snapshot_, to, std::move(rows), 0, anew);
    return;
  }
  auto listing = std::make_shared<Listing>();
  const IndexSnapshot s = snapshot_;
  const std::shared_ptr<const Filter> filter = filter_;
  const DefinitionFrames definitions = definitions_;
  const std::shared_ptr<const SessionTable> sessions = sessions_;
  // Slices each read the telemetry definitions sent before them: those of the survey, when it
  // has surveyed every frame listed.
  const bool definitions_known = definitions_ != nullptr && definitions_to_ >= to;
  const int slices = (filter->Needs() & kNeedAprs) != 0 && !definitions_known
                         ? 1
                         : ListingSlices(to - from, std::thread::hardware_concurrency());
  rows_pass_ = RowsPass::kListing;
  host_.StartPass(
      kRowsLane, "Filtering",
      [s, from, to, filter, definitions, sessions, listing, slices, merged = merged_](
          const std::atomic<bool>* cancel, const PassProgress& progress) {
        listing->end = packscope::ListFramesInSlices(
            slices, s, from, to, filter.get(), listing->rows, &listing->unheld, cancel, progress,
            definitions, sessions.get(), merged.get());
      },
      [this, s, to, anew, listing] {
        rows_pass_ = RowsPass::kNone;
        if (listing->end == PassEnd::kCancelled) {
          if (anew) {
            // The rows stay those of the filter before, and so does the filter.
            filter_ = rows_filter_;
            filter_text_ = rows_filter_text_;
            host_.Say("Filter cancelled: the frames listed before it are shown.");
            Changed(kFilterChanged);
          }
          return;
        }
        TakeListing(s, to, std::move(listing->rows), listing->unheld, anew);
      });
}

void FrameList::TakeListing(const IndexSnapshot& snapshot, std::int64_t to,
                            std::vector<std::int64_t> rows, std::int64_t unheld, bool anew) {
  rows_snapshot_ = snapshot;
  listed_to_ = to;
  if (anew) {
    unheld_ = unheld;
    const bool new_filter = rows_filter_ != filter_;
    rows_filter_ = filter_;
    rows_filter_text_ = filter_text_;
    SetRows(std::move(rows));
    if (new_filter) {
      Changed(kFilterChanged);
      StatisticsScopeChanged();
    }
  } else {
    unheld_ += unheld;
    AppendRows(rows);
  }
  Changed(kCountsChanged);
  // While the capture is read its rows grow as they come; they are sorted once it is read.
  if (sort_column_ >= 0 && !Reading() && RowCount() > 1) RunSort();
  Survey();
}

void FrameList::SetRows(std::vector<std::int64_t> capture_order) {
  const RowsChange change{RowsChange::kReset, 0, static_cast<std::int64_t>(capture_order.size())};
  host_.RowsAboutToChange(change);
  capture_order_ = std::make_shared<const std::vector<std::int64_t>>(std::move(capture_order));
  sorted_.reset();
  host_.RowsChanged(change);
}

void FrameList::AppendRows(const std::vector<std::int64_t>& more) {
  // New rows go behind the sorted ones in capture order: the sort is given up until it is run
  // again.
  if (sorted_) SetOrder(nullptr);
  if (more.empty()) return;
  const RowsChange change{RowsChange::kAppend, RowCount(), static_cast<std::int64_t>(more.size())};
  host_.RowsAboutToChange(change);
  // A pass may still read the rows as they were: they grow in a copy when it does.
  if (capture_order_.use_count() > 1) {
    capture_order_ = std::make_shared<const std::vector<std::int64_t>>(*capture_order_);
  }
  auto& rows = const_cast<std::vector<std::int64_t>&>(*capture_order_);
  rows.insert(rows.end(), more.begin(), more.end());
  host_.RowsChanged(change);
}

void FrameList::RemoveRowsFrom(std::int64_t frame) {
  const std::vector<std::int64_t>& order = *capture_order_;
  const auto keep = std::lower_bound(order.begin(), order.end(), frame);
  if (keep == order.end()) return;
  if (sorted_) SetOrder(nullptr);
  const auto first = static_cast<std::int64_t>(keep - order.begin());
  const RowsChange change{RowsChange::kRemove, first, RowCount() - first};
  host_.RowsAboutToChange(change);
  capture_order_ = std::make_shared<const std::vector<std::int64_t>>(order.begin(), keep);
  host_.RowsChanged(change);
}

void FrameList::SetOrder(RowList sorted) {
  const RowsChange change{RowsChange::kReorder, 0, RowCount()};
  host_.RowsAboutToChange(change);
  sorted_ = sorted && *sorted != *capture_order_ ? std::move(sorted) : nullptr;
  host_.RowsChanged(change);
}

// --- Filter, sort, find ---

bool FrameList::ApplyFilter(std::string_view text, FilterError* error) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::shared_ptr<const Filter> filter;
  if (!text.empty()) {
    std::optional<Filter> parsed = Filter::Parse(text, error);
    if (!parsed) return false;
    filter = std::make_shared<const Filter>(std::move(*parsed));
  }
  filter_ = std::move(filter);
  filter_text_ = std::string(text);
  host_.StopPass(kRowsLane);  // a listing, sort or find of the rows before
  rows_pass_ = RowsPass::kNone;
  if (Reading()) {
    // Listed when the reading is done; until then the rows of no filter grow as it goes.
    TakeListing(snapshot_, 0, {}, 0, true);
    return true;
  }
  List(0, snapshot_.FrameCount(), true);
  return true;
}

void FrameList::SortBy(int column, bool descending) {
  sort_column_ = column;
  sort_descending_ = descending;
  // A listing still to come sorts its rows itself.
  if (Reading() || rows_pass_ == RowsPass::kListing) return;
  RunSort();
}

void FrameList::RunSort() {
  if (sort_column_ < 0) {
    if (sorted_) SetOrder(nullptr);
    return;
  }
  if (sort_column_ >= ColumnCount()) return;
  // The capture order is the order of No.: no pass.
  if (sort_column_ == static_cast<int>(FrameColumn::kNumber)) {
    RowList sorted;
    if (sort_descending_) {
      sorted = std::make_shared<const std::vector<std::int64_t>>(capture_order_->rbegin(),
                                                                 capture_order_->rend());
    }
    host_.StopPass(kRowsLane);
    rows_pass_ = RowsPass::kNone;
    SetOrder(std::move(sorted));
    return;
  }
  const RowList rows = SharedRows();
  const RowList capture_order = capture_order_;
  auto sorted = std::make_shared<std::vector<std::int64_t>>();
  auto end = std::make_shared<PassEnd>(PassEnd::kDone);
  const IndexSnapshot s = rows_snapshot_;
  const RowSources sources = Sources();
  const auto column = static_cast<FrameColumn>(sort_column_);
  const bool descending = sort_descending_;
  rows_pass_ = RowsPass::kSorting;
  host_.StartPass(
      kRowsLane, "Sorting",
      [=](const std::atomic<bool>* cancel, const PassProgress& progress) {
        *end = SortRows(s, sources, *rows, *capture_order, column, descending, *sorted, cancel,
                        progress);
      },
      [this, sorted, end, capture_order] {
        rows_pass_ = RowsPass::kNone;
        if (capture_order != capture_order_) return;  // listed anew meanwhile
        if (*end == PassEnd::kCancelled) {
          sort_column_ = -1;
          host_.Say("Sort cancelled: the rows stay in the order they had.");
          Changed(kSortChanged);
          return;
        }
        SetOrder(sorted);
      });
}

void FrameList::Find(const FindQuery& query, std::int64_t from_row, bool backwards) {
  if (host_.PassRunning(kRowsLane)) {
    host_.Say("Wait until the frames are listed, then find.");
    return;
  }
  const RowList rows = SharedRows();
  const RowList capture_order = capture_order_;
  auto found = std::make_shared<std::int64_t>(-1);
  const IndexSnapshot s = rows_snapshot_;
  const RowSources sources = Sources();
  rows_pass_ = RowsPass::kFinding;
  host_.StartPass(
      kRowsLane, "Finding",
      [=](const std::atomic<bool>* cancel, const PassProgress& progress) {
        *found = FindRow(s, sources, *rows, *capture_order, from_row, backwards, query, cancel,
                         progress);
      },
      [this, found, rows] {
        rows_pass_ = RowsPass::kNone;
        if (*found < 0 || rows != SharedRows()) {
          host_.Say("Not found in the frames shown.");
          return;
        }
        host_.Found(*found);
      });
}

std::string FrameList::ShownText() const {
  std::string text =
      std::to_string(RowCount()) + " of " + std::to_string(frames_total_) + " frames shown";
  if (unheld_ > 0) text += " (" + std::to_string(unheld_) + " no longer as read in the capture)";
  return text;
}

std::string FrameList::SourceText() const {
  const std::optional<InputKind> kind = index_ ? index_->Kind() : std::nullopt;
  if (!kind) return {};
  std::string text = "Source: " + InputKindName(*kind);
  if (const std::int64_t damage = index_->DamageCount(); damage > 0) {
    text += ", " + std::to_string(damage) + " damaged (packscope-convert --check lists them)";
  }
  return text;
}

std::int64_t FrameList::FrameOfRow(std::int64_t row) const {
  const std::vector<std::int64_t>& rows = Rows();
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return -1;
  return rows[static_cast<std::size_t>(row)];
}

std::int64_t FrameList::RowOfFrame(std::int64_t frame) const {
  return packscope::RowOfFrame(Rows(), CaptureOrder(), InCaptureOrder(), frame);
}

std::int64_t FrameList::FrameAtOffset(std::int64_t offset) const {
  return packscope::FrameAtOffset(snapshot_, offset);
}

// --- Columns and row texts ---

void FrameList::AddColumn(ExtraColumn column) {
  auto columns = columns_ ? std::make_shared<std::vector<ExtraColumn>>(*columns_)
                          : std::make_shared<std::vector<ExtraColumn>>();
  if (columns->size() >= static_cast<std::size_t>(kMostExtraColumns)) return;
  columns->push_back(std::move(column));
  columns_ = std::move(columns);
  Changed(kColumnsChanged | kTextsChanged);
}

int FrameList::ColumnCount() const {
  return kFrameColumnCount + (columns_ ? static_cast<int>(columns_->size()) : 0);
}

FrameColumnInfo FrameList::ColumnInfoOf(int column) const {
  if (column >= 0 && column < kFrameColumnCount) {
    return kFrameColumns[static_cast<std::size_t>(column)];
  }
  if (column < 0 || column >= ColumnCount()) return {};
  const ExtraColumn& c = (*columns_)[static_cast<std::size_t>(column - kFrameColumnCount)];
  return {c.title, c.numeric};
}

void FrameList::SetColouring(std::shared_ptr<const Colouring> colouring) {
  colouring_ = std::move(colouring);
  Changed(kTextsChanged);
}

RowSources FrameList::Sources() const {
  RowSources sources(definitions_);
  sources.columns = columns_;
  sources.colouring = colouring_;
  sources.sessions = sessions_;
  return sources;
}

// --- Statistics ---

void FrameList::StatisticsScopeChanged() {
  // A filter's statistics hold once its rows are surveyed; meanwhile the whole capture's are
  // kept for the switch, unless they are large.
  if (rows_stats_filter_ != rows_filter_) rows_stats_.reset();
  if (!StatisticsOfWholeCapture() && whole_stats_ && whole_stats_->Rows() > kept_statistics_rows_) {
    whole_stats_.reset();
  }
  Changed(kStatisticsChanged);
}

void FrameList::Survey() {
  if (host_.PassRunning(kSurveyLane)) return;  // its done starts what is due next
  const bool whole = whole_survey_due_ || (StatisticsOfWholeCapture() && !whole_stats_);
  const bool rows = !whole && !StatisticsOfWholeCapture() &&
                    (rows_survey_due_ || !rows_stats_ || rows_stats_filter_ != rows_filter_) &&
                    !Reading() && rows_pass_ != RowsPass::kListing;
  if (!whole && !rows) return;
  (whole ? whole_survey_due_ : rows_survey_due_) = false;
  if (whole) surveyed_at_ = clock_();
  // The pass makes the statistics from its survey and keeps only them (and the definitions).
  struct Result {
    SurveyStatistics statistics;
    DefinitionFrames definitions;
    PassEnd end = PassEnd::kDone;
  };
  auto result = std::make_shared<Result>();
  const IndexSnapshot s = whole ? snapshot_ : rows_snapshot_;
  const RowList frames = whole ? nullptr : capture_order_;
  const std::shared_ptr<const Filter> filter = rows_filter_;
  host_.StartPass(
      kSurveyLane, "Statistics",
      [s, frames, result, merged = merged_](const std::atomic<bool>* cancel,
                                            const PassProgress& progress) {
        CaptureSurvey survey;
        result->end = SurveyCapture(s, survey, cancel, progress, frames.get());
        result->definitions =
            std::make_shared<const std::vector<std::int64_t>>(std::move(survey.definitions));
        result->statistics = MakeStatistics(survey);
        if (merged) result->statistics.tables.push_back(ReceiversTable(*merged, frames.get()));
      },
      [this, result, whole, filter, surveyed_to = s.FrameCount()] {
        if (whole) survey_ms_ = clock_() - *surveyed_at_;
        if (result->end == PassEnd::kCancelled) return;
        auto statistics = std::make_shared<const SurveyStatistics>(std::move(result->statistics));
        if (whole) {
          definitions_ = result->definitions;
          definitions_to_ = surveyed_to;
          details_aprs_.reset();
          whole_stats_ = std::move(statistics);
          Changed(kTextsChanged | kStatisticsChanged);
          StatisticsScopeChanged();  // kept only while they may be shown
        } else if (filter == rows_filter_) {
          rows_stats_ = std::move(statistics);
          rows_stats_filter_ = filter;
          Changed(kStatisticsChanged);
        }
        Survey();
      });
}

void FrameList::SetStatisticsOfWholeCapture(bool whole) {
  whole_statistics_ = whole;
  StatisticsScopeChanged();
  Survey();
}

const SurveyStatistics* FrameList::Statistics() const {
  if (StatisticsOfWholeCapture()) return whole_stats_.get();
  return rows_stats_filter_ == rows_filter_ ? rows_stats_.get() : nullptr;
}

void FrameList::SetSessions(std::shared_ptr<const SessionTable> sessions) {
  sessions_ = std::move(sessions);
  Changed(kTextsChanged);
  if (filter_ && filter_ == rows_filter_ && (filter_->Needs() & kNeedLink) != 0 && !Reading() &&
      !host_.PassRunning(kRowsLane)) {
    List(0, snapshot_.FrameCount(), true);
  }
}

void FrameList::RunRowsPass(int lane, std::string_view what, RowsWork work,
                            std::function<void()> done) {
  const IndexSnapshot s = rows_snapshot_;
  const RowList rows = capture_order_;
  host_.StartPass(
      lane, what,
      [s, rows, work = std::move(work)](const std::atomic<bool>* cancel,
                                        const PassProgress& progress) {
        work(s, rows, cancel, progress);
      },
      [this, rows, done = std::move(done)] {
        if (rows == capture_order_ && done) done();
      });
}

// --- One frame ---

ShownFrame FrameList::Show(std::int64_t frame) {
  ShownFrame out;
  out.number = frame;
  if (frame < 0 || frame >= snapshot_.FrameCount()) return out;
  FrameReader reader(snapshot_);
  out.held = reader.Read(frame, out.frame);
  if (!out.held) return out;
  if (!details_aprs_) details_aprs_ = std::make_unique<AprsTimeline>(snapshot_, definitions_);
  StampTimes times(snapshot_);
  const FrameRecord& record = snapshot_.Frame(frame);
  std::string time = FrameTimeText(times, record.StampNumber());
  if (times.Millis(record.StampNumber())) time += " UTC";
  out.details = FrameDetails(out.frame, record, time, *details_aprs_, sessions_.get());
  if (merged_) out.details.push_back(ReceiversDetail(*merged_, frame));
  out.places = StoredPlaces(out.frame);
  return out;
}

std::string FrameList::CellFilter(std::int64_t frame, int column) {
  if (frame < 0 || frame >= snapshot_.FrameCount()) return {};
  if (column >= kFrameColumnCount || column < 0) return {};
  std::string_view name = kColumnFields[column];
  if (name.empty()) return {};
  FrameReader reader(snapshot_);
  StoredFrame f;
  if (!reader.Read(frame, f)) return {};
  if (!details_aprs_) details_aprs_ = std::make_unique<AprsTimeline>(snapshot_, definitions_);
  StampTimes times(snapshot_);
  const FrameRecord& record = snapshot_.Frame(frame);
  FrameFacts facts;
  DescribeStoredFrame(facts, f, record, times.Millis(record.StampNumber()), *details_aprs_,
                      kNeedAprs);
  // The Info of an APRS frame is the APRS field in words: its type picks such frames.
  if (name == "info" && facts.aprs != nullptr) name = "aprs.type";
  const Field* field = FindField(name);
  if (field == nullptr) return {};
  FieldValue value;
  field->read(facts, value);
  return FieldFilter(*field, value);
}

std::string FrameList::MonitorLine(std::int64_t frame) {
  if (frame < 0 || frame >= snapshot_.FrameCount()) return {};
  FrameReader reader(snapshot_);
  StoredFrame f;
  if (!reader.Read(frame, f)) return {};
  StampTimes times(snapshot_);
  std::string line;
  AppendMonitorLine(line, f.Kiss(), FrameTimeText(times, snapshot_.Frame(frame).StampNumber()));
  return line;
}

std::string FrameList::FrameHex(std::int64_t frame, bool stored) {
  if (frame < 0 || frame >= snapshot_.FrameCount()) return {};
  FrameReader reader(snapshot_);
  StoredFrame f;
  if (!reader.Read(frame, f)) return {};
  const std::vector<std::uint8_t>& bytes = stored ? f.stored : f.frame;
  std::string hex;
  AppendHexText(hex, bytes.data(), bytes.size());
  if (!hex.empty()) hex.pop_back();  // the blank after the last byte
  return hex;
}

// --- Export ---

bool FrameList::Export(const std::string& out_path, const Layout& layout, HeadlessWindow& window,
                       std::int64_t* written) const {
  DecoderState state;
  state.CaptureFileName = path_;
  state.CaptureCopy = index_ != nullptr ? index_->CopyPath() : std::string();
  // A merge is written as packscope-convert --merge writes it: with each frame's receivers.
  std::unique_ptr<FrameSource> source;
  if (merged_) {
    source = merged_->Source(rows_snapshot_);
    state.Source = source.get();
    state.CaptureFileName = merged_->Captures().front();
  }
  std::optional<CaptureFilter> predicate;
  if (rows_filter_) {
    predicate.emplace(*rows_filter_);
    state.FrameFilter = &*predicate;
  }
  // As the converter runs a layout: the window's AX.25 decoder only for the window's layouts.
  window.SetCheck2(layout.kind != LayoutKind::kFrameWriter);
  const bool ok = RunLayout(state, window, layout, out_path);
  if (written != nullptr) *written = predicate ? predicate->Kept() : frames_total_;
  return ok;
}

}  // namespace packscope
