// The remote server against its clients, well-behaved and not, on an
// in-process simulated unit: what each client reads back, what the unit took.
#include "remote_server.h"
#include "sim_backend.h"
#include "unit_commands.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <memory>

using namespace plovan;

namespace {

QByteArray imageTable(int records = 64)
{
    QByteArray file = QByteArray::number(records, 16).rightJustified(5, '0') + "\r\n";
    for (int i = 0; i < records; ++i)
        file += QByteArray::number(i * 4097, 16).rightJustified(9, '0').toUpper() + "\r\n";
    return file;
}

QByteArray dataCommand(const QByteArray& name, const QByteArray& bytes)
{
    const QByteArray length = QByteArray::number(bytes.size());
    return "MMEM:DATA \"" + name + "\",#" + QByteArray::number(length.size()) + length + bytes + "\n";
}

class Client {
public:
    explicit Client(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(2000);
    }
    void send(const QByteArray& bytes) { socket.write(bytes); }
    // The next `n` lines, or fewer when they do not come within 30 s (a CRC abort takes 6).
    QByteArrayList lines(int n)
    {
        QByteArrayList got;
        QElapsedTimer t;
        t.start();
        while (got.size() < n && t.elapsed() < 30000) {
            if (socket.canReadLine())
                got << socket.readLine().chopped(1);
            else
                QTest::qWait(5);
        }
        return got;
    }
    QTcpSocket socket;
};

} // namespace

class TestRemoteServer : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<UnitSession> session;
    std::unique_ptr<remote::RemoteServer> server;
    std::unique_ptr<QTemporaryDir> dir;
    sim::SimBackend* sim = nullptr;

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        session = std::make_unique<UnitSession>();
        session->setPortSettings(withDevice(PortSettings{}, QString::fromLatin1(kSimDevice)), false);
        QVERIFY(session->openPort());
        session->link.Connected = true;
        sim = qobject_cast<sim::SimBackend*>(session->link.backend());
        QVERIFY(sim);
        server = std::make_unique<remote::RemoteServer>(*session, dir->path());
        QVERIFY(server->listen(QHostAddress::LocalHost, 0));
    }
    void cleanup()
    {
        server.reset();
        session.reset();
    }

    void conversation_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("crcAt");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray idn = "Velmar,Plovan,0,3.09";
        QTest::newRow("binary garbage, then served") << QByteArray("\x01\xff\x80;\n*IDN?\nSYST:ERR?\n", 21)
                                                     << 0 << idn + "|-102,\"Syntax error;header expected\"";
        QTest::newRow("line over 64 KiB dropped")
            << QByteArray(70000, 'F') + "\n*IDN?\nSYST:ERR?\n"
            << 0 << idn + "|-223,\"Too much data;message longer than 65536 bytes\"";
        QTest::newRow("block over 16 MiB refused")
            << "MMEM:DATA \"a\",#817825793" + QByteArray(17825793, '0') + "\nSYST:ERR?\n"
            << 0 << QByteArray("-223,\"Too much data;block larger than 16 MiB\"");
        QTest::newRow("out of range")
            << QByteArray("FREQ 1GHZ\nSYST:ERR?\n") << 0
            << QByteArray("-222,\"Data out of range;1000000000 is outside 80000000 to "
                          "140000000\"");
        QTest::newRow("unknown header")
            << QByteArray("FOO?\nSYST:ERR?\n") << 0 << QByteArray("-113,\"Undefined header;FOO?\"");
        QTest::newRow("wrong suffix")
            << QByteArray("PHAS 10HZ\nSYST:ERR?\n") << 0 << QByteArray("-131,\"Invalid suffix;HZ\"");
        QTest::newRow("settings acknowledged and read back")
            << QByteArray("FREQ 100MHZ;*OPC?;AMPL 256;*OPC?;AMPL?;PHAS MAX;PHAS?;OUTP ON;OUTP?\n") << 0
            << QByteArray("1|1|256|360|1");
        QTest::newRow("stored name with a folder")
            << dataCommand("../x.plv", "00001\r\n0\r\n") + "SYST:ERR?\n"
            << 0 << QByteArray("-224,\"Illegal parameter value;a file name without folders expected\"");
        QTest::newRow("finding refuses the load")
            << dataCommand("bad.plv", "zz\r\n") + "MMEM:LOAD:IMAG \"bad.plv\";*OPC?;SYST:ERR?\n"
            << 0 << QByteArray("1|-224,\"Illegal parameter value;bad.plv: ");
        QTest::newRow("load waited for")
            << dataCommand("t.plv", imageTable()) + "MMEM:LOAD:IMAG \"t.plv\";*OPC?;SYST:ERR?\n"
            << 0 << QByteArray("1|0,\"No error\"");
        QTest::newRow("load's CRC verdict queued")
            << dataCommand("t.plv", imageTable()) + "MMEM:LOAD:IMAG \"t.plv\";*OPC?;SYST:ERR?\n"
            << 3
            << QByteArray("1|-300,\"Device-specific error;CRC Error. File send aborted at record 3 of 64\"");
    }
    void conversation()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, crcAt);
        QFETCH(QByteArray, expected);
        sim::Faults faults;
        faults.crcErrorAtLine = crcAt;
        sim->unit().setFaults(faults);
        Client c(server->port());
        c.send(input);
        const int count = expected.isEmpty() ? 0 : int(expected.count('|')) + 1;
        const QByteArray got = c.lines(count).join('|');
        QVERIFY2(got.startsWith(expected), got.constData());
        // The connection stays, and nothing more was answered.
        c.send("*OPC?\n");
        QCOMPARE(c.lines(1), QByteArrayList{"1"});
    }

    void rfOnRefusedWhileTripped()
    {
        session->tripInterlock(QStringLiteral("Interlock: J2 tripped"));
        Client c(server->port());
        c.send("OUTP ON;*OPC?;SYST:ERR?;OUTP?\n");
        QCOMPARE(c.lines(3), (QByteArrayList{"1",
                                             "-300,\"Device-specific error;RF on refused: the interlock "
                                             "tripped - acknowledge it first\"",
                                             "0"}));
    }

    // Each of plovanctl's other operations under its node: what the client
    // reads back and the lines the unit got, in order (others may lie between).
    void operations_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArrayList>("unitGot");
        QTest::addColumn<int>("lineCount"); // -1: not counted
        const QByteArray ok = "1|0,\"No error\"";
        QTest::newRow("clock word, read back")
            << QByteArray("CLOC \"1f\";*OPC?;CLOC?;SYST:ERR?\n") << QByteArray("1|\"001F\"|0,\"No error\"")
            << QByteArrayList{"=K001F", "=k"} << -1;
        QTest::newRow("chirp with external trigger")
            << QByteArray("CHIR 75MHZ,140MHZ,20US,EXTTRIG;*OPC?;SYST:ERR?\n") << ok
            << QByteArrayList{"=r", "=C", "=U"} << -1;
        QTest::newRow("chirp read back from the registers played")
            << QByteArray("CHIR? ;CHIR 75MHZ,140MHZ,20US;*OPC?;CHIR?;CHIR? 5;CLOC? 1;SYST:ERR?;SYST:ERR?\n")
            << QByteArray("9.91E+37,9.91E+37,9.91E+37,9.91E+37,9.91E+37|1|"
                          "CHIR,74996948.2421875,139999389.6484375,20787.11986541748,0.0000000064|"
                          "-108,\"Parameter not allowed\"|-108,\"Parameter not allowed\"")
            << QByteArrayList{"=D3DC4", "=D70C5", "=D72CA", "=DB0CB", "=U"} << -1;
        QTest::newRow("chirp without update")
            << QByteArray("CHIR 75MHZ,140MHZ,20US,NOUPDATE;*OPC?;SYST:ERR?\n") << ok << QByteArrayList{} << -1;
        QTest::newRow("chirp calculation only")
            << QByteArray("CHIR:CALC? 75MHZ,140MHZ,20US\n") << QByteArray("6.4e-09,3125,20800,140000000")
            << QByteArrayList{} << 0;
        QTest::newRow("chirp ramp refused")
            << QByteArray("CHIR 75MHZ,140MHZ,0US;SYST:ERR?\n")
            << QByteArray("-224,\"Illegal parameter value;N steps is too low") << QByteArrayList{} << 0;
        QTest::newRow("offset with its amplitude")
            << QByteArray("OFFS 1KHZ,100MHZ,300;*OPC?;SYST:ERR?\n") << ok << QByteArrayList{"=U", "=E0C"} << -1;
        QTest::newRow("offset sum above the limit")
            << QByteArray("OFFS 5000KHZ,139MHZ;SYST:ERR?\n")
            << QByteArray("-222,\"Data out of range;Outside Frequency Limits! 144000000 Hz is above 140 MHz")
            << QByteArrayList{} << 0;
        QTest::newRow("offset between steps")
            << QByteArray("OFFS 150HZ,100MHZ;SYST:ERR?\n") << QByteArray("-224,") << QByteArrayList{} << 0;
        QTest::newRow("header with word 14 replaced")
            << QByteArray("HEAD \"14=abcd\";*OPC?;SYST:ERR?\n") << ok << QByteArrayList{"=C"} << 29;
        QTest::newRow("header word out of range")
            << QByteArray("HEAD \"15=abcd\";SYST:ERR?\n") << QByteArray("-224,") << QByteArrayList{} << 0;
        QTest::newRow("header blocks 0 to 1")
            << QByteArray("HEAD:BLOC 0,1;*OPC?;SYST:ERR?\n") << ok << QByteArrayList{"=C"} << 29;
        QTest::newRow("extra header") << QByteArray("HEAD:EXTR;*OPC?;SYST:ERR?\n") << ok << QByteArrayList{"=C"}
                                      << 57;
        QTest::newRow("calibration row played")
            << QByteArray("CAL:PLAY \"c.cal\",5;*OPC?;SYST:ERR?\n") << ok << QByteArrayList{"=U", "=I"} << -1;
        QTest::newRow("calibration row not hex")
            << QByteArray("CAL:PLAY \"c.cal\",7;SYST:ERR?\n")
            << QByteArray("-224,\"Illegal parameter value;row 7 \"\"ZZZZ0000\"\" is not hex: not sent\"")
            << QByteArrayList{} << 0;
        QTest::newRow("command acknowledged")
            << QByteArray("DIAG:COMM \"dA3\";*OPC?;SYST:ERR?\n") << ok << QByteArrayList{"=dA3"} << 1;
        QTest::newRow("start-up sequence")
            << QByteArray("SYST:STAR;*OPC?;SYST:ERR?\n") << ok << QByteArrayList{"=r", "=p", "=D00DF"} << -1;
        QTest::newRow("batch of the transfer folder")
            << QByteArray("BATC;*OPC?;SYST:ERR?\n") << ok << QByteArrayList{"=C", "=L", "=L"} << -1;
        QTest::newRow("batch's CRC verdict")
            << QByteArray("BATC 0,0;*OPC?;SYST:ERR?;SYST:ERR?\n")
            << QByteArray("1|-300,\"Device-specific error;1.plv: CRC Error. File send aborted at record 3 of 16\"|"
                          "0,\"No error\"")
            << QByteArrayList{"=C", "=L"} << -1;
        QTest::newRow("VSWR sweep, its file read back")
            << QByteArray("VSWR \"v.txt\";*OPC?;SYST:ERR?;MMEM:DATA? \"v.txt\"\n")
            << QByteArray(ok + "|#") << QByteArrayList{"=AV", "=AV", "=C"} << -1;
        QTest::newRow("clock word too long")
            << QByteArray("CLOC \"12345\";SYST:ERR?\n") << QByteArray("-224,") << QByteArrayList{} << 0;
        QTest::newRow("command not printable")
            << QByteArray("DIAG:COMM \"a\tb\";SYST:ERR?\n") << QByteArray("-224,") << QByteArrayList{} << 0;
        QTest::newRow("file read back from outside the folder")
            << QByteArray("MMEM:DATA? \"../1.plv\";SYST:ERR?\n") << QByteArray("-224,") << QByteArrayList{} << 0;
        QTest::newRow("VSWR file kept")
            << QByteArray("VSWR \"1.plv\";SYST:ERR?\n")
            << QByteArray("-224,\"Illegal parameter value;1.plv exists") << QByteArrayList{} << 0;
    }
    void operations()
    {
        sim::Faults faults;
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QFETCH(QByteArrayList, unitGot);
        QFETCH(int, lineCount);
        // A batch of two files, or one where each would take a CRC abort.
        faults.crcErrorAtLine = QByteArray(QTest::currentDataTag()).contains("CRC") ? 3 : 0;
        for (int n = 1; n <= (faults.crcErrorAtLine ? 1 : 2); ++n) {
            QFile file(dir->filePath(QStringLiteral("%1.plv").arg(n)));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(imageTable(16)) > 0);
        }
        QFile cal(dir->filePath(QStringLiteral("c.cal")));
        QVERIFY(cal.open(QIODevice::WriteOnly));
        for (int row = 0; row < 256; ++row)
            cal.write(row == 7 ? "ZZZZ0000\r\n" : "0FFF0100\r\n");
        cal.close();
        sim->unit().setFaults(faults);
        const std::size_t before = sim->unit().commands().size();
        Client c(server->port());
        c.send(input);
        const QByteArray got = c.lines(int(expected.count('|')) + 1).join('|');
        QVERIFY2(got.startsWith(expected), got.constData());
        const auto& all = sim->unit().commands();
        const std::vector<std::string> lines(all.begin() + std::ptrdiff_t(before), all.end());
        QByteArray sent;
        for (const std::string& line : lines)
            sent += QByteArray::fromStdString(line) + ' ';
        auto at = lines.begin();
        for (const QByteArray& want : unitGot) {
            at = std::find(at, lines.end(), want.toStdString());
            QVERIFY2(at != lines.end(), (want + " not in: " + sent).constData());
            ++at;
        }
        if (lineCount >= 0) QVERIFY2(lines.size() == std::size_t(lineCount), sent.constData());
    }

    // What the server would announce over mDNS (the daemon itself is tried by hand).
    void announcement_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("name"); // empty: nothing announced
        QTest::newRow("loopback") << "127.0.0.1" << "/dev/ttyUSB0" << "lab" << "";
        QTest::newRow("loopback v6") << "::1" << "/dev/ttyUSB0" << "lab" << "";
        QTest::newRow("every address") << "0.0.0.0" << "/dev/ttyUSB0" << "lab" << "Plovan /dev/ttyUSB0 on lab";
        QTest::newRow("long name cut between characters")
            << "192.0.2.7" << "simulated unit" << QString(40, QChar(0xE9))
            << "Plovan simulated unit on " + QString(19, QChar(0xE9));
    }
    void announcement()
    {
        QFETCH(QString, address);
        QFETCH(QString, unit);
        QFETCH(QString, host);
        QFETCH(QString, name);
        const auto a = remote::announcementFor(QHostAddress(address), 5025, unit, host);
        QCOMPARE(a.has_value(), !name.isEmpty());
        if (!a) return;
        QCOMPARE(QString::fromStdString(a->name), name);
        QCOMPARE(a->type, std::string("_scpi-raw._tcp"));
        QCOMPARE(a->port, quint16(5025));
        QVERIFY(std::find(a->txt.begin(), a->txt.end(), "unit=" + unit.toStdString()) != a->txt.end());
    }

    void burstOfSettingsEndsAtTheLast()
    {
        const auto tunes = [this] {
            int n = 0;
            for (const std::string& line : sim->unit().commands())
                n += line.size() == 6 && line.rfind("=D", 0) == 0 && line.substr(4) == "44";
            return n;
        };
        const int before = tunes();
        Client c(server->port());
        QByteArray burst;
        for (int mhz = 81; mhz <= 130; ++mhz)
            burst += "FREQ " + QByteArray::number(mhz) + "MHZ\n";
        c.send(burst + "*OPC?;FREQ?\n");
        const QByteArrayList got = c.lines(2);
        QCOMPARE(got.size(), 2);
        QCOMPARE(std::lround(got[1].toDouble()), 130000000L);
        QVERIFY2(tunes() - before < 10, QByteArray::number(tunes() - before).constData());
    }

    // The window's write meets a silent unit while a client's setting waits
    // behind it: the setting goes with it, and the client is told, not left waiting.
    void settingDroppedBehindAnotherWritersFailure()
    {
        session->link.setAckTimeoutMs(300);
        sim::Faults silent;
        silent.silent = true;
        sim->unit().setFaults(silent);
        Client c(server->port());
        QTRY_COMPARE(server->clientCount(), 1);
        QTimer::singleShot(50, this, [&c] { c.send("AMPL 256\n*OPC?\nSYST:ERR?\n"); });
        QVERIFY(!session->settings.run([this] { return session->link.sendWait(cmd::rfOn()); }));
        QCOMPARE(c.lines(2),
                 (QByteArrayList{"1", "-300,\"Device-specific error;Not written: an earlier write got no reply\""}));
    }

    // A unit that misbehaves under a client: each ending lands in the client's
    // error queue, *OPC? is still answered, and the connection stays.
    void unitMisbehaving_data()
    {
        QTest::addColumn<sim::Faults>("faults");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("silent") << sim::Faults{.silent = true} << QByteArray("AMPL 256;*OPC?;SYST:ERR?\n")
                                << QByteArray("1|-365,\"Time out error;No reply from unit\"");
        QTest::newRow("noise before each reply")
            << sim::Faults{.garbage = true} << QByteArray("AMPL 256;*OPC?;AMPL?;SYST:ERR?\n")
            << QByteArray("1|256|0,\"No error\"");
        QTest::newRow("hangs up, then nothing more is written")
            << sim::Faults{.hangUpAfter = 1} << QByteArray("AMPL 256;*OPC?;SYST:ERR?;FREQ 90MHZ;SYST:ERR?\n")
            << QByteArray("1|-360,\"Communication error;Connection lost\"|"
                          "-360,\"Communication error;Not connected to the unit\"");
        QTest::newRow("a sequence cut by a silent unit")
            << sim::Faults{.silent = true} << QByteArray("HEAD:BLOC 0,1;*OPC?;SYST:ERR?;*IDN?\n")
            << QByteArray("1|-365,\"Time out error;No reply from unit\"|Velmar,Plovan,");
    }
    void unitMisbehaving()
    {
        QFETCH(sim::Faults, faults);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        session->link.setAckTimeoutMs(300);
        sim->unit().setFaults(faults);
        Client c(server->port());
        c.send(input);
        const QByteArray got = c.lines(int(expected.count('|')) + 1).join('|');
        QVERIFY2(got.startsWith(expected), got.constData());
        QVERIFY(!session->busy());
    }

    // A line that comes in while the server waits for the unit's reply to the
    // line before is served once that reply is in, not left unread.
    void lineArrivingDuringAWriteIsServed()
    {
        sim::Faults slow;
        slow.replyDelayMs = 300;
        sim->unit().setFaults(slow);
        Client c(server->port());
        QTRY_COMPARE(server->clientCount(), 1);
        c.send("AMPL 256\n");
        QTimer::singleShot(100, this, [&c] { c.send("*OPC?\n"); });
        QCOMPARE(c.lines(1), QByteArrayList{"1"});
    }

    void ninthClientRefused()
    {
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < remote::kMaxClients; ++i)
            clients.push_back(std::make_unique<Client>(server->port()));
        QTRY_COMPARE(server->clientCount(), remote::kMaxClients);
        Client ninth(server->port());
        QCOMPARE(ninth.lines(1), QByteArrayList{"Refused: 8 clients are connected already"});
        QTRY_COMPARE(ninth.socket.state(), QAbstractSocket::UnconnectedState);
        clients.back()->send("*IDN?\n");
        QCOMPARE(clients.back()->lines(1).size(), 1);
    }

    void clientReadingNothingDropped()
    {
        Client c(server->port());
        c.socket.setReadBufferSize(1024);
        QTRY_COMPARE(server->clientCount(), 1);
        QByteArray flood;
        for (int i = 0; i < 200000; ++i)
            flood += "*IDN?;*IDN?\n";
        c.send(flood);
        QTRY_VERIFY_WITH_TIMEOUT(server->clientCount() == 0, 30000);
    }

    void loadOutlivesItsClientAndBusiesOthers()
    {
        auto owner = std::make_unique<Client>(server->port());
        owner->send(dataCommand("t.plv", imageTable()) + "MMEM:LOAD:IMAG \"t.plv\"\n");
        QTRY_VERIFY(session->busy());
        Client other(server->port());
        other.send("FREQ 90MHZ\nSYST:ERR?\nHEAD\nSYST:ERR?\n*OPC?\n");
        const QByteArray busy = "-300,\"Device-specific error;Busy: image load running - cancel it first\"";
        QCOMPARE(other.lines(3), (QByteArrayList{busy, busy, "1"}));
        owner.reset(); // gone mid-load
        QTRY_VERIFY_WITH_TIMEOUT(!session->busy(), 20000);
        const auto& load = sim->unit().lastLoad(sim::LoadKind::Image);
        QVERIFY(load);
        QCOMPARE(load->outcome, sim::LoadOutcome::Complete);
        QCOMPARE(load->lines.size(), std::size_t(64));
    }

    // SIGTERM's path: the session's stop ends whichever job a client started.
    void stopCancelsTheJob_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("lastError");
        QTest::newRow("load") << dataCommand("t.plv", imageTable(2000)) + "MMEM:LOAD:IMAG \"t.plv\"\n"
                              << QByteArray("-300,\"Device-specific error;");
        QTest::newRow("batch") << dataCommand("1.plv", imageTable(2000)) + "BATC\n"
                               << QByteArray("-300,\"Device-specific error;Batch stopped at 1.plv\"");
        QTest::newRow("VSWR sweep") << QByteArray("VSWR \"v.txt\"\n")
                                    << QByteArray("-300,\"Device-specific error;VSWR sweep stopped: ");
    }
    void stopCancelsTheJob()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, lastError);
        Client c(server->port());
        c.send(input);
        QTRY_VERIFY(session->busy());
        bool stopped = false;
        session->stop([&] { stopped = true; });
        QTRY_VERIFY_WITH_TIMEOUT(stopped, 20000);
        QVERIFY(!session->busy());
        c.send("*OPC?\n");
        QCOMPARE(c.lines(1), QByteArrayList{"1"});
        QByteArrayList errors;
        for (QByteArray e; errors.size() < 20 && e != "0,\"No error\"";) {
            c.send("SYST:ERR?\n");
            e = c.lines(1).value(0);
            errors << e;
        }
        QVERIFY2(errors.size() >= 2 && errors[errors.size() - 2].startsWith(lastError), errors.join('|').constData());
        if (QByteArray(QTest::currentDataTag()) != "VSWR sweep")
            QCOMPARE(sim->unit().lastLoad(sim::LoadKind::Image)->outcome, sim::LoadOutcome::Abandoned);
    }
};

QTEST_GUILESS_MAIN(TestRemoteServer)
#include "tst_remote_server.moc"
