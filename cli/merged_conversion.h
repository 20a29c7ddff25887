// packscope-convert --merge: several captures, each a receiver of one traffic, converted as one
// merged capture (framelist/merged_source.h) in any layout.
#ifndef PACKSCOPE_CLI_MERGED_CONVERSION_H_
#define PACKSCOPE_CLI_MERGED_CONVERSION_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/encoding_sink.h"
#include "cli/converter_window.h"
#include "commands/commands.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "framelist/capture_merge.h"

namespace packscope {

// The --help section on merging.
inline constexpr std::string_view kMergeHelp = R"(
Merge (--merge CAPTURE...): each capture is a receiver of one traffic (igates, digipeaters,
ground stations, two modems on one recording). The output holds their frames in time order by
their stamps, each packet once: copies heard within --dupe-window seconds of the first are one
packet, which keeps the first reception's bytes and stamp. --dupes aprs: same source, same
destination without its SSID, same control field, PID and information field (trailing blanks,
CR and LF trimmed), the path ignored; bytes: the same AX.25 bytes; none: every frame. A capture
without stamps is refused, unless --order files (the captures one after the other). The output
is named after the first capture (north.kss -> north.merged.jsonl) unless -o names it. jsonl
adds "heard_by" (the captures that heard the packet, as given, sorted) and "heard_offset_ms"
(how much later each heard it), stats adds "receivers" (per capture: frames, only_here, missed,
offset_ms), and the filter has heard_by and heard_count (heard_by == north.kss, heard_count == 1).
)";

// The merge's options as the command line gives them (nothing: not given). Sets options and
// returns empty, or returns the usage error.
std::string ParseMergeOptions(const std::optional<std::string>& dupes,
                              const std::optional<std::string>& window,
                              const std::optional<std::string>& order, MergeOptions& options);

// The merged output's name when -o does not give one: after the first capture, with "merged"
// before the extension (north.kss -> north.merged.jsonl), in its folder or naming's.
std::string MergedOutputName(const std::string& first_capture, std::string_view extension,
                             const OutputNaming& naming, bool pattern_given);

// Indexes the captures, merges them and runs the layout over the merge into output. Errors go
// to standard error; true when the output was written.
bool ConvertMerged(ConverterWindow& window, const std::vector<std::string>& captures,
                   const MergeOptions& options, const Layout& layout, const std::string& output,
                   TextEncoding encoding, CaptureFilter* filter);

}  // namespace packscope

#endif  // PACKSCOPE_CLI_MERGED_CONVERSION_H_
