#include "ui/frame_list_settings.h"

#include <QFileInfo>
#include <QSettings>

#include "qt/qt_text.h"

namespace packscope {
namespace {

constexpr int kMostRecent = 10;

QString Key(const char* name) { return QStringLiteral("FrameList/") + QLatin1String(name); }

}  // namespace

QString FrameListSettings::LastFolder() { return QSettings().value(Key("lastFolder")).toString(); }

void FrameListSettings::SetLastFolder(const QString& path) {
  QSettings().setValue(Key("lastFolder"), QFileInfo(path).absolutePath());
}

QStringList FrameListSettings::RecentCaptures() {
  return QSettings().value(Key("recentCaptures")).toStringList();
}

void FrameListSettings::AddRecentCapture(const QString& path) {
  QStringList recent = RecentCaptures();
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kMostRecent) recent.removeLast();
  QSettings().setValue(Key("recentCaptures"), recent);
  SetLastFolder(path);
}

QStringList FrameListSettings::FilterHistory() {
  return QSettings().value(Key("filterHistory")).toStringList();
}

void FrameListSettings::SetFilterHistory(const QStringList& history) {
  QSettings().setValue(Key("filterHistory"), history);
}

// One line a rule: RRGGBB, name, expression, between tabs.
std::vector<ColourRule> FrameListSettings::ColouringRules() {
  QSettings settings;
  if (!settings.contains(Key("colouring"))) return DefaultColourRules();
  std::vector<ColourRule> rules;
  for (const QString& line : settings.value(Key("colouring")).toStringList()) {
    const QStringList parts = line.split(QLatin1Char('\t'));
    if (parts.size() == 3) {
      rules.push_back({ToUtf8(parts[1]), ToUtf8(parts[2]), parts[0].toUInt(nullptr, 16)});
    }
  }
  return rules;
}

void FrameListSettings::SetColouringRules(const std::vector<ColourRule>& rules) {
  QStringList lines;
  for (const ColourRule& r : rules) {
    lines << QStringLiteral("%1\t%2\t%3")
                 .arg(r.rgb, 6, 16, QLatin1Char('0'))
                 .arg(FromUtf8(r.name), FromUtf8(r.expression));
  }
  QSettings().setValue(Key("colouring"), lines);
}

FrameListSettings::WindowLayout FrameListSettings::Layout() {
  QSettings s;
  return {s.value(Key("geometry")).toByteArray(),
          s.value(Key("state")).toByteArray(),
          s.value(Key("framesSplitter")).toByteArray(),
          s.value(Key("detailsSplitter")).toByteArray(),
          s.value(Key("columns")).toByteArray(),
          s.value(Key("storedBytes")).toBool(),
          s.value(Key("zoom")).toInt()};
}

void FrameListSettings::SetLayout(const WindowLayout& layout) {
  QSettings s;
  s.setValue(Key("geometry"), layout.geometry);
  s.setValue(Key("state"), layout.state);
  s.setValue(Key("framesSplitter"), layout.frames_splitter);
  s.setValue(Key("detailsSplitter"), layout.details_splitter);
  s.setValue(Key("columns"), layout.columns);
  s.setValue(Key("storedBytes"), layout.stored_bytes);
  s.setValue(Key("zoom"), layout.zoom);
}

}  // namespace packscope
