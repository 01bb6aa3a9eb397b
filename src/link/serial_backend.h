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
    OpenResult open() override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    bool writeText(const QByteArray& bytes) override;
    bool receiveNow(int maxWaitMs) override;
    QString errorString() const override { return error_; }
    QString description() const override { return devicePath(settings()); }

private:
    // Hands what QSerialPort holds to bytesReceived; false when it held nothing.
    bool handOver();
    // A failure of `what`, with QSerialPort's reason where it gave one.
    OpenResult openFailed(const QString& what);
    bool isPseudoTerminal() const;
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    QByteArray chunk_; // the last arrival, reused while no receiver keeps a copy
    quint64 arrivals_ = 0;
    QString error_;
};

} // namespace plovan
