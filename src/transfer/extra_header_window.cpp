#include "extra_header_window.h"

#include "header_boxes.h"
#include "link.h"
#include "show_centred.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace plovan {

ExtraHeaderWindow::ExtraHeaderWindow(Link& link, QWidget* parent) : QDialog(parent), link_(link)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Extra Header"));
    const header::ExtraWords defaults = header::extraDefaults();
    auto* frames = new QGridLayout;
    for (int f = 0; f < 8; ++f) {
        auto* frame = new QGroupBox(QStringLiteral("Words %1-%2").arg(f * 7 + 1).arg(f * 7 + 7), this);
        frame->setObjectName(QStringLiteral("Frame%1").arg(f + 1));
        auto* row = new QHBoxLayout(frame);
        for (int b = 0; b < 7; ++b) {
            const int n = f * 7 + b;
            auto* box = header::wordBox(frame, QStringLiteral("Text%1").arg(n + 1), defaults[std::size_t(n)],
                                        QStringLiteral("Header word at ") + header::hexAddress(0x0E + n + 1));
            row->addWidget(box);
            Text[std::size_t(n)] = box;
        }
        frames->addWidget(frame, f / 2, f % 2);
    }
    Command1 = new QPushButton(QStringLiteral("Send"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QStringLiteral("Esc"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addLayout(buttons);
    connect(Command1, &QPushButton::clicked, this, &ExtraHeaderWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &ExtraHeaderWindow::Command2_Click);
}

void ExtraHeaderWindow::openWindow()
{
    showCentred(this);
}

bool ExtraHeaderWindow::Command1_Click()
{
    const auto words = header::readWords(link_, QStringLiteral("Extra Header"), Text);
    if (!words) return false;
    Command1->setEnabled(false);
    const auto lines = header::extraLines(*words);
    const bool ok = link_.sendWaitEach(lines);
    Command1->setEnabled(true);
    if (ok) link_.status(QStringLiteral("Extra Header: %1 words written").arg(lines.size() - 1));
    return ok;
}

void ExtraHeaderWindow::Command2_Click()
{
    hide();
    emit closed();
}

void ExtraHeaderWindow::reject()
{
    Command2_Click();
}

} // namespace plovan
