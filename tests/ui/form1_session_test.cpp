// The main window over a user's session of several commands: what a write command keeps (the
// view), what every pass starts afresh (the stamp, the timestamp log), where the view stands
// after Decode Kissframe, long folder paths in Label2, a dark desktop theme, captions in wide
// fallback fonts, and a long pass cancelled from its progress window.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "tests/ui/form1_fixture.h"
#include "tests/ui/ui_test_support.h"
#include "ui/design.h"
#include "ui/display_widget.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/qt_window.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

// A frame as stored: FEND, the bytes with FEND and FESC escaped, FEND.
std::string Stored(const std::string& frame) {
  std::string out = Bytes({0xC0});
  for (char c : frame) {
    if (c == '\xC0') {
      out += Bytes({0xDB, 0xDC});
    } else if (c == '\xDB') {
      out += Bytes({0xDB, 0xDD});
    } else {
      out.push_back(c);
    }
  }
  return out + Bytes({0xC0});
}

// The text stamp in front of frame i of Frames().
std::string StampOf(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "2016-01-01 12:%02d:%02d.000 UTC", i / 60, i % 60);
  return text;
}

// n UI frames, each behind a text stamp of its own, with printable lines wider than the display.
// Every other payload holds a FEND, stored escaped: its dump then has a line more as stored than
// un-escaped.
std::string Frames(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    out += Stored(std::string(1, '\x09') + StampOf(i));
    std::string payload = "frame " + std::to_string(i) + " of the session " + std::string(80, '.');
    if (i % 2 == 1) payload += "\xC0";
    out += Stored(UiFrame("APRS", "QQ0QQ", 1, payload));
  }
  return out;
}

// A binary stamp frame of these milliseconds since 1970, as stored.
std::string BinaryStamp(std::uint64_t millis) {
  std::string frame(1, '\x09');
  for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<char>(millis >> shift));
  return Stored(frame);
}

// Frames of 103 bytes stored back to back (C0 00, 100 times 41, C0), about n bytes in all.
std::string LongCapture(std::size_t n) {
  const std::string frame = Bytes({0xC0, 0x00}) + std::string(100, 'A') + Bytes({0xC0});
  std::string out;
  while (out.size() + frame.size() <= n) out += frame;
  return out;
}

}  // namespace

class Form1SessionTest : public QObject, public Form1Fixture {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void writeCommandsKeepTheView();
  void everyPassStartsWithoutAStamp();
  void theTimestampLogHoldsTheCaptureShownOnce();
  void decodeKissframeKeepsTheFrameInView();
  void longFolderPathsKeepTheFileNameInView();
  void theDisplayStaysWhiteUnderADarkTheme();
  void captionsShowWholeAtTheirDesignedSize();
  void aCancelledPassShowsWhatWasReadAndWritesNothing();

 private:
  const DisplayModel& Model() { return Display()->Model(); }
  QString Text4() { return Find<QPlainTextEdit>("Text4")->toPlainText(); }
  void TriggerWrite(const char* item) {
    form_->findChild<QAction*>(QString::fromLatin1(item))->trigger();
  }
  // The display line that begins with text.
  std::int64_t LineStartingWith(const std::string& text) {
    const std::size_t at = Model().Text().find("\n" + text);
    if (at == std::string::npos) qFatal("no line %s", text.c_str());
    return Model().LineOf(static_cast<std::int64_t>(at) + 1);
  }
  // Clicks Cancel in the progress window as soon as the pass shows it.
  void CancelTheNextPass() {
    QMetaObject::invokeMethod(
        form_,
        [this] {
          QProgressDialog* dialog = form_->Host().ProgressDialog();
          if (dialog == nullptr) qFatal("no progress window");
          progress_title_ = dialog->windowTitle();
          auto* cancel = dialog->findChild<QPushButton*>();
          if (cancel == nullptr) qFatal("no Cancel button");
          cancel_text_ = cancel->text();
          QTest::mouseClick(cancel, Qt::LeftButton);
        },
        Qt::QueuedConnection);
  }

  QString progress_title_;
  QString cancel_text_;
};

void Form1SessionTest::init() { QVERIFY(MakeForm(true)); }

void Form1SessionTest::cleanup() {
  DestroyForm();
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void Form1SessionTest::writeCommandsKeepTheView() {
  Open(Capture(QStringLiteral("pass1.kss"), Frames(60)));
  DisplayWidget* display = Display();
  display->verticalScrollBar()->setValue(200);
  display->horizontalScrollBar()->setValue(40);
  display->Model().SetSelStart(LineStartingWith("000 > C0 00 82") + 7);  // somewhere in a dump
  display->Model().SetSelLength(25);
  display->ModelChanged();
  const std::string text = Model().Text();
  const QString runs = RunsText(Model().Runs());
  const QString selected = display->SelectedText();
  const QString label1 = Find<QLabel>("Label1")->text();

  for (const char* item :
       {"MnuWriteHexfilecomplete", "MnuWriteHexFilekissframe", "MnuWriteHexfilePayload",
        "MnuWriteHexfilePayloadTime", "MnuWriteASCIIPL"}) {
    TriggerWrite(item);
    QCOMPARE(errors_, QStringList());
    QVERIFY2(Find<QLabel>("Label2")->text().endsWith(" has been written"), item);
    QCOMPARE(B(Model().Text()), B(text));
    QCOMPARE(RunsText(Model().Runs()), runs);
    QCOMPARE(display->verticalScrollBar()->value(), 200);
    QCOMPARE(display->horizontalScrollBar()->value(), 40);
    QCOMPARE(display->SelectedText(), selected);
    QCOMPARE(Find<QLabel>("Label1")->text(), label1);
  }
  // The screen dump then saves the screen view of the capture.
  TriggerWrite("MnuWriteLogfile");
  QCOMPARE(errors_, QStringList());
  QCOMPARE(B(ReadBytes(dir_->filePath(QStringLiteral("pass1.log")))), B(text + "\r\n"));
}

void Form1SessionTest::everyPassStartsWithoutAStamp() {
  // 2016-01-01 12:34:56.789, then a capture whose first frame comes before its own stamp
  // (2016-01-02 08:00:00.000).
  Open(Capture(QStringLiteral("stamped.kss"),
               BinaryStamp(1451651696789) + Stored(UiFrame("APRS", "QQ0QQ", 7, "Hi"))));
  const QString late =
      Capture(QStringLiteral("late.kss"), Stored(UiFrame("APRS", "QQ1QQ", 1, "first")) +
                                              BinaryStamp(1451721600000) +
                                              Stored(UiFrame("APRS", "QQ1QQ", 1, "second")));
  Open(late);
  const std::string own_stamp = form_->State().StampText;
  QVERIFY(own_stamp.find("08:00:00.000 UTC") != std::string::npos);
  // The first block's stamp line is empty, in both views; the second block has the stamp.
  for (int pass = 0; pass < 2; ++pass) {
    QCOMPARE(B(std::string(Model().LineText(0))), B(""));
    QVERIFY(Model().Text().find("_\r\n" + own_stamp + "\r\n") != std::string::npos);
    Find<QCheckBox>("Check1")->click();
  }
  // The file written has no stamp in front of the first frame, as the converter writes it.
  TriggerWrite("MnuWriteHexfilePayloadTime");
  QCOMPARE(errors_, QStringList());
  QCOMPARE(B(ReadBytes(dir_->filePath(QStringLiteral("late.hex")))),
           B(": 66 69 72 73 74 \r\n" + own_stamp + ": 73 65 63 6F 6E 64 \r\n"));
}

void Form1SessionTest::theTimestampLogHoldsTheCaptureShownOnce() {
  Open(Capture(QStringLiteral("stamped.kss"),
               BinaryStamp(1451651696789) + Stored(UiFrame("APRS", "QQ0QQ", 7, "Hi"))));
  const QString first = Text4();
  QCOMPARE(first.count(u'\n'), 1);
  QVERIFY(first.startsWith(QStringLiteral("00000151FD2F0895 -> ")));

  // Passes over the same capture log it once, not again.
  Find<QCheckBox>("Check1")->click();
  Find<QCheckBox>("Check1")->click();
  for (const char* item : {"MnuWriteHexfilecomplete", "MnuWriteHexfilePayloadTime",
                           "MnuWriteASCIIPL", "MnuWriteLogfile"}) {
    TriggerWrite(item);
    QCOMPARE(Text4(), first);
  }
  // Another capture: its stamps alone.
  Open(Capture(QStringLiteral("other.kss"), BinaryStamp(1451721600000) +
                                                BinaryStamp(1451721601000) +
                                                Stored(UiFrame("APRS", "QQ1QQ", 1, "x"))));
  QCOMPARE(Text4().count(u'\n'), 2);
  QVERIFY(Text4().startsWith(QStringLiteral("000001520159AC00 -> ")));
  QVERIFY(!Text4().contains(QStringLiteral("00000151FD2F0895")));
  // A capture without stamps: an empty log.
  Open(Capture(QStringLiteral("plain.kss"), Stored(UiFrame("APRS", "QQ1QQ", 1, "y"))));
  QCOMPARE(Text4(), QString());
  QCOMPARE(errors_, QStringList());
}

void Form1SessionTest::decodeKissframeKeepsTheFrameInView() {
  Open(Capture(QStringLiteral("pass1.kss"), Frames(120)));
  DisplayWidget* display = Display();
  // Frame 71 (its dump has a line more as stored) at the top, from its dump's first line on;
  // the stamp of frame 90 selected.
  const std::string top_stamp = StampOf(71);
  const std::string selected_stamp = StampOf(90);
  const auto start_of = [&](const std::string& stamp) {
    return static_cast<std::int64_t>(Model().Text().find(stamp));
  };
  display->verticalScrollBar()->setValue(static_cast<int>(Model().LineOf(start_of(top_stamp)) + 1));
  display->Model().SetSelStart(start_of(selected_stamp) + 11);
  display->Model().SetSelLength(12);
  display->ModelChanged();
  auto* check1 = Find<QCheckBox>("Check1");

  for (const bool decoded : {true, false, true}) {
    QTest::mouseClick(check1, Qt::LeftButton, Qt::NoModifier, QPoint(6, check1->height() / 2));
    QCOMPARE(check1->isChecked(), decoded);
    QVERIFY(Model().Text().find(decoded ? "000 > 00 82" : "000 > C0 00 82") != std::string::npos);
    QCOMPARE(display->FirstVisibleLine(), Model().LineOf(start_of(top_stamp)) + 1);
    QVERIFY(Model().LineText(display->FirstVisibleLine()).starts_with("000 > "));
    QCOMPARE(display->SelectedText(), QStringLiteral("12:01:30.000"));
  }
  QCOMPARE(errors_, QStringList());
}

void Form1SessionTest::longFolderPathsKeepTheFileNameInView() {
  QString folder = dir_->path();
  for (int i = 0; i < 6; ++i)
    folder += QStringLiteral("/captures of the satellite passes %1").arg(i);
  QVERIFY(QDir().mkpath(folder));
  const QString capture = folder + QStringLiteral("/pass1.kss");
  WriteBytes(capture, Frames(2));
  auto* label2 = Find<QLabel>("Label2");
  const auto expect_shown = [&](const QString& caption, const QString& ending) {
    const QString shown = label2->text();
    QVERIFY2(shown.endsWith(ending), qPrintable(shown));
    QVERIFY2(shown.startsWith(caption.left(7)), qPrintable(shown));
    QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
    QVERIFY(label2->fontMetrics().horizontalAdvance(shown) <= label2->contentsRect().width());
    QCOMPARE(label2->toolTip(), caption);
  };

  Open(capture);
  expect_shown("File: " + capture, QStringLiteral("/pass1.kss"));
  TriggerWrite("MnuWriteHexfilePayload");
  expect_shown(folder + "/pass1.hex has been written",
               QStringLiteral("/pass1.hex has been written"));
  // A short path shows whole, without a tooltip.
  const QString near = Capture(QStringLiteral("near.kss"), Frames(1));
  Open(near);
  QCOMPARE(label2->text(), "File: " + near);
  QCOMPARE(label2->toolTip(), QString());
  QCOMPARE(errors_, QStringList());
}

void Form1SessionTest::theDisplayStaysWhiteUnderADarkTheme() {
  const QPalette saved = QApplication::palette();
  QPalette dark = saved;
  for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
    dark.setColor(role, QColor(0x20, 0x20, 0x20));
  }
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    dark.setColor(role, QColor(0xE0, 0xE0, 0xE0));
  }
  QApplication::setPalette(dark);
  form_->setStyleSheet(QStringLiteral("* { background-color: #202020; color: #e0e0e0; }"));
  Open(Capture(QStringLiteral("pass1.kss"),
               BinaryStamp(1451651696789) + Stored(UiFrame("APRS", "QQ0QQ", 7, "Hi"))));
  const QImage view = Display()->viewport()->grab().toImage();
  QApplication::setPalette(saved);

  const int line = Display()->LineHeight();
  // Blank space right of the text, and below it.
  QCOMPARE(view.pixelColor(view.width() - 4, line / 2), QColor(Qt::white));
  QCOMPARE(view.pixelColor(view.width() - 4, view.height() - 4), QColor(Qt::white));
  // The stamp line has black ink, the dump below it blue.
  const auto ink = [&](int row, auto wanted) {
    for (int y = row * line; y < (row + 1) * line; ++y) {
      for (int x = 0; x < view.width() / 2; ++x) {
        if (wanted(view.pixelColor(x, y))) return true;
      }
    }
    return false;
  };
  QVERIFY(ink(0, [](QColor c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; }));
  QVERIFY(ink(1, [](QColor c) { return c.blue() > 180 && c.red() < 80 && c.green() < 80; }));
}

void Form1SessionTest::captionsShowWholeAtTheirDesignedSize() {
  for (const char* name : {"Check1", "Check2", "Label3", "Label4"}) {
    auto* control = Find<QWidget>(name);
    QVERIFY2(control->sizeHint().width() <= control->width(), name);
    QVERIFY2(control->font().pointSizeF() >= kSmallestCaptionPoints, name);
  }
  QCOMPARE(Find<QAbstractButton>("Check1")->text(), QStringLiteral("Decode Kissframe"));
}

void Form1SessionTest::aCancelledPassShowsWhatWasReadAndWritesNothing() {
  form_->Host().SetProgressDelay(0);
  // More than two blocks of reading (1 MB each): the pass is cancelled after the first.
  const QString capture = Capture(QStringLiteral("pass1.kss"), LongCapture(2500000));
  const int all_frames = 2500000 / 103;
  const auto frames_shown = [&] { return static_cast<int>(Model().Runs().size() / 3); };

  CancelTheNextPass();
  Open(capture);
  QCOMPARE(errors_, QStringList());
  QCOMPARE(progress_title_, QStringLiteral("Packscope+"));
  QCOMPARE(cancel_text_, QStringLiteral("Cancel"));
  QCOMPARE(Find<QLabel>("Label2")->text(), "File: " + capture + " (cancelled, shown in part)");
  const int shown = frames_shown();
  QVERIFY2(shown > 0 && shown < all_frames, qPrintable(QString::number(shown)));
  QCOMPARE(Find<QLabel>("Label1")->text(),
           QStringLiteral("%1 frames / %2 bytes").arg(shown).arg(shown * 101));
  QCOMPARE(form_->Host().ProgressDialog(), nullptr);

  // The other view, read to its end: the whole capture, and Label2 says no more.
  Find<QCheckBox>("Check1")->click();
  QCOMPARE(frames_shown(), all_frames);
  QCOMPARE(Find<QLabel>("Label2")->text(), "File: " + capture);

  // A cancelled write command writes nothing and keeps the earlier file.
  const QString hex = Capture(QStringLiteral("pass1.hex"), "earlier hex");
  const std::string text = Model().Text();
  CancelTheNextPass();
  TriggerWrite("MnuWriteHexfilecomplete");
  QCOMPARE(errors_, QStringList());
  QCOMPARE(Find<QLabel>("Label2")->text(), hex + " was not written (cancelled)");
  QCOMPARE(B(ReadBytes(hex)), B("earlier hex"));
  QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden),
           QStringList({"pass1.hex", "pass1.kss"}));
  QCOMPARE(B(Model().Text()), B(text));
}

QTEST_MAIN(Form1SessionTest)
#include "form1_session_test.moc"
