// FrameContextMenu: the context menu of the frame list's rows and details. Its entries are rows
// of a list, each a caption (with & before its key), the submenu it goes into (or none), and
// what it does for the frame and the field the click was on; an entry that does not apply to
// that target is shown disabled. The window adds its entries once; a view added later (a
// connection's follow view, say) adds one more:
//
//   menu.Add({QStringLiteral("Follow &Connection"), {}, "MnuFollowConnection",
//             [](const ContextTarget& t) { return IsConnected(t.frame); },
//             [this](const ContextTarget& t) { FollowConnection(t.frame); }});
#ifndef PACKSCOPE_UI_FRAME_CONTEXT_MENU_H_
#define PACKSCOPE_UI_FRAME_CONTEXT_MENU_H_

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QMenu;
class QWidget;

namespace packscope {

// What a right click was on: a cell of a row, or a detail of the frame shown.
struct ContextTarget {
  std::int64_t frame = -1;  // index number in the capture, -1: none
  int column = -1;          // the table's column (logical), -1 for a detail
  std::string filter;       // the field's filter test there (src == QQ2XY-7); empty: none
  std::string value;        // the value shown there (UTF-8), for Copy
};

struct ContextEntry {
  QString caption;
  QString submenu;      // empty: the menu itself; entries of one submenu are kept together
  QString object_name;  // for tests and users of the object tree
  std::function<bool(const ContextTarget&)> applies;  // null: always
  std::function<void(const ContextTarget&)> run;
};

class FrameContextMenu {
 public:
  void Add(ContextEntry entry) { entries_.push_back(std::move(entry)); }
  // A menu of the entries for target, in the order they were added (submenus where their first
  // entry stands), parented to parent; the caller shows it (popup) and owns it.
  QMenu* Build(const ContextTarget& target, QWidget* parent) const;

 private:
  std::vector<ContextEntry> entries_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_CONTEXT_MENU_H_
