// The chirp panel headless, next to a single-tone panel as in the main
// window: "Calculate DeltaF" and its preview, the field rules and key
// filters, the mode switch of each panel, and "CHIRP" through the simulated
// unit.
#include "chirp_panel.h"
#include "chirp_programmer.h"
#include "link.h"
#include "sim_backend.h"
#include "sim_unit_fixture.h"
#include "single_tone_panel.h"
#include "tone_controller.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

using namespace plovan;

class TestChirpPanel : public QObject, SimUnitFixture {
    Q_OBJECT

    std::unique_ptr<ToneController> tone;
    std::unique_ptr<ChirpProgrammer> programmer;
    std::unique_ptr<QWidget> root;
    SingleTonePanel* tonePanel = nullptr;
    ChirpPanel* panel = nullptr;

private slots:
    void init()
    {
        setUpUnit(Link::kDefaultAckTimeoutMs);
        tone = std::make_unique<ToneController>(*link, state, hooks);
        programmer = std::make_unique<ChirpProgrammer>(*link, state, hooks, *tone);

        root = std::make_unique<QWidget>();
        tonePanel = new SingleTonePanel(root.get());
        ChirpPanel::Shared shared;
        shared.startBox = tonePanel->frequencyBox;
        shared.stopBox = tonePanel->phaseBox;
        shared.amplitudeSlider = tonePanel->amplitudeSlider;
        shared.inverseSinc = tonePanel->inverseSinc;
        panel = new ChirpPanel(*programmer, shared, root.get());
        auto* layout = new QVBoxLayout(root.get());
        layout->addWidget(tonePanel);
        layout->addWidget(panel);
        root->resize(1366, 768);
        tonePanel->chirpMode->setChecked(true);
    }
    void cleanup()
    {
        root.reset();
        programmer.reset();
        tone.reset();
        tearDownUnit();
    }

    void calculateFillsFieldsAndPreview()
    {
        tonePanel->phaseBox->setText("140");
        panel->calculateButton->click();
        QCOMPARE(panel->dwellTimeBox->text(), QStringLiteral("0.0064"));
        QCOMPARE(panel->nStepsBox->text(), QStringLiteral("3125"));
        QCOMPARE(panel->deltaFBox->text(), QStringLiteral("20.8"));
        QCOMPARE(tonePanel->phaseBox->text(), QStringLiteral("140"));
        QCOMPARE(errors, QStringList());
        QCOMPARE(newLines(), QStringList());

        // Requested beside achieved: the start loses its lower 16 bits, the
        // step is a whole number of step units, the time is exact.
        QCOMPARE(panel->requested[0]->text(), QStringLiteral("75"));
        QCOMPARE(panel->achieved[0]->text(), QStringLiteral("74.99694824"));
        QCOMPARE(panel->difference[0]->text(), QStringLiteral("-0.00305176"));
        QCOMPARE(panel->requested[2]->text(), QStringLiteral("20.8"));
        QCOMPARE(panel->achieved[2]->text(), QStringLiteral("20.78711987"));
        QCOMPARE(panel->requested[3]->text(), QStringLiteral("20"));
        QCOMPARE(panel->achieved[3]->text(), QStringLiteral("20"));
        QCOMPARE(panel->difference[3]->text(), QString());
        QVERIFY(panel->previewNote->text().contains("every 4th step"));
        // A staircase: two points per level after the first.
        QCOMPARE(panel->previewSeries->count(), 2 * 783 - 1);
        QCOMPARE(panel->previewSeries->at(0), QPointF(0, 74.996948242187500));
    }

    void failedCalculationClearsThePreview()
    {
        tonePanel->phaseBox->setText("140");
        panel->calculateButton->click();
        QVERIFY(panel->previewSeries->count() > 0);
        panel->rampTimeBox->setText("0.005");
        panel->calculateButton->click();
        QCOMPARE(errors, QStringList({QString::fromLatin1(kNStepsTooLow.data())}));
        QCOMPARE(panel->nStepsBox->text(), QStringLiteral("0"));
        QCOMPARE(panel->deltaFBox->text(), QStringLiteral("20.8")); // untouched
        QCOMPARE(panel->previewSeries->count(), 0);
        QCOMPARE(panel->achieved[0]->text(), QString());
    }

    void fieldRulesAndKeyFilters()
    {
        panel->deltaFBox->setText("40000");
        QCOMPARE(panel->deltaFBox->text(), QStringLiteral("32766"));
        panel->deltaFBox->clear();
        QTest::keyClicks(panel->deltaFBox, "1a,F.-2");
        QCOMPARE(panel->deltaFBox->text(), QStringLiteral("1F.2"));
        for (QLineEdit* box : {panel->dwellMultiplierBox, panel->rampTimeBox, panel->nStepsBox}) {
            box->clear();
            QTest::keyClicks(box, "12x.3A");
            QCOMPARE(box->text(), QStringLiteral("12.3"));
        }
        panel->rampUnit[1]->click();
        QCOMPARE(panel->rampTimeFrame->title(), QStringLiteral("Ramp time (mS)"));
        panel->rampUnit[2]->click();
        QCOMPARE(panel->rampTimeFrame->title(), QStringLiteral("Ramp time (S)"));
        panel->dwellMultiplierBox->setText("1");
        panel->calculateButton->click();
        QCOMPARE(panel->nStepsBox->text(), QStringLiteral("1921875000")); // 12.3 s, multiplier 1
    }

    void sharedSaveToDdsStaysWithItsPanel()
    {
        auto* own = new QCheckBox("Save to DDS", root.get());
        ChirpPanel::Shared shared;
        shared.saveToDds = own;
        auto* second = new ChirpPanel(*programmer, shared, root.get());
        QCOMPARE(second->saveToDds, own);
        second->applyMode(false);
        QVERIFY(!own->isHidden());
        QVERIFY(second->chirpButton->isHidden());
    }

    void optionsSwitchAndSend()
    {
        QList<bool> windowModes;
        panel->applyModeToWindow = [&](bool chirp) {
            // The panel has switched its own controls by now.
            QCOMPARE(panel->chirpButton->isHidden(), !chirp);
            windowModes << chirp;
            tonePanel->applyMode(chirp);
        };
        tonePanel->triggerTimer->start();
        panel->Option1_Click();
        QCOMPARE(newLines(), QStringList({"=K0000"}));
        QCOMPARE(tonePanel->phaseBox->text(), QStringLiteral("140"));
        QCOMPARE(panel->dwellTimeBox->text(), QStringLiteral("0.0064"));
        QVERIFY(panel->chirpButton->isVisibleTo(root.get()));

        tonePanel->singleMode->setChecked(true);
        panel->Option2_Click();
        QCOMPARE(newLines(), QStringList({"=E03", "=C"}));
        QCOMPARE(tonePanel->phaseBox->text(), QStringLiteral("0"));
        QVERIFY(!tonePanel->triggerTimer->isActive());
        QVERIFY(!panel->chirpButton->isVisibleTo(root.get()));
        QCOMPARE(windowModes, QList<bool>({true, false}));
    }

    void chirpButtonSendsTheRamp()
    {
        tonePanel->phaseBox->setText("140");
        tonePanel->amplitudeSlider->setValue(512);
        tonePanel->inverseSinc->setChecked(true);
        panel->extTrig->setChecked(true);
        panel->chirpButton->click();
        const QStringList lines = newLines();
        QCOMPARE(lines.mid(0, 6),
                 QStringList({"=r", "=C", "=H00000244DF", "=H00000404DF", "=H0000030030", "=D3DC4"}));
        QCOMPARE(lines.mid(lines.size() - 3), QStringList({"=D20E0", "=U", "=EA0"}));
        QCOMPARE(panel->wordBox->text(), QStringLiteral("00001"));
        QCOMPARE(panel->dwellMultiplierBox->text(), QStringLiteral("00001"));
        QVERIFY(panel->chirpButton->isEnabled());
        QVERIFY(panel->achieved[1]->text().startsWith("139.9"));
    }
};

QTEST_MAIN(TestChirpPanel)
#include "tst_chirp_panel.moc"
