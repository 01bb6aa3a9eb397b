// The single-tone procedures against the simulated unit, by the exact lines
// it receives; and how a silent unit, a lost or closed port and a box that
// holds no number stop them.
#include "link.h"
#include "sim_backend.h"
#include "sim_unit_fixture.h"
#include "tone_controller.h"

#include <QTest>
#include <clocale>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace plovan;

class TestToneController : public QObject, SimUnitFixture {
    Q_OBJECT

    std::unique_ptr<ToneController> tone;

private slots:
    void init()
    {
        setUpUnit();
        tone = std::make_unique<ToneController>(*link, state, hooks);
    }
    void cleanup()
    {
        tone.reset();
        tearDownUnit();
    }

    void tuneWritesBothGroupsThenUpdates()
    {
        state.frequencyText = "100";
        QVERIFY(tone->Tune());
        QCOMPARE(newLines(), QStringList({"=D5144", "=DEB45", "=D8546", "=D1E47", "=D5184", "=DEB85",
                                          "=D8586", "=D1E87", "=U", "=E0C"}));
        QCOMPARE(state.writtenWordText, std::string("51EB851E"));
        QCOMPARE(state.tableFrequencyText, std::string("51EB"));
        QCOMPARE(busyReports, (std::vector<bool>{true, false}));

        // Group 1 only; the word's leading zero kept on the wire and in the
        // padded box (the words themselves: tst_words).
        state.fixedEnable = true;
        state.frequencyText = "5";
        QVERIFY(tone->Tune());
        QCOMPARE(newLines(), QStringList({"=D0444", "=D1845", "=D9346", "=D7447", "=U", "=E0C"}));
        QCOMPARE(state.ftwH, std::string("4189374"));
        QCOMPARE(state.writtenWordText, std::string("04189374"));

        state.frequencyText = "100";
        state.fineFrequencyText = "50";
        state.hiresF = true;
        QVERIFY(tone->Tune());
        QCOMPARE(state.ftwH, std::string("525460AA")); // 100.5 MHz
        QVERIFY(warnings.isEmpty());
    }

    void frequenciesAtNyquistAndClock()
    {
        // Limits from a maxmin.txt that admits the clock: the word's own rules answer.
        state.MaxFrequency = 400;
        state.fixedEnable = true;
        state.frequencyText = "200";
        QVERIFY(tone->Tune()); // sent as computed, with a warning
        QCOMPARE(newLines().mid(0, 4), QStringList({"=DA344", "=DD745", "=D0A46", "=D3D47"}));
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].contains("Nyquist frequency (156.25 MHz)"));
        state.frequencyText = "312.5";
        QVERIFY(!tone->Tune());
        QVERIFY(newLines().isEmpty());
        QCOMPARE(state.ftwH, std::string("A3D70A3D"));
        QCOMPARE(warnings.size(), 1);
        QVERIFY(errors.last().startsWith("Frequency MHz: 312.5 MHz has no frequency word"));
    }

    // The box's range rule holds for Tune whoever filled the box (limits 80-140).
    void tuneKeepsTheBoxRule_data()
    {
        QTest::addColumn<std::string>("typed");
        QTest::addColumn<std::string>("tuned"); // the box afterwards
        QTest::addColumn<QStringList>("group1");
        QTest::newRow("far above: the limit") << std::string("150") << std::string("140")
                                              << QStringList({"=D7244", "=DB045", "=D2046", "=DC447"});
        QTest::newRow("just past the tolerance") << std::string("142.01") << std::string("140")
                                                 << QStringList({"=D7244", "=DB045", "=D2046", "=DC447"});
        QTest::newRow("within the tolerance") << std::string("142") << std::string("142")
                                              << QStringList({"=D7444", "=D5345", "=D8E46", "=DF347"});
        QTest::newRow("below the lower limit") << std::string("70") << std::string("70")
                                               << QStringList({"=D3944", "=D5845", "=D1046", "=D6247"});
    }
    void tuneKeepsTheBoxRule()
    {
        QFETCH(std::string, typed);
        state.fixedEnable = true;
        state.frequencyText = typed;
        QFETCH(QStringList, group1);
        QVERIFY(tone->Tune());
        QCOMPARE(newLines(), group1 + QStringList({"=U", "=E0C"}));
        QTEST(state.frequencyText, "tuned");
    }

    void fixedFrequencyAndChirpModeDropWrites()
    {
        state.fixedEnable = true;
        QVERIFY(tone->Amplit());
        QCOMPARE(newLines(), QStringList({"=D08E3", "=D08E1", "=D00E4", "=D00E2", "=U", "=E0C"}));
        state.chirpMode = true;
        QVERIFY(tone->Tune());
        QCOMPARE(newLines().mid(4), QStringList({"=U"}));
        QVERIFY(tone->Amplit()); // the chirp programming updates later
        QCOMPARE(newLines(), QStringList({"=D08E3", "=D08E1", "=D00E4", "=D00E2"}));
    }

    void phaseWords()
    {
        const std::tuple<const char*, QStringList, const char*> known[] = {
            {"360", {"=D3F80", "=DFF81"}, "16383"}, {"1", {"=D0080", "=D2D81"}, "45"}};
        for (const auto& [degrees, lines, decimal] : known) {
            state.phaseText = degrees;
            QVERIFY(tone->Phase());
            QCOMPARE(newLines(), lines + QStringList({"=U", "=E0C"}));
            QCOMPARE(state.phaseWordText, std::string(decimal));
        }
        QCOMPARE(state.PhaseHex, std::string("2D"));
        QCOMPARE(state.writtenWordText, std::string("002D"));
    }

    void amplitudeWordsAndEchoes()
    {
        QVERIFY(tone->Amplit()); // 512
        QCOMPARE(newLines(),
                 QStringList({"=D08E3", "=D08E1", "=D00E4", "=D00E2", "=D08A3", "=D00A4", "=U", "=E0C"}));
        QCOMPARE(echoes, QStringList({"=D 08 E3 Amp\r\n", "=D 00 E4 Amp\r\n", "=D 08 A3 Amp\r\n",
                                      "=D 00 A4 Amp\r\n\r\n"}));
        QCOMPARE(state.tableAmplitudeText, std::string("800"));
        QCOMPARE(state.writtenWordText, std::string("0800"));

        state.ampTracking = false;
        const std::tuple<const char*, const char*, const char*> known[] = {
            {"1024", "0F", "FF"}, {"0", "00", "02"}, {"100.125", "01", "90"}}; // 400.5 to even
        for (const auto& [amplitude, hi, lo] : known) {
            state.amplitudeText = amplitude;
            QVERIFY(tone->Amplit());
            QCOMPARE(newLines().mid(0, 2),
                     QStringList({QString("=D") + hi + "E3", QString("=D") + lo + "E4"}));
        }

        state.ampTracking = true;
        state.Amp2FixeD = "0G00";
        QVERIFY(!tone->Amplit());
        QVERIFY(newLines().isEmpty());
        QVERIFY(errors.last().contains("\"0G00\""));
    }

    void saveToDdsStoresAmplitudeWritesOnly()
    {
        link->saveToDds = true;
        QVERIFY(tone->Tune());
        QVERIFY(tone->Phase());
        QCOMPARE(newLines().filter("=a"), QStringList());
        QVERIFY(tone->Amplit());
        QCOMPARE(newLines(), QStringList({"=aD08E3", "=aD08E1", "=aD00E4", "=aD00E2", "=aD08A3", "=aD00A4",
                                          "=U", "=E0C"}));
        QCOMPARE(echoes.first(), QString("=aD 08 E3 Amp\r\n"));
        QCOMPARE(sim->unit().flashRegister(0xA4), std::optional<std::uint8_t>(0x00));
    }

    void amplitSpecialForChannel4Without3()
    {
        state.channelBox = {true, true, false, true};
        state.amplitudeText = "1024";
        QVERIFY(tone->Amplit());
        // Group 1: 1024 * AmpMultFact limited to 0FFF; group 2: 1024 * 2.
        QCOMPARE(newLines(), QStringList({"=D0F63", "=DFF64", "=D08A3", "=D00A4", "=U", "=E0C"}));
        QCOMPARE(echoes,
                 QStringList({"=D 0F 63*\r\n", "=D FF 64*\r\n", "=D 08 A3*\r\n", "=D 00 A4*\r\n\r\n"}));
        QCOMPARE(state.tableAmplitudeText, std::string("800"));
        state.channelBox[2] = true;
        QVERIFY(tone->Amplit());
        QCOMPARE(newLines().first(), QString("=D0FE3"));
    }

    void vswrStepWritesGroup3ThenAmplitude()
    {
        state.ampTracking = false;
        state.fixedEnable = true;
        QVERIFY(tone->Tune_4_Vswr(Decimal{100, 0}));
        QCOMPARE(newLines(), QStringList({"=D51C4", "=DEBC5", "=D08E3", "=D00E4", "=U", "=E0C"}));
        QCOMPARE(state.ftwH, std::string("51EB851E"));
        QVERIFY(tone->Tune_4_Vswr(30.0));
        QCOMPARE(newLines().mid(0, 2), QStringList({"=D18C4", "=D93C5"}));
    }

    void closedPortOnlyUpdatesTheDisplay()
    {
        link->closePort(); // PortHandle keeps its value, as after a Disconnect
        state.frequencyText = "80";
        state.phaseText = "180";
        state.amplitudeText = "1024";
        QVERIFY(tone->Tune() && tone->Phase() && tone->Amplit() && tone->bodge());
        QCOMPARE(state.ftwH, std::string("4189374B"));
        QCOMPARE(state.phaseWordText, std::string("8191"));
        QCOMPARE(state.Amp, std::string("FFF"));
        QVERIFY(busyReports.empty() && echoes.isEmpty());
        QVERIFY(!link->terminalText().contains("not sent"));
        // The VSWR step writes without asking; the Link refuses and the step ends.
        QVERIFY(!tone->Tune_4_Vswr(100.0));
        QVERIFY(link->terminalText().contains("Port not open - not sent: =D51C4"));
        QVERIFY(sim->unit().commands().empty());
    }

    void silentUnitStopsAtTheFirstWrite()
    {
        silence();
        state.frequencyText = "100";
        QVERIFY(!tone->Tune());
        QCOMPARE(newLines(), QStringList({"=D5144"}));
        QCOMPARE(busyReports, (std::vector<bool>{true, false}));
        QVERIFY(!tone->Amplit());
        QCOMPARE(newLines(), QStringList({"=D08E3"}));
        QCOMPARE(echoes, QStringList({"=D 08 E3 Amp\r\n"})); // it did go out
    }

    void lostConnectionLeavesTheLinkDisconnected()
    {
        sim->unit().setFaults(sim::Faults{.hangUpAfter = 2});
        QVERIFY(!tone->Tune());
        QCOMPARE(newLines().size(), 2);
        QCOMPARE(busyReports, (std::vector<bool>{true, false}));
        QVERIFY(!link->Connected);
    }

    void textThatIsNoNumberIsRefused()
    {
        const std::tuple<std::string SynthState::*, const char*, bool (ToneController::*)(), const char*>
            rows[] = {
                {&SynthState::frequencyText, "abc", &ToneController::Tune,
                 "Frequency MHz: \"abc\" is not a number"},
                {&SynthState::frequencyText, "", &ToneController::Tune,
                 "Frequency MHz: \"\" is not a number"},
                {&SynthState::fineFrequencyText, "5x", &ToneController::Tune,
                 "Hires F: \"5x\" is not a number"},
                {&SynthState::phaseText, "-90", &ToneController::Phase, "Phase: \"-90\" is not a number"},
                {&SynthState::phaseText, "400", &ToneController::Phase, "Phase: 400 is above 360 degrees"},
                {&SynthState::amplitudeText, "1e3", &ToneController::Amplit,
                 "Amplitude: \"1e3\" is not a number"}};
        state.hiresF = true;
        for (const auto& [field, text, procedure, message] : rows) {
            SynthState before = state;
            state.*field = text;
            QVERIFY(!(tone.get()->*procedure)());
            QCOMPARE(errors.takeFirst(), QString(message));
            QCOMPARE(state.writtenWordText, before.writtenWordText);
            state = before;
        }
        QVERIFY(sim->unit().commands().empty() && busyReports.empty());
    }

    void germanLocaleReadsTheDecimalPoint()
    {
        const std::string saved = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) QSKIP("de_DE.UTF-8 locale not installed");
        state.fixedEnable = true;
        state.frequencyText = "100.5";
        const bool tuned = tone->Tune();
        state.frequencyText = "100,5";
        const bool commaTuned = tone->Tune();
        std::setlocale(LC_ALL, saved.c_str());
        QVERIFY(tuned && !commaTuned);
        QCOMPARE(newLines(), QStringList({"=D5244", "=D5445", "=D6046", "=DAA47", "=U", "=E0C"}));
        QCOMPARE(errors,
                 QStringList({"Frequency MHz: \"100,5\" is not a number (the decimal point is \".\")"}));
    }

    void maintainOffsetFollowsAfterTheUpdate()
    {
        QStringList calls;
        const auto follow = [&](const QString& what) {
            return [&calls, what, this] {
                calls << what + " after " + newLines().last();
                return true;
            };
        };
        hooks.offsetFrequencySend = follow("F");
        hooks.offsetAmplitudeSend = follow("A");
        QVERIFY(tone->Tune() && tone->Amplit());
        QVERIFY(calls.isEmpty());
        state.maintainOffset = true;
        QVERIFY(tone->Tune() && tone->Amplit() && tone->Phase());
        QCOMPARE(calls, QStringList({"F after =E0C", "A after =E0C"}));
        hooks.offsetFrequencySend = [] { return false; };
        QVERIFY(!tone->Tune());
        QVERIFY(link->Connected);
    }
};

QTEST_GUILESS_MAIN(TestToneController)
#include "tst_tone_controller.moc"
