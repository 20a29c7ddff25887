#include "ui/design.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace packscope {

QColor ToQColor(Color color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

namespace {

// The system's fixed font, unless the platform has none (it then names a proportional font).
QFont FixedPitchFallback() {
  const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (QFontInfo(system).fixedPitch()) return system;
  static const QStringList kMonospaced = {
      QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono"),
      QStringLiteral("Noto Mono"), QStringLiteral("Nimbus Mono PS"), QStringLiteral("Courier")};
  for (const QString& family : kMonospaced) {
    if (QFontDatabase::hasFamily(family)) return QFont(family);
  }
  QFont any(QStringLiteral("Monospace"));
  any.setStyleHint(QFont::TypeWriter);
  return any;
}

}  // namespace

QFont DesignFont(const QString& family, qreal point_size, bool fixed_pitch, bool bold) {
  // The controls are sized for the design's fonts. Where MS Sans Serif is missing, a sans serif
  // of Arial's metrics keeps captions such as "Decode Kissframe" inside their boxes; a wider
  // default font would cut them off.
  static const QStringList kNarrowSans = {
      QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
      QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
      QStringLiteral("Helvetica")};
  QFont font;
  if (QFontDatabase::hasFamily(family)) {
    font = QFont(family);
  } else if (fixed_pitch) {
    font = FixedPitchFallback();
  } else {
    font = QApplication::font();
    for (const QString& narrow : kNarrowSans) {
      if (QFontDatabase::hasFamily(narrow)) {
        font = QFont(narrow);
        break;
      }
    }
  }
  if (fixed_pitch) {
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
  }
  font.setPointSizeF(point_size);
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  font.setItalic(false);
  return font;
}

void FitCaptionFont(QWidget& control) {
  QFont font = control.font();
  while (control.sizeHint().width() > control.width() &&
         font.pointSizeF() - 0.25 >= kSmallestCaptionPoints) {
    font.setPointSizeF(font.pointSizeF() - 0.25);
    control.setFont(font);
  }
}

}  // namespace packscope
