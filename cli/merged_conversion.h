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
