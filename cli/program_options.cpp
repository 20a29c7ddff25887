#include "cli/program_options.h"

#include <algorithm>
#include <string>

#include "commands/layouts.h"
#include "filter/filter.h"

namespace packscope {
namespace {

// "a, b, c"
std::string CommaList(const std::vector<std::string_view>& names) {
  std::string out;
  for (const std::string_view name : names) out += (out.empty() ? "" : ", ") + std::string(name);
  return out;
}

// "a, b and c"
std::string NameList(const std::vector<std::string_view>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
    out += names[i];
  }
  return out;
}

std::string RoffName(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c == '-') out += '\\';
    out += c;
  }
  return out;
}

// ".BR a ,\n.BR b ,\n.B c\nand\n" then the last name: ".B d\n", or with a mark after it
// ".BR d ;\n".
std::string RoffNameList(const std::vector<std::string_view>& names, std::string_view mark) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string name = RoffName(names[i]);
    if (i + 2 < names.size()) {
      out += ".BR " + name + " ,\n";
    } else if (i + 2 == names.size()) {
      out += ".B " + name + "\nand\n";
    } else if (mark.empty()) {
      out += ".B " + name + "\n";
    } else {
      out += ".BR " + name + " " + std::string(mark) + "\n";
    }
  }
  return out;
}

std::vector<std::string_view> LayoutNames() {
  std::vector<std::string_view> names;
  for (const Layout& l : kLayouts) names.push_back(l.name);
  return names;
}

// The layouts that read AX.25 from the frame's own bytes, whatever --no-ax25 says.
std::vector<std::string_view> SelfDecodingLayoutNames() {
  std::vector<std::string_view> names;
  for (const Layout& l : kLayouts) {
    if (l.kind == LayoutKind::kFrameWriter) names.push_back(l.name);
  }
  return names;
}

// The layouts, one line each, under the options.
std::string LayoutHelp() {
  std::string text =
      "\nLayouts (output name: the capture's name cut at its first dot, then the extension):\n";
  for (const Layout& l : kLayouts) {
    // (Appended piece by piece: GCC 12 warns falsely of "." + text at -O3, -Wrestrict.)
    std::string line = "  ";
    line.append(l.name);
    line.resize(std::max<std::size_t>(line.size() + 1, 22), ' ');
    line.push_back('.');
    line.append(l.extension);
    line.resize(std::max<std::size_t>(line.size() + 1, 35), ' ');
    line.append(l.help);
    line.push_back('\n');
    text += line;
  }
  return text;
}

// The --help section on merging.
constexpr std::string_view kMergeHelp = R"(
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

CommandProgram MakeConvertProgram() {
  CommandProgram p;
  p.name = "packscope-convert";
  p.usage = "[options] CAPTURE...";
  p.description =
      "Converts KISS captures into any of the layouts below: the text files of the Write menu of "
      "packscope, and the converter's own. Each output goes next to its capture, named after it, "
      "unless -o, --output-dir or --name says otherwise. With --check it reports what is wrong "
      "with each capture instead.\n"
      "\n"
      "A capture is read by what it holds, whatever its name: KISS; gzip, xz, zstd or bzip2 "
      "compressed; pcap or pcapng of link type 202 or 3 (Wireshark, tcpdump); or TNC2 lines "
      "(SRC>DST,PATH:info, behind a time or not). - reads standard input (with -o).";
  std::vector<std::string_view> self_decoding = SelfDecodingLayoutNames();
  self_decoding.push_back("--check");
  p.options = {
      {'l', "--layout", "LAYOUT", "Output layout: " + CommaList(LayoutNames()) + ".",
       "The output layout, one of\n" + RoffNameList(LayoutNames(), ";") +
           R"roff(see
.BR LAYOUTS .
Either
.B \-\-layout
or
.B \-\-check
is required.)roff"},
      {0, "--check", "",
       "Report what is wrong with each capture, with byte offsets, on standard output. It reads "
       "every frame as KISS, AX.25 and APRS and tells two kinds of finding apart: damage to the "
       "recording (skipped bytes, recovered and cut-off frames, bad escapes, type bytes that are "
       "no KISS, timestamps going backwards or before 2000) and the senders' errors (frames "
       "that are not valid AX.25: short frames, broken address fields and callsigns; invalid "
       "APRS fields). Exit status 3 only for damage. Takes no --layout.",
       R"roff(Instead of converting, report what is wrong with each capture on standard output: it reads
every frame as KISS, AX.25 and APRS and tells damage to the recording apart from the senders'
errors; see
.BR "HEALTH CHECK" .
Takes no
.B \-\-layout
and no
.BR \-o .)roff"},
      {0, "--strict", "", "With --check: exit status 3 for the senders' errors too.",
       R"roff(With
.BR \-\-check :
exit with status 3 for the senders' errors too, not only for damage.)roff"},
      {0, "--filter", "EXPR",
       "Write only the frames that match EXPR (see Filter below), in any layout.",
       R"roff(Write only the frames that match the expression
.I EXPR
(see
.BR FILTER ),
in any layout.
A kept frame keeps its own stamp (that of the last timestamp frame before it in the capture,
matched or not); the counts on standard error are those of every frame read.
A wrong expression is a usage error that names the column where it goes wrong.
Not with
.BR \-\-check .)roff"},
      {0, "--decode-kiss", "", "Show the un-escaped frame in the screen layout (Decode Kissframe).",
       R"roff(In the
.B screen
layout, dump the un\-escaped frame (from its type byte on) instead of the frame as stored, as
the window does with \(lqDecode Kissframe\(rq ticked.)roff"},
      {0, "--no-ax25", "",
       "Do not decode AX.25 (the payload layouts then repeat the last payload; " +
           NameList(self_decoding) + " decode all the same).",
       R"roff(Do not decode AX.25, as the window does with \(lqAX.25\(rq not ticked.
The payload layouts then repeat, for every frame, the payload last decoded (none: an empty
payload).
)roff" + RoffNameList(self_decoding, "") +
           "decode AX.25 all the same."},
      {'o', "--output", "PATH",
       "Write the output to PATH (one capture only; - for standard output).",
       R"roff(Write the output to
.I PATH
instead of next to the capture (one capture only).
.I \-
writes it to standard output, for a pipe.)roff"},
      {0, "--output-dir", "DIR",
       "Write the outputs into the folder DIR instead of next to each capture.",
       R"roff(Write the outputs into the folder
.I DIR
instead of next to each capture.)roff"},
      {0, "--name", "PATTERN",
       "Name each output by PATTERN (default {stem}.{ext}): {stem} is the capture's file name "
       "cut at its first dot, {name} its whole file name, {ext} the layout's extension.",
       R"roff(Name each output by
.I PATTERN
instead of
.BR {stem}.{ext} :
.B {stem}
is the capture's file name cut at its first dot,
.B {name}
its whole file name and
.B {ext}
the layout's extension.
.B \-\-name \(aq{name}.{ext}\(aq
gives captures of one stem outputs of their own
.RI ( p.morning.kss.monitor.txt ).
A pattern holds no
.BR / .)roff"},
      {0, "--encoding", "ENCODING",
       "How the screen and the five window layouts and the stamp log write characters "
       "128..255: windows-1252 (the default, the window's bytes) or utf-8 (each byte as the "
       "window shows it; 81, 8D, 8F, 90, 9D as the C1 control characters U+0081 ...).",
       R"roff(How the
.B screen
layout, the five window layouts and the stamp log write characters 128 to 255:
.B windows\-1252
(the default: the window's own bytes) or
.B utf\-8
(each byte as the window shows it, for a UTF\-8 terminal or editor).
Windows\-1252 leaves the bytes 81, 8D, 8F, 90 and 9D without a character; in UTF\-8 they
become the C1 control characters of the same number (U+0081, U+008D, U+008F, U+0090, U+009D),
so every byte stays distinct.)roff"},
      {0, "--stamp-log", "PATH", "Write the log of binary timestamps to PATH after the run.",
       R"roff(Write the log of binary timestamps to
.I PATH
after the run, one line per binary timestamp frame of every capture: the stamp's 16 hex digits,
\(lq \-> \(rq and its time, as the window's timestamp box shows them.
.I \-
writes it to standard output.
Like an output it is written whole or not at all: when a capture of the run could not be
converted (or, with
.BR \-\-check ,
read), an earlier file of that name stays as it was.
It may be neither a capture of the run nor an output (usage error), and
.I \-
goes neither with
.B \-o \-
nor with
.BR \-\-check ,
which write to standard output themselves (usage error; give the stamp log a file).)roff"},
      {0, "--merge", "",
       "Merge the captures, each a receiver of one traffic, into one output: their frames in "
       "time order by their stamps, each packet once (see Merge below).",
       R"roff(Merge the captures, each a receiver of one traffic, into one output; see
.BR MERGE .
Standard input cannot be merged, nor more than 64 captures.
Not with
.BR \-\-check .)roff"},
      {0, "--dupes", "RULE",
       "With --merge, what makes copies one packet: aprs (the default: the same source, "
       "destination without SSID and information field, the path ignored), bytes (the same "
       "AX.25 bytes) or none (every frame kept).",
       R"roff(With
.BR \-\-merge ,
what makes copies one packet:
.B aprs
(the default) is the duplicate rule of APRS\-IS servers and digipeaters: the same source
callsign with its SSID, the same destination callsign without its SSID, the same information
field with trailing blanks, CR and LF trimmed; the digipeater path is ignored, so a packet
heard direct and through a digipeater is one packet.
The control field and the PID count as well, so that the frames of a connected session fold
only with their own copies; frames that are no AX.25 fold by their bytes.
.B bytes
folds frames of the same AX.25 bytes (a satellite's downlink heard by several ground
stations; the KISS port does not count);
.B none
keeps every frame.
A packet keeps the bytes and the stamp of its first reception, the one of the earliest stamp.)roff"},
      {0, "--dupe-window", "SECONDS",
       "With --merge, how long after its first reception a copy is still the same packet "
       "(default 30).",
       R"roff(With
.BR \-\-merge ,
how long after its first reception a copy is still the same packet (default 30, 0 to 86400,
up to three decimals): a beacon repeated every ten minutes is a new packet each time.)roff"},
      {0, "--order", "ORDER",
       "With --merge: time (the default, by the stamps) or files (the captures one after the "
       "other, every frame kept; no stamps needed).",
       R"roff(With
.BR \-\-merge :
.B time
(the default) orders the frames by their stamps; a capture without stamps is refused with a
message that names it.
.B files
joins the captures one after the other as given, every frame kept, each behind its own stamp
as in the capture (with
.B \-\-dupes none
only, its default there); captures without stamps may be joined so.)roff"},
  };
  for (CommandOption& o : HelpAndVersionOptions()) p.options.push_back(std::move(o));
  p.exit_status =
      "Exit status: 0 done (--check: no capture damaged), 1 a capture could not be converted or "
      "read, 2 usage error, 3 --check found damage (with --strict: any finding).";
  p.epilogue = LayoutHelp() + FilterHelpText() + std::string(kMergeHelp);
  return p;
}

CommandProgram MakeRecordProgram() {
  CommandProgram p;
  p.name = "packscope-record";
  p.usage = "[options] -o CAPTURE SOURCE";
  p.description =
      "Records the KISS frames of a TNC or soundmodem into a capture, each one whole and behind a "
      "timestamp frame of its time of reception.\n"
      "\n"
      "SOURCE is HOST:PORT for KISS over TCP (Dire Wolf and most soundmodems listen on port "
      "8001), or a serial device such as /dev/ttyUSB0.\n"
      "\n"
      "It is a Wireshark extcap as well: linked into Wireshark's extcap folder it offers the "
      "interfaces packscope-kiss-tcp and packscope-kiss-serial, and Wireshark runs it with "
      "--capture --extcap-interface IF --fifo PATH --source SOURCE to capture frames live.";
  p.options = {
      {'o', "--output", "CAPTURE",
       "The capture to write (required); an existing one is appended to.",
       "The capture to write (required).\nAn existing capture is appended to."},
      {0, "--baud", "N", "Speed of a serial device in bits per second (default 9600).",
       "The speed of a serial device in bits per second (default 9600)."},
      {0, "--count", "N", "Stop after N frames.",
       "Stop after\n.I N\nframes (timestamp frames not counted)."},
      {0, "--duration", "SECONDS", "Stop after that many seconds (at most 1000000000).",
       "Stop after that many seconds (a decimal number above 0, at most 1000000000)."},
      {0, "--no-stamps", "", "Write no timestamp frames.",
       "Write the frames without timestamp frames, as they came."},
      {0, "--retry", "SECONDS",
       "After a failure connect again, waiting up to SECONDS between attempts, forever (default "
       "30); 0 gives up at the first failure.",
       R"roff(When the source cannot be reached or is lost, try again, waiting up to
.I SECONDS
(at most 1000000000) between attempts, forever (default 30).
.B \-\-retry 0
gives up at the first failure with exit status 1.)roff"},
      {0, "--source", "SOURCE", "SOURCE as an option (Wireshark's extcap dialog gives it so).",
       R"roff(The source, as
.I SOURCE
above; Wireshark's capture options give it so.)roff"},
      {0, "--extcap-interfaces", "", "Wireshark extcap: list the interfaces.",
       R"roff(Wireshark's extcap: list the interfaces on standard output,
.B packscope\-kiss\-tcp
(a KISS port over TCP) and
.B packscope\-kiss\-serial
(a serial KISS TNC).)roff"},
      {0, "--extcap-version", "VERSION", "Wireshark extcap: the version of Wireshark that asks.",
       "Wireshark's extcap: the version of Wireshark that asks for the interfaces (read, not "
       "needed)."},
      {0, "--extcap-interface", "IF", "Wireshark extcap: the interface a step is about.",
       R"roff(Wireshark's extcap: the interface a step is about,
.B packscope\-kiss\-tcp
or
.BR packscope\-kiss\-serial .)roff"},
      {0, "--extcap-dlts", "", "Wireshark extcap: the link type of the interface (202).",
       "Wireshark's extcap: the link type of the interface, 202 (AX.25 with a KISS type byte)."},
      {0, "--extcap-config", "",
       "Wireshark extcap: the interface's options for Wireshark's dialog.",
       R"roff(Wireshark's extcap: the options of the interface for Wireshark's capture dialog: the
.B \-\-source
(HOST:PORT, or a serial device with its
.BR \-\-baud )
and the
.BR \-\-retry .)roff"},
      {0, "--capture", "", "Wireshark extcap: record --source into --fifo as pcap until stopped.",
       R"roff(Wireshark's extcap: record
.B \-\-source
into
.B \-\-fifo
as a pcap stream of link type 202, each frame as its own record as it arrives (the time of
reception its time), until Wireshark stops the capture (SIGTERM, or it closes the FIFO);
connections lost are made again as
.B \-\-retry
says.
No
.BR \-o .)roff"},
      {0, "--fifo", "PATH", "Wireshark extcap: where --capture writes the pcap stream.",
       "Wireshark's extcap: the FIFO (or file) that\n.B \\-\\-capture\nwrites to."},
      {0, "--extcap-capture-filter", "FILTER",
       "Wireshark extcap: a capture filter; every frame is written whatever it says.",
       "Wireshark's extcap: a capture filter; it is accepted and not applied (every frame is "
       "written: filter them with a display filter)."},
      {0, "--monitor", "", "Print a monitor line for each frame on standard output.",
       R"roff(While recording, print each frame on standard output as
.B packscope\-convert \-\-layout monitor
writes it, with the time of reception (UTC) in front: its line (the counters of a connected
session set up with SABME modulo 128), and for an APRS frame a second line with the APRS field in
plain words (for a NET/ROM, IP or ARP frame, what it carries):
.RS
.PP
.nf
2026\-12\-07 16:20:51.965 QQ2XY\-7>APRS,WIDE1\-1: UI pid=F0 ">QRV on 438.925 MHz"
  Status: "QRV on 438.925 MHz"
.fi
.RE)roff"},
  };
  for (CommandOption& o : HelpAndVersionOptions()) p.options.push_back(std::move(o));
  p.exit_status =
      "Exit status: 0 stopped by Ctrl+C, SIGTERM, SIGHUP, --count or --duration; 1 cannot record; "
      "2 usage error.";
  return p;
}

CommandProgram MakeReplayProgram() {
  CommandProgram p;
  p.name = "packscope-replay";
  p.usage = "[options] CAPTURE...";
  p.description =
      "Serves the frames of KISS captures on a KISS-over-TCP port, as a TNC does, to every client "
      "that connects: for feeding recorded traffic to APRS clients and other programs.";
  p.options = {
      {0, "--listen", "HOST:PORT",
       "The address to listen on (default 127.0.0.1:8001). Port 0 takes any free port; the first "
       "line on standard error names it.",
       R"roff(The address to listen on (default
.IR 127.0.0.1:8001 ,
this machine only; an IPv6 address goes in brackets).
Port 0 takes any free port, which the first line on standard error names.)roff"},
      {0, "--speed", "X",
       "1: the timing of the captures' timestamp frames, 10: ten times faster, 0: as fast as the "
       "clients take them (default 1; at most 1000000000).",
       R"roff(The timing of the frames.
With 1 (the default) each frame is sent as long after the first stamped frame of its capture as
the capture's timestamp frames say it was received, 10 sends ten times faster, 0.5 at half
speed, and 0 as fast as the clients take the frames (at most 1000000000).
Frames before a capture's first timestamp frame are sent without waiting; a timestamp that goes
back in time, and the start of each capture, begin the timing anew.
However slow the speed, a frame is never sent before its time: a delay longer than the system's
clock can count (at
.B \-\-speed 1e\-10
a second of the capture lasts 300 years) is waited for until Ctrl+C or SIGTERM.)roff"},
      {0, "--loop", "", "Play the captures again and again.",
       "Play the captures again and again, until Ctrl+C or SIGTERM."},
      {0, "--once", "", "Exit when the first client has been sent every frame.",
       R"roff(Exit when the client whose connection began the play has been sent every frame: the clients
are told the end (their connections are closed) and the server exits.
When that client leaves before, the server exits at once with status 1.)roff"},
  };
  for (CommandOption& o : HelpAndVersionOptions()) p.options.push_back(std::move(o));
  p.exit_status =
      "Exit status: 0 done or stopped by Ctrl+C or SIGTERM; 1 a capture cannot be read, the "
      "address cannot be listened on, or with --once the client left early; 2 usage error.";
  return p;
}

}  // namespace

const CommandProgram& ConvertProgram() {
  static const CommandProgram program = MakeConvertProgram();
  return program;
}

const CommandProgram& RecordProgram() {
  static const CommandProgram program = MakeRecordProgram();
  return program;
}

const CommandProgram& ReplayProgram() {
  static const CommandProgram program = MakeReplayProgram();
  return program;
}

const CommandProgram* FindProgram(std::string_view name) {
  for (const CommandProgram* p : {&ConvertProgram(), &RecordProgram(), &ReplayProgram()}) {
    if (p->name == name) return p;
  }
  return nullptr;
}

}  // namespace packscope
