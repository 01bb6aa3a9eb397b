// The word arithmetic: typed numbers read exactly and locale-free; words
// equal to the procedures' double formulas for every value typed in practice
// (the whole range in hundredths of a MHz, thousandths of a degree and of the
// amplitude), and exact where long decimals lie within the double's rounding
// of a word boundary, which the formulas got wrong.
#include "words.h"

#include <QTest>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <random>
#include <stdlib.h>
#include <string>

using namespace plovan;

using Word = std::optional<std::uint32_t>;
__extension__ typedef unsigned __int128 u128;
using Word16 = std::optional<std::uint16_t>;

namespace QTest {
template <> char* toString(const Word& w)
{
    return qstrdup(w ? QByteArray::number(*w, 16).toUpper() : QByteArray("none"));
}
} // namespace QTest

namespace {

Decimal dec(const std::string& text)
{
    const auto d = parseDecimal(text);
    if (!d) qFatal("test value \"%s\" does not parse", text.c_str());
    return *d;
}

// A reading independent of Decimal::value(), in the C locale.
// The C conversion of the text, in the C locale whatever the process's is
// (strtod would read "0.1" as 0 under a German locale).
double cRead(const std::string& text)
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtod_l(text.c_str(), nullptr, c);
}

std::string fixed(long units, int places)
{
    std::string frac = std::to_string(units % static_cast<long>(std::pow(10, places)));
    return std::to_string(units / static_cast<long>(std::pow(10, places))) + "." +
           std::string(static_cast<std::size_t>(places) - frac.size(), '0') + frac;
}

// The double arithmetic the unit always got its words from: the reference
// the exact words are proven against where operators type.
Word frequencyWordFormula(double mhz, double clkFreq = kClkFreq)
{
    const double w = std::floor(mhz * 281474976710656.0 / clkFreq / 65536.0);
    if (!(w >= 0.0) || w > 4294967295.0) return std::nullopt;
    return static_cast<std::uint32_t>(w);
}

Word phaseWordFormula(double degrees)
{
    const double factor = 16383.0 / 360.0;
    const double w = std::floor(degrees * factor);
    if (!(w >= 0.0) || w > 4294967295.0) return std::nullopt;
    return static_cast<std::uint32_t>(w);
}

std::uint16_t amplitWordFormula(double amplitude, unsigned ampMultFact)
{
    const double amp = std::clamp(amplitude * ampMultFact, 2.0, 4095.0);
    return static_cast<std::uint16_t>(std::nearbyint(amp)); // half to even
}

std::uint16_t amplitSpecialWordFormula(double amplitude, unsigned factor)
{
    return static_cast<std::uint16_t>(std::min(std::floor(amplitude * factor), 4095.0));
}

} // namespace

class TestWords : public QObject {
    Q_OBJECT
private slots:
    void parsesOnlyPlainDecimals()
    {
        QVERIFY((parseDecimal("100.5") == Decimal{1005, 1}));
        QVERIFY((parseDecimal(" 075.2500 ") == Decimal{7525, 2}));
        QVERIFY((parseDecimal(".5") == Decimal{5, 1}));
        QVERIFY((parseDecimal("5.") == Decimal{5, 0}));
        QVERIFY((parseDecimal("000000000000000000012.5") == Decimal{125, 1}));
        for (const char* bad : {"", " ", ".", "100,5", "1.2.3", "-5", "+5", "1e3", "12a", "1 0",
                                "1234567890123456789", "0.0000000000000000001"})
            QVERIFY2(!parseDecimal(bad), bad);
        for (const char* t : {"0.1", "139.99", "42.331150471", "999999999999999999", "0.000000000000000001"})
            QCOMPARE(dec(t).value(), cRead(t));
    }

    void readsTheSameUnderAGermanLocale()
    {
        const std::string saved = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) QSKIP("de_DE.UTF-8 locale not installed");
        const bool cLibraryTakesComma = std::strtod("100,5", nullptr) == 100.5;
        const auto point = parseDecimal("100.5");
        const double value = point ? point->value() : 0;
        const bool commaRefused = !parseDecimal("100,5");
        const auto ofDouble = decimalOf(100.5);
        std::setlocale(LC_ALL, saved.c_str());
        QVERIFY(cLibraryTakesComma); // the locale really is in force
        QVERIFY((point == Decimal{1005, 1}));
        QCOMPARE(value, 100.5);
        QVERIFY(commaRefused);
        QVERIFY((ofDouble == Decimal{1005, 1}));
    }

    void decimalsOfDoubles()
    {
        // The digits the double is shown with, not its binary expansion.
        QVERIFY((decimalOf(0.1) == Decimal{1, 1}));
        QVERIFY((decimalOf(42.331150471) == Decimal{42331150471, 9}));
        QVERIFY((decimalOf(1e-7) == Decimal{1, 7})); // no exponent form
        QVERIFY((decimalOf(0.0) == Decimal{0, 0}));
        for (const double bad : {-1.0, 1e-19, 1e18, std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::infinity()})
            QVERIFY(!decimalOf(bad));
        // The VSWR sweep's whole-MHz steps keep the words they always had.
        for (int m = 48; m <= 94; ++m) {
            QVERIFY((decimalOf(m) == Decimal{std::uint64_t(m), 0}));
            QCOMPARE(frequencyWord(*decimalOf(m)), frequencyWordFormula(m));
        }
    }

    void frequencyWordsOfKnownFrequencies()
    {
        const std::pair<const char*, std::uint32_t> known[] = {
            {"100", 0x51EB851E}, {"80", 0x4189374B}, {"140", 0x72B020C4}, {"30", 0x189374BC}, {"0", 0}};
        for (const auto& [mhz, word] : known)
            QCOMPARE(frequencyWord(dec(mhz)), Word(word));
        QCOMPARE(frequencyWord(dec("156.25")), Word(0x80000000));
        QVERIFY(atOrAboveNyquist(*frequencyWord(dec("156.25"))));
        QVERIFY(!atOrAboveNyquist(*frequencyWord(dec("156.249999"))));
        // At the clock the word no longer fits 32 bits.
        QCOMPARE(frequencyWord(dec("312.5")), Word());
        QCOMPARE(frequencyWord(dec("312"), dec("50")), Word());
        QCOMPARE(frequencyWord(dec("312"), dec("49.9999999999999999")), Word(0xFFFFFFFF));
        QCOMPARE(frequencyWord(dec("312.4999999")), Word(0xFFFFFFFE));
        QCOMPARE(frequencyWord(dec("100"), dec("0.5")), frequencyWord(dec("100.005")));
    }

    void exactFrequencyWordEqualsTheFormulaFrom0To270MHz()
    {
        // Every hundredth the limits allow, typed in Text1 or as Text1 + Text5
        // hundredths ("Hires F", added in double by the formula): the exact
        // word is what the unit has always received.
        for (long m = 0; m <= 27000; ++m) {
            const std::string text = fixed(m, 2);
            const Decimal f = dec(text);
            QCOMPARE(f.value(), cRead(text));
            const Word formula = frequencyWordFormula(f.value());
            QVERIFY(formula.has_value());
            QCOMPARE(frequencyWord(f), formula);
            const Decimal whole{std::uint64_t(m / 100), 0}, hundredths{std::uint64_t(m % 100), 0};
            const Word hiresFormula = frequencyWordFormula(double(m / 100) + double(m % 100) / 100);
            QCOMPARE(frequencyWord(whole, hundredths), hiresFormula);
        }
    }

    void exactWordsOfHandComputedValues()
    {
        // Each checked with exact fractions by hand; where the formula sent
        // another word, it is shown beside.
        struct Row {
            const char* mhz;
            Word exact, formula;
        };
        const Row frequencies[] = {
            // 581794901 + 1220703111/1220703125
            {"42.331150471", 581794901, 581794902},
            // below the clock, exactly; its double is 312.5
            {"312.499999999999999", 0xFFFFFFFF, {}},
            // 2^31 - 262144/19073486328125; its double is 156.25
            {"156.249999999999999", 0x7FFFFFFF, 0x80000000},
            // word 1 starts at 312.5 / 2^32 = 0.000000072759576141834259...
            {"0.000000072759576141", 0, 0},
            {"0.000000072759576142", 1, 1},
        };
        for (const Row& r : frequencies) {
            QCOMPARE(frequencyWord(dec(r.mhz)), r.exact);
            QCOMPARE(frequencyWordFormula(cRead(r.mhz)), r.formula);
        }
        const Row phases[] = {
            // 2457 + 11999999999999/12000000000000
            {"54.01208569859", 2457, 2458},
            // word 1 starts at 360 / 16383 = 0.021973997436366965757...
            {"0.021973997436366965", 0, 1},
            {"0.021973997436366966", 1, 1},
        };
        for (const Row& r : phases) {
            QCOMPARE(Word(phaseWord(dec(r.mhz))), r.exact);
            QCOMPARE(phaseWordFormula(cRead(r.mhz)), r.formula);
        }
        // 401.499999999999996: nearest 401; the double is 100.375, whose 401.5 went to even.
        QCOMPARE(int(amplitWord(dec("100.374999999999999"), 4)), 401);
        QCOMPARE(int(amplitWordFormula(100.374999999999999, 4)), 402);
        // 3.999999999999999996: floor 3; the double is 1.
        QCOMPARE(int(amplitSpecialWord(dec("0.999999999999999999"), 4)), 3);
        QCOMPARE(int(amplitSpecialWordFormula(0.999999999999999999, 4)), 4);
    }

    void longDecimalsAreExactWhereTheFormulaIsNot()
    {
        std::mt19937_64 rng(20240611);
        // Decimals a hair (below 10^-15 MHz) either side of random frequency
        // word boundaries, where the formula is as often wrong as right: the
        // exact word is the one the number lies in.
        int parted = 0;
        for (int i = 0; i < 20000; ++i) {
            const auto w = std::uniform_int_distribution<std::uint64_t>(1, 0xFFFFFFFF)(rng);
            // start(w) = w * 625 / 2^33 MHz, in units of 10^-15
            const u128 scaled = u128{w} * 625 * 1'000'000'000'000'000;
            const auto t = static_cast<long>(scaled >> 33);
            const bool onIt = (scaled & ((u128{1} << 33) - 1)) == 0;
            for (const auto& [units, word] : {std::pair{t, onIt ? w : w - 1}, std::pair{t + 1, w}}) {
                const std::string text = fixed(units, 15);
                QCOMPARE(frequencyWord(dec(text)), Word(std::uint32_t(word)));
                parted += frequencyWordFormula(cRead(text)) != Word(std::uint32_t(word));
            }
        }
        QVERIFY(parted > 10000); // of 40000: these are the points where the formula used to decide

        // The same either side of every phase word boundary.
        parted = 0;
        for (std::uint64_t w = 1; w <= 16383; ++w) {
            // start(w) = w * 360 / 16383 degrees, in units of 10^-15
            const u128 scaled = u128{w} * 360 * 1'000'000'000'000'000;
            const auto t = static_cast<long>(scaled / 16383);
            const bool onIt = scaled % 16383 == 0;
            for (const auto& [units, word] : {std::pair{t, onIt ? w : w - 1}, std::pair{t + 1, w}}) {
                const std::string text = fixed(units, 15);
                QCOMPARE(phaseWord(dec(text)), Word16(std::uint16_t(word)));
                parted += phaseWordFormula(cRead(text)) != Word(std::uint32_t(word));
            }
        }
        QVERIFY(parted > 8000); // of 32766
    }

    void anyFinitePositiveClockIsExact()
    {
        QCOMPARE(frequencyWord(dec("100"), {}, 400.0), Word(0x40000000));
        // 300.1 is 2639707515964621 / 2^43 exactly; 100 MHz of it is 1431178705.9...
        QCOMPARE(frequencyWord(dec("100"), {}, 300.1), Word(1431178705));
        // The clock is the double's value, 300.10000000000002273...: typed 300.1 lies below it.
        QCOMPARE(frequencyWord(dec("300.1"), {}, 300.1), Word(0xFFFFFFFF));
        // A clock of 2^40 MHz: the words are F / 2^8.
        QCOMPARE(frequencyWord(dec("549755813888"), {}, 1099511627776.0), Word(0x80000000));
        // The extremes of the double range: no overflow, no endless shifting.
        const double tiny = std::numeric_limits<double>::denorm_min(),
                     huge = std::numeric_limits<double>::max();
        QCOMPARE(frequencyWord(dec("0"), {}, tiny), Word(0));
        QCOMPARE(frequencyWord(dec("0.000000000000000001"), {}, tiny), Word());
        QCOMPARE(frequencyWord(dec("999999999999999999"), {}, huge), Word(0));
        // A clock that is no positive number has no words.
        for (const double clk :
             {0.0, -312.5, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
            QCOMPARE(frequencyWord(dec("0"), {}, clk), Word());
    }

    void phaseWords()
    {
        // 16383/360, not 16384/360; 180 degrees is Int(8191.5).
        const std::pair<const char*, int> known[] = {{"360", 16383},   {"180", 8191}, {"90", 4095},
                                                     {"1", 45},        {"120", 5461}, {"0", 0},
                                                     {"360.02", 16383}};
        for (const auto& [degrees, word] : known)
            QCOMPARE(phaseWord(dec(degrees)), Word16(word));
        QCOMPARE(phaseWord(dec("360.03")), Word16());
        QCOMPARE(phaseWord(dec("999999999999999999")), Word16());

        // Every thousandth of a degree: the exact word is what the unit always received.
        for (long m = 0; m <= 360000; ++m) {
            const std::string text = fixed(m, 3);
            QCOMPARE(Word(phaseWord(dec(text))), phaseWordFormula(cRead(text)));
        }
    }

    void amplitudeWords()
    {
        struct Row {
            const char* amplitude;
            unsigned mult;
            int amplit;  // limited to 2..4095, rounded half to even
            int special; // floored, at most 4095
        };
        const Row rows[] = {{"512", 4, 0x800, 0x800}, {"1024", 4, 4095, 4095},  {"1024", 2, 2048, 2048},
                            {"0", 4, 2, 0},           {"0.3", 4, 2, 1},         {"100.3", 4, 401, 401},
                            {"100.125", 4, 400, 400}, {"100.375", 4, 402, 401}, {"0.75", 2, 2, 1},
                            {"1.25", 2, 2, 2},        {"2047.9", 2, 4095, 4095}};
        for (const Row& r : rows) {
            QCOMPARE(int(amplitWord(dec(r.amplitude), r.mult)), r.amplit);
            QCOMPARE(int(amplitSpecialWord(dec(r.amplitude), r.mult)), r.special);
        }
        for (long m = 0; m <= 1024000; ++m) {
            const std::string text = fixed(m, 3);
            for (unsigned mult : {2u, 4u}) {
                QCOMPARE(amplitWord(dec(text), mult), amplitWordFormula(cRead(text), mult));
                QCOMPARE(amplitSpecialWord(dec(text), mult), amplitSpecialWordFormula(cRead(text), mult));
            }
        }
    }

    void amplitudeWordsAHairFromTheirRoundingPoints()
    {
        // 10^-14 either side of every half (Amplit) and every whole (AmplitSpecial)
        // of the product: inside the double's rounding, where the formula's
        // half to even or floor of the rounded product decided.
        constexpr long unit = 100'000'000'000'000; // 10^14
        int parted = 0;
        for (const long mult : {2L, 4L}) {
            for (long k = 2; k <= 4094; ++k) {
                const long half = (2 * k + 1) * unit / (2 * mult); // A * 10^14 with A * mult = k + 1/2
                for (const auto& [units, word] : {std::pair{half - 1, k}, std::pair{half + 1, k + 1}}) {
                    const std::string text = fixed(units, 14);
                    QCOMPARE(int(amplitWord(dec(text), unsigned(mult))), int(word));
                    parted += amplitWordFormula(cRead(text), unsigned(mult)) != word;
                }
            }
            for (long k = 1; k <= 4095; ++k) {
                const long whole = k * unit / mult;
                for (const auto& [units, word] : {std::pair{whole - 1, k - 1}, std::pair{whole, k}}) {
                    const std::string text = fixed(units, 14);
                    QCOMPARE(int(amplitSpecialWord(dec(text), unsigned(mult))), int(word));
                    parted += amplitSpecialWordFormula(cRead(text), unsigned(mult)) != word;
                }
            }
        }
        QVERIFY(parted > 7000); // of 32752
    }

    void decimalsParseDecimalDoesNotMake()
    {
        // Frequency and phase words are sized for parseDecimal's 18 digits; others have none.
        QCOMPARE(frequencyWord(Decimal{1, 40}), Word());
        QCOMPARE(frequencyWord(Decimal{3, -1}), Word());
        QCOMPARE(frequencyWord(Decimal{10'000'000'000'000'000'000u, 18}), Word());
        QCOMPARE(phaseWord(Decimal{1, 19}), Word16());
        // Amplitude words always have a value; a tiny one is the lower limit, never garbage.
        QCOMPARE(int(amplitWord(Decimal{1, 40}, 4)), 2);
        QCOMPARE(int(amplitSpecialWord(Decimal{10'000'000'000'000'000'000u, 18}, 4)), 40);
    }
};

QTEST_GUILESS_MAIN(TestWords)
#include "tst_words.moc"
