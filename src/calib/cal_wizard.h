// "Calibration wizard": from a measured response to a calibration table
// that flattens it. The operator gives the measured CSV (or measures it here,
// a frequency at a time, while the unit plays each one), the old table and the
// target; the preview shows the measured and predicted levels and the old and
// new amplitude words over the band, with the predicted flatness; the new
// table is written to a file the operator chooses (replacing one only after
// asking), and then the wizard offers "Send LUT". The rule and the file
// reading are those of plovanctl's "cal flatten" (cal_flatten.h), so both
// write the same bytes from the same inputs.
#pragma once

#include "cal_flatten.h"
#include "dialogs.h"

#include <QDialog>
#include <QPointer>
#include <functional>
#include <optional>

class QChartView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace plovan {

class UnitSession;

class CalWizard : public QDialog {
    Q_OBJECT
public:
    // `sendLut` loads a table file into the unit as "Send LUT" does.
    CalWizard(UnitSession& session, const Dialogs& dialogs, std::function<void(const QString& path)> sendLut,
              QWidget* parent = nullptr);
    ~CalWizard() override;

    // The measured response.
    QLineEdit* measuredPath;
    QPushButton* chooseMeasured;
    QCheckBox* db; // "Levels in dB"
    // The guided measurement: band, step and amplitude word.
    QLineEdit* fromMHz;
    QLineEdit* toMHz;
    QLineEdit* stepMHz;
    QLineEdit* word;
    QPushButton* start;
    QLineEdit* reading;
    QPushButton* next;
    QPushButton* stop;
    QLabel* measureStatus;
    // The old table and the target.
    QLineEdit* calPath;
    QPushButton* chooseCal;
    QRadioButton* targetMax;
    QRadioButton* targetLevel;
    QLineEdit* level;
    QRadioButton* targetShape;
    QLineEdit* shapePath;
    QPushButton* chooseShape;
    // The preview and what follows it.
    QPushButton* preview;
    QChartView* plot;
    QLabel* flatness;
    QPlainTextEdit* report; // the plan's summary, or the files' findings
    QPushButton* save;      // "Save new table..."
    QPushButton* sendLut;   // "Send LUT"

    // Reads the files and computes the plan; false (findings shown) when a
    // file has findings.
    bool Preview();
    // Asks for the new table's file and writes it; then offers "Send LUT".
    bool Save();
    // The guided measurement.
    bool startMeasuring();
    void Next();
    void stopMeasuring();
    bool measuring() const { return step_ >= 0; }
    const std::optional<flatten::Plan>& plan() const { return plan_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString chooseOpen(const QString& title, const QString& filter);
    void inputsChanged();
    void showPlan(const flatten::Loaded& loaded);
    bool playStep();
    void finishMeasuring();
    void say(const QString& text);

    QPointer<UnitSession> session_; // gone first when the window ends the program
    const Dialogs& dialogs_;
    std::function<void(const QString&)> sendLut_;
    std::optional<flatten::Plan> plan_;
    flatten::Target target_;
    QString saved_; // the table written last
    // The guided measurement: the frequencies, the one played (-1: none) and the readings.
    std::vector<double> band_;
    int step_ = -1;
    int word_ = 0;
    bool played_ = false;
    bool playing_ = false; // a play waits for the unit
    bool closeAfterPlay_ = false;
    QStringList readings_;
};

} // namespace plovan
