#include "capture/frame_loop.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>

#include "capture/ax25_step.h"
#include "capture/capture_input.h"
#include "capture/errors.h"
#include "capture/frame_aprs.h"
#include "capture/frame_links.h"
#include "capture/frame_output.h"
#include "capture/frame_source.h"
#include "capture/timestamp.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr std::size_t kReadBlock = 1 << 20;
constexpr std::size_t kMinReadBlock = 1 << 12;

// The Label1 caption in buf, which has room for 64 characters: built once per frame, so without
// a string of its own.
std::string_view CountsText(char (&buf)[64], std::int64_t frames, std::int64_t bytes) {
  constexpr std::string_view kFrames = " frames / ";
  constexpr std::string_view kBytes = " bytes";
  char* p = std::to_chars(buf, buf + 20, frames).ptr;
  p = std::copy(kFrames.begin(), kFrames.end(), p);
  p = std::to_chars(p, p + 20, bytes).ptr;
  p = std::copy(kBytes.begin(), kBytes.end(), p);
  return std::string_view(buf, static_cast<std::size_t>(p - buf));
}

// The pass's handler of the scanner: fills the frame fields of DecoderState and runs the steps.
class FrameLoop {
 public:
  FrameLoop(DecoderState& state, Window& window)
      : state_(state),
        window_(window),
        texts_(PassTexts(state, window)),
        // The output step reads the decoder's fields of the frames it writes, never of timestamp
        // frames: those are decoded for the window's callsigns and the observer alone.
        decode_stamps_(texts_.callsigns ||
                       (state.Observer != nullptr && state.Observer->Reads().ax25)),
        counts_as_read_(window.ShowsFramesAsRead()) {}

  // A window that is not shown the counts as the frames are read gets them once, at the end.
  ~FrameLoop() {
    if (counts_as_read_ || shown_frames_ < 0) return;
    try {
      window_.SetLabel1Caption(CountsText(caption_, shown_frames_, shown_bytes_));
    } catch (...) {
      // The pass's own outcome, success or its error, is what the caller learns.
    }
  }

  // source: the same input when it is a stream of a higher layer, which knows the receivers of
  // its frames; else null.
  void Run(CaptureInput& input, FrameSource* source) {
    source_ = source;
    // A small capture gets a small buffer: the passes over it (every Check1 click, every write
    // command) then do not map and unmap a large block each time.
    const bool kiss = input.Kind().format == InputFormat::kKiss &&
                      input.Kind().compression == InputCompression::kNone;
    const std::size_t block =
        input.Size() < 0 || !kiss
            ? kReadBlock
            : std::clamp<std::size_t>(static_cast<std::size_t>(input.Size()) + 1, kMinReadBlock,
                                      kReadBlock);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[block]);
    std::int64_t base = 0;
    for (;;) {
      const std::size_t n = input.Read(buffer.get(), block);
      scanner_.Scan(*this, buffer.get(), n, base);
      base += static_cast<std::int64_t>(n);
      ReportDamage(input);
      if (n == 0) break;
      if (!window_.ShowProgress(input.Consumed(), input.Size())) throw PassCancelled();
    }
    scanner_.Finish(*this, base);
  }

  // What the reader met in its own terms, up to the bytes scanned.
  void ReportDamage(CaptureInput& input) {
    damage_.clear();
    input.TakeDamage(damage_);
    if (state_.Observer == nullptr) return;
    for (const InputDamage& d : damage_) state_.Observer->OnInputDamage(d);
  }

  // The scanner's handler.
  void OnSkipped(std::int64_t count) {
    if (state_.Observer != nullptr) state_.Observer->OnSkipped(0, count);
  }

  void OnFrameStart(std::int64_t offset, bool recovered) {
    ++state_.FrameCount;
    state_.FrameOffset = offset;
    if (source_ != nullptr) state_.Receivers = source_->ReceiversAt(offset);
    info_ = FrameInfo{};
    info_.recovered = recovered;
    state_.RawBytes.assign(1, kFend);
  }

  // Un-escaped bytes into FrameBytes, which grows as needed and never shrinks.
  void OnData(const std::uint8_t* bytes, std::size_t n, std::int32_t at) {
    const std::size_t need = 1 + static_cast<std::size_t>(at) + n;
    if (state_.FrameBytes.size() < need) state_.FrameBytes.resize(need);
    std::memcpy(state_.FrameBytes.data() + 1 + at, bytes, n);
  }

  void OnStored(const std::uint8_t* bytes, std::size_t n) {
    state_.RawBytes.insert(state_.RawBytes.end(), bytes, bytes + n);
  }

  void OnStrayEscape(std::int64_t offset) {
    ++info_.bad_escapes;
    if (state_.Observer != nullptr) state_.Observer->OnStrayEscape(offset);
  }

  [[noreturn]] void OnTooLong() {
    throw CommandError(
        FrameTooLongMessage(state_.FrameCount, state_.FrameOffset, state_.CaptureFileName));
  }

  void OnFrameEnd(const KissFrameEnd& end) {
    const std::int32_t length = end.length;
    info_.cut_off = !end.closed;
    if (end.closed) state_.RawBytes.push_back(kFend);
    if (texts_.raw_hex) {
      state_.RawHex.clear();
      AppendHexText(state_.RawHex, state_.RawBytes.data(), state_.RawBytes.size());
    }

    state_.FrameLength = length;
    state_.ByteCount += length;
    shown_frames_ = state_.FrameCount;
    shown_bytes_ = state_.ByteCount;
    if (counts_as_read_) {
      window_.SetLabel1Caption(CountsText(caption_, state_.FrameCount, state_.ByteCount));
    }

    if (texts_.frame_hex) {
      if (end.escaped || !texts_.raw_hex) {
        state_.FrameHex.clear();
        AppendHexText(state_.FrameHex, state_.FrameBytes.data() + 1,
                      static_cast<std::size_t>(length));
      } else {
        // Without escapes the frame is the bytes as stored: its groups are already in RawHex,
        // behind the opening "C0 ".
        state_.FrameHex.assign(state_.RawHex, 3, 3 * static_cast<std::size_t>(length));
      }
    }

    info_.timestamp = length >= 1 && state_.FrameBytes[1] == kTimestampType;
    if (info_.timestamp) TimestampStep(state_, window_, times_, texts_.stamp_text);
    if (state_.Aprs != nullptr) state_.Aprs->NextFrame();
    if (state_.Links != nullptr) state_.Links->Follow(state_, info_);
    if (state_.FrameFilter == nullptr || state_.FrameFilter->Keep(state_, info_) ||
        info_.timestamp) {
      if (window_.Check2() && (info_.timestamp ? decode_stamps_ : texts_.ax25)) {
        DecodeAx25(state_, window_, texts_.callsigns);
      }
      if (!info_.timestamp) FrameOutputStep(state_, window_);
      if (state_.Observer != nullptr) state_.Observer->OnFrame(state_, info_);
    }
    if (state_.Aprs != nullptr) state_.Aprs->Follow(state_, info_);
  }

 private:
  DecoderState& state_;
  Window& window_;
  const FrameTexts texts_;
  const bool decode_stamps_;
  const bool counts_as_read_;
  StampTimeTexts times_{window_};
  FrameSource* source_ = nullptr;
  KissScanner scanner_;
  FrameInfo info_;
  std::int64_t shown_frames_ = -1;  // the counts Label1 shows, or is to show; -1: none yet
  std::int64_t shown_bytes_ = 0;
  std::vector<InputDamage> damage_;
  char caption_[64];
};

}  // namespace

FrameTexts PassTexts(const DecoderState& state, const Window& window) {
  FrameTexts texts = OutputStepReads(state.OutputMode);
  if (state.Observer != nullptr) texts |= state.Observer->Reads();
  // The stamp log's line holds the stamp's time text.
  if (window.KeepsStampLog()) texts.stamp_text = StampTexts::kAll;
  if (window.ShowsFramesAsRead()) texts.callsigns = true;
  if (texts.callsigns) texts.ax25 = true;
  return texts;
}

void AppendCountsCaption(std::string& out, std::int64_t frames, std::int64_t bytes) {
  char buf[64];
  out.append(CountsText(buf, frames, bytes));
}

std::string CountsCaption(std::int64_t frames, std::int64_t bytes) {
  std::string out;
  AppendCountsCaption(out, frames, bytes);
  return out;
}

void ReadCapture(DecoderState& state, Window& window, const std::function<void()>& opened) {
  BusyPointer busy(window);
  // A file pass leaves the display as it is: it still shows the capture.
  if (state.OutputMode == kScreen) window.SetDisplayText("");
  window.ClearText4();
  state.FrameCount = 0;
  state.ByteCount = 0;
  // A frame before the pass's first timestamp frame has no stamp, whatever an earlier pass met.
  state.StampText.clear();
  state.StampMillis = 0;
  state.Receivers = nullptr;
  // A copy of the window's is KISS already: it is read as it is.
  std::unique_ptr<CaptureInput> owned;
  if (state.Source == nullptr) {
    owned = state.CaptureCopy.empty() ? OpenCaptureInput(state.CaptureFileName)
                                      : OpenKissInput(state.CaptureCopy);
  }
  CaptureInput& input = state.Source != nullptr ? *state.Source : *owned;
  if (opened) opened();
  // The pass's APRS reading, when a step reads APRS and the caller has not set one up.
  std::optional<FrameAprs> aprs;
  const bool reads_aprs = (state.Observer != nullptr && state.Observer->ReadsAprs()) ||
                          (state.FrameFilter != nullptr && state.FrameFilter->ReadsAprs());
  if (state.Aprs == nullptr && reads_aprs) aprs.emplace();
  struct Detach {
    DecoderState& s;
    bool attached;
    ~Detach() {
      if (attached) s.Aprs = nullptr;
    }
  } detach{state, aprs.has_value()};
  if (aprs) state.Aprs = &*aprs;
  if (state.Aprs != nullptr) state.Aprs->Reset();
  struct Forget {
    DecoderState& s;
    ~Forget() { s.Receivers = nullptr; }
  } forget{state};
  // The pass's links, when a step may read them and the caller has not set them up.
  std::optional<FrameLinks> links;
  SessionSink* sink = state.Observer != nullptr ? state.Observer->Sessions() : nullptr;
  const bool reads_links = sink != nullptr ||
                           (state.Observer != nullptr && state.Observer->ReadsLinks()) ||
                           (state.FrameFilter != nullptr && state.FrameFilter->ReadsLinks());
  if (state.Links == nullptr && reads_links) links.emplace(sink);
  struct DetachLinks {
    DecoderState& s;
    bool attached;
    ~DetachLinks() {
      if (attached) s.Links = nullptr;
    }
  } detach_links{state, links.has_value()};
  if (links) state.Links = &*links;
  if (state.Links != nullptr) state.Links->Reset();
  FrameLoop loop(state, window);
  loop.Run(input, state.Source);
  if (state.Links != nullptr) state.Links->Finish();
}

}  // namespace packscope
