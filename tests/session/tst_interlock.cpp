// The interlock's rule as a table: readings in turn, the trip they make.
// Each reading is four ratios for J1-J4 at a forward level of 1000 counts;
// "-" is an output whose forward level is below the judged floor (RF off).
#include "interlock.h"

#include <QTest>

using namespace plovan;

namespace {

vswr::Reading readingOf(const QString& ratios)
{
    vswr::Reading r{};
    const QStringList parts = ratios.split(QLatin1Char(' '));
    for (int output = 1; output <= 4; ++output) {
        const QString part = parts.value(output - 1);
        const bool off = part == QLatin1String("-");
        const std::size_t k = std::size_t(2 * (4 - output));
        r[k] = off ? 4 : 1000;
        r[k + 1] = off ? 2 : std::uint16_t(part.toDouble() * 1000);
    }
    return r;
}

} // namespace

class TestInterlock : public QObject {
    Q_OBJECT
private slots:
    void rule_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("steps");    // a reading, or "ack"
        QTest::addColumn<QStringList>("expected"); // per step: "" or the trip "J2 0.50"

        const QString ok = "0.05 0.05 0.05 0.05";
        const QString bad2 = "0.05 0.50 0.05 0.05";
        QTest::newRow("trip on the third reading in a row")
            << 3 << QStringList{bad2, bad2, bad2} << QStringList{"", "", "J2 0.50"};
        QTest::newRow("no trip: one good reading breaks the run")
            << 3 << QStringList{bad2, bad2, ok, bad2, bad2} << QStringList{"", "", "", "", ""};
        QTest::newRow("no trip at the level itself")
            << 1 << QStringList{"0.05 0.30 0.05 0.05"} << QStringList{""};
        QTest::newRow("just above the level trips")
            << 1 << QStringList{"0.05 0.31 0.05 0.05"} << QStringList{"J2 0.31"};
        QTest::newRow("no trip while RF is off, whatever the offsets")
            << 1 << QStringList{"- - - -", "- - - -"} << QStringList{"", ""};
        QTest::newRow("an off reading breaks the run")
            << 2 << QStringList{bad2, "0.05 - 0.05 0.05", bad2} << QStringList{"", "", ""};
        QTest::newRow("runs are per output")
            << 2 << QStringList{bad2, "0.05 0.05 0.05 0.60"} << QStringList{"", ""};
        QTest::newRow("the worst output that completed its run is named")
            << 2 << QStringList{"0.40 0.50 0.05 0.05", "0.40 0.90 0.05 0.05"} << QStringList{"", "J2 0.90"};
        QTest::newRow("latched: no second trip until acknowledged")
            << 1 << QStringList{bad2, bad2, bad2} << QStringList{"J2 0.50", "", ""};
        QTest::newRow("recovery: acknowledged, good readings do not trip")
            << 1 << QStringList{bad2, "ack", ok, ok} << QStringList{"J2 0.50", "", "", ""};
        QTest::newRow("acknowledge starts the count afresh")
            << 2 << QStringList{bad2, bad2, "ack", bad2, bad2}
            << QStringList{"", "J2 0.50", "", "", "J2 0.50"};
    }
    void rule()
    {
        QFETCH(int, count);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        InterlockRule rule(InterlockSettings{.tripRatio = 0.3, .count = count, .minForward = 16});
        for (qsizetype i = 0; i < steps.size(); ++i) {
            QString got;
            if (steps[i] == QLatin1String("ack")) {
                rule.acknowledge();
                QVERIFY(!rule.latched());
            }
            else if (const auto trip = rule.take(readingOf(steps[i]))) {
                got = QStringLiteral("J%1 %2").arg(trip->output).arg(trip->ratio, 0, 'f', 2);
                QVERIFY(rule.latched());
            }
            QCOMPARE(got, expected[i]);
        }
    }

    void tripLineSaysOutputRatioLevelAndTime()
    {
        QCOMPARE(tripLine({2, 0.5234, 0.3}, "01:02:03"),
                 std::string("Interlock: J2 reflected/forward 0.52 above 0.30 at 01:02:03 - RF off"));
    }
};

QTEST_APPLESS_MAIN(TestInterlock)
#include "tst_interlock.moc"
