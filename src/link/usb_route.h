// The USB route to the unit: the start-up question whether a device is
// there, the bench tests ("FTDI Test", "FTDI Send", "= * via DLL ",
// Command63) and the open, read and close steps of the file transfers.
// Ordinary commands keep going over the serial port.
//
// Bytes written over USB are announced as the Link's bytesSent, and the bench
// tests' replies go through the Link's receive handler, so the communications
// log (and plovanctl -v) record USB traffic as they record the serial port's;
// both inside a Link::UsbBytes scope, so the traffic view names the route.
//
// Every message goes to the terminal on a line of its own, under the names
// operators know ("Open Failed", "Q length = 33"); when the device layer
// knows why a step failed (access denied, unplugged), that follows on the
// next line.
//
// A chip taken over through USB is lost to the kernel's serial driver while
// it is held, so every USB use goes through a SerialHandOver: the serial port
// is closed for it and opened again afterwards, whichever way the use ends.
// The device node may take a moment to come back; the reopen is retried until
// reopenDeadlineMs, and reported when it does not come back.
#pragma once

#include "ftdi_device.h"

#include <QObject>
#include <QString>
#include <memory>

namespace plovan {

class Link;

inline constexpr char kPlovanVersion[] = "3.09";
inline constexpr char kNoUsbCaptionNote[] = " No usb found RS232 only";

// What start-up takes from the USB question.
struct UsbStartup {
    QString VerSion;     // "3.09", or "3.09 usb" with a device
    QString captionNote; // appended to the window caption; empty with a device
    // FtGetDescrp's line, shown in the terminal; empty without a device.
    QString descriptionLine;
};

// A device layer for builds or runs without USB: every call fails, saying why.
class NoFtdiDevice : public FtdiDevice {
public:
    explicit NoFtdiDevice(QString why = QStringLiteral("USB is switched off (--usb-device none)"))
        : why_(std::move(why))
    {
    }
    FtStatus countDevices(int& count) override;
    FtStatus description(int index, QString& text) override;
    FtStatus serialNumber(int index, QString& text) override;
    QString name() const override { return QStringLiteral("no USB"); }

protected:
    FtStatus openDevice(const QString&) override { return fail(FtStatus::DeviceNotFound, why_); }
    FtStatus writeDevice(const QByteArray&, qint64&) override { return fail(FtStatus::DeviceNotFound, why_); }
    FtStatus closeDevice() override { return FtStatus::Ok; }
    FtStatus fetch(QByteArray&) override { return fail(FtStatus::DeviceNotFound, why_); }

private:
    QString why_;
};

class UsbRoute : public QObject {
    Q_OBJECT
public:
    static constexpr int kReopenRetryMs = 100;
    // A reply is taken as complete once this long has passed without a byte.
    static constexpr int kReplyQuietMs = 30;
    // What FtSend writes of its command: the unit's short test commands fit.
    static constexpr int kFtSendBytes = 4;

    explicit UsbRoute(Link& link, QObject* parent = nullptr);
    ~UsbRoute() override;

    // The device layer; never null (a NoFtdiDevice until one is given).
    // Its reads wait through the link's pause, so the window stays live.
    void setDevice(std::unique_ptr<FtdiDevice> device);
    FtdiDevice& device() { return *device_; }

    // --- state, under the names operators know ---
    bool FtdiMode = false; // file transfers go over USB
    QString UsbDescBuf;    // description of device 0, from start-up
    UsbHandle FtHandle = 0;
    bool timeoutFlag = false;
    bool errorFlag = false;
    bool testFailed = false; // the running test has not had its reply yet
    FtStatus ftStatus = FtStatus::Ok;
    qint64 totalRead = 0;
    // How long the serial port may take to come back after a USB use.
    int reopenDeadlineMs = 5000;

    // Start-up: lists device 0, sets FtdiMode and UsbDescBuf, and says what
    // the caption and version label get.
    UsbStartup probeAtStartup();
    // "Device Description " + description of device 0, or "ListDevices failed".
    QString FtGetDescrp();

    // --- the steps the transfers use ---
    // Opens the device by UsbDescBuf into FtHandle, its line set as the
    // serial port's (baud rate, data bits, parity); "Open Failed" and
    // FtdiClose on failure, and openFailure() says why in one line.
    bool FtdiOpen();
    // Why the last FtdiOpen failed: "no USB device attached", or the device
    // layer's reason.
    QString openFailure() const { return openFailure_; }
    // True when device 0 is listed; else false with `why` ("no USB device attached").
    bool deviceListed(QString* why = nullptr);
    // The chip's line as the serial port's settings have it.
    FtLineSettings serialLineSettings() const;
    // FtdiMode with its change announced (the window shows the route).
    void setFtdiMode(bool on);
    // Closes FtHandle; "Close Failed", and "Test Failed" while testFailed holds.
    void FtdiClose();
    // Reads `wanted` bytes (0: what is queued) into the terminal.
    bool FtRead(qint64 wanted);
    // Collects a reply of `wanted` bytes; it reaches the terminal (and
    // `got`) only whole.
    bool FtRec(qint64 wanted, QByteArray* got = nullptr);
    // Writes `bytes` on FtHandle; "Write Failed" when that fails.
    bool UsbWrite(const QByteArray& bytes);

    // --- the bench tests ---
    void FtSend(const QString& command);         // "FTDI Send" with "=v"
    void FtOpenEx();                             // Command63
    void Command55_Click();                      // "FTDI Test"
    void Command59_Click(const QString& text35); // "= * via DLL "

    // True while a USB use runs; a second one is refused meanwhile.
    bool busy() const { return busy_; }
    // Failure messages written by the last bench test or step sequence.
    int failures() const { return failures_; }

    // Holds the serial port shut for a USB use and opens it again when it
    // ends, if it was open; SerialHandOver::ok() is false when another USB
    // use is running.
    class SerialHandOver {
    public:
        explicit SerialHandOver(UsbRoute& route);
        ~SerialHandOver();
        SerialHandOver(const SerialHandOver&) = delete;
        SerialHandOver& operator=(const SerialHandOver&) = delete;
        bool ok() const { return ok_; }

    private:
        UsbRoute& route_;
        bool ok_ = false;
        bool reopen_ = false;
    };

signals:
    // Everything the route writes to the terminal, as written (for plovanctl).
    void output(const QString& text);
    // FtdiMode changed through setFtdiMode() or at start-up.
    void ftdiModeChanged(bool on);

private:
    void say(const QString& line);
    void sayFailure(const QString& line, bool withReason = true);
    void sayText(const QByteArray& bytes);
    QString statusText(const char* head) const;
    // Waits for the reply, says the queue length and reads it.
    void readReply(UsbHandle handle);
    // UsbDescBuf, listed again when empty.
    const QString& descriptionToOpen();
    // Waits until bytes have come and then kReplyQuietMs without more, or
    // the read time-out, so that the queue length then asked covers the reply.
    void awaitReply(UsbHandle handle);
    bool reopenSerial();
    // Reads what is queued on `handle` and says it, or why not.
    void readQueued(UsbHandle handle, qint64 length);

    Link& link_;
    std::unique_ptr<FtdiDevice> device_;
    bool busy_ = false;
    int failures_ = 0;
    QString lastReason_; // said once while the same reason repeats
    QString openFailure_;
};

} // namespace plovan
