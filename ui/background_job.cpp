#include "ui/background_job.h"

#include <exception>
#include <new>

namespace packscope {

BackgroundJob::~BackgroundJob() {
  Cancel();
  Join();
}

void BackgroundJob::Start(Work work) {
  Cancel();
  Join();
  cancel_ = false;
  finished_ = false;
  done_ = 0;
  total_ = 0;
  error_.clear();
  thread_ = std::thread([this, work = std::move(work)] {
    try {
      work(&cancel_, [this](std::int64_t done, std::int64_t total) {
        done_.store(done, std::memory_order_relaxed);
        total_.store(total, std::memory_order_relaxed);
      });
    } catch (const std::bad_alloc&) {
      error_ = "Not enough memory to finish.";
    } catch (const std::exception& e) {
      error_ = e.what();
    }
    finished_.store(true, std::memory_order_release);
  });
}

void BackgroundJob::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace packscope
