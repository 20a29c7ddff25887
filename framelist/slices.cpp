#include "framelist/slices.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace packscope {

int SliceCount(std::int64_t items, std::int64_t least, unsigned cores) {
  const auto by_size = std::max<std::int64_t>(1, items / std::max<std::int64_t>(1, least));
  const auto by_cores = static_cast<std::int64_t>(std::clamp(cores, 1u, unsigned{kMostSlices}));
  return static_cast<int>(std::min(by_size, by_cores));
}

void RunInSlices(int slices, const std::function<void(int slice)>& body,
                 const std::function<void()>& waiting) {
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(std::max(slices, 1)));
  const auto run = [&](int slice) {
    try {
      body(slice);
    } catch (...) {
      errors[static_cast<std::size_t>(slice)] = std::current_exception();
    }
  };
  std::mutex mutex;
  std::condition_variable finished;
  int running = slices - 1;
  std::vector<std::thread> threads;
  for (int s = 1; s < slices; ++s) {
    threads.emplace_back([&, s] {
      run(s);
      const std::lock_guard<std::mutex> lock(mutex);
      --running;
      finished.notify_one();
    });
  }
  run(0);
  {
    std::unique_lock<std::mutex> lock(mutex);
    while (!finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return running == 0; })) {
      if (!waiting) continue;
      lock.unlock();
      waiting();
      lock.lock();
    }
  }
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& e : errors) {
    if (e) std::rethrow_exception(e);
  }
}

}  // namespace packscope
