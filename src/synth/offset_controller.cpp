#include "offset_controller.h"

#include "command_line.h"
#include "exact_arith.h"
#include "hex_text.h"
#include "link.h"
#include "unit_commands.h"

#include <algorithm>
#include <cstdlib>

namespace plovan {

using exact::pow10;
using exact::u128;

std::string offsetText(int tenthsKHz)
{
    const int t = std::max(tenthsKHz, 0);
    std::string text = std::to_string(t / 10);
    if (t % 10 != 0) text += "." + std::to_string(t % 10);
    return text;
}

int offsetSliderValue(int tenthsKHz, int sliderSpan)
{
    const int spanTenths = sliderSpan * 10;
    const int mirrored = std::clamp(spanTenths - tenthsKHz, 0, spanTenths);
    // Whole kHz, a half to the even neighbour, as a slider position is set.
    int value = mirrored / 10;
    const int rest = mirrored % 10;
    if (rest > 5 || (rest == 5 && value % 2 != 0)) ++value;
    return value;
}

int offsetFromSlider(int value, int sliderSpan)
{
    return std::abs(sliderSpan - value) * 10;
}

Decimal offsetHundredths(int tenthsKHz)
{
    Decimal d{static_cast<std::uint64_t>(std::max(tenthsKHz, 0)), 2};
    while (d.scale > 0 && d.mantissa % 10 == 0) {
        d.mantissa /= 10;
        --d.scale;
    }
    return d;
}

bool aboveLimit(const Decimal& mainMHz, int tenthsKHz, int limitMHz)
{
    if (limitMHz < 0) return true;
    const int scale = std::max(mainMHz.scale, 4);
    const u128 f = u128{mainMHz.mantissa} * pow10(scale - mainMHz.scale) +
                   u128{static_cast<std::uint64_t>(std::max(tenthsKHz, 0))} * pow10(scale - 4);
    return f > u128{static_cast<std::uint64_t>(limitMHz)} * pow10(scale);
}

int maintainedMaxFrequency(int upperLimit, int lowerLimit, int tenthsKHz)
{
    const int wholeMHzUp = (std::max(tenthsKHz, 0) + 9999) / 10000;
    return std::max(upperLimit - wholeMHzUp, lowerLimit);
}

std::uint16_t offsetAmplitudeWord(const Decimal& amplitude)
{
    const u128 num = u128{amplitude.mantissa} * OffsetController::kAmplitudeFactor;
    const u128 den = pow10(amplitude.scale);
    if (num >= 4095 * den) return 4095;
    auto q = static_cast<std::uint16_t>(num / den);
    const u128 twice = 2 * (num % den);
    if (twice > den || (twice == den && q % 2 != 0)) ++q;
    return q;
}

OffsetController::OffsetController(Link& link, SynthState& state, SynthHooks& hooks)
    : link_(link), state_(state), hooks_(hooks), tone_(link, state, hooks)
{
}

void OffsetController::setOffsetTenths(int tenths)
{
    offsetTenths_ = std::max(tenths, 0);
    if (maintainOffset()) lowerMaximum();
}

OffsetController::Outcome OffsetController::offsetFrequencySend()
{
    if (outsideLimits) outsideLimits(false);
    const auto mhz = parseDecimal(state_.frequencyText);
    if (!mhz) {
        reportError("Frequency offset: the main frequency \"" + state_.frequencyText + "\" is not a number");
        return Outcome::Stopped;
    }
    // While maintained, MaxFrequency is already lowered by the offset; the
    // sum is held to the operator's own limit, not to that lowered one.
    const int limit = SavedMax();
    const Decimal offset = offsetHundredths(offsetTenths_);
    if (aboveLimit(*mhz, offsetTenths_, limit)) {
        if (outsideLimits) outsideLimits(true);
        if (hooks_.warn)
            hooks_.warn("Outside Frequency Limits! " + shortestText(frequencyMHz(*mhz, offset)) +
                        " MHz is above " + std::to_string(limit) + " MHz; the offset was not sent");
        return Outcome::OutsideLimits;
    }
    const auto word = frequencyWord(*mhz, offset, state_.ClkFreq);
    if (!word) {
        reportError("Frequency offset: " + shortestText(frequencyMHz(*mhz, offset)) +
                    " MHz has no frequency word");
        return Outcome::Stopped;
    }
    state_.ftwH = hexText(*word);
    state_.writtenWordText = padLeft(state_.ftwH, 8);
    if (atOrAboveNyquist(*word) && hooks_.warn)
        hooks_.warn("Frequency offset: " + shortestText(frequencyMHz(*mhz, offset)) +
                    " MHz is at or above the Nyquist frequency; the unit puts out an alias");

    const auto bytes = wordBytes(*word);
    for (std::uint8_t i = 0; i < 4; ++i)
        if (!link_.sendWait(registerWrite(kRegisterHead, bytes[i], static_cast<std::uint8_t>(0x44 + i))))
            return Outcome::Stopped;
    return tone_.bodge() ? Outcome::Sent : Outcome::Stopped;
}

bool OffsetController::offsetAmplitudeSend()
{
    const auto amplitude = parseDecimal(group1AmplitudeText);
    if (!amplitude) {
        reportError("Amp 2: \"" + group1AmplitudeText + "\" is not a number");
        return false;
    }
    const std::uint16_t word = offsetAmplitudeWord(*amplitude);
    group1WordText = PaD(hexText(word));
    return link_.sendWait(registerWrite(kRegisterHead, highByte(word), 0x63)) &&
           link_.sendWait(registerWrite(kRegisterHead, lowByte(word), 0x64)) && tone_.bodge();
}

void OffsetController::setMaintainOffset(bool ticked)
{
    if (ticked == maintainOffset()) return;
    if (ticked) {
        // Kept at the tick rather than when the window first opened, so that
        // limits set in between are the ones restored.
        savedMax_ = state_.MaxFrequency;
        savedMin_ = state_.MinFrequency;
        state_.maintainOffset = true;
        lowerMaximum();
    }
    else {
        state_.maintainOffset = false;
        state_.MaxFrequency = savedMax_;
        state_.MinFrequency = savedMin_;
        if (limitsChanged) limitsChanged();
    }
}

void OffsetController::limitsEdited()
{
    if (!maintainOffset()) return;
    savedMax_ = state_.MaxFrequency;
    savedMin_ = state_.MinFrequency;
    lowerMaximum();
}

void OffsetController::lowerMaximum()
{
    state_.MaxFrequency = maintainedMaxFrequency(savedMax_, savedMin_, offsetTenths_);
    if (limitsChanged) limitsChanged();
}

bool OffsetController::sendClear()
{
    return link_.portOpen() && link_.sendWait(cmd::clear());
}

void OffsetController::installHooks()
{
    hooks_.offsetFrequencySend = [this] { return offsetFrequencySend() != Outcome::Stopped; };
    hooks_.offsetAmplitudeSend = [this] { return offsetAmplitudeSend(); };
}

void OffsetController::reportError(const std::string& message)
{
    if (hooks_.error)
        hooks_.error(message);
    else if (hooks_.warn)
        hooks_.warn(message);
}

} // namespace plovan
