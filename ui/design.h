// What the window design gives in its own terms: fonts by name and colours as 0xBBGGRR.
#ifndef PACKSCOPE_UI_DESIGN_H_
#define PACKSCOPE_UI_DESIGN_H_

#include <QColor>
#include <QFont>
#include <QString>

#include "capture/window.h"

namespace packscope {

// 0xBBGGRR (red in the low byte) as a Qt colour.
QColor ToQColor(Color color);

// The design's fonts (Courier New, Consolas, MS Sans Serif) are Windows fonts. Where a family is
// missing, a fixed-pitch font falls back to the system's fixed font and any other to a sans serif
// of Arial's metrics or else the default user-interface font, at the designed size and weight.
QFont DesignFont(const QString& family, qreal point_size, bool fixed_pitch, bool bold = false);

}  // namespace packscope

#endif  // PACKSCOPE_UI_DESIGN_H_
