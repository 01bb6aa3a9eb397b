// The main window: owns the link to the unit and composes the panels.
#pragma once

#include "dialogs.h"
#include "port_backend.h"
#include "unit_session.h"
#include "usb_choice.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;

namespace plovan {

class ChirpPanel;
class ChirpProgrammer;
class ClockWindow;
class CommLog;
class ConnectionPanel;
class DirectCommandPanel;
class FixedFrequencyWindow;
class DebugWindow;
class PollWindow;
class LimitsWindow;
class OffsetController;
class OffsetWindow;
class DirectCommands;
class TerminalPanel;
class TestPanel;
class TonePage;
class SingleTonePanel;
class UsbModeWindow;
class TransferPanel;
class ExtraHeaderWindow;
class HeaderPanel;
class HeaderWindow;
class LoadJobs;
class CalEditor;
class VswrSweep;
class VswrWindow;

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
    const PortSettings& portSettings() const { return session_.portSettings(); }
    // The port to use. `persist`: also what the settings file keeps; a port
    // given on the command line is for this session only.
    void setPortSettings(const PortSettings& settings, bool persist = true);
    // The reply time-out, shown in the connection panel.
    void setAckTimeoutMs(int ms);

    // The questions and messages put to the operator; tests replace them.
    Dialogs dialogs;

    // Start-up: the USB probe, the caption and version, the settings files.
    void Form_Load();
    // Shut-down: closes the port and writes the settings files; false (after
    // telling the operator) when they could not be written.
    bool Form_Unload();
    // Ends the program on a signal: open dialogs are cancelled and errors
    // go to the terminal and standard error, so no click is waited for.
    void terminate();
    QString settingsFolder() const { return settingsDir_; }

    // Handlers, named after the controls they serve.
    void Command1_Click();
    void Command19_Click();
    void Check17_Click();
    void mnuOpen_Click();
    void mnuProperties_Click();
    void Bout_Click();
    void mnuFileExit_Click();
    void mnuOpenLog_Click();
    void mnuCloseLog_Click();
    void SetFreqLimits_Click();
    void FoS_Click();
    void IntClkRate_Click();
    void FixedFreq_Click();
    void Debug_Click();
    void Command52_Click(); // "Poll"
    void FTDIUSB_Click();   // "USB Mode"
    void memEdit_Click();   // "Mem Edit": the "Extra Header" window
    void MnuMorv_Click();   // "&Send Velmar File..."
    void MnuSendBatch_Click();
    void cal_Click();                            // "Edit LUT": the calibration editor
    void Vswr_Click();                           // "VSWR": a sweep into a file
    void menuSndLUT_Click();                     // "Send LUT"
    void Command18_Click();                      // "TEST LUT file"
    void MnuRaw_Click();                         // "Send DataQ..."
    void MnuMultiChirp_Click();                  // "Send Multichirp"
    void Command57_Click(const QString& text35); // an image file over USB, each reply read
    void MnuHeader_Click();                      // "Header": the header panel in place of the tone frames
    void Command20_Click();                      // the header panel's "Esc"
    // Shows the header panel or the tone frames, as HeadFlaG says.
    void ShoHeadeR();
    bool HeadFlaG = false; // the header panel is shown
    bool batchRunning() const;
    void Option1_Click(); // "Chirp"
    void Option2_Click(); // "Single"
    // Applies the control rules of (connected, what holds the link, mode).
    void SetButtons();
    // A procedure writes (nested calls count): the controls that write to
    // the unit are greyed until the last one ends.
    void procedureBusy(bool busy);

    ConnectionPanel* connection;
    TerminalPanel* terminal;
    TransferPanel* transferPanel;
    DirectCommandPanel* directPanel;
    TestPanel* testPanel;
    TonePage* tonePage;
    SingleTonePanel* tone; // the single-tone panel of tonePage
    DirectCommands* direct;
    ChirpPanel* chirpPanel;
    std::unique_ptr<ChirpProgrammer> chirp;
    std::unique_ptr<OffsetController> offset;
    std::unique_ptr<CommLog> commLog;
    // Windows of their own. The limits, offset and clock windows have no
    // parent: they stay usable while they disable the main window.
    std::unique_ptr<LimitsWindow> limitsWindow;
    std::unique_ptr<OffsetWindow> offsetWindow;
    std::unique_ptr<ClockWindow> clockWindow;
    std::unique_ptr<UsbModeWindow> usbModeWindow;
    std::unique_ptr<ExtraHeaderWindow> extraHeaderWindow;
    std::unique_ptr<HeaderWindow> headerWindow;
    std::unique_ptr<CalEditor> calEditor;
    std::unique_ptr<VswrSweep> vswrSweep;
    std::unique_ptr<VswrWindow> vswrWindow;
    HeaderPanel* headerPanel;
    DebugWindow* debugWindow;
    PollWindow* pollWindow;
    FixedFrequencyWindow* fixedWindow;
    QTabWidget* tabs;
    QLabel* versionLabel; // Label3
    QLabel* unitLabel;    // what the unit plays, in the status bar (a UnitStatusLabel)
    class UnitPanel* unitPanel = nullptr;
    class PowerMonitor* powerMonitor = nullptr;
    class PowerMonitorWindow* powerWindow = nullptr;
    class TrafficRecorder* traffic = nullptr;
    class TrafficWindow* trafficWindow = nullptr;
    QString VerSion = QStringLiteral("3.09");

    QMenu* mnuFile;
    QMenu* mnuPort;
    QMenu* MnuCal; // "&Tools"
    QAction* mnuOpen;
    QAction* mnuProperties;
    QAction* mnuFileExit;
    QAction* mnuOpenLog;
    QAction* mnuCloseLog;
    QAction* SetFreqLimits;
    QAction* IntClkRate;
    QAction* FixedFreq;
    QAction* Debug;
    QAction* MnuMorv;      // "&Send Velmar File..."
    QAction* MnuSendBatch; // "Send Batch"
    QAction* menuSndLUT;   // "Send LUT"
    QAction* MnuRaw;
    QAction* MnuMultiChirp;
    QAction* MnuHeader; // "Header"
    QAction* FoS;       // "Frequency Offset"
    QAction* Bout;      // "About"

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    QAction* menuItem(QMenu* menu, const char* name, const QString& caption);
    void wirePanels();
    void buildChirp();
    void buildWindows();
    void buildUnitViews();
    // Enables "Frequency Offset" unless "Hires F" or "Fixed enable" holds it off.
    void updateOffsetMenu();
    void showMainControls(bool visible);
    // Enables `control` unless its feature is marked as not built yet.
    static void enableIfAvailable(QObject* control, bool enabled);

    // Runs a USB bench test with the link's controls greyed: the serial
    // port is shut while the USB device is held.
    void runUsb(const std::function<void()>& test);

    UnitSession session_;
    Link& link_ = session_.link;
    UsbRoute& usb_ = session_.usb;
    std::unique_ptr<LoadJobs> loads_;
    LaunchOptions launch_;
    QString settingsDir_;
    QString caption_; // the caption without a log file name
    void applyButtons();
    void keepFocus(QWidget* focused);
    QPointer<QWidget> parkedFocus_;  // lost the focus by being disabled
    QPointer<QWidget> focusMovedTo_; // where Qt moved it then
    int busyDepth_ = 0;
    bool terminating_ = false;
    bool closeAfterJob_ = false; // Exit was confirmed: the window closes once the job ends
};

} // namespace plovan
