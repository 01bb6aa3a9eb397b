// The main window in chirp or single-tone mode: which controls show, which
// menus are enabled, which captions change. Kept as a table of control
// names, so the switch reaches controls wherever the window has put them;
// a name the window does not have (yet) is skipped.
#pragma once

#include <optional>
#include <vector>

class QWidget;

namespace plovan {

struct ModeControl {
    enum class Property { Visible, Enabled };
    enum class Target {
        Control, // the control of that name (every one, should there be several)
        FrameOf, // the frame (group box) holding it, for its caption
    };

    const char* objectName = nullptr;
    Property property = Property::Visible;
    std::optional<bool> inChirp = std::nullopt;  // left as it is
    std::optional<bool> inSingle = std::nullopt; // left as it is
    const char* chirpCaption = nullptr;
    const char* singleCaption = nullptr;
    Target target = Target::Control;
};

// A widget with this property set true keeps its controls as they are in
// both modes (the bench panel's own copies of chirp-mode controls).
inline constexpr char kModeIndependent[] = "modeIndependent";

// Hyde's, HydeMore's and SetMenu's effects and the captions of both modes.
const std::vector<ModeControl>& modeControls();

// Applies the table under `root` (the main window). A control that holds
// the start or stop box (Text1, Text2) is never hidden: both modes use them.
void applyMode(QWidget* root, bool chirp);

} // namespace plovan
