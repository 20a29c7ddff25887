#include "cli/converter_window.h"

#include <unistd.h>

#include <exception>

namespace packscope {

ConverterWindow::ConverterWindow(std::FILE* progress)
    : progress_(progress), terminal_(::isatty(::fileno(progress)) != 0) {}

void ConverterWindow::AppendText4(std::string_view text) {
  if (stamp_log_ == nullptr || !stamp_log_error_.empty()) return;
  try {
    stamp_log_->Write(text);
  } catch (const std::exception& e) {
    // Raised inside a pass, a failure of the log must not end the conversion: it is reported
    // after the run.
    stamp_log_error_ = e.what();
  }
}

void ConverterWindow::SetBusy(bool busy) {
  HeadlessWindow::SetBusy(busy);
  if (busy) {
    pass_start_ = Clock::now();
    last_shown_ = pass_start_;
  } else if (progress_shown_) {
    std::fputs("\r\033[K", progress_);
    std::fflush(progress_);
    progress_shown_ = false;
  }
}

bool ConverterWindow::ShowProgress(std::int64_t done, std::int64_t total) {
  if (!terminal_ || !Busy()) return true;
  const auto now = Clock::now();
  if (now - pass_start_ < delay_) return true;
  if (progress_shown_ && now - last_shown_ < std::chrono::milliseconds(100)) return true;
  last_shown_ = now;
  progress_shown_ = true;
  if (total > 0) {
    std::fprintf(progress_, "\r\033[K%s: %d%% (%lld of %lld MB)", name_.c_str(),
                 static_cast<int>(100 * done / total), static_cast<long long>(done >> 20),
                 static_cast<long long>(total >> 20));
  } else {
    std::fprintf(progress_, "\r\033[K%s: %lld MB", name_.c_str(),
                 static_cast<long long>(done >> 20));
  }
  std::fflush(progress_);
  return true;
}

}  // namespace packscope
