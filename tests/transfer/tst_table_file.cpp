// Table files: the lines the senders make of them, and the pre-flight check
// on files as operators and the table builder write them.
#include "table_file.h"

#include <QTest>
#include <sstream>

using namespace plovan;

Q_DECLARE_METATYPE(std::string)

namespace {

std::vector<std::string> findingsOf(const std::string& text, std::size_t cap = 10,
                                    const table::Layout& layout = table::kImage)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    for (const table::Finding& f : table::check(in, layout, cap))
        out.push_back(table::describe(f));
    return out;
}

std::string records(std::size_t n, const char* record = "012345678", const char* end = "\r\n")
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out += std::string(record) + end;
    return out;
}

} // namespace

class TestTableFile : public QObject {
    Q_OBJECT

private slots:
    void headerAndCount_data()
    {
        QTest::addColumn<std::string>("header");
        QTest::addColumn<std::string>("sent");
        QTest::addColumn<int>("count"); // -1: no count
        QTest::newRow("four digits") << std::string("0010") << std::string("00010") << 16;
        QTest::newRow("table builder") << std::string("00040") << std::string("00040") << 64;
        QTest::newRow("short") << std::string("123") << std::string("00123") << 0x123;
        QTest::newRow("long") << std::string("1230010") << std::string("30010") << 16;
        QTest::newRow("largest") << std::string("0FFFF") << std::string("0FFFF") << 65535;
        QTest::newRow("lower case") << std::string("0ff") << std::string("000ff") << 255;
        QTest::newRow("count not hex") << std::string("001G") << std::string("0001G") << -1;
        QTest::newRow("head not hex") << std::string("X0010") << std::string("X0010") << 16;
    }
    void headerAndCount()
    {
        QFETCH(std::string, header);
        QFETCH(std::string, sent);
        QFETCH(int, count);
        QCOMPARE(table::headerLine(header), sent);
        const auto n = table::recordCount(header);
        QCOMPARE(n.has_value(), count >= 0);
        if (n) QCOMPARE(int(*n), count);
    }

    void recordsOnEachRoute_data()
    {
        QTest::addColumn<std::string>("line");
        QTest::addColumn<std::string>("serial");
        QTest::addColumn<std::string>("usb");
        QTest::newRow("8") << std::string("12345678") << std::string("012345678")
                           << std::string("12345678\r\n");
        QTest::newRow("9") << std::string("123456789") << std::string("123456789")
                           << std::string("123456789\r\n");
        QTest::newRow("12") << std::string("ABCDEF123456") << std::string("DEF123456")
                            << std::string("ABCDEF12345");
        QTest::newRow("empty") << std::string() << std::string("0") << std::string("\r\n");
    }
    void recordsOnEachRoute()
    {
        QFETCH(std::string, line);
        QFETCH(std::string, serial);
        QFETCH(std::string, usb);
        QCOMPARE(image::serialRecord(line), serial);
        QCOMPARE(table::usbRecord(line, image::kUsbRecordBytes), usb);
    }

    void soundFilesPassSilently_data()
    {
        QTest::addColumn<std::string>("text");
        QTest::newRow("table builder") << "00040\r\n" + records(64);
        QTest::newRow("LF only") << "0003\n" + records(3, "ABCDEF012", "\n");
        QTest::newRow("no line end at the end") << std::string("00002\r\n012345678\r\n012345678");
        QTest::newRow("blank lines after") << std::string("00001\r\n000000000\r\n\r\n  \r\n");
        QTest::newRow("no records") << std::string("00000\r\n");
    }
    void soundFilesPassSilently()
    {
        QFETCH(std::string, text);
        QCOMPARE(findingsOf(text), std::vector<std::string>{});
    }

    void findingsNameTheirLines_data()
    {
        QTest::addColumn<std::string>("text");
        QTest::addColumn<std::vector<std::string>>("findings");
        QTest::newRow("empty file") << std::string()
                                    << std::vector<std::string>{"the file is empty: it has no header line"};
        QTest::newRow("header not hex")
            << "X0002\r\n" + records(2) << std::vector<std::string>{"line 1: header \"X0002\" is not hex"};
        QTest::newRow("count not readable")
            << "0001G\r\n" + records(2)
            << std::vector<std::string>{
                   "line 1: header \"0001G\" is not hex, so no record count can be read from it"};
        QTest::newRow("long header") << "1230002\r\n" + records(2)
                                     << std::vector<std::string>{
                                            "line 1: header \"1230002\" has 7 characters; the unit gets only "
                                            "the last five, \"30002\""};
        QTest::newRow("file ends early")
            << "00010\r\n" + records(3)
            << std::vector<std::string>{"the header announces 16 records, the file ends after 3"};
        QTest::newRow("bad records") << std::string("00003\r\n12345678\r\n0123G5678\r\n0123456789\r\n")
                                     << std::vector<std::string>{
                                            "line 2: record 1 \"12345678\" has 8 digits, not 9",
                                            "line 3: record 2 \"0123G5678\" is not hex",
                                            "line 4: record 3 \"0123456789\" has 10 digits, not 9"};
        // A binary first line is shown, never passed on raw to a terminal.
        QTest::newRow("binary header")
            << std::string("\x01\0\xff"
                           "9\r\n",
                           6)
            << std::vector<std::string>{"line 1: header \"\\x01\\x00\\xFF9\" is not hex, so no record count "
                                        "can be read from it"};
        QTest::newRow("lines after the last record")
            << "00001\r\n" + records(1) + "\r\n012345678\r\nrubbish\r\n"
            << std::vector<std::string>{
                   "line 4: 2 lines after the last of the 1 records announced, not sent"};
    }
    void findingsNameTheirLines()
    {
        QFETCH(std::string, text);
        QFETCH(std::vector<std::string>, findings);
        QCOMPARE(findingsOf(text), findings);
    }

    void manyBadRecordsAreCounted()
    {
        const auto findings = findingsOf("00014\r\n" + records(20, "xyz"), 3);
        QCOMPARE(findings.size(), std::size_t(4));
        QCOMPARE(findings[2], std::string("line 4: record 3 \"xyz\" is not hex"));
        QCOMPARE(findings[3], std::string("17 more records are not 9 hex digits"));
    }

    void rawAndMultichirpLayouts()
    {
        QCOMPARE(table::headerLine("0010", table::kRaw), std::string("00010"));
        QCOMPARE(table::recordCount("0010", table::kRaw), std::optional<std::size_t>(16));
        // The multichirp count is in the first three digits; the header goes whole.
        QCOMPARE(table::recordCount("00A1234", table::kMultichirp), std::optional<std::size_t>(10));
        QCOMPARE(table::headerLine("00A1234", table::kMultichirp), std::string("00A1234"));
        QCOMPARE(table::recordCount("0A", table::kMultichirp), std::nullopt);

        const std::string raw28(28, '1'), chirp36(36, '2');
        QCOMPARE(findingsOf("00002\r\n" + raw28 + "\r\n" + raw28 + "\r\n", 10, table::kRaw),
                 std::vector<std::string>{});
        QCOMPARE(findingsOf("002FFFF\r\n" + chirp36 + "\r\n" + chirp36 + "\r\n", 10, table::kMultichirp),
                 std::vector<std::string>{}); // a long multichirp header is sent whole
        QCOMPARE(findingsOf("00001\r\n" + chirp36 + "\r\n", 10, table::kRaw),
                 std::vector<std::string>{"line 2: record 1 \"" + chirp36.substr(0, 24) +
                                          "...\" has 36 digits, not 28"});
        QCOMPARE(findingsOf("0A\r\n", 10, table::kMultichirp),
                 std::vector<std::string>{
                     "line 1: header \"0A\" is too short: the record count is in its first three digits"});
    }

    void theKindComesFromTheExtension()
    {
        QCOMPARE(table::layoutForPath("/x/TABLE.PLV")->kind, table::kImage.kind);
        QCOMPARE(table::layoutForPath("a.b/data.ird")->kind, table::kRaw.kind);
        QCOMPARE(table::layoutForPath("sweep.Mcp")->kind, table::kMultichirp.kind);
        QVERIFY(!table::layoutForPath("notes.txt"));
        QVERIFY(!table::layoutForPath("plv"));
        QCOMPARE(table::layoutNamed("raw")->kind, table::kRaw.kind);
        QVERIFY(!table::layoutNamed("RAW"));
    }

    // A file of any size is read a line at a time; only the count matters.
    void theLargestFileIsChecked()
    {
        QCOMPARE(findingsOf("0FFFF\r\n" + records(65535)), std::vector<std::string>{});
        QCOMPARE(findingsOf("0FFFF\r\n" + records(65534)),
                 std::vector<std::string>{"the header announces 65535 records, the file ends after 65534"});
    }
};

QTEST_APPLESS_MAIN(TestTableFile)
#include "tst_table_file.moc"
