#include "chirp_mode.h"

#include <QAction>
#include <QMenu>

namespace plovan {

void applyMode(const ModeMenus& menus, bool chirp)
{
    for (QMenu* menu : {menus.file, menus.comms, menus.tools})
        if (menu) menu->menuAction()->setEnabled(!chirp);
}

} // namespace plovan
