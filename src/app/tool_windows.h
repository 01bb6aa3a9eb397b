// The windows the menus open beside the main window, owned in one place,
// and the main window's part in each: some disable it while they are open,
// some hide it; the calibration editor and the VSWR sweep run as jobs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace plovan {

struct Dialogs;
class CalEditor;
class CalWizard;
class ClockWindow;
class DebugWindow;
class ExtraHeaderWindow;
class FixedFrequencyWindow;
class HeaderWindow;
class LimitsWindow;
class OffsetController;
class OffsetWindow;
class PollWindow;
class PowerMonitor;
class PowerMonitorWindow;
class TonePage;
class TrafficRecorder;
class TrafficWindow;
class UnitSession;
class UsbModeWindow;
class VswrSweep;
class VswrWindow;

class ToolWindows : public QObject {
    Q_OBJECT
public:
    // `dialogs` is the main window's, so what tests put there holds here too.
    ToolWindows(UnitSession& session, Dialogs& dialogs, TonePage& tonePage, QWidget& mainWindow,
                const QString& settingsDir);
    ~ToolWindows() override;

    void openLimits();
    void openOffset();
    void openClock();
    void openExtraHeader();
    void openUsbMode();
    void openFixedFrequency();
    void openDebug();
    void openPoll();
    void openCalEditor();
    // The calibration wizard; its "Send LUT" calls `sendLut` with the new table.
    void openCalWizard(const std::function<void(const QString& path)>& sendLut);
    // Asks for the file, then sweeps into it.
    void startVswr();
    void openPowerMonitor();
    void openTraffic();
    // Shut-down: the sweep stops and the windows of their own close.
    void closeAll();

    OffsetController& offset() const { return *offset_; }
    HeaderWindow& headerWindow() const { return *headerWindow_; }
    PowerMonitor& powerMonitor() const { return *powerMonitor_; }
    TrafficRecorder& traffic() const { return *traffic_; }

signals:
    // "Maintain" of the offset window was ticked or cleared.
    void maintainChanged(bool ticked);
    // "Fixed enable" of the fixed-frequency window changed.
    void fixedEnableChanged();
    // The VSWR file choice was cancelled: the main controls show again.
    void vswrCancelled();

private:
    UnitSession& session_;
    Dialogs& dialogs_;
    QWidget& main_;
    std::unique_ptr<OffsetController> offset_;
    // The limits, offset and clock windows have no parent: they stay usable
    // while they disable the main window.
    std::unique_ptr<LimitsWindow> limits_;
    std::unique_ptr<OffsetWindow> offsetWindow_;
    std::unique_ptr<ClockWindow> clock_;
    std::unique_ptr<UsbModeWindow> usbMode_;
    std::unique_ptr<ExtraHeaderWindow> extraHeader_;
    std::unique_ptr<HeaderWindow> headerWindow_;
    std::unique_ptr<CalEditor> calEditor_;
    std::unique_ptr<VswrSweep> vswrSweep_;
    std::unique_ptr<VswrWindow> vswrWindow_;
    DebugWindow* debug_;
    PollWindow* poll_;
    FixedFrequencyWindow* fixed_;
    PowerMonitor* powerMonitor_;
    PowerMonitorWindow* powerWindow_;
    TrafficRecorder* traffic_;
    TrafficWindow* trafficWindow_;
    QPointer<CalWizard> calWizard_; // while open
};

} // namespace plovan
