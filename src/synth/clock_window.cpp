#include "clock_window.h"

#include "show_centred.h"

#include "clock_word.h"
#include "key_filter.h"
#include "named.h"
#include "synth_state.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace plovan {

ClockWindow::ClockWindow(SynthState& state, QWidget* parent) : QDialog(parent), state_(state)
{
    setObjectName(QStringLiteral("Clock"));
    setWindowTitle(QStringLiteral("Internal Clock Rate"));

    Text1 = named(new QLineEdit(QStringLiteral("0100"), this), "Text1");
    KeyFilter::install(Text1, QString::fromLatin1(kIntClkKeys.data(), qsizetype(kIntClkKeys.size())));
    // The word has four digits; a fifth key is not taken.
    Text1->setMaxLength(int(kIntClkDigits));
    Label1 = named(new QLabel(QStringLiteral("0000= 1uS    FFFF=65mS"), this), "Label1");
    Command1 = named(new QPushButton(QStringLiteral("OK"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Esc"), this), "Command2");
    Command1->setDefault(true);
    Command2->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text1);
    layout->addWidget(Label1);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, this, &ClockWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &ClockWindow::Command2_Click);
}

void ClockWindow::openWindow()
{
    Form_Load();
    showCentred(this);
}

void ClockWindow::Form_Load()
{
    Text1->setText(QString::fromStdString(state_.IntClkWrd));
}

void ClockWindow::Command1_Click()
{
    const auto word = intClkWord(Text1->text().toStdString());
    if (!word) {
        const QString message =
            QStringLiteral("\"%1\" is not a clock word: use up to four hex digits (0-9, A-F)")
                .arg(Text1->text());
        if (error)
            error(message);
        else
            QMessageBox::warning(this, windowTitle(), message);
        return;
    }
    Text1->setText(QString::fromStdString(*word));
    state_.IntClkWrd = *word;
    hide();
    emit closed();
}

void ClockWindow::Command2_Click()
{
    hide();
    emit closed();
}

void ClockWindow::reject()
{
    Command2_Click();
}

} // namespace plovan
