#include "fuzz/capture_check.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>
#include <vector>

#include "aprs/aprs_frame.h"
#include "ax25/tnc2_text.h"
#include "capture/capture_input.h"
#include "capture/decoder_state.h"
#include "capture/errors.h"
#include "capture/frame_findings.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "capture/line_sink.h"
#include "commands/commands.h"
#include "commands/health_check.h"
#include "commands/layouts.h"
#include "fuzz/memory_capture.h"

namespace packscope::fuzz {
namespace {

void AbortOnFailure(const std::string& message) {
  std::fprintf(stderr, "capture check failed: %s\n", message.c_str());
  std::abort();
}

FailureHandler g_failure = AbortOnFailure;

// The message is built only when the check fails: most checks run once per frame.
#define CAPTURE_CHECK(condition, message) \
  do {                                    \
    if (!(condition)) g_failure(message); \
  } while (false)

// Texts in failure messages: control and high bytes as \xNN, long texts shortened around the
// first place where they differ from the expected one.
std::string Shown(std::string_view s, std::size_t around) {
  const std::size_t from = around > 40 ? around - 40 : 0;
  std::string out = from > 0 ? "..." : "";
  for (std::size_t i = from; i < s.size() && i < from + 120; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 32 && c < 127 && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  if (s.size() > from + 120) out += "...";
  return out;
}

std::string Differs(std::string_view what, std::string_view got, std::string_view want) {
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  return std::string(what) + " differs at character " + std::to_string(at) + " (" +
         std::to_string(got.size()) + " characters, expected " + std::to_string(want.size()) +
         "):\n  got      \"" + Shown(got, at) + "\"\n  expected \"" + Shown(want, at) + "\"";
}

#define CAPTURE_CHECK_TEXT(what, got, want) CAPTURE_CHECK((got) == (want), Differs(what, got, want))

#define CAPTURE_CHECK_NUMBER(what, got, want)                                         \
  CAPTURE_CHECK((got) == (want), std::string(what) + ": got " + std::to_string(got) + \
                                     ", expected " + std::to_string(want))

// --- A plain reading of the capture, byte by byte ---

// Hex text written out directly: two upper-case digits and a blank per byte.
void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
    out.push_back(' ');
  }
}

std::string HexOf(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  AppendHex(out, bytes, n);
  return out;
}

std::string HexOf(const std::string& bytes) {
  return HexOf(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

struct ModelFrame {
  std::int64_t offset = 0;  // the FEND that opened the frame
  std::size_t end = 0;      // behind the frame's last stored byte, closing FEND included
  std::string bytes;        // un-escaped
  bool recovered = false;   // opened by the FEND in front of a byte other than FEND
  bool cut_off = false;     // no closing FEND
};

struct Model {
  std::vector<ModelFrame> frames;  // the frames a pass hands on
  bool too_long = false;           // the frame behind them is too long: the pass stops there
  ModelFrame long_frame;           // where that one starts, and its first kMaxFrameLength bytes
};

// The framing rules, one byte at a time: between frames a FEND opens a frame; before the first
// FEND of the capture everything is skipped through that FEND; any other byte between frames
// starts a frame opened by the FEND in front of it. Inside a frame FESC TFEND and FESC TFESC
// stand for FEND and FESC; a FESC before any other byte, or last, stays as it is.
class ModelReader {
 public:
  Model Read(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      const std::uint8_t b = data[i];
      const auto at = static_cast<std::int64_t>(i);
      switch (where_) {
        case kStart:
          if (b == kFend) {
            Open(at, false);
          } else {
            where_ = kSkipping;
          }
          break;
        case kSkipping:
          if (b == kFend) {
            last_fend_ = at;
            where_ = kBetween;
          }
          break;
        case kBetween:
          if (b == kFend) {
            Open(at, false);
          } else {
            Open(last_fend_, true);
            if (!Add(b)) return TooLong();
          }
          break;
        case kInFrame:
          if (b == kFend) {
            if (!Finish(i + 1, true)) return TooLong();
            last_fend_ = at;
          } else if (!Add(b)) {
            return TooLong();
          }
          break;
      }
    }
    if (where_ == kInFrame && !Finish(size, false)) return TooLong();
    return std::move(model_);
  }

 private:
  enum Where { kStart, kSkipping, kBetween, kInFrame };

  void Open(std::int64_t offset, bool recovered) {
    frame_ = ModelFrame{};
    frame_.offset = offset;
    frame_.recovered = recovered;
    escape_ = false;
    where_ = kInFrame;
  }
  bool Put(std::uint8_t b) {
    if (frame_.bytes.size() == static_cast<std::size_t>(kMaxFrameLength)) return false;
    frame_.bytes.push_back(static_cast<char>(b));
    return true;
  }
  bool Add(std::uint8_t b) {
    if (escape_) {
      escape_ = false;
      if (b == kTfend) return Put(kFend);
      if (b == kTfesc) return Put(kFesc);
      if (!Put(kFesc)) return false;
    }
    if (b == kFesc) {
      escape_ = true;
      return true;
    }
    return Put(b);
  }
  bool Finish(std::size_t end, bool closed) {
    if (escape_) {
      escape_ = false;
      if (!Put(kFesc)) return false;
    }
    frame_.end = end;
    frame_.cut_off = !closed;
    model_.frames.push_back(std::move(frame_));
    where_ = kBetween;
    return true;
  }
  Model TooLong() {
    model_.too_long = true;
    model_.long_frame = std::move(frame_);
    return std::move(model_);
  }

  Model model_;
  ModelFrame frame_;
  Where where_ = kStart;
  std::int64_t last_fend_ = 0;
  bool escape_ = false;
};

// --- The host of the passes ---

// The headless window; the timestamp log is counted, not kept, so that memory stays flat over
// millions of captures.
class CheckWindow : public HeadlessWindow {
 public:
  void AppendText4(std::string_view text) override {
    ++text4_lines;
    text4_last.assign(text);
  }
  void ClearText4() override {
    text4_lines = 0;
    text4_last.clear();
  }
  std::int64_t text4_lines = 0;
  std::string text4_last;
};

// The converter's kind of window: nothing shown as the frames are read, no stamp log. Its passes
// make only what their layout reads.
class QuietWindow : public HeadlessWindow {
 public:
  bool ShowsFramesAsRead() const override { return false; }
  bool KeepsStampLog() const override { return false; }
};

// Collects what a layout writes for one frame.
class CheckingSink : public LineSink {
 public:
  void Write(std::string_view bytes) override { pending.append(bytes); }
  std::string pending;
};

struct PassSetup {
  std::int16_t mode;
  bool check1;
  bool check2;
};

constexpr PassSetup kPasses[] = {
    {kScreen, false, true},           {kScreen, true, false},
    {kHexComplete, false, true},      {kHexKissFrame, false, true},
    {kHexPayload, false, true},       {kHexPayloadTime, false, true},
    {kAsciiPayloadTime, false, true}, {kHexComplete, true, false},
    {kHexKissFrame, true, false},     {kHexPayload, true, false},
    {kHexPayloadTime, true, false},   {kAsciiPayloadTime, true, false},
};

// The pass over the capture with a frame too long behind it.
constexpr PassSetup kStretchedPass = {kHexPayloadTime, true, true};

// Lives across captures, as the program's state does.
struct Host {
  DecoderState state;
  CheckWindow window;
  // What FrameBytes must hold at positions 1.. as far as the checks look (the AX.25 decoder
  // reads up to position 81): every frame overwrites positions 1 to its length only.
  std::vector<std::uint8_t> frame_bytes = std::vector<std::uint8_t>(kShadowSize + 1, 0);
  int capture_fd = -1;
  static constexpr std::size_t kShadowSize = 96;
};

Host& TheHost() {
  static Host* host = new Host;  // never destroyed: the fuzzer may exit from anywhere
  return *host;
}

std::string Caption(std::int64_t frames, std::int64_t bytes) {
  return std::to_string(frames) + " frames / " + std::to_string(bytes) + " bytes";
}

std::string AsciiOf(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    out.push_back(bytes[i] > 31 ? static_cast<char>(bytes[i]) : '.');
  return out;
}

void AppendDump(std::string& out, const std::string& hex) {
  const std::size_t lines = hex.size() / 60 + 1;
  for (std::size_t i = 0; i < lines; ++i) {
    char offset[24];
    std::snprintf(offset, sizeof offset, "%03zu > ", 20 * i);
    out += offset;
    out.append(hex, std::min(hex.size(), 60 * i), 60);
    out += "\r\n";
  }
}

// Follows one pass frame by frame.
class PassChecker : public CaptureObserver {
 public:
  PassChecker(Host& host, const Model& model, const std::uint8_t* data, const PassSetup& setup,
              CheckingSink& sink)
      : host_(host),
        model_(model),
        data_(data),
        setup_(setup),
        sink_(sink),
        payload_before_(host.state.PayloadHex),
        text2_before_(host.window.Text2()),
        text3_before_(host.window.Text3()),
        caption_(host.window.Label1()),
        display_before_(setup.mode == kScreen ? std::string() : host.window.DisplayText()) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    const std::size_t i = seen_++;
    if (i >= model_.frames.size()) {
      g_failure("the pass handed on frame " + std::to_string(i + 1) + " of a capture of " +
                std::to_string(model_.frames.size()) + " frames");
      return;
    }
    const ModelFrame& f = model_.frames[i];
    const std::string n = "frame " + std::to_string(i + 1);
    const auto length = static_cast<std::size_t>(state.FrameLength);

    CAPTURE_CHECK(host_.window.Busy(), n + ": the busy pointer is off during the pass");
    CAPTURE_CHECK_NUMBER(n + ": FrameOffset", state.FrameOffset, f.offset);
    CAPTURE_CHECK(info.recovered == f.recovered, n + ": recovered flag");
    CAPTURE_CHECK(info.cut_off == f.cut_off, n + ": cut-off flag");
    CAPTURE_CHECK_TEXT(n + ": RawHex", state.RawHex,
                       HexOf(data_ + f.offset, f.end - static_cast<std::size_t>(f.offset)));
    CAPTURE_CHECK_NUMBER(n + ": FrameLength", length, f.bytes.size());
    if (length != f.bytes.size()) return;
    CAPTURE_CHECK_TEXT(n + ": FrameHex", state.FrameHex, HexOf(f.bytes));

    // FrameBytes: the frame at 1..FrameLength, and what earlier frames left behind it.
    CAPTURE_CHECK(
        state.FrameBytes.size() > std::max<std::size_t>(length, kFrameBytesMinimum),
        n + ": FrameBytes holds " + std::to_string(state.FrameBytes.size()) + " positions");
    std::copy_n(f.bytes.begin(), std::min(length, Host::kShadowSize),
                host_.frame_bytes.begin() + 1);
    CAPTURE_CHECK(std::equal(host_.frame_bytes.begin() + 1, host_.frame_bytes.end(),
                             state.FrameBytes.begin() + 1),
                  n + ": FrameBytes positions 1.." + std::to_string(Host::kShadowSize) +
                      " are not what this and earlier frames left there");
    CAPTURE_CHECK(std::memcmp(f.bytes.data(), state.FrameBytes.data() + 1, length) == 0,
                  n + ": FrameBytes differ from the frame");

    bytes_ += static_cast<std::int64_t>(length);
    CAPTURE_CHECK_NUMBER(n + ": FrameCount", state.FrameCount, static_cast<std::int64_t>(i + 1));
    CAPTURE_CHECK_NUMBER(n + ": ByteCount", state.ByteCount, bytes_);
    caption_ = Caption(static_cast<std::int64_t>(i + 1), bytes_);
    CAPTURE_CHECK_TEXT(n + ": Label1", host_.window.Label1(), caption_);

    const bool stamp = length >= 1 && state.FrameBytes[1] == kTimestampType;
    CAPTURE_CHECK(info.timestamp == stamp, n + ": timestamp flag");
    CheckStamp(state, f, stamp, n);
    CheckAx25(state, n);
    if (setup_.mode == kScreen) {
      if (!stamp) ExpectBlock(state, f);
    } else {
      CheckLine(state, f, stamp, n);
    }
  }

  // What a file pass wrote, every frame's line checked.
  const std::string& Written() const { return written_; }

  // After the pass: what the whole pass left.
  void Finish(bool too_long_reported) {
    Host& h = host_;
    CAPTURE_CHECK_NUMBER("frames handed on", seen_, model_.frames.size());
    CAPTURE_CHECK_NUMBER(
        "FrameCount after the pass", h.state.FrameCount,
        static_cast<std::int64_t>(model_.frames.size() + (model_.too_long ? 1 : 0)));
    CAPTURE_CHECK_NUMBER("ByteCount after the pass", h.state.ByteCount, bytes_);
    CAPTURE_CHECK(too_long_reported == model_.too_long,
                  model_.too_long ? "a frame too long was not reported" : "an error was reported");
    CAPTURE_CHECK_TEXT("Label1 after the pass", h.window.Label1(), caption_);
    CAPTURE_CHECK(!h.window.Busy(), "the busy pointer stays on after the pass");
    CAPTURE_CHECK_NUMBER("timestamp log lines", h.window.text4_lines, text4_lines_);
    CAPTURE_CHECK(sink_.pending.empty(), "something was written after the last frame");
    if (setup_.mode != kScreen) {
      CAPTURE_CHECK_TEXT("display after a file pass", h.window.DisplayText(), display_before_);
      return;
    }
    const DisplayModel& display = h.window.Display();
    CAPTURE_CHECK_TEXT("display text", display.Text(), display_);
    CAPTURE_CHECK_NUMBER("insertion point", display.SelStart(), display.Size());
    if (display.Text() != display_) return;
    for (const auto& [at, color] : colors_) {
      CAPTURE_CHECK(display.ColorAt(at) == color, "colour at display offset " + std::to_string(at) +
                                                      ": got " +
                                                      std::to_string(display.ColorAt(at)) +
                                                      ", expected " + std::to_string(color));
    }
  }

 private:
  void CheckStamp(const DecoderState& state, const ModelFrame& f, bool stamp,
                  const std::string& n) {
    if (stamp && f.bytes.size() == 9) {
      std::uint64_t value = 0;
      for (std::size_t k = 1; k < 9; ++k)
        value = value << 8 | static_cast<std::uint8_t>(f.bytes[k]);
      CAPTURE_CHECK(state.StampMillis == static_cast<double>(value), n + ": StampMillis");
      ++text4_lines_;
      CAPTURE_CHECK_NUMBER(n + ": timestamp log lines", host_.window.text4_lines, text4_lines_);
      const std::string& text = state.StampText;
      const bool shape = text.size() >= 8 && text.compare(text.size() - 4, 4, " UTC") == 0 &&
                         text[text.size() - 8] == '.';
      CAPTURE_CHECK(shape, n + ": binary stamp text \"" + Shown(text, 0) + "\"");
      if (shape) {
        const auto millis = static_cast<int>(std::fmod(state.StampMillis, 1000.0));
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", millis);
        CAPTURE_CHECK_TEXT(n + ": milliseconds of the stamp", text.substr(text.size() - 7, 3),
                           std::string(digits));
        std::string digits16 = HexOf(reinterpret_cast<const std::uint8_t*>(f.bytes.data()) + 1, 8);
        digits16.erase(std::remove(digits16.begin(), digits16.end(), ' '), digits16.end());
        CAPTURE_CHECK_TEXT(n + ": timestamp log line", host_.window.text4_last,
                           digits16 + " -> " + text.substr(0, text.size() - 4) + "\r\n");
      }
      stamp_ = state.StampText;
      return;
    }
    if (stamp) {
      const std::size_t at = f.bytes.find("UTC");
      if (at != std::string::npos) {
        const std::size_t from = at >= 24 ? at - 24 : 0;
        stamp_ = f.bytes.substr(from, at + 3 - from);
      }
    }
    CAPTURE_CHECK_TEXT(n + ": StampText", state.StampText, stamp_);
    CAPTURE_CHECK_NUMBER(n + ": timestamp log lines", host_.window.text4_lines, text4_lines_);
  }

  void CheckAx25(const DecoderState& state, const std::string& n) {
    if (!setup_.check2) {
      CAPTURE_CHECK_TEXT(n + ": PayloadHex without AX.25", state.PayloadHex, payload_before_);
      CAPTURE_CHECK_TEXT(n + ": Text2 without AX.25", host_.window.Text2(), text2_before_);
      CAPTURE_CHECK_TEXT(n + ": Text3 without AX.25", host_.window.Text3(), text3_before_);
      return;
    }
    // The control byte stands behind the source and up to nine digipeater blocks of 7 bytes.
    const int control = state.FieldPos - 1;
    CAPTURE_CHECK(control >= 16 && control <= 79 && (control - 16) % 7 == 0,
                  n + ": control byte at position " + std::to_string(control));
    CAPTURE_CHECK(state.InfoPos == state.FieldPos || state.InfoPos == state.FieldPos + 1,
                  n + ": InfoPos " + std::to_string(state.InfoPos) + " behind control position " +
                      std::to_string(control));
    std::string payload;
    if (state.InfoPos >= 2 && state.InfoPos <= state.FrameLength) {
      payload = HexOf(state.FrameBytes.data() + state.InfoPos,
                      static_cast<std::size_t>(state.FrameLength - state.InfoPos + 1));
    }
    CAPTURE_CHECK_TEXT(n + ": PayloadHex", state.PayloadHex, payload);
    CAPTURE_CHECK(state.DestCall.size() <= 9 && state.SourceCall.size() <= 9,
                  n + ": callsigns \"" + Shown(state.DestCall, 0) + "\", \"" +
                      Shown(state.SourceCall, 0) + "\"");
    CAPTURE_CHECK_TEXT(n + ": Text2", host_.window.Text2(), "-" + state.DestCall + "-");
    CAPTURE_CHECK_TEXT(n + ": Text3", host_.window.Text3(), "-" + state.SourceCall + "-");
  }

  // The block the Screen layout appends for this frame, and the colours of its pieces.
  void ExpectBlock(const DecoderState& state, const ModelFrame& f) {
    const auto* raw = data_ + f.offset;
    const std::size_t raw_size = f.end - static_cast<std::size_t>(f.offset);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(f.bytes.data());
    const std::uint8_t* source = setup_.check1 ? bytes : raw;
    const std::size_t size = setup_.check1 ? f.bytes.size() : raw_size;

    colors_.emplace_back(static_cast<std::int64_t>(display_.size()), kBlack);
    display_ += state.StampText;
    display_ += "\r\n";
    colors_.emplace_back(static_cast<std::int64_t>(display_.size()), setup_.check1 ? kRed : kBlue);
    AppendDump(display_, HexOf(source, size));
    display_ += "\r\n";
    colors_.emplace_back(static_cast<std::int64_t>(display_.size()), kGreen);
    display_ += AsciiOf(source, size);
    display_ += "\r\n";
    display_.append(80, '_');
    display_ += "\r\n";
  }

  void CheckLine(const DecoderState& state, const ModelFrame& f, bool stamp, const std::string& n) {
    std::string want;
    if (!stamp) {
      const std::size_t raw_size = f.end - static_cast<std::size_t>(f.offset);
      switch (setup_.mode) {
        case kHexComplete:
          want = HexOf(data_ + f.offset, raw_size);
          break;
        case kHexKissFrame:
          want = HexOf(f.bytes);
          break;
        case kHexPayload:
          want = state.PayloadHex;
          break;
        case kHexPayloadTime:
          want = state.StampText + ": " + state.PayloadHex;
          break;
        case kAsciiPayloadTime:
          want = state.StampText + ": " + AsciiOf(data_ + f.offset, raw_size);
          break;
        default:
          break;
      }
      want += "\r\n";
    }
    CAPTURE_CHECK_TEXT(n + ": line written in layout " + std::to_string(setup_.mode), sink_.pending,
                       want);
    written_ += sink_.pending;
    sink_.pending.clear();
  }

  Host& host_;
  const Model& model_;
  const std::uint8_t* data_;
  PassSetup setup_;
  CheckingSink& sink_;
  std::size_t seen_ = 0;
  std::int64_t bytes_ = 0;
  std::string stamp_;  // every pass starts without a stamp
  std::string payload_before_;
  std::string text2_before_;
  std::string text3_before_;
  std::string caption_;
  std::string display_before_;  // a file pass leaves the display as it was
  std::string written_;
  std::int64_t text4_lines_ = 0;  // every pass starts a new log
  std::string display_;
  std::vector<std::pair<std::int64_t, Color>> colors_;
};

std::string TooLongMessage(const Model& model, const std::string& capture) {
  return "Frame " + std::to_string(model.frames.size() + 1) + " at byte offset " +
         std::to_string(model.long_frame.offset) + " of " + Quoted(capture) + " is longer than " +
         std::to_string(kMaxFrameLength) + " bytes; the pass stopped there.";
}

// The pass of setup again, from the state and Label1 the checked pass began with, for a
// QuietWindow and without an observer: what it writes (or shows), its error and its counts are
// those of the checked pass.
void CheckQuietPass(const DecoderState& before, const std::string& label1_before,
                    const PassSetup& setup, const std::string& output, const std::string& error,
                    const std::string& label1) {
  DecoderState state = before;
  QuietWindow window;
  window.SetLabel1Caption(label1_before);
  window.SetCheck1(setup.check1);
  window.SetCheck2(setup.check2);
  CheckingSink sink;
  state.OutputMode = setup.mode;
  state.OutputFile = setup.mode == kScreen ? nullptr : &sink;
  std::string quiet_error;
  try {
    ReadCapture(state, window);
  } catch (const CommandError& e) {
    quiet_error = e.what();
  } catch (const std::exception& e) {
    g_failure(std::string("the quiet pass threw ") + e.what());
  }
  const std::string what = "quiet pass in layout " + std::to_string(setup.mode);
  CAPTURE_CHECK_TEXT(what + ": output", setup.mode == kScreen ? window.DisplayText() : sink.pending,
                     output);
  CAPTURE_CHECK_TEXT(what + ": error", quiet_error, error);
  CAPTURE_CHECK_TEXT(what + ": Label1", window.Label1(), label1);
  CAPTURE_CHECK_TEXT(what + ": Text2, Text3, Text4",
                     window.Text2() + window.Text3() + window.Text4(), std::string());
}

void RunPass(Host& host, const Model& model, const std::uint8_t* data, const PassSetup& setup) {
  DecoderState& state = host.state;
  CheckWindow& window = host.window;
  const DecoderState before = state;
  const std::string label1_before = window.Label1();
  window.SetCheck1(setup.check1);
  window.SetCheck2(setup.check2);
  window.ClearErrors();
  const int busy_before = window.BusyCount();
  CheckingSink sink;
  PassChecker checker(host, model, data, setup, sink);
  state.Observer = &checker;

  std::string error;
  if (setup.mode == kScreen) {
    const bool ok = ShowCapture(state, window);
    CAPTURE_CHECK(ok == window.Errors().empty(), "ShowCapture's result and its reports disagree");
    if (!window.Errors().empty()) error = window.Errors().front();
    CAPTURE_CHECK_NUMBER("errors reported", window.Errors().size(), ok ? 0u : 1u);
  } else {
    state.OutputMode = setup.mode;
    state.OutputFile = &sink;
    try {
      ReadCapture(state, window);
    } catch (const CommandError& e) {
      error = e.what();
    } catch (const std::exception& e) {
      g_failure(std::string("the pass threw ") + e.what());
    }
    state.OutputFile = nullptr;
  }
  state.Observer = nullptr;

  CAPTURE_CHECK_TEXT("error of the pass", error,
                     model.too_long ? TooLongMessage(model, state.CaptureFileName) : std::string());
  checker.Finish(!error.empty());
  CheckQuietPass(before, label1_before, setup,
                 setup.mode == kScreen ? window.DisplayText() : checker.Written(), error,
                 window.Label1());
  CAPTURE_CHECK_NUMBER("busy pointer switched on", window.BusyCount(), busy_before + 1);
  if (model.too_long) {
    const std::string& b = model.long_frame.bytes;
    std::copy_n(b.begin(), std::min(b.size(), Host::kShadowSize), host.frame_bytes.begin() + 1);
  }
}

// Every jsonl line is one JSON object that names its frame by number, offset and bytes.
void CheckJsonLines(const std::string& text, const Model& model) {
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < model.frames.size(); ++i) {
    const ModelFrame& f = model.frames[i];
    if (!f.bytes.empty() && static_cast<std::uint8_t>(f.bytes[0]) == kTimestampType) continue;
    const std::size_t end = text.find('\n', line_start);
    if (end == std::string::npos) return;  // the line count is checked apart
    const std::string line = text.substr(line_start, end - line_start);
    line_start = end + 1;
    const std::string n = "jsonl: frame " + std::to_string(i + 1);
    const auto j = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    CAPTURE_CHECK(j.is_object(), n + ": not a JSON object: " + Shown(line, 0));
    if (!j.is_object()) continue;
    std::string hex = HexOf(f.bytes);
    if (!hex.empty()) hex.pop_back();
    CAPTURE_CHECK(j.value("frame", std::int64_t{-1}) == static_cast<std::int64_t>(i + 1),
                  n + ": \"frame\" is " + j["frame"].dump());
    CAPTURE_CHECK(j.value("offset", std::int64_t{-1}) == f.offset,
                  n + ": \"offset\" is " + j["offset"].dump());
    CAPTURE_CHECK(j.value("frame_hex", std::string("?")) == hex,
                  n + ": \"frame_hex\" is " + j["frame_hex"].dump());
  }
}

// Each frame that is not a timestamp frame, with the timestamp frame that set its stamp (a
// stamp frame sets one when it has 9 bytes or holds "UTC"; empty before the first).
std::vector<std::pair<std::string, std::string>> StampedFrames(const Model& model) {
  std::vector<std::pair<std::string, std::string>> out;
  std::string stamp;
  for (const ModelFrame& f : model.frames) {
    if (f.bytes.empty() || static_cast<std::uint8_t>(f.bytes[0]) != kTimestampType) {
      out.emplace_back(stamp, f.bytes);
    } else if (f.bytes.size() == 9 || f.bytes.find("UTC") != std::string::npos) {
      stamp = f.bytes;
    }
  }
  return out;
}

// The kiss layout read back gives the same frames behind the same stamps, each frame closed by
// a FEND of its own and nothing skipped.
void CheckKissCut(const std::string& text, const Model& model) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const Model cut = ModelReader().Read(bytes, text.size());
  CAPTURE_CHECK(text.empty() || bytes[0] == kFend, "kiss: the output does not begin with FEND");
  const auto want = StampedFrames(model);
  const auto got = StampedFrames(cut);
  CAPTURE_CHECK_NUMBER("kiss: frames read back", got.size(), want.size());
  for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
    CAPTURE_CHECK(got[i].second == want[i].second,
                  Differs("kiss: frame " + std::to_string(i + 1), HexOf(got[i].second),
                          HexOf(want[i].second)));
    CAPTURE_CHECK(got[i].first == want[i].first,
                  Differs("kiss: stamp of frame " + std::to_string(i + 1), HexOf(got[i].first),
                          HexOf(want[i].first)));
  }
  for (const ModelFrame& f : cut.frames) {
    CAPTURE_CHECK(!f.recovered && !f.cut_off, "kiss: a frame read back at offset " +
                                                  std::to_string(f.offset) + " is " +
                                                  (f.recovered ? "recovered" : "cut off"));
  }
}

// The stats layout: one JSON object that counts every frame but timestamp frames.
void CheckStats(const std::string& text, std::size_t frames) {
  const auto j = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  CAPTURE_CHECK(j.is_object(), "stats: not a JSON object: " + Shown(text, 0));
  if (!j.is_object()) return;
  CAPTURE_CHECK(j.value("frames", std::int64_t{-1}) == static_cast<std::int64_t>(frames),
                "stats: \"frames\" is " + j["frames"].dump());
}

// The monitor layout: a line per frame but timestamp frames, and under each APRS frame (a UI
// frame with PID F0) a second line, indented by two blanks; under other data frames at most one.
void CheckMonitor(const std::string& text, const std::vector<const ModelFrame*>& shown) {
  std::vector<std::string_view> lines;
  for (std::size_t from = 0, to; (to = text.find('\n', from)) != std::string::npos; from = to + 1) {
    lines.push_back(std::string_view(text).substr(from, to - from));
  }
  CAPTURE_CHECK(text.empty() || text.back() == '\n', "monitor: the last line has no end");
  std::size_t at = 0;
  for (std::size_t i = 0; i < shown.size() && at < lines.size(); ++i) {
    const std::string n = "monitor: frame " + std::to_string(i + 1);
    const std::string& bytes = shown[i]->bytes;
    const std::span<const std::uint8_t> frame(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                              bytes.size());
    ++at;  // the frame's own line, whatever it begins with
    if (!IsDataFrame(frame)) continue;
    if (!IsAprsFrame(DescribeAx25(frame))) {
      // NET/ROM, IP and ARP have a line of their own; which frames carry them the link decides
      // (a modulo-128 session's PID stands a byte later), so the line may or may not come.
      if (at < lines.size() && lines[at].substr(0, 2) == "  ") ++at;
      continue;
    }
    CAPTURE_CHECK(at < lines.size() && lines[at].substr(0, 2) == "  " && lines[at].size() > 2 &&
                      lines[at][2] != ' ',
                  n + ": no APRS or layer 3 line under it: \"" +
                      Shown(at < lines.size() ? lines[at] : std::string_view(), 0) + "\"");
    ++at;
  }
  CAPTURE_CHECK_NUMBER("monitor: lines", lines.size(), at);
}

// The gpx layout: a GPX document whose text holds printable ASCII and line breaks alone, its
// elements closed and its ampersands escapes.
void CheckGpx(const std::string& text) {
  const std::string_view head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" "
      "creator=\"packscope-convert\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
  CAPTURE_CHECK(text.compare(0, head.size(), head) == 0, "gpx: begins " + Shown(text, 0));
  CAPTURE_CHECK(text.size() >= 7 && text.compare(text.size() - 7, 7, "</gpx>\n") == 0,
                "gpx: does not end with </gpx>");
  std::ptrdiff_t depth = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    CAPTURE_CHECK(
        (c >= 0x20 && c <= 0x7E) || c == '\n',
        "gpx: byte " + std::to_string(static_cast<std::uint8_t>(c)) + " at " + std::to_string(i));
    if (c == '&') {
      const std::string_view rest = std::string_view(text).substr(i);
      CAPTURE_CHECK(
          rest.starts_with("&amp;") || rest.starts_with("&lt;") || rest.starts_with("&gt;"),
          "gpx: bare & at " + std::to_string(i));
    }
    if (c == '<' && i + 1 < text.size() && text[i + 1] != '?') {
      depth += text[i + 1] == '/' ? -1 : 1;
      CAPTURE_CHECK(depth >= 0, "gpx: element closed twice at " + std::to_string(i));
    }
  }
  CAPTURE_CHECK_NUMBER("gpx: elements left open", depth, 0);
}

// The sessions layout: a JSON object a line, the sessions numbered 1, 2, ... in order, each
// direction's data as many bytes as it counts and a ".." for each frame it counts missing.
void CheckSessions(const std::string& text) {
  std::int64_t number = 0;
  for (std::size_t from = 0, to; (to = text.find('\n', from)) != std::string::npos; from = to + 1) {
    const auto j = nlohmann::json::parse(text.substr(from, to - from), nullptr, false);
    CAPTURE_CHECK(j.is_object(), "sessions: not a JSON object: " + Shown(text, from));
    if (!j.is_object()) return;
    const std::string n = "sessions: session " + std::to_string(++number);
    CAPTURE_CHECK(j.value("session", std::int64_t{-1}) == number,
                  n + " is numbered " + j["session"].dump());
    CAPTURE_CHECK(
        j.value("first_frame", std::int64_t{0}) <= j.value("last_frame", std::int64_t{-1}) &&
            j.value("frames", std::int64_t{0}) >= 1,
        n + ": frames " + j["first_frame"].dump() + " to " + j["last_frame"].dump());
    for (const char* side : {"from_initiator", "from_responder"}) {
      const auto& d = j[side];
      CAPTURE_CHECK(d.is_object() && d["data_hex"].is_string(), n + ": no " + side);
      if (!d.is_object() || !d["data_hex"].is_string()) continue;
      const std::string hex = d["data_hex"].get<std::string>();
      std::int64_t bytes = 0;
      std::int64_t gaps = 0;
      for (std::size_t i = 0; i < hex.size(); i += 3)
        (hex.compare(i, 2, "..") == 0 ? gaps : bytes)++;
      CAPTURE_CHECK_NUMBER(n + ": " + side + " bytes", bytes, d.value("bytes", std::int64_t{-1}));
      CAPTURE_CHECK_NUMBER(n + ": " + side + " gaps", gaps, d.value("missing", std::int64_t{-1}));
      CAPTURE_CHECK(d.value("retransmitted", 0) <= d.value("i_frames", 0),
                    n + ": " + side + " retransmits more I frames than it sent");
    }
  }
  CAPTURE_CHECK(text.empty() || text.back() == '\n', "sessions: the last line has no end");
}

// The tnc2 layout read back through the capture readers: TNC2 lines without damage, one for
// each data frame that has an address field the form can write, whose frames carry that frame's
// port, addresses, repeated marks (through the last one set) and information field.
void CheckTnc2(const std::string& text, const std::vector<const ModelFrame*>& shown) {
  CAPTURE_CHECK(text.empty() || text.back() == '\n', "tnc2: the last line has no end");
  std::unique_ptr<CaptureInput> input;
  try {
    input = OpenCaptureBytes(text, "tnc2");
  } catch (const std::exception& e) {
    g_failure(std::string("tnc2: not read back: ") + e.what());
    return;
  }
  CAPTURE_CHECK(text.empty() || input->Kind().format == InputFormat::kTnc2,
                "tnc2: read back as " + InputKindName(input->Kind()));
  std::string stream;
  std::vector<InputDamage> damage;
  std::uint8_t buffer[4096];
  for (std::size_t n; (n = input->Read(buffer, sizeof buffer)) > 0;) {
    stream.append(reinterpret_cast<const char*>(buffer), n);
  }
  input->TakeDamage(damage);
  CAPTURE_CHECK(damage.empty(), "tnc2: read back with damage: " +
                                    (damage.empty() ? std::string() : damage[0].text));
  const Model back =
      ModelReader().Read(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
  std::vector<const ModelFrame*> got;
  for (const ModelFrame& f : back.frames) {
    if (f.bytes.empty() || static_cast<std::uint8_t>(f.bytes[0]) != kTimestampType) {
      got.push_back(&f);
    }
  }
  const auto span = [](const std::string& bytes) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size());
  };
  std::size_t at = 0;
  std::string unused;
  for (const ModelFrame* f : shown) {
    if (!IsDataFrame(span(f->bytes))) continue;
    const Ax25Details want = DescribeAx25(span(f->bytes));
    if (!AppendTnc2Line(unused, want)) continue;
    const std::string n = "tnc2: frame at offset " + std::to_string(f->offset);
    if (at == got.size()) {
      g_failure(n + ": no line");
      return;
    }
    const Ax25Details d = DescribeAx25(span(got[at]->bytes));
    CAPTURE_CHECK(got[at]->bytes[0] == f->bytes[0], n + ": another port");
    CAPTURE_CHECK(d.problem == Ax25Problem::kNone && d.source.call == want.source.call &&
                      d.destination.call == want.destination.call &&
                      d.digipeater_count == want.digipeater_count,
                  n + ": other addresses");
    int heard = -1;
    for (int i = 0; i < want.digipeater_count; ++i) {
      if (want.digipeaters[static_cast<std::size_t>(i)].high_bit) heard = i;
    }
    for (int i = 0; i < std::min(d.digipeater_count, want.digipeater_count); ++i) {
      const auto k = static_cast<std::size_t>(i);
      CAPTURE_CHECK(d.digipeaters[k].call == want.digipeaters[k].call &&
                        d.digipeaters[k].high_bit == (i <= heard),
                    n + ": digipeater " + std::to_string(i + 1) + " differs");
    }
    CAPTURE_CHECK(std::equal(d.info.begin(), d.info.end(), want.info.begin(), want.info.end()),
                  n + ": another information field");
    ++at;
  }
  CAPTURE_CHECK_NUMBER("tnc2: frames read back", got.size(), at);
}

// The series layout: RFC 4180 records of six fields under the header, frames in capture order,
// each value a number.
void CheckSeries(const std::string& text) {
  const std::string_view head = "time,frame,source,quantity,value,unit\r\n";
  CAPTURE_CHECK(text.compare(0, head.size(), head) == 0, "series: begins " + Shown(text, 0));
  std::vector<std::string> record(1);
  long long last_frame = 0;
  for (std::size_t i = head.size(); i < text.size();) {
    const std::string where = "series: at " + std::to_string(i);
    if (text[i] == '"' && record.back().empty()) {
      const std::size_t from = i;
      for (++i;
           i < text.size() && !(text[i] == '"' && (i + 1 == text.size() || text[i + 1] != '"'));
           ++i) {
        if (text[i] == '"') ++i;
        record.back().push_back(text[i]);
      }
      CAPTURE_CHECK(i < text.size(),
                    "series: a quote opened at " + std::to_string(from) + " is not closed");
      ++i;
    } else if (text[i] == ',') {
      record.emplace_back();
      ++i;
    } else if (text.compare(i, 2, "\r\n") == 0) {
      CAPTURE_CHECK_NUMBER(where + ": fields", record.size(), 6u);
      char* end = nullptr;
      const long long frame = std::strtoll(record[1].c_str(), &end, 10);
      CAPTURE_CHECK(!record[1].empty() && *end == 0 && frame >= last_frame,
                    where + ": frame " + record[1] + " after " + std::to_string(last_frame));
      last_frame = frame;
      std::strtod(record[4].c_str(), &end);
      CAPTURE_CHECK(!record[4].empty() && *end == 0, where + ": value " + record[4]);
      CAPTURE_CHECK(!record[3].empty(), where + ": no quantity");
      record.assign(1, "");
      i += 2;
    } else {
      CAPTURE_CHECK(text[i] != '"' && text[i] != '\r' && text[i] != '\n',
                    where + ": an unquoted quote or line break");
      record.back().push_back(text[i++]);
    }
  }
  CAPTURE_CHECK(record.size() == 1 && record[0].empty(), "series: the last record has no end");
}

// The converter's own layouts and its health report over the same capture: each covers every
// frame but timestamp frames, and each fails exactly when the capture holds a frame too long.
void CheckConverterLayouts(Host& host, const Model& model) {
  std::vector<const ModelFrame*> shown;
  for (const ModelFrame& f : model.frames) {
    if (f.bytes.empty() || static_cast<std::uint8_t>(f.bytes[0]) != kTimestampType) {
      shown.push_back(&f);
    }
  }
  for (const ConverterLayout& layout : kConverterLayouts) {
    const std::string what = "layout " + std::string(layout.name);
    CheckingSink out;
    host.window.ClearErrors();
    std::unique_ptr<FrameWriter> writer = layout.make_writer(out);
    const bool ok = RunObservedPass(host.state, host.window, *writer);
    CAPTURE_CHECK(ok != model.too_long, what + ": the pass " + (ok ? "went through" : "failed"));
    CAPTURE_CHECK_NUMBER(what + ": errors reported", host.window.Errors().size(), ok ? 0u : 1u);
    CAPTURE_CHECK(!host.window.Busy(), what + ": the busy pointer stays on");
    if (!ok) continue;
    try {
      writer->Finish(host.state);
    } catch (const std::exception& e) {
      g_failure(what + ": Finish threw " + e.what());
    }
    writer.reset();
    const std::string& text = out.pending;
    if (layout.name == "jsonl") CheckJsonLines(text, model);
    if (layout.name == "kiss") {
      CheckKissCut(text, model);
      continue;
    }
    if (layout.name == "stats") {
      CheckStats(text, shown.size());
      continue;
    }
    if (layout.name == "monitor") {
      CheckMonitor(text, shown);
      continue;
    }
    if (layout.name == "gpx") {
      CheckGpx(text);
      continue;
    }
    if (layout.name == "tnc2") {
      CheckTnc2(text, shown);
      continue;
    }
    if (layout.name == "sessions") {
      CheckSessions(text);
      continue;
    }
    if (layout.name == "series") {
      CheckSeries(text);
      continue;
    }
    if (layout.name != "pcap") {
      CAPTURE_CHECK_NUMBER(what + ": lines", std::count(text.begin(), text.end(), '\n'),
                           static_cast<std::ptrdiff_t>(shown.size()));
      CAPTURE_CHECK(text.empty() || text.back() == '\n', what + ": the last line has no end");
      continue;
    }
    // pcap: a 24-byte file header, then per frame a 16-byte record header (seconds,
    // microseconds, captured length, length) and the un-escaped frame.
    std::size_t at = 24;
    CAPTURE_CHECK(text.size() >= at, "pcap: no file header");
    for (std::size_t i = 0; i < shown.size() && text.size() >= at + 16; ++i) {
      std::uint32_t lengths[2];
      std::memcpy(lengths, text.data() + at + 8, sizeof lengths);
      const std::string& bytes = shown[i]->bytes;
      CAPTURE_CHECK(lengths[0] == bytes.size() && lengths[1] == bytes.size(),
                    "pcap: record " + std::to_string(i + 1) + " holds " +
                        std::to_string(lengths[0]) + " of " + std::to_string(lengths[1]) +
                        " bytes, expected " + std::to_string(bytes.size()));
      at += 16;
      CAPTURE_CHECK(text.compare(at, bytes.size(), bytes) == 0,
                    "pcap: record " + std::to_string(i + 1) + " is not the frame");
      at += bytes.size();
    }
    CAPTURE_CHECK_NUMBER("pcap: file size", text.size(), at);
  }

  CheckingSink report;
  host.window.ClearErrors();
  const std::string capture = host.state.CaptureFileName;
  const int status = packscope::CheckCapture(host.state, host.window, capture, report);
  if (model.too_long) {
    CAPTURE_CHECK_NUMBER("--check status", status, kCheckUnreadable);
    CAPTURE_CHECK_NUMBER("--check errors reported", host.window.Errors().size(), 1u);
  } else {
    CAPTURE_CHECK(status == kCheckClean || status == kCheckFindings,
                  "--check status " + std::to_string(status));
    const std::string summary = capture + ": " + std::to_string(model.frames.size()) + " frames, ";
    const std::size_t last = report.pending.size() < 2
                                 ? std::string::npos
                                 : report.pending.rfind('\n', report.pending.size() - 2);
    const std::size_t from = last == std::string::npos ? 0 : last + 1;
    CAPTURE_CHECK(report.pending.compare(from, summary.size(), summary) == 0,
                  "--check summary line \"" + Shown(report.pending, from) + "\"");
    // It fails on damage only.
    const bool no_damage = report.pending.find("no findings", from) != std::string::npos ||
                           report.pending.find("no damage", from) != std::string::npos;
    CAPTURE_CHECK(no_damage == (status == kCheckClean),
                  "--check status " + std::to_string(status) + " and its summary disagree");
  }
}

// Puts the capture into the memory file and names it as a path.
void LoadCapture(Host& host, const std::uint8_t* data, std::size_t size) {
  if (host.capture_fd < 0) {
    host.capture_fd = ::memfd_create("capture.kss", MFD_CLOEXEC);
    if (host.capture_fd < 0) AbortOnFailure(std::string("memfd_create: ") + std::strerror(errno));
    host.state.CaptureFileName = "/proc/self/fd/" + std::to_string(host.capture_fd);
  }
  if (::ftruncate(host.capture_fd, 0) != 0) AbortOnFailure("ftruncate of the capture failed");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(host.capture_fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) AbortOnFailure(std::string("writing the capture: ") + std::strerror(errno));
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

void SetFailureHandler(FailureHandler handler) {
  g_failure = handler != nullptr ? handler : AbortOnFailure;
}

void CheckCapture(const std::uint8_t* data, std::size_t size) {
  // The checks model the KISS framing: an input another reader takes is the input fuzzer's.
  if (!ReadAsKiss(data, size)) return;
  Host& host = TheHost();
  LoadCapture(host, data, size);
  const Model model = ModelReader().Read(data, size);
  for (const PassSetup& setup : kPasses) RunPass(host, model, data, setup);
  CheckConverterLayouts(host, model);

  // The same capture followed by a FEND and a run of bytes longer than any frame: whatever
  // state the capture ends in, the run becomes a frame that is too long and ends the pass.
  // That costs as much as all other passes together, so only captures whose size is a multiple
  // of 16 get it.
  if (size % 16 != 0) return;
  std::vector<std::uint8_t> stretched(data, data + size);
  stretched.push_back(kFend);
  stretched.resize(stretched.size() + kMaxFrameLength + 1, 'A');
  LoadCapture(host, stretched.data(), stretched.size());
  const Model stretched_model = ModelReader().Read(stretched.data(), stretched.size());
  CAPTURE_CHECK(stretched_model.too_long, "the stretched capture holds no frame too long");
  RunPass(host, stretched_model, stretched.data(), kStretchedPass);
}

}  // namespace packscope::fuzz
