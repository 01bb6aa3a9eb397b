#include "tone_page.h"

#include "direct_commands.h"
#include "single_tone_panel.h"
#include "unit_session.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <cmath>

namespace plovan {

namespace {
QString qstr(const std::string& s)
{
    return QString::fromStdString(s);
}
} // namespace

TonePage::TonePage(UnitSession& session, const Dialogs& dialogs, QWidget* panelParent)
    : QObject(panelParent), panel(new SingleTonePanel(panelParent)), state(session.state),
      hooks(session.hooks), tone(session.tone), channels(session.channels), session_(session),
      dialogs_(dialogs)
{
    hooks.echo = [this](const std::string& line) { panel->echo(qstr(line)); };
    hooks.error = [this](const std::string& message) {
        dialogs_.warn(QStringLiteral("Velmar Plovan"), qstr(message));
    };
    channels.amplitudeChanged = [this] {
        panel->amplitudeBox->setText(QString::number(panel->amplitudeSlider->value()));
        panel->readInto(state);
        const bool ok = tone.Amplit();
        panel->showFrom(state);
        return ok;
    };
    panel->readInto(state);

    SingleTonePanel* p = panel;
    connect(p->frequencySlider, &QSlider::valueChanged, this, &TonePage::Slider1_Change);
    connect(p->fineSlider, &QSlider::valueChanged, this, &TonePage::Slider5_Change);
    connect(p->phaseSlider, &QSlider::valueChanged, this, &TonePage::Slider2_Change);
    connect(p->amplitudeSlider, &QSlider::valueChanged, this, &TonePage::Slider3_Change);
    connect(p->amplitude2Slider, &QSlider::valueChanged, this, &TonePage::Slider6_Change);
    connect(p->hiresF, &QCheckBox::clicked, this, &TonePage::Check3_Click);
    connect(p->invSync, &QCheckBox::clicked, this, &TonePage::Check2_Click);
    for (int i = 0; i < 4; ++i)
        connect(p->channelBox[i], &QCheckBox::clicked, this,
                [this, i](bool ticked) { channelBoxClicked(i + 1, ticked); });
    connect(p->oneChannelGroup, &QButtonGroup::idClicked, this,
            [this](int n) { run([this, n] { return channels.selectOneChannel(n); }); });
    connect(p->allChannels, &QPushButton::clicked, this,
            [this] { run([this] { return channels.allChannels(); }); });
    connect(p->noChannels, &QPushButton::clicked, this,
            [this] { run([this] { return channels.noChannels(); }); });
    connect(p->inverseOn, &QRadioButton::clicked, this,
            [this] { run([this] { return channels.inverseSincOption(true); }); });
    connect(p->inverseOff, &QRadioButton::clicked, this,
            [this] { run([this] { return channels.inverseSincOption(false); }); });
    connect(p->sendButton, &QPushButton::clicked, this, &TonePage::Send_Click);
    connect(p->buildTable, &QCheckBox::clicked, this, &TonePage::Check4_Click);
    connect(p->tableNext, &QPushButton::clicked, this, &TonePage::Command7_Click);
    connect(p->tableEsc, &QPushButton::clicked, this, &TonePage::Command22_Click);
    connect(p->store, &QPushButton::clicked, this, &TonePage::Command6_Click);
    connect(p->initY, &QPushButton::clicked, this, &TonePage::Command48_Click);
    connect(&session, &UnitSession::toneChanged, this, &TonePage::followUnit);
}

void TonePage::followUnit()
{
    // The page's own writes show what was typed, fine part included; in chirp
    // mode the boxes hold the ramp's ends.
    if (ownWrites_ > 0 || state.chirpMode) return;
    const UnitModel& unit = session_.model();
    const ChannelTone& played = unit.channels[0];
    const auto follow = [](QLineEdit* box, QSlider* slider, std::string& text, int value) {
        const QString shown = QString::number(value);
        if (box->text() == shown) return;
        const bool blocked = box->blockSignals(true);
        box->setText(shown);
        box->blockSignals(blocked);
        text = shown.toStdString();
        SingleTonePanel::setQuietly(slider, value);
    };
    // The whole MHz played; a word made for a whole MHz plays a hair below it.
    if (const std::optional<double> mhz = session_.playedMHz())
        follow(panel->frequencyBox, panel->frequencySlider, state.frequencyText,
               static_cast<int>(std::floor(*mhz + 1e-6)));
    if (played.phaseWord)
        follow(panel->phaseBox, panel->phaseSlider, state.phaseText,
               static_cast<int>(std::lround(phaseWordToDegrees(*played.phaseWord))));
    if (played.amplitudeWord)
        follow(panel->amplitudeBox, panel->amplitudeSlider, state.amplitudeText,
               static_cast<int>(wordToAmplitude(*played.amplitudeWord, unit.channelMask.value_or(0))));
}

bool TonePage::busy() const
{
    return session_.settings.writing();
}

bool TonePage::run(const std::function<bool()>& procedure)
{
    panel->readInto(state);
    ++ownWrites_;
    const bool ok = session_.settings.run([this, &procedure] {
        const bool ok = procedure();
        panel->showFrom(state);
        panel->inverseSinc->setChecked(channels.inverseSincTicked());
        const QString ext = qstr(channels.Command11Caption());
        const QString init = qstr(channels.Command48Caption());
        if (ext != panel->extEnable->text() || init != panel->initY->text()) {
            panel->extEnable->setText(ext);
            panel->initY->setText(init);
            emit runCaptionsChanged();
        }
        return ok;
    });
    --ownWrites_;
    return ok;
}

bool TonePage::runProcedure(Procedure procedure)
{
    switch (procedure) {
    case TuneProc: return run([this] { return tone.Tune(); });
    case PhaseProc: return run([this] { return tone.Phase(); });
    case AmplitProc: return run([this] { return tone.Amplit(); });
    case ChirpStatusProc: return run(chirpStatus);
    }
    return false;
}

void TonePage::request(Procedure procedure)
{
    session_.settings.submit(procedure, [this, procedure] { return runProcedure(procedure); });
}

void TonePage::Slider1_Change()
{
    panel->setLimits(panel->minFrequency(), panel->maxFrequency());
    const bool blocked = panel->frequencyBox->blockSignals(true);
    panel->frequencyBox->setText(QString::number(panel->frequencySlider->value()));
    panel->frequencyBox->blockSignals(blocked);
    request(TuneProc);
    if (state.maintainOffset) request(AmplitProc);
}

void TonePage::Slider5_Change()
{
    panel->fineBox->setText(QString::number(panel->fineSlider->value()));
    request(TuneProc);
}

void TonePage::Slider2_Change()
{
    panel->phaseBox->setText(QString::number(panel->phaseSlider->value()));
    request(PhaseProc);
}

void TonePage::Slider3_Change()
{
    panel->amplitudeBox->setText(QString::number(panel->amplitudeSlider->value()));
    request(AmplitProc);
    if (panel->chirpMode->isChecked() && chirpStatus) request(ChirpStatusProc);
}

void TonePage::Slider6_Change()
{
    const int value = panel->amplitude2Slider->value();
    run([this, value] { return channels.secondAmplitudeChanged(value); });
}

void TonePage::Check3_Click()
{
    emit hiresChanged(panel->hiresF->isChecked());
    request(TuneProc);
}

void TonePage::Check2_Click()
{
    const bool ticked = panel->invSync->isChecked();
    run([this, ticked] { return channels.invSyncClicked(ticked); });
}

void TonePage::channelBoxClicked(int n, bool ticked)
{
    run([this, n, ticked] { return channels.channelBoxClicked(n, ticked); });
}

void TonePage::Command11_Click(bool loopTicked)
{
    run([this, loopTicked] { return channels.Command11_Click(loopTicked); });
}

void TonePage::Command48_Click()
{
    run([this] { return channels.Command48_Click(); });
}

void TonePage::Send_Click()
{
    if (panel->invSync->isChecked()) {
        panel->invSync->setChecked(false);
        Check2_Click();
    }
    // Busy first: the window keeps the keyboard focus of what it greys.
    if (hooks.busy) hooks.busy(true);
    panel->sendButton->setEnabled(false);
    const bool ok = run([this] { return tone.Tune() && tone.Amplit() && tone.Phase(); });
    panel->wordBox->setText(qstr(state.ftwH));
    panel->sendButton->setEnabled(true);
    if (hooks.busy) hooks.busy(false);
    if (ok) tone.triggerAndUpdate();
}

void TonePage::Hyde()
{
    for (QWidget* w :
         {static_cast<QWidget*>(panel->frequencySlider), static_cast<QWidget*>(panel->phaseSlider),
          static_cast<QWidget*>(panel->extEnable), static_cast<QWidget*>(panel->frequencyFrame),
          static_cast<QWidget*>(panel->sendButton), static_cast<QWidget*>(panel->store)})
        w->setVisible(MainVisible);
    emit mainVisibleChanged(MainVisible);
}

bool TonePage::FileSelecta()
{
    const QString path =
        chooseFileToWrite(dialogs_, QStringLiteral("Velmar Parallel Control File"),
                          QStringLiteral("Velmar Plv Files (*.plv)|*.PLV|All Files (*.*)|*.*"));
    if (path.isEmpty()) {
        MainVisible = true;
        Hyde();
        return false;
    }
    const FileStatus status = table.start(path);
    if (!status.ok()) {
        dialogs_.warn(QStringLiteral("Velmar Plovan"), status.error);
        return false;
    }
    return true;
}

void TonePage::Check4_Click()
{
    if (!panel->buildTable->isChecked()) {
        panel->showTableControls(false);
        return;
    }
    panel->showTableControls(true);
    if (FileSelecta()) {
        panel->location->setText(QString::number(table.location()));
        panel->buildTable->setEnabled(false);
        return;
    }
    panel->showTableControls(false);
    panel->buildTable->setChecked(false);
    panel->buildTable->setEnabled(true);
}

void TonePage::finishTable(const TableResult& result)
{
    panel->location->setText(QString::number(table.location()));
    if (!result.error.isEmpty()) dialogs_.warn(QStringLiteral("Velmar Plovan"), result.error);
    if (result.step != TableStep::Finished && result.step != TableStep::FileError) return;
    panel->buildTable->setChecked(false);
    panel->showTableControls(false);
    panel->location->setText(QStringLiteral("1"));
    panel->buildTable->setEnabled(true);
}

void TonePage::Command7_Click()
{
    panel->readInto(state);
    finishTable(table.next(state.tableFrequencyText, state.tableAmplitudeText, state.CtrlReg));
}

void TonePage::Command22_Click()
{
    panel->readInto(state);
    finishTable(table.escape(state.tableFrequencyText, state.CtrlReg));
}

void TonePage::Command6_Click()
{
    if (!recorder.isOpen()) {
        const QString path =
            chooseFileToWrite(dialogs_, QStringLiteral("Calibration recording file"),
                              QStringLiteral("Calibration Files (*.cal)|*.CAL|All Files (*.*)|*.*"));
        if (path.isEmpty()) return;
        const FileStatus status = recorder.open(path);
        if (!status.ok()) {
            dialogs_.warn(QStringLiteral("Velmar Plovan"), status.error);
            return;
        }
    }
    panel->readInto(state);
    const StoreResult result = storeCalibrationStep(state, recorder, [this] {
        // One MHz up: shown before the unit is tuned to it.
        panel->frequencyBox->setText(qstr(state.frequencyText));
        return tone.Tune();
    });
    panel->frequencyBox->setText(qstr(state.frequencyText));
    panel->showFrom(state);
    if (!result.error.isEmpty()) dialogs_.warn(QStringLiteral("Velmar Plovan"), result.error);
    if (result.step == StoreStep::Ended) {
        panel->findChild<QGroupBox*>(QStringLiteral("FrameMode"))->setVisible(true);
        MainVisible = true;
        Hyde();
        panel->frequencyBox->setEnabled(true);
    }
}

void TonePage::serve(DirectCommands& direct)
{
    channels.loopHandler = [&direct] { return direct.Check16_Click(); };
    direct.hooks.laserOn = [this] { return session_.model().rfOn.value_or(false); };
    direct.hooks.showLaser = [this](bool on) { session_.setRfOn(on); };
    direct.hooks.untickInvSync = [this] {
        if (!panel->invSync->isChecked()) return;
        panel->invSync->setChecked(false);
        Check2_Click();
    };
    direct.hooks.setAmplitudeSlider = [this](int value) { panel->amplitudeSlider->setValue(value); };
    direct.hooks.baudChanged = [this](int baud) { session_.baudChanged(baud); };
}

} // namespace plovan
