// Runs a table send over the Link's serial port: the engine's writes become
// command lines, its pauses and record time-outs single-shot timers (the
// record time-out is the Link's reply time-out; 0 waits for ever), and the
// bytes the unit sends feed it. Messages go to the terminal and out through
// message(); progress comes at most about 20 times a second, and once more
// at the end.
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

    // With `usb`, the send goes over the USB route (the whole send or only
    // its records, as config.usb says): the serial port is shut and the
    // device opened for it, and both put back when the send ends.
    TransferRunner(Link& link, SenderConfig config, UsbRoute* usb = nullptr, QObject* parent = nullptr);
    ~TransferRunner() override;

    // The USB bench test's way (Command57): each write that succeeds is
    // followed by the line `label` + " sent ok!!" and a read of the unit's
    // one-letter reply, and the unit's last letter is read before the device
    // is closed.
    void readEachReply(const QString& label);

    // Starts sending `path`; false (with `error` set) when it cannot be read.
    bool start(const QString& path, QString* error = nullptr);
    // Ends the send after the current line.
    void cancel();
    bool running() const { return engine_.running(); }
    const TransferEngine& engine() const { return engine_; }
    // Records per second since the first record went out.
    double recordsPerSecond() const;

signals:
    void message(const QString& text);
    void progress(qulonglong done, qulonglong total);
    void finished(plovan::TransferOutcome outcome);

private:
    TransferEngine::Hooks hooks();
    // Shuts the serial port and opens the USB device; false when either fails.
    bool openUsb();
    // A USB write, and in the bench test's way its label line and, after a
    // record, the reply read.
    void usbWrite(const QByteArray& bytes, bool record);

    Link& link_;
    UsbRoute* usb_;
    bool usbFromStart_;
    std::unique_ptr<UsbRoute::SerialHandOver> handOver_;
    std::optional<QString> echoLabel_; // the bench test's Text35
    TransferEngine engine_;
    std::ifstream file_;
    QTimer pauseTimer_;
    QTimer replyTimer_;
    QElapsedTimer sinceProgress_;
    QElapsedTimer sinceStart_;
    QMetaObject::Connection bytes_;
    QMetaObject::Connection testMode_;
    QMetaObject::Connection lost_;
};

} // namespace plovan
