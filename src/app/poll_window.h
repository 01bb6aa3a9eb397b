// The polling window (Form6): sends the commands of "poll.txt" one after
// another, each waiting for the unit's "@", once or over and over ("Loop"),
// until the list ends or the operator stops it. The list is read afresh on
// every pass, so it can be edited between passes.
#pragma once

#include "dialogs.h"

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace plovan {

class Link;

// The loop itself; talks only to the Link.
class PollLoop : public QObject {
    Q_OBJECT
public:
    enum class End {
        Finished,    // the list was sent (as often as "Loop" asked)
        Stopped,     // PollStop ended it
        NoList,      // poll.txt missing, unreadable, malformed or empty: nothing of it sent
        Interrupted, // a send or a wait failed (the Link reported it)
        Busy,        // a run was already in progress; it goes on
    };

    PollLoop(Link& link, QString pollFile, QObject* parent = nullptr);
    ~PollLoop() override;

    bool PollStop = false; // ends the run before the next line
    bool Loop = false;     // "Loop" ticked: start again after the last line

    // The "Go" loop. Returns when the run ends; the window stays live meanwhile.
    End Go();
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

class Form6 : public QWidget {
    Q_OBJECT
public:
    // `settingsFolder` holds poll.txt.
    Form6(Link& link, const QString& settingsFolder, QWidget* mainWindow = nullptr);
    ~Form6() override;

    PollLoop poll;
    // The operator's messages; tests answer them.
    Dialogs dialogs;

    QPushButton* Command1; // "Go"
    QPushButton* Command2; // "Stop"
    QPushButton* Command3; // "Quit"
    QPushButton* Command4; // "=C"
    QPushButton* Command5; // "=G"
    QPushButton* Command6; // "=E03"
    QCheckBox* Check1;     // "Loop"
    QLineEdit* Text1;      // the line being sent

    PollLoop::End Command1_Click();
    void Command2_Click();
    void Command3_Click();
    // "=C", "=G", "=E03": each waits for the unit's "@".
    bool Command4_Click();
    bool Command5_Click();
    bool Command6_Click();

signals:
    // Quit: the main window is usable again.
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool sendButtonCommand(const char* command);

    Link& link_;
};

} // namespace plovan
