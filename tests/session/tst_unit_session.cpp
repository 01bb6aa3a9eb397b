// The unit session: the model follows the lines on the wire whoever wrote
// them, one job holds the link and every other writer is refused by name,
// settings faster than the unit collapse to the newest, and the control
// rules of each (connected, activity, mode).
#include "control_rules.h"
#include "fake_backend.h"
#include "unit_session.h"

#include <QSignalSpy>
#include <QTest>

using namespace plovan;

Q_DECLARE_METATYPE(plovan::Activity)
Q_DECLARE_METATYPE(plovan::ControlRules)

class TestUnitSession : public QObject {
    Q_OBJECT

    FakeBackend* openFake(UnitSession& s)
    {
        auto backend = std::make_unique<FakeBackend>();
        FakeBackend* fake = backend.get();
        s.link.setBackend(std::move(backend));
        s.link.openPort();
        return fake;
    }

private slots:
    void theModelFollowsTheWire_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("frequencyMHz"); // empty: not played
        QTest::addColumn<int>("mask");             // -1: never written

        const QStringList word100 = {"=D5144", "=DEB45", "=D8546", "=D1E47"}; // 0x51EB851E: 100 MHz
        QTest::newRow("words alone play nothing") << word100 << 0 << "" << -1;
        QTest::newRow("=U plays them on every output")
            << (word100 + QStringList{"=U"}) << 3 << "100.000" << -1;
        QTest::newRow("stored to flash plays as well")
            << QStringList{"=aD5144", "=aDEB45", "=aD8546", "=aD1E47", "=aU"} << 0 << "100.000" << -1;
        QTest::newRow("mask 2 plays on output 2 only")
            << (QStringList{"=D2030"} + word100 + QStringList{"=U"}) << 0 << "" << 2;
        QTest::newRow("... and output 2 has it")
            << (QStringList{"=D2030"} + word100 + QStringList{"=U"}) << 1 << "100.000" << 2;
        QTest::newRow("an upper half keeps the low bits told before")
            << (word100 + QStringList{"=U", "=D5D44", "=D2545", "=U"}) << 0 << "113.704" << -1;
        QTest::newRow("an upper half alone: the low half never told counts as 0")
            << QStringList{"=D0B84", "=D8085", "=U"} << 0 << "14.038" << -1;
        QTest::newRow("the group told last plays")
            << (word100 + QStringList{"=D0B84", "=D8085", "=U"}) << 0 << "14.038" << -1;
        QTest::newRow("malformed lines change nothing")
            << QStringList{"=D5", "=DZZ44", "D5144", "=", "=U"} << 0 << "" << -1;
    }
    void theModelFollowsTheWire()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, channel);
        QFETCH(QString, frequencyMHz);
        QFETCH(int, mask);
        UnitSession s;
        openFake(s);
        for (const QString& line : lines)
            QVERIFY(s.link.send(line.toStdString()));
        const std::optional<double> mhz = s.playedMHz(channel);
        QCOMPARE(mhz ? QString::number(*mhz, 'f', 3) : QString(), frequencyMHz);
        QCOMPARE(s.model().channelMask ? int(*s.model().channelMask) : -1, mask);
    }

    void aJobRefusesEveryOtherWriterByName()
    {
        UnitSession s;
        FakeBackend* fake = openFake(s);
        int cancelled = 0;
        QVERIFY(s.begin(Job::ImageLoad, [&] { ++cancelled; }));
        QSignalSpy status(&s.link, &Link::statusMessage);
        const QString busy = "Busy: image load running - cancel it first";
        QVERIFY(!s.begin(Job::Vswr));
        QVERIFY(!s.mayWrite());
        QVERIFY(!s.link.send("=v"));
        QVERIFY(!s.link.writeRaw("a"));
        QCOMPARE(status.size(), 4);
        for (const auto& args : status)
            QCOMPARE(args.at(0).toString(), busy);
        {
            const Link::JobWrite own(s.link);
            QVERIFY(s.link.send("=L"));
        }
        QCOMPARE(fake->written, QByteArrayList{"=L\r\n"});

        // Stopping cancels the job and reports back once the link is free.
        bool done = false;
        s.stop([&] { done = true; });
        QCOMPARE(cancelled, 1);
        QVERIFY(!done);
        s.end(Job::ImageLoad);
        QVERIFY(done);
        QVERIFY(s.link.send("=v"));
        QVERIFY(s.begin(Job::Vswr));
        QVERIFY(s.link.send("=AV")); // only a load holds the link itself
    }

    void settingsFasterThanTheUnitCollapseToTheNewest()
    {
        LatestWins queue;
        QStringList written;
        const auto write = [&](const QString& what, bool ok = true) {
            return [&written, what, ok] {
                written << what;
                return ok;
            };
        };
        queue.run([&] {
            queue.submit(2, write("phase 10"));
            queue.submit(1, write("tune 80"));
            queue.submit(1, write("tune 81"));
            queue.submit(2, write("phase 20"));
            return write("send")();
        });
        QCOMPARE(written, (QStringList{"send", "tune 81", "phase 20"}));

        written.clear();
        queue.run([&] {
            queue.submit(1, write("tune 90", false));
            queue.submit(2, write("phase 30"));
            return true;
        });
        QCOMPARE(written, QStringList{"tune 90"}); // a refused write drops the rest
        queue.submit(3, write("alone"));
        QCOMPARE(written.last(), QString("alone"));

        written.clear();
        queue.run([&] {
            queue.submit(4, write("trim"));
            queue.submit(3, write("row"), {4}); // a row played makes its trims stale
            return true;
        });
        QCOMPARE(written, QStringList{"row"});
    }

    void controlRules_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<Activity>("activity");
        QTest::addColumn<bool>("chirp");
        QTest::addColumn<ControlRules>("rules");
        //                          pages settings loads tools port  typing
        QTest::newRow("closed") << false << Activity::Idle << false
                                << ControlRules{true, false, false, false, true, true};
        QTest::newRow("connected") << true << Activity::Idle << false
                                   << ControlRules{true, true, true, true, true, true};
        QTest::newRow("chirp mode") << true << Activity::Idle << true
                                    << ControlRules{true, true, true, false, true, true};
        QTest::newRow("a setting being written")
            << true << Activity::Procedure << false << ControlRules{true, false, false, false, false, false};
        QTest::newRow("a load") << true << Activity::Job << false
                                << ControlRules{false, false, false, false, false, false};
    }
    void controlRules()
    {
        QFETCH(bool, connected);
        QFETCH(Activity, activity);
        QFETCH(bool, chirp);
        QFETCH(ControlRules, rules);
        QVERIFY(plovan::controlRules(connected, activity, chirp) == rules);
    }
};

QTEST_MAIN(TestUnitSession)
#include "tst_unit_session.moc"
