#include "test_panel.h"

#include "direct_commands.h"
#include "named.h"
#include "unit_commands.h"
#include "unit_session.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace plovan {

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

// A box for one hex byte: the test commands take their argument from it as typed.
QLineEdit* makeHexByteBox(QWidget* parent, const char* name, const QString& placeholder, const QString& hint)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,2}")), box));
    box->setMaxLength(2);
    box->setPlaceholderText(placeholder);
    box->setToolTip(hint);
    box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("MMMM")));
    return box;
}

std::string boxText(const QLineEdit* box)
{
    return box->text().toLatin1().toStdString();
}

} // namespace

DirectCommandPanel::DirectCommandPanel(DirectCommands& commands, QWidget* parent)
    : QGroupBox(tr("Unit"), parent)
{
    DirectCommands* c = &commands;
    intTrigButton = makeButton(this, "Command2", QStringLiteral("Int Trig"));
    clearButton = makeButton(this, "Command3", QStringLiteral("Clear"));
    laserButton = makeButton(this, "Command4", QStringLiteral("Toggle Laser/RF"));
    intClockButton = makeButton(this, "Command5", QStringLiteral("Int Clock"));
    resetButton = makeButton(this, "Command9", QStringLiteral("Reset"));
    setButton = makeButton(this, "Command13", QStringLiteral("Set"));

    connect(intTrigButton, &QPushButton::clicked, this, [c] { c->Command2_Click(); });
    connect(clearButton, &QPushButton::clicked, this, [c] { c->Command3_Click(); });
    connect(laserButton, &QPushButton::clicked, this, [c] { c->Command4_Click(); });
    connect(intClockButton, &QPushButton::clicked, this, [c] { c->Command5_Click(); });
    connect(resetButton, &QPushButton::clicked, this, [c] { c->Command9_Click(); });
    connect(setButton, &QPushButton::clicked, this, [c] { c->Command13_Click(); });

    auto* grid = new QGridLayout(this);
    grid->addWidget(intTrigButton, 0, 0);
    grid->addWidget(clearButton, 0, 1);
    grid->addWidget(resetButton, 0, 2);
    grid->addWidget(intClockButton, 1, 0);
    grid->addWidget(setButton, 1, 1);
    grid->addWidget(laserButton, 1, 2);
    grid->setRowStretch(2, 1);
}

void DirectCommandPanel::enableWriters(bool writable)
{
    for (QPushButton* b : {intTrigButton, clearButton, laserButton, intClockButton, resetButton, setButton})
        b->setEnabled(writable);
}

void TestPanel::enableWriters(bool writable)
{
    for (QWidget* w : std::initializer_list<QWidget*>{loop, usbImageButton, testLutButton})
        w->setEnabled(writable);
}

void TestPanel::attachUsb(UnitSession& session)
{
    const auto asJob = [&session](const std::function<void()>& test) {
        if (!session.begin(Job::UsbTest)) return;
        test();
        session.end(Job::UsbTest);
    };
    UsbRoute& usb = session.usb;
    connect(this, &TestPanel::ftdiTestRequested, this, [=, &usb] { asJob([&usb] { usb.Command55_Click(); }); });
    connect(this, &TestPanel::ftdiSendRequested, this, [=, &usb] {
        asJob([&usb] { usb.FtSend(QString::fromStdString(cmd::readStatus())); });
    });
    connect(this, &TestPanel::openExRequested, this, [=, &usb] { asJob([&usb] { usb.FtOpenEx(); }); });
    connect(this, &TestPanel::viaDllRequested, this, [=, &usb](const QString& command) {
        asJob([&usb, &command] { usb.Command59_Click(command); });
    });
}

void DirectCommandPanel::applyMode(bool chirp)
{
    intTrigButton->setVisible(true);
    if (chirp) {
        clearButton->setVisible(true);
        resetButton->setVisible(true);
    }
    else {
        intTrigButton->setText(QStringLiteral("1 Shot"));
    }
}

TestPanel::TestPanel(DirectCommands& commands, QWidget* parent)
    : QGroupBox(QStringLiteral("Testing Testing"), parent)
{
    setObjectName(QStringLiteral("TestingFrame"));
    DirectCommands* c = &commands;

    terminalClsButton = makeButton(this, "Command21", QStringLiteral("CLS"));
    echoClsButton = makeButton(this, "Command12", QStringLiteral("cls"));
    clearFlashButton = makeButton(this, "Command16", QStringLiteral("Clear Flash"));
    avButton = commandButton(this, "Command23", cmd::readAnalogue());
    statusButton = commandButton(this, "Command28", cmd::readStatus());
    linkStartButton = commandButton(this, "Command29", cmd::linkStart());

    lodsaUButton = makeButton(this, "Command24", QStringLiteral("Lodsa U"));
    repeatWriteButton = makeButton(this, "Command25", QStringLiteral("Command25"));
    repeatDataBox = makeHexByteBox(this, "Text32", tr("data"), tr("Data byte, hex"));
    repeatRegisterBox = makeHexByteBox(this, "Text33", tr("reg"), tr("Register, hex"));
    walkRegisterButton = makeButton(this, "Command47", QStringLiteral("Command47"));
    stopButton = makeButton(this, "StopLoop", QStringLiteral("Stop"));
    stopButton->setToolTip(tr("Ends the running test series"));
    stopButton->setEnabled(false);

    daButton = makeButton(this, "Command26", QStringLiteral("D/A"));
    yffAvButton = makeButton(this, "Command27", QLatin1String(DirectCommands::kCaption27));
    pattern00Button = makeButton(this, "Command30", QStringLiteral("MOO"));
    patternFFButton = makeButton(this, "Command31", QStringLiteral("MFF"));
    port00Button = makeButton(this, "Command32", QStringLiteral("OOH!"));
    portFFButton = makeButton(this, "Command33", QStringLiteral("OOFF"));

    iButton = commandButton(this, "Command34", cmd::test(cmd::Test::I));
    ampRegistersButton = makeButton(this, "Command35", QLatin1String(DirectCommands::kCaption35));
    nButton = commandButton(this, "Command36", cmd::test(cmd::Test::N));
    ledButton = makeButton(this, "Command37", QStringLiteral("LED"));
    readbackButton = makeButton(this, "Command38", QStringLiteral("Readback"));
    exButton = makeButton(this, "Command45", QStringLiteral("eX"));

    fillFFButton = makeButton(this, "Command39", QStringLiteral("Fill FF"));
    fill00Button = makeButton(this, "Command40", QStringLiteral("Fill 00"));
    set50Button = makeButton(this, "Command41", QStringLiteral("Set 50"));
    set80Button = makeButton(this, "Command42", QStringLiteral("set80"));
    ampFFReadButton = makeButton(this, "Command43", QStringLiteral("Amp FF Readback"));
    amp0ReadButton = makeButton(this, "Command44", QStringLiteral("Amp 0 Readback"));

    readRegisterButton = makeButton(this, "Command46", QStringLiteral("Command46"));
    readRegisterBox = makeHexByteBox(this, "Text34", tr("reg"), tr("Register, hex"));
    updateSeriesButton = makeButton(this, "Command49", QLatin1String(DirectCommands::kCaption49));
    updateButton = makeButton(this, "Command51", QStringLiteral("U"));
    writeModeOffButton = commandButton(this, "Command58", cmd::writeMode(false));
    loadVcpButton = makeButton(this, "Command60", QLatin1String(DirectCommands::kCaption60));

    pollButton = makeButton(this, "Command52", QStringLiteral("Poll"));
    fastButton = makeButton(this, "Command53", QStringLiteral("Fast!!"));
    saveToDds = new QCheckBox(QStringLiteral("Save to DDS"), this);
    saveToDds->setObjectName(QStringLiteral("Check11"));
    extTrig = new QCheckBox(QStringLiteral("Ext Trig"), this);
    extTrig->setObjectName(QStringLiteral("Check15"));
    loop = new QCheckBox(QStringLiteral("Loop"), this);
    loop->setObjectName(QStringLiteral("Check16"));

    ftdiTestButton = makeButton(this, "Command55", QStringLiteral("FTDI Test"));
    ftdiSendButton = makeButton(this, "Command56", QStringLiteral("FTDI Send"));
    ftdiSendButton->setToolTip(tr("Sends =v over USB and shows the reply"));
    openExButton = makeButton(this, "Command63", QStringLiteral("Command63"));
    openExButton->setToolTip(tr("Opens the USB device by a blank description"));
    viaDllButton = makeButton(this, "Command59", QStringLiteral("= * via DLL "));
    viaDllButton->setToolTip(tr("Sends = and the box's command over USB"));
    usbImageButton = makeButton(this, "Command57", QStringLiteral("Command57"));
    usbImageButton->setToolTip(tr("Sends an image file over USB, reading the unit's reply after each write"));
    skipCrc = new QCheckBox(QStringLiteral("Skip CRC"), this);
    skipCrc->setObjectName(QStringLiteral("Check1"));
    skipCrc->setToolTip(tr("\"Send LUT\" sends the file's lines without their CRC"));
    testLutButton = makeButton(this, "Command18", QStringLiteral("TEST LUT file"));
    testLutButton->setToolTip(tr("Loads \"0 thisone.cal\" from the working folder, 0.2 s a line"));
    viaDllBox = new QLineEdit(this);
    viaDllBox->setObjectName(QStringLiteral("Text35"));
    viaDllBox->setPlaceholderText(tr("command"));
    viaDllBox->setToolTip(tr("Command after \"=\", e.g. v"));
    // Printable characters only: what goes out is "=" + the text + CR LF.
    viaDllBox->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[ -~]*")), viaDllBox));

    const auto wire = [this](QPushButton* button, auto handler) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    wire(terminalClsButton, [c] { c->Command21_Click(); });
    wire(echoClsButton, [this] { emit clearEchoRequested(); });
    wire(clearFlashButton, [c] { c->Command16_Click(); });
    wire(avButton, [c] { c->Command23_Click(); });
    wire(statusButton, [c] { c->Command28_Click(); });
    wire(linkStartButton, [c] { c->Command29_Click(); });
    wire(lodsaUButton, [c] { c->Command24_Click(); });
    wire(repeatWriteButton,
         [this, c] { c->Command25_Click(boxText(repeatDataBox), boxText(repeatRegisterBox)); });
    wire(walkRegisterButton, [c] { c->Command47_Click(); });
    wire(stopButton, [c] { c->cancel(); });
    wire(daButton, [c] { c->Command26_Click(); });
    wire(yffAvButton, [c] { c->Command27_Click(); });
    wire(pattern00Button, [c] { c->Command30_Click(); });
    wire(patternFFButton, [c] { c->Command31_Click(); });
    wire(port00Button, [c] { c->Command32_Click(); });
    wire(portFFButton, [c] { c->Command33_Click(); });
    wire(iButton, [c] { c->Command34_Click(); });
    wire(ampRegistersButton, [c] { c->Command35_Click(); });
    wire(nButton, [c] { c->Command36_Click(); });
    wire(ledButton, [c] { c->Command37_Click(); });
    wire(readbackButton, [c] { c->Command38_Click(); });
    wire(exButton, [c] { c->Command45_Click(); });
    wire(fillFFButton, [c] { c->Command39_Click(); });
    wire(fill00Button, [c] { c->Command40_Click(); });
    wire(set50Button, [this] { emit toneTextsRequested(QStringLiteral("50"), QStringLiteral("1024")); });
    wire(set80Button, [this] { emit toneTextsRequested(QStringLiteral("80"), QStringLiteral("1024")); });
    wire(ampFFReadButton, [c] { c->Command43_Click(); });
    wire(amp0ReadButton, [c] { c->Command44_Click(); });
    wire(readRegisterButton, [this, c] { c->Command46_Click(boxText(readRegisterBox)); });
    wire(updateSeriesButton, [c] { c->Command49_Click(); });
    wire(updateButton, [c] { c->Command51_Click(); });
    wire(writeModeOffButton, [c] { c->Command58_Click(); });
    wire(loadVcpButton, [c] { c->Command60_Click(); });
    wire(pollButton, [this] { emit pollRequested(); });
    wire(ftdiTestButton, [this] { emit ftdiTestRequested(); });
    wire(ftdiSendButton, [this] { emit ftdiSendRequested(); });
    wire(openExButton, [this] { emit openExRequested(); });
    wire(viaDllButton, [this] { emit viaDllRequested(viaDllBox->text()); });
    wire(usbImageButton, [this] { emit usbImageRequested(viaDllBox->text()); });
    wire(testLutButton, [this] { emit testLutRequested(); });
    wire(fastButton, [c] { c->Command53_Click(); });
    connect(saveToDds, &QCheckBox::toggled, this, [c](bool ticked) { c->Check11_Click(ticked); });
    // The mirror follows every change; only the operator's click rewrites the unit.
    connect(loop, &QCheckBox::toggled, this, [c](bool ticked) { c->loopTicked = ticked; });
    connect(loop, &QCheckBox::clicked, this, [c] { c->Check16_Click(); });
    connect(c, &DirectCommands::longRunChanged, stopButton, &QPushButton::setEnabled);
    c->loopTicked = loop->isChecked();

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    int row = 0;
    const auto addRow = [grid, &row](std::initializer_list<QWidget*> widgets) {
        int column = 0;
        for (QWidget* w : widgets)
            grid->addWidget(w, row, column++);
        ++row;
    };
    addRow({terminalClsButton, echoClsButton, clearFlashButton, avButton, statusButton, linkStartButton});
    addRow(
        {lodsaUButton, repeatWriteButton, repeatDataBox, repeatRegisterBox, walkRegisterButton, stopButton});
    addRow({daButton, yffAvButton, pattern00Button, patternFFButton, port00Button, portFFButton});
    addRow({iButton, ampRegistersButton, nButton, ledButton, readbackButton, exButton});
    addRow({fillFFButton, fill00Button, set50Button, set80Button, ampFFReadButton, amp0ReadButton});
    addRow({readRegisterButton, readRegisterBox, updateSeriesButton, updateButton, writeModeOffButton,
            loadVcpButton});
    addRow({pollButton, fastButton, saveToDds, extTrig, loop});
    addRow({ftdiTestButton, ftdiSendButton, openExButton, viaDllButton, viaDllBox, usbImageButton});
    addRow({testLutButton, skipCrc});
    grid->setRowStretch(row, 1);
}

} // namespace plovan
