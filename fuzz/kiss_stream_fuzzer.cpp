// libFuzzer target: every input is a TNC's byte stream. The KISS stream parser
// (live/kiss_stream.h) must give the same frames however the stream is cut into reads, the same
// frames as the capture's frame loop reading the same bytes as a file (less the empty frames and
// a last frame left open, which a stream parser does not hand on, and up to the first frame too
// long for a capture, which ends the frame loop's pass), and each frame escaped again must read
// back as itself. Build with -DPACKSCOPE_FUZZ=ON and clang; `make fuzz` builds and runs it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "capture/errors.h"
#include "fuzz/memory_capture.h"
#include "live/capture_frames.h"
#include "live/kiss_stream.h"

namespace {

using Frames = std::vector<std::vector<std::uint8_t>>;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "kiss_stream_fuzzer: %s\n", what);
  std::abort();
}

Frames Parse(std::span<const std::uint8_t> stream, std::minstd_rand* pieces) {
  packscope::KissStreamParser parser;
  Frames frames;
  const auto keep = [&](std::span<const std::uint8_t> f) {
    frames.emplace_back(f.begin(), f.end());
  };
  std::size_t pos = 0;
  while (pos < stream.size()) {
    std::size_t n = stream.size() - pos;
    if (pieces != nullptr) n = std::min<std::size_t>(n, 1 + (*pieces)() % 64);
    parser.Feed(stream.subspan(pos, n), keep);
    pos += n;
  }
  return frames;
}

// The frames of the capture loop over the same bytes, held in memory as a file.
Frames FrameLoopFrames(const std::uint8_t* data, std::size_t size, bool& complete) {
  Frames frames;
  const int fd = ::memfd_create("kiss-stream", MFD_CLOEXEC);
  Check(fd >= 0 && ::write(fd, data, size) == static_cast<ssize_t>(size), "memfd");
  complete = true;
  try {
    packscope::ForEachCaptureFrame("/proc/self/fd/" + std::to_string(fd),
                                   [&](const packscope::CaptureFrame& f) {
                                     if (f.kiss_frame.empty() || f.cut_off) return;
                                     frames.emplace_back(f.kiss_frame.begin(), f.kiss_frame.end());
                                   });
  } catch (const packscope::CommandError&) {
    complete = false;  // a frame too long: the pass ended there
  }
  ::close(fd);
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The frame loop reads KISS only where the capture readers take the bytes as KISS.
  if (!packscope::fuzz::ReadAsKiss(data, size)) return 0;
  const std::span<const std::uint8_t> stream(data, size);
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  std::minstd_rand pieces(hash);

  const Frames whole = Parse(stream, nullptr);
  Check(Parse(stream, &pieces) == whole, "frames differ with the stream cut into other reads");

  bool complete = false;
  const Frames loop = FrameLoopFrames(data, size, complete);
  Check(complete
            ? loop == whole
            : loop.size() <= whole.size() && std::equal(loop.begin(), loop.end(), whole.begin()),
        "the stream parser and the capture's frame loop read other frames");

  std::vector<std::uint8_t> escaped;
  for (const auto& f : whole) packscope::AppendKissEscaped(escaped, f);
  Check(Parse(escaped, nullptr) == whole, "escaped frames do not read back as themselves");
  return 0;
}
