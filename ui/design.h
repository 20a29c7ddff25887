// What the window design gives in its own terms: fonts by name and colours as 0xBBGGRR.
#ifndef PACKSCOPE_UI_DESIGN_H_
#define PACKSCOPE_UI_DESIGN_H_

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include "capture/window.h"

namespace packscope {

// 0xBBGGRR (red in the low byte) as a Qt colour.
QColor ToQColor(Color color);

// The design's fonts (Courier New, Consolas, MS Sans Serif) are Windows fonts. Where a family is
// missing, a fixed-pitch font falls back to the system's fixed font and any other to a sans serif
// of Arial's metrics or else the default user-interface font, at the designed size and weight.
QFont DesignFont(const QString& family, qreal point_size, bool fixed_pitch, bool bold = false);

// The smallest font size a caption is fitted down to, in points.
inline constexpr qreal kSmallestCaptionPoints = 6.0;

// A caption (check box, label) wider than its designed control, as a wider fallback font makes
// it, is set in a smaller size of the same font, a quarter point at a time, until it shows whole
// (not below kSmallestCaptionPoints). A caption that fits keeps its font.
void FitCaptionFont(QWidget& control);

}  // namespace packscope

#endif  // PACKSCOPE_UI_DESIGN_H_
