#include "pty_server.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace plovan::sim {

namespace {

// The hang-up waits until the client has read the last reply: the slave's
// input queue must stay empty for kHangUpQuietChecks looks in a row, because
// the kernel moves bytes from master to slave asynchronously and an empty
// queue may only mean the reply has not arrived yet. After kHangUpMaxChecks
// looks (one second) the line is closed anyway.
constexpr int kHangUpCheckMs = 5;
constexpr int kHangUpQuietChecks = 10;
constexpr int kHangUpMaxChecks = 200;

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

bool makeRaw(int fd)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

} // namespace

PtyServer::PtyServer(const SimConfig& config, QObject* parent)
    : PtyServer(std::make_shared<SimUnit>(config), parent)
{
}

PtyServer::PtyServer(std::shared_ptr<SimUnit> unit, QObject* parent) : QObject(parent), unit_(std::move(unit))
{
    connect(&replies_, &ReplyQueue::deliver, this, &PtyServer::onDeliver);
    connect(&replies_, &ReplyQueue::hangUp, this, &PtyServer::onHangUpDue);
    hangUpTimer_.setInterval(kHangUpCheckMs);
    connect(&hangUpTimer_, &QTimer::timeout, this, &PtyServer::tryHangUp);
}

PtyServer::~PtyServer()
{
    stop();
}

bool PtyServer::start()
{
    if (isRunning()) return true;
    error_.clear();
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        error_ = systemError("openpty");
        return false;
    }
    char name[256] = {};
    const bool ok = makeRaw(slave) && makeRaw(master) && ::ttyname_r(slave, name, sizeof name) == 0 &&
                    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) == 0 &&
                    ::fcntl(master, F_SETFD, FD_CLOEXEC) == 0 && ::fcntl(slave, F_SETFD, FD_CLOEXEC) == 0;
    if (!ok) {
        error_ = systemError("setting up the pseudo-terminal");
        ::close(master);
        ::close(slave);
        return false;
    }
    master_ = master;
    slave_ = slave;
    slavePath_ = QString::fromLocal8Bit(name);
    hangUpQueued_ = false;
    unit_->connectionOpened();
    lines_.clear();

    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyServer::onReadable);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyServer::onWritable);
    return true;
}

void PtyServer::stop()
{
    replies_.clear();
    hangUpTimer_.stop();
    out_.clear();
    // Notifiers go before their descriptor is closed.
    for (QSocketNotifier** n : {&readNotifier_, &writeNotifier_}) {
        if (!*n) continue;
        (*n)->setEnabled(false);
        (*n)->deleteLater();
        *n = nullptr;
    }
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
}

void PtyServer::onReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) {
            const std::string reply =
                unit_->receive(lines_.take(std::string_view(buf, static_cast<std::size_t>(n))));
            const int delay = unit_->faults().replyDelayMs;
            if (!reply.empty())
                replies_.push(QByteArray(reply.data(), static_cast<qsizetype>(reply.size())), delay);
            if (unit_->hungUp() && !hangUpQueued_) {
                hangUpQueued_ = true;
                replies_.pushHangUp(delay);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // Not expected while the server holds the slave open.
        fail(n == 0 ? QStringLiteral("the pseudo-terminal closed")
                    : systemError("reading the pseudo-terminal"));
        return;
    }
}

void PtyServer::onDeliver(const QByteArray& bytes)
{
    if (!isRunning()) return;
    out_.append(bytes);
    flushOut();
}

void PtyServer::onWritable()
{
    flushOut();
}

void PtyServer::flushOut()
{
    while (!out_.isEmpty()) {
        const ssize_t n = ::write(master_, out_.constData(), static_cast<std::size_t>(out_.size()));
        if (n > 0) {
            out_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Nobody is reading: keep the rest until the line has room.
            writeNotifier_->setEnabled(true);
            return;
        }
        fail(systemError("writing the pseudo-terminal"));
        return;
    }
    writeNotifier_->setEnabled(false);
}

void PtyServer::onHangUpDue()
{
    hangUpChecks_ = 0;
    quietChecks_ = 0;
    hangUpTimer_.start();
}

void PtyServer::tryHangUp()
{
    if (!isRunning()) {
        hangUpTimer_.stop();
        return;
    }
    int unread = 0;
    if (::ioctl(slave_, FIONREAD, &unread) != 0) unread = 0;
    quietChecks_ = (out_.isEmpty() && unread == 0) ? quietChecks_ + 1 : 0;
    if (quietChecks_ < kHangUpQuietChecks && ++hangUpChecks_ < kHangUpMaxChecks) return;
    stop();
    emit hungUp();
}

void PtyServer::fail(const QString& reason)
{
    error_ = reason;
    stop();
    emit failed(reason);
}

} // namespace plovan::sim
