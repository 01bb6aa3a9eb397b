#include "poll_window.h"

#include "link.h"
#include "poll_list.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace plovan {

PollLoop::PollLoop(Link& link, QString pollFile, QObject* parent)
    : QObject(parent), link_(link), file_(std::move(pollFile))
{
}

PollLoop::~PollLoop()
{
    *alive_ = false;
}

PollLoop::End PollLoop::Go()
{
    if (running_) return End::Busy;
    running_ = true;
    emit runningChanged(true);
    // A stop asked for at any point ends the whole run, "Loop" or not.
    PollStop = false;
    const std::shared_ptr<bool> alive = alive_;
    End end = End::Finished;
    bool firstPass = true;
    do {
        const auto list = readList(firstPass);
        firstPass = false;
        if (!list) {
            end = End::NoList;
            break;
        }
        for (const std::string& command : *list) {
            // One turn of the event loop per line, so "Stop" and "Quit" get
            // through even when acknowledgements are off and nothing waits.
            const WaitResult turned = link_.pause(0);
            if (!*alive) return End::Stopped;
            if (turned == WaitResult::Cancelled) {
                end = End::Interrupted;
                break;
            }
            if (PollStop) {
                end = End::Stopped;
                break;
            }
            emit lineSent(QString::fromStdString(command));
            const bool acknowledged = link_.sendWait("=" + command);
            if (!*alive) return End::Interrupted;
            if (!acknowledged) {
                end = End::Interrupted;
                break;
            }
        }
    } while (end == End::Finished && Loop && !PollStop);
    if (end == End::Finished && PollStop) end = End::Stopped;
    running_ = false;
    emit runningChanged(false);
    return end;
}

std::optional<std::vector<std::string>> PollLoop::readList(bool firstPass)
{
    const QString outcome =
        firstPass ? QStringLiteral("Nothing was sent.") : QStringLiteral("Polling stopped.");
    PollFile file = readPollFile(std::filesystem::path(QFile::encodeName(file_).toStdString()));
    const QString where = QDir::toNativeSeparators(file_);
    switch (file.state) {
    case PollFile::Missing:
        emit problem(QStringLiteral("The poll list %1 was not found. %2").arg(where, outcome));
        return std::nullopt;
    case PollFile::Unreadable:
        emit problem(QStringLiteral("The poll list %1 could not be read. %2").arg(where, outcome));
        return std::nullopt;
    case PollFile::TooLarge:
        emit problem(QStringLiteral("%1 is larger than %2 bytes and cannot be a poll list. %3")
                         .arg(where)
                         .arg(kMaxPollFileBytes)
                         .arg(outcome));
        return std::nullopt;
    case PollFile::Read: break;
    }
    if (!file.list.problems.empty()) {
        emit problem(QStringLiteral("The poll list %1 has lines that are not commands:\n%2\n%3")
                         .arg(where, QString::fromStdString(describeProblems(file.list.problems)), outcome));
        return std::nullopt;
    }
    if (file.list.commands.empty()) {
        emit problem(QStringLiteral("The poll list %1 holds no commands. %2").arg(where, outcome));
        return std::nullopt;
    }
    return std::move(file.list.commands);
}

namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

Form6::Form6(Link& link, const QString& settingsFolder, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), poll(link, QDir(settingsFolder).filePath(QLatin1String(kPollFile))),
      dialogs(Dialogs::forWindow(this)), link_(link)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("Form6"));
    // Blocks the main window the way a disabled one was, without disabling
    // this window too (a disabled parent disables its child windows).
    setWindowModality(Qt::WindowModal);

    Command1 = button(this, "Command1", QStringLiteral("Go"));
    Command2 = button(this, "Command2", QStringLiteral("Stop"));
    Command3 = button(this, "Command3", QStringLiteral("Quit"));
    Command4 = button(this, "Command4", QStringLiteral("=C"));
    Command5 = button(this, "Command5", QStringLiteral("=G"));
    Command6 = button(this, "Command6", QStringLiteral("=E03"));
    Check1 = new QCheckBox(QStringLiteral("Loop"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);

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
    connect(Command2, &QPushButton::clicked, this, &Form6::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form6::Command3_Click);
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

Form6::~Form6()
{
    poll.PollStop = true;
}

PollLoop::End Form6::Command1_Click()
{
    // Nothing of `this` is touched once the loop returns: the window may have
    // been destroyed while it ran.
    return poll.Go();
}

void Form6::Command2_Click()
{
    Check1->setChecked(false);
    poll.PollStop = true;
}

void Form6::Command3_Click()
{
    poll.PollStop = true;
    hide();
    emit finished();
}

bool Form6::Command4_Click()
{
    return sendButtonCommand("=C");
}

bool Form6::Command5_Click()
{
    return sendButtonCommand("=G");
}

bool Form6::Command6_Click()
{
    return sendButtonCommand("=E03");
}

bool Form6::sendButtonCommand(const char* command)
{
    return link_.sendWait(command);
}

void Form6::closeEvent(QCloseEvent* event)
{
    // Closing the window is the same as "Quit".
    poll.PollStop = true;
    event->accept();
    emit finished();
}

} // namespace plovan
