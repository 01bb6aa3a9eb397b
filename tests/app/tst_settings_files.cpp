// The settings files as an operator meets them: first run, hand edits good
// and bad, saving at exit (also when the disk refuses), the folder lookup,
// the start-up USB question, and ending the program by a signal.
#include "app_signals.h"
#include "settings_files.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <csignal>
#include <string>
#include <sys/resource.h>

using namespace plovan;

namespace {

const QByteArray kComment =
    "Max and min Plovan Frequency. You can edit by hand but please use sensible values!";

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    file.write(bytes);
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Restores an environment variable, set or unset, when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), value_(qgetenv(name))
    {
    }
    ~EnvGuard()
    {
        if (wasSet_)
            qputenv(name_, value_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool wasSet_;
    QByteArray value_;
};

} // namespace

class TestSettingsFiles : public QObject {
    Q_OBJECT

    QTemporaryDir* tmp = nullptr;
    QString dir;
    QString file(const char* name) const { return QDir(dir).filePath(QLatin1String(name)); }

private slots:
    void init()
    {
        tmp = new QTemporaryDir;
        QVERIFY(tmp->isValid());
        dir = tmp->path();
    }
    void cleanup()
    {
        delete tmp;
        tmp = nullptr;
    }

    // --- reading ---

    void firstRunUsesStartupDefaultsAndExitCreatesBothFiles()
    {
        const QString folder = QDir(dir).filePath(QStringLiteral("config/velmar"));
        const StartupSettings s = LoadSettings(folder);
        QVERIFY(!s.terminalText.has_value());
        QVERIFY(s.notes.isEmpty());

        // The folder does not exist yet: saving creates it. The defaults show in the bytes.
        QCOMPARE(saveSettings(folder, s.port, s.MaxFrequency, s.MinFrequency), QString());
        QCOMPARE(readBytes(QDir(folder).filePath("portset.txt")), QByteArray("2\r\n9600\r\n8\r\n1\r\n"));
        QCOMPARE(readBytes(QDir(folder).filePath("maxmin.txt")), "140\r\n80\r\n" + kComment + "\r\n");
        QVERIFY(!QFile::exists(QDir(folder).filePath("portdev.txt")));

        QCOMPARE(LoadSettings(folder).terminalText,
                 std::optional<QString>("Port settings: Port 2, 9600 baud, 8 databits,"));
    }

    void terminalTextFollowsThePortFile_data()
    {
        QTest::addColumn<QByteArray>("portset");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("no parity ends the line")
            << QByteArray("1\r\n9600\r\n8\r\n0\r\n")
            << QString("Port settings: Port 1, 9600 baud, 8 databits, no Parity\r\n") << QStringList{};
        QTest::newRow("parity 4 leaves the line open")
            << QByteArray("3\r\n19200\r\n7\r\n4\r\n")
            << QString("Port settings: Port 3, 19200 baud, 7 databits,") << QStringList{};
        QTest::newRow("LF line ends, none after the last")
            << QByteArray("1\n4800\n8\n0")
            << QString("Port settings: Port 1, 4800 baud, 8 databits, no Parity\r\n") << QStringList{};
        QTest::newRow("CR line ends")
            << QByteArray("1\r4800\r8\r0\r")
            << QString("Port settings: Port 1, 4800 baud, 8 databits, no Parity\r\n") << QStringList{};
        QTest::newRow("editor byte-order mark and spaces")
            << QByteArray("\xEF\xBB\xBF 1 \r\n9600\t\r\n8\r\n0\r\n")
            << QString("Port settings: Port 1, 9600 baud, 8 databits, no Parity\r\n")
            << QStringList{"portset.txt: the file starts with a UTF-8 byte-order mark; it is skipped"};
    }
    void terminalTextFollowsThePortFile()
    {
        QFETCH(QByteArray, portset);
        QFETCH(QString, text);
        QFETCH(QStringList, notes);
        writeBytes(file("portset.txt"), portset);
        const StartupSettings s = LoadSettings(dir);
        QCOMPARE(s.terminalText, std::optional<QString>(text));
        QCOMPARE(s.notes, notes);
    }

    void badPortLinesFallBackOneByOne_data()
    {
        QTest::addColumn<QByteArray>("portset");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("parity");
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("baud not a number")
            << QByteArray("1\r\nabc\r\n7\r\n0\r\n") << 1 << 9600 << 7 << 0
            << QStringList{"portset.txt line 2: \"abc\" is not a number - using 9600"};
        QTest::newRow("short file") << QByteArray("3\r\n") << 3 << 9600 << 8 << 1
                                    << QStringList{"portset.txt line 2 is missing - using 9600",
                                                   "portset.txt line 3 is missing - using 8",
                                                   "portset.txt line 4 is missing - using 1"};
        QTest::newRow("out of range")
            << QByteArray("0\r\n-300\r\n9\r\n5\r\n") << 2 << 9600 << 8 << 1
            << QStringList{"portset.txt line 1: \"0\" is not a valid port number (1-256) - using 2",
                           "portset.txt line 2: \"-300\" is not a valid baud rate - using 9600",
                           "portset.txt line 3: \"9\" is not a valid number of data bits (5-8) - using 8",
                           "portset.txt line 4: \"5\" is not a valid parity code (0-4) - using 1"};
        QTest::newRow("too big for any integer")
            << QByteArray("1\r\n99999999999999999999\r\n8\r\n0\r\n") << 1 << 9600 << 8 << 0
            << QStringList{
                   "portset.txt line 2: \"99999999999999999999\" is not a valid baud rate - using 9600"};
        QTest::newRow("fraction and trailing text")
            << QByteArray("1\r\n9600.5\r\n8 bits\r\n0\r\n") << 1 << 9600 << 8 << 0
            << QStringList{"portset.txt line 2: \"9600.5\" is not a number - using 9600",
                           "portset.txt line 3: \"8 bits\" is not a number - using 8"};
    }
    void badPortLinesFallBackOneByOne()
    {
        QFETCH(QByteArray, portset);
        QFETCH(QStringList, notes);
        writeBytes(file("portset.txt"), portset);
        writeBytes(file("maxmin.txt"), "120\r\n60\r\n");
        const StartupSettings s = LoadSettings(dir);
        QTEST(s.port.portNumber, "port");
        QTEST(s.port.baud, "baud");
        QTEST(s.port.dataBits, "dataBits");
        QTEST(s.port.parity, "parity");
        QCOMPARE(s.notes, notes);
        // A bad port file still counts as read: the limits come from their file.
        QCOMPARE(s.MaxFrequency, 120);
        QCOMPARE(s.MinFrequency, 60);
        // The terminal shows the values in use.
        QVERIFY(s.terminalText->startsWith(QStringLiteral("Port settings: Port %1, %2 baud, %3 databits,")
                                               .arg(s.port.portNumber)
                                               .arg(s.port.baud)
                                               .arg(s.port.dataBits)));
    }

    void limitsFile_data()
    {
        QTest::addColumn<QByteArray>("maxmin");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("min");
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("only the two numbers") << QByteArray("150\r\n20\r\n") << 150 << 20 << QStringList{};
        QTest::newRow("garbage minimum")
            << QByteArray("150\r\nlow\r\n") << 150 << 30
            << QStringList{"maxmin.txt line 2: \"low\" is not a number - using 30"};
        QTest::newRow("beyond 16 bits")
            << QByteArray("40000\r\n20\r\n") << 130 << 20
            << QStringList{
                   "maxmin.txt line 1: \"40000\" is not a valid frequency limit (0-32767 MHz) - using 130"};
        QTest::newRow("maximum below minimum")
            << QByteArray("20\r\n50\r\n") << 130 << 30
            << QStringList{"maxmin.txt: maximum 20 MHz is below minimum 50 MHz - using 130 and 30 MHz"};
        // A fallback for one line can collide with the other line's value.
        QTest::newRow("fallback below minimum")
            << QByteArray("x\r\n200\r\n") << 130 << 30
            << QStringList{"maxmin.txt line 1: \"x\" is not a number - using 130",
                           "maxmin.txt: maximum 130 MHz is below minimum 200 MHz - using 130 and 30 MHz"};
    }
    void limitsFile()
    {
        QFETCH(QByteArray, maxmin);
        QFETCH(QStringList, notes);
        writeBytes(file("portset.txt"), "1\r\n9600\r\n8\r\n0\r\n");
        writeBytes(file("maxmin.txt"), maxmin);
        const StartupSettings s = LoadSettings(dir);
        QTEST(s.MaxFrequency, "max");
        QTEST(s.MinFrequency, "min");
        QCOMPARE(s.notes, notes);
    }

    void missingLimitsFileGives130And30ButOnlyAfterThePortFile()
    {
        writeBytes(file("portset.txt"), "1\r\n9600\r\n8\r\n0\r\n");
        StartupSettings s = LoadSettings(dir);
        QCOMPARE(s.MaxFrequency, 130);
        QCOMPARE(s.MinFrequency, 30);
        QVERIFY(s.notes.isEmpty());

        QVERIFY(QFile::remove(file("portset.txt")));
        writeBytes(file("maxmin.txt"), "100\r\n50\r\n");
        s = LoadSettings(dir);
        QCOMPARE(s.MaxFrequency, 140);
        QCOMPARE(s.MinFrequency, 80);
    }

    void unreadableFilesCountAsMissingButSaySo()
    {
        // A directory in the file's place cannot be opened, even by root.
        QVERIFY(QDir(dir).mkdir("portset.txt"));
        writeBytes(file("maxmin.txt"), "100\r\n50\r\n");
        StartupSettings s = LoadSettings(dir);
        QCOMPARE(s.port, PortSettings{});
        QCOMPARE(s.MaxFrequency, 140);
        QVERIFY(!s.terminalText.has_value());
        QCOMPARE(s.notes.size(), 1);
        QVERIFY2(s.notes[0].startsWith("portset.txt could not be read (") &&
                     s.notes[0].endsWith(") - using port 2, 9600 baud, 8 databits, parity 1"),
                 qPrintable(s.notes[0]));

        QVERIFY(QDir(dir).rmdir("portset.txt"));
        writeBytes(file("portset.txt"), "1\r\n9600\r\n8\r\n0\r\n");
        QVERIFY(QFile::remove(file("maxmin.txt")));
        QVERIFY(QDir(dir).mkdir("maxmin.txt"));
        s = LoadSettings(dir);
        QCOMPARE(s.MaxFrequency, 130);
        QCOMPARE(s.MinFrequency, 30);
        QCOMPARE(s.notes.size(), 1);
        QVERIFY2(s.notes[0].startsWith("maxmin.txt could not be read ("), qPrintable(s.notes[0]));
    }

    // --- writing ---

    void savedValuesComeBackUnchanged()
    {
        const PortSettings port{1, 115200, 7, ParityEven, {}};
        QCOMPARE(saveSettings(dir, port, 270, 5), QString());
        QCOMPARE(readBytes(file("portset.txt")), QByteArray("1\r\n115200\r\n7\r\n2\r\n"));
        const StartupSettings s = LoadSettings(dir);
        QCOMPARE(s.port, port);
        QCOMPARE(s.MaxFrequency, 270);
        QCOMPARE(s.MinFrequency, 5);
        QVERIFY(s.notes.isEmpty());

        // A hand-edited limits file without the comment gets it back.
        writeBytes(file("maxmin.txt"), "150\n20\n");
        const StartupSettings edited = LoadSettings(dir);
        QCOMPARE(saveSettings(dir, edited.port, edited.MaxFrequency, edited.MinFrequency), QString());
        QCOMPARE(readBytes(file("maxmin.txt")), "150\r\n20\r\n" + kComment + "\r\n");
    }

    void devicePathSurvivesNextToTheFourLines()
    {
        PortSettings port{3, 38400, 8, ParityNone, "/dev/ttyUSB0"};
        QCOMPARE(saveSettings(dir, port, 140, 80), QString());
        QCOMPARE(readBytes(file("portset.txt")), QByteArray("3\r\n38400\r\n8\r\n0\r\n"));
        QCOMPARE(readBytes(file("portdev.txt")), QByteArray("/dev/ttyUSB0\r\n"));
        StartupSettings s = LoadSettings(dir);
        QCOMPARE(s.port, port);
        QCOMPARE(s.notes, QStringList{"Port device: /dev/ttyUSB0"});
        QCOMPARE(s.terminalText,
                 std::optional<QString>("Port settings: Port 3, 38400 baud, 8 databits, no Parity\r\n"));

        // Back to a numbered port: the old device must not win next time.
        port.device.clear();
        QCOMPARE(saveSettings(dir, port, 140, 80), QString());
        QVERIFY(!QFile::exists(file("portdev.txt")));
        QCOMPARE(LoadSettings(dir).port, port);

        // A /dev/ttyS path is a port number after all.
        port.device = "/dev/ttyS4";
        QCOMPARE(saveSettings(dir, port, 140, 80), QString());
        QCOMPARE(readBytes(file("portset.txt")), QByteArray("5\r\n38400\r\n8\r\n0\r\n"));
        QVERIFY(!QFile::exists(file("portdev.txt")));
        s = LoadSettings(dir);
        QCOMPARE(s.port.portNumber, 5);
        QVERIFY(s.port.device.isEmpty());

        // A blank device file means the number.
        writeBytes(file("portdev.txt"), "\r\n");
        s = LoadSettings(dir);
        QVERIFY(s.port.device.isEmpty());
        QVERIFY(s.notes.isEmpty());
    }

    void folderThatCannotBeMadeIsReported()
    {
        writeBytes(file("blocker"), "a file, not a folder");
        const QString folder = QDir(dir).filePath("blocker/velmar");
        const QString error = saveSettings(folder, PortSettings{}, 140, 80);
        QVERIFY2(error.startsWith("Could not create the settings folder " + folder + ": "),
                 qPrintable(error));
        QCOMPARE(readBytes(file("blocker")), QByteArray("a file, not a folder"));
    }

    void failedWriteLeavesTheOldFileWhole()
    {
        writeBytes(file("portset.txt"), "1\r\n9600\r\n8\r\n0\r\n");
        const QByteArray oldLimits = "150\r\n20\r\n" + kComment + "\r\n";
        writeBytes(file("maxmin.txt"), oldLimits);

        // A file-size limit makes the disk "full" part-way through maxmin.txt
        // (root ignores permissions, not this); portset.txt still fits.
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 20;
        const auto oldXfsz = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const QString error = saveSettings(dir, PortSettings{4, 4800, 8, ParityNone, {}}, 120, 40);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldXfsz);

        QVERIFY2(error.startsWith("Could not save " + file("maxmin.txt") + ": "), qPrintable(error));
        QVERIFY2(!error.contains("portset.txt"), qPrintable(error));
        QCOMPARE(readBytes(file("maxmin.txt")), oldLimits);
        QCOMPARE(readBytes(file("portset.txt")), QByteArray("4\r\n4800\r\n8\r\n0\r\n"));
        // No half-written temporary is left behind either.
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{"maxmin.txt", "portset.txt"}));
    }

    void numbersIgnoreTheLocale()
    {
        const std::string oldC = std::setlocale(LC_ALL, nullptr);
        const QLocale oldQ;
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) QSKIP("no German locale on this machine");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

        const QString error = saveSettings(dir, PortSettings{1, 115200, 8, ParityNone, {}}, 1200, 1000);
        const QByteArray portset = readBytes(file("portset.txt"));
        const QByteArray maxmin = readBytes(file("maxmin.txt"));
        writeBytes(file("maxmin.txt"), "1.200\r\n1000\r\n");
        const StartupSettings s = LoadSettings(dir);

        std::setlocale(LC_ALL, oldC.c_str());
        QLocale::setDefault(oldQ);

        QCOMPARE(error, QString());
        QCOMPARE(portset, QByteArray("1\r\n115200\r\n8\r\n0\r\n"));
        QVERIFY(maxmin.startsWith("1200\r\n1000\r\n"));
        QCOMPARE(s.port.baud, 115200);
        QCOMPARE(s.terminalText,
                 std::optional<QString>("Port settings: Port 1, 115200 baud, 8 databits, no Parity\r\n"));
        // German digit grouping is not a number here.
        QCOMPARE(s.MaxFrequency, 130);
    }

    void settingsFolderLookup()
    {
        EnvGuard own(kSettingsDirVariable), xdg("XDG_CONFIG_HOME"), home("HOME");
        qputenv("HOME", "/home/op");
        qputenv("XDG_CONFIG_HOME", "/cfg");
        qputenv(kSettingsDirVariable, "/tmp/plovan-test");
        QCOMPARE(settingsDir(), QString("/tmp/plovan-test"));
        qputenv(kSettingsDirVariable, "");
        QCOMPARE(settingsDir(), QString("/cfg/velmar"));
        qunsetenv(kSettingsDirVariable);
        QCOMPARE(settingsDir(), QString("/cfg/velmar"));
        qputenv("XDG_CONFIG_HOME", "relative/cfg");
        QCOMPARE(settingsDir(), QString("/home/op/.config/velmar"));
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(settingsDir(), QString("/home/op/.config/velmar"));
    }

    // --- termination signals ---

    void terminationSignalsAskTheWindowToClose()
    {
        // Distinct previous handlers, so that putting them back can be seen.
        const auto oldTerm = std::signal(SIGTERM, SIG_IGN);
        const auto oldInt = std::signal(SIGINT, SIG_IGN);
        {
            AppSignals handler;
            QVERIFY2(handler.install(), qPrintable(handler.errorString()));
            QSignalSpy spy(&handler, &AppSignals::terminationRequested);

            // Only one owner of the handlers at a time.
            AppSignals second;
            QVERIFY(!second.install());

            std::raise(SIGTERM);
            QTRY_COMPARE(spy.count(), 1);
            QCOMPARE(spy.at(0).at(0).toInt(), SIGTERM);
            // The next SIGTERM would end the program at once: a hung shut-down
            // can still be stopped.
            struct sigaction now {};
            sigaction(SIGTERM, nullptr, &now);
            QVERIFY(now.sa_handler == SIG_DFL);

            QVERIFY(handler.install());
            std::raise(SIGINT);
            QTRY_COMPARE(spy.count(), 2);
            QCOMPARE(spy.at(1).at(0).toInt(), SIGINT);
            QVERIFY(handler.install());
        }
        QVERIFY(std::signal(SIGTERM, oldTerm) == SIG_IGN);
        QVERIFY(std::signal(SIGINT, oldInt) == SIG_IGN);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "tst_settings_files.moc"
