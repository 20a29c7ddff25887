// The frame list's columns and the texts of one row, made from a frame's index record, its stamp
// and, where a column needs them, its bytes read again (framelist/frame_reader.h):
//
//   No.   Time                     Delta  Port Source   Destination Path       Type PID Length Info
//   4     2016-01-01 12:35:17.726  20.937 0    QQ2XY-7  APRS        WIDE1-1*   UI   F0  54     ...
//
// No. counts every frame of the capture from 1, timestamp frames too (jsonl's "frame"). Time is
// the frame's stamp in UTC, ISO 8601 with milliseconds (a text stamp that gives no time as it is
// written). Delta: seconds since the frame listed before it in capture order. Port: the KISS
// port. Source, Destination, Path (digipeaters, "*" on those that have repeated it), Type (I, an
// S or U frame's name, "U code=N") and PID (hex) from the AX.25 header. Length: the AX.25 frame's
// bytes after un-escaping, without the type byte (the filter language's len). Info: the APRS
// field in plain words for an APRS frame, else the information field's printable text (bytes
// outside 0x20..0x7E as <0xNN>), or why the frame is not AX.25, in parentheses.
//
// Texts are UTF-8: callsigns and payloads as printable ASCII, the APRS line with its degree sign.
#ifndef PACKSCOPE_FRAMELIST_FRAME_ROW_H_
#define PACKSCOPE_FRAMELIST_FRAME_ROW_H_

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ax25/ax25_details.h"
#include "capture/frame_findings.h"
#include "filter/frame_facts.h"
#include "framelist/aprs_timeline.h"
#include "framelist/frame_reader.h"
#include "framelist/session_table.h"

namespace packscope {

enum class FrameColumn : int {
  kNumber,
  kTime,
  kDelta,
  kPort,
  kSource,
  kDestination,
  kPath,
  kType,
  kPid,
  kLength,
  kInfo,
};
inline constexpr int kFrameColumnCount = 11;

struct FrameColumnInfo {
  std::string_view title;
  bool numeric;  // sorts by number, aligned right
};
inline constexpr std::array<FrameColumnInfo, kFrameColumnCount> kFrameColumns = {{
    {"No.", true},
    {"Time", true},
    {"Delta", true},
    {"Port", true},
    {"Source", false},
    {"Destination", false},
    {"Path", false},
    {"Type", false},
    {"PID", true},
    {"Length", true},
    {"Info", false},
}};

inline const FrameColumnInfo& ColumnInfo(FrameColumn c) {
  return kFrameColumns[static_cast<std::size_t>(c)];
}

// A column behind the frame's own, whose texts come from elsewhere (which receivers heard a
// frame of a merged list, the session of a connected-mode frame): text(frame) for the frame's
// index number. The table and the passes that sort and find call it, on any thread.
struct ExtraColumn {
  std::string title;
  bool numeric = false;  // sorts by number (a text that is none first), aligned right
  std::function<std::string(std::int64_t frame)> text;
};
using ExtraColumns = std::shared_ptr<const std::vector<ExtraColumn>>;
inline constexpr int kMostExtraColumns = 40;

// Which columns to make: bits of ColumnBit, the frame's own and the extra ones behind them.
using ColumnMask = std::uint64_t;
inline constexpr ColumnMask ColumnBit(int column) { return ColumnMask{1} << column; }
inline constexpr ColumnMask ColumnBit(FrameColumn c) { return ColumnBit(static_cast<int>(c)); }
inline constexpr ColumnMask kAllColumns = (ColumnMask{1} << kFrameColumnCount) - 1;
inline constexpr ColumnMask kExtraColumnBits =
    ((ColumnMask{1} << (kFrameColumnCount + kMostExtraColumns)) - 1) & ~kAllColumns;
// Beside the columns: the row's findings and their words (the table's mark and tooltip), and the
// colouring rule it matches.
inline constexpr ColumnMask kRowFindings = ColumnMask{1} << 63;
inline constexpr ColumnMask kRowColour = ColumnMask{1} << 62;
inline constexpr ColumnMask kWholeRow = kAllColumns | kExtraColumnBits | kRowFindings | kRowColour;

struct FrameRow {
  std::array<std::string, kFrameColumnCount> text;
  std::vector<std::string> extra;  // the extra columns' texts
  FrameFindings findings;
  // One line per finding ("damage: recovered: ...", FindingsText); empty without findings.
  std::string findings_text;
  int colour = -1;  // the first colouring rule the frame matches; -1: none
  // False when the capture no longer holds the frame as indexed: the texts that need its bytes
  // are empty.
  bool held = true;
};

// The text of a column (the frame's own or an extra one); empty beyond them.
const std::string& CellText(const FrameRow& row, int column);

// The colouring rules of rows, compiled (framelist/colouring.h).
class Colouring;

// What the texts of rows read beyond the frame itself: the capture's telemetry definitions (for
// the APRS decoding), the extra columns, the colouring rules.
struct RowSources {
  RowSources(DefinitionFrames d = {}) : definitions(std::move(d)) {}  // NOLINT: implicit
  DefinitionFrames definitions;
  ExtraColumns columns;
  std::shared_ptr<const Colouring> colouring;
  // The capture's sessions: I and S frames of modulo-128 sessions read with two control bytes.
  std::shared_ptr<const SessionTable> sessions;
};

// The rows' frames (index numbers), shared between the rows and the passes that read them.
using RowList = std::shared_ptr<const std::vector<std::int64_t>>;

// "2016-01-01 12:34:56.789"; a text stamp that gives no time as it is (printable); empty before
// the first stamp.
std::string FrameTimeText(StampTimes& times, std::int64_t stamp);
// Seconds with three decimals, "20.937", "-1.500".
std::string DeltaText(std::int64_t millis);

// The filter language's facts of a frame read out of capture order: its bytes and place, the
// AX.25 reading, and, when needs ask for APRS fields or the findings, its APRS decoding with the
// definitions sent before it (aprs). The filter then reads the frame as a pass over the capture
// would.
void DescribeStoredFrame(FrameFacts& facts, const StoredFrame& frame, const FrameRecord& record,
                         const std::optional<std::int64_t>& time, AprsTimeline& aprs,
                         FrameNeeds needs);

// Makes rows. One thread per formatter.
class FrameFormatter {
 public:
  // read_ahead as FrameReader's; the sources' definitions as AprsTimeline's.
  FrameFormatter(IndexSnapshot snapshot, RowSources sources, std::size_t read_ahead = 0);

  // The row of frame (index number). previous: the frame listed before it in capture order, -1
  // for none (Delta). Only the columns of mask are made, the findings with kRowFindings and the
  // colouring with kRowColour (the others are left as they were): a pass that sorts or finds by
  // some columns decodes no more than they need.
  void Format(std::int64_t frame, std::int64_t previous, FrameRow& row,
              ColumnMask mask = kWholeRow);
  // The extra columns (none: 0).
  int ExtraCount() const;

  // The capture's sessions (framelist/session_table.h): I and S frames of modulo-128 sessions
  // are then read with two control bytes. Without them every frame is read modulo 8.
  void SetSessions(std::shared_ptr<const SessionTable> sessions) {
    sessions_ = std::move(sessions);
  }

  StampTimes& Times() { return times_; }
  const IndexSnapshot& Snapshot() const { return reader_.Snapshot(); }
  // The bytes and the AX.25 reading of the frame Format read last (when its mask needed them).
  const StoredFrame& LastFrame() const { return frame_; }
  const Ax25Details& LastDetails() const { return details_; }
  AprsTimeline& Aprs() { return aprs_; }

 private:
  void Colour(const FrameRecord& record, FrameRow& row);

  FrameReader reader_;
  StampTimes times_;
  AprsTimeline aprs_;
  RowSources sources_;
  StoredFrame frame_;
  Ax25Details details_;
  std::shared_ptr<const SessionTable> sessions_;
};

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_FRAME_ROW_H_
