#include "terminal_buffer.h"

namespace plovan {

void TerminalBuffer::append(char c)
{
    if (text_.size() >= kClearAt) text_.clear();
    text_.push_back(c);
}

void TerminalBuffer::append(std::string_view text)
{
    for (char c : text)
        append(c);
}

void TerminalBuffer::appendLine(std::string_view line)
{
    if (!text_.empty() && text_.back() != '\n') append("\r\n");
    append(line);
    append("\r\n");
}

} // namespace plovan
