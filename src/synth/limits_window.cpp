#include "limits_window.h"

#include "show_centred.h"

#include "frequency_limits.h"
#include "key_filter.h"
#include "named.h"
#include "offset_controller.h"
#include "synth_state.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace plovan {

LimitsWindow::LimitsWindow(SynthState& state, OffsetController* offset, QWidget* parent)
    : QDialog(parent), state_(state), offset_(offset)
{
    setObjectName(QStringLiteral("Flimit"));
    setWindowTitle(QStringLiteral("Set Frequency Limits"));

    Text1 = named(new QLineEdit(this), "Text1");
    Text2 = named(new QLineEdit(this), "Text2");
    KeyFilter::install(Text1, KeyFilter::kDecimal);
    KeyFilter::install(Text2, KeyFilter::kDecimal);
    Command1 = named(new QPushButton(QStringLiteral("OK"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Cancel"), this), "Command2");
    Command1->setDefault(true);
    Command2->setAutoDefault(false);
    Label3 = named(new QLabel(QStringLiteral("Lower limit is higher than upper!"), this), "Label3");
    Label3->setStyleSheet(QStringLiteral("color: red"));
    Label3->setVisible(false);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimer1Ms);

    auto* grid = new QGridLayout;
    grid->addWidget(named(new QLabel(QStringLiteral("Lower"), this), "Label1"), 0, 0);
    grid->addWidget(Text1, 0, 1);
    grid->addWidget(named(new QLabel(QStringLiteral("Upper"), this), "Label2"), 1, 0);
    grid->addWidget(Text2, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(Label3);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, this, &LimitsWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &LimitsWindow::Command2_Click);
    connect(Timer1, &QTimer::timeout, this, &LimitsWindow::Timer1_Timer);
}

void LimitsWindow::openWindow()
{
    Form_Load();
    showCentred(this);
}

void LimitsWindow::Form_Load()
{
    // The operator's own limits, not a maximum lowered by a maintained offset:
    // OK here would otherwise lower it once more.
    const int lower = offset_ ? offset_->SavedMin() : state_.MinFrequency;
    const int upper = offset_ ? offset_->SavedMax() : state_.MaxFrequency;
    Text1->setText(QString::number(lower));
    Text2->setText(QString::number(upper));
    // A refusal shown earlier spoke of boxes now replaced.
    Timer1->stop();
    Label3->setVisible(false);
    Command1->setEnabled(true);
}

void LimitsWindow::Command1_Click()
{
    const LimitsCheck check = checkLimits(Text1->text().toStdString(), Text2->text().toStdString());
    switch (check.verdict) {
    case LimitsCheck::Verdict::NotANumber: {
        const QString message = QString::fromStdString(check.message);
        if (error)
            error(message);
        else
            QMessageBox::warning(this, windowTitle(), message);
        return;
    }
    case LimitsCheck::Verdict::UpperBelowLower:
        Command1->setEnabled(false);
        Timer1->start();
        Label3->setVisible(true);
        return;
    case LimitsCheck::Verdict::Applied: break;
    }
    Text1->setText(QString::number(check.MinFrequency));
    Text2->setText(QString::number(check.MaxFrequency));
    state_.MinFrequency = check.MinFrequency;
    state_.MaxFrequency = check.MaxFrequency;
    if (offset_) offset_->limitsEdited();
    hide();
    Timer1->stop();
    Label3->setVisible(false);
    emit limitsChanged(state_.MinFrequency, state_.MaxFrequency);
    emit closed();
}

void LimitsWindow::Command2_Click()
{
    hide();
    emit closed();
}

void LimitsWindow::Timer1_Timer()
{
    // One tick is enough: "OK" is back and the message stays until limits apply.
    Timer1->stop();
    Label3->setVisible(true);
    Command1->setEnabled(true);
}

void LimitsWindow::reject()
{
    Command2_Click();
}

} // namespace plovan
