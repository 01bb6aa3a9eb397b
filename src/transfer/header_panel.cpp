#include "header_panel.h"

#include "header_boxes.h"

#include <QGridLayout>
#include <QPushButton>

namespace plovan {

HeaderPanel::HeaderPanel(Link& link, QWidget* parent)
    : QGroupBox(QStringLiteral("Header"), parent), link_(link)
{
    setObjectName(QStringLiteral("FrameHeader"));
    const header::PanelWords defaults = header::panelDefaults();
    auto* grid = new QGridLayout(this);
    for (std::uint32_t n = 1; n <= Text.size(); ++n) {
        QLineEdit* box =
            header::wordBox(this, QStringLiteral("Text%1").arg(n + 5), defaults[n - 1],
                            QStringLiteral("Header word %1, at %2 and %3")
                                .arg(n)
                                .arg(header::hexAddress(n), header::hexAddress(0x100000 + n - 1)));
        grid->addWidget(box, int(n - 1) / 7, int(n - 1) % 7);
        Text[n - 1] = box;
    }
    Command8 = new QPushButton(QStringLiteral("Send Header"), this);
    Command8->setObjectName(QStringLiteral("Command8"));
    Command20 = new QPushButton(QStringLiteral("Esc"), this);
    Command20->setObjectName(QStringLiteral("Command20"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command8);
    buttons->addWidget(Command20);
    grid->addLayout(buttons, 2, 0, 1, 7);
    grid->setColumnStretch(7, 1);
    connect(Command8, &QPushButton::clicked, this, &HeaderPanel::Command8_Click);
    connect(Command20, &QPushButton::clicked, this, &HeaderPanel::escPressed);
}

bool HeaderPanel::Command8_Click()
{
    const auto words = header::readWords(link_, QStringLiteral("Send Header"), Text);
    if (!words) return false;
    const auto lines = header::panelLines(*words);
    const auto send = [this, &lines] { return link_.sendWaitEach(lines); };
    const bool ok = run ? run(send) : send();
    if (ok) link_.status(QStringLiteral("Send Header: %1 words written").arg(lines.size() - 1));
    return ok;
}

} // namespace plovan
