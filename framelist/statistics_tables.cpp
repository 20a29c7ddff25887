#include "framelist/statistics_tables.h"

#include <algorithm>

#include "commands/frame_text.h"
#include "framelist/frame_list_text.h"
#include "render/hex.h"

namespace packscope {
namespace {

std::string Printable(std::string_view bytes) {
  std::string out;
  AppendPrintable(out, bytes);
  return out;
}

std::string TimeText(const std::optional<std::int64_t>& millis) {
  return millis ? IsoStampText(*millis) : std::string();
}

std::string CountsText(const HeardCounts& counts) {
  std::vector<std::pair<std::string_view, std::int64_t>> sorted(counts.begin(), counts.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::string text;
  for (const auto& [key, n] : sorted) {
    if (!text.empty()) text += ", ";
    text += Printable(key) + " " + std::to_string(n);
  }
  return text;
}

}  // namespace

StatTable HeardTable(const CaptureSurvey& survey) {
  StatTable table;
  table.title = "Stations";
  table.columns = {{"Station", false},    {"Frames", true},        {"First heard", false},
                   {"Last heard", false}, {"Destinations", false}, {"Paths", false}};
  table.sort_column = 1;
  for (const auto& [call, s] : survey.heard.Stations()) {
    table.rows.push_back({{Printable(call), std::to_string(s.frames), TimeText(s.first),
                           TimeText(s.last), CountsText(s.destinations), CountsText(s.paths)},
                          StationFilter(call)});
  }
  return table;
}

SurveyStatistics MakeStatistics(const CaptureSurvey& survey) {
  return {survey.frames, {HeardTable(survey)}, BinTraffic(survey.minutes, kMostChartBars)};
}

std::string BinWidthText(std::int64_t minutes) {
  const auto words = [](std::int64_t n, const char* unit) {
    return n == 1 ? std::string(unit) : std::to_string(n) + " " + unit + "s";
  };
  if (minutes % 1440 == 0) return words(minutes / 1440, "day");
  if (minutes % 60 == 0) return words(minutes / 60, "hour");
  return words(minutes, "minute");
}

}  // namespace packscope
