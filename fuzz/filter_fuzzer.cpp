// libFuzzer target: the filter language, whose expressions come from the command line (and
// later from the frame list's text box). An input is an expression, optionally followed by a NUL
// byte and one un-escaped KISS frame (type byte first). Build with -DPACKSCOPE_FUZZ=ON and clang;
// `make fuzz` builds and runs it.
//
// Checked, besides that nothing crashes, hangs or leaks:
//   - a refused expression has a message and a column from 1 to its length in characters + 1;
//   - an expression that parses is asked about the input's frame and a few fixed ones (with and
//     without a time, after a recovered frame), and so are "not (E)", which must answer the
//     opposite, and "(E) or (E)", which must answer the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "filter/filter.h"

namespace {

using packscope::Filter;
using packscope::FilterError;
using packscope::FrameFacts;

[[noreturn]] void Fail(const std::string& what, std::string_view expression) {
  std::fprintf(stderr, "filter_fuzzer: %s\nexpression: %.*s\n", what.c_str(),
               static_cast<int>(expression.size()), expression.data());
  std::abort();
}

// 7 bytes of an AX.25 address: the call shifted left, then the SSID byte.
std::string Address(std::string call, int ssid, bool last, bool high) {
  call.resize(6, ' ');
  std::string block;
  for (const char c : call) block.push_back(static_cast<char>(c << 1));
  block.push_back(static_cast<char>(0x60 | ssid << 1 | (last ? 1 : 0) | (high ? 0x80 : 0)));
  return block;
}

std::vector<std::string> FixedFrames() {
  const std::string ui = std::string(1, '\0') + Address("APRS", 0, false, true) +
                         Address("QQ0QQ", 7, false, false) + Address("QQ0DIG", 1, false, true) +
                         Address("WIDE2", 1, true, false) + "\x03\xF0" + "=4806.05N/01138.47E-";
  const std::string rr = std::string(1, '\0') + Address("QQ0QQ", 1, false, false) +
                         Address("QQ1QQ", 0, true, true) + "\x71";
  // An object with an invalid latitude, to QQ0QQ-7's message.
  const std::string object = std::string(1, '\0') + Address("APRS", 0, false, true) +
                             Address("QQ1QQ", 0, true, false) + "\x03\xF0" +
                             ";LEADER   _092345z9903.50N/07201.75W>";
  const std::string message = std::string(1, '\0') + Address("APRS", 0, false, true) +
                              Address("QQ2QQ", 0, true, false) + "\x03\xF0" +
                              ":QQ0QQ-7  :PARM.Battery,Temp{3";
  return {ui, rr, object, message, "", std::string("\x00\x82", 2), std::string("\x11\x05", 2)};
}

int Characters(std::string_view text) {
  int n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view expression = input.substr(0, nul);
  FilterError error;
  const std::optional<Filter> filter = Filter::Parse(expression, &error);
  if (!filter) {
    if (error.message.empty()) Fail("refused without a message", expression);
    if (error.column < 1 || error.column > Characters(expression) + 1) {
      Fail("column " + std::to_string(error.column) + " outside the expression", expression);
    }
    return 0;
  }
  const std::string text(expression);
  const std::optional<Filter> negated = Filter::Parse("not (" + text + ")", &error);
  const std::optional<Filter> doubled = Filter::Parse("(" + text + ") or (" + text + ")", &error);
  if (!negated && error.message.find("nests deeper") == std::string::npos) {
    Fail("\"not (E)\" is refused: " + error.Text(), expression);
  }

  std::vector<std::string> frames = FixedFrames();
  if (nul != std::string_view::npos) frames.emplace_back(input.substr(nul + 1));
  packscope::FrameAprs aprs;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    for (int variant = 0; variant < 2; ++variant) {
      packscope::FrameInfo info;
      std::optional<std::int64_t> time;
      if (variant == 1) {
        time = 1451651696789;
        info.recovered = true;
        info.bad_escapes = 1;
      }
      FrameFacts facts;
      facts.aprs_reading = &aprs;
      aprs.NextFrame();
      facts.Begin({reinterpret_cast<const std::uint8_t*>(frames[i].data()), frames[i].size()},
                  static_cast<std::int64_t>(i + 1), static_cast<std::int64_t>(17 * i), time, info);
      const bool answer = filter->Matches(facts);
      if (negated && negated->Matches(facts) == answer) {
        Fail("\"not (E)\" gives the same answer on frame " + std::to_string(i + 1), expression);
      }
      if (doubled && doubled->Matches(facts) != answer) {
        Fail("\"(E) or (E)\" answers otherwise on frame " + std::to_string(i + 1), expression);
      }
    }
  }
  return 0;
}
