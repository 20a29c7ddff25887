#include "commands/commands.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <utility>

#include "capture/ax25_step.h"
#include "capture/errors.h"
#include "capture/frame_loop.h"
#include "capture/frame_source.h"
#include "capture/output_file.h"
#include "commands/capture_view.h"

namespace packscope {
namespace {

// Runs body; anything it throws becomes one message to the user. A pass the user cancelled is no
// error: Label2 then reads cancelled (unless that is empty). False when it failed or was cancelled.
template <typename Body>
bool Reported(Window& window, std::string_view cancelled, Body&& body) {
  try {
    body();
    return true;
  } catch (const PassCancelled&) {
    if (!cancelled.empty()) window.SetLabel2Caption(cancelled);
  } catch (const CommandError& e) {
    window.ReportError(e.what());
  } catch (const std::bad_alloc&) {
    window.ReportError("Not enough memory to finish the command.");
  } catch (const std::exception& e) {
    window.ReportError(std::string("The command failed: ") + e.what());
  }
  return false;
}

std::string FileCaption(const std::string& path) { return "File: " + path; }

// The screen dump of a window that makes its display's text on demand is written in pieces of
// this many characters.
constexpr std::int64_t kLogfilePiece = 1 << 20;

// A window that shows captures through a CaptureView, or null.
IndexedDisplay* Indexed(Window& window) { return dynamic_cast<IndexedDisplay*>(&window); }

// A capture that could not be read is not chosen, and the window shows nothing of it: the
// message names it, the labels and the display are emptied.
void ForgetCapture(DecoderState& state, Window& window) {
  state.CaptureFileName.clear();
  state.CaptureCopy.clear();
  if (IndexedDisplay* indexed = Indexed(window)) {
    indexed->View().Close();
    indexed->ViewReset();
  }
  window.SetLabel2Caption("");
  window.SetLabel1Caption("");
  window.SetDisplayText("");
  window.ClearText4();
}

// Names the command's output (output_path, or the name derived from the capture) in
// OutputFileName; false, with a message, when that is the capture itself, which the command reads
// (through any of its names, and also standard output when it is open on the capture).
bool NameOutput(DecoderState& state, Window& window, std::string_view extension,
                const std::optional<std::string>& output_path) {
  state.OutputFileName =
      output_path ? *output_path : DeriveOutputName(state.CaptureFileName, extension);
  const std::string shown =
      state.OutputFileName == "-" ? std::string("Standard output") : Quoted(state.OutputFileName);
  if (state.Source != nullptr) {
    for (const std::string& path : state.Source->Paths()) {
      if (!SameFile(CapturePath(path), state.OutputFileName)) continue;
      window.ReportError(shown + " was not written: it is the capture " + Quoted(path) +
                         ", which the command reads.");
      return false;
    }
    return true;
  }
  if (!SameFile(CapturePath(state.CaptureFileName), state.OutputFileName)) return true;
  window.ReportError(shown +
                     " was not written: it is the capture itself, which the command reads.");
  return false;
}

std::string NotWritten(const std::string& path) {
  return path == "-" ? std::string() : " Nothing was written to " + Quoted(path) + ".";
}

// The output of a write command, opened when the command asks for it: a command that reads the
// capture opens it only once the capture is open (ReadCapture's opened), so that a capture that
// cannot be read is reported first and no output is begun for it.
class CommandOutput {
 public:
  CommandOutput(DecoderState& state, bool text) : state_(state), text_(text) {}

  // Opens OutputFileName; text layouts (text) follow OutputEncoding.
  LineSink& Open() {
    open_failed_ = true;
    file_.emplace(state_.OutputFileName, state_.Device);
    open_failed_ = false;
    if (text_ && state_.OutputEncoding == TextEncoding::kUtf8) return utf8_.emplace(*file_);
    return *file_;
  }
  // The output could not be opened: its message names it already.
  bool OpenFailed() const { return open_failed_; }
  void Commit() {
    if (!file_) Open();
    file_->Commit();
  }

 private:
  DecoderState& state_;
  bool text_;
  std::optional<OutputFile> file_;
  std::optional<Utf8Sink> utf8_;
  bool open_failed_ = false;
};

// Writes the output through fill and puts it in place; the pass's or the file's failure leaves
// an earlier file of that name as it was.
template <typename Fill>
bool WriteOutput(DecoderState& state, Window& window, bool text, Fill&& fill) {
  const std::string& path = state.OutputFileName;
  const std::string shown = path == "-" ? "standard output" : path;
  const bool ok = Reported(window, shown + " was not written (cancelled)", [&] {
    struct Detach {
      DecoderState& s;
      ~Detach() { s.OutputFile = nullptr; }
    } detach{state};
    CommandOutput output(state, text);
    try {
      fill(output);
      output.Commit();
    } catch (const CommandError& e) {
      if (output.OpenFailed()) throw;
      throw CommandError(e.what() + NotWritten(path));
    }
  });
  if (ok) window.SetLabel2Caption(shown + " has been written");
  return ok;
}

// Hangs observer on the state for one pass and takes it off again however the pass ends.
class ObserverAttached {
 public:
  ObserverAttached(DecoderState& state, CaptureObserver& observer) : state_(state) {
    state_.OutputMode = kNoWindowOutput;
    state_.Observer = &observer;
  }
  ~ObserverAttached() { state_.Observer = nullptr; }
  ObserverAttached(const ObserverAttached&) = delete;
  ObserverAttached& operator=(const ObserverAttached&) = delete;

 private:
  DecoderState& state_;
};

// The window as a pass sees it, with a display that is written out instead of kept: what the
// pass appends at the end of the display goes to out; colours are not part of the text and are
// dropped. Only appends can be streamed: any other change of the text fails the pass. Everything
// else is the window's.
class StreamedDisplay : public Window {
 public:
  explicit StreamedDisplay(Window& window) : window_(window) {}
  // Where the text goes from now on.
  void SetOutput(LineSink& out) { out_ = &out; }

  void SetBusy(bool busy) override { window_.SetBusy(busy); }
  std::string DisplayText() const override { throw NotAppended(); }
  void SetDisplayText(std::string_view text) override {
    if (size_ != 0) throw NotAppended();
    Put(text);
    size_ = static_cast<std::int64_t>(text.size());
    sel_start_ = 0;
    sel_length_ = 0;
  }
  std::int64_t SelStart() const override { return sel_start_; }
  void SetSelStart(std::int64_t start) override {
    sel_start_ = std::clamp<std::int64_t>(start, 0, size_);
    sel_length_ = 0;
  }
  void SetSelLength(std::int64_t length) override {
    sel_length_ = std::clamp<std::int64_t>(length, 0, size_ - sel_start_);
  }
  void SetSelText(std::string_view text) override {
    if (sel_start_ != size_) throw NotAppended();
    Put(text);
    size_ += static_cast<std::int64_t>(text.size());
    sel_start_ = size_;
  }
  void SetSelColor(Color color) override { (void)color; }
  void SetLabel1Caption(std::string_view caption) override { window_.SetLabel1Caption(caption); }
  void SetLabel2Caption(std::string_view caption) override { window_.SetLabel2Caption(caption); }
  void SetText2(std::string_view text) override { window_.SetText2(text); }
  void SetText3(std::string_view text) override { window_.SetText3(text); }
  void AppendText4(std::string_view text) override { window_.AppendText4(text); }
  void ClearText4() override { window_.ClearText4(); }
  bool ShowsFramesAsRead() const override { return window_.ShowsFramesAsRead(); }
  bool KeepsStampLog() const override { return window_.KeepsStampLog(); }
  bool Check1() const override { return window_.Check1(); }
  bool Check2() const override { return window_.Check2(); }
  std::string ShortDateText(int year, int month, int day) const override {
    return window_.ShortDateText(year, month, day);
  }
  std::string LongTimeText(int hour, int minute, int second) const override {
    return window_.LongTimeText(hour, minute, second);
  }
  void ReportError(std::string_view message) override { window_.ReportError(message); }
  bool ShowProgress(std::int64_t done, std::int64_t total) override {
    return window_.ShowProgress(done, total);
  }

 private:
  static CommandError NotAppended() {
    return CommandError("The screen text can only be written as it is appended.");
  }
  // The pass empties the display before the capture is open, when there is no output yet.
  void Put(std::string_view text) {
    if (text.empty()) return;
    if (out_ == nullptr) throw NotAppended();
    out_->Write(text);
  }

  Window& window_;
  LineSink* out_ = nullptr;
  std::int64_t size_ = 0;  // characters written
  std::int64_t sel_start_ = 0;
  std::int64_t sel_length_ = 0;
};

// What a Screen pass over the frames the view shows leaves behind: the counts (also in Label1),
// the last frame in FrameLength, FrameOffset and FrameBytes, its AX.25 fields and callsigns in
// Text2 and Text3 (while Check2 is ticked), the last stamp in StampText and the last binary one
// in StampMillis. RawHex and FrameHex are not made: no later step reads them. A last frame the
// capture no longer holds (written over since) is not decoded.
// Without frames Label1, FrameBytes and the callsign boxes keep what they had, as after a pass.
// A reading that met a frame too long counts it in FrameCount (not in Label1), as the pass did.
void TakeShownFrames(DecoderState& state, Window& window, const CaptureView& view,
                     IndexStatus status) {
  const IndexSnapshot& shown = view.Shown();
  state.FrameCount = shown.FrameCount();
  state.ByteCount = shown.ByteCount();
  state.StampText.clear();
  state.StampMillis = 0;
  if (shown.StampCount() > 0) view.Screen().StampText(shown.StampCount() - 1, state.StampText);
  if (shown.StampLogCount() > 0) {
    const StampRecord& stamp = shown.Stamp(shown.StampLogStamp(shown.StampLogCount() - 1));
    state.StampMillis = static_cast<double>(stamp.BinaryValue());
  }
  if (state.FrameCount == 0) {
    if (status == IndexStatus::kTooLong) state.FrameCount = 1;
    return;
  }
  window.SetLabel1Caption(CountsCaption(state.FrameCount, state.ByteCount));
  // FrameBytes as the pass leaves it: the last frame whole, and within the AX.25 decoder's reach
  // the bytes of earlier frames behind it.
  std::string last;
  if (view.Screen().ReadFrameBytes(state.FrameCount - 1, last)) {
    const auto reach = static_cast<std::size_t>(shown.FrameBytesReach());
    if (state.FrameBytes.size() < std::max(reach, last.size()) + 1) {
      state.FrameBytes.resize(std::max(reach, last.size()) + 1);
    }
    std::copy_n(shown.FrameBytesLeft().begin(), reach, state.FrameBytes.begin() + 1);
    std::copy(last.begin(), last.end(), state.FrameBytes.begin() + 1);
    const FrameRecord& record = shown.Frame(state.FrameCount - 1);
    state.FrameLength = record.Length();
    state.FrameOffset = record.Offset();
    if (window.Check2()) DecodeAx25(state, window);
  }
  if (status == IndexStatus::kTooLong) ++state.FrameCount;
}

// A capture the view could not read, as after a pass that could not open it: the counts and the
// stamp begin afresh, the capture is forgotten, the message shown.
void ForgetUnreadable(DecoderState& state, Window& window, const std::string& message) {
  CloseCapture(state, window);
  window.ReportError(message);
}

// A copy that stopped before it filled its disk: the frames read so far are shown, and Label2
// says so, with the message in its own words.
void CopyStopped(DecoderState& state, Window& window, const IndexResult& result) {
  state.ShownInPart = true;
  std::string why = result.message;
  if (!why.empty() && why.back() == '.') why.pop_back();
  if (!why.empty() && why[0] >= 'A' && why[0] <= 'Z')
    why[0] = static_cast<char>(why[0] - 'A' + 'a');
  window.SetLabel2Caption(FileCaption(state.CaptureFileName) + " (" + why + ")");
}

// ShowCapture through the window's view: the capture read on (anew: from its start, as another
// capture), a capture that changed on disk read anew, and what a Screen pass would leave.
bool ShowThroughView(DecoderState& state, Window& window, IndexedDisplay& indexed, bool anew) {
  CaptureView& view = indexed.View();
  state.OutputMode = kScreen;
  const bool was_in_part = std::exchange(state.ShownInPart, false);
  const auto open = [&] {
    view.Open(state.CaptureFileName);
    indexed.ViewReset();
  };
  if (anew || view.Path() != state.CaptureFileName) open();
  view.SetKissView(window.Check1());
  IndexResult result = indexed.ReadView();
  if (result.status == IndexStatus::kChanged) {
    open();
    result = indexed.ReadView();
  }
  state.CaptureCopy = view.Copied() ? view.ReadPath() : std::string();
  if (result.status == IndexStatus::kUnreadable) {
    ForgetUnreadable(state, window, result.message);
    return false;
  }
  TakeShownFrames(state, window, view, result.status);
  switch (result.status) {
    case IndexStatus::kAtEnd:
      // The display is whole again: Label2 no longer says it is not.
      if (was_in_part) window.SetLabel2Caption(FileCaption(state.CaptureFileName));
      return true;
    case IndexStatus::kCancelled:
      state.ShownInPart = true;
      window.SetLabel2Caption(FileCaption(state.CaptureFileName) + " (cancelled, shown in part)");
      return false;
    case IndexStatus::kStopped:
      CopyStopped(state, window, result);
      return false;
    default:
      window.ReportError(result.message);
      return false;
  }
}

// ShowThroughView with what fails inside it reported (it reports its own outcomes).
bool ReportedShowThroughView(DecoderState& state, Window& window, IndexedDisplay& indexed,
                             bool anew) {
  bool shown = false;
  Reported(window, {}, [&] { shown = ShowThroughView(state, window, indexed, anew); });
  return shown;
}

}  // namespace

bool ShowCapture(DecoderState& state, Window& window) {
  if (IndexedDisplay* indexed = Indexed(window)) {
    return ReportedShowThroughView(state, window, *indexed, /*anew=*/true);
  }
  state.OutputMode = kScreen;
  const bool was_in_part = std::exchange(state.ShownInPart, false);
  const auto pass = [&] {
    try {
      ReadCapture(state, window);
    } catch (const PassCancelled&) {
      state.ShownInPart = true;
      throw;
    } catch (const CaptureUnreadable&) {
      ForgetCapture(state, window);
      throw;
    }
  };
  const bool ok =
      Reported(window, FileCaption(state.CaptureFileName) + " (cancelled, shown in part)", pass);
  // The display is whole again: Label2 no longer says it is not.
  if (ok && was_in_part) window.SetLabel2Caption(FileCaption(state.CaptureFileName));
  return ok;
}

bool OpenCapture(DecoderState& state, Window& window, const std::string& path) {
  state.CaptureFileName = path;
  state.CaptureCopy.clear();
  if (state.CaptureFileName.empty()) return false;
  window.SetLabel2Caption(FileCaption(state.CaptureFileName));
  return ShowCapture(state, window);
}

void CloseCapture(DecoderState& state, Window& window) {
  state.FrameCount = 0;
  state.ByteCount = 0;
  state.StampText.clear();
  state.StampMillis = 0;
  ForgetCapture(state, window);
}

void DropFiles(DecoderState& state, Window& window, const std::vector<std::string>& paths,
               const std::function<void()>& process_events) {
  if (paths.empty()) return;
  state.CaptureFileName = paths.front();
  state.CaptureCopy.clear();
  window.SetLabel2Caption(FileCaption(state.CaptureFileName));
  if (process_events) process_events();
  ShowCapture(state, window);
}

bool Check1Clicked(DecoderState& state, Window& window) {
  if (state.CaptureFileName.empty()) return false;
  if (IndexedDisplay* indexed = Indexed(window)) {
    ReportedShowThroughView(state, window, *indexed, /*anew=*/false);
  } else {
    ShowCapture(state, window);
  }
  return true;
}

void CaptureReadOn(DecoderState& state, Window& window, const IndexResult& result) {
  IndexedDisplay* indexed = Indexed(window);
  if (indexed == nullptr || state.CaptureFileName.empty()) return;
  Reported(window, {}, [&] {
    switch (result.status) {
      case IndexStatus::kAtEnd:
      case IndexStatus::kCancelled:
        TakeShownFrames(state, window, indexed->View(), result.status);
        break;
      case IndexStatus::kUnreadable:
        ForgetUnreadable(state, window, result.message);
        break;
      case IndexStatus::kStopped:
        TakeShownFrames(state, window, indexed->View(), result.status);
        CopyStopped(state, window, result);
        break;
      default:
        TakeShownFrames(state, window, indexed->View(), result.status);
        window.ReportError(result.message);
        break;
    }
  });
}

std::string DeriveOutputName(std::string_view capture_file_name, std::string_view extension) {
  return NameOutputFile(capture_file_name, extension, OutputNaming{});
}

namespace {

// Calls field(name) for each {name} of pattern and text(piece) for the text between them; false
// at the first "{" without its "}".
template <typename Text, typename Field>
bool ScanPattern(std::string_view pattern, Text&& text, Field&& field) {
  while (!pattern.empty()) {
    const std::size_t open = pattern.find('{');
    text(pattern.substr(0, open));
    if (open == std::string_view::npos) break;
    const std::size_t close = pattern.find('}', open);
    if (close == std::string_view::npos) return false;
    field(pattern.substr(open + 1, close - open - 1));
    pattern.remove_prefix(close + 1);
  }
  return true;
}

}  // namespace

std::string NamePatternProblem(std::string_view pattern) {
  if (pattern.empty()) return "the name pattern is empty";
  if (pattern.find('/') != std::string_view::npos) {
    return "the name pattern holds a \"/\"; --output-dir chooses the folder";
  }
  std::string unknown;
  const bool closed = ScanPattern(
      pattern, [](std::string_view) {},
      [&](std::string_view field) {
        if (unknown.empty() && field != "stem" && field != "name" && field != "ext") {
          unknown.append("{").append(field).append("}");
        }
      });
  if (!closed) return "the name pattern has a \"{\" without its \"}\"";
  if (!unknown.empty()) {
    return "the name pattern holds " + unknown + "; it may hold " + std::string(kNameFields);
  }
  return {};
}

std::string NameOutputFile(std::string_view capture_file_name, std::string_view extension,
                           const OutputNaming& naming) {
  const std::size_t slash = capture_file_name.rfind('/');
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view name = capture_file_name.substr(name_start);
  const std::string_view stem = name.substr(0, name.find('.'));
  std::string result;
  if (naming.folder.empty()) {
    result.assign(capture_file_name.substr(0, name_start));
  } else {
    result.assign(naming.folder);
    if (result.back() != '/') result.push_back('/');
  }
  ScanPattern(
      naming.pattern, [&](std::string_view text) { result.append(text); },
      [&](std::string_view field) {
        if (field == "stem") result.append(stem);
        if (field == "name") result.append(name);
        if (field == "ext") result.append(extension);
      });
  return result;
}

std::array<std::string, 2> ColumnHeader() {
  std::array<std::string, 2> lines;
  for (int n = 0; n < 100; ++n) {
    lines[0].push_back(static_cast<char>('0' + n / 10));
    lines[0].push_back(static_cast<char>('0' + n % 10));
    lines[0].push_back(' ');
  }
  lines[1].assign(300, '-');
  return lines;
}

bool RunWriteCommand(DecoderState& state, Window& window, std::int16_t mode,
                     std::string_view extension, bool with_header,
                     const std::optional<std::string>& output_path) {
  if (state.CaptureFileName.empty()) return false;
  state.OutputMode = mode;
  if (!NameOutput(state, window, extension, output_path)) return false;
  return WriteOutput(state, window, /*text=*/true, [&](CommandOutput& output) {
    ReadCapture(state, window, [&] {
      LineSink& out = output.Open();
      if (with_header) {
        for (const std::string& line : ColumnHeader()) out.WriteLine(line);
      }
      state.OutputFile = &out;
    });
  });
}

bool RunWriteCommand(DecoderState& state, Window& window, const WriteCommand& command,
                     const std::optional<std::string>& output_path) {
  return RunWriteCommand(state, window, command.mode, command.extension, command.with_header,
                         output_path);
}

bool RunObservedPass(DecoderState& state, Window& window, CaptureObserver& observer) {
  return Reported(window, "The pass was cancelled.", [&] {
    ObserverAttached attached(state, observer);
    ReadCapture(state, window);
  });
}

bool RunFrameWriterCommand(DecoderState& state, Window& window, std::string_view extension,
                           const FrameWriterFactory& make_writer,
                           const std::optional<std::string>& output_path) {
  if (state.CaptureFileName.empty()) return false;
  state.OutputMode = kNoWindowOutput;
  if (!NameOutput(state, window, extension, output_path)) return false;
  return WriteOutput(state, window, /*text=*/false, [&](CommandOutput& output) {
    std::unique_ptr<FrameWriter> writer;
    {
      std::optional<ObserverAttached> attached;
      ReadCapture(state, window, [&] {
        writer = make_writer(output.Open());
        attached.emplace(state, *writer);
      });
    }
    writer->Finish(state);
  });
}

bool WriteLogfile(DecoderState& state, Window& window,
                  const std::optional<std::string>& output_path) {
  if (state.CaptureFileName.empty()) return false;
  if (!NameOutput(state, window, kLogfileExtension, output_path)) return false;
  IndexedDisplay* indexed = Indexed(window);
  return WriteOutput(state, window, /*text=*/true, [&](CommandOutput& output) {
    LineSink& out = output.Open();
    if (indexed == nullptr) {
      out.WriteLine(window.DisplayText());
      return;
    }
    // The text is made as it is written, a piece at a time: it may be many times the capture.
    BusyPointer busy(window);
    const DisplaySource& text = indexed->DisplayShown();
    const std::int64_t size = text.Size();
    std::string piece;
    for (std::int64_t at = 0; at < size; at += kLogfilePiece) {
      piece.clear();
      text.AppendText(at, at + kLogfilePiece, kLogfilePiece, piece);
      out.Write(piece);
      if (!window.ShowProgress(std::min(at + kLogfilePiece, size), size)) throw PassCancelled();
    }
    out.Write("\r\n");
  });
}

bool WriteScreenPass(DecoderState& state, Window& window,
                     const std::optional<std::string>& output_path) {
  if (state.CaptureFileName.empty()) return false;
  if (!NameOutput(state, window, kLogfileExtension, output_path)) return false;
  return WriteOutput(state, window, /*text=*/true, [&](CommandOutput& output) {
    StreamedDisplay display(window);
    LineSink* out = nullptr;
    state.OutputMode = kScreen;
    ReadCapture(state, display, [&] {
      out = &output.Open();
      display.SetOutput(*out);
    });
    out->Write("\r\n");
  });
}

}  // namespace packscope
