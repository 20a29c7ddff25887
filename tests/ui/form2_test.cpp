// The About window: its design, the version line set on load, and that there is never more than
// one of it.
#include "ui/form2.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTest>

using packscope::Form2;

class Form2Test : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();
  void showsTheDesign();
  void labels_data();
  void labels();
  void versionLineIsSetOnLoad();
  void showingAgainKeepsOneWindow();
  void closingUnloadsIt();

 private:
  static QLabel* Label(const char* name) {
    auto* label = Form2::Instance()->findChild<QLabel*>(QString::fromLatin1(name));
    if (label == nullptr) qFatal("no label %s", name);
    return label;
  }
};

void Form2Test::cleanup() { delete Form2::Instance(); }

void Form2Test::showsTheDesign() {
  Form2* about = Form2::ShowAbout();
  QVERIFY(QTest::qWaitForWindowExposed(about));
  QCOMPARE(about->windowTitle(), QStringLiteral(" Packscope+"));
  QCOMPARE(about->size(), QSize(429, 157));
  QCOMPARE(about->palette().color(QPalette::Window), QColor(Qt::white));
  QVERIFY(about->autoFillBackground());
  QCOMPARE(about->parentWidget(), nullptr);
  QCOMPARE(about->isModal(), false);
  QVERIFY(about->windowIcon().availableSizes().contains(QSize(64, 51)));

  auto* line = about->findChild<QFrame*>(QStringLiteral("Line1"));
  QVERIFY(line != nullptr);
  QCOMPARE(line->frameShape(), QFrame::HLine);
  QCOMPARE(line->geometry(), QRect(8, 56, 225, 1));  // (120, 840) to (3480, 840)

  QLabel* image = Label("Image1");
  QCOMPARE(image->geometry(), QRect(232, 0, 200, 158));
  QCOMPARE(image->pixmap().size(), QSize(200, 158));
  // The picture's box reaches past the client area by 3 pixels to the right and 1 below.
  QCOMPARE(image->geometry().right() - about->rect().right(), 3);
  QCOMPARE(image->geometry().bottom() - about->rect().bottom(), 1);
}

void Form2Test::labels_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("place");
  QTest::addColumn<qreal>("points");
  QTest::addColumn<bool>("bold");
  QTest::addColumn<QColor>("color");  // invalid: the window's text colour
  QTest::newRow("Label1") << "Label1" << QRect(8, 8, 265, 17) << 12.0 << true << QColor();
  QTest::newRow("Label2") << "Label2" << QRect(8, 32, 209, 17) << -1.0 << false << QColor();
  QTest::newRow("Label6") << "Label6" << QRect(8, 72, 65, 17) << 8.25 << true
                          << QColor(0, 0x40, 0x40);
  QTest::newRow("Label3") << "Label3" << QRect(8, 88, 217, 17) << 8.25 << true << QColor();
  QTest::newRow("Label4") << "Label4" << QRect(8, 112, 217, 17) << 8.25 << true
                          << QColor(0, 0, 0xC0);
  QTest::newRow("Label5") << "Label5" << QRect(8, 128, 217, 17) << 8.25 << true
                          << QColor(0, 0, 0xC0);
}

void Form2Test::labels() {
  QFETCH(QString, name);
  QFETCH(QRect, place);
  QFETCH(qreal, points);
  QFETCH(bool, bold);
  QFETCH(QColor, color);
  Form2* about = Form2::ShowAbout();
  QLabel* label = Label(name.toLatin1().constData());
  QCOMPARE(label->geometry(), place);
  if (points > 0) QCOMPARE(label->font().pointSizeF(), points);
  QCOMPARE(label->font().bold(), bold);
  const QColor expected = color.isValid() ? color : about->palette().color(QPalette::WindowText);
  QCOMPARE(label->palette().color(QPalette::WindowText), expected);
  QVERIFY(!label->text().isEmpty());
  // Plain lines, not links.
  QCOMPARE(label->textFormat(), Qt::PlainText);
  QCOMPARE(label->openExternalLinks(), false);
}

void Form2Test::versionLineIsSetOnLoad() {
  Form2::ShowAbout();
  QCOMPARE(Label("Label1")->text(), QStringLiteral("KISS Frame Decoder"));
  QCOMPARE(Label("Label2")->text(), QStringLiteral("Version 8.2    (26 Jan 2021)"));
  QCOMPARE(Label("Label6")->text(), QStringLiteral("QQ0QQ"));
  // The contact lines name no real site or mailbox.
  QVERIFY(Label("Label4")->text().contains(QStringLiteral("example.")));
  QVERIFY(Label("Label5")->text().contains(QStringLiteral("@example.")));
}

void Form2Test::showingAgainKeepsOneWindow() {
  Form2* first = Form2::ShowAbout();
  QLabel* version = Label("Label2");
  version->setText(QStringLiteral("changed"));  // a second load would set it again
  first->showMinimized();
  Form2* second = Form2::ShowAbout();
  QCOMPARE(second, first);
  QCOMPARE(version->text(), QStringLiteral("changed"));
  QCOMPARE(second->isMinimized(), false);
  QVERIFY(second->isVisible());
  int count = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) count += qobject_cast<Form2*>(w) ? 1 : 0;
  QCOMPARE(count, 1);
}

void Form2Test::closingUnloadsIt() {
  QPointer<Form2> first = Form2::ShowAbout();
  QVERIFY(first->close());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCOMPARE(first.isNull(), true);
  QCOMPARE(Form2::Instance(), nullptr);
  Form2* again = Form2::ShowAbout();
  QVERIFY(again != nullptr);
  QCOMPARE(Label("Label2")->text(), QStringLiteral("Version 8.2    (26 Jan 2021)"));
}

QTEST_MAIN(Form2Test)
#include "form2_test.moc"
