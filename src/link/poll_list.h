// The poll list "poll.txt": one command per line without its leading "=",
// sent in file order by the polling window; a line holding only "*" ends the
// list. The whole list is checked before any of it is sent, so a typing slip
// in the file never puts half a sequence on the wire.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace plovan {

inline constexpr char kPollFile[] = "poll.txt";

struct PollProblem {
    int line = 0;     // 1-based, as an editor shows it
    std::string text; // the line as read, made printable
    std::string why;
};

struct PollList {
    std::vector<std::string> commands; // without "=", in file order
    std::vector<PollProblem> problems; // empty when the list can be sent
    std::vector<std::string> notes;    // what was read past (a byte-order mark)
};

// Splits `text` (CR LF, LF or CR line ends; a UTF-8 byte-order mark is
// skipped) and checks each line up to the "*" line or the end. Spaces and
// tabs around a line are ignored and blank lines are skipped; a command is a
// letter followed by letters and digits.
PollList parsePollList(std::string_view text);

struct PollFile {
    enum State { Missing, Unreadable, TooLarge, Read } state = Missing;
    std::string error; // Unreadable: why (the system's reason, not a regular file, too large)
    PollList list;
};

// Poll lists are a handful of lines; anything this large is not one.
inline constexpr std::size_t kMaxPollFileBytes = 64 * 1024;

PollFile readPollFile(const std::filesystem::path& path);

// What is wrong, one problem a line, at most `shown` of them.
std::string describeProblems(const std::vector<PollProblem>& problems, std::size_t shown = 10);

} // namespace plovan
