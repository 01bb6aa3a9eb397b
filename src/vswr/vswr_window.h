// "VSWR" (frmVswr): the sweep's step button, the frequency just tuned, the
// forward and reflected readings of J4 ... J1, and the plot growing as the
// sweep records. After the sweep the window stays, so its plot can be read,
// and "Open VSWR file..." shows a saved file in it.
#pragma once

#include "vswr_file.h"

#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace plovan {

class VswrPlot;
class VswrSweep;

class VswrWindow : public QWidget {
    Q_OBJECT
public:
    VswrWindow(VswrSweep& sweep, QWidget* parent = nullptr);

    QLabel* Label1;                  // "Generating VSWR"
    QLineEdit* Text9;                // the next step's frequency (not shown)
    QLineEdit* Text10;               // "Current Frequency"
    std::array<QLineEdit*, 8> TextN; // Text1 ... Text8: Forward J4 ... J1, Reflected J4 ... J1
    QPushButton* Command1;           // "Next >>"
    QPushButton* runToEndButton;     // "Run to end"
    QPushButton* openButton;         // "Open VSWR file..."
    VswrPlot* plot;

    // A VSWR file to show; empty when the operator gives up. Set by the owner.
    std::function<QString()> chooseFileToShow;
    std::function<void(const QString& title, const QString& text)> warn;

    // Shows the window for a new sweep.
    void openForSweep();
    void Command1_Click();
    void openFile();

signals:
    // "Next >>" or "Run to end" was pressed: the main window hides.
    void stepping();
    // The window was closed; a sweep still running has been stopped.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showReading(const vswr::Reading& values);
    void setStepping(bool sweepOpen);

    VswrSweep& sweep_;
};

} // namespace plovan
