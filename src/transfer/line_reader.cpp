#include "line_reader.h"

namespace plovan {

std::optional<FileLine> LineReader::next()
{
    std::streambuf* in = in_.rdbuf();
    if (in == nullptr || !in_.good()) return std::nullopt;
    buffer_.clear();
    bool any = false, cut = false;
    for (;;) {
        const int c = in->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in_.setstate(std::ios::eofbit);
            if (!any) {
                in_.setstate(std::ios::failbit);
                return std::nullopt;
            }
            break;
        }
        any = true;
        if (c == '\n') break;
        // One more than kept, so that a CR before the LF may still be dropped.
        if (buffer_.size() <= max_)
            buffer_.push_back(static_cast<char>(c));
        else
            cut = true;
    }
    if (!buffer_.empty() && buffer_.back() == '\r') buffer_.pop_back();
    if (buffer_.size() > max_) {
        buffer_.resize(max_);
        cut = true;
    }
    return FileLine{++number_, buffer_, cut};
}

} // namespace plovan
