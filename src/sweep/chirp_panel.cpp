#include "chirp_panel.h"

#include "caption_label.h"

#include "chirp_calc.h"
#include "chirp_programmer.h"
#include "key_filter.h"
#include "named.h"

#include <QButtonGroup>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

namespace plovan {

namespace {

// A frame captioned as the operator knows it, holding one box.
QGroupBox* boxFrame(QWidget* parent, const char* frameName, const QString& caption, QLineEdit*& box,
                    const char* boxName, const QString& text, const QString& keys)
{
    auto* frame = named(new QGroupBox(caption, parent), frameName);
    box = named(new QLineEdit(text, frame), boxName);
    box->setMaximumWidth(110);
    if (!keys.isEmpty()) KeyFilter::install(box, keys);
    auto* l = new QHBoxLayout(frame);
    l->addWidget(box);
    return frame;
}

std::string str(const QString& s)
{
    return s.toStdString();
}
QString qstr(const std::string& s)
{
    return QString::fromStdString(s);
}

// Values in the preview: ten significant digits are well below what the
// words can resolve, so a difference shown is a real one.
QString shown(double v)
{
    return qstr(generalText(v, 10));
}

} // namespace

ChirpPanel::ChirpPanel(ChirpProgrammer& programmer, const Shared& shared, QWidget* parent)
    : QWidget(parent), programmer_(programmer), shared_(shared)
{
    setObjectName(QStringLiteral("ChirpPanel"));
    run = [](const std::function<bool()>& procedure) { return procedure(); };
    const ChirpState& s = programmer_.chirp;
    const QString dec = KeyFilter::kDecimal;

    rampUnitFrame = named(new QGroupBox(QStringLiteral("Ramp time in :"), this), "FrameRampUnit");
    auto* unitGroup = new QButtonGroup(this);
    auto* ul = new QHBoxLayout(rampUnitFrame);
    static const char* unitNames[] = {"Option5_0", "Option5_1", "Option5_2"};
    static const char* unitCaptions[] = {"uS", "mS", "S"};
    for (int i = 0; i < 3; ++i) {
        rampUnit[i] = named(new QRadioButton(QLatin1String(unitCaptions[i]), rampUnitFrame), unitNames[i]);
        rampUnit[i]->setProperty("index", i); // the original's control array index
        unitGroup->addButton(rampUnit[i], i);
        ul->addWidget(rampUnit[i]);
    }
    rampUnit[static_cast<int>(s.rampUnit)]->setChecked(true);

    rampTimeFrame = boxFrame(this, "FrameRampTime", QStringLiteral("Ramp Time (uS)"), rampTimeBox, "Text25",
                             qstr(s.rampTimeText), dec);
    dwellMultiplierFrame = boxFrame(this, "FrameDwellMultiplier", QStringLiteral("Dwell Multiplier"),
                                    dwellMultiplierBox, "Text23", qstr(s.dwellMultiplierText), dec);
    dwellTimeFrame = boxFrame(this, "FrameDwellTime", QStringLiteral("Dwell Time uS"), dwellTimeBox, "Text27",
                              qstr(s.dwellTimeText), {});
    dwellTimeBox->setReadOnly(true);
    nStepsFrame = boxFrame(this, "FrameNSteps", QStringLiteral("N Steps "), nStepsBox, "Text26",
                           qstr(s.nStepsText), dec);
    deltaFFrame = boxFrame(this, "FrameDeltaF", QStringLiteral("Delta F (KHz)"), deltaFBox, "Text22",
                           qstr(s.deltaFText), KeyFilter::kHexDecimal);

    calculateButton = named(new QPushButton(QStringLiteral("Calculate DeltaF"), this), "Command17");
    chirpButton = named(new QPushButton(QStringLiteral("CHIRP"), this), "Command15");
    chirpNoUButton = named(new QPushButton(QStringLiteral("Chirp no U"), this), "Command50");

    functionsFrame = named(new QGroupBox(QStringLiteral("Functions"), this), "FrameFunctions");
    extRfOn = named(new QCheckBox(QStringLiteral("Ext RF On"), functionsFrame), "Check13");
    laserOn = named(new QCheckBox(QStringLiteral("Laser On"), functionsFrame), "Check14");
    extTrig = shared_.extTrig ? shared_.extTrig
                              : named(new QCheckBox(QStringLiteral("Ext Trig"), functionsFrame), "Check15");
    saveToDds = shared_.saveToDds
                    ? shared_.saveToDds
                    : named(new QCheckBox(QStringLiteral("Save to DDS"), functionsFrame), "Check11");
    clearFlashButton = named(new QPushButton(QStringLiteral("Clear Flash"), functionsFrame), "Command16");
    savingToFlash = named(new QLabel(QStringLiteral("Saving to Flash"), functionsFrame), "Label1");
    savingToFlash->setVisible(false);
    wordBox = named(new QLineEdit(functionsFrame), "Text24");
    wordBox->setReadOnly(true);
    wordBox->setMaximumWidth(80);
    wordBox->setToolTip(tr("Step word, then dwell word, in hex, as written"));
    auto* fl = new QHBoxLayout(functionsFrame);
    fl->addWidget(extRfOn);
    fl->addWidget(laserOn);
    if (!shared_.extTrig) fl->addWidget(extTrig);
    if (!shared_.saveToDds) fl->addWidget(saveToDds);
    fl->addWidget(clearFlashButton);
    fl->addWidget(captionFor(wordBox, tr("Step, dwell words")));
    fl->addWidget(wordBox);
    fl->addWidget(savingToFlash);
    fl->addStretch(1);

    previewFrame = named(new QGroupBox(QStringLiteral("Ramp preview"), this), "FrameRampPreview");
    previewSeries = new QLineSeries;
    chart_ = new QChart;
    chart_->addSeries(previewSeries);
    chart_->legend()->hide();
    chart_->setMargins(QMargins(2, 2, 2, 2));
    timeAxis_ = new QValueAxis;
    timeAxis_->setTitleText(QStringLiteral("Time (uS)"));
    // Three short labels fit the narrow chart; five run into each other.
    timeAxis_->setTickCount(3);
    timeAxis_->setLabelFormat(QStringLiteral("%.3g"));
    frequencyAxis_ = new QValueAxis;
    frequencyAxis_->setTitleText(QStringLiteral("MHz"));
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(frequencyAxis_, Qt::AlignLeft);
    previewSeries->attachAxis(timeAxis_);
    previewSeries->attachAxis(frequencyAxis_);
    previewView = named(new QChartView(chart_, previewFrame), "ChirpPreview");
    previewView->setRenderHint(QPainter::Antialiasing);
    previewView->setMinimumHeight(170);
    previewView->setMinimumWidth(200);

    // The table takes the width of its texts: a label is never narrower than
    // what it shows (no explicit minimum width, no word wrap), and the value
    // columns keep room for ten significant digits, so a typical ramp does not
    // make the window relayout.
    auto* values = new QGridLayout;
    static const char* rows[] = {"Start (MHz)", "Stop (MHz)", "Step (kHz)", "Ramp time (uS)"};
    static const char* columns[] = {"Requested", "Achieved", "Difference"};
    const Qt::Alignment numbers = Qt::AlignRight | Qt::AlignVCenter;
    for (int c = 0; c < 3; ++c) {
        auto* heading = new QLabel(QLatin1String(columns[c]), previewFrame);
        heading->setAlignment(numbers);
        values->addWidget(heading, 0, c + 1);
        values->setColumnMinimumWidth(
            c + 1, previewFrame->fontMetrics().horizontalAdvance(QStringLiteral("-0000.000000")));
    }
    for (int r = 0; r < 4; ++r) {
        values->addWidget(new QLabel(QLatin1String(rows[r]), previewFrame), r + 1, 0);
        requested[r] = new QLabel(previewFrame);
        achieved[r] = new QLabel(previewFrame);
        difference[r] = new QLabel(previewFrame);
        for (QLabel* l : {requested[r], achieved[r], difference[r]}) {
            l->setTextInteractionFlags(Qt::TextSelectableByMouse);
            l->setAlignment(numbers);
        }
        values->addWidget(requested[r], r + 1, 1);
        values->addWidget(achieved[r], r + 1, 2);
        values->addWidget(difference[r], r + 1, 3);
    }
    previewNote = named(new QLabel(previewFrame), "PreviewNote");
    previewNote->setWordWrap(true);
    values->addWidget(previewNote, 5, 0, 1, 4);
    values->setRowStretch(6, 1);
    auto* pl = new QHBoxLayout(previewFrame);
    pl->addWidget(previewView, 3);
    pl->addLayout(values, 2);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    grid->addWidget(rampUnitFrame, 0, 0);
    grid->addWidget(rampTimeFrame, 0, 1);
    grid->addWidget(dwellMultiplierFrame, 0, 2);
    grid->addWidget(dwellTimeFrame, 0, 3);
    grid->addWidget(nStepsFrame, 1, 0);
    grid->addWidget(deltaFFrame, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(calculateButton);
    buttons->addWidget(chirpButton);
    buttons->addWidget(chirpNoUButton);
    grid->addLayout(buttons, 1, 2, 1, 2);
    grid->addWidget(functionsFrame, 2, 0, 1, 4);
    grid->addWidget(previewFrame, 3, 0, 1, 4);
    grid->setRowStretch(3, 1);
    for (QLayout* l : findChildren<QLayout*>()) {
        if (l == grid) continue;
        l->setContentsMargins(6, 2, 6, 2);
        l->setSpacing(4);
    }
    // Neighbouring columns of numbers need a clear gap, or they read as one number.
    values->setHorizontalSpacing(previewFrame->fontMetrics().horizontalAdvance(QStringLiteral("00")));
    clearPlan(tr("Press \"Calculate DeltaF\" to see the ramp."));

    connect(deltaFBox, &QLineEdit::textChanged, this, &ChirpPanel::Text22_Change);
    connect(unitGroup, &QButtonGroup::idClicked, this, &ChirpPanel::Option5_Click);
    connect(calculateButton, &QPushButton::clicked, this, &ChirpPanel::Command17_Click);
    connect(chirpButton, &QPushButton::clicked, this, &ChirpPanel::Command15_Click);
    connect(chirpNoUButton, &QPushButton::clicked, this, &ChirpPanel::Command50_Click);
    connect(clearFlashButton, &QPushButton::clicked, this, [this] { programmer_.ClearFlash(); });
    // A box of another panel keeps its own handler; only the panel's own one is wired here.
    if (!shared_.saveToDds)
        connect(saveToDds, &QCheckBox::toggled, this,
                [this](bool ticked) { programmer_.setSaveToDds(ticked); });

    ChirpHooks& hooks = programmer_.hooks;
    hooks.fieldsChanged = [this] { showFields(); };
    hooks.preview = [this](const RampPlan& plan) { showPlan(plan); };
    hooks.savingToFlash = [this](bool on) { savingToFlash->setVisible(on); };
    hooks.saveToDdsCleared = [this] { saveToDds->setChecked(false); };
}

void ChirpPanel::Text22_Change()
{
    const QString clamped = qstr(clampDeltaF(str(deltaFBox->text())));
    if (clamped != deltaFBox->text()) deltaFBox->setText(clamped);
}

void ChirpPanel::Option5_Click(int index)
{
    // The unit itself is read when the ramp is next set up.
    rampTimeFrame->setTitle(qstr(rampTimeCaption(static_cast<RampUnit>(index))));
}

void ChirpPanel::readInto()
{
    ChirpState& s = programmer_.chirp;
    SynthState& synth = programmer_.synth();
    s.deltaFText = str(deltaFBox->text());
    s.dwellMultiplierText = str(dwellMultiplierBox->text());
    s.rampTimeText = str(rampTimeBox->text());
    s.nStepsText = str(nStepsBox->text());
    s.dwellTimeText = str(dwellTimeBox->text());
    for (int i = 0; i < 3; ++i)
        if (rampUnit[i]->isChecked()) s.rampUnit = static_cast<RampUnit>(i);
    s.extRfOn = extRfOn->isChecked();
    s.laserOn = laserOn->isChecked();
    s.extTrig = extTrig->isChecked();
    if (shared_.inverseSinc) s.inverseSinc = shared_.inverseSinc->isChecked();
    if (shared_.amplitudeSlider) s.amplitudeSlider = shared_.amplitudeSlider->value();
    if (shared_.startBox) synth.frequencyText = str(shared_.startBox->text());
    if (shared_.stopBox) synth.phaseText = str(shared_.stopBox->text());
}

void ChirpPanel::showFields()
{
    const ChirpState& s = programmer_.chirp;
    const auto set = [](QLineEdit* box, const std::string& text) {
        if (box->text() != qstr(text)) box->setText(qstr(text));
    };
    set(deltaFBox, s.deltaFText);
    set(dwellMultiplierBox, s.dwellMultiplierText);
    set(rampTimeBox, s.rampTimeText);
    set(nStepsBox, s.nStepsText);
    set(dwellTimeBox, s.dwellTimeText);
    set(wordBox, s.rampWordHex);
    if (shared_.stopBox) set(shared_.stopBox, programmer_.synth().phaseText);
}

void ChirpPanel::clearPlan(const QString& note)
{
    previewSeries->clear();
    for (int r = 0; r < 4; ++r) {
        requested[r]->clear();
        achieved[r]->clear();
        difference[r]->clear();
    }
    previewNote->setText(note);
}

void ChirpPanel::showPlan(const RampPlan& plan)
{
    const RampPreview& p = plan.preview;
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(p.points.size()) * 2);
    for (std::size_t i = 0; i < p.points.size(); ++i) {
        // Each level holds until the next step: a staircase.
        if (i > 0) points.append(QPointF(p.points[i].timeUs, p.points[i - 1].mhz));
        points.append(QPointF(p.points[i].timeUs, p.points[i].mhz));
    }
    previewSeries->replace(points);
    double low = p.points.front().mhz;
    double high = low;
    for (const StairPoint& point : p.points) {
        low = std::min(low, point.mhz);
        high = std::max(high, point.mhz);
    }
    const double pad = std::max((high - low) * 0.05, 0.001);
    frequencyAxis_->setRange(low - pad, high + pad);
    timeAxis_->setRange(0, std::max(p.rampTimeUs, p.dwellUs));

    const double asked[4] = {plan.requestedStartMHz, plan.requestedStopMHz, plan.requestedStepKHz,
                             plan.requestedRampTimeUs};
    const double got[4] = {p.startMHz, p.stopMHz, p.stepKHz, p.rampTimeUs};
    for (int r = 0; r < 4; ++r) {
        requested[r]->setText(shown(asked[r]));
        achieved[r]->setText(shown(got[r]));
        const bool differs = shown(asked[r]) != shown(got[r]);
        const double d = got[r] - asked[r];
        difference[r]->setText(differs ? (d > 0 ? QStringLiteral("+") : QString()) + qstr(generalText(d, 6))
                                       : QString());
    }
    QStringList notes;
    notes << tr("%1 steps of %2 uS")
                 .arg(qstr(generalText(static_cast<double>(plan.words.N))), shown(p.dwellUs));
    if (p.stride > 1) notes << tr("every %1th step drawn").arg(p.stride);
    if (p.heldAtStop) notes << tr("the steps reach the stop frequency early; the unit holds there");
    previewNote->setText(notes.join(QStringLiteral("; ")));
}

void ChirpPanel::Command17_Click()
{
    readInto();
    bool planned = false;
    run([this, &planned] {
        planned = programmer_.Command17_Click().has_value();
        return planned;
    });
    showFields();
    if (!planned) clearPlan(tr("No ramp: see the message."));
}

void ChirpPanel::runProgramming(const std::function<bool()>& procedure)
{
    // One chirp at a time: the buttons wait for the one being written.
    for (QPushButton* b : {calculateButton, chirpButton, chirpNoUButton})
        b->setEnabled(false);
    readInto();
    run(procedure);
    showFields();
    for (QPushButton* b : {calculateButton, chirpButton, chirpNoUButton})
        b->setEnabled(true);
}

void ChirpPanel::Command15_Click()
{
    runProgramming([this] { return programmer_.CHIRP(); });
}

void ChirpPanel::Command50_Click()
{
    runProgramming([this] { return programmer_.ChirpNoU(); });
}

bool ChirpPanel::StatuZ()
{
    readInto();
    return programmer_.StatuZ();
}

void ChirpPanel::applyMode(bool chirp)
{
    for (QWidget* w : std::initializer_list<QWidget*>{
             rampUnitFrame, rampTimeFrame, rampTimeBox, dwellMultiplierFrame, dwellMultiplierBox,
             dwellTimeFrame, nStepsFrame, nStepsBox, deltaFFrame, deltaFBox, calculateButton, chirpButton,
             chirpNoUButton, functionsFrame, clearFlashButton, previewFrame})
        w->setVisible(chirp);
    if (!shared_.saveToDds) saveToDds->setVisible(chirp);
}

void ChirpPanel::Option1_Click()
{
    readInto();
    run([this] { return programmer_.enterChirpMode(); });
    applyMode(true);
    if (applyModeToWindow) applyModeToWindow(true);
    showFields();
}

void ChirpPanel::Option2_Click()
{
    // The controls switch before the unit does, so that a trigger run is over
    // before the mode commands are sent.
    applyMode(false);
    if (applyModeToWindow) applyModeToWindow(false);
    readInto();
    run([this] { return programmer_.enterSingleMode(); });
    showFields();
}

} // namespace plovan
