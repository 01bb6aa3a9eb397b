#include "unit_model.h"

#include <charconv>

namespace plovan {

namespace {

constexpr std::uint8_t kChannelRegister = 0x30;
constexpr std::array<std::uint8_t, 4> kFrequencyRegisters{0x44, 0x45, 0x46, 0x47};
constexpr std::array<std::uint8_t, 2> kPhaseRegisters{0x80, 0x81};
constexpr std::array<std::uint8_t, 2> kAmplitudeRegisters{0xE3, 0xE4};

std::optional<unsigned> hexField(std::string_view text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

template <std::size_t N>
std::optional<std::uint32_t> word(const std::array<std::optional<std::uint8_t>, 256>& told,
                                  const std::array<std::uint8_t, N>& regs)
{
    std::uint32_t value = 0;
    for (std::uint8_t reg : regs) {
        if (!told[reg]) return std::nullopt;
        value = (value << 8) | *told[reg];
    }
    return value;
}

} // namespace

double wordToMHz(std::uint32_t word, double clockMHz)
{
    return word * clockMHz / 4294967296.0;
}

double phaseWordToDegrees(std::uint16_t word)
{
    return word * 360.0 / 16383.0;
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
        told_[*reg] = static_cast<std::uint8_t>(*data);
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
        const ChannelTone now{word(told_, kFrequencyRegisters), narrow(word(told_, kPhaseRegisters)),
                              narrow(word(told_, kAmplitudeRegisters))};
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
