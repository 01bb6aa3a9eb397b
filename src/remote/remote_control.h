// The remote control server inside the window: Comms > "Remote control..."
// turns it on and off and chooses where it listens (kept in the settings
// folder's remote.txt); `plovan --remote [ADDR:]PORT` turns it on for one
// session. The status bar shows "Remote: 127.0.0.1:5025, N clients".
#pragma once

#include "remote_server.h"

#include <QObject>

class QLabel;
class QMainWindow;
class QMenu;

namespace plovan::remote {

class RemoteControl : public QObject {
    Q_OBJECT
public:
    // Adds the menu entry to `comms` and the status bar label to `window`,
    // and starts serving when remote.txt says it was on.
    RemoteControl(QMainWindow& window, UnitSession& session, QMenu* comms, const QString& settingsDir);

    // The window's RemoteControl; null when it has none.
    static RemoteControl* of(QMainWindow& window);

    // Serves on `address`:`port`; `remember`: also what remote.txt keeps.
    // Says why not (a dialog) and returns false when it cannot listen.
    bool start(const QHostAddress& address, quint16 port, bool remember);
    void stop(bool remember);
    RemoteServer& server() { return server_; }

private:
    void showDialog();
    void showStatus();
    void save(bool on) const;

    QMainWindow& window_;
    QString settingsFile_;
    RemoteServer server_;
    QLabel* label_;
    QHostAddress address_{QHostAddress::LocalHost};
    quint16 port_ = kDefaultPort;
};

} // namespace plovan::remote
