// Chirp programming against the simulated unit, by the exact lines it
// receives: "CHIRP" and "Chirp no U" on the worked values, the channel
// command, the status byte, the one-shot "Save to DDS", the mode switch's
// commands; and the refusals that keep anything from being sent.
#include "chirp_programmer.h"
#include "link.h"
#include "sim_backend.h"
#include "sim_unit_fixture.h"
#include "tone_controller.h"

#include <QTest>
#include <QTimer>
#include <memory>

using namespace plovan;

namespace {

// The amplitude writes of Amplit for amplitude 512 with one channel
// (word 0800) and "Amp Tracking" (0800 to E1/E2); chirp mode: no bodge.
const QStringList kAmplitude512 = {"=D08E3", "=D08E1", "=D00E4", "=D00E2", "=D08A3", "=D00A4"};

const QStringList kRampWorked = {"=D3DC4", "=D70C5", "=D72CA", "=DB0CB", "=D00D0",
                                 "=D04D1", "=D5CD2", "=D00DA", "=D00DB", "=D01DC"};

} // namespace

class TestChirpProgrammer : public QObject, SimUnitFixture {
    Q_OBJECT

    std::unique_ptr<ToneController> tone;
    std::unique_ptr<ChirpProgrammer> chirp;

    // The worked example as the operator leaves it before "CHIRP".
    void workedFields()
    {
        state.frequencyText = "75";
        state.phaseText = "140";
        state.chirpMode = true;
        chirp->chirp.rampTimeText = "20";
        chirp->chirp.dwellMultiplierText = "1";
        chirp->chirp.amplitudeSlider = 512;
    }

private slots:
    void init()
    {
        setUpUnit();
        tone = std::make_unique<ToneController>(*link, state, hooks);
        chirp = std::make_unique<ChirpProgrammer>(*link, state, hooks, *tone);
    }
    void cleanup()
    {
        chirp.reset();
        tone.reset();
        tearDownUnit();
    }

    void chirpWritesTheWorkedExample()
    {
        workedFields();
        state.amplitudeText = "7"; // CHIRP takes the slider's value instead
        QVERIFY(chirp->CHIRP());
        QCOMPARE(newLines(), QStringList({"=r", "=C", "=H00000244DF", "=H00000404DF", "=H0000030030"}) +
                                 kRampWorked + kAmplitude512 + QStringList({"=D60E0", "=U", "=E20"}));
        QCOMPARE(errors, QStringList());

        // The fields as the writes left them (the calculated ones: tst_chirp_calc, tst_chirp_panel).
        QCOMPARE(state.phaseText, std::string("140"));
        QCOMPARE(state.amplitudeText, std::string("512"));
        QCOMPARE(chirp->chirp.dwellMultiplierText, std::string("00001"));
        QCOMPARE(chirp->chirp.rampWordHex, std::string("00001"));
        QCOMPARE(state.ftwH, std::string("45C"));
    }

    void chirpNoULeavesOutResetChannelsAndUpdate()
    {
        workedFields();
        QVERIFY(chirp->ChirpNoU());
        QCOMPARE(newLines(), QStringList({"=H00000244DF", "=H00000404DF"}) + kRampWorked + kAmplitude512 +
                                 QStringList({"=D60E0", "=E20"}));
    }

    void chirpModeIsKeptForAmplit()
    {
        // Even with the mode mirror saying "Single", Amplit inside CHIRP sends no "=E0C".
        workedFields();
        state.chirpMode = false;
        QVERIFY(chirp->CHIRP());
        const QStringList lines = newLines();
        QVERIFY(!lines.contains("=E0C"));
        QCOMPARE(lines.count("=U"), 1);
        QVERIFY(!state.chirpMode);
    }

    void channelCommand_data()
    {
        QTest::addColumn<QList<bool>>("boxes");
        QTest::addColumn<QString>("line");
        // clang-format off
        QTest::newRow("none")            << QList<bool>{false, false, false, false} << "=H0000030030";
        QTest::newRow("1")               << QList<bool>{true,  false, false, false} << "=H0000031030";
        QTest::newRow("1 2")             << QList<bool>{true,  true,  false, false} << "=H0000033030";
        QTest::newRow("1 2 3")           << QList<bool>{true,  true,  true,  false} << "=H0000037030";
        QTest::newRow("all")             << QList<bool>{true,  true,  true,  true}  << "=H000003F030";
        QTest::newRow("highest decides") << QList<bool>{false, true,  false, false} << "=H0000033030";
        // clang-format on
    }
    void channelCommand()
    {
        QFETCH(QList<bool>, boxes);
        workedFields();
        for (int i = 0; i < 4; ++i)
            state.channelBox[static_cast<std::size_t>(i)] = boxes[i];
        QVERIFY(chirp->CHIRP());
        QTEST(newLines().at(4), "line");
    }

    void statusByteAndInverseSinc()
    {
        workedFields();
        chirp->chirp.extRfOn = chirp->chirp.laserOn = chirp->chirp.extTrig = true;
        chirp->chirp.inverseSinc = true;
        QVERIFY(chirp->CHIRP());
        const QStringList lines = newLines();
        QCOMPARE(lines.mid(lines.size() - 3), QStringList({"=D20E0", "=U", "=EA3"}));
        QCOMPARE(chirp->statuS, 0xA3);

        // Unticked again: back to 20, bit 5 kept.
        chirp->chirp.extRfOn = chirp->chirp.laserOn = chirp->chirp.extTrig = false;
        QVERIFY(chirp->StatuZ());
        chirp->chirp.laserOn = true;
        QVERIFY(chirp->StatuZ());
        QCOMPARE(newLines(), QStringList({"=E20", "=E21"}));
    }

    void saveToDdsIsOneShot()
    {
        workedFields();
        QList<bool> labelShown;
        int cleared = 0;
        chirp->hooks.savingToFlash = [&](bool on) { labelShown << on; };
        chirp->hooks.saveToDdsCleared = [&] { ++cleared; };
        chirp->setSaveToDds(true);
        QVERIFY(chirp->CHIRP()); // with a 0.2 s pause after each ramp write
        QStringList flashed = kRampWorked;
        for (QString& l : flashed)
            l.replace("=D", "=aD");
        QStringList amplitude = kAmplitude512;
        for (QString& l : amplitude)
            l.replace("=D", "=aD");
        QCOMPARE(newLines(), QStringList({"=ar", "=aC", "=aH00000244DF", "=aH00000404DF", "=aH0000030030"}) +
                                 flashed + amplitude + QStringList({"=aD60E0", "=aU", "=aE20"}));
        QCOMPARE(labelShown, QList<bool>({true, false}));
        QCOMPARE(cleared, 1);
        QVERIFY(!link->saveToDds);
        QCOMPARE(link->SavString(), std::string("=D"));
        QCOMPARE(link->EQual(), std::string("="));
        QVERIFY(sim->unit().flashRegister(0xC4).has_value());

        // The next run writes to the volatile registers.
        QVERIFY(chirp->CHIRP());
        QCOMPARE(newLines().first(), QStringLiteral("=r"));
    }

    void silentUnitStopsTheSequenceAndUsesUpSave()
    {
        workedFields();
        link->setAckTimeoutMs(50);
        chirp->setSaveToDds(true);
        sim->unit().setFaults(sim::Faults{.silent = true});
        QVERIFY(!chirp->CHIRP());
        QCOMPARE(newLines(), QStringList({"=ar"}));
        QCOMPARE(link->SavString(), std::string("=D"));
        QCOMPARE(link->EQual(), std::string("="));
        QVERIFY(!chirp->running());
    }

    void closedPortSendsNothingAndKeepsSave()
    {
        workedFields();
        chirp->setSaveToDds(true);
        link->closePort();
        QVERIFY(!chirp->CHIRP());
        QCOMPARE(newLines(), QStringList());
        QVERIFY(link->saveToDds);
        QCOMPARE(link->SavString(), std::string("=aD"));
        // The fields were still calculated.
        QCOMPARE(chirp->chirp.deltaFText, std::string("20.8"));
    }

    void failedCalculationSendsNothing_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("ramp");
        QTest::addColumn<QString>("mult");
        QTest::addColumn<QString>("message");
        // Every refusal of the calculation takes one path here (its messages:
        // tst_chirp_calc); a plan refused after it takes the other.
        // clang-format off
        QTest::newRow("too few steps")    << "75"  << "140" << "0.005" << "1"
                                          << QString::fromLatin1(kNStepsTooLow.data());
        QTest::newRow("dwell too wide")   << "75"  << "140" << "20"    << "2000000"
                                          << "Dwell Multiplier: 2000000 is above 1048575, the most the unit's "
                                             "20-bit dwell word holds";
        QTest::newRow("stop below start") << "141" << "150" << "20"    << "1"
                                          << "Stop Freq (140 MHz) is below Start Freq (141 MHz); the ramp only "
                                             "rises. Nothing was sent.";
        // clang-format on
    }
    void failedCalculationSendsNothing()
    {
        QFETCH(QString, start);
        QFETCH(QString, stop);
        QFETCH(QString, ramp);
        QFETCH(QString, mult);
        state.frequencyText = start.toStdString();
        state.phaseText = stop.toStdString();
        chirp->chirp.rampTimeText = ramp.toStdString();
        chirp->chirp.dwellMultiplierText = mult.toStdString();
        chirp->chirp.deltaFText = "20.8"; // a step from an earlier calculation
        chirp->setSaveToDds(true);
        QVERIFY(!chirp->CHIRP());
        QVERIFY(!chirp->ChirpNoU());
        QCOMPARE(newLines(), QStringList());
        QTEST(errors.value(0), "message");
        QCOMPARE(warnings, QStringList({"CHIRP: nothing was sent", "Chirp no U: nothing was sent"}));
        QVERIFY(link->saveToDds); // the tick waits for a run that sends
    }

    void singleWritesRefuseWordsTooWide()
    {
        chirp->chirp.deltaFText = "400000";
        QVERIFY(!chirp->deltaF());
        chirp->chirp.dwellMultiplierText = "1048576";
        QVERIFY(!chirp->DwelL());
        QCOMPARE(chirp->chirp.dwellMultiplierText, std::string("1048576")); // not padded either
        state.frequencyText = "400";
        QVERIFY(!chirp->Tune_Stop());
        QCOMPARE(newLines(), QStringList());
        QCOMPARE(errors.size(), 3);
        QVERIFY(errors[0].contains("24 bits"));
        QVERIFY(errors[1].contains("1048575"));
        QVERIFY(errors[2].startsWith("Start Freq: 400 MHz has no frequency word"));

        chirp->chirp.deltaFText = "20.8";
        chirp->chirp.dwellMultiplierText = "1";
        state.frequencyText = "75";
        state.phaseText = "140";
        QVERIFY(chirp->Tune_Stop() && chirp->deltaF() && chirp->DwelL());
        QCOMPARE(newLines(), kRampWorked);
        QCOMPARE(chirp->chirp.dwellMultiplierText, std::string("00001"));
    }

    void secondChirpWhileOneRunsIsRefused()
    {
        workedFields();
        sim->unit().setFaults(sim::Faults{.replyDelayMs = 5});
        bool second = true;
        QTimer::singleShot(0, [&] { second = chirp->CHIRP(); });
        QVERIFY(chirp->CHIRP());
        QVERIFY(!second);
        QVERIFY(warnings.contains("CHIRP: a chirp is still being programmed"));
        QCOMPARE(newLines().size(), 5 + kRampWorked.size() + kAmplitude512.size() + 3);
    }

    void modeSwitchCommands()
    {
        chirp->chirp.dwellMultiplierText = "0";
        state.MaxFrequency = 140;
        QVERIFY(chirp->enterChirpMode());
        QCOMPARE(newLines(), QStringList({"=K0000"}));
        QCOMPARE(state.phaseText, std::string("140"));
        QVERIFY(state.chirpMode);
        QCOMPARE(chirp->chirp.dwellMultiplierText, std::string("1"));
        QCOMPARE(chirp->chirp.dwellTimeText, std::string("0.0064"));

        QVERIFY(chirp->enterSingleMode());
        QCOMPARE(newLines(), QStringList({"=E03", "=C"}));
        QCOMPARE(state.phaseText, std::string("0"));
        QVERIFY(!state.chirpMode);

        QVERIFY(chirp->ClearFlash());
        QCOMPARE(newLines(), QStringList({"=b"}));
    }
};

QTEST_MAIN(TestChirpProgrammer)
#include "tst_chirp_programmer.moc"
