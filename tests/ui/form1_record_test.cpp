// Recording a TNC from the window and following a capture as it grows: File > "Record from
// TNC..." against a TNC the test plays on a loopback port (frames shown as they come, a lost
// connection told and made again, Stop leaving whole frames), what ends a recording asking first,
// the record dialog refusing settings it cannot record with, and follow mode on a capture that
// another recorder appends to.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "capture/kiss_scanner.h"
#include "commands/commands.h"
#include "live/capture_appender.h"
#include "live/capture_frames.h"
#include "tests/ui/form1_fixture.h"
#include "tests/ui/ui_test_support.h"
#include "ui/display_widget.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/qt_window.h"
#include "ui/record_dialog.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

using Frame = std::vector<std::uint8_t>;

// A UI frame of the test's own, numbered; some carry bytes that need escaping.
Frame NumberedFrame(int n) {
  const std::string text = UiFrame("APRS", "QQ0QQ", n % 16, "frame " + std::to_string(n)) +
                           (n % 5 == 0 ? Bytes({0xC0, 0xDB}) : std::string());
  return Frame(text.begin(), text.end());
}

QByteArray Escaped(int from, int to) {
  std::vector<std::uint8_t> out;
  for (int n = from; n < to; ++n) AppendKissEscaped(out, NumberedFrame(n));
  return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size()));
}

struct ReadBack {
  std::vector<Frame> frames;  // other than stamp frames
  int stamps = 0;
  int cut_off = 0;
};

ReadBack ReadCaptureBack(const QString& path) {
  ReadBack back;
  ForEachCaptureFrame(Utf8Path(path), [&](const CaptureFrame& f) {
    if (f.cut_off) ++back.cut_off;
    if (f.timestamp) {
      ++back.stamps;
    } else {
      back.frames.emplace_back(f.kiss_frame.begin(), f.kiss_frame.end());
    }
  });
  return back;
}

std::vector<Frame> Numbered(int from, int to) {
  std::vector<Frame> frames;
  for (int n = from; n < to; ++n) frames.push_back(NumberedFrame(n));
  return frames;
}

}  // namespace

class Form1RecordTest : public QObject, public Form1Fixture {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void aRecordingShowsItsFramesAsTheyComeAndStopsWithWholeFrames();
  void whatWouldEndARecordingAsksFirst();
  void theRecordDialogRefusesWhatCannotBeRecorded();
  void aCaptureAnotherRecorderAppendsToIsFollowedUnlessScrolledAway();

 private:
  QString Label2() { return form_->Host().Label2Caption(); }
  QString RecordItem() { return Find<QAction>("MnuFileRecord")->text(); }
  QString Source() const { return QStringLiteral("127.0.0.1:%1").arg(tnc_.serverPort()); }
  // Starts recording into path from the test's TNC and takes its connection.
  QTcpSocket* StartRecording(const QString& path) {
    next_record_ = RecordSettings{Source().toStdString(), 9600, Utf8Path(path), true};
    form_->MnuFileRecord_Click();
    if (!QTest::qWaitFor([this] { return tnc_.hasPendingConnections(); }, 5000)) return nullptr;
    return tnc_.nextPendingConnection();
  }
  // The display as a Screen pass over the capture on disk shows it.
  std::string PassText(const QString& path) {
    LocaleHeadlessWindow window;
    DecoderState state;
    OpenCapture(state, window, Utf8Path(path));
    return window.DisplayText();
  }

  QTcpServer tnc_;
  std::optional<RecordSettings> next_record_;
  std::vector<RecordSettings> asked_with_;
  QStringList questions_;
  bool answer_ = false;
};

void Form1RecordTest::init() {
  QVERIFY(tnc_.listen(QHostAddress::LocalHost, 0));
  QVERIFY(MakeForm(false));
  next_record_.reset();
  asked_with_.clear();
  questions_.clear();
  answer_ = false;
  form_->SetRecordDialog([this](QWidget*, const RecordSettings& last) {
    asked_with_.push_back(last);
    return next_record_;
  });
  form_->SetQuestion([this](const QString& question) {
    questions_ << question;
    return answer_;
  });
  form_->SetCaptureLookInterval(50);
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_));
}

void Form1RecordTest::cleanup() {
  DestroyForm();
  tnc_.close();
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void Form1RecordTest::aRecordingShowsItsFramesAsTheyComeAndStopsWithWholeFrames() {
  const QString path = dir_->filePath(QStringLiteral("pass1.kss"));
  QTcpSocket* tnc = StartRecording(path);
  QVERIFY(tnc != nullptr);
  QCOMPARE(asked_with_.size(), std::size_t{1});
  QCOMPARE(asked_with_[0].source, std::string("127.0.0.1:8001"));  // the dialog's default
  QCOMPARE(RecordItem(), QStringLiteral("&Stop Recording"));
  QCOMPARE(form_->State().CaptureFileName, Utf8Path(path));

  // Frames appear as they come, and the view follows them down.
  DisplayWidget* display = Find<DisplayWidget>("RichTextBox1");
  QScrollBar* vertical = display->verticalScrollBar();
  const QString recording = "Recording " + Source() + " to " + path + ": ";
  tnc->write(Escaped(0, 3));
  QTRY_COMPARE_WITH_TIMEOUT(Label2(), recording + "3 frames", 5000);
  QTRY_COMPARE_WITH_TIMEOUT(B(display->Model().Text()), B(PassText(path)), 5000);
  tnc->write(Escaped(3, 60));
  QTRY_COMPARE_WITH_TIMEOUT(Label2(), recording + "60 frames", 5000);
  QTRY_COMPARE_WITH_TIMEOUT(B(display->Model().Text()), B(PassText(path)), 5000);
  QVERIFY(vertical->maximum() > 0);
  QCOMPARE(vertical->value(), vertical->maximum());

  // The TNC goes away: the window says so and goes on; the recorder connects again.
  tnc->abort();
  QTRY_VERIFY_WITH_TIMEOUT(Label2().contains(QStringLiteral("lost")), 5000);
  QVERIFY2(Label2().contains(QStringLiteral("trying again")), qPrintable(Label2()));
  QVERIFY(QTest::qWaitFor([this] { return tnc_.hasPendingConnections(); }, 5000));
  tnc = tnc_.nextPendingConnection();
  tnc->write(Escaped(60, 62));
  QTRY_COMPARE_WITH_TIMEOUT(Label2(), recording + "62 frames", 5000);

  // Half a frame in hand when the recording stops: it is not written.
  tnc->write(Escaped(62, 63).left(10));
  tnc->flush();
  QTest::qWait(300);
  form_->MnuFileRecord_Click();
  QTRY_COMPARE_WITH_TIMEOUT(RecordItem(), QStringLiteral("&Record from TNC..."), 5000);
  QCOMPARE(form_->Recording(), nullptr);
  QCOMPARE(Label2(), "Recording stopped: 62 frames from " + Source() + " in " + path);
  QCOMPARE(errors_, QStringList());
  const ReadBack back = ReadCaptureBack(path);
  QCOMPARE(back.frames, Numbered(0, 62));
  QCOMPARE(back.stamps, 62);
  QCOMPARE(back.cut_off, 0);
  QTRY_COMPARE_WITH_TIMEOUT(B(display->Model().Text()), B(PassText(path)), 5000);
}

void Form1RecordTest::whatWouldEndARecordingAsksFirst() {
  // A capture another recorder holds cannot be recorded into: said at once, nothing starts.
  const QString path = dir_->filePath(QStringLiteral("held.kss"));
  {
    CaptureAppender other(Utf8Path(path));
    next_record_ = RecordSettings{Source().toStdString(), 9600, Utf8Path(path), true};
    form_->MnuFileRecord_Click();
    QCOMPARE(errors_.size(), 1);
    QVERIFY2(errors_[0].contains(QStringLiteral("another program is recording into it")),
             qPrintable(errors_[0]));
    QCOMPARE(form_->Recording(), nullptr);
    QCOMPARE(RecordItem(), QStringLiteral("&Record from TNC..."));
  }
  errors_.clear();
  QTcpSocket* tnc = StartRecording(path);
  QVERIFY(tnc != nullptr);

  // Closing the window or opening another capture asks; "No" keeps the recording.
  answer_ = false;
  QVERIFY(!form_->close());
  next_open_ = dir_->filePath(QStringLiteral("other.kss"));
  WriteBytes(next_open_, Bytes({0xC0, 0x00, 0x41, 0xC0}));
  form_->MnuFileOpen_Click();
  QCOMPARE(questions_.size(), 2);
  QVERIFY2(questions_[0].contains(QStringLiteral("Stop it and close the window?")),
           qPrintable(questions_[0]));
  QCOMPARE(form_->State().CaptureFileName, Utf8Path(path));
  QVERIFY(form_->Recording() != nullptr && !form_->Recording()->Stopping());

  // "Yes": the other capture is opened and the recording ends; what it wrote stays.
  tnc->write(Escaped(0, 2));
  QTRY_COMPARE_WITH_TIMEOUT(form_->Recording()->Frames(), std::int64_t{2}, 5000);
  answer_ = true;
  form_->MnuFileOpen_Click();
  QCOMPARE(form_->State().CaptureFileName, Utf8Path(next_open_));
  QTRY_COMPARE_WITH_TIMEOUT(form_->Recording(), nullptr, 5000);
  QCOMPARE(ReadCaptureBack(path).frames, Numbered(0, 2));
  QCOMPARE(Label2(), "File: " + next_open_);

  // A recording that got no frame leaves no file, and the window shows nothing of it.
  const QString empty = dir_->filePath(QStringLiteral("empty.kss"));
  QVERIFY(StartRecording(empty) != nullptr);
  form_->MnuFileRecord_Click();
  QTRY_COMPARE_WITH_TIMEOUT(form_->Recording(), nullptr, 5000);
  QVERIFY(!QFile::exists(empty));
  QCOMPARE(form_->State().CaptureFileName, std::string());
  QCOMPARE(Label2(), "Recording stopped: 0 frames from " + Source() + " in " + empty);

  // Closing with "Yes" stops the recording; the frames are in the capture.
  tnc = StartRecording(path);
  QVERIFY(tnc != nullptr);
  tnc->write(Escaped(2, 3));
  QTRY_COMPARE_WITH_TIMEOUT(form_->Recording()->Frames(), std::int64_t{1}, 5000);
  QVERIFY(form_->close());
  QCOMPARE(form_->Recording(), nullptr);
  QCOMPARE(ReadCaptureBack(path).frames, Numbered(0, 3));
  QCOMPARE(errors_, QStringList());
}

void Form1RecordTest::theRecordDialogRefusesWhatCannotBeRecorded() {
  RecordDialog dialog(form_, RecordSettings{});
  auto* source = dialog.findChild<QComboBox*>(QStringLiteral("RecordSource"));
  auto* baud = dialog.findChild<QComboBox*>(QStringLiteral("RecordBaud"));
  auto* problem = dialog.findChild<QLabel*>(QStringLiteral("RecordProblem"));
  QVERIFY(source != nullptr && baud != nullptr && problem != nullptr);
  QCOMPARE(source->currentText(), QStringLiteral("127.0.0.1:8001"));
  QVERIFY(!baud->isEnabled());  // a serial line's only
  dialog.show();

  const auto refused = [&](const QString& why) {
    dialog.accept();
    return dialog.result() != QDialog::Accepted && problem->isVisible() &&
           problem->text().contains(why);
  };
  QVERIFY(refused(QStringLiteral("Choose the capture")));
  dialog.SetSaveDialog([this](QWidget*, const QString&) { return dir_->path(); });
  dialog.Browse();
  QVERIFY(refused(QStringLiteral("it is not a file")));
  const QString capture = dir_->filePath(QStringLiteral("tnc.kss"));
  dialog.SetSaveDialog([&](QWidget*, const QString&) { return capture; });
  dialog.Browse();
  source->setEditText(QStringLiteral("localhost"));
  QVERIFY(refused(QStringLiteral("HOST:PORT")));
  source->setEditText(QStringLiteral("/dev/ttyUSB0"));
  QVERIFY(baud->isEnabled());
  QVERIFY(!problem->isVisible());
  baud->setEditText(QStringLiteral("fast"));
  QVERIFY(refused(QStringLiteral("baud")));
  baud->setEditText(QStringLiteral("19200"));
  dialog.accept();
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  const RecordSettings chosen = dialog.Settings();
  QCOMPARE(chosen.source, std::string("/dev/ttyUSB0"));
  QCOMPARE(chosen.baud, 19200);
  QCOMPARE(chosen.capture, Utf8Path(capture));
  QVERIFY(chosen.stamps);
}

void Form1RecordTest::aCaptureAnotherRecorderAppendsToIsFollowedUnlessScrolledAway() {
  // A capture that fits the display: it shows its start and its end at once.
  const QString path = dir_->filePath(QStringLiteral("other.kss"));
  auto other = std::make_unique<CaptureAppender>(Utf8Path(path));
  const auto append = [&](int from, int to) {
    for (int n = from; n < to; ++n) other->Add(NumberedFrame(n), 1451651696789 + 1000 * n);
    other->Write();
  };
  append(0, 2);
  next_open_ = path;
  form_->MnuFileOpen_Click();
  QSignalSpy followed(form_, &Form1::CaptureFollowed);
  DisplayWidget* display = Find<DisplayWidget>("RichTextBox1");
  QScrollBar* vertical = display->verticalScrollBar();
  QCOMPARE(vertical->maximum(), 0);

  // It grows past the display: the view follows to the end.
  append(2, 40);
  QTRY_COMPARE_WITH_TIMEOUT(B(display->Model().Text()), B(PassText(path)), 5000);
  QVERIFY(vertical->maximum() > 0);
  QCOMPARE(vertical->value(), vertical->maximum());
  QVERIFY(!followed.isEmpty());

  // Scrolled away: the view stays where the user put it.
  vertical->setValue(1);
  append(40, 60);
  QTRY_COMPARE_WITH_TIMEOUT(B(display->Model().Text()), B(PassText(path)), 5000);
  QCOMPARE(vertical->value(), 1);

  // Back at the end (Ctrl+End): it follows again.
  display->setFocus();
  QTest::keyClick(display, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(vertical->value(), vertical->maximum());
  const int end_before = vertical->maximum();
  append(60, 80);
  QTRY_COMPARE_WITH_TIMEOUT(B(display->Model().Text()), B(PassText(path)), 5000);
  QVERIFY(vertical->maximum() > end_before);
  QCOMPARE(vertical->value(), vertical->maximum());
  QCOMPARE(errors_, QStringList());
}

QTEST_MAIN(Form1RecordTest)
#include "form1_record_test.moc"
