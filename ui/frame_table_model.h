// FrameTableModel: the frame list's table, a view of the listed frames of an index. It holds the
// index numbers of the listed frames (8 bytes a row) in capture order, and in the order of a sort
// when there is one; a row's texts are made when the view asks for them (framelist/frame_row.h)
// and the last few hundred are kept. So millions of rows cost their numbers and what is in view.
//
// Rows with findings carry a warning icon in the No. column and the findings as their tooltip.
// sort() does not sort: the window runs a sort on a worker thread (SortRequested) and hands the
// order over with SetOrder.
#ifndef PACKSCOPE_UI_FRAME_TABLE_MODEL_H_
#define PACKSCOPE_UI_FRAME_TABLE_MODEL_H_

#include <QAbstractTableModel>
#include <QIcon>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "framelist/frame_row.h"

namespace packscope {

class FrameTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit FrameTableModel(QObject* parent = nullptr);
  ~FrameTableModel() override;

  using RowList = std::shared_ptr<const std::vector<std::int64_t>>;

  // The rows of a capture: the listed frames in capture order; no sort.
  void SetRows(const IndexSnapshot& snapshot, std::vector<std::int64_t> capture_order);
  // More frames listed behind the last (a capture being indexed); a sort is given up. snapshot
  // holds them.
  void AppendRows(const IndexSnapshot& snapshot, const std::vector<std::int64_t>& more);
  // The rows in another order (the same frames).
  void SetOrder(std::vector<std::int64_t> rows);
  // The telemetry definitions found by the survey: Info texts are made anew.
  void SetDefinitions(DefinitionFrames definitions);
  // Takes away the rows of frames from frame on (the last frame, cut off by the end of the
  // capture, is read again when the capture grows); a sort is given up.
  void DropRowsFrom(std::int64_t frame);

  std::int64_t FrameOfRow(int row) const;
  // The rows in their current order, and in capture order; shared with the passes that read
  // them (a sort, find), so that they need no copies.
  const std::vector<std::int64_t>& Rows() const { return sorted_ ? *sorted_ : *capture_order_; }
  const std::vector<std::int64_t>& CaptureOrder() const { return *capture_order_; }
  RowList SharedRows() const { return sorted_ ? sorted_ : capture_order_; }
  RowList SharedCaptureOrder() const { return capture_order_; }
  bool InCaptureOrder() const { return !sorted_; }
  const IndexSnapshot& Snapshot() const { return snapshot_; }
  const DefinitionFrames& Definitions() const { return definitions_; }
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

  IndexSnapshot snapshot_;
  DefinitionFrames definitions_;
  RowList capture_order_;
  RowList sorted_;  // null: capture order
  std::unique_ptr<FrameFormatter> formatter_;
  // The rows made last, newest first.
  mutable std::list<std::pair<int, FrameRow>> kept_;
  mutable std::unordered_map<int, std::list<std::pair<int, FrameRow>>::iterator> kept_at_;
  QIcon damage_icon_;  // the row's frame is damaged in the recording
  QIcon sender_icon_;  // its sender broke AX.25 or APRS
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_TABLE_MODEL_H_
