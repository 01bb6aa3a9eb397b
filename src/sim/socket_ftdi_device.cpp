#include "socket_ftdi_device.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace plovan::sim {

SocketFtdiDevice::SocketFtdiDevice(QString socketPath) : path_(std::move(socketPath)) {}

SocketFtdiDevice::~SocketFtdiDevice()
{
    disconnect(); // the server closes the device with the connection
}

QString SocketFtdiDevice::notServed() const
{
    return QStringLiteral("no simulated unit serves %1").arg(path_);
}

QString SocketFtdiDevice::notAnswering() const
{
    return QStringLiteral("the simulated unit's USB socket %1 does not answer").arg(path_);
}

void SocketFtdiDevice::disconnect()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    in_.clear();
    answer_.reset();
    if (session_) unplugged_ = true;
}

bool SocketFtdiDevice::connectToServer(FtStatus unreachable, FtStatus& status)
{
    if (fd_ >= 0) return true;
    const QByteArray name = path_.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path) {
        status = fail(unreachable, notServed());
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        status = fail(
            FtStatus::InsufficientResources,
            QStringLiteral("no socket for %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // EAGAIN: the server's backlog is full, it is not taking connections.
        const bool busy = errno == EAGAIN;
        ::close(fd);
        status = fail(unreachable, busy ? notAnswering() : notServed());
        return false;
    }
    fd_ = fd;
    return true;
}

bool SocketFtdiDevice::sendAll(const QByteArray& bytes, int waitMs)
{
    QDeadlineTimer deadline(waitMs);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done),
                                 MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const qint64 left = deadline.remainingTime();
            if (left <= 0) return false;
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, static_cast<int>(left));
            // Keep taking what the server pushes, so that neither side waits on a full buffer.
            if (!pump(0)) return false;
            continue;
        }
        return false;
    }
    return true;
}

bool SocketFtdiDevice::pump(int waitMs)
{
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    int ready = 0;
    do
        ready = ::poll(&p, 1, waitMs);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0) return true;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            in_.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        takeFrames(); // what came before the end still counts
        disconnect();
        return false;
    }
    takeFrames();
    return fd_ >= 0;
}

void SocketFtdiDevice::takeFrames()
{
    for (;;) {
        bool bad = false;
        auto frame = usbwire::takeFrame(in_, bad);
        if (bad) {
            disconnect();
            return;
        }
        if (!frame) return;
        switch (frame->type) {
        case usbwire::Answer:
            answer_ = usbwire::decodeAnswer(frame->payload);
            if (!answer_) {
                disconnect();
                return;
            }
            break;
        case usbwire::Data:
            if (session_ && !unplugged_) data_.append(frame->payload);
            break;
        case usbwire::Unplugged:
            if (session_) unplugged_ = true;
            break;
        default: disconnect(); return;
        }
    }
}

FtStatus SocketFtdiDevice::request(char type, const QByteArray& payload, FtStatus unreachable,
                                   usbwire::AnswerBody& answer)
{
    answer = {};
    // Writes and closes belong to the open session; listing and opening do not.
    const bool ofSession = type == usbwire::Write || type == usbwire::Close;
    const auto lost = [&](const QString& otherwise) {
        return ofSession && session_ ? fail(FtStatus::DeviceNotFound, usbUnpluggedReason())
                                     : fail(unreachable, otherwise);
    };
    // A connection the server ended since the last request (it was restarted) is noticed here.
    if (fd_ >= 0) pump(0);
    if (ofSession && unplugged_) return lost({});
    if (ofSession && fd_ < 0) return lost(notServed());
    FtStatus status = FtStatus::Ok;
    if (!connectToServer(unreachable, status)) return status;

    answer_.reset();
    QDeadlineTimer deadline(kAnswerTimeoutMs);
    if (!sendAll(usbwire::encodeFrame(type, payload), kAnswerTimeoutMs)) {
        const bool ended = fd_ < 0;
        disconnect();
        return lost(ended ? notServed() : notAnswering());
    }
    while (!answer_) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) {
            // What the server might still say would be out of step: start afresh next time.
            disconnect();
            return fail(unreachable, notAnswering());
        }
        if (!pump(static_cast<int>(left))) return lost(notServed());
    }
    answer = *answer_;
    answer_.reset();
    if (answer.status != FtStatus::Ok)
        return fail(answer.status,
                    answer.fields.isEmpty() ? QString() : QString::fromUtf8(answer.fields.front()));
    clearError();
    return FtStatus::Ok;
}

FtStatus SocketFtdiDevice::list(int index, QString* description, QString* serial, int* count)
{
    usbwire::AnswerBody answer;
    const FtStatus status = request(usbwire::List, {}, FtStatus::DeviceNotFound, answer);
    if (status != FtStatus::Ok) return status;
    bool ok = false;
    const int n = answer.fields.size() == 3 ? answer.fields[0].toInt(&ok) : 0;
    if (!ok)
        return fail(FtStatus::OtherError, QStringLiteral("%1 gave a listing that makes no sense").arg(path_));
    if (count) *count = n;
    if (index < 0) return FtStatus::Ok;
    if (index >= n) return fail(FtStatus::DeviceNotFound, noUsbDeviceAt(index));
    if (description) *description = QString::fromUtf8(answer.fields[1]);
    if (serial) *serial = QString::fromUtf8(answer.fields[2]);
    return FtStatus::Ok;
}

FtStatus SocketFtdiDevice::countDevices(int& count)
{
    count = 0;
    return list(-1, nullptr, nullptr, &count);
}

FtStatus SocketFtdiDevice::description(int index, QString& text)
{
    text.clear();
    return list(index, &text, nullptr, nullptr);
}

FtStatus SocketFtdiDevice::serialNumber(int index, QString& text)
{
    text.clear();
    return list(index, nullptr, &text, nullptr);
}

FtStatus SocketFtdiDevice::openDevice(const QString& description)
{
    usbwire::AnswerBody answer;
    const FtStatus status = request(usbwire::Open, description.toUtf8(), FtStatus::DeviceNotFound, answer);
    if (status == FtStatus::Ok) {
        session_ = true;
        unplugged_ = false;
        data_.clear();
    }
    return status;
}

FtStatus SocketFtdiDevice::writeDevice(const QByteArray& bytes, qint64& written)
{
    written = 0;
    // A frame has a bounded payload; a longer write goes as several.
    constexpr qsizetype kChunk = 64 * 1024;
    qsizetype at = 0;
    do {
        const QByteArray chunk = bytes.mid(at, kChunk);
        usbwire::AnswerBody answer;
        const FtStatus status = request(usbwire::Write, chunk, FtStatus::IoError, answer);
        if (status != FtStatus::Ok) return status;
        written += chunk.size();
        at += chunk.size();
    } while (at < bytes.size());
    return FtStatus::Ok;
}

FtStatus SocketFtdiDevice::closeDevice()
{
    FtStatus status = FtStatus::Ok;
    if (session_ && !unplugged_ && fd_ >= 0) {
        usbwire::AnswerBody answer;
        status = request(usbwire::Close, {}, FtStatus::IoError, answer);
    }
    session_ = false;
    unplugged_ = false;
    data_.clear();
    return status;
}

FtStatus SocketFtdiDevice::fetch(QByteArray& into)
{
    pump(0);
    into.append(data_);
    data_.clear();
    if (unplugged_) return fail(FtStatus::DeviceNotFound, usbUnpluggedReason());
    return FtStatus::Ok;
}

} // namespace plovan::sim
