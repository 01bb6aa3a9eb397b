// The connection controls: the two Connect buttons, "Wait for ack" with its
// "Demo Mode" label, and the laser/RF status lamp.
#pragma once

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace plovan {

struct Dialogs;
class UnitSession;

class ConnectionPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ConnectionPanel(QWidget* parent = nullptr);

    QPushButton* connectButton;  // Command1
    QPushButton* connect2Button; // Command19
    QCheckBox* waitForAck;       // Check17
    QLabel* demoModeLabel;
    QLabel* laserLamp;    // green while laser/RF is on, red while off, grey when unknown
    QSpinBox* ackTimeout; // reply time-out in ms; 0 waits for ever

    // Drives `session` from the buttons and follows its connection and
    // laser/RF state; `dialogs` asks about a port that will not open.
    void attach(UnitSession& session, const Dialogs& dialogs);

    void setLaserOn(bool on);
    bool laserOn() const { return laserOn_; }
    // Grey: nothing is known of the unit's state (the connection was lost).
    void setLaserUnknown();

private:
    void Command1_Click();  // "Connect": open the port and run the connect sequence
    void Command19_Click(); // the other "Connect": open the port, laser/RF on
    void Check17_Click();   // "Wait for ack"
    void showLamp(const QString& colour, const QString& state);
    bool laserOn_ = false;
    UnitSession* session_ = nullptr;
    const Dialogs* dialogs_ = nullptr;
};

} // namespace plovan
