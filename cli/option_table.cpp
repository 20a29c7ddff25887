#include "cli/option_table.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <stdexcept>

namespace packscope {
namespace {

constexpr std::size_t kHelpWidth = 79;
// The column where option texts begin, unless every option's names are shorter.
constexpr std::size_t kMaxNamesWidth = 28;

// "  -o, --output PATH" or "      --baud N"
std::string NamesColumn(const CommandOption& o) {
  std::string out = "  ";
  if (o.short_name != 0) {
    out += '-';
    out += o.short_name;
    out += ", ";
  } else {
    out += "    ";
  }
  out += o.long_name;
  if (!o.value.empty()) out += ' ' + o.value;
  return out;
}

// text's words in lines of at most kHelpWidth characters, each behind indent blanks; a word
// longer than a line stands alone on its line.
std::string Wrap(std::string_view text, std::size_t indent) {
  std::string out;
  std::size_t column = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    const std::size_t end = std::min(text.find(' ', i), text.size());
    const std::size_t length = end - i;
    if (column > 0 && column + 1 + length > kHelpWidth) {
      out += '\n';
      column = 0;
    }
    if (column == 0) {
      out.append(indent, ' ');
      column = indent;
    } else {
      out += ' ';
      ++column;
    }
    out.append(text.substr(i, length));
    column += length;
    i = end;
  }
  return out + '\n';
}

// Paragraphs (blank lines between them), each wrapped.
std::string WrapParagraphs(std::string_view text) {
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\n\n", start);
    if (end == std::string_view::npos) end = text.size();
    if (!out.empty()) out += '\n';
    std::string paragraph(text.substr(start, end - start));
    std::replace(paragraph.begin(), paragraph.end(), '\n', ' ');
    out += Wrap(paragraph, 0);
    start = end + 2;
  }
  return out;
}

// Names and texts as roff wants them: a backslash doubled, every dash \-, a line that would
// begin with a control character (. or ') behind \&.
std::string Roff(std::string_view text) {
  std::string out;
  bool line_start = true;
  for (const char c : text) {
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    if (c == '-' || c == '\\') out += '\\';
    out += c;
    line_start = c == '\n';
  }
  return out;
}

}  // namespace

std::vector<CommandOption> HelpAndVersionOptions() {
  return {
      {'h', "--help", "", "Show this help and exit.", "Show the options and exit."},
      {'v', "--version", "", "Show the version and exit.", ""},
  };
}

CommandLine::CommandLine(const CommandProgram& program) {
  for (const CommandOption& o : program.options) options_.emplace(o.long_name, std::nullopt);
}

const std::optional<std::string>& CommandLine::Entry(std::string_view long_name) const {
  const auto it = options_.find(long_name);
  if (it == options_.end()) {
    throw std::logic_error("the option table has no " + std::string(long_name));
  }
  return it->second;
}

bool CommandLine::Has(std::string_view long_name) const { return Entry(long_name).has_value(); }

const std::string* CommandLine::Value(std::string_view long_name) const {
  const std::optional<std::string>& entry = Entry(long_name);
  return entry ? &*entry : nullptr;
}

// The table bound to CLI11, which reads the command line; what CLI11 finds wrong is said in the
// words of the programs' other usage errors.
struct CommandLineParser {
  static ParsedCommandLine Parse(const CommandProgram& program,
                                 const std::vector<std::string>& args) {
    ParsedCommandLine parsed{CommandAction::kRun, CommandLine(program), {}};
    CLI::App app;
    app.set_help_flag();             // --help is a row of the table like any other
    app.allow_extras();              // unknown options are reported below, by name
    std::deque<std::string> values;  // stable addresses for CLI11 to write to
    std::vector<std::pair<const CommandOption*, CLI::Option*>> bound;
    for (const CommandOption& o : program.options) {
      std::string names = o.long_name;
      if (o.short_name != 0) names = std::string{'-', o.short_name} + ',' + names;
      CLI::Option* option = nullptr;
      if (o.value.empty()) {
        option = app.add_flag(names);
      } else {
        option = app.add_option(names, values.emplace_back())
                     ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
      }
      bound.emplace_back(&o, option);
    }
    std::vector<std::string> arguments;
    app.add_option("arguments", arguments);

    const auto fail = [&](std::string error) {
      parsed.action = CommandAction::kUsageError;
      parsed.error = std::move(error);
      return parsed;
    };
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
      app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& e) {
      // An option without its value: at the end of the line, or --name= with nothing after it.
      const std::string_view what = e.what();
      for (const CommandOption& o : program.options) {
        if (what.starts_with(o.long_name + ":")) return fail(o.long_name + " needs a value");
      }
      return fail(e.what());
    } catch (const CLI::ParseError& e) {
      return fail(e.what());
    }
    for (const std::string& extra : app.remaining()) {
      if (extra != "--") return fail("unknown option '" + extra + "'");
    }
    auto value = values.begin();
    for (const auto& [row, option] : bound) {
      const bool flag = row->value.empty();
      if (option->count() > 0) {
        if (flag) {
          // CLI11 lets a flag take a value (--check=false, --check=1); ours take none. (CLI11
          // reads --check=true as --check, which is harmless.)
          for (const std::string& r : option->results()) {
            if (r != "true") return fail(row->long_name + " takes no value");
          }
          parsed.line.options_[row->long_name] = std::string();
        } else {
          parsed.line.options_[row->long_name] = *value;
        }
      }
      if (!flag) ++value;
    }
    parsed.line.arguments_ = std::move(arguments);
    if (parsed.line.Has("--help")) {
      parsed.action = CommandAction::kHelp;
    } else if (parsed.line.Has("--version")) {
      parsed.action = CommandAction::kVersion;
    }
    return parsed;
  }
};

ParsedCommandLine ParseCommandLine(const CommandProgram& program,
                                   const std::vector<std::string>& args) {
  return CommandLineParser::Parse(program, args);
}

std::string HelpText(const CommandProgram& program) {
  std::string out = "Usage: " + program.name + " " + program.usage + "\n" +
                    WrapParagraphs(program.description) + "\nOptions:\n";
  std::size_t width = 0;
  for (const CommandOption& o : program.options) {
    width = std::max(width, NamesColumn(o).size() + 2);
  }
  width = std::min(width, kMaxNamesWidth);
  for (const CommandOption& o : program.options) {
    const std::string names = NamesColumn(o);
    const std::string help = Wrap(o.help, width);
    // The text beside the names, or under them when they reach into its column.
    out += names.size() + 2 > width ? names + "\n" + help : names + help.substr(names.size());
  }
  if (!program.exit_status.empty()) out += "\n" + WrapParagraphs(program.exit_status);
  out += program.epilogue;
  return out;
}

std::string ManualOptions(const CommandProgram& program) {
  std::string out;
  for (const CommandOption& o : program.options) {
    out += ".TP\n";
    const std::string long_name = Roff(o.long_name);
    const std::string value = Roff(o.value);
    if (o.short_name != 0) {
      out += ".BR \\-";
      out += o.short_name;
      out += " \", \" " + long_name;
      if (!value.empty()) out += " \" \\fI" + value + "\\fR\"";
    } else if (!value.empty()) {
      out += ".BI " + long_name + " \" " + value + "\"";
    } else {
      out += ".B " + long_name;
    }
    out += '\n';
    std::string text = o.manual.empty() ? Roff(o.help) : o.manual;
    if (!text.ends_with('\n')) text += '\n';
    out += text;
  }
  return out;
}

int UsageError(const CommandProgram& program, std::string_view message) {
  std::fprintf(stderr, "%s: %.*s\nTry '%s --help'.\n", program.name.c_str(),
               static_cast<int>(message.size()), message.data(), program.name.c_str());
  return 2;
}

std::optional<int> AnswerCommandLine(const CommandProgram& program, CommandAction action,
                                     std::string_view error, std::string_view version) {
  switch (action) {
    case CommandAction::kRun:
      return std::nullopt;
    case CommandAction::kHelp:
      std::fputs(HelpText(program).c_str(), stdout);
      return 0;
    case CommandAction::kVersion:
      std::printf("%s %.*s\n", program.name.c_str(), static_cast<int>(version.size()),
                  version.data());
      return 0;
    case CommandAction::kUsageError:
      break;
  }
  return UsageError(program, error);
}

}  // namespace packscope
