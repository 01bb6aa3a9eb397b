// The chirp panel: ramp time and its unit, dwell multiplier, the computed
// dwell time, step count and step, "Calculate DeltaF", "CHIRP", "Chirp no U",
// the status check boxes, "Clear Flash", and a preview of the ramp the unit
// will put out, beside what was asked for.
//
// Start and stop frequency are the single-tone panel's frequency and phase
// boxes (Text1, Text2); the panel reads and writes them through Shared.
#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QChart;
class QChartView;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QRadioButton;
class QSlider;
class QValueAxis;

namespace plovan {

class ChirpProgrammer;
struct RampPlan;

class ChirpPanel : public QWidget {
    Q_OBJECT
public:
    // Controls of other panels that chirp mode uses. Any may be null.
    struct Shared {
        QLineEdit* startBox = nullptr;      // Text1
        QLineEdit* stopBox = nullptr;       // Text2
        QSlider* amplitudeSlider = nullptr; // Slider3
        QCheckBox* inverseSinc = nullptr;   // Check12
        QCheckBox* saveToDds = nullptr;     // Check11; the panel makes its own when none is given
        QCheckBox* extTrig = nullptr;       // Check15; likewise
    };

    ChirpPanel(ChirpProgrammer& programmer, const Shared& shared, QWidget* parent = nullptr);

    // Runs a chirp procedure. The window points it at the single-tone page's
    // runner, so that the tone boxes are mirrored into the state and slider
    // writes wait for the chirp. By default the procedure simply runs.
    std::function<bool(const std::function<bool()>&)> run;
    // Applies a mode switch to the rest of the window: the window points it
    // at each of its other panels and its menus. By default only this panel
    // switches.
    std::function<void(bool chirp)> applyModeToWindow;

    // Handlers.
    void Command17_Click(); // "Calculate DeltaF"
    void Command15_Click(); // "CHIRP"
    void Command50_Click(); // "Chirp no U"
    // The mode options: the unit's mode, this panel and, through
    // applyModeToWindow, the rest of the window.
    void Option1_Click(); // "Chirp"
    void Option2_Click(); // "Single"
    // Shows the ramp fields, their buttons and the preview in chirp mode
    // only. A "Save to DDS" of another panel is that panel's to show.
    void applyMode(bool chirp);
    // Sends the status byte from the check boxes (after an inverse-sinc
    // option, and when the amplitude slider moves in chirp mode).
    bool StatuZ();

    // Copies the controls into the programmer's state ...
    void readInto();
    // ... and shows what it wrote.
    void showFields();
    // The preview: staircase and requested / achieved values.
    void showPlan(const RampPlan& plan);

    QGroupBox* rampUnitFrame;  // "Ramp time in :"
    QRadioButton* rampUnit[3]; // Option5 index 0, 1, 2: "uS", "mS", "S"
    QGroupBox* rampTimeFrame;  // "Ramp Time (uS)"
    QLineEdit* rampTimeBox;    // Text25
    QGroupBox* dwellMultiplierFrame;
    QLineEdit* dwellMultiplierBox; // Text23
    QGroupBox* dwellTimeFrame;
    QLineEdit* dwellTimeBox; // Text27
    QGroupBox* nStepsFrame;
    QLineEdit* nStepsBox; // Text26
    QGroupBox* deltaFFrame;
    QLineEdit* deltaFBox;          // Text22
    QPushButton* calculateButton;  // Command17
    QPushButton* chirpButton;      // Command15
    QPushButton* chirpNoUButton;   // Command50
    QGroupBox* functionsFrame;     // "Functions"
    QCheckBox* extRfOn;            // Check13
    QCheckBox* laserOn;            // Check14
    QCheckBox* extTrig;            // Check15 (shared or own)
    QCheckBox* saveToDds;          // Check11 (shared or own)
    QPushButton* clearFlashButton; // Command16
    QLabel* savingToFlash;         // Label1
    QLineEdit* wordBox;            // Text24
    // Preview
    QGroupBox* previewFrame;
    QChartView* previewView;
    QLineSeries* previewSeries;
    QLabel* requested[4]; // start MHz, stop MHz, step kHz, ramp time us
    QLabel* achieved[4];
    QLabel* difference[4];
    QLabel* previewNote;

private:
    void Text22_Change();
    void Option5_Click(int index);
    void runProgramming(const std::function<bool()>& procedure);
    void clearPlan(const QString& note);

    ChirpProgrammer& programmer_;
    Shared shared_;
    QChart* chart_;
    QValueAxis* timeAxis_;
    QValueAxis* frequencyAxis_;
};

} // namespace plovan
