// Every layout of packscope-convert on one generated capture, compared with what the program wrote
// before its frame loop, hex text and timestamp step were made faster, and before the screen
// layout streamed its text.
//
// The capture mixes what the fast paths treat apart: bytes before the first FEND, frames with and
// without escapes, stray escapes, a FESC standing last, empty frames, a frame behind a shared
// FEND, binary and text stamps, I, S and U frames, up to eight digipeaters, frames longer than
// one dump line, and a last frame cut off by the end of the file.
//
// The pins are size and FNV-1a digest of each output. They were taken from packscope-convert
// built from commit 23f5a47 (the program before the speed-up) by running this test with
// PACKSCOPE_CONVERT_UNDER_TEST naming that build; the same variable checks any other build.
// jsonl and monitor were pinned again when they gained their APRS parts (jsonl's "time" and
// "aprs" keys, monitor's second line under APRS frames): the bytes they wrote before those are
// the same but for the additions, which the layout tests check. jsonl and --check were pinned
// again when findings were told apart as damage and the senders' departures (--check's kinds,
// jsonl's "damage" and its "problem" for damaged frames; empty frames and KISS commands no
// longer findings), and when a UI frame with PID F0 became APRS only with a data type identifier
// (no "aprs" object, no monitor line for the others), and when an empty status became "" (jsonl)
// and Status: "" (monitor).
// jsonl once more when it gained its "session" and "netrom" keys (the same bytes but for those
// keys), and sessions was pinned when it came.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gencapture/capture_generator.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Hex;
using testing::ReadFile;

std::string ConvertProgram() {
  const char* other = std::getenv("PACKSCOPE_CONVERT_UNDER_TEST");
  return other != nullptr && *other != '\0' ? other : PACKSCOPE_CONVERT;
}

std::uint64_t Fnv1a(const std::string& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string Generated(std::uint64_t seed, std::int64_t frames, gen::StampForm stamps, bool mix,
                      int max_digis, int max_length) {
  gen::Options o;
  o.seed = seed;
  o.frames = frames;
  o.stamps = stamps;
  o.mix = mix;
  o.max_digis = max_digis;
  o.max_length = max_length;
  return gen::GenerateCaptureBytes(o);
}

std::string MixedCapture() {
  std::string c = "garbage before the first FEND";
  c += Generated(11, 400, gen::StampForm::kBinary, true, 8, 240);
  // A stray escape, an escape standing last, empty frames, a frame behind a shared FEND, a frame
  // of escaped FENDs and FESCs only, high bytes in the printable line.
  c +=
      Hex("C0 00 41 DB 41 42 DB C0 C0 00 DB C0 C0 C0 C0 00 43 44 C0 45 46 C0"
          " C0 00 DB DC DB DD DB DC C0 C0 00 7F 80 9F A0 FF 1F 20 C0");
  c += Generated(12, 200, gen::StampForm::kText, false, 2, 600);
  c += Generated(13, 150, gen::StampForm::kNone, true, 0, 60);
  c += Hex("C0 00 82 A0 A4 A6 40 40 E0 9C 60 86 82 98 98 E1 03 F0 41 DB DC 42");  // cut off
  return c;
}

struct Pinned {
  const char* arguments;
  std::int64_t size;
  std::uint64_t digest;
};

const Pinned kPinned[] = {
    {"--layout hex-complete", 310298, 15839852336644445135u},
    {"--layout hex-kissframe", 305462, 1296275583540386054u},
    {"--layout hex-payload", 243376, 8241768812394970033u},
    {"--layout hex-payload --no-ax25", 1516, 2021237081554436089u},
    {"--layout hex-payload-time", 265358, 14654314754337953963u},
    {"--layout ascii-payload-time", 126224, 1266909925966240428u},
    {"--layout screen", 542332, 2121418326672679652u},
    {"--layout screen --decode-kiss", 535292, 1061260487098031040u},
    {"--layout pcap", 113266, 4138567412565956189u},
    {"--layout jsonl", 1011141, 1868198557534644058u},
    {"--layout monitor", 261326, 6456454060060486472u},
    {"--layout sessions", 21436, 745929440985841577u},
    {"--check", 1599, 6609243555799781839u},
};

class PinnedOutputTest : public testing::TempDirTest {};

TEST_F(PinnedOutputTest, EveryLayoutWritesTheBytesItWroteBefore) {
  WriteCapture("mixed.kss", MixedCapture());
  for (const Pinned& p : kPinned) {
    SCOPED_TRACE(p.arguments);
    const std::string args = p.arguments;
    const bool check = args == "--check";
    const std::string output = PathOf("out");
    std::remove(output.c_str());
    // In the capture's folder: the report names the capture as given.
    const std::string command = "cd '" + Dir() + "' && LC_ALL=C LANG=C '" + ConvertProgram() +
                                "' " + args + (check ? "" : " -o out") +
                                " mixed.kss >stdout 2>stderr";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    // --check finds the garbage, the stray escapes and the cut-off frame.
    EXPECT_EQ(WEXITSTATUS(status), check ? 3 : 0) << ReadFile(PathOf("stderr"));
    const std::string bytes = ReadFile(check ? PathOf("stdout") : output);
    EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), p.size);
    EXPECT_EQ(Fnv1a(bytes), p.digest);
  }
}

}  // namespace
}  // namespace packscope
