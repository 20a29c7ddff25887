// BackgroundJob: one piece of work of the frame list window (indexing the capture, listing its
// frames through a filter, sorting, finding, the survey) on a thread of its own, so that the
// window stays free to paint and to take a Cancel. The window looks at Finished() and the
// progress from a timer; the work hands its result over through what it captured, which the
// window reads once Finished() is true and Join() has returned.
#ifndef PACKSCOPE_UI_BACKGROUND_JOB_H_
#define PACKSCOPE_UI_BACKGROUND_JOB_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace packscope {

class BackgroundJob {
 public:
  // The work: it looks at cancel now and then and reports progress (done of total).
  using Work = std::function<void(const std::atomic<bool>* cancel,
                                  const std::function<void(std::int64_t, std::int64_t)>& progress)>;

  BackgroundJob() = default;
  // Cancels a job that still runs and waits for it.
  ~BackgroundJob();
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  // Starts work; a job that still runs is cancelled and joined first.
  void Start(Work work);
  // Started and not joined yet.
  bool Running() const { return thread_.joinable(); }
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // Asks the work to stop at its next look.
  void Cancel() { cancel_.store(true, std::memory_order_relaxed); }
  bool CancelAsked() const { return cancel_.load(std::memory_order_relaxed); }
  // Waits for the end of the work.
  void Join();

  // What went wrong when the work threw (out of memory); empty otherwise. After Join.
  const std::string& Error() const { return error_; }

  std::int64_t Done() const { return done_.load(std::memory_order_relaxed); }
  std::int64_t Total() const { return total_.load(std::memory_order_relaxed); }

 private:
  std::thread thread_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  std::atomic<std::int64_t> done_{0};
  std::atomic<std::int64_t> total_{0};
  std::string error_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_BACKGROUND_JOB_H_
