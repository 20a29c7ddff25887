// FrameList's commands for several captures merged (framelist/merged_capture.h).
#include "capture/errors.h"
#include "framelist/frame_list.h"

namespace packscope {

void FrameList::OpenMerged(std::vector<std::string> captures, const MergeOptions& options) {
  Open("");
  if (captures.empty()) return;
  struct Made {
    std::shared_ptr<const MergedCapture> merged;
    std::string error;
  };
  auto made = std::make_shared<Made>();
  host_.StartPass(
      kReadingLane, "Merging",
      [captures = std::move(captures), options, made](const std::atomic<bool>* cancel,
                                                      const PassProgress& progress) {
        try {
          made->merged = MergedCapture::Make(captures, options, cancel, progress);
        } catch (const CommandError& e) {
          made->error = e.what();
        }
      },
      [this, made] {
        if (!made->error.empty()) {
          host_.ShowError(made->error);
          return;
        }
        if (made->merged == nullptr) {
          host_.Say("Merge cancelled: nothing is listed.");
          return;
        }
        if (!receivers_column_) {
          // Added with the first merge; empty for a single capture.
          receivers_column_ = true;
          AddColumn({"Receivers", false, [this](std::int64_t frame) {
                       return merged_ ? merged_->HeardText(frame) : std::string();
                     }});
        }
        StopPasses();  // none reads the Receivers column while it changes
        merged_ = made->merged;
        OpenFile(merged_->Path());
      });
}

}  // namespace packscope
