// The unit panel: a dock showing what the unit holds, as the session's
// model has it (unit_report.h), refreshed whenever the model changes,
// whoever changed it; below it, the remote clients connected now.
#pragma once

#include <QDockWidget>
#include <QList>
#include <QPointer>

class QLabel;

namespace plovan {

class UnitSession;
namespace remote {
class RemoteServer;
}

class UnitPanel : public QDockWidget {
    Q_OBJECT
public:
    // On a main window with a remote control (RemoteControl::of), its
    // server's clients are shown.
    explicit UnitPanel(const UnitSession& session, QWidget* parent = nullptr);
    void refresh();
    // Shows `server`'s clients (address:port, connected since, last line),
    // following them as they come, speak and go.
    void showClients(const remote::RemoteServer& server);

private:
    void refreshClients();

    QPointer<const remote::RemoteServer> server_;
    QLabel* clients_ = nullptr;
    const UnitSession& session_;
    QList<QLabel*> values_;
};

} // namespace plovan
