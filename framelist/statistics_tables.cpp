#include "framelist/statistics_tables.h"

#include <algorithm>

#include "commands/frame_text.h"
#include "framelist/frame_list_text.h"
#include "render/hex.h"

namespace packscope {
namespace {

enum HeardColumn { kStation, kFrames, kFirst, kLast, kDestinations, kPaths };

std::string TimeText(const std::optional<std::int64_t>& millis) {
  return millis ? IsoStampText(*millis) : std::string();
}

// "APRS 2, QQ5BBS-1 1", most frequent first.
std::string CountsText(const HeardCounts& counts) {
  HeardCounts sorted = counts;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::string text;
  for (const auto& [key, n] : sorted) {
    if (!text.empty()) text.append(", ");
    AppendPrintable(text, key);
    text.append(" ").append(std::to_string(n));
  }
  return text;
}

class HeardListTable : public StatTable {
 public:
  explicit HeardListTable(HeardList heard) : heard_(std::move(heard)) { heard_.Sort(); }

  const std::string& Title() const override { return title_; }
  const std::vector<StatColumn>& Columns() const override { return columns_; }
  std::size_t RowCount() const override { return heard_.Size(); }

  std::string Cell(std::size_t i, int column) const override {
    switch (column) {
      case kStation: {
        std::string printable;
        AppendPrintable(printable, heard_.Call(i));
        return printable;
      }
      case kFrames:
        return std::to_string(heard_.Frames(i));
      case kFirst:
        return TimeText(heard_.First(i));
      case kLast:
        return TimeText(heard_.Last(i));
      case kDestinations:
        return CountsText(heard_.Station(i).destinations);
      case kPaths:
        return CountsText(heard_.Station(i).paths);
      default:
        return {};
    }
  }

  std::string RowFilter(std::size_t i) const override { return StationFilter(heard_.Call(i)); }

  std::vector<std::uint32_t> Order(int column, bool descending) const override {
    std::vector<std::uint32_t> rows(heard_.Size());
    for (std::uint32_t i = 0; i < rows.size(); ++i) rows[i] = i;
    const auto by = [&](auto&& key) {
      std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
        return descending ? key(b) < key(a) : key(a) < key(b);
      });
    };
    switch (column) {
      case kStation:  // the callsign order itself
        if (descending) std::reverse(rows.begin(), rows.end());
        break;
      case kFrames:
        by([this](std::uint32_t i) { return heard_.Frames(i); });
        break;
      case kFirst:
        by([this](std::uint32_t i) { return heard_.First(i); });
        break;
      case kLast:
        by([this](std::uint32_t i) { return heard_.Last(i); });
        break;
      case kDestinations:
      case kPaths: {
        // The texts of every row, for the time of the sort.
        std::vector<std::string> texts(rows.size());
        for (std::uint32_t i = 0; i < texts.size(); ++i) texts[i] = Cell(i, column);
        by([&texts](std::uint32_t i) -> const std::string& { return texts[i]; });
        break;
      }
      default:
        break;
    }
    return rows;
  }

  int FirstSortColumn() const override { return kFrames; }
  bool FirstSortDescending() const override { return true; }

 private:
  HeardList heard_;
  const std::string title_ = "Stations";
  const std::vector<StatColumn> columns_ = {{"Station", false},      {"Frames", true},
                                            {"First heard", false},  {"Last heard", false},
                                            {"Destinations", false}, {"Paths", false}};
};

}  // namespace

std::shared_ptr<const StatTable> HeardTable(HeardList heard) {
  return std::make_shared<const HeardListTable>(std::move(heard));
}

std::size_t SurveyStatistics::Rows() const {
  std::size_t rows = 0;
  for (const auto& t : tables) rows += t->RowCount();
  return rows;
}

SurveyStatistics MakeStatistics(CaptureSurvey& survey) {
  SurveyStatistics statistics;
  statistics.frames = survey.frames;
  statistics.bins = BinTraffic(survey.minutes, kMostChartBars);
  statistics.tables.push_back(HeardTable(std::move(survey.heard)));
  statistics.positions = std::make_shared<const PositionCollector>(std::move(survey.positions));
  return statistics;
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
