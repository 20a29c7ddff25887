// packscope-gencapture: writes a made-up KISS capture (see gencapture/capture_generator.h).
//
//   packscope-gencapture --seed 3 --frames 40 --mix -o sample.kss
//   packscope-gencapture --size 100000000 -o big.kss
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "gencapture/capture_generator.h"

namespace {

constexpr const char* kProgram = "packscope-gencapture";

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  const packscope::gen::ParsedArguments parsed = packscope::gen::ParseArguments(args);
  if (!parsed.error.empty()) return Fail(parsed.error + " (see --help)", 2);
  if (parsed.help) {
    std::fputs(packscope::gen::UsageText().c_str(), stdout);
    return 0;
  }
  const packscope::gen::Options& options = parsed.options;

  const bool to_stdout = options.output == "-";
  if (to_stdout && ::isatty(STDOUT_FILENO) != 0) {
    return Fail("will not write a binary capture to a terminal; use -o PATH or a pipe", 2);
  }
  std::FILE* out = to_stdout ? stdout : std::fopen(options.output.c_str(), "wb");
  const std::string where = to_stdout ? "standard output" : "\"" + options.output + "\"";
  if (out == nullptr) return Fail("cannot write " + where + ": " + std::strerror(errno), 1);

  // A failed write ends the run at once.
  struct WriteFailed {};
  int write_error = 0;
  try {
    packscope::gen::GenerateCapture(options, [&](std::string_view block) {
      if (std::fwrite(block.data(), 1, block.size(), out) != block.size()) {
        write_error = errno != 0 ? errno : EIO;
        throw WriteFailed{};
      }
    });
  } catch (const WriteFailed&) {
  }
  if (std::fflush(out) != 0 && write_error == 0) write_error = errno != 0 ? errno : EIO;
  if (!to_stdout && std::fclose(out) != 0 && write_error == 0)
    write_error = errno != 0 ? errno : EIO;
  if (write_error != 0) {
    // A cut-off capture would pass for a whole one: remove it.
    if (!to_stdout) std::remove(options.output.c_str());
    return Fail("cannot write " + where + ": " + std::strerror(write_error), 1);
  }
  return 0;
}
