// The main window's timestamp log Text4 after long passes: every line there, in the order logged,
// also across its text blocks; each pass logs afresh; what a copy of it gives.
#include "ui/qt_window.h"

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <string>

#include "capture/headless_window.h"
#include "commands/commands.h"
#include "gencapture/capture_generator.h"
#include "qt/qt_text.h"
#include "ui/form1.h"
#include "ui_test_support.h"

using namespace packscope;
using packscope::testing::LocaleHeadlessWindow;
using packscope::testing::Utf8Path;
using packscope::testing::WriteBytes;

namespace {

// The log as a plain text box would hold it: one paragraph a line.
QString Paragraphs(const std::string& cp1252) {
  return FromCp1252(cp1252).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

class QtWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void longLogsKeepEveryLineInOrder();
};

void QtWindowTest::longLogsKeepEveryLineInOrder() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("stamps.kss"));
  gen::Options options;
  options.seed = 9;
  options.frames = 200;  // 200 binary stamps: several blocks of the log
  WriteBytes(path, gen::GenerateCaptureBytes(options));

  Form1 form;
  form.SetOpenDialog([&](QWidget*) { return path; });
  QStringList errors;
  form.SetErrorReporter([&](const QString& message) { errors << message; });
  auto* text4 = form.findChild<QPlainTextEdit*>(QStringLiteral("Text4"));
  QVERIFY(text4 != nullptr);

  LocaleHeadlessWindow headless;
  DecoderState state;
  QVERIFY(OpenCapture(state, headless, Utf8Path(path)));
  const QString log = Paragraphs(headless.Text4());
  QCOMPARE(log.count(u'\n'), 200);

  form.MnuFileOpen_Click();
  QCOMPARE(errors, QStringList());
  QCOMPARE(text4->toPlainText(), log);
  // Lines are grouped into blocks: far fewer blocks than lines.
  QCOMPARE(text4->document()->blockCount(), 4);

  // A second pass logs the same stamps afresh, in blocks of its own, still without undo.
  form.Check1_Click();
  QCOMPARE(text4->toPlainText(), log);
  QCOMPARE(text4->document()->blockCount(), 4);
  QCOMPARE(text4->document()->isUndoRedoEnabled(), false);

  // A copy gives plain line breaks, also across blocks.
  text4->selectAll();
  text4->copy();
  QCOMPARE(QGuiApplication::clipboard()->text(), log);
}

QTEST_MAIN(QtWindowTest)
#include "qt_window_test.moc"
