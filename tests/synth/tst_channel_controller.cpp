// The channel and run controls against the simulated unit: the exact lines
// each control sends, the state it leaves, and where a silent unit stops it.
// A control that must not wait is run against a silent unit: a wait would fail it.
#include "channel_controller.h"
#include "sim_backend.h"

#include "sim_unit_fixture.h"

#include <QTest>

using namespace plovan;
using Boxes = std::array<bool, 4>;

class TestChannelController : public QObject, SimUnitFixture {
    Q_OBJECT

    std::unique_ptr<ChannelController> ctl;
    std::vector<std::array<int, 3>> ampCalls; // CtrlReg, AmpMultFact, lines sent before
    bool ampResult = true;

    QStringList lines()
    {
        QStringList out;
        for (const std::string& c : unit().commands())
            out << QString::fromStdString(c);
        return out;
    }
    int sent() { return int(unit().commands().size()); }

private slots:
    void init()
    {
        setUpUnit();
        ampCalls.clear();
        ampResult = true;
        ctl = std::make_unique<ChannelController>(*link, state, hooks);
        ctl->amplitudeChanged = [this] {
            // Amplit reads boxes "3" and "4": the whole chain is ticked before it runs.
            if (state.channelBox != Boxes{true, true, true, true} && state.channelBox != Boxes{})
                return false;
            ampCalls.push_back({state.CtrlReg, state.AmpMultFact, sent()});
            return ampResult;
        };
    }

    void tickingFourFromNothingRunsTheLowerBoxesFirst()
    {
        QVERIFY(ctl->channelBoxClicked(4, true));
        QCOMPARE(lines(), QStringList({"=E0C", "=E0C", "=E0C", "=E0C", "=D1030", "=U", "=D3030", "=U",
                                       "=D7030", "=U", "=DF030", "=U"}));
        const std::vector<std::array<int, 3>> amp{{1, 4, 4}, {3, 2, 6}, {7, 2, 8}, {15, 2, 10}};
        QCOMPARE(ampCalls, amp);
        QCOMPARE(state.channelBox, Boxes({true, true, true, true}));
    }

    void untickingOneClearsEveryHigherBox()
    {
        state.channelBox = {true, true, true, true};
        state.CtrlReg = 15;
        state.AmpMultFact = 2;
        QVERIFY(ctl->channelBoxClicked(1, false));
        QCOMPARE(lines(), QStringList({"=E0C", "=E0C", "=E0C", "=E0C", "=D7030", "=U", "=D3030", "=U",
                                       "=D1030", "=U", "=D0030", "=U"}));
        QCOMPARE(state.channelBox, Boxes({}));
        QCOMPARE(state.CtrlReg, 0);
        QCOMPARE(state.AmpMultFact, 4);
    }

    void singleBox_data()
    {
        QTest::addColumn<Boxes>("before");
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("n");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("write");
        QTest::addColumn<int>("factor");
        QTest::newRow("tick 1 alone") << Boxes{} << 0 << 1 << true << "=D1030" << 4;
        QTest::newRow("untick 1 keeps the factor") << Boxes{true} << 1 << 1 << false << "=D0030" << 2;
        QTest::newRow("tick 2") << Boxes{true} << 1 << 2 << true << "=D3030" << 2;
        QTest::newRow("untick 2") << Boxes{true, true} << 3 << 2 << false << "=D1030" << 4;
        QTest::newRow("untick 4") << Boxes{true, true, true, true} << 15 << 4 << false << "=D7030" << 2;
        // An option set CtrlReg without touching the boxes; a box adds its bit to it.
        QTest::newRow("tick 1 after option 3") << Boxes{} << 4 << 1 << true << "=D5030" << 4;
    }
    void singleBox()
    {
        QFETCH(Boxes, before);
        QFETCH(int, mask);
        QFETCH(int, n);
        QFETCH(bool, ticked);
        QFETCH(QString, write);
        QFETCH(int, factor);
        state.channelBox = before;
        state.CtrlReg = mask;
        state.AmpMultFact = 2;
        ctl->amplitudeChanged = {};
        QVERIFY(ctl->channelBoxClicked(n, ticked));
        QCOMPARE(lines(), QStringList({"=E0C", write, "=U"}));
        QCOMPARE(state.AmpMultFact, factor);
        QCOMPARE(state.channelBox[std::size_t(n - 1)], ticked);
    }

    void silentUnitStopsTheChainAndPutsTheBoxBack()
    {
        silence();
        QVERIFY(!ctl->channelBoxClicked(4, true));
        QCOMPARE(lines(), QStringList({"=E0C"}));
        QCOMPARE(state.channelBox, Boxes({}));
        QCOMPARE(state.CtrlReg, 0);
        QVERIFY(ampCalls.empty());
    }

    void stoppedAmplitudeKeepsOnlyTheBoxCtrlRegTook()
    {
        ampResult = false;
        QVERIFY(!ctl->channelBoxClicked(4, true));
        QCOMPARE(lines(), QStringList({"=E0C", "=E0C", "=E0C", "=E0C"})); // no register-30 write
        QCOMPARE(state.CtrlReg, 1);
        QCOMPARE(state.channelBox, Boxes({true, false, false, false}));
    }

    void masksAndInverseSincWithoutWaits()
    {
        silence();
        link->saveToDds = true; // only the inverse-sinc options take the store head
        std::vector<int> statuzAfter;
        ctl->StatuZ = [&] { statuzAfter.push_back(sent()); };
        state.CtrlReg = 9;
        QVERIFY(ctl->allChannels() && ctl->noChannels());
        QCOMPARE(state.CtrlReg, 9);
        QVERIFY(ctl->resendChannelMask() && ctl->selectOneChannel(3));
        QCOMPARE(state.CtrlReg, 4);
        state.CtrlReg = 15;
        QVERIFY(ctl->resendChannelMask());
        QVERIFY(ctl->invSyncClicked(true) && ctl->inverseSincTicked());
        QVERIFY(ctl->invSyncClicked(false) && !ctl->inverseSincTicked());
        QVERIFY(ctl->inverseSincOption(true) && ctl->inverseSincOption(false));
        QCOMPARE(lines(),
                 QStringList({"=DF030", "=I", "=U", "=D0030", "=I", "=U", "=D9030", "=U", "=D4030", "=I",
                              "=U", "=DF030", "=U", "=D20E0", "=U", "=D60E0", "=U", "=aD20E0", "=aD60E0"}));
        QCOMPARE(statuzAfter, std::vector<int>({18, 19}));
        QCOMPARE(state.channelBox, Boxes({}));
    }

    void secondAmplitude()
    {
        link->setTerminalText("@");
        link->saveToDds = true;
        QVERIFY(ctl->secondAmplitudeChanged(2048));
        QCOMPARE(state.AmP2, std::string("0800"));
        QVERIFY(link->terminalText().startsWith("@amlpitude2= 0800\r\n"));
        QVERIFY(ctl->secondAmplitudeChanged(255));
        QCOMPARE(lines(), QStringList({"=aD08A1", "=aD00A2", "=U", "=aD00A1", "=aDFFA2", "=U"}));
    }

    void silentUnitStopsSecondAmplitudeAtA1()
    {
        silence();
        QVERIFY(!ctl->secondAmplitudeChanged(4095));
        QCOMPARE(lines(), QStringList({"=D0FA1"}));
    }

    void extEnable_data()
    {
        QTest::addColumn<bool>("loop");
        QTest::addColumn<QString>("controlByte");
        QTest::newRow("Loop ticked") << true << "=E83";
        QTest::newRow("Loop unticked") << false << "=EC3";
    }
    void extEnable()
    {
        QFETCH(bool, loop);
        QFETCH(QString, controlByte);
        int loopAt = -1;
        ctl->loopHandler = [&] { return loopAt = sent(), true; };
        QVERIFY(ctl->Command11_Click(loop));
        QCOMPARE(ctl->Command11Caption(), std::string("Stop"));
        QCOMPARE(busyReports, std::vector<bool>({true})); // busy while it runs
        QVERIFY(ctl->Command11_Click(loop));
        QCOMPARE(ctl->Command11Caption(), std::string("Ext Enable"));
        QCOMPARE(lines(), QStringList({"=C", controlByte, "=G", "=C"}));
        QCOMPARE(loopAt, 2);
        QCOMPARE(busyReports, std::vector<bool>({true, false}));
    }

    void initY()
    {
        QVERIFY(ctl->Command48_Click());
        QCOMPARE(ctl->Command48Caption(), std::string("Stop"));
        QCOMPARE(busyReports, std::vector<bool>({true}));
        QVERIFY(ctl->Command48_Click());
        QCOMPARE(lines(), QStringList({"=E03", "=U", "=U", "=EC3", "=C"}));
        QCOMPARE(ctl->Command48Caption(), std::string("Init Y"));
        QCOMPARE(busyReports, std::vector<bool>({true, false}));

        QVERIFY(ctl->Command48_Click());
        link->closePort();
        QVERIFY(!ctl->Command48_Click()); // "=C" refused; no controls without a port
        QCOMPARE(ctl->Command48Caption(), std::string("Init Y"));
        QCOMPARE(busyReports, std::vector<bool>({true, false, true, false}));
    }

    void runStartsStoppedBySilenceRestoreTheButtons()
    {
        silence();
        bool looped = false;
        ctl->loopHandler = [&] { return looped = true; };
        QVERIFY(!ctl->Command11_Click(true));
        QVERIFY(!ctl->Command48_Click());
        QCOMPARE(lines(), QStringList({"=C", "=E03"}));
        QVERIFY(!looped);
        QCOMPARE(ctl->Command11Caption(), std::string("Ext Enable"));
        QCOMPARE(ctl->Command48Caption(), std::string("Init Y"));
        QCOMPARE(busyReports, std::vector<bool>({true, false, true, false}));
    }
};

QTEST_GUILESS_MAIN(TestChannelController)
#include "tst_channel_controller.moc"
