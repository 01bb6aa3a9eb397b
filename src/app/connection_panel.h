// The connection controls: the two Connect buttons, "Wait for ack" with its
// "Demo Mode" label, and the laser/RF status lamp.
#pragma once

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace plovan {

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

    void setLaserOn(bool on);
    bool laserOn() const { return laserOn_; }
    // Grey: nothing is known of the unit's state (the connection was lost).
    void setLaserUnknown();

private:
    void showLamp(const QString& colour, const QString& state);
    bool laserOn_ = false;
};

} // namespace plovan
