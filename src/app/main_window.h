// The main window: owns the link to the unit and composes the panels.
#pragma once

#include "link.h"
#include "port_backend.h"

#include <QMainWindow>
#include <functional>

class QAction;
class QMenu;
class QPushButton;

namespace plovan {

class ConnectionPanel;
class TerminalPanel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Link& link() { return link_; }
    const PortSettings& portSettings() const { return portSettings_; }
    void setPortSettings(const PortSettings& settings);
    // The reply time-out, shown in the connection panel.
    void setAckTimeoutMs(int ms);

    // Asks a Yes/No question (No is the default); tests replace it.
    std::function<bool(const QString& title, const QString& text)> askYesNo;

    // Handlers, named after the controls they serve.
    void Command1_Click();
    void Command19_Click();
    void Check17_Click();
    void mnuOpen_Click();
    void mnuProperties_Click();
    // Enables the controls that need a usable link, from Connected.
    void SetButtons();
    // Applies DisbuT to the main buttons while a transfer holds the link.
    void Dissable();

    ConnectionPanel* connection;
    TerminalPanel* terminal;
    QMenu* mnuFile;
    QMenu* mnuPort;
    QAction* mnuOpen;
    QAction* mnuProperties;
    QAction* mnuFileExit;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    bool openPort();
    void disconnectWith(QPushButton* button);

    Link link_;
    PortSettings portSettings_;
};

} // namespace plovan
