// display_bench: the real main window Form1 on the offscreen platform over captures of any size,
// read through the frame index: the capture named as on the command line (File > Open's road),
// timed from the window shown to the first screen painted and to the whole capture read and laid
// out; then the user's next steps on the full display, each with its repaint: Ctrl+End, the
// scroll bar's thumb dragged to the middle, Page Down, Decode Kissframe clicked (the other view,
// nothing read again), a five-line mouse selection and its copy, Select All; then the screen dump
// (Write Logfile) of captures up to 100 MB. Peak RSS of each round (own process).
//
//   build/bench/display_bench                      the 29 MB and the 1 GB capture, 3 rounds each
//   build/bench/display_bench --rounds 1 -- --seed 3 --frames 500000 --max-length 68
//   build/bench/display_bench --markdown bench/display.md
//   build/bench/display_bench --rounds 1 --dump-up-to 2000000000    the 1 GB screen dump too
//
// Captures come from the capture generator (options as packscope-gencapture's) and are written
// once to $TMPDIR/packscope-bench (default /tmp), under the names index_bench gives them, and
// reused; a first run writes them, so that the file is in the page cache as a capture just
// recorded or opened before would be. Prints the median of the rounds.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "commands/commands.h"
#include "gencapture/capture_generator.h"
#include "ui/display_widget.h"
#include "ui/form1.h"
#include "ui/pass_lanes.h"
#include "ui/qt_window.h"

namespace packscope {
namespace {

// Captures up to this size are also written out as a screen dump (--dump-up-to BYTES).
std::int64_t dump_up_to = 100000000;

// Times of one round, in milliseconds, and the child's peak RSS.
struct Round {
  double first_ms = 0;    // window shown to the first screen painted with frames
  double whole_ms = 0;    // window shown to the whole capture read, laid out and painted
  double end_ms = 0;      // Ctrl+End and its repaint
  double thumb_ms = 0;    // the thumb to the middle and its repaint
  double page_ms = 0;     // Page Down and its repaint
  double check1_ms = 0;   // Decode Kissframe clicked, and the repaint
  double select_ms = 0;   // mouse selection over five lines and its repaint
  double copy_ms = 0;     // copy of that selection
  double all_ms = 0;      // Select All and its repaint
  double dump_ms = -1;    // Write Logfile (-1: not measured)
  long rss_shown_kb = 0;  // memory in use with the whole capture shown
  double capture_mb = 0;
  double text_mb = 0;  // the display's text the frames stand for
  long lines = 0;
  long frames = 0;
  long rss_kb = 0;  // peak
};

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

// Resident memory of this process now, in kB.
long RssKb() {
  long pages = 0;
  long resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The time of the first paint of the display that shows a screenful of frames.
class FirstScreen : public QObject {
 public:
  FirstScreen(DisplayWidget& display, const QElapsedTimer& clock)
      : display_(display), clock_(clock) {}
  double ms = -1;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (ms < 0 && event->type() == QEvent::Paint &&
        display_.Source().LineCount() > display_.PageLines()) {
      // The paint runs after this filter: time it too.
      display_.viewport()->removeEventFilter(this);
      QApplication::sendEvent(watched, event);
      ms = Ms(clock_);
      return true;
    }
    return false;
  }

 private:
  DisplayWidget& display_;
  const QElapsedTimer& clock_;
};

// Runs action and repaints the display; the time it took.
template <typename Action>
double Timed(QWidget* view, Action&& action) {
  QElapsedTimer t;
  t.start();
  action();
  view->repaint();
  return Ms(t);
}

Round RunRound(const std::string& capture) {
  int argc = 1;
  char name[] = "display_bench";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  Form1 form;
  form.resize(1000, 700);
  form.SetErrorReporter([](const QString& message) {
    std::fprintf(stderr, "display_bench: %s\n", qPrintable(message));
  });
  auto* display = form.findChild<DisplayWidget*>(QStringLiteral("RichTextBox1"));
  if (display == nullptr) {
    std::fprintf(stderr, "display_bench: no display widget\n");
    std::exit(1);
  }
  QWidget* view = display->viewport();
  QElapsedTimer clock;
  FirstScreen first(*display, clock);
  view->installEventFilter(&first);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) {
    std::fprintf(stderr, "display_bench: the window was not shown\n");
    std::exit(1);
  }
  Round r;
  // As the program opens a capture named on its command line: once the window is up.
  clock.start();
  form.OpenPaths({capture});
  QApplication::processEvents();
  view->repaint();
  r.whole_ms = Ms(clock);
  r.first_ms = first.ms;
  const DisplaySource& text = display->Source();
  r.capture_mb = static_cast<double>(std::filesystem::file_size(capture)) / 1e6;
  r.text_mb = static_cast<double>(text.Size()) / 1e6;
  r.lines = static_cast<long>(text.LineCount());
  r.frames = static_cast<long>(form.State().FrameCount);
  r.rss_shown_kb = RssKb();

  QScrollBar* vertical = display->verticalScrollBar();
  r.end_ms = Timed(view, [&] {
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(display, &end);
  });
  r.thumb_ms = Timed(view, [&] { vertical->setValue(vertical->maximum() / 2); });
  r.page_ms = Timed(view, [&] {
    QKeyEvent page(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(display, &page);
  });
  auto* check1 = form.findChild<QCheckBox*>(QStringLiteral("Check1"));
  r.check1_ms = Timed(view, [&] { check1->click(); });
  const int h = display->LineHeight();
  r.select_ms = Timed(view, [&] {
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(40, h / 2));
    QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(300, 5 * h + h / 2));
  });
  QElapsedTimer t;
  t.start();
  display->Copy();
  r.copy_ms = Ms(t);
  r.all_ms = Timed(view, [&] { display->SelectAll(); });

  if (static_cast<std::int64_t>(std::filesystem::file_size(capture)) <= dump_up_to) {
    const std::string log = capture + ".bench.log";
    t.restart();
    if (WriteLogfile(form.State(), form.Host(), log)) r.dump_ms = Ms(t);
    std::filesystem::remove(log);
  }
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace
}  // namespace packscope

int main(int argc, char** argv) {
  packscope::MapLargeBlocksApart();  // as the program does
  using namespace packscope;
  std::vector<std::vector<std::string>> runs;
  int rounds = 3;
  std::string markdown;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--markdown" && i + 1 < argc) {
      markdown = argv[++i];
    } else if (a == "--dump-up-to" && i + 1 < argc) {
      dump_up_to = std::atoll(argv[++i]);
    } else if (a == "--") {
      runs.emplace_back(argv + i + 1, argv + argc);
      break;
    } else {
      std::fprintf(stderr,
                   "usage: display_bench [--rounds N] [--markdown FILE] [--dump-up-to BYTES] [-- "
                   "GENCAPTURE OPTIONS]\n");
      return 2;
    }
  }
  if (runs.empty()) {
    runs.push_back({"--seed", "3", "--frames", "500000", "--max-length", "68"});
    runs.push_back({"--seed", "3", "--size", "1000000000"});
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

  std::string table =
      "| capture | capture MB | frames | display text MB | lines | first screen, s | whole "
      "capture, s | peak RSS MB | RSS shown MB | Ctrl+End, ms | thumb to the middle, ms | Page "
      "Down, ms | Decode Kissframe, ms | select 5 lines, ms | copy them, ms | select all, ms | "
      "Write Logfile, s |\n|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (const auto& args : runs) {
    const std::string capture = bench::GeneratedCapture(args, "display_bench");
    std::string options;
    for (const std::string& a : args) options += (options.empty() ? "" : " ") + a;
    std::vector<Round> results;
    for (int i = 0; i < rounds; ++i) {
      Round r;
      if (!bench::RoundInChild([&] { return RunRound(capture); }, r)) {
        std::fprintf(stderr, "display_bench: round %d over %s failed\n", i + 1, capture.c_str());
        return 1;
      }
      results.push_back(r);
      std::fprintf(stderr,
                   "display_bench: %s, round %d of %d: first screen %.2f s, whole %.2f s, peak "
                   "%.0f MB\n",
                   options.c_str(), i + 1, rounds, r.first_ms / 1000, r.whole_ms / 1000,
                   static_cast<double>(r.rss_kb) / 1024);
    }
    auto med = [&](double Round::*field) {
      std::vector<double> v;
      for (const Round& r : results) v.push_back(r.*field);
      return Median(v);
    };
    long rss = 0;
    long rss_shown = 0;
    for (const Round& r : results) {
      rss = std::max(rss, r.rss_kb);
      rss_shown = std::max(rss_shown, r.rss_shown_kb);
    }
    const double dump = med(&Round::dump_ms);
    char dump_text[32] = "-";
    if (dump >= 0) std::snprintf(dump_text, sizeof dump_text, "%.2f", dump / 1000);
    char line[1024];
    std::snprintf(
        line, sizeof line,
        "| `%s` | %.1f | %ld | %.0f | %ld | %.2f | %.2f | %.0f | %.0f | %.1f | %.1f | %.1f "
        "| %.1f | %.1f | %.2f | %.1f | %s |\n",
        options.c_str(), results[0].capture_mb, results[0].frames, results[0].text_mb,
        results[0].lines, med(&Round::first_ms) / 1000, med(&Round::whole_ms) / 1000,
        static_cast<double>(rss) / 1024, static_cast<double>(rss_shown) / 1024, med(&Round::end_ms),
        med(&Round::thumb_ms), med(&Round::page_ms), med(&Round::check1_ms), med(&Round::select_ms),
        med(&Round::copy_ms), med(&Round::all_ms), dump_text);
    table += line;
  }
  const std::string header =
      "Display: Form1 on the offscreen platform, the capture opened as named on the command "
      "line; " +
      std::to_string(rounds) + " rounds, medians; peak RSS the largest.";
  std::printf("%s\n\n%s", header.c_str(), table.c_str());
  if (!markdown.empty()) {
    std::ofstream md(markdown);
    md << header << "\n\n" << table;
  }
  return 0;
}
