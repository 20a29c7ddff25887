#include "ui/frame_details_view.h"

#include <QTreeWidget>

#include "qt/qt_text.h"
#include "ui/bytes_view.h"

namespace packscope {

FrameDetailsView::FrameDetailsView(QWidget* parent) : QSplitter(Qt::Horizontal, parent) {
  setObjectName(QStringLiteral("DetailsSplitter"));
  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("Details"));
  tree_->setHeaderHidden(true);
  tree_->setUniformRowHeights(true);
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { DetailChosen(item); });
  connect(tree_, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (QTreeWidgetItem* item = tree_->itemAt(at)) {
      emit MenuRequested(item, tree_->viewport()->mapToGlobal(at));
    }
  });
  bytes_ = new BytesView(this);
  connect(bytes_, &BytesView::ByteClicked, this, &FrameDetailsView::ByteChosen);
  setStretchFactor(0, 1);
  setStretchFactor(1, 1);
}

void FrameDetailsView::SetFrame(ShownFrame frame) {
  frame_ = std::move(frame);
  tree_->clear();
  if (frame_.number < 0 || !frame_.held) {
    if (frame_.number >= 0) {
      tree_->addTopLevelItem(new QTreeWidgetItem(
          {QStringLiteral("The capture no longer holds this frame as it was read.")}));
    }
    bytes_->Clear();
    return;
  }
  const auto add = [](const auto& self, const DetailNode& node) -> QTreeWidgetItem* {
    auto* item = new QTreeWidgetItem({FromUtf8(node.text)});
    item->setData(0, Qt::UserRole, node.begin);
    item->setData(0, Qt::UserRole + 1, node.end);
    for (const DetailNode& child : node.children) item->addChild(self(self, child));
    return item;
  };
  for (const DetailNode& node : frame_.details) {
    QTreeWidgetItem* item = add(add, node);
    tree_->addTopLevelItem(item);
    item->setExpanded(true);
  }
  bytes_->SetFrame(frame_.frame.stored, frame_.frame.frame, frame_.places);
}

const DetailNode* FrameDetailsView::NodeOf(QTreeWidgetItem* item) const {
  std::vector<int> path;
  for (QTreeWidgetItem* i = item; i != nullptr; i = i->parent()) {
    path.insert(path.begin(), i->parent() != nullptr ? i->parent()->indexOfChild(i)
                                                     : tree_->indexOfTopLevelItem(i));
  }
  const std::vector<DetailNode>* level = &frame_.details;
  const DetailNode* node = nullptr;
  for (int i : path) {
    if (i < 0 || static_cast<std::size_t>(i) >= level->size()) return nullptr;
    node = &(*level)[static_cast<std::size_t>(i)];
    level = &node->children;
  }
  return node;
}

void FrameDetailsView::SetFonts(const QFont& text, const QFont& fixed) {
  tree_->setFont(text);
  bytes_->setFont(fixed);
}

void FrameDetailsView::DetailChosen(QTreeWidgetItem* item) {
  if (item == nullptr) {
    bytes_->SetHighlight(-1, -1);
    return;
  }
  bytes_->SetHighlight(item->data(0, Qt::UserRole).toInt(),
                       item->data(0, Qt::UserRole + 1).toInt());
}

void FrameDetailsView::ByteChosen(std::int32_t byte) {
  QTreeWidgetItem* item = nullptr;
  if (byte < 0) {
    item = tree_->topLevelItem(0);  // a FEND: the KISS frame
  } else {
    for (int i : DetailPathOfByte(frame_.details, byte)) {
      item = item == nullptr ? tree_->topLevelItem(i) : item->child(i);
    }
  }
  if (item == nullptr) return;
  tree_->setCurrentItem(item);
  tree_->scrollToItem(item);
}

}  // namespace packscope
