// The simulated unit as a port, inside the program: what the Link writes goes
// to a SimUnit, and its replies come back through the event loop like bytes
// from a real port (after the configured reply delay), never inside
// writeText(). The hang-up fault closes the port after the last reply and
// emits connectionLost once; opening again starts a new connection with the
// unit's state kept. The unit may be shared with the USB face (SimFtdiDevice);
// each face assembles its own lines, so neither sees the other's partial line.
#pragma once

#include "line_assembler.h"
#include "port_backend.h"
#include "reply_queue.h"
#include "sim_unit.h"

#include <memory>

namespace plovan::sim {

class SimBackend : public PortBackend {
    Q_OBJECT
public:
    explicit SimBackend(QObject* parent = nullptr);
    explicit SimBackend(const SimConfig& config, QObject* parent = nullptr);
    explicit SimBackend(std::shared_ptr<SimUnit> unit, QObject* parent = nullptr);

    // For tests and for printing the state; faults are set here too.
    SimUnit& unit() { return *unit_; }
    const SimUnit& unit() const { return *unit_; }
    // For a second face on the same unit (its USB device).
    std::shared_ptr<SimUnit> sharedUnit() const { return unit_; }

    OpenResult open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool writeText(const QByteArray& bytes) override;
    QString errorString() const override { return error_; }
    QString description() const override { return QStringLiteral("simulated unit"); }

private:
    void onDeliver(const QByteArray& bytes);
    void onHangUp();

    std::shared_ptr<SimUnit> unit_;
    LineAssembler lines_;
    ReplyQueue replies_;
    bool open_ = false;
    bool hangUpQueued_ = false;
    QString error_;
};

} // namespace plovan::sim
