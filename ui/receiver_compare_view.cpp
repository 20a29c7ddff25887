#include "ui/receiver_compare_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "qt/qt_text.h"
#include "ui/stat_table_model.h"

namespace packscope {

ReceiverCompareView::ReceiverCompareView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ReceiverComparison"));
  auto* top = new QHBoxLayout();
  a_ = new QComboBox(this);
  a_->setObjectName(QStringLiteral("ReceiverA"));
  b_ = new QComboBox(this);
  b_->setObjectName(QStringLiteral("ReceiverB"));
  auto* label_a = new QLabel(QStringLiteral("Compare &A:"), this);
  label_a->setBuddy(a_);
  auto* label_b = new QLabel(QStringLiteral("with &B:"), this);
  label_b->setBuddy(b_);
  top->addWidget(label_a);
  top->addWidget(a_, 1);
  top->addWidget(label_b);
  top->addWidget(b_, 1);
  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("ComparisonCaption"));
  caption_->setWordWrap(true);
  auto* split = new QSplitter(Qt::Horizontal, this);
  stations_ = MakeTable("ByStation", station_model_);
  times_ = MakeTable("ByTime", time_model_);
  split->addWidget(stations_);
  split->addWidget(times_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(caption_);
  layout->addWidget(split, 1);
  for (QComboBox* box : {a_, b_}) {
    connect(box, &QComboBox::activated, this, [this] {
      SetComparison(nullptr);
      emit ComparisonRequested();
    });
  }
  SetReceivers({});
}

QTableView* ReceiverCompareView::MakeTable(const char* name, StatTableModel*& model) {
  auto* table = new QTableView(this);
  table->setObjectName(QString::fromLatin1(name));
  model = new StatTableModel(table);
  table->setModel(model);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setSortingEnabled(false);
  table->verticalHeader()->hide();
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 2);
  table->horizontalHeader()->setSectionsClickable(true);
  table->horizontalHeader()->setSortIndicatorShown(true);
  table->horizontalHeader()->setStretchLastSection(true);
  connect(table->horizontalHeader(), &QHeaderView::sectionClicked, this, [table, model](int c) {
    const bool again = c == model->SortColumn() && model->SortOrder() == Qt::DescendingOrder;
    const Qt::SortOrder order = again ? Qt::AscendingOrder : Qt::DescendingOrder;
    table->horizontalHeader()->setSortIndicator(c, order);
    model->sort(c, order);
  });
  connect(table, &QTableView::clicked, this,
          [this, table, model](const QModelIndex& index) { RowChosen(table, model, index); });
  connect(table, &QTableView::activated, this,
          [this, table, model](const QModelIndex& index) { RowChosen(table, model, index); });
  return table;
}

void ReceiverCompareView::RowChosen(const QTableView*, const StatTableModel* model,
                                    const QModelIndex& index) {
  if (!index.isValid() || model->Table() == nullptr) return;
  const std::string filter = model->Table()->RowFilter(model->RowOf(index.row()));
  if (!filter.empty()) emit FilterRequested(FromUtf8(filter));
}

void ReceiverCompareView::SetReceivers(const std::vector<std::string>& names) {
  if (names == names_ && !names.empty()) return;
  names_ = names;
  for (QComboBox* box : {a_, b_}) {
    box->clear();
    for (const std::string& name : names) box->addItem(FromUtf8(name));
    box->setEnabled(names.size() >= 2);
  }
  if (names.size() >= 2) b_->setCurrentIndex(1);
  SetComparison(nullptr);
  if (names.empty()) {
    caption_->setText(QStringLiteral(
        "Open several captures of one traffic (File > Open Several, or drop them here) to "
        "compare what their receivers heard."));
  }
}

int ReceiverCompareView::ReceiverA() const { return a_->currentIndex(); }
int ReceiverCompareView::ReceiverB() const { return b_->currentIndex(); }

void ReceiverCompareView::Choose(int a, int b) {
  a_->setCurrentIndex(a);
  b_->setCurrentIndex(b);
  SetComparison(nullptr);
  emit ComparisonRequested();
}

void ReceiverCompareView::SetComparison(std::shared_ptr<const ReceiverComparison> comparison) {
  const bool made = comparison != nullptr;
  comparison_ = std::move(comparison);
  station_model_->SetTable(comparison_ ? comparison_->stations : nullptr);
  time_model_->SetTable(comparison_ ? comparison_->times : nullptr);
  for (QTableView* t : {stations_, times_}) {
    const auto* m = static_cast<const StatTableModel*>(t->model());
    t->horizontalHeader()->setSortIndicator(m->SortColumn(), m->SortOrder());
    if (made) t->resizeColumnsToContents();
  }
  if (names_.empty()) return;
  if (comparison_ == nullptr) {
    caption_->setText(QStringLiteral("Comparing..."));
    return;
  }
  const QString a = FromUtf8(names_[static_cast<std::size_t>(comparison_->a)]);
  const QString b = FromUtf8(names_[static_cast<std::size_t>(comparison_->b)]);
  caption_->setText(QStringLiteral("Of the frames shown: %1 heard by both, %2 by %3 alone, %4 by "
                                   "%5 alone. A row lists the frames one heard and the other "
                                   "did not.")
                        .arg(comparison_->both)
                        .arg(comparison_->only_a)
                        .arg(a)
                        .arg(comparison_->only_b)
                        .arg(b));
}

}  // namespace packscope
