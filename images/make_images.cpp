// packscope-images: draws the program's two pictures, the window icon (64 x 51, 24-bit) and the
// About window's picture (200 x 158, JPEG), into a folder. Their committed copies in
// ui/resources/ come from this program; run it again only to change them:
//
//   build/packscope-images ui/resources
//
// It also draws the square icon that desktops show in their menus and file managers, in the
// hicolor theme's layout (FOLDER/48x48/apps/packscope.png, ...). The build runs this for every
// size it installs:
//
//   build/packscope-images --desktop-icons FOLDER 16 32 48 64 128 256
//
// Both show a lattice mast sending radio waves, with a strip of KISS frames in the display's
// colours (blue frame as stored, red un-escaped frame, green printable characters).
#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const QColor kNight(0x10, 0x1E, 0x3C);
const QColor kDusk(0x2A, 0x5C, 0x9A);
const QColor kWave(0xFF, 0xB0, 0x30);
const QColor kDumpBlue(0x00, 0x00, 0xFF);
const QColor kDumpRed(0xFF, 0x00, 0x00);
const QColor kAsciiGreen(0x00, 0x80, 0x00);

void Sky(QPainter& p, const QRectF& area) {
  QLinearGradient sky(area.topLeft(), area.bottomLeft());
  sky.setColorAt(0, kNight);
  sky.setColorAt(1, kDusk);
  p.fillRect(area, sky);
}

// A lattice mast standing on base, top at top; width at the foot.
void Mast(QPainter& p, QPointF base, qreal top, qreal foot_width, qreal pen_width) {
  const QPointF apex(base.x(), top);
  const QPointF left(base.x() - foot_width / 2, base.y());
  const QPointF right(base.x() + foot_width / 2, base.y());
  p.setPen(QPen(QColor(0xE8, 0xEE, 0xF4), pen_width, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(left, apex);
  p.drawLine(right, apex);
  // Cross bracing between the legs.
  const int bays = 5;
  for (int i = 0; i < bays; ++i) {
    const qreal t0 = static_cast<qreal>(i) / bays;
    const qreal t1 = static_cast<qreal>(i + 1) / bays;
    const QPointF l0 = left + (apex - left) * t0;
    const QPointF r0 = right + (apex - right) * t0;
    const QPointF l1 = left + (apex - left) * t1;
    const QPointF r1 = right + (apex - right) * t1;
    p.drawLine(l0, r1);
    p.drawLine(r0, l1);
    p.drawLine(l1, r1);
  }
  // The antenna on top and its red warning light.
  p.drawLine(apex, apex - QPointF(0, (base.y() - top) * 0.12));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xFF, 0x40, 0x30));
  p.drawEllipse(apex - QPointF(0, (base.y() - top) * 0.12), pen_width * 1.2, pen_width * 1.2);
}

// Arcs of radio waves around centre, opening to the right.
void Waves(QPainter& p, QPointF centre, qreal first_radius, qreal step, int count, qreal width) {
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < count; ++i) {
    QColor c = kWave;
    c.setAlphaF(static_cast<float>(1.0 - 0.22 * i));
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap));
    const qreal r = first_radius + step * i;
    p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
  }
}

QImage Icon() {
  QImage image(64, 51, QImage::Format_RGB888);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  Sky(p, QRectF(0, 0, 64, 51));
  Mast(p, QPointF(17, 40), 9, 16, 1.6);
  Waves(p, QPointF(17, 8), 8, 6, 3, 2.2);
  // Three frames on a strip along the bottom.
  p.setPen(Qt::NoPen);
  p.fillRect(QRectF(0, 42, 64, 9), QColor(0xF4, 0xF4, 0xF0));
  const QColor frames[] = {kDumpBlue, kDumpRed, kAsciiGreen};
  for (int i = 0; i < 3; ++i) p.fillRect(QRectF(4 + 20 * i, 44, 16, 5), frames[i]);
  p.end();
  return image;
}

// The icon's picture on a square of size x size pixels, drawn on a 64 x 64 grid. Lines never get
// thinner than one pixel, so that the mast and the waves still show at 16 x 16.
QImage DesktopIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal scale = size / 64.0;
  const qreal pixel = 1 / scale;
  p.scale(scale, scale);
  // A rounded tile of sky, as desktops show square icons.
  QPainterPath tile;
  tile.addRoundedRect(QRectF(1, 1, 62, 62), 8, 8);
  p.setClipPath(tile);
  Sky(p, QRectF(0, 0, 64, 64));
  Mast(p, QPointF(20, 48), 12, 20, std::max(1.8, pixel));
  Waves(p, QPointF(20, 10), 9, 7, 3, std::max(2.6, 1.5 * pixel));
  // Three frames on a strip along the bottom.
  p.setPen(Qt::NoPen);
  p.fillRect(QRectF(0, 50, 64, 14), QColor(0xF4, 0xF4, 0xF0));
  const QColor frames[] = {kDumpBlue, kDumpRed, kAsciiGreen};
  for (int i = 0; i < 3; ++i) p.fillRect(QRectF(5 + 19 * i, 53, 16, 7), frames[i]);
  p.end();
  return image;
}

// --desktop-icons FOLDER SIZE...: FOLDER/<size>x<size>/apps/packscope.png for each size.
int WriteDesktopIcons(const QDir& folder, const QStringList& sizes) {
  for (const QString& text : sizes) {
    bool ok = false;
    const int size = text.toInt(&ok);
    if (!ok || size < 16 || size > 1024) {
      std::fprintf(stderr, "packscope-images: icon size %s is not 16..1024\n", qPrintable(text));
      return 2;
    }
    const QString apps = QStringLiteral("%1x%1/apps").arg(size);
    const QString file = folder.filePath(apps + QStringLiteral("/packscope.png"));
    if (!folder.mkpath(apps) || !DesktopIcon(size).save(file, "PNG")) {
      std::fprintf(stderr, "packscope-images: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}

QImage AboutPicture() {
  QImage image(200, 158, QImage::Format_RGB888);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  Sky(p, QRectF(0, 0, 200, 158));

  // A few stars and a low hill.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xFF, 0xFF, 0xE0));
  const QPointF stars[] = {{150, 14}, {176, 30}, {122, 8}, {188, 10}, {96, 20}, {160, 48}};
  for (const QPointF& s : stars) p.drawEllipse(s, 1.1, 1.1);
  QPainterPath hill;
  hill.moveTo(0, 112);
  hill.cubicTo(50, 92, 120, 100, 200, 108);
  hill.lineTo(200, 158);
  hill.lineTo(0, 158);
  hill.closeSubpath();
  p.setBrush(QColor(0x1C, 0x3A, 0x2A));
  p.drawPath(hill);

  Mast(p, QPointF(52, 104), 24, 34, 2.0);
  Waves(p, QPointF(52, 21), 16, 12, 4, 3.0);

  // A strip of paper with a frame in the display's colours.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xFA, 0xFA, 0xF5));
  p.drawRoundedRect(QRectF(8, 116, 184, 36), 3, 3);
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPixelSize(10);
  p.setFont(mono);
  p.setPen(kDumpBlue);
  p.drawText(QPointF(13, 128), QStringLiteral("000 > C0 00 A0 84 A6 A4 ..."));
  p.setPen(kDumpRed);
  p.drawText(QPointF(13, 139), QStringLiteral("000 > 00 A0 84 A6 A4 03 ..."));
  p.setPen(kAsciiGreen);
  p.drawText(QPointF(13, 149), QStringLiteral("______________________________"));
  p.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc >= 4 && std::strcmp(argv[1], "--desktop-icons") == 0) {
    QStringList sizes;
    for (int i = 3; i < argc; ++i) sizes << QString::fromLocal8Bit(argv[i]);
    return WriteDesktopIcons(QDir(QString::fromLocal8Bit(argv[2])), sizes);
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: packscope-images FOLDER\n"
                 "       packscope-images --desktop-icons FOLDER SIZE...\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  const QString icon = folder.filePath(QStringLiteral("icon.png"));
  const QString about = folder.filePath(QStringLiteral("about.jpg"));
  if (!Icon().save(icon, "PNG")) {
    std::fprintf(stderr, "packscope-images: cannot write %s\n", qPrintable(icon));
    return 1;
  }
  if (!AboutPicture().save(about, "JPG", 90)) {
    std::fprintf(stderr, "packscope-images: cannot write %s\n", qPrintable(about));
    return 1;
  }
  std::printf("%s\n%s\n", qPrintable(icon), qPrintable(about));
  return 0;
}
