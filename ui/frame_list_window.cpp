#include "ui/frame_list_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "capture/headless_window.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "framelist/capture_survey.h"
#include "framelist/frame_list_text.h"
#include "framelist/frame_passes.h"
#include "framelist/frame_reader.h"
#include "framelist/frame_row.h"
#include "qt/qt_text.h"
#include "ui/bytes_view.h"
#include "ui/follow_end.h"
#include "ui/frame_table_model.h"
#include "ui/statistics_view.h"

namespace packscope {
namespace {

constexpr int kTickMs = 40;
// How often the window looks whether the capture changed on disk.
constexpr int kLookAtCaptureMs = 1000;
constexpr int kMostRecent = 10;
constexpr int kMostFilters = 20;
constexpr int kSmallestPoints = 6;
constexpr int kLargestPoints = 40;
constexpr int kDefaultWidths[kFrameColumnCount] = {70, 170, 70, 40, 90, 90, 140, 55, 40, 60, 400};

const QString kGroup = QStringLiteral("FrameList/");
const QString kWindowTitle = QStringLiteral("Packscope Frames");

QString DefaultSaveDialog(QWidget* parent, const QString& suggested) {
  QStringList filters;
  for (const ExportKind& kind : kExportKinds) {
    filters << QStringLiteral("%1 (*%2)").arg(FromUtf8(kind.description), FromUtf8(kind.extension));
  }
  filters << QStringLiteral("All Files (*)");
  QFileDialog dialog(parent, QStringLiteral("Export Shown Frames"), suggested);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.last());
  dialog.selectFile(suggested);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString DefaultOpenDialog(QWidget* parent, const QString& folder) {
  return QFileDialog::getOpenFileName(parent, QStringLiteral("Open Capture"), folder,
                                      QStringLiteral("KISS Files (*.kss);;All Files (*)"));
}

// The main window's headless host for an export: the regional date texts of the window (the
// converter uses the same), a progress dialog with Cancel for a long one.
class ExportWindow : public HeadlessWindow {
 public:
  explicit ExportWindow(QWidget* parent) : parent_(parent) { clock_.start(); }
  ~ExportWindow() override { delete dialog_; }
  std::string ShortDateText(int year, int month, int day) const override {
    return dates_.ShortDate(year, month, day);
  }
  std::string LongTimeText(int hour, int minute, int second) const override {
    return dates_.LongTime(hour, minute, second);
  }
  bool ShowProgress(std::int64_t done, std::int64_t total) override {
    if (dialog_ == nullptr && clock_.elapsed() > 500) {
      dialog_ = new QProgressDialog(QStringLiteral("Exporting the frames shown..."),
                                    QStringLiteral("Cancel"), 0, 1000, parent_);
      dialog_->setWindowModality(Qt::ApplicationModal);
      dialog_->setMinimumDuration(0);
    }
    if (dialog_ == nullptr) return true;
    if (total > 0) dialog_->setValue(static_cast<int>(1000 * done / total));
    QCoreApplication::processEvents();
    return !dialog_->wasCanceled();
  }

 private:
  QWidget* parent_;
  LocaleDateText dates_;
  QElapsedTimer clock_;
  QPointer<QProgressDialog> dialog_;
};

// "123" or "0x7B".
std::optional<std::int64_t> ParseNumber(QString text) {
  text = text.trimmed();
  bool ok = false;
  const qlonglong value = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                              ? text.mid(2).toLongLong(&ok, 16)
                              : text.toLongLong(&ok, 10);
  if (!ok || value < 0) return std::nullopt;
  return value;
}

QString NameOf(const std::string& path) {
  return QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).fileName();
}

}  // namespace

FrameListWindow::FrameListWindow(QWidget* parent)
    : QMainWindow(parent),
      save_dialog_(&DefaultSaveDialog),
      open_dialog_(&DefaultOpenDialog),
      error_reporter_(
          [this](const QString& message) { QMessageBox::warning(this, kWindowTitle, message); }) {
  setObjectName(QStringLiteral("FrameListWindow"));
  setWindowTitle(kWindowTitle);
  setWindowIcon(QIcon(QStringLiteral(":/packscope/icon.png")));
  tick_ = new QTimer(this);
  tick_->setInterval(kTickMs);
  connect(tick_, &QTimer::timeout, this, &FrameListWindow::Tick);
  look_ = new QTimer(this);
  look_->setInterval(kLookAtCaptureMs);
  connect(look_, &QTimer::timeout, this, &FrameListWindow::ReadOn);
  look_->start();
  CreateControls();
  CreateMenus();
  LoadSettings();
  FollowTheme();
  UpdateShown();
}

FrameListWindow::~FrameListWindow() { CancelTasks(); }

void FrameListWindow::CreateControls() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 0);

  // The filter bar.
  auto* bar = new QHBoxLayout();
  auto* filter_label = new QLabel(QStringLiteral("&Filter:"), central);
  filter_box_ = new QComboBox(central);
  filter_box_->setObjectName(QStringLiteral("FilterBox"));
  filter_box_->setEditable(true);
  filter_box_->setInsertPolicy(QComboBox::NoInsert);
  filter_box_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  filter_box_->lineEdit()->setPlaceholderText(
      QStringLiteral("src == QQ0QQ-* and type == UI    (Return applies; the help lists fields)"));
  filter_box_->setToolTip(FromUtf8(FilterHelpText()));
  filter_label->setBuddy(filter_box_);
  auto* apply = new QPushButton(QStringLiteral("&Apply"), central);
  auto* clear = new QPushButton(QStringLiteral("C&lear"), central);
  connect(filter_box_->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { ApplyFilter(filter_box_->currentText()); });
  connect(filter_box_, &QComboBox::activated, this,
          [this](int) { ApplyFilter(filter_box_->currentText()); });
  connect(apply, &QPushButton::clicked, this, [this] { ApplyFilter(filter_box_->currentText()); });
  connect(clear, &QPushButton::clicked, this, [this] {
    filter_box_->setEditText(QString());
    ApplyFilter(QString());
  });
  bar->addWidget(filter_label);
  bar->addWidget(filter_box_, 1);
  bar->addWidget(apply);
  bar->addWidget(clear);
  layout->addLayout(bar);
  filter_error_ = new QLabel(central);
  filter_error_->setObjectName(QStringLiteral("FilterError"));
  filter_error_->setTextFormat(Qt::PlainText);
  filter_error_->setWordWrap(true);
  filter_error_->hide();
  layout->addWidget(filter_error_);

  // Frames: the table over the details and the bytes.
  tabs_ = new QTabWidget(central);
  tabs_->setObjectName(QStringLiteral("Tabs"));
  main_splitter_ = new QSplitter(Qt::Vertical);
  main_splitter_->setObjectName(QStringLiteral("FramesSplitter"));
  model_ = new FrameTableModel(this);
  table_ = new QTableView(main_splitter_);
  table_->setObjectName(QStringLiteral("FrameTable"));
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setAlternatingRowColors(true);
  table_->setWordWrap(false);
  table_->setShowGrid(false);
  table_->setTabKeyNavigation(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  QHeaderView* header = table_->horizontalHeader();
  header->setSectionsMovable(true);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);
  header->setStretchLastSection(true);
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  for (int c = 0; c < kFrameColumnCount; ++c) header->resizeSection(c, kDefaultWidths[c]);
  connect(header, &QHeaderView::sectionClicked, this, [this, header](int column) {
    const Qt::SortOrder order = column == sort_column_ && sort_order_ == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    header->setSortIndicator(column, order);
    SortBy(column, order);
  });
  connect(header, &QHeaderView::customContextMenuRequested, this,
          [this, header](const QPoint& at) { columns_menu_->popup(header->mapToGlobal(at)); });
  connect(model_, &FrameTableModel::SortRequested, this, &FrameListWindow::SortBy);
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { ShowRow(current.isValid() ? current.row() : -1); });

  lower_splitter_ = new QSplitter(Qt::Horizontal, main_splitter_);
  lower_splitter_->setObjectName(QStringLiteral("DetailsSplitter"));
  details_ = new QTreeWidget(lower_splitter_);
  details_->setObjectName(QStringLiteral("Details"));
  details_->setHeaderHidden(true);
  details_->setUniformRowHeights(true);
  connect(details_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { DetailChosen(item); });
  bytes_ = new BytesView(lower_splitter_);
  connect(bytes_, &BytesView::ByteClicked, this, &FrameListWindow::ByteChosen);
  main_splitter_->setStretchFactor(0, 3);
  main_splitter_->setStretchFactor(1, 2);
  lower_splitter_->setStretchFactor(0, 1);
  lower_splitter_->setStretchFactor(1, 1);
  tabs_->addTab(main_splitter_, QStringLiteral("F&rames"));
  statistics_ = new StatisticsView();
  connect(statistics_, &StatisticsView::FilterRequested, this, [this](const QString& expression) {
    filter_box_->setEditText(expression);
    if (ApplyFilter(expression)) tabs_->setCurrentIndex(0);
  });
  tabs_->addTab(statistics_, QStringLiteral("S&tatistics"));
  layout->addWidget(tabs_, 1);

  // The find bar, shown by Find.
  find_bar_ = new QWidget(central);
  find_bar_->setObjectName(QStringLiteral("FindBar"));
  auto* find_layout = new QHBoxLayout(find_bar_);
  find_layout->setContentsMargins(0, 2, 0, 2);
  auto* find_label = new QLabel(QStringLiteral("Fi&nd:"), find_bar_);
  find_text_ = new QLineEdit(find_bar_);
  find_text_->setObjectName(QStringLiteral("FindText"));
  find_text_->setPlaceholderText(
      QStringLiteral("text in Time, Source, Destination, Path, Type, Info; or hex bytes"));
  find_text_->installEventFilter(this);
  find_label->setBuddy(find_text_);
  find_hex_ = new QCheckBox(QStringLiteral("&Hex bytes"), find_bar_);
  find_hex_->setObjectName(QStringLiteral("FindHex"));
  auto* previous = new QPushButton(QStringLiteral("&Previous"), find_bar_);
  auto* next = new QPushButton(QStringLiteral("Ne&xt"), find_bar_);
  auto* close_find = new QPushButton(QStringLiteral("Close"), find_bar_);
  connect(find_text_, &QLineEdit::returnPressed, this,
          [this] { FindNext((QApplication::keyboardModifiers() & Qt::ShiftModifier) != 0); });
  connect(previous, &QPushButton::clicked, this, [this] { FindNext(true); });
  connect(next, &QPushButton::clicked, this, [this] { FindNext(false); });
  connect(close_find, &QPushButton::clicked, find_bar_, &QWidget::hide);
  find_layout->addWidget(find_label);
  find_layout->addWidget(find_text_, 1);
  find_layout->addWidget(find_hex_);
  find_layout->addWidget(previous);
  find_layout->addWidget(next);
  find_layout->addWidget(close_find);
  find_bar_->hide();
  layout->addWidget(find_bar_);
  setCentralWidget(central);

  // The status line: messages, the progress of a task with its Cancel, what is shown.
  task_label_ = new QLabel(this);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("TaskProgress"));
  progress_->setRange(0, 1000);
  progress_->setMaximumWidth(200);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("TaskCancel"));
  cancel_->setShortcut(Qt::Key_Escape);
  cancel_->setToolTip(QStringLiteral("Stop it (Escape)"));
  connect(cancel_, &QPushButton::clicked, this, [this] {
    for (Task* t : {&index_task_, &rows_task_, &survey_task_}) {
      if (t->job.Running()) t->job.Cancel();
    }
  });
  shown_ = new QLabel(this);
  shown_->setObjectName(QStringLiteral("FramesShown"));
  statusBar()->addPermanentWidget(task_label_);
  statusBar()->addPermanentWidget(progress_);
  statusBar()->addPermanentWidget(cancel_);
  statusBar()->addPermanentWidget(shown_);
  task_label_->hide();
  progress_->hide();
  cancel_->hide();

  setTabOrder(filter_box_, apply);
  setTabOrder(apply, clear);
  setTabOrder(clear, tabs_);
  setTabOrder(tabs_, table_);
  setTabOrder(table_, details_);
  setTabOrder(details_, bytes_);
  resize(1100, 760);
}

void FrameListWindow::CreateMenus() {
  const auto item = [this](QMenu* menu, const char* name, const QString& caption,
                           const QKeySequence& keys, void (FrameListWindow::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (!keys.isEmpty()) action->setShortcut(keys);
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("MnuFile"));
  item(file, "MnuFileOpen", QStringLiteral("&Open Capture..."), QKeySequence::Open,
       &FrameListWindow::MnuFileOpen_Click);
  recent_menu_ = file->addMenu(QStringLiteral("Open &Recent"));
  recent_menu_->setObjectName(QStringLiteral("MnuFileRecent"));
  connect(recent_menu_, &QMenu::aboutToShow, this, &FrameListWindow::FillRecentMenu);
  file->addSeparator();
  item(file, "MnuFileExport", QStringLiteral("&Export Shown Frames..."),
       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), &FrameListWindow::MnuFileExport_Click);
  file->addSeparator();
  item(file, "MnuFileClose", QStringLiteral("&Close"), QKeySequence::Close,
       &FrameListWindow::MnuFileClose_Click);

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->setObjectName(QStringLiteral("MnuEdit"));
  item(edit, "MnuEditFind", QStringLiteral("&Find..."), QKeySequence::Find,
       &FrameListWindow::MnuEditFind_Click);
  QAction* next = edit->addAction(QStringLiteral("Find &Next"));
  next->setObjectName(QStringLiteral("MnuEditFindNext"));
  next->setShortcut(QKeySequence::FindNext);
  connect(next, &QAction::triggered, this, [this] { FindNext(false); });
  QAction* previous = edit->addAction(QStringLiteral("Find &Previous"));
  previous->setObjectName(QStringLiteral("MnuEditFindPrevious"));
  previous->setShortcut(QKeySequence::FindPrevious);
  connect(previous, &QAction::triggered, this, [this] { FindNext(true); });
  edit->addSeparator();
  item(edit, "MnuEditGoTo", QStringLiteral("&Go to Frame or Offset..."),
       QKeySequence(Qt::CTRL | Qt::Key_G), &FrameListWindow::MnuEditGoTo_Click);
  QAction* to_filter = edit->addAction(QStringLiteral("Edit the F&ilter"));
  to_filter->setObjectName(QStringLiteral("MnuEditFilter"));
  to_filter->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Slash));
  connect(to_filter, &QAction::triggered, this, [this] {
    filter_box_->setFocus();
    filter_box_->lineEdit()->selectAll();
  });

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("MnuView"));
  QAction* frames_tab = view->addAction(QStringLiteral("&Frames"));
  frames_tab->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
  connect(frames_tab, &QAction::triggered, this, [this] {
    tabs_->setCurrentIndex(0);
    table_->setFocus();
  });
  QAction* stats_tab = view->addAction(QStringLiteral("&Statistics"));
  stats_tab->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
  connect(stats_tab, &QAction::triggered, this, [this] { tabs_->setCurrentIndex(1); });
  view->addSeparator();
  columns_menu_ = view->addMenu(QStringLiteral("&Columns"));
  columns_menu_->setObjectName(QStringLiteral("MnuViewColumns"));
  for (int c = 0; c < kFrameColumnCount; ++c) {
    QAction* a =
        columns_menu_->addAction(FromUtf8(kFrameColumns[static_cast<std::size_t>(c)].title));
    a->setCheckable(true);
    a->setChecked(true);
    connect(a, &QAction::toggled, this, [this, c](bool on) { SetColumnShown(c, on); });
    column_actions_.push_back(a);
  }
  stored_bytes_ =
      item(view, "MnuViewStoredBytes", QStringLiteral("&Bytes as Stored"),
           QKeySequence(Qt::CTRL | Qt::Key_B), &FrameListWindow::MnuViewStoredBytes_Click);
  stored_bytes_->setCheckable(true);
  view->addSeparator();
  QAction* zoom_in = item(view, "MnuViewZoomIn", QStringLiteral("Zoom &In"), QKeySequence::ZoomIn,
                          &FrameListWindow::MnuViewZoomIn_Click);
  // Ctrl++ on keyboards where + needs Shift, and Ctrl+= where it does not.
  zoom_in->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  item(view, "MnuViewZoomOut", QStringLiteral("Zoom &Out"), QKeySequence::ZoomOut,
       &FrameListWindow::MnuViewZoomOut_Click);
  item(view, "MnuViewZoomReset", QStringLiteral("&Normal Size"), QKeySequence(Qt::CTRL | Qt::Key_0),
       &FrameListWindow::MnuViewZoomReset_Click);
}

// --- Tasks ---

void FrameListWindow::Start(Task& task, const QString& what, BackgroundJob::Work work,
                            std::function<void()> done) {
  task.job.Start(std::move(work));
  task.done = std::move(done);
  task.what = what;
  if (!tick_->isActive()) tick_->start();
  Tick();
}

void FrameListWindow::CancelTasks() {
  for (Task* t : {&index_task_, &rows_task_, &survey_task_}) {
    t->job.Cancel();
    t->job.Join();
    t->done = nullptr;
  }
}

bool FrameListWindow::Busy() const {
  return index_task_.job.Running() || rows_task_.job.Running() || survey_task_.job.Running();
}

bool FrameListWindow::WaitUntilIdle(int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (Busy()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Tick();
  }
  return true;
}

void FrameListWindow::Tick() {
  // The index as it grows: the rows of its frames as they come, when no filter picks them.
  if (index_task_.job.Running() && !index_task_.job.Finished()) {
    const IndexSnapshot s = index_->Snapshot();
    if (s.SettledFrameCount() > listed_to_) {
      snapshot_ = s;
      for (; counted_to_ < s.SettledFrameCount(); ++counted_to_) {
        if (!s.Frame(counted_to_).Timestamp()) ++frames_total_;
      }
      if (!filter_) {
        std::vector<std::int64_t> more;
        packscope::ListFrames(s, listed_to_, s.SettledFrameCount(), nullptr, more);
        listed_to_ = s.SettledFrameCount();
        AppendListed(s, more);
        if (table_->currentIndex().row() < 0 && model_->rowCount() > 0) table_->selectRow(0);
      }
      UpdateShown();
    }
  }
  for (Task* t : {&index_task_, &rows_task_, &survey_task_}) {
    if (!t->job.Running() || !t->job.Finished()) continue;
    t->job.Join();
    std::function<void()> done = std::move(t->done);
    t->done = nullptr;
    if (!t->job.Error().empty()) ShowError(FromUtf8(t->job.Error()));
    if (done) done();
  }
  // The progress of the task the user waits for: the rows, else the reading, else the survey.
  Task* shown = nullptr;
  for (Task* t : {&rows_task_, &index_task_, &survey_task_}) {
    if (shown == nullptr && t->job.Running()) shown = t;
  }
  task_label_->setVisible(shown != nullptr);
  progress_->setVisible(shown != nullptr);
  cancel_->setVisible(shown != nullptr);
  if (shown != nullptr) {
    task_label_->setText(shown->what + QStringLiteral("..."));
    const std::int64_t total = shown->job.Total();
    progress_->setValue(total > 0 ? static_cast<int>(1000 * shown->job.Done() / total) : 0);
  }
  if (!Busy()) tick_->stop();
}

// --- Opening a capture ---

void FrameListWindow::OpenCapture(const std::string& path) {
  CancelTasks();
  path_ = path;
  setWindowTitle(path.empty() ? kWindowTitle : kWindowTitle + QStringLiteral(" - ") + NameOf(path));
  index_ = std::make_unique<FrameIndex>(path);
  snapshot_ = index_->Snapshot();
  listed_to_ = 0;
  counted_to_ = 0;
  frames_total_ = 0;
  unheld_ = 0;
  indexed_ = false;
  definitions_.reset();
  details_aprs_.reset();
  model_->SetDefinitions(nullptr);
  model_->SetRows(snapshot_, {});
  statistics_->Clear();
  ShowFrame(-1);
  UpdateShown();
  if (path.empty()) return;
  AddRecent(path);
  table_->setFocus();
  ReadIndex(&FrameListWindow::IndexDone);
}

void FrameListWindow::ReadIndex(void (FrameListWindow::*then)(const IndexResult&)) {
  auto result = std::make_shared<IndexResult>();
  FrameIndex* index = index_.get();
  Start(
      index_task_, QStringLiteral("Reading"),
      [index, result](const std::atomic<bool>* cancel, const PassProgress& progress) {
        *result = index->Extend(
            cancel, [&progress](std::int64_t done, std::int64_t total) { progress(done, total); });
      },
      [this, result, then] { (this->*then)(*result); });
}

void FrameListWindow::TakeIndex(const IndexResult& result) {
  snapshot_ = index_->Snapshot();
  indexed_ = result.status == IndexStatus::kAtEnd;
  if (indexed_) disk_.Remember(path_);
  for (; counted_to_ < snapshot_.FrameCount(); ++counted_to_) {
    if (!snapshot_.Frame(counted_to_).Timestamp()) ++frames_total_;
  }
}

void FrameListWindow::IndexDone(const IndexResult& result) {
  TakeIndex(result);
  if (filter_) {
    ListFrames();
  } else {
    std::vector<std::int64_t> more;
    packscope::ListFrames(snapshot_, listed_to_, snapshot_.FrameCount(), nullptr, more);
    listed_to_ = snapshot_.FrameCount();
    AppendListed(snapshot_, more);
    if (table_->currentIndex().row() < 0 && model_->rowCount() > 0) table_->selectRow(0);
    if (sort_column_ >= 0) RunSort();
  }
  UpdateShown();
  if (result.status == IndexStatus::kCancelled) {
    statusBar()->showMessage(
        QStringLiteral("Reading cancelled: the frames read so far are listed."));
  } else if (!result.message.empty()) {
    ShowError(FromUtf8(result.message));
  }
  StartSurvey();
}

void FrameListWindow::AppendListed(const IndexSnapshot& snapshot,
                                   const std::vector<std::int64_t>& more) {
  FollowEnd end(*table_);
  model_->AppendRows(snapshot, more);
  end.Restore();
}

void FrameListWindow::SetCaptureLookInterval(int milliseconds) { look_->setInterval(milliseconds); }

void FrameListWindow::ReadOn() {
  if (path_.empty() || !indexed_ || index_task_.job.Running() || rows_task_.job.Running()) return;
  if (!disk_.Changed(path_, snapshot_.CaptureSize())) return;
  // A last frame cut off by the end of the capture is read again: it may go on, or turn out a
  // timestamp frame.
  const std::int64_t settled = snapshot_.SettledFrameCount();
  for (; counted_to_ > settled; --counted_to_) {
    if (!snapshot_.Frame(counted_to_ - 1).Timestamp()) --frames_total_;
  }
  if (listed_to_ > settled) {
    const std::int64_t current = model_->FrameOfRow(table_->currentIndex().row());
    model_->DropRowsFrom(settled);
    listed_to_ = settled;
    if (current >= 0 && current < settled) SelectFrame(current);
  }
  indexed_ = false;
  ReadIndex(&FrameListWindow::ReadOnDone);
}

void FrameListWindow::ReadOnDone(const IndexResult& result) {
  if (result.status == IndexStatus::kChanged) {  // shrunk or replaced: read anew
    OpenCapture(path_);
    return;
  }
  TakeIndex(result);
  if (!result.message.empty()) ShowError(FromUtf8(result.message));
  const std::int64_t from = listed_to_;
  if (!filter_) {
    std::vector<std::int64_t> more;
    packscope::ListFrames(snapshot_, from, snapshot_.FrameCount(), nullptr, more);
    listed_to_ = snapshot_.FrameCount();
    AppendListed(snapshot_, more);
    if (sort_column_ >= 0) RunSort();
  } else {
    // Only the frames read on go through the filter.
    auto more = std::make_shared<std::vector<std::int64_t>>();
    auto unheld = std::make_shared<std::int64_t>(0);
    auto end = std::make_shared<PassEnd>(PassEnd::kDone);
    const IndexSnapshot s = snapshot_;
    const std::shared_ptr<const Filter> filter = filter_;
    const DefinitionFrames definitions = definitions_;
    Start(
        rows_task_, QStringLiteral("Filtering"),
        [s, from, filter, definitions, more, unheld, end](const std::atomic<bool>* cancel,
                                                          const PassProgress& progress) {
          *end = packscope::ListFrames(s, from, s.FrameCount(), filter.get(), *more, unheld.get(),
                                       cancel, progress, definitions);
        },
        [this, s, more, unheld, end] {
          if (*end == PassEnd::kCancelled) {  // listed in full by the next filter applied
            return;
          }
          listed_to_ = s.FrameCount();
          unheld_ += *unheld;
          AppendListed(s, *more);
          if (sort_column_ >= 0) RunSort();
          UpdateShown();
        });
  }
  UpdateShown();
  // The statistics of a growing capture are surveyed anew now and then, not at every growth.
  if (!survey_task_.job.Running() && surveyed_.isValid() &&
      surveyed_.elapsed() >= std::max<qint64>(5000, 5 * survey_ms_)) {
    StartSurvey();
  }
}

void FrameListWindow::FollowCapture(const QByteArray& path) {
  if (path.isEmpty() || path.toStdString() == path_) return;
  OpenCapture(path.toStdString());
}

// --- Filter, sort, survey ---

bool FrameListWindow::ApplyFilter(const QString& text) {
  const QString trimmed = text.trimmed();
  std::shared_ptr<const Filter> filter;
  if (!trimmed.isEmpty()) {
    FilterError error;
    std::optional<Filter> parsed = Filter::Parse(ToUtf8(trimmed), &error);
    if (!parsed) {
      filter_box_->setEditText(text);
      ShowFilterError(error);
      return false;
    }
    filter = std::make_shared<const Filter>(std::move(*parsed));
    RememberFilter(trimmed);
  }
  filter_error_->hide();
  filter_box_->setEditText(trimmed);
  filter_ = std::move(filter);
  filter_text_ = trimmed;
  if (rows_task_.job.Running()) {
    rows_task_.job.Cancel();
    rows_task_.job.Join();
    rows_task_.done = nullptr;
  }
  if (index_task_.job.Running()) {
    // Listed when the reading is done; until then the rows of no filter grow as it goes.
    listed_to_ = 0;
    model_->SetRows(snapshot_, {});
    UpdateShown();
    return true;
  }
  ListFrames();
  return true;
}

void FrameListWindow::ShowFilterError(const FilterError& error) {
  filter_error_->setText(
      QStringLiteral("Column %1: %2").arg(error.column).arg(FromUtf8(error.message)));
  filter_error_->show();
  filter_box_->setFocus();
  QLineEdit* line = filter_box_->lineEdit();
  const int at = std::max(0, error.column - 1);
  if (at < line->text().size()) {
    line->setSelection(at, 1);
  } else {
    line->setCursorPosition(at);
  }
}

void FrameListWindow::ListFrames() {
  const std::int64_t current = model_->FrameOfRow(table_->currentIndex().row());
  if (!filter_) {  // the index alone tells: no pass
    std::vector<std::int64_t> rows;
    packscope::ListFrames(snapshot_, 0, snapshot_.FrameCount(), nullptr, rows);
    listed_to_ = snapshot_.FrameCount();
    unheld_ = 0;
    model_->SetRows(snapshot_, std::move(rows));
    SelectFrame(current);
    if (sort_column_ >= 0) RunSort();
    UpdateShown();
    return;
  }
  auto rows = std::make_shared<std::vector<std::int64_t>>();
  auto unheld = std::make_shared<std::int64_t>(0);
  auto end = std::make_shared<PassEnd>(PassEnd::kDone);
  const IndexSnapshot s = snapshot_;
  const std::shared_ptr<const Filter> filter = filter_;
  Start(
      rows_task_, QStringLiteral("Filtering"),
      [s, filter, rows, unheld, end](const std::atomic<bool>* cancel,
                                     const PassProgress& progress) {
        *end = packscope::ListFrames(s, 0, s.FrameCount(), filter.get(), *rows, unheld.get(),
                                     cancel, progress);
      },
      [this, s, rows, unheld, end, current] {
        if (*end == PassEnd::kCancelled) {
          statusBar()->showMessage(
              QStringLiteral("Filter cancelled: the frames listed before it are shown."));
          return;
        }
        listed_to_ = s.FrameCount();
        unheld_ = *unheld;
        model_->SetRows(s, std::move(*rows));
        SelectFrame(current);
        if (sort_column_ >= 0) RunSort();
        UpdateShown();
      });
}

void FrameListWindow::SortBy(int column, Qt::SortOrder order) {
  sort_column_ = column;
  sort_order_ = order;
  // A listing still to come sorts its rows itself.
  if (index_task_.job.Running() || rows_task_.job.Running()) return;
  RunSort();
}

void FrameListWindow::RunSort() {
  if (sort_column_ < 0 || sort_column_ >= kFrameColumnCount) return;
  const FrameTableModel::RowList rows = model_->SharedRows();
  const FrameTableModel::RowList capture_order = model_->SharedCaptureOrder();
  auto sorted = std::make_shared<std::vector<std::int64_t>>();
  auto end = std::make_shared<PassEnd>(PassEnd::kDone);
  const IndexSnapshot s = model_->Snapshot();
  const DefinitionFrames definitions = definitions_;
  const auto column = static_cast<FrameColumn>(sort_column_);
  const bool descending = sort_order_ == Qt::DescendingOrder;
  Start(
      rows_task_, QStringLiteral("Sorting"),
      [=](const std::atomic<bool>* cancel, const PassProgress& progress) {
        *end = SortRows(s, definitions, *rows, *capture_order, column, descending, *sorted, cancel,
                        progress);
      },
      [this, sorted, end] {
        if (*end == PassEnd::kCancelled) {
          statusBar()->showMessage(QStringLiteral("Sort cancelled."));
          return;
        }
        const std::int64_t current = model_->FrameOfRow(table_->currentIndex().row());
        model_->SetOrder(std::move(*sorted));
        SelectFrame(current);
      });
}

void FrameListWindow::StartSurvey() {
  surveyed_.start();
  auto survey = std::make_shared<CaptureSurvey>();
  auto end = std::make_shared<PassEnd>(PassEnd::kDone);
  const IndexSnapshot s = snapshot_;
  Start(
      survey_task_, QStringLiteral("Statistics"),
      [s, survey, end](const std::atomic<bool>* cancel, const PassProgress& progress) {
        *end = SurveyCapture(s, *survey, cancel, progress);
      },
      [this, survey, end] {
        survey_ms_ = surveyed_.restart();
        if (*end == PassEnd::kCancelled) return;
        statistics_->SetSurvey(survey);
        definitions_ = std::make_shared<const std::vector<std::int64_t>>(survey->definitions);
        model_->SetDefinitions(definitions_);
        details_aprs_.reset();
        if (shown_frame_ >= 0) ShowFrame(shown_frame_);
      });
}

void FrameListWindow::UpdateShown() {
  QString text = QStringLiteral("%1 of %2 frames shown").arg(model_->rowCount()).arg(frames_total_);
  if (unheld_ > 0) {
    text += QStringLiteral(" (%1 no longer as read in the capture)").arg(unheld_);
  }
  shown_->setText(text);
}

// --- Selection, details and bytes ---

void FrameListWindow::SelectFrame(std::int64_t frame) {
  if (frame < 0) {
    if (model_->rowCount() > 0) table_->selectRow(0);
    return;
  }
  const std::int64_t row =
      RowOfFrame(model_->Rows(), model_->CaptureOrder(), model_->InCaptureOrder(), frame);
  if (row < 0 || row >= model_->rowCount()) {
    ShowFrame(-1);
    return;
  }
  const QModelIndex index = model_->index(static_cast<int>(row), 0);
  table_->setCurrentIndex(index);
  table_->scrollTo(index, QAbstractItemView::PositionAtCenter);
  if (model_->FrameOfRow(static_cast<int>(row)) != shown_frame_) ShowRow(static_cast<int>(row));
}

void FrameListWindow::ShowRow(int row) { ShowFrame(model_->FrameOfRow(row)); }

void FrameListWindow::ShowFrame(std::int64_t frame) {
  shown_frame_ = frame;
  detail_tree_.clear();
  details_->clear();
  if (frame < 0) {
    bytes_->Clear();
    return;
  }
  FrameReader reader(snapshot_);
  StoredFrame f;
  if (frame >= snapshot_.FrameCount() || !reader.Read(frame, f)) {
    details_->addTopLevelItem(new QTreeWidgetItem(
        {QStringLiteral("The capture no longer holds this frame as it was read.")}));
    bytes_->Clear();
    return;
  }
  if (!details_aprs_) details_aprs_ = std::make_unique<AprsTimeline>(snapshot_, definitions_);
  StampTimes times(snapshot_);
  const FrameRecord& record = snapshot_.Frame(frame);
  std::string time = FrameTimeText(times, record.StampNumber());
  if (times.Millis(record.StampNumber())) time += " UTC";
  detail_tree_ = FrameDetails(f, record, time, *details_aprs_);
  const auto add = [](const auto& self, const DetailNode& node) -> QTreeWidgetItem* {
    auto* item = new QTreeWidgetItem({FromUtf8(node.text)});
    item->setData(0, Qt::UserRole, node.begin);
    item->setData(0, Qt::UserRole + 1, node.end);
    for (const DetailNode& child : node.children) item->addChild(self(self, child));
    return item;
  };
  for (const DetailNode& node : detail_tree_) {
    QTreeWidgetItem* item = add(add, node);
    details_->addTopLevelItem(item);
    item->setExpanded(true);
  }
  bytes_->SetFrame(f.stored, f.frame, StoredPlaces(f));
}

void FrameListWindow::DetailChosen(QTreeWidgetItem* item) {
  if (item == nullptr) {
    bytes_->SetHighlight(-1, -1);
    return;
  }
  bytes_->SetHighlight(item->data(0, Qt::UserRole).toInt(),
                       item->data(0, Qt::UserRole + 1).toInt());
}

void FrameListWindow::ByteChosen(std::int32_t byte) {
  QTreeWidgetItem* item = nullptr;
  if (byte < 0) {
    item = details_->topLevelItem(0);  // a FEND: the KISS frame
  } else {
    for (int i : DetailPathOfByte(detail_tree_, byte)) {
      item = item == nullptr ? details_->topLevelItem(i) : item->child(i);
    }
  }
  if (item == nullptr) return;
  details_->setCurrentItem(item);
  details_->scrollToItem(item);
}

// --- Find and Go to ---

void FrameListWindow::FindNext(bool backwards) {
  if (find_text_->text().isEmpty()) {
    MnuEditFind_Click();
    return;
  }
  std::string error;
  const std::optional<FindQuery> query =
      ParseFindQuery(ToUtf8(find_text_->text()), find_hex_->isChecked(), &error);
  if (!query) {
    statusBar()->showMessage(FromUtf8(error));
    return;
  }
  if (rows_task_.job.Running()) {
    statusBar()->showMessage(QStringLiteral("Wait until the frames are listed, then find."));
    return;
  }
  const FrameTableModel::RowList rows = model_->SharedRows();
  const FrameTableModel::RowList capture_order = model_->SharedCaptureOrder();
  auto found = std::make_shared<std::int64_t>(-1);
  const IndexSnapshot s = model_->Snapshot();
  const DefinitionFrames definitions = definitions_;
  const std::int64_t from = table_->currentIndex().row();
  const FindQuery q = *query;
  Start(
      rows_task_, QStringLiteral("Finding"),
      [=](const std::atomic<bool>* cancel, const PassProgress& progress) {
        *found =
            FindRow(s, definitions, *rows, *capture_order, from, backwards, q, cancel, progress);
      },
      [this, found, rows] {
        if (*found < 0 || rows != model_->SharedRows()) {
          statusBar()->showMessage(QStringLiteral("Not found in the frames shown."));
          return;
        }
        statusBar()->clearMessage();
        const QModelIndex index = model_->index(static_cast<int>(*found), 0);
        table_->setCurrentIndex(index);
        table_->scrollTo(index, QAbstractItemView::PositionAtCenter);
      });
}

bool FrameListWindow::GoToFrame(std::int64_t number) {
  const std::int64_t frame = number - 1;
  if (frame < 0 || frame >= snapshot_.FrameCount() || model_->rowCount() == 0) {
    statusBar()->showMessage(QStringLiteral("The capture has no frame %1.").arg(number));
    return false;
  }
  SelectFrame(frame);
  const bool exact = model_->FrameOfRow(table_->currentIndex().row()) == frame;
  statusBar()->showMessage(exact ? QString()
                                 : QStringLiteral("Frame %1 is not shown: the nearest frame shown "
                                                  "is selected.")
                                       .arg(number));
  table_->setFocus();
  return true;
}

bool FrameListWindow::GoToOffset(std::int64_t offset) {
  const std::int64_t frame = FrameAtOffset(snapshot_, offset);
  if (frame < 0) {
    statusBar()->showMessage(QStringLiteral("No frame begins at or before offset %1.").arg(offset));
    return false;
  }
  return GoToFrame(frame + 1);
}

// --- Export ---

bool FrameListWindow::ExportTo(const std::string& path) {
  if (path_.empty()) {
    ShowError(QStringLiteral("No capture is open: there are no frames to export."));
    return false;
  }
  std::string error;
  const Layout* layout = ExportLayout(path, &error);
  if (layout == nullptr) {
    ShowError(FromUtf8(error));
    return false;
  }
  DecoderState state;
  state.CaptureFileName = path_;
  std::optional<CaptureFilter> predicate;
  if (filter_) {
    predicate.emplace(*filter_);
    state.FrameFilter = &*predicate;
  }
  ExportWindow window(this);
  // As the converter runs a layout: the window's AX.25 decoder only for the window's layouts.
  window.SetCheck2(layout->kind != LayoutKind::kFrameWriter);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool ok = RunLayout(state, window, *layout, path);
  QApplication::restoreOverrideCursor();
  QSettings().setValue(
      kGroup + QStringLiteral("lastFolder"),
      QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).absolutePath());
  if (!window.Errors().empty()) {
    QStringList messages;
    for (const std::string& e : window.Errors()) messages << FromUtf8(e);
    ShowError(messages.join(QLatin1Char('\n')));
  }
  if (ok) {
    const std::int64_t kept = predicate ? predicate->Kept() : frames_total_;
    statusBar()->showMessage(
        QStringLiteral("%1 frames written to %2 (%3)")
            .arg(kept)
            .arg(QFile::decodeName(QByteArray::fromStdString(path)), FromUtf8(layout->name)));
  } else if (window.Errors().empty()) {
    statusBar()->showMessage(QStringLiteral("Export cancelled: nothing was written."));
  }
  return ok;
}

// --- Handlers ---

void FrameListWindow::MnuFileOpen_Click() {
  const QString folder = QSettings().value(kGroup + QStringLiteral("lastFolder")).toString();
  const QString chosen = open_dialog_ ? open_dialog_(this, folder) : QString();
  if (chosen.isEmpty()) return;
  QSettings().setValue(kGroup + QStringLiteral("lastFolder"), QFileInfo(chosen).absolutePath());
  OpenCapture(PathBytes(chosen));
}

void FrameListWindow::MnuFileExport_Click() {
  QString folder = QSettings().value(kGroup + QStringLiteral("lastFolder")).toString();
  const QFileInfo capture(QFile::decodeName(QByteArray::fromStdString(path_)));
  if (folder.isEmpty()) folder = capture.absolutePath();
  const QString suggested =
      QDir(folder).filePath(capture.completeBaseName() + QStringLiteral(".shown.jsonl"));
  const QString chosen = save_dialog_ ? save_dialog_(this, suggested) : QString();
  if (!chosen.isEmpty()) ExportTo(PathBytes(chosen));
}

void FrameListWindow::MnuFileClose_Click() { close(); }

void FrameListWindow::MnuEditFind_Click() {
  find_bar_->show();
  find_text_->setFocus();
  find_text_->selectAll();
}

void FrameListWindow::MnuEditGoTo_Click() {
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Go to"));
  auto* form = new QFormLayout(&dialog);
  auto* frame = new QRadioButton(QStringLiteral("&Frame number"), &dialog);
  auto* offset = new QRadioButton(QStringLiteral("&Byte offset"), &dialog);
  frame->setChecked(true);
  auto* value = new QLineEdit(&dialog);
  value->setObjectName(QStringLiteral("GoToValue"));
  value->setPlaceholderText(QStringLiteral("123, or 0x7B"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(frame);
  form->addRow(offset);
  form->addRow(QStringLiteral("&Value:"), value);
  form->addRow(buttons);
  value->setFocus();
  if (dialog.exec() != QDialog::Accepted) return;
  const std::optional<std::int64_t> number = ParseNumber(value->text());
  if (!number) {
    statusBar()->showMessage(QStringLiteral("\"%1\" is no number.").arg(value->text()));
    return;
  }
  if (offset->isChecked()) {
    GoToOffset(*number);
  } else {
    GoToFrame(*number);
  }
}

void FrameListWindow::MnuViewZoomIn_Click() { SetZoom(zoom_ + 1); }
void FrameListWindow::MnuViewZoomOut_Click() { SetZoom(zoom_ - 1); }
void FrameListWindow::MnuViewZoomReset_Click() { SetZoom(0); }
void FrameListWindow::MnuViewStoredBytes_Click() {
  bytes_->SetStoredView(stored_bytes_->isChecked());
}

// --- Settings, zoom, theme ---

void FrameListWindow::SetZoom(int steps) {
  zoom_ = std::clamp(steps, kSmallestPoints - base_point_size_, kLargestPoints - base_point_size_);
  ApplyZoom();
}

void FrameListWindow::ApplyZoom() {
  const int points = base_point_size_ + zoom_;
  QFont table_font = QApplication::font();
  table_font.setPointSize(points);
  table_->setFont(table_font);
  details_->setFont(table_font);
  table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(table_font).height() + 6);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPointSize(points);
  bytes_->setFont(fixed);
}

void FrameListWindow::SetColumnShown(int column, bool shown) {
  // One column stays: the last one shown cannot be hidden.
  int visible = 0;
  for (int c = 0; c < kFrameColumnCount; ++c) {
    visible += table_->horizontalHeader()->isSectionHidden(c) ? 0 : 1;
  }
  if (!shown && visible <= 1) {
    column_actions_[static_cast<std::size_t>(column)]->setChecked(true);
    return;
  }
  table_->horizontalHeader()->setSectionHidden(column, !shown);
}

void FrameListWindow::AddRecent(const std::string& path) {
  QSettings settings;
  const QString key = kGroup + QStringLiteral("recentCaptures");
  QStringList recent = settings.value(key).toStringList();
  const QString text = QFile::decodeName(QByteArray::fromStdString(path));
  recent.removeAll(text);
  recent.prepend(text);
  while (recent.size() > kMostRecent) recent.removeLast();
  settings.setValue(key, recent);
  settings.setValue(kGroup + QStringLiteral("lastFolder"), QFileInfo(text).absolutePath());
}

void FrameListWindow::FillRecentMenu() {
  recent_menu_->clear();
  const QStringList recent =
      QSettings().value(kGroup + QStringLiteral("recentCaptures")).toStringList();
  int n = 0;
  for (const QString& path : recent) {
    ++n;
    QAction* a = recent_menu_->addAction(QStringLiteral("&%1 %2").arg(n % 10).arg(path));
    connect(a, &QAction::triggered, this, [this, path] { OpenCapture(PathBytes(path)); });
  }
  if (recent.isEmpty()) recent_menu_->addAction(QStringLiteral("(none yet)"))->setEnabled(false);
}

void FrameListWindow::RememberFilter(const QString& text) {
  const int at = filter_box_->findText(text);
  if (at >= 0) filter_box_->removeItem(at);
  filter_box_->insertItem(0, text);
  while (filter_box_->count() > kMostFilters) filter_box_->removeItem(filter_box_->count() - 1);
  QStringList history;
  for (int i = 0; i < filter_box_->count(); ++i) history << filter_box_->itemText(i);
  QSettings().setValue(kGroup + QStringLiteral("filterHistory"), history);
}

void FrameListWindow::LoadSettings() {
  QSettings settings;
  base_point_size_ = std::max(kSmallestPoints, QApplication::font().pointSize());
  filter_box_->addItems(settings.value(kGroup + QStringLiteral("filterHistory")).toStringList());
  filter_box_->setEditText(QString());
  restoreGeometry(settings.value(kGroup + QStringLiteral("geometry")).toByteArray());
  restoreState(settings.value(kGroup + QStringLiteral("state")).toByteArray());
  main_splitter_->restoreState(
      settings.value(kGroup + QStringLiteral("framesSplitter")).toByteArray());
  lower_splitter_->restoreState(
      settings.value(kGroup + QStringLiteral("detailsSplitter")).toByteArray());
  QHeaderView* header = table_->horizontalHeader();
  if (header->restoreState(settings.value(kGroup + QStringLiteral("columns")).toByteArray())) {
    for (int c = 0; c < kFrameColumnCount; ++c) {
      column_actions_[static_cast<std::size_t>(c)]->setChecked(!header->isSectionHidden(c));
    }
  }
  // A sort is not kept from one capture to the next.
  header->setSortIndicator(-1, Qt::AscendingOrder);
  stored_bytes_->setChecked(settings.value(kGroup + QStringLiteral("storedBytes")).toBool());
  bytes_->SetStoredView(stored_bytes_->isChecked());
  zoom_ = settings.value(kGroup + QStringLiteral("zoom")).toInt();
  SetZoom(zoom_);
}

void FrameListWindow::SaveSettings() {
  QSettings settings;
  settings.setValue(kGroup + QStringLiteral("geometry"), saveGeometry());
  settings.setValue(kGroup + QStringLiteral("state"), saveState());
  settings.setValue(kGroup + QStringLiteral("framesSplitter"), main_splitter_->saveState());
  settings.setValue(kGroup + QStringLiteral("detailsSplitter"), lower_splitter_->saveState());
  settings.setValue(kGroup + QStringLiteral("columns"), table_->horizontalHeader()->saveState());
  settings.setValue(kGroup + QStringLiteral("storedBytes"), stored_bytes_->isChecked());
  settings.setValue(kGroup + QStringLiteral("zoom"), zoom_);
}

void FrameListWindow::FollowTheme() {
  // A red that reads on a light and on a dark background.
  const bool dark = palette().color(QPalette::Window).lightness() < 128;
  QPalette p = filter_error_->palette();
  p.setColor(QPalette::WindowText, dark ? QColor(0xFF, 0x80, 0x80) : QColor(0xB0, 0x00, 0x00));
  filter_error_->setPalette(p);
}

void FrameListWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) FollowTheme();
}

bool FrameListWindow::eventFilter(QObject* watched, QEvent* event) {
  // Escape in the find bar closes it (and does not cancel a task).
  if (watched == find_text_ &&
      (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      event->accept();
      if (event->type() == QEvent::KeyPress) {
        find_bar_->hide();
        table_->setFocus();
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void FrameListWindow::ShowError(const QString& message) {
  if (error_reporter_) error_reporter_(message);
}

void FrameListWindow::closeEvent(QCloseEvent* event) {
  SaveSettings();
  CancelTasks();
  event->accept();
}

}  // namespace packscope
