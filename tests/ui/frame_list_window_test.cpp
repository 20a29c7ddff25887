// The frame list window's wiring, on the offscreen platform: the table shows the core's rows
// (framelist/frame_list.h, whose logic tests/framelist tests) and sorts on a header click, the
// details and the bytes select each other, a failed filter says so, the context menu applies
// and prepares filters and copies, export goes through the save dialog's seam with the layout
// chosen, the statistics follow the filter, follow mode, status messages, Ctrl+End, colouring,
// and the main window's View menu.
#include "ui/frame_list_window.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QValueAxis>
#include <memory>

#include "capture/headless_window.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "filter/filter.h"
#include "gencapture/capture_generator.h"
#include "qt/qt_text.h"
#include "render/hex.h"
#include "support/ax25_frames.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bytes_view.h"
#include "ui/form1.h"
#include "ui/frame_table_model.h"
#include "ui/statistics_view.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

constexpr int kWaitMs = 20000;

// Generated traffic (every frame kind, digipeaters, escapes, telemetry), then frames that are
// not AX.25, a text stamp, telemetry definitions and a report, and a frame with a FEND inside.
std::string Capture() {
  gen::Options options;
  options.seed = 5;
  options.frames = 600;
  options.mix = true;
  options.max_digis = 3;
  return gen::GenerateCaptureBytes(options) + Kiss(std::string("\x00\x82\xA0", 3)) +
         Kiss(std::string("\x01\x05", 2)) +
         Kiss(
             "\x09"
             "2016-01-01 13:00:00.000 UTC") +
         Kiss(UiFrame("APRS", "QQ1TLM", 0, ":QQ1TLM   :PARM.Battery,Temp")) +
         Kiss(UiFrame("APRS", "QQ1TLM", 0, ":QQ1TLM   :EQNS.0,0.1,0,0,1,-40")) +
         Kiss(UiFrame("APRS", "QQ1TLM", 0, "T#002,120,50,7,0,0,10100000")) +
         Kiss(UiFrame("APRS", "QQ2ESC", 3, std::string(">fend \xC0 fesc \xDB")));
}

QAction* Entry(QMenu* menu, const char* name) {
  auto* action = menu->findChild<QAction*>(QString::fromLatin1(name));
  if (action == nullptr) qFatal("no menu entry %s", name);
  return action;
}

}  // namespace

class FrameListWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void tableShowsTheListsRowsAndSorts();
  void detailsAndBytesSelectEachOther();
  void aFailedFilterSaysSo();
  void contextMenuFiltersAndCopies();
  void exportWritesTheLayoutChosen();
  void statisticsFollowTheFilter();
  void messagesGiveWayAndCtrlEndKeepsTheColumn();
  void colouringRulesPaintRowsAndAreKept();
  void mainWindowOpensAndLeadsTheList();
  void followsTheCaptureAsItGrows();
  void readsEveryFormatAndSaysWhich();
  void readsADeviceOnlyUntilItsCopyWouldFillTheDisk();

 private:
  // The converter's output of a layout over the capture, with the filter.
  std::string Convert(const std::string& layout, const std::string& expression = "");
  void Open(const std::string& path);
  int Column(FrameColumn c) const { return static_cast<int>(c); }
  QString Cell(int row, FrameColumn c) const {
    return window_->Model()
        ->data(window_->Model()->index(row, Column(c)), Qt::DisplayRole)
        .toString();
  }

  std::unique_ptr<QTemporaryDir> dir_;
  std::string capture_;
  std::unique_ptr<FrameListWindow> window_;
  QStringList errors_;
};

void FrameListWindowTest::initTestCase() {
  // Settings of the test's own, not the user's.
  static QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  QCoreApplication::setApplicationName(QStringLiteral("packscope-test"));
}

void FrameListWindowTest::init() {
  QSettings().clear();
  dir_ = std::make_unique<QTemporaryDir>();
  capture_ = Utf8Path(dir_->filePath(QStringLiteral("pass1.kss")));
  WriteBytes(QString::fromStdString(capture_), Capture());
  window_ = std::make_unique<FrameListWindow>();
  errors_.clear();
  window_->SetErrorReporter([this](const QString& m) { errors_ << m; });
  window_->resize(1100, 760);
  window_->show();
  Open(capture_);
}

void FrameListWindowTest::cleanup() {
  window_.reset();
  dir_.reset();
}

void FrameListWindowTest::Open(const std::string& path) {
  window_->OpenCapture(path);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
}

std::string FrameListWindowTest::Convert(const std::string& layout, const std::string& expression) {
  DecoderState state;
  state.CaptureFileName = capture_;
  std::optional<Filter> filter;
  std::optional<CaptureFilter> predicate;
  if (!expression.empty()) {
    filter = Filter::Parse(expression);
    predicate.emplace(*filter);
    state.FrameFilter = &*predicate;
  }
  LocaleHeadlessWindow window;
  window.SetCheck2(FindLayout(layout)->kind != LayoutKind::kFrameWriter);
  const std::string out = Utf8Path(dir_->filePath(QStringLiteral("expected")));
  if (!RunLayout(state, window, *FindLayout(layout), out)) return "<failed>";
  return ReadBytes(QString::fromStdString(out));
}

void FrameListWindowTest::tableShowsTheListsRowsAndSorts() {
  FrameTableModel* model = window_->Model();
  FrameList& list = window_->List();
  QCOMPARE(model->rowCount(), static_cast<int>(list.RowCount()));
  QVERIFY(model->rowCount() > 600);
  QCOMPARE(window_->ShownLabel()->text(),
           QStringLiteral("%1 of %1 frames shown").arg(model->rowCount()));
  // The cells are the core's texts, findings marked.
  FrameFormatter formatter(list.RowsSnapshot(), list.Sources());
  FrameRow row;
  for (int r : {0, 1, 17, model->rowCount() - 6, model->rowCount() - 1}) {
    formatter.Format(model->FrameOfRow(r), r > 0 ? model->FrameOfRow(r - 1) : -1, row);
    for (int c = 0; c < kFrameColumnCount; ++c) {
      QCOMPARE(model->data(model->index(r, c), Qt::DisplayRole).toString(),
               FromUtf8(CellText(row, c)));
    }
    // A frame with findings carries an icon: damage to the recording apart from a sender's error.
    const QVariant icon = model->data(model->index(r, 0), Qt::DecorationRole);
    QCOMPARE(icon.isNull(), !row.findings.Any());
    if (row.findings.Any()) {
      const QStyle::StandardPixmap kind = row.findings.Any(FindingKind::kDamage)
                                              ? QStyle::SP_MessageBoxCritical
                                              : QStyle::SP_MessageBoxWarning;
      QCOMPARE(icon.value<QIcon>().pixmap(16).toImage(),
               QApplication::style()->standardIcon(kind).pixmap(16).toImage());
    }
  }
  QVERIFY(model->data(model->index(model->rowCount() - 6, 0), Qt::ToolTipRole)
              .toString()
              .startsWith(QStringLiteral("sender: too-short: too short for an AX.25 header")));

  // A header click sorts by its column; again: the other way; the frame selected stays selected.
  QHeaderView* header = window_->Table()->horizontalHeader();
  const int source = Column(FrameColumn::kSource);
  window_->GoToFrame(model->FrameOfRow(40) + 1);
  const std::int64_t selected = model->FrameOfRow(window_->Table()->currentIndex().row());
  const auto click = [&] {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(source) + 5, header->height() / 2));
    QVERIFY(window_->WaitUntilIdle(kWaitMs));
  };
  click();
  QCOMPARE(list.SortColumn(), source);
  QVERIFY(!list.SortDescending());
  QVERIFY(Cell(0, FrameColumn::kSource) <= Cell(model->rowCount() - 1, FrameColumn::kSource));
  QCOMPARE(model->FrameOfRow(window_->Table()->currentIndex().row()), selected);
  click();
  QVERIFY(list.SortDescending());
  QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
  QVERIFY(Cell(0, FrameColumn::kSource) >= Cell(model->rowCount() - 1, FrameColumn::kSource));
  model->sort(0, Qt::AscendingOrder);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QVERIFY(list.InCaptureOrder());
  QCOMPARE(model->FrameOfRow(window_->Table()->currentIndex().row()), selected);
}

void FrameListWindowTest::detailsAndBytesSelectEachOther() {
  FrameTableModel* model = window_->Model();
  const int last = model->rowCount() - 1;  // QQ2ESC-3 with a FEND and a FESC in its payload
  window_->Table()->setCurrentIndex(model->index(last, 0));
  QTreeWidget* details = window_->Details();
  BytesView* bytes = window_->Bytes();
  QVERIFY(details->topLevelItem(1)->text(0).startsWith(QStringLiteral("AX.25: QQ2ESC-3 > APRS")));
  // A detail chosen: its bytes lit, in both views.
  QTreeWidgetItem* source = details->topLevelItem(1)->child(1);
  QCOMPARE(source->text(0), QStringLiteral("Source QQ2ESC-3"));
  details->setCurrentItem(source);
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(8, 15));
  QTreeWidgetItem* info = nullptr;
  for (int i = 0; i < details->topLevelItem(1)->childCount(); ++i) {
    if (details->topLevelItem(1)->child(i)->text(0).startsWith(
            QStringLiteral("Information field"))) {
      info = details->topLevelItem(1)->child(i);
    }
  }
  QVERIFY(info != nullptr);
  details->setCurrentItem(info);
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(17, 17 + 14));
  window_->findChild<QAction*>(QStringLiteral("MnuViewStoredBytes"))->trigger();
  // As stored: the opening FEND first, the escaped FEND and FESC take two bytes each.
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(18, 18 + 16));
  QVERIFY(bytes->Text().startsWith(QStringLiteral("0000  C0 00 ")));

  // A byte clicked: the detail that describes it most closely. As stored, the FESC of the
  // escaped FEND stands for a byte of the APRS status text; the opening FEND is the KISS
  // frame's.
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(18));
  QCOMPARE(details->currentItem(), info);
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(18 + 6));
  QCOMPARE(details->currentItem()->text(0), QStringLiteral("status: \"fend <0xC0> fesc <0xDB>\""));
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(19, 34));
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(0));
  QCOMPARE(details->currentItem(), details->topLevelItem(0));
  window_->findChild<QAction*>(QStringLiteral("MnuViewStoredBytes"))->trigger();
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(9));
  QCOMPARE(details->currentItem()->text(0), QStringLiteral("Callsign \"QQ2ESC\""));
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(8, 14));
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(15));
  QVERIFY(details->currentItem()->text(0).startsWith(QStringLiteral("Control 0x03: UI")));
}

void FrameListWindowTest::aFailedFilterSaysSo() {
  FrameTableModel* model = window_->Model();
  const int rows = model->rowCount();
  QComboBox* box = window_->FilterBox();
  QLineEdit* line = box->lineEdit();
  const auto greyed = [model] {
    return model->data(model->index(0, 0), Qt::ForegroundRole) ==
           QVariant(QApplication::palette().brush(QPalette::Disabled, QPalette::Text));
  };
  box->setFocus();
  QTest::keyClicks(line, QStringLiteral("src == QQ0QQ and"));
  QVERIFY(!line->property("filterValid").toBool());  // red while it does not parse
  QTest::keyClick(line, Qt::Key_Return);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QLabel* error = window_->FilterErrorLabel();
  QVERIFY(!error->isHidden());
  QVERIFY(error->text().startsWith(
      QStringLiteral("Column 17: expected a field, \"not\" or \"(\", found the end")));
  QCOMPARE(line->cursorPosition(), 16);
  QCOMPARE(model->rowCount(), rows);  // what was shown stays, greyed
  QVERIFY(greyed());
  // Valid again: no longer greyed, though not applied yet.
  QTest::keyClicks(line, QStringLiteral(" len < 9"));
  QVERIFY(line->property("filterValid").toBool());
  QVERIFY(!greyed());
  QVERIFY(error->isHidden());

  QVERIFY(!window_->ApplyFilter(QStringLiteral("len >< 3")));
  QVERIFY(error->text().startsWith(QStringLiteral("Column 6: ")));
  QCOMPARE(line->selectedText(), QStringLiteral("<"));
  QVERIFY(greyed());
  box->setEditText(QString());  // reverted to the filter applied (none)
  QVERIFY(!greyed());
  // A good one goes into the history, first.
  QVERIFY(window_->ApplyFilter(QStringLiteral("len < 30")));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(box->itemText(0), QStringLiteral("len < 30"));
  QCOMPARE(model->rowCount(), static_cast<int>(window_->List().RowCount()));
  QVERIFY(model->rowCount() < rows);
  QVERIFY(errors_.isEmpty());
}

void FrameListWindowTest::contextMenuFiltersAndCopies() {
  FrameTableModel* model = window_->Model();
  FrameList& list = window_->List();
  const std::int64_t frame = model->FrameOfRow(3);
  const QString source = Cell(3, FrameColumn::kSource);
  // Apply as Filter on a Source cell: its test, and the rows it keeps.
  std::unique_ptr<QMenu> menu(window_->CellMenu(3, Column(FrameColumn::kSource)));
  Entry(menu.get(), "MnuApplySelected")->trigger();
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(window_->FilterBox()->currentText(), QStringLiteral("src == ") + source);
  QCOMPARE(list.FilterText(), ToUtf8(QStringLiteral("src == ") + source));
  QCOMPARE(model->rowCount(), static_cast<int>(list.RowCount()));
  QCOMPARE(model->FrameOfRow(window_->Table()->currentIndex().row()), frame);
  // ...and Selected on a detail: joined with the filter applied.
  window_->Table()->setCurrentIndex(model->index(0, 0));
  QTreeWidgetItem* destination = window_->Details()->topLevelItem(1)->child(0);
  QVERIFY(destination->text(0).startsWith(QStringLiteral("Destination ")));
  const QString dst = destination->text(0).mid(12);
  menu.reset(window_->DetailMenu(destination));
  Entry(menu.get(), "MnuApplyAndNotSelected")->trigger();
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  const QString joined = QStringLiteral("src == %1 and not dst == %2").arg(source, dst);
  QCOMPARE(window_->FilterBox()->currentText(), joined);
  // Prepare as Filter: in the bar, not applied.
  menu.reset(window_->CellMenu(0, Column(FrameColumn::kType)));
  Entry(menu.get(), "MnuPrepareOrSelected")->trigger();
  QVERIFY(window_->FilterBox()->currentText().startsWith(joined + QStringLiteral(" or type == ")));
  QCOMPARE(list.FilterText(), ToUtf8(joined));
  // Delta has no field: nothing to filter by.
  menu.reset(window_->CellMenu(1, Column(FrameColumn::kDelta)));
  QVERIFY(!Entry(menu.get(), "MnuApplySelected")->isEnabled());

  // Copy: the row as the monitor layout's line, the bytes as hex, the value.
  window_->ApplyFilter(QString());
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  const int last = model->rowCount() - 1;  // QQ2ESC-3, with a FEND and a FESC in its payload
  menu.reset(window_->CellMenu(last, Column(FrameColumn::kInfo)));
  Entry(menu.get(), "MnuCopyRow")->trigger();
  const QStringList monitor = FromUtf8(Convert("monitor")).split(QLatin1Char('\n'));
  QCOMPARE(QApplication::clipboard()->text(), monitor[monitor.size() - 3]);
  Entry(menu.get(), "MnuCopyValue")->trigger();
  QCOMPARE(QApplication::clipboard()->text(), Cell(last, FrameColumn::kInfo));
  Entry(menu.get(), "MnuCopyBytes")->trigger();
  const ShownFrame shown = list.Show(model->FrameOfRow(last));
  std::string hex;
  AppendHexText(hex, shown.frame.frame.data(), shown.frame.frame.size());
  hex.pop_back();
  QCOMPARE(QApplication::clipboard()->text(), FromUtf8(hex));
  // An entry added later has its place, with the target of the click.
  ContextTarget seen;
  window_->AddContextEntry({QStringLiteral("Follow"),
                            {},
                            QStringLiteral("MnuFollow"),
                            [](const ContextTarget& t) { return t.column < 0; },
                            [&seen](const ContextTarget& t) { seen = t; }});
  menu.reset(window_->CellMenu(last, 0));
  QVERIFY(!Entry(menu.get(), "MnuFollow")->isEnabled());
  window_->Table()->setCurrentIndex(model->index(last, 0));
  menu.reset(window_->DetailMenu(window_->Details()->topLevelItem(0)));
  Entry(menu.get(), "MnuFollow")->trigger();
  QCOMPARE(seen.frame, model->FrameOfRow(last));
  QCOMPARE(seen.filter, "frame == " + std::to_string(seen.frame + 1));
  QVERIFY(errors_.isEmpty());
}

void FrameListWindowTest::exportWritesTheLayoutChosen() {
  QVERIFY(window_->ApplyFilter(QStringLiteral("len > 100")));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  // The layout chosen in the dialog wins over the extension (four layouts write .hex).
  const QString out = dir_->filePath(QStringLiteral("shown.hex"));
  QString suggested;
  window_->SetSaveDialog([&](QWidget*, const QString& s) {
    suggested = s;
    return ExportChoice{out, FindLayout("hex-payload-time")};
  });
  QTest::keySequence(window_.get(), QKeySequence(QStringLiteral("Ctrl+Shift+E")));
  QVERIFY(suggested.endsWith(QStringLiteral("/pass1.shown.jsonl")));
  QCOMPARE(errors_, QStringList());
  const std::string expected = Convert("hex-payload-time", "len > 100");
  QVERIFY(expected.size() > 100);
  QCOMPARE(B(ReadBytes(out)), B(expected));
  QVERIFY(window_->statusBar()->currentMessage().contains(QStringLiteral("Hex of the payloads")));
  // None chosen: the extension names it, or the user hears why not.
  QVERIFY(!window_->ExportTo(Utf8Path(dir_->filePath(QStringLiteral("shown.doc")))));
  QCOMPARE(errors_.size(), 1);
  QVERIFY(errors_[0].contains(QStringLiteral("choose the layout")));
  QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("shown.doc"))));
}

void FrameListWindowTest::statisticsFollowTheFilter() {
  StatisticsView* stats = window_->Statistics();
  QTableView* heard = stats->HeardList();
  const QAbstractItemModel* rows = heard->model();
  QVERIFY(rows->rowCount() > 3);
  const int stations = rows->rowCount();
  QVERIFY(!stats->WholeCapture()->isEnabled());
  QModelIndex station;
  for (int i = 0; i < rows->rowCount(); ++i) {
    if (rows->index(i, 0).data().toString() == QStringLiteral("QQ1TLM"))
      station = rows->index(i, 0);
  }
  QVERIFY(station.isValid());
  QCOMPARE(rows->index(station.row(), 1).data().toString(), QStringLiteral("3"));
  window_->Tabs()->setCurrentIndex(1);
  heard->scrollTo(station);
  QTest::mouseClick(heard->viewport(), Qt::LeftButton, {}, heard->visualRect(station).center());
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(window_->FilterBox()->currentText(), QStringLiteral("src == QQ1TLM"));
  QCOMPARE(window_->Model()->rowCount(), 3);
  QCOMPARE(window_->Tabs()->currentIndex(), 0);
  // The statistics are those of the frames shown now, or with the switch of the whole capture.
  QCOMPARE(rows->rowCount(), 1);
  QVERIFY(stats->WholeCapture()->isEnabled());
  stats->WholeCapture()->setChecked(true);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(rows->rowCount(), stations);
  stats->WholeCapture()->setChecked(false);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(rows->rowCount(), 1);
  window_->ApplyFilter(QString());
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  // Sorted by Frames, the most first; by a header click by station.
  QVERIFY(rows->index(0, 1).data().toInt() >= rows->index(stations - 1, 1).data().toInt());
  heard->sortByColumn(0, Qt::AscendingOrder);
  QVERIFY(rows->index(0, 0).data().toString() < rows->index(stations - 1, 0).data().toString());

  // A bar, then Shift on another: the span of both. The axis names the bars' span in words.
  QVERIFY(stats->Bins().bins.size() > 3);
  const std::int64_t first = stats->Bins().first_minute;
  const std::int64_t width = stats->Bins().minutes_per_bin;
  const auto* y = qobject_cast<QValueAxis*>(stats->Chart()->axes(Qt::Vertical).first());
  QCOMPARE(y->titleText(), QStringLiteral("frames per ") + FromUtf8(BinWidthText(width)));
  stats->BarClicked(1, false);
  stats->BarClicked(3, true);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(window_->FilterBox()->currentText().toStdString(),
           "time >= " + IsoStampText((first + width) * 60000).substr(0, 16).replace(10, 1, "T") +
               " and time < " +
               IsoStampText((first + 4 * width) * 60000).substr(0, 16).replace(10, 1, "T"));
  QVERIFY(window_->Model()->rowCount() > 0);
}

void FrameListWindowTest::messagesGiveWayAndCtrlEndKeepsTheColumn() {
  QStatusBar* status = window_->statusBar();
  // A status message expires, or gives way to the next action.
  window_->SetMessageTimeout(200);
  QVERIFY(window_->GoToFrame(1));  // a timestamp frame: not shown
  QCOMPARE(status->currentMessage(),
           QStringLiteral("Frame 1 is not shown: the nearest frame shown is selected."));
  QTRY_VERIFY_WITH_TIMEOUT(status->currentMessage().isEmpty(), 3000);
  QVERIFY(!window_->GoToFrame(1 << 30));
  window_->ApplyFilter(QString());  // the next action
  QVERIFY(status->currentMessage().isEmpty());
  QVERIFY(window_->WaitUntilIdle(kWaitMs));

  // Ctrl+End: the last row, the column in view; Ctrl+Home: the first.
  QTableView* table = window_->Table();
  table->setCurrentIndex(window_->Model()->index(5, Column(FrameColumn::kSource)));
  table->horizontalScrollBar()->setValue(0);
  table->setFocus();
  QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(table->currentIndex().row(), window_->Model()->rowCount() - 1);
  QCOMPARE(table->currentIndex().column(), Column(FrameColumn::kSource));
  QCOMPARE(table->horizontalScrollBar()->value(), 0);
  QCOMPARE(table->verticalScrollBar()->value(), table->verticalScrollBar()->maximum());
  QTest::keyClick(table, Qt::Key_Home, Qt::ControlModifier);
  QCOMPARE(table->currentIndex().row(), 0);
  QCOMPARE(table->horizontalScrollBar()->value(), 0);
}

void FrameListWindowTest::colouringRulesPaintRowsAndAreKept() {
  FrameTableModel* model = window_->Model();
  QCOMPARE(window_->ColouringRules(), DefaultColourRules());
  const auto coloured = [model](int row) {
    return model->data(model->index(row, 0), Qt::BackgroundRole).isValid();
  };
  const int last = model->rowCount() - 1;
  QVERIFY(coloured(model->rowCount() - 6));  // a finding
  // One rule of the user's, through the editor: the rows it picks, and only those.
  const std::vector<ColourRule> mine = {{"Escapes", "src == QQ2ESC-3", 0x00FF00}};
  window_->SetColouringEditor(
      [&](QWidget*, const std::vector<ColourRule>&) -> std::optional<std::vector<ColourRule>> {
        return mine;
      });
  window_->findChild<QAction*>(QStringLiteral("MnuViewColouring"))->trigger();
  QVERIFY(coloured(last));
  QVERIFY(!coloured(model->rowCount() - 6));
  // Kept for the next window.
  FrameListWindow next;
  QCOMPARE(next.ColouringRules(), mine);
  // The editor keeps a rule that does not parse from being taken.
  ColouringDialog dialog({{"Bad", "src ==", 0xFF0000}});
  dialog.show();
  dialog.accept();
  QVERIFY(dialog.isVisible());
  QVERIFY(dialog.ErrorLabel()->text().startsWith(QStringLiteral("\"Bad\": filter: column")));
  dialog.Table()->item(0, 1)->setText(QStringLiteral("src == QQ1TLM"));
  dialog.accept();
  QVERIFY(!dialog.isVisible());
  QCOMPARE(dialog.Rules()[0].expression, "src == QQ1TLM");
  QCOMPARE(dialog.Rules()[0].rgb, 0xFF0000u);
}

void FrameListWindowTest::mainWindowOpensAndLeadsTheList() {
  window_.reset();
  Form1 form;
  form.SetErrorReporter([this](const QString& m) { errors_ << m; });
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  form.OpenPaths({capture_});
  QTest::keySequence(&form, QKeySequence(QStringLiteral("Ctrl+L")));
  FrameListWindow* list = form.FrameList();
  QVERIFY(list != nullptr);
  QVERIFY(list->WaitUntilIdle(kWaitMs));
  QCOMPARE(list->windowTitle(), QStringLiteral("Packscope Frames - pass1.kss"));
  QVERIFY(list->Model()->rowCount() > 600);
  // The main window opens another capture: the list follows.
  const QString other = dir_->filePath(QStringLiteral("other.kss"));
  WriteBytes(other, Kiss(UiFrame("APRS", "QQ9ZZ", 1, ">hello")));
  form.OpenPaths({Utf8Path(other)});
  QVERIFY(list->WaitUntilIdle(kWaitMs));
  QCOMPARE(list->windowTitle(), QStringLiteral("Packscope Frames - other.kss"));
  QCOMPARE(list->Model()->rowCount(), 1);
  // Ctrl+L again brings the same window up; closing it is the end of it.
  form.MnuViewFrameList_Click();
  QCOMPARE(form.FrameList(), list);
  list->close();
  QTRY_VERIFY(form.FrameList() == nullptr);
  QVERIFY(errors_.isEmpty());
}

// TNC2 lines (one no frame) and a gzip-compressed capture: the rows of the converter's jsonl of
// the same file, and the status line says what the file was.
void FrameListWindowTest::readsEveryFormatAndSaysWhich() {
  const std::string tnc2 = Utf8Path(dir_->filePath(QStringLiteral("pass1.tnc2.txt")));
  WriteBytes(QString::fromStdString(tnc2), Convert("tnc2") + "not a frame\n");
  const std::string gzip = Utf8Path(dir_->filePath(QStringLiteral("pass1.kss.gz")));
  QCOMPARE(std::system(("gzip -c " + capture_ + " > " + gzip).c_str()), 0);
  struct {
    std::string path;
    QString source;
  } inputs[] = {
      {tnc2,
       QStringLiteral("Source: TNC2 lines, 1 damaged (packscope-convert --check lists them)")},
      {gzip, QStringLiteral("Source: KISS, gzip-compressed")},
  };
  for (const auto& input : inputs) {
    Open(input.path);
    DecoderState state;
    state.CaptureFileName = input.path;
    LocaleHeadlessWindow converter;
    const std::string out = Utf8Path(dir_->filePath(QStringLiteral("expected.jsonl")));
    QVERIFY(RunLayout(state, converter, *FindLayout("jsonl"), out));
    const std::string jsonl = ReadBytes(QString::fromStdString(out));
    QCOMPARE(window_->Model()->rowCount(),
             static_cast<int>(std::count(jsonl.begin(), jsonl.end(), '\n')));
    QCOMPARE(window_->SourceLabel()->text(), input.source);
  }
}

// A disk with room for the margin and a few megabytes more than the copy holds.
class SmallDisk : public FreeSpace {
 public:
  std::optional<DiskRoom> Room(const std::string& path) const override {
    const std::int64_t size = std::int64_t{1} << 30;
    return DiskRoom{
        CopyMargin({0, size}) + (7 << 19) - QFileInfo(QString::fromStdString(path)).size(), size};
  }
};

void FrameListWindowTest::readsADeviceOnlyUntilItsCopyWouldFillTheDisk() {
  SmallDisk disk;
  window_->SetFreeSpace(&disk);
  errors_.clear();
  Open("/dev/zero");
  QCOMPARE(errors_, QStringList{QStringLiteral(
                        "The temporary copy stopped at 3 MB to keep 512 MB of its disk free.")});
  QCOMPARE(window_->Model()->rowCount(), 0);
  window_->SetFreeSpace(nullptr);
}

QTEST_MAIN(FrameListWindowTest)
void FrameListWindowTest::followsTheCaptureAsItGrows() {
  // Follow mode: at the end the new rows come into view; scrolled away the view stays.
  FrameTableModel* model = window_->Model();
  QScrollBar* bar = window_->Table()->verticalScrollBar();
  const int before = model->rowCount();
  std::string bytes = Capture();
  const auto grow = [&](const char* source, int n) {
    for (int i = 0; i < n; ++i) bytes += Kiss(UiFrame("APRS", source, 0, ">" + std::to_string(i)));
    WriteBytes(QString::fromStdString(capture_), bytes);
    window_->ReadOn();
    QVERIFY(window_->WaitUntilIdle(kWaitMs));
  };
  window_->Table()->scrollToBottom();
  grow("QQ9NEW", 300);
  QCOMPARE(model->rowCount(), before + 300);
  QCOMPARE(bar->value(), bar->maximum());
  QVERIFY(bar->maximum() > 0);
  bar->setValue(0);
  grow("QQ8OLD", 100);
  QCOMPARE(model->rowCount(), before + 400);
  QCOMPARE(bar->value(), 0);
  QVERIFY(window_->ShownLabel()->text().startsWith(
      QStringLiteral("%1 of %1 frames").arg(before + 400)));
  QVERIFY(errors_.isEmpty());
}

#include "frame_list_window_test.moc"
