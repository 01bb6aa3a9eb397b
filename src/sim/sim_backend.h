// The simulated unit as a port, inside the program: what the Link writes goes
// to a SimUnit, and its replies come back through the event loop like bytes
// from a real port (after the configured reply delay), never inside
// writeText(). The hang-up fault closes the port after the last reply and
// emits connectionLost once; opening again starts a new connection with the
// unit's state kept.
#pragma once

#include "port_backend.h"
#include "reply_queue.h"
#include "sim_unit.h"

namespace plovan::sim {

class SimBackend : public PortBackend {
    Q_OBJECT
public:
    explicit SimBackend(QObject* parent = nullptr);
    explicit SimBackend(const SimConfig& config, QObject* parent = nullptr);

    // For tests and for printing the state; faults are set here too.
    SimUnit& unit() { return unit_; }
    const SimUnit& unit() const { return unit_; }

    OpenResult open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool writeText(const QByteArray& bytes) override;
    QString errorString() const override { return error_; }
    QString description() const override { return QStringLiteral("simulated unit"); }

private:
    void onDeliver(const QByteArray& bytes);
    void onHangUp();

    SimUnit unit_;
    ReplyQueue replies_;
    bool open_ = false;
    bool hangUpQueued_ = false;
    QString error_;
};

} // namespace plovan::sim
