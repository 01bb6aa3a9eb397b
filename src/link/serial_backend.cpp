#include "serial_backend.h"

#include <cerrno>
#include <unistd.h>

namespace plovan {

namespace {

QSerialPort::Parity toQtParity(int code)
{
    switch (code) {
    case ParityOdd: return QSerialPort::OddParity;
    case ParityEven: return QSerialPort::EvenParity;
    case ParityMark: return QSerialPort::MarkParity;
    case ParitySpace: return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

} // namespace

SerialBackend::SerialBackend(QObject* parent) : PortBackend(parent)
{
    connect(&port_, &QSerialPort::readyRead, this, &PortBackend::dataReceived);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialBackend::onError);
}

SerialBackend::~SerialBackend()
{
    port_.close();
}

void SerialBackend::setSettings(const PortSettings& settings)
{
    PortBackend::setSettings(settings);
    if (port_.isOpen() && port_.baudRate() != settings.baud) port_.setBaudRate(settings.baud);
}

int SerialBackend::open()
{
    if (port_.isOpen()) {
        error_ = QStringLiteral("%1 is already open").arg(port_.portName());
        return 0;
    }
    const PortSettings& s = settings();
    port_.setPortName(devicePath(s));
    if (!port_.open(QIODevice::ReadWrite)) {
        error_ = port_.errorString();
        return 0;
    }
    // Settings are applied once open; a pseudo-terminal accepts them all.
    if (!port_.setBaudRate(s.baud) || !port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)) ||
        !port_.setParity(toQtParity(s.parity)) || !port_.setStopBits(QSerialPort::OneStop) ||
        !port_.setFlowControl(QSerialPort::NoFlowControl)) {
        error_ = port_.errorString();
        port_.close();
        return 0;
    }
    // Modem lines are optional: a pseudo-terminal has none.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    // Bytes left over from an earlier session are not replies to us.
    port_.clear(QSerialPort::Input);
    port_.clearError();
    error_.clear();
    return 1;
}

void SerialBackend::close()
{
    if (port_.isOpen()) port_.close();
}

bool SerialBackend::writeText(const QByteArray& bytes)
{
    if (!port_.isOpen()) return false;
    // A command line is a few bytes: straight to the driver, past QSerialPort's
    // write buffer and the write notifier it would arm. What the driver does not
    // take at once (a full output queue) goes through the buffer.
    qsizetype done = 0;
    if (port_.bytesToWrite() == 0) {
        const ssize_t n = ::write(port_.handle(), bytes.constData(), static_cast<size_t>(bytes.size()));
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        done = n > 0 ? n : 0;
    }
    if (done == bytes.size()) return true;
    const QByteArray rest = bytes.mid(done);
    return port_.write(rest) == rest.size();
}

int SerialBackend::readByte()
{
    char c;
    if (port_.read(&c, 1) != 1) return -1;
    return static_cast<unsigned char>(c);
}

bool SerialBackend::pollNow()
{
    if (port_.bytesAvailable() > 0) return true;
    if (!port_.isOpen()) return false;
    // A reply on a fast line often arrives within a millisecond; catching it
    // here saves the event loop's round of wake-ups. A slower reply costs the
    // window this one millisecond and is then waited for in the event loop.
    if (port_.waitForReadyRead(1)) return true;
    // An empty look sets TimeoutError, which is no fault of the port.
    if (port_.error() == QSerialPort::TimeoutError) port_.clearError();
    return port_.bytesAvailable() > 0;
}

void SerialBackend::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
        // Closing at once matters: left open, the port repeats this error
        // thousands of times a second.
        if (!port_.isOpen()) return;
        error_ = port_.errorString();
        port_.close();
        emit connectionLost(error_);
        break;
    case QSerialPort::UnsupportedOperationError: // DTR/RTS on a pseudo-terminal
        port_.clearError();
        break;
    default: break;
    }
}

} // namespace plovan
