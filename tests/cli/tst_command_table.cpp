// How a command line reaches a row of the command table: sub-command rows,
// global options standing between the words, each row's own options, groups
// named without a sub-command, and rows that read their own words. Run over a
// made-up table, so that the routing is held before the real table has
// sub-commands of its own.
#include "plovanctl.h"

#include <QTemporaryDir>
#include <QTest>

using namespace plovan::cli;

namespace {

struct Reached {
    QString row;
    QStringList operands;
};
std::optional<Reached> reached;
QStringList aloneWords;

constexpr const char* kNames[] = {"load image", "load raw", "cal", "cal show"};

template <int N> std::optional<Operation> recordAs(Session&, const ParsedArgs& a)
{
    reached = Reached{QString::fromLatin1(kNames[N]), a.operands};
    return Operation([] { return true; });
}

int runAlone(const QStringList& words)
{
    aloneWords = words;
    return 7;
}

const CommandTable& table()
{
    static const CommandTable rows{
        {.name = kNames[0],
         .synopsis = "FILE [--crc MODEL]",
         .summary = "an image",
         .description = "Loads an image.",
         .options = {.withValue = {"--crc"}},
         .minOperands = 1,
         .maxOperands = 1,
         .needsUnit = false,
         .prepare = recordAs<0>},
        {.name = kNames[1],
         .synopsis = "FILE",
         .summary = "raw data",
         .description = "Loads raw data.",
         .minOperands = 1,
         .maxOperands = 1,
         .needsUnit = false,
         .prepare = recordAs<1>},
        {.name = kNames[2],
         .synopsis = "[WORD]",
         .summary = "a row that is a group as well",
         .description = "Calibrates.",
         .maxOperands = 1,
         .needsUnit = false,
         .prepare = recordAs<2>},
        {.name = kNames[3],
         .synopsis = "",
         .summary = "shows the calibration",
         .description = "Shows it.",
         .needsUnit = false,
         .prepare = recordAs<3>},
        {.name = "serve",
         .synopsis = "[ANYTHING]",
         .summary = "reads its own words",
         .needsUnit = false,
         .runAlone = runAlone},
    };
    return rows;
}

} // namespace

class TestCommandTable : public QObject {
    Q_OBJECT

    QTemporaryDir settings;

    int run(const QStringList& args)
    {
        reached.reset();
        return runCommandLine(args, table());
    }

private slots:
    void initTestCase() { qputenv("PLOVAN_SETTINGS_DIR", settings.path().toLocal8Bit()); }

    void aLineReachesItsRow_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QStringList>("operands");
        QTest::newRow("sub-command") << QStringList{"load", "image", "f"} << "load image" << QStringList{"f"};
        QTest::newRow("after a global option's value")
            << QStringList{"--ack-timeout", "5", "load", "raw", "f"} << "load raw" << QStringList{"f"};
        QTest::newRow("global flag between the words")
            << QStringList{"load", "--save", "image", "f"} << "load image" << QStringList{"f"};
        QTest::newRow("the row's own option")
            << QStringList{"load", "image", "--crc", "m", "f"} << "load image" << QStringList{"f"};
        // Once the words name a row without rows below it, the next word is an operand.
        QTest::newRow("operand named like a sub-command")
            << QStringList{"load", "image", "raw"} << "load image" << QStringList{"raw"};
        QTest::newRow("group that is a row") << QStringList{"cal"} << "cal" << QStringList{};
        QTest::newRow("its sub-command") << QStringList{"cal", "show"} << "cal show" << QStringList{};
        QTest::newRow("its operand") << QStringList{"cal", "x"} << "cal" << QStringList{"x"};
    }
    void aLineReachesItsRow()
    {
        QFETCH(QStringList, args);
        QCOMPARE(run(args), int(kDone));
        QVERIFY(reached);
        QTEST(reached->row, "row");
        QTEST(reached->operands, "operands");
    }

    void wrongLinesReachNoRow_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("group alone") << QStringList{"load"} << int(kBadInput);
        QTest::newRow("unknown sub-command") << QStringList{"load", "frob", "f"} << int(kBadInput);
        QTest::newRow("operand missing") << QStringList{"load", "image"} << int(kBadInput);
        QTest::newRow("operand too many") << QStringList{"load", "image", "f", "g"} << int(kBadInput);
        QTest::newRow("another row's option")
            << QStringList{"load", "raw", "f", "--crc", "m"} << int(kBadInput);
        QTest::newRow("group help") << QStringList{"load", "--help"} << int(kDone);
        QTest::newRow("sub-command help") << QStringList{"load", "image", "--help"} << int(kDone);
        QTest::newRow("help first") << QStringList{"--help", "load", "image", "f"} << int(kDone);
    }
    void wrongLinesReachNoRow()
    {
        QFETCH(QStringList, args);
        QTEST(run(args), "status");
        QVERIFY(!reached);
    }

    void aRowThatReadsItsOwnWordsGetsThoseAfterItsName()
    {
        QCOMPARE(run({"--save", "serve", "--bogus", "1"}), 7);
        QCOMPARE(aloneWords, (QStringList{"--bogus", "1"}));
    }
};

QTEST_GUILESS_MAIN(TestCommandTable)
#include "tst_command_table.moc"
