// "Debug" (DebugWindow): a free line sent to the unit exactly as typed, for bench
// work on commands the program has no button for. The main window is blocked
// while it is open.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace plovan {

class Link;

class DebugWindow : public QWidget {
    Q_OBJECT
public:
    explicit DebugWindow(Link& link, QWidget* mainWindow = nullptr);

    QLineEdit* Text1;      // under the frame "Send Data"
    QLabel* warning;       // Label1
    QPushButton* Command1; // "Send"
    QPushButton* Command2; // "Esc"

    // The box's text + CR LF, in one write, without "=" and without waiting.
    // False when nothing was sent (the reason is in the terminal).
    bool Command1_Click();
    // Hides the window; the main window is usable again.
    void Command2_Click();

signals:
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Link& link_;
};

} // namespace plovan
