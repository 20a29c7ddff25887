// FrameTableModel: the frame list's table, a view of the rows of a FrameList
// (framelist/frame_list.h), which holds them (8 bytes a row). A row's texts are made when the
// view asks for them (framelist/frame_row.h) and the last few hundred are kept. So millions of
// rows cost their numbers and what is in view.
//
// Rows with findings carry a warning icon in the No. column and the findings as their tooltip;
// a row that matches a colouring rule has the rule's colour behind its texts, blended with the
// palette's base so that the texts read on a light and a dark background. sort() does not sort:
// the window asks the list to sort (SortRequested).
#ifndef PACKSCOPE_UI_FRAME_TABLE_MODEL_H_
#define PACKSCOPE_UI_FRAME_TABLE_MODEL_H_

#include <QAbstractTableModel>
#include <QIcon>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>

#include "framelist/frame_list.h"

namespace packscope {

class FrameTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  FrameTableModel(const FrameList& list, QObject* parent = nullptr);
  ~FrameTableModel() override;

  // The list's rows are about to change, and have changed (FrameListHost's calls).
  void BeginChange(const RowsChange& change);
  void EndChange(const RowsChange& change);
  // The texts of the rows anew (definitions, colouring, the extra columns' texts), or the columns.
  void TextsChanged();
  void ColumnsChanged();
  // Rows shown greyed: they are not what the filter bar's text asks for.
  void SetGreyed(bool greyed);
  bool Greyed() const { return greyed_; }

  std::int64_t FrameOfRow(int row) const { return list_.FrameOfRow(row); }
  // The row's texts (made now, or kept).
  const FrameRow& Row(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void sort(int column, Qt::SortOrder order) override;

 signals:
  void SortRequested(int column, Qt::SortOrder order);

 private:
  void Forget();

  const FrameList& list_;
  std::unique_ptr<FrameFormatter> formatter_;
  // The rows made last, newest first.
  mutable std::list<std::pair<int, FrameRow>> kept_;
  mutable std::unordered_map<int, std::list<std::pair<int, FrameRow>>::iterator> kept_at_;
  QIcon damage_icon_;  // the row's frame is damaged in the recording
  QIcon sender_icon_;  // its sender broke AX.25 or APRS
  bool greyed_ = false;
  bool inserting_ = false;  // a change told to the view, to be ended
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_TABLE_MODEL_H_
