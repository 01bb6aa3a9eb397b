// The channel and run controls of the single-tone panel: the four cumulative
// channel boxes, the one-channel options, "All", "None" and "Set", the
// inverse-sinc switches, the second amplitude and the two run-control
// toggles. The panel calls one method per control event and then shows the
// state the method left behind (channel boxes, captions, Check12).
//
// Every method returns false when its sequence stopped early: a wait that
// did not end in an acknowledgement (time-out, cancel, lost connection) or a
// write the Link refused. The Link has already reported why.
#pragma once

#include "link.h"
#include "synth_state.h"

#include <functional>
#include <string>

namespace plovan {

class ChannelController {
public:
    static constexpr const char* kExtEnable = "Ext Enable";
    static constexpr const char* kInitY = "Init Y";
    static constexpr const char* kStop = "Stop";

    ChannelController(Link& link, SynthState& state, SynthHooks& hooks);

    // The amplitude slider's change handler (Slider3): rewrites the amplitude
    // through Amplit with the channel state just changed; false stops the chain.
    std::function<bool()> amplitudeChanged;
    // The "Loop" box's read-modify-write of the control byte (Check16).
    std::function<bool()> loopHandler;
    // Resends the chirp status byte after an inverse-sinc option.
    std::function<void()> StatuZ;

    // Check5..Check8: box n (1..4) was clicked and is now `ticked`. A box
    // ticked or unticked on the way runs its own handler first, as a click
    // would. Boxes whose handler stopped before changing CtrlReg are put back.
    bool channelBoxClicked(int n, bool ticked);
    // Option8..Option11: only channel n (1..4).
    bool selectOneChannel(int n);
    // Command61 "All", Command62 "None": fixed masks; CtrlReg is kept.
    bool allChannels();
    bool noChannels();
    // Command13 "Set": resends CtrlReg.
    bool resendChannelMask();

    // Check2 "Inv Sync" clicked; Check12 follows it.
    bool invSyncClicked(bool ticked);
    bool inverseSincTicked() const { return inverseSinc_; }
    // Option3 "On" / Option4 "Off" of the inverse-sinc frame.
    bool inverseSincOption(bool on);

    // Slider6: the second amplitude, 0..4095.
    bool secondAmplitudeChanged(int value);

    // Command11 "Ext Enable"/"Stop" and Command48 "Init Y"/"Stop". The
    // caption after the click is kept here for the panel to show. A run is
    // busy from its start until it is stopped or a start stops early. While
    // a caption is "Stop" the panel keeps that button enabled, whatever
    // SetButtons did, so that the run can be stopped.
    bool Command11_Click(bool loopTicked);
    bool Command48_Click();
    const std::string& Command11Caption() const { return command11Caption_; }
    const std::string& Command48Caption() const { return command48Caption_; }

private:
    bool clickBox(int n, bool ticked);
    bool writeChannelMask(int mask);
    void reportBusy(bool busy);

    Link& link_;
    SynthState& state_;
    SynthHooks& hooks_;
    bool inverseSinc_ = false;
    std::string command11Caption_ = kExtEnable;
    std::string command48Caption_ = kInitY;
};

} // namespace plovan
