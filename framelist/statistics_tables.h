// The frame list's statistics as the window shows them: tables (the heard list, one row per
// station with a filter expression that picks its frames) and the traffic chart's bins, made
// from a survey when its pass ends. A table makes the text of a cell and the filter of a row when
// asked for, from the survey's compact records (the heard list takes some 80 bytes a station),
// so that a capture of a million stations costs its records, not a million rows of texts; it
// also gives its rows in the order of any column. More tables (conversations, receivers) are
// more implementations of StatTable; the statistics tab shows whatever tables it is given.
#ifndef PACKSCOPE_FRAMELIST_STATISTICS_TABLES_H_
#define PACKSCOPE_FRAMELIST_STATISTICS_TABLES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framelist/capture_survey.h"

namespace packscope {

struct StatColumn {
  std::string title;
  bool numeric = false;  // aligned right
};

// One table. Any thread may read it once it is made.
class StatTable {
 public:
  virtual ~StatTable() = default;
  virtual const std::string& Title() const = 0;  // "Stations"
  virtual const std::vector<StatColumn>& Columns() const = 0;
  virtual std::size_t RowCount() const = 0;
  // The text of a cell (UTF-8), and the filter of the frames a row stands for (empty: none).
  virtual std::string Cell(std::size_t row, int column) const = 0;
  virtual std::string RowFilter(std::size_t row) const = 0;
  // The rows (their numbers) in the order of column, the greatest first when descending; equal
  // ones in the table's own order.
  virtual std::vector<std::uint32_t> Order(int column, bool descending) const = 0;
  // The order a view shows first.
  virtual int FirstSortColumn() const { return 0; }
  virtual bool FirstSortDescending() const { return false; }
};
using StatTables = std::vector<std::shared_ptr<const StatTable>>;

// The heard list of a survey, taken from it: Station, Frames, First heard, Last heard,
// Destinations, Paths ("APRS 2, QQ5BBS-1 1", most frequent first), in callsign order, shown
// first by Frames, the most first; a row's filter picks the station's frames (StationFilter).
std::shared_ptr<const StatTable> HeardTable(HeardList heard);

// The chart has at most this many bars.
inline constexpr int kMostChartBars = 60;

struct SurveyStatistics {
  std::int64_t frames = 0;  // frames surveyed
  StatTables tables;
  TrafficBins bins;  // at most kMostChartBars
  // The map's positions of the frames surveyed.
  std::shared_ptr<const PositionCollector> positions;
  // The rows of all tables (what they hold grows with them).
  std::size_t Rows() const;
};
// The survey's statistics; its heard list and positions go into them.
SurveyStatistics MakeStatistics(CaptureSurvey& survey);

// The span of a chart's bin in words: "minute", "2 minutes", "hour", "6 hours", "day", "2 days".
std::string BinWidthText(std::int64_t minutes);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_STATISTICS_TABLES_H_
