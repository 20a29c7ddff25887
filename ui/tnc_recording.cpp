#include "ui/tnc_recording.h"

#include <sys/stat.h>

#include <exception>
#include <utility>

#include "capture/errors.h"
#include "live/serial_source.h"
#include "qt/qt_text.h"

namespace packscope {

std::string RecordSettingsProblem(const RecordSettings& settings) {
  if (IsSerialDevice(settings.source)) {
    if (settings.baud <= 0) return "The speed of the serial line must be a number of baud.";
  } else if (!ParseHostPort(settings.source)) {
    return "The source must be HOST:PORT (a port from 1 to 65535), such as 127.0.0.1:8001, or a "
           "serial device such as /dev/ttyUSB0.";
  }
  if (settings.capture.empty()) return "Choose the capture to record into.";
  struct stat st {};
  if (::stat(settings.capture.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    return "Cannot record into " + Quoted(settings.capture) + ": it is not a file.";
  }
  return {};
}

// Runs on the recording's thread: hands what the recorder tells to the window's thread.
class TncRecording::Listener : public RecordListener {
 public:
  explicit Listener(TncRecording& owner) : owner_(owner) {}

  void OnStatus(std::string_view message) override {
    TncRecording* owner = &owner_;
    QMetaObject::invokeMethod(
        owner,
        [owner, status = FromUtf8(message)] {
          owner->status_ = status;
          emit owner->StatusChanged(status);
        },
        Qt::QueuedConnection);
  }
  void OnFrame(std::span<const std::uint8_t>, std::int64_t) override { ++batch_; }
  void OnWritten() override {
    owner_.frames_ += std::exchange(batch_, 0);
    if (owner_.written_posted_.exchange(true)) return;
    TncRecording* owner = &owner_;
    QMetaObject::invokeMethod(
        owner,
        [owner] {
          owner->written_posted_ = false;
          emit owner->Written(owner->frames_.load());
        },
        Qt::QueuedConnection);
  }

 private:
  TncRecording& owner_;
  std::int64_t batch_ = 0;  // frames handed on and not yet written
};

TncRecording::TncRecording(const RecordSettings& settings, double retry, QObject* parent)
    : QObject(parent), settings_(settings) {
  options_.stamps = settings_.stamps;
  options_.retry = retry;
  capture_ = std::make_unique<CaptureAppender>(settings_.capture);
  listener_ = std::make_unique<Listener>(*this);
  thread_ = std::thread([this] { Run(); });
}

TncRecording::~TncRecording() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TncRecording::Stop() { stop_ = true; }

void TncRecording::Run() {
  RecordResult result;
  try {
    // A serial port belongs to the thread that made it: this one.
    std::unique_ptr<ByteSource> source;
    if (IsSerialDevice(settings_.source)) {
      source = MakeSerialSource(settings_.source, settings_.baud);
    } else {
      source = std::make_unique<TcpSource>(*ParseHostPort(settings_.source));
    }
    result = Record(*source, *capture_, options_, *listener_, stop_);
  } catch (const std::exception& e) {  // out of memory: what was written stays whole
    result.end = RecordEnd::kWriteFailed;
    result.frames = frames_.load();
    result.error = std::string("The recording failed: ") + e.what();
  }
  result_ = std::move(result);
  QMetaObject::invokeMethod(this, &TncRecording::Finish, Qt::QueuedConnection);
}

void TncRecording::Finish() {
  thread_.join();
  frames_ = result_.frames;
  capture_.reset();
  ended_ = true;
  emit Ended();
}

}  // namespace packscope
