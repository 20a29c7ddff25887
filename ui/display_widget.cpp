#include "ui/display_widget.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

#include "qt/qt_text.h"
#include "ui/design.h"

namespace packscope {
namespace {

// Blank space left of the first column, as a text box has.
constexpr int kMargin = 2;

// The display's background, as designed (the text colours are chosen for it).
constexpr QRgb kBackground = 0xFFFFFF;

int ClampToInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX));
}

bool IsWordByte(char c) { return c != ' ' && c != '\r' && c != '\n' && c != '\t'; }

// Where each frame's block begins: the starts of the black runs.
std::vector<std::int64_t> BlockStarts(const DisplayModel& model) {
  std::vector<std::int64_t> starts;
  for (const DisplayModel::Run& run : model.Runs()) {
    if (run.color == kBlack) starts.push_back(run.start);
  }
  return starts;
}

// The block that holds offset (0 before the first block).
std::int64_t BlockOf(const std::vector<std::int64_t>& starts, std::int64_t offset) {
  const auto after = std::upper_bound(starts.begin(), starts.end(), offset);
  return after == starts.begin() ? 0 : static_cast<std::int64_t>(after - starts.begin()) - 1;
}

// Control characters (C0, DEL, and the C1 codes that stand for the bytes Windows-1252 leaves
// undefined) have no glyph worth painting; they take a blank cell.
QChar Printable(QChar c) {
  const char16_t u = c.unicode();
  return u < 0x20 || (u >= 0x7F && u < 0xA0) ? QChar(u' ') : c;
}

}  // namespace

bool CarriesFiles(const QMimeData& data) {
  if (!data.hasUrls()) return false;
  const QList<QUrl> urls = data.urls();
  return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void AcceptFilesOnly(QDropEvent& event) {
  if (CarriesFiles(*event.mimeData())) {
    event.acceptProposedAction();
  } else {
    event.ignore();
  }
}

DisplayWidget::DisplayWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  // paintEvent fills the background itself, so that no palette or style sheet can darken it.
  viewport()->setAutoFillBackground(false);
  viewport()->setCursor(Qt::IBeamCursor);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  UpdateMetrics();
  UpdateScrollBars();
}

void DisplayWidget::ModelChanged() {
  UpdateScrollBars();
  viewport()->update();
}

void DisplayWidget::ScrollToStart() {
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
}

QString DisplayWidget::SelectedText() const {
  QString text = FromCp1252(model_.SelectedText());
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

void DisplayWidget::Copy() const {
  if (model_.SelLength() == 0) return;
  QGuiApplication::clipboard()->setText(SelectedText());
}

void DisplayWidget::SelectAll() { Select(0, model_.Size()); }

std::unique_ptr<QMenu> DisplayWidget::CreateContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  QAction* copy = menu->addAction(tr("&Copy"), this, &DisplayWidget::Copy);
  copy->setEnabled(model_.SelLength() > 0);
  menu->addSeparator();
  QAction* select_all = menu->addAction(tr("Select &All"), this, &DisplayWidget::SelectAll);
  select_all->setEnabled(model_.Size() > 0);
  return menu;
}

std::int64_t DisplayWidget::FirstVisibleLine() const { return verticalScrollBar()->value(); }

DisplayWidget::FramePlace DisplayWidget::CurrentFramePlace() const {
  const std::vector<std::int64_t> starts = BlockStarts(model_);
  FramePlace place;
  place.horizontal = horizontalScrollBar()->value();
  if (starts.empty()) return place;
  const std::int64_t top = model_.LineStart(FirstVisibleLine());
  place.top_block = BlockOf(starts, top);
  place.top_line_in_block =
      FirstVisibleLine() - model_.LineOf(starts[static_cast<std::size_t>(place.top_block)]);
  const auto locate = [&](std::int64_t offset, std::int64_t& block, std::int64_t& in_block) {
    block = BlockOf(starts, offset);
    in_block = offset - starts[static_cast<std::size_t>(block)];
  };
  locate(model_.SelStart(), place.sel_begin_block, place.sel_begin_offset);
  locate(model_.SelStart() + model_.SelLength(), place.sel_end_block, place.sel_end_offset);
  return place;
}

void DisplayWidget::GoToFramePlace(const FramePlace& place) {
  const std::vector<std::int64_t> starts = BlockStarts(model_);
  UpdateScrollBars();
  horizontalScrollBar()->setValue(place.horizontal);
  if (starts.empty()) return;
  const auto count = static_cast<std::int64_t>(starts.size());
  // Start and end of a block, as offsets.
  const auto bounds = [&](std::int64_t block) {
    const std::int64_t b = std::clamp<std::int64_t>(block, 0, count - 1);
    const std::int64_t begin = starts[static_cast<std::size_t>(b)];
    const std::int64_t end =
        b + 1 < count ? starts[static_cast<std::size_t>(b + 1)] : model_.Size();
    return std::pair{begin, end};
  };
  const auto [top_begin, top_end] = bounds(place.top_block);
  const std::int64_t first_line = model_.LineOf(top_begin);
  const std::int64_t last_line = std::max(first_line, model_.LineOf(top_end) - 1);
  verticalScrollBar()->setValue(ClampToInt(
      std::min(first_line + std::max<std::int64_t>(place.top_line_in_block, 0), last_line)));

  const auto offset = [&](std::int64_t block, std::int64_t in_block) {
    const auto [begin, end] = bounds(block);
    return block >= count ? end : std::clamp(begin + in_block, begin, end);
  };
  const std::int64_t sel_begin = offset(place.sel_begin_block, place.sel_begin_offset);
  const std::int64_t sel_end = offset(place.sel_end_block, place.sel_end_offset);
  model_.SetSelStart(sel_begin);
  model_.SetSelLength(std::max<std::int64_t>(sel_end - sel_begin, 0));
  viewport()->update();
}

int DisplayWidget::PageLines() const { return std::max(1, viewport()->height() / line_height_); }

qreal DisplayWidget::ColumnX(std::int64_t column) const {
  return kMargin + static_cast<qreal>(column) * char_width_ - horizontalScrollBar()->value();
}

std::int64_t DisplayWidget::OffsetAt(QPoint point) const { return HitTest(point, true); }

std::int64_t DisplayWidget::HitTest(QPoint point, bool nearest_boundary) const {
  const std::int64_t lines = model_.LineCount();
  std::int64_t line =
      FirstVisibleLine() +
      static_cast<std::int64_t>(std::floor(static_cast<double>(point.y()) / line_height_));
  line = std::clamp<std::int64_t>(line, 0, lines - 1);
  const double column_x =
      (point.x() - kMargin + horizontalScrollBar()->value()) / static_cast<double>(char_width_);
  auto column =
      static_cast<std::int64_t>(nearest_boundary ? std::round(column_x) : std::floor(column_x));
  const auto length = static_cast<std::int64_t>(model_.LineText(line).size());
  column = std::clamp<std::int64_t>(column, 0, length);
  return model_.LineStart(line) + column;
}

QPoint DisplayWidget::PointOf(std::int64_t offset) const {
  offset = std::clamp<std::int64_t>(offset, 0, model_.Size());
  const std::int64_t line = model_.LineOf(offset);
  const std::int64_t column = offset - model_.LineStart(line);
  return QPoint(static_cast<int>(std::lround(ColumnX(column))),
                static_cast<int>((line - FirstVisibleLine()) * line_height_));
}

void DisplayWidget::UpdateMetrics() {
  const QFontMetricsF metrics(font());
  // The advance of a long run, so that the grid matches the way a whole line is laid out.
  char_width_ = std::max<qreal>(1, metrics.horizontalAdvance(QString(100, u'0')) / 100);
  line_height_ = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
  ascent_ = static_cast<int>(std::ceil(metrics.ascent()));
}

void DisplayWidget::UpdateScrollBars() {
  const int page = PageLines();
  QScrollBar* vertical = verticalScrollBar();
  vertical->setRange(0, ClampToInt(model_.LineCount() - page));
  vertical->setPageStep(page);
  vertical->setSingleStep(1);

  // One cell more than the longest line, for the selected line break.
  const auto width = static_cast<std::int64_t>(
      std::ceil(static_cast<double>(model_.MaxLineLength() + 1) * char_width_) + 2 * kMargin);
  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setRange(0, ClampToInt(width - viewport()->width()));
  horizontal->setPageStep(viewport()->width());
  horizontal->setSingleStep(std::max(1, static_cast<int>(char_width_)));
}

void DisplayWidget::Select(std::int64_t anchor, std::int64_t active) {
  const std::int64_t begin = std::min(anchor, active);
  model_.SetSelStart(begin);
  model_.SetSelLength(std::max(anchor, active) - begin);
  anchor_ = anchor;
  set_start_ = model_.SelStart();
  set_length_ = model_.SelLength();
  viewport()->update();
}

std::int64_t DisplayWidget::Anchor() const {
  if (model_.SelStart() == set_start_ && model_.SelLength() == set_length_) return anchor_;
  return model_.SelStart();
}

void DisplayWidget::paintEvent(QPaintEvent* event) {
  (void)event;
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), QColor(kBackground));
  painter.setFont(font());
  const std::int64_t lines = model_.LineCount();
  const std::int64_t first = FirstVisibleLine();
  const std::int64_t past = std::min(lines, first + viewport()->height() / line_height_ + 2);
  for (std::int64_t line = first; line < past; ++line) {
    PaintLine(painter, line, static_cast<int>((line - first) * line_height_));
  }
}

void DisplayWidget::PaintLine(QPainter& painter, std::int64_t line, int top) const {
  const std::string_view text = model_.LineText(line);
  const std::int64_t line_start = model_.LineStart(line);
  const auto length = static_cast<std::int64_t>(text.size());
  const int h = horizontalScrollBar()->value();
  const auto first_column = std::clamp<std::int64_t>(
      static_cast<std::int64_t>(std::floor((h - kMargin) / char_width_)), 0, length);
  const auto past_column = std::clamp<std::int64_t>(
      static_cast<std::int64_t>(std::ceil((h + viewport()->width()) / char_width_)) + 1, 0, length);

  const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
  const QColor highlight = palette().color(group, QPalette::Highlight);
  const QColor highlighted_text = palette().color(group, QPalette::HighlightedText);
  const std::int64_t sel_begin = model_.SelStart();
  const std::int64_t sel_end = sel_begin + model_.SelLength();
  const int baseline = top + ascent_;

  const std::vector<DisplayModel::Run>& runs = model_.Runs();
  std::int64_t pos = line_start + first_column;
  const std::int64_t end = line_start + past_column;
  std::size_t run = pos < model_.Size() ? model_.RunIndexAt(pos) : 0;
  while (pos < end) {
    const std::int64_t run_end = run + 1 < runs.size() ? runs[run + 1].start : model_.Size();
    std::int64_t piece_end = std::min(end, run_end);
    if (pos < sel_begin && sel_begin < piece_end) piece_end = sel_begin;
    if (pos < sel_end && sel_end < piece_end) piece_end = sel_end;
    const bool selected = pos >= sel_begin && pos < sel_end;
    const qreal x = ColumnX(pos - line_start);
    if (selected) {
      painter.fillRect(
          QRectF(x, top, static_cast<qreal>(piece_end - pos) * char_width_, line_height_),
          highlight);
      painter.setPen(highlighted_text);
    } else {
      painter.setPen(ToQColor(runs[run].color));
    }
    DrawChars(painter,
              text.substr(static_cast<std::size_t>(pos - line_start),
                          static_cast<std::size_t>(piece_end - pos)),
              x, baseline);
    pos = piece_end;
    if (pos >= run_end) ++run;
  }
  // A selected line break shows as one highlighted cell behind the text.
  const std::int64_t line_end = line_start + length;
  if (sel_begin <= line_end && line_end < sel_end) {
    painter.fillRect(QRectF(ColumnX(length), top, char_width_, line_height_), highlight);
  }
}

void DisplayWidget::DrawChars(QPainter& painter, std::string_view bytes, qreal x,
                              int baseline) const {
  const QString chars = FromCp1252(bytes);
  qsizetype i = 0;
  while (i < chars.size()) {
    // Plain ASCII in one call; any other character on its own, so that a glyph from another
    // font cannot push the rest of the line off the grid.
    qsizetype j = i;
    while (j < chars.size() && chars[j].unicode() < 0x80) ++j;
    if (j == i) j = i + 1;
    QString piece = chars.mid(i, j - i);
    for (QChar& c : piece) c = Printable(c);
    painter.drawText(QPointF(x + static_cast<qreal>(i) * char_width_, baseline), piece);
    i = j;
  }
}

void DisplayWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void DisplayWidget::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    UpdateMetrics();
    ModelChanged();
  }
}

void DisplayWidget::scrollContentsBy(int dx, int dy) {
  (void)dx;
  (void)dy;
  viewport()->update();
}

void DisplayWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  const std::int64_t offset = OffsetAt(event->position().toPoint());
  if (event->modifiers() & Qt::ShiftModifier) {
    Select(Anchor(), offset);
  } else {
    Select(offset, offset);
  }
  selecting_ = true;
}

void DisplayWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_ || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint point = event->position().toPoint();
  // Dragging past an edge scrolls towards it.
  if (point.y() < 0) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  if (point.y() >= viewport()->height()) {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  }
  if (point.x() < 0) horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  if (point.x() >= viewport()->width()) {
    horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  }
  Select(anchor_, OffsetAt(point));
}

void DisplayWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) selecting_ = false;
}

void DisplayWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || model_.Size() == 0) return;
  const std::string& text = model_.Text();
  std::int64_t begin = HitTest(event->position().toPoint(), false);
  std::int64_t end = begin;
  if (end < model_.Size() && IsWordByte(text[static_cast<std::size_t>(end)])) {
    while (begin > 0 && IsWordByte(text[static_cast<std::size_t>(begin - 1)])) --begin;
    while (end < model_.Size() && IsWordByte(text[static_cast<std::size_t>(end)])) ++end;
  }
  Select(begin, end);
  selecting_ = false;
}

void DisplayWidget::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    Copy();
  } else if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
  } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
    ScrollToStart();
  } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    horizontalScrollBar()->setValue(0);
  } else if (event->key() == Qt::Key_Home && event->modifiers() == Qt::NoModifier) {
    horizontalScrollBar()->setValue(0);
  } else if (event->key() == Qt::Key_End && event->modifiers() == Qt::NoModifier) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
  } else {
    // Arrows and page keys scroll; everything else is ignored: the display takes no typing.
    QAbstractScrollArea::keyPressEvent(event);
  }
}

void DisplayWidget::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu = CreateContextMenu();
  menu->exec(event->globalPos());
}

void DisplayWidget::dragEnterEvent(QDragEnterEvent* event) { AcceptFilesOnly(*event); }

void DisplayWidget::dragMoveEvent(QDragMoveEvent* event) { AcceptFilesOnly(*event); }

void DisplayWidget::dropEvent(QDropEvent* event) {
  AcceptFilesOnly(*event);
  emit FilesDropped(*event->mimeData());
}

}  // namespace packscope
