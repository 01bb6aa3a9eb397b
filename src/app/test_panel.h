// The main window's direct-command buttons and the bench-test frame
// "Testing Testing". Both only hand clicks to DirectCommands; what belongs to
// other panels (the echo box, the tone boxes, the polling window) leaves as
// signals.
#pragma once

#include <QGroupBox>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace plovan {

class UnitSession;

class DirectCommands;

// The one-command buttons next to the connection controls.
class DirectCommandPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit DirectCommandPanel(DirectCommands& commands, QWidget* parent = nullptr);

    QPushButton* intTrigButton;  // Command2 "Int Trig"
    QPushButton* clearButton;    // Command3 "Clear"
    QPushButton* laserButton;    // Command4 "Toggle Laser/RF"
    QPushButton* intClockButton; // Command5 "Int Clock"
    QPushButton* resetButton;    // Command9 "Reset"
    QPushButton* setButton;      // Command13 "Set"

    // "Clear" and "Reset" come back in chirp mode; in single-tone mode the
    // trigger button becomes "1 Shot".
    void applyMode(bool chirp);
    // Enables the buttons when the unit may be written to.
    void enableWriters(bool writable);
};

// The bench panel keeps its own "Save to DDS", "Clear Flash" and "CLS" as they
// are in both modes, so a mode switch passes it by.

class TestPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TestPanel(DirectCommands& commands, QWidget* parent = nullptr);
    // Enables the controls that write to the unit ("Loop", the USB image
    // and "TEST LUT file").
    void enableWriters(bool writable);
    // The USB bench tests run on `session`'s USB route, each as a job: the
    // serial port is shut while the USB device is held.
    void attachUsb(UnitSession& session);

    QPushButton* echoClsButton;      // Command12 "cls"
    QPushButton* clearFlashButton;   // Command16 "Clear Flash"
    QPushButton* terminalClsButton;  // Command21 "CLS"
    QPushButton* avButton;           // Command23 "=AV"
    QPushButton* lodsaUButton;       // Command24 "Lodsa U"
    QPushButton* repeatWriteButton;  // Command25
    QLineEdit* repeatDataBox;        // Text32
    QLineEdit* repeatRegisterBox;    // Text33
    QPushButton* daButton;           // Command26 "D/A"
    QPushButton* yffAvButton;        // Command27 "=YFF =AV"
    QPushButton* statusButton;       // Command28 "=v"
    QPushButton* linkStartButton;    // Command29 "=r"
    QPushButton* pattern00Button;    // Command30 "MOO"
    QPushButton* patternFFButton;    // Command31 "MFF"
    QPushButton* port00Button;       // Command32 "OOH!"
    QPushButton* portFFButton;       // Command33 "OOFF"
    QPushButton* iButton;            // Command34 "=i"
    QPushButton* ampRegistersButton; // Command35 "=dA3 A4"
    QPushButton* nButton;            // Command36 "=n"
    QPushButton* ledButton;          // Command37 "LED"
    QPushButton* readbackButton;     // Command38 "Readback"
    QPushButton* fillFFButton;       // Command39 "Fill FF"
    QPushButton* fill00Button;       // Command40 "Fill 00"
    QPushButton* set50Button;        // Command41 "Set 50"
    QPushButton* set80Button;        // Command42 "set80"
    QPushButton* ampFFReadButton;    // Command43 "Amp FF Readback"
    QPushButton* amp0ReadButton;     // Command44 "Amp 0 Readback"
    QPushButton* exButton;           // Command45 "eX"
    QPushButton* readRegisterButton; // Command46
    QLineEdit* readRegisterBox;      // Text34
    QPushButton* walkRegisterButton; // Command47
    QPushButton* updateSeriesButton; // Command49 "=U=Df046=U"
    QPushButton* updateButton;       // Command51 "U"
    QPushButton* pollButton;         // Command52 "Poll"
    QPushButton* fastButton;         // Command53 "Fast!!"
    QPushButton* writeModeOffButton; // Command58 "=W0"
    QPushButton* loadVcpButton;      // Command60 "=L VCP"
    QCheckBox* saveToDds;            // Check11 "Save to DDS"
    QCheckBox* extTrig;              // Check15 "Ext Trig"
    QCheckBox* loop;                 // Check16 "Loop"
    QPushButton* stopButton;         // ends the running test series
    // The USB route's tests.
    QPushButton* ftdiTestButton; // Command55 "FTDI Test"
    QPushButton* ftdiSendButton; // Command56 "FTDI Send"
    QPushButton* openExButton;   // Command63
    QPushButton* viaDllButton;   // Command59 "= * via DLL "
    QLineEdit* viaDllBox;        // Text35: the command after "="
    QPushButton* usbImageButton; // Command57: an image file over USB, each reply read
    QCheckBox* skipCrc;          // Check1 "Skip CRC": LUT lines go without their CRC
    QPushButton* testLutButton;  // Command18 "TEST LUT file"

signals:
    void clearEchoRequested(); // "cls": empty Text20
    // "Set 50"/"set80": texts for the frequency (Text1) and amplitude (Text3) boxes.
    void toneTextsRequested(const QString& frequency, const QString& amplitude);
    void pollRequested();
    void ftdiTestRequested();
    void ftdiSendRequested();
    void openExRequested();
    // "= * via DLL " with Text35's text.
    void viaDllRequested(const QString& command);
    // Command57, with Text35's text for its "sent ok!!" lines.
    void usbImageRequested(const QString& label);
    void testLutRequested(); // Command18
};

} // namespace plovan
