// The VSWR sweep: the phase table, the reply decoding and the file line, and
// whole sweeps against a scripted unit whose replies the test knows, so the
// file can be compared byte for byte with one written here.
#include "fake_backend.h"
#include "link.h"
#include "synth_state.h"
#include "tone_controller.h"
#include "vswr_sweep.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace plovan;

namespace {

// The scripted unit's readings at step k (1-based): 100k + 1 ... 100k + 8.
QByteArray replyFor(int k)
{
    QByteArray r = "@";
    for (int i = 1; i <= 8; ++i)
        r += ' ' + QByteArray::number(100 * k + i, 16).toUpper().rightJustified(3, '0');
    return r + "\r\n";
}

// The file as it should be, written without the code under test.
QByteArray expectedFile(int steps)
{
    QByteArray f = "Velmar Plovan VSWR\r\nFreq\tFwd4\tRev4\tFwd3\tRev3\tFwd2\tRev2\tFwd1\tRev1\r\n";
    for (int k = 1; k <= steps; ++k) {
        f += ' ' + QByteArray::number(46 + 2 * k) + ' ';
        for (int i = 1; i <= 8; ++i)
            f += "\t " + QByteArray::number(100 * k + i) + ' ';
        f += "\r\n";
    }
    return f;
}

} // namespace

class TestVswr : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    Link link;
    FakeBackend* fake = nullptr;
    SynthState state;
    SynthHooks hooks;
    std::unique_ptr<ToneController> tone;
    std::unique_ptr<VswrSweep> sweep;
    int avCount = 0;
    std::function<void(int k)> onAv; // replaces the reply to the k-th "=AV"

    QByteArray fileText(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        auto backend = std::make_unique<FakeBackend>();
        fake = backend.get();
        avCount = 0;
        onAv = nullptr;
        fake->responder = [this](const QByteArray& w) -> QByteArray {
            if (w != "=AV\r\n") return ackEveryLine(w);
            ++avCount;
            if (onAv) {
                onAv(avCount);
                return {};
            }
            return replyFor(avCount);
        };
        link.setBackend(std::move(backend));
        QVERIFY(link.openPort());
        link.setAckTimeoutMs(1000);
        tone = std::make_unique<ToneController>(link, state, hooks);
        sweep = std::make_unique<VswrSweep>(link, *tone);
    }
    void cleanup()
    {
        sweep.reset();
        link.closePort();
    }

    void phaseWordsAndTheWorkedReply()
    {
        QCOMPARE(vswr::kSteps, 24);
        QCOMPARE(vswr::phaseLines(1), (std::vector<std::string>{"=D2A80", "=D7181"})); // 10865
        QCOMPARE(vswr::phaseLines(12), (std::vector<std::string>{"=D0080", "=D0081"}));
        std::string why;
        const auto values = vswr::decodeReply(" 1A2 0B3 0C4 0D5 0E6 0F7 100 211\r\n", &why);
        QVERIFY(values);
        QCOMPARE(vswr::dataLine(60, *values),
                 std::string(" 60 \t 418 \t 179 \t 196 \t 213 \t 230 \t 247 \t 256 \t 529 "));
        QCOMPARE(vswr::columnsLine(), std::string("Freq\tFwd4\tRev4\tFwd3\tRev3\tFwd2\tRev2\tFwd1\tRev1"));
        // Acknowledgements in front of the fields are ignored.
        QVERIFY(vswr::decodeReply("@@@ 1A2 0B3 0C4 0D5 0E6 0F7 100 211", &why));
    }

    void malformedRepliesAreRefused_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("why");
        QTest::newRow("short") << "@??\r\n"
                               << "has 5 characters, not 34";
        QTest::newRow("not hex") << " 1A2 0B3 0C4 0G5 0E6 0F7 100 211"
                                 << "Rev3 \" 0G5\" is not a separator";
        QTest::newRow("shifted") << "1A2 0B3 0C4 0D5 0E6 0F7 100 2110"
                                 << "Fwd4 \"1A2 \" is not a separator";
        QTest::newRow("nine fields") << "@ 0AA 1A2 0B3 0C4 0D5 0E6 0F7 100 211\r\n"
                                     << "reply has 9 fields, not eight";
        QTest::newRow("ten fields") << " 0AA 0AB 1A2 0B3 0C4 0D5 0E6 0F7 100 211"
                                    << "reply has 10 fields, not eight";
    }
    void malformedRepliesAreRefused()
    {
        QFETCH(QString, reply);
        QFETCH(QString, why);
        std::string error;
        QVERIFY(!vswr::decodeReply(reply.toStdString(), &error));
        QVERIFY2(QString::fromStdString(error).contains(why), error.c_str());
    }

    void aWholeSweepWritesTheFileExactly()
    {
        const QString path = dir.filePath("run.swr");
        QVERIFY(sweep->start(path, nullptr));
        QSignalSpy done(sweep.get(), &VswrSweep::finished);
        sweep->runToEnd();
        QVERIFY(done.wait(10000));
        QCOMPARE(done.first().first().toBool(), true);
        QCOMPARE(fileText(path), expectedFile(24));
        QCOMPARE(avCount, 24);
        QCOMPARE(fake->lines().last(), QString("=C"));
        // Step 12's phase word is 0; the last step tunes 94 MHz.
        const QStringList lines = fake->lines();
        QVERIFY(lines.contains("=D0080") && lines.contains("=D0081"));
    }

    void theLastLineIsKeptWhenItsReplyComesLate()
    {
        onAv = [this](int k) { fake->deliverLater(replyFor(k), k == 24 ? 600 : 0); };
        const QString path = dir.filePath("late.swr");
        QVERIFY(sweep->start(path, nullptr));
        QSignalSpy done(sweep.get(), &VswrSweep::finished);
        sweep->runToEnd();
        QVERIFY(done.wait(10000));
        QCOMPARE(fileText(path), expectedFile(24));
    }

    void aBadReplyWritesNothingAndTheStepIsMeasuredAgain()
    {
        onAv = [this](int k) {
            fake->deliverLater(k == 3 ? QByteArray("@ 1A2 0B3\r\n") : replyFor(k < 3 ? k : k - 1));
        };
        const QString path = dir.filePath("bad.swr");
        QVERIFY(sweep->start(path, nullptr));
        QSignalSpy failed(sweep.get(), &VswrSweep::stepFailed);
        sweep->runToEnd();
        QVERIFY(failed.wait(5000));
        QCOMPARE(failed.first().first().toInt(), 52);
        QCOMPARE(fileText(path), expectedFile(2));
        QVERIFY(link.terminalText().contains("52 MHz"));
        // "Next >>" measures 52 MHz again, with the same phase word.
        QCOMPARE(sweep->nextMHz(), 52);
        QSignalSpy recorded(sweep.get(), &VswrSweep::recorded);
        sweep->step();
        QVERIFY(recorded.wait(5000));
        QCOMPARE(recorded.first().first().toInt(), 52);
        QCOMPARE(fileText(path), expectedFile(3));
        QCOMPARE(fake->lines().count("=D2C80"), 2); // step 3 (11492 = 2CE4), twice
    }

    void aMissingReplyTimesOutAndAStrayLineIsNotWritten()
    {
        onAv = [](int) {};
        const QString path = dir.filePath("silent.swr");
        QVERIFY(sweep->start(path, nullptr));
        fake->deliverNow(replyFor(1)); // no step waits for it
        QSignalSpy failed(sweep.get(), &VswrSweep::stepFailed);
        sweep->step();
        QVERIFY(failed.wait(5000));
        QVERIFY(failed.first().at(1).toString().contains("No reply from unit to =AV at 48 MHz"));
        QCOMPARE(fileText(path), expectedFile(0));
        fake->deliverNow(replyFor(1)); // too late: not written
        QCOMPARE(fileText(path), expectedFile(0));
        sweep->stop();
        QVERIFY(!sweep->running());
    }

    void aSavedFileReadsBack()
    {
        const QString path = dir.filePath("saved.swr");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(expectedFile(3) + "rubbish\r\n");
        f.close();
        const auto read = vswr::readFile(path.toStdString());
        QVERIFY(read);
        QCOMPARE(read->rows.size(), std::size_t(3));
        QCOMPARE(read->rows[2].mhz, 52.0);
        QCOMPARE(read->rows[2].values[7], std::uint16_t(308));
        QCOMPARE(read->notes, std::vector<std::string>{"line 6 is not a frequency and eight readings"});
    }
};

QTEST_MAIN(TestVswr)
#include "tst_vswr.moc"
