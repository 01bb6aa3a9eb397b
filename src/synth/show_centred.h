// Shows a tool window at its natural size in the middle of its screen, in
// front, as the synthesiser's small windows open.
#pragma once

#include <QFontMetrics>
#include <QScreen>
#include <QWidget>

namespace plovan {

inline void showCentred(QWidget* window)
{
    window->adjustSize();
    // Wide enough that the title bar shows the whole caption beside its buttons.
    const int captionWidth =
        QFontMetrics(window->font()).horizontalAdvance(window->windowTitle()) * 5 / 4 + 120;
    if (window->width() < captionWidth) window->resize(captionWidth, window->height());
    if (const QScreen* s = window->screen())
        window->move(s->availableGeometry().center() - window->rect().center());
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace plovan
