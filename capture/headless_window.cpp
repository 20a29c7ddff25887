#include "capture/headless_window.h"

#include "render/numbers.h"

namespace packscope {

void HeadlessWindow::SetBusy(bool busy) {
  if (busy) ++busy_count_;
  busy_ = busy;
}

// Asked for once per timestamp frame: digits put in place rather than formatted.
std::string HeadlessWindow::ShortDateText(int year, int month, int day) const {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string text;
  AppendZeroPadded(text, day, 1);
  text.push_back(' ');
  text.append(kMonths[(month - 1) % 12]);
  text.push_back(' ');
  AppendZeroPadded(text, year, 4);
  return text;
}

std::string HeadlessWindow::LongTimeText(int hour, int minute, int second) const {
  std::string text;
  AppendZeroPadded(text, hour, 2);
  text.push_back(':');
  AppendZeroPadded(text, minute, 2);
  text.push_back(':');
  AppendZeroPadded(text, second, 2);
  return text;
}

bool HeadlessWindow::ShowProgress(std::int64_t done, std::int64_t total) {
  (void)done;
  (void)total;
  return true;
}

}  // namespace packscope
