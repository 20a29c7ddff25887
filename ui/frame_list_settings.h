// What the frame list window keeps from one run to the next, with QSettings in the group
// "FrameList/": the last folder, the recent captures, the recent filters, the colouring rules
// (the defaults until the user changes them), and the window's layout (geometry, splitters,
// columns, bytes as stored, zoom).
#ifndef PACKSCOPE_UI_FRAME_LIST_SETTINGS_H_
#define PACKSCOPE_UI_FRAME_LIST_SETTINGS_H_

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "framelist/colouring.h"

namespace packscope {

class FrameListSettings {
 public:
  static QString LastFolder();
  // The folder of path (a file in it).
  static void SetLastFolder(const QString& path);
  static QStringList RecentCaptures();
  // path first among the recent captures (at most ten), and its folder the last one.
  static void AddRecentCapture(const QString& path);
  static QStringList FilterHistory();
  static void SetFilterHistory(const QStringList& history);
  static std::vector<ColourRule> ColouringRules();
  static void SetColouringRules(const std::vector<ColourRule>& rules);

  struct WindowLayout {
    QByteArray geometry;
    QByteArray state;
    QByteArray frames_splitter;
    QByteArray details_splitter;
    QByteArray columns;
    bool stored_bytes = false;
    int zoom = 0;
  };
  static WindowLayout Layout();
  static void SetLayout(const WindowLayout& layout);
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_LIST_SETTINGS_H_
