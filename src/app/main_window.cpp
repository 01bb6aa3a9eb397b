#include "main_window.h"

#include "backend_factory.h"
#include "chirp_mode.h"
#include "chirp_panel.h"
#include "chirp_programmer.h"
#include "comm_log.h"
#include "connection_panel.h"
#include "direct_commands.h"
#include "header_panel.h"
#include "load_jobs.h"
#include "log_menu.h"
#include "menu_table.h"
#include "offset_controller.h"
#include "port_settings_dialog.h"
#include "power_monitor.h"
#include "remote_control.h"
#include "settings_files.h"
#include "single_tone_panel.h"
#include "terminal_panel.h"
#include "test_panel.h"
#include "tone_page.h"
#include "tool_windows.h"
#include "traffic_log.h"
#include "transfer_panel.h"
#include "unit_panel.h"
#include "unit_status_label.h"
#include "window_controls.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

namespace plovan {

MainWindow::MainWindow(QWidget* parent, const LaunchOptions& launch)
    : QMainWindow(parent), dialogs_(Dialogs::forWindow(this)), launch_(launch)
{
    setObjectName(QStringLiteral("frmTerminal"));
    setWindowTitle(QStringLiteral("Velmar Plovan"));
    auto* central = new QWidget(this);
    buildPanels(central);
    setCentralWidget(central);
    buildMenus();
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->addPermanentWidget(new UnitStatusLabel(session_, statusBar()));
    controls_ = std::make_unique<WindowControls>(
        session_, tonePage_->state,
        WindowControls::Parts{tabs_, terminal_, tone_, directPanel_, headerPanel_, chirpPanel_, testPanel_,
                              connection_, toolsMenu_->menuAction(), loadItems_, portItems_, portOpenItem_});
    wirePanels();

    resize(1280, 720);
    Form_Load();
    tools_ = std::make_unique<ToolWindows>(session_, dialogs_, *tonePage_, *this, settingsDir_);
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

MainWindow::~MainWindow()
{
    direct_->cancel();
    link_.cancelWaits();
}

void MainWindow::buildPanels(QWidget* central)
{
    tabs_ = new QTabWidget(central);
    tabs_->setObjectName(QStringLiteral("tabs"));
    tonePage_ = new TonePage(session_, dialogs_, nullptr);
    tonePage_->setParent(this);
    tone_ = tonePage_->panel;
    direct_ = new DirectCommands(link_, tonePage_->state, this);
    testPanel_ = new TestPanel(*direct_, tabs_);
    headerPanel_ = new HeaderPanel(link_);
    tone_->setHeaderPanel(headerPanel_);
    headerPanel_->run = [this](const std::function<bool()>& procedure) {
        controls_->procedureBusy(true);
        const bool ok = procedure();
        controls_->procedureBusy(false);
        return ok;
    };
    connect(headerPanel_, &HeaderPanel::escPressed, this, [this] { showHeader(false); });
    auto* toneScroll = new QScrollArea(tabs_);
    toneScroll->setWidget(tone_);
    toneScroll->setWidgetResizable(true);
    toneScroll->setFrameShape(QFrame::NoFrame);
    tabs_->addTab(toneScroll, QStringLiteral("Synthesiser"));
    tabs_->addTab(testPanel_, QStringLiteral("Testing Testing"));

    connection_ = new ConnectionPanel(central);
    directPanel_ = new DirectCommandPanel(*direct_, central);
    terminal_ = new TerminalPanel(central);
    transfer_ = new TransferPanel(link_, central);
    transfer_->setUsbRoute(&usb_);
    buildChirp();
    // The ramp panel is wider than the column on a small screen: it scrolls
    // sideways rather than pushing the window off the screen.
    chirpScroll_ = new QScrollArea(central);
    chirpScroll_->setWidget(chirpPanel_);
    chirpScroll_->setWidgetResizable(true);
    chirpScroll_->setFrameShape(QFrame::NoFrame);
    chirpScroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chirpScroll_->setMinimumHeight(chirpPanel_->minimumSizeHint().height() +
                                   chirpScroll_->horizontalScrollBar()->sizeHint().height());
    showChirpPanel(false);
    versionLabel_ = new QLabel(version_, central);
    versionLabel_->setObjectName(QStringLiteral("Label3"));
    auto* right = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    top->addWidget(connection_);
    top->addWidget(directPanel_, 1);
    right->addLayout(top);
    // In chirp mode the ramp fields and preview take the upper part of the
    // terminal's column.
    right->addWidget(chirpScroll_);
    right->addWidget(terminal_, 1);
    right->addWidget(transfer_);
    right->addWidget(versionLabel_, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(central);
    layout->addWidget(tabs_, 3);
    layout->addLayout(right, 2);
}

void MainWindow::buildChirp()
{
    chirp_ = std::make_unique<ChirpProgrammer>(link_, tonePage_->state, tonePage_->hooks, tonePage_->tone);
    ChirpPanel::Shared shared;
    shared.startBox = tone_->frequencyBox;
    shared.stopBox = tone_->phaseBox;
    shared.amplitudeSlider = tone_->amplitudeSlider;
    shared.inverseSinc = tone_->inverseSinc;
    chirpPanel_ = new ChirpPanel(*chirp_, shared);
    chirpPanel_->setObjectName(QStringLiteral("ChirpPanel"));
    chirpPanel_->setVisible(false);
    chirpPanel_->run = [this](const std::function<bool()>& procedure) { return tonePage_->run(procedure); };
    // The mode switch asks each panel of this window in turn; the bench panel
    // keeps its copies of the chirp controls in both modes.
    chirpPanel_->applyModeToWindow = [this](bool chirpMode) {
        tone_->applyMode(chirpMode);
        directPanel_->applyMode(chirpMode);
        terminal_->applyMode(chirpMode);
        applyMode(ModeMenus{mnuFile_, mnuPort_, toolsMenu_}, chirpMode);
    };
    tonePage_->chirpStatus = [this] { return chirpPanel_->StatuZ(); };
    tonePage_->channels.StatuZ = [this] { chirpPanel_->StatuZ(); };
    connect(tone_->chirpMode, &QRadioButton::clicked, this, &MainWindow::Option1_Click);
    connect(tone_->singleMode, &QRadioButton::clicked, this, &MainWindow::Option2_Click);

    // The chirp panel's "Save to DDS" and "Ext Trig" and the bench panel's are
    // two views of one setting.
    const auto mirror = [this](QCheckBox* a, QCheckBox* b) {
        connect(a, &QCheckBox::toggled, b, &QCheckBox::setChecked);
        connect(b, &QCheckBox::toggled, a, &QCheckBox::setChecked);
    };
    mirror(chirpPanel_->saveToDds, testPanel_->saveToDds);
    mirror(chirpPanel_->extTrig, testPanel_->extTrig);
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    mnuFile_ = addMenu(bar, "mnuFile", QStringLiteral("&File"),
                       {{"mnuOpenLog", QStringLiteral("&Open Log File...")},
                        {"mnuCloseLog", QStringLiteral("&Close Log File")},
                        {"M3", {}},
                        {"MnuMorv", QStringLiteral("&Send Velmar File..."), [this] { loads_->sendTable(table::kImage); }},
                        {"MnuSendBatch", QStringLiteral("Send Batch"), [this] { loads_->sendBatch(); }},
                        {"MnuRaw", QStringLiteral("Send DataQ..."), [this] { loads_->sendTable(table::kRaw); }},
                        {"MnuMultiChirp", QStringLiteral("Send Multichirp"),
                         [this] { loads_->sendTable(table::kMultichirp); }},
                        {"Bar2", {}},
                        {"mnuFileExit", QStringLiteral("E&xit"), [this] { close(); }}});
    mnuPort_ = addMenu(
        bar, "mnuPort", QStringLiteral("&Comms"),
        {{"mnuOpen", QStringLiteral("Port &Open")},
         {"MBar1", {}},
         {"mnuProperties", QStringLiteral("Properties..."),
          [this] {
              PortSettingsDialog dialog(session_.portSettings(), this);
              if (dialog.exec() == QDialog::Accepted) session_.setPortSettings(dialog.settings());
          }},
         {"FTDIUSB", QStringLiteral("USB Mode"), [this] { tools_->openUsbMode(); }},
         {"Bar3", {}}});
    new remote::RemoteControl(*this, session_, mnuPort_, settingsDir());
    toolsMenu_ = addMenu(
        bar, "MnuCal", QStringLiteral("&Tools"),
        {{"memEdit", QStringLiteral("Mem Edit"), [this] { tools_->openExtraHeader(); }},
         {"cal", QStringLiteral("Edit LUT"), [this] { tools_->openCalEditor(); }},
         {"Vswr", QStringLiteral("VSWR"), [this] { tools_->startVswr(); }},
         {"menuSndLUT", QStringLiteral("Send LUT"), [this] { loads_->sendLut(); }},
         {"SetFreqLimits", QStringLiteral("F Limits"), [this] { tools_->openLimits(); }},
         {"FoS", QStringLiteral("Frequency Offset"), [this] { tools_->openOffset(); }},
         {"IntClkRate", QStringLiteral("Int Clock Rate"), [this] { tools_->openClock(); }},
         {"FixedFreq", QStringLiteral("Fix Freq RF1"), [this] { tools_->openFixedFrequency(); }},
         {"Debug", QStringLiteral("Debug"), [this] { tools_->openDebug(); }},
         {"MnuHeader", QStringLiteral("Header"), [this] { showHeader(true); }},
         {"CalWizard", QStringLiteral("Calibration wizard..."),
          [this] { tools_->openCalWizard([this](const QString& path) { loads_->sendLut(path); }); }},
         {"PowerMonitor", QStringLiteral("Power monitor"), [this] { tools_->openPowerMonitor(); }},
         {"Traffic", QStringLiteral("Traffic"), [this] { tools_->openTraffic(); }}});
    QAction* about = bar->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("Bout"));
    connect(about, &QAction::triggered, this,
            [this] { dialogs_.inform(QStringLiteral("Velmar Plovan"), aboutText(version_)); });

    log_ = std::make_unique<LogMenu>(link_, dialogs_, *this, menuItem(mnuFile_, "mnuOpenLog"),
                                     menuItem(mnuFile_, "mnuCloseLog"));
    loadItems_ = {menuItem(mnuFile_, "MnuMorv"), menuItem(mnuFile_, "MnuSendBatch"), menuItem(mnuFile_, "MnuRaw"),
                  menuItem(mnuFile_, "MnuMultiChirp")};
    portOpenItem_ = menuItem(mnuPort_, "mnuOpen");
    portOpenItem_->setCheckable(true);
    // "Port Open" shows the port's state; choosing it changes nothing.
    connect(portOpenItem_, &QAction::triggered, this, &MainWindow::SetButtons);
    portItems_ = {portOpenItem_, menuItem(mnuPort_, "mnuProperties")};
    offsetItem_ = menuItem(toolsMenu_, "FoS");
}

void MainWindow::wirePanels()
{
    connection_->attach(session_, dialogs_);
    terminal_->attach(link_);
    connect(&link_, &Link::statusMessage, this, [this](const QString& m) { statusBar()->showMessage(m); });
    connect(&link_, &Link::connectionLost, this, [this] {
        direct_->cancel();
        SetButtons();
    });
    connect(&session_, &UnitSession::jobChanged, this, &MainWindow::SetButtons);
    connect(&session_, &UnitSession::connectionChanged, this, &MainWindow::SetButtons);
    connect(&session_, &UnitSession::limitsChanged, this,
            [this] { tone_->setLimits(session_.model().minFrequency, session_.model().maxFrequency); });

    SynthHooks& hooks = tonePage_->hooks;
    hooks.busy = [this](bool busy) { controls_->procedureBusy(busy); };
    hooks.warn = [this](const std::string& m) { statusBar()->showMessage(QString::fromStdString(m)); };
    connect(tonePage_, &TonePage::hiresChanged, this, &MainWindow::updateOffsetMenu);
    connect(tonePage_, &TonePage::mainVisibleChanged, this, &MainWindow::showMainControls);
    connect(tonePage_, &TonePage::runCaptionsChanged, this, &MainWindow::SetButtons);
    connect(tone_->extEnable, &QPushButton::clicked, this,
            [this] { tonePage_->Command11_Click(testPanel_->loop->isChecked()); });
    connect(tone_->offsetLabel, &QLabel::linkActivated, this, [this] {
        if (offsetItem_->isEnabled()) tools_->openOffset();
    });

    tonePage_->serve(*direct_);
    connect(testPanel_->loop, &QCheckBox::toggled, this, [this](bool ticked) { direct_->loopTicked = ticked; });
    connect(testPanel_, &TestPanel::clearEchoRequested, tone_->echoBox, &QPlainTextEdit::clear);
    connect(testPanel_, &TestPanel::toneTextsRequested, this, [this](const QString& f, const QString& a) {
        tone_->frequencyBox->setText(f);
        tone_->amplitudeBox->setText(a);
    });
    connect(testPanel_, &TestPanel::pollRequested, this, [this] { tools_->openPoll(); });
    testPanel_->attachUsb(session_);
    connect(testPanel_, &TestPanel::usbImageRequested, this, [this](const QString& t) { loads_->sendUsbImage(t); });
    connect(testPanel_, &TestPanel::testLutRequested, this, [this] { loads_->sendTestLut(); });
    connect(transfer_, &TransferPanel::status, this, [this](const QString& m) { statusBar()->showMessage(m); });
}

void MainWindow::buildUnitViews()
{
    loads_ = std::make_unique<LoadJobs>(
        session_, dialogs_,
        LoadJobs::Parts{transfer_, &tools_->headerWindow(), headerPanel_, testPanel_, settingsDir_});
    connect(loads_.get(), &LoadJobs::stateChanged, this, &MainWindow::SetButtons);
    connect(loads_.get(), &LoadJobs::holdWindow, this, [this](bool held) { setEnabled(!held); });
    connect(tools_.get(), &ToolWindows::maintainChanged, this, [this](bool ticked) {
        tone_->offsetLabel->setVisible(ticked);
        SetButtons();
    });
    connect(tools_.get(), &ToolWindows::fixedEnableChanged, this, &MainWindow::updateOffsetMenu);
    connect(tools_.get(), &ToolWindows::vswrCancelled, this, [this] { showMainControls(true); });
    connect(&tools_->powerMonitor(), &PowerMonitor::tripped, &log_->log(), &CommLog::note);

    // The unit at a glance, docked beside the panels.
    auto* unitPanel = new UnitPanel(session_, this);
    addDockWidget(Qt::RightDockWidgetArea, unitPanel);
    toolsMenu_->insertAction(menuItem(toolsMenu_, "Traffic"), unitPanel->toggleViewAction());
}

void MainWindow::Form_Load()
{
    tonePage_->state.Amp2FixeD = "0800";
    link_.setTestMode(false);
    link_.USBStatus = false;
    link_.saveToDds = false;
    settingsDir_ = settingsDir();
    const StartupSettings loaded = LoadSettings(settingsDir_);
    session_.applyStartup(loaded, launch_.port);
    tone_->setLimits(loaded.MinFrequency, loaded.MaxFrequency);

    // The USB question comes once the port is known: the simulated unit's
    // USB face belongs to the simulated port.
    QString usbError;
    const std::optional<UsbChoice> usbChoice = launch_.usb ? launch_.usb : defaultUsbChoice(&usbError);
    if (!usbError.isEmpty()) link_.terminalLine(usbError);
    usb_.setDevice(usbChoice ? makeFtdiDevice(*usbChoice, link_, session_.portSettings()) : nullptr);
    const UsbStartup usb = usb_.probeAtStartup();
    log_->setCaption(QStringLiteral("Velmar Plovan") + usb.captionNote);
    version_ = usb.VerSion;
    versionLabel_->setText(version_);
    if (!usb.descriptionLine.isEmpty()) link_.terminalLine(usb.descriptionLine);

    // The sliders show the boxes' start values without sending anything.
    SingleTonePanel::setQuietly(tone_->frequencySlider, tone_->frequencyBox->text().toInt());
    SingleTonePanel::setQuietly(tone_->phaseSlider, tone_->phaseBox->text().toInt());
    SingleTonePanel::setQuietly(tone_->amplitudeSlider, tone_->amplitudeBox->text().toInt());
}

bool MainWindow::Form_Unload()
{
    direct_->cancel();
    link_.cancelWaits();
    link_.closePort();
    log_->log().close();
    tools_->closeAll();
    // A maintained offset lowers the maximum only while it is maintained.
    const QString error = saveSettings(settingsDir_, session_.savedPortSettings(), tools_->offset().SavedMax(),
                                       tools_->offset().SavedMin());
    if (error.isEmpty()) return true;
    std::fprintf(stderr, "plovan: %s\n", qPrintable(error));
    const QString message = QStringLiteral("The settings could not be saved:\n") + error;
    // Ending on a signal waits for nobody's click.
    if (terminating_)
        link_.terminalLine(message);
    else
        dialogs_.warn(QStringLiteral("Velmar Plovan"), message);
    return false;
}

void MainWindow::terminate()
{
    terminating_ = true;
    cancelOpenDialogs();
    // A job is stopped first (a load clears the unit), without a question.
    session_.stop([this] {
        close();
        QCoreApplication::quit();
    });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (const std::optional<Job> job = session_.job()) {
        // Never quit with the unit mid-load: the job is cancelled (a load
        // runs its abort sequence) and the window closes once it has ended.
        event->ignore();
        if (isLoad(*job) && !terminating_ &&
            !dialogs_.askYesNo(QStringLiteral("Velmar Plovan"),
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

void MainWindow::setPortSettings(const PortSettings& settings, bool persist)
{
    session_.setPortSettings(settings, persist);
}

void MainWindow::setAckTimeoutMs(int ms)
{
    connection_->ackTimeout->setValue(ms);
}

bool MainWindow::batchRunning() const
{
    return loads_ && loads_->batchRunning();
}

void MainWindow::SetButtons()
{
    controls_->apply();
}

void MainWindow::showHeader(bool shown)
{
    tone_->applyHeaderMode(shown);
}

void MainWindow::Option1_Click()
{
    // Chirp mode needs the frames the header panel covers.
    showHeader(false);
    showChirpPanel(true);
    chirpPanel_->Option1_Click();
    SetButtons();
}

void MainWindow::Option2_Click()
{
    chirpPanel_->Option2_Click();
    showChirpPanel(false);
    SetButtons();
}

void MainWindow::showChirpPanel(bool shown)
{
    chirpPanel_->setVisible(shown);
    chirpScroll_->setVisible(shown);
}

void MainWindow::updateOffsetMenu()
{
    // "Hires F" and "Fixed enable" each hold off chirp mode and the offset.
    const bool held = tone_->hiresF->isChecked() || tonePage_->state.fixedEnable;
    tone_->chirpMode->setVisible(!held);
    offsetItem_->setEnabled(!held);
}

void MainWindow::showMainControls(bool visible)
{
    for (QWidget* w : std::initializer_list<QWidget*>{connection_->connectButton, directPanel_->intTrigButton,
                                                      directPanel_->clearButton, directPanel_->intClockButton,
                                                      directPanel_->resetButton, terminal_})
        w->setVisible(visible);
}

} // namespace plovan
