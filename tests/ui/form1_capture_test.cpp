// The main window on captures read through the frame index: a capture that grows, is replaced
// or goes away while shown, a copy too large for the clipboard, a FIFO that must not freeze the
// window, and a timestamp log too long to hold in its box. (The screen dump against the
// converter's screen layout: tests/commands/capture_view_test.cpp and the real-window test.)
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "commands/commands.h"
#include "gencapture/capture_generator.h"
#include "tests/ui/form1_fixture.h"
#include "tests/ui/ui_test_support.h"
#include "ui/display_widget.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/log_box.h"
#include "ui/qt_window.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

std::string Generated(std::uint64_t seed, std::int64_t frames, bool mix = true) {
  gen::Options options;
  options.seed = seed;
  options.frames = frames;
  options.mix = mix;
  options.max_length = 600;
  return gen::GenerateCaptureBytes(options);
}

// A binary stamp frame of these milliseconds, as stored.
std::string BinaryStamp(std::uint64_t millis) {
  std::string frame = Bytes({0xC0, 0x09});
  for (int shift = 56; shift >= 0; shift -= 8) {
    const auto b = static_cast<std::uint8_t>(millis >> shift);
    if (b == 0xC0 || b == 0xDB) {
      frame += Bytes({0xDB, b == 0xC0 ? 0xDC : 0xDD});
    } else {
      frame.push_back(static_cast<char>(b));
    }
  }
  return frame + Bytes({0xC0});
}

// Appends bytes to a file, as a recorder does.
void AppendBytes(const QString& path, const std::string& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::Append)) qFatal("cannot append to %s", qPrintable(path));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// What a Screen pass over the capture shows, with the regional texts the window uses.
struct Pass {
  explicit Pass(const QString& path, bool check1 = false) {
    window.SetCheck1(check1);
    OpenCapture(state, window, Utf8Path(path));
  }
  LocaleHeadlessWindow window;
  DecoderState state;
};

}  // namespace

class Form1CaptureTest : public QObject, public Form1Fixture {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void aCaptureThatChangesWhileShownIsFollowed();
  void aCopyTooLargeForTheClipboardIsRefused();
  void aFifoDoesNotFreezeTheWindow();
  void aLongTimestampLogIsShownThroughAView();

 private:
  // Clicks Cancel in the progress window as soon as the reading shows it.
  void CancelTheNextReading() {
    QMetaObject::invokeMethod(
        form_,
        [this] {
          QProgressDialog* dialog = form_->Host().ProgressDialog();
          if (dialog == nullptr) qFatal("no progress window");
          QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        },
        Qt::QueuedConnection);
  }
};

void Form1CaptureTest::init() {
  QVERIFY(MakeForm(false));
  form_->SetCaptureLookInterval(50);
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
}

void Form1CaptureTest::cleanup() {
  DestroyForm();
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void Form1CaptureTest::aCaptureThatChangesWhileShownIsFollowed() {
  // Its last frame cut off by the end of the file, as a recorder may leave it between writes.
  const std::string first = Generated(1, 300);
  const std::string cut = first + Bytes({0xC0, 0x00, 0x82, 0xA0});
  const QString path = Capture(QStringLiteral("live.kss"), cut);
  Open(path);
  DisplayWidget* display = Display();
  QScrollBar* vertical = display->verticalScrollBar();
  vertical->setValue(vertical->maximum());
  const int end_before = vertical->maximum();

  // Grown: the cut-off frame completed, more frames behind it.
  AppendBytes(path, Bytes({0xA4, 0xC0}) + Generated(2, 200));
  const Pass grown(path);
  QTRY_COMPARE_WITH_TIMEOUT(Label("Label1"), FromUtf8(grown.window.Label1()), 5000);
  QCOMPARE(B(display->Model().Text()), B(grown.window.DisplayText()));
  QCOMPARE(RunsText(display->Model().Runs()), RunsText(grown.window.Display().Runs()));
  QCOMPARE(Find<QPlainTextEdit>("Text4")->toPlainText(),
           FromCp1252(grown.window.Text4()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  QCOMPARE(Label("Label2"), "File: " + path);
  // The view was at the end, and stays there.
  QVERIFY(vertical->maximum() > end_before);
  QCOMPARE(vertical->value(), vertical->maximum());

  // Replaced by a shorter capture: read anew, from the top.
  const QString other = Capture(QStringLiteral("other.kss"), Generated(3, 40));
  QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
  const Pass replaced(path);
  QTRY_COMPARE_WITH_TIMEOUT(Label("Label1"), FromUtf8(replaced.window.Label1()), 5000);
  QCOMPARE(B(display->Model().Text()), B(replaced.window.DisplayText()));
  QCOMPARE(display->FirstVisibleLine(), std::int64_t{0});
  QCOMPARE(errors_, QStringList());

  // Gone: forgotten, as a capture that cannot be read.
  QVERIFY(QFile::remove(path));
  QTRY_COMPARE_WITH_TIMEOUT(errors_.size(), 1, 5000);
  QVERIFY2(errors_[0].contains(QStringLiteral("No such file or directory")),
           qPrintable(errors_[0]));
  QCOMPARE(Label("Label2"), QString());
  QCOMPARE(display->Model().Size(), std::int64_t{0});
  QCOMPARE(form_->State().CaptureFileName, std::string());
}

void Form1CaptureTest::aCopyTooLargeForTheClipboardIsRefused() {
  Open(Capture(QStringLiteral("pass1.kss"), Generated(4, 20)));
  DisplayWidget* display = Display();
  display->SetCopyLimit(1000);
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  display->setFocus();
  QTest::keyClick(display, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(display, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(errors_.size(), 1);
  QVERIFY2(errors_[0].startsWith(QStringLiteral("The selection was not copied")),
           qPrintable(errors_[0]));
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
  // Within the limit it is copied.
  display->SetSelection(0, 1000);
  QTest::keyClick(display, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(errors_.size(), 1);
  QCOMPARE(QGuiApplication::clipboard()->text(), display->SelectedText());
  QVERIFY(display->SelectedText().size() > 900);
}

void Form1CaptureTest::aFifoDoesNotFreezeTheWindow() {
  const QString fifo = dir_->filePath(QStringLiteral("tnc.fifo"));
  QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  form_->Host().SetProgressDelay(0);

  // No writer: the window waits in its progress window, and Cancel ends the wait.
  CancelTheNextReading();
  Open(fifo);
  QCOMPARE(errors_, QStringList());
  QCOMPARE(Label("Label2"), "File: " + fifo + " (cancelled, shown in part)");
  QCOMPARE(Display()->Model().Size(), std::int64_t{0});

  // A writer comes: its frames are shown as they come, and written from the window's copy.
  const std::string bytes = Generated(5, 100);
  std::thread writer([&] {
    std::ofstream out(QFile::encodeName(fifo).toStdString(), std::ios::binary);
    out << bytes.substr(0, bytes.size() / 2) << std::flush;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    out << bytes.substr(bytes.size() / 2);
  });
  Open(fifo);
  writer.join();
  QCOMPARE(errors_, QStringList());
  const Pass pass(Capture(QStringLiteral("tnc.kss"), bytes));
  QCOMPARE(Label("Label2"), "File: " + fifo);
  QCOMPARE(Label("Label1"), FromUtf8(pass.window.Label1()));
  QCOMPARE(B(Display()->Model().Text()), B(pass.window.DisplayText()));
  form_->MnuWriteHexfilePayload_Click();
  QCOMPARE(errors_, QStringList());
  const std::string written = ReadBytes(dir_->filePath(QStringLiteral("tnc.hex")));
  LocaleHeadlessWindow converter;
  DecoderState state = pass.state;
  QVERIFY(RunWriteCommand(state, converter, kWriteCommands[2],
                          Utf8Path(dir_->filePath(QStringLiteral("file.hex")))));
  QVERIFY(written == ReadBytes(dir_->filePath(QStringLiteral("file.hex"))));
}

void Form1CaptureTest::aLongTimestampLogIsShownThroughAView() {
  std::string bytes;
  const auto lines = static_cast<int>(LogBox::kHeldLines) + 1;
  for (int i = 0; i < lines; ++i) bytes += BinaryStamp(1451651696789 + 1000ull * i);
  const QString path = Capture(QStringLiteral("stamps.kss"), bytes);
  Open(path);
  auto* text4 = Find<LogBox>("Text4");
  QVERIFY(text4->ShowsView());
  QCOMPARE(text4->toPlainText(), QString());
  const Pass pass(path);
  QCOMPARE(B(text4->View()->Model().Text()), B(pass.window.Text4()));
  text4->View()->SelectAll();
  text4->View()->Copy();
  QCOMPARE(QGuiApplication::clipboard()->text(),
           FromCp1252(pass.window.Text4()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

  // A short log again: held in the box.
  Open(Capture(QStringLiteral("short.kss"), BinaryStamp(1451651696789)));
  QVERIFY(!text4->ShowsView());
  QVERIFY(text4->toPlainText().startsWith(QStringLiteral("00000151FD2F0895 -> ")));
}

QTEST_MAIN(Form1CaptureTest)
#include "form1_capture_test.moc"
