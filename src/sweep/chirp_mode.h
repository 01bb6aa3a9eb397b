// The switch between chirp and single-tone mode. Every panel applies the mode
// to its own members (ChirpPanel, SingleTonePanel, DirectCommandPanel,
// TerminalPanel: applyMode), and the window asks each of its panels in turn.
// Nothing is looked up by control name: the other windows reuse the names
// ("Command2", "Text1", ...), and a lookup from the main window reaches them.
#pragma once

class QMenu;

namespace plovan {

// The main window's menus that single-tone work needs.
struct ModeMenus {
    QMenu* file = nullptr;  // mnuFile
    QMenu* comms = nullptr; // mnuPort
    QMenu* tools = nullptr; // MnuCal
};

// SetMenu: chirp mode disables them, single-tone mode enables them again (the
// window then holds "Tools" off while the link is down).
void applyMode(const ModeMenus& menus, bool chirp);

} // namespace plovan
