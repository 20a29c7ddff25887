// CaptureView: the capture the main window shows, through its frame index
// (capture/frame_index.h): the index, and the display's text and the timestamp log made from it
// on demand (capture/screen_text.h). The window keeps no text: its memory grows with the frames
// (16 bytes each, 16 more per stamp), not with what they look like on screen.
//
// The capture is read through its index (capture/input_index.h): a KISS file where it lies, any
// other input (compressed, pcap, TNC2 lines, standard input, a FIFO, a device) through its reader
// into a temporary KISS copy, which the write commands read. A stream's reading waits for it in
// slices of 50 ms and never blocks: a FIFO without a writer keeps the reading waiting, and
// cancel stops it. A copy stops before it fills its disk.
//
// Threads: ReadOn runs on one thread at a time, usually a worker (it reads the capture and
// extends the index); everything else belongs to the window's thread, which lays out and paints
// the frames read so far meanwhile (Update). Open and Close only while no ReadOn runs.
//
// IndexedDisplay is what a window that shows captures this way offers the commands
// (commands/commands.h): the Qt window does, the converter's headless window does not (it shows
// a capture by a Screen pass into its display).
#ifndef PACKSCOPE_COMMANDS_CAPTURE_VIEW_H_
#define PACKSCOPE_COMMANDS_CAPTURE_VIEW_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "capture/frame_index.h"
#include "capture/input_index.h"
#include "capture/screen_text.h"
#include "capture/window.h"
#include "render/display_source.h"

namespace packscope {

class CaptureView {
 public:
  // window gives the regional date texts; it must outlive the view.
  explicit CaptureView(const Window& window);
  // Where the copies opened from now on learn the room on their disk (tests); nullptr: the
  // system's. It must outlive the view.
  void SetFreeSpace(const FreeSpace* free_space) { free_space_ = free_space; }
  ~CaptureView();
  CaptureView(const CaptureView&) = delete;
  CaptureView& operator=(const CaptureView&) = delete;

  // Shows the capture at path from now on, from its start; nothing is read yet.
  void Open(std::string path);
  // Shows nothing.
  void Close();
  // The capture shown (empty when none), and whether it is read through a copy (known once its
  // reading began).
  const std::string& Path() const { return path_; }
  bool Copied() const { return index_ != nullptr && index_->Copied(); }
  // Where passes read the capture: the copy (empty until its reading began), else the path.
  std::string ReadPath() const;
  // What the reading found: the input's format (nothing before it began), its damage.
  const InputIndex* Reading() const { return index_.get(); }

  // Reads on from where the last reading stopped (InputIndex::Extend): a file to its end as it is
  // now, a stream until it ends. cancel and progress as for FrameIndex::Extend; a stream that
  // keeps the reading waiting reports every 50 ms. Messages name Path(). A stream that ended (or
  // whose reading was cancelled or failed) is not read again: later calls answer as its reading
  // ended.
  IndexResult ReadOn(const std::atomic<bool>* cancel = nullptr,
                     const FrameIndex::Progress& progress = {});
  // How the last reading ended; nothing before the first.
  std::optional<IndexStatus> LastStatus() const { return last_status_; }

  // Takes the frames indexed by now into the display's text and the log, laying out at most
  // budget frames (and log lines) of each; all when negative. True when both show every frame
  // of what they took.
  bool Update(std::int64_t budget = -1);
  // The frames the texts show (what Update took last).
  const IndexSnapshot& Shown() const { return screen_.Snapshot(); }
  const ScreenText& Screen() const { return screen_; }
  const StampLogText& Log() const { return log_; }
  // Check1: the frames as stored or un-escaped. Nothing is read again.
  void SetKissView(bool kiss_view) { screen_.SetKissView(kiss_view); }

  // Where a view of the display stands among the frames, so that it stands there again in the
  // other Check1 view: the frame whose block holds the top line and the line's place in that
  // block, and each end of the selection as a frame and an offset into its block.
  struct FramePlace {
    std::int64_t top_frame = 0;
    std::int64_t top_line = 0;
    std::int64_t begin_frame = 0;
    std::int64_t begin_offset = 0;
    std::int64_t end_frame = 0;
    std::int64_t end_offset = 0;
  };
  FramePlace PlaceOf(std::int64_t top_line, std::int64_t sel_begin, std::int64_t sel_end) const;
  // A place in the display's text as it is now: the top line, no further than the last line of
  // its block, and the selection, each end no further than the end of its block.
  struct TextPlace {
    std::int64_t top_line = 0;
    std::int64_t sel_begin = 0;
    std::int64_t sel_end = 0;
  };
  TextPlace TextPlaceOf(const FramePlace& place) const;

 private:
  std::string path_;
  std::unique_ptr<InputIndex> index_;  // null while closed
  const FreeSpace* free_space_ = nullptr;
  std::optional<IndexStatus> last_status_;
  ScreenText screen_;
  StampLogText log_;
};

// A window that shows captures through a CaptureView.
class IndexedDisplay {
 public:
  virtual ~IndexedDisplay() = default;

  virtual CaptureView& View() = 0;
  // The view was opened anew or closed: the display shows it from its start, nothing selected.
  virtual void ViewReset() = 0;
  // Reads the view on (CaptureView::ReadOn) while the window shows the frames read so far, as a
  // pass would: the busy pointer, Label1's counts, and after half a second the progress window
  // with Cancel (ShowProgress); the texts show every frame read when it returns.
  virtual IndexResult ReadView() = 0;
  // The display's text as it is shown, for the screen dump.
  virtual const DisplaySource& DisplayShown() const = 0;
};

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_CAPTURE_VIEW_H_
