// The single-tone panel: frequency, phase and amplitude with their sliders,
// the fine-frequency slider, the second amplitude, the channel selection,
// the inverse-sinc switches, the run-control toggles, the table builder and
// the hex word display. It keeps its boxes within their limits as they are
// typed; sending is left to the window's controllers.
#pragma once

#include <QWidget>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

namespace plovan {

struct SynthState;

class SingleTonePanel : public QWidget {
    Q_OBJECT
public:
    explicit SingleTonePanel(QWidget* parent = nullptr);

    // Copies the boxes and ticks into the state the procedures read ...
    void readInto(SynthState& state) const;
    // ... and shows the words and channel boxes they wrote. The boxes the
    // operator types into are left alone: they may have changed meanwhile.
    void showFrom(const SynthState& state);

    // The frequency slider's range; re-applied on every slider change.
    void setLimits(int minFrequency, int maxFrequency);
    int minFrequency() const { return minFrequency_; }
    int maxFrequency() const { return maxFrequency_; }

    // Sets a slider without running its change handler.
    static void setQuietly(QSlider* slider, int value);

    // Frame "Frequency MHz"
    QGroupBox* frequencyFrame;
    QLineEdit* frequencyBox;  // Text1
    QSlider* frequencySlider; // Slider1
    QCheckBox* hiresF;        // Check3
    QSlider* fineSlider;      // Slider5
    QLineEdit* fineBox;       // Text5
    QLabel* offsetLabel;      // Label6 "Offset"
    // Frame "Phase (0-360)"
    QGroupBox* phaseFrame;
    QLineEdit* phaseBox;  // Text2
    QSlider* phaseSlider; // Slider2
    // Frame "Amplitude (0-1024)"
    QGroupBox* amplitudeFrame;
    QLineEdit* amplitudeBox;   // Text3
    QSlider* amplitudeSlider;  // Slider3
    QSlider* amplitude2Slider; // Slider6
    QCheckBox* ampTracking;    // Check10
    // Channels
    QCheckBox* channelBox[4];    // Check5..Check8
    QRadioButton* oneChannel[4]; // Option8..Option11
    QButtonGroup* oneChannelGroup;
    QPushButton* allChannels; // Command61
    QPushButton* noChannels;  // Command62
    // Inverse sinc
    QCheckBox* invSync;       // Check2
    QCheckBox* inverseSinc;   // Check12 (shown state)
    QRadioButton* inverseOn;  // Option3
    QRadioButton* inverseOff; // Option4
    // Mode and run control
    QRadioButton* chirpMode;  // Option1
    QRadioButton* singleMode; // Option2
    QPushButton* extEnable;   // Command11
    QPushButton* initY;       // Command48
    QSlider* triggerSlider;   // Slider7
    QTimer* triggerTimer;     // Timer3
    // Table builder
    QCheckBox* buildTable;  // Check4
    QPushButton* tableNext; // Command7
    QPushButton* tableEsc;  // Command22
    QGroupBox* locationFrame;
    QLineEdit* location;       // Text31
    QLineEdit* tableFrequency; // Text29
    QLineEdit* tableAmplitude; // Text30
    QPushButton* store;        // Command6
    // Words and echo
    QLineEdit* wordBox;      // Text4
    QLineEdit* phaseWordBox; // Text32
    QPlainTextEdit* echoBox; // Text20
    QPushButton* sendButton; // "Send"

    // Shows or hides the table builder's "Next", "Esc" and "Location".
    void showTableControls(bool visible);
    // Appends a line (with its CR LF) to the echo box, which empties itself
    // beyond 1000 characters.
    void echo(const QString& line);

    // Chirp or single-tone mode: the inverse-sinc state and options in chirp
    // mode, "Inv Sync" and "Hires F" in single-tone mode, and the captions of
    // the frequency and phase frames, which hold the start and stop
    // frequencies in chirp mode. Single-tone mode also ends a trigger run.
    void applyMode(bool chirp);

    // The window's header panel takes the place of the frequency, phase and
    // amplitude frames and "Inv Sync" while HeadFlaG holds.
    void setHeaderPanel(QWidget* panel);
    void applyHeaderMode(bool HeadFlaG);

    // Enables the controls that write to the unit when `writable`. A slider
    // being dragged or worked by keyboard stays live while a procedure
    // writes (`keepMovingSlider`): taking it from under the mouse would end
    // the move, and its newest value goes once the writes end. A run in
    // progress stays stoppable unless the page as a whole is held.
    void enableWriters(bool writable, bool keepMovingSlider, bool hiresAllowed);

private:
    void Text1_Change();
    void Text2_Change();
    void Text3_Change();
    void Text5_Change();
    void Check3_Click();

    QWidget* headerPanel_ = nullptr;
    int minFrequency_ = 80;
    int maxFrequency_ = 140;
};

} // namespace plovan
