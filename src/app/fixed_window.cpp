#include "fixed_window.h"

#include "synth_state.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace plovan {

FixedFrequencyWindow::FixedFrequencyWindow(SynthState& state, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), state_(state)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Fixed Frequency"));

    auto* frame = new QGroupBox(QStringLiteral("One channel will remain at the current setting."), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    Check1 = new QCheckBox(QStringLiteral("Fixed enable"), frame);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setChecked(state_.fixedEnable);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(Check1);

    Command2 = new QPushButton(QStringLiteral("Quit"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(Check1, &QCheckBox::clicked, this, &FixedFrequencyWindow::Check1_Click);
    connect(Command2, &QPushButton::clicked, this, &FixedFrequencyWindow::Command2_Click);
}

void FixedFrequencyWindow::Check1_Click()
{
    state_.fixedEnable = Check1->isChecked();
    emit fixedEnableChanged(state_.fixedEnable);
}

void FixedFrequencyWindow::Command2_Click()
{
    hide();
    emit finished();
}

void FixedFrequencyWindow::closeEvent(QCloseEvent* event)
{
    // Closed from its title bar it must still bring the main window back,
    // which is hidden meanwhile.
    event->accept();
    emit finished();
}

} // namespace plovan
