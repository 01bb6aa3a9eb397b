#include "connection_panel.h"

#include "dialogs.h"
#include "unit_session.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace plovan {

ConnectionPanel::ConnectionPanel(QWidget* parent) : QGroupBox(tr("Connection"), parent)
{
    connectButton = new QPushButton(QStringLiteral("Connect"), this);
    connectButton->setObjectName(QStringLiteral("Command1"));
    connectButton->setToolTip(tr("Connect and initialise the unit"));
    connect2Button = new QPushButton(QStringLiteral("Connect"), this);
    connect2Button->setObjectName(QStringLiteral("Command19"));
    connect2Button->setToolTip(tr("Open the port and switch laser/RF on"));
    waitForAck = new QCheckBox(QStringLiteral("Wait for ack"), this);
    waitForAck->setObjectName(QStringLiteral("Check17"));
    waitForAck->setChecked(true);
    demoModeLabel = new QLabel(QStringLiteral("Demo Mode"), this);
    demoModeLabel->setObjectName(QStringLiteral("DemoModeLabel"));
    demoModeLabel->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    demoModeLabel->setVisible(false);
    laserLamp = new QLabel(this);
    laserLamp->setObjectName(QStringLiteral("LaserLamp"));
    laserLamp->setFixedSize(18, 18);
    setLaserOn(false);
    ackTimeout = new QSpinBox(this);
    ackTimeout->setObjectName(QStringLiteral("ackTimeout"));
    ackTimeout->setRange(0, 600000);
    ackTimeout->setSingleStep(500);
    ackTimeout->setSuffix(QStringLiteral(" ms"));
    ackTimeout->setSpecialValueText(QStringLiteral("wait for ever"));
    ackTimeout->setToolTip(tr("How long to wait for the unit's reply before giving up (0: wait for ever)"));
    auto* timeoutLabel = new QLabel(tr("Reply time-out"), this);
    timeoutLabel->setBuddy(ackTimeout);

    auto* grid = new QGridLayout(this);
    grid->addWidget(connectButton, 0, 0);
    grid->addWidget(connect2Button, 0, 1);
    grid->addWidget(laserLamp, 0, 2);
    grid->addWidget(waitForAck, 1, 0);
    grid->addWidget(demoModeLabel, 1, 1, 1, 2);
    grid->addWidget(timeoutLabel, 2, 0);
    grid->addWidget(ackTimeout, 2, 1, 1, 2);
    grid->setColumnStretch(3, 1);
}

void ConnectionPanel::attach(UnitSession& session, const Dialogs& dialogs)
{
    session_ = &session;
    dialogs_ = &dialogs;
    Link& link = session.link;
    connect(connectButton, &QPushButton::clicked, this, &ConnectionPanel::Command1_Click);
    connect(connect2Button, &QPushButton::clicked, this, &ConnectionPanel::Command19_Click);
    connect(waitForAck, &QCheckBox::clicked, this, &ConnectionPanel::Check17_Click);
    ackTimeout->setValue(link.ackTimeoutMs());
    connect(ackTimeout, &QSpinBox::valueChanged, &link, &Link::setAckTimeoutMs);
    connect(&link, &Link::connectionLost, this, [this] { connectButton->setText(QStringLiteral("Connect")); });
    connect(&session, &UnitSession::rfChanged, this, [this] {
        const std::optional<bool> on = session_->model().rfOn;
        if (on)
            setLaserOn(*on);
        else
            setLaserUnknown();
    });
}

void ConnectionPanel::Command1_Click()
{
    Link& link = session_->link;
    // This button says "Disconnect" only after its own connect.
    if (connectButton->text() == QLatin1String("Disconnect")) {
        connectButton->setText(QStringLiteral("Connect"));
        session_->disconnectUnit();
        return;
    }
    link.clearTerminal();
    // A port left open by the other "Connect" is used as it is.
    if (!link.portOpen() && (link.USBStatus || !session_->openPort())) {
        if (dialogs_->askYesNo(QStringLiteral("Port Error"),
                               QStringLiteral("Error opening the port. Do you want to try to close it?")))
            link.closePort();
        return;
    }
    if (session_->connectUnit()) connectButton->setText(QStringLiteral("Disconnect"));
}

void ConnectionPanel::Command19_Click()
{
    Link& link = session_->link;
    if (connect2Button->text() == QLatin1String("Disconnect")) {
        session_->disconnectUnit();
        return;
    }
    // The port's real state decides: a handle is kept after a close.
    if (!link.portOpen() && !session_->openPort()) {
        link.setTerminalText(QStringLiteral("Error opening port! Handle = ") + QString::number(link.PortHandle));
        return; // nothing is sent into a port that did not open
    }
    session_->quickConnect();
}

void ConnectionPanel::Check17_Click()
{
    const bool wait = waitForAck->isChecked();
    session_->link.setTestMode(!wait);
    demoModeLabel->setVisible(!wait);
}

void ConnectionPanel::setLaserOn(bool on)
{
    showLamp(on ? QStringLiteral("#10a010") : QStringLiteral("#d01010"), on ? tr("on") : tr("off"));
    laserOn_ = on;
}

void ConnectionPanel::setLaserUnknown()
{
    // Counted as off, so the next "Connect" switches it on again.
    showLamp(QStringLiteral("#909090"), tr("unknown, the connection was lost"));
    laserOn_ = false;
}

void ConnectionPanel::showLamp(const QString& colour, const QString& state)
{
    laserLamp->setStyleSheet(QStringLiteral("border-radius: 9px; background: %1").arg(colour));
    laserLamp->setAccessibleName(tr("Laser/RF ") + state);
    laserLamp->setToolTip(tr("Laser/RF status (green on, red off, grey unknown): ") + state);
}

} // namespace plovan
