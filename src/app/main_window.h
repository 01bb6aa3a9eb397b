// The main window: composes the panels around the unit session and wires
// them to it and to each other.
#pragma once

#include "dialogs.h"
#include "port_backend.h"
#include "unit_session.h"
#include "usb_choice.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QLabel;
class QScrollArea;
class QMenu;
class QTabWidget;

namespace plovan {

class ChirpPanel;
class ChirpProgrammer;
class ConnectionPanel;
class DirectCommandPanel;
class DirectCommands;
class HeaderPanel;
class LoadJobs;
class LogMenu;
class SingleTonePanel;
class TerminalPanel;
class TestPanel;
class TonePage;
class ToolWindows;
class TransferPanel;
class WindowControls;

// What the command line asks of a window before it loads.
struct LaunchOptions {
    // A serial device for this session only (kSimDevice: the built-in unit).
    QString port;
    // The USB device layer; empty: PLOVAN_USB_DEVICE, else the real one.
    std::optional<UsbChoice> usb;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr, const LaunchOptions& launch = {});
    ~MainWindow() override;

    UnitSession& session() { return session_; }
    Link& link() { return link_; }
    UsbRoute& usbRoute() { return usb_; }
    // The questions and messages put to the operator; tests replace them.
    Dialogs& dialogs() { return dialogs_; }
    const PortSettings& portSettings() const { return session_.portSettings(); }
    // The port to use. `persist`: also what the settings file keeps; a port
    // given on the command line is for this session only.
    void setPortSettings(const PortSettings& settings, bool persist = true);
    // The reply time-out, shown in the connection panel.
    void setAckTimeoutMs(int ms);
    QString settingsFolder() const { return settingsDir_; }
    bool batchRunning() const;

    // Ends the program on a signal: open dialogs are cancelled and errors
    // go to the terminal and standard error, so no click is waited for.
    void terminate();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPanels(QWidget* central);
    void buildChirp();
    void buildMenus();
    void wirePanels();
    void buildUnitViews();
    // Start-up: the settings files, the port, the USB probe, the caption.
    void Form_Load();
    // Shut-down: closes the port and writes the settings files; false (after
    // telling the operator) when they could not be written.
    bool Form_Unload();
    void SetButtons();
    // The header panel in place of the tone frames, or back.
    void showHeader(bool shown);
    void Option1_Click(); // "Chirp"
    void Option2_Click(); // "Single"
    void showChirpPanel(bool shown);
    // Enables "Frequency Offset" unless "Hires F" or "Fixed enable" holds it off.
    void updateOffsetMenu();
    void showMainControls(bool visible);
    UnitSession session_;
    Link& link_ = session_.link;
    UsbRoute& usb_ = session_.usb;
    Dialogs dialogs_;
    LaunchOptions launch_;
    QString settingsDir_;
    QString version_ = QStringLiteral("3.09");

    ConnectionPanel* connection_;
    TerminalPanel* terminal_;
    TransferPanel* transfer_;
    DirectCommandPanel* directPanel_;
    TestPanel* testPanel_;
    TonePage* tonePage_;
    SingleTonePanel* tone_; // the single-tone panel of the tone page
    DirectCommands* direct_;
    HeaderPanel* headerPanel_;
    ChirpPanel* chirpPanel_;
    QScrollArea* chirpScroll_;
    QTabWidget* tabs_;
    QLabel* versionLabel_; // Label3
    std::unique_ptr<ChirpProgrammer> chirp_;
    std::unique_ptr<LogMenu> log_;
    std::unique_ptr<ToolWindows> tools_;
    std::unique_ptr<LoadJobs> loads_;
    std::unique_ptr<WindowControls> controls_;

    QMenu* mnuFile_;
    QMenu* mnuPort_;
    QMenu* toolsMenu_; // "&Tools" (MnuCal)
    QAction* offsetItem_; // "Frequency Offset" (FoS)
    QList<QAction*> loadItems_;
    QList<QAction*> portItems_;
    QAction* portOpenItem_;

    bool terminating_ = false;
    bool closeAfterJob_ = false; // Exit was confirmed: the window closes once the job ends
};

} // namespace plovan
