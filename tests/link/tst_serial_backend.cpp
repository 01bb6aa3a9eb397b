// The serial route end to end: the Link on a QSerialPort, talking to
// plovan-sim over a pseudo-terminal.
#include "connect_sequence.h"
#include "link.h"
#include "serial_backend.h"
#include "unit_protocol.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <locale.h>

using namespace plovan;

class TestSerialBackend : public QObject {
    Q_OBJECT

    QProcess sim;
    Link* link = nullptr;

    // Starts plovan-sim and connects a Link to the device it prints.
    bool startSim(QStringList args)
    {
        sim.start(qEnvironmentVariable("PLOVAN_SIM_BIN"), args << QStringLiteral("--quiet"));
        if (!sim.waitForStarted()) return false;
        while (!sim.canReadLine())
            if (!sim.waitForReadyRead(5000)) return false;
        const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
        if (!path.startsWith("/dev/")) return false;

        link = new Link;
        auto backend = std::make_unique<SerialBackend>();
        PortSettings settings;
        settings.device = path;
        backend->setSettings(settings);
        link->setBackend(std::move(backend));
        link->setAckTimeoutMs(3000);
        return link->openPort() >= 1;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("PLOVAN_SIM_BIN"))
            QSKIP("PLOVAN_SIM_BIN is not set (run through CTest)");
    }
    void cleanup()
    {
        delete link;
        link = nullptr;
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(3000)) sim.kill();
        }
        sim.waitForFinished();
    }

    void connectsAndReadsBack()
    {
        QVERIFY(startSim({}));
        QVERIFY(connectSequence(*link, "0800"));
        QTRY_COMPARE(link->terminalText(), QString("@@@@@"));
        // The E1 write of the sequence lands in the unit's register.
        const auto e1 = link->readBack("=dE1");
        QVERIFY(e1.has_value());
        QCOMPARE(unit::parseByteReadback(*e1), std::optional<std::uint8_t>(0x08));
        QVERIFY(link->sendWait("=E4F"));
        const auto control = link->readBack("=e");
        QVERIFY(control.has_value());
        QCOMPARE(unit::parseByteReadback(*control), std::optional<std::uint8_t>(0x4F));
        // The terminal's tail rule finds the same digits.
        QCOMPARE(unit::controlByteDigitsFromTerminal(link->terminalText().toStdString()),
                 std::optional<std::string>("4F"));
    }

    void slowRepliesAreWaitedFor()
    {
        QVERIFY(startSim({"--delay", "150"}));
        QVERIFY(link->sendWait("=I"));
        QVERIFY(link->sendWait("=U"));
    }

    void silenceTimesOut()
    {
        QVERIFY(startSim({"--fault", "silent"}));
        link->setAckTimeoutMs(200);
        QVERIFY(!link->sendWait("=I"));
        QVERIFY(link->terminalText().contains("No reply from unit to =I"));
        QVERIFY(link->portOpen()); // a silent unit is not a lost one
    }

    void unitHangingUpMidWaitIsReportedOnce()
    {
        // The first line gets no answer, then the unit hangs up.
        QVERIFY(startSim({"--fault", "silent", "--fault", "hangup:1"}));
        link->setAckTimeoutMs(0); // only the hang-up can end this wait
        QSignalSpy lost(link, &Link::connectionLost);
        link->RecATFlag = false;
        QVERIFY(link->send("=I"));
        QCOMPARE(link->waitAck("=I"), WaitResult::ConnectionLost);
        QVERIFY(!link->portOpen());
        // Give a repeating port error the chance to show itself.
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(link->terminalText().count("Connection lost"), 1);
    }

    void unitStoppedMidWaitIsReportedOnce()
    {
        QVERIFY(startSim({"--fault", "silent"}));
        link->setAckTimeoutMs(0);
        QSignalSpy lost(link, &Link::connectionLost);
        QTimer::singleShot(50, &sim, [this] { sim.terminate(); });
        link->RecATFlag = false;
        QVERIFY(link->send("=U"));
        QCOMPARE(link->waitAck("=U"), WaitResult::ConnectionLost);
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
    }

    void portInUseIsRefusedWithItsReason()
    {
        QVERIFY(startSim({}));
        SerialBackend second;
        second.setSettings(link->backend()->settings());
        const OpenResult r = second.open();
        QVERIFY(!r.ok);
        QVERIFY(!r.reason.isEmpty());
        QVERIFY2(!r.reason.contains("No error") && !r.reason.contains("Unknown error"), qPrintable(r.reason));
        QCOMPARE(second.errorString(), r.reason);
        // The first user is not disturbed.
        QVERIFY(link->sendWait("=I"));
    }

    void missingDeviceFailsToOpen()
    {
        Link lonely;
        auto backend = std::make_unique<SerialBackend>();
        PortSettings settings;
        // A name of its own: a lock file of a parallel run is "in use", not "missing".
        settings.device =
            QStringLiteral("/dev/plovan-no-such-port-%1").arg(QCoreApplication::applicationPid());
        backend->setSettings(settings);
        lonely.setBackend(std::move(backend));
        QVERIFY(!lonely.openPort());
        QCOMPARE(lonely.PortHandle, 0);
        // The system's own reason, not a placeholder.
        // (The port layer gives it untranslated, whatever the locale.)
        static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
        QCOMPARE(lonely.openError(), QString::fromLocal8Bit(strerror_l(ENOENT, c)));
        QVERIFY(!lonely.send("=r"));
    }
};

QTEST_GUILESS_MAIN(TestSerialBackend)
#include "tst_serial_backend.moc"
