// The polling loop of the polling window's "Go": sends the commands of a
// poll list ("poll.txt") one after another, each waiting for the unit's "@",
// once or over and over ("Loop"), until the list ends or the operator stops
// it. The list is read afresh on every pass, so it can be edited between
// passes. Talks only to the Link: the window and plovanctl both drive it.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plovan {

class Link;

class PollLoop : public QObject {
    Q_OBJECT
public:
    enum class End {
        Finished,    // the list was sent (as often as "Loop" asked)
        Stopped,     // PollStop ended it
        NoList,      // the list missing, unreadable, malformed or empty: nothing (more) of it sent
        Interrupted, // a send or a wait failed (the Link reported it)
        Busy,        // a run was already in progress; it goes on
    };

    PollLoop(Link& link, QString pollFile, QObject* parent = nullptr);
    ~PollLoop() override;

    bool PollStop = false; // ends the run before the next line
    bool Loop = false;     // "Loop" ticked: start again after the last line
    // With Loop: the run is Finished after this many passes; 0 runs until stopped.
    int passLimit = 0;

    // The "Go" loop. Returns when the run ends; the window stays live meanwhile.
    End Go();
    // Reads and checks the list as a first pass would, sending nothing;
    // false (after problem()) when it cannot be used.
    bool checkList();
    bool running() const { return running_; }
    QString pollFile() const { return file_; }

signals:
    // The line about to be sent, without its "=".
    void lineSent(const QString& line);
    // Why nothing (more) could be sent from the list.
    void problem(const QString& message);
    void runningChanged(bool running);

private:
    // The list for one pass; nullopt (after problem()) when it cannot be used.
    std::optional<std::vector<std::string>> readList(bool firstPass);

    Link& link_;
    QString file_;
    bool running_ = false;
    // Tells a loop still on the stack that this object is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace plovan
