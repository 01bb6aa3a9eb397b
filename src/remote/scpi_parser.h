// The remote control language, without any I/O: framing of the bytes a
// client sends into messages, and parsing of a message into commands against
// a node table. Pure functions and values; the server (remote_server.h) runs
// the commands.
//
// Syntax: IEEE 488.2 common commands (*IDN?) and SCPI-1999 program headers:
// case-insensitive short and long forms (FREQ / FREQuency), optional nodes
// ([SOURce:]FREQuency[:CW]), ";" between commands of one message, a leading
// ":" back to the root (without it a command continues the path of the one
// before), "?" for queries, parameters after white space separated by ",".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan::scpi {

// The standard error codes this server gives.
enum ErrorCode : int {
    kNoError = 0,
    kCommandError = -100,
    kSyntaxError = -102,
    kDataTypeError = -104,
    kParameterNotAllowed = -108,
    kMissingParameter = -109,
    kUndefinedHeader = -113,
    kInvalidSuffix = -131,
    kDataOutOfRange = -222,
    kTooMuchData = -223,
    kIllegalParameterValue = -224,
    kDeviceError = -300,
    kCommunicationError = -360,
    kTimeOutError = -365,
    kQueueOverflow = -350,
};

// "Syntax error", "Undefined header", ...: the standard text of `code`.
std::string_view errorText(int code);

struct Error {
    int code = kNoError;
    std::string detail; // appended after ";" when not empty
    bool operator==(const Error&) const = default;
};

// `<code>,"<text>"` as SYSTem:ERRor? answers it (quotes in the text doubled).
std::string errorReply(const Error& error);

// A client's error queue: oldest first; once full, the newest entry becomes
// -350 "Queue overflow" and later errors are lost.
class ErrorQueue {
public:
    static constexpr std::size_t kCapacity = 16;
    void push(Error error);
    Error pop(); // 0 "No error" when empty
    void clear() { errors_.clear(); }
    std::size_t size() const { return errors_.size(); }

private:
    std::vector<Error> errors_;
};

// --- framing ---

// Cuts a client's byte stream into messages: a message ends at LF (a CR
// before it is dropped) outside quotes and outside a definite-length block
// (#<n><length><bytes>), whose bytes are taken as they are.
class Framer {
public:
    static constexpr std::size_t kMaxLine = 64 * 1024;         // without block bytes
    static constexpr std::size_t kMaxBlock = 16 * 1024 * 1024; // one block's bytes

    struct Message {
        std::string text;
        Error error; // kTooMuchData: the message was too long and is dropped (text empty)
    };

    // Takes the next bytes; returns the messages they complete.
    std::vector<Message> feed(std::string_view bytes);
    // Bytes held for the message not yet ended.
    std::size_t pending() const { return text_.size(); }

private:
    enum class State { Text, Quoted, Hash, Digits, Block };
    void reset();

    std::string text_;
    State state_ = State::Text;
    char quote_ = 0;
    int digitsLeft_ = 0;
    std::size_t blockLength_ = 0;
    std::size_t blockLeft_ = 0;
    std::size_t textLength_ = 0; // counted against kMaxLine
    bool discarding_ = false;    // too long: drop up to the next line end
    Error discardError_;
};

// --- the node table ---

// One command node. `pattern`: "[SOURce:]FREQuency[:CW]" or "*IDN"; the
// upper-case letters of each mnemonic are its short form.
struct Node {
    const char* pattern;
    int id;
    bool settable;
    bool queryable;
};

// --- parameters ---

struct Parameter {
    enum class Kind { Number, Word, String, Block };
    Kind kind = Kind::Word;
    double number = 0;  // Number: already scaled by its suffix
    std::string suffix; // Number: the suffix as given, upper case ("MHZ"); empty for none
    std::string text;   // Word: upper case; String and Block: the contents
    bool operator==(const Parameter&) const = default;
};

struct Command {
    int node = -1; // the node's id
    bool query = false;
    std::vector<Parameter> parameters;
};

// The commands of one message up to its first error, and that error.
struct Parsed {
    std::vector<Command> commands;
    Error error;
};

Parsed parse(std::string_view message, const std::vector<Node>& nodes);

// The scale of a numeric suffix (HZ, KHZ, MHZ, GHZ, DEG; S, MS, US, NS); empty when unknown.
std::optional<double> suffixScale(std::string_view suffix);

// A number as the query answers give it: shortest exact form, "." decimal.
std::string formatNumber(double value);

} // namespace plovan::scpi
