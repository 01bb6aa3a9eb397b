#include "window_controls.h"

#include "chirp_panel.h"
#include "connection_panel.h"
#include "control_rules.h"
#include "header_panel.h"
#include "single_tone_panel.h"
#include "terminal_panel.h"
#include "test_panel.h"
#include "unit_session.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace plovan {

WindowControls::WindowControls(UnitSession& session, const SynthState& state, Parts parts)
    : session_(session), state_(state), parts_(std::move(parts))
{
}

void WindowControls::apply()
{
    QWidget* focused = QApplication::focusWidget();
    applyRules();
    keepFocus(focused);
}

void WindowControls::procedureBusy(bool busy)
{
    Link& link = session_.link;
    if (busy)
        ++busyDepth_;
    else if (busyDepth_ > 0 && --busyDepth_ == 0 && !link.portOpen())
        link.Connected = false; // the port went during the writes
    apply();
}

void WindowControls::keepFocus(QWidget* focused)
{
    // Disabling the control that has the keyboard focus makes Qt move the
    // focus on; an operator working by keyboard gets it back once the
    // control is enabled again, unless the focus has been moved since.
    if (focused && !focused->isEnabled()) {
        if (!parkedFocus_) {
            parkedFocus_ = focused;
            focusMovedTo_ = QApplication::focusWidget();
        }
    }
    else if (parkedFocus_ && parkedFocus_->isEnabled()) {
        if (QApplication::focusWidget() == focusMovedTo_) parkedFocus_->setFocus(Qt::OtherFocusReason);
        parkedFocus_ = nullptr;
    }
}

void WindowControls::applyRules()
{
    const bool connected = session_.link.Connected;
    const Activity activity = session_.busy()  ? Activity::Job
                              : busyDepth_ > 0 ? Activity::Procedure
                                               : Activity::Idle;
    const ControlRules rules = controlRules(connected, activity, parts_.tone->chirpMode->isChecked());
    // While a job holds the link, the pages and panels that write go as a
    // whole, so no control of theirs can be missed.
    for (QWidget* page : std::initializer_list<QWidget*>{parts_.pages->widget(0), parts_.pages->widget(1),
                                                         parts_.direct, parts_.header, parts_.chirp})
        page->setEnabled(rules.pages);
    parts_.terminal->setTyping(rules.terminalTyping);

    const bool on = rules.settings;
    parts_.tone->enableWriters(on, activity == Activity::Procedure, !state_.maintainOffset);
    parts_.direct->enableWriters(on);
    parts_.test->enableWriters(on);
    parts_.header->Command8->setEnabled(on);
    parts_.toolsMenu->setEnabled(rules.toolsMenu);
    for (QAction* send : parts_.loadMenus)
        send->setEnabled(rules.loadMenus);
    for (QAction* port : parts_.portMenus)
        port->setEnabled(rules.portControls);
    parts_.portOpen->setChecked(connected);
    ConnectionPanel& connection = *parts_.connection;
    connection.connectButton->setEnabled(rules.portControls);
    connection.connect2Button->setText(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
    connection.connect2Button->setEnabled(rules.portControls);
}

} // namespace plovan
