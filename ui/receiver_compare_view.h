// ReceiverCompareView: the frame list's Receivers tab, the comparison of two receivers of a merge
// (framelist/receiver_tables.h): two choosers (A and B), a line of what both, A alone and B alone
// heard, and two tables, by station and by time, sorted by a click on a column's title. A row's
// click (or Return) asks for the filter of the frames one heard and the other did not. Without a
// merge it says how to open one.
#ifndef PACKSCOPE_UI_RECEIVER_COMPARE_VIEW_H_
#define PACKSCOPE_UI_RECEIVER_COMPARE_VIEW_H_

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "framelist/receiver_tables.h"

class QComboBox;
class QLabel;
class QModelIndex;
class QTableView;

namespace packscope {

class StatTableModel;

class ReceiverCompareView : public QWidget {
  Q_OBJECT

 public:
  explicit ReceiverCompareView(QWidget* parent = nullptr);

  // The merge's receivers (empty: no merge). The choice stays when the names are the same; else A
  // is the first and B the second.
  void SetReceivers(const std::vector<std::string>& names);
  // The comparison of the receivers chosen (null: being made).
  void SetComparison(std::shared_ptr<const ReceiverComparison> comparison);
  int ReceiverA() const;
  int ReceiverB() const;
  void Choose(int a, int b);

  QComboBox* ChooserA() const { return a_; }
  QComboBox* ChooserB() const { return b_; }
  QLabel* Caption() const { return caption_; }
  QTableView* ByStation() const { return stations_; }
  QTableView* ByTime() const { return times_; }

 signals:
  // The receivers chosen changed: their comparison is due.
  void ComparisonRequested();
  void FilterRequested(const QString& expression);

 private:
  QTableView* MakeTable(const char* name, StatTableModel*& model);
  void RowChosen(const QTableView* table, const StatTableModel* model, const QModelIndex& index);

  std::vector<std::string> names_;
  QComboBox* a_ = nullptr;
  QComboBox* b_ = nullptr;
  QLabel* caption_ = nullptr;
  QTableView* stations_ = nullptr;
  QTableView* times_ = nullptr;
  StatTableModel* station_model_ = nullptr;
  StatTableModel* time_model_ = nullptr;
  std::shared_ptr<const ReceiverComparison> comparison_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_RECEIVER_COMPARE_VIEW_H_
