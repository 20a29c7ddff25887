// The main window's commands, written against the Window interface so that the Qt window, the
// command-line converter and the tests run the very same steps. Event handlers call these after
// they have asked the user (file dialog) or taken the dropped data apart.
//
// Every command catches what fails inside it and reports it through Window::ReportError; the
// window stays usable and no error ends the program.
#ifndef PACKSCOPE_COMMANDS_COMMANDS_H_
#define PACKSCOPE_COMMANDS_COMMANDS_H_

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/decoder_state.h"
#include "capture/frame_loop.h"
#include "capture/line_sink.h"
#include "capture/window.h"
#include "commands/frame_writer.h"
#include "commands/layouts.h"

namespace packscope {

inline constexpr std::string_view kLogfileCaption = "Write Logfile (screen dump)";
inline constexpr std::string_view kLogfileExtension = "log";

// --- Showing a capture ---

// OutputMode = Screen and one pass over CaptureFileName. False when the pass failed (reported)
// or was cancelled. A capture that cannot be read is forgotten: CaptureFileName, the labels and
// the display are emptied, and the message names it. A cancelled pass leaves the frames read so
// far on the screen, and Label2 says so until a later screen pass shows the whole capture.
bool ShowCapture(DecoderState& state, Window& window);

// File > Open after the dialog: path is what the dialog gave back, empty when cancelled (which
// clears CaptureFileName all the same and changes nothing else). False when nothing was shown.
bool OpenCapture(DecoderState& state, Window& window, const std::string& path);

// Shows no capture any more (the one shown is gone, and that was expected): the capture is
// forgotten, the labels, the display and the log emptied, as for a capture that cannot be read,
// without a message.
void CloseCapture(DecoderState& state, Window& window);

// Files dropped on the window or the display: the first path is shown; no paths change nothing.
// process_events lets the window repaint once before the pass.
void DropFiles(DecoderState& state, Window& window, const std::vector<std::string>& paths,
               const std::function<void()>& process_events);

// Check1 clicked: the current capture again, in the view Check1 now selects. False when no
// capture is chosen (nothing happens then).
bool Check1Clicked(DecoderState& state, Window& window);

// A window that shows captures through a CaptureView (commands/capture_view.h) reads and lays
// out the capture from its frame index instead of a Screen pass, with the same outcome: the
// display's text and colours, the counts in Label1, the callsigns, StampText, the timestamp log,
// the messages. ShowCapture reads the capture from its start; Check1Clicked switches the view
// without reading again, and reads on where the last reading stopped (a cancelled one goes on,
// a capture that grew is read on, one that shrank or was replaced is read anew).
//
// Such a window also follows the capture shown on disk and reads it on by itself; once that
// reading ended, CaptureReadOn leaves what a Screen pass over the frames read would: a capture
// that can no longer be read is forgotten, a frame too long is reported.
struct IndexResult;
void CaptureReadOn(DecoderState& state, Window& window, const IndexResult& result);

// --- Writing files ---

// The output name for a capture: the capture's file name cut behind its first "." and the
// extension appended; a file name without "." gets "." and the extension. Folders are kept.
//   /captures/pass1.kss + hex  ->  /captures/pass1.hex
//   /data/sat.logs/pass1.kss   ->  /data/sat.logs/pass1.hex
//   /captures/pass1 + log      ->  /captures/pass1.log
std::string DeriveOutputName(std::string_view capture_file_name, std::string_view extension);

// How packscope-convert names outputs: a pattern of the file name, in which {stem} stands for
// the capture's file name cut at its first "." (as above), {name} for its whole file name and
// {ext} for the layout's extension, in a folder (empty: the capture's own).
//   "{stem}.{ext}"  pass1.kss -> pass1.hex (DeriveOutputName's names)
//   "{name}.{ext}"  p.morning.kss -> p.morning.kss.monitor.txt
struct OutputNaming {
  std::string folder;
  std::string pattern = "{stem}.{ext}";
};
inline constexpr std::string_view kNameFields = "{stem}, {name} and {ext}";
// Why pattern cannot name files (a field other than kNameFields, an unclosed "{", a "/", no text
// at all); empty when it can.
std::string NamePatternProblem(std::string_view pattern);
std::string NameOutputFile(std::string_view capture_file_name, std::string_view extension,
                           const OutputNaming& naming);

// The two header lines of the complete-frame layouts: "00 01 ... 99 " and 300 "-".
std::array<std::string, 2> ColumnHeader();

// The body of the five frame-writing commands. Without a capture it does nothing at all. With
// output_path the file goes there instead of DeriveOutputName's name ("-": standard output).
// True when the file was written. The display is left as it was; a cancelled pass writes
// nothing (an earlier file stays) and says so in Label2.
bool RunWriteCommand(DecoderState& state, Window& window, std::int16_t mode,
                     std::string_view extension, bool with_header,
                     const std::optional<std::string>& output_path = std::nullopt);
bool RunWriteCommand(DecoderState& state, Window& window, const WriteCommand& command,
                     const std::optional<std::string>& output_path = std::nullopt);

// --- The converter's own layouts (no menu items) ---

// One pass with OutputMode kNoWindowOutput: observer sees every frame, nothing is shown or
// written. False when the pass failed (reported); the frames before the failure were observed.
bool RunObservedPass(DecoderState& state, Window& window, CaptureObserver& observer);

// RunWriteCommand for such a layout: the output is named and guarded the same way and written
// whole or not at all; make_writer gets the open output before the pass.
bool RunFrameWriterCommand(DecoderState& state, Window& window, std::string_view extension,
                           const FrameWriterFactory& make_writer,
                           const std::optional<std::string>& output_path = std::nullopt);

// Write Logfile (screen dump): the display's whole text and CR LF; no pass, OutputMode kept. A
// window that makes its text on demand has it written a piece at a time, with the busy pointer
// and the progress window (cancelled: nothing written).
bool WriteLogfile(DecoderState& state, Window& window,
                  const std::optional<std::string>& output_path = std::nullopt);

// ShowCapture followed by WriteLogfile, byte for byte, without keeping the display: a pass with
// OutputMode Screen whose display text goes straight to the output as the pass appends it, then
// CR LF. Memory does not grow with the capture. Everything but the display reaches window; its
// display is left as it was. The output is named and guarded as WriteLogfile's. True when the
// file was written.
bool WriteScreenPass(DecoderState& state, Window& window,
                     const std::optional<std::string>& output_path = std::nullopt);

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_COMMANDS_H_
