// packscope-record: records a TNC's KISS frames into a capture (live/recorder.h), or, as a
// Wireshark extcap, into the FIFO Wireshark reads as a pcap stream (live/pcap_stream.h).
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ax25/ax25_details.h"
#include "ax25/ax25_link.h"
#include "capture/errors.h"
#include "capture/frame_aprs.h"
#include "capture/frame_findings.h"
#include "cli/live_commands.h"
#include "cli/program_options.h"
#include "commands/frame_text.h"
#include "commands/monitor_layout.h"
#include "live/pcap_stream.h"
#include "live/serial_source.h"
#include "packscope_version.h"

namespace packscope {
namespace {

// Status lines on standard error; with --monitor a frame's entry of the monitor layout (its line,
// and the APRS line of an APRS frame) on standard output, written out once its batch is in the
// capture.
class Printer : public RecordListener {
 public:
  explicit Printer(bool monitor) : monitor_(monitor) {}

  void OnStatus(std::string_view message) override {
    std::fprintf(stderr, "packscope-record: %.*s\n", static_cast<int>(message.size()),
                 message.data());
  }
  void OnFrame(std::span<const std::uint8_t> kiss_frame, std::int64_t received_millis) override {
    if (!monitor_) return;
    // APRS as the monitor layout reads it, telemetry with the definitions received before; the
    // control field as the frame's link counts (modulo 128 after a SABME).
    aprs_.NextFrame();
    const LinkFacts& link = links_.Next(kiss_frame, ++frames_, received_millis);
    const bool data = IsDataFrame(kiss_frame);
    if (data) DescribeAx25(kiss_frame, details_, link.modulo);
    AppendMonitorEntry(lines_, kiss_frame, IsoStampText(received_millis), details_,
                       data ? aprs_.Read(details_) : nullptr);
  }
  void OnWritten() override {
    if (lines_.empty()) return;
    std::fwrite(lines_.data(), 1, lines_.size(), stdout);
    std::fflush(stdout);
    lines_.clear();
  }

 private:
  bool monitor_;
  std::string lines_;
  Ax25Details details_;  // read only for data frames
  FrameAprs aprs_;
  LinkTracker links_;
  std::int64_t frames_ = 0;
};

// packscope-record as a Wireshark extcap (Wireshark's extcap(4)): the answers to its steps on
// standard output, one sentence a line.
void PrintInterfaces() {
  std::printf("extcap {version=%s}\n", PACKSCOPE_VERSION);
  std::printf("interface {value=%s}{display=KISS TNC over TCP (Packscope)}\n", kExtcapTcp.data());
  std::printf("interface {value=%s}{display=KISS TNC on a serial line (Packscope)}\n",
              kExtcapSerial.data());
}

void PrintDlts() {
  std::printf("dlt {number=202}{name=AX25_KISS}{display=AX.25 with a KISS type byte}\n");
}

void PrintConfig(std::string_view interface) {
  int n = 0;
  if (interface == kExtcapTcp) {
    std::printf(
        "arg {number=%d}{call=--source}{display=TNC}{type=string}{default=127.0.0.1:8001}"
        "{required=true}{tooltip=HOST:PORT of the TNC's or soundmodem's KISS port}\n",
        n++);
  } else {
    std::printf(
        "arg {number=%d}{call=--source}{display=Serial device}{type=string}"
        "{default=/dev/ttyUSB0}{required=true}{tooltip=The serial device of the KISS TNC}\n",
        n++);
    const int baud = n++;
    std::printf(
        "arg {number=%d}{call=--baud}{display=Speed}{type=selector}"
        "{tooltip=Bits per second of the serial line}\n",
        baud);
    for (const int speed : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
      std::printf("value {arg=%d}{value=%d}{display=%d bit/s}%s\n", baud, speed, speed,
                  speed == 9600 ? "{default=true}" : "");
    }
  }
  std::printf(
      "arg {number=%d}{call=--retry}{display=Reconnect within (seconds)}{type=unsigned}"
      "{default=30}{range=0,86400}{tooltip=The longest wait between attempts to connect again; 0 "
      "gives up at the first failure}\n",
      n);
}

int RunExtcap(int argc, char** argv, const RecordCommand& c) {
  switch (c.extcap) {
    case ExtcapStep::kInterfaces:
      PrintInterfaces();
      return 0;
    case ExtcapStep::kDlts:
      PrintDlts();
      return 0;
    case ExtcapStep::kConfig:
      PrintConfig(c.extcap_interface);
      return 0;
    case ExtcapStep::kFilter:  // every capture filter is taken (and not applied)
    case ExtcapStep::kNone:
      return 0;
    case ExtcapStep::kCapture:
      break;
  }
  std::optional<QCoreApplication> app;  // Qt Serial Port needs one
  std::unique_ptr<ByteSource> source;
  if (IsSerialDevice(c.source)) {
    app.emplace(argc, argv);
    source = MakeSerialSource(c.source, c.baud);
  } else {
    source = std::make_unique<TcpSource>(c.address);
  }
  Printer printer(/*monitor=*/false);
  try {
    const std::atomic<bool>& stop = StopOnSignals();
    PcapStream stream(c.fifo, stop);
    RecordOptions options = c.options;
    options.stamps = true;  // the records' times
    const RecordResult result = Record(*source, stream, options, printer, stop);
    if (result.end == RecordEnd::kSourceFailed ||
        (result.end == RecordEnd::kWriteFailed && !stream.ReaderGone())) {
      printer.OnStatus(result.error);
      return 1;
    }
    return 0;
  } catch (const CommandError& e) {
    printer.OnStatus(e.what());
    return 1;
  }
}

int Run(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto parsed = ParseRecordCommand(args);
  if (const auto status =
          AnswerCommandLine(RecordProgram(), parsed.action, parsed.error, PACKSCOPE_VERSION)) {
    return *status;
  }
  const RecordCommand& c = parsed.command;
  if (c.extcap != ExtcapStep::kNone) return RunExtcap(argc, argv, c);
  std::optional<QCoreApplication> app;  // Qt Serial Port needs one
  std::unique_ptr<ByteSource> source;
  if (IsSerialDevice(c.source)) {
    app.emplace(argc, argv);
    source = MakeSerialSource(c.source, c.baud);
  } else {
    source = std::make_unique<TcpSource>(c.address);
  }
  try {
    CaptureAppender capture(c.output);
    Printer printer(c.monitor);
    const std::atomic<bool>& stop = StopOnSignals();
    const RecordResult result = Record(*source, capture, c.options, printer, stop);
    std::string recorded = "No frame recorded";
    if (result.frames > 0) {
      recorded = std::to_string(result.frames) + (result.frames == 1 ? " frame" : " frames") +
                 " recorded into " + Quoted(c.output);
      if (result.end == RecordEnd::kWriteFailed) recorded += ", each one whole";
    }
    if (result.end == RecordEnd::kSourceFailed || result.end == RecordEnd::kWriteFailed) {
      printer.OnStatus(result.error);
      printer.OnStatus(recorded);
      return 1;
    }
    printer.OnStatus(recorded);
    return 0;
  } catch (const CommandError& e) {
    std::fprintf(stderr, "packscope-record: %s\n", e.what());
    return 1;
  }
}

}  // namespace
}  // namespace packscope

int main(int argc, char** argv) {
  // A full disk or the file size limit is a write error to report, not a reason to die.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  return packscope::Run(argc, argv);
}
