// FrameDetailsView: the lower half of the frame list's Frames tab, the details of the frame
// selected (a tree of framelist/frame_details.h's nodes) beside its bytes (BytesView). Choosing a
// detail highlights its bytes; clicking a byte chooses the detail that describes it most
// closely.
#ifndef PACKSCOPE_UI_FRAME_DETAILS_VIEW_H_
#define PACKSCOPE_UI_FRAME_DETAILS_VIEW_H_

#include <QSplitter>

#include "framelist/frame_list.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace packscope {

class BytesView;

class FrameDetailsView : public QSplitter {
  Q_OBJECT

 public:
  explicit FrameDetailsView(QWidget* parent = nullptr);

  // The frame to show (number -1: none).
  void SetFrame(ShownFrame frame);
  const ShownFrame& Frame() const { return frame_; }
  // The node an item of the tree shows; null for none.
  const DetailNode* NodeOf(QTreeWidgetItem* item) const;
  void SetFonts(const QFont& text, const QFont& fixed);

  QTreeWidget* Tree() const { return tree_; }
  BytesView* Bytes() const { return bytes_; }

 signals:
  void MenuRequested(QTreeWidgetItem* item, const QPoint& global);

 private:
  void DetailChosen(QTreeWidgetItem* item);
  void ByteChosen(std::int32_t byte);

  ShownFrame frame_;
  QTreeWidget* tree_ = nullptr;
  BytesView* bytes_ = nullptr;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_DETAILS_VIEW_H_
