// DisplayWidget: the main window's display RichTextBox1, a read-only view of a text in lines
// (render/display_source.h): the widget's own DisplayModel, which a Screen pass writes into, or a
// text made on demand from a capture's frame index (the main window's usual case), which may
// stand for gigabytes of text and millions of lines the widget never holds.
//
// It lays out and paints only the lines in view, in a fixed-pitch font on a grid of equal
// character cells: line n is at y = n * line height, column c at x = c * character width. The
// text's bytes are Windows-1252 and become characters line by line as they are painted. The
// vertical scroll bar counts lines; beyond what its range holds it counts steps of several lines.
//
// The user can select, copy and select all, but cannot type. A selection is characters from an
// offset; with the own model it is the model's selection, so that a selection set through the
// model (the coloured append of a pass) is what the widget paints. A copy takes the selected
// characters from the source; one larger than the copy limit (256 MB) is refused with a message
// (CopyRefused) instead of filling the memory. Dropped files are passed on through FilesDropped;
// nothing dropped is ever inserted.
//
// Whoever changes the text calls ModelChanged() or SourceChanged() afterwards: the scroll ranges
// follow the text and the view repaints.
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
#include <vector>

#include "render/display_model.h"
#include "render/display_source.h"

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
  // Copies of more characters than this are refused.
  static constexpr std::int64_t kCopyLimit = std::int64_t{256} << 20;

  explicit DisplayWidget(QWidget* parent = nullptr);

  // The text shown from now on: source (not owned; it must stay until another is set), or the
  // widget's own model (null). The view goes to the start, nothing selected.
  void SetSource(const DisplaySource* source);
  const DisplaySource& Source() const;
  bool ShowsOwnModel() const { return source_ == nullptr; }
  // The source's text changed (laid out further, another view of the same frames, another
  // text): the selection stays within it, the scroll ranges follow, the view repaints. follow:
  // a view scrolled to the end of a longer text stays at its end.
  void SourceChanged(bool follow = false);

  // The own model: the text shown while no source is set. While one is, a copy of its text held
  // whole, made when asked (for tests and small texts); a selection set through that copy
  // reaches the view with ModelChanged().
  DisplayModel& Model();
  const DisplayModel& Model() const;
  // The own model, also while a source is shown.
  DisplayModel& OwnModel() { return model_; }
  // The model changed: as SourceChanged, and a selection set through Model() is taken.
  void ModelChanged();
  // Back to the first line and column (a new text was set).
  void ScrollToStart();

  // The selection: its first character and its length.
  std::int64_t SelStart() const;
  std::int64_t SelLength() const;
  void SetSelection(std::int64_t start, std::int64_t length);

  // The selection as the clipboard gets it: Windows-1252 decoded, line breaks as LF.
  QString SelectedText() const;
  // Copies the selection, unless it is longer than the copy limit (then CopyRefused).
  void Copy();
  void SelectAll();
  // The context menu: Copy (while something is selected) and Select All.
  std::unique_ptr<QMenu> CreateContextMenu();
  // The copy limit (tests use a small one).
  void SetCopyLimit(std::int64_t characters) { copy_limit_ = characters; }

  // Geometry of the character grid, in viewport coordinates.
  qreal CharWidth() const { return char_width_; }
  int LineHeight() const { return line_height_; }
  // The offset of the character boundary nearest to point (clamped to the text).
  std::int64_t OffsetAt(QPoint point) const;
  // Top left corner of the cell of offset.
  QPoint PointOf(std::int64_t offset) const;
  std::int64_t FirstVisibleLine() const;
  // Scrolls so that line is the first visible one (as far as the text allows).
  void ScrollToLine(std::int64_t line);
  // Whole lines that fit into the viewport (at least 1).
  int PageLines() const;

 signals:
  // Something was dropped on the display; the receiver decides what it holds.
  void FilesDropped(const QMimeData& data);
  // A copy was refused; message says why (UTF-8 words for the user).
  void CopyRefused(const QString& message);

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
  void UpdateScrollBars(bool follow = false);
  // Selects from anchor to active (either order) and repaints.
  void Select(std::int64_t anchor, std::int64_t active);
  void StoreSelection(std::int64_t start, std::int64_t length);
  // The anchor of the current selection: where the user began it, or the selection's start when
  // it was set some other way since.
  std::int64_t Anchor() const;
  // The offset of the character cell under point, or of the nearest boundary.
  std::int64_t HitTest(QPoint point, bool nearest_boundary) const;
  qreal ColumnX(std::int64_t column) const;
  // Paints the visible part of one line whose cells start at y = top.
  void PaintLine(QPainter& painter, std::int64_t line, int top) const;
  // Draws bytes on the grid from x on.
  void DrawChars(QPainter& painter, std::string_view bytes, qreal x, int baseline) const;
  // The copy of the source's text that Model() gives while a source is shown.
  void MakeMirror() const;

  DisplayModel model_;
  const DisplaySource* source_ = nullptr;
  mutable DisplayModel mirror_;
  mutable bool mirror_made_ = false;
  // The selection while a source is shown (with the own model, the model's).
  std::int64_t sel_start_ = 0;
  std::int64_t sel_length_ = 0;
  std::int64_t copy_limit_ = kCopyLimit;
  // Lines per step of the vertical scroll bar (1 unless the text has more lines than its range
  // holds), and the first visible line at the scroll bar's end.
  std::int64_t line_step_ = 1;
  std::int64_t last_top_ = 0;
  qreal char_width_ = 8;
  int line_height_ = 16;
  int ascent_ = 12;
  // The mouse selection: where it began, and the selection the widget set last.
  std::int64_t anchor_ = 0;
  std::int64_t set_start_ = -1;
  std::int64_t set_length_ = -1;
  bool selecting_ = false;
  mutable std::vector<ColorRun> runs_;  // scratch of PaintLine
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_DISPLAY_WIDGET_H_
