// HeadlessWindow: the main window without a screen. The display is a DisplayModel (text plus
// colour runs), the labels and text boxes are strings, the check boxes are flags, and reported
// errors are collected. The command-line converter and the tests use it.
//
// Dates and times are written as the C locale writes them ("1 Jan 2016", "12:34:56"); a host
// that knows the user's regional settings overrides ShortDateText and LongTimeText.
#ifndef PACKSCOPE_CAPTURE_HEADLESS_WINDOW_H_
#define PACKSCOPE_CAPTURE_HEADLESS_WINDOW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "capture/window.h"
#include "render/display_model.h"

namespace packscope {

class HeadlessWindow : public Window {
 public:
  void SetBusy(bool busy) override;
  std::string DisplayText() const override { return display_.Text(); }
  void SetDisplayText(std::string_view text) override { display_.SetText(text); }
  std::int64_t SelStart() const override { return display_.SelStart(); }
  void SetSelStart(std::int64_t start) override { display_.SetSelStart(start); }
  void SetSelLength(std::int64_t length) override { display_.SetSelLength(length); }
  void SetSelText(std::string_view text) override { display_.SetSelText(text); }
  void SetSelColor(Color color) override { display_.SetSelColor(color); }
  void SetLabel1Caption(std::string_view caption) override { label1_.assign(caption); }
  void SetLabel2Caption(std::string_view caption) override { label2_.assign(caption); }
  void SetText2(std::string_view text) override { text2_.assign(text); }
  void SetText3(std::string_view text) override { text3_.assign(text); }
  void AppendText4(std::string_view text) override { text4_.append(text); }
  void ClearText4() override { text4_.clear(); }
  bool Check1() const override { return check1_; }
  bool Check2() const override { return check2_; }
  std::string ShortDateText(int year, int month, int day) const override;
  std::string LongTimeText(int hour, int minute, int second) const override;
  void ReportError(std::string_view message) override { errors_.emplace_back(message); }
  // Never asks to stop.
  bool ShowProgress(std::int64_t done, std::int64_t total) override;

  // What a user would see and set.
  const DisplayModel& Display() const { return display_; }
  DisplayModel& Display() { return display_; }
  const std::string& Label1() const { return label1_; }
  const std::string& Label2() const { return label2_; }
  const std::string& Text2() const { return text2_; }
  const std::string& Text3() const { return text3_; }
  const std::string& Text4() const { return text4_; }
  void SetCheck1(bool ticked) { check1_ = ticked; }
  void SetCheck2(bool ticked) { check2_ = ticked; }
  bool Busy() const { return busy_; }
  int BusyCount() const { return busy_count_; }
  const std::vector<std::string>& Errors() const { return errors_; }
  void ClearErrors() { errors_.clear(); }

 private:
  DisplayModel display_;
  std::string label1_;
  std::string label2_;
  std::string text2_;
  std::string text3_;
  std::string text4_;
  bool check1_ = false;  // as the window starts: Check1 unticked, Check2 ticked
  bool check2_ = true;
  bool busy_ = false;
  int busy_count_ = 0;  // how often the busy pointer was switched on
  std::vector<std::string> errors_;
};

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_HEADLESS_WINDOW_H_
