// packscope-convert --check: a health report of a capture. One pass over it (RunObservedPass)
// reads every frame as KISS, AX.25 and APRS and writes one line per finding, with its kind
// (capture/frame_findings.h: damage to the recording, or a sender's departure), then a summary
// line with the count of each kind:
//
//   pass1.kss: offset 0: damage: skipped: 3 bytes before the first FEND
//   pass1.kss: offset 57: damage: recovered: frame 4 recovered behind a shared FEND or garbage
//   pass1.kss: offset 912: sender: aprs: frame 17: latitude "9103.50N" is over 90 degrees
//   pass1.kss: 20 frames, damage 2 (skipped 1, recovered 1), sender 1 (aprs 1)
//   clean.kss: 40 frames, no findings
//
// The offset is that of the frame's opening FEND (for a recovered frame, the FEND that closed the
// frame before it), of the FESC of a bad escape, 0 for skipped bytes, and for a reader's damage
// where the lost piece stands in the decoded stream (behind the frames before it). Findings, by
// tag:
//   skipped           bytes before the first FEND
//   recovered         a frame read behind a shared FEND or garbage
//   bad-escape        FESC followed by neither TFEND nor TFESC, or standing last
//   cut-off           a last frame ended by the end of the file
//   frame-type        a type byte that is no data frame, KISS command or the timestamp 0x09
//   time-backwards    a timestamp earlier than the one before it in the capture
//   time-before-2000  a timestamp before 2000-01-01
//   pcap-record       a pcap or pcapng packet cut off, captured in part or too long, or a record
//                     libpcap cannot read, with its number (damage):
//                     pass.pcap: offset 512: damage: pcap-record: packet 7 cannot be read (...)
//   tnc2-line         a line of a TNC2 file that is no frame, with its number (damage)
//   compressed        compressed data that ends early or is damaged (damage)
//   too-short         a data frame under 15 bytes after the type byte, or ending inside its
//                     digipeater chain or before its control byte
//   address-end       no address end mark within the 10 address blocks AX.25 allows
//   callsign          an address with characters outside A-Z, 0-9 and blank
//   aprs              an APRS field that is invalid, with what is wrong
// Timestamps are those whose time is known (StampClock).
#ifndef PACKSCOPE_COMMANDS_HEALTH_CHECK_H_
#define PACKSCOPE_COMMANDS_HEALTH_CHECK_H_

#include <string>

#include "capture/decoder_state.h"
#include "capture/line_sink.h"
#include "capture/window.h"

namespace packscope {

// Exit statuses of --check; with several captures the converter returns the worst, in the order
// clean, findings, unreadable. Findings means damage, or with strict any finding.
inline constexpr int kCheckClean = 0;
inline constexpr int kCheckFindings = 3;
inline constexpr int kCheckUnreadable = 1;

// Checks one capture (state.CaptureFileName becomes capture) and writes its report to report.
// Gives kCheckFindings when the capture is damaged, or with strict when it has any finding.
// A capture that cannot be read to its end is reported through window.ReportError and gives
// kCheckUnreadable without a summary line; the findings up to that point are written. So does a
// failure to write the report during the pass; writing the summary line throws CommandError.
int CheckCapture(DecoderState& state, Window& window, const std::string& capture, LineSink& report,
                 bool strict = false);

// The worse of two statuses.
int WorseCheckStatus(int a, int b);

}  // namespace packscope

#endif  // PACKSCOPE_COMMANDS_HEALTH_CHECK_H_
