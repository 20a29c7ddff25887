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

// The vertical scroll bar's range at most: QScrollBar counts in int.
constexpr std::int64_t kMostScrollSteps = std::int64_t{1} << 30;

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

void DisplayWidget::SetSource(const DisplaySource* source) {
  source_ = source;
  mirror_made_ = false;
  mirror_.Clear();
  sel_start_ = 0;
  sel_length_ = 0;
  set_start_ = -1;
  UpdateScrollBars();
  ScrollToStart();
  viewport()->update();
}

const DisplaySource& DisplayWidget::Source() const {
  return source_ != nullptr ? *source_ : static_cast<const DisplaySource&>(model_);
}

void DisplayWidget::SourceChanged(bool follow) {
  if (source_ != nullptr) {
    mirror_made_ = false;
    const std::int64_t size = source_->Size();
    sel_start_ = std::clamp<std::int64_t>(sel_start_, 0, size);
    sel_length_ = std::clamp<std::int64_t>(sel_length_, 0, size - sel_start_);
  }
  UpdateScrollBars(follow);
  viewport()->update();
}

void DisplayWidget::ModelChanged() {
  if (source_ != nullptr && mirror_made_) {
    sel_start_ = mirror_.SelStart();
    sel_length_ = mirror_.SelLength();
  }
  SourceChanged();
}

DisplayModel& DisplayWidget::Model() {
  if (source_ == nullptr) return model_;
  MakeMirror();
  return mirror_;
}

const DisplayModel& DisplayWidget::Model() const {
  if (source_ == nullptr) return model_;
  MakeMirror();
  return mirror_;
}

void DisplayWidget::MakeMirror() const {
  // Made once per text; the selection is the view's then, and both change together after.
  if (!mirror_made_) {
    const DisplaySource& source = *source_;
    std::string text;
    source.AppendText(0, source.Size(), source.Size(), text);
    mirror_.SetText(text);
    // The colours, line by line, as runs from where they change.
    std::vector<ColorRun> changes;
    std::vector<ColorRun> runs;
    for (std::int64_t line = 0, lines = source.LineCount(); line < lines; ++line) {
      const std::int64_t start = source.LineStart(line);
      source.LineColors(line, runs);
      for (const ColorRun& run : runs) {
        if (changes.empty() || changes.back().color != run.color) {
          changes.push_back({std::max(run.start, start), run.color});
        }
      }
    }
    const auto size = static_cast<std::int64_t>(text.size());
    for (std::size_t i = 0; i < changes.size(); ++i) {
      const std::int64_t end = i + 1 < changes.size() ? changes[i + 1].start : size;
      if (changes[i].color == kBlack || end <= changes[i].start) continue;
      mirror_.SetSelStart(changes[i].start);
      mirror_.SetSelLength(end - changes[i].start);
      mirror_.SetSelColor(changes[i].color);
    }
    mirror_.SetSelStart(sel_start_);
    mirror_.SetSelLength(sel_length_);
    mirror_made_ = true;
  }
}

void DisplayWidget::ScrollToStart() {
  verticalScrollBar()->setValue(0);
  horizontalScrollBar()->setValue(0);
}

std::int64_t DisplayWidget::SelStart() const {
  return source_ != nullptr ? sel_start_ : model_.SelStart();
}

std::int64_t DisplayWidget::SelLength() const {
  return source_ != nullptr ? sel_length_ : model_.SelLength();
}

void DisplayWidget::SetSelection(std::int64_t start, std::int64_t length) {
  StoreSelection(start, length);
  viewport()->update();
}

void DisplayWidget::StoreSelection(std::int64_t start, std::int64_t length) {
  if (source_ == nullptr) {
    model_.SetSelStart(start);
    model_.SetSelLength(length);
    return;
  }
  const std::int64_t size = source_->Size();
  sel_start_ = std::clamp<std::int64_t>(start, 0, size);
  sel_length_ = std::clamp<std::int64_t>(length, 0, size - sel_start_);
  if (mirror_made_) {
    mirror_.SetSelStart(sel_start_);
    mirror_.SetSelLength(sel_length_);
  }
}

QString DisplayWidget::SelectedText() const {
  std::string bytes;
  Source().AppendText(SelStart(), SelStart() + SelLength(), SelLength(), bytes);
  QString text = FromCp1252(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

void DisplayWidget::Copy() {
  const std::int64_t length = SelLength();
  if (length == 0) return;
  if (length > copy_limit_) {
    const auto mb = [](std::int64_t n) { return QString::number((n + (1 << 20) - 1) >> 20); };
    emit CopyRefused(QStringLiteral("The selection was not copied: it holds %1 MB of text, more "
                                    "than the %2 MB the clipboard takes at once.")
                         .arg(mb(length), mb(copy_limit_)));
    return;
  }
  QGuiApplication::clipboard()->setText(SelectedText());
}

void DisplayWidget::SelectAll() { Select(0, Source().Size()); }

std::unique_ptr<QMenu> DisplayWidget::CreateContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  QAction* copy = menu->addAction(tr("&Copy"), this, &DisplayWidget::Copy);
  copy->setEnabled(SelLength() > 0);
  menu->addSeparator();
  QAction* select_all = menu->addAction(tr("Select &All"), this, &DisplayWidget::SelectAll);
  select_all->setEnabled(Source().Size() > 0);
  return menu;
}

std::int64_t DisplayWidget::FirstVisibleLine() const {
  return std::min(verticalScrollBar()->value() * line_step_, last_top_);
}

void DisplayWidget::ScrollToLine(std::int64_t line) {
  verticalScrollBar()->setValue(
      ClampToInt((std::clamp<std::int64_t>(line, 0, last_top_) + line_step_ - 1) / line_step_));
}

int DisplayWidget::PageLines() const { return std::max(1, viewport()->height() / line_height_); }

qreal DisplayWidget::ColumnX(std::int64_t column) const {
  return kMargin + static_cast<qreal>(column) * char_width_ - horizontalScrollBar()->value();
}

std::int64_t DisplayWidget::OffsetAt(QPoint point) const { return HitTest(point, true); }

std::int64_t DisplayWidget::HitTest(QPoint point, bool nearest_boundary) const {
  const DisplaySource& source = Source();
  const std::int64_t lines = source.LineCount();
  std::int64_t line =
      FirstVisibleLine() +
      static_cast<std::int64_t>(std::floor(static_cast<double>(point.y()) / line_height_));
  line = std::clamp<std::int64_t>(line, 0, lines - 1);
  const double column_x =
      (point.x() - kMargin + horizontalScrollBar()->value()) / static_cast<double>(char_width_);
  auto column =
      static_cast<std::int64_t>(nearest_boundary ? std::round(column_x) : std::floor(column_x));
  const auto length = static_cast<std::int64_t>(source.LineText(line).size());
  column = std::clamp<std::int64_t>(column, 0, length);
  return source.LineStart(line) + column;
}

QPoint DisplayWidget::PointOf(std::int64_t offset) const {
  const DisplaySource& source = Source();
  offset = std::clamp<std::int64_t>(offset, 0, source.Size());
  const std::int64_t line = source.LineOf(offset);
  const std::int64_t column = offset - source.LineStart(line);
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

void DisplayWidget::UpdateScrollBars(bool follow) {
  const DisplaySource& source = Source();
  const int page = PageLines();
  QScrollBar* vertical = verticalScrollBar();
  const bool at_end = follow && vertical->maximum() > 0 && vertical->value() == vertical->maximum();
  last_top_ = std::max<std::int64_t>(source.LineCount() - page, 0);
  line_step_ = (last_top_ + kMostScrollSteps - 1) / kMostScrollSteps;
  line_step_ = std::max<std::int64_t>(line_step_, 1);
  vertical->setRange(0, ClampToInt((last_top_ + line_step_ - 1) / line_step_));
  vertical->setPageStep(std::max(1, ClampToInt(page / line_step_)));
  vertical->setSingleStep(1);
  if (at_end) vertical->setValue(vertical->maximum());

  // One cell more than the longest line, for the selected line break.
  const auto width = static_cast<std::int64_t>(
      std::ceil(static_cast<double>(source.MaxLineLength() + 1) * char_width_) + 2 * kMargin);
  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setRange(0, ClampToInt(width - viewport()->width()));
  horizontal->setPageStep(viewport()->width());
  horizontal->setSingleStep(std::max(1, static_cast<int>(char_width_)));
}

void DisplayWidget::Select(std::int64_t anchor, std::int64_t active) {
  const std::int64_t begin = std::min(anchor, active);
  StoreSelection(begin, std::max(anchor, active) - begin);
  anchor_ = anchor;
  set_start_ = SelStart();
  set_length_ = SelLength();
  viewport()->update();
}

std::int64_t DisplayWidget::Anchor() const {
  if (SelStart() == set_start_ && SelLength() == set_length_) return anchor_;
  return SelStart();
}

void DisplayWidget::paintEvent(QPaintEvent* event) {
  (void)event;
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), QColor(kBackground));
  painter.setFont(font());
  const std::int64_t lines = Source().LineCount();
  const std::int64_t first = FirstVisibleLine();
  const std::int64_t past = std::min(lines, first + viewport()->height() / line_height_ + 2);
  for (std::int64_t line = first; line < past; ++line) {
    PaintLine(painter, line, static_cast<int>((line - first) * line_height_));
  }
}

void DisplayWidget::PaintLine(QPainter& painter, std::int64_t line, int top) const {
  const DisplaySource& source = Source();
  const std::int64_t line_start = source.LineStart(line);
  source.LineColors(line, runs_);
  // A line's text lasts only until the source's next call.
  const std::string text(source.LineText(line));
  const auto length = static_cast<std::int64_t>(text.size());
  const int h = horizontalScrollBar()->value();
  const auto first_column = std::clamp<std::int64_t>(
      static_cast<std::int64_t>(std::floor((h - kMargin) / char_width_)), 0, length);
  const auto past_column = std::clamp<std::int64_t>(
      static_cast<std::int64_t>(std::ceil((h + viewport()->width()) / char_width_)) + 1, 0, length);

  const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
  const QColor highlight = palette().color(group, QPalette::Highlight);
  const QColor highlighted_text = palette().color(group, QPalette::HighlightedText);
  const std::int64_t sel_begin = SelStart();
  const std::int64_t sel_end = sel_begin + SelLength();
  const int baseline = top + ascent_;

  std::int64_t pos = line_start + first_column;
  const std::int64_t end = line_start + past_column;
  std::size_t run = 0;
  while (run + 1 < runs_.size() && runs_[run + 1].start <= pos) ++run;
  while (pos < end) {
    const std::int64_t run_end = run + 1 < runs_.size() ? runs_[run + 1].start : end;
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
      painter.setPen(ToQColor(runs_.empty() ? kBlack : runs_[run].color));
    }
    DrawChars(painter,
              std::string_view(text).substr(static_cast<std::size_t>(pos - line_start),
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
  // A view at the end stays there (a scroll bar that comes or goes changes the page).
  UpdateScrollBars(/*follow=*/true);
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
  const DisplaySource& source = Source();
  if (event->button() != Qt::LeftButton || source.Size() == 0) return;
  std::int64_t begin = HitTest(event->position().toPoint(), false);
  std::int64_t end = begin;
  // Words never span lines: line breaks end them.
  const std::int64_t line = source.LineOf(begin);
  const std::int64_t line_start = source.LineStart(line);
  const std::string text(source.LineText(line));
  const auto column = [&](std::int64_t offset) {
    return static_cast<std::size_t>(offset - line_start);
  };
  const auto line_end = line_start + static_cast<std::int64_t>(text.size());
  if (end < line_end && IsWordByte(text[column(end)])) {
    while (begin > line_start && IsWordByte(text[column(begin - 1)])) --begin;
    while (end < line_end && IsWordByte(text[column(end)])) ++end;
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
