#include "cli_serve.h"

#include "app_signals.h"
#include "cli_args.h"
#include "cli_checks.h"
#include "plovanctl.h"
#include "remote_server.h"
#include "settings_files.h"

#include <QCoreApplication>
#include <QDir>
#include <csignal>
#include <cstdio>

namespace plovan::cli {

namespace {

const char* const kServeHelp =
    R"(Usage: plovanctl serve [--listen [ADDRESS:]PORT] (--port DEVICE | --sim) [OPTIONS]

Serves the unit to remote clients: SCPI text commands over TCP, one line each
(PyVISA resource TCPIP::HOST::PORT::SOCKET, or any socket), up to 8 clients at
once, until SIGINT (Ctrl-C) or SIGTERM. A load in progress is then cancelled
and the unit cleared before the program ends. The first line printed says
where it listens. On a network address it is announced over mDNS as a
_scpi-raw._tcp service where the system's Avahi daemon runs.

  --listen [ADDRESS:]PORT  where to listen (default 127.0.0.1:5025; port 0
                       picks a free one). Any address but the loopback lets
                       anyone who can reach it drive the RF source.
  --port DEVICE        serial device of the unit
  --sim                a simulated unit inside plovanctl
  --baud N             baud rate (default: portset.txt, else 9600)
  --settings-dir DIR   settings folder (default as the window's)
  --transfer-dir DIR   where MMEMory:DATA stores table files (default: the
                       settings folder's "remote" folder)
  --ack-timeout MS     how long to wait for a reply (default 3000)

Exit status: 0 stopped by a signal; 1 the port or the address could not be
opened; 2 bad input.
)";

} // namespace

int runServe(const QStringList& words)
{
    QString error;
    const auto a =
        parseArgs(words,
                  {{"--listen", "--port", "--baud", "--settings-dir", "--transfer-dir", "--ack-timeout"},
                   {"--sim", "-h", "--help"}},
                  &error);
    if (!a) {
        err(error);
        return kBadInput;
    }
    if (a->has("-h") || a->has("--help")) {
        std::fputs(kServeHelp, stdout);
        return kDone;
    }
    if (!a->operands.isEmpty()) {
        err(QStringLiteral("serve takes no arguments (see plovanctl serve --help)"));
        return kBadInput;
    }
    if (a->has("--sim") == a->values.contains("--port")) {
        err(QStringLiteral("give either --port DEVICE or --sim"));
        return kBadInput;
    }
    const auto listen = remote::parseListen(a->value("--listen", QStringLiteral("127.0.0.1:5025")), &error);
    if (!listen) {
        err(QStringLiteral("--listen: ") + error);
        return kBadInput;
    }
    const QString dir = a->value("--settings-dir", settingsDir());
    const StartupSettings loaded = LoadSettings(dir);
    PortSettings port = loaded.port;
    if (a->values.contains("--baud")) {
        const auto baud = parseWhole(a->value("--baud"));
        if (!baud || *baud < 1) {
            err(QStringLiteral("--baud: \"%1\" is not a baud rate").arg(a->value("--baud")));
            return kBadInput;
        }
        port.baud = *baud;
    }
    const auto timeout = parseWhole(a->value("--ack-timeout", QString::number(Link::kDefaultAckTimeoutMs)));
    if (!timeout || *timeout < 0) {
        err(QStringLiteral("--ack-timeout: give a number of ms"));
        return kBadInput;
    }
    port = a->has("--sim") ? withDevice(port, QString::fromLatin1(kSimDevice))
                           : withDevice(port, a->value("--port"));

    UnitSession session;
    session.setLimits(loaded.MinFrequency, loaded.MaxFrequency);
    session.link.setAckTimeoutMs(*timeout);
    session.hooks.error = [](const std::string& m) { err(QString::fromStdString(m)); };
    session.hooks.warn = [](const std::string& m) { err(QString::fromStdString(m)); };
    session.setPortSettings(port, false);
    if (!session.openPort()) {
        err(QStringLiteral("cannot open %1: %2")
                .arg(session.link.backend()->description(), session.link.openError()));
        return kLinkFailed;
    }
    session.link.Connected = true;

    remote::RemoteServer server(session,
                                a->value("--transfer-dir", QDir(dir).filePath(QStringLiteral("remote"))));
    if (!server.listen(listen->first, listen->second, &error)) {
        err(QStringLiteral("cannot listen on %1: %2").arg(a->value("--listen", "127.0.0.1:5025"), error));
        return kLinkFailed;
    }
    out(QStringLiteral("Serving %1 on %2:%3")
            .arg(session.link.backend()->description(), server.address().toString())
            .arg(server.port()));
    std::fflush(stdout); // whoever started us reads the port from it
    if (!server.address().isLoopback())
        err(QStringLiteral("warning: listening on %1: anyone who can reach it can drive the RF source")
                .arg(server.address().toString()));
    QObject::connect(&server, &remote::RemoteServer::clientsChanged, [&server] {
        if (server.listening()) err(server.statusText());
    });

    AppSignals stopSignals;
    if (!stopSignals.install()) err(stopSignals.errorString());
    QObject::connect(&stopSignals, &AppSignals::terminationRequested, [&](int signo) {
        err(QStringLiteral("stopped by %1").arg(signo == SIGINT ? "SIGINT" : "SIGTERM"));
        // A running load is cancelled (the unit cleared) before the port closes.
        session.stop([&] {
            server.close();
            session.link.closePort();
            QCoreApplication::exit(kDone);
        });
    });
    return QCoreApplication::exec();
}

} // namespace plovan::cli
