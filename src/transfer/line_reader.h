// Reads a transfer file one line at a time, with the number of each line, so
// that a file of any size is sent without being held whole and every finding
// names its line. A line ends at LF; a CR before it is dropped, as is a lone
// CR at the end of the last line. A line is kept up to `maxChars` characters
// (memory stays bounded whatever the file holds); the rest of a longer one
// is skipped and the line marked cut.
#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>

namespace plovan {

struct FileLine {
    std::size_t number = 0; // 1-based
    std::string text;       // without its line end
    bool cut = false;       // longer than the reader keeps
};

class LineReader {
public:
    static constexpr std::size_t kDefaultMaxChars = 1 << 20;

    explicit LineReader(std::istream& in, std::size_t maxChars = kDefaultMaxChars) : in_(in), max_(maxChars)
    {
    }

    // The next line, or empty at the end of the file.
    std::optional<FileLine> next();
    // Lines read so far.
    std::size_t linesRead() const { return number_; }

private:
    std::istream& in_;
    std::size_t max_;
    std::size_t number_ = 0;
    std::string buffer_;
};

} // namespace plovan
