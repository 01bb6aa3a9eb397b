// tarsel: read or write one I/O port from the shell.
#include "tarsel.h"
#include "tarsel_number.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kPortUnusable = 1;
constexpr int kBadArguments = 2;

constexpr const char* kUsage = R"(Usage: tarsel read ADDR [--bits 8|16] [--unsigned] [--backend B]
   or: tarsel write ADDR VALUE [--bits 8|16] [--backend B]
   or: tarsel --help

Reads or writes the I/O port at ADDR (0..0xFFFF) and prints what was read
in decimal. Numbers are decimal or 0x-hex.

  --bits 8|16    access width (default 8). A byte reads as 0..255, a word
                 as -32768..32767; a byte write sends VALUE's low byte.
  --unsigned     read a word as 0..65535 (always 16 bits)
  --backend B    auto (default: ioperm, then /dev/port), ioperm, devport,
                 or memory (a test facility seeded from TARSEL_MEMORY,
                 e.g. TARSEL_MEMORY=0x378=0xF0)
VALUE is -32768..65535. Port access needs root or CAP_SYS_RAWIO.

Exit status: 0 done, 1 the port cannot be used, 2 bad arguments.
)";

struct Command {
    bool write = false;
    std::uint16_t address = 0;
    std::int16_t value = 0;
    int bits = 8;
    bool bitsGiven = false;
    bool unsignedRead = false;
    std::string backend = "auto";
};

int badArguments(const std::string& why)
{
    std::fprintf(stderr, "tarsel: %s\nTry 'tarsel --help'.\n", why.c_str());
    return kBadArguments;
}

// Fills `command` from the words after the program name; an error message
// when they make no sense.
std::optional<std::string> parse(const std::vector<std::string_view>& words, Command& command)
{
    std::vector<std::string_view> operands;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string_view word = words[i];
        // "-5" is a value, not an option.
        const bool option =
            !optionsEnded && word.size() > 1 && word[0] == '-' && !(word[1] >= '0' && word[1] <= '9');
        if (!option) {
            operands.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--unsigned") {
            command.unsignedRead = true;
            continue;
        }
        std::string_view name = word, value;
        bool hasValue = false;
        if (const auto equals = word.find('='); equals != std::string_view::npos) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
            hasValue = true;
        }
        if (name != "--bits" && name != "--backend") return "unknown option " + std::string(word);
        if (!hasValue) {
            if (i + 1 == words.size()) return std::string(name) + " needs a value";
            value = words[++i];
        }
        if (name == "--bits") {
            if (value != "8" && value != "16")
                return "--bits must be 8 or 16, not \"" + std::string(value) + "\"";
            command.bits = value == "8" ? 8 : 16;
            command.bitsGiven = true;
        }
        else {
            if (value != "auto" && value != "ioperm" && value != "devport" && value != "memory")
                return "unknown backend \"" + std::string(value) + "\" - use auto, ioperm, devport or memory";
            command.backend = value;
        }
    }

    if (operands.empty()) return "say read or write";
    if (operands[0] != "read" && operands[0] != "write")
        return "unknown command \"" + std::string(operands[0]) + "\"";
    command.write = operands[0] == "write";
    const std::size_t wanted = command.write ? 3 : 2;
    if (operands.size() < wanted) return command.write ? "write needs ADDR and VALUE" : "read needs ADDR";
    if (operands.size() > wanted) return "unexpected \"" + std::string(operands[wanted]) + "\"";

    const auto address = tarsel::parseInteger(operands[1], 0, 0xFFFF);
    if (!address) return "ADDR must be 0..0xFFFF, not \"" + std::string(operands[1]) + "\"";
    command.address = static_cast<std::uint16_t>(*address);
    if (command.write) {
        if (command.unsignedRead) return "--unsigned is for read";
        const auto value = tarsel::parseInteger(operands[2], -32768, 65535);
        if (!value) return "VALUE must be -32768..65535, not \"" + std::string(operands[2]) + "\"";
        // 0x8000..0xFFFF and -32768..-1 name the same 16-bit patterns.
        command.value = static_cast<std::int16_t>(static_cast<std::uint16_t>(*value));
    }
    // A word is all --unsigned can read; asking for a byte as well is a mistake.
    if (command.unsignedRead && command.bitsGiven && command.bits == 8)
        return "--unsigned reads 16 bits; drop --bits 8";
    return std::nullopt;
}

int portUnusable(const char* why)
{
    std::fprintf(stderr, "tarsel: %s\n", why);
    return kPortUnusable;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string_view> words(argv + 1, argv + argc);
    for (const auto word : words) {
        if (word == "--") break;
        if (word == "--help" || word == "-h") {
            std::fputs(kUsage, stdout);
            return kOk;
        }
    }

    Command command;
    if (const auto error = parse(words, command)) return badArguments(*error);

    char error[512];
    tarsel_t* port = tarsel_open(command.backend.c_str(), error, sizeof error);
    if (!port) return portUnusable(error);
    tarsel_set_address(port, command.address);
    tarsel_set_bitsize(port, command.bits);

    int status = kOk;
    if (command.write) {
        if (tarsel_set_value(port, command.value) != 0) status = portUnusable(tarsel_last_error(port));
    }
    else if (command.unsignedRead) {
        int32_t value = 0;
        if (tarsel_get_usvalue(port, &value) == 0)
            std::printf("%d\n", static_cast<int>(value));
        else
            status = portUnusable(tarsel_last_error(port));
    }
    else {
        int16_t value = 0;
        if (tarsel_get_value(port, &value) == 0)
            std::printf("%d\n", static_cast<int>(value));
        else
            status = portUnusable(tarsel_last_error(port));
    }
    tarsel_close(port);
    return status;
}
