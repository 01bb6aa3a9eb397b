#include "link.h"

#include "command_line.h"
#include "unit_protocol.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaMethod>
#include <QStringList>
#include <QTimer>
#include <algorithm>

namespace plovan {

struct Link::Wait {
    Condition done;
    QEventLoop* loop = nullptr; // only once the wait has gone to the event loop
    WaitResult result = WaitResult::Done;
    bool finished = false;

    void finish(WaitResult r)
    {
        if (finished) return;
        finished = true;
        result = r;
        if (loop) loop->quit();
    }
};

// Keeps a wait in the list that cancel, TestMode, a lost connection and
// every arrival go through, for exactly as long as it runs.
class Link::Registration {
public:
    Registration(std::vector<Wait*>& waits, Wait& wait) : waits_(waits), wait_(wait)
    {
        waits_.push_back(&wait_);
    }
    ~Registration() { waits_.erase(std::find(waits_.begin(), waits_.end(), &wait_)); }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    std::vector<Wait*>& waits_;
    Wait& wait_;
};

Link::Link(QObject* parent) : QObject(parent), eventsLetThrough_(Clock::now())
{
    terminal_.reserve();
}

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
    connect(backend_.get(), &PortBackend::bytesReceived, this, &Link::MyPort_event16);
    connect(backend_.get(), &PortBackend::connectionLost, this, &Link::onConnectionLost);
}

void Link::setTestMode(bool on)
{
    const bool changed = testMode_ != on;
    testMode_ = on;
    if (on) finishWaits(WaitResult::TestMode);
    if (changed) emit testModeChanged(on);
}

bool Link::openPort(bool reportNote)
{
    if (!backend_) {
        openError_ = QStringLiteral("no port is chosen");
        PortHandle = 0;
        return false;
    }
    const OpenResult r = backend_->open();
    openError_ = r.ok ? QString() : r.reason;
    PortHandle = r.ok ? 1 : 0;
    if (r.ok && reportNote && !r.reason.isEmpty()) report(r.reason);
    return r.ok;
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

QString Link::busyMessage(const QString& job)
{
    return QStringLiteral("Busy: %1 running - cancel it first").arg(job);
}

bool Link::writeAllowed()
{
    if (holder_.isEmpty() || jobWrites_ > 0) return true;
    report(busyMessage(holder_));
    return false;
}

bool Link::send(std::string_view command)
{
    if (!writeAllowed()) return false;
    if (lineGuard) {
        if (const QString refused = lineGuard(command); !refused.isEmpty()) {
            report(refused);
            return false;
        }
    }
    const auto text = [command] {
        return QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size()));
    };
    if (!portOpen()) {
        report(QStringLiteral("Port not open - not sent: ") + text());
        return false;
    }
    // resize() keeps the buffer, so a steady run of commands allocates nothing.
    line_.resize(0);
    line_.append(command.data(), static_cast<qsizetype>(command.size()));
    line_.append(term.data(), static_cast<qsizetype>(term.size()));
    if (!backend_->writeText(line_)) {
        report(QStringLiteral("Write failed - not sent: ") + text());
        return false;
    }
    // A copy, cheap and shared: a receiver that sends must not change the line
    // under the receivers after it.
    const QByteArray line = line_;
    emit bytesSent(line);
    return true;
}

bool Link::sendWait(std::string_view command)
{
    RecATFlag = false;
    if (!send(command)) return false;
    return proceeds(waitAck(command));
}

bool Link::sendWaitEach(std::span<const std::string> commands)
{
    for (const std::string& command : commands)
        if (!sendWait(command)) return false;
    return true;
}

bool Link::writeRaw(const QByteArray& bytes)
{
    if (!writeAllowed() || !portOpen() || !backend_->writeText(bytes)) return false;
    emit bytesSent(bytes);
    return true;
}

WaitResult Link::waitAck(std::string_view command)
{
    return waitFor({[](const void* link) { return static_cast<const Link*>(link)->RecATFlag; }, this},
                   command);
}

WaitResult Link::waitUntil(const std::function<bool()>& done, std::string_view what)
{
    return waitFor({[](const void* f) { return (*static_cast<const std::function<bool()>*>(f))(); }, &done},
                   what);
}

WaitResult Link::waitAcks(quint64 acksBefore, std::span<const std::string> sent)
{
    struct Count {
        const Link* link;
        quint64 wanted;
    } count{this, acksBefore + sent.size()};
    const WaitResult r = await({[](const void* c) {
                                    const auto* k = static_cast<const Count*>(c);
                                    return k->link->acksReceived_ >= k->wanted;
                                },
                                &count});
    if (r == WaitResult::TimedOut) {
        QStringList unanswered;
        for (std::size_t i = acksReceived_ - acksBefore; i < sent.size(); ++i)
            unanswered << QString::fromStdString(sent[i]);
        reportNoReply(unanswered.join(QStringLiteral(", ")));
    }
    return r;
}

WaitResult Link::waitFor(Condition done, std::string_view what)
{
    const WaitResult r = await(done);
    if (r == WaitResult::TimedOut)
        reportNoReply(QString::fromLatin1(what.data(), static_cast<qsizetype>(what.size())));
    return r;
}

void Link::reportNoReply(const QString& commands)
{
    report(QStringLiteral("No reply from unit to ") + commands);
}

WaitResult Link::await(Condition done)
{
    if (done()) return WaitResult::Done;
    if (testMode_) return WaitResult::TestMode;
    if (!portOpen()) return WaitResult::ConnectionLost;

    Wait wait{done};
    const Registration registered(waits_, wait);
    // Registered first: what the events bring (cancel, TestMode, the reply,
    // a lost line) ends this wait like any other.
    letEventsThroughIfDue();
    // Replies often arrive while the command is still being written; every
    // arrival re-tests the waits, so a quick reply finishes this one here,
    // without paying for an event loop.
    if (!wait.finished && portOpen()) backend_->receiveNow(kQuickWaitMs);
    if (!wait.finished && !portOpen()) wait.finish(WaitResult::ConnectionLost);
    runLoop(wait, ackTimeoutMs_ > 0 ? ackTimeoutMs_ : kForEver, WaitResult::TimedOut);
    return wait.result;
}

void Link::letEventsThroughIfDue()
{
    const Clock::time_point now = Clock::now();
    if (now - eventsLetThrough_ < std::chrono::milliseconds(kLiveIntervalMs)) return;
    eventsLetThrough_ = now;
    QCoreApplication::processEvents();
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
    const Registration registered(waits_, wait);
    runLoop(wait, std::max(ms, 0), WaitResult::Done);
    return wait.result;
}

void Link::runLoop(Wait& wait, int ms, WaitResult atTimeout)
{
    if (wait.finished) return;
    QEventLoop loop;
    // The timer lives no longer than the wait it ends (a wait cancelled
    // early must not be reached by its timer later), and keeps to the
    // millisecond: a coarse timer may fire up to 5% early.
    QTimer timer;
    if (ms != kForEver) {
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, [&wait, atTimeout] { wait.finish(atTimeout); });
        timer.start(ms);
    }
    wait.loop = &loop;
    loop.exec();
    wait.loop = nullptr;
    eventsLetThrough_ = Clock::now();
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
        if (!w->finished && w->done()) w->finish(WaitResult::Done);
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

void Link::terminalAppend(const QString& text)
{
    terminal_.append(text.toLatin1().toStdString());
    emit terminalChanged();
}

void Link::report(const QString& message)
{
    terminalLine(message);
    emit statusMessage(message);
}

void Link::MyPort_event16(const QByteArray& chunk)
{
    if (chunk.isEmpty()) return;
    // The lines are only copied out for someone who listens to them.
    static const QMetaMethod lineSignal = QMetaMethod::fromSignal(&Link::lineReceived);
    const bool lineListened = isSignalConnected(lineSignal);
    std::vector<std::string> lines;
    bool cutNow = false;
    for (const char c : chunk) {
        switch (unit::replyLetter(c)) {
        case unit::ReplyLetter::Ack:
            RecATFlag = true;
            ++acksReceived_;
            break;
        case unit::ReplyLetter::LineTaken: RecCFlag = true; break;
        case unit::ReplyLetter::CrcError: RecKFlag = true; break;
        case unit::ReplyLetter::TooBig: RecEFlag = true; break;
        case unit::ReplyLetter::ImageDone: RecLFlag = true; break;
        case unit::ReplyLetter::None: break;
        }
        switch (c) {
        case '\n':
            if (partialLine_.size() > kMaxLineChars)
                partialLine_.erase(0, partialLine_.size() - kMaxLineChars);
            lastLine_ = partialLine_;
            ++linesCompleted_;
            if (lineListened) lines.push_back(partialLine_);
            partialLine_.clear();
            partialLineCut_ = false;
            continue;
        case '\r': continue;
        default: break;
        }
        // Cut in halves, so that a flood costs a copy per kMaxLineChars characters.
        if (partialLine_.size() >= 2 * kMaxLineChars) {
            partialLine_.erase(0, partialLine_.size() - kMaxLineChars);
            if (!partialLineCut_) cutNow = true;
            partialLineCut_ = true;
        }
        partialLine_.push_back(c);
    }
    InComeBuff = chunk.back();
    if (!quietTerminal)
        terminal_.append(std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
    if (cutNow)
        report(
            QStringLiteral("Reply line cut: more than %1 characters without a line end").arg(kMaxLineChars));
    emit bytesReceived(chunk);
    if (!quietTerminal) emit terminalChanged();
    checkWaits();
    for (const auto& line : lines)
        emit lineReceived(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    if (!quietTerminal && !terminal_.text().empty() && terminal_.text().back() == '\n')
        emit receiveEndedWithLineFeed();
}

void Link::onConnectionLost(const QString& /*reason*/)
{
    connectionFailed(QStringLiteral("Connection lost"));
}

void Link::connectionFailed(const QString& message)
{
    Connected = false;
    report(message);
    finishWaits(WaitResult::ConnectionLost);
    emit connectionLost();
}

} // namespace plovan
