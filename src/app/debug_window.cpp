#include "debug_window.h"

#include "link.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace plovan {

DebugWindow::DebugWindow(Link& link, QWidget* mainWindow) : QWidget(mainWindow, Qt::Window), link_(link)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Debug"));
    // Blocks the main window the way a disabled one was, without disabling
    // this window too (a disabled parent disables its child windows).
    setWindowModality(Qt::WindowModal);

    auto* frame = new QGroupBox(QStringLiteral("Send Data"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    Text1 = new QLineEdit(frame);
    Text1->setObjectName(QStringLiteral("Text1"));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(Text1);

    warning = new QLabel(
        QStringLiteral("Warning! There are no error checks - What you enter is what is sent!"), this);
    warning->setObjectName(QStringLiteral("Label1"));
    warning->setWordWrap(true);

    Command1 = new QPushButton(QStringLiteral("Send"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command2 = new QPushButton(QStringLiteral("Esc"), this);
    Command2->setObjectName(QStringLiteral("Command2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(warning);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Text1, &QLineEdit::returnPressed, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, &DebugWindow::Command2_Click);
}

bool DebugWindow::Command1_Click()
{
    const QString text = Text1->text();
    // The port carries single bytes; anything else could not be sent as typed.
    for (const QChar ch : text)
        if (ch.unicode() > 0xFF) {
            link_.terminalLine(
                QStringLiteral("Not sent: \"%1\" - the port carries single-byte characters only").arg(ch));
            return false;
        }
    return link_.send(text.toLatin1().toStdString());
}

void DebugWindow::Command2_Click()
{
    hide();
    emit finished();
}

void DebugWindow::closeEvent(QCloseEvent* event)
{
    // Closing the window is the same as "Esc".
    event->accept();
    emit finished();
}

} // namespace plovan
