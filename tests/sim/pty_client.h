// A plain POSIX client of a pseudo-terminal, as a terminal program would be.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class PtyClient {
public:
    explicit PtyClient(const QString& path)
    {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        termios t{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~PtyClient() { close(); }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool write(const QByteArray& bytes)
    {
        return ::write(fd_, bytes.constData(), bytes.size()) == bytes.size();
    }

    // Reads until `want` bytes have come or the line hangs up (read gives 0 or
    // EIO), running the event loop meanwhile since the server may live in this
    // process. The limit only keeps a broken test from hanging.
    QByteArray read(qsizetype want, int limitMs = 5000)
    {
        QByteArray got;
        QDeadlineTimer limit(limitMs);
        while (got.size() < want && !hungUp_ && !limit.hasExpired()) {
            QCoreApplication::processEvents();
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0) continue;
            char buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0)
                got.append(buf, n);
            else if (n == 0 || errno == EIO)
                hungUp_ = true;
        }
        return got;
    }
    bool hungUp() const { return hungUp_; }

private:
    int fd_ = -1;
    bool hungUp_ = false;
};
