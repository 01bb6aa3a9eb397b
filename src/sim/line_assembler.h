// Holds back one face's unfinished line, so that the unit only ever gets
// whole lines. The serial and the USB face feed one command interpreter;
// without this, half a line typed on one face would be glued to the front of
// the next command from the other.
//
// The framing is the unit's own (a line ends at CR or LF, a line longer than
// the unit takes is dropped), so what the unit makes of the bytes of one face
// is unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plovan::sim {

class LineAssembler {
public:
    // The unit's longest line; one character more clears the line so far, as the unit does.
    static constexpr std::size_t kMaxLineLength = 4096;

    // Returns the whole lines of what was held plus `bytes`, with their line
    // ends; keeps the unfinished rest for the next call.
    std::string take(std::string_view bytes);
    // Forgets the unfinished line (a new connection).
    void clear() { held_.clear(); }
    bool holdsPartial() const { return !held_.empty(); }

private:
    std::string held_;
};

} // namespace plovan::sim
