// The frame list's statistics as the window shows them: tables (the heard list, one row per
// station with a filter expression that picks its frames) and the traffic chart's bins, made
// from a survey when its pass ends, so that the survey itself (which grows with the stations,
// paths and minutes of the capture) is not kept. More tables (conversations, receivers) are more
// functions of the kind of HeardTable; the statistics tab shows whatever tables it is given.
#ifndef PACKSCOPE_FRAMELIST_STATISTICS_TABLES_H_
#define PACKSCOPE_FRAMELIST_STATISTICS_TABLES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "framelist/capture_survey.h"

namespace packscope {

struct StatColumn {
  std::string title;
  bool numeric = false;  // sorts by number, aligned right
};

struct StatRow {
  std::vector<std::string> cells;  // UTF-8, one per column
  std::string filter;              // the frames the row stands for; empty: none
};

struct StatTable {
  std::string title;  // "Stations"
  std::vector<StatColumn> columns;
  std::vector<StatRow> rows;
  // Which column a view sorts by first (descending when numeric).
  int sort_column = 0;
};

// The chart has at most this many bars.
inline constexpr int kMostChartBars = 60;

struct SurveyStatistics {
  std::int64_t frames = 0;  // frames surveyed
  std::vector<StatTable> tables;
  TrafficBins bins;  // at most kMostChartBars
};
SurveyStatistics MakeStatistics(const CaptureSurvey& survey);

// The heard list: Station, Frames, First heard, Last heard, Destinations, Paths ("APRS 2,
// QQ5BBS-1 1", most frequent first); a row's filter picks the station's frames (StationFilter).
StatTable HeardTable(const CaptureSurvey& survey);

// The span of a chart's bin in words: "minute", "2 minutes", "hour", "6 hours", "day", "2 days".
std::string BinWidthText(std::int64_t minutes);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_STATISTICS_TABLES_H_
