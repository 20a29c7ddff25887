// The display model's longest line, which the display needs for its width: kept up to date as a
// pass appends, and right again after edits inside the text.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace packscope
