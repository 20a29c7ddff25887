#include "cli/converter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/decoder_state.h"
#include "capture/errors.h"
#include "capture/frame_loop.h"
#include "capture/headless_window.h"
#include "capture/output_file.h"
#include "cli/converter_window.h"
#include "cli/merged_conversion.h"
#include "cli/program_options.h"
#include "commands/commands.h"
#include "commands/health_check.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "filter/filter.h"
#include "packscope_version.h"

namespace packscope {
namespace {

std::string LayoutNames() {
  std::string names;
  for (const Layout& l : kLayouts) names += (names.empty() ? "" : ", ") + std::string(l.name);
  return names;
}

// message: bytes (paths and arguments as given).
int UsageError(const std::string& message) { return UsageError(ConvertProgram(), message); }

void PrintError(const std::string& message) {
  std::fprintf(stderr, "packscope-convert: %s\n", message.c_str());
}

void PrintErrors(HeadlessWindow& window) {
  for (const std::string& e : window.Errors()) PrintError(e);
  window.ClearErrors();
}

// One capture through the layout. True when its output was written.
bool Convert(ConverterWindow& window, const std::string& capture, const Layout& layout,
             const std::string& output, TextEncoding encoding, CaptureFilter* filter) {
  DecoderState state;
  window.SetCaptureName(capture);
  state.CaptureFileName = capture;
  state.OutputEncoding = encoding;
  state.FrameFilter = filter;
  const bool ok = RunLayout(state, window, layout, output);
  PrintErrors(window);
  if (ok) {
    std::string counts = CountsCaption(state.FrameCount, state.ByteCount);
    if (filter != nullptr) counts += "; " + std::to_string(filter->Kept()) + " match the filter";
    std::fprintf(stderr, "%s (%s)\n", window.Label2().c_str(), counts.c_str());
  }
  return ok;
}

// --check: the report of each capture on standard output. Returns the worst status.
// Standard output open on one of the captures (>> A.kss, 1<> A.kss) takes no report of any
// capture of the batch: another capture's report would land in it all the same.
int CheckCaptures(ConverterWindow& window, const std::vector<std::string>& captures, bool strict) {
  for (const std::string& capture : captures) {
    if (SameFile(CapturePath(capture), "-")) {
      PrintError("Standard output was not written: it is the capture " + Quoted(capture) +
                 ", which the check reads." +
                 (captures.size() > 1 ? " No capture was checked." : ""));
      return kCheckUnreadable;
    }
  }
  int status = kCheckClean;
  for (const std::string& capture : captures) {
    window.SetCaptureName(capture);
    DecoderState state;
    int result = kCheckClean;
    try {
      OutputFile report("-");
      result = CheckCapture(state, window, capture, report, strict);
      report.Commit();
    } catch (const std::exception& e) {
      // A report that failed during the pass has said so already.
      if (result != kCheckUnreadable) window.ReportError(e.what());
      result = kCheckUnreadable;
    }
    PrintErrors(window);
    status = WorseCheckStatus(status, result);
  }
  return status;
}

// "a", "b" and "c"
std::string QuotedList(const std::vector<std::string>& paths) {
  std::string out;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i > 0) out += i + 1 == paths.size() ? " and " : ", ";
    out += Quoted(paths[i]);
  }
  return out;
}

// One capture of the run and where its output goes.
struct Job {
  std::string capture;
  std::string output;
  FileId capture_id;
  FileId output_id;
  bool refused = false;  // its output would destroy another capture or output
};

// A batch's outputs against every capture and every other output, before anything is written:
// a capture whose output is another capture of the run, or whose output another capture's output
// would replace, is refused (with a message naming the captures) and not converted. An output
// that is its own capture is left to the command, which refuses it itself.
void RefuseClashes(std::vector<Job>& jobs) {
  for (Job& job : jobs) {
    for (const Job& other : jobs) {
      if (&other == &job || !(job.output_id == other.capture_id)) continue;
      if (job.capture_id == other.capture_id) continue;  // its own capture: the command refuses it
      PrintError(Quoted(job.capture) + " was not converted: its output " + Quoted(job.output) +
                 " is the capture " + Quoted(other.capture) + ".");
      job.refused = true;
      break;
    }
  }
  // Outputs that share a name: all of them are refused, unless they are all one capture (named
  // twice, or through a link), which writes the same bytes each time.
  std::vector<bool> seen(jobs.size(), false);
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (seen[i] || jobs[i].refused || jobs[i].output_id == jobs[i].capture_id) continue;
    std::vector<std::size_t> group{i};
    bool several_captures = false;
    for (std::size_t j = i + 1; j < jobs.size(); ++j) {
      if (!jobs[j].refused && jobs[j].output_id == jobs[i].output_id) {
        group.push_back(j);
        seen[j] = true;
        several_captures = several_captures || !(jobs[j].capture_id == jobs[i].capture_id);
      }
    }
    if (!several_captures) continue;
    std::vector<std::string> sharing;
    for (const std::size_t k : group) {
      jobs[k].refused = true;
      sharing.push_back(jobs[k].capture);
    }
    PrintError(QuotedList(sharing) + " were not converted: each would be written to " +
               Quoted(jobs[i].output) + ", replacing the " +
               (sharing.size() == 2 ? "other" : "others") +
               "; --name or --output-dir gives each output a name of its own.");
  }
}

// Why the stamp log may not be written to path, or empty: it may be no capture of the run and no
// output (through any name; a character device such as /dev/null may be shared).
std::string StampLogProblem(const std::string& path, const std::vector<Job>& jobs,
                            bool writes_stdout) {
  const FileId id = IdOfFile(path);
  const std::string shown = path == "-" ? std::string("(standard output)") : Quoted(path);
  const auto shared_device = [&](const FileId& other) {
    return id.exists && other.exists && S_ISCHR(id.type) && S_ISCHR(other.type) &&
           !(path == "-" && writes_stdout);
  };
  for (const Job& job : jobs) {
    if (id == job.capture_id) {
      return "the stamp log " + shown + " is the capture " + Quoted(job.capture) +
             " of this run; nothing was written.";
    }
    if (!job.output.empty() && id == job.output_id && !shared_device(job.output_id)) {
      return "the stamp log " + shown + " is the output " +
             (job.output == "-" ? std::string("(standard output)") : Quoted(job.output)) +
             " of this run; nothing was written.";
    }
  }
  if (writes_stdout && id == IdOfFile("-") && !shared_device(IdOfFile("-"))) {
    return "the stamp log " + shown +
           " is standard output, where the run writes; nothing was written.";
  }
  return {};
}

}  // namespace

int RunConverter(const std::vector<std::string>& arguments) {
  const ParsedCommandLine parsed = ParseCommandLine(
      ConvertProgram(),
      std::vector<std::string>(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end()));
  if (const auto status =
          AnswerCommandLine(ConvertProgram(), parsed.action, parsed.error, PACKSCOPE_VERSION)) {
    return *status;
  }
  const CommandLine& line = parsed.line;
  const bool check = line.Has("--check");
  const bool strict = line.Has("--strict");
  if (strict && !check) return UsageError("--strict goes with --check.");
  if (check && line.Has("--layout")) return UsageError("--check takes no --layout.");
  if (check && (line.Has("--output") || line.Has("--output-dir") || line.Has("--name"))) {
    return UsageError("--check writes its report to standard output; no -o, --output-dir, --name.");
  }
  if (!check && !line.Has("--layout")) {
    return UsageError("--layout (or --check) is required.");
  }
  const Layout* layout = nullptr;
  if (!check) {
    layout = FindLayout(*line.Value("--layout"));
    if (layout == nullptr) {
      return UsageError("unknown layout '" + *line.Value("--layout") + "'; one of " +
                        LayoutNames() + ".");
    }
  }
  TextEncoding encoding = TextEncoding::kWindows1252;
  if (line.Has("--encoding")) {
    std::string name = *line.Value("--encoding");
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "utf-8" || name == "utf8") {
      encoding = TextEncoding::kUtf8;
    } else if (name != "windows-1252" && name != "cp1252") {
      return UsageError("unknown encoding '" + *line.Value("--encoding") +
                        "'; windows-1252 or utf-8.");
    }
  }
  std::optional<Filter> filter;
  if (line.Has("--filter")) {
    if (check) return UsageError("--check reads every frame; no --filter.");
    FilterError error;
    filter = Filter::Parse(*line.Value("--filter"), &error);
    if (!filter) return UsageError(error.Text());
  }
  std::optional<CaptureFilter> frame_filter;
  if (filter) frame_filter.emplace(*filter);
  const std::vector<std::string>& captures = line.Arguments();
  if (captures.empty()) return UsageError("no capture given.");
  if (std::count(captures.begin(), captures.end(), "-") > 1) {
    return UsageError("standard input (-) can be read once; name it once.");
  }
  const bool merge = line.Has("--merge");
  MergeOptions merge_options;
  const auto given = [&](std::string_view name) {
    const std::string* v = line.Value(name);
    return v != nullptr ? std::optional<std::string>(*v) : std::nullopt;
  };
  if (!merge && (line.Has("--dupes") || line.Has("--dupe-window") || line.Has("--order"))) {
    return UsageError("--dupes, --dupe-window and --order go with --merge.");
  }
  if (merge) {
    if (check) return UsageError("--check reads each capture alone; no --merge.");
    const std::string problem = ParseMergeOptions(given("--dupes"), given("--dupe-window"),
                                                  given("--order"), merge_options);
    if (!problem.empty()) return UsageError(problem);
  }
  std::optional<std::string> output;
  if (line.Has("--output")) {
    if (captures.size() > 1 && !merge) return UsageError("-o takes one capture only.");
    if (line.Has("--output-dir") || line.Has("--name")) {
      return UsageError("-o names the output itself; no --output-dir, --name.");
    }
    output = *line.Value("--output");
  }
  OutputNaming naming;
  if (line.Has("--output-dir")) {
    naming.folder = *line.Value("--output-dir");
    if (naming.folder.empty()) return UsageError("--output-dir needs a folder.");
  }
  if (line.Has("--name")) {
    naming.pattern = *line.Value("--name");
    const std::string problem = NamePatternProblem(naming.pattern);
    if (!problem.empty()) return UsageError("--name '" + naming.pattern + "': " + problem + ".");
  }
  std::optional<std::string> stamp_log_path;
  if (line.Has("--stamp-log")) stamp_log_path = *line.Value("--stamp-log");
  const bool writes_stdout = check || output == "-";
  if (stamp_log_path == "-" && writes_stdout) {
    return UsageError(check ? "--check writes its report to standard output; --stamp-log - "
                              "would mix the stamp log into it."
                            : "-o - and --stamp-log - would mix the output and the stamp log "
                              "on standard output; give one of them a file.");
  }

  // Every output named, and checked against the captures and the other outputs, before
  // anything is written.
  std::vector<Job> jobs;
  for (const std::string& capture : captures) {
    Job job;
    job.capture = capture;
    job.capture_id = IdOfFile(CapturePath(capture));
    if (!check && !output && capture == "-") {
      return UsageError(
          "standard input (-) has no name to name the output after; give -o (-o - "
          "for standard output).");
    }
    if (merge) {
      // One output for all: named after the first capture.
      job.output = output ? *output
                          : MergedOutputName(captures.front(), layout->extension, naming,
                                             line.Has("--name"));
      job.output_id = IdOfFile(job.output);
    } else if (!check) {
      job.output = output ? *output : NameOutputFile(capture, layout->extension, naming);
      job.output_id = IdOfFile(job.output);
    }
    jobs.push_back(std::move(job));
  }
  if (stamp_log_path) {
    const std::string problem = StampLogProblem(*stamp_log_path, jobs, writes_stdout);
    if (!problem.empty()) return UsageError(problem);
  }
  int status = 0;
  if (!check && !merge) {  // a merge has one output, which RunLayout keeps from its captures
    RefuseClashes(jobs);
    for (const Job& job : jobs) status = job.refused ? 1 : status;
  }

  ConverterWindow window;
  window.SetCheck1(line.Has("--decode-kiss"));
  // The converter's own layouts and the report read AX.25 themselves (DescribeAx25); the
  // window's decoder would only fill the callsign boxes nobody sees.
  window.SetCheck2(!line.Has("--no-ax25") && !check && layout->kind != LayoutKind::kFrameWriter);
  // The log of binary timestamps, written as the passes meet them and put in place after a run
  // in which every capture was converted (or checked); else an earlier file stays as it was.
  std::optional<OutputFile> stamp_log;
  std::optional<Utf8Sink> stamp_log_utf8;
  if (stamp_log_path) {
    try {
      stamp_log.emplace(*stamp_log_path);
      if (encoding == TextEncoding::kUtf8) {
        window.SetStampLog(&stamp_log_utf8.emplace(*stamp_log));
      } else {
        window.SetStampLog(&*stamp_log);
      }
    } catch (const std::exception& e) {
      PrintError(e.what());
      status = 1;
    }
  }
  if (check) {
    status = WorseCheckStatus(status, CheckCaptures(window, captures, strict));
  } else if (merge) {
    if (status == 0 && !ConvertMerged(window, captures, merge_options, *layout, jobs[0].output,
                                      encoding, frame_filter ? &*frame_filter : nullptr)) {
      status = 1;
    }
  } else {
    for (const Job& job : jobs) {
      if (!job.refused && !Convert(window, job.capture, *layout, job.output, encoding,
                                   frame_filter ? &*frame_filter : nullptr)) {
        status = 1;
      }
    }
  }
  if (stamp_log) {
    window.SetStampLog(nullptr);
    try {
      if (!window.StampLogError().empty()) throw CommandError(window.StampLogError());
      if (status == 1) {
        const std::string why =
            check ? "a capture could not be read to its end." : "not every capture was converted.";
        throw CommandError(*stamp_log_path == "-"
                               ? "The stamp log on standard output is not complete: " + why
                               : "The stamp log " + Quoted(*stamp_log_path) + " was not written: " +
                                     why + " An earlier file of that name stays as it was.");
      }
      stamp_log->Commit();
    } catch (const std::exception& e) {
      PrintError(e.what());
      status = 1;
    }
  }
  return status;
}

}  // namespace packscope
