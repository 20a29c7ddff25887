// TncRecording: the main window's recording of a TNC into a capture. The recorder of
// live/recorder.h (the one packscope-record runs) runs on a thread of its own, so that the
// window never waits for the TNC, the network or the disk; what it tells reaches the window's
// thread as signals:
//   StatusChanged  connected; connection lost or refused, trying again in so many seconds
//   Written        a batch of frames is in the capture (at most one of these waits in the event
//                  queue at a time, however fast the frames come)
//   Ended          the recording is over: stopped, or failed for good (Result() says why)
//
// The capture is opened for appending, and locked against a second recorder, when the
// recording is made, so that one that cannot be recorded into is reported at once; it is closed
// once the recording ended (a capture the recording created and never wrote to is removed
// then). Stop() asks the recorder to end: it does within 200 ms, after writing the frames in
// hand whole, never half a frame; Ended follows. The destructor stops and waits.
#ifndef PACKSCOPE_UI_TNC_RECORDING_H_
#define PACKSCOPE_UI_TNC_RECORDING_H_

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "live/recorder.h"

namespace packscope {

struct RecordSettings {
  std::string source = "127.0.0.1:8001";  // HOST:PORT, or a serial device ("/dev/ttyUSB0")
  std::int32_t baud = 9600;               // of a serial device
  std::string capture;                    // the capture to write (appended to when it exists)
  bool stamps = true;                     // a binary stamp frame of its reception before each frame
};

// What keeps the settings from being recorded with, as a sentence for the user (UTF-8); empty
// when nothing does.
std::string RecordSettingsProblem(const RecordSettings& settings);

class TncRecording : public QObject {
  Q_OBJECT

 public:
  // retry: the longest wait between attempts to connect, in seconds. Throws CommandError when
  // the capture cannot be opened for recording.
  explicit TncRecording(const RecordSettings& settings, double retry = 30,
                        QObject* parent = nullptr);
  ~TncRecording() override;
  TncRecording(const TncRecording&) = delete;
  TncRecording& operator=(const TncRecording&) = delete;

  const RecordSettings& Settings() const { return settings_; }
  // Whole frames in the capture so far (stamp frames not counted).
  std::int64_t Frames() const { return frames_.load(); }
  // The last status the recorder told: "Connected to ...", or why it is not.
  const QString& Status() const { return status_; }
  void Stop();
  bool Stopping() const { return stop_.load(); }
  bool HasEnded() const { return ended_; }
  // How it ended, once it has.
  const RecordResult& Result() const { return result_; }

 signals:
  void StatusChanged(const QString& status);
  void Written(qint64 frames);
  void Ended();

 private:
  class Listener;
  void Run();
  void Finish();

  RecordSettings settings_;
  RecordOptions options_;
  std::unique_ptr<CaptureAppender> capture_;
  std::unique_ptr<Listener> listener_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> frames_{0};
  std::atomic<bool> written_posted_{false};
  QString status_;
  RecordResult result_;  // the thread's until it ended
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_TNC_RECORDING_H_
