#include "cli/merged_conversion.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "capture/errors.h"
#include "capture/frame_index.h"
#include "capture/frame_loop.h"
#include "capture/input_index.h"
#include "capture/output_file.h"
#include "commands/commands.h"
#include "framelist/merged_source.h"

namespace packscope {
namespace {

constexpr std::int64_t kLongestWindowMillis = 86400000;

// SECONDS: a decimal number, up to three places after the point; nothing otherwise.
std::optional<std::int64_t> WindowMillis(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if ((whole.empty() && fraction.empty()) || fraction.size() > 3) return std::nullopt;
  std::int64_t seconds = 0;
  if (!whole.empty()) {
    const auto [end, ec] = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
    if (ec != std::errc() || end != whole.data() + whole.size() || seconds < 0 ||
        seconds > kLongestWindowMillis / 1000) {
      return std::nullopt;
    }
  }
  std::int64_t millis = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const char c = i < fraction.size() ? fraction[i] : '0';
    if (c < '0' || c > '9') return std::nullopt;
    millis = millis * 10 + (c - '0');
  }
  const std::int64_t total = seconds * 1000 + millis;
  if (total > kLongestWindowMillis) return std::nullopt;
  return total;
}

}  // namespace

std::string ParseMergeOptions(const std::optional<std::string>& dupes,
                              const std::optional<std::string>& window,
                              const std::optional<std::string>& order, MergeOptions& options) {
  if (order) {
    if (*order == "files") {
      options.order = MergeOrder::kFiles;
    } else if (*order != "time") {
      return "unknown order '" + *order + "'; time or files.";
    }
  }
  if (dupes) {
    const std::optional<DupeRule> rule = DupeRuleNamed(*dupes);
    if (!rule) return "unknown duplicate rule '" + *dupes + "'; aprs, bytes or none.";
    options.dupes = *rule;
  }
  if (options.order == MergeOrder::kFiles) {
    if (dupes && options.dupes != DupeRule::kNone) {
      return "--order files joins the captures and keeps every frame: no --dupes " + *dupes + ".";
    }
    options.dupes = DupeRule::kNone;
  }
  if (window) {
    const std::optional<std::int64_t> millis = WindowMillis(*window);
    if (!millis)
      return "--dupe-window '" + *window + "' is not a number of seconds from 0 to 86400.";
    options.window_ms = *millis;
  }
  return {};
}

std::string MergedOutputName(const std::string& first_capture, std::string_view extension,
                             const OutputNaming& naming, bool pattern_given) {
  OutputNaming merged = naming;
  if (!pattern_given) merged.pattern = "{stem}.merged.{ext}";
  return NameOutputFile(first_capture, extension, merged);
}

bool ConvertMerged(ConverterWindow& window, const std::vector<std::string>& captures,
                   const MergeOptions& options, const Layout& layout, const std::string& output,
                   TextEncoding encoding, CaptureFilter* filter) {
  const auto fail = [](const std::string& message) {
    std::fprintf(stderr, "packscope-convert: %s\n", message.c_str());
    return false;
  };
  // Each capture through its index, whatever its format (a pcap or TNC2 file through a copy).
  std::vector<std::unique_ptr<InputIndex>> indexes;
  std::vector<MergeInput> inputs;
  for (const std::string& capture : captures) {
    if (capture == "-") {
      return fail("Standard input cannot be merged: a merge reads each capture through its index.");
    }
    indexes.push_back(std::make_unique<InputIndex>(capture));
    const IndexResult result = indexes.back()->Extend();
    if (result.status != IndexStatus::kAtEnd) return fail(result.message);
    inputs.push_back({capture, indexes.back()->Snapshot()});
  }
  std::optional<MergedSource> source;
  try {
    source.emplace(std::move(inputs), options);
  } catch (const CommandError& e) {
    return fail(e.what());
  }
  DecoderState state;
  state.CaptureFileName = captures.front();
  state.Source = &*source;
  state.OutputEncoding = encoding;
  state.FrameFilter = filter;
  window.SetCaptureName(captures.front());
  const bool ok = RunLayout(state, window, layout, output);
  for (const std::string& e : window.Errors()) fail(e);
  window.ClearErrors();
  if (ok) {
    std::string counts = std::to_string(source->Packets()) + " packets of " +
                         std::to_string(captures.size()) + " captures; " +
                         CountsCaption(state.FrameCount, state.ByteCount);
    if (filter != nullptr) counts += "; " + std::to_string(filter->Kept()) + " match the filter";
    std::fprintf(stderr, "%s (%s)\n", window.Label2().c_str(), counts.c_str());
  }
  return ok;
}

}  // namespace packscope
