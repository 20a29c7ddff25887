#include "capture/headless_window.h"

namespace packscope {

void HeadlessWindow::SetBusy(bool busy) {
  if (busy) ++busy_count_;
  busy_ = busy;
}

namespace {

// value (0..9999) as at least digits digits, leading zeros added.
void AppendPadded(std::string& out, int value, int digits) {
  char buf[8];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 8);
  while (n < digits) buf[n++] = '0';
  while (n > 0) out.push_back(buf[--n]);
}

}  // namespace

// Asked for once per timestamp frame: digits put in place rather than formatted.
std::string HeadlessWindow::ShortDateText(int year, int month, int day) const {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string text;
  AppendPadded(text, day, 1);
  text.push_back(' ');
  text.append(kMonths[(month - 1) % 12]);
  text.push_back(' ');
  AppendPadded(text, year, 4);
  return text;
}

std::string HeadlessWindow::LongTimeText(int hour, int minute, int second) const {
  std::string text;
  AppendPadded(text, hour, 2);
  text.push_back(':');
  AppendPadded(text, minute, 2);
  text.push_back(':');
  AppendPadded(text, second, 2);
  return text;
}

bool HeadlessWindow::ShowProgress(std::int64_t done, std::int64_t total) {
  (void)done;
  (void)total;
  return true;
}

}  // namespace packscope
