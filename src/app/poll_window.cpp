#include "poll_window.h"

#include "link.h"
#include "named.h"
#include "poll_list.h"
#include "unit_commands.h"
#include "unit_session.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace plovan {

namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

PollWindow::PollWindow(UnitSession& session, const QString& settingsFolder, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window),
      poll(session.link, QDir(settingsFolder).filePath(QLatin1String(kPollFile))),
      dialogs(Dialogs::forWindow(this)), link_(session.link), session_(&session)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Poll"));
    // Blocks the main window the way a disabled one was, without disabling
    // this window too (a disabled parent disables its child windows).
    setWindowModality(Qt::WindowModal);

    Command1 = button(this, "Command1", QStringLiteral("Go"));
    Command2 = button(this, "Command2", QStringLiteral("Stop"));
    Command3 = button(this, "Command3", QStringLiteral("Quit"));
    Command4 = commandButton(this, "Command4", cmd::clear());
    Command5 = commandButton(this, "Command5", cmd::start());
    Command6 = commandButton(this, "Command6", cmd::controlIntClock(false));
    Check1 = new QCheckBox(QStringLiteral("Loop"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setPlaceholderText(tr("line being sent"));
    Text1->setToolTip(tr("The poll.txt line sent last"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(Text1, 0, 0, 1, 3);
    layout->addWidget(Command1, 1, 0);
    layout->addWidget(Command2, 1, 1);
    layout->addWidget(Command3, 1, 2);
    layout->addWidget(Check1, 2, 0);
    layout->addWidget(Command4, 3, 0);
    layout->addWidget(Command5, 3, 1);
    layout->addWidget(Command6, 3, 2);

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, &PollWindow::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &PollWindow::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
    connect(Check1, &QCheckBox::toggled, this, [this](bool ticked) { poll.Loop = ticked; });
    connect(&poll, &PollLoop::lineSent, Text1, &QLineEdit::setText);
    connect(&poll, &PollLoop::runningChanged, Command1,
            [this](bool running) { Command1->setEnabled(!running); });
    connect(&poll, &PollLoop::problem, this,
            [this](const QString& message) { dialogs.warn(QStringLiteral("Poll"), message); });
}

PollWindow::~PollWindow()
{
    poll.PollStop = true;
}

PollLoop::End PollWindow::Command1_Click()
{
    // Nothing of `this` is touched once the loop returns: the window may have
    // been destroyed while it ran.
    const QPointer<UnitSession> session = session_;
    if (!session || !session->begin(Job::Poll, [self = QPointer<PollWindow>(this)] {
            if (self) self->Command2_Click();
        }))
        return PollLoop::End::Busy;
    const PollLoop::End end = poll.Go();
    if (session) session->end(Job::Poll);
    return end;
}

void PollWindow::Command2_Click()
{
    Check1->setChecked(false);
    poll.PollStop = true;
}

void PollWindow::Command3_Click()
{
    poll.PollStop = true;
    hide();
    emit finished();
}

bool PollWindow::Command4_Click()
{
    return sendButtonCommand(cmd::clear());
}

bool PollWindow::Command5_Click()
{
    return sendButtonCommand(cmd::start());
}

bool PollWindow::Command6_Click()
{
    return sendButtonCommand(cmd::controlIntClock(false));
}

bool PollWindow::sendButtonCommand(const std::string& command)
{
    return link_.sendWait(command);
}

void PollWindow::closeEvent(QCloseEvent* event)
{
    // Closing the window is the same as "Quit".
    poll.PollStop = true;
    event->accept();
    emit finished();
}

} // namespace plovan
