#include "serial_backend.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
    connect(&port_, &QSerialPort::readyRead, this, &SerialBackend::handOver);
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

OpenResult SerialBackend::openFailed(const QString& what)
{
    // QSerialPort reports some refusals without a reason of its own ("No
    // error", "Unknown error"): then `what` alone says it. An empty `what`
    // is the open itself, whose reason stands alone.
    const QString said = port_.errorString();
    const bool hasReason = port_.error() != QSerialPort::NoError && !said.isEmpty() &&
                           said != QLatin1String("No error") && said != QLatin1String("Unknown error");
    const QString step = what.isEmpty() ? QStringLiteral("the port could not be opened") : what;
    error_ = !hasReason ? step : what.isEmpty() ? said : what + QStringLiteral(": ") + said;
    return OpenResult::failed(error_);
}

bool SerialBackend::isPseudoTerminal() const
{
    // Unix 98 pseudo-terminal slaves have majors 136 to 143.
    struct stat st {};
    return ::fstat(port_.handle(), &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

OpenResult SerialBackend::open()
{
    if (port_.isOpen()) {
        error_ = QStringLiteral("%1 is already open").arg(description());
        return OpenResult::failed(error_);
    }
    const PortSettings& s = settings();
    port_.setPortName(devicePath(s));
    port_.clearError();
    if (!port_.open(QIODevice::ReadWrite)) return openFailed({});
    // Settings are applied once open, each on its own so that a refusal names itself.
    const auto refused = [this](const QString& what) {
        const OpenResult r = openFailed(QStringLiteral("the port refused ") + what);
        port_.close();
        return r;
    };
    if (!port_.setBaudRate(s.baud)) return refused(QStringLiteral("%1 baud").arg(s.baud));
    if (!port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)))
        return refused(QStringLiteral("%1 data bits").arg(s.dataBits));
    if (!port_.setStopBits(QSerialPort::OneStop)) return refused(QStringLiteral("one stop bit"));
    if (!port_.setFlowControl(QSerialPort::NoFlowControl)) return refused(QStringLiteral("no flow control"));
    QString note;
    // A pseudo-terminal carries no parity: Linux clears the bit, and QSerialPort
    // then calls a repeated setting refused. A real line must take it.
    if (!port_.setParity(toQtParity(s.parity))) {
        if (!isPseudoTerminal()) return refused(QStringLiteral("parity code %1").arg(s.parity));
        note = QStringLiteral("parity not set: %1 is a pseudo-terminal, which has none").arg(description());
    }
    // Modem lines are optional: a pseudo-terminal has none.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(true);
    // Bytes left over from an earlier session are not replies to us.
    port_.clear(QSerialPort::Input);
    port_.clearError();
    error_.clear();
    return OpenResult::opened(note);
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
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error_ = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        done = n > 0 ? n : 0;
    }
    if (done == bytes.size()) return true;
    const QByteArray rest = bytes.mid(done);
    return port_.write(rest) == rest.size();
}

bool SerialBackend::handOver()
{
    const qint64 waiting = port_.bytesAvailable();
    if (waiting <= 0) return false;
    // Read into the last arrival's buffer unless a receiver still holds it;
    // a held one is left to its holder.
    if (!chunk_.isDetached()) chunk_ = QByteArray();
    chunk_.resize(waiting);
    const qint64 got = port_.read(chunk_.data(), waiting);
    if (got <= 0) return false;
    chunk_.resize(got);
    ++arrivals_;
    // Emitted from a copy: a receiver that waits for the next reply reads into
    // the port again while the others still look at these bytes.
    const QByteArray bytes = chunk_;
    emit bytesReceived(bytes);
    return true;
}

bool SerialBackend::receiveNow(int maxWaitMs)
{
    if (!port_.isOpen()) return false;
    if (handOver()) return true;
    const quint64 before = arrivals_;
    // Reads what reached the driver, or waits for it up to maxWaitMs. Inside
    // a readyRead of its own QSerialPort does not signal again, so what it
    // buffered is handed over here as well.
    if (!port_.waitForReadyRead(maxWaitMs) && port_.error() == QSerialPort::TimeoutError)
        port_.clearError(); // an empty look is no fault of the port
    handOver();
    return arrivals_ != before;
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
    default: break;
    }
}

} // namespace plovan
