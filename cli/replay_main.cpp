// packscope-replay: serves captures on a KISS-over-TCP port (live/replay_server.h).
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/errors.h"
#include "cli/live_commands.h"
#include "cli/program_options.h"
#include "packscope_version.h"

namespace packscope {
namespace {

class Printer : public ReplayListener {
 public:
  void OnStatus(std::string_view message) override {
    std::fprintf(stderr, "packscope-replay: %.*s\n", static_cast<int>(message.size()),
                 message.data());
  }
};

int Run(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto parsed = ParseReplayCommand(args);
  if (const auto status =
          AnswerCommandLine(ReplayProgram(), parsed.action, parsed.error, PACKSCOPE_VERSION)) {
    return *status;
  }
  const ReplayCommand& c = parsed.command;
  Printer printer;
  try {
    for (const std::string& capture : c.captures) CheckReadable(capture);
    ReplayServer server(c.captures, c.options);
    server.Listen();
    const bool v6 = c.options.listen.host.find(':') != std::string::npos;
    printer.OnStatus("Listening on " +
                     (v6 ? "[" + c.options.listen.host + "]" : c.options.listen.host) + ":" +
                     std::to_string(server.Port()));
    const ReplayResult result = server.Run(StopOnSignals(), printer);
    if (!result.ok) {
      printer.OnStatus(result.error);
      return 1;
    }
    return 0;
  } catch (const CommandError& e) {
    printer.OnStatus(e.what());
    return 1;
  }
}

}  // namespace
}  // namespace packscope

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  return packscope::Run(argc, argv);
}
