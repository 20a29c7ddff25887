#include "render/display_model.h"

#include <gtest/gtest.h>

#include <string>

namespace packscope {
namespace {

using ColorRun = DisplayModel::Run;

// The colour of every character, for comparing whole texts.
std::string Colors(const DisplayModel& m) {
  std::string out;
  for (std::int64_t i = 0; i < m.Size(); ++i) {
    switch (m.ColorAt(i)) {
      case kBlack:
        out += 'k';
        break;
      case kRed:
        out += 'r';
        break;
      case kGreen:
        out += 'g';
        break;
      case kBlue:
        out += 'b';
        break;
      default:
        out += '?';
    }
  }
  return out;
}

void Insert(DisplayModel& m, std::string_view text, Color c) {
  const std::int64_t start = m.SelStart();
  m.SetSelText(text);
  m.SetSelStart(start);
  m.SetSelLength(static_cast<std::int64_t>(text.size()));
  m.SetSelColor(c);
  m.SetSelStart(start + static_cast<std::int64_t>(text.size()));
}

TEST(DisplayModelTest, AppendingKeepsOneRunPerColourChange) {
  DisplayModel m;
  Insert(m, "ab", kRed);
  Insert(m, "cd", kRed);
  Insert(m, "e", kGreen);
  EXPECT_EQ(m.Text(), "abcde");
  EXPECT_EQ(Colors(m), "rrrrg");
  EXPECT_EQ(m.Runs(), (std::vector<ColorRun>{{0, kRed}, {4, kGreen}}));
  EXPECT_EQ(m.SelStart(), 5);
}

TEST(DisplayModelTest, InsertingInsideRecoloursOnlyTheNewCharacters) {
  DisplayModel m;
  Insert(m, "aaaa", kRed);
  m.SetSelStart(2);
  Insert(m, "XY", kBlue);
  Insert(m, "Z", kGreen);
  EXPECT_EQ(m.Text(), "aaXYZaa");
  EXPECT_EQ(Colors(m), "rrbbgrr");
  EXPECT_EQ(m.SelStart(), 5);
  m.SetSelStart(0);
  Insert(m, "<", kRed);
  EXPECT_EQ(Colors(m), "rrrbbgrr");
  EXPECT_EQ(m.Runs().front(), (ColorRun{0, kRed}));
}

TEST(DisplayModelTest, ReplacingASelection) {
  DisplayModel m;
  Insert(m, "abc", kRed);
  Insert(m, "def", kBlue);
  m.SetSelStart(2);
  m.SetSelLength(2);  // "cd"
  m.SetSelText("");
  EXPECT_EQ(m.Text(), "abef");
  EXPECT_EQ(Colors(m), "rrbb");
  m.SetSelStart(1);
  m.SetSelLength(3);
  m.SetSelText("Q");  // takes the colour in front of it
  EXPECT_EQ(m.Text(), "aQ");
  EXPECT_EQ(Colors(m), "rr");
  EXPECT_EQ(m.SelStart(), 2);
  EXPECT_EQ(m.SelLength(), 0);
  m.SetSelStart(0);
  m.SetSelLength(2);
  m.SetSelText("");
  EXPECT_EQ(m.Text(), "");
  EXPECT_TRUE(m.Runs().empty());
}

TEST(DisplayModelTest, SelectionIsClampedToTheText) {
  DisplayModel m;
  Insert(m, "abc", kRed);
  m.SetSelStart(10);
  EXPECT_EQ(m.SelStart(), 3);
  m.SetSelStart(-4);
  EXPECT_EQ(m.SelStart(), 0);
  m.SetSelStart(1);
  m.SetSelLength(99);
  EXPECT_EQ(m.SelLength(), 2);
  EXPECT_EQ(m.SelectedText(), "bc");
  m.SetSelStart(2);  // a new start empties the selection
  EXPECT_EQ(m.SelLength(), 0);
}

TEST(DisplayModelTest, RecolouringTheMiddleSplitsAndMergesRuns) {
  DisplayModel m;
  Insert(m, "aaaaaa", kRed);
  m.SetSelStart(2);
  m.SetSelLength(2);
  m.SetSelColor(kGreen);
  EXPECT_EQ(Colors(m), "rrggrr");
  m.SetSelStart(2);
  m.SetSelLength(2);
  m.SetSelColor(kRed);
  EXPECT_EQ(Colors(m), "rrrrrr");
  EXPECT_EQ(m.Runs().size(), 1u);
  m.SetSelStart(0);
  m.SetSelLength(6);
  m.SetSelColor(kBlue);
  EXPECT_EQ(m.Runs(), (std::vector<ColorRun>{{0, kBlue}}));
}

TEST(DisplayModelTest, SetTextIsBlackWithTheInsertionPointAtZero) {
  DisplayModel m;
  Insert(m, "abc", kRed);
  m.SetText("xy");
  EXPECT_EQ(Colors(m), "kk");
  EXPECT_EQ(m.SelStart(), 0);
  m.SetText("");
  EXPECT_TRUE(m.Runs().empty());
  EXPECT_EQ(m.LineCount(), 1);
}

TEST(DisplayModelTest, LinesFollowEditsAnywhere) {
  DisplayModel m;
  Insert(m, "one\r\ntwo\r\n", kRed);
  EXPECT_EQ(m.LineCount(), 3);
  EXPECT_EQ(m.LineText(0), "one");
  EXPECT_EQ(m.LineText(1), "two");
  EXPECT_EQ(m.LineText(2), "");
  EXPECT_EQ(m.LineStart(1), 5);
  EXPECT_EQ(m.LineOf(4), 0);
  EXPECT_EQ(m.LineOf(5), 1);
  Insert(m, "three", kGreen);
  EXPECT_EQ(m.LineCount(), 3);
  EXPECT_EQ(m.LineText(2), "three");
  m.SetSelStart(2);
  Insert(m, "\r\nX", kBlue);
  EXPECT_EQ(m.LineCount(), 4);
  EXPECT_EQ(m.LineText(0), "on");
  EXPECT_EQ(m.LineText(1), "Xe");
  EXPECT_EQ(m.LineText(2), "two");
  EXPECT_EQ(m.LineStart(2), 8);  // "on\r\n" "Xe\r\n"
}

}  // namespace
}  // namespace packscope
