#include "ui/frame_list_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "framelist/frame_list_text.h"
#include "framelist/list_connections.h"
#include "framelist/map_plots_feed.h"
#include "qt/qt_text.h"
#include "ui/bytes_view.h"
#include "ui/follow_view.h"
#include "ui/frame_details_view.h"
#include "ui/frame_list_bars.h"
#include "ui/frame_list_settings.h"
#include "ui/frame_table_model.h"
#include "ui/pass_lanes.h"
#include "ui/statistics_view.h"

namespace packscope {
namespace {

// How often the window looks whether the capture changed on disk.
constexpr int kLookAtCaptureMs = 1000;
constexpr int kSmallestPoints = 6;
constexpr int kLargestPoints = 40;
constexpr int kDefaultWidths[kFrameColumnCount] = {70, 170, 70, 40, 90, 90, 140, 55, 40, 60, 400};

const QString kWindowTitle = QStringLiteral("Packscope Frames");

QString PathText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

}  // namespace

FrameListWindow::FrameListWindow(QWidget* parent)
    : QMainWindow(parent),
      lanes_(new PassLanes(
          statusBar(), [this](const std::string& m) { ShowError(m); }, this)),
      list_(std::make_unique<FrameList>(static_cast<FrameListHost&>(*this))),
      connections_(std::make_unique<ListConnections>(static_cast<FrameListHost&>(*this), *list_,
                                                     [this] { UpdateStatistics(); })),
      save_dialog_(&AskExportFile),
      open_dialog_(&AskCaptureToOpen),
      colouring_editor_(
          [](QWidget* parent_widget,
             const std::vector<ColourRule>& rules) -> std::optional<std::vector<ColourRule>> {
            ColouringDialog dialog(rules, parent_widget);
            if (dialog.exec() != QDialog::Accepted) return std::nullopt;
            return dialog.Rules();
          }),
      error_reporter_(
          [this](const QString& message) { QMessageBox::warning(this, kWindowTitle, message); }) {
  setObjectName(QStringLiteral("FrameListWindow"));
  setWindowTitle(kWindowTitle);
  setWindowIcon(QIcon(QStringLiteral(":/packscope/icon.png")));
  lanes_->SetWhileReading([this] { list_->Grow(); });
  look_ = new QTimer(this);
  look_->setInterval(kLookAtCaptureMs);
  connect(look_, &QTimer::timeout, this, &FrameListWindow::ReadOn);
  look_->start();
  CreateControls();
  CreateMenus();
  AddContextEntries();
  CreateMergeParts();
  LoadSettings();
  UpdateShown();
}

FrameListWindow::~FrameListWindow() {
  lanes_->StopAll();
  delete model_;  // it reads the list, which goes before the window's children
}

QTreeWidget* FrameListWindow::Details() const { return details_->Tree(); }
BytesView* FrameListWindow::Bytes() const { return details_->Bytes(); }
QComboBox* FrameListWindow::FilterBox() const { return filter_bar_->Box(); }
QLabel* FrameListWindow::FilterErrorLabel() const { return filter_bar_->ErrorLabel(); }

void FrameListWindow::CreateControls() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 0);
  filter_bar_ = new FilterBar(central);
  connect(filter_bar_, &FilterBar::ApplyRequested, this,
          [this](const QString& text) { ApplyFilter(text); });
  connect(filter_bar_, &FilterBar::Greyed, this, [this](bool on) { model_->SetGreyed(on); });
  layout->addWidget(filter_bar_);

  // Frames: the table over the details and the bytes.
  tabs_ = new QTabWidget(central);
  tabs_->setObjectName(QStringLiteral("Tabs"));
  main_splitter_ = new QSplitter(Qt::Vertical);
  main_splitter_->setObjectName(QStringLiteral("FramesSplitter"));
  model_ = new FrameTableModel(*list_, this);
  table_ = new QTableView(main_splitter_);
  table_->setObjectName(QStringLiteral("FrameTable"));
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setAlternatingRowColors(true);
  table_->setWordWrap(false);
  table_->setShowGrid(false);
  table_->setTabKeyNavigation(false);
  table_->setContextMenuPolicy(Qt::CustomContextMenu);
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
    const bool again = column == list_->SortColumn() && !list_->SortDescending();
    header->setSortIndicator(column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
    model_->sort(column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
  });
  connect(header, &QHeaderView::customContextMenuRequested, this,
          [this, header](const QPoint& at) { columns_menu_->popup(header->mapToGlobal(at)); });
  connect(model_, &FrameTableModel::SortRequested, this, [this](int column, Qt::SortOrder order) {
    Act();
    list_->SortBy(column, order == Qt::DescendingOrder);
  });
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            const std::int64_t frame = current.isValid() ? model_->FrameOfRow(current.row()) : -1;
            if (frame != details_->Frame().number) ShowFrame(frame);
          });
  connect(table_, &QTableView::customContextMenuRequested, this, [this](const QPoint& at) {
    const QModelIndex index = table_->indexAt(at);
    if (index.isValid()) CellMenu(index.row(), index.column())->popup(table_->mapToGlobal(at));
  });
  details_ = new FrameDetailsView(main_splitter_);
  connect(details_, &FrameDetailsView::MenuRequested, this,
          [this](QTreeWidgetItem* item, const QPoint& at) { DetailMenu(item)->popup(at); });
  main_splitter_->setStretchFactor(0, 3);
  main_splitter_->setStretchFactor(1, 2);
  tabs_->addTab(main_splitter_, QStringLiteral("F&rames"));
  statistics_ = new StatisticsView();
  connect(statistics_, &StatisticsView::FilterRequested, this, [this](const QString& expression) {
    if (ApplyFilter(expression)) tabs_->setCurrentIndex(0);
  });
  connect(statistics_, &StatisticsView::WholeCaptureChosen, this,
          [this](bool whole) { list_->SetStatisticsOfWholeCapture(whole); });
  tabs_->addTab(statistics_, QStringLiteral("S&tatistics"));
  CreateMapAndPlots();
  layout->addWidget(tabs_, 1);
  find_bar_ = new FindBar(central);
  connect(find_bar_, &FindBar::FindRequested, this, &FrameListWindow::FindNext);
  connect(find_bar_, &FindBar::Closed, this, [this] { table_->setFocus(); });
  layout->addWidget(find_bar_);
  setCentralWidget(central);
  shown_ = new QLabel(this);
  shown_->setObjectName(QStringLiteral("FramesShown"));
  source_ = new QLabel(this);
  source_->setObjectName(QStringLiteral("CaptureSource"));
  source_->setContentsMargins(0, 0, 16, 0);  // apart from the count beside it
  statusBar()->addPermanentWidget(source_);
  statusBar()->addPermanentWidget(shown_);
  setTabOrder(filter_bar_, tabs_);
  setTabOrder(tabs_, table_);
  setTabOrder(table_, details_->Tree());
  setTabOrder(details_->Tree(), details_->Bytes());
  resize(1100, 760);
}

void FrameListWindow::CreateMenus() {
  const auto item = [this](QMenu* menu, const char* name, const QString& caption,
                           const QKeySequence& keys, auto handler) {
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
  item(edit, "MnuEditFindNext", QStringLiteral("Find &Next"), QKeySequence::FindNext,
       [this] { FindNext(false); });
  item(edit, "MnuEditFindPrevious", QStringLiteral("Find &Previous"), QKeySequence::FindPrevious,
       [this] { FindNext(true); });
  item(edit, "MnuEditCopyRow", QStringLiteral("&Copy Row as Monitor Line"), QKeySequence::Copy,
       [this] { Copy(list_->MonitorLine(CurrentFrame())); });
  edit->addSeparator();
  item(edit, "MnuEditGoTo", QStringLiteral("&Go to Frame or Offset..."),
       QKeySequence(Qt::CTRL | Qt::Key_G), &FrameListWindow::MnuEditGoTo_Click);
  item(edit, "MnuEditFirstRow", QStringLiteral("First &Row"), QKeySequence(Qt::CTRL | Qt::Key_Home),
       [this] { GoToRow(false); });
  item(edit, "MnuEditLastRow", QStringLiteral("&Last Row"), QKeySequence(Qt::CTRL | Qt::Key_End),
       [this] { GoToRow(true); });
  item(edit, "MnuEditFilter", QStringLiteral("Edit the F&ilter"),
       QKeySequence(Qt::CTRL | Qt::Key_Slash), [this] { filter_bar_->EditText(); });
  item(edit, "MnuEditFollowConnection", QStringLiteral("Follow &Connection"),
       QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), [this] { FollowConnection(CurrentFrame()); });

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("MnuView"));
  item(view, "MnuViewFrames", QStringLiteral("&Frames"), QKeySequence(Qt::CTRL | Qt::Key_1),
       [this] {
         tabs_->setCurrentIndex(0);
         table_->setFocus();
       });
  item(view, "MnuViewStatistics", QStringLiteral("&Statistics"), QKeySequence(Qt::CTRL | Qt::Key_2),
       [this] { tabs_->setCurrentIndex(1); });
  AddMapAndPlotsMenus(view);
  view->addSeparator();
  columns_menu_ = view->addMenu(QStringLiteral("&Columns"));
  columns_menu_->setObjectName(QStringLiteral("MnuViewColumns"));
  connect(columns_menu_, &QMenu::aboutToShow, this, &FrameListWindow::FillColumnsMenu);
  stored_bytes_ =
      item(view, "MnuViewStoredBytes", QStringLiteral("&Bytes as Stored"),
           QKeySequence(Qt::CTRL | Qt::Key_B), &FrameListWindow::MnuViewStoredBytes_Click);
  stored_bytes_->setCheckable(true);
  item(view, "MnuViewColouring", QStringLiteral("Colo&uring..."), QKeySequence(),
       &FrameListWindow::MnuViewColouring_Click);
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

void FrameListWindow::AddContextEntries() {
  const auto has_filter = [](const ContextTarget& t) { return !t.filter.empty(); };
  const struct {
    const char* caption;
    const char* name;
    FilterJoin join;
  } joins[] = {{"&Selected", "Selected", FilterJoin::kSelected},
               {"&Not Selected", "NotSelected", FilterJoin::kNotSelected},
               {"...&and Selected", "AndSelected", FilterJoin::kAnd},
               {"...&or Selected", "OrSelected", FilterJoin::kOr},
               {"...a&nd not Selected", "AndNotSelected", FilterJoin::kAndNot},
               {"...o&r not Selected", "OrNotSelected", FilterJoin::kOrNot}};
  for (const bool apply : {true, false}) {
    for (const auto& j : joins) {
      const FilterJoin join = j.join;
      context_menu_.Add(
          {QString::fromLatin1(j.caption),
           apply ? QStringLiteral("&Apply as Filter") : QStringLiteral("&Prepare as Filter"),
           QStringLiteral("Mnu%1%2").arg(apply ? "Apply" : "Prepare", j.name), has_filter,
           [this, join, apply](const ContextTarget& t) { JoinFilter(t, join, apply); }});
    }
  }
  context_menu_.Add(
      {QStringLiteral("Follow Co&nnection"),
       {},
       QStringLiteral("MnuFollowConnection"),
       [this](const ContextTarget& t) { return connections_->SessionOfFrame(t.frame) != 0; },
       [this](const ContextTarget& t) { FollowConnection(t.frame); }});
  context_menu_.Add({QStringLiteral("&Row as Monitor Line"), QStringLiteral("&Copy"),
                     QStringLiteral("MnuCopyRow"),
                     [](const ContextTarget& t) { return t.frame >= 0; },
                     [this](const ContextTarget& t) { Copy(list_->MonitorLine(t.frame)); }});
  context_menu_.Add(
      {QStringLiteral("&Bytes as Hex"), QStringLiteral("&Copy"), QStringLiteral("MnuCopyBytes"),
       [](const ContextTarget& t) { return t.frame >= 0; },
       [this](const ContextTarget& t) { Copy(list_->FrameHex(t.frame, Bytes()->StoredView())); }});
  context_menu_.Add({QStringLiteral("&Value"), QStringLiteral("&Copy"),
                     QStringLiteral("MnuCopyValue"),
                     [](const ContextTarget& t) { return !t.value.empty(); },
                     [this](const ContextTarget& t) { Copy(t.value); }});
}

// --- Passes ---

void FrameListWindow::StartPass(int lane, std::string_view what, Work work,
                                std::function<void()> done) {
  lanes_->Start(lane, what, std::move(work), std::move(done));
}
void FrameListWindow::StopPass(int lane) { lanes_->Stop(lane); }
bool FrameListWindow::PassRunning(int lane) const { return lanes_->Running(lane); }
bool FrameListWindow::Busy() const { return lanes_->Busy(); }

bool FrameListWindow::WaitUntilIdle(int timeout_ms, int lane) {
  QElapsedTimer clock;
  clock.start();
  // Waits for events rather than spinning: the passes keep the cores they run on. The timer
  // wakes the loop to look at the lanes.
  QTimer wake;
  wake.start(2);
  while (lane < 0 ? Busy() : lanes_->Running(lane)) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    lanes_->Tick();
  }
  return true;
}

// --- What the list tells ---

void FrameListWindow::RowsAboutToChange(const RowsChange& change) {
  kept_frame_ = CurrentFrame();
  if (change.kind == RowsChange::kAppend) follow_.emplace(*table_);
  model_->BeginChange(change);
}

void FrameListWindow::RowsChanged(const RowsChange& change) {
  model_->EndChange(change);
  if (follow_) {
    follow_->Restore();
    follow_.reset();
  }
  // The frame selected stays selected; with none, the first row.
  if (kept_frame_ < 0 || CurrentFrame() != kept_frame_) SelectFrame(kept_frame_);
  UpdateShown();
  if (map_plots_) map_plots_->Update();
  UpdateComparison();
}

void FrameListWindow::ListChanged(unsigned what) {
  connections_->Update();
  if ((what & kColumnsChanged) != 0) model_->ColumnsChanged();
  if ((what & kTextsChanged) != 0) {
    model_->TextsChanged();
    if (details_->Frame().number >= 0) ShowFrame(details_->Frame().number);
  }
  if ((what & kStatisticsChanged) != 0) UpdateStatistics();
  if ((what & kSortChanged) != 0)
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  if ((what & kFilterChanged) != 0) filter_bar_->SetApplied(FromUtf8(list_->FilterText()));
  if ((what & (kCountsChanged | kFilterChanged)) != 0) UpdateShown();
  if (map_plots_) map_plots_->Update();
}

void FrameListWindow::Found(std::int64_t row) {
  const QModelIndex index = model_->index(static_cast<int>(row), 0);
  table_->setCurrentIndex(index);
  table_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void FrameListWindow::Say(const std::string& message) {
  statusBar()->showMessage(FromUtf8(message), message_ms_);
}

void FrameListWindow::ShowError(const std::string& message) {
  if (error_reporter_) error_reporter_(FromUtf8(message));
}

void FrameListWindow::Act() { statusBar()->clearMessage(); }

void FrameListWindow::UpdateShown() {
  shown_->setText(FromUtf8(list_->ShownText()));
  source_->setText(FromUtf8(list_->SourceText()));
}

void FrameListWindow::UpdateStatistics() {
  const QString scope = list_->StatisticsOfWholeCapture()
                            ? QStringLiteral("the whole capture")
                            : QStringLiteral("the %1 frames shown (%2)")
                                  .arg(list_->RowCount())
                                  .arg(FromUtf8(list_->FilterText()));
  // The connected sessions' tables (of the whole capture) behind the survey's.
  const SurveyStatistics* surveyed = list_->Statistics();
  SurveyStatistics shown;
  const StatTables more = connections_->Tables();
  if (surveyed != nullptr && !more.empty()) {
    shown = *surveyed;
    shown.tables.insert(shown.tables.end(), more.begin(), more.end());
    surveyed = &shown;
  }
  statistics_->SetStatistics(surveyed, scope, list_->RowsFilter() != nullptr);
}

FollowView* FrameListWindow::LastFollowView() const { return follow_view_.data(); }

void FrameListWindow::FollowConnection(std::int64_t frame) {
  Act();
  connections_->Follow(frame, [this](std::shared_ptr<const FollowedSession> session) {
    auto* view = new FollowView(std::move(session), list_->Path(), this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    connect(view, &FollowView::FrameChosen, this, [this](qint64 chosen) { GoToFrame(chosen + 1); });
    follow_view_ = view;
    view->show();
  });
}

// --- Opening, filter ---

void FrameListWindow::OpenCapture(const std::string& path) {
  Act();
  setWindowTitle(path.empty()
                     ? kWindowTitle
                     : kWindowTitle + QStringLiteral(" - ") + QFileInfo(PathText(path)).fileName());
  ShowFrame(-1);
  list_->Open(path);
  if (path.empty()) return;
  FrameListSettings::AddRecentCapture(PathText(path));
  table_->setFocus();
}

void FrameListWindow::SetCaptureLookInterval(int milliseconds) { look_->setInterval(milliseconds); }

void FrameListWindow::SetFreeSpace(const FreeSpace* free_space) { list_->SetFreeSpace(free_space); }

void FrameListWindow::ReadOn() { list_->ReadOn(); }

void FrameListWindow::FollowCapture(const QByteArray& path) {
  if (path.isEmpty() || path.toStdString() == list_->Path()) return;
  OpenCapture(path.toStdString());
}

bool FrameListWindow::ApplyFilter(const QString& text) {
  Act();
  FilterError error;
  filter_bar_->SetText(text);
  if (!list_->ApplyFilter(ToUtf8(text), &error)) {
    filter_bar_->ShowError(error);
    return false;
  }
  if (!text.trimmed().isEmpty()) {
    filter_bar_->Remember(text.trimmed());
    FrameListSettings::SetFilterHistory(filter_bar_->History());
  }
  filter_bar_->SetText(text.trimmed());
  filter_bar_->SetApplied(FromUtf8(list_->FilterText()));
  return true;
}

void FrameListWindow::PrepareFilter(const QString& text) {
  filter_bar_->SetText(text);
  filter_bar_->Box()->setFocus();
}

void FrameListWindow::JoinFilter(const ContextTarget& target, FilterJoin join, bool apply) {
  const QString text = FromUtf8(packscope::JoinFilter(list_->FilterText(), target.filter, join));
  if (apply) {
    ApplyFilter(text);
  } else {
    PrepareFilter(text);
  }
}

// --- Selection, details and bytes ---

std::int64_t FrameListWindow::CurrentFrame() const {
  return model_->FrameOfRow(table_->currentIndex().row());
}

void FrameListWindow::SelectFrame(std::int64_t frame) {
  if (frame < 0) {
    if (model_->rowCount() > 0) table_->selectRow(0);
    return;
  }
  const std::int64_t row = list_->RowOfFrame(frame);
  if (row < 0 || row >= model_->rowCount()) {
    ShowFrame(-1);
    return;
  }
  const QModelIndex index = model_->index(static_cast<int>(row), 0);
  table_->setCurrentIndex(index);
  table_->scrollTo(index, QAbstractItemView::PositionAtCenter);
  if (model_->FrameOfRow(static_cast<int>(row)) != details_->Frame().number) {
    ShowFrame(model_->FrameOfRow(static_cast<int>(row)));
  }
}

void FrameListWindow::ShowFrame(std::int64_t frame) { details_->SetFrame(list_->Show(frame)); }

// --- Context menus ---

QMenu* FrameListWindow::CellMenu(int row, int column) {
  ContextTarget target;
  target.frame = model_->FrameOfRow(row);
  target.column = column;
  target.filter = list_->CellFilter(target.frame, column);
  target.value = CellText(model_->Row(row), column);
  return context_menu_.Build(target, this);
}

QMenu* FrameListWindow::DetailMenu(QTreeWidgetItem* item) {
  ContextTarget target;
  target.frame = details_->Frame().number;
  if (const DetailNode* node = details_->NodeOf(item)) {
    target.filter = node->filter;
    target.value = node->value.empty() ? node->text : node->value;
  }
  return context_menu_.Build(target, this);
}

void FrameListWindow::Copy(const std::string& text) {
  QApplication::clipboard()->setText(FromUtf8(text));
  Say("Copied: " + (text.size() > 80 ? text.substr(0, 77) + "..." : text));
}

// --- Find, Go to, Export ---

void FrameListWindow::FindNext(bool backwards) {
  Act();
  if (find_bar_->Text().isEmpty()) {
    MnuEditFind_Click();
    return;
  }
  std::string error;
  const std::optional<FindQuery> query =
      ParseFindQuery(ToUtf8(find_bar_->Text()), find_bar_->Hex(), &error);
  if (!query) {
    Say(error);
    return;
  }
  list_->Find(*query, table_->currentIndex().row(), backwards);
}

bool FrameListWindow::GoToFrame(std::int64_t number) {
  Act();
  const std::int64_t frame = number - 1;
  if (frame < 0 || frame >= list_->Snapshot().FrameCount() || model_->rowCount() == 0) {
    Say("The capture has no frame " + std::to_string(number) + ".");
    return false;
  }
  SelectFrame(frame);
  if (CurrentFrame() != frame) {
    Say("Frame " + std::to_string(number) + " is not shown: the nearest frame shown is selected.");
  }
  table_->setFocus();
  return true;
}

bool FrameListWindow::GoToOffset(std::int64_t offset) {
  const std::int64_t frame = list_->FrameAtOffset(offset);
  if (frame < 0) {
    Act();
    Say("No frame begins at or before offset " + std::to_string(offset) + ".");
    return false;
  }
  return GoToFrame(frame + 1);
}

void FrameListWindow::GoToRow(bool last) {
  if (model_->rowCount() == 0) return;
  QScrollBar* sideways = table_->horizontalScrollBar();
  const int left = sideways->value();
  int column = table_->currentIndex().column();
  if (column < 0) column = table_->columnAt(0);
  const QModelIndex index = model_->index(last ? model_->rowCount() - 1 : 0, std::max(column, 0));
  table_->setCurrentIndex(index);
  table_->scrollTo(index);
  sideways->setValue(left);
}

bool FrameListWindow::ExportTo(const std::string& path, const Layout* layout) {
  Act();
  if (list_->Path().empty()) {
    ShowError("No capture is open: there are no frames to export.");
    return false;
  }
  std::string error;
  if (layout == nullptr) layout = LayoutForFileName(path, &error);
  if (layout == nullptr) {
    ShowError(error);
    return false;
  }
  ExportWindow window(this);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::int64_t written = 0;
  const bool ok = list_->Export(path, *layout, window, &written);
  QApplication::restoreOverrideCursor();
  FrameListSettings::SetLastFolder(PathText(path));
  if (!window.Errors().empty()) error_reporter_(window.ErrorText());
  if (ok) {
    Say(std::to_string(written) + " frames written to " + ToUtf8(PathText(path)) + " (" +
        std::string(layout->export_name) + ")");
  } else if (window.Errors().empty()) {
    Say("Export cancelled: nothing was written.");
  }
  return ok;
}

// --- Handlers ---

void FrameListWindow::MnuFileOpen_Click() {
  const QString chosen =
      open_dialog_ ? open_dialog_(this, FrameListSettings::LastFolder()) : QString();
  if (chosen.isEmpty()) return;
  FrameListSettings::SetLastFolder(chosen);
  OpenCapture(PathBytes(chosen));
}

void FrameListWindow::MnuFileExport_Click() {
  QString folder = FrameListSettings::LastFolder();
  // A merge is named after its first capture, as the converter names it.
  const MergedCapture* merged = list_->Merged();
  const QFileInfo capture(PathText(merged ? merged->Captures().front() : list_->Path()));
  if (folder.isEmpty()) folder = capture.absolutePath();
  const QString suggested = QDir(folder).filePath(
      capture.completeBaseName() +
      (merged ? QStringLiteral(".merged.shown.jsonl") : QStringLiteral(".shown.jsonl")));
  const ExportChoice chosen = save_dialog_ ? save_dialog_(this, suggested) : ExportChoice{};
  if (!chosen.path.isEmpty()) ExportTo(PathBytes(chosen.path), chosen.layout);
}

void FrameListWindow::MnuFileClose_Click() { close(); }

void FrameListWindow::MnuEditFind_Click() { find_bar_->Open(); }

void FrameListWindow::MnuEditGoTo_Click() {
  const std::optional<GoToChoice> choice = AskGoTo(this);
  if (!choice) return;
  if (!choice->value) {
    std::string message = ToUtf8(choice->text);
    message.insert(0, 1, '"');
    Say(message.append("\" is no number."));
  } else if (choice->offset) {
    GoToOffset(*choice->value);
  } else {
    GoToFrame(*choice->value);
  }
}

void FrameListWindow::MnuViewZoomIn_Click() { SetZoom(zoom_ + 1); }
void FrameListWindow::MnuViewZoomOut_Click() { SetZoom(zoom_ - 1); }
void FrameListWindow::MnuViewZoomReset_Click() { SetZoom(0); }
void FrameListWindow::MnuViewStoredBytes_Click() {
  Bytes()->SetStoredView(stored_bytes_->isChecked());
}

void FrameListWindow::MnuViewColouring_Click() {
  if (!colouring_editor_) return;
  if (const auto rules = colouring_editor_(this, colouring_rules_)) SetColouringRules(*rules);
}

// --- Settings, zoom, theme ---

void FrameListWindow::SetColouringRules(const std::vector<ColourRule>& rules) {
  if (UseColouring(rules)) FrameListSettings::SetColouringRules(rules);
}

bool FrameListWindow::UseColouring(const std::vector<ColourRule>& rules) {
  std::string error;
  std::optional<Colouring> colouring = Colouring::Compile(rules, &error);
  if (!colouring) {
    ShowError("The colouring rules are not used: " + error);
    return false;
  }
  colouring_rules_ = rules;
  list_->SetColouring(std::make_shared<const Colouring>(std::move(*colouring)));
  return true;
}

void FrameListWindow::SetZoom(int steps) {
  zoom_ = std::clamp(steps, kSmallestPoints - base_point_size_, kLargestPoints - base_point_size_);
  ApplyZoom();
}

void FrameListWindow::ApplyZoom() {
  const int points = base_point_size_ + zoom_;
  QFont table_font = QApplication::font();
  table_font.setPointSize(points);
  table_->setFont(table_font);
  table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(table_font).height() + 6);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPointSize(points);
  details_->SetFonts(table_font, fixed);
}

void FrameListWindow::FillColumnsMenu() {
  columns_menu_->clear();
  for (int c = 0; c < list_->ColumnCount(); ++c) {
    QAction* a = columns_menu_->addAction(FromUtf8(list_->ColumnInfoOf(c).title));
    a->setCheckable(true);
    a->setChecked(!table_->horizontalHeader()->isSectionHidden(c));
    connect(a, &QAction::toggled, this, [this, c](bool on) {
      // One column stays: the last one shown cannot be hidden.
      QHeaderView* header = table_->horizontalHeader();
      if (on || header->count() - header->hiddenSectionCount() > 1)
        header->setSectionHidden(c, !on);
    });
  }
}

void FrameListWindow::FillRecentMenu() {
  recent_menu_->clear();
  const QStringList recent = FrameListSettings::RecentCaptures();
  int n = 0;
  for (const QString& path : recent) {
    ++n;
    QAction* a = recent_menu_->addAction(QStringLiteral("&%1 %2").arg(n % 10).arg(path));
    connect(a, &QAction::triggered, this, [this, path] { OpenCapture(PathBytes(path)); });
  }
  if (recent.isEmpty()) recent_menu_->addAction(QStringLiteral("(none yet)"))->setEnabled(false);
}

void FrameListWindow::LoadSettings() {
  base_point_size_ = std::max(kSmallestPoints, QApplication::font().pointSize());
  filter_bar_->SetHistory(FrameListSettings::FilterHistory());
  const FrameListSettings::WindowLayout layout = FrameListSettings::Layout();
  restoreGeometry(layout.geometry);
  restoreState(layout.state);
  main_splitter_->restoreState(layout.frames_splitter);
  details_->restoreState(layout.details_splitter);
  table_->horizontalHeader()->restoreState(layout.columns);
  // A sort is not kept from one capture to the next.
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  stored_bytes_->setChecked(layout.stored_bytes);
  Bytes()->SetStoredView(layout.stored_bytes);
  SetZoom(layout.zoom);
  UseColouring(FrameListSettings::ColouringRules());
}

void FrameListWindow::SaveSettings() {
  FrameListSettings::SetLayout({saveGeometry(), saveState(), main_splitter_->saveState(),
                                details_->saveState(), table_->horizontalHeader()->saveState(),
                                stored_bytes_->isChecked(), zoom_});
}

void FrameListWindow::closeEvent(QCloseEvent* event) {
  SaveSettings();
  lanes_->StopAll();
  event->accept();
}

}  // namespace packscope
