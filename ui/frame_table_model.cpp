#include "ui/frame_table_model.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyle>
#include <algorithm>
#include <limits>

#include "framelist/colouring.h"
#include "qt/qt_text.h"

namespace packscope {
namespace {

constexpr std::size_t kRowsKept = 512;
constexpr int kKeptCount = std::numeric_limits<int>::max();

// A view shows at most this many rows (QAbstractItemModel counts in int).
int Clamp(std::int64_t n) { return static_cast<int>(std::clamp<std::int64_t>(n, 0, kKeptCount)); }

// A rule's colour over the palette's base: strong enough to tell rows apart, light enough (or
// dark enough, on a dark base) for the palette's text to read on it.
QColor RowColour(std::uint32_t rgb) {
  const QColor base = QApplication::palette().color(QPalette::Base);
  const QColor rule(static_cast<QRgb>(rgb));
  constexpr double kShare = 0.35;
  const auto mix = [](int a, int b) { return static_cast<int>(a + (b - a) * kShare); };
  return QColor(mix(base.red(), rule.red()), mix(base.green(), rule.green()),
                mix(base.blue(), rule.blue()));
}

}  // namespace

FrameTableModel::FrameTableModel(const FrameList& list, QObject* parent)
    : QAbstractTableModel(parent),
      list_(list),
      formatter_(std::make_unique<FrameFormatter>(list.RowsSnapshot(), list.Sources())),
      damage_icon_(QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical)),
      sender_icon_(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning)) {}

FrameTableModel::~FrameTableModel() = default;

void FrameTableModel::Forget() {
  kept_.clear();
  kept_at_.clear();
}

void FrameTableModel::BeginChange(const RowsChange& change) {
  inserting_ = false;
  switch (change.kind) {
    case RowsChange::kReset:
      beginResetModel();
      return;
    case RowsChange::kAppend: {
      const int first = Clamp(change.first);
      const int last = Clamp(change.first + change.count) - 1;
      if (first > last || change.first >= kKeptCount) return;  // beyond what a view can count
      beginInsertRows(QModelIndex(), first, last);
      inserting_ = true;
      return;
    }
    case RowsChange::kRemove: {
      const int first = Clamp(change.first);
      const int last = rowCount() - 1;
      if (first > last) return;
      beginRemoveRows(QModelIndex(), first, last);
      inserting_ = true;
      return;
    }
    case RowsChange::kReorder:
      emit layoutAboutToBeChanged();
      return;
  }
}

void FrameTableModel::EndChange(const RowsChange& change) {
  formatter_ = std::make_unique<FrameFormatter>(list_.RowsSnapshot(), list_.Sources());
  Forget();
  switch (change.kind) {
    case RowsChange::kReset:
      endResetModel();
      return;
    case RowsChange::kAppend:
      if (inserting_) endInsertRows();
      return;
    case RowsChange::kRemove:
      if (inserting_) endRemoveRows();
      return;
    case RowsChange::kReorder:
      emit layoutChanged();
      return;
  }
}

void FrameTableModel::TextsChanged() {
  formatter_ = std::make_unique<FrameFormatter>(list_.RowsSnapshot(), list_.Sources());
  Forget();
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void FrameTableModel::ColumnsChanged() {
  beginResetModel();
  formatter_ = std::make_unique<FrameFormatter>(list_.RowsSnapshot(), list_.Sources());
  Forget();
  endResetModel();
}

void FrameTableModel::SetGreyed(bool greyed) {
  if (greyed == greyed_) return;
  greyed_ = greyed;
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
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
  formatter_->Format(frame, PreviousListed(list_.CaptureOrder(), frame), kept_.front().second);
  return kept_.front().second;
}

int FrameTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Clamp(list_.RowCount());
}

int FrameTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : list_.ColumnCount();
}

QVariant FrameTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return FromUtf8(CellText(Row(index.row()), column));
    case Qt::TextAlignmentRole:
      return list_.ColumnInfoOf(column).numeric ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::DecorationRole:
      if (column == static_cast<int>(FrameColumn::kNumber)) {
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
      if (column == static_cast<int>(FrameColumn::kInfo)) return FromUtf8(CellText(row, column));
      return {};
    }
    case Qt::ForegroundRole:
      if (greyed_ || !Row(index.row()).held) {
        return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      }
      return {};
    case Qt::BackgroundRole: {
      const FrameRow& row = Row(index.row());
      const std::shared_ptr<const Colouring>& colouring = list_.ColouringRules();
      if (row.colour < 0 || !colouring ||
          static_cast<std::size_t>(row.colour) >= colouring->Rules().size()) {
        return {};
      }
      return RowColour(colouring->Rules()[static_cast<std::size_t>(row.colour)].rgb);
    }
    default:
      return {};
  }
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  const FrameColumnInfo info = list_.ColumnInfoOf(section);
  if (role == Qt::DisplayRole) return FromUtf8(info.title);
  if (role == Qt::TextAlignmentRole) {
    return info.numeric ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                        : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return {};
}

void FrameTableModel::sort(int column, Qt::SortOrder order) { emit SortRequested(column, order); }

}  // namespace packscope
