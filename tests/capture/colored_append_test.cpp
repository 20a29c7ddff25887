#include "capture/colored_append.h"

#include <gtest/gtest.h>

#include <vector>

#include "capture/headless_window.h"

namespace packscope {
namespace {

using ColorRun = DisplayModel::Run;

// Records the display operations in the order they arrive.
class RecordingWindow : public HeadlessWindow {
 public:
  std::int64_t SelStart() const override {
    calls.push_back("SelStart");
    return HeadlessWindow::SelStart();
  }
  void SetSelStart(std::int64_t s) override {
    calls.push_back("SetSelStart " + std::to_string(s));
    HeadlessWindow::SetSelStart(s);
  }
  void SetSelLength(std::int64_t n) override {
    calls.push_back("SetSelLength " + std::to_string(n));
    HeadlessWindow::SetSelLength(n);
  }
  void SetSelText(std::string_view t) override {
    calls.push_back("SetSelText " + std::string(t));
    HeadlessWindow::SetSelText(t);
  }
  void SetSelColor(Color c) override {
    calls.push_back("SetSelColor " + std::to_string(c));
    HeadlessWindow::SetSelColor(c);
  }
  mutable std::vector<std::string> calls;
};

TEST(AppendColoredTest, RunsTheNineStepsInOrder) {
  RecordingWindow w;
  w.SetSelText("xy");
  w.calls.clear();
  AppendColored(w, "abc", kRed);
  EXPECT_EQ(w.calls, (std::vector<std::string>{"SelStart", "SetSelLength 0", "SetSelText abc",
                                               "SetSelStart 2", "SetSelLength 3", "SetSelColor 255",
                                               "SetSelLength 0", "SetSelStart 5"}));
}

TEST(AppendColoredTest, ThreeLettersInThreeColours) {
  HeadlessWindow w;
  AppendColored(w, "A", kRed);
  AppendColored(w, "B", kGreen);
  AppendColored(w, "C", kBlue);
  EXPECT_EQ(w.DisplayText(), "ABC");
  EXPECT_EQ(w.Display().Runs(), (std::vector<ColorRun>{{0, kRed}, {1, kGreen}, {2, kBlue}}));
  EXPECT_EQ(w.SelStart(), 3);
  EXPECT_EQ(w.Display().SelLength(), 0);
}

TEST(AppendColoredTest, EmptyTextChangesNothing) {
  HeadlessWindow w;
  AppendColored(w, "AB", kRed);
  w.SetSelStart(1);
  AppendColored(w, "", kGreen);
  EXPECT_EQ(w.DisplayText(), "AB");
  EXPECT_EQ(w.Display().Runs(), (std::vector<ColorRun>{{0, kRed}}));
  EXPECT_EQ(w.SelStart(), 1);
}

TEST(AppendColoredTest, LineBreaksGoInWholeInOneColour) {
  HeadlessWindow w;
  AppendColored(w, "a\r\nb\r\n", kGreen);
  EXPECT_EQ(w.DisplayText(), "a\r\nb\r\n");
  EXPECT_EQ(w.Display().Runs(), (std::vector<ColorRun>{{0, kGreen}}));
  EXPECT_EQ(w.SelStart(), 6);
}

TEST(AppendColoredTest, InsertsAtAMovedInsertionPointAndContinuesBehindIt) {
  HeadlessWindow w;
  AppendColored(w, "AAAA", kRed);
  w.SetSelStart(2);
  AppendColored(w, "B", kGreen);
  AppendColored(w, "C", kBlue);
  EXPECT_EQ(w.DisplayText(), "AABCAA");
  EXPECT_EQ(w.Display().Runs(),
            (std::vector<ColorRun>{{0, kRed}, {2, kGreen}, {3, kBlue}, {4, kRed}}));
  EXPECT_EQ(w.SelStart(), 4);
}

}  // namespace
}  // namespace packscope
