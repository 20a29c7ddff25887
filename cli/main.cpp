#include <QCoreApplication>
#include <csignal>

#include "cli/converter.h"
#include "packscope_version.h"

int main(int argc, char** argv) {
  // A closed pipe is a write error to report, not a reason to die silently.
  std::signal(SIGPIPE, SIG_IGN);
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("packscope-convert"));
  QCoreApplication::setApplicationVersion(QStringLiteral(PACKSCOPE_VERSION));
  return packscope::RunConverter(QCoreApplication::arguments());
}
