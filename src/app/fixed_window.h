// "Fixed Frequency" (FixedFrequencyWindow): with "Fixed enable" ticked, the frequency and
// amplitude procedures leave the second register group (84-87, A3/A4) alone,
// so one channel stays at its current setting while the others are tuned.
// The main window is hidden while this window is open.
#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;

namespace plovan {

struct SynthState;

class FixedFrequencyWindow : public QWidget {
    Q_OBJECT
public:
    // `state` is the one the tone procedures read.
    explicit FixedFrequencyWindow(SynthState& state, QWidget* mainWindow = nullptr);

    QCheckBox* Check1;     // "Fixed enable"
    QPushButton* Command2; // "Quit"

    void Check1_Click();
    // Hides the window; the main window is to be shown again.
    void Command2_Click();

signals:
    // "Fixed enable" changed: the main window hides the "Chirp" option and
    // disables "Frequency Offset" while it is ticked.
    void fixedEnableChanged(bool ticked);
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SynthState& state_;
};

} // namespace plovan
