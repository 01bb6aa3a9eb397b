// Which of the window's controls may be used, from the link's state alone,
// so that every panel applies the same rule to its own widgets.
#pragma once

namespace plovan {

enum class Activity {
    Idle,
    Procedure, // a setting is being written (Send, a slider, a channel box)
    Job,       // a job holds the link: a load, a batch, a poll loop, ...
};

struct ControlRules {
    bool pages = true;          // the pages and panels as wholes
    bool settings = true;       // each control that writes a setting to the unit
    bool loadMenus = true;      // "Send Velmar File...", "Send Batch", "Send DataQ...", ...
    bool toolsMenu = true;      // the single-tone tools; held off in chirp mode
    bool portControls = true;   // the Connect buttons, Port Open, Properties, USB Mode
    bool terminalTyping = true; // keys typed into the terminal go to the unit
    bool operator==(const ControlRules&) const = default;
};

constexpr ControlRules controlRules(bool connected, Activity activity, bool chirpMode)
{
    ControlRules r;
    const bool idle = activity == Activity::Idle;
    r.pages = activity != Activity::Job;
    r.settings = connected && idle;
    r.loadMenus = connected && idle;
    r.toolsMenu = connected && idle && !chirpMode;
    r.portControls = idle;
    r.terminalTyping = idle;
    return r;
}

} // namespace plovan
