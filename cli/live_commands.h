// The command lines of packscope-record and packscope-replay, read through their option tables
// (cli/program_options.h) into what the programs run. Their main() only runs what these return.
#ifndef PACKSCOPE_CLI_LIVE_COMMANDS_H_
#define PACKSCOPE_CLI_LIVE_COMMANDS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/option_table.h"
#include "live/byte_source.h"
#include "live/recorder.h"
#include "live/replay_server.h"

namespace packscope {

struct RecordCommand {
  std::string source;  // HOST:PORT, or a serial device (IsSerialDevice)
  HostPort address;    // of a HOST:PORT source
  std::int32_t baud = 9600;
  std::string output;
  RecordOptions options;
  bool monitor = false;
};

struct ReplayCommand {
  std::vector<std::string> captures;
  ReplayOptions options;
};

template <class Command>
struct ParsedCommand {
  CommandAction action = CommandAction::kRun;
  Command command;
  std::string error;  // kUsageError: what is wrong, one line
};

// args: the arguments after the program's name.
ParsedCommand<RecordCommand> ParseRecordCommand(const std::vector<std::string>& args);
ParsedCommand<ReplayCommand> ParseReplayCommand(const std::vector<std::string>& args);

}  // namespace packscope

#endif  // PACKSCOPE_CLI_LIVE_COMMANDS_H_
