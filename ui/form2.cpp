#include "ui/form2.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QScreen>

#include "ui/design.h"

namespace packscope {
namespace {

constexpr int kTwipsPerPixel = 15;

QRect Twips(int left, int top, int width, int height) {
  return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
               height / kTwipsPerPixel);
}

QPointer<Form2>& OpenInstance() {
  static QPointer<Form2> instance;
  return instance;
}

}  // namespace

Form2* Form2::ShowAbout(const QWidget* main_window) {
  QPointer<Form2>& instance = OpenInstance();
  if (instance == nullptr) {
    instance = new Form2;
    if (main_window != nullptr) instance->PlaceBeside(*main_window);
  }
  instance->setWindowState(instance->windowState() & ~Qt::WindowMinimized);
  instance->show();
  instance->raise();
  instance->activateWindow();
  return instance;
}

Form2* Form2::Instance() { return OpenInstance(); }

void Form2::PlaceBeside(const QWidget& main_window) {
  // Where nothing places windows (no window manager) a new window opens at the screen's corner,
  // over the main window's menu bar, where a click on Write would reach this window instead.
  constexpr int kGap = 8;
  const QRect main = main_window.frameGeometry();
  const QScreen* screen = main_window.screen();
  const QRect room = screen != nullptr ? screen->availableGeometry() : QRect();
  QPoint at(main.right() + 1 + kGap, main.top());
  if (room.isValid() && !room.contains(QRect(at, size()))) {
    at = main.center() - QPoint(width() / 2, height() / 2);  // over the display, below the menus
  }
  move(at);
}

Form2::Form2() : QWidget(nullptr, Qt::Window) {
  setObjectName(QStringLiteral("Form2"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral(" Packscope+"));
  setWindowIcon(QIcon(QStringLiteral(":/packscope/icon.png")));
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);
  setFixedSize(6435 / kTwipsPerPixel, 2355 / kTwipsPerPixel);

  const QFont bold_small = DesignFont(QStringLiteral("MS Sans Serif"), 8.25, false, true);
  const auto make_label = [this](const char* name, const QString& text, QRect place,
                                 const QFont& font, QColor color) {
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(font);
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, color);
    colors.setColor(QPalette::Window, Qt::white);
    label->setPalette(colors);
    return label;
  };
  const QColor text_color = palette().color(QPalette::WindowText);
  make_label("Label1", QStringLiteral("KISS Frame Decoder"), Twips(120, 120, 3975, 255),
             DesignFont(QStringLiteral("MS Sans Serif"), 12, false, true), text_color);
  make_label("Label2", QString(), Twips(120, 480, 3135, 255), font(), text_color);
  make_label("Label6", QStringLiteral("QQ0QQ"), Twips(120, 1080, 975, 255), bold_small,
             ToQColor(0x404000));
  make_label("Label3", QStringLiteral("Free software, without any warranty."),
             Twips(120, 1320, 3255, 255), bold_small, text_color);
  make_label("Label4", QStringLiteral("Web: www.example.org/packscope"),
             Twips(120, 1680, 3255, 255), bold_small, ToQColor(0xC00000));
  make_label("Label5", QStringLiteral("E-Mail: qq0qq@example.net"), Twips(120, 1920, 3255, 255),
             bold_small, ToQColor(0xC00000));

  // Line1 runs from (120, 840) to (3480, 840), both ends drawn.
  auto* line = new QFrame(this);
  line->setObjectName(QStringLiteral("Line1"));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Plain);
  line->setLineWidth(1);
  line->setGeometry(120 / kTwipsPerPixel, 840 / kTwipsPerPixel, (3480 - 120) / kTwipsPerPixel + 1,
                    1);

  // The picture's box reaches past the client area; its last pixels are cut off.
  auto* image = new QLabel(this);
  image->setObjectName(QStringLiteral("Image1"));
  image->setGeometry(Twips(3480, 0, 3000, 2370));
  image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  image->setPixmap(QPixmap(QStringLiteral(":/packscope/about.jpg")));

  Form_Load();
}

void Form2::Form_Load() {
  auto* version = findChild<QLabel*>(QStringLiteral("Label2"));
  version->setText(QStringLiteral("Version ") + QStringLiteral("8.2") + QStringLiteral("    (") +
                   QStringLiteral("26 Jan 2021") + QStringLiteral(")"));
}

}  // namespace packscope
