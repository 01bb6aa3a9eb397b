#include "reply_queue.h"

#include <algorithm>

namespace plovan::sim {

ReplyQueue::ReplyQueue(QObject* parent) : QObject(parent)
{
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ReplyQueue::onTimer);
}

void ReplyQueue::push(const QByteArray& bytes, int delayMs)
{
    add({0, bytes, false}, delayMs);
}

void ReplyQueue::pushHangUp(int delayMs)
{
    add({0, {}, true}, delayMs);
}

void ReplyQueue::add(Item item, int delayMs)
{
    item.dueMs = clock_.elapsed() + std::max(delayMs, 0);
    if (!items_.empty()) item.dueMs = std::max(item.dueMs, items_.back().dueMs);
    items_.push_back(std::move(item));
    if (items_.size() == 1) arm();
}

void ReplyQueue::clear()
{
    items_.clear();
    timer_.stop();
}

void ReplyQueue::arm()
{
    if (items_.empty()) return;
    timer_.start(static_cast<int>(std::max<qint64>(items_.front().dueMs - clock_.elapsed(), 0)));
}

void ReplyQueue::onTimer()
{
    bool delivered = false;
    while (!items_.empty() && items_.front().dueMs <= clock_.elapsed()) {
        if (items_.front().hangUp) {
            if (delivered) break; // let the receivers handle the replies first
            items_.pop_front();
            emit hangUp();
            arm();
            return;
        }
        const QByteArray bytes = items_.front().bytes;
        items_.pop_front();
        delivered = true;
        emit deliver(bytes); // a receiver may push or clear from here
    }
    arm();
}

} // namespace plovan::sim
