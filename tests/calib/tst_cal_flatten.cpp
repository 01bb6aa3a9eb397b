// The flatten rule against synthetic devices whose true response is known:
// the new words, played on the true device, must give a flat (or shaped)
// level; rows outside the band, clipped or not monotone are kept and listed.
// And the measured-response reader's findings, line by line.
#include "cal_flatten.h"
#include "hex_text.h"

#include <QTest>
#include <cmath>
#include <functional>
#include <numbers>
#include <sstream>

using namespace plovan;
using namespace plovan::flatten;

namespace {

enum Model { SmallSignal, Saturating, OverSaturated };

// The true level of the device at `mhz` driven with amplitude word `word`.
double truth(Model model, double mhz, double word)
{
    const double bell = std::exp(-std::pow((mhz - 80) / 22, 2));
    if (model == SmallSignal) return (0.3 + 0.7 * bell) * std::pow(word / 4095, 2);
    // Diffraction saturates: sin^2 of the drive, peaking at `peak`.
    const double peak =
        model == Saturating ? 4600 - 400 * bell : 4600 - 1800 * std::exp(-std::pow((mhz - 80) / 5, 2));
    return (0.5 + 0.5 * bell) * std::pow(std::sin(std::numbers::pi / 2 * word / peak), 2);
}

CalRows oldTable()
{
    CalRows rows;
    for (int i = 0; i < kCalLocations; ++i)
        rows[std::size_t(i)] = {hex4(std::lround(2400 + 600 * std::sin(i / 30.0))), hex4(i * 37 % 16384)};
    return rows;
}

// Measured every 2 MHz from 60 to 100 MHz: at the given words, or (none)
// with the old table in force, its word read between the locations.
Response measure(Model model, const QList<int>& words, const CalRows& table)
{
    Response r;
    r.words = std::vector<int>(words.begin(), words.end());
    for (int mhz = 60; mhz <= 100; mhz += 2) {
        r.mhz.push_back(mhz);
        std::vector<double> levels;
        const double at = mhz * 512 / 312.5;
        const auto word = [&](double location) {
            return double(HexValue(table[std::size_t(location)].amplitude));
        };
        const double inForce = word(at) + (at - std::floor(at)) * (word(at + 1) - word(at));
        for (int w : words)
            levels.push_back(truth(model, mhz, w));
        if (words.isEmpty()) levels.push_back(truth(model, mhz, inForce));
        r.levels.push_back(levels);
    }
    return r;
}

} // namespace

class TestCalFlatten : public QObject {
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<QList<int>>("words"); // empty: one column with the table in force
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("level");
        QTest::addColumn<double>("flatWithin"); // true max/min of level over target
        QTest::addColumn<bool>("clips");
        QTest::addColumn<bool>("notMonotone");
        const QList<int> three{0x800, 0xC00, 0xFFF};
        QTest::newRow("small signal, flat at the highest")
            << int(SmallSignal) << QList<int>{} << int(Target::Max) << 0.0 << 1.005 << false << false;
        QTest::newRow("small signal, a level the edges cannot reach")
            << int(SmallSignal) << QList<int>{} << int(Target::Level) << 0.8 << 1.005 << true << false;
        QTest::newRow("three saturating columns, flat at the highest")
            << int(Saturating) << three << int(Target::Max) << 0.0 << 1.02 << false << false;
        QTest::newRow("three saturating columns, a sloping shape")
            << int(Saturating) << three << int(Target::Shape) << 0.0 << 1.02 << false << false;
        // Beside the kept rows the peak falls between two measured words,
        // where no measurement can see it.
        QTest::newRow("three columns, over-saturated in the middle")
            << int(OverSaturated) << three << int(Target::Level) << 0.4 << 1.05 << false << true;
    }
    void rule()
    {
        QFETCH(int, model);
        QFETCH(QList<int>, words);
        QFETCH(int, kind);
        QFETCH(double, level);
        QFETCH(double, flatWithin);
        QFETCH(bool, clips);
        QFETCH(bool, notMonotone);
        const CalRows old = oldTable();
        Target target{Target::Kind(kind), level, {}};
        // The shape falls from 1 at 60 MHz to 0.8 at 100 MHz.
        target.shape = {{60, 100}, {}, {{1.0}, {0.8}}};
        const Plan plan = flatten::flatten(old, measure(Model(model), words, old), target);

        double low = 1e9, high = 0;
        for (int i = 0; i < kCalLocations; ++i) {
            const std::size_t r = std::size_t(i);
            const double mhz = locationMHz(i);
            const Fate fate = plan.fate[r];
            QCOMPARE(plan.rows[r].phase, old[r].phase);
            if (mhz < 60 || mhz > 100) QCOMPARE(fate, Fate::OutOfRange);
            if (fate == Fate::Changed || fate == Fate::Same) {
                const double form = kind == Target::Shape ? 1 - 0.2 * (mhz - 60) / 40 : 1;
                const double ratio =
                    truth(Model(model), mhz, double(HexValue(plan.rows[r].amplitude))) / form;
                low = std::min(low, ratio);
                high = std::max(high, ratio);
            }
            else {
                QCOMPARE(plan.rows[r].amplitude,
                         fate == Fate::Clipped ? std::string("0FFF") : old[r].amplitude);
            }
        }
        QVERIFY2(high / low <= flatWithin, qPrintable(QString::number(high / low, 'f', 5)));
        if (!clips) QVERIFY(plan.predictedSpread <= flatWithin);
        QCOMPARE(rowRanges(plan.rowsWith(Fate::OutOfRange)), std::string("0-98, 164-255"));
        // Clipped rows are where the device cannot reach the target: the band's edges.
        const std::vector<int> clipped = plan.rowsWith(Fate::Clipped);
        QCOMPARE(!clipped.empty(), clips);
        for (int i : clipped)
            QVERIFY(truth(Model(model), locationMHz(i), 4095) < level * 1.01);
        const std::vector<int> kept = plan.rowsWith(Fate::NotMonotone);
        QCOMPARE(!kept.empty(), notMonotone);
        for (int i : kept)
            QVERIFY(std::abs(locationMHz(i) - 80) < 6);

        const std::vector<std::string> lines = summary(plan, target);
        const auto said = [&](const std::string& start) {
            return std::any_of(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.starts_with(start); });
        };
        QVERIFY(said("kept, outside the measured band 60.00-100.00 MHz"));
        QCOMPARE(said("clipped to 0FFF"), clips);
        QCOMPARE(said("kept, the measured level does not rise"), notMonotone);
    }

    void reader_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("db");
        QTest::addColumn<QStringList>("findings");
        QTest::addColumn<QList<int>>("words");
        QTest::addColumn<double>("lastLevel");
        QTest::newRow("comma, words in the header, comments")
            << QByteArray("# bench 3\r\nMHz,A=0FFF,A=800\r\n60,1.5,0.5 # edge\r\n\r\n62,2e0,+1\r\n") << false
            << QStringList{} << QList<int>{0xFFF, 0x800} << 1.0;
        QTest::newRow("semicolon, no header")
            << QByteArray("60;0.25\n61.5;0.5\n") << false << QStringList{} << QList<int>{} << 0.5;
        QTest::newRow("tab, level header, dB")
            << QByteArray("MHz\tlevel\n60\t-3\n70\t10\n") << true << QStringList{} << QList<int>{} << 10.0;
        QTest::newRow("a decimal comma") << QByteArray("MHz;level\n60;0,5\n70;1\n") << false
                                         << QStringList{"line 2: level \"0,5\" is not a number (the decimal "
                                                        "point is \".\")"}
                                         << QList<int>{} << 0.0;
        QTest::newRow("frequencies out of order, a short line, a bad level")
            << QByteArray("60,1\n58,1\n61\n62,x\n63,-1\n") << false
            << QStringList{"line 2: frequency 58 MHz does not follow the line before's 60 MHz (give "
                           "frequencies in rising order)",
                           "line 3: \"61\" has 0 levels, not 1", "line 4: level \"x\" is not a number",
                           "line 5: level -1 is below 0 (levels in dB need --db)"}
            << QList<int>{} << 0.0;
        QTest::newRow("header words: unknown, repeated")
            << QByteArray("MHz,B=1,A=800,A=0800\n60,1,2,3\n61,1,2,3\n") << false
            << QStringList{"line 1: column 2 \"B=1\": name it level, or A= and the amplitude word it was "
                           "taken "
                           "at (hex 0-0FFF)",
                           "line 1: the amplitude word 0800 heads two columns"}
            << QList<int>{} << 0.0;
        QTest::newRow("two levels without a header")
            << QByteArray("60,1,2\n61,1,2\n") << false
            << QStringList{"line 1: 2 levels without a header: name each column's amplitude word in a first "
                           "line such as MHz,A=0FFF,A=0800"}
            << QList<int>{} << 0.0;
        QTest::newRow("one frequency")
            << QByteArray("MHz,level\n60,1\n") << false
            << QStringList{"the file has 1 frequency; at least two are needed"} << QList<int>{} << 0.0;
    }
    void reader()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, db);
        QFETCH(QStringList, findings);
        QFETCH(QList<int>, words);
        QFETCH(double, lastLevel);
        std::istringstream in(text.toStdString());
        const ResponseRead read = readResponse(in, db);
        QStringList got;
        for (const std::string& f : read.findings)
            got << QString::fromStdString(f);
        QCOMPARE(got, findings);
        if (!findings.isEmpty()) return;
        QCOMPARE(read.response.words, std::vector<int>(words.begin(), words.end()));
        QCOMPARE(read.response.levels.back().back(), lastLevel);
    }
};

QTEST_GUILESS_MAIN(TestCalFlatten)
#include "tst_cal_flatten.moc"
