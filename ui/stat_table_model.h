// A table of the frame list's statistics (framelist/statistics_tables.h) as a Qt model: its rows
// in the order of the column sorted by, their texts made only when a view asks for them.
#ifndef PACKSCOPE_UI_STAT_TABLE_MODEL_H_
#define PACKSCOPE_UI_STAT_TABLE_MODEL_H_

#include <QAbstractTableModel>
#include <cstdint>
#include <memory>
#include <vector>

#include "framelist/statistics_tables.h"
#include "qt/qt_text.h"

namespace packscope {

// The rows of a StatTable in the order of the column sorted by; texts asked for as painted.
class StatTableModel : public QAbstractTableModel {
 public:
  // column: the column sorted by at first; -1 for the table's own first order.
  explicit StatTableModel(QObject* parent, int column = -1)
      : QAbstractTableModel(parent), column_(column) {}

  void SetTable(std::shared_ptr<const StatTable> table) {
    beginResetModel();
    table_ = std::move(table);
    rows_.clear();
    if (table_ != nullptr) {
      if (column_ < 0) {
        column_ = table_->FirstSortColumn();
        order_ = table_->FirstSortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder;
      }
      rows_ = table_->Order(column_, order_ == Qt::DescendingOrder);
    }
    endResetModel();
  }
  const StatTable* Table() const { return table_.get(); }
  std::size_t RowOf(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  int SortColumn() const { return column_; }
  Qt::SortOrder SortOrder() const { return order_; }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() || table_ == nullptr ? 0 : static_cast<int>(table_->Columns().size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::TextAlignmentRole &&
        table_->Columns()[static_cast<std::size_t>(index.column())].numeric) {
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) return {};
    return FromUtf8(table_->Cell(RowOf(index.row()), index.column()));
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount()) {
      return {};
    }
    return FromUtf8(table_->Columns()[static_cast<std::size_t>(section)].title);
  }
  void sort(int column, Qt::SortOrder order) override {
    column_ = column;
    order_ = order;
    if (table_ == nullptr) return;
    layoutAboutToBeChanged();
    rows_ = table_->Order(column, order == Qt::DescendingOrder);
    layoutChanged();
  }

 private:
  std::shared_ptr<const StatTable> table_;
  std::vector<std::uint32_t> rows_;
  int column_;  // -1: the table's first order
  Qt::SortOrder order_ = Qt::AscendingOrder;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_STAT_TABLE_MODEL_H_
