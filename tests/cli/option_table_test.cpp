// The option tables: the command-line syntax and its usage errors, bytes through unchanged, the
// --help and manual text made from the rows, and the record and replay command lines read into
// what the programs run.
#include "cli/option_table.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "cli/live_commands.h"
#include "cli/program_options.h"

namespace packscope {
namespace {

CommandProgram TestProgram() {
  CommandProgram p;
  p.name = "prog";
  p.usage = "[options] FILE...";
  p.description =
      "Does a thing to files,\nand says so at such length that the line must wrap before its "
      "end.\n\nA second paragraph.";
  p.options = {
      {'o', "--output", "PATH", "Write to PATH.", ""},
      {0, "--count", "N", "Stop after N.", ""},
      {0, "--check", "", "Check instead.", ""},
      {'x', "--extra", "", "Two lines: .dot and back\\slash and -dash.", ""},
      {0, "--a-very-long-option-name", "VALUE", "Beneath its names.", ".B roff\ngiven"},
  };
  for (CommandOption& o : HelpAndVersionOptions()) p.options.push_back(o);
  p.exit_status = "Exit status: 0 done.";
  p.epilogue = "\nEnd:\n  as it stands\n";
  return p;
}

struct SyntaxCase {
  std::vector<std::string> args;
  CommandAction action;
  std::string output;  // the value of --output; "(none)" when not given
  std::vector<std::string> arguments;
  std::string error = {};
  bool check = false;
  bool extra = false;
};

void PrintTo(const SyntaxCase& c, std::ostream* os) {
  for (const std::string& a : c.args) *os << "'" << a << "' ";
}

class SyntaxTest : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(SyntaxTest, ValuesArgumentsAndUsageErrors) {
  const SyntaxCase& c = GetParam();
  const CommandProgram program = TestProgram();
  const ParsedCommandLine parsed = ParseCommandLine(program, c.args);
  EXPECT_EQ(parsed.action, c.action);
  EXPECT_EQ(parsed.error, c.error);
  if (c.action == CommandAction::kUsageError) return;
  const std::string* output = parsed.line.Value("--output");
  EXPECT_EQ(output ? *output : "(none)", c.output);
  EXPECT_EQ(parsed.line.Has("--output"), output != nullptr);
  EXPECT_EQ(parsed.line.Arguments(), c.arguments);
  EXPECT_EQ(parsed.line.Has("--check"), c.check);
  EXPECT_EQ(parsed.line.Has("--extra"), c.extra);
}

const auto kRun = CommandAction::kRun;
const auto kError = CommandAction::kUsageError;

INSTANTIATE_TEST_SUITE_P(
    CommandLine, SyntaxTest,
    ::testing::Values(
        SyntaxCase{{"a", "-o", "x", "b"}, kRun, "x", {"a", "b"}},
        SyntaxCase{{"-ox"}, kRun, "x", {}}, SyntaxCase{{"--output=x=y"}, kRun, "x=y", {}},
        SyntaxCase{{"--output", "a", "-o", "b"}, kRun, "b", {}},  // the last one counts
        SyntaxCase{{"-o", "-", "-"}, kRun, "-", {"-"}},           // standard output and input
        SyntaxCase{{"-o", ""}, kRun, "", {}},                     // empty, but given
        SyntaxCase{{"--count", "-1"}, kRun, "(none)", {}},        // a negative number is a value
        SyntaxCase{{"-xo", "v", "--check"}, kRun, "v", {}, "", true, true},
        SyntaxCase{{"--check", "--", "-o", "--check"}, kRun, "(none)", {"-o", "--check"}, "", true},
        SyntaxCase{{"a", "--frobnicate"}, kError, "", {}, "unknown option '--frobnicate'"},
        SyntaxCase{{"-y"}, kError, "", {}, "unknown option '-y'"},
        SyntaxCase{{"a", "-o"}, kError, "", {}, "--output needs a value"},
        SyntaxCase{{"--output="}, kError, "", {}, "--output needs a value"},
        SyntaxCase{{"--check=1"}, kError, "", {}, "--check takes no value"},
        SyntaxCase{{"--check=false"}, kError, "", {}, "--check takes no value"},
        SyntaxCase{{"-h", "a"}, CommandAction::kHelp, "(none)", {"a"}},
        SyntaxCase{{"--version"}, CommandAction::kVersion, "(none)", {}},
        SyntaxCase{{"-hv"}, CommandAction::kHelp, "(none)", {}},
        // A usage error comes before --help.
        SyntaxCase{{"--help", "--frobnicate"}, kError, "", {}, "unknown option '--frobnicate'"}));

// File names, patterns and filters are bytes: every byte comes back as given, in a value and in
// an argument, whatever the encoding (a Latin-1 name is not UTF-8).
TEST(CommandLineTest, EveryByteComesBackAsGiven) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string name = "caf\xE9 " + all;
  const ParsedCommandLine parsed = ParseCommandLine(TestProgram(), {"-o", all, name});
  ASSERT_EQ(parsed.action, CommandAction::kRun) << parsed.error;
  EXPECT_EQ(*parsed.line.Value("--output"), all);
  EXPECT_EQ(parsed.line.Arguments(), std::vector<std::string>{name});
}

TEST(CommandLineTest, ANameMissingFromTheTableIsAnError) {
  const ParsedCommandLine parsed = ParseCommandLine(TestProgram(), {});
  EXPECT_THROW(parsed.line.Has("--ouptut"), std::logic_error);
  EXPECT_THROW(parsed.line.Value("-o"), std::logic_error);
}

TEST(HelpTextTest, OptionsBesideOrBeneathTheirNamesAndParagraphsWrapped) {
  EXPECT_EQ(HelpText(TestProgram()),
            "Usage: prog [options] FILE...\n"
            "Does a thing to files, and says so at such length that the line must wrap\n"
            "before its end.\n"
            "\n"
            "A second paragraph.\n"
            "\n"
            "Options:\n"
            "  -o, --output PATH         Write to PATH.\n"
            "      --count N             Stop after N.\n"
            "      --check               Check instead.\n"
            "  -x, --extra               Two lines: .dot and back\\slash and -dash.\n"
            "      --a-very-long-option-name VALUE\n"
            "                            Beneath its names.\n"
            "  -h, --help                Show this help and exit.\n"
            "  -v, --version             Show the version and exit.\n"
            "\n"
            "Exit status: 0 done.\n"
            "\n"
            "End:\n"
            "  as it stands\n");
}

// The programs' own help: 79 columns (the epilogue's tables aside), and every option with a text.
TEST(HelpTextTest, TheProgramsHelpFitsItsColumns) {
  for (const CommandProgram* program : {&ConvertProgram(), &RecordProgram(), &ReplayProgram()}) {
    std::string text = HelpText(*program);
    text.resize(text.size() - program->epilogue.size());
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find('\n', start);
      EXPECT_LE(end - start, 79u) << program->name << ": " << text.substr(start, end - start);
      start = end + 1;
    }
    for (const CommandOption& o : program->options) {
      EXPECT_FALSE(o.help.empty()) << program->name << " " << o.long_name;
    }
  }
}

TEST(ManualOptionsTest, EachOptionAnEntryWithItsNamesInRoff) {
  EXPECT_EQ(ManualOptions(TestProgram()),
            ".TP\n.BR \\-o \", \" \\-\\-output \" \\fIPATH\\fR\"\nWrite to PATH.\n"
            ".TP\n.BI \\-\\-count \" N\"\nStop after N.\n"
            ".TP\n.B \\-\\-check\nCheck instead.\n"
            ".TP\n.BR \\-x \", \" \\-\\-extra\nTwo lines: .dot and back\\\\slash and \\-dash.\n"
            ".TP\n.BI \\-\\-a\\-very\\-long\\-option\\-name \" VALUE\"\n.B roff\ngiven\n"
            ".TP\n.BR \\-h \", \" \\-\\-help\nShow the options and exit.\n"
            ".TP\n.BR \\-v \", \" \\-\\-version\nShow the version and exit.\n");
  // Help text that would begin a roff request stays text.
  CommandProgram p = TestProgram();
  p.options = {{0, "--dot", "", ".Starts with a dot.", ""}};
  EXPECT_EQ(ManualOptions(p), ".TP\n.B \\-\\-dot\n\\&.Starts with a dot.\n");
}

// The record and replay command lines: each option's value lands where the program reads it,
// and a wrong one is a usage error that names it.
TEST(LiveCommandsTest, RecordOptionsAndTheirErrors) {
  const auto ok =
      ParseRecordCommand({"-o", "a.kss", "--baud", "19200", "--count", "5", "--duration", "2.5",
                          "--retry", "0", "--no-stamps", "--monitor", "[::1]:8001"});
  ASSERT_EQ(ok.action, CommandAction::kRun) << ok.error;
  EXPECT_EQ(ok.command.output, "a.kss");
  EXPECT_EQ(ok.command.baud, 19200);
  EXPECT_EQ(ok.command.options.count, 5);
  EXPECT_EQ(ok.command.options.duration, 2.5);
  EXPECT_EQ(ok.command.options.retry, 0);
  EXPECT_FALSE(ok.command.options.stamps);
  EXPECT_TRUE(ok.command.monitor);
  EXPECT_EQ(ok.command.address.host, "::1");
  EXPECT_EQ(ok.command.address.port, 8001);

  const auto defaults = ParseRecordCommand({"-o", "a.kss", "/dev/ttyUSB0"});
  ASSERT_EQ(defaults.action, CommandAction::kRun) << defaults.error;
  EXPECT_EQ(defaults.command.source, "/dev/ttyUSB0");
  EXPECT_EQ(defaults.command.baud, 9600);
  EXPECT_EQ(defaults.command.options.retry, 30);
  EXPECT_TRUE(defaults.command.options.stamps);
  EXPECT_FALSE(defaults.command.monitor);

  const std::vector<std::pair<std::vector<std::string>, std::string>> errors = {
      {{"h:1"}, "-o CAPTURE is required"},
      {{"-o", "", "h:1"}, "-o needs a file name"},
      {{"-o", "a"}, "no SOURCE given (HOST:PORT or a serial device)"},
      {{"-o", "a", "h:1", "h:2"}, "one SOURCE only"},
      {{"-o", "a", "h:70000"},
       "SOURCE 'h:70000' is neither HOST:PORT (port 1 to 65535) nor a serial device (/dev/...)"},
      {{"-o", "a", "--count", "0", "h:1"}, "--count takes a whole number of at least 1, not '0'"},
      {{"-o", "a", "--baud", "96k", "h:1"}, "--baud takes a whole number of at least 1, not '96k'"},
      {{"-o", "a", "--duration", "0", "h:1"},
       "--duration takes a number above 0 and at most 1000000000, not '0'"},
      {{"-o", "a", "--duration", "1e10", "h:1"},
       "--duration takes a number above 0 and at most 1000000000, not '1e10'"},
      {{"-o", "a", "--retry", "nan", "h:1"},
       "--retry takes a number of at least 0 and at most 1000000000, not 'nan'"},
  };
  for (const auto& [args, error] : errors) {
    const auto parsed = ParseRecordCommand(args);
    EXPECT_EQ(parsed.action, CommandAction::kUsageError) << error;
    EXPECT_EQ(parsed.error, error);
  }
}

TEST(LiveCommandsTest, ReplayOptionsAndTheirErrors) {
  const auto ok =
      ParseReplayCommand({"--listen", "127.0.0.1:0", "--speed", "0.5", "--loop", "a", "b"});
  ASSERT_EQ(ok.action, CommandAction::kRun) << ok.error;
  EXPECT_EQ(ok.command.captures, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ok.command.options.listen.port, 0);
  EXPECT_EQ(ok.command.options.speed, 0.5);
  EXPECT_TRUE(ok.command.options.loop);
  EXPECT_FALSE(ok.command.options.once);

  const std::vector<std::pair<std::vector<std::string>, std::string>> errors = {
      {{}, "no capture given"},
      {{"--loop", "--once", "a"}, "--loop and --once exclude each other"},
      {{"--listen", "h", "a"}, "--listen takes HOST:PORT, not 'h'"},
      {{"--speed", "-1", "a"},
       "--speed takes a number of at least 0 and at most 1000000000, not '-1'"},
  };
  for (const auto& [args, error] : errors) {
    const auto parsed = ParseReplayCommand(args);
    EXPECT_EQ(parsed.action, CommandAction::kUsageError) << error;
    EXPECT_EQ(parsed.error, error);
  }
}

}  // namespace
}  // namespace packscope
