// The polling window (the form Form6): sends the commands of "poll.txt" one after
// another, each waiting for the unit's "@", once or over and over ("Loop"),
// until the list ends or the operator stops it. The loop is PollLoop's.
#pragma once

#include "dialogs.h"
#include "poll_loop.h"

#include <QString>
#include <QWidget>
#include <string>

#include <QPointer>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace plovan {

class UnitSession;

class PollWindow : public QWidget {
    Q_OBJECT
public:
    // `settingsFolder` holds poll.txt.
    // "Go" runs the list as a job of `session`.
    PollWindow(UnitSession& session, const QString& settingsFolder, QWidget* mainWindow = nullptr);
    ~PollWindow() override;

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
    bool sendButtonCommand(const std::string& command);

    Link& link_;
    QPointer<UnitSession> session_;
};

} // namespace plovan
