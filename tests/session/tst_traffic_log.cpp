// The traffic record: each line with its direction, route and source, the
// replies under the source of the line they answer, and a ring that keeps
// only the latest lines.
#include "fake_ftdi_device.h"
#include "power_monitor.h"
#include "sim_backend.h"
#include "traffic_log.h"
#include "unit_session.h"

#include <QTest>

using namespace plovan;

namespace {

QStringList withoutTimes(const TrafficRing& ring)
{
    QStringList out;
    for (std::size_t i = 0; i < ring.size(); ++i)
        out << trafficText(ring.at(i)).section(QLatin1Char(' '), 1);
    return out;
}

} // namespace

class TestTrafficLog : public QObject {
    Q_OBJECT
private slots:
    void ringKeepsTheLatest_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("pushed");
        QTest::addColumn<QString>("oldest");
        QTest::newRow("below capacity") << 3 << 2 << "1";
        QTest::newRow("full") << 3 << 3 << "1";
        QTest::newRow("wrapped once") << 3 << 5 << "3";
        QTest::newRow("wrapped many times") << 3 << 3001 << "2999";
    }
    void ringKeepsTheLatest()
    {
        QFETCH(int, capacity);
        QFETCH(int, pushed);
        QFETCH(QString, oldest);
        TrafficRing ring{std::size_t(capacity)};
        for (int i = 1; i <= pushed; ++i)
            ring.push(TrafficLine{0, true, "serial", "window", QByteArray::number(i)});
        QCOMPARE(ring.size(), std::size_t(std::min(capacity, pushed)));
        QCOMPARE(ring.total(), std::uint64_t(pushed));
        QCOMPARE(QString::fromLatin1(ring.at(0).text), oldest);
        QCOMPARE(ring.at(ring.size() - 1).text, QByteArray::number(pushed));
    }

    void sourcesAndReplies()
    {
        UnitSession s;
        s.link.setBackend(std::make_unique<sim::SimBackend>());
        QVERIFY(s.link.openPort());
        TrafficRecorder recorder(s, QStringLiteral("window"));
        QVERIFY(s.link.sendWait("=E0C"));
        PowerMonitor monitor(s);
        QVERIFY(monitor.pollNow());
        QTRY_VERIFY(!s.pollInFlight());
        QVERIFY(s.begin(Job::ImageLoad));
        {
            Link::JobWrite scope(s.link);
            QVERIFY(s.link.sendWait("=C"));
        }
        s.end(Job::ImageLoad);
        // A bench command over USB, announced once, with its route.
        auto usb = std::make_unique<FakeFtdiDevice>();
        usb->setReadTimeoutMs(100);
        usb->responder = [](const QByteArray&) { return QByteArray("@Plovan\r\n"); };
        s.usb.setDevice(std::move(usb));
        s.usb.FtSend(QStringLiteral("=v"));
        QTRY_COMPARE(recorder.ring().size(), std::size_t(8));
        QStringList lines = withoutTimes(recorder.ring());
        // The readings' reply, whatever its values, is the monitor's.
        const QString reply = lines.takeAt(3);
        QVERIFY2(reply.startsWith("< serial monitor @"), qPrintable(reply));
        QCOMPARE(lines, (QStringList{"> serial window =E0C", "< serial window @", "> serial monitor =AV",
                                     "> serial load =C", "< serial load @", "> USB window =v",
                                     "< USB window @Plovan"}));
    }
};

QTEST_MAIN(TestTrafficLog)
#include "tst_traffic_log.moc"
