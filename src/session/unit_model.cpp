#include "unit_model.h"

#include "unit_commands.h"

#include <bit>
#include <charconv>

namespace plovan {

namespace {

constexpr std::uint8_t kChannelRegister = 0x30;

std::optional<unsigned> hexField(std::string_view text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

} // namespace

// The register groups each word is written to. The procedures write the same
// word to more than one (the fixed-frequency window and the calibration
// editor leave one out); the group told last is what the update plays.
struct UnitModelTracker::Group {
    std::uint8_t first;
    int count;
};

namespace {
constexpr UnitModelTracker::Group kFrequencyGroups[] = {{0x44, 4}, {0x84, 4}};
constexpr UnitModelTracker::Group kPhaseGroups[] = {{0x80, 2}};
constexpr UnitModelTracker::Group kAmplitudeGroups[] = {{0xE3, 2}, {0xA3, 2}, {0x63, 2}};
constexpr UnitModelTracker::Group kRampStart[] = {{0xC4, 2}};
constexpr UnitModelTracker::Group kRampStop[] = {{0xCA, 2}};
constexpr UnitModelTracker::Group kRampStep[] = {{0xD0, 3}};
constexpr UnitModelTracker::Group kRampDwell[] = {{0xDA, 3}};
} // namespace

template <std::size_t N>
std::optional<std::uint32_t> UnitModelTracker::lastTold(const Group (&groups)[N], int needed) const
{
    const Group* newest = nullptr;
    std::uint64_t newestAt = 0;
    for (const Group& g : groups)
        for (int i = 0; i < g.count; ++i)
            if (toldAt_[std::size_t(g.first + i)] > newestAt) {
                newestAt = toldAt_[std::size_t(g.first + i)];
                newest = &g;
            }
    if (!newest) return std::nullopt;
    // A word needs its upper `needed` registers. The calibration editor writes
    // only a frequency word's upper half; the lower half then plays as last
    // told, or as 0 (less than 5 kHz off) when never told since start.
    std::uint32_t value = 0;
    for (int i = 0; i < newest->count; ++i) {
        const auto reg = std::size_t(newest->first + i);
        if (toldAt_[reg] == 0 && i < needed) return std::nullopt;
        value = (value << 8) | (toldAt_[reg] ? registers_[reg] : 0u);
    }
    return value;
}

std::optional<UnitMode> unitMode(const UnitModel& model)
{
    if (!model.controlByte) return std::nullopt;
    if (*model.controlByte == cmd::kControlMultichirp) return UnitMode::Multichirp;
    return (*model.controlByte & cmd::kControlChirpBit) ? UnitMode::Chirp : UnitMode::Single;
}

double wordToMHz(std::uint32_t word, double clockMHz)
{
    return word * clockMHz / 4294967296.0;
}

double phaseWordToDegrees(std::uint16_t word)
{
    return word * 360.0 / 16383.0;
}

double wordToAmplitude(std::uint16_t word, std::uint8_t mask)
{
    return word / (std::popcount(mask) >= 2 ? 2.0 : 4.0);
}

unsigned UnitModelTracker::take(std::string_view line, UnitModel& model)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.size() < 2 || line.front() != '=') return 0;
    line.remove_prefix(1);
    const bool store = line.front() == 'a';
    if (store) line.remove_prefix(1);
    if (line.empty()) return 0;
    const char letter = line.front();
    const std::string_view args = line.substr(1);

    switch (letter) {
    case 'D': {
        if (args.size() != 4) return 0;
        const auto data = hexField(args.substr(0, 2));
        const auto reg = hexField(args.substr(2, 2));
        if (!data || !reg) return 0;
        registers_[*reg] = static_cast<std::uint8_t>(*data);
        toldAt_[*reg] = ++writes_;
        model.storedToFlash = store;
        if (*reg != kChannelRegister) return 0;
        model.channelMask = static_cast<std::uint8_t>(*data >> 4);
        return kChannelsChanged;
    }
    case 'U': {
        // The update plays what the registers hold on the selected outputs.
        const std::uint8_t mask = model.channelMask.value_or(0);
        const auto narrow = [](std::optional<std::uint32_t> w) -> std::optional<std::uint16_t> {
            if (!w) return std::nullopt;
            return static_cast<std::uint16_t>(*w);
        };
        const ChannelTone now{lastTold(kFrequencyGroups, 2), narrow(lastTold(kPhaseGroups, 2)),
                              narrow(lastTold(kAmplitudeGroups, 2))};
        unsigned changed = 0;
        for (std::size_t ch = 0; ch < model.channels.size(); ++ch) {
            if (mask != 0 && !(mask & (1u << ch))) continue;
            ChannelTone& tone = model.channels[ch];
            const ChannelTone before = tone;
            if (now.frequencyWord) tone.frequencyWord = now.frequencyWord;
            if (now.phaseWord) tone.phaseWord = now.phaseWord;
            if (now.amplitudeWord) tone.amplitudeWord = now.amplitudeWord;
            if (!(tone == before)) changed = kToneChanged;
        }
        // The ramp is one for the unit; each register group once told in full.
        const auto upperHalf = [](std::optional<std::uint32_t> w) -> std::optional<std::uint32_t> {
            if (!w) return std::nullopt;
            return *w << 16;
        };
        const RampRegisters ramp{upperHalf(lastTold(kRampStart, 2)), upperHalf(lastTold(kRampStop, 2)),
                                 lastTold(kRampStep, 3), lastTold(kRampDwell, 3)};
        const RampRegisters before = model.ramp;
        if (ramp.start) model.ramp.start = ramp.start;
        if (ramp.stop) model.ramp.stop = ramp.stop;
        if (ramp.step) model.ramp.step = ramp.step;
        if (ramp.dwell) model.ramp.dwell = ramp.dwell;
        if (!(model.ramp == before)) changed |= kRampChanged;
        return changed;
    }
    case 'E': {
        const auto value = args.size() == 2 ? hexField(args) : std::nullopt;
        if (!value) return 0;
        model.controlByte = static_cast<std::uint8_t>(*value);
        return kControlChanged;
    }
    case 'K': {
        if (args.size() != 4 || !hexField(args)) return 0;
        model.clockWord = std::string(args);
        return kClockChanged;
    }
    default: return 0;
    }
}

} // namespace plovan
