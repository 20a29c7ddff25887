// The recording loop: reads a TNC's KISS stream from a ByteSource, cuts it into frames and
// appends each whole frame to the capture (or another RecordSink: the pcap stream of the
// Wireshark extcap), behind a stamp frame of its time of reception.
//
//   connect ──> read ──> frames ──> one write() per read ──> fdatasync at least every second
//      ^                                  |
//      └── wait 0.5 s, 1 s, 2 s ... up to retry ── connection lost (the frame in progress is
//                                                   dropped: it was cut short)
//
// It ends on the stop flag (SIGINT, SIGTERM, SIGHUP, the window's Stop), after count frames, after
// duration seconds, when the source fails and retry is 0, or when a write fails.
#ifndef PACKSCOPE_LIVE_RECORDER_H_
#define PACKSCOPE_LIVE_RECORDER_H_

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "live/byte_source.h"
#include "live/capture_appender.h"
#include "live/record_sink.h"

namespace packscope {

struct RecordOptions {
  std::int64_t count = -1;  // stop after this many frames (stamp frames not counted); -1: never
  double duration = -1;     // stop after this many seconds; < 0: never
  bool stamps = true;       // a binary stamp frame before every frame
  double retry = 30;        // longest wait between attempts to connect, seconds; 0: give up
};

// What a recording tells as it goes: the program prints it, the window shows it. Called on the
// recording's thread.
class RecordListener {
 public:
  virtual ~RecordListener() = default;
  // Connected, connection lost, trying again, a frame too long dropped (with its size): one
  // line of text for the user.
  virtual void OnStatus(std::string_view message) { (void)message; }
  // Each frame (un-escaped, type byte first) before its batch is written; received_millis is
  // its time of reception (ms since 1970). When the write fails, OnWritten does not follow.
  virtual void OnFrame(std::span<const std::uint8_t> kiss_frame, std::int64_t received_millis) {
    (void)kiss_frame;
    (void)received_millis;
  }
  // The frames handed on since the last call are in the capture.
  virtual void OnWritten() {}
};

enum class RecordEnd {
  kStopped,       // the stop flag
  kCount,         // count frames recorded
  kDuration,      // duration seconds passed
  kSourceFailed,  // the source could not be opened or was lost, and retry is 0
  kWriteFailed,   // the capture could not be written (error says why)
};

struct RecordResult {
  RecordEnd end = RecordEnd::kStopped;
  std::int64_t frames = 0;
  std::string error;
};

RecordResult Record(ByteSource& source, RecordSink& capture, const RecordOptions& options,
                    RecordListener& listener, const std::atomic<bool>& stop);

// Makes SIGINT, SIGTERM and SIGHUP set the returned flag (and interrupt a waiting poll) instead
// of ending the program.
const std::atomic<bool>& StopOnSignals();

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_RECORDER_H_
