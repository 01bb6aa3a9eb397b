// The chirp arithmetic: "Calculate DeltaF" on the worked values and its
// edge cases, the ramp words, the refusals of words the registers cannot
// hold, the staircase preview, and number texts under a German locale.
#include "chirp_calc.h"

#include <QLocale>
#include <QTest>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

using namespace plovan;

namespace {

ChirpFields fields(std::string start, std::string stop, std::string ramp, std::string mult = "00001",
                   RampUnit unit = RampUnit::uS)
{
    ChirpFields f;
    f.startText = std::move(start);
    f.stopText = std::move(stop);
    f.rampTimeText = std::move(ramp);
    f.dwellMultiplierText = std::move(mult);
    f.rampUnit = unit;
    return f;
}

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

QString q(const std::optional<std::string>& s)
{
    return s ? QString::fromStdString(*s) : QStringLiteral("<unchanged>");
}

// 32-bit frequency word to MHz at 312.5 MHz.
double mhz(std::uint64_t word)
{
    return static_cast<double>(word) * 312.5 / 4294967296.0;
}

using Word = std::optional<std::uint32_t>;
__extension__ typedef unsigned __int128 u128;

// The procedure's double arithmetic for the step word: what the unit has
// always received, the reference the exact word is held to.
Word stepWordFormula(double kHz, double clkFreq = kClkFreq)
{
    const double w = std::floor(kHz / 1000 * 16777216.0 / clkFreq);
    if (!(w >= 0.0) || w > kMaxStepWord) return std::nullopt;
    return static_cast<std::uint32_t>(w);
}

Decimal dec(const std::string& text)
{
    const auto d = parseDecimal(text);
    if (!d) qFatal("test value \"%s\" does not parse", text.c_str());
    return *d;
}

// units / 10^12 as a 12-place decimal text.
std::string picoText(long units)
{
    const std::string frac = std::to_string(1'000'000'000'000 + units % 1'000'000'000'000).substr(1);
    return std::to_string(units / 1'000'000'000'000) + "." + frac;
}

} // namespace

class TestChirpCalc : public QObject {
    Q_OBJECT

private slots:
    void workedExample()
    {
        const ChirpCalculation c = calculateDeltaF(fields("75", "140", "20"), 140);
        QCOMPARE(q(c.message), QString());
        QVERIFY(!c.SkipFlg);
        QCOMPARE(c.RTime, 20000.0);
        QCOMPARE(c.Dtime, 6.4);
        QCOMPARE(c.N, 3125.0);
        QCOMPARE(c.DF, 0.0208);
        QCOMPARE(q(c.dwellTimeText), QStringLiteral("0.0064"));
        QCOMPARE(q(c.nStepsText), QStringLiteral("3125"));
        QCOMPARE(q(c.deltaFText), QStringLiteral("20.8"));
        QCOMPARE(q(c.stopText), QStringLiteral("140"));
        QCOMPARE(q(c.dwellMultiplierText), QStringLiteral("<unchanged>"));
    }

    void stepCounts_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<QString>("ramp");
        QTest::addColumn<QString>("mult");
        QTest::addColumn<QString>("dwellUs");
        QTest::addColumn<QString>("steps");
        // clang-format off
        QTest::newRow("1 us")                     << 0 << "1"      << "1"       << "0.0064"    << "156"; // floor of 156.25
        QTest::newRow("1 ms")                     << 1 << "1"      << "1"       << "0.0064"    << "156250";
        QTest::newRow("1 s")                      << 2 << "1"      << "1"       << "0.0064"    << "156250000";
        QTest::newRow("multiplier 4")             << 0 << "20"     << "4"       << "0.016"     << "1250";
        QTest::newRow("multiplier 0 counts as 1") << 0 << "20"     << "00000"   << "0.0064"    << "3125";
        QTest::newRow("largest multiplier")       << 2 << "1"      << "1048575" << "3355.4432" << "298";
        // Whole quotients that double arithmetic lands just below.
        QTest::newRow("exactly 3 steps")          << 0 << "0.0192" << "1"       << "0.0064"    << "3";
        QTest::newRow("exactly 1 step")           << 0 << "0.0096" << "2"       << "0.0096"    << "1";
        // clang-format on
    }
    void stepCounts()
    {
        QFETCH(int, unit);
        QFETCH(QString, ramp);
        QFETCH(QString, mult);
        const ChirpCalculation c = calculateDeltaF(
            fields("75", "140", ramp.toStdString(), mult.toStdString(), static_cast<RampUnit>(unit)), 140);
        QTEST(q(c.dwellTimeText), "dwellUs");
        QTEST(q(c.nStepsText), "steps");
    }

    void tooFewSteps()
    {
        // 5 ns is less than one dwell of 6.4 ns.
        const ChirpCalculation c = calculateDeltaF(fields("75", "140", "0.005"), 140);
        QCOMPARE(q(c.message), q(std::string(kNStepsTooLow)));
        QVERIFY(c.message.starts_with(' '));
        QVERIFY(c.SkipFlg);
        QCOMPARE(c.N, 1.0);
        QCOMPARE(q(c.nStepsText), QStringLiteral("0"));
        QCOMPARE(q(c.deltaFText), QStringLiteral("<unchanged>"));
        QCOMPARE(q(c.stopText), QStringLiteral("<unchanged>"));

        const StepCount n = CalcN(SetUpRamp(RampUnit::uS, "0", "1"));
        QVERIFY(n.SkipFlg);
        QCOMPARE(n.N, 1.0);
    }

    void stepOutOfRange_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("ramp");
        QTest::addColumn<QString>("shown");
        // clang-format off
        QTest::newRow("start = stop")        << "100" << "100"   << "20"   << "0";
        QTest::newRow("falling")             << "140" << "75"    << "20"   << "-20.8";
        QTest::newRow("below one step word") << "100" << "100.5" << "5000" << "0.00064";
        // clang-format on
    }
    void stepOutOfRange()
    {
        QFETCH(QString, start);
        QFETCH(QString, stop);
        QFETCH(QString, ramp);
        const ChirpCalculation c =
            calculateDeltaF(fields(start.toStdString(), stop.toStdString(), ramp.toStdString()), 140);
        QCOMPARE(q(c.message), q(std::string(kDeltaFOutOfRange)));
        QVERIFY(c.SkipFlg);
        QTEST(q(c.deltaFText), "shown"); // the rejected step stays visible
        QCOMPARE(q(c.stopText), QStringLiteral("<unchanged>"));
    }

    void smallestStep()
    {
        // 0.5 MHz in 26881 steps is just above 0.0186 kHz a step, in 26882 just below.
        const ChirpCalculation taken = calculateDeltaF(fields("100", "100.5", "172.0384"), 140);
        QCOMPARE(q(taken.nStepsText), QStringLiteral("26881"));
        QVERIFY(taken.deltaFText->starts_with("0.0186"));
        QCOMPARE(q(taken.message), QString());
        const ChirpCalculation refused = calculateDeltaF(fields("100", "100.5", "172.0448"), 140);
        QCOMPARE(q(refused.nStepsText), QStringLiteral("26882"));
        QCOMPARE(q(refused.message), q(std::string(kDeltaFOutOfRange)));
    }

    void stepClampedAndStopRecomputed()
    {
        // One step of 65 MHz: the box holds 32766 kHz, the stop follows it.
        const ChirpCalculation c = calculateDeltaF(fields("75", "140", "0.0064"), 140);
        QCOMPARE(q(c.nStepsText), QStringLiteral("1"));
        QCOMPARE(q(c.deltaFText), QStringLiteral("32766"));
        QCOMPARE(c.DF, 65.0);
        QCOMPARE(q(c.stopText), QStringLiteral("107.766"));
        QCOMPARE(q(c.message), QString());

        // Two steps of 35 MHz: 70 + 2 * 32.766.
        const ChirpCalculation two = calculateDeltaF(fields("70", "140", "0.0128"), 140);
        QCOMPARE(q(two.deltaFText), QStringLiteral("32766"));
        QCOMPARE(q(two.stopText), QStringLiteral("135.532"));
    }

    void fieldRules()
    {
        QCOMPARE(q(clampDeltaF("32766")), QStringLiteral("32766"));
        QCOMPARE(q(clampDeltaF("32766.5")), QStringLiteral("32766"));
        QCOMPARE(q(clampDeltaF("1A")), QStringLiteral("1A")); // no number: left for the send to refuse
        QCOMPARE(q(capStop("150", 140)), QStringLiteral("140"));
        QCOMPARE(q(capStop("140", 140)), QStringLiteral("140"));
        QCOMPARE(q(capStop("139.5", 140)), QStringLiteral("139.5"));

        // The recomputed stop is held to the limit too.
        const ChirpCalculation c = calculateDeltaF(fields("75", "140", "20"), 100);
        QCOMPARE(q(c.stopText), QStringLiteral("100"));
    }

    void unreadableFields_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("ramp");
        QTest::addColumn<QString>("mult");
        QTest::addColumn<QString>("message");
        // clang-format off
        QTest::newRow("empty ramp")            << "75"   << "140" << ""   << "1"
                                               << "Ramp time (uS): \"\" is not a number";
        QTest::newRow("lone point")            << "75"   << "140" << "20" << "."
                                               << "Dwell Multiplier: \".\" is not a number";
        QTest::newRow("comma")                 << "75,5" << "140" << "20" << "1"
                                               << "Start Freq: \"75,5\" is not a number (the decimal point is \".\")";
        QTest::newRow("fractional multiplier") << "75"   << "140" << "20" << "1.5"
                                               << "Dwell Multiplier: \"1.5\" is not a whole number";
        QTest::newRow("multiplier too wide")   << "75"   << "140" << "20" << "1048576"
                                               << "Dwell Multiplier: 1048576 is above 1048575, the most the unit's "
                                                  "20-bit dwell word holds";
        // clang-format on
    }
    void unreadableFields()
    {
        QFETCH(QString, start);
        QFETCH(QString, stop);
        QFETCH(QString, ramp);
        QFETCH(QString, mult);
        const ChirpCalculation c = calculateDeltaF(
            fields(start.toStdString(), stop.toStdString(), ramp.toStdString(), mult.toStdString()), 140);
        QTEST(q(c.message), "message");
        QVERIFY(c.SkipFlg);
        QCOMPARE(q(c.stopText), QStringLiteral("<unchanged>"));
        QCOMPARE(q(c.deltaFText), QStringLiteral("<unchanged>"));
    }

    void generalForm_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("shift");
        QTest::addColumn<QString>("text");
        // clang-format off
        QTest::newRow("dwell")             << 0.0064                << 0 << "0.0064";
        QTest::newRow("whole")             << 140.0                 << 0 << "140";
        QTest::newRow("zero")              << 0.0                   << 0 << "0";
        QTest::newRow("negative")          << -20.8                 << 0 << "-20.8";
        QTest::newRow("third")             << 1.0 / 3               << 0 << "0.333333333333333";
        QTest::newRow("tiny, no exponent") << 1e-7                  << 0 << "0.0000001";
        QTest::newRow("15 digits")         << 123456789012345678.0  << 0 << "123456789012346000";
        QTest::newRow("MHz to kHz")        << 0.0208                << 3 << "20.8";
        QTest::newRow("smallest step")     << 0.0000186             << 3 << "0.0186";
        QTest::newRow("sum noise")         << 0.1 + 0.2             << 0 << "0.3";
        // clang-format on
    }
    void generalForm()
    {
        QFETCH(double, value);
        QFETCH(int, shift);
        QTEST(q(generalText(value, 15, shift)), "text");
    }

    void rampWordsOfWorkedExample()
    {
        const RampWordResult start = rampFrequencyWord("75", kStartField);
        QVERIFY(start.word);
        QCOMPARE(q(start.word->padded), QStringLiteral("3D70A3D7"));
        QCOMPARE(start.word->bytes, (std::vector<std::uint8_t>{0x3D, 0x70}));
        const RampWordResult stop = rampFrequencyWord("140", kStopField);
        QCOMPARE(q(stop.word->padded), QStringLiteral("72B020C4"));
        QCOMPARE(stop.word->bytes, (std::vector<std::uint8_t>{0x72, 0xB0}));

        const RampWordResult step = deltaFWord("20.8");
        QVERIFY(step.word);
        QCOMPARE(step.word->word, 1116u);
        QCOMPARE(q(step.word->hex), QStringLiteral("45C"));
        QCOMPARE(q(step.word->padded), QStringLiteral("00045C"));
        QCOMPARE(step.word->bytes, (std::vector<std::uint8_t>{0x00, 0x04, 0x5C}));

        const RampWordResult dwell = DwelLWord("1");
        QVERIFY(dwell.word);
        QCOMPARE(q(dwell.word->padded), QStringLiteral("00001"));
        QCOMPARE(dwell.word->bytes, (std::vector<std::uint8_t>{0x00, 0x00, 0x01}));
        QCOMPARE(q(padDwell("1")), QStringLiteral("00001"));
        QCOMPARE(q(padDwell("123456")), QStringLiteral("123456")); // never cut
        QCOMPARE(q(PadDwellHex("ABC")), QStringLiteral("00ABC"));

        // The widest dwell: "0" + F to DA.
        const RampWordResult widest = DwelLWord("1048575");
        QCOMPARE(q(widest.word->padded), QStringLiteral("FFFFF"));
        QCOMPARE(widest.word->bytes, (std::vector<std::uint8_t>{0x0F, 0xFF, 0xFF}));
        QCOMPARE(DwelLWord("74565").word->bytes, (std::vector<std::uint8_t>{0x01, 0x23, 0x45}));
    }

    void wordsTooWideAreRefused()
    {
        const RampWordResult dwell = DwelLWord("1048576");
        QVERIFY(!dwell.word);
        QVERIFY(dwell.message.find("1048575") != std::string::npos);

        // 2^24 step units are one whole clock: 312500 kHz.
        QCOMPARE(deltaFWord("312499.99").word->word, 0xFFFFFFu);
        const RampWordResult step = deltaFWord("312500");
        QVERIFY(!step.word);
        QVERIFY(step.message.find("24 bits") != std::string::npos);
        // With a slower clock the field's own limit no longer keeps the word in 24 bits.
        QVERIFY(!deltaFWord("32766", 30.0).word);

        QVERIFY(deltaFWord("-20.8").message.find("below zero") != std::string::npos);
        QCOMPARE(q(deltaFWord("1A").message), QStringLiteral("Delta F (KHz): \"1A\" is not a number"));
        QVERIFY(!DwelLWord("2.5").word);
        QVERIFY(!rampFrequencyWord("312.5", kStopField).word); // no word at the clock itself
    }

    void stepWordEqualsTheFormulaOnTypedSteps()
    {
        // Over a sweep of typed steps in thousandths of a kHz the exact word
        // is what the unit has always received.
        for (int milli = 1; milli <= 32766000; milli += 997) {
            const std::string text =
                std::to_string(milli / 1000) + "." + std::to_string(1000 + milli % 1000).substr(1);
            QCOMPARE(stepWord(dec(text)), stepWordFormula(std::strtod(text.c_str(), nullptr)));
        }
        QCOMPARE(stepWord(dec("20.8")), Word(1116));
    }

    void stepWordIsExactAtItsBoundaries()
    {
        // Checked with exact fractions: word 1 starts at 312500 / 2^24 =
        // 0.0186264514923095703125 kHz; the formula's doubles land on it.
        QCOMPARE(stepWord(dec("0.018626451492309570")), Word(0));
        QCOMPARE(stepWordFormula(0.018626451492309570), Word(1));
        QCOMPARE(stepWord(dec("0.018626451492309571")), Word(1));
        // Below a whole clock exactly; its double is 312500.
        QCOMPARE(stepWord(dec("312499.999999999999")), Word(0xFFFFFF));
        QCOMPARE(stepWordFormula(312499.999999999999), Word());

        // 10^-12 kHz either side of every 997th boundary start(w) = w * 78125 / 2^22.
        int parted = 0;
        for (std::uint64_t w = 1; w <= kMaxStepWord; w += 997) {
            const u128 scaled = u128{w} * 78125 * 1'000'000'000'000;
            const auto t = static_cast<long>(scaled >> 22);
            const bool onIt = (scaled & ((u128{1} << 22) - 1)) == 0;
            for (const auto& [units, word] : {std::pair{t, onIt ? w : w - 1}, std::pair{t + 1, w}}) {
                const std::string text = picoText(units);
                QCOMPARE(stepWord(dec(text)), Word(std::uint32_t(word)));
                const auto formula = stepWordFormula(std::strtod(text.c_str(), nullptr));
                QVERIFY2(formula && *formula + 1 >= word && *formula <= word + 1, text.c_str());
                parted += *formula != word;
            }
        }
        QVERIFY(parted > 8000); // of 33656

        // Any finite positive clock is taken exactly: 0.1 MHz * 2^24 / 400 MHz = 4194.304.
        QCOMPARE(stepWord(dec("100"), 400.0), Word(4194));
        QCOMPARE(stepWord(dec("100"), 0.0), Word());
    }

    void staircaseOfWorkedExample()
    {
        const RampWords w{.start = 0x3D70A3D7, .stop = 0x72B020C4, .step = 1116, .dwell = 1, .N = 3125};
        const RampPreview p = rampPreview(w);
        // Only the upper 16 bits of the start word reach the unit.
        QCOMPARE(p.startMHz, mhz(0x3D700000));
        QCOMPARE(p.points.front().timeUs, 0.0);
        QCOMPARE(p.points.front().mhz, mhz(0x3D700000));
        QCOMPARE(p.points.back().timeUs, 20.0);
        QCOMPARE(p.points.back().mhz, mhz(0x3D700000ull + 3125ull * 1116 * 256));
        QCOMPARE(p.stopMHz, p.points.back().mhz);
        QCOMPARE(p.rampTimeUs, 20.0);
        QCOMPARE(p.dwellUs, 0.0064);
        QVERIFY(!p.heldAtStop);
        // 3126 levels thinned to every 4th step, the last one kept.
        QCOMPARE(p.stride, 4u);
        QCOMPARE(p.points.size(), std::size_t{783});
        QCOMPARE(p.points[1].timeUs, 4 * 0.0064);
        QCOMPARE(p.points[1].mhz, mhz(0x3D700000ull + 4ull * 1116 * 256));
    }

    void staircaseEveryStepAndHeldAtStop()
    {
        const RampPreview few =
            rampPreview({.start = 0x3D70A3D7, .stop = 0x72B020C4, .step = 1116, .dwell = 1, .N = 3});
        QCOMPARE(few.stride, 1u);
        QCOMPARE(few.points.size(), std::size_t{4});
        QCOMPARE(few.points[3].timeUs, 3 * 0.0064);
        QCOMPARE(few.points[2].mhz, mhz(0x3D700000ull + 2ull * 1116 * 256));

        // 100 steps of 1116 units overshoot a stop about 1.2 MHz up: the unit holds at the stop word.
        const RampPreview held =
            rampPreview({.start = 0x3D70A3D7, .stop = 0x3E6978D4, .step = 1116, .dwell = 9, .N = 100});
        QVERIFY(held.heldAtStop);
        QCOMPARE(held.stopMHz, mhz(0x3E690000));
        QCOMPARE(held.points.back().mhz, mhz(0x3E690000));
        QCOMPARE(held.rampTimeUs, 100 * 10 / 312.5);
    }

    void planOfWorkedExample()
    {
        ChirpFields f = fields("75", "140", "20");
        applyCalculation(calculateDeltaF(f, 140), f);
        const RampPlanResult r = planRamp(f);
        QVERIFY2(r.plan, r.message.c_str());
        QCOMPARE(r.plan->words.N, 3125u);
        QCOMPARE(r.plan->words.step, 1116u);
        QCOMPARE(q(r.plan->dwellMultiplierText), QStringLiteral("00001"));
        QCOMPARE(r.plan->requestedRampTimeUs, 20.0);

        // A stop held below the start by the limit would leave the rising steps nowhere to stop.
        ChirpFields below = fields("141", "140", "20");
        below.deltaFText = "20.8";
        below.nStepsText = "3125";
        const RampPlanResult refused = planRamp(below);
        QVERIFY(!refused.plan);
        QVERIFY(refused.message.find("only rises") != std::string::npos);
    }

    void germanLocale()
    {
        const std::string oldC = std::setlocale(LC_ALL, nullptr);
        const QLocale oldQ;
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) QSKIP("no German locale on this machine");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

        const ChirpCalculation c = calculateDeltaF(fields("75", "140", "20"), 140);
        const ChirpCalculation comma = calculateDeltaF(fields("75", "140", "0,02"), 140);
        const std::string half = generalText(0.5);
        const auto step = deltaFWord("20.8");

        std::setlocale(LC_ALL, oldC.c_str());
        QLocale::setDefault(oldQ);
        QCOMPARE(q(c.dwellTimeText), QStringLiteral("0.0064"));
        QCOMPARE(q(c.deltaFText), QStringLiteral("20.8"));
        QCOMPARE(q(c.stopText), QStringLiteral("140"));
        QVERIFY(comma.SkipFlg);
        QVERIFY(comma.message.find("the decimal point is") != std::string::npos);
        QCOMPARE(q(half), QStringLiteral("0.5"));
        QCOMPARE(step.word->word, 1116u);
    }
};

QTEST_APPLESS_MAIN(TestChirpCalc)
#include "tst_chirp_calc.moc"
