#include "link.h"

#include "command_line.h"
#include "unit_protocol.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace plovan {

struct Link::Wait {
    std::function<bool()> done; // empty for a plain pause
    QEventLoop loop;
    WaitResult result = WaitResult::Done;
    bool finished = false;

    void finish(WaitResult r)
    {
        if (finished) return;
        finished = true;
        result = r;
        loop.quit();
    }
};

Link::Link(QObject* parent) : QObject(parent) {}

Link::~Link()
{
    finishWaits(WaitResult::Cancelled);
    if (backend_) backend_->close();
}

void Link::setBackend(std::unique_ptr<PortBackend> backend)
{
    if (backend_) {
        backend_->disconnect(this);
        backend_->close();
    }
    backend_ = std::move(backend);
    if (!backend_) return;
    connect(backend_.get(), &PortBackend::dataReceived, this, &Link::MyPort_event16);
    connect(backend_.get(), &PortBackend::connectionLost, this, &Link::onConnectionLost);
}

void Link::setTestMode(bool on)
{
    testMode_ = on;
    if (on) finishWaits(WaitResult::TestMode);
}

int Link::openPort()
{
    PortHandle = backend_ ? backend_->open() : 0;
    return PortHandle;
}

void Link::closePort()
{
    if (backend_) backend_->close();
    finishWaits(WaitResult::Cancelled);
}

bool Link::portOpen() const
{
    return backend_ && backend_->isOpen();
}

bool Link::send(std::string_view command)
{
    const QString text = QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size()));
    if (!portOpen()) {
        report(QStringLiteral("Port not open - not sent: ") + text);
        return false;
    }
    const QByteArray line = QByteArray::fromStdString(withTerm(command));
    if (!backend_->writeText(line)) {
        report(QStringLiteral("Write failed - not sent: ") + text);
        return false;
    }
    emit bytesSent(line);
    return true;
}

bool Link::sendWait(std::string_view command)
{
    RecATFlag = false;
    if (!send(command)) return false;
    return proceeds(waitAck(command));
}

bool Link::writeRaw(const QByteArray& bytes)
{
    if (!portOpen() || !backend_->writeText(bytes)) return false;
    emit bytesSent(bytes);
    return true;
}

WaitResult Link::waitAck(std::string_view command)
{
    return waitUntil([this] { return RecATFlag; }, command);
}

WaitResult Link::waitUntil(const std::function<bool()>& done, std::string_view what)
{
    // Replies often arrive while the command is still being written: handle
    // them before paying for an event loop.
    if (portOpen() && backend_->pollNow()) MyPort_event16();
    if (done()) return WaitResult::Done;
    if (testMode_) return WaitResult::TestMode;
    if (!portOpen()) return WaitResult::ConnectionLost;

    Wait wait;
    wait.done = done;
    QTimer timer;
    if (ackTimeoutMs_ > 0) {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [&wait] { wait.finish(WaitResult::TimedOut); });
        timer.start(ackTimeoutMs_);
    }
    const WaitResult r = runWait(wait);
    if (r == WaitResult::TimedOut)
        report(QStringLiteral("No reply from unit to ") +
               QString::fromLatin1(what.data(), static_cast<qsizetype>(what.size())));
    return r;
}

std::optional<std::string> Link::readBack(std::string_view command)
{
    const quint64 before = linesCompleted_;
    RecATFlag = false;
    if (!send(command)) return std::nullopt;
    const WaitResult r = waitUntil([this, before] { return RecATFlag && linesCompleted_ > before; }, command);
    if (r != WaitResult::Done) return std::nullopt;
    // The line holds the acknowledgements that came before its text.
    const auto start = lastLine_.find_first_not_of(unit::kAck);
    return start == std::string::npos ? std::string{} : lastLine_.substr(start);
}

WaitResult Link::pause(int ms)
{
    Wait wait;
    QTimer::singleShot(ms, this, [&wait] { wait.finish(WaitResult::Done); });
    return runWait(wait);
}

WaitResult Link::runWait(Wait& wait)
{
    waits_.push_back(&wait);
    if (!wait.finished) wait.loop.exec();
    waits_.erase(std::find(waits_.begin(), waits_.end(), &wait));
    return wait.result;
}

void Link::finishWaits(WaitResult result)
{
    for (Wait* w : waits_)
        w->finish(result);
}

void Link::cancelWaits()
{
    finishWaits(WaitResult::Cancelled);
}

void Link::checkWaits()
{
    for (Wait* w : waits_)
        if (w->done && w->done()) w->finish(WaitResult::Done);
}

QString Link::terminalText() const
{
    const std::string& t = terminal_.text();
    return QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size()));
}

void Link::clearTerminal()
{
    terminal_.clear();
    emit terminalChanged();
}

void Link::setTerminalText(const QString& text)
{
    terminal_.set(text.toLatin1().toStdString());
    emit terminalChanged();
}

void Link::terminalLine(const QString& line)
{
    terminal_.appendLine(line.toLatin1().toStdString());
    emit terminalChanged();
}

void Link::report(const QString& message)
{
    terminalLine(message);
    emit statusMessage(message);
}

void Link::MyPort_event16()
{
    if (!backend_) return;
    const QByteArray chunk = backend_->readAll();
    if (chunk.isEmpty()) return;
    std::vector<std::string> lines;
    for (const char c : chunk) {
        InComeBuff = c;
        // The letters are case-sensitive: "e" and "l" raise nothing.
        switch (c) {
        case '@': RecATFlag = true; break;
        case 'c':
        case 'C': RecCFlag = true; break;
        case 'k':
        case 'K': RecKFlag = true; break;
        case 'E': RecEFlag = true; break;
        case 'L': RecLFlag = true; break;
        default: break;
        }
        terminal_.append(c);
        if (c == '\n') {
            lastLine_ = partialLine_;
            ++linesCompleted_;
            lines.push_back(std::move(partialLine_));
            partialLine_.clear();
        }
        else if (c != '\r') {
            partialLine_.push_back(c);
        }
    }
    emit bytesReceived(chunk);
    emit terminalChanged();
    checkWaits();
    for (const auto& line : lines)
        emit lineReceived(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    if (!terminal_.text().empty() && terminal_.text().back() == '\n') emit receiveEndedWithLineFeed();
}

void Link::onConnectionLost(const QString& /*reason*/)
{
    Connected = false;
    report(QStringLiteral("Connection lost"));
    finishWaits(WaitResult::ConnectionLost);
    emit connectionLost();
}

} // namespace plovan
