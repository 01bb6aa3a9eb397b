// The power monitor on the built-in unit: a reflecting output trips the
// interlock, the unit is told RF off and the smallest amplitude on every
// channel, RF on is refused until acknowledged; polls yield to every other
// writer and stay out of the terminal.
#include "power_monitor.h"
#include "sim_backend.h"
#include "unit_commands.h"
#include "unit_session.h"

#include <QSignalSpy>
#include <QTest>

using namespace plovan;

namespace {

sim::SimBackend* openSim(UnitSession& s, double reflectJ2, int delayMs = 0)
{
    auto backend = std::make_unique<sim::SimBackend>();
    sim::SimBackend* sim = backend.get();
    sim::Faults faults;
    faults.reflect[1] = reflectJ2;
    faults.replyDelayMs = delayMs;
    sim->unit().setFaults(faults);
    s.link.setBackend(std::move(backend));
    s.link.openPort();
    // Full amplitude on every output, RF on.
    for (const char* line : {"=D0FE3", "=DFFE4", "=U", "=E0F"})
        if (!s.link.sendWait(line)) return nullptr;
    return sim;
}

} // namespace

class TestPowerMonitor : public QObject {
    Q_OBJECT
private slots:
    void interlock_data()
    {
        QTest::addColumn<double>("reflectJ2");
        QTest::addColumn<bool>("trips");
        QTest::newRow("J2 reflecting half trips") << 0.5 << true;
        QTest::newRow("J2 at 0.25 stays under 0.3") << 0.25 << false;
        QTest::newRow("a matched load never trips") << 0.0 << false;
    }
    void interlock()
    {
        QFETCH(double, reflectJ2);
        QFETCH(bool, trips);
        UnitSession s;
        sim::SimBackend* sim = openSim(s, reflectJ2);
        QVERIFY(sim);
        PowerMonitor monitor(s);
        monitor.setIntervalMs(1); // clamped to the shortest, 0.2 s
        QCOMPARE(monitor.intervalMs(), PowerMonitor::kMinIntervalMs);
        QSignalSpy readings(&monitor, &PowerMonitor::reading);
        QSignalSpy tripped(&monitor, &PowerMonitor::tripped);
        monitor.start();
        QTRY_VERIFY_WITH_TIMEOUT(readings.size() >= 5, 5000);
        monitor.stop();
        QCOMPARE(tripped.size(), trips ? 1 : 0);
        const auto& commands = sim->unit().commands();
        const auto off = std::find(commands.begin(), commands.end(), cmd::rfOff());
        QCOMPARE(off != commands.end(), trips);
        if (!trips) return;
        QVERIFY(tripped[0][0].toString().startsWith("Interlock: J2 reflected/forward 0.5"));
        QCOMPARE(s.interlockLine(), tripped[0][0].toString());
        // Within N readings of the fault, then RF off and amplitude 0 on each output.
        QVERIFY(std::count(commands.begin(), commands.end(), cmd::readAnalogue()) >= 3);
        QCOMPARE(sim->unit().controlByte(), cmd::kControlRfOff);
        QCOMPARE(sim->unit().amplitudeWord(), 0);
        for (int channel = 0; channel < 4; ++channel)
            QCOMPARE(s.model().channels[std::size_t(channel)].amplitudeWord, std::optional<std::uint16_t>(0));
        QCOMPARE(s.model().rfOn, std::optional<bool>(false));
        // Refused until acknowledged, and nothing reached the unit.
        const auto sent = commands.size();
        QVERIFY(!s.link.send(cmd::rfOn()));
        QVERIFY(s.link.terminalText().contains(UnitSession::rfOnRefusedMessage()));
        QCOMPARE(sim->unit().commands().size(), sent);
        monitor.acknowledge();
        QVERIFY(s.interlockLine().isEmpty());
        QVERIFY(s.link.sendWait(cmd::rfOn()));
        QCOMPARE(sim->unit().controlByte(), cmd::kControlRfOn);
    }

    void aJobWaitsOnlyForThePollOut()
    {
        UnitSession s;
        QVERIFY(openSim(s, 0, 100));
        s.link.setTerminalText(QStringLiteral("what the operator reads"));
        PowerMonitor monitor(s);
        QSignalSpy readings(&monitor, &PowerMonitor::reading);
        QVERIFY(monitor.pollNow());
        QVERIFY(!s.mayPoll());
        QVERIFY(!monitor.pollNow());
        // The job is not refused: it gets the link once the reply is in.
        QVERIFY(s.begin(Job::Vswr));
        QCOMPARE(readings.size(), 1);
        QVERIFY(!s.pollInFlight());
        QVERIFY(!monitor.pollNow()); // and no poll while it runs
        s.end(Job::Vswr);
        QVERIFY(monitor.pollNow());
        QTRY_COMPARE(readings.size(), 2);
        QCOMPARE(s.link.terminalText(), QStringLiteral("what the operator reads"));
    }

    void aPollWithoutReplyHoldsNobodyForEver()
    {
        UnitSession s;
        QVERIFY(openSim(s, 0));
        s.link.setAckTimeoutMs(0); // wait for ever
        static_cast<sim::SimBackend*>(s.link.backend())->unit().setFaults({.silent = true});
        PowerMonitor monitor(s);
        QVERIFY(monitor.pollNow());
        QVERIFY(s.begin(Job::Vswr)); // after the default time-out, not never
        QVERIFY(!s.pollInFlight());
        QCOMPARE(s.link.ackTimeoutMs(), 0);
        s.end(Job::Vswr);
    }
};

QTEST_MAIN(TestPowerMonitor)
#include "tst_power_monitor.moc"
