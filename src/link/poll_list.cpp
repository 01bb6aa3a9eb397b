#include "poll_list.h"

#include <fstream>

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
    std::string out;
    for (const char c : s.substr(0, kShownChars)) {
        const auto u = static_cast<unsigned char>(c);
        out.push_back(u < 0x20 || u >= 0x7F ? '?' : c);
    }
    if (s.size() > kShownChars) out += "...";
    return out;
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

PollList parsePollList(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    PollList list;
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        const std::string_view raw = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        }
        else {
            const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
            text.remove_prefix(end + (crlf ? 2 : 1));
        }
        ++number;
        const std::string_view line = trimmed(raw);
        if (line == "*") break;
        if (line.empty()) continue;
        if (std::string why = checkCommand(line); !why.empty())
            list.problems.push_back({number, printable(line), std::move(why)});
        else
            list.commands.emplace_back(line);
    }
    return list;
}

PollFile readPollFile(const std::filesystem::path& path)
{
    PollFile file;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return file;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        file.state = PollFile::Unreadable;
        return file;
    }
    std::string data;
    data.resize(kMaxPollFileBytes + 1);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    if (in.bad()) {
        file.state = PollFile::Unreadable;
        return file;
    }
    data.resize(static_cast<std::size_t>(in.gcount()));
    if (data.size() > kMaxPollFileBytes) {
        file.state = PollFile::TooLarge;
        return file;
    }
    file.state = PollFile::Read;
    file.list = parsePollList(data);
    return file;
}

std::string describeProblems(const std::vector<PollProblem>& problems, std::size_t shown)
{
    std::string out;
    for (std::size_t i = 0; i < problems.size() && i < shown; ++i) {
        const PollProblem& p = problems[i];
        if (!out.empty()) out += '\n';
        out += "line " + std::to_string(p.line) + " \"" + p.text + "\": " + p.why;
    }
    if (problems.size() > shown) out += "\n... and " + std::to_string(problems.size() - shown) + " more";
    return out;
}

} // namespace plovan
