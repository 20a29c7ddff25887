// packscope: the desktop program. Starts the main window Form1 and waits for the user; a capture
// named on the command line is opened as if it had been dropped on the window, so that file
// managers can open captures with the program. --frames CAPTURE [--filter EXPR] opens the frame
// list window on a capture instead, without the main window; --frames A.kss B.kss C.kss on the
// captures of several receivers merged. The program ends when its last window closes.
#include <limits.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "capture/output_file.h"
#include "packscope_version.h"
#include "ui/form1.h"
#include "ui/frame_list_window.h"
#include "ui/pass_lanes.h"

namespace {

void SetNames() {
  // Settings (the frame list's) go to ~/.config/packscope/packscope.conf.
  QCoreApplication::setOrganizationName(QStringLiteral("packscope"));
  QCoreApplication::setApplicationName(QStringLiteral("packscope"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PACKSCOPE_VERSION));
}

void Describe(QCommandLineParser& parser) {
  parser.setApplicationDescription(QStringLiteral(
      "Shows the frames of a KISS capture as coloured hex dumps, decodes AX.25 callsigns and "
      "converts captures to text files."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption(QCommandLineOption(
      QStringLiteral("frames"),
      QStringLiteral("Opens the frame list window on CAPTURE, without the main window; with "
                     "more CAPTUREs after it, on them all merged, each a receiver of one "
                     "traffic (as packscope-convert --merge)."),
      QStringLiteral("CAPTURE")));
  parser.addOption(QCommandLineOption(
      QStringLiteral("filter"),
      QStringLiteral("With --frames: lists only the frames that match EXPR (the filter language "
                     "of packscope-convert --filter)."),
      QStringLiteral("EXPR")));
  parser.addPositionalArgument(QStringLiteral("CAPTURE"),
                               QStringLiteral("A KISS capture to open at start (as if dropped)."),
                               QStringLiteral("[CAPTURE]"));
}

// --help and --version need no screen: they are answered before any window system is touched.
bool AsksForText(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
      if (std::strcmp(argv[i], option) == 0) return true;
    }
  }
  return false;
}

// A path relative to the current folder made absolute, as bytes.
std::string AbsolutePath(std::string path) {
  if (path.empty() || path.front() == '/') return path;
  while (path.size() > 2 && path.compare(0, 2, "./") == 0) path.erase(0, 2);
  char here[PATH_MAX];
  if (::getcwd(here, sizeof here) == nullptr) return path;
  const std::string folder(here);
  return folder + (folder.back() == '/' ? "" : "/") + path;
}

// The options that take a value, as QApplication leaves argv: "--frames X" or "--frames=X".
constexpr const char* kValueOptions[] = {"--frames", "--filter"};

// The value of option as the bytes given (the parser's text would lose a name that is not UTF-8).
std::optional<std::string> OptionBytes(int argc, char** argv, const char* option) {
  const std::size_t n = std::strlen(option);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], option) == 0 && i + 1 < argc) return std::string(argv[i + 1]);
    if (std::strncmp(argv[i], option, n) == 0 && argv[i][n] == '=')
      return std::string(argv[i] + n + 1);
  }
  return std::nullopt;
}

// How many arguments at argv[i] an option with a value takes (0: not such an option).
int ValueOptionLength(const char* argument) {
  for (const char* option : kValueOptions) {
    const std::size_t n = std::strlen(option);
    if (std::strcmp(argument, option) == 0) return 2;
    if (std::strncmp(argument, option, n) == 0 && argument[n] == '=') return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  packscope::MapLargeBlocksApart();
  if (AsksForText(argc, argv)) {
    QCoreApplication app(argc, argv);
    SetNames();
    QCommandLineParser parser;
    Describe(parser);
    parser.process(app);  // prints the text and ends the program
    return 0;
  }

  // Ended by a signal (logout, kill), the program leaves no temporary file of a write behind.
  packscope::RemoveTemporaryFilesOnSignals();
  QApplication app(argc, argv);
  SetNames();
  QCommandLineParser parser;
  Describe(parser);
  parser.process(app);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/packscope/icon.png")));

  // The captures as the bytes given (the parser's texts would lose a name that is not UTF-8).
  // QApplication has taken its own options out of argv; the parser has refused any other
  // option, so what is left are the captures and the options with a value.
  std::vector<std::string> paths;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    if (!options_ended && std::strcmp(argv[i], "--") == 0) {
      options_ended = true;
      continue;
    }
    if (!options_ended && ValueOptionLength(argv[i]) > 0) {
      i += ValueOptionLength(argv[i]) - 1;
      continue;
    }
    paths.push_back(AbsolutePath(argv[i]));
  }

  const std::optional<std::string> frames = OptionBytes(argc, argv, "--frames");
  if (frames || parser.isSet(QStringLiteral("filter"))) {
    if (!frames) {
      std::fprintf(stderr,
                   "packscope: --filter goes with --frames CAPTURE.\nTry 'packscope --help'.\n");
      return 2;
    }
    packscope::FrameListWindow list;
    list.show();
    const QString filter = parser.value(QStringLiteral("filter"));
    // More captures behind --frames CAPTURE: the receivers of a merge, in the order given.
    paths.insert(paths.begin(), AbsolutePath(*frames));
    QTimer::singleShot(0, &list, [&list, paths, filter] {
      list.OpenCaptures(paths);
      if (!filter.isEmpty()) list.ApplyFilter(filter);
    });
    return app.exec();
  }

  packscope::Form1 form;
  form.show();
  if (!paths.empty()) {
    // Once the window is up, as a drop would find it.
    QTimer::singleShot(0, &form, [&form, paths] { form.OpenPaths(paths); });
  }
  return app.exec();
}
