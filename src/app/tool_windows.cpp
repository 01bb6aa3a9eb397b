#include "tool_windows.h"

#include "cal_editor.h"
#include "cal_wizard.h"
#include "clock_window.h"
#include "debug_window.h"
#include "dialogs.h"
#include "extra_header_window.h"
#include "fixed_window.h"
#include "header_window.h"
#include "limits_window.h"
#include "offset_controller.h"
#include "offset_window.h"
#include "poll_window.h"
#include "power_monitor.h"
#include "power_monitor_window.h"
#include "tone_page.h"
#include "traffic_log.h"
#include "traffic_window.h"
#include "unit_session.h"
#include "usb_mode_window.h"
#include "vswr_sweep.h"
#include "vswr_window.h"

#include <QWidget>

namespace plovan {

namespace {
const QString kVswrTitle = QStringLiteral("Velmar VSWR");
const QString kVswrFilter = QStringLiteral("Velmar VSWR Files (*.swr)|*.SWR|All Files (*.*)|*.*");

void bringUp(QWidget* window)
{
    window->show();
    window->raise();
}
} // namespace

ToolWindows::ToolWindows(UnitSession& session, Dialogs& dialogs, TonePage& tonePage, QWidget& mainWindow,
                         const QString& settingsDir)
    : QObject(&mainWindow), session_(session), dialogs_(dialogs), main_(mainWindow)
{
    Link& link = session.link;
    SynthState& state = tonePage.state;
    const auto enableMain = [this] { main_.setEnabled(true); };

    offset_ = std::make_unique<OffsetController>(link, state, tonePage.hooks);
    offset_->installHooks();
    limits_ = std::make_unique<LimitsWindow>(state, offset_.get());
    offsetWindow_ = std::make_unique<OffsetWindow>(*offset_);
    clock_ = std::make_unique<ClockWindow>(state);
    const auto followLimits = [this](int minFrequency, int maxFrequency) {
        session_.setLimits(minFrequency, maxFrequency);
    };
    connect(limits_.get(), &LimitsWindow::limitsChanged, this, followLimits);
    connect(offsetWindow_.get(), &OffsetWindow::limitsChanged, this, followLimits);
    offsetWindow_->runOnMain = [&tonePage](const std::function<bool()>& procedure) {
        return tonePage.run(procedure);
    };
    offsetWindow_->pressSend = [&tonePage] { tonePage.Send_Click(); };
    connect(offsetWindow_.get(), &OffsetWindow::maintainChanged, this, &ToolWindows::maintainChanged);
    connect(offsetWindow_.get(), &OffsetWindow::closed, this, enableMain);
    connect(clock_.get(), &ClockWindow::closed, this, enableMain);

    calEditor_ = std::make_unique<CalEditor>(
        link, dialogs, [&state] { return state.ClkFreq; }, &session.settings);
    connect(calEditor_.get(), &CalEditor::closed, this, [this] {
        session_.end(Job::CalPlay);
        main_.show();
    });

    vswrSweep_ = std::make_unique<VswrSweep>(link, tonePage.tone);
    vswrWindow_ = std::make_unique<VswrWindow>(*vswrSweep_);
    vswrWindow_->chooseFileToShow = [this] { return dialogs_.chooseFileToOpen(kVswrTitle, kVswrFilter); };
    vswrWindow_->warn = [this](const QString& t, const QString& m) { dialogs_.warn(t, m); };
    // The main window is hidden while the sweep steps and back once it ends.
    connect(vswrWindow_.get(), &VswrWindow::stepping, &main_, &QWidget::hide);
    connect(vswrSweep_.get(), &VswrSweep::finished, this, [this] {
        session_.end(Job::Vswr);
        main_.show();
        // The plot stays in front, to be read.
        if (vswrWindow_->isVisible()) vswrWindow_->raise();
    });
    connect(vswrWindow_.get(), &VswrWindow::closed, &main_, &QWidget::show);

    headerWindow_ = std::make_unique<HeaderWindow>(link);
    extraHeader_ = std::make_unique<ExtraHeaderWindow>(link);
    connect(extraHeader_.get(), &ExtraHeaderWindow::closed, this, enableMain);
    usbMode_ = std::make_unique<UsbModeWindow>(session.usb);
    connect(usbMode_.get(), &UsbModeWindow::closed, this, enableMain);

    debug_ = new DebugWindow(link, &main_);
    poll_ = new PollWindow(session, settingsDir, &main_);
    fixed_ = new FixedFrequencyWindow(state, &main_);
    connect(fixed_, &FixedFrequencyWindow::finished, &main_, &QWidget::show);
    connect(fixed_, &FixedFrequencyWindow::fixedEnableChanged, this, &ToolWindows::fixedEnableChanged);

    // The unit at a glance: the power monitor with its interlock, and the traffic.
    powerMonitor_ = new PowerMonitor(session, &main_);
    powerWindow_ = new PowerMonitorWindow(*powerMonitor_, &main_);
    traffic_ = new TrafficRecorder(session, QStringLiteral("window"), &main_);
    trafficWindow_ = new TrafficWindow(*traffic_, &main_);
}

ToolWindows::~ToolWindows()
{
    // These use the session, which the main window destroys before its
    // child objects.
    delete calWizard_;
    for (QObject* child : std::initializer_list<QObject*>{trafficWindow_, traffic_, powerWindow_, powerMonitor_,
                                                          fixed_, poll_, debug_})
        delete child;
}

void ToolWindows::openLimits()
{
    limits_->openWindow();
}

void ToolWindows::openOffset()
{
    main_.setEnabled(false);
    offsetWindow_->openWindow();
}

void ToolWindows::openClock()
{
    main_.setEnabled(false);
    clock_->openWindow();
}

void ToolWindows::openExtraHeader()
{
    main_.setEnabled(false);
    extraHeader_->openWindow();
}

void ToolWindows::openUsbMode()
{
    main_.setEnabled(false);
    usbMode_->openWindow();
}

void ToolWindows::openFixedFrequency()
{
    fixed_->show();
    main_.hide();
}

void ToolWindows::openDebug()
{
    // Window-modal: the main window takes no input while it is open.
    debug_->show();
}

void ToolWindows::openPoll()
{
    poll_->show();
}

void ToolWindows::openCalEditor()
{
    // The editor plays rows until it closes: nothing else may tune meanwhile.
    if (!session_.begin(Job::CalPlay, [this] { calEditor_->close(); })) return;
    main_.hide();
    calEditor_->openWindow();
}

void ToolWindows::openCalWizard(const std::function<void(const QString& path)>& sendLut)
{
    if (!calWizard_) {
        calWizard_ = new CalWizard(session_, dialogs_, sendLut, &main_);
        calWizard_->setAttribute(Qt::WA_DeleteOnClose);
    }
    bringUp(calWizard_);
}

void ToolWindows::startVswr()
{
    const QString path = chooseFileToWrite(dialogs_, kVswrTitle, kVswrFilter);
    if (path.isEmpty()) {
        emit vswrCancelled();
        return;
    }
    if (!session_.begin(Job::Vswr, [this] { vswrSweep_->stop(); })) return;
    QString error;
    if (!vswrSweep_->start(path, &error)) {
        session_.end(Job::Vswr);
        dialogs_.warn(kVswrTitle, error);
        return;
    }
    vswrWindow_->openForSweep();
}

void ToolWindows::openPowerMonitor()
{
    bringUp(powerWindow_);
}

void ToolWindows::openTraffic()
{
    bringUp(trafficWindow_);
}

void ToolWindows::closeAll()
{
    vswrSweep_->stop();
    for (QWidget* window : std::initializer_list<QWidget*>{limits_.get(), offsetWindow_.get(), clock_.get(),
                                                           calEditor_.get(), vswrWindow_.get()})
        window->hide();
}

} // namespace plovan
