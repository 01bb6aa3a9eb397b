// The simulated unit's USB device served on a Unix socket (the protocol is in
// usb_socket_protocol.h), over a SimUsbFace. It lives in plovan-sim's event
// loop beside the PtyServer and must never hold it up: every socket is
// non-blocking, replies wait out the reply delay on a timer, and a client
// that stops reading is dropped once kMaxPending bytes wait for it.
//
// Any number of clients (up to kMaxClients) may be connected and list; one
// at a time has the device open. A client that goes away closes the device
// for the next. The unplug fault ends the open session for good: the device
// stays unlisted until the server is started again.
#pragma once

#include "sim_usb_face.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace plovan::sim {

class UsbSocketServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 8;
    static constexpr qsizetype kMaxPending = 4 << 20;

    using LogSink = std::function<void(const QString& line)>;

    explicit UsbSocketServer(std::shared_ptr<SimUnit> unit, const UsbFaults& faults = {},
                             QObject* parent = nullptr);
    ~UsbSocketServer() override;

    // Listens on `path`. A socket file no server answers on is replaced;
    // anything else there (a live server, a file) makes it fail, with
    // errorString() saying why.
    bool start(const QString& path);
    // Ends every connection and removes the socket file.
    void stop();
    bool isRunning() const { return listenFd_ >= 0; }
    QString path() const { return path_; }
    QString errorString() const { return error_; }

    SimUsbFace& face() { return face_; }
    // Session events ("usb: device opened"); commands are logged by the unit.
    void setLogSink(LogSink sink) { log_ = std::move(sink); }

private:
    struct Client {
        int id = 0;
        int fd = -1;
        QSocketNotifier* readNotifier = nullptr;
        QSocketNotifier* writeNotifier = nullptr;
        QByteArray in;
        QByteArray out;
        bool dead = false;
    };

    void onAcceptable();
    void onReadable(int id);
    void onWritable(int id);
    void handle(Client& client, char type, const QByteArray& payload);
    void answer(Client& client, FtStatus status, const QList<QByteArray>& fields = {});
    void answer(Client& client, const SimUsbFace::Result& result);
    void send(Client& client, const QByteArray& frame);
    void flush(Client& client);
    void deliverDue();
    void armReplies();
    void endSession(const QString& why);
    Client* find(int id);
    // Drops clients marked dead; runs last in every handler.
    void reap();
    void drop(Client& client);
    void log(const QString& line) const;

    SimUsbFace face_;
    LogSink log_;
    int listenFd_ = -1;
    QSocketNotifier* listenNotifier_ = nullptr;
    QString path_;
    QString error_;
    std::vector<std::unique_ptr<Client>> clients_;
    int nextId_ = 1;
    int owner_ = 0; // id of the client with the device open, 0 for none
    QTimer replyTimer_;
};

} // namespace plovan::sim
