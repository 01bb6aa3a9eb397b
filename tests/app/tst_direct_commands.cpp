// The direct commands and the bench-test panel, judged by the command lines
// the simulated unit receives through a real Link.
#include "direct_commands.h"
#include "fake_backend.h"
#include "link.h"
#include "sim_backend.h"
#include "sim_link.h"
#include "sim_unit.h"
#include "synth_state.h"
#include "test_panel.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

using namespace plovan;
using Lines = std::vector<std::string>;

namespace {

// A unit that acknowledges every command line and answers "=e" with
// `controlByte`, for read-backs the simulated unit never produces.
std::unique_ptr<FakeBackend> unitAnswering(const QByteArray& controlByte)
{
    auto fake = std::make_unique<FakeBackend>();
    fake->responder = [controlByte](const QByteArray& w) {
        return w == "\r\n" ? QByteArray() : w == "=e\r\n" ? controlByte : QByteArray("@");
    };
    return fake;
}

} // namespace

class TestDirectCommands : public QObject {
    Q_OBJECT

    std::unique_ptr<Link> link;
    std::unique_ptr<SynthState> state;
    std::unique_ptr<DirectCommands> direct;
    sim::SimBackend* sim = nullptr;

    sim::SimUnit& unit() { return sim->unit(); }
    const Lines& received() { return sim->unit().commands(); }
    void makeSilent()
    {
        sim::Faults f;
        f.silent = true;
        unit().setFaults(f);
    }

private slots:
    void init()
    {
        link = makeSimLink(sim);
        QVERIFY(link->portOpen());
        link->setAckTimeoutMs(2000);
        state = std::make_unique<SynthState>();
        direct = std::make_unique<DirectCommands>(*link, *state);
        direct->ledStepMs = 1;
        direct->nPauseMs = 1;
    }
    void cleanup()
    {
        direct.reset();
        state.reset();
        link.reset();
    }

    void setResendsTheChannelMask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("write");
        QTest::newRow("all") << 15 << "=DF030";
        QTest::newRow("none") << 0 << "=D0030";
        QTest::newRow("1 and 3") << 5 << "=D5030";
    }
    void setResendsTheChannelMask()
    {
        QFETCH(int, mask);
        QFETCH(QString, write);
        state->CtrlReg = mask;
        link->saveToDds = true; // the mask write never goes to flash
        QVERIFY(direct->Command13_Click());
        QCOMPARE(received(), (Lines{write.toStdString(), "=U"}));
        QCOMPARE(int(unit().channelMask()), mask);
    }

    void intClockWithLoopTickedEndsWithBit6Clear()
    {
        state->IntClkWrd = "001F";
        direct->loopTicked = true;
        QSignalSpy sent(link.get(), &Link::bytesSent);
        QVERIFY(direct->Command5_Click());
        QCOMPARE(received(), (Lines{"=K001F", "=k", "=E43", "=e", "=E03"}));
        QCOMPARE(int(unit().controlByte()), 0x03);
        QCOMPARE(unit().clockWord(), std::optional<std::uint16_t>(0x001F));
        // The read-back starts on a clean line: a bare line end goes just before it.
        QCOMPARE(sent.size(), 6);
        QCOMPARE(sent.at(3).at(0).toByteArray(), QByteArray("\r\n"));
        QCOMPARE(sent.at(4).at(0).toByteArray(), QByteArray("=e\r\n"));
    }

    void intClockWithLoopUntickedEndsWithBit6Set()
    {
        QVERIFY(direct->Command5_Click());
        QCOMPARE(received(), (Lines{"=K0001", "=k", "=E03", "=e", "=E43"}));
        QCOMPARE(int(unit().controlByte()), 0x43);
    }

    void loopChangesOnlyBit6_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("after");
        QTest::newRow("ticked clears it") << "=ECB" << true << "=E8B";
        QTest::newRow("ticked, already clear") << "=E3F" << true << "=E3F";
        QTest::newRow("ticked, all high bits") << "=EF5" << true << "=EB5";
        QTest::newRow("unticked sets it") << "=E8B" << false << "=ECB";
        QTest::newRow("unticked, already set") << "=E4A" << false << "=E4A";
        QTest::newRow("unticked from zero") << "=E00" << false << "=E40";
    }
    void loopChangesOnlyBit6()
    {
        QFETCH(QString, before);
        QFETCH(bool, ticked);
        QFETCH(QString, after);
        QVERIFY(link->sendWait(before.toStdString()));
        direct->loopTicked = ticked;
        QVERIFY(direct->Check16_Click());
        QCOMPARE(received(), (Lines{before.toStdString(), "=e", after.toStdString()}));
    }

    void loopNeverWritesAByteItCouldNotRead()
    {
        // The unit itself answers with a digit that is not hex.
        auto owned = unitAnswering("@G3\r\n");
        FakeBackend* fake = owned.get();
        link->setBackend(std::move(owned));
        QCOMPARE(link->openPort(), 1);
        direct->loopTicked = true;
        QVERIFY(!direct->Check16_Click());
        QCOMPARE(fake->lines(), QStringList({"", "=e"}));
        QVERIFY(link->terminalText().contains("\"G3\", not a hex byte"));

        // With acknowledgements off the digits come from the terminal as it
        // stands; a stale non-hex tail is refused the same way.
        fake->written.clear();
        fake->responder = {};
        link->setTestMode(true);
        link->setTerminalText("xx@Z1\r\n");
        QVERIFY(!direct->Check16_Click());
        QCOMPARE(fake->lines(), QStringList({"", "=e"}));
    }

    void loopWithAcksOffReadsTheTerminalTail()
    {
        makeSilent();
        link->setTestMode(true);
        link->setTerminalText("@@4A\r\n");
        direct->loopTicked = true;
        QVERIFY(direct->Check16_Click());
        QCOMPARE(received(), (Lines{"=e", "=E0A"}));
    }

    void aSilentUnitStopsAWaitedSeriesAtItsFirstCommand()
    {
        makeSilent();
        link->setAckTimeoutMs(50);
        QVERIFY(!direct->Command26_Click());
        QCOMPARE(received(), (Lines{"=v"}));
        QVERIFY(!direct->Command24_Click());
        QCOMPARE(received(), (Lines{"=v", "=U"}));
        QVERIFY(!direct->Command5_Click());
        QCOMPARE(received().back(), std::string("=K0001"));
        direct->loopTicked = true;
        QVERIFY(!direct->Check16_Click());
        QCOMPARE(received().back(), std::string("=e"));
        QVERIFY(link->terminalText().contains("No reply from unit to =e"));
        QVERIFY(!direct->longRunActive());
    }

    void seriesStopAtTheFirstRefusedSend()
    {
        link->closePort();
        QVERIFY(!direct->Command24_Click());
        QVERIFY(!direct->Command47_Click());
        QVERIFY(!direct->Command37_Click());
        // One refusal each, not one per step.
        QCOMPARE(link->terminalText().count("Port not open"), 3);
        QVERIFY(received().empty());
    }

    void unclearedWaitsEndOnAnEarlierAck()
    {
        QVERIFY(direct->Command49_Click());
        QCOMPARE(received(), (Lines{"=E0C", "=U", "=D1E44", "=U", "=E0C"}));
        QCOMPARE(int(unit().registerValue(0x44)), 0x1E);
        QTRY_COMPARE(link->terminalText().count('@'), 5);

        link->clearTerminal();
        QVERIFY(direct->Command36_Click());
        QCOMPARE(received(), (Lines{"=E0C", "=U", "=D1E44", "=U", "=E0C", "=n", "=n"}));
        // The second "=n" was met by the first one's "@": its own is still on its way.
        QCOMPARE(link->terminalText().count('@'), 1);
        QTRY_COMPARE(link->terminalText().count('@'), 2);
    }

    void ledWalksOneBitAndLeavesTheLastUnwaited()
    {
        QVERIFY(direct->Command37_Click());
        QCOMPARE(received(),
                 (Lines{"=o00", "=o01", "=o02", "=o04", "=o08", "=o10", "=o20", "=o40", "=o80", "=o00"}));
        QCOMPARE(link->terminalText().count('@'), 9);
        QTRY_COMPARE(link->terminalText().count('@'), 10);
    }

    void lodsaUWithAcksOffSendsBackToBackAndStaysLive()
    {
        makeSilent(); // nothing to wait for: every command must go anyway
        link->setTestMode(true);
        int ticksMidway = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] {
            const auto n = received().size();
            if (n > 0 && n < DirectCommands::kLodsaCount) ++ticksMidway;
        });
        ticker.start(0);
        QVERIFY(direct->Command24_Click());
        QCOMPARE(received().size(), std::size_t(DirectCommands::kLodsaCount));
        QVERIFY(std::all_of(received().begin(), received().end(), [](const auto& l) { return l == "=U"; }));
        QVERIFY(ticksMidway > 0);
    }

    void lodsaUStopsWhenCancelled()
    {
        QSignalSpy running(direct.get(), &DirectCommands::longRunChanged);
        bool sawRunning = false;
        QTimer stopper;
        connect(&stopper, &QTimer::timeout, this, [&] {
            if (received().size() < 100) return;
            sawRunning = direct->longRunActive();
            direct->cancel();
            stopper.stop();
        });
        stopper.start(0);
        QVERIFY(!direct->Command24_Click());
        QVERIFY(sawRunning);
        QVERIFY(received().size() >= 100);
        QVERIFY(received().size() < std::size_t(DirectCommands::kLodsaCount));
        QVERIFY(link->terminalText().contains("Lodsa U stopped"));
        QCOMPARE(running.size(), 2);
        QCOMPARE(running.at(0).at(0).toBool(), true);
        QCOMPARE(running.at(1).at(0).toBool(), false);

        // The stop is spent: the next series runs to its end.
        QVERIFY(direct->Command37_Click());
        QCOMPARE(received().back(), std::string("=o00"));
    }

    void typedBytesAreCheckedBeforeSending()
    {
        link->setTestMode(true); // keeps the 2500 writes quick
        QVERIFY(direct->Command25_Click("5", "e4"));
        QCOMPARE(received().size(), std::size_t(DirectCommands::kLodsaCount));
        QCOMPARE(received().front(), std::string("=D05E4"));
        QCOMPARE(int(unit().registerValue(0xE4)), 0x05);

        const auto before = received().size();
        QVERIFY(!direct->Command25_Click("G1", "44"));
        QVERIFY(!direct->Command25_Click("12", ""));
        QVERIFY(!direct->Command46_Click("123"));
        QCOMPARE(received().size(), before);

        link->setTestMode(false);
        QVERIFY(direct->Command46_Click("a3"));
        QCOMPARE(received().back(), std::string("=dA3"));
    }

    void command47WritesEveryByteWithoutWaiting()
    {
        makeSilent();
        QVERIFY(direct->Command47_Click());
        QCOMPARE(received().size(), std::size_t(255));
        QCOMPARE(received().front(), std::string("=D0144"));
        QCOMPARE(received()[9], std::string("=D0A44"));
        QCOMPARE(received().back(), std::string("=DFF44"));
    }

    void ampReadbacksSetTheSliderFirst()
    {
        Lines order;
        direct->hooks.setAmplitudeSlider = [&](int v) {
            order.push_back("slider " + std::to_string(v));
            order.push_back("sent so far " + std::to_string(received().size()));
        };
        QVERIFY(direct->Command43_Click());
        QVERIFY(direct->Command44_Click());
        QCOMPARE(order, (Lines{"slider 1024", "sent so far 0", "slider 0", "sent so far 2"}));
        QCOMPARE(received(), (Lines{"=dA3", "=dA4", "=dA3", "=dA4"}));
    }

    void laserToggleFollowsTheLamp()
    {
        bool lamp = false;
        direct->hooks.laserOn = [&] { return lamp; };
        direct->hooks.showLaser = [&](bool on) { lamp = on; };
        QVERIFY(direct->Command4_Click());
        QVERIFY(!direct->Command4_Click());
        QCOMPARE(received(), (Lines{"=E0F", "=E0C"}));
        link->closePort();
        QVERIFY(!direct->Command4_Click()); // not sent: the lamp stays off
        QVERIFY(!lamp);
    }

    // --- the panels ---

    void panelButtonsReachTheUnit()
    {
        TestPanel panel(*direct);
        DirectCommandPanel unitPanel(*direct);
        panel.show();
        unitPanel.show();
        state->CtrlReg = 15;
        QTest::mouseClick(unitPanel.setButton, Qt::LeftButton);
        QCOMPARE(received(), (Lines{"=DF030", "=U"}));

        panel.loop->click(); // tick "Loop": bit 6 cleared
        QVERIFY(direct->loopTicked);
        QCOMPARE(received().back(), std::string("=E00"));

        panel.saveToDds->click();
        QCOMPARE(link->SavString(), std::string("=aD"));

        QSignalSpy tone(&panel, &TestPanel::toneTextsRequested);
        QTest::mouseClick(panel.set80Button, Qt::LeftButton);
        QCOMPARE(tone.size(), 1);
        QCOMPARE(tone.at(0).at(0).toString(), QString("80"));
        QCOMPARE(tone.at(0).at(1).toString(), QString("1024"));

        link->setTerminalText("old text");
        QTest::mouseClick(panel.terminalClsButton, Qt::LeftButton);
        QVERIFY(link->terminalText().isEmpty());
    }

    void stopButtonEndsTheRunningSeries()
    {
        TestPanel panel(*direct);
        panel.show();
        QVERIFY(!panel.stopButton->isEnabled());
        bool stopWasEnabled = false;
        QTimer stopper;
        connect(&stopper, &QTimer::timeout, this, [&] {
            if (received().size() < 50) return;
            stopWasEnabled = panel.stopButton->isEnabled();
            QTest::mouseClick(panel.stopButton, Qt::LeftButton);
            stopper.stop();
        });
        stopper.start(0);
        QTest::mouseClick(panel.lodsaUButton, Qt::LeftButton);
        QVERIFY(stopWasEnabled);
        QVERIFY(received().size() < std::size_t(DirectCommands::kLodsaCount));
        QVERIFY(!panel.stopButton->isEnabled());
    }
};

QTEST_MAIN(TestDirectCommands)
#include "tst_direct_commands.moc"
