// The two transports of the simulated unit: the in-process port backend and
// the pseudo-terminal server with a plain POSIX client.
#include "pty_client.h"
#include "pty_server.h"
#include "sim_backend.h"

#include <QSignalSpy>
#include <QTest>

using plovan::sim::Faults;
using plovan::sim::PtyServer;
using plovan::sim::SimBackend;

class TstSimTransport : public QObject {
    Q_OBJECT
private slots:
    void backendRepliesThroughEventLoop();
    void backendRefusesWritesWhileClosed();
    void backendKeepsReplyOrderAcrossDelays();
    void backendSilence();
    void backendHangUp();
    void ptyAnswersClient();
    void ptyOutlivesItsClients();
    void ptyHangUp();
};

namespace {

// Everything the backend delivers, collected as it arrives.
struct Collector {
    explicit Collector(SimBackend& b)
    {
        QObject::connect(&b, &SimBackend::bytesReceived, &b, [this](const QByteArray& got) { bytes += got; });
    }
    QByteArray bytes;
};

} // namespace

void TstSimTransport::backendRepliesThroughEventLoop()
{
    SimBackend backend;
    QVERIFY(backend.open().ok);
    QVERIFY(backend.isOpen());
    Collector got(backend);
    QVERIFY(backend.writeText("=E0C\r\n"));
    QVERIFY(backend.writeText("=e\r\n"));
    // Nothing arrives inside the write, nor on a quick look: the Link must
    // see it as a port event.
    QVERIFY(!backend.receiveNow(5));
    QCOMPARE(got.bytes, QByteArray());
    QTRY_COMPARE(got.bytes, QByteArray("@@0C\r\n"));
    QCOMPARE(backend.unit().controlByte(), 0x0C);
}

void TstSimTransport::backendRefusesWritesWhileClosed()
{
    SimBackend backend;
    QVERIFY(!backend.writeText("=r\r\n"));
    QVERIFY(!backend.errorString().isEmpty());
    QVERIFY(backend.open().ok);
    backend.close();
    QVERIFY(!backend.isOpen());
    QVERIFY(!backend.writeText("=r\r\n"));
    QVERIFY(backend.unit().commands().empty());
}

void TstSimTransport::backendKeepsReplyOrderAcrossDelays()
{
    SimBackend backend;
    Collector got(backend);
    backend.open();
    backend.unit().setFaults(Faults{.replyDelayMs = 40});
    backend.writeText("=E0C\r\n");
    // A shorter delay now must not let the next reply overtake the first.
    backend.unit().setFaults(Faults{});
    backend.writeText("=e\r\n");
    QTRY_COMPARE(got.bytes, QByteArray("@@0C\r\n"));
}

void TstSimTransport::backendSilence()
{
    SimBackend backend;
    Collector got(backend);
    backend.open();
    backend.unit().setFaults(Faults{.silent = true});
    backend.writeText("=r\r\n");
    backend.unit().setFaults(Faults{});
    backend.writeText("=p\r\n");
    // Replies keep their order, so a reply to "=r" would have come first.
    QTRY_COMPARE(got.bytes, QByteArray("@"));
    QCOMPARE(backend.unit().commands().size(), 2u);
}

void TstSimTransport::backendHangUp()
{
    SimBackend backend;
    Collector got(backend);
    QSignalSpy lost(&backend, &SimBackend::connectionLost);
    backend.open();
    backend.unit().setFaults(Faults{.hangUpAfter = 2});
    QVERIFY(backend.writeText("=r\r\n"));
    QVERIFY(backend.writeText("=p\r\n"));
    QVERIFY(backend.writeText("=D11E4\r\n")); // accepted by the port, not taken by the unit
    QTRY_COMPARE(lost.count(), 1);
    // The replies were delivered before the line dropped.
    QCOMPARE(got.bytes, QByteArray("@@"));
    QVERIFY(!backend.isOpen());
    QVERIFY(!backend.writeText("=r\r\n"));
    QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 1);
    QCOMPARE(backend.unit().registerValue(0xE4), 0);

    // Opening again is a new connection with the unit's state kept.
    backend.unit().setFaults(Faults{});
    QVERIFY(backend.open().ok);
    backend.writeText("=r\r\n");
    QTRY_COMPARE(got.bytes, QByteArray("@@@"));
}

void TstSimTransport::ptyAnswersClient()
{
    PtyServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QVERIFY(server.slavePath().startsWith(QLatin1String("/dev/pts/")));
    PtyClient client(server.slavePath());
    QVERIFY(client.isOpen());
    QVERIFY(client.write("=r\r\n"));
    QCOMPARE(client.read(1), QByteArray("@"));
    QVERIFY(client.write("=D5144\r\n=d44\r\n"));
    QCOMPARE(client.read(6), QByteArray("@@51\r\n"));
    QCOMPARE(server.unit().registerValue(0x44), 0x51);
}

void TstSimTransport::ptyOutlivesItsClients()
{
    PtyServer server;
    QVERIFY(server.start());
    {
        PtyClient first(server.slavePath());
        first.write("=r\r\n");
        QCOMPARE(first.read(1), QByteArray("@"));
    }
    // With the first client gone the master must not fail (EIO) ...
    QTest::qWait(50);
    QVERIFY(server.isRunning());
    // ... and the next client is served as before.
    PtyClient second(server.slavePath());
    second.write("=p\r\n");
    QCOMPARE(second.read(1), QByteArray("@"));
}

void TstSimTransport::ptyHangUp()
{
    PtyServer server;
    QSignalSpy hungUp(&server, &PtyServer::hungUp);
    server.unit().setFaults(Faults{.hangUpAfter = 1});
    QVERIFY(server.start());
    PtyClient client(server.slavePath());
    client.write("=r\r\n");
    // The last reply still reaches the client; then its reads end.
    QCOMPARE(client.read(2), QByteArray("@"));
    QVERIFY(client.hungUp());
    QCOMPARE(hungUp.count(), 1);
    QVERIFY(!server.isRunning());
    QVERIFY(!client.write("=r\r\n"));
}

QTEST_GUILESS_MAIN(TstSimTransport)
#include "tst_sim_transport.moc"
