#include "ui/frame_table_model.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <algorithm>
#include <limits>

#include "framelist/frame_passes.h"
#include "qt/qt_text.h"

namespace packscope {
namespace {

constexpr std::size_t kRowsKept = 512;

// A view shows at most this many rows (QAbstractItemModel counts in int).
int Clamp(std::size_t n) {
  return static_cast<int>(std::min<std::size_t>(n, std::numeric_limits<int>::max()));
}

}  // namespace

FrameTableModel::FrameTableModel(QObject* parent)
    : QAbstractTableModel(parent),
      capture_order_(std::make_shared<const std::vector<std::int64_t>>()),
      damage_icon_(QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical)),
      sender_icon_(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning)) {}

FrameTableModel::~FrameTableModel() = default;

void FrameTableModel::Forget() {
  kept_.clear();
  kept_at_.clear();
}

void FrameTableModel::SetRows(const IndexSnapshot& snapshot,
                              std::vector<std::int64_t> capture_order) {
  beginResetModel();
  snapshot_ = snapshot;
  capture_order_ = std::make_shared<const std::vector<std::int64_t>>(std::move(capture_order));
  sorted_.reset();
  formatter_ = std::make_unique<FrameFormatter>(snapshot_, definitions_);
  Forget();
  endResetModel();
}

void FrameTableModel::AppendRows(const IndexSnapshot& snapshot,
                                 const std::vector<std::int64_t>& more) {
  if (sorted_) {
    // New rows go behind the sorted ones; the order is no longer the sort's.
    beginResetModel();
    sorted_.reset();
    Forget();
    endResetModel();
  }
  snapshot_ = snapshot;
  formatter_ = std::make_unique<FrameFormatter>(snapshot_, definitions_);
  if (more.empty()) return;
  // A pass may still read the rows as they were: they grow in a copy when it does.
  if (capture_order_.use_count() > 1) {
    capture_order_ = std::make_shared<const std::vector<std::int64_t>>(*capture_order_);
  }
  auto& rows = const_cast<std::vector<std::int64_t>&>(*capture_order_);
  const int first = rowCount();
  const int last = Clamp(rows.size() + more.size()) - 1;
  if (last < first) {  // beyond what a view can count
    rows.insert(rows.end(), more.begin(), more.end());
    return;
  }
  beginInsertRows(QModelIndex(), first, last);
  rows.insert(rows.end(), more.begin(), more.end());
  endInsertRows();
}

void FrameTableModel::DropRowsFrom(std::int64_t frame) {
  const std::vector<std::int64_t>& order = *capture_order_;
  const auto keep = std::lower_bound(order.begin(), order.end(), frame);
  if (keep == order.end()) return;
  if (sorted_) {
    beginResetModel();
    sorted_.reset();
    Forget();
    endResetModel();
  }
  std::vector<std::int64_t> rows(order.begin(), keep);
  const int first = Clamp(rows.size());
  const int last = rowCount() - 1;
  if (first <= last) beginRemoveRows(QModelIndex(), first, last);
  capture_order_ = std::make_shared<const std::vector<std::int64_t>>(std::move(rows));
  Forget();
  if (first <= last) endRemoveRows();
}

void FrameTableModel::SetOrder(std::vector<std::int64_t> rows) {
  emit layoutAboutToBeChanged();
  if (rows == *capture_order_) {
    sorted_.reset();
  } else {
    sorted_ = std::make_shared<const std::vector<std::int64_t>>(std::move(rows));
  }
  Forget();
  emit layoutChanged();
}

void FrameTableModel::SetDefinitions(DefinitionFrames definitions) {
  definitions_ = std::move(definitions);
  formatter_ = std::make_unique<FrameFormatter>(snapshot_, definitions_);
  Forget();
  if (rowCount() > 0) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, kFrameColumnCount - 1));
  }
}

std::int64_t FrameTableModel::FrameOfRow(int row) const {
  const std::vector<std::int64_t>& rows = Rows();
  if (row < 0 || static_cast<std::size_t>(row) >= rows.size()) return -1;
  return rows[static_cast<std::size_t>(row)];
}

const FrameRow& FrameTableModel::Row(int row) const {
  const auto found = kept_at_.find(row);
  if (found != kept_at_.end()) {
    kept_.splice(kept_.begin(), kept_, found->second);
    return found->second->second;
  }
  if (kept_.size() >= kRowsKept) {
    kept_at_.erase(kept_.back().first);
    kept_.pop_back();
  }
  kept_.emplace_front(row, FrameRow{});
  kept_at_[row] = kept_.begin();
  const std::int64_t frame = FrameOfRow(row);
  formatter_->Format(frame, PreviousListed(*capture_order_, frame), kept_.front().second);
  return kept_.front().second;
}

int FrameTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Clamp(Rows().size());
}

int FrameTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kFrameColumnCount;
}

QVariant FrameTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const auto column = static_cast<FrameColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole: {
      const FrameRow& row = Row(index.row());
      return FromUtf8(row.text[static_cast<std::size_t>(index.column())]);
    }
    case Qt::TextAlignmentRole:
      return ColumnInfo(column).numeric ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                        : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::DecorationRole:
      if (column == FrameColumn::kNumber) {
        // Damage to the recording outranks what a sender got wrong.
        const FrameFindings& found = Row(index.row()).findings;
        if (found.Any(FindingKind::kDamage)) return damage_icon_;
        if (found.Any()) return sender_icon_;
      }
      return {};
    case Qt::ToolTipRole: {
      const FrameRow& row = Row(index.row());
      if (!row.held) {
        return QStringLiteral("The capture no longer holds this frame as it was read.");
      }
      if (!row.findings_text.empty()) return FromUtf8(row.findings_text);
      if (column == FrameColumn::kInfo)
        return FromUtf8(row.text[static_cast<std::size_t>(index.column())]);
      return {};
    }
    case Qt::ForegroundRole:
      if (!Row(index.row()).held) {
        return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      }
      return {};
    default:
      return {};
  }
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kFrameColumnCount) return {};
  if (role == Qt::DisplayRole) {
    return FromUtf8(kFrameColumns[static_cast<std::size_t>(section)].title);
  }
  if (role == Qt::TextAlignmentRole) {
    return kFrameColumns[static_cast<std::size_t>(section)].numeric
               ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
               : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return {};
}

void FrameTableModel::sort(int column, Qt::SortOrder order) { emit SortRequested(column, order); }

}  // namespace packscope
