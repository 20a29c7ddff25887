// The frame list window's wiring for several receivers merged, on the offscreen platform: a drop
// of three captures lists the merge (framelist/merged_capture.h, whose logic tests/framelist
// tests) with its Receivers column behind Source; the Receivers tab compares the two receivers
// chosen and a row's click filters; File > Open Several goes through its dialog's seam.
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "support/ax25_frames.h"
#include "tests/ui/ui_test_support.h"
#include "ui/frame_list_window.h"
#include "ui/frame_table_model.h"
#include "ui/receiver_compare_view.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

constexpr int kWaitMs = 20000;
constexpr std::int64_t kT0 = 1451651696000;  // 2016-01-01 12:34:56 UTC

std::string Ui(const std::string& source, const std::string& info) {
  return Ax25Frame({"APRS"}, {source}, {}, 0x03, 0xF0, info);
}

std::string Capture(const std::vector<std::pair<std::int64_t, std::string>>& frames) {
  std::string out;
  for (const auto& [ms, frame] : frames) {
    out += Kiss(BinaryStamp(static_cast<std::uint64_t>(kT0 + ms)));
    out += Kiss(frame);
  }
  return out;
}

}  // namespace

class MergedFrameListWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    static QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QCoreApplication::setApplicationName(QStringLiteral("packscope-test"));
  }

  void dropListsTheMergeAndTheTabComparesReceivers() {
    QTemporaryDir dir;
    // north hears A and B, south A (a second late), C and B, west C.
    const QStringList paths = {dir.filePath(QStringLiteral("north.kss")),
                               dir.filePath(QStringLiteral("south.kss")),
                               dir.filePath(QStringLiteral("west.kss"))};
    WriteBytes(paths[0], Capture({{0, Ui("QQ1AA", "A")}, {60000, Ui("QQ2BB", "B")}}));
    WriteBytes(
        paths[1],
        Capture({{1000, Ui("QQ1AA", "A")}, {30000, Ui("QQ3CC", "C")}, {60200, Ui("QQ2BB", "B")}}));
    WriteBytes(paths[2], Capture({{29500, Ui("QQ3CC", "C")}}));
    FrameListWindow window;
    window.show();
    const std::unique_ptr<QMimeData> files(FileDrop(paths));
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, files.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, files.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QVERIFY(window.WaitUntilIdle(kWaitMs));
    QCOMPARE(window.windowTitle(),
             QStringLiteral("Packscope Frames - north.kss, south.kss, west.kss"));
    QCOMPARE(window.Model()->rowCount(), 3);
    const int receivers = kFrameColumnCount;
    QCOMPARE(window.Model()->headerData(receivers, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Receivers"));
    QCOMPARE(window.Model()->data(window.Model()->index(1, receivers), Qt::DisplayRole).toString(),
             QStringLiteral("south.kss west.kss"));
    QHeaderView* header = window.Table()->horizontalHeader();
    QCOMPARE(header->visualIndex(receivers),
             header->visualIndex(static_cast<int>(FrameColumn::kSource)) + 1);

    // The Receivers tab: north against south, then against west.
    ReceiverCompareView* compare = window.Comparison();
    window.Tabs()->setCurrentWidget(compare);
    QVERIFY(window.WaitUntilIdle(kWaitMs));
    QVERIFY2(compare->Caption()->text().contains(
                 QStringLiteral("2 heard by both, 0 by north.kss alone, 1 by south.kss alone")),
             qPrintable(compare->Caption()->text()));
    window.CompareReceivers(0, 2);
    QVERIFY(window.WaitUntilIdle(kWaitMs));
    QVERIFY2(compare->Caption()->text().contains(
                 QStringLiteral("0 heard by both, 2 by north.kss alone, 1 by west.kss alone")),
             qPrintable(compare->Caption()->text()));
    QTableView* stations = compare->ByStation();
    QCOMPARE(stations->model()->rowCount(), 3);
    int row_c = -1;
    for (int r = 0; r < 3; ++r) {
      if (stations->model()->index(r, 0).data().toString() == QStringLiteral("QQ3CC")) row_c = r;
    }
    QVERIFY(row_c >= 0);
    const QModelIndex cell = stations->model()->index(row_c, 0);
    QTest::mouseClick(stations->viewport(), Qt::LeftButton, {},
                      stations->visualRect(cell).center());
    QVERIFY(window.WaitUntilIdle(kWaitMs));
    QCOMPARE(window.Tabs()->currentIndex(), 0);
    QCOMPARE(window.Model()->rowCount(), 1);
    QCOMPARE(window.Model()->data(window.Model()->index(0, receivers), Qt::DisplayRole).toString(),
             QStringLiteral("south.kss west.kss"));

    // Export suggests a name after the first capture, as the converter names a merge.
    QString suggested;
    window.SetSaveDialog([&suggested](QWidget*, const QString& name) {
      suggested = name;
      return ExportChoice{};
    });
    window.MnuFileExport_Click();
    QCOMPARE(QFileInfo(suggested).fileName(), QStringLiteral("north.merged.shown.jsonl"));

    // File > Open Several, through its seam: two of them.
    window.ApplyFilter(QString());
    window.SetOpenSeveralDialog([&paths](QWidget*, const QString&) {
      return QStringList{paths[0], paths[2]};
    });
    window.MnuFileOpenSeveral_Click();
    QVERIFY(window.WaitUntilIdle(kWaitMs));
    QCOMPARE(window.windowTitle(), QStringLiteral("Packscope Frames - north.kss, west.kss"));
    QCOMPARE(window.Model()->rowCount(), 3);
    QCOMPARE(compare->ChooserA()->count(), 2);
  }
};

QTEST_MAIN(MergedFrameListWindowTest)
#include "merged_frame_list_window_test.moc"
