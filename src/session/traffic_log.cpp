#include "traffic_log.h"

#include "unit_session.h"

#include <QDateTime>

namespace plovan {

QString trafficText(const TrafficLine& line)
{
    return QDateTime::fromMSecsSinceEpoch(line.msecs).toString(QStringLiteral("HH:mm:ss.zzz")) +
           (line.sent ? QStringLiteral(" > ") : QStringLiteral(" < ")) + line.route + QLatin1Char(' ') +
           line.source + QLatin1Char(' ') + QString::fromLatin1(line.text);
}

void TrafficRing::push(TrafficLine line)
{
    ++total_;
    if (lines_.size() < capacity_) {
        lines_.push_back(std::move(line));
        return;
    }
    lines_[head_] = std::move(line);
    head_ = (head_ + 1) % capacity_;
}

TrafficRecorder::TrafficRecorder(UnitSession& session, QString defaultSource, QObject* parent)
    : QObject(parent), session_(session), defaultSource_(std::move(defaultSource))
{
    // The USB route announces its bytes through the Link too, marked as its own.
    const auto route = [this] {
        return session_.link.usbBytes() ? QStringLiteral("USB") : QStringLiteral("serial");
    };
    connect(&session.link, &Link::bytesSent, this,
            [this, route](const QByteArray& bytes) { take(true, route(), bytes); });
    connect(&session.link, &Link::bytesReceived, this,
            [this, route](const QByteArray& bytes) { take(false, route(), bytes); });
    quiet_.setSingleShot(true);
    quiet_.setInterval(50);
    connect(&quiet_, &QTimer::timeout, this, [this] { endReceived(QStringLiteral("serial")); });
}

QString TrafficRecorder::source() const
{
    if (session_.pollInFlight()) return QStringLiteral("monitor");
    if (const auto job = session_.job(); job && isLoad(*job)) return QStringLiteral("load");
    if (const auto job = session_.job()) return jobName(*job);
    if (!session_.writer().isEmpty()) return session_.writer();
    return defaultSource_;
}

void TrafficRecorder::endReceived(const QString& route)
{
    if (partial_.text.isEmpty() && partial_.msecs == 0) return;
    if (partial_.route.isEmpty()) partial_.route = route;
    TrafficLine done = std::exchange(partial_, {});
    emit added(done);
    ring_.push(std::move(done));
}

void TrafficRecorder::take(bool sent, const QString& route, const QByteArray& bytes)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (sent) {
        // The replies to the line before are complete once the next goes out.
        endReceived(route);
        lastSource_ = source();
        QByteArray text = bytes;
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        TrafficLine line{now, true, route, lastSource_, text};
        emit added(line);
        ring_.push(std::move(line));
        return;
    }
    for (const char c : bytes) {
        if (partial_.msecs == 0) partial_ = TrafficLine{now, false, route, lastSource_, {}};
        if (c == '\r') continue;
        if (c == '\n' || partial_.text.size() >= 512) {
            endReceived(route);
            if (c == '\n') continue;
            partial_ = TrafficLine{now, false, route, lastSource_, {}};
        }
        partial_.text.append(c);
    }
    quiet_.start();
}

} // namespace plovan
