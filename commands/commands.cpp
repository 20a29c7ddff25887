#include "commands/commands.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

#include "capture/errors.h"
#include "capture/frame_loop.h"
#include "capture/output_file.h"

namespace packscope {
namespace {

// Runs body; anything it throws becomes one message to the user. False when it failed.
template <typename Body>
bool Reported(Window& window, const std::string& suffix, Body&& body) {
  try {
    body();
    return true;
  } catch (const CommandError& e) {
    window.ReportError(e.what() + suffix);
  } catch (const std::bad_alloc&) {
    window.ReportError("Not enough memory to finish the command." + suffix);
  } catch (const std::exception& e) {
    window.ReportError(std::string("The command failed: ") + e.what() + suffix);
  }
  return false;
}

// Names the command's output (output_path, or the name derived from the capture) in
// OutputFileName; false, with a message, when that is the capture itself, which the command reads.
bool NameOutput(DecoderState& state, Window& window, std::string_view extension,
                const std::optional<std::string>& output_path) {
  state.OutputFileName =
      output_path ? *output_path : DeriveOutputName(state.CaptureFileName, extension);
  if (state.OutputFileName == "-" || !SameFile(state.CaptureFileName, state.OutputFileName)) {
    return true;
  }
  window.ReportError(Quoted(state.OutputFileName) +
                     " was not written: it is the capture itself, which the command reads.");
  return false;
}

std::string NotWritten(const std::string& path) {
  return path == "-" ? std::string() : " Nothing was written to " + Quoted(path) + ".";
}

// Writes the output through fill and puts it in place; the pass's or the file's failure leaves
// an earlier file of that name as it was. Text layouts (text) follow OutputEncoding.
template <typename Fill>
bool WriteOutput(DecoderState& state, Window& window, bool text, Fill&& fill) {
  const std::string& path = state.OutputFileName;
  const bool ok = Reported(window, "", [&] {
    OutputFile file(path);
    Utf8Sink utf8(file);
    LineSink& out = text && state.OutputEncoding == TextEncoding::kUtf8
                        ? static_cast<LineSink&>(utf8)
                        : static_cast<LineSink&>(file);
    struct Detach {
      DecoderState& s;
      ~Detach() { s.OutputFile = nullptr; }
    } detach{state};
    try {
      fill(out);
      file.Commit();
    } catch (const CommandError& e) {
      throw CommandError(e.what() + NotWritten(path));
    }
  });
  if (ok) window.SetLabel2Caption((path == "-" ? "standard output" : path) + " has been written");
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
  StreamedDisplay(Window& window, LineSink& out) : window_(window), out_(out) {}

  void SetBusy(bool busy) override { window_.SetBusy(busy); }
  std::string DisplayText() const override { throw NotAppended(); }
  void SetDisplayText(std::string_view text) override {
    if (size_ != 0) throw NotAppended();
    out_.Write(text);
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
    out_.Write(text);
    size_ += static_cast<std::int64_t>(text.size());
    sel_start_ = size_;
  }
  void SetSelColor(Color color) override { (void)color; }
  void SetLabel1Caption(std::string_view caption) override { window_.SetLabel1Caption(caption); }
  void SetLabel2Caption(std::string_view caption) override { window_.SetLabel2Caption(caption); }
  void SetText2(std::string_view text) override { window_.SetText2(text); }
  void SetText3(std::string_view text) override { window_.SetText3(text); }
  void AppendText4(std::string_view text) override { window_.AppendText4(text); }
  bool Check1() const override { return window_.Check1(); }
  bool Check2() const override { return window_.Check2(); }
  std::string ShortDateText(int year, int month, int day) const override {
    return window_.ShortDateText(year, month, day);
  }
  std::string LongTimeText(int hour, int minute, int second) const override {
    return window_.LongTimeText(hour, minute, second);
  }
  void ReportError(std::string_view message) override { window_.ReportError(message); }
  void ShowProgress(std::int64_t done, std::int64_t total) override {
    window_.ShowProgress(done, total);
  }

 private:
  static CommandError NotAppended() {
    return CommandError("The screen text can only be written as it is appended.");
  }

  Window& window_;
  LineSink& out_;
  std::int64_t size_ = 0;  // characters written
  std::int64_t sel_start_ = 0;
  std::int64_t sel_length_ = 0;
};

}  // namespace

bool ShowCapture(DecoderState& state, Window& window) {
  state.OutputMode = kScreen;
  return Reported(window, "", [&] { ReadCapture(state, window); });
}

bool OpenCapture(DecoderState& state, Window& window, const std::string& path) {
  state.CaptureFileName = path;
  if (state.CaptureFileName.empty()) return false;
  window.SetLabel2Caption("File: " + state.CaptureFileName);
  return ShowCapture(state, window);
}

void DropFiles(DecoderState& state, Window& window, const std::vector<std::string>& paths,
               const std::function<void()>& process_events) {
  if (paths.empty()) return;
  state.CaptureFileName = paths.front();
  window.SetLabel2Caption("File: " + state.CaptureFileName);
  if (process_events) process_events();
  ShowCapture(state, window);
}

void Check1Clicked(DecoderState& state, Window& window) {
  if (state.CaptureFileName.empty()) return;
  ShowCapture(state, window);
}

std::string DeriveOutputName(std::string_view capture_file_name, std::string_view extension) {
  const std::size_t slash = capture_file_name.rfind('/');
  const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = capture_file_name.find('.', name_start);
  std::string result;
  if (dot == std::string_view::npos) {
    result.assign(capture_file_name);
    result.push_back('.');
  } else {
    result.assign(capture_file_name.substr(0, dot + 1));
  }
  result.append(extension);
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
  return WriteOutput(state, window, /*text=*/true, [&](LineSink& out) {
    if (with_header) {
      for (const std::string& line : ColumnHeader()) out.WriteLine(line);
    }
    state.OutputFile = &out;
    ReadCapture(state, window);
  });
}

bool RunWriteCommand(DecoderState& state, Window& window, const WriteCommand& command,
                     const std::optional<std::string>& output_path) {
  return RunWriteCommand(state, window, command.mode, command.extension, command.with_header,
                         output_path);
}

bool RunObservedPass(DecoderState& state, Window& window, CaptureObserver& observer) {
  return Reported(window, "", [&] {
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
  return WriteOutput(state, window, /*text=*/false, [&](LineSink& out) {
    const std::unique_ptr<FrameWriter> writer = make_writer(out);
    {
      ObserverAttached attached(state, *writer);
      ReadCapture(state, window);
    }
    writer->Finish(state);
  });
}

bool WriteLogfile(DecoderState& state, Window& window,
                  const std::optional<std::string>& output_path) {
  if (state.CaptureFileName.empty()) return false;
  if (!NameOutput(state, window, kLogfileExtension, output_path)) return false;
  return WriteOutput(state, window, /*text=*/true,
                     [&](LineSink& out) { out.WriteLine(window.DisplayText()); });
}

bool WriteScreenPass(DecoderState& state, Window& window,
                     const std::optional<std::string>& output_path) {
  if (state.CaptureFileName.empty()) return false;
  if (!NameOutput(state, window, kLogfileExtension, output_path)) return false;
  return WriteOutput(state, window, /*text=*/true, [&](LineSink& out) {
    StreamedDisplay display(window, out);
    state.OutputMode = kScreen;
    ReadCapture(state, display);
    out.Write("\r\n");
  });
}

}  // namespace packscope
