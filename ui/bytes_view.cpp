#include "ui/bytes_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace packscope {
namespace {

constexpr int kPerLine = 16;
constexpr int kLineChars = 6 + 3 * kPerLine + 2 + kPerLine;

QChar Printable(std::uint8_t b) { return b >= 0x20 && b <= 0x7E ? QChar(b) : QChar('.'); }

}  // namespace

BytesView::BytesView(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("BytesView"));
  setFocusPolicy(Qt::StrongFocus);
  QFont font(QStringLiteral("Monospace"));
  font.setStyleHint(QFont::TypeWriter);
  setFont(font);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
}

void BytesView::SetFrame(std::vector<std::uint8_t> stored, std::vector<std::uint8_t> frame,
                         std::vector<std::int32_t> places) {
  stored_ = std::move(stored);
  frame_ = std::move(frame);
  places_ = std::move(places);
  highlight_begin_ = highlight_end_ = -1;
  verticalScrollBar()->setValue(0);
  UpdateScroll();
  viewport()->update();
}

void BytesView::Clear() { SetFrame({}, {}, {}); }

void BytesView::SetStoredView(bool stored) {
  if (stored == stored_view_) return;
  stored_view_ = stored;
  UpdateScroll();
  viewport()->update();
}

void BytesView::SetHighlight(std::int32_t begin, std::int32_t end) {
  highlight_begin_ = begin;
  highlight_end_ = end;
  // Bring the first highlighted byte into view.
  const auto [first, last] = HighlightedBytes();
  if (first < last) {
    const int line = first / kPerLine;
    const int top = verticalScrollBar()->value();
    const int lines = std::max(1, viewport()->height() / LineHeight());
    if (line < top || line >= top + lines) verticalScrollBar()->setValue(line);
  }
  viewport()->update();
}

std::pair<std::int32_t, std::int32_t> BytesView::HighlightedBytes() const {
  const auto n = static_cast<std::int32_t>(frame_.size());
  if (highlight_begin_ < 0 || highlight_begin_ >= highlight_end_ || highlight_begin_ > n) {
    return {0, 0};
  }
  const std::int32_t end = std::min(highlight_end_, n);
  if (!stored_view_) return {highlight_begin_, end};
  if (places_.size() != frame_.size() + 1) return {0, 0};
  return {places_[static_cast<std::size_t>(highlight_begin_)],
          places_[static_cast<std::size_t>(end)]};
}

QString BytesView::Text() const {
  const std::vector<std::uint8_t>& bytes = Shown();
  QString text;
  for (std::size_t at = 0; at < bytes.size(); at += kPerLine) {
    QString line = QStringLiteral("%1  ").arg(at, 4, 16, QLatin1Char('0')).toUpper();
    QString chars;
    for (std::size_t i = 0; i < kPerLine; ++i) {
      if (i == 8) line += QLatin1Char(' ');
      if (at + i < bytes.size()) {
        line += QStringLiteral("%1 ").arg(bytes[at + i], 2, 16, QLatin1Char('0')).toUpper();
        chars += Printable(bytes[at + i]);
      } else {
        line += QStringLiteral("   ");
      }
    }
    text += line + QLatin1Char(' ') + chars + QLatin1Char('\n');
  }
  return text;
}

int BytesView::LineHeight() const { return fontMetrics().height(); }

int BytesView::CharWidth() const {
  return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

void BytesView::UpdateScroll() {
  const int lines = static_cast<int>((Shown().size() + kPerLine - 1) / kPerLine);
  const int visible = std::max(1, viewport()->height() / LineHeight());
  verticalScrollBar()->setRange(0, std::max(0, lines - visible));
  verticalScrollBar()->setPageStep(visible);
  horizontalScrollBar()->setRange(
      0, std::max(0, (kLineChars + 1) * CharWidth() - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

void BytesView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScroll();
}

void BytesView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    UpdateScroll();
    viewport()->update();
  }
}

void BytesView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.setFont(font());
  const QPalette& pal = palette();
  const std::vector<std::uint8_t>& bytes = Shown();
  const int h = LineHeight();
  const int w = CharWidth();
  const int ascent = fontMetrics().ascent();
  const int x0 = 2 - horizontalScrollBar()->value();
  const int top = verticalScrollBar()->value();
  const int lines = viewport()->height() / h + 2;
  const auto [hl_first, hl_last] = HighlightedBytes();
  const QColor offset_color = pal.color(QPalette::PlaceholderText);
  for (int l = 0; l < lines; ++l) {
    const std::size_t at = static_cast<std::size_t>(top + l) * kPerLine;
    if (at >= bytes.size()) break;
    const int y = l * h;
    painter.setPen(offset_color);
    painter.drawText(x0, y + ascent,
                     QStringLiteral("%1").arg(at, 4, 16, QLatin1Char('0')).toUpper());
    for (std::size_t i = 0; i < kPerLine && at + i < bytes.size(); ++i) {
      const auto index = static_cast<std::int32_t>(at + i);
      const bool lit = index >= hl_first && index < hl_last;
      const int hx = x0 + HexColumn(static_cast<int>(i)) * w;
      const int tx = x0 + TextColumn(static_cast<int>(i)) * w;
      if (lit) {
        painter.fillRect(QRect(hx, y, 2 * w, h), pal.brush(QPalette::Highlight));
        painter.fillRect(QRect(tx, y, w, h), pal.brush(QPalette::Highlight));
      }
      painter.setPen(pal.color(lit ? QPalette::HighlightedText : QPalette::Text));
      painter.drawText(hx, y + ascent,
                       QStringLiteral("%1").arg(bytes[at + i], 2, 16, QLatin1Char('0')).toUpper());
      painter.drawText(tx, y + ascent, QString(Printable(bytes[at + i])));
    }
  }
}

std::int32_t BytesView::ByteAt(const QPoint& point) const {
  const int w = CharWidth();
  const int column = (point.x() - 2 + horizontalScrollBar()->value()) / w;
  const int line = point.y() / LineHeight() + verticalScrollBar()->value();
  int i = -1;
  for (int k = 0; k < kPerLine; ++k) {
    if ((column >= HexColumn(k) && column < HexColumn(k) + 2) || column == TextColumn(k)) i = k;
  }
  if (i < 0 || line < 0) return -1;
  const std::size_t at = static_cast<std::size_t>(line) * kPerLine + static_cast<std::size_t>(i);
  return at < Shown().size() ? static_cast<std::int32_t>(at) : -1;
}

QPoint BytesView::PointOfByte(std::int32_t view_offset) {
  const int line = view_offset / kPerLine;
  const int top = verticalScrollBar()->value();
  const int lines = std::max(1, viewport()->height() / LineHeight());
  if (line < top || line >= top + lines) verticalScrollBar()->setValue(line);
  const int x =
      2 - horizontalScrollBar()->value() + HexColumn(view_offset % kPerLine) * CharWidth();
  return {x + CharWidth(), (line - verticalScrollBar()->value()) * LineHeight() + LineHeight() / 2};
}

void BytesView::mousePressEvent(QMouseEvent* event) {
  const std::int32_t at = ByteAt(event->position().toPoint());
  if (at < 0) return;
  if (!stored_view_) {
    emit ByteClicked(at);
    return;
  }
  // The un-escaped byte that the stored one stands for; a FEND stands for none.
  const auto it = std::upper_bound(places_.begin(), places_.end(), at);
  const auto j = static_cast<std::int32_t>(it - places_.begin()) - 1;
  emit ByteClicked(j >= 0 && j < static_cast<std::int32_t>(frame_.size()) ? j : -1);
}

}  // namespace packscope
