// The layout registry: every layout the converter writes, one row each. The converter's --help,
// its check of --layout, its dispatch and the manual page's list of layouts all read this table,
// the Write menu shows the rows that carry a caption, and the frame list's Export offers every
// row by its export name and file-dialog filter ("JSON Lines (*.jsonl)"). A new layout is one
// row.
//
//   screen              the display's text, as Write Logfile saves it (WriteScreenPass)
//   hex-complete ...    the five frame-writing commands of the Write menu (RunWriteCommand)
//   pcap, jsonl, ...    the converter's own layouts, written by a FrameWriter; their text lines
//                       end with LF alone, every frame but timestamp frames
//   kiss, stats, gpx    FrameWriters too: the frames as a capture again, a summary, the APRS
//   series              positions as GPX tracks, and the APRS values over time as CSV
//   tnc2                the frames as TNC2 text lines, which the capture readers read back
//   sessions            the connected AX.25 sessions, one JSON object each
#ifndef PACKSCOPE_COMMANDS_LAYOUTS_H_
#define PACKSCOPE_COMMANDS_LAYOUTS_H_

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "capture/decoder_state.h"
#include "capture/line_sink.h"
#include "capture/window.h"
#include "commands/frame_writer.h"

namespace packscope {

std::unique_ptr<FrameWriter> MakePcapWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeJsonlWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeMonitorWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeKissWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeStatsWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeGpxWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeSeriesWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeTnc2Writer(LineSink& out);
std::unique_ptr<FrameWriter> MakeSessionsWriter(LineSink& out);

// The frame-writing commands of the Write menu, in menu order, and the converter's names for
// their layouts: the registry's rows that the Write menu shows (kWriteCommands below).
struct WriteCommand {
  std::int16_t mode;
  std::string_view extension;
  bool with_header;
  std::string_view caption;  // menu item caption
  std::string_view layout;   // packscope-convert --layout
};

enum class LayoutKind {
  kScreen,       // WriteScreenPass
  kWindowFile,   // RunWriteCommand with mode and with_header
  kFrameWriter,  // RunFrameWriterCommand with make_writer
};

struct Layout {
  std::string_view name;       // packscope-convert --layout
  std::string_view extension;  // of the output's derived name (DeriveOutputName)
  std::string_view help;       // one line for --help and the manual page
  LayoutKind kind;
  std::int16_t mode = kScreen;    // kWindowFile: OutputMode
  bool with_header = false;       // kWindowFile: the two column header lines first
  std::string_view caption = {};  // kWindowFile: the Write menu's caption
  std::unique_ptr<FrameWriter> (*make_writer)(LineSink& out) = nullptr;  // kFrameWriter
  // The frame list's Export: the layout's name for users, and the extension its files take
  // there (with its dot), the file dialog's filter "NAME (*EXTENSION)".
  std::string_view export_name = {};
  std::string_view export_extension = {};
};

inline constexpr std::array<Layout, 15> kLayouts = {{
    {"screen",
     "log",
     "the display's text, as Write Logfile saves it",
     LayoutKind::kScreen,
     kScreen,
     false,
     {},
     nullptr,
     "Screen text (as Write Logfile saves it)",
     ".log"},
    {"hex-complete", "hex", "every frame as stored, in hex, under two column header lines",
     LayoutKind::kWindowFile, kHexComplete, true, "Write Hexfile (complete frame)", nullptr,
     "Hex of the frames as stored", ".hex"},
    {"hex-kissframe", "hex", "every frame un-escaped, in hex, under two column header lines",
     LayoutKind::kWindowFile, kHexKissFrame, true, "Write Hexfile (kissframe)", nullptr,
     "Hex of the KISS frames", ".hex"},
    {"hex-payload", "hex", "the AX.25 payload of every frame, in hex", LayoutKind::kWindowFile,
     kHexPayload, false, "Write Hexfile (payload)", nullptr, "Hex of the payloads", ".hex"},
    {"hex-payload-time", "hex", "the stamp and the AX.25 payload of every frame, in hex",
     LayoutKind::kWindowFile, kHexPayloadTime, false, "Write Hexfile (payload with timestamp)",
     nullptr, "Hex of the payloads with their time", ".hex"},
    {"ascii-payload-time", "txt", "the stamp and the printable characters of every frame",
     LayoutKind::kWindowFile, kAsciiPayloadTime, false, "Write ASCII File (payload with timestamp)",
     nullptr, "Payload characters with their time", ".txt"},
    {"pcap",
     "pcap",
     "a pcap file of AX.25 KISS frames, for Wireshark and tshark",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakePcapWriter,
     "pcap for Wireshark",
     ".pcap"},
    {"jsonl",
     "jsonl",
     "one JSON object per frame (JSON Lines)",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakeJsonlWriter,
     "JSON Lines",
     ".jsonl"},
    {"monitor",
     "monitor.txt",
     "one line per frame, as a TNC's monitor shows traffic",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakeMonitorWriter,
     "Monitor lines",
     ".txt"},
    {"kiss",
     "frames.kss",
     "the frames as a KISS capture again, each behind its stamp",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakeKissWriter,
     "KISS capture",
     ".kss"},
    {"stats",
     "stats.json",
     "one JSON object: stations, paths, frame types, frames per minute, findings",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakeStatsWriter,
     "Statistics (JSON)",
     ".json"},
    {"gpx",
     "gpx",
     "the positions of APRS stations, objects and items as GPX 1.1 tracks, for map programs",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakeGpxWriter,
     "GPX positions",
     ".gpx"},
    {"series",
     "series.csv",
     "the APRS values over time as CSV, one record per value: positions, weather, telemetry",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakeSeriesWriter,
     "Series of values (CSV)",
     ".csv"},
    {"tnc2",
     "tnc2.txt",
     "one TNC2 line per frame (SRC>DST,PATH:info) behind its time, as APRS programs read them",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakeTnc2Writer,
     "TNC2 lines",
     ".tnc2.txt"},
    {"sessions",
     "sessions.jsonl",
     "one JSON object per connected AX.25 session: stations, setup, outcome, each direction's "
     "counts and data",
     LayoutKind::kFrameWriter,
     kNoWindowOutput,
     false,
     {},
     &MakeSessionsWriter,
     "Connected sessions (JSON Lines)",
     ".sessions.jsonl"},
}};

// The row named name; nullptr when there is none.
const Layout* FindLayout(std::string_view name);

// "JSON Lines (*.jsonl)": the row's filter in a file dialog.
std::string DialogFilter(const Layout& layout);
// The layout a file name's extension names for Export (letter case ignored): the row whose
// export extension the name ends with, the longest first; of rows with the same one, the
// converter's own layout (monitor for .txt), else the first. nullptr, and why in error, for none.
const Layout* LayoutForFileName(std::string_view path, std::string* error);

// Runs the layout over CaptureFileName: its output goes to output_path, or next to the capture
// under the derived name. True when the output was written; failures are reported to window.
bool RunLayout(DecoderState& state, Window& window, const Layout& layout,
               const std::optional<std::string>& output_path = std::nullopt);

namespace layouts_detail {
template <LayoutKind kind>
constexpr std::size_t Count() {
  std::size_t n = 0;
  for (const Layout& l : kLayouts) n += l.kind == kind ? 1 : 0;
  return n;
}
}  // namespace layouts_detail

// The Write menu's frame-writing commands, in menu order (the window-file rows).
inline constexpr auto kWriteCommands = [] {
  std::array<WriteCommand, layouts_detail::Count<LayoutKind::kWindowFile>()> out{};
  std::size_t n = 0;
  for (const Layout& l : kLayouts) {
    if (l.kind == LayoutKind::kWindowFile) {
      out[n++] = {l.mode, l.extension, l.with_header, l.caption, l.name};
    }
  }
  return out;
}();

// The converter's own layouts (the frame-writer rows).
struct ConverterLayout {
  std::string_view name;
  std::string_view extension;
  std::unique_ptr<FrameWriter> (*make_writer)(LineSink& out);
};
inline constexpr auto kConverterLayouts = [] {
  std::array<ConverterLayout, layouts_detail::Count<LayoutKind::kFrameWriter>()> out{};
  std::size_t n = 0;
  for (const Layout& l : kLayouts) {
    if (l.kind == LayoutKind::kFrameWriter) out[n++] = {l.name, l.extension, l.make_writer};
  }
  return out;
}();

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_LAYOUTS_H_
