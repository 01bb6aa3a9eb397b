// A model of the unit's command interpreter, in plain C++ (no Qt, no I/O):
// bytes from the program go in through receive(), which returns at once the
// bytes the unit sends back. The transports (SimBackend in-process, PtyServer
// on a pseudo-terminal) carry these bytes and apply the reply delay and the
// hang-up.
//
// Framing. A line ends at CR or LF, so CR LF, a bare LF and a bare CR all end
// a line; empty lines are ignored. A partial line waits for the rest across
// calls, so typed characters arriving one by one make one command.
//
// Replies (the formats themselves come from unit_protocol.h):
//   - every accepted command: "@"; read-backs ("=e", "=dAA", "=v", "=AV")
//     send "@" first and then their text line;
//   - an unknown command or wrong arguments: "?" CR LF and no "@". The
//     program's acknowledgement wait then runs into its time-out, as it would
//     with a real unit that ignored the line, while the operator sees in the
//     terminal why. "?" is none of the program's reply letters.
//   - a line without "=" outside a load is line noise and gets no answer;
//     anything in front of the first "=" of a line is dropped. This also keeps
//     a client whose terminal echoes from feeding the unit its own replies.
//
// Loads (the program's senders expect exactly these letters):
//   "=L"      "@"; header line (last four characters = record count N): no
//             answer, or "E" when N exceeds the image memory (load ends);
//             each record "C", the N-th "C" then "L" (N = 0: "L" to the header).
//   "=E2C", then "=L" (only empty lines between): multichirp load. "@" to the
//             header (first three characters = N) and to every record.
//   "=Q"      "@"; header as for "=L" answered "C" (or "E"); each record "C",
//             the N-th "C" then "Q".
//   "=F" NNNN "@"; N table lines, each ended by the CRC of its first four
//             bytes: "C" when the CRC matches, "K" when not (load ends); the
//             N-th "C" then "F". The program sends "=F0100": 256 lines.
// A line containing "=" during a load abandons the load and is taken as a
// command, so the program's "=C" after an aborted send lands as a command.
// Record contents are not checked beyond the LUT CRC.
#pragma once

#include "crc16.h"
#include "unit_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovan::sim {

// Failures the unit can be told to show; may be changed at any time.
struct Faults {
    bool silent = false;      // commands take effect, but nothing is sent back
    int replyDelayMs = 0;     // applied by the transports, before each reply
    int crcErrorAtLine = 0;   // "K" instead of "C" to this record (1-based, header not
                              // counted) of every image, raw and LUT load; 0 = never
    bool tooBig = false;      // "E" to every image and raw header
    bool garbage = false;     // kNoise in front of every reply
    int hangUpAfter = 0;      // hang up once this many lines have been taken; 0 = never
    int answerLines = 0;      // answer only the first this many lines of a connection; 0 = all
    int floodBytes = 0;       // this many bytes without a line end before the first reply
                              // of a connection; 0 = none
    bool badReadback = false; // read-backs ("=d", "=e", "=v", "=AV") answered "@??"
    // Per output J1 ... J4: the share of the forward level "=AV" reports as
    // reflected (a load gone bad); 0 = the output's own match.
    std::array<double, 4> reflect{};

    bool operator==(const Faults&) const = default;
};

// "reflect:J2:0.5": output J2 reflects half its forward level. False, with
// `faults` untouched, when the text is no such fault (output 1-4, share 0-1).
bool applyReflectFault(std::string_view text, Faults& faults);
// The faults of the built-in unit: PLOVAN_SIM_FAULT, faults separated by
// commas ("reflect:J2:0.5"). Unknown ones are said on standard error and skipped.
Faults builtInFaults();

struct SimConfig {
    double clockMHz = 312.5; // synthesiser clock for decoding words
    Crc16Model crcModel = kUnitLineCrc;
    std::size_t imageCapacity = 4096;    // records of the image memory
    std::size_t rawCapacity = 4096;      // records of the raw memory
    std::size_t commandHistory = 100000; // commands() keeps at least the latest this many
};

enum class LoadKind { Image, Raw, Multichirp, Lut };
std::string_view loadKindName(LoadKind kind);

enum class LoadOutcome {
    Running,   // still taking lines
    Complete,  // all announced lines arrived
    Refused,   // header answered "E" (too big or unreadable)
    CrcError,  // a line answered "K"
    Abandoned, // a command arrived before the last line
};
std::string_view loadOutcomeName(LoadOutcome outcome);

// One load as the unit saw it.
struct LoadRecord {
    std::string header;             // header line as received (empty for LUT loads)
    std::size_t announced = 0;      // lines the header (or "=F") announced
    std::vector<std::string> lines; // lines taken, as received (LUT lines with their CRC)
    LoadOutcome outcome = LoadOutcome::Running;
};

class SimUnit {
public:
    using LogSink = std::function<void(std::string_view line)>;

    // Put in front of each reply by the garbage fault. None of these characters
    // is one of the program's reply letters "@cCkKEL" or a hex digit.
    static constexpr std::string_view kNoise = "~%#\x7F";
    // What the flood fault repeats: no reply letter, no line end.
    static constexpr char kFloodByte = 'x';
    static constexpr std::string_view kUnknownReply = "?\r\n";
    // What "=v" reports after "@". Free of the reply letters, which the
    // program's receive handler would take as replies.
    static constexpr std::string_view kStatusText = "Plovan sim firmware 3.09 ready";

    explicit SimUnit(SimConfig config = {});

    // Takes bytes from the program; returns what the unit answers at once.
    std::string receive(std::string_view bytes);

    // A new connection: the partial line is dropped and the hang-up count
    // starts again. Registers, flash and loads are kept (the unit stays powered).
    void connectionOpened();
    // True once the hang-up fault has fired; input is then ignored until the
    // next connectionOpened().
    bool hungUp() const { return hungUp_; }

    const Faults& faults() const { return faults_; }
    void setFaults(const Faults& faults) { faults_ = faults; }
    const SimConfig& config() const { return config_; }
    void setCrcModel(Crc16Model model) { config_.crcModel = model; }

    // One line per command with its meaning ("=D51E44 -> reg 44 := 51"), and
    // an indented line when a whole word has arrived ("  frequency ...").
    void setLogSink(LogSink sink) { log_ = std::move(sink); }

    // --- state ---
    std::uint8_t registerValue(std::uint8_t reg) const { return registers_[reg]; }
    // Empty while the flash cell is erased.
    std::optional<std::uint8_t> flashRegister(std::uint8_t reg) const { return flash_[reg]; }
    std::uint8_t controlByte() const { return controlByte_; }
    std::optional<std::uint8_t> flashControlByte() const { return flashControlByte_; }
    std::optional<std::uint16_t> header(std::uint32_t address) const;
    const std::map<std::uint32_t, std::uint16_t>& headers() const { return headers_; }
    std::optional<std::uint16_t> clockWord() const { return clockWord_; }
    std::optional<std::uint16_t> daValue() const { return daValue_; }
    // Command lines taken, oldest first (without CR LF, leading noise dropped);
    // at least the latest config().commandHistory are kept, older ones go in blocks.
    const std::vector<std::string>& commands() const { return commands_; }
    // The latest load of each kind, or empty when there was none.
    const std::optional<LoadRecord>& lastLoad(LoadKind kind) const;
    std::optional<LoadKind> loadInProgress() const;

    // Words as the registers now hold them.
    std::uint32_t frequencyWord() const; // 44-47
    std::uint16_t phaseWord() const;     // 80-81
    std::uint16_t amplitudeWord() const; // E3-E4
    std::uint8_t channelMask() const;    // upper four bits of 30
    double wordToMHz(std::uint32_t frequencyWord) const;

    // What "=AV" reports now: readings derived from the amplitude, the channel
    // mask and the frequency, repeatable for the same settings.
    unit::AnalogueReading analogueReading() const;

    // Several lines: frequencies, phase, amplitudes, channel mask, ramp, loads.
    std::string describeState() const;

private:
    struct ActiveLoad {
        LoadKind kind;
        bool headerTaken = false;
        std::size_t expected = 0;
        std::array<std::uint8_t, 4> crcBytes{}; // carried between lines as the sender does
    };

    std::string takeLine(std::string_view line);
    std::string command(std::string_view text);
    std::string loadLine(std::string_view text);
    std::string startLoad(LoadKind kind, std::size_t expected);
    std::string endLoad(LoadOutcome outcome, std::string reply);
    void writeRegister(std::uint8_t reg, std::uint8_t value, bool toFlash);
    void decodeAfterWrite(std::uint8_t reg);
    void logUpperFrequencyHalves();
    void log(std::string_view line) const;
    void logCommand(std::string_view text, std::string_view meaning) const;

    SimConfig config_;
    Faults faults_;
    LogSink log_;

    std::string partial_;
    std::size_t linesTaken_ = 0;
    bool hungUp_ = false;
    bool flooded_ = false; // the flood fault has been sent on this connection

    std::array<std::uint8_t, 256> registers_{};
    std::array<std::optional<std::uint8_t>, 256> flash_{};
    std::uint8_t controlByte_ = 0;
    std::optional<std::uint8_t> flashControlByte_;
    std::map<std::uint32_t, std::uint16_t> headers_;
    std::optional<std::uint16_t> clockWord_;
    std::optional<std::uint16_t> daValue_;
    std::vector<std::string> commands_;
    std::array<std::uint16_t, 16> pendingWords_{}; // bytes written per decoded word

    std::optional<ActiveLoad> load_;
    bool multichirpArmed_ = false; // the previous command was "=E2C"
    std::array<std::optional<LoadRecord>, 4> loads_;
};

} // namespace plovan::sim
