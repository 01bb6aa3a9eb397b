#include "poll_list.h"

#include "line_reader.h"

#include <sstream>

namespace plovan {

namespace {

constexpr std::size_t kShownChars = 24;

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimmed(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// The line as the operator can recognise it in a message.
std::string printable(std::string_view s)
{
    const std::string quoted = quotedText(s, kShownChars);
    return quoted.substr(1, quoted.size() - 2);
}

// Empty when `line` is a command the unit's grammar allows.
std::string checkCommand(std::string_view line)
{
    if (line.front() == '=') return "write the command without its leading \"=\"";
    if (!isLetter(line.front())) return "a command starts with its letter";
    for (const char c : line.substr(1)) {
        if (c == ' ' || c == '\t') return "a command holds no spaces";
        if (!isLetter(c) && !isDigit(c)) return "only letters and hex digits may follow the command letter";
    }
    return {};
}

} // namespace

namespace {

template <typename Lines> PollList parseLines(Lines& reader)
{
    PollList list;
    while (const std::optional<FileLine> raw = reader.next()) {
        const std::string_view line = trimmed(raw->text);
        const int number = static_cast<int>(raw->number);
        if (line == "*") break;
        if (line.empty()) continue;
        if (std::string why = checkCommand(line); !why.empty())
            list.problems.push_back({number, printable(line), std::move(why)});
        else
            list.commands.emplace_back(line);
    }
    if (reader.bomSkipped()) list.notes.push_back(kBomNote);
    // A line too long is no command: the list is not used.
    if (const std::string why = reader.error(); !why.empty())
        list.problems.push_back({static_cast<int>(reader.linesRead() + 1), std::string(), why});
    return list;
}

} // namespace

PollList parsePollList(std::string_view text)
{
    std::istringstream in{std::string(text)};
    LineReader reader(in, kSmallFileLimits.maxLineChars);
    return parseLines(reader);
}

PollFile readPollFile(const std::filesystem::path& path)
{
    PollFile file;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return file;
    TextFile text;
    file.error = text.open(path.string(), TextLimits{kMaxPollFileBytes, kSmallFileLimits.maxLineChars});
    if (!file.error.empty()) {
        file.state = PollFile::Unreadable;
        return file;
    }
    file.state = PollFile::Read;
    file.list = parseLines(text);
    return file;
}

std::string describeProblems(const std::vector<PollProblem>& problems, std::size_t shown)
{
    std::string out;
    for (std::size_t i = 0; i < problems.size() && i < shown; ++i) {
        const PollProblem& p = problems[i];
        if (!out.empty()) out += '\n';
        out += p.text.empty() ? p.why : "line " + std::to_string(p.line) + " \"" + p.text + "\": " + p.why;
    }
    if (problems.size() > shown) out += "\n... and " + std::to_string(problems.size() - shown) + " more";
    return out;
}

} // namespace plovan
