// Shows a tool window at its natural size in the middle of its screen, in
// front, as the synthesiser's small windows open.
#pragma once

#include <QScreen>
#include <QWidget>

namespace plovan {

inline void showCentred(QWidget* window)
{
    window->adjustSize();
    if (const QScreen* s = window->screen())
        window->move(s->availableGeometry().center() - window->rect().center());
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace plovan
