#include "usb_socket_server.h"

#include "usb_socket_protocol.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace plovan::sim {

namespace {

QString systemError(const QString& what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

// True when a server accepts connections on `address`.
bool someoneListens(const sockaddr_un& address)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool listens = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return listens;
}

} // namespace

UsbSocketServer::UsbSocketServer(std::shared_ptr<SimUnit> unit, const UsbFaults& faults, QObject* parent)
    : QObject(parent), face_(std::move(unit), faults)
{
    replyTimer_.setSingleShot(true);
    replyTimer_.setTimerType(Qt::PreciseTimer);
    connect(&replyTimer_, &QTimer::timeout, this, [this] {
        deliverDue();
        reap();
    });
}

UsbSocketServer::~UsbSocketServer()
{
    stop();
}

bool UsbSocketServer::start(const QString& path)
{
    if (isRunning()) return true;
    error_.clear();
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path) {
        error_ = QStringLiteral("the USB socket path \"%1\" is empty or too long").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));

    struct stat st {};
    if (::lstat(name.constData(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error_ = QStringLiteral("%1 exists and is not a socket").arg(path);
            return false;
        }
        if (someoneListens(address)) {
            error_ = QStringLiteral("another simulated unit serves %1").arg(path);
            return false;
        }
        ::unlink(name.constData()); // left by a server that was killed
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error_ = systemError(QStringLiteral("USB socket"));
        return false;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, kMaxClients) != 0) {
        error_ = systemError(QStringLiteral("listening on %1").arg(path));
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    path_ = path;
    listenNotifier_ = new QSocketNotifier(listenFd_, QSocketNotifier::Read, this);
    connect(listenNotifier_, &QSocketNotifier::activated, this, [this] {
        onAcceptable();
        reap();
    });
    return true;
}

void UsbSocketServer::stop()
{
    for (auto& c : clients_)
        c->dead = true;
    reap();
    replyTimer_.stop();
    if (listenNotifier_) {
        listenNotifier_->setEnabled(false);
        listenNotifier_->deleteLater();
        listenNotifier_ = nullptr;
    }
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.toLocal8Bit().constData());
    }
    listenFd_ = -1;
}

void UsbSocketServer::onAcceptable()
{
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return; // EAGAIN, or out of descriptors: try again on the next wake-up
        }
        if (clients_.size() >= static_cast<std::size_t>(kMaxClients)) {
            ::close(fd);
            continue;
        }
        auto client = std::make_unique<Client>();
        client->id = nextId_++;
        client->fd = fd;
        const int id = client->id;
        client->readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(client->readNotifier, &QSocketNotifier::activated, this, [this, id] {
            onReadable(id);
            reap();
        });
        client->writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        client->writeNotifier->setEnabled(false);
        connect(client->writeNotifier, &QSocketNotifier::activated, this, [this, id] {
            onWritable(id);
            reap();
        });
        clients_.push_back(std::move(client));
    }
}

UsbSocketServer::Client* UsbSocketServer::find(int id)
{
    for (auto& c : clients_)
        if (c->id == id && !c->dead) return c.get();
    return nullptr;
}

void UsbSocketServer::onReadable(int id)
{
    Client* c = find(id);
    if (!c) return;
    // A bounded helping per wake-up, so that a client that writes without
    // pause cannot starve the pseudo-terminal; the notifier fires again.
    constexpr int kReadsPerWakeUp = 4;
    bool ended = false;
    char buf[16384];
    for (int reads = 0; reads < kReadsPerWakeUp;) {
        const ssize_t n = ::read(c->fd, buf, sizeof buf);
        if (n > 0) {
            c->in.append(buf, n);
            ++reads;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        ended = true; // closed, or reset by a client that died
        break;
    }
    // What came before the end is still carried out (a write reaches the unit).
    while (!c->dead) {
        bool bad = false;
        auto frame = usbwire::takeFrame(c->in, bad);
        if (bad) c->dead = true;
        if (!frame) break;
        handle(*c, frame->type, frame->payload);
    }
    if (ended) c->dead = true;
}

void UsbSocketServer::handle(Client& c, char type, const QByteArray& payload)
{
    switch (type) {
    case usbwire::List: {
        QString description, serial;
        const int count = face_.deviceCount();
        if (count > 0) face_.describe(0, &description, &serial);
        answer(c, FtStatus::Ok, {QByteArray::number(count), description.toUtf8(), serial.toUtf8()});
        return;
    }
    case usbwire::Open: {
        if (owner_ != 0 && owner_ != c.id) {
            answer(c, FtStatus::DeviceNotOpened, {"the simulated USB device is open in another program"});
            return;
        }
        const SimUsbFace::Result result = face_.open(QString::fromUtf8(payload));
        if (result.ok()) {
            owner_ = c.id;
            log(QStringLiteral("usb: device opened"));
        }
        answer(c, result);
        return;
    }
    case usbwire::Write: {
        if (owner_ != c.id) {
            answer(c, FtStatus::InvalidHandle, {"the USB device is not open"});
            return;
        }
        const SimUsbFace::Result result = face_.write(payload);
        if (result.ok())
            answer(c, FtStatus::Ok, {QByteArray::number(payload.size())});
        else
            answer(c, result);
        if (face_.isUnplugged())
            endSession(QStringLiteral("unplugged (fault)"));
        else
            deliverDue();
        return;
    }
    case usbwire::Close:
        if (owner_ != c.id) {
            answer(c, FtStatus::InvalidHandle, {"the USB device is not open"});
            return;
        }
        face_.close();
        owner_ = 0;
        replyTimer_.stop();
        log(QStringLiteral("usb: device closed"));
        answer(c, FtStatus::Ok);
        return;
    default:
        c.dead = true; // not a request: this is no client of ours
        return;
    }
}

void UsbSocketServer::answer(Client& c, FtStatus status, const QList<QByteArray>& fields)
{
    send(c, usbwire::encodeFrame(usbwire::Answer, usbwire::encodeAnswer(status, fields)));
}

void UsbSocketServer::answer(Client& c, const SimUsbFace::Result& result)
{
    if (result.ok())
        answer(c, FtStatus::Ok);
    else
        answer(c, result.status, {result.reason.toUtf8()});
}

void UsbSocketServer::send(Client& c, const QByteArray& frame)
{
    if (c.dead) return;
    c.out.append(frame);
    if (c.out.size() > kMaxPending) {
        c.dead = true; // it stopped reading; it must not make us hoard
        return;
    }
    flush(c);
}

void UsbSocketServer::flush(Client& c)
{
    while (!c.out.isEmpty()) {
        const ssize_t n =
            ::send(c.fd, c.out.constData(), static_cast<std::size_t>(c.out.size()), MSG_NOSIGNAL);
        if (n > 0) {
            c.out.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            c.writeNotifier->setEnabled(true);
            return;
        }
        c.dead = true;
        return;
    }
    c.writeNotifier->setEnabled(false);
}

void UsbSocketServer::onWritable(int id)
{
    if (Client* c = find(id)) flush(*c);
}

void UsbSocketServer::deliverDue()
{
    Client* c = find(owner_);
    if (!c) return;
    QByteArray bytes;
    face_.fetch(bytes); // cannot fail here: an unplug ends the session at its write
    if (!bytes.isEmpty()) send(*c, usbwire::encodeFrame(usbwire::Data, bytes));
    armReplies();
}

void UsbSocketServer::armReplies()
{
    const auto next = face_.nextReplyIn();
    if (!next) {
        replyTimer_.stop();
        return;
    }
    replyTimer_.start(static_cast<int>(std::min<std::chrono::milliseconds::rep>(next->count(), 1 << 30)));
}

void UsbSocketServer::endSession(const QString& why)
{
    replyTimer_.stop();
    if (Client* c = find(owner_))
        send(*c, usbwire::encodeFrame(usbwire::Unplugged, usbUnpluggedReason().toUtf8()));
    face_.close();
    owner_ = 0;
    log(QStringLiteral("usb: device %1").arg(why));
}

void UsbSocketServer::reap()
{
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (!(*it)->dead) {
            ++it;
            continue;
        }
        drop(**it);
        it = clients_.erase(it);
    }
}

void UsbSocketServer::drop(Client& c)
{
    if (owner_ == c.id) {
        face_.close();
        owner_ = 0;
        replyTimer_.stop();
        log(QStringLiteral("usb: client went away, device closed"));
    }
    // Notifiers go before their descriptor; they may be inside their own signal.
    for (QSocketNotifier* n : {c.readNotifier, c.writeNotifier}) {
        n->setEnabled(false);
        n->deleteLater();
    }
    ::close(c.fd);
}

void UsbSocketServer::log(const QString& line) const
{
    if (log_) log_(line);
}

} // namespace plovan::sim
