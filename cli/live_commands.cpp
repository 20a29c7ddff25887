#include "cli/live_commands.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <type_traits>

#include "cli/program_options.h"

namespace packscope {
namespace {

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

// Reads the values of a command line into a command; the first value that is wrong is the
// usage error.
class ValueReader {
 public:
  explicit ValueReader(const CommandLine& line) : line_(line) {}

  // Seconds or a factor: a decimal number of at least min (above it when above is set), and at
  // most 1e9.
  void Decimal(std::string_view name, double& out, double min, bool above) {
    const std::string* value = Given(name);
    if (value == nullptr) return;
    const auto number = ParseNumber<double>(*value);
    if (!number || *number < min || (above && *number == min) || *number > 1e9) {
      Fail(std::string(name) + " takes a number" + (above ? " above " : " of at least ") +
           (min == 0 ? "0" : std::to_string(min)) + " and at most 1000000000, not '" + *value +
           "'");
      return;
    }
    out = *number;
  }

  template <class Integer>
  void Whole(std::string_view name, Integer& out) {
    const std::string* value = Given(name);
    if (value == nullptr) return;
    const auto number = ParseNumber<Integer>(*value);
    if (!number || *number < 1) {
      Fail(std::string(name) + " takes a whole number of at least 1, not '" + *value + "'");
      return;
    }
    out = *number;
  }

  void Fail(std::string error) {
    if (error_.empty()) error_ = std::move(error);
  }
  const std::string& Error() const { return error_; }

 private:
  // The option's value while nothing was found wrong; null when not given.
  const std::string* Given(std::string_view name) const {
    return error_.empty() ? line_.Value(name) : nullptr;
  }

  const CommandLine& line_;
  std::string error_;
};

template <class Command>
ParsedCommand<Command> Finish(ParsedCommand<Command> parsed, const std::string& error) {
  if (!error.empty()) {
    parsed.action = CommandAction::kUsageError;
    parsed.error = error;
  }
  return parsed;
}

}  // namespace

ParsedCommand<RecordCommand> ParseRecordCommand(const std::vector<std::string>& args) {
  const ParsedCommandLine parsed_line = ParseCommandLine(RecordProgram(), args);
  ParsedCommand<RecordCommand> parsed;
  parsed.action = parsed_line.action;
  parsed.error = parsed_line.error;
  if (parsed.action != CommandAction::kRun) return parsed;
  const CommandLine& line = parsed_line.line;
  RecordCommand& c = parsed.command;
  ValueReader read(line);
  if (const std::string* output = line.Value("--output")) {
    c.output = *output;
    if (c.output.empty()) read.Fail("-o needs a file name");
  }
  read.Whole("--baud", c.baud);
  read.Whole("--count", c.options.count);
  read.Decimal("--duration", c.options.duration, 0, true);
  read.Decimal("--retry", c.options.retry, 0, false);
  c.options.stamps = !line.Has("--no-stamps");
  c.monitor = line.Has("--monitor");
  if (!read.Error().empty()) return Finish(std::move(parsed), read.Error());
  const std::vector<std::string>& positional = line.Arguments();
  // SOURCE, given as --source or as the argument, checked against what it must be.
  const auto source = [&](bool serial_only, bool tcp_only) {
    const std::string* option = line.Value("--source");
    if (option != nullptr && !positional.empty()) return read.Fail("SOURCE or --source, not both");
    if (option == nullptr && positional.size() != 1) {
      return read.Fail(positional.empty() ? "no SOURCE given (HOST:PORT or a serial device)"
                                          : "one SOURCE only");
    }
    c.source = option != nullptr ? *option : positional[0];
    if (IsSerialDevice(c.source)) {
      if (tcp_only) read.Fail("SOURCE '" + c.source + "' is a serial device, not HOST:PORT");
      return;
    }
    const auto address = ParseHostPort(c.source);
    if (address && !serial_only) {
      c.address = *address;
    } else if (serial_only) {
      read.Fail("SOURCE '" + c.source + "' is no serial device (/dev/...)");
    } else {
      read.Fail("SOURCE '" + c.source +
                "' is neither HOST:PORT (port 1 to 65535) nor a serial device (/dev/...)");
    }
  };
  if (line.Has("--extcap-interfaces")) {
    c.extcap = ExtcapStep::kInterfaces;
  } else if (line.Has("--extcap-dlts")) {
    c.extcap = ExtcapStep::kDlts;
  } else if (line.Has("--extcap-config")) {
    c.extcap = ExtcapStep::kConfig;
  } else if (line.Has("--capture")) {
    c.extcap = ExtcapStep::kCapture;
  } else if (line.Has("--extcap-interface")) {
    c.extcap = ExtcapStep::kFilter;
  }
  if (c.extcap != ExtcapStep::kNone && c.extcap != ExtcapStep::kInterfaces) {
    const std::string* name = line.Value("--extcap-interface");
    if (name == nullptr) {
      read.Fail("--extcap-interface is required");
    } else if (*name != kExtcapTcp && *name != kExtcapSerial) {
      read.Fail("unknown --extcap-interface '" + *name + "'; " + std::string(kExtcapTcp) + " or " +
                std::string(kExtcapSerial));
    } else {
      c.extcap_interface = *name;
    }
  }
  if (c.extcap == ExtcapStep::kCapture && read.Error().empty()) {
    if (const std::string* fifo = line.Value("--fifo")) c.fifo = *fifo;
    if (c.fifo.empty()) read.Fail("--capture needs --fifo PATH");
    if (!c.output.empty()) read.Fail("--capture writes to --fifo; no -o");
    source(c.extcap_interface == kExtcapSerial, c.extcap_interface == kExtcapTcp);
  } else if (c.extcap == ExtcapStep::kNone) {
    if (c.output.empty()) {
      if (positional.size() == 1 || line.Has("--source")) {
        read.Fail("-o CAPTURE is required");
      } else {
        source(false, false);
      }
    } else {
      source(false, false);
    }
  }
  return Finish(std::move(parsed), read.Error());
}

ParsedCommand<ReplayCommand> ParseReplayCommand(const std::vector<std::string>& args) {
  const ParsedCommandLine parsed_line = ParseCommandLine(ReplayProgram(), args);
  ParsedCommand<ReplayCommand> parsed;
  parsed.action = parsed_line.action;
  parsed.error = parsed_line.error;
  if (parsed.action != CommandAction::kRun) return parsed;
  const CommandLine& line = parsed_line.line;
  ReplayCommand& c = parsed.command;
  ValueReader read(line);
  if (const std::string* listen = line.Value("--listen")) {
    const auto address = ParseHostPort(*listen, /*allow_zero_port=*/true);
    if (address) {
      c.options.listen = *address;
    } else {
      read.Fail("--listen takes HOST:PORT, not '" + *listen + "'");
    }
  }
  read.Decimal("--speed", c.options.speed, 0, false);
  c.options.loop = line.Has("--loop");
  c.options.once = line.Has("--once");
  c.captures = line.Arguments();
  if (c.captures.empty()) read.Fail("no capture given");
  if (c.options.loop && c.options.once) read.Fail("--loop and --once exclude each other");
  return Finish(std::move(parsed), read.Error());
}

}  // namespace packscope
