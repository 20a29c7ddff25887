// The command lines of packscope-record and packscope-replay, read through their option tables
// (cli/program_options.h) into what the programs run. Their main() only runs what these return.
#ifndef PACKSCOPE_CLI_LIVE_COMMANDS_H_
#define PACKSCOPE_CLI_LIVE_COMMANDS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/option_table.h"
#include "live/byte_source.h"
#include "live/recorder.h"
#include "live/replay_server.h"

namespace packscope {

// packscope-record as a Wireshark extcap: which step Wireshark asks for.
enum class ExtcapStep {
  kNone,        // an ordinary recording
  kInterfaces,  // --extcap-interfaces
  kDlts,        // --extcap-dlts
  kConfig,      // --extcap-config
  kFilter,      // --extcap-capture-filter alone: Wireshark checks a capture filter
  kCapture,     // --capture: record into --fifo as pcap
};
// The interfaces: KISS over TCP and a serial TNC.
inline constexpr std::string_view kExtcapTcp = "packscope-kiss-tcp";
inline constexpr std::string_view kExtcapSerial = "packscope-kiss-serial";

struct RecordCommand {
  std::string source;  // HOST:PORT, or a serial device (IsSerialDevice)
  HostPort address;    // of a HOST:PORT source
  std::int32_t baud = 9600;
  std::string output;
  RecordOptions options;
  bool monitor = false;
  ExtcapStep extcap = ExtcapStep::kNone;
  std::string extcap_interface;  // kExtcapTcp or kExtcapSerial
  std::string fifo;              // kCapture
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
