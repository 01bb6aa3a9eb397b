// Every reader of a file against the files an operator's disk can hold in
// its place: what each says, with no hang, no file read whole, no byte that
// hides the rest of its message.
#include "cal_file.h"
#include "line_reader.h"
#include "poll_list.h"
#include "settings_files.h"
#include "table_file.h"
#include "vswr_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace plovan;

namespace {

std::string joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

std::string said(const std::optional<std::vector<table::Finding>>& findings, const std::string& error)
{
    if (!findings) return error;
    std::string out;
    for (const table::Finding& f : *findings)
        out += table::describe(f) + "\n";
    return out;
}

} // namespace

class TestFileReaders : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void everyReaderOnEveryFile_data()
    {
        // The case is made as "portset.txt" in a folder of its own, the name
        // the settings reader looks for; the other readers take its path.
        QTest::addColumn<QByteArray>("bytes");     // "<dir>", "<fifo>", "<zero>", "<sparse>": not bytes
        QTest::addColumn<QStringList>("expected"); // table, LUT, calibration, poll, VSWR, settings
        const QString folder = "it is a folder, not a file";
        const QString special = "it is not a regular file";
        const QString big = "it has 1073741824 bytes";
        const QString bom = "the file starts with a UTF-8 byte-order mark; it is skipped";
        QTest::newRow("empty") << QByteArray()
                               << QStringList{"the file is empty",        "the file is empty",
                                              "File has 0 of 256",        "",
                                              "the file has no readings", "portset.txt line 1 is missing"};
        QTest::newRow("folder") << QByteArray("<dir>")
                                << QStringList{folder, folder, folder, folder, folder, folder};
        QTest::newRow("FIFO") << QByteArray("<fifo>")
                              << QStringList{special, special, special, special, special, special};
        QTest::newRow("dev-zero") << QByteArray("<zero>")
                                  << QStringList{special, special, special, special, special, special};
        QTest::newRow("1 GB sparse") << QByteArray("<sparse>") << QStringList{big, big, big, big, big, big};
        QTest::newRow("binary") << QByteArray("\x01\x02\xFE\xFF\x7F", 5)
                                << QStringList{"header \"\\x01\\x02\\xFE\\xFF\\x7F\" is not hex",
                                               "row 0 \"\\x01\\x02\\xFE\\xFF\\x7F\" does not start",
                                               "(line 1) \"\\x01\\x02\\xFE\\xFF\\x7F\" is not two words",
                                               "line 1 \"\\x01\\x02\\xFE\\xFF\\x7F\"",
                                               "the file has no readings",
                                               "line 1: \"\\x01\\x02\\xFE\\xFF\\x7F\" is not a number"};
        QTest::newRow("CR line ends") << QByteArray("00002\r012345678\r0ABCDEF01\r")
                                      << QStringList{"",
                                                     "3 lines: all are sent",
                                                     "File has 3 of 256 lines",
                                                     "line 1 \"00002\"",
                                                     "line 3 is not a frequency",
                                                     "line 3: \"0ABCDEF01\" is not a number"};
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                       "00001\r\n012345678\r\n")
                                         << QStringList{bom, bom, bom, bom, bom, bom};
        QTest::newRow("NUL bytes") << QByteArray("00002\r\n012345678\r\n0AB\0DEF01\r\n", 29)
                                   << QStringList{"record 2 \"0AB\\x00DEF01\" is not hex",
                                                  "\"0AB\\x00DEF01\"",
                                                  "\"0AB\\x00DEF01\"",
                                                  "\"0AB\\x00DEF01\"",
                                                  "line 3 is not a frequency",
                                                  "\"0AB\\x00DEF01\""};
        const QByteArray longLine = "00001\r\n" + QByteArray(5000, '0') + "\r\n";
        QTest::newRow("line too long")
            << longLine
            << QStringList{"line 2 is longer than 256 characters",  "line 2 is longer than 256 characters",
                           "line 2 is longer than 256 characters",  "line 2 is longer than 4096 characters",
                           "line 2 is longer than 4096 characters", "line 2 is longer than 4096 characters"};
    }
    void everyReaderOnEveryFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        const QString folder = dir.filePath(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/portset.txt";
        const std::string p = QFile::encodeName(path).toStdString();
        if (bytes == "<dir>") {
            QVERIFY(QDir().mkdir(path));
        }
        else if (bytes == "<fifo>") {
            QCOMPARE(::mkfifo(p.c_str(), 0600), 0);
        }
        else if (bytes == "<zero>") {
            QVERIFY(QFile::link("/dev/zero", path));
        }
        else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
            if (bytes == "<sparse>") QVERIFY(f.resize(qint64(1) << 30));
        }

        std::string error;
        const auto tableCheck = table::checkFile(p, table::kImage, &error);
        const std::string lut = said(table::checkLutFile(p, &error), error);
        const auto cal = readCalFile(p, &error);
        const std::string calSaid = cal ? joined(cal->notes) : error;
        const PollFile poll = readPollFile(p);
        const std::string pollSaid =
            poll.error + describeProblems(poll.list.problems) + joined(poll.list.notes);
        const auto vswrRead = vswr::readFile(p, &error);
        const std::string vswrSaid = vswrRead ? joined(vswrRead->notes) : error;
        const QStringList got{QString::fromStdString(said(tableCheck, error)),
                              QString::fromStdString(lut),
                              QString::fromStdString(calSaid),
                              QString::fromStdString(pollSaid),
                              QString::fromStdString(vswrSaid),
                              LoadSettings(folder).notes.join('\n')};
        for (int i = 0; i < got.size(); ++i) {
            QVERIFY2(got[i].contains(expected[i]),
                     qPrintable(QString("reader %1 said: %2").arg(i).arg(got[i])));
            QVERIFY2(!expected[i].isEmpty() || i == 3 || got[i].isEmpty(), qPrintable(got[i]));
        }
    }
};

QTEST_MAIN(TestFileReaders)
#include "tst_file_readers.moc"
