// The display widget: what it paints (colours, selection), how the mouse and keys select, copy
// and scroll, and that nothing the user types or drops gets into the text.
#include "ui/display_widget.h"

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>

#include "tests/ui/ui_test_support.h"
#include "ui/design.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

// Pixels of text painted on white blend towards white; these tell the colours apart.
bool Reddish(QColor c) { return c.red() > 150 && c.green() < 100 && c.blue() < 100; }
bool Bluish(QColor c) { return c.blue() > 150 && c.red() < 100 && c.green() < 100; }
bool Greenish(QColor c) { return c.green() > 80 && c.red() < 60 && c.blue() < 60; }

int Count(const QImage& image, const QRect& area, const std::function<bool(QColor)>& kind) {
  int n = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) n += kind(image.pixelColor(x, y)) ? 1 : 0;
  }
  return n;
}

// Lines "line <n>" padded to 22 characters, each with CR LF, made up when asked: more lines
// than a scroll bar counts.
class CountedLines : public DisplaySource {
 public:
  static constexpr std::int64_t kWidth = 22;
  explicit CountedLines(std::int64_t lines) : lines_(lines) {}
  std::int64_t Size() const override { return lines_ * (kWidth + 2); }
  std::int64_t LineCount() const override { return lines_ + 1; }
  std::int64_t LineStart(std::int64_t line) const override { return line * (kWidth + 2); }
  std::int64_t LineOf(std::int64_t offset) const override {
    return std::min(offset / (kWidth + 2), lines_);
  }
  std::string_view LineText(std::int64_t line) const override {
    if (line >= lines_) return {};
    text_ = Line(line);
    return text_;
  }
  void LineColors(std::int64_t line, std::vector<ColorRun>& runs) const override {
    runs.assign(1, {LineStart(line), kBlue});
  }
  std::int64_t MaxLineLength() const override { return kWidth; }
  bool AppendText(std::int64_t begin, std::int64_t end, std::int64_t limit,
                  std::string& out) const override {
    if (end - begin > limit) return false;
    for (std::int64_t line = LineOf(begin); LineStart(line) < end; ++line) {
      const std::string whole = Line(line) + "\r\n";
      const std::int64_t from = std::max(begin - LineStart(line), std::int64_t{0});
      const std::int64_t to = std::min(end - LineStart(line), kWidth + 2);
      out += whole.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    }
    return true;
  }
  static std::string Line(std::int64_t line) {
    std::string text = "line " + std::to_string(line);
    text.resize(kWidth, ' ');
    return text;
  }

 private:
  std::int64_t lines_;
  mutable std::string text_;
};

}  // namespace

class DisplayWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void paintsEachRunInItsColour();
  void paintsTheModelsSelection();
  void hitTestingRoundTrips();
  void mouseSelectsDragsAndExtends();
  void shiftClickExtendsASelectionSetThroughTheModel();
  void doubleClickSelectsAWord();
  void copyAndSelectAllByKeys();
  void contextMenuCopiesAndSelectsAll();
  void copyDecodesWindows1252();
  void typingAndPastingChangeNothing();
  void textDropInsertsNothing();
  void scrollRangesFollowTheText();
  void keysScroll();
  void aSourceOfBillionsOfLinesScrollsToEveryPlace();

 private:
  void SetText(const std::string& text) {
    widget_->Model().SetText(text);
    widget_->ScrollToStart();
    widget_->ModelChanged();
  }
  void Mouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, QPointF(at), widget_->viewport()->mapToGlobal(QPointF(at)), button,
                      held, modifiers);
    QApplication::sendEvent(widget_->viewport(), &event);
  }
  // A point inside line row of the viewport at the boundary before offset.
  QPoint At(std::int64_t offset) const {
    return widget_->PointOf(offset) + QPoint(0, widget_->LineHeight() / 2);
  }
  QRect Cell(std::int64_t offset) const {
    const QPoint p = widget_->PointOf(offset);
    return QRect(p.x(), p.y(), static_cast<int>(widget_->CharWidth()), widget_->LineHeight());
  }

  DisplayWidget* widget_ = nullptr;
};

void DisplayWidgetTest::init() {
  widget_ = new DisplayWidget;
  QFont font = DesignFont(QStringLiteral("Courier New"), 9, true);
  font.setPixelSize(16);
  QVERIFY(QFontInfo(font).fixedPitch());
  widget_->setFont(font);
  widget_->resize(400, 300);
  widget_->show();
  QVERIFY(QTest::qWaitForWindowExposed(widget_));
  QGuiApplication::clipboard()->clear();
}

void DisplayWidgetTest::cleanup() {
  delete widget_;
  widget_ = nullptr;
}

void DisplayWidgetTest::paintsEachRunInItsColour() {
  SetText("MMMMMM\r\nWWWWWW\r\nHHHHHH");
  DisplayModel& model = widget_->Model();
  model.SetSelStart(0);
  model.SetSelLength(6);
  model.SetSelColor(kRed);
  model.SetSelStart(8);
  model.SetSelLength(6);
  model.SetSelColor(kBlue);
  model.SetSelStart(16);
  model.SetSelLength(3);
  model.SetSelColor(kGreen);
  model.SetSelStart(0);  // nothing selected
  widget_->ModelChanged();

  const QImage image = widget_->viewport()->grab().toImage();
  const int h = widget_->LineHeight();
  const QRect line0(0, 0, image.width(), h);
  const QRect line1(0, h, image.width(), h);
  const QRect line2_green(0, 2 * h, Cell(19).left(), h);
  const QRect line2_black(Cell(19).left(), 2 * h, image.width(), h);
  QVERIFY(Count(image, line0, Reddish) > 20);
  QCOMPARE(Count(image, line0, Bluish), 0);
  QVERIFY(Count(image, line1, Bluish) > 20);
  QCOMPARE(Count(image, line1, Reddish), 0);
  QVERIFY(Count(image, line2_green, Greenish) > 20);
  QCOMPARE(Count(image, line2_black, Greenish), 0);
  QVERIFY(Count(image, line2_black, [](QColor c) { return c.lightness() < 60; }) > 20);
  // Nothing below the last line.
  QCOMPARE(Count(image, QRect(0, 3 * h, image.width(), image.height()),
                 [](QColor c) { return c != Qt::white; }),
           0);
}

void DisplayWidgetTest::paintsTheModelsSelection() {
  SetText("abcdef\r\nghijkl");
  widget_->Model().SetSelStart(2);
  widget_->Model().SetSelLength(2);  // "cd"
  widget_->ModelChanged();
  const QImage image = widget_->viewport()->grab().toImage();
  const QColor highlight = widget_->palette().color(
      widget_->hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
  const auto corner = [&](std::int64_t offset) {
    const QRect c = Cell(offset);
    return image.pixelColor(c.left() + 1, c.top() + 1);
  };
  QCOMPARE(corner(2), highlight);
  QCOMPARE(corner(3), highlight);
  QCOMPARE(corner(1), QColor(Qt::white));
  QCOMPARE(corner(4), QColor(Qt::white));
  QCOMPARE(corner(8), QColor(Qt::white));

  // A selection across the line break marks the break too.
  widget_->Model().SetSelStart(5);
  widget_->Model().SetSelLength(4);  // "f\r\ng"
  widget_->ModelChanged();
  const QImage across = widget_->viewport()->grab().toImage();
  const QRect brk = Cell(6);
  QCOMPARE(across.pixelColor(brk.left() + 1, brk.top() + 1), highlight);
  const QRect g = Cell(8);
  QCOMPARE(across.pixelColor(g.left() + 1, g.top() + 1), highlight);
  const QRect h = Cell(9);
  QCOMPARE(across.pixelColor(h.left() + 1, h.top() + 1), QColor(Qt::white));
}

void DisplayWidgetTest::hitTestingRoundTrips() {
  const std::string text = "hello\r\nworld and more\r\n\r\nend";
  SetText(text);
  for (std::int64_t offset = 0; offset <= static_cast<std::int64_t>(text.size()); ++offset) {
    if (offset > 0 && text[static_cast<std::size_t>(offset - 1)] == '\r') continue;  // inside CR LF
    QCOMPARE(widget_->OffsetAt(At(offset)), offset);
  }
  // Right of a line's end: the end of that line; below the text: the last line.
  QCOMPARE(widget_->OffsetAt(QPoint(390, widget_->LineHeight() / 2)), std::int64_t{5});
  QCOMPARE(widget_->OffsetAt(QPoint(0, 290)), std::int64_t{25});
  QCOMPARE(widget_->OffsetAt(QPoint(390, 290)), static_cast<std::int64_t>(text.size()));
  QCOMPARE(widget_->OffsetAt(QPoint(-30, -30)), std::int64_t{0});
}

void DisplayWidgetTest::mouseSelectsDragsAndExtends() {
  SetText("0123456789\r\nabcdefghij\r\nKLMNOPQRST");
  const DisplayModel& model = widget_->Model();
  Mouse(QEvent::MouseButtonPress, At(3));
  QCOMPARE(model.SelStart(), std::int64_t{3});
  QCOMPARE(model.SelLength(), std::int64_t{0});
  Mouse(QEvent::MouseMove, At(15));
  Mouse(QEvent::MouseButtonRelease, At(15));
  QCOMPARE(model.SelStart(), std::int64_t{3});
  QCOMPARE(model.SelLength(), std::int64_t{12});
  QCOMPARE(widget_->SelectedText(), QStringLiteral("3456789\nabc"));

  // Shift-click extends from where the selection began, on either side.
  Mouse(QEvent::MouseButtonPress, At(26), Qt::ShiftModifier);
  Mouse(QEvent::MouseButtonRelease, At(26), Qt::ShiftModifier);
  QCOMPARE(model.SelStart(), std::int64_t{3});
  QCOMPARE(model.SelLength(), std::int64_t{23});
  Mouse(QEvent::MouseButtonPress, At(1), Qt::ShiftModifier);
  Mouse(QEvent::MouseButtonRelease, At(1), Qt::ShiftModifier);
  QCOMPARE(model.SelStart(), std::int64_t{1});
  QCOMPARE(model.SelLength(), std::int64_t{2});

  // Dragging backwards selects the same way; a move without the button selects nothing.
  Mouse(QEvent::MouseButtonPress, At(20));
  Mouse(QEvent::MouseMove, At(14));
  Mouse(QEvent::MouseButtonRelease, At(14));
  QCOMPARE(model.SelStart(), std::int64_t{14});
  QCOMPARE(model.SelLength(), std::int64_t{6});
  QMouseEvent hover(QEvent::MouseMove, QPointF(At(2)),
                    widget_->viewport()->mapToGlobal(QPointF(At(2))), Qt::NoButton, Qt::NoButton,
                    Qt::NoModifier);
  QApplication::sendEvent(widget_->viewport(), &hover);
  QCOMPARE(model.SelLength(), std::int64_t{6});
}

void DisplayWidgetTest::shiftClickExtendsASelectionSetThroughTheModel() {
  SetText("0123456789");
  Mouse(QEvent::MouseButtonPress, At(8));
  Mouse(QEvent::MouseButtonRelease, At(8));
  // A pass moves the insertion point; a shift-click then extends from there.
  widget_->Model().SetSelStart(4);
  Mouse(QEvent::MouseButtonPress, At(6), Qt::ShiftModifier);
  Mouse(QEvent::MouseButtonRelease, At(6), Qt::ShiftModifier);
  QCOMPARE(widget_->Model().SelStart(), std::int64_t{4});
  QCOMPARE(widget_->Model().SelLength(), std::int64_t{2});
}

void DisplayWidgetTest::doubleClickSelectsAWord() {
  SetText("000 > C0 00 41\r\nAB");
  const QRect c0 = Cell(7);  // inside "C0"
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(c0.center()),
                  widget_->viewport()->mapToGlobal(QPointF(c0.center())), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget_->viewport(), &dbl);
  QCOMPARE(widget_->SelectedText(), QStringLiteral("C0"));
  const QRect blank = Cell(3);  // the blank after "000"
  QMouseEvent on_blank(QEvent::MouseButtonDblClick, QPointF(blank.center()),
                       widget_->viewport()->mapToGlobal(QPointF(blank.center())), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget_->viewport(), &on_blank);
  QCOMPARE(widget_->Model().SelLength(), std::int64_t{0});
}

void DisplayWidgetTest::copyAndSelectAllByKeys() {
  SetText("first\r\nsecond");
  Mouse(QEvent::MouseButtonPress, At(2));
  Mouse(QEvent::MouseMove, At(10));
  Mouse(QEvent::MouseButtonRelease, At(10));
  QTest::keyClick(widget_, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("rst\nsec"));
  QTest::keyClick(widget_, Qt::Key_A, Qt::ControlModifier);
  QCOMPARE(widget_->Model().SelStart(), std::int64_t{0});
  QCOMPARE(widget_->Model().SelLength(), std::int64_t{13});
  QTest::keyClick(widget_, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("first\nsecond"));
}

void DisplayWidgetTest::contextMenuCopiesAndSelectsAll() {
  SetText("abc\r\ndef");
  std::unique_ptr<QMenu> menu = widget_->CreateContextMenu();
  QList<QAction*> actions;
  for (QAction* a : menu->actions()) {
    if (!a->isSeparator()) actions << a;
  }
  QCOMPARE(actions.size(), 2);
  QCOMPARE(actions[0]->text(), QStringLiteral("&Copy"));
  QCOMPARE(actions[0]->isEnabled(), false);  // nothing selected
  QCOMPARE(actions[1]->text(), QStringLiteral("Select &All"));
  actions[1]->trigger();
  QCOMPARE(widget_->Model().SelLength(), std::int64_t{8});

  menu = widget_->CreateContextMenu();
  QAction* copy = menu->actions().first();
  QCOMPARE(copy->isEnabled(), true);
  copy->trigger();
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("abc\ndef"));
}

void DisplayWidgetTest::copyDecodesWindows1252() {
  SetText("\xC0.AB\x80\x9F");
  widget_->SelectAll();
  widget_->Copy();
  QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("À.AB€Ÿ"));
}

void DisplayWidgetTest::typingAndPastingChangeNothing() {
  SetText("keep\r\nthis");
  widget_->Model().SetSelStart(2);
  widget_->setFocus();
  QGuiApplication::clipboard()->setText(QStringLiteral("PASTED"));
  QTest::keyClicks(widget_, QStringLiteral("xyz"));
  QTest::keyClick(widget_, Qt::Key_Backspace);
  QTest::keyClick(widget_, Qt::Key_Delete);
  QTest::keyClick(widget_, Qt::Key_Return);
  QTest::keyClick(widget_, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(widget_, Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(B(widget_->Model().Text()), B("keep\r\nthis"));
}

void DisplayWidgetTest::textDropInsertsNothing() {
  SetText("keep");
  QSignalSpy dropped(widget_, &DisplayWidget::FilesDropped);
  // A drag of text is refused on entering, so its drop goes nowhere.
  const std::unique_ptr<QMimeData> text(TextDrop(QStringLiteral("inserted?")));
  QDragEnterEvent enter_text(At(2), Qt::CopyAction, text.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget_->viewport(), &enter_text);
  QCOMPARE(enter_text.isAccepted(), false);
  QDropEvent drop(QPointF(At(2)), Qt::CopyAction, text.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget_->viewport(), &drop);
  QCOMPARE(B(widget_->Model().Text()), B("keep"));
  QCOMPARE(dropped.count(), 0);

  // Files are handed on, and still nothing gets into the text.
  const std::unique_ptr<QMimeData> files(FileDrop({QStringLiteral("/tmp/a.kss")}));
  QDragEnterEvent enter_files(At(1), Qt::CopyAction, files.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget_->viewport(), &enter_files);
  QCOMPARE(enter_files.isAccepted(), true);
  QDropEvent file_drop(QPointF(At(1)), Qt::CopyAction, files.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget_->viewport(), &file_drop);
  QCOMPARE(dropped.count(), 1);
  QCOMPARE(file_drop.isAccepted(), true);
  QCOMPARE(B(widget_->Model().Text()), B("keep"));
}

void DisplayWidgetTest::scrollRangesFollowTheText() {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "line " + std::to_string(i) + "\r\n";
  text += std::string(500, 'x');
  SetText(text);
  QScrollBar* vertical = widget_->verticalScrollBar();
  QScrollBar* horizontal = widget_->horizontalScrollBar();
  QCOMPARE(vertical->maximum(), 1001 - widget_->PageLines());
  QCOMPARE(vertical->pageStep(), widget_->PageLines());
  QVERIFY(horizontal->maximum() >=
          static_cast<int>(500 * widget_->CharWidth()) - widget_->viewport()->width());
  QVERIFY(horizontal->maximum() <=
          static_cast<int>(502 * widget_->CharWidth()) + 8 - widget_->viewport()->width());

  // Scrolled, the grid follows: the top row is the first visible line.
  vertical->setValue(100);
  QCOMPARE(widget_->FirstVisibleLine(), std::int64_t{100});
  QCOMPARE(widget_->OffsetAt(QPoint(1, 1)), widget_->Model().LineStart(100));
  QCOMPARE(widget_->PointOf(widget_->Model().LineStart(101)).y(), widget_->LineHeight());

  // A short text shrinks the ranges again.
  SetText("short");
  QCOMPARE(vertical->maximum(), 0);
  QCOMPARE(horizontal->maximum(), 0);
  QCOMPARE(vertical->value(), 0);
}

void DisplayWidgetTest::keysScroll() {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "row " + std::to_string(i) + "\r\n";
  SetText(text);
  QScrollBar* vertical = widget_->verticalScrollBar();
  QTest::keyClick(widget_, Qt::Key_Down);
  QCOMPARE(vertical->value(), 1);
  QTest::keyClick(widget_, Qt::Key_PageDown);
  QCOMPARE(vertical->value(), 1 + widget_->PageLines());
  QTest::keyClick(widget_, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(vertical->value(), vertical->maximum());
  QTest::keyClick(widget_, Qt::Key_Home, Qt::ControlModifier);
  QCOMPARE(vertical->value(), 0);
  // Scrolling does not touch the selection.
  QCOMPARE(widget_->Model().SelLength(), std::int64_t{0});
}

void DisplayWidgetTest::aSourceOfBillionsOfLinesScrollsToEveryPlace() {
  const std::int64_t lines = 3000000000;
  const CountedLines source(lines);
  widget_->SetSource(&source);
  QScrollBar* vertical = widget_->verticalScrollBar();
  const std::int64_t last_top = lines + 1 - widget_->PageLines();
  QVERIFY(vertical->maximum() > 0);
  // The end: the last line in view, painted.
  QTest::keyClick(widget_, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(widget_->FirstVisibleLine(), last_top);
  QCOMPARE(widget_->OffsetAt(QPoint(1, 1)), source.LineStart(last_top));
  const QImage end = widget_->viewport()->grab().toImage();
  QVERIFY(Count(end, end.rect(), Bluish) > 50);
  // The thumb in the middle, then a page up: a page of lines, give or take a step.
  vertical->setValue(vertical->maximum() / 2);
  const std::int64_t middle = widget_->FirstVisibleLine();
  QVERIFY(std::abs(middle - last_top / 2) < 10);
  QTest::keyClick(widget_, Qt::Key_PageUp);
  QVERIFY(std::abs(middle - widget_->FirstVisibleLine() - widget_->PageLines()) < 3);
  // Selecting and copying far down: a line and the start of the next.
  widget_->SetSelection(source.LineStart(middle), CountedLines::kWidth + 6);
  widget_->Copy();
  QCOMPARE(QGuiApplication::clipboard()->text(),
           QString::fromStdString(CountedLines::Line(middle) + "\nline"));
}

QTEST_MAIN(DisplayWidgetTest)
#include "display_widget_test.moc"
