// The simulated unit on a pseudo-terminal, so that the program, plovanctl or
// any terminal program can open it like a serial port (slavePath()).
//
// Both ends are put in raw mode as soon as they exist: with the slave in
// cooked mode the line discipline would echo the unit's replies back to it
// and translate CR. The server keeps its own descriptor of the slave open, so
// the master never reads EIO while no client has the port open and clients
// may come and go. The master is served through QSocketNotifier (non-blocking
// reads and writes); replies wait out the reply delay on a timer.
//
// The unit may be shared with the USB face (UsbSocketServer); each face
// assembles its own lines, so neither sees the other's partial line.
//
// Hang-up fault: once the client has taken the last reply the server closes
// both its descriptors, which hangs up the line: the client's reads return 0
// and its writes fail. Closing earlier would throw that reply away unread.
#pragma once

#include "line_assembler.h"
#include "reply_queue.h"
#include "sim_unit.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace plovan::sim {

class PtyServer : public QObject {
    Q_OBJECT
public:
    explicit PtyServer(const SimConfig& config = {}, QObject* parent = nullptr);
    explicit PtyServer(std::shared_ptr<SimUnit> unit, QObject* parent = nullptr);
    ~PtyServer() override;

    // Opens the pseudo-terminal and starts serving; false when that failed
    // (errorString() says why).
    bool start();
    void stop();
    bool isRunning() const { return master_ >= 0; }
    // The device a client opens, e.g. "/dev/pts/5"; empty before start().
    QString slavePath() const { return slavePath_; }
    QString errorString() const { return error_; }

    SimUnit& unit() { return *unit_; }
    const SimUnit& unit() const { return *unit_; }
    std::shared_ptr<SimUnit> sharedUnit() const { return unit_; }

signals:
    // The hang-up fault has closed the line; the server has stopped.
    void hungUp();
    // The line failed under the server; it has stopped.
    void failed(const QString& reason);

private:
    void onReadable();
    void onWritable();
    void onDeliver(const QByteArray& bytes);
    void onHangUpDue();
    void tryHangUp();
    void flushOut();
    void fail(const QString& reason);

    std::shared_ptr<SimUnit> unit_;
    LineAssembler lines_;
    ReplyQueue replies_;
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString error_;
    QSocketNotifier* readNotifier_ = nullptr;  // children; deleted later, as stop() may
    QSocketNotifier* writeNotifier_ = nullptr; // run inside their own signals
    QByteArray out_;
    bool hangUpQueued_ = false;
    QTimer hangUpTimer_;
    int hangUpChecks_ = 0;
    int quietChecks_ = 0;
};

} // namespace plovan::sim
