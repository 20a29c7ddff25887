// The main window as a user meets it: its controls and menus as designed, and what each handler
// leaves behind (labels, display text and colours, written files, errors), with the file dialog
// and the message box answered through their seams.
#include "ui/form1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "capture/headless_window.h"
#include "commands/commands.h"
#include "qt/qt_text.h"
#include "tests/ui/form1_fixture.h"
#include "tests/ui/ui_test_support.h"
#include "ui/display_widget.h"
#include "ui/form2.h"
#include "ui/qt_window.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

// Two frames: 00 41 42, and 00 C0 43 stored with an escaped FEND.
const std::string kCaptureA =
    Bytes({0xC0, 0x00, 0x41, 0x42, 0xC0, 0xC0, 0x00, 0xDB, 0xDC, 0x43, 0xC0});

// One frame: 00 51 (for telling captures apart).
const std::string kCaptureB = Bytes({0xC0, 0x00, 0x51, 0xC0});

// A binary timestamp (2016-01-01 12:34:56.789 UTC), then a UI frame APRS <- QQ0QQ-7 "Hi".
std::string CaptureC() {
  return Bytes({0xC0, 0x09, 0x00, 0x00, 0x01, 0x51, 0xFD, 0x2F, 0x08, 0x95, 0xC0, 0xC0}) +
         UiFrame("APRS", "QQ0QQ", 7, "Hi") + Bytes({0xC0});
}

Expected ScreenA(bool decode_kiss) {
  Expected e;
  if (decode_kiss) {
    e.Block("", "000 > 00 41 42 ", kRed, ".AB");
    e.Block("", "000 > 00 C0 43 ", kRed,
            ".\xC0"
            "C");
  } else {
    e.Block("", "000 > C0 00 41 42 C0 ", kBlue, "\xC0.AB\xC0");
    e.Block("", "000 > C0 00 DB DC 43 C0 ", kBlue,
            "\xC0.\xDB\xDC"
            "C\xC0");
  }
  return e;
}

Expected ScreenB() {
  Expected e;
  e.Block("", "000 > C0 00 51 C0 ", kBlue, "\xC0.Q\xC0");
  return e;
}

std::string ColumnHeaderLines() {
  std::string line1;
  for (int n = 0; n < 100; ++n)
    line1 += QStringLiteral("%1 ").arg(n, 2, 10, QLatin1Char('0')).toStdString();
  return line1 + "\r\n" + std::string(300, '-') + "\r\n";
}

enum class DropTarget { kFormHandler, kDisplayHandler, kFormEvent, kDisplayEvent };
enum class DropContent { kNoFiles, kOneFile, kThreeFiles, kTextOnly, kWebAddress };

}  // namespace

Q_DECLARE_METATYPE(DropTarget)
Q_DECLARE_METATYPE(DropContent)

class Form1Test : public QObject, public Form1Fixture {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void startsAsDesigned();
  void controlGeometry_data();
  void controlGeometry();
  void menusInOrder();
  void outsideControlsShowOnlyInALargerWindow();
  void tabOrderFollowsTheDesign();

  void openShowsCaptureInBothViews();
  void check2ChangesNothingUntilTheNextPass();
  void cancelKeepsDisplayButForgetsCapture();
  void cancelBeforeAnyCaptureChangesNothing();
  void openDialogOffersTheThreeFilters();
  void drops_data();
  void drops();
  void dragsWithoutFilesAreRefused();
  void dropLetsTheWindowRepaintBeforeThePass();
  void passResultsReachTheTextBoxes();

  void writeCommands_data();
  void writeCommands();
  void writeLogfileSavesTheDisplay();
  void check1AfterWriteShowsTheCaptureAgain();
  void writeCommandsWithoutCaptureDoNothing();

  void errorsAreReportedAndWindowStaysUsable_data();
  void errorsAreReportedAndWindowStaysUsable();
  void defaultErrorReporterIsAWarningBox();
  void longPassShowsModalProgressAndBlocksCommands();
  void shortPassProcessesNoEvents();

  void infoShowsOneAboutWindow();
  void exitLeavesAboutWindowOpen();

 private:
  static void Click(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
  }
  QString Label2() { return Find<QLabel>("Label2")->text(); }
  QStringList FilesInDir() {
    return QDir(dir_->path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
  }
  void ExpectDisplay(const Expected& expected) {
    QCOMPARE(B(Display()->Model().Text()), B(expected.Text()));
    QCOMPARE(RunsText(Display()->Model().Runs()), RunsText(expected.Runs()));
  }

  int dialog_calls_ = 0;
};

void Form1Test::init() {
  QVERIFY(MakeForm(false));
  dialog_calls_ = 0;
  form_->SetOpenDialog([this](QWidget* parent) {
    ++dialog_calls_;
    if (parent != form_) qFatal("the open dialog must belong to Form1");
    return next_open_;
  });
}

void Form1Test::cleanup() {
  DestroyForm();
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void Form1Test::startsAsDesigned() {
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
  QCOMPARE(form_->windowTitle(), QStringLiteral("Packscope+ (QQ0QQ)"));
  QCOMPARE(form_->centralWidget()->size(), QSize(680, 482));
  QCOMPARE(form_->menuBar()->geometry().bottom() + 1, form_->centralWidget()->geometry().top());
  QVERIFY(form_->windowIcon().availableSizes().contains(QSize(64, 51)));

  QCOMPARE(Display()->Model().Size(), 0);
  QCOMPARE(Find<QCheckBox>("Check1")->text(), QStringLiteral("Decode Kissframe"));
  QCOMPARE(Find<QCheckBox>("Check1")->isChecked(), false);
  QCOMPARE(Find<QCheckBox>("Check2")->text(), QStringLiteral("AX.25"));
  QCOMPARE(Find<QCheckBox>("Check2")->isChecked(), true);
  QCOMPARE(Find<QLabel>("Label1")->text(), QString());
  QCOMPARE(Find<QLabel>("Label2")->text(), QString());
  QCOMPARE(Find<QLabel>("Label3")->text(), QStringLiteral("RXCall"));
  QCOMPARE(Find<QLabel>("Label4")->text(), QStringLiteral("TXCall"));
  QCOMPARE(Find<QPlainTextEdit>("Text1")->toPlainText(), QString());
  QCOMPARE(Find<QLineEdit>("Text2")->text(), QString());
  QCOMPARE(Find<QLineEdit>("Text3")->text(), QString());
  QCOMPARE(Find<QPlainTextEdit>("Text4")->toPlainText(), QString());
  QCOMPARE(Find<QLabel>("Label1")->palette().color(QPalette::WindowText), QColor(0x40, 0x40, 0x40));
  QCOMPARE(form_->State().CaptureFileName, std::string());

  // Fonts: the display and Text1 in a fixed-pitch face, Text4 too; sizes as designed.
  const QFont display_font = Display()->font();
  QCOMPARE(display_font.pointSizeF(), 9.0);
  QVERIFY(QFontInfo(display_font).fixedPitch());
  QCOMPARE(display_font.weight(), QFont::Normal);
  const QFont text1_font = Find<QPlainTextEdit>("Text1")->font();
  QCOMPARE(text1_font.pointSizeF(), 8.25);
  QVERIFY(QFontInfo(text1_font).fixedPitch());
  const QFont text4_font = Find<QPlainTextEdit>("Text4")->font();
  QCOMPARE(text4_font.pointSizeF(), 8.25);
  QVERIFY(QFontInfo(text4_font).fixedPitch());

  // Text1 scrolls both ways; the timestamp log has no scroll bars and is a log, not an editor.
  auto* text1 = Find<QPlainTextEdit>("Text1");
  QCOMPARE(text1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QCOMPARE(text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  QCOMPARE(text1->isReadOnly(), false);
  auto* text4 = Find<QPlainTextEdit>("Text4");
  QCOMPARE(text4->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  QCOMPARE(text4->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  QCOMPARE(text4->isReadOnly(), true);

  // Only the window and the display take drops; the text boxes pass them on to the window.
  QCOMPARE(form_->acceptDrops(), true);
  QCOMPARE(Display()->acceptDrops(), true);
  QCOMPARE(text1->acceptDrops() || text1->viewport()->acceptDrops(), false);
  QCOMPARE(text4->acceptDrops() || text4->viewport()->acceptDrops(), false);
  QCOMPARE(Find<QLineEdit>("Text2")->acceptDrops(), false);
  QCOMPARE(Find<QLineEdit>("Text3")->acceptDrops(), false);
}

void Form1Test::controlGeometry_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("place");
  QTest::newRow("RichTextBox1") << "RichTextBox1" << QRect(8, 0, 665, 441);
  QTest::newRow("Check1") << "Check1" << QRect(8, 448, 113, 13);
  QTest::newRow("Check2") << "Check2" << QRect(8, 464, 105, 17);
  QTest::newRow("Label2") << "Label2" << QRect(136, 448, 529, 17);
  QTest::newRow("Label1") << "Label1" << QRect(136, 464, 225, 17);
  QTest::newRow("Text1") << "Text1" << QRect(8, 496, 673, 73);
  QTest::newRow("Label3") << "Label3" << QRect(8, 584, 33, 17);
  QTest::newRow("Text2") << "Text2" << QRect(48, 584, 65, 19);
  QTest::newRow("Label4") << "Label4" << QRect(136, 584, 33, 17);
  QTest::newRow("Text3") << "Text3" << QRect(176, 584, 65, 19);
  QTest::newRow("Text4") << "Text4" << QRect(696, 0, 321, 441);
}

void Form1Test::controlGeometry() {
  QFETCH(QString, name);
  QFETCH(QRect, place);
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
  auto* control = form_->findChild<QWidget*>(name);
  QVERIFY(control != nullptr);
  QCOMPARE(control->parentWidget(), form_->centralWidget());
  QCOMPARE(control->geometry(), place);
  // Controls never move or resize with the window.
  form_->resize(1100, 700);
  QCoreApplication::processEvents();
  QCOMPARE(control->geometry(), place);
  form_->resize(300, 200);
  QCoreApplication::processEvents();
  QCOMPARE(control->geometry(), place);
}

void Form1Test::menusInOrder() {
  const QList<QAction*> bar = form_->menuBar()->actions();
  QCOMPARE(bar.size(), 4);
  QCOMPARE(bar[0]->text(), QStringLiteral("&File"));
  QCOMPARE(bar[1]->text(), QStringLiteral("&Write"));
  QCOMPARE(bar[2]->text(), QStringLiteral("&View"));
  QCOMPARE(bar[3]->text(), QStringLiteral("Info"));
  QCOMPARE(bar[3]->objectName(), QStringLiteral("MnuInfo"));
  QCOMPARE(bar[3]->menu(), nullptr);  // acts when clicked, no sub-items
  QVERIFY(bar[0]->menu() != nullptr);
  QVERIFY(bar[1]->menu() != nullptr);
  QCOMPARE(bar[0]->menu()->objectName(), QStringLiteral("MnuFile"));
  QCOMPARE(bar[1]->menu()->objectName(), QStringLiteral("MnuWrite"));

  const auto items = [](QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) {
      out << a->objectName() + QLatin1Char('=') + a->text();
      if (!a->shortcut().isEmpty()) out << QStringLiteral("shortcut!");
    }
    return out;
  };
  QCOMPARE(items(bar[0]->menu()),
           QStringList({"MnuFileOpen=&Open Kissfile", "MnuFileRecord=&Record from TNC...",
                        "MnuExit=&Exit"}));
  QCOMPARE(items(bar[1]->menu()),
           QStringList({"MnuWriteHexfilecomplete=Write Hexfile (complete frame)",
                        "MnuWriteHexFilekissframe=Write Hexfile (kissframe)",
                        "MnuWriteHexfilePayload=Write Hexfile (payload)",
                        "MnuWriteHexfilePayloadTime=Write Hexfile (payload with timestamp)",
                        "MnuWriteASCIIPL=Write ASCII File (payload with timestamp)",
                        "MnuWriteLogfile=Write Logfile (screen dump)"}));
  // The frame list is the one item with a shortcut.
  QCOMPARE(bar[2]->menu()->objectName(), QStringLiteral("MnuView"));
  QCOMPARE(items(bar[2]->menu()), QStringList({"MnuViewFrameList=Frame List", "shortcut!"}));
  QCOMPARE(bar[2]->menu()->actions().first()->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));

  // Triggering the items reaches the handlers: Open asks the dialog, Info shows Form2.
  form_->findChild<QAction*>(QStringLiteral("MnuFileOpen"))->trigger();
  QCOMPARE(dialog_calls_, 1);
  bar[3]->trigger();
  QVERIFY(Form2::Instance() != nullptr);
  // A Write item with a capture writes its file.
  Open(Capture(QStringLiteral("pass1.kss"), kCaptureA));
  form_->findChild<QAction*>(QStringLiteral("MnuWriteHexFilekissframe"))->trigger();
  QCOMPARE(Label2(), dir_->filePath(QStringLiteral("pass1.hex")) + " has been written");
}

void Form1Test::outsideControlsShowOnlyInALargerWindow() {
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
  const char* inside[] = {"RichTextBox1", "Check1", "Check2", "Label1", "Label2"};
  const char* outside[] = {"Text1", "Label3", "Text2", "Label4", "Text3", "Text4"};
  for (const char* name : inside) {
    QVERIFY2(!Find<QWidget>(name)->visibleRegion().isEmpty(), name);
  }
  for (const char* name : outside) {
    QVERIFY2(Find<QWidget>(name)->visibleRegion().isEmpty(), name);
  }
  form_->resize(1100, 700);
  QCoreApplication::processEvents();
  for (const char* name : outside) {
    QVERIFY2(!Find<QWidget>(name)->visibleRegion().isEmpty(), name);
  }
}

void Form1Test::tabOrderFollowsTheDesign() {
  const QStringList focusable = {"Text1", "RichTextBox1", "Check1", "Check2",
                                 "Text2", "Text3",        "Text4"};
  QStringList order;
  QWidget* w = Find<QWidget>("Text1");
  for (int steps = 0; steps < 200 && order.size() < focusable.size(); ++steps) {
    if (focusable.contains(w->objectName()) && !order.contains(w->objectName())) {
      order << w->objectName();
    }
    w = w->nextInFocusChain();
  }
  QCOMPARE(order, focusable);
}

void Form1Test::openShowsCaptureInBothViews() {
  form_->show();
  const QString path = Capture(QStringLiteral("pass1.kss"), kCaptureA);
  Open(path);
  QCOMPARE(dialog_calls_, 1);
  QCOMPARE(errors_, QStringList());
  QCOMPARE(Label2(), "File: " + path);
  QCOMPARE(Find<QLabel>("Label1")->text(), QStringLiteral("2 frames / 6 bytes"));
  QCOMPARE(form_->State().CaptureFileName, Utf8Path(path));
  QCOMPARE(form_->State().OutputMode, std::int16_t{kScreen});
  ExpectDisplay(ScreenA(false));

  // Ticking Decode Kissframe shows the un-escaped frames in red; unticking the stored ones.
  auto* check1 = Find<QCheckBox>("Check1");
  Click(check1);
  QCOMPARE(check1->isChecked(), true);
  ExpectDisplay(ScreenA(true));
  QCOMPARE(Label2(), "File: " + path);
  Click(check1);
  QCOMPARE(check1->isChecked(), false);
  ExpectDisplay(ScreenA(false));
  QCOMPARE(errors_, QStringList());
}

void Form1Test::check2ChangesNothingUntilTheNextPass() {
  form_->show();
  Open(Capture(QStringLiteral("pass1.kss"), CaptureC()));
  auto* text2 = Find<QLineEdit>("Text2");
  const QString decoded = text2->text();
  QVERIFY(decoded.contains(QStringLiteral("APRS")));
  const std::string display = Display()->Model().Text();

  auto* check2 = Find<QCheckBox>("Check2");
  Click(check2);
  QCOMPARE(check2->isChecked(), false);
  QCOMPARE(B(Display()->Model().Text()), B(display));
  QCOMPARE(text2->text(), decoded);

  // The next pass runs without the decoder: the callsign boxes keep what they had.
  text2->clear();
  Open(QString::fromStdString(form_->State().CaptureFileName));
  QCOMPARE(text2->text(), QString());
}

void Form1Test::cancelKeepsDisplayButForgetsCapture() {
  const QString path = Capture(QStringLiteral("pass1.kss"), kCaptureA);
  Open(path);
  Open(QString());  // the user cancels
  QCOMPARE(dialog_calls_, 2);
  QCOMPARE(form_->State().CaptureFileName, std::string());
  QCOMPARE(Label2(), "File: " + path);
  ExpectDisplay(ScreenA(false));

  // Until a capture is chosen again, Check1 and the Write items do nothing.
  auto* check1 = Find<QCheckBox>("Check1");
  Click(check1);
  QCOMPARE(check1->isChecked(), true);
  ExpectDisplay(ScreenA(false));
  form_->MnuWriteHexfilecomplete_Click();
  form_->MnuWriteLogfile_Click();
  QCOMPARE(FilesInDir(), QStringList{"pass1.kss"});
  QCOMPARE(Label2(), "File: " + path);
  QCOMPARE(errors_, QStringList());
}

void Form1Test::cancelBeforeAnyCaptureChangesNothing() {
  Open(QString());
  QCOMPARE(dialog_calls_, 1);
  QCOMPARE(Label2(), QString());
  QCOMPARE(Find<QLabel>("Label1")->text(), QString());
  QCOMPARE(Display()->Model().Size(), 0);
  QCOMPARE(errors_, QStringList());
  form_->Check1_Click();
  QCOMPARE(Display()->Model().Size(), 0);
}

void Form1Test::openDialogOffersTheThreeFilters() {
  const std::unique_ptr<QFileDialog> dialog = CreateOpenDialog(form_);
  QCOMPARE(dialog->parentWidget(), form_);
  QCOMPARE(
      dialog->nameFilters(),
      QStringList({"KISS Files (*.kss)", "Text Files (*.txt)", "All Files (*.*)",
                   "Captures (*.kss *.pcap *.pcapng *.cap *.tnc2.txt *.gz *.xz *.zst *.bz2)"}));
  QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("KISS Files (*.kss)"));
  QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
  QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
  QVERIFY(dialog->windowModality() != Qt::NonModal);
}

void Form1Test::drops_data() {
  QTest::addColumn<DropTarget>("target");
  QTest::addColumn<DropContent>("content");
  const std::pair<const char*, DropTarget> targets[] = {
      {"Form_OLEDragDrop", DropTarget::kFormHandler},
      {"RichTextBox1_OLEDragDrop", DropTarget::kDisplayHandler},
      {"drop event on Form1", DropTarget::kFormEvent},
      {"drop event on RichTextBox1", DropTarget::kDisplayEvent}};
  const std::pair<const char*, DropContent> contents[] = {
      {"no files", DropContent::kNoFiles},
      {"one file", DropContent::kOneFile},
      {"three files", DropContent::kThreeFiles},
      {"text only", DropContent::kTextOnly},
      {"web address", DropContent::kWebAddress}};
  for (const auto& [target_name, target] : targets) {
    for (const auto& [content_name, content] : contents) {
      QTest::addRow("%s, %s", target_name, content_name) << target << content;
    }
  }
}

void Form1Test::drops() {
  QFETCH(DropTarget, target);
  QFETCH(DropContent, content);
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
  const QString first_open = Capture(QStringLiteral("open.kss"), kCaptureA);
  Open(first_open);
  // Any extension opens; only the first of several files counts.
  const QString one = Capture(QStringLiteral("dropped.bin"), kCaptureB);
  const QString two = Capture(QStringLiteral("second.kss"), kCaptureA);
  const QString three = Capture(QStringLiteral("third.kss"), CaptureC());

  std::unique_ptr<QMimeData> data;
  switch (content) {
    case DropContent::kNoFiles:
      data.reset(new QMimeData);
      break;
    case DropContent::kOneFile:
      data.reset(FileDrop({one}));
      break;
    case DropContent::kThreeFiles:
      data.reset(FileDrop({one, two, three}));
      break;
    case DropContent::kTextOnly:
      data.reset(TextDrop(QStringLiteral("C0 00 41 C0 some text")));
      break;
    case DropContent::kWebAddress:
      data.reset(new QMimeData);
      data->setUrls({QUrl(QStringLiteral("https://example.org/pass1.kss"))});
      break;
  }
  switch (target) {
    case DropTarget::kFormHandler:
      form_->Form_OLEDragDrop(*data);
      break;
    case DropTarget::kDisplayHandler:
      form_->RichTextBox1_OLEDragDrop(*data);
      break;
    case DropTarget::kFormEvent:
    case DropTarget::kDisplayEvent: {
      // As a drag delivers it: entering (refused without files), then the drop.
      QWidget* receiver =
          target == DropTarget::kFormEvent ? static_cast<QWidget*>(form_) : Display()->viewport();
      QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton,
                            Qt::NoModifier);
      QApplication::sendEvent(receiver, &enter);
      QDropEvent drop(QPointF(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(receiver, &drop);
      break;
    }
  }

  QCOMPARE(errors_, QStringList());
  if (content == DropContent::kOneFile || content == DropContent::kThreeFiles) {
    QCOMPARE(Label2(), "File: " + one);
    QCOMPARE(form_->State().CaptureFileName, Utf8Path(one));
    ExpectDisplay(ScreenB());
    QCOMPARE(Find<QLabel>("Label1")->text(), QStringLiteral("1 frames / 2 bytes"));
  } else {
    // Nothing changes, and nothing is ever inserted into the display.
    QCOMPARE(Label2(), "File: " + first_open);
    QCOMPARE(form_->State().CaptureFileName, Utf8Path(first_open));
    ExpectDisplay(ScreenA(false));
  }
}

void Form1Test::dragsWithoutFilesAreRefused() {
  const std::unique_ptr<QMimeData> text(TextDrop(QStringLiteral("hello")));
  const std::unique_ptr<QMimeData> web(new QMimeData);
  web->setUrls({QUrl(QStringLiteral("https://example.org/pass1.kss"))});
  const std::unique_ptr<QMimeData> files(FileDrop({dir_->filePath(QStringLiteral("x.kss"))}));
  QWidget* targets[] = {form_, Display()->viewport()};
  for (QWidget* target : targets) {
    for (QMimeData* refused_data : {text.get(), web.get()}) {
      QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, refused_data, Qt::LeftButton,
                              Qt::NoModifier);
      QApplication::sendEvent(target, &refused);
      QCOMPARE(refused.isAccepted(), false);
    }
    QDragEnterEvent accepted(QPoint(5, 5), Qt::CopyAction, files.get(), Qt::LeftButton,
                             Qt::NoModifier);
    QApplication::sendEvent(target, &accepted);
    QCOMPARE(accepted.isAccepted(), true);
  }
}

void Form1Test::dropLetsTheWindowRepaintBeforeThePass() {
  form_->show();
  Open(Capture(QStringLiteral("open.kss"), kCaptureA));
  const QString dropped = Capture(QStringLiteral("dropped.kss"), kCaptureB);

  // An event waiting when the drop arrives runs after Label2 names the file, before the pass.
  QString label2_seen;
  std::string display_seen;
  int runs = 0;
  QMetaObject::invokeMethod(
      form_,
      [&] {
        ++runs;
        label2_seen = Label2();
        display_seen = Display()->Model().Text();
      },
      Qt::QueuedConnection);
  const std::unique_ptr<QMimeData> data(FileDrop({dropped}));
  form_->Form_OLEDragDrop(*data);
  QCOMPARE(runs, 1);
  QCOMPARE(label2_seen, "File: " + dropped);
  QCOMPARE(B(display_seen), B(ScreenA(false).Text()));
  ExpectDisplay(ScreenB());
}

void Form1Test::passResultsReachTheTextBoxes() {
  const QString path = Capture(QStringLiteral("pass1.kss"), CaptureC());
  Open(path);
  QCOMPARE(errors_, QStringList());

  // The same capture through the headless window: every text must end up the same.
  LocaleHeadlessWindow headless;
  DecoderState state;
  QVERIFY(OpenCapture(state, headless, Utf8Path(path)));
  QVERIFY(!headless.Text4().empty());
  QCOMPARE(Find<QLineEdit>("Text2")->text(), FromCp1252(headless.Text2()));
  QCOMPARE(Find<QLineEdit>("Text3")->text(), FromCp1252(headless.Text3()));
  QCOMPARE(Find<QLineEdit>("Text2")->text(), QStringLiteral("-APRS-"));
  QCOMPARE(Find<QLineEdit>("Text3")->text(), QStringLiteral("-QQ0QQ-7-"));
  QCOMPARE(Find<QPlainTextEdit>("Text4")->toPlainText(),
           FromCp1252(headless.Text4()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  QCOMPARE(Find<QLabel>("Label1")->text(), FromUtf8(headless.Label1()));
  QCOMPARE(B(Display()->Model().Text()), B(headless.DisplayText()));
  QCOMPARE(RunsText(Display()->Model().Runs()), RunsText(headless.Display().Runs()));
}

void Form1Test::writeCommands_data() {
  QTest::addColumn<QString>("item");
  QTest::addColumn<QString>("file");
  QTest::addColumn<int>("mode");
  QTest::addColumn<QByteArray>("content");  // "<stamp>" stands for StampText
  const std::string raw = "C0 00 82 A0 A4 A6 40 40 60 A2 A2 60 A2 A2 40 6F 03 F0 48 69 C0 ";
  const std::string kiss = "00 82 A0 A4 A6 40 40 60 A2 A2 60 A2 A2 40 6F 03 F0 48 69 ";
  QTest::newRow("complete frame") << "MnuWriteHexfilecomplete"
                                  << "pass1.hex" << int{kHexComplete}
                                  << B(ColumnHeaderLines() + raw + "\r\n");
  QTest::newRow("kissframe") << "MnuWriteHexFilekissframe"
                             << "pass1.hex" << int{kHexKissFrame}
                             << B(ColumnHeaderLines() + kiss + "\r\n");
  QTest::newRow("payload") << "MnuWriteHexfilePayload"
                           << "pass1.hex" << int{kHexPayload} << B("48 69 \r\n");
  QTest::newRow("payload with timestamp")
      << "MnuWriteHexfilePayloadTime"
      << "pass1.hex" << int{kHexPayloadTime} << B("<stamp>: 48 69 \r\n");
  QTest::newRow("ascii")
      << "MnuWriteASCIIPL"
      << "pass1.txt" << int{kAsciiPayloadTime}
      << B("<stamp>: \xC0.\x82\xA0\xA4\xA6@@`\xA2\xA2`\xA2\xA2@o.\xF0Hi\xC0\r\n");
}

void Form1Test::writeCommands() {
  QFETCH(QString, item);
  QFETCH(QString, file);
  QFETCH(int, mode);
  QFETCH(QByteArray, content);
  const QString capture = Capture(QStringLiteral("pass1.kss"), CaptureC());
  Open(capture);
  QVERIFY(Display()->Model().Size() > 0);

  form_->findChild<QAction*>(item)->trigger();
  QCOMPARE(errors_, QStringList());
  const QString written = dir_->filePath(file);
  QCOMPARE(Label2(), written + " has been written");
  content.replace("<stamp>", QByteArray::fromStdString(form_->State().StampText));
  QVERIFY(!form_->State().StampText.empty());
  QCOMPARE(B(ReadBytes(written)), content);
  QCOMPARE(int{form_->State().OutputMode}, mode);
  QCOMPARE(form_->State().OutputFileName, Utf8Path(written));
  QCOMPARE(form_->State().CaptureFileName, Utf8Path(capture));
  QCOMPARE(Find<QLabel>("Label1")->text(), QStringLiteral("2 frames / 28 bytes"));
}

void Form1Test::writeLogfileSavesTheDisplay() {
  Open(Capture(QStringLiteral("pass1.kss"), kCaptureA));
  form_->MnuWriteLogfile_Click();
  const QString log = dir_->filePath(QStringLiteral("pass1.log"));
  QCOMPARE(errors_, QStringList());
  QCOMPARE(Label2(), log + " has been written");
  QCOMPARE(B(ReadBytes(log)), B(ScreenA(false).Text() + "\r\n"));
  QCOMPARE(form_->State().OutputMode, std::int16_t{kScreen});
  ExpectDisplay(ScreenA(false));
}

void Form1Test::check1AfterWriteShowsTheCaptureAgain() {
  Open(Capture(QStringLiteral("pass1.kss"), kCaptureA));
  form_->MnuWriteHexfilecomplete_Click();
  auto* check1 = Find<QCheckBox>("Check1");
  Click(check1);
  QCOMPARE(form_->State().OutputMode, std::int16_t{kScreen});
  ExpectDisplay(ScreenA(true));
  QCOMPARE(Label2(), dir_->filePath(QStringLiteral("pass1.hex")) + " has been written");
}

void Form1Test::writeCommandsWithoutCaptureDoNothing() {
  form_->MnuWriteHexfilecomplete_Click();
  form_->MnuWriteHexFilekissframe_Click();
  form_->MnuWriteHexfilePayload_Click();
  form_->MnuWriteHexfilePayloadTime_Click();
  form_->MnuWriteASCIIPL_Click();
  form_->MnuWriteLogfile_Click();
  QCOMPARE(FilesInDir(), QStringList());
  QCOMPARE(QDir::current().exists(QStringLiteral("log")), false);
  QCOMPARE(Label2(), QString());
  QCOMPARE(errors_, QStringList());
  QCOMPARE(form_->State().OutputMode, std::int16_t{kScreen});
}

void Form1Test::errorsAreReportedAndWindowStaysUsable_data() {
  QTest::addColumn<QString>("capture");   // file name in the test folder
  QTest::addColumn<QString>("setup");     // what else the folder holds
  QTest::addColumn<QString>("command");   // handler that fails
  QTest::addColumn<QStringList>("says");  // parts of the message
  QTest::addColumn<QString>("label2");    // Label2 afterwards ("<capture>" for its path)
  // A capture that cannot be read is not named once the message has named it.
  QTest::newRow("missing capture")
      << "missing.kss"
      << ""
      << "open" << QStringList{"missing.kss", "No such file or directory"} << "";
  QTest::newRow("folder as capture") << "folder.kss"
                                     << "capture is a folder"
                                     << "open" << QStringList{"folder.kss", "it is a folder"} << "";
  QTest::newRow("unwritable output") << "pass1.kss"
                                     << "pass1.hex is a folder"
                                     << "write" << QStringList{"pass1.hex"} << "File: <capture>";
  QTest::newRow("output is the capture")
      << "pass1.hex"
      << ""
      << "write" << QStringList{"pass1.hex", "capture itself"} << "File: <capture>";
  QTest::newRow("frame too long") << "long.kss"
                                  << "long frame"
                                  << "open" << QStringList{"long.kss", "longer than"}
                                  << "File: <capture>";
}

void Form1Test::errorsAreReportedAndWindowStaysUsable() {
  QFETCH(QString, capture);
  QFETCH(QString, setup);
  QFETCH(QString, command);
  QFETCH(QStringList, says);
  QFETCH(QString, label2);
  form_->show();
  const QString path = dir_->filePath(capture);
  if (setup == "capture is a folder") {
    QVERIFY(QDir(dir_->path()).mkdir(capture));
  } else if (setup == "long frame") {
    WriteBytes(path,
               Bytes({0xC0, 0x00, 0x41, 0xC0, 0xC0}) + std::string(70000, 'A') + Bytes({0xC0}));
  } else if (capture != "missing.kss") {
    WriteBytes(path, kCaptureA);
  }
  if (setup == "pass1.hex is a folder")
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("pass1.hex")));

  Open(path);
  if (command == "write") {
    QCOMPARE(errors_, QStringList());
    form_->MnuWriteHexfilecomplete_Click();
  }
  QCOMPARE(errors_.size(), 1);
  for (const QString& part : says) QVERIFY2(errors_[0].contains(part), qPrintable(errors_[0]));
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  QCOMPARE(form_->Host().InPass(), false);
  QCOMPARE(Label2(), QString(label2).replace(QStringLiteral("<capture>"), path));
  if (setup == "long frame") {
    // The frames before the long one stay shown.
    Expected first;
    first.Block("", "000 > C0 00 41 C0 ", kBlue, "\xC0.A\xC0");
    ExpectDisplay(first);
  }
  if (capture == "pass1.hex") QCOMPARE(B(ReadBytes(path)), B(kCaptureA));

  // The window goes on working.
  errors_.clear();
  const QString good = Capture(QStringLiteral("good.kss"), kCaptureA);
  Open(good);
  QCOMPARE(errors_, QStringList());
  QCOMPARE(Label2(), "File: " + good);
  ExpectDisplay(ScreenA(false));
}

void Form1Test::defaultErrorReporterIsAWarningBox() {
  Form1 form;  // with the real message box
  form.SetOpenDialog([this](QWidget*) { return dir_->filePath(QStringLiteral("missing.kss")); });
  form.show();
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer answer;
  answer.setInterval(10);
  connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      text = box->text();
      icon = box->icon();
      box->accept();
      answer.stop();
    }
  });
  answer.start();
  form.MnuFileOpen_Click();
  answer.stop();
  QVERIFY2(text.contains(QStringLiteral("missing.kss")), qPrintable(text));
  QCOMPARE(icon, QMessageBox::Warning);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void Form1Test::longPassShowsModalProgressAndBlocksCommands() {
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
  form_->Host().SetProgressDelay(0);
  const QString path = Capture(QStringLiteral("pass1.kss"), kCaptureA);
  const QString other = Capture(QStringLiteral("other.kss"), kCaptureB);

  bool ran = false;
  Qt::CursorShape cursor = Qt::ArrowCursor;
  bool dialog_shown = false;
  Qt::WindowModality modality = Qt::NonModal;
  int buttons = -1;
  QString label1_during;
  QMetaObject::invokeMethod(
      form_,
      [&] {
        ran = true;
        if (const QCursor* c = QApplication::overrideCursor()) cursor = c->shape();
        if (QProgressDialog* dialog = form_->Host().ProgressDialog()) {
          dialog_shown = dialog->isVisible() && dialog->parentWidget() == form_;
          modality = dialog->windowModality();
          buttons = static_cast<int>(dialog->findChildren<QPushButton*>().size());
        }
        label1_during = Find<QLabel>("Label1")->text();
        // No second command starts while the pass runs.
        form_->Check1_Click();
        form_->MnuWriteLogfile_Click();
        const std::unique_ptr<QMimeData> drop(FileDrop({other}));
        form_->Form_OLEDragDrop(*drop);
        next_open_ = other;
        form_->MnuFileOpen_Click();
      },
      Qt::QueuedConnection);
  Open(path);

  QVERIFY(ran);
  QCOMPARE(cursor, Qt::WaitCursor);
  QVERIFY(dialog_shown);
  QCOMPARE(modality, Qt::WindowModal);
  QCOMPARE(buttons, 1);  // Cancel
  QCOMPARE(label1_during, QStringLiteral("2 frames / 6 bytes"));
  QCOMPARE(dialog_calls_, 1);
  QCOMPARE(form_->State().CaptureFileName, Utf8Path(path));
  QCOMPARE(FilesInDir(), QStringList({"other.kss", "pass1.kss"}));
  ExpectDisplay(ScreenA(false));
  // Afterwards: the pointer is back and the dialog gone.
  QCOMPARE(QApplication::overrideCursor(), nullptr);
  QCOMPARE(form_->Host().ProgressDialog(), nullptr);
}

void Form1Test::shortPassProcessesNoEvents() {
  bool ran = false;
  QMetaObject::invokeMethod(
      form_, [&] { ran = true; }, Qt::QueuedConnection);
  Open(Capture(QStringLiteral("pass1.kss"), kCaptureA));
  QCOMPARE(ran, false);
  QCOMPARE(form_->Host().ProgressDialog(), nullptr);
  QCoreApplication::processEvents();
  QCOMPARE(ran, true);
}

void Form1Test::infoShowsOneAboutWindow() {
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
  form_->MnuInfo_Click();
  Form2* first = Form2::Instance();
  QVERIFY(first != nullptr);
  QVERIFY(first->isVisible());
  form_->MnuInfo_Click();
  QCOMPARE(Form2::Instance(), first);
  int about_windows = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (qobject_cast<Form2*>(w) != nullptr) ++about_windows;
  }
  QCOMPARE(about_windows, 1);
  // It has no owner: the main window stays usable beside it, its menu bar uncovered (where no
  // window manager places windows, a new one would open over it, and a click on Write reach the
  // About window instead).
  QCOMPARE(first->parentWidget(), nullptr);
  QCOMPARE(first->isModal(), false);
  const QMenuBar* bar = form_->menuBar();
  const QRect menus(bar->mapToGlobal(QPoint(0, 0)), bar->size());
  QVERIFY2(!first->frameGeometry().intersects(menus),
           qPrintable(QStringLiteral("About window at %1,%2, menu bar at %3,%4")
                          .arg(first->x())
                          .arg(first->y())
                          .arg(menus.x())
                          .arg(menus.y())));
  Open(Capture(QStringLiteral("pass1.kss"), kCaptureA));
  ExpectDisplay(ScreenA(false));
}

void Form1Test::exitLeavesAboutWindowOpen() {
  // Runs the application's own event loop: the program must go on after Exit while the About
  // window is open, and end when that is closed too.
  form_->show();
  form_->MnuInfo_Click();
  QPointer<Form2> about = Form2::Instance();
  bool form_closed = false;
  bool about_still_open = false;
  QTimer::singleShot(0, form_, [&] {
    form_->MnuExit_Click();
    QTimer::singleShot(50, [&] {
      form_closed = !form_->isVisible();
      about_still_open = about != nullptr && about->isVisible();
      if (about != nullptr) about->close();
    });
  });
  QTimer guard;
  guard.setSingleShot(true);
  connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
  guard.start(5000);
  const int status = QApplication::exec();
  guard.stop();
  QCOMPARE(status, 0);
  QVERIFY(form_closed);
  QVERIFY(about_still_open);
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
