// The communications log: what lands in the file for each direction of
// traffic, how received characters are cut into lines, that an existing file
// only grows, and that a failing disk closes the log and says so.
#include "comm_log.h"
#include "link.h"
#include "sim_backend.h"
#include "sim_link.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace plovan;

class TestCommLog : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<CommLog> log;
    QDateTime now;

    QByteArray contents() const
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll();
    }
    // The file's lines without their stamps, e.g. "> =I".
    QStringList entries() const
    {
        QStringList out;
        for (const QByteArray& line : contents().split('\n')) {
            if (line.isEmpty()) continue;
            out << QString::fromLatin1(line.chopped(line.endsWith('\r') ? 1 : 0).mid(24));
        }
        return out;
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        path = dir.filePath(QStringLiteral("comms.log"));
        QFile::remove(path);
        log = std::make_unique<CommLog>();
        now = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 123));
        log->setClock([this] { return now; });
        QVERIFY(log->open(path));
    }
    void cleanup() { log.reset(); }

    void eachLineIsStampedAndMarkedByDirection()
    {
        log->recordSent("=D5144\r\n");
        now = now.addMSecs(8);
        log->recordReceived("@");
        log->close();
        QCOMPARE(contents(), QByteArray("2024-05-01 14:03:07.123 > =D5144\r\n"
                                        "2024-05-01 14:03:07.131 < @\r\n"));
    }

    void theRealClockGivesMilliseconds()
    {
        CommLog real;
        const QString other = dir.filePath(QStringLiteral("real.log"));
        QVERIFY(real.open(other));
        real.recordSent("=I\r\n");
        real.close();
        QFile f(other);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString line = QString::fromLatin1(f.readAll());
        QVERIFY2(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} > =I\r\n$)"))
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));
    }

    void receivedCharactersMakeLinesAtCrLf()
    {
        // A read-back split over three receive events is still one line, and
        // the stamp is that of its first character.
        log->recordReceived("@5");
        now = now.addMSecs(3);
        log->recordReceived("1\r");
        log->recordReceived("\n@");
        log->flush();
        QCOMPARE(entries(), (QStringList{QStringLiteral("< @51"), QStringLiteral("< @")}));
        QVERIFY(contents().startsWith("2024-05-01 14:03:07.123 < @51\r\n"));
    }

    void silenceEndsAReceivedLine()
    {
        log->setQuietMs(0);
        log->recordReceived("@");
        QTRY_COMPARE(entries(), QStringList{QStringLiteral("< @")});
        log->recordReceived("@");
        QTRY_COMPARE(entries(), (QStringList{QStringLiteral("< @"), QStringLiteral("< @")}));
    }

    void trafficOneWayEndsTheOtherWaysLine()
    {
        // Typed keys arrive one write at a time; the unit's answer in between
        // must not be glued to them, and the file keeps the order of events.
        log->recordSent("A");
        log->recordReceived("@");
        log->recordSent("\r");
        log->recordSent("\n");
        log->recordSent("=I\r\n");
        log->close();
        QCOMPARE(entries(), (QStringList{QStringLiteral("> A"), QStringLiteral("< @"), QStringLiteral("> "),
                                         QStringLiteral("> =I")}));
    }

    void unprintableBytesAreShownInHex()
    {
        log->recordReceived(QByteArray("~%#\x7F@\x01\xE9\r\n", 9));
        log->recordSent("\r\n");
        log->close();
        QCOMPARE(entries(), (QStringList{QStringLiteral("< ~%#<7F>@<01><E9>"), QStringLiteral("> ")}));
    }

    void anEndlessStreamIsCutIntoLines()
    {
        log->recordReceived(QByteArray(CommLog::kMaxLineBytes + 3, 'x'));
        log->close();
        const QStringList lines = entries();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("< ") + QString(CommLog::kMaxLineBytes, QLatin1Char('x')));
        QCOMPARE(lines[1], QStringLiteral("< xxx"));
    }

    void closingWritesThePendingLineAndStopsRecording()
    {
        QSignalSpy closed(log.get(), &CommLog::closed);
        log->recordReceived("12");
        log->close();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!log->isOpen());
        log->recordSent("=U\r\n");
        log->recordReceived("@\r\n");
        QCOMPARE(entries(), QStringList{QStringLiteral("< 12")});
        log->close();
        QCOMPARE(closed.size(), 1);
    }

    void anExistingFileIsAppendedTo()
    {
        log->close();
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier session\r\n");
        }
        QVERIFY(log->open(path));
        log->recordSent("=C\r\n");
        log->close();
        QCOMPARE(contents(), QByteArray("earlier session\r\n2024-05-01 14:03:07.123 > =C\r\n"));
    }

    void aWriteErrorClosesTheLogWithAMessage()
    {
        if (!QFile::exists(QStringLiteral("/dev/full"))) QSKIP("needs /dev/full");
        log->close();
        QVERIFY(log->open(QStringLiteral("/dev/full")));
        QSignalSpy failed(log.get(), &CommLog::failed);
        QSignalSpy closed(log.get(), &CommLog::closed);
        log->recordSent("=I\r\n");
        QCOMPARE(failed.size(), 1);
        QCOMPARE(closed.size(), 1);
        QVERIFY(!log->isOpen());
        const QString message = failed.first().first().toString();
        QVERIFY2(message.contains(QStringLiteral("/dev/full")), qPrintable(message));
        QVERIFY2(message.contains(log->errorString()) && !log->errorString().isEmpty(), qPrintable(message));
        // Nothing more is attempted, and a new log can be opened.
        log->recordSent("=U\r\n");
        QCOMPARE(failed.size(), 1);
        QVERIFY(log->open(path));
    }

    void recordsBothDirectionsOfALink()
    {
        sim::SimBackend* sim = nullptr;
        auto link = makeSimLink(sim);
        log->attach(*link);
        QVERIFY(link->sendWait("=I"));
        link->RecATFlag = false;
        QVERIFY(link->writeRaw("=U\r\n"));
        QVERIFY(link->waitAck("=U") == WaitResult::Done);
        log->close();
        QCOMPARE(entries(), (QStringList{QStringLiteral("> =I"), QStringLiteral("< @"),
                                         QStringLiteral("> =U"), QStringLiteral("< @")}));
    }
};

QTEST_GUILESS_MAIN(TestCommLog)
#include "tst_comm_log.moc"
