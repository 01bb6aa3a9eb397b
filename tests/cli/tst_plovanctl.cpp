// plovanctl as scripts run it: a process talking to plovan-sim over a
// pseudo-terminal; the lines the unit logs and the exit statuses.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// "CHIRP" on the worked example (75 to 140 MHz in 20 us, multiplier 1) as
// the window sends it; the same lines as in the chirp programmer's tests.
const QStringList kChirpHead = {"=r", "=C", "=H00000244DF", "=H00000404DF", "=H0000030030"};
const QStringList kRampWorked = {"=D3DC4", "=D70C5", "=D72CA", "=DB0CB", "=D00D0",
                                 "=D04D1", "=D5CD2", "=D00DA", "=D00DB", "=D01DC"};
const QStringList kAmplitude512 = {"=D08E3", "=D08E1", "=D00E4", "=D00E2", "=D08A3", "=D00A4"};

// Writes with "Save to DDS": "=D" becomes "=aD", "=" becomes "=a".
QStringList saved(QStringList lines)
{
    for (QString& l : lines)
        l.replace(0, 1, "=a");
    return lines;
}

// The command names of the "Commands:" list in plovanctl --help: an entry
// starts two spaces in, and its name is its leading lower-case words.
QStringList listedCommands(const QByteArray& usage)
{
    const QString list = QString::fromLocal8Bit(usage).section("\nCommands:\n", 1).section("\n\n", 0, 0);
    static const QRegularExpression entry("^  ([a-z][a-z0-9-]*(?: [a-z][a-z0-9-]*)*)(?= |$)",
                                          QRegularExpression::MultilineOption);
    QStringList names;
    for (auto it = entry.globalMatch(list); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

// A load's output: the lines before its result, and the result, which is
// the last line: "KIND FILE, ROUTE, N of M records, T s: VERDICT".
struct LoadOutput {
    QByteArray before;
    QString result;
};
LoadOutput splitResult(const QByteArray& text)
{
    QByteArray body = text;
    if (body.endsWith('\n')) body.chop(1);
    const qsizetype cut = body.lastIndexOf('\n');
    return {cut < 0 ? QByteArray() : body.left(cut + 1),
            QString::fromLocal8Bit(cut < 0 ? body : body.mid(cut + 1))};
}
// The result line without its time, which varies: "image t.plv, serial, 64 of 64 records: Sent OK!".
QString untimed(const QString& result)
{
    static const QRegularExpression time(", [0-9]+\\.[0-9] s: ");
    return QString(result).replace(time, ": ");
}

} // namespace

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
        if (fileSizeLimit > 0) {
            // A disk that fills up: writes past the limit fail with EFBIG.
            ctl.setChildProcessModifier([limit = fileSizeLimit] {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit r{rlim_t(limit), rlim_t(limit)};
                ::setrlimit(RLIMIT_FSIZE, &r);
            });
        }
        ctl.start(qEnvironmentVariable("PLOVANCTL_BIN"), args);
        if (!ctl.waitForFinished(20000)) return -1;
        if (stdoutText) *stdoutText = ctl.readAllStandardOutput();
        lastError = QString::fromLocal8Bit(ctl.readAllStandardError());
        return ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    }
    // The commands the simulated unit has logged since `from`.
    // What the unit has logged so far, without waiting: for a run still going.
    const QStringList& loggedSoFar()
    {
        while (sim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
            if (line.contains(" -> ")) simLog << line.section(" -> ", 0, 0);
        }
        return simLog;
    }
    // What the unit logged, read until its log has been quiet for 100 ms (on
    // a loaded machine the simulator's lines come through late), 3 s at most.
    QStringList commandsSince(qsizetype from)
    {
        QElapsedTimer reading;
        reading.start();
        do
            loggedSoFar();
        while (reading.elapsed() < 3000 && sim.waitForReadyRead(100));
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
    qint64 fileSizeLimit = 0; // bytes a run may write to a file; 0: no limit

    // Starts "connect" on the silent unit with no time-out, and returns once
    // it waits for E1.
    void startWaitingRun(QProcess& ctl)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PLOVAN_SETTINGS_DIR", settings.path());
        ctl.setProcessEnvironment(env);
        ctl.start(qEnvironmentVariable("PLOVANCTL_BIN"), {"--port", port, "--ack-timeout", "0", "connect"});
        QVERIFY(ctl.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(commandsSince(0).size() == 4, 5000);
    }

    // Poll lists in the settings folder.
    QString pollList() const { return settings.filePath("poll-list.txt"); }
    QString badPollList() const { return settings.filePath("poll-bad.txt"); }
    static void writeFile(const QString& path, const QByteArray& text)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("PLOVANCTL_BIN") || qEnvironmentVariableIsEmpty("PLOVAN_SIM_BIN"))
            QSKIP("run through CTest");
        writeFile(pollList(), "I\r\nU\r\n*\r\nD60E0\r\n"); // "*" ends the list
        writeFile(badPollList(), "I\r\n=U\r\n");
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
        QTest::newRow("chirp") << QStringList{"chirp", "75", "140", "20"}
                               << kChirpHead + kRampWorked + kAmplitude512 +
                                      QStringList{"=D60E0", "=U", "=E20"};
        QTest::newRow("chirp options")
            << QStringList{"chirp", "75",       "140",     "20",         "--amplitude",
                           "256",   "--ext-rf", "--laser", "--ext-trig", "--inverse-sinc"}
            << kChirpHead + kRampWorked + QStringList{"=D04E3", "=D08E1", "=D00E4", "=D00E2", "=D04A3",
                                                      "=D00A4", "=D20E0", "=U",     "=EA3"};
        // 75 to 140 MHz in 2 ms, multiplier 3: 156250 steps of 0.416 kHz (step word 16).
        QTest::newRow("chirp unit and dwell")
            << QStringList{"chirp", "75", "140", "2", "--unit", "ms", "--dwell", "3", "--no-update"}
            << QStringList{"=H00000244DF", "=H00000404DF", "=D3DC4", "=D70C5", "=D72CA", "=DB0CB",
                           "=D00D0",       "=D00D1",       "=D16D2", "=D00DA", "=D00DB", "=D03DC"} +
                   kAmplitude512 + QStringList{"=D60E0", "=E20"};
        QTest::newRow("chirp no update") << QStringList{"chirp", "75", "140", "20", "--no-update"}
                                         << QStringList{"=H00000244DF", "=H00000404DF"} + kRampWorked +
                                                kAmplitude512 + QStringList{"=D60E0", "=E20"};
        // "Save to DDS" reaches every write of the run (with a pause after each ramp write).
        QTest::newRow("chirp saved") << QStringList{"--save", "chirp", "75", "140", "20"}
                                     << saved(kChirpHead + kRampWorked + kAmplitude512 +
                                              QStringList{"=D60E0", "=U", "=E20"});
        // 100 MHz + 1000 kHz: the word of 101 MHz into group 1, then bodge.
        const QStringList offset101{"=D5244", "=DBD45", "=D3C46", "=D3647", "=U", "=E0C"};
        QTest::newRow("offset") << QStringList{"offset", "1000", "--frequency", "100"} << offset101;
        QTest::newRow("offset tenths") << QStringList{"offset", "1000.1", "--frequency", "100"}
                                       << QStringList{"=D5244", "=DBD45", "=D4146", "=D9447", "=U", "=E0C"};
        QTest::newRow("offset amplitude")
            << QStringList{"offset", "1000", "--frequency", "100", "--amplitude", "500"}
            << offset101 + QStringList{"=D0763", "=DD064", "=U", "=E0C"};
        QTest::newRow("poll") << QStringList{"poll", pollList()} << QStringList{"=I", "=U"};
        QTest::newRow("poll twice") << QStringList{"poll", pollList(), "--loop", "2"}
                                    << QStringList{"=I", "=U", "=I", "=U"};
    }
    void linesMatchTheWindowsOperations()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, expected);
        QCOMPARE(linesFor(args), expected);
    }

    void simulatedUnitInsideReportsItsState_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("send") << QStringList{"send", "100", "0", "512"}
                              << QStringList{"frequency 100.000000 MHz", "amplitude 512"};
        QTest::newRow("chirp") << QStringList{"chirp", "75", "140", "20"}
                               << QStringList{"ramp start 74.996948 MHz", "ramp stop 139.999390 MHz",
                                              "ramp step 20.787 kHz", "ramp dwell 1:", "control byte 20"};
        QTest::newRow("offset") << QStringList{"offset", "1000", "--frequency", "100", "--amplitude", "500"}
                                << QStringList{"frequency 101.000000 MHz (word 52BD3C36, 44-47)",
                                               "amplitude 500 (word 07D0, 63-64)"};
        QTest::newRow("poll") << QStringList{"poll", pollList()} << QStringList{"control byte"};
    }
    void simulatedUnitInsideReportsItsState()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, shown);
        QByteArray text;
        QCOMPARE(run(QStringList{"--sim"} + args, &text), 0);
        for (const QString& line : shown)
            QVERIFY2(text.contains(line.toLatin1()), qPrintable(line + " not in:\n" + text));
    }

    // A load's result is the last line, after the simulated unit's state.
    void theResultIsTheLastLineAfterTheSimulatedState()
    {
        const QString path = settings.filePath("inside.plv");
        writeFile(path, "00002\r\n012345678\r\n0ABCDEF01\r\n");
        for (const QStringList& route : {QStringList{}, QStringList{"--usb"}}) {
            QByteArray text;
            QCOMPARE(run(QStringList{"--sim", "load", "image", path} + route, &text), 0);
            QVERIFY2(text.contains("image load: 2 of 2 lines, complete"), text.constData());
            QCOMPARE(untimed(splitResult(text).result),
                     QString("image inside.plv, %1, 2 of 2 records: Sent OK!")
                         .arg(route.isEmpty() ? "serial" : "USB"));
        }
    }

    void chirpCalcNeedsNoUnit_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("printed");
        QTest::addColumn<QString>("message");
        QTest::newRow("20 us") << QStringList{"75", "140", "20"} << QByteArray("C") << 0
                               << QByteArray("Dwell Time uS: 0.0064\nN Steps: 3125\nDelta F (KHz): 20.8\n"
                                             "Stop Freq: 140\n")
                               << QString();
        // 156.25 steps fit into 1 us: the step is 65 MHz / 156.
        const QByteArray oneUs("Dwell Time uS: 0.0064\nN Steps: 156\nDelta F (KHz): 416.666666666667\n"
                               "Stop Freq: 140\n");
        QTest::newRow("1 us") << QStringList{"75", "140", "1"} << QByteArray("C") << 0 << oneUs << QString();
        QTest::newRow("German locale")
            << QStringList{"75", "140", "1"} << QByteArray("de_DE.UTF-8") << 0 << oneUs << QString();
        QTest::newRow("ms, multiplier 3")
            << QStringList{"75", "140", "20", "--unit", "ms", "--dwell", "3"} << QByteArray("C") << 0
            << QByteArray("Dwell Time uS: 0.0128\nN Steps: 1562500\nDelta F (KHz): 0.0416\nStop Freq: 140\n")
            << QString();
        // One step of 60 MHz is held to 32766 kHz: the stop is where that step ends.
        QTest::newRow("step held")
            << QStringList{"80", "140", "0.0064"} << QByteArray("C") << 0
            << QByteArray("Dwell Time uS: 0.0064\nN Steps: 1\nDelta F (KHz): 32766\nStop Freq: 112.766\n")
            << QString();
        QTest::newRow("5 ns") << QStringList{"75", "140", "0.005"} << QByteArray("C") << 2 << QByteArray()
                              << "N steps is too low, please re enter";
        QTest::newRow("no step") << QStringList{"100", "100", "20"} << QByteArray("C") << 2 << QByteArray()
                                 << "Delta F is out of range, please re-enter numbers";
        QTest::newRow("stop above the limit")
            << QStringList{"75", "141", "20"} << QByteArray("C") << 2 << QByteArray() << "141";
    }
    void chirpCalcNeedsNoUnit()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, locale);
        QFETCH(QByteArray, printed);
        QFETCH(QString, message);
        QByteArray text;
        QTEST(run(QStringList{"chirp-calc"} + args, &text, locale), "status");
        QCOMPARE(text, printed);
        QVERIFY2(message.isEmpty() ? lastError.isEmpty() : lastError.contains(message),
                 qPrintable(lastError));
    }

    void badInputIsRefusedWithStatus2_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message"); // part of what stderr says; empty: anything
        const auto row = [](const char* name, const QStringList& args, const QString& message = {}) {
            QTest::newRow(name) << args << message;
        };
        row("not a number", {"tune", "abc"});
        row("comma", {"tune", "100,5"});
        row("above the limit", {"tune", "141"});
        row("far above the limit", {"tune", "150"}, "the window would put 140 in its place");
        row("phase", {"phase", "361"});
        row("amplitude", {"amplitude", "1025"});
        row("channel", {"channels", "5"});
        row("hires", {"tune", "100", "--hires", "100"});
        row("clock word", {"int-clock", "XYZ"});
        // Checked whole, before the padding that would cut them to four digits.
        row("clock word of five digits", {"int-clock", "12345"}, "\"12345\"");
        row("clock word as a float", {"int-clock", "1e400"}, "\"1e400\"");
        row("clock word, long zeros", {"int-clock", "0000000000000000000000000100"}, "one to four");
        row("clock word and line feed", {"int-clock", "100\n"}, "one to four");
        row("clock word empty", {"int-clock", ""}, "one to four");
        row("operands", {"send", "100"});
        row("command", {"frobnicate"});
        row("option", {"--bogus", "tune", "100"});
        row("channels option", {"--channels", "7", "tune", "100"});
        // chirp: bad operands and the calculation's refusals, before anything is sent.
        row("chirp too few steps", {"chirp", "75", "140", "0.005"}, "N steps is too low, please re enter");
        row("chirp no step", {"chirp", "100", "100", "20"},
            "Delta F is out of range, please re-enter numbers");
        row("chirp dwell", {"chirp", "75", "140", "20", "--dwell", "1.5"}, "Dwell Multiplier");
        row("chirp ramp time", {"chirp", "75", "140", "abc"}, "Ramp time (uS)");
        row("chirp stop above the limit", {"chirp", "75", "141", "20"}, "141");
        row("chirp start", {"chirp", "x", "140", "20"}, "start frequency");
        row("chirp unit", {"chirp", "75", "140", "20", "--unit", "ns"}, "--unit");
        row("chirp amplitude", {"chirp", "75", "140", "20", "--amplitude", "1025"}, "--amplitude");
        row("chirp operands", {"chirp", "75", "140"});
        row("offset above the limits", {"offset", "1000", "--frequency", "139.5"},
            "Outside Frequency Limits!");
        row("offset negative", {"offset", "-1", "--frequency", "100"}, "negative");
        row("offset finer than 0.1 kHz", {"offset", "1000.15", "--frequency", "100"}, "0.1 kHz");
        row("offset beyond the slider", {"offset", "5000.1", "--frequency", "100"}, "0 to 5000 kHz");
        row("offset not a number", {"offset", "1e3", "--frequency", "100"}, "not a number");
        row("offset main frequency", {"offset", "1000", "--frequency", "79"}, "frequency 79");
        row("offset without main", {"offset", "1000"}, "--frequency");
        row("offset amplitude", {"offset", "1000", "--frequency", "100", "--amplitude", "1025"}, "1025");
        row("poll missing file", {"poll", "/nonexistent/poll.txt"}, "not found");
        row("poll malformed file", {"poll", badPollList()}, "line 2 \"=U\"");
        row("poll passes", {"poll", pollList(), "--loop", "0"}, "--loop");
        row("header word number", {"header", "--word", "15=0000"}, "N 1-14");
        row("header word digits", {"extra-header", "--word", "3=12345"}, "four hex digits");
        row("header block above 255", {"header-blocks", "0", "256"}, "0-255");
        row("header block not a number", {"header-blocks", "x", "3"}, "Start \"x\"");
    }
    void badInputIsRefusedWithStatus2()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const qsizetype mark = commandsSince(0).size();
        QCOMPARE(run(QStringList{"--port", port} + args), 2);
        QVERIFY(!lastError.isEmpty());
        QVERIFY2(lastError.contains(message), qPrintable(lastError));
        QCOMPARE(commandsSince(mark), QStringList{}); // nothing reached the unit
    }

    // The window's start-up rule: a portset.txt without a maxmin.txt gives 130/30 MHz.
    void limitsFollowTheWindowsRule()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("portset.txt"), "2\r\n9600\r\n8\r\n1\r\n");
        const QStringList withDir{"--settings-dir", dir.path(), "--port", port};
        QCOMPARE(run(withDir + QStringList{"tune", "131"}), 2);
        QVERIFY2(lastError.contains("130"), qPrintable(lastError));
        QCOMPARE(run(withDir + QStringList{"tune", "35"}), 0);
        // No files at all: 140/80, as the window starts.
        QTemporaryDir empty;
        QCOMPARE(run(QStringList{"--settings-dir", empty.path(), "--port", port, "tune", "35"}), 2);
    }

    void theUnitIsNamedOnce_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("neither") << QStringList{"tune", "100"};
        QTest::newRow("both") << QStringList{"--sim", "--port", port, "tune", "100"};
    }
    void theUnitIsNamedOnce()
    {
        QFETCH(QStringList, args);
        const qsizetype mark = commandsSince(0).size();
        QCOMPARE(run(args), 2);
        QVERIFY2(lastError.contains("give either --port DEVICE or --sim"), qPrintable(lastError));
        QCOMPARE(commandsSince(mark), QStringList{});
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("firstLine");
        const QString usage = "Usage: plovanctl [OPTIONS] COMMAND [ARGS]";
        QTest::newRow("help") << QStringList{"--help"} << 0 << usage;
        QTest::newRow("no command") << QStringList{"--save"} << 2 << usage;
        QTest::newRow("version") << QStringList{"--version"} << 0 << "plovanctl 3.09";
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, args);
        QByteArray text;
        QTEST(run(args, &text), "status");
        QTEST(QString::fromLocal8Bit(text).section('\n', 0, 0), "firstLine");
    }

    // The list in --help and each command's own help come from the same
    // table: every command listed answers COMMAND --help with its usage and text.
    void everyListedCommandHasItsHelp()
    {
        QByteArray usage;
        QCOMPARE(run({"--help"}, &usage), 0);
        const QStringList names = listedCommands(usage);
        for (const char* name : {"connect", "tune", "chirp-calc", "poll", "sim"})
            QVERIFY2(names.contains(name), qPrintable(names.join(", ")));
        for (const QString& name : names) {
            QByteArray help;
            QCOMPARE(run(name.split(' ') + QStringList{"--help"}, &help), 0);
            const QString text = QString::fromLocal8Bit(help);
            const QString first = text.section('\n', 0, 0);
            const QRegularExpression head("^Usage: plovanctl (\\[OPTIONS\\] )?" +
                                          QRegularExpression::escape(name) + "( |$)");
            QVERIFY2(head.match(first).hasMatch(), qPrintable(name + ": " + first));
            QVERIFY2(!text.section('\n', 1).trimmed().isEmpty(), qPrintable(name + " has no description"));
        }
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
        // Nothing more was sent into the silence, by a poll list either.
        QCOMPARE(run({"--port", port, "--ack-timeout", "100", "poll", pollList(), "--loop", "2"}), 1);
        QVERIFY2(lastError.contains("No reply from unit to =I"), qPrintable(lastError));
        QCOMPARE(commandsSince(0), (QStringList{"=D5144", "=I"}));
        startSim();
    }

    // plovan-sim as a unit that misbehaves: the run fails (or copes) and
    // says why on stderr.
    void misbehavingUnitsAreReported_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("timeout"); // --ack-timeout, ms
        QTest::newRow("answers three of five")
            << "answer:3" << QStringList{"connect"} << 1 << "No reply from unit to =D08E1\n" << "300";
        QTest::newRow("answers two of five") << "answer:2" << QStringList{"connect"} << 1
                                             << "No reply from unit to =D00DF, =D08E1\n" << "300";
        QTest::newRow("hangs up") << "hangup:2" << QStringList{"connect"} << 1 << "Connection lost" << "300";
        // 3 MB without a line end before the first "@": cut once, the rest goes
        // on. The flood must arrive within the wait whatever the build's speed
        // (a sanitizer build takes its time); how fast is for a benchmark.
        QTest::newRow("floods") << "flood:3000000" << QStringList{"connect"} << 0
                                << "Reply line cut: more than 4096 characters without a line end\n" << "10000";
        QTest::newRow("rubbish read-back") << "bad-readback" << QStringList{"int-clock", "100"} << 1
                                           << "control byte read back as \"??\"" << "300";
    }
    void misbehavingUnitsAreReported()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(QString, timeout);
        startSim({"--fault", fault});
        QCOMPARE(run(QStringList{"--port", port, "--ack-timeout", timeout} + args), status);
        QVERIFY2(lastError.contains(said), qPrintable(lastError));
        QCOMPARE(lastError.count(said), 1);
        startSim();
    }

    // Ctrl-C or SIGTERM in the middle of a wait closes the port, which puts
    // the line's settings back: the next run opens it with the default
    // (odd) parity as the first did.
    void stopSignalClosesThePort_data()
    {
        QTest::addColumn<int>("signo");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void stopSignalClosesThePort()
    {
        QFETCH(int, signo);
        startSim({"--fault", "silent"});
        QProcess ctl;
        startWaitingRun(ctl);
        ::kill(static_cast<pid_t>(ctl.processId()), signo);
        QVERIFY(ctl.waitForFinished(5000));
        QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ctl.exitCode(), 128 + signo);
        QVERIFY(ctl.readAllStandardError().contains("port closed"));
        QCOMPARE(run({"--port", port, "--ack-timeout", "100", "connect"}), 1);
        QVERIFY2(lastError.startsWith("plovanctl: No reply from unit to"), qPrintable(lastError));
        startSim();
    }

    // A run killed outright leaves the pseudo-terminal as it set it, and
    // Linux keeps no parity on one: the next run opens it all the same and
    // says what it could not set.
    void parityAPseudoTerminalCannotTakeIsANote()
    {
        startSim({"--fault", "silent"});
        QProcess ctl;
        startWaitingRun(ctl);
        ctl.kill();
        QVERIFY(ctl.waitForFinished(5000));
        QCOMPARE(run({"--port", port, "--ack-timeout", "100", "connect"}), 1);
        QVERIFY2(lastError.contains("parity not set: " + port + " is a pseudo-terminal"),
                 qPrintable(lastError));
        QVERIFY2(lastError.contains("No reply from unit to"), qPrintable(lastError));
        QVERIFY(!lastError.contains("No error"));
        startSim();
    }

    void noAckSendsWithoutWaiting()
    {
        startSim({"--fault", "silent"});
        QCOMPARE(run({"--port", port, "--no-ack", "channels", "all"}), 0);
        QCOMPARE(commandsSince(0), (QStringList{"=DF030", "=I", "=U"}));
        startSim();
    }

    // --- the USB route ---

    void usbTestShowsTheSimulatedDevice_data()
    {
        QTest::addColumn<bool>("inProcess");
        QTest::newRow("plovan-sim's socket") << false;
        QTest::newRow("--sim") << true;
    }
    void usbTestShowsTheSimulatedDevice()
    {
        QFETCH(bool, inProcess);
        const QStringList unit =
            inProcess ? QStringList{"--sim"} : QStringList{"--port", port, "--usb-device", "sim"};
        QByteArray text;
        QCOMPARE(run(unit + QStringList{"usb", "test"}, &text), 0);
        QVERIFY2(text.startsWith("NumDevices 1\nDevice Description Velmar Plovan USB\n"
                                 "Serial Number PLV-SIM-0001\nQ length = 33\n"
                                 "@Plovan sim firmware 3.09 ready\n"),
                 text.constData());

        QCOMPARE(run(unit + QStringList{"usb", "send", "=v"}, &text), 0);
        QVERIFY2(text.startsWith("Q length = 33\n@Plovan sim firmware 3.09 ready\n"), text.constData());
        QCOMPARE(run(unit + QStringList{"usb", "list"}, &text), 0);
        QVERIFY2(text.startsWith("0\tVelmar Plovan USB\tPLV-SIM-0001\n"), text.constData());
    }

    void usbFailuresGiveStatus1AndBadInputStatus2()
    {
        QByteArray text;
        QCOMPARE(run({"--usb-device", "none", "usb", "test"}, &text), 1);
        QVERIFY(text.startsWith("FT_GetNumDevices failed\n"));
        QCOMPARE(run({"--usb-device", "none", "usb", "list"}), 1);
        QVERIFY(lastError.contains("USB is switched off"));

        startSim({"--usb-fault", "unplug:1"});
        QCOMPARE(run({"--port", port, "--usb-device", "sim", "usb", "test"}, &text), 1);
        QVERIFY2(text.contains("(the USB device was unplugged)"), text.constData());
        startSim();

        QCOMPARE(run({"--sim", "usb", "send", "=v\x01"}), 2);
        QVERIFY(lastError.contains("printable"));
        QCOMPARE(run({"--usb-device", "bogus", "usb", "test"}), 2);
        QVERIFY(lastError.contains("bogus"));
    }

    void checkReadsAnImageFileWithoutAUnit()
    {
        const QString sound = settings.filePath("sound.plv");
        writeFile(sound, "00002\r\n012345678\r\n0ABCDEF01\r\n");
        QByteArray text;
        QCOMPARE(run({"check", sound}, &text), 0);
        QCOMPARE(text, QByteArray());

        const QString bad = settings.filePath("bad.plv");
        writeFile(bad, "00003\r\n12345678\r\n");
        QCOMPARE(run({"check", bad}, &text), 2);
        QCOMPARE(QString::fromLocal8Bit(text),
                 bad + ": line 2: record 1 \"12345678\" has 8 digits, not 9\n" + bad +
                     ": the header announces 3 records, the file ends after 1\n");

        QCOMPARE(run({"check", settings.filePath("none.plv")}), 2);
        QVERIFY(lastError.contains("cannot be read"));
    }

    // --- table loads ---

    void loadImageArrivesWhole()
    {
        QByteArray file = "00040\r\n";
        QStringList records;
        for (int i = 0; i < 64; ++i) {
            records << QStringLiteral("%1").arg(i * 4097, 9, 16, QLatin1Char('0')).toUpper();
            file += records.last().toLatin1() + "\r\n";
        }
        const QString path = settings.filePath("table.plv");
        writeFile(path, file);
        commandsSince(0);
        QByteArray text;
        QCOMPARE(run({"--port", port, "load", "image", path}, &text), 0);
        const LoadOutput load = splitResult(text);
        QCOMPARE(load.before, QByteArray("Sent OK!\n"));
        QCOMPARE(untimed(load.result), QString("image table.plv, serial, 64 of 64 records: Sent OK!"));
        // The unit logs each record it took, in order.
        QTest::qWait(50);
        QStringList taken;
        while (sim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
            if (line.startsWith("image line ")) taken << line.section(' ', 3, 3);
        }
        QCOMPARE(taken, records);
    }

    void loadImageOverUsbReachesTheSameUnit()
    {
        const QString path = settings.filePath("usb.plv");
        writeFile(path, "00002\r\n012345678\r\n0ABCDEF01\r\n");
        commandsSince(0);
        QByteArray text;
        QCOMPARE(run({"--port", port, "--usb-device", "sim", "load", "image", "--usb", path}, &text), 0);
        // The unit's replies are read over USB too: the verdict is the serial route's.
        QCOMPARE(untimed(splitResult(text).result), QString("image usb.plv, USB, 2 of 2 records: Sent OK!"));
        QTest::qWait(50);
        QStringList taken;
        while (sim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
            if (line.startsWith("image line ")) taken << line.section(' ', 3, 3);
        }
        QCOMPARE(taken, (QStringList{"012345678", "0ABCDEF01"}));
    }

    void loadImageRefusesABadFileAndReportsACrcError()
    {
        const QString bad = settings.filePath("short.plv");
        writeFile(bad, "00003\r\n012345678\r\n");
        const qsizetype mark = commandsSince(0).size();
        QCOMPARE(run({"--port", port, "load", "image", bad}), 2);
        QVERIFY(lastError.contains("the file ends after 1"));
        QCOMPARE(commandsSince(mark), QStringList{});

        startSim({"--fault", "crc-error:2"});
        const QString sound = settings.filePath("three.plv");
        writeFile(sound, "00003\r\n012345678\r\n012345678\r\n012345678\r\n");
        QByteArray text;
        QCOMPARE(run({"--port", port, "load", "image", sound}, &text), 1);
        const LoadOutput load = splitResult(text);
        QCOMPARE(load.before, QByteArray("CRC Error. File send aborted\nError!\n"));
        QCOMPARE(untimed(load.result),
                 QString("image three.plv, serial, 2 of 3 records: CRC error at record 2 of 3 "
                         "(the unit answered \"K\"); unit cleared"));
        // Commands only: the header and record lines are logged too.
        QCOMPARE(commandsSince(0).filter(QRegularExpression("^=")), (QStringList{"=L", "=C", "=C", "=C"}));
        startSim();
    }

    void rawAndMultichirpLoadsOverBothRoutes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("usb");
        QTest::addColumn<QByteArray>("printed");
        QTest::addColumn<QString>("result");
        QTest::newRow("raw") << "raw" << false << QByteArray("Sent OK!\n")
                             << "raw data.ird, serial, 3 of 3 records: Sent OK!";
        QTest::newRow("raw over USB")
            << "raw" << true << QByteArray("Sent OK!\n") << "raw data.ird, USB, 3 of 3 records: Sent OK!";
        QTest::newRow("multichirp")
            << "multichirp" << false << QByteArray()
            << "multichirp sweep.mcp, serial, 3 of 3 records: Sent; every record acknowledged";
        QTest::newRow("multichirp over USB") << "multichirp" << true << QByteArray()
                                             << "multichirp sweep.mcp, serial + USB, 3 of 3 records: Sent "
                                                "(the unit gives no verdict on this route)";
    }
    void rawAndMultichirpLoadsOverBothRoutes()
    {
        QFETCH(QString, kind);
        QFETCH(bool, usb);
        QFETCH(QByteArray, printed);
        QFETCH(QString, result);
        const bool chirp = kind == "multichirp";
        QStringList records;
        QByteArray file = chirp ? "003\r\n" : "00003\r\n";
        for (int i = 1; i <= 3; ++i) {
            records << QStringLiteral("%1").arg(i * 4099, chirp ? 36 : 28, 16, QLatin1Char('0')).toUpper();
            file += records.last().toLatin1() + "\r\n";
        }
        const QString path = settings.filePath(chirp ? "sweep.mcp" : "data.ird");
        writeFile(path, file);
        commandsSince(0);
        QStringList args{"--port", port};
        if (usb)
            args << "--usb-device"
                 << "sim";
        args << "load" << kind << path;
        if (usb) args << "--usb";
        QByteArray text;
        QCOMPARE(run(args, &text), 0);
        const LoadOutput load = splitResult(text);
        QCOMPARE(load.before, printed);
        QCOMPARE(untimed(load.result), result);
        QTest::qWait(50);
        QStringList taken;
        while (sim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
            if (line.startsWith(kind + " line ")) taken << line.section(' ', 3, 3);
        }
        QCOMPARE(taken, records);
    }

    void checkTellsTheKindByExtensionOrOption()
    {
        const QString raw = settings.filePath("short.ird");
        writeFile(raw, "00001\r\n012345678\r\n"); // an image record in a raw file
        QByteArray text;
        QCOMPARE(run({"check", raw}, &text), 2);
        QVERIFY2(text.contains("has 9 digits, not 28"), text.constData());
        QCOMPARE(run({"check", "--kind", "image", raw}, &text), 0);
        QCOMPARE(text, QByteArray());
        const QString unknown = settings.filePath("table.txt");
        writeFile(unknown, "00001\r\n012345678\r\n");
        QCOMPARE(run({"check", unknown}), 2);
        QVERIFY(lastError.contains("give --kind"));
        QCOMPARE(run({"check", "--kind", "lot", unknown}), 2);
    }

    void calibrationFilesFromTheCommandLine()
    {
        QByteArray file;
        for (int i = 0; i < 256; ++i)
            file += (i == 80 ? QByteArray("0FFF3FFF") : QByteArray("0FFF0000")) + "\r\n";
        const QString path = settings.filePath("t.cal");
        writeFile(path, file);
        QByteArray text;
        QCOMPARE(run({"cal", "show", path}, &text), 0);
        const QList<QByteArray> rows = text.split('\n');
        QCOMPARE(rows.size(), 257);
        QCOMPARE(rows[80].simplified(), QByteArray("80 48.83 0FFF 4095 3FFF 359"));
        QCOMPARE(rows[255].simplified(), QByteArray("255 155.64 0FFF 4095 0000 0"));

        QCOMPARE(run({"cal", "set", path, "5", "--amplitude", "800", "--phase", "12"}), 0);
        QCOMPARE(run({"cal", "show", path}, &text), 0);
        QCOMPARE(text.split('\n')[5].simplified(), QByteArray("5 3.05 0800 2048 0012 0"));
        QCOMPARE(run({"cal", "set", path, "5", "--amplitude", "1000"}), 2); // above 0FFF
        QCOMPARE(run({"cal", "set", path, "256", "--phase", "0"}), 2);
        QCOMPARE(run({"check", path}), 0);

        commandsSince(0);
        const qsizetype mark = commandsSince(0).size();
        QCOMPARE(run({"--port", port, "cal", "play", path, "80"}), 0);
        QCOMPARE(commandsSince(mark).mid(0, 4), (QStringList{"=D2844", "=D0045", "=D2884", "=D0085"}));

        QCOMPARE(run({"--port", port, "load", "lut", path}, &text), 0);
        QCOMPARE(splitResult(text).before, QByteArray("Sent OK!\n"));
        QCOMPARE(untimed(splitResult(text).result), QString("LUT t.cal, serial, 256 of 256 lines: Sent OK!"));
        QStringList taken;
        QTest::qWait(50);
        while (sim.canReadLine()) {
            const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
            if (line.startsWith("LUT line ")) taken << line.section(' ', 3, 3);
        }
        QCOMPARE(taken.size(), 256);
        QCOMPARE(taken[0], QString("0FFF00001B8D"));

        const QString shortFile = settings.filePath("short.cal");
        writeFile(shortFile, "0FFF0000\r\n");
        QCOMPARE(run({"--port", port, "load", "lut", shortFile}), 2);
        QVERIFY(lastError.contains("1 line: all are sent; the unit's table has 256"));
    }

    // "cal set" changes the bytes of its row and nothing else, or nothing.
    void calSetKeepsTheFileWhole_data()
    {
        QByteArray sound;
        for (int i = 0; i < 256; ++i)
            sound += QByteArray("0FFF0000") + (i % 2 ? "\n" : "\r\n");
        QByteArray set = sound;
        set.replace(10 * 9 + 5, 8, "0ABC0000"); // row 10, after five LF and five CR LF lines
        const auto withRow = [&sound](int row, const QByteArray& line) {
            QByteArray f = sound;
            const qsizetype at = row / 2 * 19 + (row % 2) * 10;
            return f.replace(at, 8, line);
        };
        const QByteArray crOnly = "0FFF0000\r";
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("after"); // empty: the file as it was
        QTest::addColumn<QString>("message");
        QTest::newRow("mixed line ends kept") << sound << qint64(0) << 0 << set << "";
        QTest::newRow("only the row's word") << withRow(10, "00XY0000") << qint64(0) << 0 << set << "";
        QTest::newRow("CR line ends")
            << crOnly.repeated(256) << qint64(0) << 0 << crOnly.repeated(256).replace(90, 4, "0ABC") << "";
        QTest::newRow("one line") << crOnly << qint64(0) << 2 << QByteArray() << "File has 1 of 256 lines";
        QTest::newRow("binary") << QByteArray("\x01\xFF\0\x02", 4) << qint64(0) << 2 << QByteArray()
                                << "\\x01\\xFF\\x00\\x02";
        QTest::newRow("another row not hex") << withRow(3, "007001C0EXTRA") << qint64(0) << 2 << QByteArray()
                                             << "Row 3 (line 4) \"007001C0EXTRA\"";
        QTest::newRow("byte-order mark")
            << "\xEF\xBB\xBF" + sound << qint64(0) << 2 << QByteArray() << "byte-order mark";
        QTest::newRow("target row with a bad other word")
            << withRow(10, "0FFFXYZW") << qint64(0) << 2 << QByteArray() << "give both";
        QTest::newRow("disk full") << sound << qint64(1024) << 1 << QByteArray() << "File too large";
        QTest::newRow("folder") << QByteArray("<dir>") << qint64(0) << 2 << QByteArray()
                                << "it is a folder, not a file";
    }
    void calSetKeepsTheFileWhole()
    {
        QFETCH(QByteArray, file);
        QFETCH(qint64, limit);
        QFETCH(int, status);
        QFETCH(QByteArray, after);
        QFETCH(QString, message);
        const QString path = settings.filePath("set.cal");
        QFile::remove(path);
        QDir(settings.path()).rmdir("set.cal");
        if (file == "<dir>")
            QVERIFY(QDir(settings.path()).mkdir("set.cal"));
        else
            writeFile(path, file);
        fileSizeLimit = limit;
        const int got = run({"cal", "set", path, "10", "--amplitude", "0ABC"});
        fileSizeLimit = 0;
        QCOMPARE(got, status);
        QVERIFY2(lastError.contains(message), qPrintable(lastError));
        if (file == "<dir>") return;
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), after.isEmpty() ? file : after);
        QCOMPARE(QDir(settings.path()).entryList({"set.cal*"}), QStringList{"set.cal"});
    }

    void vswrSweepsIntoAFile()
    {
        const QString path = settings.filePath("out.swr");
        QByteArray text;
        QCOMPARE(run({"--port", port, "vswr", path}, &text), 0);
        const QList<QByteArray> printed = text.trimmed().split('\n');
        QCOMPARE(printed.size(), 24);
        QVERIFY(printed.first().startsWith("48 "));
        QVERIFY(printed.last().startsWith("94 "));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray file = f.readAll();
        QVERIFY(file.startsWith("Velmar Plovan VSWR\r\nFreq\tFwd4\t"));
        QCOMPARE(file.count('\n'), 26);
        f.close();
        QCOMPARE(run({"--port", port, "vswr", path}), 2); // exists
        QCOMPARE(run({"--port", port, "vswr", ""}), 2);
        QCOMPARE(lastError, QString("plovanctl: no file name given\n"));
        QCOMPARE(run({"--port", port, "vswr", path, "--replace"}), 0);
        startSim({"--fault", "answer:30"});
        QCOMPARE(run({"--port", port, "--ack-timeout", "300", "vswr", path, "--replace"}), 1);
        // There is no "Next >>" on the command line: a failed step ends the run.
        QVERIFY2(lastError.contains("- not recorded; sweep stopped"), qPrintable(lastError));
        QVERIFY(!lastError.contains("Next >>"));
        startSim();
    }

    void aUnitFallingSilentMidLoadTimesOutAndIsCleared()
    {
        // "=L", the header and two records are answered; the third record is not.
        startSim({"--fault", "answer:4"});
        const QString path = settings.filePath("five.plv");
        writeFile(path, "00005\r\n000000001\r\n000000002\r\n000000003\r\n000000004\r\n000000005\r\n");
        QByteArray text;
        QCOMPARE(run({"--port", port, "--ack-timeout", "300", "load", "image", path}, &text), 1);
        const LoadOutput load = splitResult(text);
        QCOMPARE(load.before, QByteArray("No reply from unit to record 3 of 5\n"));
        QCOMPARE(
            untimed(load.result),
            QString(
                "image five.plv, serial, 3 of 5 records: No reply from unit to record 3 of 5; unit cleared"));
        QCOMPARE(commandsSince(0).filter(QRegularExpression("^=")), (QStringList{"=L", "=C", "=C", "=C"}));
        startSim();
    }

    // --- loads that never lie (issue 25) ---

    // An image file of `records` records in the settings folder.
    QString imageFile(const QString& name, int records)
    {
        QByteArray file = QByteArray::number(records, 16).rightJustified(5, '0').toUpper() + "\r\n";
        for (int i = 0; i < records; ++i)
            file += QByteArray::number(i, 16).rightJustified(9, '0').toUpper() + "\r\n";
        const QString path = settings.filePath(name);
        writeFile(path, file);
        return path;
    }
    // Sends `signo` to the run, which must still be running (a pid of 0
    // would signal the whole process group, this test among it).
    static void signalRun(QProcess& ctl, int signo)
    {
        QCOMPARE(ctl.state(), QProcess::Running);
        QVERIFY(ctl.processId() > 0);
        ::kill(static_cast<pid_t>(ctl.processId()), signo);
    }
    // The "=" commands the unit took since `from`.
    QStringList unitCommandsSince(qsizetype from)
    {
        return commandsSince(from).filter(QRegularExpression("^="));
    }
    // Starts plovanctl with `args` in the background.
    void startRun(QProcess& ctl, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PLOVAN_SETTINGS_DIR", settings.path());
        ctl.setProcessEnvironment(env);
        ctl.start(qEnvironmentVariable("PLOVANCTL_BIN"), args);
        QVERIFY(ctl.waitForStarted());
    }

    // 1: an "E" 400 ms late to the header is heard on both routes, within
    // the reply time-out, and no record follows it.
    void aLateRefusalOfTheHeaderIsHeard_data()
    {
        QTest::addColumn<QStringList>("route");
        QTest::addColumn<QString>("name");
        QTest::newRow("serial") << QStringList{} << "serial";
        QTest::newRow("USB") << QStringList{"--usb-device", "sim", "--usb"} << "USB";
    }
    void aLateRefusalOfTheHeaderIsHeard()
    {
        QFETCH(QStringList, route);
        QFETCH(QString, name);
        startSim({"--fault", "too-big", "--delay", "400"});
        const QString path = imageFile("refused.plv", 64);
        QByteArray text;
        QCOMPARE(run(QStringList{"--port", port, "load", "image", path} + route, &text), 1);
        const LoadOutput load = splitResult(text);
        QCOMPARE(load.before, QByteArray("Error. File too big. (the file has 64 records)\n"));
        QCOMPARE(untimed(load.result),
                 "image refused.plv, " + name +
                     ", 0 of 64 records: Error. File too big: the unit refused the header announcing 64 "
                     "records (\"E\")");
        QCOMPARE(commandsSince(0).filter("image line"), QStringList{});
        startSim();
    }

    // 2: a USB write or read that fails ends the load with status 1 and one
    // result line; the unit, mid-load, is cleared over the serial port.
    void usbFailuresEndTheLoadAndClearTheUnit_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("result"); // the result line's verdict, untimed
        QTest::addColumn<bool>("cleared");
        QTest::newRow("image, every write fails")
            << "write-fails" << QStringList{"load", "image", "--usb", "IMAGE"}
            << "USB write failed (the simulated USB device failed the write): send stopped at record 0 of "
               "10; "
               "unit cleared"
            << true;
        QTest::newRow("raw, unplugged after 3 writes")
            << "unplug:3" << QStringList{"load", "raw", "--usb", "RAW"}
            << "send stopped at record 1 of 3; unit cleared" << true;
        QTest::newRow("multichirp, unplugged after 2 records")
            << "unplug:2" << QStringList{"load", "multichirp", "--usb", "CHIRP"}
            << "(the USB device was unplugged): send stopped at record 2 of 3" << false;
        QTest::newRow("batch, unplugged after 7 writes")
            << "unplug:7" << QStringList{"batch", "BATCH", "--usb", "--start", "0", "--end", "0"}
            << "image 2.plv, USB, 0 of 10 records: no USB device attached: nothing sent" << true;
    }
    void usbFailuresEndTheLoadAndClearTheUnit()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, args);
        QFETCH(QString, result);
        QFETCH(bool, cleared);
        QTemporaryDir batch;
        const QString image = imageFile("usbfail.plv", 10);
        QFile::copy(image, batch.filePath("1.plv"));
        QFile::copy(image, batch.filePath("2.plv"));
        const QString raw = settings.filePath("usbfail.ird");
        writeFile(raw, "00003\r\n" + QByteArray(28, '1') + "\r\n" + QByteArray(28, '2') + "\r\n" +
                           QByteArray(28, '3') + "\r\n");
        const QString chirp = settings.filePath("usbfail.mcp");
        writeFile(chirp, "003\r\n" + QByteArray(36, '1') + "\r\n" + QByteArray(36, '2') + "\r\n" +
                             QByteArray(36, '3') + "\r\n");
        args.replaceInStrings(QRegularExpression("^IMAGE$"), image);
        args.replaceInStrings(QRegularExpression("^RAW$"), raw);
        args.replaceInStrings(QRegularExpression("^CHIRP$"), chirp);
        args.replaceInStrings(QRegularExpression("^BATCH$"), batch.path());
        startSim({"--usb-fault", fault});
        QByteArray text;
        QCOMPARE(run(QStringList{"--port", port, "--usb-device", "sim"} + args, &text), 1);
        const QString last = untimed(splitResult(text).result);
        QVERIFY2(last.endsWith(result), qPrintable(QString::fromLocal8Bit(text)));
        QVERIFY2(!text.contains("Write Failed") && !text.contains("Open Failed"), text.constData());
        const QStringList commands = unitCommandsSince(0);
        QCOMPARE(commands.count("=C") >= 3, cleared);
        if (cleared) QVERIFY2(text.contains("; unit cleared"), text.constData());
        startSim();
    }

    // 4: no USB device: status 1 and one line.
    void noUsbDeviceIsOneLine()
    {
        const QString path = imageFile("nodevice.plv", 2);
        QByteArray text;
        QCOMPARE(run({"--port", port, "--usb-device", "none", "load", "image", "--usb", path}, &text), 1);
        QCOMPARE(untimed(QString::fromLocal8Bit(text)),
                 QString("image nodevice.plv, USB, 0 of 2 records: no USB device attached: nothing sent\n"));
        QCOMPARE(lastError, QString());
    }

    // 3: a stop signal stops a load at once, clears the unit, says where it
    // stopped in the result line and exits 130 or 143; a reply wait of for
    // ever is no exception, nor is a USB load.
    void aStopSignalStopsTheLoadAndClearsTheUnit_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("signo");
        QTest::addColumn<QString>("stopped"); // how the result line ends, as a pattern
        QTest::newRow("SIGINT, a 200 ms unit")
            << QStringList{"--delay", "200"} << QStringList{"load", "image", "LONG"} << SIGINT
            << "stopped by SIGINT at record [1-9][0-9]* of 100; unit cleared";
        QTest::newRow("SIGTERM, a silent unit waited for ever")
            << QStringList{"--fault", "silent"} << QStringList{"--ack-timeout", "0", "load", "image", "LONG"}
            << SIGTERM << "stopped by SIGTERM at record 0 of 100; unit cleared";
        QTest::newRow("SIGINT, a USB load")
            << QStringList{"--delay", "5"}
            << QStringList{"--usb-device", "sim", "load", "image", "--usb", "HUGE"} << SIGINT
            << "stopped by SIGINT at record [0-9]+ of 4096; unit cleared";
    }
    void aStopSignalStopsTheLoadAndClearsTheUnit()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        QFETCH(int, signo);
        QFETCH(QString, stopped);
        startSim(simArgs);
        args.replaceInStrings(QRegularExpression("^LONG$"), imageFile("long.plv", 100));
        args.replaceInStrings(QRegularExpression("^HUGE$"), imageFile("huge.plv", 4096));
        QProcess ctl;
        startRun(ctl, QStringList{"--port", port} + args);
        QTRY_VERIFY_WITH_TIMEOUT(loggedSoFar().filter("image header").size() == 1, 5000);
        QTest::qWait(600);
        QElapsedTimer clock;
        clock.start();
        signalRun(ctl, signo);
        // The abort sequence's two pauses of 3.175 s, and no more.
        QVERIFY(ctl.waitForFinished(9000));
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ctl.exitCode(), 128 + signo);
        const QString last = untimed(splitResult(ctl.readAllStandardOutput()).result);
        QVERIFY2(QRegularExpression(stopped + "$").match(last).hasMatch(), qPrintable(last));
        QCOMPARE(unitCommandsSince(0).mid(1), (QStringList{"=C", "=C", "=C"}));
        QVERIFY(commandsSince(0).filter("(load complete)").isEmpty());
        startSim();
    }

    // 3: a second signal ends the run at once, the abort sequence or not.
    void aSecondSignalEndsTheRunAtOnce()
    {
        startSim({"--fault", "silent"});
        QProcess ctl;
        startRun(ctl, {"--port", port, "--ack-timeout", "0", "load", "image", imageFile("twice.plv", 10)});
        QTRY_VERIFY_WITH_TIMEOUT(loggedSoFar().filter("image header").size() == 1, 5000);
        signalRun(ctl, SIGINT);
        QTest::qWait(300);
        signalRun(ctl, SIGINT); // while it clears the unit
        QVERIFY(ctl.waitForFinished(1500));
        startSim();
    }

    // 3: the VSWR sweep's wait of for ever ends on a signal too.
    void vswrStopsOnASignalWhileWaitingForEver()
    {
        startSim({"--fault", "silent"});
        QProcess ctl;
        startRun(ctl,
                 {"--port", port, "--ack-timeout", "0", "vswr", settings.filePath("never.swr"), "--replace"});
        QTRY_VERIFY_WITH_TIMEOUT(!commandsSince(0).isEmpty(), 5000);
        signalRun(ctl, SIGINT);
        QVERIFY(ctl.waitForFinished(3000));
        QCOMPARE(ctl.exitCode(), 130);
        startSim();
    }

    // 1, 3: what cannot be sent is refused before the port is opened, and
    // nothing reaches the unit: a FIFO (which would hold the run in its
    // open), a folder, an empty file, a header without a count, an empty
    // batch folder.
    void filesThatCannotBeSentAreRefusedBeforeAnything_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        QTest::newRow("FIFO image") << QStringList{"load", "image", "FIFO", "--force"}
                                    << "not a regular file";
        QTest::newRow("FIFO LUT") << QStringList{"load", "lut", "FIFO", "--force"} << "not a regular file";
        QTest::newRow("folder LUT") << QStringList{"load", "lut", "FOLDER", "--force"}
                                    << "it is a folder, not a file";
        QTest::newRow("empty image") << QStringList{"load", "image", "EMPTY", "--force"}
                                     << "the file is empty, it has no header line: nothing sent";
        QTest::newRow("empty LUT") << QStringList{"load", "lut", "EMPTY", "--force"}
                                   << "the file is empty: nothing sent";
        QTest::newRow("header with a blank") << QStringList{"load", "image", "BLANK", "--force"}
                                             << "has no record count that can be read: nothing sent";
        QTest::newRow("empty batch folder")
            << QStringList{"batch", "FOLDER"} << "has no .plv files";
    }
    void filesThatCannotBeSentAreRefusedBeforeAnything()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        QTemporaryDir folder;
        const QString fifo = folder.filePath("pipe.plv");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QString empty = folder.filePath("empty.cal");
        writeFile(empty, "");
        const QString blank = folder.filePath("blank.plv");
        writeFile(blank, "00003 \r\n000000001\r\n000000002\r\n000000003\r\n");
        args.replaceInStrings(QRegularExpression("^FIFO$"), fifo);
        args.replaceInStrings(QRegularExpression("^FOLDER$"), folder.filePath("sub"));
        args.replaceInStrings(QRegularExpression("^EMPTY$"), empty);
        args.replaceInStrings(QRegularExpression("^BLANK$"), blank);
        QVERIFY(QDir(folder.path()).mkdir("sub"));
        const qsizetype mark = commandsSince(0).size();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(run(QStringList{"--port", port} + args), 2);
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY2(lastError.contains(said), qPrintable(lastError));
        QCOMPARE(commandsSince(mark), QStringList{});
    }

    void headerWritersSendTheirWords()
    {
        const QStringList panel = linesFor({"header", "--word", "2=00de"});
        QCOMPARE(panel.size(), 29);
        QCOMPARE(panel.mid(0, 3), (QStringList{"=C", "=H0000010000", "=H00000200DE"}));
        QCOMPARE(panel.mid(15, 2), (QStringList{"=H1000000000", "=H10000100DE"}));
        QCOMPARE(panel.last(), QString("=H10000D0000"));

        const QStringList blocks = linesFor({"header-blocks", "5", "3"});
        QCOMPARE(blocks.size(), 29);
        QCOMPARE(blocks[1], QString("=H0500010000"));
        QCOMPARE(blocks.last(), QString("=H06000E0000"));

        const QStringList extra = linesFor({"extra-header"});
        QCOMPARE(extra.size(), 57);
        QCOMPARE(extra[1], QString("=H00000F4184"));
        QCOMPARE(extra.last(), QString("=H0000460000"));
    }

    void batchSendsTheNumberedFilesAfterTheHeaderBlocks()
    {
        QTemporaryDir folder;
        const QByteArray image = "00002\r\n012345678\r\n0ABCDEF01\r\n";
        for (const char* name : {"1.plv", "2.plv", "3.plv"})
            writeFile(folder.filePath(name), image);
        QByteArray text;
        const qsizetype mark = commandsSince(0).size();
        QCOMPARE(run({"--port", port, "batch", folder.path(), "--start", "1", "--end", "2"}, &text), 0);
        // Each file's name, its verdict and its result line.
        static const QRegularExpression time(", [0-9]+\\.[0-9] s: ");
        QCOMPARE(QString::fromLocal8Bit(text).replace(time, ": "),
                 QString("1.plv\nSent OK!\nimage 1.plv, serial, 2 of 2 records: Sent OK!\n"
                         "2.plv\nSent OK!\nimage 2.plv, serial, 2 of 2 records: Sent OK!\n"
                         "3.plv\nSent OK!\nimage 3.plv, serial, 2 of 2 records: Sent OK!\n"));
        const QStringList commands = commandsSince(mark).filter(QRegularExpression("^="));
        QCOMPARE(commands.size(), 1 + 2 * 14 + 3);
        QCOMPARE(commands.mid(0, 2), (QStringList{"=C", "=H0100010000"}));
        QCOMPARE(commands.mid(29), (QStringList{"=L", "=L", "=L"}));

        // A file's name may be in capitals.
        QVERIFY(QFile::rename(folder.filePath("3.plv"), folder.filePath("3.PLV")));
        QCOMPARE(run({"--port", port, "batch", folder.path(), "--start", "1", "--end", "1"}, &text), 0);
        QVERIFY2(text.contains("3.PLV\nSent OK!\nimage 3.PLV, serial"), text.constData());

        // Every file is found and checked before the first header block: the
        // same findings as the window's, nothing sent.
        QVERIFY(QFile::rename(folder.filePath("2.plv"), folder.filePath("two.plv")));
        writeFile(folder.filePath("1.plv"), "00001\r\nZZZZZZZZZ\r\n");
        const struct {
            QStringList extra;
            int status;
            const char* finding;
        } refusals[] = {
            {{}, 2, "2.plv is missing (the batch sends 1.plv to 3.plv)"},
            {{"--force"}, 2, "2.plv is missing"}, // a gap is never forced
        };
        for (const auto& r : refusals) {
            const qsizetype again = commandsSince(0).size();
            QCOMPARE(run(QStringList{"--port", port, "batch", folder.path()} + r.extra, &text), r.status);
            QVERIFY2(lastError.contains(r.finding), qPrintable(lastError));
            QVERIFY2(lastError.contains("1.plv: line 2"), qPrintable(lastError));
            QCOMPARE(commandsSince(again), QStringList{});
        }
    }

    // "cal flatten" on the shipped synthetic examples: what it lists, what
    // it refuses, and the same bytes whatever the locale.
    void calFlatten_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // on stdout for status 0, else on stderr
        const QString ex = QStringLiteral(PLOVAN_EXAMPLES "/calibration/");
        const QStringList cal{"--cal", ex + "old.cal"};
        QTest::newRow("one column") << QStringList{ex + "measured.csv"} + cal << 0
                                    << "changed: 65 rows (99-163)\nkept, outside the measured band 60.00-100.00 "
                                       "MHz: 191 rows (0-98, 164-255)";
        QTest::newRow("three words, a level the edges cannot reach")
            << QStringList{ex + "measured-words.csv", "--target", "1.5"} + cal << 0
            << "clipped to 0FFF (the target needs more): 20 rows (99-108, 154-163)";
        QTest::newRow("a finding") << QStringList{settings.filePath("bad.csv")} + cal << 2
                                   << "bad.csv: line 3: level \"1,5\" is not a number";
        QTest::newRow("a shape and a level") << QStringList{ex + "measured.csv", "--target", "2", "--shape", "s"} + cal
                                             << 2 << "--shape takes --target max";
    }
    void calFlatten()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        writeFile(settings.filePath("bad.csv"), "MHz;level\n60;1\n62;1,5\n");
        const QString out = settings.filePath("new.cal");
        QFile::remove(out);
        args << "--out" << out;
        QByteArray text;
        QCOMPARE(run(QStringList{"cal", "flatten"} + args, &text), status);
        QVERIFY2((status ? lastError : QString::fromUtf8(text)).contains(said), qPrintable(text + lastError));
        QCOMPARE(QFileInfo::exists(out), status == 0);
        if (status) return;
        QFile written(out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        QCOMPARE(bytes.size(), 256 * 10);
        // An existing table is replaced only when asked; then with the same bytes in any locale.
        QCOMPARE(run(QStringList{"cal", "flatten"} + args, &text, "de_DE.UTF-8"), 2);
        QVERIFY(lastError.contains("exists; --replace replaces it"));
        QCOMPARE(run(QStringList{"cal", "flatten", "--replace"} + args, &text, "de_DE.UTF-8"), 0);
        QVERIFY(written.seek(0));
        QCOMPARE(written.readAll(), bytes);
    }
};

QTEST_GUILESS_MAIN(TestPlovanctl)
#include "tst_plovanctl.moc"
