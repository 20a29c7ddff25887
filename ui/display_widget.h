// DisplayWidget: the main window's display RichTextBox1, a read-only view of a DisplayModel.
//
// A pass writes hundreds of megabytes of coloured text into the model; the widget never copies
// it. It lays out and paints only the lines in view, in a fixed-pitch font on a grid of equal
// character cells: line n is at y = n * line height, column c at x = c * character width. The
// model's bytes are Windows-1252 and become characters line by line as they are painted.
//
// The model's selection is the widget's selection: a mouse selection sets the model's selection
// start and length, and a selection set through the model (the coloured append of a pass) is
// what the widget paints. The user can select, copy and select all, but cannot type. Dropped
// files are passed on through FilesDropped; nothing dropped is ever inserted.
//
// Whoever changes the model calls ModelChanged() afterwards (once after a whole pass is enough):
// the scroll ranges follow the text and the view repaints.
//
// The colours are the design's and the background is white whatever the palette or style sheet
// says: black stamp lines and blue dumps must stay readable under a dark desktop theme.
#ifndef PACKSCOPE_UI_DISPLAY_WIDGET_H_
#define PACKSCOPE_UI_DISPLAY_WIDGET_H_

#include <QAbstractScrollArea>
#include <QString>
#include <cstdint>
#include <memory>
#include <string_view>

#include "render/display_model.h"

class QMenu;
class QMimeData;
class QDropEvent;

namespace packscope {

// True when a drag carries at least one local file: the only drags the window takes.
bool CarriesFiles(const QMimeData& data);

// Takes a drag or drop event's proposed action when it carries files, and ignores it otherwise.
void AcceptFilesOnly(QDropEvent& event);

class DisplayWidget : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit DisplayWidget(QWidget* parent = nullptr);

  DisplayModel& Model() { return model_; }
  const DisplayModel& Model() const { return model_; }

  // The model changed: scroll ranges follow its text and the view repaints.
  void ModelChanged();
  // Back to the first line and column (a new text was set).
  void ScrollToStart();

  // The selection as the clipboard gets it: Windows-1252 decoded, line breaks as LF.
  QString SelectedText() const;
  void Copy() const;
  void SelectAll();
  // The context menu: Copy (while something is selected) and Select All.
  std::unique_ptr<QMenu> CreateContextMenu();

  // Geometry of the character grid, in viewport coordinates.
  qreal CharWidth() const { return char_width_; }
  int LineHeight() const { return line_height_; }
  // The offset of the character boundary nearest to point (clamped to the text).
  std::int64_t OffsetAt(QPoint point) const;
  // Top left corner of the cell of offset.
  QPoint PointOf(std::int64_t offset) const;
  std::int64_t FirstVisibleLine() const;
  // Whole lines that fit into the viewport (at least 1).
  int PageLines() const;

  // Where the view stands among the frames' blocks. Each frame's block begins with its stamp
  // line, the only black text in it (dump blue or red, characters and separator green), so the
  // black runs of the model are the block starts. Place: the block at the top of the view and its
  // line there, the horizontal scroll position, and each end of the selection as a block and an
  // offset into it.
  struct FramePlace {
    std::int64_t top_block = 0;
    std::int64_t top_line_in_block = 0;
    int horizontal = 0;
    std::int64_t sel_begin_block = 0;
    std::int64_t sel_begin_offset = 0;
    std::int64_t sel_end_block = 0;
    std::int64_t sel_end_offset = 0;
  };
  FramePlace CurrentFramePlace() const;
  // The same place in a new text of the same frames (another view of them): the block at the top
  // of the view again, and the selection in the same blocks, each end clamped to its block. A
  // block that is no longer there (fewer frames) gives the last one.
  void GoToFramePlace(const FramePlace& place);

 signals:
  // Something was dropped on the display; the receiver decides what it holds.
  void FilesDropped(const QMimeData& data);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void UpdateMetrics();
  void UpdateScrollBars();
  // Selects from anchor to active (either order) and repaints.
  void Select(std::int64_t anchor, std::int64_t active);
  // The anchor of the current selection: where the user began it, or the model's selection
  // start when the selection was set some other way since.
  std::int64_t Anchor() const;
  // The offset of the character cell under point, or of the nearest boundary.
  std::int64_t HitTest(QPoint point, bool nearest_boundary) const;
  qreal ColumnX(std::int64_t column) const;
  // Paints the visible part of one line whose cells start at y = top.
  void PaintLine(QPainter& painter, std::int64_t line, int top) const;
  // Draws bytes on the grid from x on.
  void DrawChars(QPainter& painter, std::string_view bytes, qreal x, int baseline) const;

  DisplayModel model_;
  qreal char_width_ = 8;
  int line_height_ = 16;
  int ascent_ = 12;
  // The mouse selection: where it began, and the selection the widget set last.
  std::int64_t anchor_ = 0;
  std::int64_t set_start_ = -1;
  std::int64_t set_length_ = -1;
  bool selecting_ = false;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_DISPLAY_WIDGET_H_
