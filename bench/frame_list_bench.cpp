// frame_list_bench: the frame list window (FrameListWindow) on the offscreen platform over the
// index benchmark's captures: a 29 MB one (--seed 3 --frames 500000 --max-length 68: 500,000
// radio frames, 1,000,000 frames with the stamps) and a 1 GB one (--seed 3 --size 1000000000).
//
//   first rows      from OpenCapture to the table painted with its first rows
//   read            until the capture is indexed, every row listed and the survey done
//   scroll          a repaint of the table at ten places, the slowest (ms)
//   select          a row selected: its details and bytes made, the three views repainted, the
//                   slowest of ten (ms)
//   filter          ApplyFilter to every frame it keeps listed (two filters: one reading AX.25
//                   fields and findings, one the stamp and the type byte)
//   statistics      the first filter's statistics: ApplyFilter to the survey of its rows done
//   sort            a sort by Source and by Info, each from the capture order
//   peak RSS        of the whole round (the child process)
//
//   build/bench/frame_list_bench                      both captures, one round each
//   build/bench/frame_list_bench --small --rounds 3   the 29 MB capture alone
//   build/bench/frame_list_bench --stations           two 58 MB captures of 1,000,000 UI frames
//       alike but for their sources: all from one station, and each from a station of its own
//       (--seed 3 --frames 1000000 --max-length 68 --stations 1 / 1000000); no sorts
//
// Each capture runs in a child process of its own. The captures are written once to
// $TMPDIR/packscope-bench (default /tmp), under index_bench's names, and reused.
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "ui/bytes_view.h"
#include "ui/frame_list_window.h"
#include "ui/frame_table_model.h"
#include "ui/pass_lanes.h"

namespace packscope {
namespace {

constexpr int kWaitMs = 600000;
const char* const kAx25Filter = "call ~ \"^QQ[0-4]\" and type in {UI, I, RR} and not problem";
const char* const kStampFilter = "time >= 2016-01-01T13:00 and port == 0";

struct Round {
  double first_rows_ms = 0;
  double read_ms = 0;
  double scroll_ms = 0;  // slowest
  double select_ms = 0;  // slowest
  double ax25_filter_ms = 0;
  double stamp_filter_ms = 0;
  double ax25_statistics_ms = 0;
  double sort_source_ms = 0;
  double sort_info_ms = 0;
  long rows = 0;
  long ax25_rows = 0;
  long stamp_rows = 0;
  long read_rss_kb = 0;    // the peak once read, listed and surveyed
  long filter_rss_kb = 0;  // the peak once both filters are done
  long rss_kb = 0;
};

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

void Fail(const char* what) {
  std::fprintf(stderr, "frame_list_bench: %s\n", what);
  std::exit(1);
}

Round RunRound(const std::string& capture, bool sort) {
  int argc = 1;
  char name[] = "frame_list_bench";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("packscope-bench"));
  FrameListWindow window;
  window.SetErrorReporter([](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });
  window.resize(1200, 800);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) Fail("the window was not shown");
  QTableView* table = window.Table();
  FrameTableModel* model = window.Model();
  Round r;
  QElapsedTimer t;
  t.start();
  window.OpenCapture(capture);
  while (model->rowCount() < 30) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (!window.Busy() && model->rowCount() < 30) Fail("no rows");
  }
  table->viewport()->repaint();
  r.first_rows_ms = Ms(t);
  if (!window.WaitUntilIdle(kWaitMs)) Fail("reading took too long");
  r.read_ms = Ms(t);
  r.rows = model->rowCount();
  r.read_rss_kb = bench::PeakRssKbSoFar();

  for (int i = 0; i < 10; ++i) {
    QScrollBar* bar = table->verticalScrollBar();
    t.restart();
    bar->setValue(static_cast<int>(static_cast<long>(bar->maximum()) * (i * 37 % 10) / 9));
    table->viewport()->repaint();
    r.scroll_ms = std::max(r.scroll_ms, Ms(t));
    const int row = table->rowAt(table->viewport()->height() / 2);
    t.restart();
    table->setCurrentIndex(model->index(row, 0));
    table->viewport()->repaint();
    window.Details()->viewport()->repaint();
    window.Bytes()->viewport()->repaint();
    r.select_ms = std::max(r.select_ms, Ms(t));
  }

  const auto filter = [&](const char* expression, double& ms, long& rows, double* statistics_ms) {
    t.restart();
    if (!window.ApplyFilter(QString::fromUtf8(expression))) Fail("the filter did not parse");
    if (!window.WaitUntilIdle(kWaitMs, kRowsLane)) Fail("the filter took too long");
    table->viewport()->repaint();
    ms = Ms(t);
    rows = model->rowCount();
    if (!window.WaitUntilIdle(kWaitMs)) Fail("the statistics took too long");
    if (statistics_ms != nullptr) *statistics_ms = Ms(t);
  };
  filter(kAx25Filter, r.ax25_filter_ms, r.ax25_rows, &r.ax25_statistics_ms);
  filter(kStampFilter, r.stamp_filter_ms, r.stamp_rows, nullptr);
  r.filter_rss_kb = bench::PeakRssKbSoFar();
  if (sort) {
    window.ApplyFilter(QString());
    const auto sort_by = [&](FrameColumn column, double& ms) {
      model->sort(0, Qt::AscendingOrder);  // back to the capture order first
      if (!window.WaitUntilIdle(kWaitMs)) Fail("the sort took too long");
      t.restart();
      model->sort(static_cast<int>(column), Qt::AscendingOrder);
      if (!window.WaitUntilIdle(kWaitMs)) Fail("the sort took too long");
      table->viewport()->repaint();
      ms = Ms(t);
    };
    sort_by(FrameColumn::kSource, r.sort_source_ms);
    sort_by(FrameColumn::kInfo, r.sort_info_ms);
  }
  return r;
}

}  // namespace
}  // namespace packscope

int main(int argc, char** argv) {
  packscope::MapLargeBlocksApart();  // as the program does
  using namespace packscope;
  int rounds = 1;
  bool small_only = false;
  bool stations = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--small") {
      small_only = true;
    } else if (a == "--stations") {
      stations = true;
    } else {
      std::fprintf(stderr, "usage: frame_list_bench [--small | --stations] [--rounds N]\n");
      return 2;
    }
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The bench's settings are its own, not the user's.
  const std::string config = std::filesystem::temp_directory_path() / "packscope-bench-config";
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  struct Case {
    std::vector<std::string> args;
    bool sort;
  };
  std::vector<Case> cases = {{{"--seed", "3", "--frames", "500000", "--max-length", "68"}, true}};
  if (!small_only) cases.push_back({{"--seed", "3", "--size", "1000000000"}, true});
  if (stations) {
    cases.clear();
    for (const char* n : {"1", "1000000"}) {
      cases.push_back(
          {{"--seed", "3", "--frames", "1000000", "--max-length", "68", "--stations", n}, false});
    }
  }
  std::printf(
      "| capture | MB | rows | first rows, ms | read, listed, surveyed, s | scroll repaint, ms "
      "(slowest) | select, ms (slowest) | filter AX.25 fields, s (rows) | filter stamp and port, "
      "s (rows) | its statistics, s | sort by Source, s | sort by Info, s | peak RSS MB (once "
      "read; once filtered) |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Case& c : cases) {
    const std::string capture = bench::GeneratedCapture(c.args, "frame_list_bench");
    for (int i = 0; i < rounds; ++i) {
      Round r;
      if (!bench::RoundInChild([&] { return RunRound(capture, c.sort); }, r)) {
        std::fprintf(stderr, "frame_list_bench: a round over %s failed\n", capture.c_str());
        return 1;
      }
      std::string args;
      for (const std::string& a : c.args) args += (args.empty() ? "" : " ") + a;
      std::printf(
          "| `%s` | %.0f | %ld | %.0f | %.2f | %.1f | %.1f | %.2f (%ld) | %.2f (%ld) | %.2f | "
          "%.2f | %.2f | %.0f (%.0f; %.0f) |\n",
          args.c_str(), static_cast<double>(std::filesystem::file_size(capture)) / 1e6, r.rows,
          r.first_rows_ms, r.read_ms / 1000, r.scroll_ms, r.select_ms, r.ax25_filter_ms / 1000,
          r.ax25_rows, r.stamp_filter_ms / 1000, r.stamp_rows, r.ax25_statistics_ms / 1000,
          r.sort_source_ms / 1000, r.sort_info_ms / 1000, static_cast<double>(r.rss_kb) / 1024,
          static_cast<double>(r.read_rss_kb) / 1024, static_cast<double>(r.filter_rss_kb) / 1024);
      std::fflush(stdout);
    }
  }
  return 0;
}
