// display_bench: the real main window Form1 on the offscreen platform, one File > Open (a Screen
// pass) over generated captures, timed from the command to the display filled, laid out and
// painted; then the user's next steps on the full display: scrolling to the end, a page down,
// a mouse selection of a few lines, Copy of it, Select All; last six clicks on Decode Kissframe
// (each a pass in the other view that keeps the frame in view), with the memory in use before
// and after them: passes over the same capture must not add to it.
//
//   build/bench/display_bench                          20,000 and 500,000 frames, 3 rounds each
//   build/bench/display_bench --frames 20000 --rounds 5
//   build/bench/display_bench --markdown bench/display.md
//
// Each round runs in a child process of its own, so that its peak RSS (getrusage of the child)
// is that of one pass. The captures (packscope-gencapture --seed 1 --frames N) are written once
// to $TMPDIR/packscope-bench and reused. Prints the median of the rounds.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture/decoder_state.h"
#include "gencapture/capture_generator.h"
#include "ui/display_widget.h"
#include "ui/form1.h"

namespace packscope {
namespace {

// Times of one round, in milliseconds, and the child's peak RSS.
struct Round {
  double open_ms = 0;       // command to display painted
  double pass_ms = 0;       // of which: the command itself (the pass)
  double end_ms = 0;        // scroll to the last line and paint
  double page_ms = 0;       // Page Down and paint
  double select_ms = 0;     // mouse selection over five lines and paint
  double copy_ms = 0;       // Copy of that selection
  double all_ms = 0;        // Select All and paint
  double toggle_ms = 0;     // Decode Kissframe clicked: command to display painted (median of six)
  long rss_open_kb = 0;     // memory in use after the open and the steps above
  long rss_toggled_kb = 0;  // ...and after the six clicks
  double mb = 0;            // display text, MB
  long lines = 0;
  long selected = 0;  // characters in the five-line selection
  long rss_kb = 0;
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

double Median(std::vector<double> v);

// One round inside the child: returns the times (RSS filled in by the parent).
Round RunRound(const std::string& capture) {
  int argc = 1;
  char name[] = "display_bench";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  Form1 form;
  form.resize(1000, 700);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) {
    std::fprintf(stderr, "display_bench: the window was not shown\n");
    std::exit(1);
  }
  form.SetOpenDialog([&](QWidget*) { return QString::fromStdString(capture); });
  form.SetErrorReporter([](const QString& message) {
    std::fprintf(stderr, "display_bench: %s\n", qPrintable(message));
  });
  auto* display = form.findChild<DisplayWidget*>(QStringLiteral("RichTextBox1"));
  if (display == nullptr) {
    std::fprintf(stderr, "display_bench: no display widget\n");
    std::exit(1);
  }
  QWidget* view = display->viewport();
  Round r;
  QElapsedTimer t;
  t.start();
  form.MnuFileOpen_Click();
  r.pass_ms = Ms(t);
  QApplication::processEvents();
  view->repaint();
  r.open_ms = Ms(t);
  r.mb = static_cast<double>(display->Model().Size()) / 1e6;
  r.lines = static_cast<long>(display->Model().LineCount());

  t.restart();
  display->verticalScrollBar()->setValue(display->verticalScrollBar()->maximum());
  view->repaint();
  r.end_ms = Ms(t);

  t.restart();
  display->verticalScrollBar()->setValue(display->verticalScrollBar()->maximum() / 2);
  QKeyEvent page(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QApplication::sendEvent(display, &page);
  view->repaint();
  r.page_ms = Ms(t);

  t.restart();
  const int h = display->LineHeight();
  QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(40, h / 2));
  QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, QPoint(300, 5 * h + h / 2));
  view->repaint();
  r.select_ms = Ms(t);
  r.selected = static_cast<long>(display->Model().SelLength());

  t.restart();
  display->Copy();
  r.copy_ms = Ms(t);

  t.restart();
  display->SelectAll();
  view->repaint();
  r.all_ms = Ms(t);

  r.rss_open_kb = RssKb();
  auto* check1 = form.findChild<QCheckBox*>(QStringLiteral("Check1"));
  std::vector<double> toggles;
  for (int i = 0; i < 6 && check1 != nullptr; ++i) {
    t.restart();
    check1->click();
    QApplication::processEvents();
    view->repaint();
    toggles.push_back(Ms(t));
  }
  r.toggle_ms = toggles.empty() ? 0 : Median(toggles);
  r.rss_toggled_kb = RssKb();
  return r;
}

// Runs one round in a child process; false when it failed.
bool ForkRound(const std::string& capture, Round& out) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::close(fds[0]);
    const Round r = RunRound(capture);
    const bool ok = ::write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    ::_exit(ok ? 0 : 1);
  }
  ::close(fds[1]);
  const bool got = ::read(fds[0], &out, sizeof out) == static_cast<ssize_t>(sizeof out);
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return false;
  out.rss_kb = usage.ru_maxrss;
  return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string CapturePath(long frames) {
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path dir =
      std::filesystem::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") / "packscope-bench";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / ("display-" + std::to_string(frames) + ".kss")).string();
  if (!std::filesystem::exists(path)) {
    gen::Options options;
    options.seed = 1;
    options.frames = frames;
    const std::string part = path + ".part";
    std::ofstream file(part, std::ios::binary);
    gen::GenerateCapture(options, [&](std::string_view block) {
      file.write(block.data(), static_cast<std::streamsize>(block.size()));
    });
    file.close();
    if (!file) {
      std::fprintf(stderr, "display_bench: cannot write %s\n", part.c_str());
      std::exit(1);
    }
    std::filesystem::rename(part, path);
  }
  return path;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace
}  // namespace packscope

int main(int argc, char** argv) {
  using namespace packscope;
  std::vector<long> sizes;
  int rounds = 3;
  std::string markdown;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--frames" && i + 1 < argc) {
      sizes.push_back(std::atol(argv[++i]));
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--markdown" && i + 1 < argc) {
      markdown = argv[++i];
    } else {
      std::fprintf(stderr, "usage: display_bench [--frames N]... [--rounds N] [--markdown FILE]\n");
      return 2;
    }
  }
  if (sizes.empty()) sizes = {20000, 500000};
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

  std::string table =
      "| frames | capture MB | display MB | lines | open: command to display painted, s | of which "
      "the pass, s | peak RSS MB | scroll to end, ms | page down, ms | select 5 lines, ms | copy "
      "them, ms | select all, ms | Decode Kissframe clicked, s | RSS before / after six clicks, "
      "MB |\n|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (long frames : sizes) {
    const std::string capture = CapturePath(frames);
    std::vector<Round> results;
    for (int i = 0; i < rounds; ++i) {
      Round r;
      if (!ForkRound(capture, r)) {
        std::fprintf(stderr, "display_bench: round %d over %s failed\n", i + 1, capture.c_str());
        return 1;
      }
      results.push_back(r);
      std::fprintf(stderr, "display_bench: %ld frames, round %d of %d: %.2f s, %ld selected\n",
                   frames, i + 1, rounds, r.open_ms / 1000, r.selected);
    }
    auto med = [&](double Round::*field) {
      std::vector<double> v;
      for (const Round& r : results) v.push_back(r.*field);
      return Median(v);
    };
    long rss = 0;
    for (const Round& r : results) rss = std::max(rss, r.rss_kb);
    long rss_open = 0;
    long rss_toggled = 0;
    for (const Round& r : results) {
      rss_open = std::max(rss_open, r.rss_open_kb);
      rss_toggled = std::max(rss_toggled, r.rss_toggled_kb);
    }
    char line[512];
    std::snprintf(line, sizeof line,
                  "| %ld | %.1f | %.1f | %ld | %.2f | %.2f | %.0f | %.1f | %.1f | %.1f | %.2f | "
                  "%.1f | %.2f | %.0f / %.0f |\n",
                  frames, static_cast<double>(std::filesystem::file_size(capture)) / 1e6,
                  results[0].mb, results[0].lines, med(&Round::open_ms) / 1000,
                  med(&Round::pass_ms) / 1000, static_cast<double>(rss) / 1024, med(&Round::end_ms),
                  med(&Round::page_ms), med(&Round::select_ms), med(&Round::copy_ms),
                  med(&Round::all_ms), med(&Round::toggle_ms) / 1000,
                  static_cast<double>(rss_open) / 1024, static_cast<double>(rss_toggled) / 1024);
    table += line;
  }
  const std::string header = "Display: Form1 on the offscreen platform, File > Open of " +
                             std::string("packscope-gencapture --seed 1 --frames N; ") +
                             std::to_string(rounds) +
                             " rounds, medians; peak RSS and RSS the largest.";
  std::printf("%s\n\n%s", header.c_str(), table.c_str());
  if (!markdown.empty()) {
    std::ofstream md(markdown);
    md << header << "\n\n" << table;
  }
  return 0;
}
