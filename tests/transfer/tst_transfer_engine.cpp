// The transfer engine driven by hand: replies fed byte by byte and in bulk,
// pauses and time-outs fired by the test, no event loop and no port.
#include "table_send.h"

#include <QTest>
#include <sstream>

using namespace plovan;

Q_DECLARE_METATYPE(plovan::TransferOutcome)

namespace {

std::string imageFile(const char* header, std::size_t records)
{
    std::string text = std::string(header) + "\r\n";
    for (std::size_t i = 0; i < records; ++i)
        text += "00000000" + std::to_string(i % 10) + "\r\n";
    return text;
}

// A file of `records` records of `digits` digits, the last digit counting.
std::string tableFile(const char* header, std::size_t records, std::size_t digits)
{
    std::string text = std::string(header) + "\r\n";
    for (std::size_t i = 0; i < records; ++i)
        text += std::string(digits - 1, '0') + std::to_string(i % 10) + "\r\n";
    return text;
}

} // namespace

class TestTransferEngine : public QObject {
    Q_OBJECT

    struct Harness {
        std::vector<std::string> writes;
        std::vector<std::string> messages;
        std::vector<int> pauses; // every pause asked for
        int pendingPause = -1;
        bool timerRunning = false;
        std::optional<TransferOutcome> outcome;
        std::string collected;                     // what the USB route's collect() finds
        bool usbOpens = true;                      // whether writeBytes finds its route
        std::size_t mostShown = 0, shownTotal = 0; // the progress reported
        std::istringstream file;
        TransferEngine engine;

        explicit Harness(const std::string& text, SenderConfig config = image::serialSender())
            : file(text), engine(std::move(config), hooks())
        {
        }
        TransferEngine::Hooks hooks()
        {
            TransferEngine::Hooks h;
            h.write = [this](const std::string& l) { writes.push_back(l); };
            h.writeBytes = [this](const std::string& b) {
                if (usbOpens) writes.push_back("bytes:" + b);
                return usbOpens;
            };
            h.collect = [this] { return std::exchange(collected, {}); };
            h.pause = [this](int ms) {
                pauses.push_back(ms);
                pendingPause = ms;
            };
            h.replyTimer = [this](bool run) { timerRunning = run; };
            h.message = [this](const std::string& m) { messages.push_back(m); };
            h.progress = [this](std::size_t done, std::size_t total) {
                mostShown = std::max(mostShown, done);
                shownTotal = total;
            };
            h.finished = [this](TransferOutcome o) { outcome = o; };
            return h;
        }
        void start() { engine.start(file); }
        // Ends the pause the engine waits in, if any.
        bool firePause()
        {
            if (pendingPause < 0) return false;
            pendingPause = -1;
            engine.pauseDone();
            return true;
        }
        void fireAllPauses()
        {
            while (firePause()) {
            }
        }
        // Starts the send and takes it to its first record's wait.
        void toFirstRecord()
        {
            start();
            firePause();
            firePause();
        }
        // Answers each record with `reply` until the engine stops waiting.
        void answerAll(const std::string& reply, const std::string& last)
        {
            while (engine.running() && timerRunning) {
                const bool isLast = engine.recordsSent() + 1 == engine.recordsAnnounced();
                engine.received(isLast ? last : reply);
            }
        }
        std::vector<std::string> records() const
        {
            return {writes.begin() + std::min<std::ptrdiff_t>(2, writes.size()), writes.end()};
        }
    };

private slots:
    void aSoundSendEndsSentOk()
    {
        Harness h(imageFile("0010", 16));
        h.start();
        QCOMPARE(h.writes, std::vector<std::string>{"=L"});
        QCOMPARE(h.pendingPause, TransferEngine::kPawSMs);
        h.firePause();
        QCOMPARE(h.writes.back(), std::string("00010")); // the header's last five, padded
        h.firePause();
        QVERIFY(h.timerRunning);
        h.answerAll("C", "CL");
        QCOMPARE(h.outcome, std::optional(TransferOutcome::SentOk));
        QCOMPARE(h.records().size(), std::size_t(16));
        QCOMPARE(h.records().front(), std::string("000000000"));
        QCOMPARE(h.messages, std::vector<std::string>{"Sent OK!"});
        QVERIFY(!h.timerRunning);
    }

    void repliesByteByByteAndAmongNoise()
    {
        Harness h(imageFile("00003", 3));
        h.toFirstRecord();
        h.engine.received("x");
        QCOMPARE(h.records().size(), std::size_t(1)); // noise ends no wait
        h.engine.received("C");
        h.engine.received("@@C");
        QCOMPARE(h.records().size(), std::size_t(3));
        h.engine.received("C");
        // The success letter may follow the last "C" a moment later.
        QVERIFY(!h.outcome);
        h.engine.received("L");
        h.firePause();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::SentOk));
    }

    void tooBigStopsBeforeTheRecords()
    {
        Harness h(imageFile("00040", 64));
        h.start();
        h.firePause();
        h.engine.received("E");
        h.firePause();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::TooBig));
        QCOMPARE(h.messages, std::vector<std::string>{"Error. File too big."});
        QCOMPARE(h.writes, (std::vector<std::string>{"=L", "00040"}));
    }

    void aCrcErrorEndsAtOnceAndClearsTheUnit()
    {
        Harness h(imageFile("00010", 16));
        h.toFirstRecord();
        h.engine.received("C");
        h.engine.received("C");
        h.engine.received("K");
        QCOMPARE(h.records().size(), std::size_t(3));
        QCOMPARE(h.pendingPause, TransferEngine::kLongPawsMs);
        QCOMPARE(h.messages, std::vector<std::string>{"CRC Error. File send aborted"});
        h.fireAllPauses();
        QCOMPARE(h.records().size(), std::size_t(6));
        QCOMPARE(std::vector<std::string>(h.writes.end() - 3, h.writes.end()),
                 (std::vector<std::string>{"=C", "=C", "=C"}));
        // The CRC verdict is always followed by the error verdict.
        QCOMPARE(h.messages, (std::vector<std::string>{"CRC Error. File send aborted", "Error!"}));
        QCOMPARE(h.outcome, std::optional(TransferOutcome::CrcError));
    }

    void anEOrLEndsTheLoopOnlyAfterItsWait()
    {
        Harness h(imageFile("00010", 16));
        h.toFirstRecord();
        h.engine.received("L");
        h.engine.received("E");
        QCOMPARE(h.records().size(), std::size_t(1)); // still waiting for "C" or "K"
        QVERIFY(h.timerRunning);
        h.engine.received("C");
        QCOMPARE(h.records().size(), std::size_t(1)); // and then no more records
        QCOMPARE(h.messages, std::vector<std::string>{"Error!"});
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Error));
    }

    // The terminal empties itself at 2001 characters; the verdict does not
    // depend on it.
    void theVerdictSeesEveryReplyOfTheSend()
    {
        Harness h(imageFile("00003", 3));
        h.toFirstRecord();
        h.engine.received("K" + std::string(3000, '@'));
        h.fireAllPauses();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::CrcError));

        Harness ok(imageFile("00003", 3));
        ok.toFirstRecord();
        ok.engine.received(std::string(2500, '@') + "C");
        ok.engine.received("C");
        ok.engine.received("C" + std::string(2500, '@') + "L");
        QCOMPARE(ok.outcome, std::optional(TransferOutcome::SentOk));
    }

    void stopsThatLeaveTheUnitMidLoadClearIt_data()
    {
        QTest::addColumn<int>("stop"); // 0 time-out, 1 cancel, 2 file ends early
        QTest::addColumn<std::string>("message");
        QTest::addColumn<TransferOutcome>("outcome");
        QTest::newRow("time-out") << 0 << std::string("No reply from unit to record 2 of 3")
                                  << TransferOutcome::TimedOut;
        QTest::newRow("cancel") << 1 << std::string("File send cancelled at record 2 of 3")
                                << TransferOutcome::Cancelled;
        QTest::newRow("file ends") << 2 << std::string("File ends after 1 of 3 records")
                                   << TransferOutcome::FileEnded;
    }
    void stopsThatLeaveTheUnitMidLoadClearIt()
    {
        QFETCH(int, stop);
        QFETCH(std::string, message);
        QFETCH(TransferOutcome, outcome);
        Harness h(imageFile("00003", stop == 2 ? 1 : 3));
        h.toFirstRecord();
        h.engine.received("C");
        if (stop == 0) h.engine.replyTimedOut();
        if (stop == 1) {
            h.engine.cancel();
            h.engine.received("C"); // the current line is finished first
        }
        QCOMPARE(h.messages, std::vector<std::string>{message});
        QVERIFY(!h.timerRunning);
        h.fireAllPauses();
        QCOMPARE(std::vector<std::string>(h.writes.end() - 3, h.writes.end()),
                 (std::vector<std::string>{"=C", "=C", "=C"}));
        QCOMPARE(h.pauses.back(), TransferEngine::kLongPawsMs);
        QCOMPARE(h.outcome, std::optional(outcome));
        QVERIFY(!h.engine.running());
    }

    void withoutAcknowledgementsEveryRecordGoesAtOnce()
    {
        Harness h(imageFile("00005", 5));
        h.engine.setTestMode(true);
        h.toFirstRecord();
        QCOMPARE(h.records().size(), std::size_t(5));
        h.engine.received("CCCCCL");
        h.firePause();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::SentOk));

        // Switched off mid-send, the wait in progress is released too.
        Harness late(imageFile("00005", 5));
        late.toFirstRecord();
        late.engine.setTestMode(true);
        QCOMPARE(late.records().size(), std::size_t(5));
    }

    void aLostConnectionEndsTheSendAtOnce()
    {
        Harness h(imageFile("00003", 3));
        h.toFirstRecord();
        h.engine.received("C");
        const std::size_t written = h.writes.size();
        h.engine.connectionLost();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Lost));
        QCOMPARE(h.messages, std::vector<std::string>{"Connection lost at record 1 of 3"});
        QCOMPARE(h.writes.size(), written); // nothing more is written to a port that is gone
        QVERIFY(!h.timerRunning);
        QVERIFY(!h.engine.running());
    }

    void theUsbRouteWritesFixedCountsWithoutWaiting()
    {
        Harness h("00003\r\n12345678\r\n123456789\r\nABCDEF123456\r\n", image::usbSender());
        h.start();
        h.firePause();
        h.firePause();
        QCOMPARE(h.writes, (std::vector<std::string>{"=L", "00003", "bytes:12345678\r\n"}));
        QCOMPARE(h.pendingPause, 1); // a millisecond between records, no reply awaited
        QVERIFY(!h.timerRunning);
        h.fireAllPauses();
        QCOMPARE(h.records(), (std::vector<std::string>{"bytes:12345678\r\n", "bytes:123456789\r\n",
                                                        "bytes:ABCDEF12345"}));
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Completed));
        QVERIFY(h.messages.empty()); // no verdict

        Harness big("00040\r\n", image::usbSender());
        big.start();
        big.firePause();
        big.collected = "@E";
        big.firePause();
        QCOMPARE(big.outcome, std::optional(TransferOutcome::TooBig));
        QCOMPARE(big.messages, std::vector<std::string>{"Error. File too big."});
    }

    void recordsOnTheSerialRoute()
    {
        Harness h("00003\r\n12345678\r\n123456789\r\nABCDEF123456\r\n");
        h.toFirstRecord();
        h.answerAll("C", "CL");
        QCOMPARE(h.records(), (std::vector<std::string>{"012345678", "123456789", "DEF123456"}));
    }

    void aRawSendWaitsForTheHeadersReplyAndEndsOnQ()
    {
        Harness h(tableFile("0010", 16, 28), raw::serialSender());
        h.start();
        QCOMPARE(h.writes, std::vector<std::string>{"=Q"});
        h.firePause();
        QCOMPARE(h.writes.back(), std::string("00010")); // 16 records announced
        h.firePause();
        QVERIFY(h.timerRunning); // the header waits for its "C"
        QCOMPARE(h.writes.size(), std::size_t(2));
        h.engine.received("C");
        QCOMPARE(h.writes.back(), std::string(27, '0') + "0"); // records go whole
        h.answerAll("C", "CQ");
        QCOMPARE(h.records().size(), std::size_t(16));
        QCOMPARE(h.outcome, std::optional(TransferOutcome::SentOk));
        QCOMPARE(h.messages, std::vector<std::string>{"Sent OK!"});

        // A "C" that comes during the header's pause ends its wait too.
        Harness quick(tableFile("00002", 2, 28), raw::serialSender());
        quick.start();
        quick.firePause();
        quick.engine.received("C");
        quick.firePause();
        QCOMPARE(quick.writes.size(), std::size_t(3));
    }

    void anEToTheRawHeaderStillLetsTheFirstRecordGo()
    {
        Harness h(tableFile("01000", 4096, 28), raw::serialSender());
        h.start();
        h.firePause();
        h.engine.received("E");
        h.firePause();
        // Not "too big": the first record goes out, and as the unit refused
        // the load its reply is not waited for.
        QCOMPARE(h.records().size(), std::size_t(1));
        QVERIFY(!h.timerRunning);
        h.fireAllPauses();
        QCOMPARE(h.messages, std::vector<std::string>{"Error!"});
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Error));
    }

    void aMultichirpSendAcknowledgesEveryLineItself()
    {
        Harness h(tableFile("00A1234", 10, 36), multichirp::serialSender());
        h.start();
        QCOMPARE(h.writes, std::vector<std::string>{"=E2C"});
        QVERIFY(h.timerRunning);
        h.engine.received("@");
        QCOMPARE(h.writes, (std::vector<std::string>{"=E2C", "", "=L"}));
        QVERIFY(h.timerRunning);
        h.engine.received("@");
        h.firePause();
        QCOMPARE(h.writes.back(), std::string("00A1234")); // the whole header; 10 records
        h.firePause();
        QCOMPARE(h.writes.size(), std::size_t(5));
        QVERIFY(h.timerRunning);
        h.engine.received("C"); // not the multichirp reply
        QVERIFY(h.timerRunning);
        h.engine.received("@");
        QCOMPARE(h.pendingPause, TransferEngine::kPawSMs);
        // An "@" that comes before the next record is written ends no wait.
        h.engine.received("@");
        h.firePause();
        QCOMPARE(h.writes.size(), std::size_t(6));
        QVERIFY(h.timerRunning);
        for (int i = 0; i < 9; ++i) {
            h.engine.received("@");
            h.firePause();
        }
        QCOMPARE(h.writes.size(), std::size_t(3 + 1 + 10));
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Completed));
        QVERIFY(h.messages.empty()); // no verdict
    }

    void withoutAcknowledgementsAMultichirpIsSpacedByThePausesAlone()
    {
        Harness h(tableFile("003", 3, 36), multichirp::serialSender());
        h.engine.setTestMode(true);
        h.start();
        h.fireAllPauses();
        QCOMPARE(h.writes.size(), std::size_t(3 + 1 + 3));
        QCOMPARE(std::vector<std::string>(h.writes.begin(), h.writes.begin() + 4),
                 (std::vector<std::string>{"=E2C", "", "=L", "003"}));
        QCOMPARE(h.pauses, std::vector<int>(4, TransferEngine::kPawSMs)); // after =L, the header, two records
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Completed));
    }

    void aStartCommandUnansweredStopsTheSend()
    {
        Harness h(tableFile("003", 3, 36), multichirp::serialSender());
        h.start();
        h.engine.received("@");
        h.engine.replyTimedOut(); // "=L" unanswered
        QCOMPARE(h.messages, std::vector<std::string>{"No reply from unit to =L"});
        h.fireAllPauses();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::TimedOut));
        QCOMPARE(h.writes.back(), std::string("=C"));
    }

    void usbRecordCounts_data()
    {
        QTest::addColumn<int>("kind"); // 0 raw, 1 multichirp
        QTest::addColumn<std::string>("line");
        QTest::addColumn<std::string>("written");
        const std::string raw28(28, 'A'), chirp36(36, 'B');
        QTest::newRow("raw") << 0 << raw28 << "bytes:" + raw28 + "\r\n";
        QTest::newRow("raw, long") << 0 << raw28 + "12"
                                   << "bytes:" + raw28 + "12";
        QTest::newRow("multichirp") << 1 << chirp36 << "bytes:" + chirp36 + "\r\n";
        QTest::newRow("multichirp, long") << 1 << chirp36 + "9"
                                          << "bytes:" + chirp36 + "9\r";
    }
    void usbRecordCounts()
    {
        QFETCH(int, kind);
        QFETCH(std::string, line);
        QFETCH(std::string, written);
        Harness h((kind == 0 ? "00001\r\n" : "001\r\n") + line + "\r\n",
                  kind == 0 ? raw::usbSender() : multichirp::usbSender());
        h.start();
        // The multichirp preamble's replies, each after its command.
        h.engine.received("@");
        h.engine.received("@");
        h.fireAllPauses();
        QCOMPARE(h.writes.back(), written);
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Completed));
    }

    void aUsbDeviceThatWillNotOpenStopsTheMultichirpRecords()
    {
        Harness h(tableFile("002", 2, 36), multichirp::usbSender());
        h.usbOpens = false;
        h.start();
        h.engine.received("@");
        h.engine.received("@");
        h.firePause();
        h.firePause();
        QCOMPARE(h.messages, std::vector<std::string>{
                                 "The USB device could not be opened: send stopped at record 0 of 2"});
        h.fireAllPauses();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Error));
        QCOMPARE(h.writes.back(), std::string("=C")); // the unit had its header: cleared
    }

    // A layout's name may be another copy of the same text (another
    // translation unit's literal); the kind is its text.
    void theSenderFollowsTheLayoutsKindByName()
    {
        static const char raw[] = "raw";
        static const char chirp[] = "multichirp";
        table::Layout copy = table::kRaw;
        copy.kind = raw;
        QCOMPARE(table::senderFor(copy, false).startCommands.front().line, std::string("=Q"));
        copy.kind = chirp;
        QCOMPARE(table::senderFor(copy, false).startCommands.front().line, std::string("=E2C"));
        QCOMPARE(table::senderFor(table::kImage, true).recordsAsBytes, true);
    }

    // CRCs computed by hand (CRC-16/XMODEM of the line's four bytes).
    void lutLinesCarryTheCrcOfTheirFirstFourBytes()
    {
        lut::LineCrc crc;
        QCOMPARE(crc.withCrc("00100040"), std::string("001000400BA7"));
        QCOMPARE(crc.withCrc("0FFF0000"), std::string("0FFF00001B8D"));
        QCOMPARE(crc.withCrc("0A"), std::string("0A68AB")); // missing pairs are 0
        // A pair that is not hex keeps the byte the line before left: 0A 00 00 00.
        QCOMPARE(crc.withCrc("ZZ"), std::string("ZZ68AB"));
        QCOMPARE(crc.withCrc("123456789"), std::string("123456789B42C")); // the first eight digits only
    }

    void aLutSendEndsSentOkOnF()
    {
        Harness h(std::string("00100040\r\n0FFF0000\r\n"), lut::serialSender(false));
        h.start();
        QCOMPARE(h.writes, std::vector<std::string>{"=F0100"});
        QCOMPARE(h.pendingPause, lut::kNewDelyMs);
        h.firePause(); // no header: the first line goes out at once
        QCOMPARE(h.writes.back(), std::string("001000400BA7"));
        QVERIFY(h.timerRunning);
        h.engine.received("C");
        QCOMPARE(h.writes.back(), std::string("0FFF00001B8D"));
        h.engine.received("CF");
        QCOMPARE(h.outcome, std::optional(TransferOutcome::SentOk));
        QCOMPARE(h.messages, std::vector<std::string>{"Sent OK!"});

        // "Skip CRC" sends the lines as they stand.
        Harness skip(std::string("00100040\r\n"), lut::serialSender(true));
        skip.start();
        skip.firePause();
        QCOMPARE(skip.writes.back(), std::string("00100040"));
    }

    void aLutCrcErrorSaysBothAndClearsNothing()
    {
        Harness h(std::string("00100040\r\n0FFF0000\r\n0FFF0000\r\n"), lut::serialSender(false));
        h.start();
        h.firePause();
        h.engine.received("C");
        h.engine.received("K");
        h.fireAllPauses();
        QCOMPARE(h.messages, (std::vector<std::string>{"CRC Error!!", "Error!!"}));
        QCOMPARE(h.outcome, std::optional(TransferOutcome::CrcError));
        QCOMPARE(h.writes.size(), std::size_t(3)); // no "=C"
    }

    void aLongLutIsSentWholeAndTheBarStopsAt256()
    {
        std::string text;
        for (int i = 0; i < 300; ++i)
            text += "0FFF0000\r\n";
        Harness h(text, lut::serialSender(false));
        h.start();
        h.firePause();
        for (int i = 0; i < 255; ++i)
            h.engine.received("C");
        h.engine.received("CF"); // the unit has its 256 lines
        // The rest go out without waiting for replies that will not come.
        QCOMPARE(h.writes.size(), std::size_t(1 + 300));
        h.fireAllPauses();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::SentOk));
        QCOMPARE(h.mostShown, std::size_t(256));
        QCOMPARE(h.shownTotal, std::size_t(256));

        // "F" followed by anything is not "Sent OK!".
        Harness echo(std::string("0FFF0000\r\n"), lut::serialSender(false));
        echo.start();
        echo.firePause();
        echo.engine.received("CF@");
        echo.fireAllPauses();
        QCOMPARE(echo.outcome, std::optional(TransferOutcome::Error));
        QVERIFY(echo.messages.empty());
    }

    void theTestLutSendStopsOnKOrEX()
    {
        Harness h(std::string("00100040\r\n0FFF0000\r\n0FFF0000\r\n"), lut::testSender());
        h.start();
        QCOMPARE(h.writes, std::vector<std::string>{"=F0100"});
        QVERIFY(h.timerRunning); // acknowledged
        h.engine.received("@");
        h.firePause();
        QCOMPARE(h.writes.back(), std::string("001000400BA7"));
        QCOMPARE(h.pendingPause, lut::kNewDelyMs); // no reply awaited
        QVERIFY(!h.timerRunning);
        h.engine.received("E");
        h.firePause();
        h.engine.received("X");
        h.firePause();
        QCOMPARE(h.writes.size(), std::size_t(3)); // stopped after the line that saw "EX"
        QCOMPARE(h.messages, std::vector<std::string>{lut::kTestStopMessage});
        QCOMPARE(h.outcome, std::optional(TransferOutcome::CrcError));
    }
};

QTEST_APPLESS_MAIN(TestTransferEngine)
#include "tst_transfer_engine.moc"
