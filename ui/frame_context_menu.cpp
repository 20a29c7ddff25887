#include "ui/frame_context_menu.h"

#include <QAction>
#include <QMenu>
#include <map>

namespace packscope {

QMenu* FrameContextMenu::Build(const ContextTarget& target, QWidget* parent) const {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QStringLiteral("FrameContextMenu"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  std::map<QString, QMenu*> submenus;
  for (const ContextEntry& entry : entries_) {
    QMenu* into = menu;
    if (!entry.submenu.isEmpty()) {
      QMenu*& sub = submenus[entry.submenu];
      if (sub == nullptr) {
        sub = menu->addMenu(entry.submenu);
        sub->setObjectName(QStringLiteral("Mnu") +
                           QString(entry.submenu).remove(u'&').remove(u' '));
      }
      into = sub;
    }
    QAction* action = into->addAction(entry.caption);
    action->setObjectName(entry.object_name);
    action->setEnabled(!entry.applies || entry.applies(target));
    const auto run = entry.run;
    QObject::connect(action, &QAction::triggered, menu, [run, target] {
      if (run) run(target);
    });
  }
  return menu;
}

}  // namespace packscope
