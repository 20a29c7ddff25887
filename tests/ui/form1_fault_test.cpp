// The main window on bad input and failing file systems: every fault gives one clear message,
// the pointer comes back, the window goes on working, and no file is lost or half-written (an
// earlier output file of the same name stays byte for byte as it was, no temporary file stays).
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMap>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cerrno>
#include <fstream>
#include <memory>
#include <random>

#include "capture/output_file.h"
#include "tests/support/failing_device.h"
#include "tests/ui/form1_fixture.h"
#include "tests/ui/ui_test_support.h"
#include "ui/display_widget.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/qt_window.h"

using namespace packscope;
using namespace packscope::testing;

namespace {

// Two frames: 00 41 42 and 00 43.
const std::string kGood = Bytes({0xC0, 0x00, 0x41, 0x42, 0xC0, 0xC0, 0x00, 0x43, 0xC0});

// Frames of 103 bytes (C0 00, 100 times 41, C0) until n bytes: over a megabyte of hex text for
// n = 400000, more than the output's buffer, so a part of it reaches the disk before the end.
std::string Frames(std::size_t n) {
  const std::string frame = Bytes({0xC0, 0x00}) + std::string(100, 'A') + Bytes({0xC0});
  std::string out;
  while (out.size() < n) out += frame;
  out.resize(n);
  return out;
}

}  // namespace

class Form1FaultTest : public QObject, public Form1Fixture {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void capturesThatCannotBeRead_data();
  void capturesThatCannotBeRead();
  void outputFolderMissing();
  void writeThatFailsMidway_data();
  void writeThatFailsMidway();
  void outputNameIsTheCapture_data();
  void outputNameIsTheCapture();
  void frameLongerThan65535Bytes();
  void capturesWithoutProperFrames_data();
  void capturesWithoutProperFrames();
  void droppedNameThatIsNotUtf8();

 private:
  QString Path(const QString& name) const { return dir_->filePath(name); }
  // Every entry of the folder, sub-folders included: a link as its target, a file as its bytes.
  QMap<QString, QByteArray> Folder() const {
    QMap<QString, QByteArray> entries;
    const QDir root(dir_->path());
    QStringList todo{QString()};
    while (!todo.isEmpty()) {
      const QString sub = todo.takeFirst();
      const QDir d(root.filePath(sub));
      for (const QFileInfo& info :
           d.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QString name = root.relativeFilePath(info.filePath());
        if (info.isSymLink()) {
          entries[name] = "link to " + info.symLinkTarget().toUtf8();
        } else if (info.isDir()) {
          entries[name] = "folder";
          todo << name;
        } else {
          entries[name] = B(ReadBytes(info.filePath()));
        }
      }
    }
    return entries;
  }
  void ClickAllWriteCommands() {
    form_->MnuWriteHexfilecomplete_Click();
    form_->MnuWriteHexFilekissframe_Click();
    form_->MnuWriteHexfilePayload_Click();
    form_->MnuWriteHexfilePayloadTime_Click();
    form_->MnuWriteASCIIPL_Click();
  }
  // After a fault: the pointer is back, no pass runs, and a good capture opens and shows.
  void ExpectUsable() {
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(form_->Host().InPass(), false);
    errors_.clear();
    const QString good = Capture(QStringLiteral("good.kss"), kGood);
    Open(good);
    QCOMPARE(errors_, QStringList());
    QCOMPARE(Label("Label1"), QStringLiteral("2 frames / 5 bytes"));
    QCOMPARE(Label("Label2"), "File: " + good);
    QCOMPARE(B(std::string(Display()->Model().LineText(1))), B("000 > C0 00 41 42 C0 "));
    form_->MnuWriteHexfilePayload_Click();
    QCOMPARE(errors_, QStringList());
    QCOMPARE(Label("Label2"), Path(QStringLiteral("good.hex")) + " has been written");
  }
};

void Form1FaultTest::init() {
  QVERIFY(MakeForm(false));
  form_->show();
}

void Form1FaultTest::cleanup() { DestroyForm(); }

void Form1FaultTest::capturesThatCannotBeRead_data() {
  QTest::addColumn<QString>("name");    // the capture, in the test folder
  QTest::addColumn<QString>("reason");  // what the message says after the path
  QTest::newRow("missing") << "missing.kss"
                           << ": No such file or directory.";
  QTest::newRow("a folder") << "folder.kss"
                            << ": it is a folder, not a file.";
  // A path through a file: unreadable for every user, root included.
  QTest::newRow("parent is a file") << "plain.kss/pass1.kss"
                                    << ": Not a directory.";
}

void Form1FaultTest::capturesThatCannotBeRead() {
  QFETCH(QString, name);
  QFETCH(QString, reason);
  QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("folder.kss")));
  Capture(QStringLiteral("plain.kss"), kGood);
  // Earlier outputs next to the capture (for the path through a file they cannot exist).
  for (const char* earlier :
       {"missing.hex", "missing.txt", "missing.log", "folder.hex", "folder.txt", "folder.log"}) {
    Capture(QString::fromLatin1(earlier), std::string("earlier ") + earlier);
  }
  // The display of an earlier capture.
  Open(Capture(QStringLiteral("before.kss"), kGood));
  QCOMPARE(errors_, QStringList());
  const auto before = Folder();

  const QString capture = Path(name);
  const QString message = "Cannot read the capture \"" + capture + "\"" + reason;
  Open(capture);
  QCOMPARE(errors_, QStringList{message});
  // Nothing of it is shown or named, and it is not the chosen capture: Check1 and every write
  // command do nothing.
  QCOMPARE(Label("Label2"), QString());
  QCOMPARE(Label("Label1"), QString());
  QCOMPARE(Display()->Model().Size(), std::int64_t{0});
  errors_.clear();
  form_->Check1_Click();
  ClickAllWriteCommands();
  form_->MnuWriteLogfile_Click();
  QCOMPARE(errors_, QStringList());
  QCOMPARE(Folder(), before);
  QCOMPARE(Display()->Model().Size(), std::int64_t{0});
  ExpectUsable();
}

void Form1FaultTest::outputFolderMissing() {
  QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("sub")));
  const QString capture = Capture(QStringLiteral("sub/pass1.kss"), kGood);
  Open(capture);
  QCOMPARE(errors_, QStringList());
  // The folder goes away between opening and writing (a removed stick, a deleted folder).
  QVERIFY(QDir(Path(QStringLiteral("sub"))).removeRecursively());
  const QString label2 = Label("Label2");

  form_->MnuWriteHexfilecomplete_Click();
  form_->MnuWriteASCIIPL_Click();
  form_->MnuWriteLogfile_Click();
  const QString hex = Path(QStringLiteral("sub/pass1.hex"));
  const QString txt = Path(QStringLiteral("sub/pass1.txt"));
  const QString log = Path(QStringLiteral("sub/pass1.log"));
  // The capture went with its folder; the screen dump, which does not read it, cannot be put
  // there either.
  const QString gone = "Cannot read the capture \"" + capture + "\": No such file or directory.";
  QCOMPARE(errors_, (QStringList{gone + " Nothing was written to \"" + hex + "\".",
                                 gone + " Nothing was written to \"" + txt + "\".",
                                 "Cannot write \"" + log + "\": No such file or directory."}));
  QCOMPARE(Label("Label2"), label2);
  QCOMPARE(Folder(), (QMap<QString, QByteArray>()));
  ExpectUsable();
}

void Form1FaultTest::writeThatFailsMidway_data() {
  QTest::addColumn<int>("error");
  QTest::addColumn<int>("good_writes");
  QTest::addColumn<QString>("reason");
  QTest::newRow("disk full after the first block") << ENOSPC << 1 << "No space left on device";
  QTest::newRow("I/O error at once") << EIO << 0 << "Input/output error";
  QTest::newRow("file too large") << EFBIG << 1 << "File too large";
}

void Form1FaultTest::writeThatFailsMidway() {
  QFETCH(int, error);
  QFETCH(int, good_writes);
  QFETCH(QString, reason);
  const QString capture = Capture(QStringLiteral("pass1.kss"), Frames(400000));
  const QString hex = Capture(QStringLiteral("pass1.hex"), "earlier hex");
  const QString txt = Capture(QStringLiteral("pass1.txt"), "earlier txt");
  const QString log = Capture(QStringLiteral("pass1.log"), "earlier log");
  Open(capture);
  QCOMPARE(errors_, QStringList());
  const auto before = Folder();
  const QString label2 = Label("Label2");

  // A disk that fills up after a number of good writes.
  testing::FailingDevice device(good_writes, error);
  form_->State().Device = &device;
  form_->MnuWriteHexfilecomplete_Click();
  QCOMPARE(device.writes, good_writes + 1);  // the fault struck while the pass ran
  QCOMPARE(errors_, QStringList{"Cannot write \"" + hex + "\": " + reason +
                                ". Nothing was written to \"" + hex + "\"."});
  // The screen again, then its dump, which fails the same way.
  form_->Check1_Click();
  QVERIFY(Display()->Model().Size() > 1000000);
  device = testing::FailingDevice(good_writes, error);
  form_->MnuWriteLogfile_Click();
  // The ASCII file (about 420 kB) goes out in one write: that one fails.
  device = testing::FailingDevice(0, error);
  form_->MnuWriteASCIIPL_Click();
  QCOMPARE(errors_.size(), 3);
  QVERIFY2(errors_[1].startsWith("Cannot write \"" + log + "\": " + reason),
           qPrintable(errors_[1]));
  QVERIFY2(errors_[2].startsWith("Cannot write \"" + txt + "\": " + reason),
           qPrintable(errors_[2]));
  QCOMPARE(Label("Label2"), label2);
  QCOMPARE(Folder(), before);

  // The disk has room again: the same commands write their files whole.
  form_->State().Device = nullptr;
  errors_.clear();
  form_->MnuWriteHexfilecomplete_Click();
  QCOMPARE(errors_, QStringList());
  QCOMPARE(Label("Label2"), hex + " has been written");
  const std::string written = ReadBytes(hex);
  QCOMPARE(written.size(), std::size_t{2 * 302 + 3883 * (3 * 103 + 2) + 3 * 51 + 2});
  QCOMPARE(B(written.substr(written.size() - 11)), B("41 41 41 \r\n"));
  ExpectUsable();
}

void Form1FaultTest::outputNameIsTheCapture_data() {
  QTest::addColumn<QString>("capture");  // what is opened
  QTest::addColumn<QString>("link");     // what is made beside it
  QTest::newRow("capture named .hex") << "pass1.hex"
                                      << "";
  QTest::newRow("output name is a link to the capture") << "pass1.kss"
                                                        << "pass1.hex";
  QTest::newRow("output name is a hard link to the capture") << "pass1.kss"
                                                             << "hard:pass1.hex";
}

void Form1FaultTest::outputNameIsTheCapture() {
  QFETCH(QString, capture);
  QFETCH(QString, link);
  Capture(capture, kGood);
  if (link.startsWith(QStringLiteral("hard:"))) {
    QCOMPARE(::link(QFile::encodeName(Path(capture)).constData(),
                    QFile::encodeName(Path(link.mid(5))).constData()),
             0);
  } else if (!link.isEmpty()) {
    QVERIFY(QFile::link(Path(capture), Path(link)));
  }
  Open(Path(capture));
  QCOMPARE(errors_, QStringList());
  const auto before = Folder();
  const QString out = Path(capture.chopped(3) + "hex");

  form_->MnuWriteHexfilecomplete_Click();
  form_->MnuWriteHexfilePayloadTime_Click();
  const QString refused =
      "\"" + out + "\" was not written: it is the capture itself, which the command reads.";
  QCOMPARE(errors_, (QStringList{refused, refused}));
  QCOMPARE(Folder(), before);
  ExpectUsable();
}

// A capture named in Latin-1 ("caf\xE9.kss"), dropped: its path reaches the commands as the
// bytes of the name, and the output goes beside it under the same bytes.
void Form1FaultTest::droppedNameThatIsNotUtf8() {
  const std::string folder = QFile::encodeName(dir_->path()).toStdString();
  const std::string capture = folder + "/caf\xE9.kss";
  {
    std::ofstream out(capture, std::ios::binary);
    out << kGood;
  }
  QMimeData dropped;
  dropped.setUrls({QUrl::fromEncoded(
      "file://" + QByteArray::fromStdString(folder).toPercentEncoding("/") + "/caf%E9.kss")});
  form_->Form_OLEDragDrop(dropped);
  QCOMPARE(errors_, QStringList());
  QCOMPARE(form_->State().CaptureFileName, capture);
  QCOMPARE(Label("Label1"), QStringLiteral("2 frames / 5 bytes"));
  form_->MnuWriteHexfilePayload_Click();
  QCOMPARE(errors_, QStringList());
  std::ifstream written(folder + "/caf\xE9.hex", std::ios::binary);
  QVERIFY(written.good());
}

void Form1FaultTest::frameLongerThan65535Bytes() {
  const QString capture =
      Capture(QStringLiteral("long.kss"), Bytes({0xC0, 0x00, 0x41, 0xC0, 0xC0}) +
                                              std::string(65536, 'x') + Bytes({0xC0, 0xC0, 0x00}));
  Capture(QStringLiteral("long.hex"), "earlier hex");
  Capture(QStringLiteral("long.txt"), "earlier txt");
  const auto before = Folder();
  const QString message = "Frame 2 at byte offset 4 of \"" + capture +
                          "\" is longer than 65535 bytes; the pass stopped there.";

  Open(capture);
  QCOMPARE(errors_, QStringList{message});
  // The frame before the long one stays shown, the long one is not.
  QCOMPARE(B(std::string(Display()->Model().LineText(1))), B("000 > C0 00 41 C0 "));
  QCOMPARE(Display()->Model().Text().find("78 78 78"), std::string::npos);
  QCOMPARE(Label("Label1"), QStringLiteral("1 frames / 2 bytes"));

  errors_.clear();
  ClickAllWriteCommands();
  QCOMPARE(errors_.size(), 5);
  for (int i = 0; i < 5; ++i) {
    const QString out = Path(i < 4 ? "long.hex" : "long.txt");
    QCOMPARE(errors_[i], message + " Nothing was written to \"" + out + "\".");
  }
  QCOMPARE(Folder(), before);
  ExpectUsable();
}

void Form1FaultTest::capturesWithoutProperFrames_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("label1");  // after the pass ("" : unchanged)
  QTest::addColumn<int>("blocks");      // screen blocks shown
  QTest::newRow("0 bytes") << QByteArray() << "" << 0;
  QTest::newRow("only FENDs") << QByteArray(9, '\xC0') << "5 frames / 0 bytes" << 5;
  QTest::newRow("only FESCs") << QByteArray(5000, '\xDB') << "" << 0;
  std::mt19937 random(4711);
  QByteArray noise(300000, '\0');
  for (char& b : noise) b = static_cast<char>(random() % 0xC0);
  QTest::newRow("300 kB without a FEND") << noise << "" << 0;
}

void Form1FaultTest::capturesWithoutProperFrames() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, label1);
  QFETCH(int, blocks);
  Open(Capture(QStringLiteral("before.kss"), kGood));
  const QString capture = Capture(QStringLiteral("odd.kss"), bytes.toStdString());
  Open(capture);
  QCOMPARE(errors_, QStringList());
  QCOMPARE(Label("Label1"), label1.isEmpty() ? QStringLiteral("2 frames / 5 bytes") : label1);
  std::size_t separators = 0;
  for (std::size_t at = Display()->Model().Text().find(std::string(80, '_'));
       at != std::string::npos;
       at = Display()->Model().Text().find(std::string(80, '_'), at + 80)) {
    ++separators;
  }
  QCOMPARE(separators, static_cast<std::size_t>(blocks));
  form_->MnuWriteHexFilekissframe_Click();
  QCOMPARE(errors_, QStringList());
  QCOMPARE(ReadBytes(Path(QStringLiteral("odd.hex"))).size(),
           std::size_t{2 * 302} + static_cast<std::size_t>(blocks) * 2);
  ExpectUsable();
}

QTEST_MAIN(Form1FaultTest)
#include "form1_fault_test.moc"
