// plovanctl monitor and status as scripts run them, over a pseudo-terminal
// to plovan-sim: the interlock's trip reaches the unit and the exit status.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestPlovanctlMonitor : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    int run(const QStringList& args, QString* output = nullptr, QString* errors = nullptr)
    {
        QProcess ctl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PLOVAN_SETTINGS_DIR", dir.path());
        ctl.setProcessEnvironment(env);
        ctl.start(qEnvironmentVariable("PLOVANCTL_BIN"), args);
        if (!ctl.waitForFinished(20000)) return -1;
        if (output) *output = QString::fromLocal8Bit(ctl.readAllStandardOutput());
        if (errors) *errors = QString::fromLocal8Bit(ctl.readAllStandardError());
        return ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("PLOVANCTL_BIN") || qEnvironmentVariableIsEmpty("PLOVAN_SIM_BIN"))
            QSKIP("run through CTest");
    }

    void monitor_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("tripped");
        const QStringList fast{"--interval", "0.2"};
        QTest::newRow("J2 reflecting half trips after 3 readings") << "reflect:J2:0.5" << fast << 1 << true;
        QTest::newRow("--count 1 trips on the first")
            << "reflect:J2:0.5" << (fast + QStringList{"--count", "1"}) << 1 << true;
        QTest::newRow("a matched load runs its duration")
            << "" << (fast + QStringList{"--duration", "1"}) << 0 << false;
        QTest::newRow("a level above the reflection does not trip")
            << "reflect:J2:0.5" << (fast + QStringList{"--duration", "1", "--trip", "0.6"}) << 0 << false;
        QTest::newRow("interval below 0.2 s refused") << "" << QStringList{"--interval", "0.1"} << 2 << false;
        QTest::newRow("count 0 refused") << "" << QStringList{"--count", "0"} << 2 << false;
        QTest::newRow("CSV in a missing folder refused")
            << "" << QStringList{"--csv", "/nonexistent/dir/levels.csv"} << 2 << false;
    }
    void monitor()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(bool, tripped);
        QProcess sim;
        sim.start(qEnvironmentVariable("PLOVAN_SIM_BIN"),
                  fault.isEmpty() ? QStringList{} : QStringList{"--fault", fault});
        QVERIFY(sim.waitForStarted());
        while (!sim.canReadLine())
            QVERIFY(sim.waitForReadyRead(5000));
        const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QCOMPARE(run({"--port", port, "amplitude", "1000"}), 0);

        const QString csv = dir.filePath(QStringLiteral("levels.csv"));
        const bool recording = !args.contains("--csv");
        QString output;
        QString errors;
        const int got = run(QStringList{"--port", port, "monitor"} + args +
                                (recording ? QStringList{"--csv", csv} : QStringList{}),
                            &output, &errors);
        sim.terminate();
        QVERIFY(sim.waitForFinished(3000));
        QStringList commands;
        for (const QString& line : QString::fromLocal8Bit(sim.readAllStandardOutput()).split('\n'))
            if (line.contains(" -> ")) commands << line.section(" -> ", 0, 0);

        QCOMPARE(got, status);
        QCOMPARE(output.contains("Interlock: J2 reflected/forward 0.50 above 0.30 at "), tripped);
        QCOMPARE(errors.contains("Interlock: J2"), tripped);
        const qsizetype off = commands.lastIndexOf("=E0C");
        if (tripped) {
            // RF off first, then the smallest amplitude on each output in turn.
            QVERIFY2(off > 0, qPrintable(commands.join(' ')));
            QCOMPARE(commands.mid(off, 7),
                     (QStringList{"=E0C", "=D1030", "=D00E3", "=D00E4", "=D00E1", "=D00E2", "=U"}));
            QCOMPARE(commands.mid(off + 19, 6),
                     (QStringList{"=D8030", "=D00E3", "=D00E4", "=D00E1", "=D00E2", "=U"}));
        }
        else if (status == 2) {
            QVERIFY(!commands.contains("=AV")); // refused before the port was opened
        }
        else {
            QVERIFY(!commands.mid(commands.indexOf("=AV")).contains("=E0C"));
        }
        if (status == 2 || !recording) return;
        // The recording: a header, then a time-stamped line per reading.
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.value(0).startsWith("time,J1 forward,J1 reflected,J1 ratio,J2 forward"));
        QCOMPARE(lines.size() - 1, qsizetype(commands.count("=AV")));
        QVERIFY(lines.value(1).contains(
            QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3},")));
    }

    void statusSaysUnknownUntilTold()
    {
        QString output;
        QCOMPARE(run({"--sim", "status"}, &output), 0);
        QVERIFY(output.contains("J1: unknown\n"));
        QVERIFY(output.contains("RF/laser: unknown\n"));
        QVERIFY(output.contains("Interlock: clear\n"));
    }
};

QTEST_MAIN(TestPlovanctlMonitor)
#include "tst_plovanctl_monitor.moc"
