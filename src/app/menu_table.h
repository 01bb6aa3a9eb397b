// Menus written as tables: each item has the control name operators' notes
// use (its objectName), its caption and what choosing it does.
#pragma once

#include <QString>
#include <functional>
#include <initializer_list>

class QAction;
class QMenu;
class QMenuBar;

namespace plovan {

struct MenuItem {
    const char* name;
    QString caption; // none: a separator
    std::function<void()> triggered = {};
};

QMenu* addMenu(QMenuBar* bar, const char* name, const QString& title, std::initializer_list<MenuItem> items);
// The item of `menu` named `name`.
QAction* menuItem(const QMenu* menu, const char* name);

} // namespace plovan
