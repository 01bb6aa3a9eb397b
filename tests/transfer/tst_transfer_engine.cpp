// The transfer engine driven by hand: replies fed byte by byte and in bulk,
// pauses and time-outs fired by the test, no event loop and no port.
#include "table_send.h"

#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <clocale>
#include <map>
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

// --- a unit on a clock ---

// What the engine wrote, as the unit sees it.
struct Written {
    enum Kind { Command, Header, Record, Blank } kind = Command;
    std::size_t index = 0; // 1-based among its kind
    std::size_t total = 0; // records the header announced (LUT: 256)
    std::string text;
};
// A reply that is the port going away.
const std::string kLost = "\x01lost";
// A reply `delayMs` after the line that asks it.
struct Reply {
    int delayMs = 0;
    std::string bytes;
};
using Replies = std::vector<Reply>;
using UnitFn = std::function<Replies(const Written&)>;

enum class Sender {
    ImageSerial,
    ImageUsb,
    ImageUsbTest,
    RawSerial,
    RawUsb,
    ChirpSerial,
    ChirpUsb,
    Lut,
    TestLut
};

SenderConfig configFor(Sender sender)
{
    switch (sender) {
    case Sender::ImageSerial: return image::serialSender();
    case Sender::ImageUsb: return image::usbSender();
    case Sender::ImageUsbTest: return image::usbTestSender();
    case Sender::RawSerial: return raw::serialSender();
    case Sender::RawUsb: return raw::usbSender();
    case Sender::ChirpSerial: return multichirp::serialSender();
    case Sender::ChirpUsb: return multichirp::usbSender();
    case Sender::Lut: return lut::serialSender(false);
    case Sender::TestLut: return lut::testSender();
    }
    return image::serialSender();
}

// The unit as the senders expect it, answering after `delayMs`: "@" to each
// command; to the header nothing (image), "C" (raw) or "@" (multichirp);
// to each record "C" ("@" for multichirp), and the success letter after
// the last record's reply.
UnitFn soundUnit(Sender sender, int delayMs = 0)
{
    return [sender, delayMs](const Written& w) -> Replies {
        const bool chirp = sender == Sender::ChirpSerial || sender == Sender::ChirpUsb;
        const bool raw = sender == Sender::RawSerial || sender == Sender::RawUsb;
        const bool lutLoad = sender == Sender::Lut || sender == Sender::TestLut;
        const std::string letter = raw ? "Q" : lutLoad ? "F" : "L";
        switch (w.kind) {
        case Written::Command: return {{delayMs, "@"}};
        case Written::Blank: return {};
        case Written::Header:
            if (chirp) return {{delayMs, "@"}};
            if (w.total == 0) return {{delayMs, letter}};
            return raw ? Replies{{delayMs, "C"}} : Replies{};
        case Written::Record:
            if (chirp) return {{delayMs, "@"}};
            if (w.index == w.total) return {{delayMs, "C" + letter}};
            return {{delayMs, "C"}};
        }
        return {};
    };
}

// The engine with a unit on a clock: pauses, reply time-outs and the unit's
// replies are events in time order; the run ends when the send does.
struct Bench {
    std::int64_t now = 0;
    std::uint64_t seq = 0;
    std::map<std::pair<std::int64_t, std::uint64_t>, std::function<void()>> events;
    std::optional<std::pair<std::int64_t, std::uint64_t>> pauseAt, timerAt;
    int ackTimeoutMs = 3000;
    UnitFn unit;
    std::size_t failRecordWrite = 0; // this record's write fails (USB gone); 0 = none
    std::vector<std::string> writes;
    std::vector<std::string> messages;
    std::optional<TransferOutcome> outcome;
    bool sawClearing = false;
    std::size_t commands = 0, records = 0;
    bool headerDone = false;
    std::istringstream file;
    bool hasHeader;
    std::size_t total = 0;
    TransferEngine engine;

    Bench(Sender sender, const std::string& text, UnitFn u)
        : unit(std::move(u)), file(text), hasHeader(configFor(sender).header != nullptr),
          engine(configFor(sender), hooks())
    {
    }
    std::pair<std::int64_t, std::uint64_t> at(std::int64_t ms, std::function<void()> f)
    {
        const auto key = std::make_pair(now + ms, seq++);
        events.emplace(key, std::move(f));
        return key;
    }
    void cancelEvent(std::optional<std::pair<std::int64_t, std::uint64_t>>& key)
    {
        if (key) events.erase(*key);
        key.reset();
    }
    std::string take(const std::string& line, bool asRecordBytes)
    {
        Written w;
        std::string text = line;
        if (asRecordBytes && text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
            text.resize(text.size() - 2);
        w.text = text;
        if (!asRecordBytes && !text.empty() && text[0] == '=') {
            w.kind = Written::Command;
            w.index = ++commands;
        }
        else if (!asRecordBytes && text.empty()) {
            w.kind = Written::Blank;
        }
        else if (hasHeader && !headerDone) {
            headerDone = true;
            w.kind = Written::Header;
        }
        else {
            w.kind = Written::Record;
            w.index = ++records;
            if (failRecordWrite != 0 && w.index == failRecordWrite) {
                --records;
                return "USB write failed (the USB device was unplugged)";
            }
        }
        w.total = engine.recordsAnnounced();
        writes.push_back(asRecordBytes ? "bytes:" + text : text);
        for (const Reply& r : unit(w)) {
            if (r.bytes == kLost)
                at(r.delayMs, [this] { engine.connectionLost(); });
            else if (!r.bytes.empty())
                at(r.delayMs, [this, b = r.bytes] { engine.received(b); });
        }
        return {};
    }
    TransferEngine::Hooks hooks()
    {
        TransferEngine::Hooks h;
        h.write = [this](const std::string& l) { return take(l, false); };
        h.writeBytes = [this](const std::string& b) { return take(b, true); };
        h.pause = [this](int ms) {
            cancelEvent(pauseAt);
            pauseAt = at(ms, [this] {
                pauseAt.reset();
                engine.pauseDone();
            });
        };
        h.replyTimer = [this](bool run) {
            cancelEvent(timerAt);
            if (run && ackTimeoutMs > 0)
                timerAt = at(ackTimeoutMs, [this] {
                    timerAt.reset();
                    engine.replyTimedOut();
                });
        };
        h.message = [this](const std::string& m) { messages.push_back(m); };
        h.progress = [](std::size_t, std::size_t) {};
        h.clearing = [this] { sawClearing = true; };
        h.finished = [this](TransferOutcome o) { outcome = o; };
        h.now = [this] { return now; };
        return h;
    }
    // Runs the send to its end, or until `limitMs`.
    void run(std::int64_t limitMs = 600000)
    {
        if (!engine.start(file)) return;
        while (engine.running() && !events.empty() && events.begin()->first.first <= limitMs) {
            auto it = events.begin();
            now = it->first.first;
            auto f = std::move(it->second);
            events.erase(it);
            f();
        }
    }
    std::size_t clears() const { return std::size_t(std::count(writes.begin(), writes.end(), "=C")); }
};

// A unit that answers as the sound one except where `change` says otherwise
// (an empty optional: as the sound unit).
UnitFn unitWith(Sender sender, std::function<std::optional<Replies>(const Written&)> change, int delayMs = 0)
{
    const UnitFn sound = soundUnit(sender, delayMs);
    return [sound, change](const Written& w) {
        if (auto r = change(w)) return *r;
        return sound(w);
    };
}

std::string lutFile(std::size_t lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines; ++i)
        text += "0FFF0000\r\n";
    return text;
}

} // namespace

Q_DECLARE_METATYPE(Sender)
Q_DECLARE_METATYPE(UnitFn)

namespace {
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
        bool usbOpens = true;                      // whether writeBytes finds its route
        std::size_t mostShown = 0, shownTotal = 0; // the progress reported
        std::int64_t clock = 0;                    // moved on by the pauses fired
        std::istringstream file;
        TransferEngine engine;

        explicit Harness(const std::string& text, SenderConfig config = image::serialSender())
            : file(text), engine(std::move(config), hooks())
        {
        }
        TransferEngine::Hooks hooks()
        {
            TransferEngine::Hooks h;
            h.write = [this](const std::string& l) {
                writes.push_back(l);
                return std::string();
            };
            h.writeBytes = [this](const std::string& b) {
                if (!usbOpens) return std::string("no USB device attached");
                writes.push_back("bytes:" + b);
                return std::string();
            };
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
            h.now = [this] { return clock; };
            return h;
        }
        void start() { engine.start(file); }
        // Ends the pause the engine waits in, if any.
        bool firePause()
        {
            if (pendingPause < 0) return false;
            clock += std::exchange(pendingPause, -1);
            engine.pauseDone();
            return true;
        }
        void fireAllPauses()
        {
            while (firePause()) {
            }
        }
        // Starts an image send, the unit answering "=L" at once, and takes it
        // to its first record's wait.
        void toFirstRecord()
        {
            start();
            engine.received("@");
            firePause();
            firePause();
        }
        // Answers each record with `reply` until the engine stops waiting.
        void answerAll(const std::string& reply, const std::string& last)
        {
            while (engine.running() && timerRunning) {
                const bool isLast = engine.recordsSent() == engine.recordsAnnounced();
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
        h.engine.received("@");
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
        QCOMPARE(h.messages, std::vector<std::string>{"Error. File too big. (the file has 64 records)"});
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
        QTest::addColumn<int>("stop"); // 0 time-out, 1 cancel, 2 file ends early, 3 a line too long
        QTest::addColumn<std::string>("message");
        QTest::addColumn<TransferOutcome>("outcome");
        QTest::newRow("time-out") << 0 << std::string("No reply from unit to record 2 of 3")
                                  << TransferOutcome::TimedOut;
        QTest::newRow("cancel") << 1 << std::string("File send cancelled at record 2 of 3")
                                << TransferOutcome::Cancelled;
        QTest::newRow("file ends") << 2 << std::string("File ends after 1 of 3 records")
                                   << TransferOutcome::FileEnded;
        QTest::newRow("a line too long")
            << 3 << std::string("Line 3 is longer than 4096 characters: send stopped after 1 of 3 records")
            << TransferOutcome::Error;
    }
    void stopsThatLeaveTheUnitMidLoadClearIt()
    {
        QFETCH(int, stop);
        QFETCH(std::string, message);
        QFETCH(TransferOutcome, outcome);
        Harness h(stop == 3 ? imageFile("00003", 1) + std::string(5000, 'A') + "\r\n"
                            : imageFile("00003", stop == 2 ? 1 : 3));
        h.toFirstRecord();
        h.engine.received("C");
        if (stop == 0) h.engine.replyTimedOut();
        if (stop == 1) {
            h.engine.cancel(); // at once, its record unanswered
            h.engine.received("C");
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
        // The record on its way, as the time-out counts.
        QCOMPARE(h.messages, std::vector<std::string>{"Connection lost at record 2 of 3"});
        QCOMPARE(h.writes.size(), written); // nothing more is written to a port that is gone
        QVERIFY(!h.timerRunning);
        QVERIFY(!h.engine.running());
    }

    void theUsbRouteWritesFixedCountsWithoutWaiting()
    {
        Harness h("00003\r\n12345678\r\n123456789\r\nABCDEF123456\r\n", image::usbSender());
        h.start();
        h.engine.received("@");
        h.firePause();
        h.firePause();
        QCOMPARE(h.writes, (std::vector<std::string>{"=L", "00003", "bytes:12345678\r\n"}));
        QCOMPARE(h.pendingPause, 1); // a millisecond between records, no reply awaited
        QVERIFY(!h.timerRunning);
        h.fireAllPauses();
        QCOMPARE(h.records(), (std::vector<std::string>{"bytes:12345678\r\n", "bytes:123456789\r\n",
                                                        "bytes:ABCDEF12345"}));
        // The unit's replies, read as they come, give the serial route's verdict.
        QVERIFY(h.timerRunning);
        h.engine.received("CCC");
        h.engine.received("L");
        QCOMPARE(h.outcome, std::optional(TransferOutcome::SentOk));
        QCOMPARE(h.messages, std::vector<std::string>{"Sent OK!"});

        Harness big("00040\r\n", image::usbSender());
        big.start();
        big.firePause();
        big.engine.received("@E");
        big.firePause();
        QCOMPARE(big.outcome, std::optional(TransferOutcome::TooBig));
        QCOMPARE(big.messages, std::vector<std::string>{"Error. File too big. (the file has 64 records)"});
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
        // The Part never aborts a multichirp load: nothing clears the unit.
        QCOMPARE(h.writes.back(), std::string("=L"));
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
        // The replies to the start commands, each after its command.
        h.engine.received("@");
        if (kind == 1) h.engine.received("@");
        h.firePause();
        h.firePause();
        if (kind == 0) h.engine.received("C"); // the raw header's reply
        h.fireAllPauses();
        QCOMPARE(h.writes.back(), written);
        if (kind == 0) h.engine.received("CQ");
        QCOMPARE(h.outcome, std::optional(kind == 0 ? TransferOutcome::SentOk : TransferOutcome::Completed));
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
        QCOMPARE(h.messages,
                 std::vector<std::string>{"no USB device attached: send stopped at record 0 of 2"});
        h.fireAllPauses();
        QCOMPARE(h.outcome, std::optional(TransferOutcome::Error));
        QCOMPARE(h.writes.back(), std::string("002")); // no abort sequence for a LUT
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

    // The table of unit behaviours: each row a unit that answers (or fails to)
    // in its own way, run against a sender on a clock; what the send must come
    // to, what it says, and whether it clears the unit. Rows are named by the
    // item of issue 25 they hold to.
    void unitBehaviours_data()
    {
        QTest::addColumn<Sender>("sender");
        QTest::addColumn<std::string>("file");
        QTest::addColumn<UnitFn>("unit");
        QTest::addColumn<int>("ackTimeoutMs");
        QTest::addColumn<bool>("testMode");
        QTest::addColumn<int>("stopAtMs");        // a stop signal then; -1 none
        QTest::addColumn<int>("failRecordWrite"); // that record's write fails; 0 none
        QTest::addColumn<TransferOutcome>("outcome");
        QTest::addColumn<QString>("verdict"); // a pattern the result's verdict matches whole
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("clears");  // "=C" written
        QTest::addColumn<int>("written"); // records written; -1 not looked at

        const auto row = [](const char* name, Sender sender, const std::string& file, UnitFn unit,
                            TransferOutcome outcome, const QString& verdict, const QStringList& messages,
                            int clears, int written, int ackTimeoutMs = 3000, bool testMode = false,
                            int stopAtMs = -1, int failRecordWrite = 0) {
            QTest::newRow(name) << sender << file << unit << ackTimeoutMs << testMode << stopAtMs
                                << failRecordWrite << outcome << verdict << messages << clears << written;
        };
        const std::string ten = imageFile("0000A", 10);
        const std::string sixtyFour = imageFile("00040", 64);
        using W = Written;
        using O = TransferOutcome;
        // A record's reply changed; every other line answered as the unit does.
        const auto onRecord = [](Sender sender, std::size_t n, Replies r, int delayMs = 0) {
            return unitWith(
                sender,
                [n, r](const W& w) -> std::optional<Replies> {
                    if (w.kind == W::Record && w.index == n) return r;
                    return std::nullopt;
                },
                delayMs);
        };
        // Silent from record `n` on (the unit stopped taking the load).
        const auto silentFrom = [](Sender sender, std::size_t n) {
            return unitWith(sender, [n](const W& w) -> std::optional<Replies> {
                if (w.kind == W::Record && w.index >= n) return Replies{};
                return std::nullopt;
            });
        };
        const auto lastAnswered = [](Sender sender, Replies r) {
            return unitWith(sender, [r](const W& w) -> std::optional<Replies> {
                if (w.kind == W::Record && w.index == w.total) return r;
                return std::nullopt;
            });
        };
        // "E" to the header after `delayMs` (a load too big), silence after it.
        const auto refusing = [](Sender sender, int delayMs) {
            return unitWith(
                sender,
                [delayMs](const W& w) -> std::optional<Replies> {
                    if (w.kind == W::Header) return Replies{{delayMs, "E"}};
                    if (w.kind == W::Record) return Replies{};
                    return std::nullopt;
                },
                delayMs);
        };
        const QString tooBig =
            "Error. File too big: the unit refused the header announcing 64 records \\(\"E\"\\)";
        const QStringList tooBigSaid{"Error. File too big. (the file has 64 records)"};

        // --- 1. wrong bytes to the unit ---
        row("1: E 400 ms late to the header, serial", Sender::ImageSerial, sixtyFour,
            refusing(Sender::ImageSerial, 400), O::TooBig, tooBig, tooBigSaid, 0, 0);
        row("1: E 400 ms late to the header, USB", Sender::ImageUsb, sixtyFour,
            refusing(Sender::ImageUsb, 400), O::TooBig, tooBig, tooBigSaid, 0, 0);
        row("1: E 400 ms late to the header, Command57", Sender::ImageUsbTest, sixtyFour,
            refusing(Sender::ImageUsbTest, 400), O::TooBig, tooBig, tooBigSaid, 0, 0);
        row("1: E 400 ms late to the raw header, USB", Sender::RawUsb, tableFile("00040", 64, 28),
            refusing(Sender::RawUsb, 400), O::TooBig, tooBig, tooBigSaid, 0, 0);
        row("1: LUT: CF at line 100 is not the end", Sender::Lut, lutFile(256),
            unitWith(Sender::Lut,
                     [](const W& w) -> std::optional<Replies> {
                         if (w.kind != W::Record) return std::nullopt;
                         if (w.index == 100) return Replies{{0, "CF"}};
                         return Replies{{0, "C"}};
                     }),
            O::Error, "the unit answered \"C\" to the last record but never sent \"F\"", {}, 0, 256);
        row("1: LUT: a unit echoing its lines ends on F", Sender::Lut, lutFile(256),
            unitWith(Sender::Lut,
                     [](const W& w) -> std::optional<Replies> {
                         if (w.kind != W::Record) return std::nullopt;
                         return Replies{{0, w.text + (w.index == 256 ? "CF" : "C")}};
                     }),
            O::SentOk, "Sent OK!", {"Sent OK!"}, 0, 256);
        row("1: LUT of 300 lines: the F comes a moment after line 256's C", Sender::Lut, lutFile(300),
            unitWith(Sender::Lut,
                     [](const W& w) -> std::optional<Replies> {
                         if (w.kind != W::Record) return std::nullopt;
                         if (w.index == 256) return Replies{{0, "C"}, {100, "F"}};
                         if (w.index > 256) return Replies{};
                         return Replies{{0, "C"}};
                     }),
            O::SentOk, "Sent OK!", {"Sent OK!"}, 0, 300);
        row("1: a lower-case k is no CRC verdict", Sender::ImageSerial, ten,
            onRecord(Sender::ImageSerial, 3, {{0, "k"}}), O::Error,
            "the unit answered \"k\" to record 3 of 10, neither \"C\" nor \"K\": send stopped; unit cleared",
            {}, 3, 3);
        row("1: LUT time-out clears nothing", Sender::Lut, lutFile(256), silentFrom(Sender::Lut, 3),
            O::TimedOut, "No reply from unit to record 3 of 256", {"No reply from unit to record 3 of 256"},
            0, 3);
        row("1: multichirp time-out goes on", Sender::ChirpSerial, tableFile("00A", 10, 36),
            onRecord(Sender::ChirpSerial, 4, {}), O::Unacknowledged,
            "Sent, but 1 of 10 records were not acknowledged within the reply time-out",
            {"1 of 10 records were not acknowledged within the reply time-out"}, 0, 10);

        // --- 2. wrong or missing verdicts ---
        row("2: USB image: the unit's verdict", Sender::ImageUsb, sixtyFour, soundUnit(Sender::ImageUsb),
            O::SentOk, "Sent OK!", {"Sent OK!"}, 0, 64);
        row("2: USB image, slow unit", Sender::ImageUsb, sixtyFour, soundUnit(Sender::ImageUsb, 300),
            O::SentOk, "Sent OK!", {"Sent OK!"}, 0, 64);
        row("2: USB raw: the unit's verdict", Sender::RawUsb, tableFile("00010", 16, 28),
            soundUnit(Sender::RawUsb), O::SentOk, "Sent OK!", {"Sent OK!"}, 0, 16);
        row("2: USB multichirp: no verdict letters", Sender::ChirpUsb, tableFile("00A", 10, 36),
            soundUnit(Sender::ChirpUsb), O::Completed, "Sent \\(the unit gives no verdict on this route\\)",
            {}, 0, 10);
        row("2: USB CRC error stops the records", Sender::ImageUsb, sixtyFour,
            onRecord(Sender::ImageUsb, 20, {{5, "K"}}, 5), O::CrcError,
            "CRC error at record 20 of 64 \\(the unit answered \"K\"\\); unit cleared",
            {"CRC Error. File send aborted", "Error!"}, 3, -1);
        row("2: USB write fails", Sender::ImageUsb, sixtyFour, soundUnit(Sender::ImageUsb), O::Error,
            "USB write failed \\(the USB device was unplugged\\): send stopped at record 2 of 64; unit "
            "cleared",
            {"USB write failed (the USB device was unplugged): send stopped at record 2 of 64"}, 3, 2, 3000,
            false, -1, 3);
        row("2: USB write fails, multichirp", Sender::ChirpUsb, tableFile("00A", 10, 36),
            soundUnit(Sender::ChirpUsb), O::Error,
            "USB write failed \\(the USB device was unplugged\\): send stopped at record 0 of 10",
            {"USB write failed (the USB device was unplugged): send stopped at record 0 of 10"}, 0, 0, 3000,
            false, -1, 1);
        row("2: L 250 ms after the last C", Sender::ImageSerial, ten,
            lastAnswered(Sender::ImageSerial, {{0, "C"}, {250, "L"}}), O::SentOk, "Sent OK!", {"Sent OK!"}, 0,
            10, 10000);
        row("2: no success letter", Sender::ImageSerial, ten, lastAnswered(Sender::ImageSerial, {{0, "C"}}),
            O::Error, "the unit answered \"C\" to the last record but never sent \"L\"", {}, 0, 10);
        row("2: lower-case c", Sender::ImageSerial, ten,
            unitWith(Sender::ImageSerial,
                     [](const W& w) -> std::optional<Replies> {
                         if (w.kind == W::Record) return Replies{{0, "c"}};
                         return std::nullopt;
                     }),
            O::Error, "the unit answered \"c\" to the last record but never sent \"L\"", {}, 0, 10);
        row("2: lower-case cl", Sender::ImageSerial, ten, lastAnswered(Sender::ImageSerial, {{0, "cl"}}),
            O::Error, "the unit answered \"cl\" to the last record but never sent \"L\"", {}, 0, 10);
        row("2: CLX", Sender::ImageSerial, ten, lastAnswered(Sender::ImageSerial, {{0, "CLX"}}), O::Error,
            "the unit sent \"CLX\" after the last record: \"L\" was not its last letter", {}, 0, 10);
        row("2: a final CC", Sender::ImageSerial, ten, lastAnswered(Sender::ImageSerial, {{0, "CC"}}),
            O::Error, "the unit answered \"CC\" to the last record but never sent \"L\"", {}, 0, 10);
        row("2: raw, Q mid-load and C last", Sender::RawSerial, tableFile("0000A", 10, 28),
            unitWith(Sender::RawSerial,
                     [](const W& w) -> std::optional<Replies> {
                         if (w.kind == W::Record) return Replies{{0, w.index == 5 ? "CQ" : "C"}};
                         return std::nullopt;
                     }),
            O::Error, "the unit answered \"C\" to the last record but never sent \"Q\"", {}, 0, 10);
        row("2: no-ack against a slow unit", Sender::ImageSerial, ten, soundUnit(Sender::ImageSerial, 500),
            O::Error,
            "acknowledgements off: by the verdict the unit had answered 0 of 10 records and not sent \"L\"",
            {}, 0, 10, 3000, true);
        row("2: a 0-record header unanswered", Sender::ImageSerial, imageFile("00000", 0),
            unitWith(Sender::ImageSerial,
                     [](const W& w) -> std::optional<Replies> {
                         if (w.kind == W::Header) return Replies{};
                         return std::nullopt;
                     }),
            O::Error, "the unit never sent \"L\" for the header announcing 0 records", {}, 0, 0);
        row("2: a 0-record header answered L", Sender::ImageSerial, imageFile("00000", 0),
            soundUnit(Sender::ImageSerial), O::SentOk, "Sent OK!", {"Sent OK!"}, 0, 0);
        row("2: E and no C", Sender::ImageSerial, ten, onRecord(Sender::ImageSerial, 5, {{0, "E"}}), O::Error,
            "Error! The unit answered \"E\" and no \"C\" to record 5 of 10; unit cleared", {"Error!"}, 3, 5);
        row("2: L at record 5 of 10", Sender::ImageSerial, ten, onRecord(Sender::ImageSerial, 5, {{0, "CL"}}),
            O::SentOk, "Sent OK! The unit ended the load at record 5 of 10", {"Sent OK!"}, 0, 5);
        row("2: connection lost after record 1 was answered", Sender::ImageSerial, ten,
            onRecord(Sender::ImageSerial, 2, {{10, kLost}}), O::Lost,
            "Connection lost at record 2 of 10; the unit could not be cleared",
            {"Connection lost at record 2 of 10"}, 0, 2);
        row("2: CRC error at record 7 of 10", Sender::ImageSerial, ten,
            onRecord(Sender::ImageSerial, 7, {{0, "K"}}), O::CrcError,
            "CRC error at record 7 of 10 \\(the unit answered \"K\"\\); unit cleared",
            {"CRC Error. File send aborted", "Error!"}, 3, 7);

        // --- 3. stopping ---
        row("3: a signal mid-load, 200 ms unit", Sender::ImageSerial, imageFile("00064", 100),
            soundUnit(Sender::ImageSerial, 200), O::Cancelled,
            "stopped by SIGINT at record [1-9] of 100; unit cleared", {}, 3, -1, 3000, false, 1500);
        row("3: a signal while waiting for ever", Sender::ImageSerial, ten,
            unitWith(Sender::ImageSerial, [](const W&) -> std::optional<Replies> { return Replies{}; }),
            O::Cancelled, "stopped by SIGINT at record 0 of 10; unit cleared",
            {"stopped by SIGINT at record 0 of 10"}, 3, 0, 0, false, 100000);
        row("3: a signal during a USB load", Sender::ImageUsb, imageFile("01000", 4096),
            soundUnit(Sender::ImageUsb), O::Cancelled,
            "stopped by SIGINT at record [0-9]+ of 4096; unit cleared", {}, 3, -1, 3000, false, 1000);
        row("3: a signal during a LUT load clears nothing", Sender::Lut, lutFile(256),
            soundUnit(Sender::Lut, 50), O::Cancelled, "stopped by SIGINT at record [0-9]+ of 256", {}, 0, -1,
            3000, false, 1000);
    }
    void unitBehaviours()
    {
        QFETCH(Sender, sender);
        QFETCH(std::string, file);
        QFETCH(UnitFn, unit);
        QFETCH(int, ackTimeoutMs);
        QFETCH(bool, testMode);
        QFETCH(int, stopAtMs);
        QFETCH(int, failRecordWrite);
        QFETCH(TransferOutcome, outcome);
        QFETCH(QString, verdict);
        QFETCH(QStringList, messages);
        QFETCH(int, clears);
        QFETCH(int, written);
        Bench bench(sender, file, unit);
        bench.ackTimeoutMs = ackTimeoutMs;
        bench.failRecordWrite = std::size_t(failRecordWrite);
        bench.engine.setTestMode(testMode);
        if (stopAtMs >= 0) bench.at(stopAtMs, [&bench] { bench.engine.cancel("stopped by SIGINT"); });
        bench.run();
        QVERIFY2(!bench.engine.running(), "the send did not end");
        QCOMPARE(bench.outcome, std::optional(outcome));
        const QString said = QString::fromStdString(bench.engine.result().verdict);
        QVERIFY2(QRegularExpression("^" + verdict + "$").match(said).hasMatch(), qPrintable(said));
        QStringList saidMessages;
        for (const std::string& m : bench.messages)
            saidMessages << QString::fromStdString(m);
        // Stop messages name a record that depends on timing; those rows leave them.
        if (stopAtMs < 0 || !messages.isEmpty()) QCOMPARE(saidMessages, messages);
        QCOMPARE(int(bench.clears()), clears);
        QCOMPARE(bench.sawClearing, clears > 0);
        if (written >= 0) QCOMPARE(int(bench.engine.recordsSent()), written);
    }

    // A file that cannot be sent is refused before anything is written.
    void filesThatCannotBeSentWriteNothing_data()
    {
        QTest::addColumn<Sender>("sender");
        QTest::addColumn<std::string>("file");
        QTest::addColumn<QString>("why");
        QTest::newRow("empty image") << Sender::ImageSerial << std::string()
                                     << "the file is empty, it has no header line: nothing sent";
        QTest::newRow("empty LUT") << Sender::Lut << std::string() << "the file is empty: nothing sent";
        QTest::newRow("header with a blank")
            << Sender::ImageSerial << std::string("00003 \r\n000000001\r\n")
            << "header \"00003 \" has no record count that can be read: nothing sent";
        QTest::newRow("binary first line")
            << Sender::RawUsb << std::string("\x01\x02\xff\xfe binary\r\n")
            << "header \"\\x01\\x02\\xFF\\xFE binary\" has no record count that can be read: nothing sent";
        QTest::newRow("a header of NULs") << Sender::ImageSerial << std::string(10000, '\0')
                                          << "line 1 is longer than 4096 characters: nothing sent";
        QTest::newRow("multichirp count unreadable")
            << Sender::ChirpSerial << std::string("0G1\r\n")
            << "header \"0G1\" has no record count that can be read: nothing sent";
    }
    void filesThatCannotBeSentWriteNothing()
    {
        QFETCH(Sender, sender);
        QFETCH(std::string, file);
        QFETCH(QString, why);
        Bench bench(sender, file, soundUnit(sender));
        QCOMPARE(QString::fromStdString(bench.engine.prepare(bench.file)), why);
        QVERIFY(bench.writes.empty());
        QVERIFY(!bench.engine.running());
        // Started anyway, it says why and ends, still without a write.
        std::istringstream again(file);
        QVERIFY(!bench.engine.start(again));
        QCOMPARE(bench.outcome, std::optional(TransferOutcome::NoHeader));
        QVERIFY(bench.writes.empty());
    }

    void theResultLineSaysItAll()
    {
        TransferResult r;
        r.file = "table.plv";
        r.kind = "image";
        r.route = "serial";
        r.sent = 64;
        r.total = 64;
        r.durationMs = 1234;
        r.verdict = "Sent OK!";
        QCOMPARE(resultLine(r), std::string("image table.plv, serial, 64 of 64 records, 1.2 s: Sent OK!"));
        // The time reads the same under any locale.
        const char* before = std::setlocale(LC_NUMERIC, nullptr);
        const std::string saved = before ? before : "C";
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
            QCOMPARE(resultLine(r),
                     std::string("image table.plv, serial, 64 of 64 records, 1.2 s: Sent OK!"));
            std::setlocale(LC_NUMERIC, saved.c_str());
        }
        r.durationMs = 59;
        QCOMPARE(resultLine(r), std::string("image table.plv, serial, 64 of 64 records, 0.1 s: Sent OK!"));
        r.durationMs = 1234;
        r.kind = "LUT";
        r.total = 256;
        QCOMPARE(resultLine(r), std::string("LUT table.plv, serial, 64 of 256 lines, 1.2 s: Sent OK!"));
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
