#include "live/capture_frames.h"

#include "capture/decoder_state.h"
#include "capture/frame_loop.h"
#include "capture/window.h"
#include "commands/frame_text.h"

namespace packscope {
namespace {

// A window that keeps nothing: the frame loop's captions, timestamp log and display text would
// otherwise grow with the capture.
class NoWindow : public Window {
 public:
  void SetBusy(bool) override {}
  std::string DisplayText() const override { return {}; }
  void SetDisplayText(std::string_view) override {}
  std::int64_t SelStart() const override { return 0; }
  void SetSelStart(std::int64_t) override {}
  void SetSelLength(std::int64_t) override {}
  void SetSelText(std::string_view) override {}
  void SetSelColor(Color) override {}
  void SetLabel1Caption(std::string_view) override {}
  void SetLabel2Caption(std::string_view) override {}
  void SetText2(std::string_view) override {}
  void SetText3(std::string_view) override {}
  void AppendText4(std::string_view) override {}
  bool Check1() const override { return false; }
  bool Check2() const override { return false; }  // no AX.25 decoding
  std::string ShortDateText(int, int, int) const override { return {}; }
  std::string LongTimeText(int, int, int) const override { return {}; }
  void ReportError(std::string_view) override {}
  void ClearText4() override {}
  bool ShowProgress(std::int64_t, std::int64_t) override { return true; }
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
  NoWindow window;
  ReadCapture(state, window);
}

}  // namespace packscope
