#include "remote_server.h"

#include "remote_internal.h"

#include "batch_folder.h"
#include "chirp_calc.h"
#include "frequency_limits.h"
#include "header_words.h"
#include "table_file.h"
#include "table_send.h"
#include "transfer_runner.h"
#include "unit_commands.h"
#include "usb_route.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <set>

namespace plovan::remote {

namespace {

using scpi::Error;
using scpi::Parameter;

// CHIRp?: the mode the last control byte set (SING, CHIR or MCH), then the
// ramp the last update played: start and stop in Hz, the step in Hz and the
// dwell per step in seconds; 9.91E+37 for what is not known.
QByteArray chirpAnswer(const UnitModel& model, double clockMHz)
{
    const std::optional<UnitMode> mode = unitMode(model);
    QByteArray text = !mode                           ? kUnknown
                      : *mode == UnitMode::Chirp      ? QByteArray("CHIR")
                      : *mode == UnitMode::Multichirp ? QByteArray("MCH")
                                                      : QByteArray("SING");
    const RampRegisters& r = model.ramp;
    const auto add = [&text](std::optional<std::uint32_t> word, auto toValue) {
        text += ',' + (word ? QByteArray::fromStdString(scpi::formatNumber(toValue(*word))) : kUnknown);
    };
    add(r.start, [clockMHz](std::uint32_t w) { return rampFrequencyMHz(w, clockMHz) * 1e6; });
    add(r.stop, [clockMHz](std::uint32_t w) { return rampFrequencyMHz(w, clockMHz) * 1e6; });
    add(r.step, [clockMHz](std::uint32_t w) { return stepWordKHz(w, clockMHz) * 1e3; });
    add(r.dwell, [clockMHz](std::uint32_t w) { return dwellWordUs(w, clockMHz) * 1e-6; });
    return text;
}

} // namespace

const std::vector<scpi::Node>& nodes()
{
    static const std::vector<scpi::Node> table{
        {"*IDN", kIdn, false, true},
        {"*CLS", kCls, true, false},
        {"*OPC", kOpc, false, true},
        {"[SOURce:]FREQuency[:CW]", kFrequency, true, true},
        {"[SOURce:]PHASe", kPhase, true, true},
        {"[SOURce:]AMPLitude", kAmplitude, true, true},
        {"[SOURce:]CHANnel", kChannel, true, true},
        {"OUTPut[:STATe]", kOutput, true, true},
        {"SYSTem:ERRor[:NEXT]", kSystemError, false, true},
        {"MMEMory:DATA", kMmemData, true, true},
        {"MMEMory:LOAD:IMAGe", kLoadImage, true, false},
        {"MMEMory:LOAD:RAW", kLoadRaw, true, false},
        {"MMEMory:LOAD:MCHirp", kLoadMultichirp, true, false},
        {"MMEMory:LOAD:LUT", kLoadLut, true, false},
        {"[SOURce:]CHIRp", kChirp, true, true},
        {"[SOURce:]CHIRp:CALCulate", kChirpCalc, false, true},
        {"[SOURce:]OFFSet", kOffset, true, false},
        {"[SOURce:]CLOCk", kClock, true, true},
        {"HEADer[:PANel]", kHeader, true, false},
        {"HEADer:BLOCks", kHeaderBlocks, true, false},
        {"HEADer:EXTRa", kExtraHeader, true, false},
        {"CALibration:PLAY", kCalPlay, true, false},
        {"BATCh", kBatch, true, false},
        {"VSWR", kVswr, true, false},
        {"SYSTem:STARtup", kStartup, true, false},
        {"DIAGnostic:COMMand", kDiagCommand, true, false},
        {"DIAGnostic:RAW", kDiagRaw, true, false},
    };
    return table;
}

std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString& text, QString* error)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? QStringLiteral("127.0.0.1") : text.left(colon);
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    QHostAddress address;
    if (host == QLatin1String("localhost"))
        address = QHostAddress::LocalHost;
    else
        address.setAddress(QString(host).remove(QLatin1Char('[')).remove(QLatin1Char(']')));
    if (!ok || port > 65535 || address.isNull()) {
        if (error) *error = QStringLiteral("\"%1\" is not [ADDRESS:]PORT (e.g. 127.0.0.1:5025)").arg(text);
        return std::nullopt;
    }
    return std::pair{address, quint16(port)};
}

struct RemoteServer::Client {
    int id = 0;
    QPointer<QTcpSocket> socket;
    scpi::Framer framer;
    scpi::ErrorQueue errors;
    // Commands not yet run, each with the error its message ended with.
    struct Item {
        std::optional<scpi::Command> command;
        Error error;
    };
    std::deque<Item> queue;
    bool running = false;  // inside pump(): its own commands wait their turn
    bool gone = false;     // disconnected or dropped
    // Settings waiting in the latest-value queue: key, and the number of the
    // newest submitted for it (an older one's end does not end the wait).
    std::map<int, std::uint64_t> pending;
    bool loading = false;  // a load it started is running
    ClientInfo info;       // what the unit panel shows of it
};

RemoteServer::RemoteServer(UnitSession& session, QString transferDir, QObject* parent)
    : QObject(parent), session_(session), transferDir_(std::move(transferDir))
{
    connect(&session_.link, &Link::connectionLost, this, [this] {
        // The queue was dropped with the link: nobody waits for its writes.
        for (auto& [socket, client] : clients_) {
            client->pending.clear();
            resumeLater(client);
        }
    });
    connect(&session_, &UnitSession::interlockChanged, this, [this] {
        // A trip drops the queue too; the clients whose settings went are told why.
        if (session_.interlockLine().isEmpty()) return;
        for (auto& [socket, client] : clients_) {
            if (client->pending.empty()) continue;
            client->pending.clear();
            client->errors.push({scpi::kDeviceError, "Not written: " + session_.interlockLine().toStdString()});
            resumeLater(client);
        }
    });
}

RemoteServer::~RemoteServer()
{
    close();
}

bool RemoteServer::listen(const QHostAddress& address, quint16 port, QString* error)
{
    close();
    server_ = new QTcpServer(this);
    if (!server_->listen(address, port)) {
        if (error) *error = server_->errorString();
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QTcpServer::newConnection, this, &RemoteServer::accept);
    const PortBackend* backend = session_.link.backend();
    if (const auto a = announcementFor(server_->serverAddress(), server_->serverPort(),
                                       backend ? backend->description() : QString(), QHostInfo::localHostName()))
        mdns_.publish(*a);
    emit clientsChanged();
    return true;
}

void RemoteServer::close()
{
    for (auto& [socket, client] : std::map(clients_)) {
        client->gone = true;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    clients_.clear();
    mdns_.withdraw();
    if (server_) {
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
        emit clientsChanged();
    }
}

bool RemoteServer::listening() const
{
    return server_ && server_->isListening();
}

QHostAddress RemoteServer::address() const
{
    return listening() ? server_->serverAddress() : QHostAddress();
}

quint16 RemoteServer::port() const
{
    return listening() ? server_->serverPort() : 0;
}

QList<RemoteServer::ClientInfo> RemoteServer::clients() const
{
    QList<ClientInfo> out;
    for (const auto& [socket, client] : clients_)
        out.append(client->info);
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    return out;
}

QString RemoteServer::statusText() const
{
    if (!listening()) return {};
    return QStringLiteral("Remote: %1:%2, %3 client%4")
        .arg(address().toString())
        .arg(port())
        .arg(clientCount())
        .arg(clientCount() == 1 ? "" : "s");
}

void RemoteServer::accept()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (clients_.size() >= std::size_t(kMaxClients)) {
            socket->write(QByteArrayLiteral("Refused: 8 clients are connected already\n"));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        // Answers are small and awaited one by one: send each at once.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto client = std::make_shared<Client>();
        client->id = nextClientId_++;
        client->socket = socket;
        client->info = {client->id + 1,
                        QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()),
                        QDateTime::currentDateTime(), {}};
        clients_[socket] = client;
        std::weak_ptr<Client> weak = client;
        connect(socket, &QTcpSocket::readyRead, this, [this, weak] {
            if (auto c = weak.lock()) readFrom(c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, weak] {
            if (auto c = weak.lock()) drop(c);
        });
        emit clientsChanged();
    }
}

void RemoteServer::drop(const ClientPtr& client)
{
    if (client->gone) return;
    client->gone = true;
    client->queue.clear();
    if (QTcpSocket* socket = client->socket) {
        socket->disconnect(this);
        clients_.erase(socket);
        socket->abort();
        socket->deleteLater();
    }
    emit clientsChanged();
}

void RemoteServer::readFrom(const ClientPtr& client)
{
    // A socket does not signal readyRead again while this slot runs, and
    // a write below waits for the unit's reply inside it: what the client
    // sent meanwhile is read here, or it would lie unread.
    while (!client->gone && client->socket && client->socket->bytesAvailable() > 0) {
        const QByteArray bytes = client->socket->readAll();
        for (auto& message :
             client->framer.feed(std::string_view(bytes.constData(), std::size_t(bytes.size())))) {
            if (message.error.code != scpi::kNoError) {
                client->queue.push_back({std::nullopt, message.error});
                continue;
            }
            client->info.lastLine.clear();
            for (const char c : std::string_view(message.text).substr(0, 80))
                client->info.lastLine += c >= ' ' && c < 0x7F ? QLatin1Char(c) : QLatin1Char('.');
            emit clientSpoke();
            scpi::Parsed parsed = scpi::parse(message.text, nodes());
            for (auto& command : parsed.commands)
                client->queue.push_back({std::move(command), {}});
            if (parsed.error.code != scpi::kNoError) client->queue.push_back({std::nullopt, parsed.error});
        }
        pump(client);
    }
}

bool RemoteServer::mustWait(const Client& client) const
{
    return client.loading || !client.pending.empty();
}

void RemoteServer::resumeLater(const ClientPtr& client)
{
    std::weak_ptr<Client> weak = client;
    QTimer::singleShot(0, this, [this, weak] {
        if (auto c = weak.lock()) pump(c);
    });
}

void RemoteServer::pump(const ClientPtr& client)
{
    if (client->running || client->gone) return;
    client->running = true;
    while (!client->queue.empty() && !client->gone) {
        Client::Item& item = client->queue.front();
        if (!item.command) {
            client->errors.push(item.error);
            client->queue.pop_front();
            continue;
        }
        const scpi::Command& command = *item.command;
        if (command.node == kOpc && mustWait(*client)) break; // resumed when they end
        // Nothing overtakes a sequence of lines still waiting to go out.
        if (client->pending.count(kKeyBase + (client->id % 1000) * kKeysPerClient + kSequenceKey)) break;
        // A setting a later one of the same node replaces before anything
        // reads it is skipped: only the newest is written (a client that wants
        // each one acknowledged follows it with *OPC?).
        const bool tone = command.node == kFrequency || command.node == kPhase || command.node == kAmplitude;
        if (tone && !command.query) {
            bool replaced = false;
            for (std::size_t i = 1; i < client->queue.size(); ++i) {
                const auto& later = client->queue[i].command;
                if (!later || later->query) break;
                if (later->node == command.node) {
                    replaced = true;
                    break;
                }
                if (later->node != kFrequency && later->node != kPhase && later->node != kAmplitude) break;
            }
            if (replaced) {
                client->queue.pop_front();
                continue;
            }
        }
        const scpi::Command taken = command;
        client->queue.pop_front();
        const UnitSession::Writer writer(session_, writerName(*client));
        execute(client, taken);
    }
    client->running = false;
}

void RemoteServer::answer(const ClientPtr& client, const QByteArray& line)
{
    QTcpSocket* socket = client->socket;
    if (client->gone || !socket) return;
    socket->write(line + '\n');
    if (socket->bytesToWrite() > kMaxUnread) drop(client);
}

void RemoteServer::pushError(const ClientPtr& client, scpi::Error error)
{
    client->errors.push(std::move(error));
}

void RemoteServer::failed(const ClientPtr& client)
{
    // A setting that waited in the queue may meet a job begun meanwhile.
    if (session_.busy())
        client->errors.push({scpi::kDeviceError, session_.busyMessage().toStdString()});
    else if (!session_.link.portOpen())
        client->errors.push({scpi::kCommunicationError, "Connection lost"});
    else
        client->errors.push({scpi::kTimeOutError, "No reply from unit"});
}

bool RemoteServer::mayWrite(const ClientPtr& client)
{
    if (session_.busy()) {
        client->errors.push({scpi::kDeviceError, session_.busyMessage().toStdString()});
        return false;
    }
    if (!session_.link.portOpen()) {
        client->errors.push({scpi::kCommunicationError, "Not connected to the unit"});
        return false;
    }
    return true;
}

QString RemoteServer::writerName(const Client& client)
{
    return QStringLiteral("remote client %1").arg(client.info.number);
}

void RemoteServer::submit(const ClientPtr& client, int key, std::function<bool()> write,
                          std::shared_ptr<std::string> why)
{
    const int full = kKeyBase + (client->id % 1000) * kKeysPerClient + key;
    const std::uint64_t number = ++submissions_;
    client->pending[full] = number;
    std::weak_ptr<Client> weak = client;
    const auto ended = [weak, full, number] {
        const auto c = weak.lock();
        if (!c) return ClientPtr();
        const auto it = c->pending.find(full);
        if (it == c->pending.end() || it->second != number) return ClientPtr();
        c->pending.erase(it);
        return c;
    };
    // The queue lets a write go without running it when one before it got no
    // reply, whoever wrote that one; the client is told, and waits no more.
    const QPointer<RemoteServer> server(this);
    const auto ran = std::shared_ptr<bool>(new bool(false), [server, ended](bool* ran) {
        if (!*ran && server)
            QTimer::singleShot(0, server, [server, ended] {
                if (const auto c = ended()) {
                    c->errors.push({scpi::kDeviceError, "Not written: an earlier write got no reply"});
                    server->pump(c);
                }
            });
        delete ran;
    });
    session_.settings.submit(full, [server, weak, ended, ran, name = writerName(*client), write = std::move(write),
                                    why] {
        if (!server) return true; // the server closed while this waited: nobody asks for it
        *ran = true;
        const UnitSession::Writer writer(server->session_, name);
        const bool ok = write();
        if (auto c = weak.lock()) {
            if (!ok && why && !why->empty())
                c->errors.push({scpi::kDeviceError, *why});
            else if (!ok)
                server->failed(c);
            if (ended() && !c->running) server->resumeLater(c);
        }
        return ok;
    });
}

void RemoteServer::submitSequence(const ClientPtr& client, std::optional<Job> job,
                                  std::function<bool(std::string& why)> write)
{
    if (!mayWrite(client)) return;
    auto why = std::make_shared<std::string>();
    submit(
        client, kSequenceKey,
        [this, job, why, write = std::move(write)] {
            if (job && !session_.begin(*job)) return false;
            const bool ok = write(*why);
            if (job) session_.end(*job);
            return ok;
        },
        why);
}

void RemoteServer::execute(const ClientPtr& client, const scpi::Command& command)
{
    switch (command.node) {
    case kIdn: answer(client, QByteArrayLiteral("Velmar,Plovan,0,") + kPlovanVersion); return;
    case kCls: client->errors.clear(); return;
    case kOpc: answer(client, "1"); return;
    case kSystemError:
        answer(client, QByteArray::fromStdString(scpi::errorReply(client->errors.pop())));
        return;
    case kFrequency:
    case kPhase:
    case kAmplitude:
        if (command.query)
            queryTone(client, command.node, command);
        else
            setTone(client, command.node, command);
        return;
    case kChannel:
        if (!command.query) {
            setChannels(client, command);
            return;
        }
        {
            const auto mask = session_.model().channelMask;
            QByteArray text;
            if (!mask)
                text = kUnknown;
            else if (*mask == 0 || *mask == 0xF)
                text = "ALL";
            else
                for (int i = 0; i < 4; ++i)
                    if (*mask & (1 << i)) text += (text.isEmpty() ? "" : ",") + QByteArray::number(i + 1);
            answer(client, text);
        }
        return;
    case kOutput:
        if (command.query) {
            const auto on = session_.model().rfOn;
            answer(client, on ? QByteArray(*on ? "1" : "0") : kUnknown);
        }
        else {
            setOutput(client, command);
        }
        return;
    case kMmemData:
        if (command.query)
            readData(client, command);
        else
            storeData(client, command);
        return;
    case kChirp:
        if (command.query && !command.parameters.empty())
            client->errors.push(Error{scpi::kParameterNotAllowed, {}});
        else if (command.query)
            answer(client, chirpAnswer(session_.model(), session_.state.ClkFreq));
        else
            setChirp(client, command);
        return;
    case kChirpCalc: calculateChirp(client, command); return;
    case kOffset: setOffset(client, command); return;
    case kClock:
        if (command.query && !command.parameters.empty()) {
            client->errors.push(Error{scpi::kParameterNotAllowed, {}});
        }
        else if (command.query) {
            const auto& word = session_.model().clockWord;
            answer(client, word ? "\"" + QByteArray::fromStdString(*word) + "\"" : kUnknown);
        }
        else {
            setClock(client, command);
        }
        return;
    case kHeader:
    case kHeaderBlocks:
    case kExtraHeader: sendHeader(client, command.node, command); return;
    case kCalPlay: playCalRow(client, command); return;
    case kStartup:
    case kDiagCommand:
    case kDiagRaw: sendDirect(client, command.node, command); return;
    case kBatch: startBatch(client, command); return;
    case kVswr: startVswr(client, command); return;
    case kLoadImage:
    case kLoadRaw:
    case kLoadMultichirp:
    case kLoadLut: startLoad(client, command.node, command); return;
    }
    client->errors.push({scpi::kUndefinedHeader, {}});
}

void RemoteServer::queryTone(const ClientPtr& client, int node, const scpi::Command& command)
{
    const Limits limits = node == kFrequency ? frequencyLimits(session_.state)
                          : node == kPhase   ? kPhaseLimits
                                             : kAmplitudeLimits;
    if (!command.parameters.empty()) {
        // FREQ? MIN, FREQ? MAX: the limits.
        Error error;
        const auto v = valueOf(command, limits, error);
        if (!v || command.parameters[0].kind != Parameter::Kind::Word) {
            client->errors.push(v ? Error{scpi::kParameterNotAllowed, {}} : error);
            return;
        }
        answer(client, QByteArray::fromStdString(scpi::formatNumber(*v)));
        return;
    }
    const UnitModel& model = session_.model();
    const int mask = model.channelMask.value_or(0);
    int channel = 0;
    while (mask != 0 && channel < 3 && !(mask & (1 << channel)))
        ++channel;
    const ChannelTone& tone = model.channels.at(std::size_t(channel));
    std::optional<double> value;
    if (node == kFrequency) {
        if (const auto mhz = session_.playedMHz(channel)) value = *mhz * 1e6;
    }
    else if (node == kPhase) {
        if (tone.phaseWord) value = phaseWordToDegrees(*tone.phaseWord);
    }
    else if (tone.amplitudeWord) {
        value = wordToAmplitude(*tone.amplitudeWord, std::uint8_t(mask));
    }
    answer(client, value ? QByteArray::fromStdString(scpi::formatNumber(*value)) : kUnknown);
}

void RemoteServer::setTone(const ClientPtr& client, int node, const scpi::Command& command)
{
    SynthState& state = session_.state;
    const Limits limits = node == kFrequency ? frequencyLimits(state)
                          : node == kPhase   ? kPhaseLimits
                                             : kAmplitudeLimits;
    Error error;
    const auto v = valueOf(command, limits, error);
    if (!v) {
        client->errors.push(error);
        return;
    }
    if (!mayWrite(client)) return;
    ToneController& tone = session_.tone;
    if (node == kFrequency) {
        // In MHz as the box holds it; the fine hundredths are part of it.
        const std::string text = scpi::formatNumber(*v / 1e6);
        submit(client, 0, [&state, &tone, text] {
            state.frequencyText = text;
            const bool hires = std::exchange(state.hiresF, false);
            const bool ok = tone.Tune();
            state.hiresF = hires;
            return ok;
        });
    }
    else if (node == kPhase) {
        const std::string text = scpi::formatNumber(*v);
        submit(client, 1, [&state, &tone, text] {
            state.phaseText = text;
            return tone.Phase();
        });
    }
    else {
        const std::string text = scpi::formatNumber(*v);
        submit(client, 2, [&state, &tone, text] {
            state.amplitudeText = text;
            return tone.Amplit();
        });
    }
}

void RemoteServer::setOutput(const ClientPtr& client, const scpi::Command& command)
{
    if (command.parameters.size() != 1) {
        client->errors.push(
            {command.parameters.empty() ? scpi::kMissingParameter : scpi::kParameterNotAllowed, {}});
        return;
    }
    const Parameter& p = command.parameters[0];
    std::optional<bool> on;
    if (p.kind == Parameter::Kind::Word && p.text == "ON") on = true;
    if (p.kind == Parameter::Kind::Word && p.text == "OFF") on = false;
    if (p.kind == Parameter::Kind::Number && p.suffix.empty() && (p.number == 0 || p.number == 1))
        on = p.number == 1;
    if (!on) {
        client->errors.push({scpi::kIllegalParameterValue, "ON or OFF expected"});
        return;
    }
    if (*on && !session_.interlockLine().isEmpty()) {
        client->errors.push({scpi::kDeviceError, UnitSession::rfOnRefusedMessage().toStdString()});
        return;
    }
    if (!mayWrite(client)) return;
    submit(client, 3, [this, on = *on] {
        const bool ok = session_.link.sendWait(on ? cmd::rfOn() : cmd::rfOff());
        if (ok) session_.setRfOn(on);
        return ok;
    });
}

void RemoteServer::setChannels(const ClientPtr& client, const scpi::Command& command)
{
    if (command.parameters.size() != 1) {
        client->errors.push(
            {command.parameters.empty() ? scpi::kMissingParameter : scpi::kParameterNotAllowed, {}});
        return;
    }
    const Parameter& p = command.parameters[0];
    std::function<bool()> write;
    ChannelController& channels = session_.channels;
    if (p.kind == Parameter::Kind::Word && p.text == "ALL")
        write = [&channels] { return channels.allChannels(); };
    else if (p.kind == Parameter::Kind::Word && p.text == "NONE")
        write = [&channels] { return channels.noChannels(); };
    else if (p.kind == Parameter::Kind::Number && p.suffix.empty() && p.number >= 1 && p.number <= 4 &&
             p.number == int(p.number))
        write = [&channels, n = int(p.number)] { return channels.selectOneChannel(n); };
    if (!write) {
        client->errors.push({scpi::kIllegalParameterValue, "1, 2, 3, 4, ALL or NONE expected"});
        return;
    }
    if (!mayWrite(client)) return;
    submit(client, 4, std::move(write));
}

void RemoteServer::storeData(const ClientPtr& client, const scpi::Command& command)
{
    if (command.parameters.size() != 2) {
        client->errors.push(
            {command.parameters.size() < 2 ? scpi::kMissingParameter : scpi::kParameterNotAllowed,
             "\"<name>\",<block> expected"});
        return;
    }
    const Parameter& name = command.parameters[0];
    const Parameter& block = command.parameters[1];
    if (name.kind != Parameter::Kind::String || block.kind != Parameter::Kind::Block) {
        client->errors.push({scpi::kDataTypeError, "\"<name>\",<block> expected"});
        return;
    }
    const QString fileName = QString::fromStdString(name.text);
    if (!safeName(fileName)) {
        client->errors.push({scpi::kIllegalParameterValue, "a file name without folders expected"});
        return;
    }
    QDir().mkpath(transferDir_);
    QSaveFile file(QDir(transferDir_).filePath(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(block.text.data(), qint64(block.text.size())) < 0 ||
        !file.commit())
        client->errors.push(
            {scpi::kDeviceError, (fileName + QStringLiteral(": ") + file.errorString()).toStdString()});
}

void RemoteServer::startLoad(const ClientPtr& client, int node, const scpi::Command& command)
{
    Error error;
    const auto name = parameterCount(command, 1, 1, error) ? stringAt(command, 0, error) : std::nullopt;
    if (!name) {
        client->errors.push(error);
        return;
    }
    QString path = QString::fromStdString(*name);
    if (!path.contains(QLatin1Char('/'))) path = QDir(transferDir_).filePath(path);
    const bool lut = node == kLoadLut;
    const table::Layout layout = node == kLoadRaw          ? table::kRaw
                                 : node == kLoadMultichirp ? table::kMultichirp
                                                           : table::kImage;
    const Job job = lut                       ? Job::LutLoad
                    : node == kLoadRaw        ? Job::RawLoad
                    : node == kLoadMultichirp ? Job::MultichirpLoad
                                              : Job::ImageLoad;
    // The pre-flight check: a finding is an error and nothing is sent.
    std::string readError;
    const std::string local = QFile::encodeName(path).toStdString();
    const auto findings =
        lut ? table::checkLutFile(local, &readError) : table::checkFile(local, layout, &readError);
    if (!findings) {
        client->errors.push({scpi::kIllegalParameterValue, *name + ": cannot be read: " + readError});
        return;
    }
    if (!findings->empty()) {
        for (const table::Finding& f : *findings)
            client->errors.push({scpi::kIllegalParameterValue, *name + ": " + table::describe(f)});
        return;
    }
    if (!mayWrite(client)) return;
    // The LUT goes after "Send Header" with the panel's defaults, as the window sends it.
    if (lut && !session_.link.sendWaitEach(header::panelLines(header::panelDefaults()))) {
        failed(client);
        return;
    }
    auto load = std::make_unique<Load>();
    load->job = job;
    Load* raw = load.get();
    if (!beginWork(client, std::move(load), [raw] { raw->runner->cancel(); })) return;
    startFile(raw, path, lut ? lut::serialSender(false) : table::senderFor(layout, false));
}

bool RemoteServer::beginWork(const ClientPtr& client, std::unique_ptr<Load> load, std::function<void()> cancel)
{
    if (!session_.begin(load->job, std::move(cancel))) {
        client->errors.push({scpi::kDeviceError, session_.busyMessage().toStdString()});
        return false;
    }
    load->owner = client;
    load_ = std::move(load);
    client->loading = true;
    return true;
}

void RemoteServer::endWork(Load* load)
{
    if (load != load_.get()) return;
    session_.end(load->job);
    if (auto client = load->owner.lock()) {
        client->loading = false;
        resumeLater(client);
    }
    // The runner or sweep may still be on the stack that called us.
    for (QObject* object : {static_cast<QObject*>(load->runner.release()), static_cast<QObject*>(load->sweep.release())})
        if (object) {
            object->disconnect(this);
            object->deleteLater();
        }
    load_.reset();
}

void RemoteServer::workError(Load* load, const std::string& text)
{
    if (auto client = load->owner.lock()) client->errors.push({scpi::kDeviceError, text});
}

bool RemoteServer::startFile(Load* load, const QString& path, SenderConfig config)
{
    load->messages.clear();
    load->runner = std::make_unique<TransferRunner>(session_.link, std::move(config));
    TransferRunner* runner = load->runner.get();
    connect(runner, &TransferRunner::message, this, [load](const QString& m) { load->messages << m; });
    connect(runner, &TransferRunner::finished, this,
            [this, load](TransferOutcome o) { fileFinished(load, int(o)); });
    QString startError;
    if (runner->start(path, &startError)) return true;
    workError(load, (QFileInfo(path).fileName() + QStringLiteral(": ") + startError).toStdString());
    endWork(load);
    return false;
}

void RemoteServer::fileFinished(Load* load, int outcome)
{
    if (load != load_.get() || !load->runner) return;
    const auto o = TransferOutcome(outcome);
    const TransferRunner& runner = *load->runner;
    session_.setLastLoad(runner.result());
    if (o != TransferOutcome::SentOk && o != TransferOutcome::Completed) {
        // The verdict: the CRC message when there was one (the unit's
        // "Error!" may follow it), else the last thing the send said.
        QString said = load->messages.isEmpty() ? QStringLiteral("Load failed") : load->messages.last();
        for (const QString& m : load->messages)
            if (o == TransferOutcome::CrcError && m.contains(QLatin1String("CRC"))) {
                said = m;
                break;
            }
        std::string text = said.toStdString();
        const TransferEngine& engine = runner.engine();
        if (!said.contains(QLatin1String("record")))
            text += " at record " + std::to_string(engine.recordsSent()) + " of " +
                    std::to_string(engine.recordsAnnounced());
        if (load->job == Job::Batch) text = std::to_string(load->next) + ".plv: " + text;
        workError(load, text);
    }
    if (load->job != Job::Batch) {
        endWork(load);
        return;
    }
    // The batch goes on with its next file once this runner has returned.
    load->runner->disconnect(this);
    load->runner.release()->deleteLater();
    const bool goesOn = BatchFolder::goesOnAfter(o);
    QTimer::singleShot(0, this, [this, load, goesOn] {
        if (load == load_.get()) nextBatchFile(load, goesOn);
    });
}

} // namespace plovan::remote
