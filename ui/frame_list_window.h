// FrameListWindow: the frame list, a second window over a capture, laid out as packet analysers
// are: a filter bar, the table of frames (FrameTableModel), the details of the frame selected
// (a tree), its bytes (BytesView), and a Statistics tab (StatisticsView). Title "Packscope Frames
// - NAME".
//
// The capture is read into a frame index on a worker thread (the first rows show while it is
// read); the filter, a sort, Find and the survey of the whole capture (heard list, chart,
// telemetry definitions) run on worker threads too, with their progress and a Cancel (Escape)
// in the status line. Export writes the frames shown through the layout registry, as
// packscope-convert --filter EXPR --layout L writes them (framelist/frame_list_text.h).
//
// Handlers are one to three lines that call the commands below, which tests call directly; the
// file dialogs and the message box sit behind seams. Settings (recent captures, the last folder,
// the window's layout, the columns, the zoom, the filter history) are kept with QSettings.
#ifndef PACKSCOPE_UI_FRAME_LIST_WINDOW_H_
#define PACKSCOPE_UI_FRAME_LIST_WINDOW_H_

#include <QByteArray>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/file_watch.h"
#include "capture/frame_index.h"
#include "capture/input_index.h"
#include "filter/filter.h"
#include "framelist/aprs_timeline.h"
#include "framelist/frame_details.h"
#include "ui/background_job.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace packscope {

class BytesView;
class FrameTableModel;
class StatisticsView;

class FrameListWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Asks for the file to export to (suggested: a name in the last folder); empty: cancelled.
  using SaveDialog = std::function<QString(QWidget* parent, const QString& suggested)>;
  // Asks for a capture to open, starting in folder; empty: cancelled.
  using OpenDialog = std::function<QString(QWidget* parent, const QString& folder)>;
  using ErrorReporter = std::function<void(const QString& message)>;

  explicit FrameListWindow(QWidget* parent = nullptr);
  ~FrameListWindow() override;

  // --- Commands ---
  // Reads the capture (path as bytes) and lists its frames through the filter applied.
  void OpenCapture(const std::string& path);
  // Parses text and lists the frames it keeps (empty: every frame). False, with the error shown
  // at its column, when the expression is wrong; the frames shown stay as they were.
  bool ApplyFilter(const QString& text);
  // Writes the frames shown to path in the layout its extension names. True when written.
  bool ExportTo(const std::string& path);
  // Finds the next (or previous) row whose texts or bytes hold the find bar's text.
  void FindNext(bool backwards);
  // Selects the row of a frame (number from 1) or of the frame at a byte offset; the nearest
  // row shown when that frame is not. False when there is none.
  bool GoToFrame(std::int64_t number);
  bool GoToOffset(std::int64_t offset);
  // Zoom of the table, details and bytes: steps of one point from the normal size.
  void SetZoom(int steps);
  int Zoom() const { return zoom_; }
  // The main window shows another capture (bytes of its path): the list follows it.
  void FollowCapture(const QByteArray& path);
  // Reads the capture on when it changed on disk since it was read to its end: frames appended
  // are listed behind the others (through the filter applied), the table staying at its end
  // when it was there; a capture that shrank or was replaced is read anew. The window looks by
  // itself once a second; the main window calls it when it has read on the same capture.
  void ReadOn();
  // How often the window looks whether the capture changed on disk (tests look more often).
  // Where the copies of the captures opened from now on learn the room on their disk (tests);
  // nullptr: the system's. It must outlive the window.
  void SetFreeSpace(const FreeSpace* free_space) { free_space_ = free_space; }
  void SetCaptureLookInterval(int milliseconds);

  // --- Event handlers ---
  void MnuFileOpen_Click();
  void MnuFileExport_Click();
  void MnuFileClose_Click();
  void MnuEditFind_Click();
  void MnuEditGoTo_Click();
  void MnuViewZoomIn_Click();
  void MnuViewZoomOut_Click();
  void MnuViewZoomReset_Click();
  void MnuViewStoredBytes_Click();

  // --- Seams and state, for main() and tests ---
  void SetSaveDialog(SaveDialog dialog) { save_dialog_ = std::move(dialog); }
  void SetOpenDialog(OpenDialog dialog) { open_dialog_ = std::move(dialog); }
  void SetErrorReporter(ErrorReporter reporter) { error_reporter_ = std::move(reporter); }
  // True while the capture is read or a filter, sort, find or survey runs.
  bool Busy() const;
  // Processes events until nothing runs (or timeout_ms passes); false on the timeout.
  bool WaitUntilIdle(int timeout_ms);
  const std::string& CapturePath() const { return path_; }
  FrameTableModel* Model() const { return model_; }
  QTableView* Table() const { return table_; }
  QTreeWidget* Details() const { return details_; }
  BytesView* Bytes() const { return bytes_; }
  QComboBox* FilterBox() const { return filter_box_; }
  QLabel* FilterErrorLabel() const { return filter_error_; }
  QLabel* ShownLabel() const { return shown_; }
  QLabel* SourceLabel() const { return source_; }
  StatisticsView* Statistics() const { return statistics_; }
  QTabWidget* Tabs() const { return tabs_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A job of the window and what to do on the window's thread when it is done.
  struct Task {
    BackgroundJob job;
    std::function<void()> done;
    QString what;  // for the status line: "Reading", "Filtering" ...
  };

  void CreateControls();
  void CreateMenus();
  void Start(Task& task, const QString& what, BackgroundJob::Work work, std::function<void()> done);
  void Tick();
  void CancelTasks();
  // Extends the index on the worker thread from where it stopped; then follows on the window's
  // thread.
  void ReadIndex(void (FrameListWindow::*then)(const IndexResult&));
  // The index as a reading of it left it: the snapshot, the frames counted, the file watched.
  void TakeIndex(const IndexResult& result);
  void IndexDone(const IndexResult& result);
  void ReadOnDone(const IndexResult& result);
  // Rows listed behind the others; the table stays at its end when it was there.
  void AppendListed(const IndexSnapshot& snapshot, const std::vector<std::int64_t>& more);
  void ListFrames();
  void SortBy(int column, Qt::SortOrder order);
  void RunSort();
  void StartSurvey();
  void UpdateShown();
  void ShowRow(int row);
  void ShowFrame(std::int64_t frame);
  void SelectFrame(std::int64_t frame);
  void DetailChosen(QTreeWidgetItem* item);
  void ByteChosen(std::int32_t byte);
  void ShowError(const QString& message);
  void ShowFilterError(const FilterError& error);
  void AddRecent(const std::string& path);
  void FillRecentMenu();
  void RememberFilter(const QString& text);
  void LoadSettings();
  void SaveSettings();
  void ApplyZoom();
  void SetColumnShown(int column, bool shown);
  void FollowTheme();

  // The capture and its index.
  std::string path_;
  std::unique_ptr<InputIndex> index_;
  const FreeSpace* free_space_ = nullptr;
  IndexSnapshot snapshot_;
  std::int64_t listed_to_ = 0;     // frames looked at for the rows so far
  std::int64_t frames_total_ = 0;  // frames of the index that are not timestamp frames
  std::int64_t counted_to_ = 0;
  bool indexed_ = false;                  // the index reached the end of the capture
  std::shared_ptr<const Filter> filter_;  // the filter applied; null: every frame
  QString filter_text_;
  DefinitionFrames definitions_;
  int sort_column_ = -1;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  std::int64_t unheld_ = 0;

  Task index_task_;
  Task rows_task_;
  Task survey_task_;
  QTimer* tick_ = nullptr;
  QTimer* look_ = nullptr;
  FileWatch disk_;  // the capture as its last reading to the end left it
  // When the statistics were last surveyed, and how long that took: a capture that grows is
  // surveyed again after a pause of five times that (at least five seconds).
  QElapsedTimer surveyed_;
  qint64 survey_ms_ = 0;

  // The frame shown in the details.
  std::int64_t shown_frame_ = -1;
  std::vector<DetailNode> detail_tree_;
  std::unique_ptr<AprsTimeline> details_aprs_;

  SaveDialog save_dialog_;
  OpenDialog open_dialog_;
  ErrorReporter error_reporter_;
  int zoom_ = 0;
  int base_point_size_ = 10;

  FrameTableModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  QTreeWidget* details_ = nullptr;
  BytesView* bytes_ = nullptr;
  QComboBox* filter_box_ = nullptr;
  QLabel* filter_error_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  StatisticsView* statistics_ = nullptr;
  QSplitter* main_splitter_ = nullptr;
  QSplitter* lower_splitter_ = nullptr;
  QWidget* find_bar_ = nullptr;
  QLineEdit* find_text_ = nullptr;
  QCheckBox* find_hex_ = nullptr;
  QLabel* shown_ = nullptr;
  QLabel* source_ = nullptr;  // the capture's format, and the damage its reader met
  QLabel* task_label_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QMenu* recent_menu_ = nullptr;
  QMenu* columns_menu_ = nullptr;
  QAction* stored_bytes_ = nullptr;
  std::vector<QAction*> column_actions_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_LIST_WINDOW_H_
