#include "extra_header_window.h"

#include "header_words.h"
#include "key_filter.h"
#include "link.h"
#include "show_centred.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
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
            auto* box = new QLineEdit(QString::fromStdString(defaults[std::size_t(n)]), frame);
            box->setObjectName(QStringLiteral("Text%1").arg(n + 1));
            box->setMaxLength(4);
            box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("WWWWW")));
            box->setToolTip(
                QStringLiteral("Header word at %1").arg(0x0E + n + 1, 6, 16, QLatin1Char('0')).toUpper());
            KeyFilter::install(box, QStringLiteral("0123456789ABCDEFabcdef"));
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
    header::ExtraWords words;
    for (std::size_t n = 0; n < Text.size(); ++n) {
        const QString text = Text[n]->text().toUpper();
        if (!header::isWord(text.toStdString())) {
            link_.report(QStringLiteral("Extra Header: Text%1 \"%2\" is not four hex digits - nothing sent")
                             .arg(n + 1)
                             .arg(Text[n]->text()));
            Text[n]->setFocus();
            return false;
        }
        words[n] = text.toStdString();
    }
    Command1->setEnabled(false);
    const bool ok = link_.sendWaitEach(header::extraLines(words));
    Command1->setEnabled(true);
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
