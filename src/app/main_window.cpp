#include "main_window.h"

#include "remote_control.h"

#include "backend_factory.h"
#include "cal_editor.h"
#include "chirp_mode.h"
#include "chirp_panel.h"
#include "chirp_programmer.h"
#include "clock_window.h"
#include "comm_log.h"
#include "connect_sequence.h"
#include "connection_panel.h"
#include "control_rules.h"
#include "debug_window.h"
#include "direct_commands.h"
#include "extra_header_window.h"
#include "fixed_window.h"
#include "header_panel.h"
#include "header_window.h"
#include "limits_window.h"
#include "load_jobs.h"
#include "offset_controller.h"
#include "offset_window.h"
#include "poll_window.h"
#include "port_settings_dialog.h"
#include "power_monitor_window.h"
#include "settings_files.h"
#include "single_tone_panel.h"
#include "terminal_panel.h"
#include "test_panel.h"
#include "tone_page.h"
#include "traffic_window.h"
#include "transfer_panel.h"
#include "unit_commands.h"
#include "unit_panel.h"
#include "unit_status_label.h"
#include "usb_mode_window.h"
#include "vswr_sweep.h"
#include "vswr_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

namespace plovan {

namespace {
// Set false on a control whose feature is not built yet: it stays disabled.
constexpr char kAvailable[] = "available";
} // namespace

MainWindow::MainWindow(QWidget* parent, const LaunchOptions& launch)
    : QMainWindow(parent), dialogs(Dialogs::forWindow(this)), launch_(launch)
{
    setObjectName(QStringLiteral("frmTerminal"));
    setWindowTitle(QStringLiteral("Velmar Plovan"));

    auto* central = new QWidget(this);
    tabs = new QTabWidget(central);
    tabs->setObjectName(QStringLiteral("tabs"));
    tonePage = new TonePage(session_, dialogs, nullptr);
    tonePage->setParent(this);
    tone = tonePage->panel;
    direct = new DirectCommands(link_, tonePage->state, this);
    testPanel = new TestPanel(*direct, tabs);
    headerPanel = new HeaderPanel(link_);
    tone->setHeaderPanel(headerPanel);
    headerPanel->run = [this](const std::function<bool()>& procedure) {
        procedureBusy(true);
        const bool ok = procedure();
        procedureBusy(false);
        return ok;
    };
    connect(headerPanel, &HeaderPanel::escPressed, this, &MainWindow::Command20_Click);
    buildChirp();
    auto* toneScroll = new QScrollArea(tabs);
    toneScroll->setWidget(tone);
    toneScroll->setWidgetResizable(true);
    toneScroll->setFrameShape(QFrame::NoFrame);
    tabs->addTab(toneScroll, QStringLiteral("Synthesiser"));
    tabs->addTab(testPanel, QStringLiteral("Testing Testing"));

    connection = new ConnectionPanel(central);
    directPanel = new DirectCommandPanel(*direct, central);
    terminal = new TerminalPanel(central);
    transferPanel = new TransferPanel(link_, central);
    transferPanel->setUsbRoute(&usb_);
    versionLabel = new QLabel(VerSion, central);
    versionLabel->setObjectName(QStringLiteral("Label3"));
    auto* right = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    top->addWidget(connection);
    top->addWidget(directPanel, 1);
    right->addLayout(top);
    // In chirp mode the ramp fields and preview take the upper part of the
    // terminal's column.
    right->addWidget(chirpPanel);
    right->addWidget(terminal, 1);
    right->addWidget(transferPanel);
    right->addWidget(versionLabel, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(central);
    layout->addWidget(tabs, 3);
    layout->addLayout(right, 2);
    setCentralWidget(central);
    buildMenus();
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    unitLabel = new UnitStatusLabel(session_, statusBar());
    statusBar()->addPermanentWidget(unitLabel);
    wirePanels();

    resize(1280, 720);
    Form_Load();
    buildWindows();
    buildUnitViews();
    SetButtons();
    // Centred, and no larger than the screen now that the unit panel is docked.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QSize wanted = size().expandedTo(minimumSizeHint());
        resize(std::min(wanted.width(), area.width()), std::min(wanted.height(), area.height()));
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

void MainWindow::buildUnitViews()
{
    // The unit at a glance: the unit panel, and the power monitor with its interlock.
    unitPanel = new UnitPanel(session_, this);
    addDockWidget(Qt::RightDockWidgetArea, unitPanel);
    powerMonitor = new PowerMonitor(session_, this);
    powerWindow = new PowerMonitorWindow(*powerMonitor, this);
    connect(powerMonitor, &PowerMonitor::tripped, commLog.get(), &CommLog::note);
    QAction* monitorItem = MnuCal->addAction(QStringLiteral("Power monitor"));
    monitorItem->setObjectName(QStringLiteral("PowerMonitor"));
    connect(monitorItem, &QAction::triggered, powerWindow, [this] {
        powerWindow->show();
        powerWindow->raise();
    });
    MnuCal->insertAction(nullptr, unitPanel->toggleViewAction());

    traffic = new TrafficRecorder(session_, QStringLiteral("window"), this);
    trafficWindow = new TrafficWindow(*traffic, this);
    QAction* trafficItem = MnuCal->addAction(QStringLiteral("Traffic"));
    trafficItem->setObjectName(QStringLiteral("Traffic"));
    connect(trafficItem, &QAction::triggered, trafficWindow, [this] {
        trafficWindow->show();
        trafficWindow->raise();
    });
}

void MainWindow::buildChirp()
{
    chirp = std::make_unique<ChirpProgrammer>(link_, tonePage->state, tonePage->hooks, tonePage->tone);
    ChirpPanel::Shared shared;
    shared.startBox = tone->frequencyBox;
    shared.stopBox = tone->phaseBox;
    shared.amplitudeSlider = tone->amplitudeSlider;
    shared.inverseSinc = tone->inverseSinc;
    chirpPanel = new ChirpPanel(*chirp, shared);
    chirpPanel->setObjectName(QStringLiteral("ChirpPanel"));
    chirpPanel->setVisible(false);
    chirpPanel->run = [this](const std::function<bool()>& procedure) { return tonePage->run(procedure); };
    // The mode switch asks each panel of this window in turn; the bench panel
    // keeps its copies of the chirp controls in both modes.
    chirpPanel->applyModeToWindow = [this](bool chirpMode) {
        tone->applyMode(chirpMode);
        directPanel->applyMode(chirpMode);
        terminal->applyMode(chirpMode);
        applyMode(ModeMenus{mnuFile, mnuPort, MnuCal}, chirpMode);
    };
    tonePage->chirpStatus = [this] { return chirpPanel->StatuZ(); };
    tonePage->channels.StatuZ = [this] { chirpPanel->StatuZ(); };
    connect(tone->chirpMode, &QRadioButton::clicked, this, &MainWindow::Option1_Click);
    connect(tone->singleMode, &QRadioButton::clicked, this, &MainWindow::Option2_Click);

    // The chirp panel's "Save to DDS" and "Ext Trig" and the bench panel's are
    // two views of one setting.
    const auto mirror = [this](QCheckBox* a, QCheckBox* b) {
        connect(a, &QCheckBox::toggled, b, &QCheckBox::setChecked);
        connect(b, &QCheckBox::toggled, a, &QCheckBox::setChecked);
    };
    mirror(chirpPanel->saveToDds, testPanel->saveToDds);
    mirror(chirpPanel->extTrig, testPanel->extTrig);
}

void MainWindow::buildWindows()
{
    SynthState& state = tonePage->state;
    offset = std::make_unique<OffsetController>(link_, state, tonePage->hooks);
    offset->installHooks();
    limitsWindow = std::make_unique<LimitsWindow>(state, offset.get());
    offsetWindow = std::make_unique<OffsetWindow>(*offset);
    clockWindow = std::make_unique<ClockWindow>(state);
    const auto followLimits = [this](int minFrequency, int maxFrequency) {
        session_.setLimits(minFrequency, maxFrequency);
    };
    connect(limitsWindow.get(), &LimitsWindow::limitsChanged, this, followLimits);
    connect(offsetWindow.get(), &OffsetWindow::limitsChanged, this, followLimits);
    offsetWindow->runOnMain = [this](const std::function<bool()>& procedure) {
        return tonePage->run(procedure);
    };
    offsetWindow->pressSend = [this] { tonePage->Send_Click(); };
    connect(offsetWindow.get(), &OffsetWindow::maintainChanged, this, [this](bool ticked) {
        tone->offsetLabel->setVisible(ticked);
        SetButtons();
    });
    connect(offsetWindow.get(), &OffsetWindow::closed, this, [this] { setEnabled(true); });
    connect(clockWindow.get(), &ClockWindow::closed, this, [this] { setEnabled(true); });
    calEditor = std::make_unique<CalEditor>(
        link_, dialogs, [this] { return tonePage->state.ClkFreq; }, &session_.settings);
    connect(calEditor.get(), &CalEditor::closed, this, [this] {
        session_.end(Job::CalPlay);
        show();
    });
    vswrSweep = std::make_unique<VswrSweep>(link_, tonePage->tone);
    vswrWindow = std::make_unique<VswrWindow>(*vswrSweep);
    vswrWindow->chooseFileToShow = [this] {
        return dialogs.chooseFileToOpen(
            QStringLiteral("Velmar VSWR"),
            QStringLiteral("Velmar VSWR Files (*.swr)|*.SWR|All Files (*.*)|*.*"));
    };
    vswrWindow->warn = [this](const QString& t, const QString& m) { dialogs.warn(t, m); };
    // The main window is hidden while the sweep steps and back once it ends.
    connect(vswrWindow.get(), &VswrWindow::stepping, this, &QWidget::hide);
    connect(vswrSweep.get(), &VswrSweep::finished, this, [this] {
        session_.end(Job::Vswr);
        show();
        // The plot stays in front, to be read.
        if (vswrWindow->isVisible()) vswrWindow->raise();
    });
    connect(vswrWindow.get(), &VswrWindow::closed, this, &QWidget::show);
    headerWindow = std::make_unique<HeaderWindow>(link_);
    loads_ = std::make_unique<LoadJobs>(
        session_, dialogs,
        LoadJobs::Parts{transferPanel, headerWindow.get(), headerPanel, testPanel, settingsDir_});
    connect(loads_.get(), &LoadJobs::stateChanged, this, &MainWindow::SetButtons);
    connect(loads_.get(), &LoadJobs::holdWindow, this, [this](bool held) { setEnabled(!held); });
    connect(&session_, &UnitSession::jobChanged, this, &MainWindow::SetButtons);
    connect(&session_, &UnitSession::connectionChanged, this, &MainWindow::SetButtons);
    extraHeaderWindow = std::make_unique<ExtraHeaderWindow>(link_);
    connect(extraHeaderWindow.get(), &ExtraHeaderWindow::closed, this, [this] { setEnabled(true); });
    usbModeWindow = std::make_unique<UsbModeWindow>(usb_);
    connect(usbModeWindow.get(), &UsbModeWindow::closed, this, [this] { setEnabled(true); });
    connect(tone->offsetLabel, &QLabel::linkActivated, this, [this] {
        if (FoS->isEnabled()) FoS_Click();
    });

    commLog = std::make_unique<CommLog>();
    commLog->attach(link_);
    connect(
        commLog.get(), &CommLog::failed, this,
        [this](const QString& message) {
            mnuCloseLog_Click();
            dialogs.warn(QStringLiteral("Communications log"), message);
        },
        Qt::QueuedConnection);

    debugWindow = new DebugWindow(link_, this);
    pollWindow = new PollWindow(session_, settingsDir_, this);
    fixedWindow = new FixedFrequencyWindow(state, this);
    connect(fixedWindow, &FixedFrequencyWindow::finished, this, &QWidget::show);
    connect(fixedWindow, &FixedFrequencyWindow::fixedEnableChanged, this, &MainWindow::updateOffsetMenu);
    connect(testPanel, &TestPanel::pollRequested, this, &MainWindow::Command52_Click);
    connect(transferPanel, &TransferPanel::status, this,
            [this](const QString& m) { statusBar()->showMessage(m); });
    connect(testPanel, &TestPanel::ftdiTestRequested, this,
            [this] { runUsb([this] { usb_.Command55_Click(); }); });
    connect(testPanel, &TestPanel::ftdiSendRequested, this,
            [this] { runUsb([this] { usb_.FtSend(QString::fromStdString(cmd::readStatus())); }); });
    connect(testPanel, &TestPanel::openExRequested, this, [this] { runUsb([this] { usb_.FtOpenEx(); }); });
    connect(testPanel, &TestPanel::usbImageRequested, this, &MainWindow::Command57_Click);
    connect(testPanel, &TestPanel::testLutRequested, this, &MainWindow::Command18_Click);
    connect(testPanel, &TestPanel::viaDllRequested, this,
            [this](const QString& command) { runUsb([this, command] { usb_.Command59_Click(command); }); });
}

void MainWindow::Form_Load()
{
    tonePage->state.Amp2FixeD = "0800";
    link_.setTestMode(false);
    link_.USBStatus = false;
    link_.saveToDds = false;
    settingsDir_ = settingsDir();
    const StartupSettings loaded = LoadSettings(settingsDir_);
    setPortSettings(loaded.port);
    if (launch_.port == QLatin1String(kSimDevice)) {
        PortSettings sim = loaded.port;
        sim.device = launch_.port;
        setPortSettings(sim, false);
    }
    else if (!launch_.port.isEmpty()) {
        setPortSettings(withDevice(loaded.port, launch_.port), false);
    }
    session_.setLimits(loaded.MinFrequency, loaded.MaxFrequency);
    tone->setLimits(loaded.MinFrequency, loaded.MaxFrequency);
    if (loaded.terminalText) link_.setTerminalText(*loaded.terminalText);
    for (const QString& note : loaded.notes)
        link_.terminalLine(note);

    // The USB question comes once the port is known: the simulated unit's
    // USB face belongs to the simulated port.
    QString usbError;
    const std::optional<UsbChoice> usbChoice = launch_.usb ? launch_.usb : defaultUsbChoice(&usbError);
    if (!usbError.isEmpty()) link_.terminalLine(usbError);
    usb_.setDevice(usbChoice ? makeFtdiDevice(*usbChoice, link_, session_.portSettings()) : nullptr);
    const UsbStartup usb = usb_.probeAtStartup();
    caption_ = QStringLiteral("Velmar Plovan") + usb.captionNote;
    setWindowTitle(caption_);
    VerSion = usb.VerSion;
    versionLabel->setText(VerSion);
    if (!usb.descriptionLine.isEmpty()) link_.terminalLine(usb.descriptionLine);

    // The sliders show the boxes' start values without sending anything.
    SingleTonePanel::setQuietly(tone->frequencySlider, tone->frequencyBox->text().toInt());
    SingleTonePanel::setQuietly(tone->phaseSlider, tone->phaseBox->text().toInt());
    SingleTonePanel::setQuietly(tone->amplitudeSlider, tone->amplitudeBox->text().toInt());
}

bool MainWindow::Form_Unload()
{
    direct->cancel();
    link_.cancelWaits();
    link_.closePort();
    if (commLog) commLog->close();
    if (vswrSweep) vswrSweep->stop();
    for (QWidget* window :
         {static_cast<QWidget*>(limitsWindow.get()), static_cast<QWidget*>(offsetWindow.get()),
          static_cast<QWidget*>(clockWindow.get()), static_cast<QWidget*>(calEditor.get()),
          static_cast<QWidget*>(vswrWindow.get())})
        if (window) window->hide();
    // A maintained offset lowers the maximum only while it is maintained.
    const int maxFrequency = offset ? offset->SavedMax() : tonePage->state.MaxFrequency;
    const int minFrequency = offset ? offset->SavedMin() : tonePage->state.MinFrequency;
    const QString error =
        saveSettings(settingsDir_, session_.savedPortSettings(), maxFrequency, minFrequency);
    if (error.isEmpty()) return true;
    std::fprintf(stderr, "plovan: %s\n", qPrintable(error));
    const QString message = QStringLiteral("The settings could not be saved:\n") + error;
    // Ending on a signal waits for nobody's click.
    if (terminating_)
        link_.terminalLine(message);
    else
        dialogs.warn(QStringLiteral("Velmar Plovan"), message);
    return false;
}

void MainWindow::terminate()
{
    terminating_ = true;
    // A dialog waiting for an answer would hold the shut-down up: answer it
    // with its cancel (No for a question), so nothing is done unasked.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QCoreApplication::processEvents();
    }
    // A job is stopped first (a load clears the unit), without a question.
    session_.stop([this] {
        close();
        QCoreApplication::quit();
    });
}

MainWindow::~MainWindow()
{
    direct->cancel();
    link_.cancelWaits();
    // Children that use the session go before it does: the window's own
    // members are destroyed before its child objects.
    delete powerWindow;
    delete powerMonitor;
}

void MainWindow::wirePanels()
{
    connect(connection->connectButton, &QPushButton::clicked, this, &MainWindow::Command1_Click);
    connect(connection->connect2Button, &QPushButton::clicked, this, &MainWindow::Command19_Click);
    connect(connection->waitForAck, &QCheckBox::clicked, this, &MainWindow::Check17_Click);
    connection->ackTimeout->setValue(link_.ackTimeoutMs());
    connect(connection->ackTimeout, &QSpinBox::valueChanged, this,
            [this](int ms) { link_.setAckTimeoutMs(ms); });
    terminal->attach(link_);
    connect(&link_, &Link::statusMessage, this, [this](const QString& m) { statusBar()->showMessage(m); });
    connect(&link_, &Link::connectionLost, this, [this] {
        direct->cancel();
        connection->connectButton->setText(QStringLiteral("Connect"));
        SetButtons();
    });

    SynthHooks& hooks = tonePage->hooks;
    hooks.busy = [this](bool busy) { procedureBusy(busy); };
    hooks.warn = [this](const std::string& m) { statusBar()->showMessage(QString::fromStdString(m)); };
    tonePage->channels.loopHandler = [this] { return direct->Check16_Click(); };
    connect(tonePage, &TonePage::hiresChanged, this, &MainWindow::updateOffsetMenu);
    connect(tonePage, &TonePage::mainVisibleChanged, this, &MainWindow::showMainControls);
    connect(tonePage, &TonePage::runCaptionsChanged, this, &MainWindow::SetButtons);
    connect(tone->extEnable, &QPushButton::clicked, this,
            [this] { tonePage->Command11_Click(testPanel->loop->isChecked()); });

    direct->hooks.laserOn = [this] { return session_.model().rfOn.value_or(false); };
    direct->hooks.showLaser = [this](bool on) { session_.setRfOn(on); };
    connect(&session_, &UnitSession::rfChanged, this, [this] {
        const std::optional<bool> on = session_.model().rfOn;
        if (on)
            connection->setLaserOn(*on);
        else
            connection->setLaserUnknown();
    });
    connect(&session_, &UnitSession::limitsChanged, this,
            [this] { tone->setLimits(session_.model().minFrequency, session_.model().maxFrequency); });
    direct->hooks.untickInvSync = [this] {
        if (!tone->invSync->isChecked()) return;
        tone->invSync->setChecked(false);
        tonePage->Check2_Click();
    };
    direct->hooks.setAmplitudeSlider = [this](int value) { tone->amplitudeSlider->setValue(value); };
    direct->hooks.baudChanged = [this](int baud) { session_.baudChanged(baud); };
    connect(testPanel->loop, &QCheckBox::toggled, this, [this](bool ticked) { direct->loopTicked = ticked; });
    connect(testPanel, &TestPanel::clearEchoRequested, tone->echoBox, &QPlainTextEdit::clear);
    connect(testPanel, &TestPanel::toneTextsRequested, this, [this](const QString& f, const QString& a) {
        tone->frequencyBox->setText(f);
        tone->amplitudeBox->setText(a);
    });
}

QAction* MainWindow::menuItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    // Present so the menus read as operators know them; enabled when the
    // window behind the item is built.
    action->setEnabled(false);
    action->setStatusTip(tr("Not available in this version"));
    action->setProperty(kAvailable, false);
    return action;
}

void MainWindow::enableIfAvailable(QObject* control, bool enabled)
{
    const bool available = control->property(kAvailable).toBool() || !control->property(kAvailable).isValid();
    if (auto* action = qobject_cast<QAction*>(control))
        action->setEnabled(enabled && available);
    else if (auto* widget = qobject_cast<QWidget*>(control))
        widget->setEnabled(enabled && available);
}

void MainWindow::buildMenus()
{
    auto enable = [this](QAction* action, void (MainWindow::*handler)()) {
        action->setEnabled(true);
        action->setStatusTip({});
        action->setProperty(kAvailable, true);
        connect(action, &QAction::triggered, this, handler);
    };
    auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QLatin1String(name));
    };

    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuOpenLog = menuItem(mnuFile, "mnuOpenLog", QStringLiteral("&Open Log File..."));
    enable(mnuOpenLog, &MainWindow::mnuOpenLog_Click);
    mnuCloseLog = menuItem(mnuFile, "mnuCloseLog", QStringLiteral("&Close Log File"));
    enable(mnuCloseLog, &MainWindow::mnuCloseLog_Click);
    mnuCloseLog->setEnabled(false);
    separator(mnuFile, "M3");
    MnuMorv = menuItem(mnuFile, "MnuMorv", QStringLiteral("&Send Velmar File..."));
    enable(MnuMorv, &MainWindow::MnuMorv_Click);
    MnuSendBatch = menuItem(mnuFile, "MnuSendBatch", QStringLiteral("Send Batch"));
    enable(MnuSendBatch, &MainWindow::MnuSendBatch_Click);
    MnuRaw = menuItem(mnuFile, "MnuRaw", QStringLiteral("Send DataQ..."));
    enable(MnuRaw, &MainWindow::MnuRaw_Click);
    MnuMultiChirp = menuItem(mnuFile, "MnuMultiChirp", QStringLiteral("Send Multichirp"));
    enable(MnuMultiChirp, &MainWindow::MnuMultiChirp_Click);
    separator(mnuFile, "Bar2");
    mnuFileExit = menuItem(mnuFile, "mnuFileExit", QStringLiteral("E&xit"));
    enable(mnuFileExit, &MainWindow::mnuFileExit_Click);

    mnuPort = menuBar()->addMenu(QStringLiteral("&Comms"));
    mnuPort->setObjectName(QStringLiteral("mnuPort"));
    mnuOpen = menuItem(mnuPort, "mnuOpen", QStringLiteral("Port &Open"));
    mnuOpen->setCheckable(true);
    enable(mnuOpen, &MainWindow::mnuOpen_Click);
    separator(mnuPort, "MBar1");
    mnuProperties = menuItem(mnuPort, "mnuProperties", QStringLiteral("Properties..."));
    enable(mnuProperties, &MainWindow::mnuProperties_Click);
    enable(menuItem(mnuPort, "FTDIUSB", QStringLiteral("USB Mode")), &MainWindow::FTDIUSB_Click);
    separator(mnuPort, "Bar3");
    new remote::RemoteControl(*this, session_, mnuPort, settingsDir());

    MnuCal = menuBar()->addMenu(QStringLiteral("&Tools"));
    MnuCal->setObjectName(QStringLiteral("MnuCal"));
    enable(menuItem(MnuCal, "memEdit", QStringLiteral("Mem Edit")), &MainWindow::memEdit_Click);
    enable(menuItem(MnuCal, "cal", QStringLiteral("Edit LUT")), &MainWindow::cal_Click);
    enable(menuItem(MnuCal, "Vswr", QStringLiteral("VSWR")), &MainWindow::Vswr_Click);
    menuSndLUT = menuItem(MnuCal, "menuSndLUT", QStringLiteral("Send LUT"));
    enable(menuSndLUT, &MainWindow::menuSndLUT_Click);
    SetFreqLimits = menuItem(MnuCal, "SetFreqLimits", QStringLiteral("F Limits"));
    enable(SetFreqLimits, &MainWindow::SetFreqLimits_Click);
    FoS = menuItem(MnuCal, "FoS", QStringLiteral("Frequency Offset"));
    enable(FoS, &MainWindow::FoS_Click);
    IntClkRate = menuItem(MnuCal, "IntClkRate", QStringLiteral("Int Clock Rate"));
    enable(IntClkRate, &MainWindow::IntClkRate_Click);
    FixedFreq = menuItem(MnuCal, "FixedFreq", QStringLiteral("Fix Freq RF1"));
    enable(FixedFreq, &MainWindow::FixedFreq_Click);
    Debug = menuItem(MnuCal, "Debug", QStringLiteral("Debug"));
    enable(Debug, &MainWindow::Debug_Click);
    MnuHeader = menuItem(MnuCal, "MnuHeader", QStringLiteral("Header"));
    enable(MnuHeader, &MainWindow::MnuHeader_Click);

    Bout = menuBar()->addAction(QStringLiteral("About"));
    Bout->setObjectName(QStringLiteral("Bout"));
    connect(Bout, &QAction::triggered, this, &MainWindow::Bout_Click);
}

void MainWindow::setPortSettings(const PortSettings& settings, bool persist)
{
    session_.setPortSettings(settings, persist);
}

void MainWindow::setAckTimeoutMs(int ms)
{
    connection->ackTimeout->setValue(ms);
}

void MainWindow::Command1_Click()
{
    // This button says "Disconnect" only after its own connect.
    QPushButton* button = connection->connectButton;
    if (button->text() == QLatin1String("Disconnect")) {
        button->setText(QStringLiteral("Connect"));
        session_.disconnectUnit();
        return;
    }
    link_.clearTerminal();
    // A port left open by the other "Connect" is used as it is.
    if (!link_.portOpen() && (link_.USBStatus || !session_.openPort())) {
        if (dialogs.askYesNo(QStringLiteral("Port Error"),
                             QStringLiteral("Error opening the port. Do you want to try to close it?")))
            link_.closePort();
        return;
    }
    if (session_.connectUnit()) button->setText(QStringLiteral("Disconnect"));
}

void MainWindow::Command19_Click()
{
    if (connection->connect2Button->text() == QLatin1String("Disconnect")) {
        session_.disconnectUnit();
        return;
    }
    // The port's real state decides: a handle is kept after a close.
    if (!link_.portOpen() && !session_.openPort()) {
        link_.setTerminalText(QStringLiteral("Error opening port! Handle = ") +
                              QString::number(link_.PortHandle));
        return; // nothing is sent into a port that did not open
    }
    session_.quickConnect();
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
    tone->sendButton->setEnabled(open);
    enableIfAvailable(MnuCal->menuAction(), open && !tone->chirpMode->isChecked());
    connection->connectButton->setText(open ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
    for (QWidget* w : std::initializer_list<QWidget*>{directPanel->resetButton, directPanel->intClockButton,
                                                      directPanel->laserButton, directPanel->clearButton,
                                                      directPanel->intTrigButton, tone->extEnable,
                                                      tone->chirpMode, tone->singleMode})
        enableIfAvailable(w, open);
    enableIfAvailable(MnuMorv, open);
}

void MainWindow::mnuProperties_Click()
{
    PortSettingsDialog dialog(session_.portSettings(), this);
    if (dialog.exec() == QDialog::Accepted) session_.setPortSettings(dialog.settings());
}

void MainWindow::mnuFileExit_Click()
{
    close();
}

void MainWindow::mnuOpenLog_Click()
{
    if (!plovan::mnuOpenLog_Click(*commLog, dialogs)) return;
    setWindowTitle(logCaption(QStringLiteral("Velmar Plovan"), commLog->fileName()));
    mnuOpenLog->setEnabled(false);
    mnuCloseLog->setEnabled(true);
}

void MainWindow::mnuCloseLog_Click()
{
    commLog->close();
    mnuOpenLog->setEnabled(true);
    mnuCloseLog->setEnabled(false);
    setWindowTitle(caption_);
}

void MainWindow::SetFreqLimits_Click()
{
    limitsWindow->openWindow();
}

void MainWindow::FoS_Click()
{
    setEnabled(false);
    offsetWindow->openWindow();
}

bool MainWindow::batchRunning() const
{
    return loads_ && loads_->batchRunning();
}

void MainWindow::MnuMorv_Click()
{
    loads_->sendTable(table::kImage);
}

void MainWindow::cal_Click()
{
    // The editor plays rows until it closes: nothing else may tune meanwhile.
    if (!session_.begin(Job::CalPlay, [this] { calEditor->close(); })) return;
    hide();
    calEditor->openWindow();
}

void MainWindow::Vswr_Click()
{
    const QString title = QStringLiteral("Velmar VSWR");
    const QString path = chooseFileToWrite(
        dialogs, title, QStringLiteral("Velmar VSWR Files (*.swr)|*.SWR|All Files (*.*)|*.*"));
    if (path.isEmpty()) {
        showMainControls(true);
        return;
    }
    if (!session_.begin(Job::Vswr, [this] { vswrSweep->stop(); })) return;
    QString error;
    if (!vswrSweep->start(path, &error)) {
        session_.end(Job::Vswr);
        dialogs.warn(title, error);
        return;
    }
    vswrWindow->openForSweep();
}

void MainWindow::menuSndLUT_Click()
{
    loads_->sendLut();
}

void MainWindow::Command18_Click()
{
    loads_->sendTestLut();
}

void MainWindow::MnuRaw_Click()
{
    loads_->sendTable(table::kRaw);
}

void MainWindow::MnuMultiChirp_Click()
{
    loads_->sendTable(table::kMultichirp);
}

void MainWindow::Command57_Click(const QString& text35)
{
    loads_->sendUsbImage(text35);
}

void MainWindow::MnuSendBatch_Click()
{
    loads_->sendBatch();
}

void MainWindow::MnuHeader_Click()
{
    HeadFlaG = true;
    ShoHeadeR();
}

void MainWindow::Command20_Click()
{
    HeadFlaG = false;
    ShoHeadeR();
}

void MainWindow::ShoHeadeR()
{
    tone->applyHeaderMode(HeadFlaG);
}

void MainWindow::memEdit_Click()
{
    setEnabled(false);
    extraHeaderWindow->openWindow();
}

void MainWindow::FTDIUSB_Click()
{
    setEnabled(false);
    usbModeWindow->openWindow();
}

void MainWindow::runUsb(const std::function<void()>& test)
{
    // The serial port is shut while the USB device is held: a job, so the
    // window's writers are held meanwhile.
    if (!session_.begin(Job::UsbTest)) return;
    test();
    session_.end(Job::UsbTest);
}

void MainWindow::IntClkRate_Click()
{
    setEnabled(false);
    clockWindow->openWindow();
}

void MainWindow::FixedFreq_Click()
{
    fixedWindow->show();
    hide();
}

void MainWindow::Debug_Click()
{
    // Window-modal: the main window takes no input while it is open.
    debugWindow->show();
}

void MainWindow::Command52_Click()
{
    pollWindow->show();
}

void MainWindow::Option1_Click()
{
    // Chirp mode needs the frames the header panel covers.
    if (HeadFlaG) Command20_Click();
    chirpPanel->setVisible(true);
    chirpPanel->Option1_Click();
    SetButtons();
}

void MainWindow::Option2_Click()
{
    chirpPanel->Option2_Click();
    chirpPanel->setVisible(false);
    SetButtons();
}

void MainWindow::updateOffsetMenu()
{
    // "Hires F" and "Fixed enable" each hold off chirp mode and the offset.
    const bool held = tone->hiresF->isChecked() || tonePage->state.fixedEnable;
    tone->chirpMode->setVisible(!held);
    enableIfAvailable(FoS, !held);
}

void MainWindow::Bout_Click()
{
    dialogs.inform(QStringLiteral("Velmar Plovan"), aboutText(VerSion));
}

void MainWindow::SetButtons()
{
    QWidget* focused = QApplication::focusWidget();
    applyButtons();
    keepFocus(focused);
}

void MainWindow::keepFocus(QWidget* focused)
{
    // Disabling the control that has the keyboard focus makes Qt move the
    // focus on; an operator working by keyboard gets it back once the
    // control is enabled again, unless the focus has been moved since.
    if (focused && !focused->isEnabled()) {
        if (!parkedFocus_) {
            parkedFocus_ = focused;
            focusMovedTo_ = QApplication::focusWidget();
        }
    }
    else if (parkedFocus_ && parkedFocus_->isEnabled()) {
        if (QApplication::focusWidget() == focusMovedTo_) parkedFocus_->setFocus(Qt::OtherFocusReason);
        parkedFocus_ = nullptr;
    }
}

void MainWindow::applyButtons()
{
    const Activity activity = session_.busy()  ? Activity::Job
                              : busyDepth_ > 0 ? Activity::Procedure
                                               : Activity::Idle;
    const ControlRules rules = controlRules(link_.Connected, activity, tone->chirpMode->isChecked());
    // While a job holds the link, the pages and panels that write go as a
    // whole, so no control of theirs can be missed.
    for (QWidget* page : std::initializer_list<QWidget*>{tabs->widget(0), tabs->widget(1), directPanel,
                                                         headerPanel, chirpPanel})
        page->setEnabled(rules.pages);
    terminal->setTyping(rules.terminalTyping);

    const bool on = rules.settings;
    tone->enableWriters(on, activity == Activity::Procedure, !tonePage->state.maintainOffset);
    directPanel->enableWriters(on);
    for (QWidget* w : std::initializer_list<QWidget*>{testPanel->loop, headerPanel->Command8,
                                                      testPanel->usbImageButton, testPanel->testLutButton})
        w->setEnabled(on);
    enableIfAvailable(MnuCal->menuAction(), rules.toolsMenu);
    for (QAction* send : {MnuMorv, MnuSendBatch, MnuRaw, MnuMultiChirp})
        enableIfAvailable(send, rules.loadMenus);
    for (QAction* port : {mnuOpen, mnuProperties})
        enableIfAvailable(port, rules.portControls);
    mnuOpen->setChecked(link_.Connected);
    connection->connectButton->setEnabled(rules.portControls);
    connection->connect2Button->setText(link_.Connected ? QStringLiteral("Disconnect")
                                                        : QStringLiteral("Connect"));
    connection->connect2Button->setEnabled(rules.portControls);
}

void MainWindow::procedureBusy(bool busy)
{
    if (busy)
        ++busyDepth_;
    else if (busyDepth_ > 0 && --busyDepth_ == 0 && !link_.portOpen())
        link_.Connected = false; // the port went during the writes
    SetButtons();
}

void MainWindow::showMainControls(bool visible)
{
    for (QWidget* w : std::initializer_list<QWidget*>{connection->connectButton, directPanel->intTrigButton,
                                                      directPanel->clearButton, directPanel->intClockButton,
                                                      directPanel->resetButton, terminal})
        w->setVisible(visible);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (const std::optional<Job> job = session_.job()) {
        // Never quit with the unit mid-load: the job is cancelled (a load
        // runs its abort sequence) and the window closes once it has ended.
        event->ignore();
        if (isLoad(*job) && !terminating_ &&
            !dialogs.askYesNo(QStringLiteral("Velmar Plovan"),
                              QStringLiteral("A load is running. Cancel it, clear the unit and quit?")))
            return;
        if (std::exchange(closeAfterJob_, true)) return;
        session_.stop([this] {
            closeAfterJob_ = false;
            QTimer::singleShot(0, this, &QWidget::close);
        });
        return;
    }
    Form_Unload();
    event->accept();
}

} // namespace plovan
