// packscope-convert: converts and checks KISS captures (cli/converter.h).
#include <QCoreApplication>
#include <csignal>
#include <string>
#include <vector>

#include "capture/output_file.h"
#include "cli/converter.h"

int main(int argc, char** argv) {
  // A closed pipe is a write error to report, not a reason to die silently.
  std::signal(SIGPIPE, SIG_IGN);
  // Ctrl+C, kill or a closed terminal ends the program as always, without temporary files left.
  packscope::RemoveTemporaryFilesOnSignals();
  QCoreApplication app(argc, argv);
  // The arguments as bytes: QCoreApplication::arguments() would decode them, and a file name
  // that is not UTF-8 would not survive.
  return packscope::RunConverter(std::vector<std::string>(argv, argv + argc));
}
