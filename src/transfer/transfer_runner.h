// Runs a table send over the Link's serial port or the USB route: the
// engine's writes become command lines (or USB writes), its pauses and reply
// time-outs single-shot timers (the reply time-out is the Link's; 0 waits for
// ever), and the bytes the unit sends feed it. On the USB route the device is
// read every few milliseconds and what comes goes through the Link's receive
// handler, as serial bytes do: the terminal shows it, the communications log
// records it, and the engine hears it. A failed USB write or read ends the
// send; the USB device is then given up and the unit cleared over the serial
// port. Messages go to the terminal and out through message(); progress comes
// at most about 20 times a second, and once more at the end.
#pragma once

#include "transfer_engine.h"
#include "usb_route.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <fstream>
#include <memory>
#include <optional>

namespace plovan {

class Link;

class TransferRunner : public QObject {
    Q_OBJECT
public:
    static constexpr int kProgressIntervalMs = 50;
    // How often the USB device is asked for what the unit sent.
    static constexpr int kUsbPollMs = 2;

    // With `usb`, the send goes over the USB route (the whole send or only
    // its records, as config.usb says): the serial port is shut and the
    // device opened for it, and both put back when the send ends.
    TransferRunner(Link& link, SenderConfig config, UsbRoute* usb = nullptr, QObject* parent = nullptr);
    ~TransferRunner() override;

    // The USB bench test's way (Command57): each write that succeeds is
    // followed by the line `label` + " sent ok!!".
    void readEachReply(const QString& label);

    // Opens `path` and reads what the send needs (its header) without
    // writing anything; false (with `error` set) when it is not a regular
    // file, cannot be read, or cannot be sent. Call it before the port is
    // opened: nothing here waits on the port.
    bool open(const QString& path, QString* error = nullptr);
    // Starts the opened send; false (with `error` set) when its route cannot
    // be had (no USB device): nothing is sent then.
    bool start(QString* error = nullptr);
    // open() and start().
    bool start(const QString& path, QString* error = nullptr);
    // "Cancel": ends the send now and clears the unit where the load has an
    // abort sequence ("File send cancelled at record n of N").
    void cancel();
    // The same for another reason ("stopped by SIGINT").
    void stop(const QString& why);
    bool running() const { return engine_.running(); }
    // The abort sequence is running.
    bool isClearing() const { return engine_.clearing(); }
    const TransferEngine& engine() const { return engine_; }
    // Records per second since the first record went out.
    double recordsPerSecond() const;
    // What the send came to (complete once finished, or once start() failed).
    TransferResult result() const;
    const std::string& kind() const { return engine_.kind(); }
    // "serial", "USB", or "serial + USB" (a multichirp's records over USB).
    QString routeName() const;

signals:
    void message(const QString& text);
    void progress(qulonglong done, qulonglong total);
    // The abort sequence has begun.
    void clearing();
    void finished(plovan::TransferOutcome outcome);

private:
    TransferEngine::Hooks hooks();
    // Shuts the serial port and opens the USB device; false (with
    // usbError_ set) when either fails.
    bool openUsb();
    // A USB write; empty when it went, else why not.
    std::string usbWrite(const QByteArray& bytes);
    // Reads what the unit sent over USB into the Link's receive handler.
    void pollUsb();
    // The USB device failed: it is given up (the serial port comes back).
    void usbFailed();
    void releaseUsb();
    void ended(TransferOutcome outcome);

    Link& link_;
    UsbRoute* usb_;
    bool usbFromStart_;
    std::unique_ptr<UsbRoute::SerialHandOver> handOver_;
    bool usbBroken_ = false; // a USB write or read failed in this send
    QString usbError_;
    std::optional<QString> echoLabel_; // the bench test's Text35
    TransferEngine engine_;
    QString path_;
    std::ifstream file_;
    bool opened_ = false;
    std::optional<TransferResult> failedStart_;
    QTimer pauseTimer_;
    QTimer replyTimer_;
    QTimer pollTimer_;
    QElapsedTimer sinceProgress_;
    QElapsedTimer sinceStart_;
    qint64 durationMs_ = 0;
    QMetaObject::Connection bytes_;
    QMetaObject::Connection testMode_;
    QMetaObject::Connection lost_;
};

} // namespace plovan
