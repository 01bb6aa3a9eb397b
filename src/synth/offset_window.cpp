#include "offset_window.h"

#include "caption_label.h"
#include "show_centred.h"

#include "key_filter.h"
#include "named.h"
#include "offset_controller.h"
#include "synth_state.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace plovan {

namespace {

void setQuietly(QSlider* slider, int value)
{
    const bool blocked = slider->blockSignals(true);
    slider->setValue(value);
    slider->blockSignals(blocked);
}

} // namespace

OffsetWindow::OffsetWindow(OffsetController& controller, QWidget* parent) : QDialog(parent), ctl_(controller)
{
    setObjectName(QStringLiteral("FOff"));
    setWindowTitle(QStringLiteral("Frequency offset"));

    auto* offsetFrame = named(new QGroupBox(QStringLiteral("Offset (KHz)"), this), "Frame1");
    Text1 = named(new QLineEdit(offsetFrame), "Text1");
    // Shown only: the offset changes through the slider and the arrows, so
    // the box can never disagree with what is sent.
    Text1->setReadOnly(true);
    UpDown1 = named(new UpDown(offsetFrame), "UpDown1");
    UpDown1->setToolTip(tr("Offset +/- 1 kHz, sent at once"));
    UpDown2 = named(new UpDown(offsetFrame), "UpDown2");
    UpDown2->setToolTip(tr("Offset +/- 0.1 kHz, sent with \"Send\""));
    Slider1 = named(new QSlider(Qt::Horizontal, offsetFrame), "Slider1");
    Slider1->setRange(0, OffsetController::SliderSpan);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(100);
    auto* ol = new QGridLayout(offsetFrame);
    ol->addWidget(Text1, 0, 0);
    ol->addWidget(UpDown1, 0, 1);
    ol->addWidget(UpDown2, 0, 2);
    ol->addWidget(Slider1, 1, 0);
    ol->addWidget(new QLabel(QStringLiteral("1"), offsetFrame), 1, 1, Qt::AlignHCenter);
    ol->addWidget(new QLabel(QStringLiteral("0.1"), offsetFrame), 1, 2, Qt::AlignHCenter);

    auto* ampFrame = named(new QGroupBox(QStringLiteral("Amp 2"), this), "Frame2");
    Text3 = named(new QLineEdit(QStringLiteral("500"), ampFrame), "Text3");
    KeyFilter::install(Text3, KeyFilter::kDecimal);
    Slider3 = named(new QSlider(Qt::Horizontal, ampFrame), "Slider3");
    Slider3->setRange(0, 1024);
    Slider3->setSingleStep(5);
    Slider3->setPageStep(204);
    Slider3->setValue(500);
    auto* al = new QHBoxLayout(ampFrame);
    al->addWidget(Text3);
    al->addWidget(Slider3, 1);

    Text4 = named(new QLineEdit(this), "Text4");
    Text4->setReadOnly(true);
    Text4->setToolTip(tr("Group 1 amplitude word, hex"));
    Check1 = named(new QCheckBox(QStringLiteral("Maintain Offset"), this), "Check1");
    Label1 = named(new QLabel(QStringLiteral("Outside Frequency Limits!"), this), "Label1");
    Label1->setStyleSheet(QStringLiteral("color: red"));
    Label1->setVisible(false);
    Command1 = named(new QPushButton(QStringLiteral("Send"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Esc"), this), "Command2");
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Check1);
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(offsetFrame);
    layout->addWidget(ampFrame);
    auto* wordRow = new QHBoxLayout;
    wordRow->addWidget(captionFor(Text4, tr("Group 1 amplitude word")));
    wordRow->addWidget(Text4, 1);
    layout->addLayout(wordRow);
    layout->addWidget(Label1);
    layout->addLayout(buttons);

    ctl_.outsideLimits = [this](bool shown) { Label1->setVisible(shown); };
    ctl_.limitsChanged = [this] { emit limitsChanged(ctl_.state().MinFrequency, ctl_.state().MaxFrequency); };

    connect(Slider1, &QSlider::valueChanged, this, [this] {
        Slider1_Scroll();
        // Keys, wheel and clicks beside the handle end their move at once;
        // a drag ends when the handle is let go.
        if (!Slider1->isSliderDown()) Slider1_Change();
    });
    connect(Slider1, &QSlider::sliderReleased, this, &OffsetWindow::Slider1_Change);
    connect(UpDown1->up, &QToolButton::clicked, this, [this] { UpDown1_Step(+1); });
    connect(UpDown1->down, &QToolButton::clicked, this, [this] { UpDown1_Step(-1); });
    connect(UpDown2->up, &QToolButton::clicked, this, [this] { UpDown2_Step(+1); });
    connect(UpDown2->down, &QToolButton::clicked, this, [this] { UpDown2_Step(-1); });
    connect(Slider3, &QSlider::valueChanged, this, &OffsetWindow::Slider3_Change);
    connect(Text3, &QLineEdit::textChanged, this, &OffsetWindow::Text3_Change);
    connect(Check1, &QCheckBox::clicked, this, &OffsetWindow::Check1_Click);
    connect(Command1, &QPushButton::clicked, this, &OffsetWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &OffsetWindow::Command2_Click);
}

void OffsetWindow::openWindow()
{
    // Loaded once: reopened later, it shows the offset that is running.
    if (!loaded_) Form_Load();
    showCentred(this);
}

void OffsetWindow::Form_Load()
{
    loaded_ = true;
    N_Ablel();
    Slider1->setRange(0, OffsetController::SliderSpan);
    ctl_.setOffsetTenths(OffsetController::kStartTenths);
    showOffset();
    std::string amplitude;
    onMain([&] {
        amplitude = ctl_.state().amplitudeText;
        return true;
    });
    Text3->setText(QString::fromStdString(amplitude));
    bool ok = false;
    const double v = QLocale::c().toDouble(Text3->text().trimmed(), &ok);
    if (ok) setQuietly(Slider3, static_cast<int>(std::lround(std::clamp(v, 0.0, 1024.0))));
}

void OffsetWindow::showOffset()
{
    Text1->setText(QString::fromStdString(offsetText(ctl_.offsetTenths())));
    // Set quietly: moving the slider from here must not send.
    setQuietly(Slider1, offsetSliderValue(ctl_.offsetTenths(), OffsetController::SliderSpan));
}

bool OffsetWindow::onMain(const std::function<bool()>& procedure)
{
    return runOnMain ? runOnMain(procedure) : procedure();
}

void OffsetWindow::N_Ablel()
{
    // "Send" stays off while the offset is maintained: every main change sends it.
    Command1->setEnabled(ButEnable && !ctl_.maintainOffset());
    Command2->setEnabled(ButEnable);
    UpDown1->setEnabled(ButEnable);
    UpDown2->setEnabled(ButEnable);
    Slider1->setEnabled(ButEnable);
    Slider3->setEnabled(ButEnable);
}

void OffsetWindow::Command1_Click()
{
    ButEnable = false;
    N_Ablel();
    onMain([this] { return ctl_.offsetFrequencySend() != OffsetController::Outcome::Stopped; });
    ButEnable = true;
    N_Ablel();
}

void OffsetWindow::Command2_Click()
{
    hide();
    emit closed();
    // Not maintained: the unit goes back to the main window's plain single tone.
    if (!ctl_.maintainOffset() && ctl_.sendClear() && pressSend) pressSend();
}

void OffsetWindow::reject()
{
    Command2_Click();
}

void OffsetWindow::Slider1_Scroll()
{
    ctl_.setOffsetTenths(offsetFromSlider(Slider1->value(), OffsetController::SliderSpan));
    Text1->setText(QString::fromStdString(offsetText(ctl_.offsetTenths())));
}

void OffsetWindow::Slider1_Change()
{
    Command1_Click();
}

void OffsetWindow::UpDown1_Step(int kHz)
{
    Label1->setVisible(false);
    ctl_.setOffsetTenths(ctl_.offsetTenths() + 10 * kHz);
    showOffset();
    Command1_Click();
}

void OffsetWindow::UpDown2_Step(int tenthsKHz)
{
    ctl_.setOffsetTenths(ctl_.offsetTenths() + tenthsKHz);
    showOffset();
}

void OffsetWindow::Text3_Change()
{
    bool ok = false;
    const double v = QLocale::c().toDouble(Text3->text().trimmed(), &ok);
    if (ok && v > 1024) {
        Text3->setText(QStringLiteral("1024"));
        return; // the change of text runs this again
    }
    ctl_.group1AmplitudeText = Text3->text().toStdString();
}

void OffsetWindow::Slider3_Change()
{
    Text3->setText(QString::number(Slider3->value()));
    // Moves made while the unit acknowledges: only the newest is sent after.
    if (amplitudeBusy_) {
        amplitudePending_ = true;
        return;
    }
    amplitudeBusy_ = true;
    bool ok = true;
    do {
        amplitudePending_ = false;
        ok = ctl_.offsetAmplitudeSend();
        Text4->setText(QString::fromStdString(ctl_.group1WordText));
    } while (ok && amplitudePending_);
    amplitudeBusy_ = false;
}

void OffsetWindow::Check1_Click()
{
    const bool ticked = Check1->isChecked();
    ctl_.setMaintainOffset(ticked);
    N_Ablel();
    emit maintainChanged(ticked);
}

} // namespace plovan
