// Follow Connection's wiring in the frame list window, on the offscreen platform: the
// Conversations and Nodes tables join the statistics once the sessions are read, the context
// menu's entry and Ctrl+Alt+F open the follow view of the row's session (text in the directions'
// colours, one timeline row per frame), a click on the timeline selects the frame in the table,
// and the save commands write the text and the bytes of the directions shown (whose logic
// tests/framelist/connections_test.cpp tests).
#include "ui/follow_view.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <memory>

#include "framelist/list_connections.h"
#include "gencapture/capture_generator.h"
#include "qt/qt_text.h"
#include "tests/ui/ui_test_support.h"
#include "ui/frame_list_window.h"
#include "ui/frame_table_model.h"
#include "ui/statistics_view.h"

using namespace packscope;
using namespace packscope::testing;

namespace {
constexpr int kWaitMs = 20000;
}  // namespace

class FollowViewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void followsTheRowsSessionAndSavesIt();
};

void FollowViewTest::initTestCase() {
  static QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  QCoreApplication::setApplicationName(QStringLiteral("packscope-test"));
}

void FollowViewTest::followsTheRowsSessionAndSavesIt() {
  QTemporaryDir dir;
  gen::Options options;
  options.seed = 5;
  options.frames = 800;
  options.sessions = true;
  const std::string capture = Utf8Path(dir.filePath(QStringLiteral("s.kss")));
  WriteBytes(QString::fromStdString(capture), gen::GenerateCaptureBytes(options));
  FrameListWindow window;
  window.show();
  window.OpenCapture(capture);
  QVERIFY(window.WaitUntilIdle(kWaitMs));
  const CaptureConnections* read = window.Connections().Connections();
  QVERIFY(read != nullptr);
  QVERIFY(read->sessions->SessionCount() > 3);

  // The statistics: the survey's tables, then Conversations and Nodes.
  QTabWidget* tables = window.Statistics()->findChild<QTabWidget*>();
  QVERIFY(tables != nullptr);
  QStringList titles;
  for (int i = 0; i < tables->count(); ++i) titles << tables->tabText(i);
  QCOMPARE(titles.mid(titles.size() - 2), QStringList({"Conversations", "Nodes"}));

  // The context menu's entry: disabled on a frame outside every session, on session 2's first
  // frame it follows that session.
  const Session session = read->sessions->SessionAt(2);
  int outside_row = 0;
  while (window.Connections().SessionOfFrame(window.Model()->FrameOfRow(outside_row)) != 0) {
    ++outside_row;
  }
  const std::int64_t outside = window.Model()->FrameOfRow(outside_row);
  {
    std::unique_ptr<QMenu> ui_menu(window.CellMenu(outside_row, 0));
    auto* disabled = ui_menu->findChild<QAction*>(QStringLiteral("MnuFollowConnection"));
    QVERIFY(disabled != nullptr);
    QVERIFY(!disabled->isEnabled());
  }
  QVERIFY(window.GoToFrame(session.first_frame));
  const int row = window.Table()->currentIndex().row();
  std::unique_ptr<QMenu> menu(window.CellMenu(row, 0));
  auto* entry = menu->findChild<QAction*>(QStringLiteral("MnuFollowConnection"));
  QVERIFY(entry != nullptr);
  QVERIFY(entry->isEnabled());
  entry->trigger();
  QVERIFY(window.WaitUntilIdle(kWaitMs));
  FollowView* view = window.LastFollowView();
  QVERIFY(view != nullptr);
  QCOMPARE(view->Followed().session.number, 2);
  QCOMPARE(static_cast<std::int64_t>(view->Followed().timeline.size()), session.frames);
  // (the document's plain text has blanks for the no-break spaces of A0 bytes)
  QCOMPARE(view->Text()->toPlainText(),
           FromUtf8(TranscriptText(FollowTranscript(view->Followed(), FollowDirections::kBoth)))
               .replace(QChar(0xA0), QLatin1Char(' ')));

  // A click on the timeline's last row selects its frame in the table.
  TimelineView* timeline = view->Timeline();
  const TimelineFrame& last = view->Followed().timeline.back();
  QTest::mouseClick(
      timeline, Qt::LeftButton, {},
      QPoint(timeline->width() / 2, timeline->RowMiddle(view->Followed().timeline.size() - 1)));
  QCOMPARE(window.Model()->FrameOfRow(window.Table()->currentIndex().row()), last.frame);

  // Saved: the responder's direction alone, as text and as its bytes.
  view->Directions()->setCurrentIndex(2);
  const QString text_path = dir.filePath(QStringLiteral("t.txt"));
  const QString raw_path = dir.filePath(QStringLiteral("t.bin"));
  view->SetSaveDialog([&](QWidget*, const QString& title, const QString&) {
    return title.contains(QStringLiteral("Text")) ? text_path : raw_path;
  });
  view->MnuSaveText_Click();
  view->MnuSaveRaw_Click();
  QCOMPARE(ReadBytes(text_path),
           TranscriptText(FollowTranscript(view->Followed(), FollowDirections::kFromResponder)));
  QCOMPARE(ReadBytes(raw_path), FollowBytes(view->Followed(), FollowDirections::kFromResponder));
  QCOMPARE(static_cast<std::int64_t>(ReadBytes(raw_path).size()), session.from[1].bytes);

  // Ctrl+Alt+F on a row of session 3 follows it; on a row outside every session it says so.
  view->close();
  QCoreApplication::processEvents();
  QVERIFY(window.LastFollowView() == nullptr);
  QVERIFY(window.GoToFrame(read->sessions->SessionAt(3).first_frame));
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(window.Table(), Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
  QVERIFY(window.WaitUntilIdle(kWaitMs));
  QVERIFY(window.LastFollowView() != nullptr);
  QCOMPARE(window.LastFollowView()->Followed().session.number, 3);
  window.LastFollowView()->close();
  QCoreApplication::processEvents();
  QVERIFY(window.GoToFrame(outside + 1));
  window.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  QTest::keyClick(window.Table(), Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
  QVERIFY(window.WaitUntilIdle(kWaitMs));
  QVERIFY(window.LastFollowView() == nullptr);
  QCOMPARE(window.statusBar()->currentMessage(),
           QStringLiteral("Frame %1 belongs to no connected session.").arg(outside + 1));
}

QTEST_MAIN(FollowViewTest)
#include "follow_view_test.moc"
