// The remote control server: SCPI text commands over TCP (scpi_parser.h),
// run on a UnitSession like any other face. Each client has its own input
// buffer, error queue and jobs; every write goes through the session's
// arbiter (a job running elsewhere refuses it by name) and its latest-value
// queue. Loads run as the session's jobs and outlive the client that
// started them, so a table is never left half-loaded by a dropped client.
#pragma once

#include "mdns_announcer.h"
#include "scpi_parser.h"
#include "table_send.h"
#include "unit_session.h"

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace plovan {

class TransferRunner;

namespace remote {

inline constexpr quint16 kDefaultPort = 5025;
inline constexpr int kMaxClients = 8;
inline constexpr qint64 kMaxUnread = 1024 * 1024; // answers waiting for a client that reads nothing

// The node table the server answers.
const std::vector<scpi::Node>& nodes();

// "[ADDR:]PORT": the address (127.0.0.1 when left out) and port; empty
// (with `error` set) when it is neither.
std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString& text, QString* error);

class RemoteServer : public QObject {
    Q_OBJECT
public:
    // `transferDir`: where MMEMory:DATA stores files and bare names are loaded from.
    RemoteServer(UnitSession& session, QString transferDir, QObject* parent = nullptr);
    ~RemoteServer() override;

    bool listen(const QHostAddress& address, quint16 port, QString* error = nullptr);
    void close();
    bool listening() const;
    QHostAddress address() const;
    quint16 port() const;
    int clientCount() const { return int(clients_.size()); }
    // "Remote: 127.0.0.1:5025, 2 clients"; empty when not listening.
    QString statusText() const;
    const QString& transferDir() const { return transferDir_; }

    // The clients connected now, in the order they came.
    struct ClientInfo {
        int number = 0;   // "remote client N", from 1, as the traffic view names it
        QString peer;     // address:port
        QDateTime since;  // connected at
        QString lastLine; // the last line it sent; empty before the first
    };
    QList<ClientInfo> clients() const;

signals:
    // A client connected or left, or the server started or stopped.
    void clientsChanged();
    // A client sent a line (ClientInfo::lastLine).
    void clientSpoke();

private:
    struct Client;
    struct Load;
    using ClientPtr = std::shared_ptr<Client>;

    void accept();
    void readFrom(const ClientPtr& client);
    void pump(const ClientPtr& client);
    void resumeLater(const ClientPtr& client);
    bool mustWait(const Client& client) const;
    void execute(const ClientPtr& client, const scpi::Command& command);
    void answer(const ClientPtr& client, const QByteArray& line);
    void drop(const ClientPtr& client);
    // "remote client N": who writes, for the traffic view.
    static QString writerName(const Client& client);

    // The nodes.
    void setTone(const ClientPtr& client, int node, const scpi::Command& command);
    void setOutput(const ClientPtr& client, const scpi::Command& command);
    void setChannels(const ClientPtr& client, const scpi::Command& command);
    void queryTone(const ClientPtr& client, int node, const scpi::Command& command);
    void storeData(const ClientPtr& client, const scpi::Command& command);
    void readData(const ClientPtr& client, const scpi::Command& command);
    void startLoad(const ClientPtr& client, int node, const scpi::Command& command);
    void setChirp(const ClientPtr& client, const scpi::Command& command);
    void calculateChirp(const ClientPtr& client, const scpi::Command& command);
    void setOffset(const ClientPtr& client, const scpi::Command& command);
    void setClock(const ClientPtr& client, const scpi::Command& command);
    void sendHeader(const ClientPtr& client, int node, const scpi::Command& command);
    void playCalRow(const ClientPtr& client, const scpi::Command& command);
    void sendDirect(const ClientPtr& client, int node, const scpi::Command& command);
    void startBatch(const ClientPtr& client, const scpi::Command& command);
    void startVswr(const ClientPtr& client, const scpi::Command& command);

    // Jobs that outlive their command: begun for the client (a busy session
    // refuses, said in its queue), their errors queued for it, ended once.
    bool beginWork(const ClientPtr& client, std::unique_ptr<Load> load, std::function<void()> cancel);
    void endWork(Load* load);
    void workError(Load* load, const std::string& text);
    bool startFile(Load* load, const QString& path, SenderConfig config);
    void fileFinished(Load* load, int outcome);
    void nextBatchFile(Load* load, bool goesOn);
    // A name given by a client: a bare name in the transfer folder, else the path.
    QString pathOf(const std::string& name) const;

    // A setting written through the latest-value queue; its failure lands
    // in the client's error queue (`why` when the write said why).
    void submit(const ClientPtr& client, int key, std::function<bool()> write,
                std::shared_ptr<std::string> why = nullptr);
    // Lines that must go out together, as one write of the client's
    // sequence key, inside `job` when given; `write` may say why it failed.
    void submitSequence(const ClientPtr& client, std::optional<Job> job,
                        std::function<bool(std::string& why)> write);
    // False (and an error queued) when the unit cannot be written now.
    bool mayWrite(const ClientPtr& client);
    void failed(const ClientPtr& client);
    void pushError(const ClientPtr& client, scpi::Error error);

    UnitSession& session_;
    QString transferDir_;
    QTcpServer* server_ = nullptr;
    std::map<QTcpSocket*, ClientPtr> clients_;
    std::unique_ptr<Load> load_;
    int nextClientId_ = 0;
    std::uint64_t submissions_ = 0;
    MdnsAnnouncer mdns_;
};

} // namespace remote
} // namespace plovan
