// CheckCapture: runs one capture through every pass the program can make over it and checks
// what each pass did against a plain byte-by-byte reading of the capture.
//
// The passes, all over the same capture and one DecoderState that lives across calls (as the
// program's does, so FrameBytes keeps what earlier captures left):
//
//   Screen      Check1 off (RawHex, blue)   Check2 on     through ShowCapture
//   Screen      Check1 on  (FrameHex, red)  Check2 off    through ShowCapture
//   layouts 1..5                             Check2 on     ReadCapture into a checking sink
//   layouts 1..5                             Check2 off
//   the converter's pcap, jsonl and monitor layouts and its --check report
//
// What is checked, frame by frame: the frame's place in the capture, RawHex, FrameHex,
// FrameLength and FrameBytes (also the bytes beyond FrameLength that earlier frames left), the
// counts and the Label1 caption, the timestamp step (StampText, StampMillis, the Text4 line),
// the AX.25 decoder's PayloadHex and callsign boxes (or that nothing changed without Check2),
// the line each layout wrote; after the pass the whole display text with its colours (a file
// pass leaves it as it was), the counts, the error of a frame that is too long, and the busy
// pointer. Every pass starts without a stamp and with an empty timestamp log. Of the converter's
// layouts: one line (pcap: one record holding the frame) per frame that is not a timestamp
// frame, each jsonl line a JSON object with the frame's number, offset and bytes, and the frame
// count of the --check summary.
//
// A failed check calls the failure handler: the fuzz target aborts (libFuzzer keeps the input),
// the corpus test records a test failure and goes on.
#ifndef PACKSCOPE_FUZZ_CAPTURE_CHECK_H_
#define PACKSCOPE_FUZZ_CAPTURE_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace packscope::fuzz {

using FailureHandler = void (*)(const std::string& message);
// The default handler prints the message and aborts.
void SetFailureHandler(FailureHandler handler);

// All passes over a capture of these bytes. The capture lives in memory (a memfd named
// through /proc/self/fd), so no file is written per call.
void CheckCapture(const std::uint8_t* data, std::size_t size);

}  // namespace packscope::fuzz

#endif  // PACKSCOPE_FUZZ_CAPTURE_CHECK_H_
