// FrameListWindow: the frame list, a second window over a capture, laid out as packet analysers
// are: a filter bar, the table of frames (FrameTableModel), the details of the frame selected
// (a tree), its bytes (BytesView), a Statistics tab (StatisticsView), a Map tab (StationMapView)
// and a Plots tab (PlotsView). Title "Packscope Frames - NAME". Several captures of one traffic
// (File > Open Several, a drop of several files) are listed merged, with a Receivers column and
// a Receivers tab that compares two of them (ReceiverCompareView).
//
// What it shows is the frame list's core (framelist/frame_list.h): the window is its host. It
// runs the core's passes on worker threads (PassLanes: a BackgroundJob per lane) with their
// progress and a Cancel (Escape) in the status line, paints what the core holds, and forwards
// the user's commands to it. Export writes the frames shown through the layout registry, as
// packscope-convert --filter EXPR --layout L writes them.
//
// Handlers are one to three lines that call the commands below, which tests call directly; the
// file dialogs, the colouring editor and the message box sit behind seams. Settings (recent
// captures, the last folder, the window's layout, the columns, the zoom, the filter history, the
// colouring rules) are kept with QSettings.
#ifndef PACKSCOPE_UI_FRAME_LIST_WINDOW_H_
#define PACKSCOPE_UI_FRAME_LIST_WINDOW_H_

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framelist/colouring.h"
#include "framelist/frame_list.h"
#include "framelist/frame_list_text.h"
#include "ui/follow_end.h"
#include "ui/frame_context_menu.h"
#include "ui/frame_list_dialogs.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace packscope {

class BytesView;
class FilterBar;
class FindBar;
class FrameDetailsView;
class FollowView;
class FrameTableModel;
class ListConnections;
class MapPlotsFeed;
class PassLanes;
class PlotsView;
class ReceiverCompareView;
class StationMapView;
class StatisticsView;

class FrameListWindow : public QMainWindow, private FrameListHost {
  Q_OBJECT

 public:
  // Asks for the file to export to (suggested: a name in the last folder) and its layout.
  using SaveDialog = std::function<ExportChoice(QWidget* parent, const QString& suggested)>;
  // Asks for a capture to open, starting in folder; empty: cancelled.
  using OpenDialog = std::function<QString(QWidget* parent, const QString& folder)>;
  // Edits the colouring rules; nothing: cancelled.
  using ColouringEditor = std::function<std::optional<std::vector<ColourRule>>(
      QWidget* parent, const std::vector<ColourRule>& rules)>;
  using ErrorReporter = std::function<void(const QString& message)>;
  // Asks for several captures to open merged, starting in folder; empty: cancelled.
  using OpenSeveralDialog = std::function<QStringList(QWidget* parent, const QString& folder)>;

  explicit FrameListWindow(QWidget* parent = nullptr);
  ~FrameListWindow() override;

  // --- Commands ---
  // Reads the capture (path as bytes) and lists its frames through the filter applied.
  void OpenCapture(const std::string& path);
  // Lists the captures (paths as bytes): one as OpenCapture does, several merged, each a receiver
  // (frame_list_window_merge.cpp).
  void OpenCaptures(const std::vector<std::string>& paths);
  // Compares receivers a and b of the merge (places among its names) in the Receivers tab.
  void CompareReceivers(int a, int b);
  // Parses text and lists the frames it keeps (empty: every frame). False, with the error shown
  // at its column and the rows greyed until the text is valid or reverted, when it is wrong.
  bool ApplyFilter(const QString& text);
  // Puts text into the filter bar without applying it.
  void PrepareFilter(const QString& text);
  // Writes the frames shown to path in layout (null: the one its extension names).
  bool ExportTo(const std::string& path, const Layout* layout = nullptr);
  // Finds the next (or previous) row whose texts or bytes hold the find bar's text.
  void FindNext(bool backwards);
  // Selects the row of a frame (number from 1) or of the frame at a byte offset; the nearest
  // row shown when that frame is not. False when there is none.
  bool GoToFrame(std::int64_t number);
  bool GoToOffset(std::int64_t offset);
  // The first or last row, in the column in view (the table does not scroll sideways).
  void GoToRow(bool last);
  // Zoom of the table, details and bytes: steps of one point from the normal size.
  void SetZoom(int steps);
  int Zoom() const { return zoom_; }
  void SetColouringRules(const std::vector<ColourRule>& rules);
  // The main window shows another capture (bytes of its path): the list follows it.
  void FollowCapture(const QByteArray& path);
  // Reads the capture on when it changed on disk (FrameList::ReadOn). The window looks by itself
  // once a second; the main window calls it when it has read on the same capture.
  void ReadOn();
  void SetCaptureLookInterval(int milliseconds);
  // Where the copies of the captures opened from now on learn the room on their disk (tests);
  // nullptr: the system's. It must outlive the window.
  void SetFreeSpace(const FreeSpace* free_space);
  // The context menu of a cell (row, logical column) or of a detail of the frame shown.
  QMenu* CellMenu(int row, int column);
  QMenu* DetailMenu(QTreeWidgetItem* item);
  // Adds an entry to those menus.
  void AddContextEntry(ContextEntry entry) { context_menu_.Add(std::move(entry)); }
  // Opens the follow view of the connected session of frame (index number), once it is read.
  void FollowConnection(std::int64_t frame);
  // The Map tab, and the Plots tab with the values of the selected row's station, object or item
  // (when a row is selected).
  void ShowMap();
  void ShowPlots();

  // --- Event handlers ---
  void MnuFileOpen_Click();
  void MnuFileOpenSeveral_Click();
  void MnuFileExport_Click();
  void MnuFileClose_Click();
  void MnuEditFind_Click();
  void MnuEditGoTo_Click();
  void MnuViewZoomIn_Click();
  void MnuViewZoomOut_Click();
  void MnuViewZoomReset_Click();
  void MnuViewStoredBytes_Click();
  void MnuViewColouring_Click();

  // --- Seams and state, for main() and tests ---
  void SetSaveDialog(SaveDialog dialog) { save_dialog_ = std::move(dialog); }
  void SetOpenDialog(OpenDialog dialog) { open_dialog_ = std::move(dialog); }
  void SetOpenSeveralDialog(OpenSeveralDialog dialog) { open_several_dialog_ = std::move(dialog); }
  void SetColouringEditor(ColouringEditor editor) { colouring_editor_ = std::move(editor); }
  void SetErrorReporter(ErrorReporter reporter) { error_reporter_ = std::move(reporter); }
  // How long a status message stays (it gives way to the next action sooner).
  void SetMessageTimeout(int milliseconds) { message_ms_ = milliseconds; }
  // True while the capture is read or a filter, sort, find or survey runs.
  bool Busy() const;
  // Processes events until nothing runs on lane (-1: on any lane), or timeout_ms passes; false
  // on the timeout.
  bool WaitUntilIdle(int timeout_ms, int lane = -1);
  FrameList& List() { return *list_; }
  const std::string& CapturePath() const { return list_->Path(); }
  FrameTableModel* Model() const { return model_; }
  QTableView* Table() const { return table_; }
  QTreeWidget* Details() const;
  BytesView* Bytes() const;
  QComboBox* FilterBox() const;
  QLabel* FilterErrorLabel() const;
  QLabel* ShownLabel() const { return shown_; }
  QLabel* SourceLabel() const { return source_; }
  StatisticsView* Statistics() const { return statistics_; }
  StationMapView* Map() const { return map_; }
  PlotsView* Plots() const { return plots_; }
  ReceiverCompareView* Comparison() const { return compare_; }
  QTabWidget* Tabs() const { return tabs_; }
  const std::vector<ColourRule>& ColouringRules() const { return colouring_rules_; }
  ListConnections& Connections() { return *connections_; }
  // The follow view opened last (null when closed).
  FollowView* LastFollowView() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // FrameListHost
  void StartPass(int lane, std::string_view what, Work work, std::function<void()> done) override;
  void StopPass(int lane) override;
  bool PassRunning(int lane) const override;
  void RowsAboutToChange(const RowsChange& change) override;
  void RowsChanged(const RowsChange& change) override;
  void ListChanged(unsigned what) override;
  void Found(std::int64_t row) override;
  void Say(const std::string& message) override;
  void ShowError(const std::string& message) override;

  void CreateControls();
  void CreateMenus();
  void AddContextEntries();
  // The Map and Plots tabs and their View menu entries (frame_list_window_map.cpp).
  void CreateMapAndPlots();
  void AddMapAndPlotsMenus(QMenu* view);
  // The parts for several captures merged: File > Open Several, drops, the Receivers tab.
  void CreateMergeParts();
  // The comparison of the Receivers tab, anew when it is shown and the rows or receivers changed.
  void UpdateComparison();
  // A command begins: the status message of the one before gives way.
  void Act();
  void UpdateShown();
  void UpdateStatistics();
  std::int64_t CurrentFrame() const;
  void SelectFrame(std::int64_t frame);
  void ShowFrame(std::int64_t frame);
  void JoinFilter(const ContextTarget& target, FilterJoin join, bool apply);
  void Copy(const std::string& text);
  void FillRecentMenu();
  void FillColumnsMenu();
  bool UseColouring(const std::vector<ColourRule>& rules);
  void LoadSettings();
  void SaveSettings();
  void ApplyZoom();

  PassLanes* lanes_ = nullptr;
  std::unique_ptr<FrameList> list_;
  std::unique_ptr<ListConnections> connections_;
  QPointer<FollowView> follow_view_;  // the follow view opened last (deleted when closed)
  QTimer* look_ = nullptr;
  // During a change of the rows: the frame selected before it, and whether the view was at its
  // end (follow mode).
  std::int64_t kept_frame_ = -1;
  std::optional<FollowEnd> follow_;

  FrameContextMenu context_menu_;
  std::vector<ColourRule> colouring_rules_;
  SaveDialog save_dialog_;
  OpenDialog open_dialog_;
  OpenSeveralDialog open_several_dialog_;
  ColouringEditor colouring_editor_;
  ErrorReporter error_reporter_;
  int message_ms_ = 10000;
  int zoom_ = 0;
  int base_point_size_ = 10;

  FrameTableModel* model_ = nullptr;
  QTableView* table_ = nullptr;
  FilterBar* filter_bar_ = nullptr;
  FindBar* find_bar_ = nullptr;
  FrameDetailsView* details_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  StatisticsView* statistics_ = nullptr;
  StationMapView* map_ = nullptr;
  PlotsView* plots_ = nullptr;
  std::unique_ptr<MapPlotsFeed> map_plots_;
  ReceiverCompareView* compare_ = nullptr;
  bool comparison_due_ = false;
  QSplitter* main_splitter_ = nullptr;
  QLabel* shown_ = nullptr;
  QLabel* source_ = nullptr;  // the capture's format, and the damage its reader met
  QMenu* recent_menu_ = nullptr;
  QMenu* columns_menu_ = nullptr;
  QAction* stored_bytes_ = nullptr;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_LIST_WINDOW_H_
