// Every line sent to the unit and every reply received, with the time to the
// millisecond, the route (serial or USB) and who sent it (the window, a load,
// the power monitor, plovanctl), kept in a ring of the latest lines so that
// memory stays bounded however long the program runs.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <vector>

namespace plovan {

class UnitSession;

struct TrafficLine {
    qint64 msecs = 0; // since the epoch
    bool sent = false;
    QString route;   // "serial", "USB"
    QString source;  // "window", "load", "monitor", ...
    QByteArray text; // without its line end
};

// "14:03:07.123 > serial window =D5144"
QString trafficText(const TrafficLine& line);

class TrafficRing {
public:
    static constexpr std::size_t kDefaultCapacity = 100000;
    explicit TrafficRing(std::size_t capacity = kDefaultCapacity) : capacity_(capacity ? capacity : 1) {}
    void push(TrafficLine line);
    std::size_t size() const { return lines_.size(); }
    // 0 = the oldest kept.
    const TrafficLine& at(std::size_t i) const { return lines_[(head_ + i) % lines_.size()]; }
    std::uint64_t total() const { return total_; } // every line ever pushed

private:
    std::size_t capacity_;
    std::vector<TrafficLine> lines_;
    std::size_t head_ = 0;
    std::uint64_t total_ = 0;
};

// Fills a ring from the session's link, and from the USB route through tap().
class TrafficRecorder : public QObject {
    Q_OBJECT
public:
    // `defaultSource`: who writes when no job, no poll and no named writer
    // (UnitSession::Writer, "remote client 2") does ("window", "plovanctl").
    TrafficRecorder(UnitSession& session, QString defaultSource, QObject* parent = nullptr);
    const TrafficRing& ring() const { return ring_; }
    // Who writes now: the monitor while its poll is out, a load while one holds the link.
    QString source() const;

signals:
    void added(const TrafficLine& line);

private:
    void take(bool sent, const QString& route, const QByteArray& bytes);
    void endReceived(const QString& route);

    UnitSession& session_;
    QString defaultSource_;
    TrafficRing ring_;
    TrafficLine partial_; // received bytes before their line end
    QTimer quiet_;        // ends a reply without a line end ("@")
    QString lastSource_;
};

} // namespace plovan
