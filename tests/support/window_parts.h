// The main window's parts found as an operator finds them: panels and
// windows by their kind, controls and menu items by their control names.
#pragma once

#include <QApplication>
#include <QWidget>

template <class T>
T* partOf(const QObject* window, const QString& name = {})
{
    if (T* found = window->findChild<T*>(name)) return found;
    // Windows of their own have no parent.
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(top); t && (name.isEmpty() || t->objectName() == name)) return t;
    qFatal("no %s named \"%s\"", T::staticMetaObject.className(), qPrintable(name));
}
