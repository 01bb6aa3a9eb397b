#include "single_tone_panel.h"

#include "caption_label.h"
#include "frequency_limits.h"
#include "key_filter.h"
#include "named.h"
#include "synth_state.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace plovan {

namespace {

QSlider* slider(QWidget* parent, const char* name, int min, int max, int step, int page)
{
    auto* s = named(new QSlider(Qt::Horizontal, parent), name);
    s->setRange(min, max);
    s->setSingleStep(step);
    s->setPageStep(page);
    return s;
}

QLineEdit* numberBox(QWidget* parent, const char* name, const QString& text, const QString& keys)
{
    auto* box = named(new QLineEdit(text, parent), name);
    box->setMaximumWidth(90);
    if (!keys.isEmpty()) KeyFilter::install(box, keys);
    return box;
}

// The boxes read "." as the decimal point whatever the desktop's locale.
std::optional<double> valueOf(const QString& text)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok) return std::nullopt;
    return v;
}

std::string str(const QString& s)
{
    return s.toStdString();
}
QString qstr(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

SingleTonePanel::SingleTonePanel(QWidget* parent) : QWidget(parent)
{
    const QString dec = KeyFilter::kDecimal;

    frequencyFrame = named(new QGroupBox(QStringLiteral("Frequency MHz"), this), "FrameFrequencyMHz");
    frequencyBox = numberBox(frequencyFrame, "Text1", QStringLiteral("75"), dec);
    frequencySlider = slider(frequencyFrame, "Slider1", minFrequency_, maxFrequency_, 1, 5);
    hiresF = named(new QCheckBox(QStringLiteral("Hires F"), frequencyFrame), "Check3");
    fineSlider = slider(frequencyFrame, "Slider5", 0, 99, 1, 5);
    fineBox = numberBox(frequencyFrame, "Text5", QStringLiteral("00"), dec);
    fineSlider->setVisible(false);
    fineBox->setVisible(false);
    // Shown while a frequency offset is maintained; a click opens the offset window.
    offsetLabel =
        named(new QLabel(QStringLiteral("<a href=\"offset\">Offset</a>"), frequencyFrame), "Label6");
    offsetLabel->setToolTip(tr("A frequency offset is maintained on group 1"));
    offsetLabel->setVisible(false);
    auto* fg = new QGridLayout(frequencyFrame);
    fg->addWidget(frequencyBox, 0, 0);
    fg->addWidget(frequencySlider, 0, 1);
    fg->addWidget(offsetLabel, 0, 2);
    fg->addWidget(hiresF, 1, 0);
    auto* fine = new QHBoxLayout;
    fine->addWidget(fineSlider, 1);
    fine->addWidget(fineBox);
    fg->addLayout(fine, 1, 1);

    phaseFrame = named(new QGroupBox(QStringLiteral("Phase (0-360)"), this), "FramePhase");
    phaseBox = numberBox(phaseFrame, "Text2", QStringLiteral("0"), dec);
    phaseSlider = slider(phaseFrame, "Slider2", 0, 360, 1, 5);
    auto* pl = new QHBoxLayout(phaseFrame);
    pl->addWidget(phaseBox);
    pl->addWidget(phaseSlider, 1);

    amplitudeFrame = named(new QGroupBox(QStringLiteral("Amplitude (0-1024)"), this), "FrameAmplitude");
    amplitudeBox = numberBox(amplitudeFrame, "Text3", QStringLiteral("512"), dec);
    amplitudeSlider = slider(amplitudeFrame, "Slider3", 0, 1024, 5, 204);
    amplitudeSlider->setValue(512);
    auto* al = new QHBoxLayout(amplitudeFrame);
    al->addWidget(amplitudeBox);
    al->addWidget(amplitudeSlider, 1);

    auto* amp2Frame = named(new QGroupBox(QStringLiteral("Amplitude 2"), this), "FrameAmplitude2");
    ampTracking = named(new QCheckBox(QStringLiteral("Amp Tracking"), amp2Frame), "Check10");
    ampTracking->setChecked(true);
    amplitude2Slider = slider(amp2Frame, "Slider6", 0, 4095, 1, 5);
    amplitude2Slider->setEnabled(false);
    auto* a2l = new QHBoxLayout(amp2Frame);
    a2l->addWidget(ampTracking);
    a2l->addWidget(amplitude2Slider, 1);

    auto* modeFrame = named(new QGroupBox(QStringLiteral("Mode"), this), "FrameMode");
    chirpMode = named(new QRadioButton(QStringLiteral("Chirp"), modeFrame), "Option1");
    singleMode = named(new QRadioButton(QStringLiteral("Single"), modeFrame), "Option2");
    singleMode->setChecked(true);
    auto* ml = new QHBoxLayout(modeFrame);
    ml->addWidget(chirpMode);
    ml->addWidget(singleMode);

    auto* channelFrame = named(new QGroupBox(QStringLiteral("Channels"), this), "FrameChannels");
    auto* cl = new QGridLayout(channelFrame);
    static const char* boxNames[] = {"Check5", "Check6", "Check7", "Check8"};
    static const char* optionNames[] = {"Option8", "Option9", "Option10", "Option11"};
    auto* distal = named(new QGroupBox(QStringLiteral("Distal"), this), "FrameDistal");
    auto* dl = new QGridLayout(distal);
    dl->addWidget(new QLabel(QStringLiteral("Proxamal"), distal), 0, 0, 1, 4);
    oneChannelGroup = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        channelBox[i] = named(new QCheckBox(QString::number(i + 1), channelFrame), boxNames[i]);
        cl->addWidget(channelBox[i], 0, i);
        oneChannel[i] = named(new QRadioButton(QString::number(i + 1), distal), optionNames[i]);
        oneChannelGroup->addButton(oneChannel[i], i + 1);
        dl->addWidget(oneChannel[i], 1, i);
    }
    allChannels = named(new QPushButton(QStringLiteral("All"), channelFrame), "Command61");
    noChannels = named(new QPushButton(QStringLiteral("None"), channelFrame), "Command62");
    cl->addWidget(allChannels, 1, 0, 1, 2);
    cl->addWidget(noChannels, 1, 2, 1, 2);

    auto* sincFrame = named(new QGroupBox(QStringLiteral("Inverse sync"), this), "FrameInverseSync");
    inverseOn = named(new QRadioButton(QStringLiteral("On"), sincFrame), "Option3");
    inverseOff = named(new QRadioButton(QStringLiteral("Off"), sincFrame), "Option4");
    invSync = named(new QCheckBox(QStringLiteral("Inv Sync"), sincFrame), "Check2");
    inverseSinc = named(new QCheckBox(QStringLiteral("Inverse Sinc"), sincFrame), "Check12");
    // Shows the state the unit was last sent; the operator switches with "Inv Sync".
    inverseSinc->setAttribute(Qt::WA_TransparentForMouseEvents);
    inverseSinc->setFocusPolicy(Qt::NoFocus);
    auto* sl = new QGridLayout(sincFrame);
    sl->addWidget(inverseOn, 0, 0);
    sl->addWidget(inverseOff, 0, 1);
    sl->addWidget(invSync, 1, 0);
    sl->addWidget(inverseSinc, 1, 1);

    auto* runFrame = named(new QGroupBox(QStringLiteral("Run"), this), "FrameRun");
    extEnable = named(new QPushButton(QStringLiteral("Ext Enable"), runFrame), "Command11");
    initY = named(new QPushButton(QStringLiteral("Init Y"), runFrame), "Command48");
    triggerSlider = slider(runFrame, "Slider7", 99, 5000, 1, 5);
    triggerSlider->setValue(500);
    triggerSlider->setToolTip(tr("Interval of the trigger timer, ms"));
    triggerTimer = new QTimer(this);
    triggerTimer->setObjectName(QStringLiteral("Timer3"));
    triggerTimer->setInterval(500);
    auto* rl = new QGridLayout(runFrame);
    rl->addWidget(extEnable, 0, 0);
    rl->addWidget(initY, 0, 1);
    rl->addWidget(triggerSlider, 1, 0, 1, 2);

    auto* tableFrame = named(new QGroupBox(QStringLiteral("Table"), this), "FrameTable");
    buildTable = named(new QCheckBox(QStringLiteral("Build Table"), tableFrame), "Check4");
    tableNext = named(new QPushButton(QStringLiteral("Next"), tableFrame), "Command7");
    tableEsc = named(new QPushButton(QStringLiteral("Esc"), tableFrame), "Command22");
    locationFrame = named(new QGroupBox(QStringLiteral("Location"), tableFrame), "FrameLocation");
    location = numberBox(locationFrame, "Text31", QStringLiteral("1"), {});
    location->setReadOnly(true);
    (new QHBoxLayout(locationFrame))->addWidget(location);
    auto* columns =
        named(new QGroupBox(QStringLiteral("Frequency     Amplitude "), tableFrame), "FrameColumns");
    tableFrequency = numberBox(columns, "Text29", {}, {});
    tableAmplitude = numberBox(columns, "Text30", QStringLiteral("800"), {});
    tableFrequency->setReadOnly(true);
    tableAmplitude->setReadOnly(true);
    auto* col = new QHBoxLayout(columns);
    col->addWidget(tableFrequency);
    col->addWidget(tableAmplitude);
    store = named(new QPushButton(QStringLiteral("Store"), tableFrame), "Command6");
    store->setVisible(false);
    auto* tl = new QHBoxLayout(tableFrame);
    tl->addWidget(buildTable);
    tl->addWidget(locationFrame);
    tl->addWidget(columns);
    tl->addWidget(tableNext);
    tl->addWidget(tableEsc);
    tl->addWidget(store);
    tl->addStretch(1);
    showTableControls(false);

    auto* wordFrame = named(new QGroupBox(QStringLiteral("Words"), this), "FrameWords");
    wordBox = numberBox(wordFrame, "Text4", {}, {});
    wordBox->setReadOnly(true);
    wordBox->setToolTip(tr("The word being written, in hex"));
    phaseWordBox = numberBox(wordFrame, "Text32", {}, {});
    phaseWordBox->setToolTip(tr("Phase word, decimal"));
    sendButton = named(new QPushButton(QStringLiteral("Send"), wordFrame), "Send");
    sendButton->setDefault(true);
    echoBox = named(new QPlainTextEdit(wordFrame), "Text20");
    echoBox->setReadOnly(true);
    echoBox->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    echoBox->setMaximumHeight(56);
    echoBox->setToolTip(tr("Each amplitude write, as sent"));
    auto* wl = new QGridLayout(wordFrame);
    wl->addWidget(captionFor(wordBox, tr("Word (hex)")), 0, 0);
    wl->addWidget(wordBox, 0, 1);
    wl->addWidget(captionFor(phaseWordBox, tr("Phase word")), 1, 0);
    wl->addWidget(phaseWordBox, 1, 1);
    wl->addWidget(sendButton, 2, 1);
    wl->addWidget(captionFor(echoBox, tr("Amplitude writes")), 0, 2);
    wl->addWidget(echoBox, 1, 2, 2, 1);
    wl->setColumnStretch(2, 1);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(frequencyFrame, 0, 0, 1, 2);
    grid->addWidget(phaseFrame, 1, 0);
    grid->addWidget(amplitudeFrame, 1, 1);
    grid->addWidget(amp2Frame, 2, 0);
    grid->addWidget(modeFrame, 2, 1);
    grid->addWidget(channelFrame, 3, 0);
    grid->addWidget(distal, 3, 1);
    grid->addWidget(sincFrame, 4, 0);
    grid->addWidget(runFrame, 4, 1);
    grid->addWidget(tableFrame, 5, 0, 1, 2);
    grid->addWidget(wordFrame, 6, 0, 1, 2);
    grid->setRowStretch(7, 1);
    // Equal columns, whichever frames show (the header panel covers some).
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(2);
    // Tight frames: the whole panel fits a 768-line screen without scrolling.
    for (QLayout* l : findChildren<QLayout*>()) {
        if (l == grid) continue;
        l->setContentsMargins(6, 2, 6, 2);
        l->setSpacing(4);
    }

    connect(frequencyBox, &QLineEdit::textChanged, this, &SingleTonePanel::Text1_Change);
    connect(phaseBox, &QLineEdit::textChanged, this, &SingleTonePanel::Text2_Change);
    connect(amplitudeBox, &QLineEdit::textChanged, this, &SingleTonePanel::Text3_Change);
    connect(fineBox, &QLineEdit::textChanged, this, &SingleTonePanel::Text5_Change);
    connect(hiresF, &QCheckBox::toggled, this, &SingleTonePanel::Check3_Click);
    connect(ampTracking, &QCheckBox::toggled, amplitude2Slider,
            [this](bool ticked) { amplitude2Slider->setEnabled(!ticked); });
    connect(triggerSlider, &QSlider::valueChanged, triggerTimer, qOverload<int>(&QTimer::setInterval));
}

void SingleTonePanel::setQuietly(QSlider* slider, int value)
{
    const bool blocked = slider->blockSignals(true);
    slider->setValue(value);
    slider->blockSignals(blocked);
}

void SingleTonePanel::setLimits(int minFrequency, int maxFrequency)
{
    minFrequency_ = minFrequency;
    maxFrequency_ = maxFrequency;
    const bool blocked = frequencySlider->blockSignals(true);
    frequencySlider->setRange(minFrequency, maxFrequency);
    frequencySlider->blockSignals(blocked);
}

void SingleTonePanel::Text1_Change()
{
    const auto v = valueOf(frequencyBox->text());
    if (!v) return;
    const TypedFrequency typed = typedFrequency(*v, minFrequency_, maxFrequency_);
    if (typed.verdict == TypedFrequency::Verdict::Replaced) {
        frequencyBox->setText(QString::number(maxFrequency_));
        return; // the change of text runs this again
    }
    if (typed.slider) setQuietly(frequencySlider, *typed.slider);
}

void SingleTonePanel::Text2_Change()
{
    const auto v = valueOf(phaseBox->text());
    if (!v) return;
    if (singleMode->isChecked() && *v > 360)
        phaseBox->setText(QStringLiteral("360"));
    else if (chirpMode->isChecked() && *v > maxFrequency_)
        phaseBox->setText(QString::number(maxFrequency_));
}

void SingleTonePanel::Text3_Change()
{
    const auto v = valueOf(amplitudeBox->text());
    if (v && *v > 1024) amplitudeBox->setText(QStringLiteral("1024"));
}

void SingleTonePanel::Text5_Change()
{
    if (fineBox->text().size() < 2) fineBox->setText(QLatin1Char('0') + fineBox->text());
}

void SingleTonePanel::Check3_Click()
{
    const bool ticked = hiresF->isChecked();
    fineSlider->setVisible(ticked);
    fineBox->setVisible(ticked);
    chirpMode->setVisible(!ticked);
}

void SingleTonePanel::showTableControls(bool visible)
{
    tableNext->setVisible(visible);
    tableEsc->setVisible(visible);
    locationFrame->setVisible(visible);
}

void SingleTonePanel::applyMode(bool chirp)
{
    for (QWidget* w : std::initializer_list<QWidget*>{inverseSinc, inverseOn, inverseOff})
        w->setVisible(chirp);
    for (QWidget* w : std::initializer_list<QWidget*>{invSync, hiresF})
        w->setVisible(!chirp);
    // Chirp mode has no table to store into; single-tone mode leaves "Store" as it is.
    if (chirp) store->setVisible(false);
    // Both modes use the boxes in these frames: only the captions change.
    frequencyFrame->setTitle(chirp ? QStringLiteral("Start Freq") : QStringLiteral("Frequency (MHz)"));
    phaseFrame->setTitle(chirp ? QStringLiteral("Stop Freq") : QStringLiteral("Phase (0-360)"));
    if (!chirp) triggerTimer->stop();
}

void SingleTonePanel::setHeaderPanel(QWidget* panel)
{
    headerPanel_ = panel;
    panel->setParent(this);
    panel->setVisible(false);
    static_cast<QGridLayout*>(layout())->addWidget(panel, 0, 0, 2, 2);
}

void SingleTonePanel::enableWriters(bool writable, bool keepMovingSlider, bool hiresAllowed)
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{sendButton, chirpMode, singleMode, invSync, buildTable, allChannels,
                                         noChannels, inverseOn, inverseOff, amplitude2Slider})
        w->setEnabled(writable);
    for (int i = 0; i < 4; ++i) {
        channelBox[i]->setEnabled(writable);
        oneChannel[i]->setEnabled(writable);
    }
    hiresF->setEnabled(writable && hiresAllowed);
    for (QSlider* slider : {frequencySlider, phaseSlider, amplitudeSlider})
        if (!(keepMovingSlider && (slider->isSliderDown() || slider->hasFocus())))
            slider->setEnabled(writable);
    for (QPushButton* run : {extEnable, initY})
        run->setEnabled(writable || run->text() == QLatin1String("Stop"));
}

void SingleTonePanel::applyHeaderMode(bool HeadFlaG)
{
    for (QWidget* w : std::initializer_list<QWidget*>{frequencyFrame, phaseFrame, amplitudeFrame})
        w->setVisible(!HeadFlaG);
    invSync->setVisible(!HeadFlaG && !chirpMode->isChecked());
    if (headerPanel_) headerPanel_->setVisible(HeadFlaG);
}

void SingleTonePanel::echo(const QString& line)
{
    QString text = echoBox->toPlainText() + QString(line).remove(QLatin1Char('\r'));
    if (text.size() > 1000) text.clear();
    echoBox->setPlainText(text);
    echoBox->moveCursor(QTextCursor::End);
}

void SingleTonePanel::readInto(SynthState& s) const
{
    s.frequencyText = str(frequencyBox->text());
    s.fineFrequencyText = str(fineBox->text());
    s.phaseText = str(phaseBox->text());
    s.amplitudeText = str(amplitudeBox->text());
    s.hiresF = hiresF->isChecked();
    s.ampTracking = ampTracking->isChecked();
    s.chirpMode = chirpMode->isChecked();
    // The channel boxes are not read back: the channel controller owns their
    // state and the boxes show it (a click reaches the controller first).
}

void SingleTonePanel::showFrom(const SynthState& s)
{
    wordBox->setText(qstr(s.writtenWordText));
    phaseWordBox->setText(qstr(s.phaseWordText));
    tableFrequency->setText(qstr(s.tableFrequencyText));
    tableAmplitude->setText(qstr(s.tableAmplitudeText));
    for (int i = 0; i < 4; ++i) {
        const bool blocked = channelBox[i]->blockSignals(true);
        channelBox[i]->setChecked(s.channelBox[i]);
        channelBox[i]->blockSignals(blocked);
    }
}

} // namespace plovan
