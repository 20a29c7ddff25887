// The option table of a command-line program: one row per option, from which its parsing, its
// --help and the OPTIONS section of its manual page are all made (cli/program_options.h holds
// the rows of packscope-convert, packscope-record and packscope-replay). A new option is one row,
// and the code that reads its value.
//
// Arguments are bytes: a file name, a filter or a pattern comes back exactly as given, whatever
// its encoding. The syntax is the usual one: -o PATH, -oPATH, --output PATH, --output=PATH,
// flags of one letter together (-hv), and -- before arguments that begin with a dash. Given
// twice, an option keeps its last value.
#ifndef PACKSCOPE_CLI_OPTION_TABLE_H_
#define PACKSCOPE_CLI_OPTION_TABLE_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace packscope {

struct CommandOption {
  char short_name = 0;    // 'o' for -o; 0 for none
  std::string long_name;  // "--output"
  std::string value;      // the value's name in --help and the manual ("PATH"); empty for a flag
  std::string help;       // --help: one paragraph, wrapped when printed
  // The manual page's entry, roff lines; empty: the help text.
  std::string manual;
};

// What --help says, from the top: "Usage: " name usage, the description, "Options:" and the
// options, the exit status, the epilogue. The description (paragraphs between blank lines) and
// the exit status are wrapped; the epilogue stands as it is.
struct CommandProgram {
  std::string name;         // "packscope-record"
  std::string usage;        // after the name on the usage line: "[options] -o CAPTURE SOURCE"
  std::string description;  // under the usage line
  std::vector<CommandOption> options;  // in the order of --help and the manual
  std::string exit_status;             // "Exit status: 0 ..."
  std::string epilogue;                // tables, examples
};

// The rows every program has: -h, --help and -v, --version.
std::vector<CommandOption> HelpAndVersionOptions();

// What a command line gave, looked up by long name. Asking for a name the program's table lacks
// throws std::logic_error: a misspelt name fails the first test that runs the program, instead
// of reading as "not given".
class CommandLine {
 public:
  explicit CommandLine(const CommandProgram& program);

  bool Has(std::string_view long_name) const;
  // The value last given to the option; null when it was not given.
  const std::string* Value(std::string_view long_name) const;
  // The arguments that are no option, in order.
  const std::vector<std::string>& Arguments() const { return arguments_; }

 private:
  friend struct CommandLineParser;
  const std::optional<std::string>& Entry(std::string_view long_name) const;

  // Every option of the table; set when given (an empty value for a flag).
  std::map<std::string, std::optional<std::string>, std::less<>> options_;
  std::vector<std::string> arguments_;
};

enum class CommandAction { kRun, kHelp, kVersion, kUsageError };

struct ParsedCommandLine {
  CommandAction action = CommandAction::kRun;
  CommandLine line;
  std::string error;  // kUsageError: what is wrong, one line
};

// args: the arguments after the program's name. A usage error comes before --help and
// --version, which come before running.
ParsedCommandLine ParseCommandLine(const CommandProgram& program,
                                   const std::vector<std::string>& args);

// The whole --help text, in lines of 79 columns but for the epilogue's.
std::string HelpText(const CommandProgram& program);

// The manual page's OPTIONS entries (roff, without the .SH line): per option a .TP, its names
// and value, and its manual text.
std::string ManualOptions(const CommandProgram& program);

// For main(), after parsing: writes the help or the version ("name version") on standard output,
// or the usage error on standard error (UsageError). Returns the exit status, or nothing when
// the program is to run (kRun).
std::optional<int> AnswerCommandLine(const CommandProgram& program, CommandAction action,
                                     std::string_view error, std::string_view version);

// "name: message", then "Try 'name --help'." on standard error; returns 2, the exit status of a
// usage error.
int UsageError(const CommandProgram& program, std::string_view message);

}  // namespace packscope

#endif  // PACKSCOPE_CLI_OPTION_TABLE_H_
