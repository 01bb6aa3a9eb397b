#include "scpi_parser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>

namespace plovan::scpi {

std::string_view errorText(int code)
{
    switch (code) {
    case kNoError: return "No error";
    case kCommandError: return "Command error";
    case kSyntaxError: return "Syntax error";
    case kDataTypeError: return "Data type error";
    case kParameterNotAllowed: return "Parameter not allowed";
    case kMissingParameter: return "Missing parameter";
    case kUndefinedHeader: return "Undefined header";
    case kInvalidSuffix: return "Invalid suffix";
    case kDataOutOfRange: return "Data out of range";
    case kTooMuchData: return "Too much data";
    case kIllegalParameterValue: return "Illegal parameter value";
    case kDeviceError: return "Device-specific error";
    case kCommunicationError: return "Communication error";
    case kTimeOutError: return "Time out error";
    case kQueueOverflow: return "Queue overflow";
    default: return "Error";
    }
}

std::string errorReply(const Error& error)
{
    std::string text(errorText(error.code));
    if (!error.detail.empty()) text += ";" + error.detail;
    std::string quoted;
    for (char c : text) {
        // The answer is one printable line whatever the detail holds.
        if (c == '"')
            quoted += "\"\"";
        else if (static_cast<unsigned char>(c) < 0x20)
            quoted += ' ';
        else
            quoted += c;
    }
    return std::to_string(error.code) + ",\"" + quoted + "\"";
}

void ErrorQueue::push(Error error)
{
    if (errors_.size() + 1 < kCapacity)
        errors_.push_back(std::move(error));
    else if (errors_.size() + 1 == kCapacity)
        errors_.push_back({kQueueOverflow, {}});
}

Error ErrorQueue::pop()
{
    if (errors_.empty()) return {};
    Error first = std::move(errors_.front());
    errors_.erase(errors_.begin());
    return first;
}

// --- framing ---

void Framer::reset()
{
    text_.clear();
    state_ = State::Text;
    quote_ = 0;
    digitsLeft_ = 0;
    blockLength_ = 0;
    blockLeft_ = 0;
    textLength_ = 0;
}

std::vector<Framer::Message> Framer::feed(std::string_view bytes)
{
    std::vector<Message> done;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (discarding_) {
            if (blockLeft_ > 0) {
                const std::size_t n = std::min(blockLeft_, bytes.size() - i);
                blockLeft_ -= n;
                i += n;
                continue;
            }
            if (bytes[i++] == '\n') {
                discarding_ = false;
                reset();
            }
            continue;
        }
        if (state_ == State::Block) {
            const std::size_t n = std::min(blockLeft_, bytes.size() - i);
            text_.append(bytes.substr(i, n));
            blockLeft_ -= n;
            i += n;
            if (blockLeft_ == 0) state_ = State::Text;
            continue;
        }
        const char c = bytes[i++];
        if (c == '\n') {
            if (!text_.empty() && text_.back() == '\r') text_.pop_back();
            done.push_back({std::move(text_), {}});
            reset();
            continue;
        }
        text_ += c;
        if (++textLength_ > kMaxLine) {
            done.push_back({{}, {kTooMuchData, "message longer than 65536 bytes"}});
            reset();
            discarding_ = true;
            continue;
        }
        switch (state_) {
        case State::Text:
            if (c == '"' || c == '\'') {
                quote_ = c;
                state_ = State::Quoted;
            }
            else if (c == '#') {
                state_ = State::Hash;
            }
            break;
        case State::Quoted:
            if (c == quote_) state_ = State::Text;
            break;
        case State::Hash:
            if (c >= '1' && c <= '9') {
                digitsLeft_ = c - '0';
                blockLength_ = 0;
                state_ = State::Digits;
            }
            else {
                state_ = State::Text; // not a definite block: the parser says so
            }
            break;
        case State::Digits:
            if (c < '0' || c > '9') {
                state_ = State::Text;
                break;
            }
            blockLength_ = blockLength_ * 10 + std::size_t(c - '0');
            if (--digitsLeft_ > 0) break;
            if (blockLength_ > kMaxBlock) {
                done.push_back({{}, {kTooMuchData, "block larger than 16 MiB"}});
                blockLeft_ = blockLength_;
                const std::size_t skip = blockLeft_;
                reset();
                blockLeft_ = skip;
                discarding_ = true;
            }
            else {
                blockLeft_ = blockLength_;
                state_ = blockLeft_ > 0 ? State::Block : State::Text;
            }
            break;
        case State::Block: break;
        }
    }
    return done;
}

// --- the node table ---

namespace {

std::string upper(std::string_view s)
{
    std::string u(s);
    for (char& c : u)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

bool isAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

struct Element {
    std::string shortForm; // upper case
    std::string longForm;  // upper case
    bool optional = false;
};

std::vector<Element> elementsOf(std::string_view pattern)
{
    std::vector<Element> elements;
    bool optional = false;
    std::string word;
    auto flush = [&] {
        if (word.empty()) return;
        Element e;
        e.longForm = upper(word);
        for (char c : word)
            if (!(c >= 'a' && c <= 'z')) e.shortForm += c;
        e.optional = optional;
        elements.push_back(std::move(e));
        word.clear();
    };
    for (char c : pattern) {
        if (c == '[') {
            flush();
            optional = true;
        }
        else if (c == ']') {
            flush();
            optional = false;
        }
        else if (c == ':') {
            flush();
        }
        else {
            word += c;
        }
    }
    flush();
    return elements;
}

bool matches(const std::vector<Element>& elements, std::size_t e, const std::vector<std::string>& words,
             std::size_t w)
{
    if (e == elements.size()) return w == words.size();
    const Element& el = elements[e];
    if (w < words.size() && (words[w] == el.shortForm || words[w] == el.longForm) &&
        matches(elements, e + 1, words, w + 1))
        return true;
    return el.optional && matches(elements, e + 1, words, w);
}

const Node* findNode(const std::vector<Node>& nodes, const std::vector<std::string>& words)
{
    // Patterns are string literals: each is taken apart once per thread.
    thread_local std::map<const char*, std::vector<Element>> compiled;
    for (const Node& node : nodes) {
        auto it = compiled.find(node.pattern);
        if (it == compiled.end()) it = compiled.emplace(node.pattern, elementsOf(node.pattern)).first;
        if (matches(it->second, 0, words, 0)) return &node;
    }
    return nullptr;
}

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}
    bool atEnd() const { return i_ >= s_.size(); }
    char peek() const { return atEnd() ? '\0' : s_[i_]; }
    char take() { return s_[i_++]; }
    void skipWhite()
    {
        while (!atEnd() && isWhite(s_[i_]))
            ++i_;
    }
    std::string_view word()
    {
        const std::size_t from = i_;
        while (!atEnd() && (isAlpha(s_[i_]) || isDigit(s_[i_]) || s_[i_] == '_'))
            ++i_;
        return s_.substr(from, i_ - from);
    }
    std::string_view rest(std::size_t n)
    {
        const auto r = s_.substr(i_, n);
        i_ += r.size();
        return r;
    }
    std::size_t left() const { return s_.size() - i_; }
    std::size_t at() const { return i_; }
    std::string_view from(std::size_t at) const { return s_.substr(at, i_ - at); }
    void back(std::size_t at) { i_ = at; }

private:
    std::string_view s_;
    std::size_t i_ = 0;
};

std::optional<Parameter> number(Reader& r, Error& error)
{
    const std::size_t from = r.at();
    if (r.peek() == '+' || r.peek() == '-') r.take();
    bool digits = false;
    while (isDigit(r.peek())) {
        r.take();
        digits = true;
    }
    if (r.peek() == '.') {
        r.take();
        while (isDigit(r.peek())) {
            r.take();
            digits = true;
        }
    }
    if (digits && (r.peek() == 'e' || r.peek() == 'E')) {
        const std::size_t mark = r.at();
        r.take();
        r.skipWhite();
        if (r.peek() == '+' || r.peek() == '-') r.take();
        if (!isDigit(r.peek())) r.back(mark); // "E" starts a suffix, not an exponent
        while (isDigit(r.peek()))
            r.take();
    }
    if (!digits) {
        error = {kSyntaxError, "number expected"};
        return std::nullopt;
    }
    std::string text;
    for (char c : r.from(from))
        if (!isWhite(c)) text += c;
    if (text.front() == '+') text.erase(0, 1);
    Parameter p;
    p.kind = Parameter::Kind::Number;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), p.number);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(p.number)) {
        error = {kDataOutOfRange, "number too large"};
        return std::nullopt;
    }
    const std::size_t mark = r.at();
    r.skipWhite();
    if (isAlpha(r.peek())) {
        p.suffix = upper(r.word());
        const auto scale = suffixScale(p.suffix);
        if (!scale) {
            error = {kInvalidSuffix, p.suffix};
            return std::nullopt;
        }
        p.number *= *scale;
    }
    else {
        r.back(mark);
    }
    return p;
}

std::optional<Parameter> parameter(Reader& r, Error& error)
{
    const char c = r.peek();
    Parameter p;
    if (c == '"' || c == '\'') {
        r.take();
        p.kind = Parameter::Kind::String;
        for (;;) {
            if (r.atEnd()) {
                error = {kSyntaxError, "string not closed"};
                return std::nullopt;
            }
            const char t = r.take();
            if (t == c) {
                if (r.peek() != c) break;
                r.take();
            }
            p.text += t;
        }
        return p;
    }
    if (c == '#') {
        r.take();
        const char n = r.atEnd() ? '\0' : r.take();
        if (n < '1' || n > '9') {
            error = {kSyntaxError, "only definite-length blocks (#<n><length>) are taken"};
            return std::nullopt;
        }
        std::size_t length = 0;
        for (int i = 0; i < n - '0'; ++i) {
            if (!isDigit(r.peek())) {
                error = {kSyntaxError, "block length expected"};
                return std::nullopt;
            }
            length = length * 10 + std::size_t(r.take() - '0');
        }
        if (r.left() < length) {
            error = {kSyntaxError, "block shorter than its length"};
            return std::nullopt;
        }
        p.kind = Parameter::Kind::Block;
        p.text = std::string(r.rest(length));
        return p;
    }
    if (isDigit(c) || c == '+' || c == '-' || c == '.') return number(r, error);
    if (isAlpha(c)) {
        p.kind = Parameter::Kind::Word;
        p.text = upper(r.word());
        return p;
    }
    error = {kSyntaxError, "parameter expected"};
    return std::nullopt;
}

} // namespace

std::optional<double> suffixScale(std::string_view suffix)
{
    const std::string s = upper(suffix);
    // In SCPI "MHZ" is megahertz, not millihertz.
    if (s == "HZ" || s == "DEG") return 1.0;
    if (s == "KHZ") return 1e3;
    if (s == "MHZ") return 1e6;
    if (s == "GHZ") return 1e9;
    if (s == "S") return 1.0;
    if (s == "MS") return 1e-3;
    if (s == "US") return 1e-6;
    if (s == "NS") return 1e-9;
    return std::nullopt;
}

std::string formatNumber(double value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

Parsed parse(std::string_view message, const std::vector<Node>& nodes)
{
    Parsed out;
    Reader r(message);
    std::vector<std::string> path; // the path a relative header continues
    for (;;) {
        r.skipWhite();
        if (r.atEnd()) return out;
        if (r.peek() == ';') {
            r.take();
            continue;
        }
        // --- the header ---
        std::vector<std::string> words;
        bool common = false;
        bool rooted = false;
        if (r.peek() == '*') {
            r.take();
            const auto w = r.word();
            if (w.empty() || !isAlpha(w.front())) {
                out.error = {kSyntaxError, "command expected after *"};
                return out;
            }
            words.push_back("*" + upper(w));
            common = true;
        }
        else {
            if (r.peek() == ':') {
                r.take();
                rooted = true;
            }
            for (;;) {
                const auto w = r.word();
                if (w.empty() || !isAlpha(w.front())) {
                    out.error = {kSyntaxError, "header expected"};
                    return out;
                }
                words.push_back(upper(w));
                if (r.peek() != ':') break;
                r.take();
            }
        }
        Command command;
        if (r.peek() == '?') {
            r.take();
            command.query = true;
        }
        const char after = r.peek();
        if (!r.atEnd() && !isWhite(after) && after != ';') {
            out.error = {kSyntaxError, "unexpected character after the header"};
            return out;
        }
        const Node* node = nullptr;
        if (!common && !rooted && !path.empty()) {
            std::vector<std::string> full = path;
            full.insert(full.end(), words.begin(), words.end());
            node = findNode(nodes, full);
            if (node) words = std::move(full);
        }
        if (!node) node = findNode(nodes, words);
        if (!node || (command.query ? !node->queryable : !node->settable)) {
            std::string shown;
            for (const auto& w : words)
                shown += (shown.empty() ? "" : ":") + w;
            out.error = {kUndefinedHeader, shown + (command.query ? "?" : "")};
            return out;
        }
        command.node = node->id;
        // The next relative header continues below this one's parent.
        if (!common) path.assign(words.begin(), words.end() - 1);
        // --- the parameters ---
        r.skipWhite();
        if (!r.atEnd() && r.peek() != ';') {
            for (;;) {
                auto p = parameter(r, out.error);
                if (!p) return out;
                command.parameters.push_back(std::move(*p));
                r.skipWhite();
                if (r.peek() != ',') break;
                r.take();
                r.skipWhite();
            }
            if (!r.atEnd() && r.peek() != ';') {
                out.error = {kSyntaxError, "\";\" or end of line expected"};
                return out;
            }
        }
        out.commands.push_back(std::move(command));
    }
}

} // namespace plovan::scpi
