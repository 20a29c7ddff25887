// packscope: the desktop program. Starts the main window Form1 and waits for the user; a capture
// named on the command line is opened as if it had been dropped on the window, so that file
// managers can open captures with the program. The program ends when its last window closes.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstring>
#include <string>
#include <vector>

#include "packscope_version.h"
#include "ui/form1.h"

namespace {

void SetNames() {
  QCoreApplication::setApplicationName(QStringLiteral("packscope"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PACKSCOPE_VERSION));
}

void Describe(QCommandLineParser& parser) {
  parser.setApplicationDescription(QStringLiteral(
      "Shows the frames of a KISS capture as coloured hex dumps, decodes AX.25 callsigns and "
      "converts captures to text files."));
  parser.addHelpOption();
  parser.addVersionOption();
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

}  // namespace

int main(int argc, char** argv) {
  if (AsksForText(argc, argv)) {
    QCoreApplication app(argc, argv);
    SetNames();
    QCommandLineParser parser;
    Describe(parser);
    parser.process(app);  // prints the text and ends the program
    return 0;
  }

  QApplication app(argc, argv);
  SetNames();
  QCommandLineParser parser;
  Describe(parser);
  parser.process(app);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/packscope/icon.png")));

  packscope::Form1 form;
  form.show();
  std::vector<std::string> paths;
  for (const QString& argument : parser.positionalArguments()) {
    paths.push_back(QFile::encodeName(QFileInfo(argument).absoluteFilePath()).toStdString());
  }
  if (!paths.empty()) {
    // Once the window is up, as a drop would find it.
    QTimer::singleShot(0, &form, [&form, paths] { form.OpenPaths(paths); });
  }
  return app.exec();
}
