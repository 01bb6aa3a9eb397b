// "Edit Calibration" (NuCal): a calibration file's 256 rows in three linked
// lists (frequency, amplitude, phase) beside their curves. Selecting a row in
// the frequency list plays it on the unit (Init); the up/down buttons trim
// the row's amplitude and phase, each change sent at once; "Save Record"
// keeps the trimmed row in the lists and "Save to Disk" writes them. The
// caption ends with " *" while anything is not on disk, and ESC asks first.
//
// A selected row is played once the list has handled its key or click, so
// the lists, the boxes, the plot's mark and the unit show one row however
// fast the operator steps. While the unit acknowledges one transmission,
// further selections and trims are merged: once it is done, only the
// newest values are sent.
#pragma once

#include "cal_file.h"
#include "dialogs.h"
#include "latest_wins.h"
#include "up_down.h"

#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace plovan {

class CalPlot;
class Link;

class CalEditor : public QWidget {
    Q_OBJECT
public:
    // `clockMHz` gives the synthesiser clock the frequency words are made for.
    // Row plays and trims go through `settings` (the session's queue) when
    // given, else through a queue of the editor's own.
    CalEditor(Link& link, Dialogs& dialogs, std::function<double()> clockMHz, LatestWins* settings = nullptr,
              QWidget* parent = nullptr);

    QListWidget* List1;             // "Frequency (MHz)"
    QListWidget* List2;             // "Amplitude"
    QListWidget* List3;             // "Phase"
    QLineEdit* Text1;               // amplitude, hex
    QLineEdit* Text2;               // phase, hex
    QLineEdit* Text3;               // amplitude, decimal
    QLineEdit* Text4;               // phase, degrees
    QLineEdit* Text5;               // "Freq  Word"
    std::array<UpDown*, 6> UpDownN; // UpDown1 ... UpDown6
    QPushButton* Command1;          // "ESC"
    QPushButton* Command2;          // "Save Record"
    QPushButton* Command3;          // "Save to Disk"
    CalPlot* plot;
    QLabel* status; // what the last transmission or file step said

    std::int64_t CaliA = 0; // amplitude word of the selected row
    std::int64_t CaliP = 0; // phase word of the selected row
    bool SavMode = false;   // saving: nothing is sent

    // Shows the window centred with empty lists, then OpenLog.
    void openWindow();
    // Chooses a file and reads it into the lists; false when cancelled or unreadable.
    bool OpenLog();
    // Chooses a file (asking before replacing one) and writes the lists to it.
    bool CloseFile2();
    void Init();
    // UpDown1 ... UpDown6: n 1-6, direction +1 or -1.
    void UpDown_Click(int n, int direction);
    void Command1_Click(); // "ESC"
    void Command2_Click(); // "Save Record"
    void Command3_Click(); // "Save to Disk"
    // Selects `row` in the three lists; a selection in the frequency list plays it.
    void selectRow(int row, bool play);
    int selectedRow() const;
    // Trims or saved records that are not on disk yet (the caption's "*").
    bool modified() const;
    const CalRows& rows() const { return rows_; }

signals:
    // The window was hidden; the main window is to be shown again.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Keys in the settings queue, in the order pending writes run.
    enum Job { InitJob = 0x100, AmplitudeJob = 0x200, PhaseJob = 0x400 };
    // Sends `job`'s lines now, or after the transmission in progress.
    void request(int job);
    bool runJob(int job);
    void showWords();
    void Disable();
    void Enable();
    void say(const QString& text);
    void showRows();
    void showCaption();
    // Plays the selected row once the current event is handled.
    void playLater();

    Link& link_;
    Dialogs& dialogs_;
    std::function<double()> clockMHz_;
    CalRows rows_;
    bool loaded_ = false;
    LatestWins ownSettings_;
    LatestWins& settings_;
    bool playQueued_ = false;
    bool recordsChanged_ = false; // "Save Record" since the file was read or written
    QString path_;                // the file read or last written
};

} // namespace plovan
