// BytesView: the bytes of the frame shown in the frame list, 16 a line, in hex and as printable
// characters, either as stored (FENDs and escapes) or un-escaped (from the type byte on):
//
//   0000  C0 00 82 A0 A4 A6 40 40  E0 A2 A2 64 B0 B2 40 6F   ......@@...d..@o
//
// The bytes a detail describes are highlighted (SetHighlight, in un-escaped offsets; as stored,
// the stored bytes of those, escapes included); a click on a byte tells which un-escaped byte it
// is (ByteClicked; -1 for a FEND). Colours come from the palette, so they follow a dark theme.
#ifndef PACKSCOPE_UI_BYTES_VIEW_H_
#define PACKSCOPE_UI_BYTES_VIEW_H_

#include <QAbstractScrollArea>
#include <cstdint>
#include <vector>

namespace packscope {

class BytesView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit BytesView(QWidget* parent = nullptr);

  // The frame: its stored bytes, its un-escaped bytes and the place of each of those in the
  // stored ones (framelist/frame_reader.h StoredPlaces).
  void SetFrame(std::vector<std::uint8_t> stored, std::vector<std::uint8_t> frame,
                std::vector<std::int32_t> places);
  void Clear();
  // As stored (true) or un-escaped (false).
  void SetStoredView(bool stored);
  bool StoredView() const { return stored_view_; }
  // The un-escaped bytes [begin, end) to highlight; begin < 0: none.
  void SetHighlight(std::int32_t begin, std::int32_t end);
  // The highlighted bytes of the view shown, [first, last) in its own offsets; empty for none.
  std::pair<std::int32_t, std::int32_t> HighlightedBytes() const;
  // The text of the view, one line per 16 bytes, for tests and copying.
  QString Text() const;
  // The view offset of a point in the viewport; -1 outside the bytes.
  std::int32_t ByteAt(const QPoint& point) const;
  // The middle of a byte's hex digits in the viewport (scrolled into view first).
  QPoint PointOfByte(std::int32_t view_offset);

 signals:
  void ByteClicked(std::int32_t frame_byte);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  const std::vector<std::uint8_t>& Shown() const { return stored_view_ ? stored_ : frame_; }
  void UpdateScroll();
  int LineHeight() const;
  int CharWidth() const;
  // x of column c in characters of a line.
  static int HexColumn(int i) { return 6 + 3 * i + (i >= 8 ? 1 : 0); }
  static int TextColumn(int i) { return 6 + 3 * 16 + 2 + i; }

  std::vector<std::uint8_t> stored_;
  std::vector<std::uint8_t> frame_;
  std::vector<std::int32_t> places_;
  bool stored_view_ = false;
  std::int32_t highlight_begin_ = -1;
  std::int32_t highlight_end_ = -1;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_BYTES_VIEW_H_
