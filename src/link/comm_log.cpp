#include "comm_log.h"

#include "link.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace plovan {

CommLog::CommLog(QObject* parent) : QObject(parent), clock_([] { return QDateTime::currentDateTime(); })
{
    quiet_.setSingleShot(true);
    quiet_.setInterval(kDefaultQuietMs);
    connect(&quiet_, &QTimer::timeout, this, &CommLog::flush);
}

CommLog::~CommLog()
{
    // Whatever is still pending belongs in the file; nobody is left to tell
    // about a failure now.
    if (!isOpen()) return;
    blockSignals(true);
    flush();
    file_.close();
}

void CommLog::attach(Link& link)
{
    connect(&link, &Link::bytesSent, this, &CommLog::recordSent);
    connect(&link, &Link::bytesReceived, this, &CommLog::recordReceived);
}

bool CommLog::open(const QString& path)
{
    close();
    error_.clear();
    // O_APPEND: every line goes after the file's last byte, whatever else
    // writes to it meanwhile. Unbuffered: each line reaches the file when it
    // is written, and a full disk is noticed at that line.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!file_.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        error_ = file_.errorString();
        ::close(fd);
        return false;
    }
    path_ = path;
    emit opened(path);
    return true;
}

void CommLog::close()
{
    if (!isOpen()) return;
    flush();
    // The last write may have failed and closed the log already.
    if (!isOpen()) return;
    file_.close();
    path_.clear();
    emit closed();
}

void CommLog::recordSent(const QByteArray& bytes)
{
    record(sent_, received_, bytes);
}

void CommLog::recordReceived(const QByteArray& bytes)
{
    record(received_, sent_, bytes);
}

void CommLog::record(Direction& dir, Direction& other, const QByteArray& bytes)
{
    if (!isOpen() || bytes.isEmpty()) return;
    // Traffic one way ends the other way's line in progress, so the file
    // reads in the order things happened.
    if (!other.pending.isEmpty()) endLine(other);
    for (const char c : bytes) {
        if (!isOpen()) return;
        if (dir.pending.isEmpty()) dir.started = clock_();
        dir.pending.append(c);
        if (c == '\n' || dir.pending.size() >= kMaxLineBytes) endLine(dir);
    }
    if (isOpen() && (!sent_.pending.isEmpty() || !received_.pending.isEmpty())) quiet_.start();
}

void CommLog::flush()
{
    quiet_.stop();
    for (Direction* dir : {&sent_, &received_})
        if (!dir->pending.isEmpty()) endLine(*dir);
}

void CommLog::endLine(Direction& dir)
{
    QByteArray text = std::exchange(dir.pending, {});
    if (text.endsWith('\n')) text.chop(text.endsWith("\r\n") ? 2 : 1);
    writeLine(dir.started, dir.mark, text);
}

void CommLog::note(const QString& text)
{
    flush();
    writeLine(clock_(), '!', text.toUtf8());
}

void CommLog::writeLine(const QDateTime& stamp, char mark, const QByteArray& text)
{
    if (!isOpen()) return;
    const QByteArray line =
        stamp.toString(QLatin1String(kStampFormat)).toLatin1() + ' ' + mark + ' ' + logText(text) + "\r\n";
    if (file_.write(line) != line.size()) fail();
}

void CommLog::fail()
{
    error_ = file_.errorString();
    const QString message = QStringLiteral("Communications log %1 closed: %2").arg(path_, error_);
    quiet_.stop();
    sent_.pending.clear();
    received_.pending.clear();
    file_.close();
    path_.clear();
    emit closed();
    emit failed(message);
}

QByteArray logText(const QByteArray& line)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(line.size());
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            out.append(c);
            continue;
        }
        out.append('<');
        out.append(kHex[u >> 4]);
        out.append(kHex[u & 0xF]);
        out.append('>');
    }
    return out;
}

} // namespace plovan
