// "Internal Clock Rate" (Clock): edits IntClkWrd, the internal clock period
// word that "Int Clock" sends. Nothing goes to the unit from here.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace plovan {

struct SynthState;

class ClockWindow : public QDialog {
    Q_OBJECT
public:
    // Create it without a parent window: a disabled main window would
    // disable it too.
    explicit ClockWindow(SynthState& state, QWidget* parent = nullptr);

    QLineEdit* Text1;      // the word, four hex digits
    QLabel* Label1;        // "0000= 1uS    FFFF=65mS"
    QPushButton* Command1; // "OK"
    QPushButton* Command2; // "Esc"

    // A word that is not hex (pasted); a warning box unless replaced (tests).
    std::function<void(const QString&)> error;

    // Shows the window with the stored word, centred on the screen.
    void openWindow();
    void Form_Load();
    void Command1_Click(); // "OK"
    void Command2_Click(); // "Esc"

signals:
    // The window was hidden; the main window is to be enabled.
    void closed();

protected:
    void reject() override; // Escape and the title bar's close act as "Esc"

private:
    SynthState& state_;
};

} // namespace plovan
