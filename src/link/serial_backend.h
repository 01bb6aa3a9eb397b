// The serial port route, on QSerialPort.
#pragma once

#include "port_backend.h"

#include <QSerialPort>

namespace plovan {

class SerialBackend : public PortBackend {
    Q_OBJECT
public:
    explicit SerialBackend(QObject* parent = nullptr);
    ~SerialBackend() override;

    // An open port takes a new baud rate at once; the rest applies at the next open.
    void setSettings(const PortSettings& settings) override;
    int open() override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    bool writeText(const QByteArray& bytes) override;
    qint64 bytesWaiting() const override { return port_.bytesAvailable(); }
    int readByte() override;
    QByteArray readAll() override { return port_.readAll(); }
    bool pollNow() override;
    QString errorString() const override { return error_; }
    QString description() const override { return devicePath(settings()); }

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    QString error_;
};

} // namespace plovan
