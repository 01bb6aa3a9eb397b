// The header writers' command lines with their defaults, and the block range
// of the "Header" window.
#include "header_words.h"

#include <QTest>

using namespace plovan;

class TestHeaderWords : public QObject {
    Q_OBJECT

private slots:
    void sendHeaderWritesBothBlocks()
    {
        const auto lines = header::panelLines(header::panelDefaults());
        QCOMPARE(lines.size(), std::size_t(29));
        QCOMPARE(lines[0], std::string("=C"));
        QCOMPARE(lines[1], std::string("=H0000010000"));
        QCOMPARE(lines[2], std::string("=H00000200DD"));
        QCOMPARE(lines[10], std::string("=H00000A60E0"));
        QCOMPARE(lines[14], std::string("=H00000E0000"));
        QCOMPARE(lines[15], std::string("=H1000000000"));
        QCOMPARE(lines[16], std::string("=H10000100DD"));
        QCOMPARE(lines[28], std::string("=H10000D0000"));
    }

    void extraHeaderRunsFrom0FTo46()
    {
        const auto lines = header::extraLines(header::extraDefaults());
        QCOMPARE(lines.size(), std::size_t(57));
        QCOMPARE(lines[1], std::string("=H00000F4184"));
        QCOMPARE(lines[19], std::string("=H0000212F40")); // frame 3, box 5
        QCOMPARE(lines[35], std::string("=H0000310230")); // frame 5, last box
        QCOMPARE(lines.back(), std::string("=H0000460000"));
    }

    void blocksOfTheHeaderWindow()
    {
        std::string error;
        const auto all = header::blockRange("0", "32", &error);
        QVERIFY(all);
        const auto lines = header::blockLines(*all, header::blockDefaults());
        QCOMPARE(lines.size(), std::size_t(1 + 33 * 14));
        QCOMPARE(lines[1], std::string("=H0000010000"));
        QCOMPARE(lines[14], std::string("=H00000E0000"));
        QCOMPARE(lines[15], std::string("=H0100010000"));
        QCOMPARE(lines.back(), std::string("=H20000E0000"));

        // An end below the start gives the start and the block after it.
        const auto backwards = header::blockRange("5", "3", &error);
        QVERIFY(backwards);
        QCOMPARE(backwards->start, 5);
        QCOMPARE(backwards->end, 6);
        const auto two = header::blockLines(*backwards, header::blockDefaults());
        QCOMPARE(two[1], std::string("=H0500010000"));
        QCOMPARE(two.back(), std::string("=H06000E0000"));
    }

    void blockRangesTheAddressCannotHoldAreRefused_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("end above 255") << "0"
                                       << "256";
        QTest::newRow("start 255 and backwards") << "255"
                                                 << "0"; // would need block 256
        QTest::newRow("negative") << "-1"
                                  << "3";
        QTest::newRow("not a number") << "x"
                                      << "3";
        QTest::newRow("empty end") << "0"
                                   << "";
        QTest::newRow("decimal") << "1.5"
                                 << "3";
    }
    void blockRangesTheAddressCannotHoldAreRefused()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        std::string error;
        QVERIFY(!header::blockRange(start.toStdString(), end.toStdString(), &error));
        QVERIFY(!error.empty());
    }

    void wordsAreFourHexDigits()
    {
        QVERIFY(header::isWord("60DE"));
        QVERIFY(header::isWord("00dd"));
        QVERIFY(!header::isWord("60D"));
        QVERIFY(!header::isWord("60DEF"));
        QVERIFY(!header::isWord("60DG"));
    }
};

QTEST_APPLESS_MAIN(TestHeaderWords)
#include "tst_header_words.moc"
