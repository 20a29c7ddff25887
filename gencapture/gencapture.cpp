// packscope-gencapture: writes a made-up KISS capture (see gencapture/capture_generator.h).
//
//   packscope-gencapture --seed 3 --frames 40 --mix -o sample.kss
//   packscope-gencapture --size 100000000 -o big.kss
//   packscope-gencapture --frames 2000 --receiver north.kss --receiver south.kss:60:+1000
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/output_file.h"
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
  // The capture is written whole or not at all: a failed run keeps an earlier file of the name.
  if (!options.receivers.empty()) {
    try {
      std::vector<std::unique_ptr<packscope::OutputFile>> outs;
      std::vector<std::function<void(std::string_view)>> writes;
      for (const packscope::gen::Receiver& r : options.receivers) {
        outs.push_back(std::make_unique<packscope::OutputFile>(r.output));
        writes.emplace_back([out = outs.back().get()](std::string_view b) { out->Write(b); });
      }
      packscope::gen::GenerateTraffic(options, writes);
      for (const auto& out : outs) out->Commit();
    } catch (const std::exception& e) {
      return Fail(e.what(), 1);
    }
    return 0;
  }
  try {
    packscope::OutputFile out(options.output);
    packscope::gen::GenerateCapture(options, [&](std::string_view block) { out.Write(block); });
    out.Commit();
  } catch (const std::exception& e) {
    return Fail(e.what(), 1);
  }
  return 0;
}
