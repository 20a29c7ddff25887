// The display model's longest line, which the display needs for its width: kept up to date as a
// pass appends, and right again after edits inside the text. Making room for a long pass changes
// nothing else.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "render/display_model.h"

namespace packscope {
namespace {

TEST(DisplayModelMaxLineLength, EmptyAndSingleLines) {
  DisplayModel model;
  EXPECT_EQ(model.MaxLineLength(), 0);
  model.SetText("abc");
  EXPECT_EQ(model.MaxLineLength(), 3);
  model.SetText("abc\r\n");
  EXPECT_EQ(model.MaxLineLength(), 3);  // the line break does not count
  model.SetText("abc\n");
  EXPECT_EQ(model.MaxLineLength(), 3);
  model.SetText("\r\n\r\n");
  EXPECT_EQ(model.MaxLineLength(), 0);
}

TEST(DisplayModelMaxLineLength, FollowsAppendsAtTheEnd) {
  DisplayModel model;
  model.SetSelText("12345\r\n");
  EXPECT_EQ(model.MaxLineLength(), 5);
  model.SetSelText("1234567");  // an open last line counts too
  EXPECT_EQ(model.MaxLineLength(), 7);
  model.SetSelText("89\r");  // a CR waiting for its LF is not part of the line
  EXPECT_EQ(model.MaxLineLength(), 10);
  model.SetSelText("\nab\r\n");
  EXPECT_EQ(model.MaxLineLength(), 9);
  EXPECT_EQ(model.LineCount(), 4);
}

TEST(DisplayModelMaxLineLength, RightAfterEditsInsideTheText) {
  DisplayModel model;
  model.SetText("short\r\nthe longest line\r\nmid line\r\n");
  EXPECT_EQ(model.MaxLineLength(), 16);
  // Cut the longest line down: select "the longest " and replace it.
  model.SetSelStart(7);
  model.SetSelLength(12);
  model.SetSelText("");
  EXPECT_EQ(model.Text(), "short\r\nline\r\nmid line\r\n");
  EXPECT_EQ(model.MaxLineLength(), 8);
  // Insert into the first line.
  model.SetSelStart(2);
  model.SetSelText("0123456789");
  EXPECT_EQ(model.MaxLineLength(), 15);
  // Join two lines by removing a line break.
  model.SetSelStart(15);
  model.SetSelLength(2);
  model.SetSelText("");
  EXPECT_EQ(model.LineText(0), "sh0123456789ortline");
  EXPECT_EQ(model.MaxLineLength(), 19);
  model.Clear();
  EXPECT_EQ(model.MaxLineLength(), 0);
}

TEST(DisplayModelReserve, ChangesNothingBesidesRoom) {
  DisplayModel model;
  model.SetSelText("ab\r\n");
  model.SetSelStart(0);
  model.SetSelLength(2);
  model.SetSelColor(kRed);
  model.SetSelStart(1);
  model.SetSelLength(1);
  model.Reserve(1 << 20);
  EXPECT_EQ(model.Text(), "ab\r\n");
  EXPECT_EQ(model.SelStart(), 1);
  EXPECT_EQ(model.SelLength(), 1);
  const std::vector<DisplayModel::Run> expected = {{0, kRed}, {2, kBlack}};
  EXPECT_EQ(model.Runs(), expected);
  model.Reserve(1);  // less than the text: nothing to do
  EXPECT_EQ(model.Text(), "ab\r\n");
  // Appending at the end after making room: the new text takes the colour before it.
  model.SetSelStart(model.Size());
  model.SetSelText("cd");
  EXPECT_EQ(model.Text(), "ab\r\ncd");
  EXPECT_EQ(model.ColorAt(5), kBlack);
  EXPECT_EQ(model.LineText(1), "cd");
}

// What a view asks of any display source: the runs over a line, a range of the text (refused
// beyond a limit), and the lines of a piece as the model counts them.
TEST(DisplayModelSource, LineColorsRangesAndMeasuredLines) {
  DisplayModel model;
  for (const auto& [piece, color] : std::vector<std::pair<std::string, Color>>{
           {"ab\r\n", kBlack}, {"cd", kRed}, {"ef\r\ngh\r\n", kBlue}, {"\r\n", kGreen}}) {
    model.SetSelText(piece);
    model.SetSelStart(model.Size() - static_cast<std::int64_t>(piece.size()));
    model.SetSelLength(static_cast<std::int64_t>(piece.size()));
    model.SetSelColor(color);
    model.SetSelStart(model.Size());
  }
  // Lines: "ab", "cdef", "gh", "", "" (after the last LF).
  std::vector<ColorRun> runs;
  model.LineColors(1, runs);
  EXPECT_EQ(runs, (std::vector<ColorRun>{{4, kRed}, {6, kBlue}}));
  model.LineColors(2, runs);
  EXPECT_EQ(runs, (std::vector<ColorRun>{{6, kBlue}}));
  model.LineColors(3, runs);
  EXPECT_EQ(runs, (std::vector<ColorRun>{{14, kGreen}}));
  model.LineColors(4, runs);
  EXPECT_EQ(runs, (std::vector<ColorRun>{{14, kGreen}}));

  std::string out = "x";
  EXPECT_TRUE(model.AppendText(2, 8, 6, out));
  EXPECT_EQ(out, "x\r\ncdef");
  EXPECT_FALSE(model.AppendText(2, 8, 5, out));
  EXPECT_TRUE(model.AppendText(14, 99, 2, out));  // clamped to the text
  EXPECT_EQ(out, "x\r\ncdef\r\n");
  model.SetText("");
  model.LineColors(0, runs);
  EXPECT_TRUE(runs.empty());

  EXPECT_EQ(MeasureLines("ab\r\ncde\nf\r"), (TextLines{2, 3}));
  EXPECT_EQ(MeasureLines(""), (TextLines{0, 0}));
}

}  // namespace
}  // namespace packscope
