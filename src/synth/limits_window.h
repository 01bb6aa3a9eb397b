// "Set Frequency Limits" (Flimit): the lower and upper limits of the main
// frequency slider and box. Upper below lower is refused with a red message,
// and "OK" stays disabled until Timer1 next ticks.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace plovan {

class OffsetController;
struct SynthState;

class LimitsWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimer1Ms = 5000;

    // `offset`, when given, keeps a maintained frequency offset in step with
    // limits applied here. Create it without a parent window: a disabled
    // main window would disable it too.
    explicit LimitsWindow(SynthState& state, OffsetController* offset = nullptr, QWidget* parent = nullptr);

    QLineEdit* Text1;      // "Lower"
    QLineEdit* Text2;      // "Upper"
    QPushButton* Command1; // "OK"
    QPushButton* Command2; // "Cancel"
    QLabel* Label3;        // "Lower limit is higher than upper!"
    QTimer* Timer1;        // re-enables "OK"; kTimer1Ms unless a test shortens it

    // A box that holds no number; a warning box unless replaced (tests).
    std::function<void(const QString&)> error;

    // Shows the window with the limits now in force, centred on the screen.
    void openWindow();
    void Form_Load();
    void Command1_Click(); // "OK"
    void Command2_Click(); // "Cancel"
    void Timer1_Timer();

signals:
    // New limits are in the state: the main slider range follows.
    void limitsChanged(int MinFrequency, int MaxFrequency);
    // The window was hidden.
    void closed();

protected:
    void reject() override; // Escape and the title bar's close act as "Cancel"

private:
    SynthState& state_;
    OffsetController* offset_;
};

} // namespace plovan
