#include "ui/index_worker.h"

#include "commands/capture_view.h"

namespace packscope {

IndexWorker::~IndexWorker() {
  if (Running()) {
    Cancel();
    Join();
  }
}

void IndexWorker::Start(CaptureView& view, bool held) {
  if (Running()) {  // one reading at a time: an earlier one is stopped first
    Cancel();
    Join();
  }
  cancel_ = false;
  done_ = 0;
  total_ = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hold_ = held;
    held_ = false;
    news_ = false;
    finished_ = false;
  }
  thread_ = std::thread([this, &view] {
    IndexResult result;
    try {
      result = view.ReadOn(
          &cancel_, [this](std::int64_t done, std::int64_t total) { OnProgress(done, total); });
    } catch (const std::exception& e) {  // out of memory: what was read stays
      result = {IndexStatus::kUnreadable,
                std::string("The capture could not be read: ") + e.what()};
    }
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = std::move(result);
    finished_ = true;
    changed_.notify_all();
  });
}

void IndexWorker::OnProgress(std::int64_t done, std::int64_t total) {
  done_.store(done, std::memory_order_relaxed);
  total_.store(total, std::memory_order_relaxed);
  std::unique_lock<std::mutex> lock(mutex_);
  news_ = true;
  changed_.notify_all();
  if (!hold_) return;
  held_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !hold_; });
  held_ = false;
}

bool IndexWorker::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

void IndexWorker::WaitForNews(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, timeout, [this] { return news_ || held_ || finished_; });
  news_ = false;
}

bool IndexWorker::Hold(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  hold_ = true;
  return changed_.wait_for(lock, timeout, [this] { return held_ || finished_; });
}

void IndexWorker::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  hold_ = false;
  changed_.notify_all();
}

void IndexWorker::Cancel() {
  cancel_ = true;
  Release();
}

IndexResult IndexWorker::Join() {
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return result_;
}

}  // namespace packscope
