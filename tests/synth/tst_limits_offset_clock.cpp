// The limits, frequency-offset and clock windows: the offset procedures by
// the exact lines the simulated unit receives, the windows by their controls
// (offscreen), and the small rules behind them (rounding, clamping, the
// mirrored offset slider, the clock word).
#include "clock_window.h"
#include "clock_word.h"
#include "frequency_limits.h"
#include "limits_window.h"
#include "link.h"
#include "offset_controller.h"
#include "offset_window.h"
#include "sim_backend.h"
#include "sim_unit_fixture.h"
#include "tone_controller.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <clocale>
#include <memory>
#include <optional>
#include <string>

using namespace plovan;

namespace {

Decimal dec(const char* text)
{
    return *parseDecimal(text);
}

// The four writes of a frequency word into group 1.
QStringList group1(const char* hex8)
{
    const QString w = QString::fromLatin1(hex8);
    QStringList out;
    for (int i = 0; i < 4; ++i)
        out << "=D" + w.mid(2 * i, 2) + QString::number(0x44 + i, 16).toUpper();
    return out;
}

const QStringList bodge = {"=U", "=E0C"};

} // namespace

class TestLimitsOffsetClock : public QObject, SimUnitFixture {
    Q_OBJECT

    std::unique_ptr<OffsetController> offset;
    int limitsNotices = 0;

private slots:
    void init()
    {
        setUpUnit(Link::kDefaultAckTimeoutMs);
        limitsNotices = 0;
        offset = std::make_unique<OffsetController>(*link, state, hooks);
        offset->limitsChanged = [this] { ++limitsNotices; };
    }
    void cleanup()
    {
        offset.reset();
        tearDownUnit();
    }

    // --- the rules ---

    void limitsAreRoundedClampedAndOrdered()
    {
        using V = LimitsCheck::Verdict;
        struct Row {
            const char *lower, *upper;
            V verdict;
            int min, max;
        };
        const Row rows[] = {
            {"2", "300", V::Applied, 5, 270},
            {"100", "90", V::UpperBelowLower, 0, 0},
            {"80", "80", V::Applied, 80, 80},
            // Both ends stay in the band: a lower limit above it must not
            // leave the slider's minimum over its maximum.
            {"280", "300", V::Applied, 270, 270},
            {"1", "3", V::Applied, 5, 5},
            {"80.5", "139.5", V::Applied, 80, 140}, // a half to the even neighbour
            {"80.6", "99999999999", V::Applied, 81, 270},
            {"90.4", "90.2", V::UpperBelowLower, 0, 0}, // compared as typed
        };
        for (const Row& r : rows) {
            const LimitsCheck c = checkLimits(r.lower, r.upper);
            QVERIFY2(c.verdict == r.verdict, r.lower);
            if (r.verdict != V::Applied) continue;
            QCOMPARE(c.MinFrequency, r.min);
            QCOMPARE(c.MaxFrequency, r.max);
        }
        const LimitsCheck empty = checkLimits("", "140");
        QVERIFY(empty.verdict == V::NotANumber);
        QCOMPARE(empty.message, std::string("Lower limit: \"\" is not a number of MHz"));
        QCOMPARE(checkLimits("80", "1,40").message,
                 std::string("Upper limit: \"1,40\" is not a number of MHz"));
    }

    // What a typed frequency becomes under limits 80-140: the box, Tune and plovanctl all ask this.
    void typedFrequencyRule()
    {
        using V = TypedFrequency::Verdict;
        struct Row {
            double typed;
            V verdict;
            double mhz;
            std::optional<int> slider;
        };
        const Row rows[] = {
            {100.5, V::Within, 100.5, 100},
            {140, V::Within, 140, 140},
            {141.5, V::Tolerated, 141.5, 140}, // the slider stops at its top
            {142, V::Tolerated, 142, 140},
            {142.01, V::Replaced, 140, 140},
            {1e300, V::Replaced, 140, 140},
            {80.5, V::Within, 80.5, 80},
            {80, V::Within, 80, std::nullopt}, // at the lower limit the slider stays
            {70, V::BelowLower, 70, std::nullopt},
            {7, V::BelowLower, 7, std::nullopt}, // "7" on the way to "75"
        };
        for (const Row& r : rows) {
            const TypedFrequency t = typedFrequency(r.typed, 80, 140);
            QVERIFY2(t.verdict == r.verdict, qPrintable(QString::number(r.typed)));
            QCOMPARE(t.mhz, r.mhz);
            QCOMPARE(t.slider, r.slider);
        }
    }

    void clockWordIsPaddedCutAndUpperCased()
    {
        using W = std::optional<std::string>;
        QCOMPARE(intClkWord("1f"), W("001F"));
        QCOMPARE(intClkWord("12345"), W("1234"));
        QCOMPARE(intClkWord(""), W("0000"));
        QCOMPARE(intClkWord("g1"), W());
        QCOMPARE(intClkWord(" 1"), W());
    }

    void offsetArithmetic()
    {
        // Mirrored about the span: 1000 kHz sits at 4000, not at 1000.
        QCOMPARE(offsetSliderValue(10000, 5000), 4000);
        QCOMPARE(offsetSliderValue(50000, 5000), 0);
        QCOMPARE(offsetSliderValue(50010, 5000), 0);    // beyond the span: parked, not wrapped to 1
        QCOMPARE(offsetSliderValue(10005, 5000), 4000); // 3999.5 to even
        QCOMPARE(offsetSliderValue(10015, 5000), 3998); // 3998.5 to even

        QCOMPARE(maintainedMaxFrequency(140, 80, 10000), 139);
        QCOMPARE(maintainedMaxFrequency(140, 80, 5000), 139);  // 139.5 would let 140 + 0.5 through
        QCOMPARE(maintainedMaxFrequency(140, 80, 10001), 138); // 1000.1 kHz
        QCOMPARE(maintainedMaxFrequency(82, 80, 50000), 80);   // never below the lower limit

        QVERIFY(aboveLimit(dec("139.5"), 10000, 140));
        QVERIFY(!aboveLimit(dec("139"), 10000, 140));
        QVERIFY(!aboveLimit(dec("139.9999"), 1, 140)); // exactly 140, not a rounding error above
        QVERIFY(aboveLimit(dec("139.99991"), 1, 140));

        QCOMPARE(offsetAmplitudeWord(dec("1024")), std::uint16_t(4095));
        QCOMPARE(offsetAmplitudeWord(dec("0")), std::uint16_t(0));     // no lower limit, unlike Amplit
        QCOMPARE(offsetAmplitudeWord(dec("0.125")), std::uint16_t(0)); // 0.5 to even
        QCOMPARE(offsetAmplitudeWord(dec("0.375")), std::uint16_t(2)); // 1.5 to even
        QCOMPARE(offsetAmplitudeWord(dec("100.125")), std::uint16_t(400));
    }

    // --- the offset procedures against the unit ---

    void offsetFrequencyGoesToGroup1()
    {
        QStringList shown;
        offset->outsideLimits = [&](bool on) { shown << (on ? "shown" : "hidden"); };
        state.frequencyText = "100";
        QVERIFY(offset->offsetFrequencySend() == OffsetController::Outcome::Sent);
        QCOMPARE(newLines(), group1("52BD3C36") + bodge); // 101 MHz
        QCOMPARE(state.ftwH, std::string("52BD3C36"));
        QCOMPARE(state.writtenWordText, std::string("52BD3C36"));

        // The fine "Hires F" part stays out of the sum.
        state.hiresF = true;
        state.fineFrequencyText = "50";
        offset->setOffsetTenths(0);
        QVERIFY(offset->offsetFrequencySend() == OffsetController::Outcome::Sent);
        QCOMPARE(newLines(), group1("51EB851E") + bodge);

        state.frequencyText = "139.5";
        offset->setOffsetTenths(10000);
        QVERIFY(offset->offsetFrequencySend() == OffsetController::Outcome::OutsideLimits);
        QVERIFY(newLines().isEmpty());
        QCOMPARE(state.ftwH, std::string("51EB851E")); // untouched
        QCOMPARE(shown, QStringList({"hidden", "hidden", "hidden", "shown"}));
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].startsWith("Outside Frequency Limits! 140.5 MHz is above 140 MHz"));

        state.chirpMode = true; // bodge without "=E0C"
        state.frequencyText = "139";
        QVERIFY(offset->offsetFrequencySend() == OffsetController::Outcome::Sent);
        QCOMPARE(newLines(), group1("72B020C4") + QStringList({"=U"}));

        state.frequencyText = "1,5";
        QVERIFY(offset->offsetFrequencySend() == OffsetController::Outcome::Stopped);
        QCOMPARE(errors, QStringList({"Frequency offset: the main frequency \"1,5\" is not a number"}));
        QVERIFY(newLines().isEmpty());
    }

    void offsetAmplitudeGoesTo63And64()
    {
        link->saveToDds = true; // "Save to DDS" does not reach group 1's amplitude
        offset->group1AmplitudeText = "500";
        QVERIFY(offset->offsetAmplitudeSend());
        QCOMPARE(newLines(), QStringList({"=D0763", "=DD064"}) + bodge);
        QCOMPARE(offset->group1WordText, std::string("07D0"));
        offset->group1AmplitudeText = "0";
        QVERIFY(offset->offsetAmplitudeSend());
        QCOMPARE(newLines(), QStringList({"=D0063", "=D0064"}) + bodge);
        offset->group1AmplitudeText = "";
        QVERIFY(!offset->offsetAmplitudeSend());
        QCOMPARE(errors, QStringList({"Amp 2: \"\" is not a number"}));
        QVERIFY(newLines().isEmpty());
    }

    void maintainedOffsetFollowsTuneAndAmplit()
    {
        ToneController tone(*link, state, hooks);
        offset->installHooks();
        state.fixedEnable = true; // group 1 and the offset only
        state.ampTracking = false;
        state.frequencyText = "100";
        QVERIFY(tone.Tune());
        QCOMPARE(newLines(), group1("51EB851E") + bodge); // not maintained: nothing follows

        offset->setMaintainOffset(true);
        QCOMPARE(state.MaxFrequency, 139);
        QCOMPARE(limitsNotices, 1);
        QVERIFY(tone.Tune());
        QCOMPARE(newLines(), group1("51EB851E") + bodge + group1("52BD3C36") + bodge);

        // At the lowered maximum the sum is exactly the operator's limit:
        // held to 140, not to the lowered 139.
        state.frequencyText = "139";
        QVERIFY(tone.Tune());
        QCOMPARE(newLines(), group1("71DE69AD") + bodge + group1("72B020C4") + bodge);
        state.frequencyText = "140"; // typed within the box's tolerance: group 1 refused, main still tuned
        QVERIFY(tone.Tune());
        QCOMPARE(newLines(), group1("72B020C4") + bodge);
        QCOMPARE(warnings.size(), 1);

        offset->group1AmplitudeText = "500";
        QVERIFY(tone.Amplit());
        QCOMPARE(newLines(),
                 QStringList({"=D08E3", "=D00E4"}) + bodge + QStringList({"=D0763", "=DD064"}) + bodge);

        // A new offset while maintained lowers the maximum anew.
        offset->setOffsetTenths(20000);
        QCOMPARE(state.MaxFrequency, 138);
        offset->setMaintainOffset(false);
        QCOMPARE(state.MaxFrequency, 140);
        QCOMPARE(state.MinFrequency, 80);
        QVERIFY(tone.Tune());
        QCOMPARE(newLines(), group1("72B020C4") + bodge);
    }

    void silentUnitStopsTheOffsetSends()
    {
        silence();
        state.frequencyText = "100";
        QVERIFY(offset->offsetFrequencySend() == OffsetController::Outcome::Stopped);
        QCOMPARE(newLines(), QStringList({"=D5244"}));
        QVERIFY(!offset->offsetAmplitudeSend());
        QCOMPARE(newLines(), QStringList({"=D0763"}));
        QVERIFY(!offset->sendClear());
        QCOMPARE(newLines(), QStringList({"=C"}));
    }

    // --- the windows ---

    void limitsWindowAppliesClampedLimits()
    {
        LimitsWindow w(state);
        QStringList messages;
        w.error = [&](const QString& m) { messages << m; };
        QSignalSpy changed(&w, &LimitsWindow::limitsChanged);
        QSignalSpy closed(&w, &LimitsWindow::closed);
        w.openWindow();
        QCOMPARE(w.Text1->text(), QString("80"));
        QCOMPARE(w.Text2->text(), QString("140"));

        w.Text1->clear();
        QTest::keyClicks(w.Text1, "2x,-"); // only digits and "." are taken
        QCOMPARE(w.Text1->text(), QString("2"));
        w.Text2->setText("300");
        QTest::mouseClick(w.Command1, Qt::LeftButton);
        QCOMPARE(w.Text1->text(), QString("5"));
        QCOMPARE(w.Text2->text(), QString("270"));
        QCOMPARE(state.MinFrequency, 5);
        QCOMPARE(state.MaxFrequency, 270);
        QVERIFY(!w.isVisible());
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0], QVariantList({5, 270}));
        QCOMPARE(closed.size(), 1);

        w.openWindow();
        w.Text1->setText("");
        QTest::mouseClick(w.Command1, Qt::LeftButton);
        QCOMPARE(messages, QStringList({"Lower limit: \"\" is not a number of MHz"}));
        QVERIFY(w.isVisible());
        QCOMPARE(w.Text2->text(), QString("270")); // nothing lost
        QCOMPARE(state.MinFrequency, 5);

        w.Command2->click(); // "Cancel"
        QVERIFY(!w.isVisible());
        QCOMPARE(closed.size(), 2);
        QCOMPARE(changed.size(), 1);
    }

    void limitsWindowRefusesUpperBelowLower()
    {
        LimitsWindow w(state);
        QSignalSpy changed(&w, &LimitsWindow::limitsChanged);
        w.openWindow();
        w.Text1->setText("100");
        w.Text2->setText("90");
        w.Command1->click();
        QVERIFY(w.Label3->isVisible());
        QCOMPARE(w.Label3->text(), QString("Lower limit is higher than upper!"));
        QVERIFY(!w.Command1->isEnabled());
        QVERIFY(w.Timer1->isActive());
        QVERIFY(w.isVisible());
        QCOMPARE(state.MinFrequency, 80);
        QCOMPARE(state.MaxFrequency, 140);
        QCOMPARE(changed.size(), 0);

        // "OK" comes back with the timer's tick, the message stays.
        w.Timer1->setInterval(1);
        w.Timer1->start();
        QTRY_VERIFY(w.Command1->isEnabled());
        QVERIFY(w.Label3->isVisible());
        QVERIFY(!w.Timer1->isActive());

        w.Text2->setText("120");
        w.Command1->click();
        QVERIFY(!w.Label3->isVisible());
        QCOMPARE(state.MinFrequency, 100);
        QCOMPARE(state.MaxFrequency, 120);
        QCOMPARE(changed.size(), 1);
    }

    void limitsWindowEditsTheOperatorsLimitsWhileMaintained()
    {
        LimitsWindow w(state, offset.get());
        offset->setMaintainOffset(true);
        w.openWindow();
        QCOMPARE(w.Text2->text(), QString("140")); // not the lowered 139
        QSignalSpy changed(&w, &LimitsWindow::limitsChanged);
        w.Command1->click(); // unchanged limits must not lower the maximum once more
        QCOMPARE(state.MaxFrequency, 139);
        QCOMPARE(changed[0], QVariantList({80, 139}));
        // Limits applied meanwhile become the operator's limits ...
        w.openWindow();
        w.Text1->setText("50");
        w.Text2->setText("150");
        w.Command1->click();
        QCOMPARE(state.MaxFrequency, 149);
        QCOMPARE(changed[1], QVariantList({50, 149}));
        QCOMPARE(offset->SavedMin(), 50);
        // ... which unticking restores, not the limits of before the tick.
        offset->setMaintainOffset(false);
        QCOMPARE(state.MaxFrequency, 150);
        QCOMPARE(state.MinFrequency, 50);
        w.openWindow();
        w.Command1->click(); // not maintained: nothing lowered
        QCOMPARE(state.MaxFrequency, 150);
    }

    void offsetWindowLoadsAndSends()
    {
        OffsetWindow w(*offset);
        int onMain = 0;
        w.runOnMain = [&](const std::function<bool()>& f) {
            ++onMain;
            return f();
        };
        state.frequencyText = "100";
        state.amplitudeText = "512";
        w.openWindow();
        QCOMPARE(w.Text1->text(), QString("1000"));
        QCOMPARE(w.Slider1->value(), 4000);
        QCOMPARE(w.Text3->text(), QString("512"));
        QCOMPARE(w.Slider3->value(), 512);
        QVERIFY(!w.Label1->isVisible());
        QVERIFY(newLines().isEmpty()); // loading sends nothing

        w.Command1->click();
        QCOMPARE(newLines(), group1("52BD3C36") + bodge);
        QCOMPARE(onMain, 2); // the amplitude read at load, then the send
        QVERIFY(w.Command1->isEnabled() && w.Slider1->isEnabled() && w.Command2->isEnabled());

        state.frequencyText = "139.5";
        w.Command1->click();
        QVERIFY(newLines().isEmpty());
        QVERIFY(w.Label1->isVisible());
        QCOMPARE(w.Label1->text(), QString("Outside Frequency Limits!"));

        // A 1 kHz step hides the message and sends; at 139 MHz the sum fits.
        state.frequencyText = "139";
        w.UpDown1->down->click();
        QVERIFY(!w.Label1->isVisible());
        QCOMPARE(w.Text1->text(), QString("999"));
        QCOMPARE(w.Slider1->value(), 4001);
        QCOMPARE(newLines(), group1("72AFEB14") + bodge); // 139.999 MHz

        // 0.1 kHz steps only show.
        w.UpDown2->up->click();
        w.UpDown2->up->click();
        QCOMPARE(w.Text1->text(), QString("999.2"));
        QCOMPARE(w.Slider1->value(), 4001);
        QVERIFY(newLines().isEmpty());
        QCOMPARE(offset->offsetTenths(), 9992);
    }

    void offsetNeverGoesBelowZero()
    {
        OffsetWindow w(*offset);
        state.frequencyText = "100";
        w.openWindow();
        offset->setOffsetTenths(5);
        w.UpDown1->down->click(); // 0.5 - 1 kHz: held at 0 and still sent
        QCOMPARE(w.Text1->text(), QString("0"));
        QCOMPARE(w.Slider1->value(), 5000);
        QCOMPARE(newLines(), group1("51EB851E") + bodge);
        w.UpDown1->down->click();
        QCOMPARE(w.Text1->text(), QString("0"));
        QCOMPARE(newLines(), group1("51EB851E") + bodge);
    }

    void offsetSliderShowsWhileMovingAndSendsOnce()
    {
        OffsetWindow w(*offset);
        state.frequencyText = "100";
        w.openWindow();
        w.Slider1->setSliderDown(true);
        w.Slider1->setValue(3500);
        QCOMPARE(w.Text1->text(), QString("1500"));
        w.Slider1->setValue(3000);
        QCOMPARE(w.Text1->text(), QString("2000"));
        QVERIFY(newLines().isEmpty());
        w.Slider1->setSliderDown(false);                  // let go
        QCOMPARE(newLines(), group1("538EF34D") + bodge); // 102 MHz
        // A key moves and ends the move at once.
        QTest::keyClick(w.Slider1, Qt::Key_Right);
        QCOMPARE(w.Slider1->value(), 3001);
        QCOMPARE(w.Text1->text(), QString("1999"));
        QCOMPARE(newLines().size(), 6);
    }

    void offsetAmplitudeSliderAndBox()
    {
        OffsetWindow w(*offset);
        w.openWindow();
        w.Slider3->setValue(500);
        QCOMPARE(w.Text3->text(), QString("500"));
        QCOMPARE(newLines(), QStringList({"=D0763", "=DD064"}) + bodge);
        QCOMPARE(w.Text4->text(), QString("07D0"));
        QTest::keyClicks(w.Text3, "9"); // 5009 is clamped to the scale's top
        QCOMPARE(w.Text3->text(), QString("1024"));
        QCOMPARE(offset->group1AmplitudeText, std::string("1024"));
        QVERIFY(newLines().isEmpty()); // typing does not send
    }

    void maintainOffsetInTheWindow()
    {
        OffsetWindow w(*offset);
        QSignalSpy maintain(&w, &OffsetWindow::maintainChanged);
        QSignalSpy limits(&w, &OffsetWindow::limitsChanged);
        state.frequencyText = "100";
        w.openWindow();
        QTest::mouseClick(w.Check1, Qt::LeftButton);
        QVERIFY(state.maintainOffset);
        QCOMPARE(state.MaxFrequency, 139);
        QCOMPARE(maintain.size(), 1);
        QCOMPARE(maintain[0], QVariantList({true}));
        QCOMPARE(limits.last(), QVariantList({80, 139}));
        QVERIFY(!w.Command1->isEnabled());

        // The arrows still send, and "Send" stays off afterwards.
        w.UpDown1->up->click();
        QCOMPARE(newLines(), group1("52BD71E5") + bodge); // 101.001 MHz
        QVERIFY(!w.Command1->isEnabled());
        QCOMPARE(state.MaxFrequency, 138);
        QCOMPARE(limits.last(), QVariantList({80, 138}));

        // "Esc" leaves the offset running: no "=C", no re-send.
        bool pressed = false;
        w.pressSend = [&] { pressed = true; };
        QSignalSpy closed(&w, &OffsetWindow::closed);
        w.Command2->click();
        QVERIFY(!w.isVisible());
        QCOMPARE(closed.size(), 1);
        QVERIFY(newLines().isEmpty());
        QVERIFY(!pressed);

        // Reopened, the window shows the offset that runs, not 1000.
        w.openWindow();
        QCOMPARE(w.Text1->text(), QString("1001"));
        QVERIFY(w.Check1->isChecked());
        QVERIFY(!w.Command1->isEnabled());

        QTest::mouseClick(w.Check1, Qt::LeftButton);
        QVERIFY(!state.maintainOffset);
        QCOMPARE(state.MaxFrequency, 140);
        QCOMPARE(maintain.last(), QVariantList({false}));
        QCOMPARE(limits.last(), QVariantList({80, 140}));
        QVERIFY(w.Command1->isEnabled());
    }

    void escapeReturnsToPlainSingleTone()
    {
        OffsetWindow w(*offset);
        QStringList order;
        w.pressSend = [&] { order << "pressSend after " + newLines().join(' '); };
        QSignalSpy closed(&w, &OffsetWindow::closed);
        w.openWindow();
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QCOMPARE(closed.size(), 1);
        QCOMPARE(order, QStringList({"pressSend after =C"}));

        // The unit does not answer "=C": the main settings are not re-sent.
        silence();
        w.openWindow();
        w.Command2->click();
        QCOMPARE(newLines(), QStringList({"=C"}));
        QCOMPARE(order.size(), 1);
        QCOMPARE(closed.size(), 2);

        // Disconnected there is nothing to restore.
        link->closePort();
        w.openWindow();
        w.Command2->click();
        QCOMPARE(order.size(), 1);
        QCOMPARE(closed.size(), 3);
    }

    void clockWindowEditsIntClkWrd()
    {
        ClockWindow w(state);
        QStringList messages;
        w.error = [&](const QString& m) { messages << m; };
        QSignalSpy closed(&w, &ClockWindow::closed);
        w.openWindow();
        QCOMPARE(w.Text1->text(), QString("0001")); // the stored word, not the box's "0100"

        w.Text1->clear();
        QTest::keyClicks(w.Text1, "1xf");
        QCOMPARE(w.Text1->text(), QString("1f"));
        w.Command1->click();
        QCOMPARE(state.IntClkWrd, std::string("001F"));
        QVERIFY(!w.isVisible());
        QCOMPARE(closed.size(), 1);

        w.openWindow();
        QCOMPARE(w.Text1->text(), QString("001F"));
        w.Text1->clear();
        QTest::keyClicks(w.Text1, "12345");
        QCOMPARE(w.Text1->text(), QString("1234"));
        QTest::keyClick(w.Text1, Qt::Key_Return); // "OK" is the default button
        QCOMPARE(state.IntClkWrd, std::string("1234"));
        QVERIFY(!w.isVisible());

        w.openWindow();
        w.Text1->setText("G1"); // pasted, not typed
        w.Command1->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith("\"G1\" is not a clock word"));
        QVERIFY(w.isVisible());
        QCOMPARE(w.Text1->text(), QString("G1"));
        QCOMPARE(state.IntClkWrd, std::string("1234"));

        w.Text1->setText("ab");
        w.Command2->click(); // "Esc" keeps the stored word
        QCOMPARE(state.IntClkWrd, std::string("1234"));
        QVERIFY(!w.isVisible());
        QCOMPARE(closed.size(), 3);
        w.openWindow();
        QCOMPARE(w.Text1->text(), QString("1234"));
    }

    void germanLocaleReadsTheDecimalPoint()
    {
        const std::string saved = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) QSKIP("de_DE.UTF-8 locale not installed");
        QLocale::setDefault(QLocale(QLocale::German));
        const LimitsCheck c = checkLimits("80.6", "139.4");
        state.frequencyText = "100.5";
        const auto outcome = offset->offsetFrequencySend();
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, saved.c_str());
        QCOMPARE(c.MinFrequency, 81);
        QCOMPARE(c.MaxFrequency, 139);
        QVERIFY(outcome == OffsetController::Outcome::Sent);
        QCOMPARE(newLines().mid(0, 4), group1("532617C1")); // 101.5 MHz
    }
};

QTEST_MAIN(TestLimitsOffsetClock)
#include "tst_limits_offset_clock.moc"
