// Micro-benchmarks of the hot routines: the hex text of a frame, the dump and the printable line
// built on it, and whole passes of the frame loop over a generated capture, with and without
// the AX.25 decoder.
//
//   build/bench/micro_bench                       all of them
//   build/bench/micro_bench --benchmark_filter=FrameLoop
//
// Also the frame index: its pass, the running totals of the texts made from it, and a screen
// rendered on demand.
//
// Bytes per second are bytes of input: frame bytes for the renderers, capture bytes for a pass.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "capture/decoder_state.h"
#include "capture/frame_index.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "capture/line_sink.h"
#include "capture/screen_text.h"
#include "gencapture/capture_generator.h"
#include "render/hex.h"

namespace packscope {
namespace {

// A frame as the generator writes them: AX.25 UI, two digipeaters, a text information field.
std::vector<std::uint8_t> SampleFrame(std::size_t length) {
  std::vector<std::uint8_t> frame(length);
  for (std::size_t i = 0; i < length; ++i) {
    frame[i] = static_cast<std::uint8_t>(i < 30 ? (i * 37 + 11) & 0xFF : 32 + (i * 7) % 95);
  }
  return frame;
}

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
  std::string hex;
  AppendHexText(hex, bytes.data(), bytes.size());
  return hex;
}

// ByteToHex once per byte, as the routine itself is called: one text per byte.
void BM_ByteToHexPerByte(benchmark::State& st) {
  const auto frame = SampleFrame(static_cast<std::size_t>(st.range(0)));
  std::string out;
  for (auto _ : st) {
    out.clear();
    for (std::uint8_t b : frame) {
      out += ByteToHex(b);
      out.push_back(' ');
    }
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(st.iterations() * st.range(0));
}
BENCHMARK(BM_ByteToHexPerByte)->Arg(20)->Arg(150)->Arg(240);

// The hex text of a frame as the frame loop builds RawHex, FrameHex and PayloadHex.
void BM_AppendHexText(benchmark::State& st) {
  const auto frame = SampleFrame(static_cast<std::size_t>(st.range(0)));
  std::string out;
  for (auto _ : st) {
    out.clear();
    AppendHexText(out, frame.data(), frame.size());
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(st.iterations() * st.range(0));
}
BENCHMARK(BM_AppendHexText)->Arg(20)->Arg(150)->Arg(240)->Arg(2048);

void BM_HexDump(benchmark::State& st) {
  const std::string hex = HexOf(SampleFrame(static_cast<std::size_t>(st.range(0))));
  std::string out;
  for (auto _ : st) {
    out.clear();
    AppendHexDump(out, hex);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(st.iterations() * st.range(0));
}
BENCHMARK(BM_HexDump)->Arg(20)->Arg(150)->Arg(240)->Arg(2048);

void BM_HexToAscii(benchmark::State& st) {
  const std::string hex = HexOf(SampleFrame(static_cast<std::size_t>(st.range(0))));
  std::string out;
  for (auto _ : st) {
    out.clear();
    AppendHexToAscii(out, hex);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(st.iterations() * st.range(0));
}
BENCHMARK(BM_HexToAscii)->Arg(20)->Arg(150)->Arg(240)->Arg(2048);

// Lines are counted and dropped: the pass alone is measured, not a file.
class NullSink : public LineSink {
 public:
  void Write(std::string_view bytes) override { written_ += bytes.size(); }
  std::size_t Written() const { return written_; }

 private:
  std::size_t written_ = 0;
};

// A generated capture of about 8 MB in the temporary folder, written once for all passes.
class CaptureOnDisk {
 public:
  CaptureOnDisk() {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/packscope-bench-" +
            std::to_string(::getpid()) + ".kss";
    gen::Options options;
    options.seed = 7;
    options.frames = -1;
    options.size = 8 << 20;
    options.max_digis = 2;
    options.stamps = gen::StampForm::kBinary;
    options.output = path_;
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f == nullptr) {
      std::perror(path_.c_str());
      std::exit(1);
    }
    const gen::Summary summary = gen::GenerateCapture(options, [&](std::string_view block) {
      if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) {
        std::perror(path_.c_str());
        std::exit(1);
      }
    });
    std::fclose(f);
    size_ = summary.bytes;
  }
  ~CaptureOnDisk() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }
  std::int64_t Size() const { return size_; }

 private:
  std::string path_;
  std::int64_t size_ = 0;
};

const CaptureOnDisk& Capture() {
  static const CaptureOnDisk capture;
  return capture;
}

// A pass in one of the file modes, lines dropped. range(0): mode, range(1): AX.25 decoder.
void BM_FrameLoop(benchmark::State& st) {
  const CaptureOnDisk& capture = Capture();
  DecoderState state;
  HeadlessWindow window;
  NullSink sink;
  window.SetCheck2(st.range(1) != 0);
  state.CaptureFileName = capture.Path();
  state.OutputMode = static_cast<std::int16_t>(st.range(0));
  state.OutputFile = &sink;
  for (auto _ : st) ReadCapture(state, window);
  st.SetBytesProcessed(st.iterations() * capture.Size());
  st.counters["frames"] = static_cast<double>(state.FrameCount);
}
BENCHMARK(BM_FrameLoop)
    ->ArgNames({"mode", "ax25"})
    ->Args({kHexComplete, 0})
    ->Args({kHexComplete, 1})
    ->Args({kHexPayload, 1})
    ->Args({kAsciiPayloadTime, 1})
    ->Unit(benchmark::kMillisecond);

// A Screen pass into the headless display (text, colours and selection in memory).
void BM_FrameLoopScreen(benchmark::State& st) {
  const CaptureOnDisk& capture = Capture();
  DecoderState state;
  HeadlessWindow window;
  window.SetCheck2(st.range(0) != 0);
  state.CaptureFileName = capture.Path();
  state.OutputMode = kScreen;
  for (auto _ : st) ReadCapture(state, window);
  st.SetBytesProcessed(st.iterations() * capture.Size());
}
BENCHMARK(BM_FrameLoopScreen)->ArgName("ax25")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The frame index of the capture, built in one pass.
void BM_FrameIndex(benchmark::State& st) {
  const CaptureOnDisk& capture = Capture();
  std::int64_t frames = 0;
  for (auto _ : st) {
    FrameIndex index(capture.Path());
    index.Extend();
    frames = index.Snapshot().FrameCount();
  }
  st.SetBytesProcessed(st.iterations() * capture.Size());
  st.counters["frames"] = static_cast<double>(frames);
}
BENCHMARK(BM_FrameIndex)->Unit(benchmark::kMillisecond);

// The display text's and the timestamp log's running totals over the whole index, from scratch
// (what the window does as the index grows, spread over the pass).
void BM_IndexLayout(benchmark::State& st) {
  const CaptureOnDisk& capture = Capture();
  FrameIndex index(capture.Path());
  index.Extend();
  const IndexSnapshot snapshot = index.Snapshot();
  HeadlessWindow window;
  for (auto _ : st) {
    if (st.range(0) == 0) {
      ScreenText text(window);
      text.Update(snapshot);
      benchmark::DoNotOptimize(text.Size());
    } else {
      StampLogText log(window);
      log.Update(snapshot);
      benchmark::DoNotOptimize(log.Size());
    }
  }
  st.SetBytesProcessed(st.iterations() * capture.Size());
  st.counters["frames"] = static_cast<double>(snapshot.FrameCount());
}
BENCHMARK(BM_IndexLayout)->ArgName("log")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A screen of 60 lines in the middle of the display text, its blocks read and rendered anew.
void BM_ScreenOnDemand(benchmark::State& st) {
  const CaptureOnDisk& capture = Capture();
  FrameIndex index(capture.Path());
  index.Extend();
  HeadlessWindow window;
  std::vector<ColorRun> runs;
  std::int64_t top = 0;
  for (auto _ : st) {
    st.PauseTiming();
    ScreenText text(window);  // no block kept
    text.Update(index.Snapshot());
    top = (top + 7919) % text.LineCount();
    st.ResumeTiming();
    for (std::int64_t line = top; line < top + 60; ++line) {
      benchmark::DoNotOptimize(text.LineStart(line));
      benchmark::DoNotOptimize(text.LineText(line).data());
      text.LineColors(line, runs);
    }
  }
}
BENCHMARK(BM_ScreenOnDemand)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace packscope

BENCHMARK_MAIN();
