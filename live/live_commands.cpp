#include "live/live_commands.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace packscope {
namespace {

struct Option {
  std::string_view name;  // long form, "--count"
  char short_name = 0;    // 'o' for -o, 0 for none
  bool takes_value = false;
  // Takes the value (empty for a flag); returns what is wrong with it, empty when nothing.
  std::function<std::string(const std::string& value)> apply;
};

template <class Number>
std::optional<Number> ParseNumber(const std::string& text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
  if constexpr (std::is_floating_point_v<Number>) {
    if (!std::isfinite(value)) return std::nullopt;
  }
  return value;
}

// Seconds or a factor: a decimal number of at least min (above it when above is set), and at
// most kMaxDecimal.
constexpr double kMaxDecimal = 1e9;

std::function<std::string(const std::string&)> Decimal(std::string_view name, double& out,
                                                       double min, bool above) {
  return [name, &out, min, above](const std::string& value) -> std::string {
    const auto number = ParseNumber<double>(value);
    if (!number || *number < min || (above && *number == min) || *number > kMaxDecimal) {
      return std::string(name) + " takes a number" + (above ? " above " : " of at least ") +
             (min == 0 ? "0" : std::to_string(min)) + " and at most 1000000000, not '" + value +
             "'";
    }
    out = *number;
    return {};
  };
}

template <class Integer>
std::function<std::string(const std::string&)> Whole(std::string_view name, Integer& out) {
  return [name, &out](const std::string& value) -> std::string {
    const auto number = ParseNumber<Integer>(value);
    if (!number || *number < 1) {
      return std::string(name) + " takes a whole number of at least 1, not '" + value + "'";
    }
    out = *number;
    return {};
  };
}

std::function<std::string(const std::string&)> Flag(bool& out) {
  return [&out](const std::string&) -> std::string {
    out = true;
    return {};
  };
}

// Reads options and positional arguments; sets action for --help and --version. Returns what
// is wrong with the command line, or empty.
std::string ReadArguments(const std::vector<std::string>& args, const std::vector<Option>& options,
                          std::vector<std::string>& positional, CommandAction& action) {
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      action = CommandAction::kHelp;
      return {};
    }
    if (arg == "--version") {
      action = CommandAction::kVersion;
      return {};
    }
    const Option* option = nullptr;
    std::optional<std::string> value;
    for (const Option& o : options) {
      if (arg.starts_with("--")) {
        const std::size_t equals = arg.find('=');
        if (arg.substr(0, equals) != o.name) continue;
        if (equals != std::string::npos) value = arg.substr(equals + 1);
      } else if (o.short_name == 0 || arg[1] != o.short_name) {
        continue;
      } else if (arg.size() > 2) {
        value = arg.substr(2);
      }
      option = &o;
      break;
    }
    if (option == nullptr) return "unknown option '" + arg + "'";
    if (!option->takes_value && value) return std::string(option->name) + " takes no value";
    if (option->takes_value && !value) {
      if (i + 1 >= args.size()) return std::string(option->name) + " needs a value";
      value = args[++i];
    }
    std::string error = option->apply(value.value_or(""));
    if (!error.empty()) return error;
  }
  return {};
}

}  // namespace

bool IsSerialDevice(std::string_view source) { return source.starts_with('/'); }

ParsedCommand<RecordCommand> ParseRecordCommand(const std::vector<std::string>& args) {
  ParsedCommand<RecordCommand> parsed;
  RecordCommand& c = parsed.command;
  bool no_stamps = false;
  const std::vector<Option> options{
      {"--output", 'o', true,
       [&c](const std::string& value) -> std::string {
         c.output = value;
         return value.empty() ? "-o needs a file name" : "";
       }},
      {"--baud", 0, true, Whole("--baud", c.baud)},
      {"--count", 0, true, Whole("--count", c.options.count)},
      {"--duration", 0, true, Decimal("--duration", c.options.duration, 0, true)},
      {"--no-stamps", 0, false, Flag(no_stamps)},
      {"--retry", 0, true, Decimal("--retry", c.options.retry, 0, false)},
      {"--monitor", 0, false, Flag(c.monitor)},
  };
  std::vector<std::string> positional;
  parsed.error = ReadArguments(args, options, positional, parsed.action);
  c.options.stamps = !no_stamps;
  if (parsed.action != CommandAction::kRun) return parsed;
  if (parsed.error.empty()) {
    if (positional.size() != 1) {
      parsed.error =
          positional.empty() ? "no SOURCE given (HOST:PORT or a serial device)" : "one SOURCE only";
    } else if (c.output.empty()) {
      parsed.error = "-o CAPTURE is required";
    } else {
      c.source = positional[0];
      if (!IsSerialDevice(c.source)) {
        const auto address = ParseHostPort(c.source);
        if (address) {
          c.address = *address;
        } else {
          parsed.error = "SOURCE '" + c.source +
                         "' is neither HOST:PORT (port 1 to 65535) nor a serial device (/dev/...)";
        }
      }
    }
  }
  if (!parsed.error.empty()) parsed.action = CommandAction::kUsageError;
  return parsed;
}

ParsedCommand<ReplayCommand> ParseReplayCommand(const std::vector<std::string>& args) {
  ParsedCommand<ReplayCommand> parsed;
  ReplayCommand& c = parsed.command;
  const std::vector<Option> options{
      {"--listen", 0, true,
       [&c](const std::string& value) -> std::string {
         const auto address = ParseHostPort(value, /*allow_zero_port=*/true);
         if (!address) return "--listen takes HOST:PORT, not '" + value + "'";
         c.options.listen = *address;
         return {};
       }},
      {"--speed", 0, true, Decimal("--speed", c.options.speed, 0, false)},
      {"--loop", 0, false, Flag(c.options.loop)},
      {"--once", 0, false, Flag(c.options.once)},
  };
  parsed.error = ReadArguments(args, options, c.captures, parsed.action);
  if (parsed.action != CommandAction::kRun) return parsed;
  if (parsed.error.empty() && c.captures.empty()) parsed.error = "no capture given";
  if (parsed.error.empty() && c.options.loop && c.options.once) {
    parsed.error = "--loop and --once exclude each other";
  }
  if (!parsed.error.empty()) parsed.action = CommandAction::kUsageError;
  return parsed;
}

std::string RecordHelp() {
  return R"(Usage: packscope-record [options] -o CAPTURE SOURCE
Records the KISS frames of a TNC or soundmodem into a capture, each one whole and behind a
timestamp frame of its time of reception.

SOURCE is HOST:PORT for KISS over TCP (Dire Wolf and most soundmodems listen on port 8001),
or a serial device such as /dev/ttyUSB0.

Options:
  -o, --output CAPTURE  The capture to write (required); an existing one is appended to.
  --baud N              Speed of a serial device in bits per second (default 9600).
  --count N             Stop after N frames.
  --duration SECONDS    Stop after that many seconds.
  --no-stamps           Write no timestamp frames.
  --retry SECONDS       After a failure connect again, waiting up to SECONDS between
                        attempts, forever (default 30); 0 gives up at the first failure.
  --monitor             Print a monitor line for each frame on standard output.
  -h, --help            Show this help.
  --version             Show the version.

Exit status: 0 stopped by Ctrl+C, SIGTERM, SIGHUP, --count or --duration; 1 cannot record;
2 usage error.
)";
}

std::string ReplayHelp() {
  return R"(Usage: packscope-replay [options] CAPTURE...
Serves the frames of KISS captures on a KISS-over-TCP port, as a TNC does, to every client
that connects: for feeding recorded traffic to APRS clients and other programs.

Options:
  --listen HOST:PORT    The address to listen on (default 127.0.0.1:8001). Port 0 takes
                        any free port; the first line on standard error names it.
  --speed X             1: the timing of the captures' timestamp frames, 10: ten times
                        faster, 0: as fast as the clients take them (default 1).
  --loop                Play the captures again and again.
  --once                Exit when the first client has been sent every frame.
  -h, --help            Show this help.
  --version             Show the version.

Exit status: 0 done or stopped by Ctrl+C or SIGTERM; 1 a capture cannot be read, the address
cannot be listened on, or with --once the client left early; 2 usage error.
)";
}

}  // namespace packscope
