#include "capture/headless_window.h"

#include <cstdio>

namespace packscope {

void HeadlessWindow::SetBusy(bool busy) {
  if (busy) ++busy_count_;
  busy_ = busy;
}

std::string HeadlessWindow::ShortDateText(int year, int month, int day) const {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d %s %04d", day, kMonths[(month - 1) % 12], year);
  return buf;
}

std::string HeadlessWindow::LongTimeText(int hour, int minute, int second) const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
  return buf;
}

void HeadlessWindow::ShowProgress(std::int64_t done, std::int64_t total) {
  (void)done;
  (void)total;
}

}  // namespace packscope
