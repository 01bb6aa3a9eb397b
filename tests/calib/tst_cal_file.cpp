// The calibration file as the editor, the table builder and the LUT load
// read it, and the lines that play a row on the unit.
#include "cal_file.h"
#include "cal_player.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sstream>

using namespace plovan;

namespace {

CalRead readText(const std::string& text)
{
    std::istringstream in(text);
    return readCalTable(in);
}

std::string lines(int n, const char* line)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += std::string(line) + "\r\n";
    return out;
}

} // namespace

class TestCalFile : public QObject {
    Q_OBJECT

private slots:
    void rowsTakeTheFirstAndLastFourCharacters()
    {
        const CalRead read = readText("0FFF0000\r\n0ABC12343FFF\r\n" + lines(254, "00000000"));
        QVERIFY(read.notes.empty());
        QCOMPARE(read.rows[0].amplitude, std::string("0FFF"));
        QCOMPARE(read.rows[0].phase, std::string("0000"));
        QCOMPARE(read.rows[1].amplitude, std::string("0ABC")); // a long line: first four ...
        QCOMPARE(read.rows[1].phase, std::string("3FFF"));     // ... and last four
        QVERIFY(read.rows[1].hex());
    }

    void aShortOrLongFileIsReported()
    {
        const CalRead shortFile = readText(lines(3, "0FFF0000"));
        QCOMPARE(shortFile.notes,
                 std::vector<std::string>{"File has 3 of 256 lines; the rest are shown as 00000000"});
        QCOMPARE(shortFile.rows[3].line(), std::string("00000000"));
        QCOMPARE(shortFile.rows[2].line(), std::string("0FFF0000"));

        const CalRead longFile = readText(lines(300, "0FFF0000"));
        QCOMPARE(longFile.notes, std::vector<std::string>{"File has 300 lines; only the first 256 are read"});
        QCOMPARE(longFile.lines, std::size_t(300));

        // LF alone ends a line too.
        QVERIFY(readText(std::string(256, '\n').insert(0, "0FFF0000")).rows[0].hex());
    }

    void rowsThatAreNotHexAreFlagged()
    {
        std::string text = lines(256, "0FFF0000");
        text.replace(10 * 10, 8, "0FG00000");
        const CalRead read = readText(text);
        QVERIFY(!read.rows[10].hex());
        QCOMPARE(read.notes, std::vector<std::string>{
                                 "Row 10 (line 11) \"0FG00000\" is not two words of four hex digits"});
        QCOMPARE(readText(lines(256, "zz")).notes.back(), std::string("246 more rows are not hex"));
    }

    void aWrittenFileReadsBackTheSame()
    {
        QTemporaryDir dir;
        CalRows rows;
        for (int i = 0; i < kCalLocations; ++i)
            rows[std::size_t(i)] = {hex4(i * 16 % 4096), hex4(i * 64)};
        const QString path = dir.filePath("t.cal");
        QVERIFY(writeCalFile(path, rows).ok());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QCOMPARE(bytes.size(), 256 * 10);
        QVERIFY(bytes.startsWith("00000000\r\n00100040\r\n"));
        const auto read = readCalFile(path.toStdString());
        QVERIFY(read && read->notes.empty());
        for (int i = 0; i < kCalLocations; ++i)
            QCOMPARE(read->rows[std::size_t(i)].line(), rows[std::size_t(i)].line());
        QVERIFY(!readCalFile(dir.filePath("none.cal").toStdString()));
    }

    void locationsAndDegrees_data()
    {
        QTest::addColumn<int>("location");
        QTest::addColumn<QString>("mhz");
        QTest::newRow("0") << 0 << "0";
        QTest::newRow("80") << 80 << "48.83";
        QTest::newRow("128, a half: to even") << 128 << "78.12";
        QTest::newRow("255") << 255 << "155.64";
        QTest::newRow("64, no trailing zero") << 64 << "39.06";
    }
    void locationsAndDegrees()
    {
        QFETCH(int, location);
        QFETCH(QString, mhz);
        QCOMPARE(QString::fromStdString(locationMHzText(location)), mhz);
    }

    void phaseInDegrees()
    {
        QCOMPARE(phaseDegrees(0), std::int64_t(0));
        QCOMPARE(phaseDegrees(0x3FFF), std::int64_t(359)); // floor(16383 / 45.51)
        QCOMPARE(phaseDegrees(4551), std::int64_t(100));
        QCOMPARE(phaseDegrees(4550), std::int64_t(99));
    }

    // Words computed by hand: floor(F x 2^32 / 312.5).
    void initPlaysTheRow_data()
    {
        QTest::addColumn<QString>("mhz");
        QTest::addColumn<QStringList>("frequency");
        // 48.83 MHz: 280064A9; 12.21 MHz: 0A009F62, whose unpadded first
        // four digits (A009) are not its upper 16 bits.
        QTest::newRow("above 19.5 MHz") << "48.83" << QStringList{"=D2844", "=D0045", "=D2884", "=D0085"};
        QTest::newRow("below 19.5 MHz") << "12.21" << QStringList{"=D0A44", "=D0045", "=D0A84", "=D0085"};
    }
    void initPlaysTheRow()
    {
        QFETCH(QString, mhz);
        QFETCH(QStringList, frequency);
        const auto lines = cal::initLines(mhz.toStdString(), CalRow{"0FFF", "3FFF"}, 312.5);
        QVERIFY(lines);
        QStringList got;
        for (const std::string& l : *lines)
            got << QString::fromStdString(l);
        const QStringList rest{"=U",     "=I",     "=D0F63", "=DFF64", "=D0FA3", "=DFFA4",
                               "=U",     "=I",     "=D3F80", "=DFF81", "=U",     "=I"};
        QCOMPARE(got, frequency + rest);
    }

    void nothingIsPlayedForARowThatIsNotHex()
    {
        QVERIFY(!cal::initLines("48.83", CalRow{"0FG0", "0000"}, 312.5));
        QVERIFY(!cal::initLines("400", CalRow{"0FFF", "0000"}, 312.5)); // above the clock: no word
    }
};

QTEST_APPLESS_MAIN(TestCalFile)
#include "tst_cal_file.moc"
