// What the unit was last told, kept once for every face.
//
// The tracker reads every command line as it goes to the port, whoever wrote
// it (the single-tone panel, the calibration editor, plovanctl, a script),
// so the model cannot drift from the wire. Register writes are collected and
// take effect on the channels selected by register 30 when "=U" plays them,
// as they do in the unit.
#pragma once

#include "transfer_engine.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plovan {

// The tone one output plays, as the words written to it.
struct ChannelTone {
    std::optional<std::uint32_t> frequencyWord; // registers 44-47
    std::optional<std::uint16_t> phaseWord;     // registers 80-81
    std::optional<std::uint16_t> amplitudeWord; // registers E3-E4
    bool operator==(const ChannelTone&) const = default;
};

// The chirp's ramp registers as the last update played them, as words.
struct RampRegisters {
    std::optional<std::uint32_t> start; // frequency word; only its upper 16 bits (C4-C5) reach the unit
    std::optional<std::uint32_t> stop;  // the same from CA-CB
    std::optional<std::uint32_t> step;  // 24-bit step word, D0-D2
    std::optional<std::uint32_t> dwell; // dwell multiplier, DA-DC
    bool operator==(const RampRegisters&) const = default;
};

struct UnitModel {
    std::array<ChannelTone, 4> channels;     // output 1 first
    std::optional<std::uint8_t> channelMask; // bit 0 = output 1; 0 plays on all
    std::optional<std::uint8_t> controlByte; // the last "=E" written
    RampRegisters ramp;
    std::optional<bool> rfOn;                // laser/RF as last switched
    std::optional<std::string> clockWord;    // the last "=K" word
    bool storedToFlash = false;              // the last register write went to flash
    int minFrequency = 80;                   // MHz
    int maxFrequency = 140;                  // MHz
    std::optional<TransferResult> lastLoad;  // how the last table load ended
};

// What a command line changed, as bits.
enum ModelPart : unsigned {
    kToneChanged = 1,
    kChannelsChanged = 2,
    kControlChanged = 4,
    kClockChanged = 8,
    kRampChanged = 16,
};

// What the unit plays, as the last control byte says: the chirp status byte
// ("CHIRP", "Chirp no U", the amplitude slider in chirp mode) has bit 5 set;
// "=E2C" arms a multichirp load; every other byte (the single-tone update's
// "=E0C", "Single"'s "=E03", RF on) is single tone. Empty while the control
// byte is unknown.
enum class UnitMode { Single, Chirp, Multichirp };
std::optional<UnitMode> unitMode(const UnitModel& model);

// A frequency word in MHz for the synthesiser clock `clockMHz`.
double wordToMHz(std::uint32_t word, double clockMHz);
// A phase word in degrees (360 degrees is 3FFF).
double phaseWordToDegrees(std::uint16_t word);
// An amplitude word as the 0-1024 amplitude: the program writes the amplitude
// times 4 for one channel and times 2 for two or more (`mask`).
double wordToAmplitude(std::uint16_t word, std::uint8_t mask);

class UnitModelTracker {
public:
    // Takes one command line as written (with or without its line end);
    // returns the ModelPart bits it changed.
    unsigned take(std::string_view line, UnitModel& model);

    struct Group;

private:
    template <std::size_t N>
    std::optional<std::uint32_t> lastTold(const Group (&groups)[N], int needed) const;

    std::array<std::uint8_t, 256> registers_{};
    std::array<std::uint64_t, 256> toldAt_{}; // the write that last told each register; 0: never
    std::uint64_t writes_ = 0;
};

} // namespace plovan
