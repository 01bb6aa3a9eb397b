#include "sim_unit.h"

#include "hex_text.h"
#include "line_assembler.h"
#include "unit_commands.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace plovan::sim {

namespace {

// A partial line longer than this is noise; drop it rather than grow for ever.
constexpr std::size_t kMaxLineLength = LineAssembler::kMaxLineLength;

enum class WordKind { Frequency, Phase, Amplitude, SecondAmplitude, RampFrequency, RampStep, Dwell };

// The multi-byte words the program writes, most significant byte first.
struct WordDef {
    std::string_view name;
    WordKind kind;
    std::array<std::uint8_t, 4> regs;
    std::size_t count;
};

constexpr std::array<WordDef, 12> kWords{{
    {"frequency", WordKind::Frequency, {0x44, 0x45, 0x46, 0x47}, 4},
    {"frequency", WordKind::Frequency, {0x84, 0x85, 0x86, 0x87}, 4},
    {"phase", WordKind::Phase, {0x80, 0x81}, 2},
    {"amplitude", WordKind::Amplitude, {0xE3, 0xE4}, 2},
    {"amplitude", WordKind::Amplitude, {0xA3, 0xA4}, 2},
    {"amplitude", WordKind::Amplitude, {0x63, 0x64}, 2},
    {"second amplitude", WordKind::SecondAmplitude, {0xE1, 0xE2}, 2},
    {"second amplitude", WordKind::SecondAmplitude, {0xA1, 0xA2}, 2},
    {"ramp start", WordKind::RampFrequency, {0xC4, 0xC5}, 2},
    {"ramp stop", WordKind::RampFrequency, {0xCA, 0xCB}, 2},
    {"ramp step", WordKind::RampStep, {0xD0, 0xD1, 0xD2}, 3},
    {"ramp dwell", WordKind::Dwell, {0xDA, 0xDB, 0xDC}, 3},
}};

constexpr std::uint8_t kChannelReg = 0x30;
constexpr std::uint8_t kInverseSincReg = 0xE0;

// Locale-independent fixed-point text: a Qt program sets the C locale from
// the environment, and a German one would print "100,000000".
std::string fixed(double value, int decimals)
{
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, result.ptr);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool allHex(std::string_view s)
{
    for (char c : s)
        if (!isHexDigit(c)) return false;
    return true;
}

// Exactly `width` hex digits.
std::optional<std::uint32_t> hexArg(std::string_view s, std::size_t width)
{
    if (s.size() != width || !allHex(s)) return std::nullopt;
    return static_cast<std::uint32_t>(HexValue(s));
}

std::string hex2(std::uint32_t v)
{
    return hexField(v, 2);
}

std::size_t loadIndex(LoadKind kind)
{
    return static_cast<std::size_t>(kind);
}

std::string regRange(const WordDef& w)
{
    return hex2(w.regs[0]) + "-" + hex2(w.regs[w.count - 1]);
}

} // namespace

std::string_view loadKindName(LoadKind kind)
{
    switch (kind) {
    case LoadKind::Image: return "image";
    case LoadKind::Raw: return "raw";
    case LoadKind::Multichirp: return "multichirp";
    case LoadKind::Lut: return "LUT";
    }
    return "?";
}

std::string_view loadOutcomeName(LoadOutcome outcome)
{
    switch (outcome) {
    case LoadOutcome::Running: return "running";
    case LoadOutcome::Complete: return "complete";
    case LoadOutcome::Refused: return "refused";
    case LoadOutcome::CrcError: return "CRC error";
    case LoadOutcome::Abandoned: return "abandoned";
    }
    return "?";
}

SimUnit::SimUnit(SimConfig config) : config_(config) {}

void SimUnit::connectionOpened()
{
    partial_.clear();
    linesTaken_ = 0;
    hungUp_ = false;
    flooded_ = false;
}

std::string SimUnit::receive(std::string_view bytes)
{
    std::string out;
    for (char c : bytes) {
        if (hungUp_) break;
        if (c == '\r' || c == '\n') {
            if (partial_.empty()) continue;
            const std::string line = std::move(partial_);
            partial_.clear();
            out += takeLine(line);
        }
        else if (partial_.size() < kMaxLineLength) {
            partial_.push_back(c);
        }
        else {
            partial_.clear();
        }
    }
    return out;
}

std::string SimUnit::takeLine(std::string_view line)
{
    const auto eq = line.find('=');
    std::string reply;
    if (eq == std::string_view::npos) {
        if (!load_) {
            log("ignored (no command): " + std::string(line));
            return {};
        }
        reply = loadLine(trimmed(line));
    }
    else {
        if (load_) {
            const auto& rec = *loads_[loadIndex(load_->kind)];
            log(std::string(loadKindName(load_->kind)) + " load abandoned after " +
                std::to_string(rec.lines.size()) + " of " + std::to_string(load_->expected) + " lines");
            endLoad(LoadOutcome::Abandoned, {});
        }
        reply = command(trimmed(line.substr(eq)));
    }

    ++linesTaken_;
    if (faults_.hangUpAfter > 0 && linesTaken_ >= static_cast<std::size_t>(faults_.hangUpAfter)) {
        hungUp_ = true;
        log("fault: hanging up after " + std::to_string(linesTaken_) + " lines");
    }
    if (reply.empty() || faults_.silent) return {};
    if (faults_.answerLines > 0 && linesTaken_ > static_cast<std::size_t>(faults_.answerLines)) {
        if (linesTaken_ == static_cast<std::size_t>(faults_.answerLines) + 1)
            log("fault: silent after " + std::to_string(faults_.answerLines) + " lines");
        return {};
    }
    if (faults_.badReadback && reply.size() > 3 && reply.front() == unit::kAck && reply.ends_with("\r\n"))
        reply = std::string(1, unit::kAck) + "??\r\n";
    if (faults_.garbage) reply.insert(0, kNoise);
    if (faults_.floodBytes > 0 && !flooded_) {
        flooded_ = true;
        log("fault: " + std::to_string(faults_.floodBytes) + " bytes without a line end");
        reply.insert(0, static_cast<std::size_t>(faults_.floodBytes), kFloodByte);
    }
    return reply;
}

std::string SimUnit::command(std::string_view text)
{
    if (commands_.size() >= config_.commandHistory * 2)
        commands_.erase(commands_.begin(),
                        commands_.begin() + static_cast<std::ptrdiff_t>(commands_.size() / 2));
    commands_.emplace_back(text);
    const bool wasArmed = multichirpArmed_;
    multichirpArmed_ = false;

    std::string_view body = text.substr(1);
    const bool store = !body.empty() && body.front() == cmd::kStoreMark;
    if (store) body.remove_prefix(1);
    const std::string storeNote = store ? ", also to flash" : "";

    auto ok = [&](const std::string& meaning, std::string_view after = {}) {
        logCommand(text, meaning);
        return std::string(1, unit::kAck) + std::string(after);
    };
    auto bad = [&](std::string_view why) {
        logCommand(text, std::string(why) + ", answered ?");
        return std::string(kUnknownReply);
    };

    if (body.empty()) {
        if (!store) return bad("empty command");
        // The chirp store command: the registers as they stand become the flash copy.
        for (std::size_t r = 0; r < registers_.size(); ++r)
            flash_[r] = registers_[r];
        return ok("store registers to flash");
    }

    const char letter = body.front();
    const std::string_view args = body.substr(1);
    auto noArgs = [&](const std::string& meaning) {
        return args.empty() ? ok(meaning) : bad("unexpected arguments");
    };
    auto byteArg = [&](const std::string& meaning) {
        const auto v = hexArg(args, 2);
        return v ? ok(meaning + " " + hex2(*v)) : bad("needs two hex digits");
    };

    switch (letter) {
    case 'D': {
        const auto v = hexArg(args, 4);
        if (!v) return bad("register write needs four hex digits");
        const auto data = static_cast<std::uint8_t>(*v >> 8);
        const auto reg = static_cast<std::uint8_t>(*v & 0xFF);
        const std::string reply = ok("reg " + hex2(reg) + " := " + hex2(data) + storeNote);
        writeRegister(reg, data, store);
        return reply;
    }
    case 'd': {
        const auto v = hexArg(args, 2);
        if (!v) return bad("register read needs two hex digits");
        const auto value = registers_[*v];
        return ok("read reg " + hex2(*v) + " (" + hex2(value) + ")", unit::byteReadbackLine(value));
    }
    case cmd::kControlLetter: {
        const auto v = hexArg(args, 2);
        if (!v) return bad("control byte needs two hex digits");
        controlByte_ = static_cast<std::uint8_t>(*v);
        if (store) flashControlByte_ = controlByte_;
        multichirpArmed_ = *v == cmd::kControlMultichirp;
        return ok("control byte := " + hex2(*v) + storeNote);
    }
    case cmd::kControlReadLetter:
        if (!args.empty()) return bad("unexpected arguments");
        return ok("read control byte (" + hex2(controlByte_) + ")", unit::byteReadbackLine(controlByte_));
    case 'H': {
        if (args.size() != 10 || !allHex(args)) return bad("header write needs ten hex digits");
        const auto address = static_cast<std::uint32_t>(HexValue(args.substr(0, 6)));
        const auto data = static_cast<std::uint16_t>(HexValue(args.substr(6, 4)));
        headers_[address] = data;
        // Header words hold a data byte and the register it is meant for.
        return ok("header " + hexField(address, 6) + " := " + hexField(data, 4) + " (reg " +
                  hex2(data & 0xFF) + " := " + hex2(data >> 8) + ")" + storeNote);
    }
    case cmd::kAnalogueRead[0]:
        if (args != cmd::kAnalogueRead.substr(1)) return bad("unknown command");
        return ok("read analogue values", unit::analogueLine(analogueReading()));
    case cmd::kStatusLetter:
        if (!args.empty()) return bad("unexpected arguments");
        return ok("read status", unit::statusLine(kStatusText));
    case cmd::kClockWordLetter: {
        const auto v = hexArg(args, 4);
        if (!v) return bad("clock word needs four hex digits");
        clockWord_ = static_cast<std::uint16_t>(*v);
        return ok("internal clock word := " + hexField(*v, 4));
    }
    case cmd::kClockRunLetter: return noArgs("internal clock");
    case cmd::kTriggerLetter: return noArgs("internal trigger");
    case cmd::kUpdateLetter: {
        const std::string reply = noArgs(store ? "update, store to flash" : "update");
        if (args.empty()) logUpperFrequencyHalves();
        return reply;
    }
    case cmd::kClearLetter: return noArgs("clear");
    case cmd::kStartLetter: return noArgs("start (external enable)");
    case cmd::kResetLetter: {
        if (!args.empty()) return bad("unexpected arguments");
        // A reset restarts from what the flash holds, as at power-on.
        for (std::size_t r = 0; r < registers_.size(); ++r)
            registers_[r] = flash_[r].value_or(0);
        controlByte_ = flashControlByte_.value_or(0);
        pendingWords_.fill(0);
        return ok("reset: registers reloaded from flash");
    }
    case cmd::kLinkStartLetter: return noArgs("link start");
    case cmd::kLinkSetupLetter: return noArgs("link setup");
    case cmd::kClearFlashLetter:
        if (!args.empty()) return bad("unexpected arguments");
        flash_.fill(std::nullopt);
        flashControlByte_.reset();
        return ok("clear flash");
    case cmd::kWriteModeLetter:
        if (args != "0" && args != "1") return bad("write mode needs 0 or 1");
        return ok(args == "1" ? "write mode on" : "write mode off");
    case cmd::kTestPatternLetter: return byteArg("test pattern");
    case cmd::kOutputPortLetter: return byteArg("output port pattern");
    case cmd::kMemoryFillLetter: return byteArg("memory fill value");
    case static_cast<char>(cmd::Test::I):
    case static_cast<char>(cmd::Test::N):
    case static_cast<char>(cmd::Test::T): return noArgs(std::string("test command ") + letter);
    case cmd::kDaValueLetter: {
        const auto v = hexArg(args, 3);
        if (!v) return bad("D/A value needs three hex digits");
        daValue_ = static_cast<std::uint16_t>(*v);
        return ok("D/A output := " + hexField(*v, 3));
    }
    case cmd::kImageLoadLetter:
        if (!args.empty()) return bad("unexpected arguments");
        if (wasArmed) {
            logCommand(text, "start multichirp load");
            return startLoad(LoadKind::Multichirp, 0);
        }
        logCommand(text, "start image load");
        return startLoad(LoadKind::Image, 0);
    case cmd::kRawLoadLetter:
        if (!args.empty()) return bad("unexpected arguments");
        logCommand(text, "start raw load");
        return startLoad(LoadKind::Raw, 0);
    case cmd::kLutLoadLetter: {
        const auto v = hexArg(args, 4);
        if (!v) return bad("LUT load needs four hex digits");
        logCommand(text, "start LUT load of " + std::to_string(*v) + " lines");
        return startLoad(LoadKind::Lut, *v);
    }
    default: return bad("unknown command");
    }
}

std::string SimUnit::startLoad(LoadKind kind, std::size_t expected)
{
    ActiveLoad active{kind};
    active.headerTaken = kind == LoadKind::Lut; // a LUT load has no header line
    active.expected = expected;
    load_ = active;
    LoadRecord rec;
    rec.announced = expected;
    loads_[loadIndex(kind)] = rec;
    if (kind == LoadKind::Lut && expected == 0) return endLoad(LoadOutcome::Complete, "@F");
    return std::string(1, unit::kAck);
}

std::string SimUnit::endLoad(LoadOutcome outcome, std::string reply)
{
    if (load_) loads_[loadIndex(load_->kind)]->outcome = outcome;
    load_.reset();
    return reply;
}

std::string SimUnit::loadLine(std::string_view text)
{
    ActiveLoad& active = *load_;
    LoadRecord& rec = *loads_[loadIndex(active.kind)];
    const std::string kind(loadKindName(active.kind));
    const std::string shown(text);

    if (!active.headerTaken) {
        active.headerTaken = true;
        rec.header = shown;
        const bool multichirp = active.kind == LoadKind::Multichirp;
        // Image and raw headers carry the count in their last four digits,
        // multichirp headers in their first three.
        const std::string_view digits =
            multichirp ? text.substr(0, 3) : text.substr(text.size() >= 4 ? text.size() - 4 : 0);
        if (digits.size() != (multichirp ? 3u : 4u) || !allHex(digits)) {
            log(kind + " header " + shown + " -> unreadable, answered E");
            return endLoad(LoadOutcome::Refused, std::string(1, unit::kTooBig));
        }
        const auto count = static_cast<std::size_t>(HexValue(digits));
        active.expected = rec.announced = count;
        const std::size_t capacity =
            active.kind == LoadKind::Raw ? config_.rawCapacity : config_.imageCapacity;
        if (!multichirp && (faults_.tooBig || count > capacity)) {
            log(kind + " header " + shown + " -> " + std::to_string(count) + " records, more than " +
                (faults_.tooBig ? std::string("allowed (fault)") : std::to_string(capacity)) +
                ": answered E");
            return endLoad(LoadOutcome::Refused, std::string(1, unit::kTooBig));
        }
        log(kind + " header " + shown + " -> " + std::to_string(count) + " records");
        switch (active.kind) {
        case LoadKind::Image:
            return count == 0 ? endLoad(LoadOutcome::Complete, std::string(1, unit::kImageDone))
                              : std::string();
        case LoadKind::Raw:
            return count == 0 ? endLoad(LoadOutcome::Complete, std::string{unit::kLineTaken, unit::kRawDone})
                              : std::string(1, unit::kLineTaken);
        case LoadKind::Multichirp:
            return count == 0 ? endLoad(LoadOutcome::Complete, std::string(1, unit::kAck))
                              : std::string(1, unit::kAck);
        case LoadKind::Lut: break;
        }
        return {};
    }

    const std::size_t number = rec.lines.size() + 1;
    const std::string where =
        kind + " line " + std::to_string(number) + "/" + std::to_string(active.expected) + " " + shown;
    const bool hasLineHandshake = active.kind != LoadKind::Multichirp;
    if (hasLineHandshake && faults_.crcErrorAtLine > 0 &&
        number == static_cast<std::size_t>(faults_.crcErrorAtLine)) {
        log(where + " -> K (fault)");
        return endLoad(LoadOutcome::CrcError, std::string(1, unit::kCrcError));
    }
    if (active.kind == LoadKind::Lut) {
        // The line ends with the CRC of its first four bytes. A pair that is
        // not hex leaves the byte of the line before, as the sender does.
        const std::string_view data = text.substr(0, text.size() >= 4 ? text.size() - 4 : 0);
        for (std::size_t k = 0; k < active.crcBytes.size(); ++k)
            if (const auto b = recordByte(data, k)) active.crcBytes[k] = *b;
        const std::uint16_t expected = crc16(active.crcBytes, config_.crcModel);
        const std::string_view sent = text.substr(data.size());
        if (sent.size() != 4 || !allHex(sent) || HexValue(sent) != expected) {
            log(where + " -> K (CRC " + std::string(sent) + ", expected " + hexField(expected, 4) + ")");
            return endLoad(LoadOutcome::CrcError, std::string(1, unit::kCrcError));
        }
    }

    rec.lines.push_back(shown);
    std::string reply(1, hasLineHandshake ? unit::kLineTaken : unit::kAck);
    if (number >= active.expected) {
        switch (active.kind) {
        case LoadKind::Image: reply += unit::kImageDone; break;
        case LoadKind::Raw: reply += unit::kRawDone; break;
        case LoadKind::Lut: reply += unit::kLutDone; break;
        case LoadKind::Multichirp: break;
        }
        log(where + " -> " + reply + " (load complete)");
        return endLoad(LoadOutcome::Complete, reply);
    }
    log(where + " -> " + reply);
    return reply;
}

void SimUnit::writeRegister(std::uint8_t reg, std::uint8_t value, bool toFlash)
{
    registers_[reg] = value;
    if (toFlash) flash_[reg] = value;
    decodeAfterWrite(reg);
}

namespace {

std::uint32_t wordValue(const std::array<std::uint8_t, 256>& regs, const WordDef& w)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < w.count; ++i)
        v = (v << 8) | regs[w.regs[i]];
    return v;
}

std::string amplitudeText(std::uint16_t word, std::uint8_t mask)
{
    // The program multiplies by 4 for one channel and by 2 for two or more.
    const int factor = std::popcount(mask) >= 2 ? 2 : 4;
    const double a = static_cast<double>(word) / factor;
    return word % factor == 0 ? std::to_string(word / factor) : fixed(a, 2);
}

std::string channelText(std::uint8_t mask)
{
    std::string s = "channel mask " + hexText(std::int64_t{mask}) + " (";
    if (mask == 0) return s + "no channel)";
    s += mask == 1 ? "channel" : "channels";
    for (int ch = 1; ch <= 4; ++ch)
        if (mask & (1 << (ch - 1))) s += " " + std::to_string(ch);
    return s + ")";
}

std::string inverseSincText(std::uint8_t v)
{
    if (v == 0x60) return "inverse sinc off";
    if (v == 0x20) return "inverse sinc on";
    return "inverse sinc register E0 = " + hex2(v);
}

// What a word of kWords means, as one line.
std::string decodeWord(const WordDef& w, const std::array<std::uint8_t, 256>& regs, std::uint8_t mask,
                       double clockMHz)
{
    const std::uint32_t v = wordValue(regs, w);
    const std::string where = ", " + regRange(w) + ")";
    switch (w.kind) {
    case WordKind::Frequency:
        return std::string(w.name) + " " + fixed(v * clockMHz / 4294967296.0, 6) + " MHz (word " +
               hexField(v, 8) + where;
    case WordKind::Phase:
        return "phase " + fixed((v & 0x3FFF) * 360.0 / 16383.0, 1) + " deg (word " + hexField(v, 4) + where;
    case WordKind::Amplitude:
        return "amplitude " + amplitudeText(static_cast<std::uint16_t>(v & 0xFFF), mask) + " (word " +
               hexField(v, 4) + where;
    case WordKind::SecondAmplitude: return "second amplitude (word " + hexField(v, 4) + where;
    case WordKind::RampFrequency:
        // Only the upper 16 bits of the frequency word are written here.
        return std::string(w.name) + " " + fixed((std::uint64_t{v} << 16) * clockMHz / 4294967296.0, 6) +
               " MHz (word " + hexField(v, 4) + where;
    case WordKind::RampStep:
        return "ramp step " + fixed(v * clockMHz * 1000.0 / 16777216.0, 3) + " kHz (word " + hexField(v, 6) +
               where;
    case WordKind::Dwell: {
        const std::uint32_t m = v & 0xFFFFF;
        return "ramp dwell " + std::to_string(m) + ": " + std::to_string(m + 1) + " clock periods, " +
               fixed((m + 1) * 1000.0 / clockMHz, 1) + " ns per step (word " + hexField(m, 5) + where;
    }
    }
    return {};
}

} // namespace

void SimUnit::decodeAfterWrite(std::uint8_t reg)
{
    if (reg == kChannelReg) log("  " + channelText(channelMask()));
    if (reg == kInverseSincReg) log("  " + inverseSincText(registers_[reg]));
    for (std::size_t i = 0; i < kWords.size(); ++i) {
        const WordDef& w = kWords[i];
        for (std::size_t b = 0; b < w.count; ++b) {
            if (w.regs[b] != reg) continue;
            pendingWords_[i] |= static_cast<std::uint16_t>(1u << b);
            const auto all = static_cast<std::uint16_t>((1u << w.count) - 1);
            if (pendingWords_[i] == all) {
                pendingWords_[i] = 0;
                log("  " + decodeWord(w, registers_, channelMask(), config_.clockMHz));
            }
        }
    }
}

void SimUnit::logUpperFrequencyHalves()
{
    // The calibration editor writes only a frequency word's upper 16 bits
    // (its first two registers); the update plays them with the low bits
    // the registers hold.
    constexpr std::uint16_t kUpperHalf = 0b0011;
    for (std::size_t i = 0; i < kWords.size(); ++i) {
        const WordDef& w = kWords[i];
        if (w.kind != WordKind::Frequency || pendingWords_[i] != kUpperHalf) continue;
        pendingWords_[i] = 0;
        log("  " + decodeWord(w, registers_, channelMask(), config_.clockMHz) + ", upper half written");
    }
}

std::optional<std::uint16_t> SimUnit::header(std::uint32_t address) const
{
    const auto it = headers_.find(address);
    if (it == headers_.end()) return std::nullopt;
    return it->second;
}

const std::optional<LoadRecord>& SimUnit::lastLoad(LoadKind kind) const
{
    return loads_[loadIndex(kind)];
}

std::optional<LoadKind> SimUnit::loadInProgress() const
{
    if (!load_) return std::nullopt;
    return load_->kind;
}

std::uint32_t SimUnit::frequencyWord() const
{
    return wordValue(registers_, kWords[0]);
}
std::uint16_t SimUnit::phaseWord() const
{
    return static_cast<std::uint16_t>(wordValue(registers_, kWords[2]));
}
std::uint16_t SimUnit::amplitudeWord() const
{
    return static_cast<std::uint16_t>(wordValue(registers_, kWords[3]));
}
std::uint8_t SimUnit::channelMask() const
{
    return registers_[kChannelReg] >> 4;
}
double SimUnit::wordToMHz(std::uint32_t word) const
{
    return word * config_.clockMHz / 4294967296.0;
}

unit::AnalogueReading SimUnit::analogueReading() const
{
    // The frequency the VSWR step tunes (C4-C5) when set, else the main one.
    const std::uint32_t ramp = wordValue(registers_, kWords[8]) << 16;
    const double f = wordToMHz(ramp != 0 ? ramp : frequencyWord());
    const double amp = amplitudeWord() & 0xFFF;
    const std::uint8_t mask = channelMask();
    unit::AnalogueReading out{};
    for (int ch = 1; ch <= 4; ++ch) {
        const bool on = mask == 0 || (mask & (1 << (ch - 1)));
        const double forward = on ? amp * (0.70 + 0.05 * ch) : 0.0;
        // Each output reflects most near a resonance of its own (55, 65, 75
        // and 85 MHz for J1 ... J4), so a sweep draws a curve with a peak.
        const double off = (f - (45.0 + 10.0 * ch)) / 3.0;
        const double share = faults_.reflect[std::size_t(ch - 1)];
        const double gamma = share > 0 ? share : 0.05 + 0.55 / (1.0 + off * off);
        const auto clamp = [](double x) {
            return static_cast<std::uint16_t>(std::lround(std::min(x, 4095.0)));
        };
        const auto k = static_cast<std::size_t>(2 * (4 - ch)); // Fwd4 Rev4 ... Fwd1 Rev1
        out[k] = clamp(forward + 4.0);
        out[k + 1] = clamp(forward * gamma + 2.0);
    }
    return out;
}

std::string SimUnit::describeState() const
{
    std::string s;
    auto line = [&s](const std::string& text) { s += text + "\n"; };
    line("control byte " + hex2(controlByte_) +
         (flashControlByte_ ? " (flash " + hex2(*flashControlByte_) + ")" : std::string()));
    line(channelText(channelMask()));
    for (const WordDef& w : kWords)
        line(decodeWord(w, registers_, channelMask(), config_.clockMHz));
    line(inverseSincText(registers_[kInverseSincReg]));
    std::size_t stored = 0;
    for (const auto& cell : flash_)
        stored += cell.has_value() ? 1 : 0;
    line("flash: " + std::to_string(stored) + " registers stored");
    line("header words: " + std::to_string(headers_.size()));
    if (clockWord_) line("internal clock word " + hexField(*clockWord_, 4));
    if (daValue_) line("D/A output " + hexField(*daValue_, 3));
    for (LoadKind kind : {LoadKind::Image, LoadKind::Raw, LoadKind::Multichirp, LoadKind::Lut}) {
        const auto& rec = loads_[loadIndex(kind)];
        if (!rec) continue;
        line(std::string(loadKindName(kind)) + " load: " + std::to_string(rec->lines.size()) + " of " +
             std::to_string(rec->announced) + " lines, " + std::string(loadOutcomeName(rec->outcome)));
    }
    return s;
}

void SimUnit::log(std::string_view line) const
{
    if (log_) log_(line);
}

void SimUnit::logCommand(std::string_view text, std::string_view meaning) const
{
    if (log_) log_(std::string(text) + " -> " + std::string(meaning));
}

bool applyReflectFault(std::string_view text, Faults& faults)
{
    constexpr std::string_view head = "reflect:J";
    if (!text.starts_with(head) || text.size() < head.size() + 3) return false;
    const char digit = text[head.size()];
    if (digit < '1' || digit > '4' || text[head.size() + 1] != ':') return false;
    // Read with a point whatever the locale.
    const std::string_view share = text.substr(head.size() + 2);
    double value = 0;
    const auto [end, ec] = std::from_chars(share.data(), share.data() + share.size(), value);
    if (ec != std::errc() || end != share.data() + share.size() || !(value >= 0.0 && value <= 1.0)) return false;
    faults.reflect[std::size_t(digit - '1')] = value;
    return true;
}

Faults builtInFaults()
{
    Faults faults;
    const char* env = std::getenv("PLOVAN_SIM_FAULT");
    std::string_view rest = env ? env : "";
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view one = rest.substr(0, comma);
        if (!one.empty() && !applyReflectFault(one, faults))
            std::fprintf(stderr, "PLOVAN_SIM_FAULT: unknown fault \"%.*s\" skipped\n", int(one.size()),
                         one.data());
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return faults;
}

} // namespace plovan::sim
