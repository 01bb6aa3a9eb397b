// The single-tone page: the panel's controls wired to the synthesis
// controllers, with the table builder and the calibration "Store" step.
//
// Slider moves arrive faster than the unit acknowledges; while a procedure is
// writing, further moves only mark it pending, and once it is done it runs
// again with the newest values. So the unit ends at the last setting without
// a queue of stale ones.
#pragma once

#include "channel_controller.h"
#include "dialogs.h"
#include "synth_state.h"
#include "table_builder.h"
#include "tone_controller.h"

#include <QObject>
#include <functional>

namespace plovan {

class Link;
class SingleTonePanel;

class TonePage : public QObject {
    Q_OBJECT
public:
    TonePage(Link& link, const Dialogs& dialogs, QWidget* panelParent);

    SingleTonePanel* panel;
    SynthState state;
    SynthHooks hooks;
    ToneController tone;
    ChannelController channels;
    TableBuilder table;
    CalibrationRecorder recorder;
    bool MainVisible = true;
    // Sends the chirp status byte; the amplitude slider calls it in chirp mode.
    std::function<bool()> chirpStatus;

    // Copies the panel's boxes into the state, runs `procedure`, shows the result.
    bool run(const std::function<bool()>& procedure);
    bool busy() const { return busy_; }

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
    void runPending(bool lastOk);
    void finishTable(const TableResult& result);

    Link& link_;
    const Dialogs& dialogs_;
    bool busy_ = false;
    int pending_ = 0;
};

} // namespace plovan
