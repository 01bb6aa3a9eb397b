#include "line_reader.h"

namespace plovan {

std::optional<FileLine> LineReader::next()
{
    if (!std::getline(in_, buffer_)) return std::nullopt;
    if (!buffer_.empty() && buffer_.back() == '\r') buffer_.pop_back();
    return FileLine{++number_, buffer_};
}

} // namespace plovan
