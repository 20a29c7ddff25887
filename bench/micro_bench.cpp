// Micro-benchmarks of the hot routines: the hex text of a frame, the dump and the printable line
// built on it, whole passes of the frame loop over a generated capture, with and without the
// AX.25 decoder, and the APRS decoder over a mix of fields as they are heard on the air.
//
//   build/bench/micro_bench                       all of them
//   build/bench/micro_bench --benchmark_filter=FrameLoop
//
// Also the frame index: its pass, the running totals of the texts made from it, and a screen
// rendered on demand.
//
// Bytes per second are bytes of input: frame bytes for the renderers, capture bytes for a pass.
// The APRS benchmarks count fields (items per second) and the allocations per field, counted by
// this program's operator new.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "aprs/aprs_decoder.h"
#include "aprs/aprs_words.h"
#include "capture/decoder_state.h"
#include "capture/frame_index.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "capture/line_sink.h"
#include "capture/screen_text.h"
#include "gencapture/capture_generator.h"
#include "render/hex.h"

// Every allocation of the program, for the allocations-per-field counters.
std::atomic<std::uint64_t> g_allocations{0};

void* operator new(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n != 0 ? n : 1)) return p;
  throw std::bad_alloc();
}
// GCC sees free() for memory from operator new once it inlines these; the pair is replaced
// together, so they match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

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

// APRS fields in the proportions of a busy VHF channel: positions (plain, compressed, with
// timestamp), Mic-E, weather, messages and acks, status, telemetry with its station's
// definitions, objects, items and third-party packets. Source, destination, field.
struct AprsSample {
  const char* source;
  const char* destination;
  const char* info;
};
constexpr AprsSample kAprsMix[] = {
    {"DL1ABC-9", "APRS", "!4903.50N/07201.75W-PHG5132 Home station"},
    {"DL1ABC-9", "APDW16", "=4903.50N/07201.75W>088/036/A=001234 on the road"},
    {"G4KLX", "APU25N", "@092345z4903.50N/07201.75W_220/004g005t077r000p000P000h50b09900wRSW"},
    {"OH7LZB-9", "APRS", "!/5L!!<*e7>7P[ tracker"},
    {"N1ZZN-9", "T2SP0W", "`c_Vm6hk/`\"49}Jeff Mobile_%"},
    {"KB1KTR-8", "TR3U6T", "`c1\x1fl!t>/>\"4^}"},
    {"W1ERB-9", "T1SW8P", "`dI8l!#j/\"3m}"},
    {"VE2VL-9", "TU3V0P", "`eB?l\")v/\"3y}QRV 145.390"},
    {"W6GPS", "APRS", "/234517h3400.00N/11800.00W>045/055"},
    {"JA1QRP", "APRS", "=/5L!!<*e7OS]S balloon"},
    {"ZS6EY-1", "APRS", "_10090556c220s004g005t077r000p000P000h50b09900wRSW"},
    {"WU2Z", "APRS", ":KB2ICI-14:Are you on the net tonight?{00042"},
    {"KB2ICI-14", "APRS", ":WU2Z     :ack00042"},
    {"N0CALL", "APRS", ">092345zNet Control Center"},
    {"N0QBF-11", "APRS", "T#005,199,000,255,073,123,01101001"},
    {"N0CALL", "APRS", ";LEADER   *092345z4903.50N/07201.75W>088/036"},
    {"N0CALL", "APRS", ")AID #2!4903.50N/07201.75WA"},
    {"IGATE", "APRS", "}WB2OSZ>APDW16,TCPIP,IGATE*:!4237.14NS07120.83W#PHG7140"},
    {"DL2XYZ", "APRS", "!4903.50N/07201.75W-Test /A=000567 !W51!"},
    {"PY2ABC-5", "APRS", "$GPRMC,063909,A,3349.4302,N,11700.3721,W,43.022,89.3,291099,13.6,E*52"},
};

void BM_AprsDecode(benchmark::State& st) {
  AprsDecoder decoder;
  for (const char* def : {":N0QBF-11 :PARM.Battery,Btemp,ATemp,Pres,Alt",
                          ":N0QBF-11 :UNIT.Volts,deg.F,deg.F,Mbar,Kft",
                          ":N0QBF-11 :EQNS.0,5.2,0,0,.53,-32,3,4.39,49,-32,3,18,1,2,3"}) {
    decoder.Decode(AprsHeader{"N0QBF-11", "APRS"}, def);
  }
  const auto pass = [&] {
    for (const AprsSample& s : kAprsMix) {
      const AprsPacket& p = decoder.Decode(AprsHeader{s.source, s.destination}, s.info);
      benchmark::DoNotOptimize(&p);
    }
  };
  // Allocations in the steady state, counted apart from the timed loop (in which the benchmark
  // library allocates itself): the first pass grows the decoder's buffers.
  pass();
  const std::uint64_t before = g_allocations.load();
  constexpr int kCountedPasses = 1000;
  for (int i = 0; i < kCountedPasses; ++i) pass();
  st.counters["allocs_per_field"] = static_cast<double>(g_allocations.load() - before) /
                                    (kCountedPasses * static_cast<double>(std::size(kAprsMix)));
  for (auto _ : st) pass();
  st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * std::size(kAprsMix)));
}
BENCHMARK(BM_AprsDecode);

// The monitor layout's line in plain words for each field of the same mix.
void BM_AprsWords(benchmark::State& st) {
  AprsDecoder decoder;
  std::string out;
  for (auto _ : st) {
    for (const AprsSample& s : kAprsMix) {
      out.clear();
      AppendAprsWords(out, decoder.Decode(AprsHeader{s.source, s.destination}, s.info));
      benchmark::DoNotOptimize(out.data());
    }
  }
  st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * std::size(kAprsMix)));
}
BENCHMARK(BM_AprsWords);
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
