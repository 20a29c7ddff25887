// packscope-convert: the window's conversions without a window. Each capture runs through the
// very commands of the Write menu (and, for the screen layout, WriteScreenPass: what opening the
// capture followed by Write Logfile writes, streamed) against a headless window. The converter's
// own layouts (pcap, jsonl, monitor, ...; commands/layouts.h) and the health report (--check;
// commands/health_check.h) run the same pass with an observer instead of the frame output step.
#ifndef PACKSCOPE_CLI_CONVERTER_H_
#define PACKSCOPE_CLI_CONVERTER_H_

#include <string>
#include <vector>

namespace packscope {

// arguments: the program's argv, as bytes (file names need not be UTF-8).
// Exit status: 0 every capture converted, 1 some conversion failed, 2 usage error. With --check:
// 0 no capture damaged, 3 damage (with --strict: any finding), 1 a capture could not be read
// (the worst of all captures).
int RunConverter(const std::vector<std::string>& arguments);

}  // namespace packscope

#endif  // PACKSCOPE_CLI_CONVERTER_H_
