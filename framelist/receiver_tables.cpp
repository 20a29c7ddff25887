#include "framelist/receiver_tables.h"

#include <algorithm>
#include <limits>
#include <map>

#include "ax25/ax25_details.h"
#include "capture/frame_findings.h"
#include "commands/receiver_tally.h"
#include "framelist/capture_survey.h"
#include "framelist/frame_list_text.h"
#include "framelist/frame_reader.h"
#include "framelist/frame_row.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr std::int64_t kStep = 4096;

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// A small table whose texts are made at once: a row per receiver, station or span of time.
class TextTable : public StatTable {
 public:
  struct Row {
    std::vector<std::string> cells;
    std::vector<std::int64_t> numbers;  // of the numeric columns, in their order
    std::string filter;
  };
  TextTable(std::string title, std::vector<StatColumn> columns, std::vector<Row> rows,
            int first_sort, bool first_descending)
      : title_(std::move(title)),
        columns_(std::move(columns)),
        rows_(std::move(rows)),
        first_sort_(first_sort),
        first_descending_(first_descending) {}

  const std::string& Title() const override { return title_; }
  const std::vector<StatColumn>& Columns() const override { return columns_; }
  std::size_t RowCount() const override { return rows_.size(); }
  std::string Cell(std::size_t row, int column) const override {
    return row < rows_.size() && column >= 0 && column < static_cast<int>(columns_.size())
               ? rows_[row].cells[static_cast<std::size_t>(column)]
               : std::string();
  }
  std::string RowFilter(std::size_t row) const override {
    return row < rows_.size() ? rows_[row].filter : std::string();
  }
  std::vector<std::uint32_t> Order(int column, bool descending) const override {
    std::vector<std::uint32_t> order(rows_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    if (column < 0 || column >= static_cast<int>(columns_.size())) return order;
    const auto c = static_cast<std::size_t>(column);
    // A numeric column's place among the numbers.
    std::size_t n = 0;
    for (std::size_t k = 0; k < c; ++k) n += columns_[k].numeric ? 1 : 0;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
      const Row& p = rows_[descending ? y : x];
      const Row& q = rows_[descending ? x : y];
      return columns_[c].numeric ? p.numbers[n] < q.numbers[n] : p.cells[c] < q.cells[c];
    });
    return order;
  }
  int FirstSortColumn() const override { return first_sort_; }
  bool FirstSortDescending() const override { return first_descending_; }

 private:
  std::string title_;
  std::vector<StatColumn> columns_;
  std::vector<Row> rows_;
  int first_sort_;
  bool first_descending_;
};

// What one station or span of time counts of two receivers.
struct Shares {
  std::int64_t both = 0;
  std::int64_t only_a = 0;
  std::int64_t only_b = 0;
};

TextTable::Row SharesRow(std::string first, const Shares& s, std::string filter) {
  return {{std::move(first), std::to_string(s.both), std::to_string(s.only_a),
           std::to_string(s.only_b)},
          {s.both, s.only_a, s.only_b},
          std::move(filter)};
}

std::vector<StatColumn> SharesColumns(std::string first, const std::string& a,
                                      const std::string& b) {
  return {{std::move(first), false}, {"Both", true}, {"Only " + a, true}, {"Only " + b, true}};
}

}  // namespace

std::shared_ptr<const StatTable> ReceiversTable(const MergedCapture& merged,
                                                const std::vector<std::int64_t>* frames) {
  ReceiverTally tally;
  tally.SetNames(merged.Names());
  std::vector<Reception> heard;
  FrameReceivers receivers;
  receivers.names = merged.Names();
  const auto add = [&](std::int64_t frame) {
    merged.HeardOf(frame, heard);
    if (heard.empty()) return;  // a timestamp frame
    receivers.heard = heard;
    tally.Add(receivers);
  };
  if (frames != nullptr) {
    for (const std::int64_t frame : *frames) add(frame);
  } else {
    for (std::int64_t frame = 0; frame < merged.FrameCount(); ++frame) add(frame);
  }
  std::vector<TextTable::Row> rows;
  for (const ReceiverSummary& s : tally.Summary()) {
    const std::string offset = s.offset_ms ? std::to_string(*s.offset_ms) : std::string();
    rows.push_back({{s.name, std::to_string(s.frames), std::to_string(s.only_here),
                     std::to_string(s.missed), offset},
                    {s.frames, s.only_here, s.missed,
                     s.offset_ms.value_or(std::numeric_limits<std::int64_t>::min())},
                    "heard_by == " + FilterValue(s.name)});
  }
  return std::make_shared<const TextTable>("Receivers",
                                           std::vector<StatColumn>{{"Receiver", false},
                                                                   {"Frames", true},
                                                                   {"Only here", true},
                                                                   {"Missed", true},
                                                                   {"Clock offset (ms)", true}},
                                           std::move(rows), 0, false);
}

DetailNode ReceiversDetail(const MergedCapture& merged, std::int64_t frame) {
  std::vector<Reception> heard;
  merged.HeardOf(frame, heard);
  DetailNode node;
  node.text = heard.size() == 1 ? "Heard by 1 receiver"
                                : "Heard by " + std::to_string(heard.size()) + " receivers";
  node.value = merged.HeardText(frame);
  node.filter = "heard_count == " + std::to_string(heard.size());
  for (const Reception& r : heard) {
    const std::string& name = merged.Names()[static_cast<std::size_t>(r.receiver)];
    DetailNode child;
    // Its reception against the packet's time (the first reception of all).
    child.text = name + " " + (r.offset_ms >= 0 ? "+" : "") + DeltaText(r.offset_ms) + " s";
    child.value = name;
    child.filter = "heard_by == " + FilterValue(name);
    node.children.push_back(std::move(child));
  }
  return node;
}

std::string DifferenceFilter(const std::string& a, const std::string& b) {
  const std::string ha = "heard_by == " + FilterValue(a);
  const std::string hb = "heard_by == " + FilterValue(b);
  return "(" + ha + " or " + hb + ") and not (" + ha + " and " + hb + ")";
}

PassEnd CompareReceivers(const MergedCapture& merged, const IndexSnapshot& snapshot,
                         const std::vector<std::int64_t>& frames, int a, int b,
                         ReceiverComparison& out, const std::atomic<bool>* cancel,
                         const PassProgress& progress) {
  ReceiverComparison result;
  result.a = a;
  result.b = b;
  std::map<std::string, Shares> stations;
  std::map<std::int64_t, TrafficCounts> minutes;  // 0: both, 1: only a, 2: only b
  FrameReader reader(snapshot, std::size_t{1} << 20);
  StampTimes times(snapshot);
  StoredFrame frame;
  Ax25Details details;
  std::vector<Reception> heard;
  const auto total = static_cast<std::int64_t>(frames.size());
  for (std::int64_t i = 0; i < total; ++i) {
    if (i % kStep == 0) {
      if (Cancelled(cancel)) return PassEnd::kCancelled;
      if (progress) progress(i, total);
    }
    const std::int64_t k = frames[static_cast<std::size_t>(i)];
    merged.HeardOf(k, heard);
    bool by_a = false;
    bool by_b = false;
    for (const Reception& r : heard) {
      by_a = by_a || r.receiver == a;
      by_b = by_b || r.receiver == b;
    }
    if (!by_a && !by_b) continue;
    const int share = by_a && by_b ? 0 : (by_a ? 1 : 2);
    (share == 0 ? result.both : share == 1 ? result.only_a : result.only_b) += 1;
    std::string station = "(no AX.25)";
    if (reader.Read(k, frame) && IsDataFrame(frame.Kiss())) {
      DescribeAx25(frame.Kiss(), details);
      if (details.problem == Ax25Problem::kNone) station = details.source.call;
    }
    Shares& s = stations[station];
    (share == 0 ? s.both : share == 1 ? s.only_a : s.only_b) += 1;
    if (const std::optional<std::int64_t> t = times.FrameMillis(k)) {
      minutes[MinuteOf(*t)][static_cast<std::size_t>(share)] += 1;
    }
  }
  const std::string& name_a = merged.Names()[static_cast<std::size_t>(a)];
  const std::string& name_b = merged.Names()[static_cast<std::size_t>(b)];
  const std::string differ = DifferenceFilter(name_a, name_b);
  std::vector<TextTable::Row> station_rows;
  for (const auto& [call, s] : stations) {
    const std::string filter =
        call == "(no AX.25)" ? std::string() : StationFilter(call) + " and " + differ;
    std::string printable;
    AppendPrintable(printable, call);
    station_rows.push_back(SharesRow(std::move(printable), s, filter));
  }
  result.stations = std::make_shared<const TextTable>(
      "By station", SharesColumns("Station", name_a, name_b), std::move(station_rows), 2, true);
  // The chart's bins: the counts of the three shares in its first three kinds.
  const TrafficBins bins = BinTraffic(minutes, kMostChartBars);
  std::vector<TextTable::Row> time_rows;
  for (std::size_t i = 0; i < bins.bins.size(); ++i) {
    const TrafficCounts& c = bins.bins[i];
    if (c[0] + c[1] + c[2] == 0) continue;
    const std::int64_t first =
        bins.first_minute + static_cast<std::int64_t>(i) * bins.minutes_per_bin;
    time_rows.push_back(SharesRow(MinuteText(first), Shares{c[0], c[1], c[2]},
                                  TimeSpanFilter(first, bins.minutes_per_bin) + " and " + differ));
  }
  result.times = std::make_shared<const TextTable>(
      "By time (" + BinWidthText(bins.minutes_per_bin) + ")", SharesColumns("From", name_a, name_b),
      std::move(time_rows), 0, false);
  out = std::move(result);
  return PassEnd::kDone;
}

}  // namespace packscope
