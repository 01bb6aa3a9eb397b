// Applies the control rules (control_rules.h) to the main window's pages,
// panels and menus whenever the connection, the job or the mode changes,
// and gives the keyboard focus back to a control that was greyed under it.
#pragma once

#include <QList>
#include <QPointer>

class QAction;
class QTabWidget;
class QWidget;

namespace plovan {

class ChirpPanel;
class ConnectionPanel;
class DirectCommandPanel;
class HeaderPanel;
class SingleTonePanel;
class TerminalPanel;
class TestPanel;
class UnitSession;
struct SynthState;

class WindowControls {
public:
    struct Parts {
        QTabWidget* pages;
        TerminalPanel* terminal;
        SingleTonePanel* tone;
        DirectCommandPanel* direct;
        HeaderPanel* header;
        ChirpPanel* chirp;
        TestPanel* test;
        ConnectionPanel* connection;
        QAction* toolsMenu;
        QList<QAction*> loadMenus;
        QList<QAction*> portMenus;
        QAction* portOpen; // "Port Open", ticked while connected
    };
    WindowControls(UnitSession& session, const SynthState& state, Parts parts);

    void apply();
    // A procedure writes (nested calls count): the controls that write to
    // the unit are greyed until the last one ends.
    void procedureBusy(bool busy);

private:
    void applyRules();
    void keepFocus(QWidget* focused);

    UnitSession& session_;
    const SynthState& state_;
    Parts parts_;
    int busyDepth_ = 0;
    QPointer<QWidget> parkedFocus_;  // lost the focus by being disabled
    QPointer<QWidget> focusMovedTo_; // where Qt moved it then
};

} // namespace plovan
