#include "poll_loop.h"

#include "link.h"
#include "poll_list.h"

#include <QDir>
#include <QFile>
#include <filesystem>

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
    int passes = 0;
    do {
        const auto list = readList(passes == 0);
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
        ++passes;
    } while (end == End::Finished && Loop && !PollStop && (passLimit <= 0 || passes < passLimit));
    if (end == End::Finished && PollStop) end = End::Stopped;
    running_ = false;
    emit runningChanged(false);
    return end;
}

bool PollLoop::checkList()
{
    return readList(true).has_value();
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
        emit problem(QStringLiteral("The poll list %1 could not be read: %2. %3")
                         .arg(where, QString::fromLocal8Bit(file.error.c_str()), outcome));
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

} // namespace plovan
