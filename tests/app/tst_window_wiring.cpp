// The main window with its other windows and the chirp panel wired in:
// mode switch, limits, offset, clock, fixed frequency, polling, Debug and the
// communications log, clicked as an operator would against the built-in
// simulated unit.
#include "chirp_panel.h"
#include "clock_window.h"
#include "comm_log.h"
#include "connection_panel.h"
#include "debug_window.h"
#include "fixed_window.h"
#include "limits_window.h"
#include "main_window.h"
#include "offset_window.h"
#include "poll_window.h"
#include "sim_backend.h"
#include "sim_unit.h"
#include "single_tone_panel.h"
#include "terminal_panel.h"
#include "test_panel.h"
#include "tone_page.h"
#include "window_parts.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace plovan;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList linesFrom(const std::vector<std::string>& all, std::size_t from)
{
    QStringList out;
    for (std::size_t i = from; i < all.size(); ++i)
        out << QString::fromStdString(all[i]);
    return out;
}

// What an operator reads in a window: its title, every caption, and which
// controls show and take input.
QStringList captions(QWidget* window)
{
    QStringList out{QStringLiteral("%1 \"%2\" %3")
                        .arg(window->objectName(), window->windowTitle(),
                             window->isVisible() ? QStringLiteral("open") : QStringLiteral("closed"))};
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text();
        else if (auto* frame = qobject_cast<QGroupBox*>(w))
            text = frame->title();
        else if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        out << QStringLiteral("  %1 %2 \"%3\"%4%5")
                   .arg(QLatin1String(w->metaObject()->className()), w->objectName(), text,
                        w->isVisibleTo(window) ? QString() : QStringLiteral(" hidden"),
                        w->isEnabledTo(window) ? QString() : QStringLiteral(" disabled"));
    }
    return out;
}

// Each table label is at least as wide and tall as its text needs.
void verifyLabelsFit(QWidget* table)
{
    for (QLabel* label : table->findChildren<QLabel*>()) {
        if (label->wordWrap() || label->text().isEmpty()) continue;
        const QSize need = label->sizeHint();
        QVERIFY2(label->width() >= need.width() && label->height() >= need.height(),
                 qPrintable(QStringLiteral("\"%1\" has %2x%3, needs %4x%5")
                                .arg(label->text())
                                .arg(label->width())
                                .arg(label->height())
                                .arg(need.width())
                                .arg(need.height())));
    }
}

} // namespace

class TestWindowWiring : public QObject {
    Q_OBJECT

    QTemporaryDir* settings = nullptr;
    MainWindow* window = nullptr;
    QStringList messages;

    sim::SimUnit& unit() { return qobject_cast<sim::SimBackend*>(window->link().backend())->unit(); }
    SingleTonePanel* tone() { return partOf<SingleTonePanel>(window); }
    QStringList sentSince(std::size_t before) { return linesFrom(unit().commands(), before); }
    std::size_t sentCount() { return unit().commands().size(); }

    void connectToUnit()
    {
        QTest::mouseClick(partOf<ConnectionPanel>(window)->connectButton, Qt::LeftButton);
        QVERIFY(window->link().Connected);
    }
    // The mode options as their clicks run them, also while another window
    // holds the main window disabled.
    void switchMode(bool chirp)
    {
        QRadioButton* option = chirp ? tone()->chirpMode : tone()->singleMode;
        option->setChecked(true);
        emit option->clicked(true);
    }
    QString frameCaption(QWidget* box) { return qobject_cast<QGroupBox*>(box->parentWidget())->title(); }
    static void clickBox(QAbstractButton* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

private slots:
    void init()
    {
        settings = new QTemporaryDir;
        qputenv("PLOVAN_SETTINGS_DIR", settings->path().toLocal8Bit());
        messages.clear();
        window = new MainWindow;
        window->dialogs().warn = [this](const QString&, const QString& text) { messages << text; };
        PortSettings s = window->portSettings();
        s.device = QString::fromLatin1(kSimDevice);
        window->setPortSettings(s, false);
        window->setAckTimeoutMs(2000);
        window->show();
        connectToUnit();
    }
    void cleanup()
    {
        delete window;
        window = nullptr;
        delete settings;
    }

    // --- chirp mode ---
    // Either mode fits a 1366-pixel-wide screen beside the docked unit panel.
    void fitsASmallScreenInEitherMode_data()
    {
        QTest::addColumn<bool>("chirp");
        QTest::newRow("single tone") << false;
        QTest::newRow("chirp") << true;
    }
    void fitsASmallScreenInEitherMode()
    {
        QFETCH(bool, chirp);
        switchMode(chirp);
        const int wanted = window->minimumSizeHint().width();
        QVERIFY2(wanted <= 1366, qPrintable(QString::number(wanted)));
    }
    void chirpModeProgramsTheRampAndSwitchesBack()
    {
        ChirpPanel* chirp = partOf<ChirpPanel>(window);
        QVERIFY(chirp->isHidden());
        std::size_t before = sentCount();
        clickBox(tone()->chirpMode);
        QVERIFY(tone()->chirpMode->isChecked());
        QVERIFY(chirp->isVisible());
        QCOMPARE(sentSince(before), QStringList({"=K0000"}));
        QCOMPARE(tone()->phaseBox->text(), QString("140")); // the stop frequency starts at the maximum
        QVERIFY(!partOf<QMenu>(window, "MnuCal")->menuAction()->isEnabled());

        tone()->frequencyBox->setText("75");
        chirp->rampTimeBox->setText("20");
        before = sentCount();
        QTest::mouseClick(chirp->chirpButton, Qt::LeftButton);
        const QStringList sent = sentSince(before);
        QCOMPARE(sent.mid(0, 5), QStringList({"=r", "=C", "=H00000244DF", "=H00000404DF", "=H0000030030"}));
        QCOMPARE(sent.mid(5, 10), QStringList({"=D3DC4", "=D70C5", "=D72CA", "=DB0CB", "=D00D0", "=D04D1",
                                               "=D5CD2", "=D00DA", "=D00DB", "=D01DC"}));
        QCOMPARE(sent.last(), QString("=E20"));
        QCOMPARE(chirp->nStepsBox->text(), QString("3125"));
        QCOMPARE(chirp->deltaFBox->text(), QString("20.8"));
        QVERIFY(!chirp->achieved[1]->text().isEmpty()); // the preview shows the ramp it sent

        // The amplitude slider sends the amplitude, then the status byte.
        before = sentCount();
        tone()->amplitudeSlider->setValue(256);
        QCOMPARE(sentSince(before).last(), QString("=E20"));
        QVERIFY(sentSince(before).size() > 1);

        before = sentCount();
        clickBox(tone()->singleMode);
        QCOMPARE(sentSince(before), QStringList({"=E03", "=C"}));
        QVERIFY(chirp->isHidden());
        QCOMPARE(tone()->phaseBox->text(), QString("0"));
        QVERIFY(partOf<QMenu>(window, "MnuCal")->menuAction()->isEnabled());
    }

    void modeSwitchAppliesToEveryPanelOfTheWindow()
    {
        QTimer* triggerRun = tone()->triggerTimer;
        switchMode(true);
        ChirpPanel* chirp = partOf<ChirpPanel>(window);
        for (QWidget* w : std::initializer_list<QWidget*>{
                 chirp->rampUnitFrame, chirp->rampTimeFrame, chirp->dwellMultiplierFrame, chirp->nStepsFrame,
                 chirp->deltaFFrame, chirp->calculateButton, chirp->chirpButton, chirp->chirpNoUButton,
                 chirp->functionsFrame, chirp->saveToDds, chirp->clearFlashButton, chirp->previewFrame,
                 tone()->inverseSinc, tone()->inverseOn, tone()->inverseOff, partOf<DirectCommandPanel>(window)->clearButton,
                 partOf<DirectCommandPanel>(window)->resetButton, partOf<DirectCommandPanel>(window)->intTrigButton,
                 partOf<TerminalPanel>(window)->txtDataIn})
            QVERIFY2(w->isVisibleTo(window), qPrintable(w->objectName()));
        for (QWidget* w : std::initializer_list<QWidget*>{tone()->invSync, tone()->hiresF, tone()->store})
            QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
        // The start and stop boxes are the frequency and phase boxes.
        QVERIFY(tone()->frequencyBox->isVisibleTo(window));
        QVERIFY(tone()->phaseBox->isVisibleTo(window));
        QCOMPARE(frameCaption(tone()->frequencyBox), QString("Start Freq"));
        QCOMPARE(frameCaption(tone()->phaseBox), QString("Stop Freq"));
        QCOMPARE(partOf<DirectCommandPanel>(window)->intTrigButton->text(), QString("Int Trig"));
        for (QMenu* menu : {partOf<QMenu>(window, "mnuFile"), partOf<QMenu>(window, "mnuPort"), partOf<QMenu>(window, "MnuCal")})
            QVERIFY2(!menu->menuAction()->isEnabled(), qPrintable(menu->objectName()));

        triggerRun->start();
        switchMode(false);
        QVERIFY(chirp->isHidden());
        for (QWidget* w : std::initializer_list<QWidget*>{
                 chirp->rampTimeBox, chirp->deltaFBox, chirp->chirpButton, chirp->saveToDds,
                 chirp->previewFrame, tone()->inverseSinc, tone()->inverseOn, tone()->inverseOff})
            QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
        for (QWidget* w : std::initializer_list<QWidget*>{
                 tone()->invSync, tone()->hiresF, tone()->frequencyBox, tone()->phaseBox,
                 partOf<DirectCommandPanel>(window)->intTrigButton, partOf<TerminalPanel>(window)->txtDataIn})
            QVERIFY2(w->isVisibleTo(window), qPrintable(w->objectName()));
        QCOMPARE(frameCaption(tone()->frequencyBox), QString("Frequency (MHz)"));
        QCOMPARE(frameCaption(tone()->phaseBox), QString("Phase (0-360)"));
        QCOMPARE(partOf<DirectCommandPanel>(window)->intTrigButton->text(), QString("1 Shot"));
        QVERIFY(!triggerRun->isActive());
        for (QMenu* menu : {partOf<QMenu>(window, "mnuFile"), partOf<QMenu>(window, "mnuPort"), partOf<QMenu>(window, "MnuCal")})
            QVERIFY2(menu->menuAction()->isEnabled(), qPrintable(menu->objectName()));
    }

    void modeSwitchLeavesTheOtherWindowsAsTheyAre()
    {
        QTest::mouseClick(partOf<TestPanel>(window)->pollButton, Qt::LeftButton);
        partOf<QAction>(window, "Debug")->trigger();
        partOf<QAction>(window, "SetFreqLimits")->trigger();
        partOf<QAction>(window, "FixedFreq")->trigger();
        partOf<QAction>(window, "FoS")->trigger();
        partOf<QAction>(window, "IntClkRate")->trigger();
        const QList<QWidget*> others = {partOf<DebugWindow>(window),        partOf<PollWindow>(window),
                                        partOf<FixedFrequencyWindow>(window),        partOf<LimitsWindow>(window),
                                        partOf<OffsetWindow>(window), partOf<ClockWindow>(window)};
        QStringList before;
        for (QWidget* other : others) {
            QVERIFY2(other->isVisible(), qPrintable(other->windowTitle()));
            before << captions(other);
        }

        std::size_t sent = sentCount();
        switchMode(true);
        QCOMPARE(sentSince(sent), QStringList({"=K0000"}));
        QCOMPARE(frameCaption(tone()->frequencyBox), QString("Start Freq")); // the switch did run
        QStringList after;
        for (QWidget* other : others)
            after << captions(other);
        QCOMPARE(after, before);

        sent = sentCount();
        switchMode(false);
        QCOMPARE(sentSince(sent), QStringList({"=E03", "=C"}));
        QCOMPARE(partOf<DirectCommandPanel>(window)->intTrigButton->text(), QString("1 Shot"));
        after.clear();
        for (QWidget* other : others)
            after << captions(other);
        QCOMPARE(after, before);
    }

    void rampPreviewTableFitsItsTexts()
    {
        clickBox(tone()->chirpMode);
        ChirpPanel* chirp = partOf<ChirpPanel>(window);
        // Long texts of every column: 10 significant digits and a difference.
        tone()->frequencyBox->setText("75");
        chirp->rampTimeBox->setText("20");
        QTest::mouseClick(chirp->calculateButton, Qt::LeftButton);
        QCOMPARE(chirp->achieved[0]->text(), QString("74.99694824"));
        QCOMPARE(chirp->difference[0]->text(), QString("-0.00305176"));
        QCOMPARE(chirp->achieved[2]->text(), QString("20.78711987"));

        // The default size, then the smallest the window allows.
        QCoreApplication::processEvents();
        verifyLabelsFit(chirp->previewFrame);
        window->resize(1, 1);
        QCoreApplication::processEvents();
        QCOMPARE(window->size(), window->minimumSize().expandedTo(window->minimumSizeHint()));
        verifyLabelsFit(chirp->previewFrame);
        // Neighbouring columns keep a gap.
        for (int r = 0; r < 4; ++r) {
            QVERIFY(chirp->requested[r]->geometry().right() < chirp->achieved[r]->geometry().left());
            QVERIFY(chirp->achieved[r]->geometry().right() < chirp->difference[r]->geometry().left());
        }
    }

    void benchPanelKeepsItsCopiesOfTheChirpControls()
    {
        clickBox(tone()->chirpMode);
        clickBox(tone()->singleMode);
        // The mode table hides the chirp panel's copies, never the bench panel's.
        QVERIFY(!partOf<TestPanel>(window)->saveToDds->isHidden());
        QVERIFY(!partOf<TestPanel>(window)->clearFlashButton->isHidden());
        // Both "Save to DDS" boxes are one setting.
        partOf<ChirpPanel>(window)->saveToDds->setChecked(true);
        QVERIFY(partOf<TestPanel>(window)->saveToDds->isChecked());
        QCOMPARE(window->link().SavString(), std::string("=aD"));
        partOf<TestPanel>(window)->saveToDds->setChecked(false);
        QVERIFY(!partOf<ChirpPanel>(window)->saveToDds->isChecked());
        QCOMPARE(window->link().SavString(), std::string("=D"));
    }

    void sliderMovedDuringAnotherProcedureIsSentAfterIt()
    {
        // A move while the page is busy only marks the frequency pending; it
        // must reach the unit once the procedure in progress ends.
        partOf<TonePage>(window)->run([this] {
            tone()->frequencySlider->setValue(100);
            return true;
        });
        QCOMPARE(unit().frequencyWord(), 0x51EB851Eu);
    }

    // --- limits, offset, clock ---
    void limitsAndMaintainedOffsetReachTheSliderAndTheSettingsFile()
    {
        partOf<QAction>(window, "SetFreqLimits")->trigger();
        LimitsWindow* limits = partOf<LimitsWindow>(window);
        QVERIFY(limits->isVisible());
        limits->Text1->setText("2");
        limits->Text2->setText("300");
        limits->Command1->click();
        QCOMPARE(tone()->frequencySlider->minimum(), 5);
        QCOMPARE(tone()->frequencySlider->maximum(), 270);

        partOf<QAction>(window, "FoS")->trigger();
        OffsetWindow* offset = partOf<OffsetWindow>(window);
        QVERIFY(offset->isVisible());
        QVERIFY(!window->isEnabled());
        offset->Check1->click(); // "Maintain Offset" with the starting 1000 kHz
        QVERIFY(tone()->offsetLabel->isVisibleTo(window));
        QVERIFY(!tone()->hiresF->isEnabled());
        partOf<TonePage>(window)->Send_Click(); // re-enables the controls it held: not "Hires F"
        QVERIFY(!tone()->hiresF->isEnabled());
        QCOMPARE(tone()->frequencySlider->maximum(), 269);
        offset->Command2->click();
        QVERIFY(window->isEnabled());

        // The file keeps the operator's limits, not the lowered maximum.
        window->close();
        QVERIFY(readFile(settings->filePath("maxmin.txt")).startsWith("270\r\n5\r\n"));
    }

    void clockWindowHoldsTheMainWindowUntilItCloses()
    {
        partOf<QAction>(window, "IntClkRate")->trigger();
        QVERIFY(partOf<ClockWindow>(window)->isVisible());
        QVERIFY(!window->isEnabled());
        partOf<ClockWindow>(window)->Text1->setText("1f");
        partOf<ClockWindow>(window)->Command1->click();
        QVERIFY(window->isEnabled());
        const std::size_t before = sentCount();
        QTest::mouseClick(partOf<DirectCommandPanel>(window)->intClockButton, Qt::LeftButton);
        QVERIFY(sentSince(before).contains("=K001F"));
    }

    // --- FixedFrequencyWindow, DebugWindow, PollWindow ---
    void fixedFrequencyHidesTheMainWindowAndHoldsOffChirpAndOffset()
    {
        partOf<QAction>(window, "FixedFreq")->trigger();
        QVERIFY(partOf<FixedFrequencyWindow>(window)->isVisible());
        QVERIFY(!window->isVisible());
        partOf<FixedFrequencyWindow>(window)->Check1->click();
        QVERIFY(tone()->chirpMode->isHidden());
        QVERIFY(!partOf<QAction>(window, "FoS")->isEnabled());
        const std::size_t before = sentCount();
        tone()->frequencySlider->setValue(100);
        for (const QString& line : sentSince(before)) // group 2 stays as it is
            QVERIFY2(!line.endsWith("84") && !line.endsWith("85") && !line.endsWith("86") &&
                         !line.endsWith("87"),
                     qPrintable(line));
        partOf<FixedFrequencyWindow>(window)->Check1->click();
        QVERIFY(!tone()->chirpMode->isHidden());
        QVERIFY(partOf<QAction>(window, "FoS")->isEnabled());
        partOf<FixedFrequencyWindow>(window)->Command2->click();
        QVERIFY(window->isVisible());
    }

    void pollAndDebugWindowsOpenFromTheWindow()
    {
        QTest::mouseClick(partOf<TestPanel>(window)->pollButton, Qt::LeftButton);
        QVERIFY(partOf<PollWindow>(window)->isVisible());
        partOf<PollWindow>(window)->Command3->click();
        partOf<QAction>(window, "Debug")->trigger();
        QVERIFY(partOf<DebugWindow>(window)->isVisible());
        partOf<DebugWindow>(window)->Text1->setText("=v");
        const std::size_t before = sentCount();
        partOf<DebugWindow>(window)->Command1->click();
        QTest::qWait(20);
        QCOMPARE(sentSince(before), QStringList({"=v"}));
    }

    // --- communications log ---
    void logRecordsTheSessionAndTheCaptionNamesIt()
    {
        const QString path = settings->filePath("session.log");
        window->dialogs().chooseFile = [&](const QString&, const QString&) { return path; };
        partOf<QAction>(window, "mnuOpenLog")->trigger();
        QCOMPARE(window->windowTitle(), "Velmar Plovan - " + path);
        QVERIFY(!partOf<QAction>(window, "mnuOpenLog")->isEnabled());
        QVERIFY(partOf<QAction>(window, "mnuCloseLog")->isEnabled());

        partOf<CommLog>(window)->setQuietMs(0);
        QTest::mouseClick(partOf<DirectCommandPanel>(window)->intTrigButton, Qt::LeftButton);
        QTest::qWait(20);
        partOf<QAction>(window, "mnuCloseLog")->trigger();
        QCOMPARE(window->windowTitle(), QString("Velmar Plovan No usb found RS232 only"));
        QVERIFY(partOf<QAction>(window, "mnuOpenLog")->isEnabled());
        const QByteArray log = readFile(path);
        QVERIFY2(log.contains("> =I\r\n"), log.constData());
        QVERIFY2(log.contains("< @"), log.constData());
    }
};

QTEST_MAIN(TestWindowWiring)
#include "tst_window_wiring.moc"
