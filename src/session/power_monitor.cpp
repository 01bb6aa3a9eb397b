#include "power_monitor.h"

#include "unit_commands.h"
#include "unit_session.h"

#include <algorithm>

namespace plovan {

PowerMonitor::PowerMonitor(UnitSession& session, QObject* parent) : QObject(parent), session_(session)
{
    timer_.setInterval(kDefaultIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!pollNow()) ++skipped_;
    });
    replyTimer_.setSingleShot(true);
    connect(&replyTimer_, &QTimer::timeout, this, [this] {
        if (!session_.pollInFlight()) return;
        finish();
        emit pollFailed(QStringLiteral("No reply from unit to =AV"));
    });
    connect(&session_.link, &Link::bytesReceived, this, &PowerMonitor::onBytes);
    connect(&session_.link, &Link::connectionLost, this, [this] {
        if (session_.pollInFlight()) finish();
    });
}

PowerMonitor::~PowerMonitor()
{
    if (session_.pollInFlight()) finish();
}

void PowerMonitor::setIntervalMs(int ms)
{
    timer_.setInterval(std::clamp(ms, kMinIntervalMs, kMaxIntervalMs));
}

void PowerMonitor::setInterlock(const InterlockSettings& settings)
{
    rule_ = InterlockRule(settings);
}

void PowerMonitor::start()
{
    timer_.start();
}

void PowerMonitor::stop()
{
    timer_.stop();
}

bool PowerMonitor::pollNow()
{
    if (!session_.mayPoll()) return false;
    reply_.clear();
    session_.setPollInFlight(true);
    session_.link.quietTerminal = true;
    if (!session_.link.send(cmd::readAnalogue())) {
        finish();
        return false;
    }
    ++polls_;
    const int timeout = session_.link.ackTimeoutMs();
    replyTimer_.start(timeout > 0 ? timeout : Link::kDefaultAckTimeoutMs);
    return true;
}

void PowerMonitor::finish()
{
    replyTimer_.stop();
    session_.link.quietTerminal = false;
    session_.setPollInFlight(false);
}

void PowerMonitor::onBytes(const QByteArray& bytes)
{
    if (!session_.pollInFlight()) return;
    reply_ += bytes;
    if (!reply_.contains('\n')) {
        // A unit that never ends the line: give up well before memory matters.
        if (reply_.size() > 4096) {
            finish();
            emit pollFailed(QStringLiteral("=AV reply without a line end"));
        }
        return;
    }
    const QByteArray line = reply_.left(reply_.indexOf('\n') + 1);
    finish();
    std::string error;
    const auto values =
        vswr::decodeReply(std::string_view(line.constData(), std::size_t(line.size())), &error);
    if (!values) {
        emit pollFailed(QStringLiteral("=AV reply refused: ") + QString::fromStdString(error));
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    emit reading(now, *values);
    if (const auto trip = rule_.take(*values)) {
        const QString banner =
            QString::fromStdString(tripLine(*trip, now.toString(QStringLiteral("HH:mm:ss")).toStdString()));
        session_.tripInterlock(banner);
        emit tripped(banner);
    }
}

void PowerMonitor::acknowledge()
{
    rule_.acknowledge();
    session_.acknowledgeInterlock();
}

} // namespace plovan
