// IndexWorker: reads the capture the window shows (CaptureView::ReadOn) on a thread of its own,
// so that the window thread stays free to lay out and paint the frames read so far.
//
// The window thread may hold the reading at its next block (a megabyte, or 50 ms of waiting for
// a stream) while it processes events: a Cancel clicked then stops the reading right there, with
// the frames read so far, as it stopped a pass after the block being read. Between holds the
// reading runs freely.
#ifndef PACKSCOPE_UI_INDEX_WORKER_H_
#define PACKSCOPE_UI_INDEX_WORKER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "capture/frame_index.h"

namespace packscope {

class CaptureView;

class IndexWorker {
 public:
  IndexWorker() = default;
  // Cancels a reading that still runs and waits for it.
  ~IndexWorker();
  IndexWorker(const IndexWorker&) = delete;
  IndexWorker& operator=(const IndexWorker&) = delete;

  // Starts reading view on; held: the reading stops at its first block until Release. One
  // reading at a time: one that still runs is cancelled and joined first.
  void Start(CaptureView& view, bool held);
  // A reading was started and not joined yet.
  bool Running() const { return thread_.joinable(); }
  // The reading has ended (its result waits for Join).
  bool Finished() const;
  // Waits at most timeout for news: progress, the reading held, or its end.
  void WaitForNews(std::chrono::milliseconds timeout);
  // Asks the reading to stop at its next block and waits until it does (or ends). False when it
  // did not within timeout.
  bool Hold(std::chrono::milliseconds timeout);
  void Release();
  // Stops the reading at its next block (what was read stays).
  void Cancel();
  // Waits for the end of the reading and gives its result.
  IndexResult Join();

  // The last progress: bytes read, and the capture's size (-1 unknown).
  std::int64_t Done() const { return done_.load(std::memory_order_relaxed); }
  std::int64_t Total() const { return total_.load(std::memory_order_relaxed); }

 private:
  void OnProgress(std::int64_t done, std::int64_t total);

  std::thread thread_;
  std::atomic<bool> cancel_{false};
  std::atomic<std::int64_t> done_{0};
  std::atomic<std::int64_t> total_{-1};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool hold_ = false;
  bool held_ = false;
  bool news_ = false;
  bool finished_ = false;
  IndexResult result_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_INDEX_WORKER_H_
