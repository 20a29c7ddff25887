#include "live/recorder.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "capture/errors.h"
#include "capture/frame_loop.h"
#include "live/kiss_stream.h"

namespace packscope {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kFirstRetry = milliseconds(500);
constexpr auto kSyncInterval = milliseconds(1000);
// The longest wait in one call: the stop flag and the deadlines are looked at this often even
// when a signal's wake-up is missed.
constexpr auto kPollStep = milliseconds(200);
// A connection that lasted this long starts the waits between attempts from the shortest again.
constexpr auto kSteadyConnection = std::chrono::seconds(10);
constexpr std::size_t kReadBuffer = 1 << 16;

std::int64_t NowMillis() {
  return std::chrono::duration_cast<milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

Clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string WaitText(Clock::duration wait) {
  const double seconds = std::chrono::duration<double>(wait).count();
  char text[32];
  std::snprintf(text, sizeof text, seconds < 10 ? "%.1f s" : "%.0f s", seconds);
  return text;
}

class Recording {
 public:
  Recording(ByteSource& source, RecordSink& capture, const RecordOptions& options,
            RecordListener& listener, const std::atomic<bool>& stop)
      : source_(source),
        capture_(capture),
        options_(options),
        listener_(listener),
        stop_(stop),
        buffer_(kReadBuffer),
        frames_before_(capture.FramesWritten()) {
    if (options.duration >= 0) deadline_ = Clock::now() + Seconds(options.duration);
    if (options.retry > 0)
      longest_wait_ = std::max(Seconds(options.retry), Clock::duration(kFirstRetry));
  }

  RecordResult Run() {
    try {
      result_.end = Loop();
      Sync();
    } catch (const CommandError& e) {
      result_.end = RecordEnd::kWriteFailed;
      result_.error = e.what();
      // The frames of the failed write that reached the capture whole count too.
      result_.frames = capture_.FramesWritten() - frames_before_;
    }
    source_.Close();
    return result_;
  }

 private:
  // Why the recording ends, once it must.
  std::optional<RecordEnd> Ending() const {
    if (stop_.load()) return RecordEnd::kStopped;
    if (deadline_ && Clock::now() >= *deadline_) return RecordEnd::kDuration;
    if (options_.count >= 0 && result_.frames >= options_.count) return RecordEnd::kCount;
    return std::nullopt;
  }

  RecordEnd Loop() {
    auto wait = Clock::duration(kFirstRetry);
    for (;;) {
      if (auto end = Ending()) return *end;
      std::string error;
      if (!source_.Open(error)) {
        if (auto end = Ending()) return *end;
        if (!GiveUpOrWait("Cannot connect to " + source_.Name() + ": " + error, wait)) {
          return RecordEnd::kSourceFailed;
        }
        continue;
      }
      listener_.OnStatus("Connected to " + source_.Name());
      const auto connected = Clock::now();
      parser_.Reset();
      if (auto end = Receive(error)) return *end;
      // Lost: the frame in progress was cut off and is not written.
      const std::size_t dropped = parser_.Reset();
      std::string message = "Connection to " + source_.Name() + " lost: " + error;
      if (dropped > 0) {
        message += " (a frame cut short by it, " + std::to_string(dropped) +
                   " bytes so far, is not recorded)";
      }
      if (Clock::now() - connected >= kSteadyConnection) wait = kFirstRetry;
      if (!GiveUpOrWait(message, wait)) return RecordEnd::kSourceFailed;
    }
  }

  // Reads until the recording must end (why) or the connection is lost (nothing; error set).
  std::optional<RecordEnd> Receive(std::string& error) {
    for (;;) {
      if (auto end = Ending()) return end;
      const std::ptrdiff_t n = source_.Read(buffer_, PollTimeout(), error);
      if (n < 0) return std::nullopt;
      if (n > 0) Take(std::span<const std::uint8_t>(buffer_.data(), static_cast<std::size_t>(n)));
      if (sync_due_ && Clock::now() >= *sync_due_) Sync();
    }
  }

  void Take(std::span<const std::uint8_t> bytes) {
    const std::int64_t received = NowMillis();
    std::optional<std::int64_t> stamp;
    if (options_.stamps) stamp = received;
    std::int64_t taken = 0;
    parser_.Feed(
        bytes,
        [&](std::span<const std::uint8_t> frame) {
          if (options_.count >= 0 && result_.frames + taken >= options_.count) return;
          // A stamp frame from the source (a decoder that stamps its frames) is kept as it came.
          const bool is_stamp = frame[0] == kTimestampType;
          capture_.Add(frame, is_stamp ? std::nullopt : stamp);
          if (is_stamp) return;
          ++taken;
          listener_.OnFrame(frame, received);
        },
        [&](std::int64_t size) {
          listener_.OnStatus("A frame of " + std::to_string(size) + " bytes from " +
                             source_.Name() + " was not recorded: a frame may hold at most " +
                             std::to_string(kMaxFrameLength) + " bytes.");
        });
    if (!capture_.HasBatch()) return;
    capture_.Write();  // on failure Run() counts the frames of this batch that were kept
    result_.frames += taken;
    if (!sync_due_) sync_due_ = Clock::now() + kSyncInterval;
    if (taken > 0) listener_.OnWritten();
  }

  void Sync() {
    capture_.Sync();
    sync_due_.reset();
  }

  int PollTimeout() const {
    auto timeout = Clock::duration(kPollStep);
    const auto now = Clock::now();
    if (deadline_) timeout = std::min(timeout, *deadline_ - now);
    if (sync_due_) timeout = std::min(timeout, *sync_due_ - now);
    const auto ms = std::chrono::ceil<milliseconds>(timeout).count();
    return static_cast<int>(std::max<std::int64_t>(ms, 0));
  }

  // Reports the failure; false when retry is 0, else waits (the wait doubling each time, up to
  // retry) and returns true, or false once the recording must end meanwhile.
  bool GiveUpOrWait(const std::string& message, Clock::duration& wait) {
    if (options_.retry <= 0) {
      result_.error = message;
      return false;
    }
    listener_.OnStatus(message + "; trying again in " + WaitText(wait));
    const auto until = Clock::now() + wait;
    wait = std::min(wait * 2, longest_wait_);
    while (!Ending()) {
      if (sync_due_ && Clock::now() >= *sync_due_) Sync();
      const auto left = until - Clock::now();
      if (left <= Clock::duration::zero()) return true;
      const auto step = std::min<Clock::duration>(left, kPollStep);
      ::poll(nullptr, 0, static_cast<int>(std::chrono::ceil<milliseconds>(step).count()));
    }
    return true;  // the loop above it sees the ending
  }

  ByteSource& source_;
  RecordSink& capture_;
  const RecordOptions& options_;
  RecordListener& listener_;
  const std::atomic<bool>& stop_;
  std::vector<std::uint8_t> buffer_;
  KissStreamParser parser_;
  std::optional<Clock::time_point> deadline_;
  std::optional<Clock::time_point> sync_due_;
  Clock::duration longest_wait_ = kFirstRetry;
  std::int64_t frames_before_;  // the capture's FramesWritten() when the recording began
  RecordResult result_;
};

std::atomic<bool> stop_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestStop(int) { stop_requested.store(true); }

}  // namespace

RecordResult Record(ByteSource& source, RecordSink& capture, const RecordOptions& options,
                    RecordListener& listener, const std::atomic<bool>& stop) {
  source.SetStopFlag(&stop);
  struct Unwatch {
    ByteSource& s;
    ~Unwatch() { s.SetStopFlag(nullptr); }
  } unwatch{source};
  Recording recording(source, capture, options, listener, stop);
  return recording.Run();
}

const std::atomic<bool>& StopOnSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting poll returns at once
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  // A closed terminal: the recording ends as on Ctrl+C, its last write whole, its summary said.
  ::sigaction(SIGHUP, &action, nullptr);
  return stop_requested;
}

}  // namespace packscope
