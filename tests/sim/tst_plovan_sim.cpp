// plovan-sim as a program (PLOVAN_SIM_BIN), and its option parsing.
#include "pty_client.h"
#include "sim_server.h"

#include <QProcess>
#include <QTest>

using plovan::sim::parseServerArgs;

class TstPlovanSim : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void servesAndLogsUntilTerminated();
    void hangUpFaultEndsTheProgram();
    void badOptionsExitWith2_data();
    void badOptionsExitWith2();
    void parsesOptions();

private:
    // Starts the program and returns the device path from its first line.
    QString start(QProcess& process, const QStringList& args);
    QString program_;
};

void TstPlovanSim::initTestCase()
{
    program_ = qEnvironmentVariable("PLOVAN_SIM_BIN");
    if (program_.isEmpty()) QSKIP("PLOVAN_SIM_BIN is not set (run through CTest)");
}

QString TstPlovanSim::start(QProcess& process, const QStringList& args)
{
    process.start(program_, args);
    if (!process.waitForStarted()) return {};
    while (!process.canReadLine())
        if (!process.waitForReadyRead()) return {};
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

void TstPlovanSim::servesAndLogsUntilTerminated()
{
    QProcess process;
    const QString path = start(process, {});
    QVERIFY2(path.startsWith(QLatin1String("/dev/pts/")), qPrintable(path));
    {
        PtyClient client(path);
        QVERIFY(client.isOpen());
        client.write("=D5144\r\n=DEB45\r\n=D8546\r\n=D1E47\r\n=X\r\n");
        QCOMPARE(client.read(7), QByteArray("@@@@?\r\n"));
    }
    QByteArray log;
    QTRY_VERIFY((log += process.readAllStandardOutput()).contains("=X -> "));
    QVERIFY(log.contains("=D5144 -> reg 44 := 51\n"));
    QVERIFY(log.contains("  frequency 100.000000 MHz"));

    process.terminate(); // SIGTERM
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void TstPlovanSim::hangUpFaultEndsTheProgram()
{
    QProcess process;
    const QString path = start(process, {QStringLiteral("--fault"), QStringLiteral("hangup:1")});
    QVERIFY(path.startsWith(QLatin1String("/dev/pts/")));
    PtyClient client(path);
    client.write("=r\r\n");
    QCOMPARE(client.read(2), QByteArray("@"));
    QVERIFY(client.hungUp());
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void TstPlovanSim::badOptionsExitWith2_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("unknown fault") << QStringList{"--fault", "nonsense"};
    QTest::newRow("fault without count") << QStringList{"--fault", "crc-error:0"};
    QTest::newRow("delay not a number") << QStringList{"--delay", "abc"};
    QTest::newRow("delay missing") << QStringList{"--delay"};
    QTest::newRow("unknown crc") << QStringList{"--crc", "md5"};
}

void TstPlovanSim::badOptionsExitWith2()
{
    QFETCH(QStringList, args);
    QProcess process;
    process.start(program_, args);
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty()); // no device line
    QVERIFY(!process.readAllStandardError().isEmpty());
}

void TstPlovanSim::parsesOptions()
{
    const auto options = parseServerArgs({"--fault", "silent", "--fault=crc-error:3", "--fault", "hangup:5",
                                          "--fault", "garbage", "--fault", "too-big", "--fault", "answer:3",
                                          "--fault=flood:100", "--delay=15", "--crc", "kermit", "-q"});
    QVERIFY(options);
    QCOMPARE(options->faults, (plovan::sim::Faults{.silent = true,
                                                   .replyDelayMs = 15,
                                                   .crcErrorAtLine = 3,
                                                   .tooBig = true,
                                                   .garbage = true,
                                                   .hangUpAfter = 5,
                                                   .answerLines = 3,
                                                   .floodBytes = 100}));
    QCOMPARE(options->crcModel, plovan::Crc16Model::Kermit);
    QVERIFY(options->quiet);
    QString error;
    QVERIFY(!parseServerArgs({"--quiet=1"}, &error));
    QVERIFY(error.contains("--quiet"));
}

QTEST_GUILESS_MAIN(TstPlovanSim)
#include "tst_plovan_sim.moc"
