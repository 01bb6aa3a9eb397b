#include "sim_backend.h"

namespace plovan::sim {

SimBackend::SimBackend(QObject* parent) : SimBackend(SimConfig{}, parent) {}

SimBackend::SimBackend(const SimConfig& config, QObject* parent)
    : SimBackend(std::make_shared<SimUnit>(config), parent)
{
    // A unit of its own is the built-in one: PLOVAN_SIM_FAULT applies to it.
    unit_->setFaults(builtInFaults());
}

SimBackend::SimBackend(std::shared_ptr<SimUnit> unit, QObject* parent)
    : PortBackend(parent), unit_(std::move(unit))
{
    connect(&replies_, &ReplyQueue::deliver, this, &SimBackend::onDeliver);
    connect(&replies_, &ReplyQueue::hangUp, this, &SimBackend::onHangUp);
}

OpenResult SimBackend::open()
{
    if (!open_) {
        unit_->connectionOpened();
        lines_.clear();
        open_ = true;
        hangUpQueued_ = false;
    }
    error_.clear();
    return OpenResult::opened();
}

void SimBackend::close()
{
    open_ = false;
    hangUpQueued_ = false;
    replies_.clear();
}

bool SimBackend::writeText(const QByteArray& bytes)
{
    if (!open_) {
        error_ = QStringLiteral("the simulated unit is not connected");
        return false;
    }
    const std::string reply = unit_->receive(
        lines_.take(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
    const int delay = unit_->faults().replyDelayMs;
    if (!reply.empty()) replies_.push(QByteArray(reply.data(), static_cast<qsizetype>(reply.size())), delay);
    if (unit_->hungUp() && !hangUpQueued_) {
        hangUpQueued_ = true;
        replies_.pushHangUp(delay);
    }
    return true;
}

void SimBackend::onDeliver(const QByteArray& bytes)
{
    if (!open_) return;
    emit bytesReceived(bytes);
}

void SimBackend::onHangUp()
{
    if (!open_) return;
    close();
    error_ = QStringLiteral("the simulated unit hung up");
    emit connectionLost(error_);
}

} // namespace plovan::sim
