// Known answers for the pure core: hex text, command lines, CRC, reply formats.
#include "command_line.h"
#include "crc16.h"
#include "hex_text.h"
#include "terminal_buffer.h"
#include "unit_protocol.h"

#include <QTest>
#include <clocale>
#include <string>
#include <vector>

using namespace plovan;

namespace {
std::vector<std::uint8_t> bytesOf(std::string_view s)
{
    return {s.begin(), s.end()};
}
} // namespace

class TestCore : public QObject {
    Q_OBJECT
private slots:
    void hexTextOfWholeValues()
    {
        QCOMPARE(hexText(std::int64_t{0}), std::string("0"));
        QCOMPARE(hexText(std::int64_t{10}), std::string("A"));
        QCOMPARE(hexText(std::int64_t{0x51EB851E}), std::string("51EB851E"));
        QCOMPARE(hexText(std::int64_t{0xFFFFFFFF}), std::string("FFFFFFFF"));
        // A negative word shows as its 32-bit two's complement.
        QCOMPARE(hexText(std::int64_t{-1}), std::string("FFFFFFFF"));
    }

    void hexTextRoundsHalfToEven()
    {
        QCOMPARE(hexText(2.5), std::string("2"));
        QCOMPARE(hexText(3.5), std::string("4"));
        QCOMPARE(hexText(255.5), std::string("100"));
        QCOMPARE(hexText(254.5), std::string("FE"));
        QCOMPARE(hexText(10.49), std::string("A"));
        QCOMPARE(hexText(10.51), std::string("B"));
    }

    void paddingNeverCuts()
    {
        QCOMPARE(PaD("A"), std::string("000A"));
        QCOMPARE(PaD("1234"), std::string("1234"));
        QCOMPARE(PaD("12345"), std::string("12345"));
        QCOMPARE(padLeft("", 2), std::string("00"));
        QCOMPARE(hexField(0x45C, 6), std::string("00045C"));
    }

    void hexValueKnownAnswers()
    {
        QCOMPARE(HexValue("0A"), std::int64_t{10});
        QCOMPARE(HexValue("ff"), std::int64_t{255});
        QCOMPARE(HexValue("G1"), std::int64_t{-1});
        QCOMPARE(HexValue("1G"), std::int64_t{-1});
        QCOMPARE(HexValue(""), std::int64_t{0});
        QCOMPARE(HexValue("7"), std::int64_t{7});
        QCOMPARE(HexValue(" 1"), std::int64_t{-1});
        QCOMPARE(HexValue("FFFFFFFF"), std::int64_t{0xFFFFFFFF});
        QCOMPARE(HexValue("000000000001"), std::int64_t{1}); // leading zeros are fine
        QCOMPARE(HexValue("100000000"), std::int64_t{-1});   // beyond 32 bits
    }

    void hexTextAndHexValueRoundTrip()
    {
        for (std::int64_t v : {0ll, 1ll, 15ll, 16ll, 4095ll, 65535ll, 0x7FFFFFFFll, 0xFFFFFFFFll})
            QCOMPARE(HexValue(hexText(v)), v);
    }

    void recordBytes()
    {
        const std::string line = "0A1BFFzz";
        QCOMPARE(recordByte(line, 0), std::optional<std::uint8_t>(0x0A));
        QCOMPARE(recordByte(line, 2), std::optional<std::uint8_t>(0xFF));
        QVERIFY(!recordByte(line, 3).has_value()); // not hex: the caller keeps the old byte
        // A short line gives what is there: one digit, then nothing (0).
        QCOMPARE(recordByte("ABC", 1), std::optional<std::uint8_t>(0x0C));
        QCOMPARE(recordByte("AB", 5), std::optional<std::uint8_t>(0));
    }

    void commandLines()
    {
        QCOMPARE(registerWrite(kRegisterHead, 0x60, 0xE0), std::string("=D60E0"));
        QCOMPARE(registerWrite(kRegisterHead, 0x00, 0xDF), std::string("=D00DF"));
        QCOMPARE(registerWrite(kRegisterStoreHead, 0x08, 0xE1), std::string("=aD08E1"));
        QCOMPARE(controlByteWrite(false, 0x0C), std::string("=E0C"));
        QCOMPARE(controlByteWrite(true, 0xA3), std::string("=aEA3"));
        QCOMPARE(headerWrite(false, 0x000002, 0x00DD), std::string("=H00000200DD"));
        QCOMPARE(headerWrite(true, 0x000003, 0x7030), std::string("=aH0000037030"));
        QCOMPARE(registerRead(0xA3), std::string("=dA3"));
        QCOMPARE(withTerm("=r"), std::string("=r\r\n"));
        QCOMPARE(std::string(withoutTerm("=r\r\n")), std::string("=r"));
        QCOMPARE(std::string(withoutTerm("=r")), std::string("=r"));
    }

    void crcCheckValues_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("check");
        QTest::newRow("xmodem") << "xmodem" << 0x31C3;
        QTest::newRow("ccitt-false") << "ccitt-false" << 0x29B1;
        QTest::newRow("kermit") << "kermit" << 0x2189;
        QTest::newRow("x25") << "x25" << 0x906E;
        QTest::newRow("arc") << "arc" << 0xBB3D;
        QTest::newRow("modbus") << "modbus" << 0x4B37;
    }
    void crcCheckValues()
    {
        QFETCH(QString, model);
        QFETCH(int, check);
        const auto m = crc16ModelFromName(model.toStdString());
        QVERIFY(m.has_value());
        QCOMPARE(crc16ModelName(*m), std::string_view(model.toStdString()));
        QCOMPARE(int(crc16(bytesOf("123456789"), *m)), check);
    }

    void unitLineCrcIsXmodem()
    {
        QCOMPARE(int(crc16(bytesOf("123456789"))), 0x31C3);
        const std::vector<std::uint8_t> bytes{0x01, 0x02, 0x03};
        QCOMPARE(lineCrcText(bytes), std::string("6131"));
        QCOMPARE(lineCrcText(std::vector<std::uint8_t>{}), std::string("0000"));
        QVERIFY(!crc16ModelFromName("crc32").has_value());
    }

    void readBackFormatsRoundTrip()
    {
        QCOMPARE(unit::byteReadbackLine(0x0C), std::string("0C\r\n"));
        QCOMPARE(unit::parseByteReadback("0C\r\n"), std::optional<std::uint8_t>(0x0C));
        QCOMPARE(unit::parseByteReadback("@@a3"), std::optional<std::uint8_t>(0xA3));
        QCOMPARE(unit::parseByteReadback("  F0 \r\n"), std::optional<std::uint8_t>(0xF0));
        QVERIFY(!unit::parseByteReadback("0"));
        QVERIFY(!unit::parseByteReadback("0G"));
        QVERIFY(!unit::parseByteReadback("123")); // three digits is not a byte

        const unit::AnalogueReading r{1, 2, 3, 0xFFF, 0x800, 0, 0xABC, 7};
        const std::string line = unit::analogueLine(r);
        QCOMPARE(line.size(), unit::kAnalogueLineLength);
        QCOMPARE(unit::parseAnalogue(line), std::optional(r));
        QCOMPARE(unit::parseAnalogue("@@noise" + line), std::optional(r));
        QVERIFY(!unit::parseAnalogue(line.substr(3)));
        std::string bad = line;
        bad[5] = 'x';
        QVERIFY(!unit::parseAnalogue(bad));
    }

    void controlByteFromTerminalTail()
    {
        // The unit acknowledges, then sends the byte and CR LF.
        QCOMPARE(unit::controlByteDigitsFromTerminal("@@@0C\r\n"), std::optional<std::string>("0C"));
        QCOMPARE(unit::controlByteDigitsFromTerminal("x@4F\r\n"), std::optional<std::string>("4F"));
        QVERIFY(!unit::controlByteDigitsFromTerminal("0C\r\n"));
    }

    void terminalClearsAt2001()
    {
        TerminalBuffer t;
        t.append(std::string(2000, 'x'));
        t.append('y');
        QCOMPARE(t.text().size(), std::size_t{2001});
        t.append('z'); // starts afresh with this character
        QCOMPARE(t.text(), std::string("z"));
        t.appendLine("No reply");
        QCOMPARE(t.text(), std::string("z\r\nNo reply\r\n"));
        t.appendLine("again");
        QCOMPARE(t.text(), std::string("z\r\nNo reply\r\nagain\r\n"));
    }

    void terminalClearsInsideOneArrival()
    {
        // A chunk that runs past the limit clears where a character-by-character
        // append would: the 2002nd character starts the text afresh.
        TerminalBuffer t;
        t.append("ab");
        t.append(std::string(1998, 'x') + "y" + "tail");
        QCOMPARE(t.text(), std::string("tail"));
        // Five times the limit in one piece keeps only what follows the last clearing.
        t.clear();
        t.append(std::string(5 * 2001, 'x') + "end");
        QCOMPARE(t.text(), std::string("end"));
        // A text set longer than the limit is cleared by the next arrival.
        t.set(std::string(2100, 'x'));
        t.append("@@");
        QCOMPARE(t.text(), std::string("@@"));
    }

    void numbersDoNotFollowTheLocale()
    {
        // Hex text and parsing must not change under a locale with other separators.
        const char* old = std::setlocale(LC_ALL, nullptr);
        const std::string saved = old ? old : "C";
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE"))
            QSKIP("no German locale on this machine");
        QCOMPARE(hexText(1234.5), std::string("4D2"));
        QCOMPARE(HexValue("4D2"), std::int64_t{1234});
        std::setlocale(LC_ALL, saved.c_str());
    }
};

QTEST_APPLESS_MAIN(TestCore)
#include "tst_core.moc"
