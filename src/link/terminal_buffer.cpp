#include "terminal_buffer.h"

#include <algorithm>

namespace plovan {

void TerminalBuffer::append(char c)
{
    if (text_.size() >= kClearAt) text_.clear();
    text_.push_back(c);
}

void TerminalBuffer::append(std::string_view text)
{
    while (!text.empty()) {
        if (text_.size() >= kClearAt) text_.clear();
        // Up to the next clearing point at once.
        const std::size_t n = std::min(text.size(), kClearAt - text_.size());
        text_.append(text.substr(0, n));
        text.remove_prefix(n);
    }
}

void TerminalBuffer::appendLine(std::string_view line)
{
    if (!text_.empty() && text_.back() != '\n') append("\r\n");
    append(line);
    append("\r\n");
}

} // namespace plovan
