// The Link against a scripted port: the lines it writes, how each wait ends,
// and what the receive handler makes of the bytes that arrive.
#include "connect_sequence.h"
#include "fake_backend.h"
#include "link.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace plovan;

class TestLink : public QObject {
    Q_OBJECT

    Link* link = nullptr;
    FakeBackend* port = nullptr;

private slots:
    void init()
    {
        link = new Link;
        auto backend = std::make_unique<FakeBackend>();
        port = backend.get();
        link->setBackend(std::move(backend));
        QVERIFY(link->openPort());
        link->setAckTimeoutMs(2000);
    }
    void cleanup()
    {
        delete link;
        link = nullptr;
    }

    // --- the connect sequences ---
    void connectSendsFiveLinesInOrder()
    {
        port->responder = ackEveryLine;
        QVERIFY(connectSequence(*link, "0800"));
        QCOMPARE(port->lines(), QStringList({"=r", "=p", "=D00DF", "=D08E1", "=D00E2"}));
        // Every line went out in one write with its CR LF.
        for (const QByteArray& w : port->written)
            QVERIFY(w.endsWith("\r\n"));
    }

    void connectUsesTheStoreHeadAndAmp2FixeD()
    {
        port->responder = ackEveryLine;
        link->saveToDds = true;
        QVERIFY(connectSequence(*link, "0FA0"));
        QCOMPARE(port->lines().mid(3), QStringList({"=aD0FE1", "=aDA0E2"}));
    }

    void shortConnectSendsTwoAcknowledgedLines()
    {
        port->responder = ackEveryLine;
        QVERIFY(shortConnectSequence(*link));
        QCOMPARE(port->lines(), QStringList({"=r", "=D00DF"}));
    }

    void demoModeConnectsWithoutAnyReply()
    {
        link->setTestMode(true); // "Wait for ack" unticked
        QVERIFY(connectSequence(*link, "0800"));
        QCOMPARE(port->lines().size(), 5);
    }

    void silentUnitStopsTheSequenceAtTheFirstWait()
    {
        link->setAckTimeoutMs(50);
        QSignalSpy status(link, &Link::statusMessage);
        QVERIFY(!connectSequence(*link, "0800"));
        // Nothing is sent into the silence after the time-out.
        QCOMPARE(port->lines(), QStringList({"=r", "=p", "=D00DF", "=D08E1"}));
        const QString message("No reply from unit to =r, =p, =D00DF, =D08E1");
        QVERIFY(link->terminalText().contains(message + "\r\n"));
        QVERIFY(!status.isEmpty());
        QCOMPARE(status.last().at(0).toString(), message);
    }

    // A unit that acknowledges only the first n lines of the five: connect
    // fails, and the time-out names exactly the lines that went unanswered.
    void connectNeedsAllFiveAcknowledgements_data()
    {
        QTest::addColumn<int>("answered");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("unanswered");
        const QStringList four{"=r", "=p", "=D00DF", "=D08E1"};
        QTest::newRow("three") << 3 << four << "=D08E1";
        QTest::newRow("two") << 2 << four << "=D00DF, =D08E1";
        QTest::newRow("four") << 4 << (QStringList(four) << "=D00E2") << "=D00E2";
    }
    void connectNeedsAllFiveAcknowledgements()
    {
        QFETCH(int, answered);
        QFETCH(QStringList, sent);
        QFETCH(QString, unanswered);
        int lines = 0;
        port->responder = [&](const QByteArray&) {
            return ++lines <= answered ? QByteArray("@") : QByteArray();
        };
        link->setAckTimeoutMs(100);
        QVERIFY(!connectSequence(*link, "0800"));
        QCOMPARE(port->lines(), sent);
        QVERIFY(link->terminalText().endsWith("No reply from unit to " + unanswered + "\r\n"));
    }

    // Acknowledgements that all arrive late, in one burst after the fourth
    // line, still complete the sequence.
    void lateAcknowledgementsInOneBurstConnect()
    {
        int lines = 0;
        port->responder = [&](const QByteArray&) {
            ++lines;
            return lines == 4 ? QByteArray("@@@@") : lines == 5 ? QByteArray("@") : QByteArray();
        };
        QVERIFY(connectSequence(*link, "0800"));
        QCOMPARE(port->lines().size(), 5);
    }

    // --- how a wait ends ---
    void waitEndsOnAckDeliveredLate()
    {
        port->responder = ackEveryLine;
        port->replyDelayMs = 30;
        QVERIFY(link->sendWait("=I"));
        QVERIFY(link->RecATFlag);
    }

    void untickingWaitForAckReleasesTheWait()
    {
        QTimer::singleShot(20, link, [this] { link->setTestMode(true); });
        link->RecATFlag = false;
        QVERIFY(link->send("=U"));
        QCOMPARE(link->waitAck("=U"), WaitResult::TestMode);
        QVERIFY(proceeds(WaitResult::TestMode));
    }

    void cancelEndsTheWait()
    {
        QTimer::singleShot(20, link, [this] { link->cancelWaits(); });
        QVERIFY(!link->sendWait("=U"));
        QVERIFY(!link->waiting());
    }

    void zeroTimeoutWaitsForEver()
    {
        link->setAckTimeoutMs(0);
        port->responder = ackEveryLine;
        port->replyDelayMs = 150;
        QVERIFY(link->sendWait("=U"));
    }

    void hangUpMidWaitIsReportedOnce()
    {
        QSignalSpy lost(link, &Link::connectionLost);
        link->Connected = true;
        QTimer::singleShot(20, port, [this] { port->hangUp(); });
        link->RecATFlag = false;
        QVERIFY(link->send("=U"));
        QCOMPARE(link->waitAck("=U"), WaitResult::ConnectionLost);
        QCOMPARE(lost.count(), 1);
        QVERIFY(!link->Connected);
        QCOMPARE(link->terminalText().count("Connection lost"), 1);
        // Later sends are refused, not lost silently.
        QVERIFY(!link->send("=I"));
        QVERIFY(link->terminalText().contains("Port not open - not sent: =I"));
    }

    void nestedWaitsEachEndOnTheirOwnReply()
    {
        // A second sender starts while the first still waits, as a button
        // pressed during a wait does.
        port->responder = ackEveryLine;
        port->replyDelayMs = 40;
        bool innerOk = false;
        QTimer::singleShot(5, link, [&] { innerOk = link->sendWait("=I"); });
        QVERIFY(link->sendWait("=U"));
        QTRY_VERIFY(innerOk);
        QVERIFY(!link->waiting());
    }

    void writesWhileClosedAreRefusedAndReported()
    {
        link->closePort();
        QSignalSpy status(link, &Link::statusMessage);
        QVERIFY(!link->send("=r"));
        QVERIFY(!link->sendWait("=D00DF"));
        QVERIFY(port->written.isEmpty());
        QCOMPARE(status.count(), 2);
        QCOMPARE(status.at(0).at(0).toString(), QString("Port not open - not sent: =r"));
        QVERIFY(link->terminalText().endsWith("Port not open - not sent: =D00DF\r\n"));
    }

    void pausesLastTheirLength()
    {
        QElapsedTimer t;
        t.start();
        QCOMPARE(link->PawS(), WaitResult::Done);
        QVERIFY(t.elapsed() >= Link::kPawSMs);
        // NewDely pauses only while "Save to DDS" is ticked.
        t.restart();
        QCOMPARE(link->NewDely(), WaitResult::Done);
        QVERIFY(t.elapsed() < Link::kNewDelyMs);
        link->saveToDds = true;
        QCOMPARE(link->DlaY(), WaitResult::Done);
        QVERIFY(t.elapsed() >= Link::kNewDelyMs);
    }

    // Precise timers: a coarse one may give up to 5% early.
    void timeOutWaitsTheWholeTime()
    {
        link->setAckTimeoutMs(400);
        QElapsedTimer t;
        t.start();
        QVERIFY(!link->sendWait("=I"));
        QVERIFY2(t.elapsed() >= 400, qPrintable(QString::number(t.elapsed())));
    }

    // A pause cut short leaves no timer behind that could reach it later.
    void cancelledPauseIsNotReachedByItsTimer()
    {
        QTimer::singleShot(10, link, [this] { link->cancelWaits(); });
        QCOMPARE(link->pause(80), WaitResult::Cancelled);
        // The next pause would otherwise be ended by the first one's timer at 80 ms.
        QTimer::singleShot(150, link, [this] { link->cancelWaits(); });
        QCOMPARE(link->pause(300), WaitResult::Cancelled);
    }

    void failedOpenGivesTheReasonAndHandleZero()
    {
        link->closePort();
        port->failOpen = true;
        QVERIFY(!link->openPort());
        QCOMPARE(link->PortHandle, 0);
        QCOMPARE(link->openError(), QString("fake failure"));
        port->failOpen = false;
        QVERIFY(link->openPort());
        QCOMPARE(link->PortHandle, 1);
        QVERIFY(link->openError().isEmpty());
    }

    // --- replies already at the port ---
    void replyWaitingAtThePortEndsTheWait()
    {
        // Nothing announces these replies through the event loop: the wait
        // must look at the port itself.
        port->answersAtOnce = true;
        port->responder = ackEveryLine;
        link->setAckTimeoutMs(200);
        QVERIFY(connectSequence(*link, "0800"));
        QCOMPARE(port->lines().size(), 5);
        QCOMPARE(link->terminalText(), QString("@@@@@"));
    }

    void longRunOfQuickRepliesStillHearsCancel()
    {
        // A file sent line by line to a fast unit never needs the event loop
        // for a reply; the operator's Cancel must get through all the same.
        port->answersAtOnce = true;
        port->responder = ackEveryLine;
        QTimer::singleShot(30, link, [this] { link->cancelWaits(); });
        QElapsedTimer t;
        t.start();
        int acknowledged = 0;
        while (t.elapsed() < 10000 && link->sendWait("=D60E0"))
            ++acknowledged;
        QVERIFY2(t.elapsed() < 10000, "the cancel never reached a wait");
        QVERIFY(acknowledged > 0);
        QVERIFY(!link->waiting());
    }

    // --- the receive handler ---
    void burstKeepsOrderAndRaisesTheAck()
    {
        port->deliverNow("12@");
        QCOMPARE(link->terminalText(), QString("12@"));
        QVERIFY(link->RecATFlag);
        QCOMPARE(link->InComeBuff, '@');
    }

    void lettersRaiseTheirFlagsCaseSensitively()
    {
        port->deliverNow("el");
        QVERIFY(!link->RecEFlag && !link->RecLFlag && !link->RecATFlag);
        port->deliverNow("c");
        QVERIFY(link->RecCFlag);
        port->deliverNow("K");
        QVERIFY(link->RecKFlag);
        port->deliverNow("xEy");
        QVERIFY(link->RecEFlag);
        port->deliverNow("L");
        QVERIFY(link->RecLFlag);
        QVERIFY(!link->RecATFlag);
        QCOMPARE(link->terminalText(), QString("elcKxEyL"));
    }

    void terminalStartsAfreshAfter2001Characters()
    {
        port->deliverNow(QByteArray(2001, 'x'));
        QCOMPARE(link->terminalText().size(), 2001);
        port->deliverNow("@");
        QCOMPARE(link->terminalText(), QString("@"));
    }

    void lineHooksRunOncePerLineAndOncePerEvent()
    {
        QSignalSpy lines(link, &Link::lineReceived);
        QSignalSpy ends(link, &Link::receiveEndedWithLineFeed);
        port->deliverNow("@ 001 002\r\n@ 003 004\r\n");
        QCOMPARE(lines.count(), 2);
        QCOMPARE(lines.at(0).at(0).toString(), QString("@ 001 002"));
        QCOMPARE(lines.at(1).at(0).toString(), QString("@ 003 004"));
        QCOMPARE(ends.count(), 1);
        port->deliverNow("partial");
        QCOMPARE(ends.count(), 1);
        port->deliverNow("\r\n");
        QCOMPARE(lines.count(), 3);
        QCOMPARE(lines.at(2).at(0).toString(), QString("partial"));
    }

    // A unit that floods without line ends: the line kept stays bounded
    // (in one huge arrival and in many small ones), the cut is said once per
    // line, and the tail that a read-back needs survives.
    void floodWithoutLineEndsIsCutOnce_data()
    {
        QTest::addColumn<int>("chunkSize");
        QTest::newRow("one arrival") << 8'000'000;
        QTest::newRow("small arrivals") << 4096;
    }
    void floodWithoutLineEndsIsCutOnce()
    {
        QFETCH(int, chunkSize);
        QSignalSpy lines(link, &Link::lineReceived);
        QSignalSpy status(link, &Link::statusMessage);
        for (int sent = 0; sent < 8'000'000; sent += chunkSize)
            port->deliverNow(QByteArray(chunkSize, 'x'));
        port->deliverNow("@0C\r\n");
        QCOMPARE(status.count(), 1);
        QVERIFY(status.at(0).at(0).toString().startsWith("Reply line cut"));
        QCOMPARE(lines.count(), 1);
        const QString kept = lines.at(0).at(0).toString();
        QCOMPARE(kept.size(), qsizetype(Link::kMaxLineChars));
        QVERIFY(kept.endsWith("x@0C"));
        // The next line is whole, and its cut would be said afresh.
        port->deliverNow("@0D\r\n");
        QCOMPARE(lines.last().at(0).toString(), QString("@0D"));
        port->deliverNow(QByteArray(3 * Link::kMaxLineChars, 'x'));
        QCOMPARE(status.count(), 2);
    }

    void readBackReturnsTheLineAfterTheAck()
    {
        // The acknowledgement and the text arrive separately, byte by byte.
        port->responder = [this](const QByteArray& w) {
            if (w == "=e\r\n") {
                const QByteArray reply = "@0C\r\n";
                for (int i = 0; i < reply.size(); ++i)
                    port->deliverLater(reply.mid(i, 1), 10 * i);
            }
            return QByteArray();
        };
        QCOMPARE(link->readBack("=e"), std::optional<std::string>("0C"));
    }

    void readBackTimesOutWithoutTheLine()
    {
        link->setAckTimeoutMs(60);
        port->responder = [](const QByteArray&) { return QByteArray("@"); };
        QVERIFY(!link->readBack("=v").has_value());
        QVERIFY(link->terminalText().contains("No reply from unit to =v"));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
