// packscope-convert: the window's conversions without a window. Each capture runs through the
// very commands of the Write menu (and, for the screen layout, opening the capture followed by
// Write Logfile) against a headless window.
#ifndef PACKSCOPE_CLI_CONVERTER_H_
#define PACKSCOPE_CLI_CONVERTER_H_

#include <QStringList>

namespace packscope {

// Exit status: 0 every capture converted, 1 some conversion failed, 2 usage error.
int RunConverter(const QStringList& arguments);

}  // namespace packscope

#endif  // PACKSCOPE_CLI_CONVERTER_H_
