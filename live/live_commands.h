// The command lines of packscope-record and packscope-replay: their options, --help texts and
// usage errors. The programs' main() only runs what these return.
#ifndef PACKSCOPE_LIVE_LIVE_COMMANDS_H_
#define PACKSCOPE_LIVE_LIVE_COMMANDS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

enum class CommandAction { kRun, kHelp, kVersion, kUsageError };

template <class Command>
struct ParsedCommand {
  CommandAction action = CommandAction::kRun;
  Command command;
  std::string error;  // kUsageError: what is wrong, one line
};

// args: the arguments after the program's name.
ParsedCommand<RecordCommand> ParseRecordCommand(const std::vector<std::string>& args);
ParsedCommand<ReplayCommand> ParseReplayCommand(const std::vector<std::string>& args);

// A SOURCE that names a serial device: a path ("/dev/ttyUSB0").
bool IsSerialDevice(std::string_view source);

std::string RecordHelp();
std::string ReplayHelp();

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_LIVE_COMMANDS_H_
