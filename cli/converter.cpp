#include "cli/converter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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
#include "commands/commands.h"
#include "commands/health_check.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "filter/filter.h"
#include "qt/qt_text.h"

namespace packscope {
namespace {

QString LayoutNames() {
  QStringList names;
  for (const Layout& l : kLayouts) names << FromUtf8(l.name);
  return names.join(QStringLiteral(", "));
}

// The layouts, one line each, for --help.
QString LayoutHelp() {
  QString text = QStringLiteral(
      "\nLayouts (output name: the capture's name cut at its first dot, "
      "then the extension):\n");
  for (const Layout& l : kLayouts) {
    text += QStringLiteral("  %1 %2 %3\n")
                .arg(FromUtf8(l.name), -19)
                .arg(QStringLiteral(".") + FromUtf8(l.extension), -12)
                .arg(FromUtf8(l.help));
  }
  return text;
}

int UsageError(const QString& message) {
  std::fprintf(stderr, "packscope-convert: %s\nTry 'packscope-convert --help'.\n",
               qPrintable(message));
  return 2;
}

void PrintErrors(HeadlessWindow& window) {
  for (const std::string& e : window.Errors())
    std::fprintf(stderr, "packscope-convert: %s\n", e.c_str());
  window.ClearErrors();
}

// One capture through the layout. True when its output was written.
bool Convert(ConverterWindow& window, const std::string& capture, const Layout& layout,
             const std::optional<std::string>& output, TextEncoding encoding,
             CaptureFilter* filter) {
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
int CheckCaptures(ConverterWindow& window, const QStringList& captures) {
  int status = kCheckClean;
  for (const QString& name : captures) {
    const std::string capture = ToUtf8(name);
    window.SetCaptureName(capture);
    DecoderState state;
    int result = kCheckClean;
    try {
      OutputFile report("-");
      result = CheckCapture(state, window, capture, report);
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

}  // namespace

int RunConverter(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Converts KISS captures to text files, as the Write menu of packscope does, and to\n"
      "pcap (Wireshark), JSON Lines and monitor lines. Each output goes next to its capture\n"
      "(pass1.kss -> pass1.hex, pass1.pcap, pass1.jsonl, pass1.monitor.txt) unless -o is given.\n"
      "With --check it reports what is wrong with each capture instead.\n"
      "Exit status: 0 done (--check: every capture clean), 1 a capture could not be converted\n"
      "or read, 2 usage error, 3 --check found something."));
  const QCommandLineOption layout_option(QStringList{QStringLiteral("l"), QStringLiteral("layout")},
                                         QStringLiteral("Output layout: %1.").arg(LayoutNames()),
                                         QStringLiteral("LAYOUT"));
  const QCommandLineOption check_option(
      QStringLiteral("check"),
      QStringLiteral("Report what is wrong with each capture, with byte offsets, on standard "
                     "output: skipped bytes, recovered and cut-off frames, bad escapes, empty, "
                     "short and non-data frames, broken address fields and callsigns, timestamps "
                     "going backwards or before 2000. Takes no --layout."));
  const QCommandLineOption decode_kiss_option(
      QStringLiteral("decode-kiss"),
      QStringLiteral("Show the un-escaped frame in the screen layout (Decode Kissframe)."));
  const QCommandLineOption no_ax25_option(
      QStringLiteral("no-ax25"),
      QStringLiteral("Do not decode AX.25 (the payload layouts then repeat the last payload; "
                     "pcap, jsonl, monitor and --check decode all the same)."));
  const QCommandLineOption stamp_log_option(
      QStringLiteral("stamp-log"),
      QStringLiteral("Write the log of binary timestamps to PATH after the run."),
      QStringLiteral("PATH"));
  const QCommandLineOption output_option(
      QStringList{QStringLiteral("o"), QStringLiteral("output")},
      QStringLiteral("Write the output to PATH (one capture only; - for standard output)."),
      QStringLiteral("PATH"));
  parser.addOption(layout_option);
  parser.addOption(check_option);
  parser.addOption(decode_kiss_option);
  parser.addOption(no_ax25_option);
  parser.addOption(stamp_log_option);
  const QCommandLineOption encoding_option(
      QStringLiteral("encoding"),
      QStringLiteral("How the screen and the five window layouts and the stamp log write "
                     "characters 128..255: windows-1252 (the default, the window's bytes) or "
                     "utf-8 (each byte as the window shows it; 81, 8D, 8F, 90, 9D as the C1 "
                     "control characters U+0081 ...)."),
      QStringLiteral("ENCODING"));
  parser.addOption(output_option);
  parser.addOption(encoding_option);
  const QCommandLineOption filter_option(
      QStringLiteral("filter"),
      QStringLiteral("Write only the frames that match EXPR (see Filter below), in any layout."),
      QStringLiteral("EXPR"));
  parser.addOption(filter_option);
  const QCommandLineOption help_option = parser.addHelpOption();
  const QCommandLineOption version_option = parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("CAPTURE"), QStringLiteral("KISS capture files."),
                               QStringLiteral("CAPTURE..."));

  if (!parser.parse(arguments)) return UsageError(parser.errorText());
  if (parser.isSet(help_option)) {
    std::fputs(qPrintable(parser.helpText() + LayoutHelp() + FromUtf8(FilterHelpText())), stdout);
    return 0;
  }
  if (parser.isSet(version_option)) {
    std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                qPrintable(QCoreApplication::applicationVersion()));
    return 0;
  }
  const bool check = parser.isSet(check_option);
  if (check && parser.isSet(layout_option)) {
    return UsageError(QStringLiteral("--check takes no --layout."));
  }
  if (check && parser.isSet(output_option)) {
    return UsageError(QStringLiteral("--check writes its report to standard output; no -o."));
  }
  if (!check && !parser.isSet(layout_option)) {
    return UsageError(QStringLiteral("--layout (or --check) is required."));
  }
  const Layout* layout = nullptr;
  if (!check) {
    layout = FindLayout(ToUtf8(parser.value(layout_option)));
    if (layout == nullptr) {
      return UsageError(QStringLiteral("unknown layout '%1'; one of %2.")
                            .arg(parser.value(layout_option), LayoutNames()));
    }
  }
  TextEncoding encoding = TextEncoding::kWindows1252;
  if (parser.isSet(encoding_option)) {
    const QString name = parser.value(encoding_option).toLower();
    if (name == QStringLiteral("utf-8") || name == QStringLiteral("utf8")) {
      encoding = TextEncoding::kUtf8;
    } else if (name != QStringLiteral("windows-1252") && name != QStringLiteral("cp1252")) {
      return UsageError(QStringLiteral("unknown encoding '%1'; windows-1252 or utf-8.")
                            .arg(parser.value(encoding_option)));
    }
  }
  std::optional<Filter> filter;
  if (parser.isSet(filter_option)) {
    if (check) return UsageError(QStringLiteral("--check reads every frame; no --filter."));
    FilterError error;
    filter = Filter::Parse(ToUtf8(parser.value(filter_option)), &error);
    if (!filter) return UsageError(FromUtf8(error.Text()));
  }
  std::optional<CaptureFilter> frame_filter;
  if (filter) frame_filter.emplace(*filter);
  const QStringList captures = parser.positionalArguments();
  if (captures.isEmpty()) return UsageError(QStringLiteral("no capture given."));
  std::optional<std::string> output;
  if (parser.isSet(output_option)) {
    if (captures.size() > 1) return UsageError(QStringLiteral("-o takes one capture only."));
    output = ToUtf8(parser.value(output_option));
  }

  ConverterWindow window;
  window.SetCheck1(parser.isSet(decode_kiss_option));
  // The converter's own layouts and the report read AX.25 themselves (DescribeAx25); the
  // window's decoder would only fill the callsign boxes nobody sees.
  window.SetCheck2(!parser.isSet(no_ax25_option) && !check &&
                   layout->kind != LayoutKind::kFrameWriter);
  int status = 0;
  // The log of binary timestamps, written as the passes meet them and put in place after the run.
  std::optional<OutputFile> stamp_log;
  std::optional<Utf8Sink> stamp_log_utf8;
  if (parser.isSet(stamp_log_option)) {
    try {
      stamp_log.emplace(ToUtf8(parser.value(stamp_log_option)));
      if (encoding == TextEncoding::kUtf8) {
        window.SetStampLog(&stamp_log_utf8.emplace(*stamp_log));
      } else {
        window.SetStampLog(&*stamp_log);
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "packscope-convert: %s\n", e.what());
      status = 1;
    }
  }
  if (check) {
    status = WorseCheckStatus(status, CheckCaptures(window, captures));
  } else {
    for (const QString& capture : captures) {
      if (!Convert(window, ToUtf8(capture), *layout, output, encoding,
                   frame_filter ? &*frame_filter : nullptr)) {
        status = 1;
      }
    }
  }
  if (stamp_log) {
    window.SetStampLog(nullptr);
    try {
      if (!window.StampLogError().empty()) throw CommandError(window.StampLogError());
      stamp_log->Commit();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "packscope-convert: %s\n", e.what());
      status = 1;
    }
  }
  return status;
}

}  // namespace packscope
