// The single-tone page: the panel's controls wired to the synthesis
// controllers, with the table builder and the calibration "Store" step.
//
// Slider moves arrive faster than the unit acknowledges; they go through the
// session's latest-value-wins queue, so the unit ends at the last setting
// without working through stale ones.
#pragma once

#include "channel_controller.h"
#include "dialogs.h"
#include "synth_state.h"
#include "table_builder.h"
#include "tone_controller.h"

#include <QObject>
#include <functional>

namespace plovan {

class DirectCommands;
class SingleTonePanel;
class UnitSession;

class TonePage : public QObject {
    Q_OBJECT
public:
    TonePage(UnitSession& session, const Dialogs& dialogs, QWidget* panelParent);

    SingleTonePanel* panel;
    // The session's, shown here.
    SynthState& state;
    SynthHooks& hooks;
    ToneController& tone;
    ChannelController& channels;
    TableBuilder table;
    CalibrationRecorder recorder;
    bool MainVisible = true;
    // Sends the chirp status byte; the amplitude slider calls it in chirp mode.
    std::function<bool()> chirpStatus;

    // Copies the panel's boxes into the state, runs `procedure`, shows the result.
    bool run(const std::function<bool()>& procedure);
    bool busy() const;

    void Send_Click();
    void Slider1_Change();
    void Slider5_Change();
    void Slider2_Change();
    void Slider3_Change();
    void Slider6_Change();
    void Check3_Click();
    void Check2_Click();
    void channelBoxClicked(int n, bool ticked);
    void Check4_Click();
    void Command7_Click();
    void Command22_Click();
    void Command6_Click();
    void Command11_Click(bool loopTicked);
    void Command48_Click();
    // Shows or hides the main single-tone controls from MainVisible.
    void Hyde();
    // Chooses and starts the table file; false when none was opened.
    bool FileSelecta();
    // Shows the frequency the unit plays when another face or window tuned it
    // (the calibration editor, a script): the box and slider follow quietly.
    void followUnit();
    // The direct commands ("Toggle Laser/RF", "Loop", the baud rate) read and
    // move this page's controls and the session's laser/RF state.
    void serve(DirectCommands& direct);

signals:
    // "Hires F" ticked or unticked: the window enables "Frequency Offset" accordingly.
    void hiresChanged(bool ticked);
    // Hyde ran: the window shows or hides its own controls of the set.
    void mainVisibleChanged(bool visible);
    // A run button's caption changed ("Stop" or back): the window re-applies
    // SetButtons, which keeps a running run's button enabled.
    void runCaptionsChanged();

private:
    enum Procedure { TuneProc = 1, PhaseProc = 2, AmplitProc = 4, ChirpStatusProc = 8 };
    void request(Procedure procedure);
    bool runProcedure(Procedure procedure);
    void finishTable(const TableResult& result);

    UnitSession& session_;
    const Dialogs& dialogs_;
    int ownWrites_ = 0; // the page's own procedures running (they nest)
};

} // namespace plovan
