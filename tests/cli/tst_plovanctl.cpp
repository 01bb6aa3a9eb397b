// plovanctl as scripts run it: a process talking to plovan-sim over a
// pseudo-terminal; the lines the unit logs and the exit statuses.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestPlovanctl : public QObject {
    Q_OBJECT

    QProcess sim;
    QString port;
    QStringList simLog;
    QTemporaryDir settings;

    // Runs plovanctl with `args`; its exit status.
    int run(const QStringList& args, QByteArray* stdoutText = nullptr, const QByteArray& locale = "C")
    {
        QProcess ctl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PLOVAN_SETTINGS_DIR", settings.path());
        env.insert("LC_ALL", QString::fromLatin1(locale));
        ctl.setProcessEnvironment(env);
        ctl.start(qEnvironmentVariable("PLOVANCTL_BIN"), args);
        if (!ctl.waitForFinished(20000)) return -1;
        if (stdoutText) *stdoutText = ctl.readAllStandardOutput();
        lastError = QString::fromLocal8Bit(ctl.readAllStandardError());
        return ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    }
    // The commands the simulated unit has logged since `from`.
    QStringList commandsSince(qsizetype from)
    {
        QTest::qWait(50);
        while (sim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
            if (line.contains(" -> ")) simLog << line.section(" -> ", 0, 0);
        }
        return simLog.mid(from);
    }
    // Starts plovan-sim with `args`, replacing any running one.
    void startSim(const QStringList& args = {})
    {
        stopSim();
        simLog.clear();
        sim.start(qEnvironmentVariable("PLOVAN_SIM_BIN"), args);
        QVERIFY(sim.waitForStarted());
        while (!sim.canReadLine())
            QVERIFY(sim.waitForReadyRead(5000));
        port = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QVERIFY(port.startsWith("/dev/"));
    }
    void stopSim()
    {
        if (sim.state() == QProcess::NotRunning) return;
        sim.terminate();
        if (!sim.waitForFinished(3000)) sim.kill();
    }
    // Runs `args` against the simulated unit and returns the lines it received.
    QStringList linesFor(const QStringList& args)
    {
        const qsizetype mark = commandsSince(0).size() + 0;
        const int status = run(QStringList{"--port", port} + args);
        if (status != 0) return {QStringLiteral("exit %1: %2").arg(status).arg(lastError)};
        return commandsSince(mark);
    }

    QString lastError;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("PLOVANCTL_BIN") || qEnvironmentVariableIsEmpty("PLOVAN_SIM_BIN"))
            QSKIP("run through CTest");
        startSim();
    }
    void cleanupTestCase() { stopSim(); }

    void linesMatchTheWindowsOperations_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("expected");
        const QStringList tune100{"=D5144", "=DEB45", "=D8546", "=D1E47", "=D5184",
                                  "=DEB85", "=D8586", "=D1E87", "=U",     "=E0C"};
        QTest::newRow("tune") << QStringList{"tune", "100"} << tune100;
        QTest::newRow("tune fixed") << QStringList{"--fixed", "tune", "100"}
                                    << QStringList{"=D5144", "=DEB45", "=D8546", "=D1E47", "=U", "=E0C"};
        QTest::newRow("tune hires") << QStringList{"tune", "100", "--hires", "5"}
                                    << QStringList{"=D5144", "=DF645", "=D0146", "=D7947", "=D5184",
                                                   "=DF685", "=D0186", "=D7987", "=U",     "=E0C"};
        QTest::newRow("phase") << QStringList{"phase", "180"}
                               << QStringList{"=D1F80", "=DFF81", "=U", "=E0C"};
        QTest::newRow("amplitude saved")
            << QStringList{"--save", "amplitude", "512"}
            << QStringList{"=aD08E3", "=aD08E1", "=aD00E4", "=aD00E2", "=aD08A3", "=aD00A4", "=U", "=E0C"};
        QTest::newRow("amplitude two channels")
            << QStringList{"--channels", "1,2", "--amp-tracking", "off", "amplitude", "512"}
            << QStringList{"=D04E3", "=D00E4", "=D04A3", "=D00A4", "=U", "=E0C"};
        QTest::newRow("send") << QStringList{"send", "100", "0", "512"}
                              << tune100 + QStringList{"=D08E3", "=D08E1", "=D00E4", "=D00E2", "=D08A3",
                                                       "=D00A4", "=U",     "=E0C",   "=D0080", "=D0081",
                                                       "=U",     "=E0C",   "=I",     "=U"};
        QTest::newRow("channel 3") << QStringList{"channels", "3"} << QStringList{"=D4030", "=I", "=U"};
        QTest::newRow("all") << QStringList{"channels", "all"} << QStringList{"=DF030", "=I", "=U"};
        QTest::newRow("connect") << QStringList{"connect"}
                                 << QStringList{"=r", "=p", "=D00DF", "=D08E1", "=D00E2"};
        QTest::newRow("command") << QStringList{"command", "dA3"} << QStringList{"=dA3"};
        QTest::newRow("raw") << QStringList{"raw", "=I"} << QStringList{"=I"};
        QTest::newRow("int-clock") << QStringList{"int-clock", "1f"}
                                   << QStringList{"=K001F", "=k", "=E03", "=e", "=E43"};
    }
    void linesMatchTheWindowsOperations()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        QCOMPARE(linesFor(args), expected);
    }

    void simulatedUnitInsideReportsItsState()
    {
        QByteArray text;
        QCOMPARE(run({"--sim", "send", "100", "0", "512"}, &text), 0);
        QVERIFY2(text.contains("frequency 100.000000 MHz"), text.constData());
        QVERIFY(text.contains("amplitude 512"));
    }

    void badInputIsRefusedWithStatus2_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("not a number") << QStringList{"tune", "abc"};
        QTest::newRow("comma") << QStringList{"tune", "100,5"};
        QTest::newRow("above the limit") << QStringList{"tune", "141"};
        QTest::newRow("phase") << QStringList{"phase", "361"};
        QTest::newRow("amplitude") << QStringList{"amplitude", "1025"};
        QTest::newRow("channel") << QStringList{"channels", "5"};
        QTest::newRow("hires") << QStringList{"tune", "100", "--hires", "100"};
        QTest::newRow("clock word") << QStringList{"int-clock", "XYZ"};
        QTest::newRow("operands") << QStringList{"send", "100"};
        QTest::newRow("command") << QStringList{"frobnicate"};
        QTest::newRow("option") << QStringList{"--bogus", "tune", "100"};
        QTest::newRow("channels option") << QStringList{"--channels", "7", "tune", "100"};
    }
    void badInputIsRefusedWithStatus2()
    {
        QFETCH(QStringList, args);
        const qsizetype mark = commandsSince(0).size();
        QCOMPARE(run(QStringList{"--port", port} + args), 2);
        QVERIFY(!lastError.isEmpty());
        QCOMPARE(commandsSince(mark), QStringList{}); // nothing reached the unit
    }

    void numbersReadTheSameUnderAGermanLocale()
    {
        const qsizetype mark = commandsSince(0).size();
        QCOMPARE(run({"--port", port, "tune", "100.5"}, nullptr, "de_DE.UTF-8"), 0);
        QCOMPARE(commandsSince(mark).first(), QString("=D5244"));
    }

    void missingPortGivesStatus1() { QCOMPARE(run({"--port", "/dev/plovan-none", "tune", "100"}), 1); }

    void silentUnitGivesStatus1()
    {
        startSim({"--fault", "silent"});
        QCOMPARE(run({"--port", port, "--ack-timeout", "100", "tune", "100"}), 1);
        QVERIFY2(lastError.contains("No reply from unit to =D5144"), qPrintable(lastError));
        // Nothing more was sent into the silence.
        QCOMPARE(commandsSince(0), QStringList{"=D5144"});
        startSim();
    }

    void noAckSendsWithoutWaiting()
    {
        startSim({"--fault", "silent"});
        QCOMPARE(run({"--port", port, "--no-ack", "channels", "all"}), 0);
        QCOMPARE(commandsSince(0), (QStringList{"=DF030", "=I", "=U"}));
        startSim();
    }
};

QTEST_GUILESS_MAIN(TestPlovanctl)
#include "tst_plovanctl.moc"
