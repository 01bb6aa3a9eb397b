#include "menu_table.h"

#include <QMenu>
#include <QMenuBar>

namespace plovan {

QMenu* addMenu(QMenuBar* bar, const char* name, const QString& title, std::initializer_list<MenuItem> items)
{
    QMenu* menu = bar->addMenu(title);
    menu->setObjectName(QLatin1String(name));
    for (const MenuItem& item : items) {
        QAction* action = item.caption.isEmpty() ? menu->addSeparator() : menu->addAction(item.caption);
        action->setObjectName(QLatin1String(item.name));
        if (item.triggered) QObject::connect(action, &QAction::triggered, menu, item.triggered);
    }
    return menu;
}

QAction* menuItem(const QMenu* menu, const char* name)
{
    return menu->findChild<QAction*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

} // namespace plovan
