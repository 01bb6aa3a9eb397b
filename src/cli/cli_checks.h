// What plovanctl prints, and the checks its commands share on operands and
// option values. A check that fails says why on stderr and returns empty, so
// its caller only passes the refusal on.
#pragma once

#include "chirp_calc.h"

#include <QString>
#include <optional>

namespace plovan::cli {

void out(const QString& text);
// "plovanctl: " + text on stderr.
void err(const QString& text);

// A number within low..high; `what` names it in the message.
std::optional<double> numberIn(const QString& text, const QString& what, double low, double high);

// --unit: the ramp time's unit, as the window's options "uS", "mS", "S".
std::optional<RampUnit> rampUnit(const QString& text);

// A frequency offset in tenths of a kHz, within the offset slider's span.
std::optional<int> offsetTenths(const QString& text);

} // namespace plovan::cli
