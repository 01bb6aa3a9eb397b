#include "main_window.h"

#include "backend_factory.h"
#include "connect_sequence.h"
#include "connection_panel.h"
#include "port_settings_dialog.h"
#include "terminal_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

namespace plovan {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmTerminal"));
    setWindowTitle(QStringLiteral("Velmar Plovan"));

    askYesNo = [this](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };

    auto* central = new QWidget(this);
    connection = new ConnectionPanel(central);
    terminal = new TerminalPanel(central);
    auto* layout = new QHBoxLayout(central);
    auto* left = new QVBoxLayout;
    left->addWidget(connection);
    left->addStretch(1);
    layout->addLayout(left);
    layout->addWidget(terminal, 1);
    setCentralWidget(central);
    buildMenus();
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));

    connect(connection->connectButton, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(connection->connect2Button, &QPushButton::clicked, this, &MainWindow::Command19_Click);
    connect(connection->waitForAck, &QCheckBox::clicked, this, &MainWindow::Check17_Click);
    connection->ackTimeout->setValue(link_.ackTimeoutMs());
    connect(connection->ackTimeout, &QSpinBox::valueChanged, this,
            [this](int ms) { link_.setAckTimeoutMs(ms); });
    connect(&link_, &Link::terminalChanged, this, [this] { terminal->show(link_.terminalText()); });
    connect(&link_, &Link::statusMessage, this, [this](const QString& m) { statusBar()->showMessage(m); });
    connect(&link_, &Link::connectionLost, this, [this] {
        connection->connectButton->setText(QStringLiteral("Connect"));
        SetButtons();
    });

    setPortSettings(portSettings_);
    SetButtons();
    resize(1000, 600);
}

MainWindow::~MainWindow()
{
    link_.cancelWaits();
}

void MainWindow::buildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileExit = mnuFile->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));

    mnuPort = menuBar()->addMenu(QStringLiteral("&Comms"));
    mnuPort->setObjectName(QStringLiteral("mnuPort"));
    mnuOpen = mnuPort->addAction(QStringLiteral("Port &Open"), this, &MainWindow::mnuOpen_Click);
    mnuOpen->setObjectName(QStringLiteral("mnuOpen"));
    mnuOpen->setCheckable(true);
    mnuPort->addSeparator()->setObjectName(QStringLiteral("MBar1"));
    mnuProperties =
        mnuPort->addAction(QStringLiteral("Properties..."), this, &MainWindow::mnuProperties_Click);
    mnuProperties->setObjectName(QStringLiteral("mnuProperties"));
}

void MainWindow::setPortSettings(const PortSettings& settings)
{
    portSettings_ = settings;
    // A port that is open keeps its settings until it is opened again.
    if (!link_.portOpen()) useBackendFor(link_, portSettings_);
}

void MainWindow::setAckTimeoutMs(int ms)
{
    connection->ackTimeout->setValue(ms);
}

bool MainWindow::openPort()
{
    useBackendFor(link_, portSettings_);
    if (link_.openPort() >= 1) {
        statusBar()->showMessage(QStringLiteral("Port open: ") + link_.backend()->description());
        return true;
    }
    statusBar()->showMessage(QStringLiteral("Could not open %1: %2")
                                 .arg(link_.backend()->description(), link_.backend()->errorString()));
    return false;
}

void MainWindow::disconnectWith(QPushButton* button)
{
    link_.closePort();
    button->setText(QStringLiteral("Connect"));
    link_.Connected = false;
    SetButtons();
}

void MainWindow::Command1_Click()
{
    QPushButton* button = connection->connectButton;
    if (button->text() == QLatin1String("Disconnect")) {
        disconnectWith(button);
        return;
    }
    link_.clearTerminal();
    if (!link_.USBStatus) openPort();
    if (link_.PortHandle < 1) {
        if (askYesNo(QStringLiteral("Port Error"),
                     QStringLiteral("Error opening the port. Do you want to try to close it?")))
            link_.closePort();
        return;
    }
    // Only a unit that answered counts as connected; otherwise the port is
    // shut again so the next "Connect" starts clean.
    button->setEnabled(false);
    const bool ok = connectSequence(link_);
    button->setEnabled(true);
    if (!ok) {
        link_.closePort();
        SetButtons();
        return;
    }
    button->setText(QStringLiteral("Disconnect"));
    link_.Connected = true;
    SetButtons();
}

void MainWindow::Command19_Click()
{
    QPushButton* button = connection->connect2Button;
    if (button->text() == QLatin1String("Disconnect")) {
        disconnectWith(button);
        return;
    }
    if (link_.PortHandle < 1) {
        openPort();
        if (link_.PortHandle < 1)
            link_.setTerminalText(QStringLiteral("Error opening port! Handle = ") +
                                  QString::number(link_.PortHandle));
    }
    button->setText(QStringLiteral("Disconnect"));
    SetButtons();
    if (!shortConnectSequence(link_)) return;
    // The unit answered: the link is usable, and this button can take it down again.
    link_.Connected = true;
    SetButtons();
    if (!connection->laserOn()) {
        link_.send("=E0F");
        connection->setLaserOn(true);
    }
}

void MainWindow::Check17_Click()
{
    const bool waitForAck = connection->waitForAck->isChecked();
    link_.setTestMode(!waitForAck);
    connection->demoModeLabel->setVisible(!waitForAck);
}

void MainWindow::mnuOpen_Click()
{
    const bool open = link_.PortHandle > 0;
    mnuOpen->setChecked(open);
    connection->connectButton->setText(open ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
}

void MainWindow::mnuProperties_Click()
{
    PortSettingsDialog dialog(portSettings_, this);
    if (dialog.exec() == QDialog::Accepted) setPortSettings(dialog.settings());
}

void MainWindow::SetButtons()
{
    mnuOpen->setChecked(link_.Connected);
    connection->connect2Button->setText(link_.Connected ? QStringLiteral("Disconnect")
                                                        : QStringLiteral("Connect"));
}

void MainWindow::Dissable()
{
    connection->connectButton->setEnabled(link_.DisbuT);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Release any wait in progress so its sequence unwinds before the window goes.
    link_.cancelWaits();
    link_.closePort();
    event->accept();
}

} // namespace plovan
