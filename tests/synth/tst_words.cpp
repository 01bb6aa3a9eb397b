// The word arithmetic: typed numbers read exactly and locale-free, and words
// equal to the procedures' double formulas for every value the limits allow.
#include "words.h"

#include <QTest>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

using namespace plovan;

using Word = std::optional<std::uint32_t>;
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
double cRead(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

std::string fixed(long units, int places)
{
    std::string frac = std::to_string(units % static_cast<long>(std::pow(10, places)));
    return std::to_string(units / static_cast<long>(std::pow(10, places))) + "." +
           std::string(static_cast<std::size_t>(places) - frac.size(), '0') + frac;
}

// Up to 15 places, well inside the 18 significant digits.
std::string randomDecimal(std::mt19937_64& rng, long below)
{
    const int places = std::uniform_int_distribution<int>(1, 15)(rng);
    const long scale = static_cast<long>(std::pow(10, places));
    return fixed(std::uniform_int_distribution<long>(0, below * scale - 1)(rng), places);
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
        std::setlocale(LC_ALL, saved.c_str());
        QVERIFY(cLibraryTakesComma); // the locale really is in force
        QVERIFY((point == Decimal{1005, 1}));
        QCOMPARE(value, 100.5);
        QVERIFY(commaRefused);
    }

    void frequencyWordsOfKnownFrequencies()
    {
        const std::pair<const char*, std::uint32_t> known[] = {
            {"100", 0x51EB851E}, {"80", 0x4189374B}, {"140", 0x72B020C4}, {"30", 0x189374BC}, {"0", 0}};
        for (const auto& [mhz, word] : known) {
            QCOMPARE(frequencyWord(dec(mhz)), Word(word));
            QCOMPARE(frequencyWordFormula(cRead(mhz)), Word(word));
        }
        QCOMPARE(frequencyWord(dec("156.25")), Word(0x80000000));
        QVERIFY(atOrAboveNyquist(*frequencyWord(dec("156.25"))));
        QVERIFY(!atOrAboveNyquist(*frequencyWord(dec("156.249999"))));
        // At the clock the word no longer fits 32 bits.
        QCOMPARE(frequencyWord(dec("312.5")), Word());
        QCOMPARE(frequencyWord(dec("312"), dec("50")), Word());
        QCOMPARE(frequencyWord(dec("312.4999999")), Word(0xFFFFFFFE));
        // Clocks with a short binary fraction stay exact; others use the formula.
        QCOMPARE(frequencyWordExact(dec("100"), {}, 400.0), Word(0x40000000));
        QCOMPARE(frequencyWordExact(dec("100"), {}, 300.1), Word());
        QCOMPARE(frequencyWord(dec("100"), {}, 300.1), frequencyWordFormula(100, 300.1));
    }

    void exactFrequencyWordEqualsTheFormulaFrom0To270MHz()
    {
        // Every hundredth the limits allow, typed in Text1 or as Text1 + Text5
        // hundredths ("Hires F", added in double by the formula). The exact
        // word alone already agrees, without the formula's say.
        for (long m = 0; m <= 27000; ++m) {
            const std::string text = fixed(m, 2);
            const Decimal f = dec(text);
            QCOMPARE(f.value(), cRead(text));
            const Word formula = frequencyWordFormula(f.value());
            QVERIFY(formula.has_value());
            QCOMPARE(frequencyWordExact(f), formula);
            QCOMPARE(frequencyWord(f), formula);
            const Decimal whole{std::uint64_t(m / 100), 0}, hundredths{std::uint64_t(m % 100), 0};
            const Word hiresFormula = frequencyWordFormula(double(m / 100) + double(m % 100) / 100);
            QCOMPARE(frequencyWordExact(whole, hundredths), hiresFormula);
            QCOMPARE(frequencyWord(whole, hundredths), hiresFormula);
        }
    }

    void longDecimalsFollowTheFormula()
    {
        // Nine places put this value within the double's rounding of a word
        // boundary: exactly it is one lower than what the unit always got.
        QCOMPARE(frequencyWordExact(dec("42.331150471")), Word(581794901));
        QCOMPARE(frequencyWord(dec("42.331150471")), Word(581794902));
        QCOMPARE(frequencyWordExact(dec("312.499999999999999")), Word(0xFFFFFFFF));
        QCOMPARE(frequencyWord(dec("312.499999999999999")), Word()); // the double is 312.5
        QCOMPARE(phaseWordExact(dec("54.01208569859")), Word(2457));
        QCOMPARE(phaseWord(dec("54.01208569859")), Word16(2458));

        std::mt19937_64 rng(20240611);
        for (int i = 0; i < 200000; ++i) {
            const std::string f = randomDecimal(rng, 312), p = randomDecimal(rng, 360);
            QCOMPARE(frequencyWord(dec(f)), frequencyWordFormula(cRead(f)));
            QCOMPARE(Word(phaseWord(dec(p))), phaseWordFormula(cRead(p)));
        }
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

        for (long m = 0; m <= 360000; ++m) {
            const std::string text = fixed(m, 3);
            const Word formula = phaseWordFormula(cRead(text));
            QCOMPARE(phaseWordExact(dec(text)), formula);
            QCOMPARE(Word(phaseWord(dec(text))), formula);
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
};

QTEST_GUILESS_MAIN(TestWords)
#include "tst_words.moc"
