// The frame list window's parts for several captures of one traffic merged: File > Open Several,
// drops of files, the Receivers tab (ReceiverCompareView) and its comparison pass.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>

#include "framelist/receiver_tables.h"
#include "qt/qt_text.h"
#include "ui/frame_list_settings.h"
#include "ui/frame_list_window.h"
#include "ui/receiver_compare_view.h"

namespace packscope {
namespace {

// The Receivers tab's pass, clear of the lanes the other tabs take from kFirstFreeLane on.
constexpr int kCompareLane = kFirstFreeLane + 4;

QStringList AskCapturesToOpen(QWidget* parent, const QString& folder) {
  return QFileDialog::getOpenFileNames(parent, QStringLiteral("Open Several Captures (Merged)"),
                                       folder, QStringLiteral("KISS Files (*.kss);;All Files (*)"));
}

// The local files a drop carries, as bytes.
std::vector<std::string> DroppedPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(PathBytes(url.toLocalFile()));
  }
  return paths;
}

}  // namespace

void FrameListWindow::CreateMergeParts() {
  open_several_dialog_ = &AskCapturesToOpen;
  setAcceptDrops(true);
  // File > Open Several..., behind Open Capture...
  auto* file = menuBar()->findChild<QMenu*>(QStringLiteral("MnuFile"));
  auto* open = file->findChild<QAction*>(QStringLiteral("MnuFileOpen"));
  auto* several = new QAction(QStringLiteral("Open &Several (Merged)..."), file);
  several->setObjectName(QStringLiteral("MnuFileOpenSeveral"));
  several->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  connect(several, &QAction::triggered, this, &FrameListWindow::MnuFileOpenSeveral_Click);
  const QList<QAction*> actions = file->actions();
  const qsizetype at = actions.indexOf(open);
  file->insertAction(at + 1 < actions.size() ? actions[at + 1] : nullptr, several);

  compare_ = new ReceiverCompareView();
  connect(compare_, &ReceiverCompareView::ComparisonRequested, this, [this] {
    comparison_due_ = true;
    UpdateComparison();
  });
  connect(compare_, &ReceiverCompareView::FilterRequested, this, [this](const QString& filter) {
    if (ApplyFilter(filter)) tabs_->setCurrentIndex(0);
  });
  tabs_->addTab(compare_, QStringLiteral("Recei&vers"));
  connect(tabs_, &QTabWidget::currentChanged, this, [this] { UpdateComparison(); });
  auto* view = menuBar()->findChild<QMenu*>(QStringLiteral("MnuView"));
  auto* receivers = new QAction(QStringLiteral("&Receivers"), view);
  receivers->setObjectName(QStringLiteral("MnuViewReceivers"));
  receivers->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_7));
  connect(receivers, &QAction::triggered, this, [this] { tabs_->setCurrentWidget(compare_); });
  // Behind the tabs' entries: before the menu's first separator.
  QAction* before = nullptr;
  for (QAction* a : view->actions()) {
    if (a->isSeparator()) {
      before = a;
      break;
    }
  }
  view->insertAction(before, receivers);
}

void FrameListWindow::OpenCaptures(const std::vector<std::string>& paths) {
  if (paths.size() <= 1) {
    OpenCapture(paths.empty() ? std::string() : paths.front());
    return;
  }
  Act();
  QStringList names;
  for (const std::string& p : paths) {
    names << QFileInfo(QFile::decodeName(QByteArray::fromStdString(p))).fileName();
  }
  ShowFrame(-1);
  list_->OpenMerged(paths);
  setWindowTitle(QStringLiteral("Packscope Frames - ") + names.join(QStringLiteral(", ")));
  table_->setFocus();
}

void FrameListWindow::MnuFileOpenSeveral_Click() {
  const QStringList chosen = open_several_dialog_
                                 ? open_several_dialog_(this, FrameListSettings::LastFolder())
                                 : QStringList();
  if (chosen.isEmpty()) return;
  FrameListSettings::SetLastFolder(chosen.front());
  std::vector<std::string> paths;
  for (const QString& path : chosen) paths.push_back(PathBytes(path));
  OpenCaptures(paths);
}

void FrameListWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedPaths(event->mimeData()).empty()) event->acceptProposedAction();
}

void FrameListWindow::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = DroppedPaths(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  OpenCaptures(paths);
}

void FrameListWindow::CompareReceivers(int a, int b) {
  tabs_->setCurrentWidget(compare_);
  compare_->Choose(a, b);
}

void FrameListWindow::UpdateComparison() {
  if (compare_ == nullptr) return;
  const std::shared_ptr<const MergedCapture> merged = list_->SharedMerged();
  // The Receivers column, once it is there, is shown behind Source (it stays where the user
  // moves it).
  QHeaderView* header = table_->horizontalHeader();
  int column = list_->ColumnCount() - 1;
  while (column >= kFrameColumnCount && list_->ColumnInfoOf(column).title != "Receivers") --column;
  if (merged && !header->property("receivers_placed").toBool() && column >= kFrameColumnCount &&
      column < header->count()) {
    header->setProperty("receivers_placed", true);
    header->moveSection(header->visualIndex(column),
                        header->visualIndex(static_cast<int>(FrameColumn::kSource)) + 1);
    header->resizeSection(column, 190);
  }
  compare_->SetReceivers(merged ? merged->Names() : std::vector<std::string>{});
  comparison_due_ = comparison_due_ || sender() != tabs_;
  if (!merged || tabs_->currentWidget() != compare_ || !comparison_due_) return;
  const int a = compare_->ReceiverA();
  const int b = compare_->ReceiverB();
  if (a < 0 || b < 0) return;
  comparison_due_ = false;
  compare_->SetComparison(nullptr);
  auto result = std::make_shared<ReceiverComparison>();
  auto end = std::make_shared<PassEnd>(PassEnd::kCancelled);
  list_->RunRowsPass(
      kCompareLane, "Comparing",
      [merged, a, b, result, end](const IndexSnapshot& snapshot, const RowList& rows,
                                  const std::atomic<bool>* cancel, const PassProgress& progress) {
        *end =
            packscope::CompareReceivers(*merged, snapshot, *rows, a, b, *result, cancel, progress);
      },
      [this, merged, result, end] {
        if (*end == PassEnd::kDone && merged == list_->SharedMerged()) {
          compare_->SetComparison(result);
        }
      });
}

}  // namespace packscope
