// The terminal box's text: every received character is appended, and the
// text starts afresh once it has reached 2001 characters, so it never grows
// without bound however long a session runs.
#pragma once

#include <string>
#include <string_view>

namespace plovan {

class TerminalBuffer {
public:
    static constexpr std::size_t kClearAt = 2001;

    // Appends one character; a text of kClearAt or more characters is cleared first.
    void append(char c);
    // The same, character by character, in one go.
    void append(std::string_view text);
    // A message of the program's own on a line of its own.
    void appendLine(std::string_view line);
    void set(std::string_view text) { text_ = text; }
    void clear() { text_.clear(); }
    // Room for the whole text, so that receiving never allocates.
    void reserve() { text_.reserve(kClearAt); }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

} // namespace plovan
