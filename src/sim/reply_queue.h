// The unit's replies on their way back, for the transports: each reply is
// delivered through the event loop after the reply delay, never inside the
// write that caused it, and never ahead of an earlier reply even when the
// delay is shortened meanwhile. A hang-up queued after a reply comes on a
// later pass of the event loop, so that the reply has been handled first.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

namespace plovan::sim {

class ReplyQueue : public QObject {
    Q_OBJECT
public:
    explicit ReplyQueue(QObject* parent = nullptr);

    void push(const QByteArray& bytes, int delayMs);
    void pushHangUp(int delayMs);
    // Forgets everything still on its way.
    void clear();
    bool isEmpty() const { return items_.empty(); }

signals:
    void deliver(const QByteArray& bytes);
    void hangUp();

private:
    struct Item {
        qint64 dueMs;
        QByteArray bytes;
        bool hangUp;
    };
    void add(Item item, int delayMs);
    void onTimer();
    void arm();

    std::deque<Item> items_;
    QElapsedTimer clock_;
    QTimer timer_;
};

} // namespace plovan::sim
