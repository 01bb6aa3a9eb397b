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
        const auto all = [](const QString& text) { return QStringList(6, text); };
        const auto but = [](QStringList said, int reader, const QString& text) {
            said[reader] = text;
            return said;
        };
        QTest::newRow("empty") << QByteArray()
                               << QString(
                                      "the file is empty|the file is empty|File has 0 of 256||the file has "
                                      "no readings|portset.txt line 1 is missing")
                                      .split('|');
        QTest::newRow("folder") << QByteArray("<dir>") << all("it is a folder, not a file");
        QTest::newRow("FIFO") << QByteArray("<fifo>") << all("it is not a regular file");
        QTest::newRow("dev-zero") << QByteArray("<zero>") << all("it is not a regular file");
        QTest::newRow("1 GB sparse") << QByteArray("<sparse>") << all("it has 1073741824 bytes");
        QTest::newRow("binary") << QByteArray("\x01\x02\xFE\xFF\x7F", 5)
                                << but(all("\"\\x01\\x02\\xFE\\xFF\\x7F\""), 4, "the file has no readings");
        QTest::newRow("CR line ends")
            << QByteArray("00002\r012345678\r0ABCDEF01\r")
            << QString("|3 lines: all are sent|File has 3 of 256 lines|line 1 "
                       "\"00002\"|line 3 is not a frequency|line 3: \"0ABCDEF01\" is not")
                   .split('|');
        QTest::newRow("byte-order mark")
            << QByteArray("\xEF\xBB\xBF"
                          "00001\r\n012345678\r\n")
            << all("the file starts with a UTF-8 byte-order mark; it is skipped");
        QTest::newRow("NUL bytes") << QByteArray("00002\r\n012345678\r\n0AB\0DEF01\r\n", 29)
                                   << but(all("\"0AB\\x00DEF01\""), 4, "line 3 is not a frequency");
        QTest::newRow("line too long") << "00001\r\n" + QByteArray(5000, '0') + "\r\n"
                                       << all("line 2 is longer than 256 characters").mid(0, 3) +
                                              all("line 2 is longer than 4096 characters").mid(0, 3);
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

        std::string e1, e2, e3, e4;
        const auto cal = readCalFile(p, &e3);
        const auto vswrRead = vswr::readFile(p, &e4);
        const PollFile poll = readPollFile(p);
        const QStringList got{QString::fromStdString(said(table::checkFile(p, table::kImage, &e1), e1)),
                              QString::fromStdString(said(table::checkLutFile(p, &e2), e2)),
                              QString::fromStdString(cal ? joined(cal->notes) : e3),
                              QString::fromStdString(poll.error + describeProblems(poll.list.problems) +
                                                     joined(poll.list.notes)),
                              QString::fromStdString(vswrRead ? joined(vswrRead->notes) : e4),
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
