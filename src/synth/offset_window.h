// "Frequency offset" (FOff): group 1 of the synthesiser at the main
// frequency plus an offset, with its own amplitude ("Amp 2"), sent once per
// "Send" or kept applied after every main change with "Maintain Offset".
// The procedures are OffsetController's; this window reads and shows.
#pragma once

#include "up_down.h"

#include <QDialog>
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;

namespace plovan {

class OffsetController;

class OffsetWindow : public QDialog {
    Q_OBJECT
public:
    // Create it without a parent window: a disabled main window would
    // disable it too.
    explicit OffsetWindow(OffsetController& controller, QWidget* parent = nullptr);

    QLineEdit* Text1;      // frame "Offset (KHz)": the offset as shown
    QSlider* Slider1;      // offset = |SliderSpan - value|
    UpDown* UpDown1;       // offset +/- 1 kHz, then "Send"
    UpDown* UpDown2;       // offset +/- 0.1 kHz, display only
    QLineEdit* Text3;      // frame "Amp 2": group 1 amplitude, 0-1024
    QSlider* Slider3;      // sets Text3 and sends the group 1 amplitude
    QLineEdit* Text4;      // the last group 1 amplitude word
    QCheckBox* Check1;     // "Maintain Offset"
    QPushButton* Command1; // "Send"
    QPushButton* Command2; // "Esc"
    QLabel* Label1;        // "Outside Frequency Limits!"
    bool ButEnable = true; // Enabled state N_Ablel applies

    // --- the main window's side ---
    // Runs a procedure on the main window's single-tone state: its boxes
    // copied in first, the words it wrote shown afterwards. Unset: runs it as is.
    std::function<bool(const std::function<bool()>&)> runOnMain;
    // The main "Send" (Tune, Amplit, Phase, "=I", "=U").
    std::function<void()> pressSend;

    // Shows the window centred on the screen; the first time, loads it.
    void openWindow();
    void Form_Load();
    void Command1_Click(); // "Send"
    void Command2_Click(); // "Esc"
    void Slider1_Scroll(); // follows the slider while it moves
    void Slider1_Change(); // a move is complete: "Send"
    void UpDown1_Step(int kHz);
    void UpDown2_Step(int tenthsKHz);
    void Slider3_Change();
    void Check1_Click();
    void N_Ablel();

signals:
    // The window was hidden by "Esc"; the main window is to be enabled.
    void closed();
    // "Maintain Offset" changed: the main window shows its label "Offset"
    // and disables "Hires F" while it is ticked.
    void maintainChanged(bool ticked);
    // MaxFrequency/MinFrequency changed: the main slider range follows.
    void limitsChanged(int MinFrequency, int MaxFrequency);

protected:
    void reject() override; // Escape and the title bar's close act as "Esc"

private:
    bool onMain(const std::function<bool()>& procedure);
    void showOffset();
    void Text3_Change();

    OffsetController& ctl_;
    bool loaded_ = false;
    bool amplitudeBusy_ = false;
    bool amplitudePending_ = false;
};

} // namespace plovan
