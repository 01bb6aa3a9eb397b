// Every file the program reads goes through here: a table, a calibration
// file, the poll list, a VSWR file, the settings files.
//
// A file is opened once and refused unless it is a regular file (a folder, a
// FIFO, a device such as /dev/zero never reach the reader) and unless it is
// small enough for its kind; its size is known before a byte is read. It is
// then read one line at a time, each line at most a fixed number of
// characters, so that reading costs the same small memory whatever the file
// holds. A line ends at CR LF, LF or a lone CR; a UTF-8 byte-order mark in
// front of the first line is skipped and said.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plovan {

struct FileLine {
    std::size_t number = 0; // 1-based
    std::string text;       // without its line end
    std::string_view end;   // "\r\n", "\n", "\r", or "" for a last line without one
};

// How much of a file a reader takes.
struct TextLimits {
    std::uintmax_t maxBytes;  // a larger file is refused before it is read
    std::size_t maxLineChars; // a longer line stops the reading
};
// Table and calibration files: the largest table the unit takes is 65,535 raw
// records of 28 digits, under 2 MB with their line ends; twice that is the
// margin. A table line is a few dozen characters.
inline constexpr TextLimits kTableFileLimits{4 * 1024 * 1024, 256};
// Settings, poll and VSWR files: a few short lines (a device path at most).
inline constexpr TextLimits kSmallFileLimits{64 * 1024, 4096};

inline constexpr char kBomNote[] = "the file starts with a UTF-8 byte-order mark; it is skipped";

class LineReader {
public:
    explicit LineReader(std::istream& in, std::size_t maxLineChars = kTableFileLimits.maxLineChars);

    // The next line; empty at the end of the file and once a line was too
    // long (error() then says which).
    std::optional<FileLine> next();
    // Lines read so far.
    std::size_t linesRead() const { return number_; }
    // "line 3 is longer than 256 characters", or empty.
    const std::string& error() const { return error_; }
    bool bomSkipped() const { return bomSkipped_; }

private:
    std::istream& in_;
    std::size_t maxLineChars_;
    std::size_t number_ = 0;
    std::string error_;
    bool bomSkipped_ = false;
};

// A file opened for reading by the rules above.
class TextFile {
public:
    TextFile();
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // Opens `path` (in the file system's encoding). Empty when it is open,
    // else why not: the system's reason, "it is a folder, not a file", ...
    std::string open(const std::string& path, const TextLimits& limits = kTableFileLimits);

    std::optional<FileLine> next();
    std::size_t linesRead() const;
    // Why the reading stopped before the end: a line too long, a read error.
    std::string error() const;
    bool bomSkipped() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// `text` for a message: in double quotes, bytes that are not printable ASCII
// written as "\x00", cut after `shown` characters with "...".
std::string quotedText(std::string_view text, std::size_t shown = 24);

} // namespace plovan
