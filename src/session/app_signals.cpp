#include "app_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace plovan {

namespace {

// The descriptor the handler writes to; -1 while none is installed.
volatile sig_atomic_t writeFd = -1;

extern "C" void onTerminationSignal(int signo)
{
    // Only async-signal-safe calls here; errno belongs to the code we interrupted.
    const int savedErrno = errno;
    const int fd = writeFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signo);
        // Non-blocking: with the buffer full a request is pending already.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

AppSignals::AppSignals(QObject* parent) : QObject(parent) {}

AppSignals::~AppSignals()
{
    restore();
}

bool AppSignals::install()
{
    if (!installed_) {
        if (writeFd >= 0) {
            error_ = QStringLiteral("termination signals are already handled elsewhere");
            return false;
        }
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) {
            error_ = systemError("socketpair");
            fds_[0] = fds_[1] = -1;
            return false;
        }
        notifier_ = new QSocketNotifier(fds_[1], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &AppSignals::drain);
        writeFd = fds_[0];
    }

    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: one request each; SA_RESTART: no EINTR surprises in Qt's calls.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    struct sigaction previousTerm {};
    struct sigaction previousInt {};
    const bool ok =
        ::sigaction(SIGTERM, &action, &previousTerm) == 0 && ::sigaction(SIGINT, &action, &previousInt) == 0;
    if (!installed_) {
        // Re-arming must not record our own handler as the one to put back.
        oldTerm_ = previousTerm;
        oldInt_ = previousInt;
        installed_ = true;
    }
    if (!ok) {
        error_ = systemError("sigaction");
        restore();
        return false;
    }
    error_.clear();
    return true;
}

void AppSignals::drain()
{
    unsigned char buffer[64];
    int first = 0;
    for (ssize_t n; (n = ::read(fds_[1], buffer, sizeof buffer)) > 0;)
        if (first == 0) first = buffer[0];
    // Several signals before we got here are one request.
    if (first != 0) emit terminationRequested(first);
}

void AppSignals::restore()
{
    if (!installed_) return;
    // The handlers go first, so no signal writes to a descriptor being closed.
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ::sigaction(SIGINT, &oldInt_, nullptr);
    writeFd = -1;
    delete notifier_;
    notifier_ = nullptr;
    ::close(fds_[0]);
    ::close(fds_[1]);
    fds_[0] = fds_[1] = -1;
    installed_ = false;
}

} // namespace plovan
