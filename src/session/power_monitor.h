// The forward/reflected power monitor: "=AV" at an interval as the
// lowest-priority work on the link (UnitSession::mayPoll), each reply decoded
// as the VSWR sweep decodes it, each reading given to the interlock rule.
// A trip takes RF down through the session at once.
//
// A tick that finds the link in use is skipped, not queued: the next one
// tries again. The reply is taken from the received bytes, so a writer that
// arrives meanwhile is released by the same chunk; the reply stays out of
// the terminal text.
#pragma once

#include "interlock.h"
#include "vswr_file.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace plovan {

class UnitSession;

class PowerMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kMinIntervalMs = 200;
    static constexpr int kMaxIntervalMs = 60000;
    static constexpr int kDefaultIntervalMs = 1000;

    explicit PowerMonitor(UnitSession& session, QObject* parent = nullptr);
    ~PowerMonitor() override;

    // Clamped to 0.2-60 s.
    void setIntervalMs(int ms);
    int intervalMs() const { return timer_.interval(); }
    void setInterlock(const InterlockSettings& settings);
    const InterlockRule& rule() const { return rule_; }

    void start();
    void stop();
    bool running() const { return timer_.isActive(); }
    // One poll now, when the link is free; false when it is not.
    bool pollNow();
    // The operator saw the trip: RF on is allowed again.
    void acknowledge();

    quint64 polls() const { return polls_; }
    quint64 skipped() const { return skipped_; }

signals:
    void reading(const QDateTime& when, const vswr::Reading& values);
    // A reply that did not come or could not be decoded.
    void pollFailed(const QString& why);
    void tripped(const QString& line);

private:
    void onBytes(const QByteArray& bytes);
    void finish();

    UnitSession& session_;
    QTimer timer_;
    QTimer replyTimer_;
    QByteArray reply_;
    InterlockRule rule_;
    quint64 polls_ = 0;
    quint64 skipped_ = 0;
};

} // namespace plovan
