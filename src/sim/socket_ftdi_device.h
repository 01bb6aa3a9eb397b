// The USB device of a simulated unit in another process (plovan-sim), reached
// through its socket (usb_socket_protocol.h). Works without an event loop, as
// plovanctl calls it from plain code: each request waits for its answer at
// most kAnswerTimeoutMs, and fetch() takes only what has already arrived.
#pragma once

#include "ftdi_device.h"
#include "sim_usb_face.h"
#include "usb_socket_protocol.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace plovan::sim {

class SocketFtdiDevice : public FtdiDevice {
public:
    static constexpr int kAnswerTimeoutMs = 1000;

    explicit SocketFtdiDevice(QString socketPath);
    ~SocketFtdiDevice() override;
    SocketFtdiDevice(const SocketFtdiDevice&) = delete;
    SocketFtdiDevice& operator=(const SocketFtdiDevice&) = delete;

    QString socketPath() const { return path_; }

    FtStatus countDevices(int& count) override;
    FtStatus description(int index, QString& text) override;
    FtStatus serialNumber(int index, QString& text) override;
    QString name() const override { return QStringLiteral("simulated USB device (%1)").arg(path_); }

protected:
    FtStatus openDevice(const QString& description) override;
    FtStatus writeDevice(const QByteArray& bytes, qint64& written) override;
    FtStatus closeDevice() override;
    FtStatus fetch(QByteArray& into) override;

private:
    // Sends one request and waits for its answer. Not Ok when the server
    // cannot be reached (`unreachable`, with the reason set) or the answer
    // is a failure; `answer` then holds what the server said.
    FtStatus request(char type, const QByteArray& payload, FtStatus unreachable, usbwire::AnswerBody& answer);
    FtStatus list(int index, QString* description, QString* serial, int* count);
    bool connectToServer(FtStatus unreachable, FtStatus& status);
    bool sendAll(const QByteArray& bytes, int waitMs);
    // Takes in what has arrived, waiting up to `waitMs` for the first of it;
    // false once the connection has ended (it is then closed).
    bool pump(int waitMs);
    void takeFrames();
    void disconnect();
    QString notServed() const;
    QString notAnswering() const;

    QString path_;
    int fd_ = -1;
    QByteArray in_;   // bytes from the socket, not yet whole frames
    QByteArray data_; // the unit's reply bytes, not yet fetched
    std::optional<usbwire::AnswerBody> answer_;
    bool session_ = false;   // the device is open through this connection
    bool unplugged_ = false; // ... and has gone away
};

} // namespace plovan::sim
