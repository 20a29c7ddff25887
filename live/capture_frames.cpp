#include "live/capture_frames.h"

#include "capture/decoder_state.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "commands/frame_text.h"

namespace packscope {
namespace {

// The headless window without the one thing of it that grows with the capture: the frame
// loop's timestamp log is dropped, as the converter drops it without a stamp log.
class FramesOnlyWindow : public HeadlessWindow {
 public:
  FramesOnlyWindow() { SetCheck2(false); }  // no AX.25 decoding: nobody reads the callsigns
  void AppendText4(std::string_view) override {}
  bool ShowsFramesAsRead() const override { return false; }
  bool KeepsStampLog() const override { return false; }
};

class Forward : public CaptureObserver {
 public:
  explicit Forward(const std::function<void(const CaptureFrame&)>& on_frame)
      : on_frame_(on_frame) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) clock_.Update(state);
    CaptureFrame frame;
    frame.kiss_frame = KissFrame(state);
    frame.timestamp = info.timestamp;
    frame.cut_off = info.cut_off;
    frame.millis = clock_.Millis();
    on_frame_(frame);
  }
  FrameTexts Reads() const override { return FrameTexts::None(); }  // the frame's bytes alone

 private:
  const std::function<void(const CaptureFrame&)>& on_frame_;
  StampClock clock_;
};

}  // namespace

void ForEachCaptureFrame(const std::string& path,
                         const std::function<void(const CaptureFrame&)>& on_frame) {
  DecoderState state;
  state.CaptureFileName = path;
  state.OutputMode = kNoWindowOutput;
  Forward forward(on_frame);
  state.Observer = &forward;
  FramesOnlyWindow window;
  ReadCapture(state, window);
}

}  // namespace packscope
